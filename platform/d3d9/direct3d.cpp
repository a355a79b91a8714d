// IDirect3D9: adapters are SDL displays, display modes are what SDL lists.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/crt/fnv1a.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/d3d9/objects.h"
#include "platform/win32/window_bridge.h"

namespace tessaloom::d3d9 {
namespace {

D3DFORMAT FormatFromSdl(Uint32 format) {
    switch (format) {
        case SDL_PIXELFORMAT_RGB565: return D3DFMT_R5G6B5;
        case SDL_PIXELFORMAT_RGB555: return D3DFMT_X1R5G5B5;
        case SDL_PIXELFORMAT_ARGB2101010: return D3DFMT_A2R10G10B10;
        case SDL_PIXELFORMAT_UNKNOWN: return D3DFMT_UNKNOWN;
        default: return SDL_BITSPERPIXEL(format) >= 24 ? D3DFMT_X8R8G8B8 : SDL_BITSPERPIXEL(format) == 16 ? D3DFMT_R5G6B5 : D3DFMT_UNKNOWN;
    }
}

bool IsDisplayFormat(D3DFORMAT f) {
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A2R10G10B10;
}

// Back-buffer formats a display format can present in full screen.
bool FullscreenPair(D3DFORMAT display, D3DFORMAT back) {
    switch (display) {
        case D3DFMT_X8R8G8B8: return back == D3DFMT_X8R8G8B8 || back == D3DFMT_A8R8G8B8;
        case D3DFMT_R5G6B5: return back == D3DFMT_R5G6B5;
        case D3DFMT_X1R5G5B5: return back == D3DFMT_X1R5G5B5 || back == D3DFMT_A1R5G5B5;
        default: return false;
    }
}

bool WindowedBackBuffer(D3DFORMAT back) {
    return back == D3DFMT_A8R8G8B8 || back == D3DFMT_X8R8G8B8 || back == D3DFMT_R5G6B5 ||
           back == D3DFMT_X1R5G5B5 || back == D3DFMT_A1R5G5B5;
}

// The device types offered: the hardware device (GL through the window
// system's driver) and, when Mesa's software rasteriser is there, the
// software device (the same pipeline on it, for a machine whose GPU driver
// misbehaves).  The reference rasteriser is not offered.
bool Offered(D3DDEVTYPE type) {
    if (type == D3DDEVTYPE_HAL) return true;
    return type == D3DDEVTYPE_SW && SoftwareRendererAvailable();
}

D3DDISPLAYMODE ModeFromSdl(const SDL_DisplayMode& m) {
    return {static_cast<UINT>(m.w), static_cast<UINT>(m.h), static_cast<UINT>(m.refresh_rate), FormatFromSdl(m.format)};
}

}  // namespace

HRESULT Fail(HRESULT result, const char* what) {
    std::fprintf(stderr, "tessaloom d3d9: %s\n", what);
    return result;
}

Direct3D::Direct3D() { CountObject(1); }

Direct3D::~Direct3D() { CountObject(-1); }

bool Direct3D::Init() {
    // SDL video is started once and kept for the process: stopping it
    // unloads the GL driver SDL loaded, while this stand-in's contexts (and
    // exit-time checks) still reach into it.
    static bool started = false;
    if (!started) started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!started) {
        std::fprintf(stderr, "tessaloom d3d9: SDL video did not start: %s\n", SDL_GetError());
        return false;
    }
    const int displays = SDL_GetNumVideoDisplays();
    for (int d = 0; d < displays; ++d) {
        Adapter adapter;
        adapter.display = d;
        const char* name = SDL_GetDisplayName(d);
        adapter.name = name ? name : "display";
        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(d, &desktop) != 0) continue;
        adapter.desktop = ModeFromSdl(desktop);
        if (adapter.desktop.Format == D3DFMT_UNKNOWN) adapter.desktop.Format = D3DFMT_X8R8G8B8;
        const int count = SDL_GetNumDisplayModes(d);
        for (int i = 0; i < count; ++i) {
            SDL_DisplayMode m{};
            if (SDL_GetDisplayMode(d, i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
            D3DDISPLAYMODE mode = ModeFromSdl(m);
            if (!IsDisplayFormat(mode.Format)) continue;
            adapter.modes.push_back(mode);
        }
        // Some video drivers (offscreen) list no real mode: the desktop is one.
        if (adapter.modes.empty()) adapter.modes.push_back(adapter.desktop);
        // A stable identifier: the display's name and index hashed.
        const uint64_t h = Fnv1a().Add(adapter.name).AddWord(static_cast<uint64_t>(d)).Value();
        adapter.identifier.Data1 = static_cast<DWORD>(h);
        adapter.identifier.Data2 = static_cast<WORD>(h >> 32);
        adapter.identifier.Data3 = static_cast<WORD>(0x4000 | ((h >> 48) & 0x0fff));
        const uint8_t tail[8] = {0x9a, 0x3d, 0x7e, 0x10, 0x00, 0x00, 0x00, static_cast<uint8_t>(d)};
        std::memcpy(adapter.identifier.Data4, tail, 8);
        adapters_.push_back(adapter);
    }
    return true;
}

HRESULT Direct3D::GetAdapterIdentifier(UINT index, DWORD, D3DADAPTER_IDENTIFIER9* id) {
    const Adapter* adapter = FindAdapter(index);
    if (!adapter || !id) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof(*id));
    std::snprintf(id->Driver, sizeof(id->Driver), "tessaloom_d3d9 (OpenGL 3.3)");
    std::snprintf(id->Description, sizeof(id->Description), "OpenGL 3.3 device on display %s", adapter->name.c_str());
    std::snprintf(id->DeviceName, sizeof(id->DeviceName), "\\\\.\\DISPLAY%d", adapter->display + 1);
    id->DriverVersion.QuadPart = 0x0001000000000000ll;
    id->DeviceIdentifier = adapter->identifier;
    id->WHQLLevel = 0;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT index, D3DFORMAT format) {
    const Adapter* adapter = FindAdapter(index);
    if (!adapter) return 0;
    UINT n = 0;
    for (const auto& m : adapter->modes) n += m.Format == format;
    return n;
}

HRESULT Direct3D::EnumAdapterModes(UINT index, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) {
    const Adapter* adapter = FindAdapter(index);
    if (!adapter || !out) return D3DERR_INVALIDCALL;
    for (const auto& m : adapter->modes) {
        if (m.Format != format) continue;
        if (mode-- == 0) {
            *out = m;
            return D3D_OK;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT index, D3DDISPLAYMODE* mode) {
    const Adapter* adapter = FindAdapter(index);
    if (!adapter || !mode) return D3DERR_INVALIDCALL;
    SDL_DisplayMode current{};
    if (SDL_GetCurrentDisplayMode(adapter->display, &current) == 0 && current.w > 0) {
        *mode = ModeFromSdl(current);
        if (!IsDisplayFormat(mode->Format)) mode->Format = adapter->desktop.Format;
    } else {
        *mode = adapter->desktop;
    }
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT index, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backFormat,
                                  BOOL windowed) {
    const Adapter* adapter = FindAdapter(index);
    if (!adapter) return D3DERR_INVALIDCALL;
    if (!Offered(type)) return D3DERR_NOTAVAILABLE;
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    if (windowed) {
        if (backFormat == D3DFMT_UNKNOWN) backFormat = adapterFormat;
        return WindowedBackBuffer(backFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    if (GetAdapterModeCount(index, adapterFormat) == 0) return D3DERR_NOTAVAILABLE;
    return FullscreenPair(adapterFormat, backFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceFormat(UINT index, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE rtype, D3DFORMAT format) {
    if (!FindAdapter(index)) return D3DERR_INVALIDCALL;
    if (!Offered(type) || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    if (rtype == D3DRTYPE_VERTEXBUFFER) return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (rtype == D3DRTYPE_INDEXBUFFER)
        return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    const FormatInfo* info = FindFormat(format);
    if (!info) return D3DERR_NOTAVAILABLE;
    if (rtype != D3DRTYPE_TEXTURE && rtype != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return info->depthBits > 0 && rtype == D3DRTYPE_SURFACE ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_RENDERTARGET) return info->renderTarget ? D3D_OK : D3DERR_NOTAVAILABLE;
    return info->texture ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT index, D3DDEVTYPE type, D3DFORMAT, BOOL,
                                             D3DMULTISAMPLE_TYPE multiSample, DWORD* quality) {
    if (!FindAdapter(index)) return D3DERR_INVALIDCALL;
    if (!Offered(type) || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (quality) *quality = 1;
    return D3D_OK;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT index, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) {
    if (!FindAdapter(index)) return D3DERR_INVALIDCALL;
    if (!Offered(type) || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const FormatInfo* rt = FindFormat(renderTargetFormat);
    const FormatInfo* depth = FindFormat(depthFormat);
    if (!rt || !rt->renderTarget || !depth || depth->depthBits == 0) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT index, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (!FindAdapter(index) || !caps) return D3DERR_INVALIDCALL;
    if (!Offered(type)) {
        std::memset(caps, 0, sizeof(*caps));
        caps->DeviceType = type;
        caps->AdapterOrdinal = index;
        return D3DERR_NOTAVAILABLE;
    }
    FillCaps(index, type, caps);
    return D3D_OK;
}

HMONITOR Direct3D::GetAdapterMonitor(UINT index) {
    const Adapter* adapter = FindAdapter(index);
    return adapter ? MonitorFromDisplayIndex(adapter->display) : nullptr;
}

HRESULT Direct3D::CreateDevice(UINT index, D3DDEVTYPE type, HWND focus, DWORD behavior,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!params || !FindAdapter(index)) return D3DERR_INVALIDCALL;
    if (!Offered(type)) return D3DERR_NOTAVAILABLE;
    const DWORD vp = behavior & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                 D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return Fail(D3DERR_INVALIDCALL, "CreateDevice needs exactly one vertex-processing flag");
    if (type == D3DDEVTYPE_SW && vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING)
        return Fail(D3DERR_INVALIDCALL, "the software device has no hardware vertex processing");
    HRESULT injected = S_OK;
    if (TakeCreateDeviceFault(index, type, params->BackBufferWidth, params->BackBufferHeight, &injected)) {
        std::fprintf(stderr, "tessaloom d3d9: CreateDevice failed by fault injection (0x%08x)\n",
                     static_cast<uint32_t>(injected));
        return injected;
    }
    auto* device = new Device(this, index, type, focus, behavior);
    HRESULT hr = device->Init(params);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *out = device;
    return D3D_OK;
}

}  // namespace tessaloom::d3d9

IDirect3D9* Direct3DCreate9(UINT version) {
    if (version != D3D_SDK_VERSION) {
        std::fprintf(stderr, "tessaloom d3d9: Direct3DCreate9 asked for SDK version %u, not %u\n", version,
                     D3D_SDK_VERSION);
        return nullptr;
    }
    tessaloom::d3d9::ArmFaultsFromEnvironment();
    auto* d3d = new tessaloom::d3d9::Direct3D();
    if (!d3d->Init()) {
        d3d->Release();
        return nullptr;
    }
    return d3d;
}
