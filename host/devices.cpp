// Adapter enumeration, the choice of device type, video mode and behaviour,
// and the creation of the render units.
#include "host/devices.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/saver_framework.h"
#include "platform/win32/strings.h"

namespace {

constexpr int kMaxCandidateModes = 100;
constexpr int kMaxCandidateFormats = 20;


void AppendText(WCHAR* dest, size_t capacity, const WCHAR* src) {
    size_t n = 0;
    while (n < capacity && dest[n]) ++n;
    if (n >= capacity) return;
    lstrcpynW(dest + n, src, static_cast<int>(capacity - n));
}

// The behaviour flags to try for a device with these caps, in order.
int BehaviorCandidates(const D3DCAPS9& caps, DWORD out[4]) {
    int n = 0;
    if (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
        if (caps.DevCaps & D3DDEVCAPS_PUREDEVICE) out[n++] = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
        out[n++] = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        out[n++] = D3DCREATE_MIXED_VERTEXPROCESSING;
    }
    out[n++] = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    return n;
}

void WriteDword(HKEY key, const WCHAR* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

IDirect3D9* CreateDirect3DObject() { return Direct3DCreate9(D3D_SDK_VERSION); }

int CompareDisplayModes(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    if (a.Width != b.Width) return a.Width < b.Width ? -1 : 1;
    if (a.Height != b.Height) return a.Height < b.Height ? -1 : 1;
    if (a.Format != b.Format) return a.Format > b.Format ? -1 : 1;
    return 0;
}

bool FindNextLowerMode(DeviceRecord& device) {
    if (device.currentMode >= device.modeCount) return false;
    const DisplayModeRecord& current = device.modes[device.currentMode];
    const uint64_t currentPixels = uint64_t{current.width} * current.height;
    int best = -1;
    uint64_t bestPixels = 0;
    for (uint32_t i = 0; i < device.modeCount; ++i) {
        if (i == device.currentMode) continue;
        const uint64_t pixels = uint64_t{device.modes[i].width} * device.modes[i].height;
        if (pixels >= currentPixels) continue;
        if (best < 0 || pixels > bestPixels) {
            best = static_cast<int>(i);
            bestPixels = pixels;
        }
    }
    if (best < 0) return false;
    device.currentMode = static_cast<uint32_t>(best);
    return true;
}

HRESULT CSaverFramework::EnumerateDevices() {
    const UINT count = direct3D->GetAdapterCount();
    for (UINT ordinal = 0; ordinal < count && ordinal < static_cast<UINT>(kMaxAdapters); ++ordinal) {
        if (!adapters[ordinal]) {
            adapters[ordinal] = new (std::nothrow) AdapterRecord{};
            if (!adapters[ordinal]) return E_OUTOFMEMORY;
        }
        AdapterRecord& adapter = *adapters[ordinal];
        direct3D->GetAdapterIdentifier(ordinal, 0, &adapter.identifier);
        adapter.deviceIdentifier = adapter.identifier.DeviceIdentifier;
        direct3D->GetAdapterDisplayMode(ordinal, &adapter.desktopMode);
        adapter.deviceCount = 0;
        adapter.currentDevice = 0;
        adapter.leaveBlack = 0;
        adapter.monitorIndex = -1;

        const HMONITOR monitor = direct3D->GetAdapterMonitor(ordinal);
        for (uint32_t m = 0; monitor && m < monitorCount; ++m) {
            if (monitors[m].monitor == monitor) {
                adapter.monitorIndex = static_cast<int32_t>(m);
                monitors[m].adapterIndex = static_cast<int32_t>(ordinal);
                break;
            }
        }

        // Candidate modes (refresh rates folded together) and formats.
        D3DDISPLAYMODE modes[kMaxCandidateModes];
        int modeCount = 0;
        D3DFORMAT formats[kMaxCandidateFormats];
        int formatCount = 0;
        formats[formatCount++] = adapter.desktopMode.Format;
        const UINT available = direct3D->GetAdapterModeCount(ordinal, D3DFMT_X8R8G8B8);
        for (UINT i = 0; i < available; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(direct3D->EnumAdapterModes(ordinal, D3DFMT_X8R8G8B8, i, &mode))) continue;
            if (mode.Width < 640 || mode.Height < 400) continue;
            mode.RefreshRate = 0;
            bool known = false;
            for (int k = 0; k < modeCount && !known; ++k)
                known = modes[k].Width == mode.Width && modes[k].Height == mode.Height && modes[k].Format == mode.Format;
            if (known || modeCount == kMaxCandidateModes) continue;
            modes[modeCount++] = mode;
            bool listed = false;
            for (int f = 0; f < formatCount && !listed; ++f) listed = formats[f] == mode.Format;
            if (!listed && formatCount < kMaxCandidateFormats) formats[formatCount++] = mode.Format;
        }
        std::stable_sort(modes, modes + modeCount, [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
            return CompareDisplayModes(a, b) < 0;
        });

        static const D3DDEVTYPE kTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW};
        for (D3DDEVTYPE type : kTypes) {
            if (adapter.deviceCount >= static_cast<uint32_t>(kMaxDevicesPerAdapter)) break;
            DeviceRecord& device = adapter.devices[adapter.deviceCount];
            device = DeviceRecord{};
            device.type = type;
            direct3D->GetDeviceCaps(ordinal, type, &device.caps);  // not checked
            device.name = type == D3DDEVTYPE_HAL ? u"HAL" : u"SW";

            bool usable[kMaxCandidateFormats] = {};
            DWORD behavior[kMaxCandidateFormats] = {};
            D3DFORMAT depth[kMaxCandidateFormats] = {};
            for (int f = 0; f < formatCount; ++f) {
                const D3DFORMAT format = formats[f];
                if (FAILED(direct3D->CheckDeviceType(ordinal, type, format, format, FALSE))) continue;
                if (type == D3DDEVTYPE_SW)
                    adapter.hasSoftware = 1;
                else
                    adapter.hasHardware = 1;
                DWORD tries[4];
                const int n = BehaviorCandidates(device.caps, tries);
                for (int t = 0; t < n && !usable[f]; ++t) {
                    if (SUCCEEDED(AcceptDevice(device.caps, tries[t], format))) {
                        behavior[f] = tries[t];
                        usable[f] = true;
                    }
                }
                if (usable[f] && useDepthBuffer && !FindDepthStencilFormat(ordinal, type, format, &depth[f]))
                    usable[f] = false;
            }
            for (int m = 0; m < modeCount; ++m) {
                for (int f = 0; f < formatCount; ++f) {
                    if (modes[m].Format != formats[f] || !usable[f]) continue;
                    if (device.modeCount == static_cast<uint32_t>(kMaxModesPerDevice)) continue;
                    device.modes[device.modeCount++] = {modes[m].Width, modes[m].Height, modes[m].Format, behavior[f],
                                                        depth[f]};
                }
            }
            device.currentMode = 0;
            for (uint32_t m = 0; m < device.modeCount; ++m) {
                if (device.modes[m].width == 640 && device.modes[m].height == 480) {
                    device.currentMode = m;
                    break;
                }
            }
            if (usable[0]) device.canDoWindowed = 1;
            if (device.modeCount > 0) {
                ++adapter.deviceCount;
                if (type == D3DDEVTYPE_SW)
                    adapter.compatibleSoftware = 1;
                else
                    adapter.compatibleHardware = 1;
            }
        }
        adapterCount = ordinal + 1;
    }
    return S_OK;
}

bool CSaverFramework::FindDepthStencilFormat(UINT ordinal, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                             D3DFORMAT* format) {
    struct Choice {
        D3DFORMAT format;
        uint32_t depthBits;
        uint32_t stencilBits;
    };
    static const Choice kChoices[] = {
        {D3DFMT_D16, 16, 0},   {D3DFMT_D15S1, 15, 1},   {D3DFMT_D24X8, 24, 0},
        {D3DFMT_D24S8, 24, 8}, {D3DFMT_D24X4S4, 24, 4}, {D3DFMT_D32, 32, 0},
    };
    for (const Choice& c : kChoices) {
        if (minDepthBits > c.depthBits || minStencilBits > c.stencilBits) continue;
        if (FAILED(direct3D->CheckDeviceFormat(ordinal, type, adapterFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                               c.format)))
            continue;
        if (FAILED(direct3D->CheckDepthStencilMatch(ordinal, type, adapterFormat, adapterFormat, c.format))) continue;
        *format = c.format;
        return true;
    }
    return false;
}

// The candidate's format is the back buffer's; the depth/stencil format is
// looked for with it in the place of the adapter format.
HRESULT CSaverFramework::CheckWindowedDevice(DisplayModeRecord* candidate, int32_t adapterIndex) {
    AdapterRecord& adapter = *adapters[adapterIndex];
    const DeviceRecord& device = adapter.devices[adapter.currentDevice];
    const UINT ordinal = static_cast<UINT>(adapterIndex);
    HRESULT hr = direct3D->CheckDeviceType(ordinal, device.type, adapter.desktopMode.Format, candidate->format, TRUE);
    if (FAILED(hr)) return hr;
    DWORD tries[4];
    const int n = BehaviorCandidates(device.caps, tries);
    bool accepted = false;
    for (int t = 0; t < n && !accepted; ++t) {
        if (SUCCEEDED(AcceptDevice(device.caps, tries[t], candidate->format))) {
            candidate->behaviorFlags = tries[t];
            accepted = true;
        }
    }
    if (!accepted) return E_FAIL;
    if (useDepthBuffer && !FindDepthStencilFormat(ordinal, device.type, candidate->format, &candidate->depthStencilFormat))
        return E_FAIL;
    return S_OK;
}

bool CSaverFramework::FindBestAdapter(int32_t* out) {
    int32_t software = -1;
    for (uint32_t m = 0; m < monitorCount; ++m) {
        const int32_t a = monitors[m].adapterIndex;
        if (a < 0 || a >= kMaxAdapters || !adapters[a]) continue;
        if (adapters[a]->compatibleHardware) {
            *out = a;
            return true;
        }
        if (adapters[a]->compatibleSoftware) software = a;
    }
    *out = software;
    return software >= 0;
}

HRESULT CSaverFramework::Initialize3D() {
    if (runMode == FullScreen) {
        windowed = 0;
        for (uint32_t m = 0; m < monitorCount; ++m) {
            const int32_t a = monitors[m].adapterIndex;
            if (a < 0 || a >= kMaxAdapters || !adapters[a]) continue;
            AdapterRecord& adapter = *adapters[a];
            if (adapter.disableHardware && !adapter.compatibleSoftware) adapter.leaveBlack = 1;
            if (adapter.leaveBlack || adapter.deviceCount == 0) continue;
            if (renderUnitCount >= static_cast<uint32_t>(kMaxRenderUnits)) break;
            adapter.deviceWindow = monitors[m].window;
            RenderUnitRecord& unit = renderUnits[renderUnitCount];
            unit = RenderUnitRecord{};
            unit.adapterIndex = a;
            if (FAILED(CreateFullscreenRenderUnit(unit))) {
                unit = RenderUnitRecord{};
                SetErrorMode(kCouldNotCreateDevice);
            } else {
                ++renderUnitCount;
            }
        }
    } else {
        windowed = 1;
        if (mainWindow) GetClientRect(mainWindow, &totalRect);
        int32_t a = -1;
        if (!FindBestAdapter(&a)) {
            SetErrorMode(kCouldNotCreateDevice);
        } else {
            adapters[a]->deviceWindow = mainWindow;
        }
        if (!errorMode) {
            RenderUnitRecord& unit = renderUnits[renderUnitCount];
            unit = RenderUnitRecord{};
            unit.adapterIndex = a;
            if (FAILED(CreateWindowedRenderUnit(unit))) {
                unit = RenderUnitRecord{};
                SetErrorMode(runMode == Preview ? kNoPreview : kCouldNotCreateDevice);
            } else {
                ++renderUnitCount;
            }
        }
    }

    for (uint32_t m = 0; m < monitorCount; ++m) {
        ScreenRecord& screen = monitors[m];
        if (!screen.monitor) continue;
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(screen.monitor, &info)) screen.monitorRect = info.rcMonitor;
        if (runMode == FullScreen && screen.window) {
            const RECT& r = screen.monitorRect;
            SetWindowPos(screen.window, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOACTIVATE);
        }
    }

    if (errorMode) {
        mouseMoveCount = 0;
        return 0;
    }
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        RenderUnitRecord& unit = renderUnits[i];
        SelectRenderUnit(i);
        HRESULT hr = CallSceneHook("CreateDeviceResources", [this] { return CreateDeviceResources(); });
        if (FAILED(hr)) {
            SetErrorMode(kDeviceObjectsFailed);
            continue;
        }
        unit.objectsCreated = 1;
        hr = CallSceneHook("RestoreDeviceResources", [this] { return RestoreDeviceResources(); });
        if (FAILED(hr)) {
            SetErrorMode(kDeviceObjectsFailed);
            continue;
        }
        unit.objectsRestored = 1;
    }
    BuildDeviceStatsText();
    mouseMoveCount = 0;
    return 0;
}

HRESULT CSaverFramework::CreateFullscreenRenderUnit(RenderUnitRecord& unit) {
    const int32_t a = unit.adapterIndex;
    if (a < 0 || a >= kMaxAdapters || !adapters[a] || adapters[a]->deviceCount == 0) return E_FAIL;
    AdapterRecord& adapter = *adapters[a];

    int32_t chosen = -1;
    for (uint32_t d = 0; d < adapter.deviceCount; ++d) {
        if (adapter.devices[d].type == D3DDEVTYPE_HAL) {
            if (!adapter.disableHardware) {
                chosen = static_cast<int32_t>(d);
                break;
            }
        } else if (adapter.devices[d].type == D3DDEVTYPE_SW) {
            chosen = static_cast<int32_t>(d);
        }
    }
    if (chosen < 0) return kNoUsableDeviceType;
    DeviceRecord& device = adapter.devices[chosen];
    if (device.modeCount == 0) return kNoUsableDeviceType;

    int32_t mode = -1;
    if (adapter.storedWidth != 0) {
        for (uint32_t m = 0; m < device.modeCount && mode < 0; ++m) {
            const DisplayModeRecord& r = device.modes[m];
            if (r.width == adapter.storedWidth && r.height == adapter.storedHeight &&
                static_cast<DWORD>(r.format) == adapter.storedFormat)
                mode = static_cast<int32_t>(m);
        }
    }
    if (mode < 0) {
        mode = 0;
        if (device.type == D3DDEVTYPE_SW) {
            int32_t best = -1;
            for (uint32_t m = 0; m < device.modeCount; ++m) {
                if (device.modes[m].height == 400) continue;
                if (best < 0 || device.modes[m].height <= device.modes[best].height) best = static_cast<int32_t>(m);
            }
            if (best >= 0) mode = best;
        } else {
            for (uint32_t m = 0; m < device.modeCount; ++m) {
                if (device.modes[m].width == adapter.desktopMode.Width &&
                    device.modes[m].height == adapter.desktopMode.Height) {
                    mode = static_cast<int32_t>(m);
                    break;
                }
            }
        }
    }
    // The choice becomes the adapter's current device and mode, so that the
    // fall-back below starts from the mode that was chosen.
    adapter.currentDevice = chosen;
    device.currentMode = static_cast<uint32_t>(mode);

    // Only the first unit's presents wait for the display: with one device
    // per monitor, each waiting present would divide the frame rate.
    const bool firstUnit = &unit == &renderUnits[0];
    bool triedSmaller = false;
    HRESULT hr;
    for (;;) {
        const DisplayModeRecord& m = device.modes[device.currentMode];
        unit.deviceType = device.type;
        unit.behaviorFlags = m.behaviorFlags;
        unit.monitorIndex = adapter.monitorIndex;
        D3DPRESENT_PARAMETERS& pp = unit.presentParams;
        pp = D3DPRESENT_PARAMETERS{};
        pp.BackBufferWidth = m.width;
        pp.BackBufferHeight = m.height;
        pp.BackBufferFormat = m.format;
        pp.BackBufferCount = 1;
        pp.MultiSampleType = D3DMULTISAMPLE_NONE;
        pp.SwapEffect = static_cast<D3DSWAPEFFECT>(fullScreenSwapEffect);
        pp.hDeviceWindow = adapter.deviceWindow;
        pp.Windowed = FALSE;
        pp.EnableAutoDepthStencil = useDepthBuffer ? TRUE : FALSE;
        pp.AutoDepthStencilFormat = m.depthStencilFormat;
        pp.Flags = 0;
        pp.FullScreen_RefreshRateInHz = 0;
        pp.PresentationInterval = firstUnit ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
        IDirect3DDevice9* created = nullptr;
        hr = direct3D->CreateDevice(static_cast<UINT>(a), device.type, mainWindow, unit.behaviorFlags, &pp, &created);
        if (SUCCEEDED(hr)) {
            hr = AcceptCreatedDevice(created);
            if (FAILED(hr)) {
                created->Release();
                created = nullptr;
            }
        }
        if (SUCCEEDED(hr)) {
            unit.device = created;
            break;
        }
        if (!FindNextLowerMode(device)) return hr;
        triedSmaller = true;
    }

    if (triedSmaller && registryKeyPath[0]) {
        const DisplayModeRecord& m = device.modes[device.currentMode];
        adapter.storedWidth = m.width;
        adapter.storedHeight = m.height;
        adapter.storedFormat = static_cast<DWORD>(m.format);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, registryKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            WCHAR name[32];
            swprintf(name, 32, u"Screen %d", static_cast<int>(adapter.monitorIndex + 1));
            HKEY screen = nullptr;
            if (RegCreateKeyExW(key, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &screen,
                                nullptr) == ERROR_SUCCESS) {
                WriteDword(screen, u"Width", adapter.storedWidth);
                WriteDword(screen, u"Height", adapter.storedHeight);
                WriteDword(screen, u"Format", adapter.storedFormat);
                RegSetValueExW(screen, u"Adapter ID", 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(&adapter.identifier.DeviceIdentifier), sizeof(GUID));
                RegCloseKey(screen);
            }
            RegCloseKey(key);
        }
    }
    return S_OK;
}

HRESULT CSaverFramework::CreateWindowedRenderUnit(RenderUnitRecord& unit) {
    const int32_t a = unit.adapterIndex;
    if (a < 0 || a >= kMaxAdapters || !adapters[a]) return E_FAIL;
    AdapterRecord& adapter = *adapters[a];

    int32_t chosen = -1;
    for (uint32_t d = 0; d < adapter.deviceCount; ++d) {
        const DeviceRecord& device = adapter.devices[d];
        if (!device.canDoWindowed) continue;
        if (device.type == D3DDEVTYPE_HAL) {
            if (!adapter.disableHardware) {
                chosen = static_cast<int32_t>(d);
                break;
            }
        } else if (device.type == D3DDEVTYPE_SW) {
            chosen = static_cast<int32_t>(d);
        }
    }
    if (chosen < 0) return kNoUsableDeviceType;
    adapter.currentDevice = chosen;
    const DeviceRecord& device = adapter.devices[chosen];

    const D3DFORMAT kFormats[] = {adapter.desktopMode.Format, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5,
                                  D3DFMT_R5G6B5};
    DisplayModeRecord candidate{};
    bool found = false;
    for (D3DFORMAT format : kFormats) {
        candidate = DisplayModeRecord{};
        candidate.format = format;
        if (SUCCEEDED(CheckWindowedDevice(&candidate, a))) {
            found = true;
            break;
        }
    }
    if (!found) return E_FAIL;

    unit.deviceType = device.type;
    unit.monitorIndex = adapter.monitorIndex;
    unit.behaviorFlags = candidate.behaviorFlags;
    D3DPRESENT_PARAMETERS& pp = unit.presentParams;
    pp = D3DPRESENT_PARAMETERS{};
    pp.BackBufferWidth = 0;
    pp.BackBufferHeight = 0;
    pp.BackBufferFormat = candidate.format;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.SwapEffect = static_cast<D3DSWAPEFFECT>(windowedSwapEffect);
    pp.hDeviceWindow = adapter.deviceWindow;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = useDepthBuffer ? TRUE : FALSE;
    pp.AutoDepthStencilFormat = candidate.depthStencilFormat;
    pp.Flags = 0;
    pp.FullScreen_RefreshRateInHz = 0;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    IDirect3DDevice9* created = nullptr;
    HRESULT hr = direct3D->CreateDevice(static_cast<UINT>(a), device.type, mainWindow, unit.behaviorFlags, &pp, &created);
    if (FAILED(hr)) return hr;
    unit.device = created;
    return S_OK;
}

void CSaverFramework::BuildDeviceStatsText() {
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        RenderUnitRecord& unit = renderUnits[i];
        const bool software = unit.deviceType == D3DDEVTYPE_SW;
        WCHAR* text = unit.deviceText;
        const size_t capacity = sizeof unit.deviceText / sizeof unit.deviceText[0];
        lstrcpynW(text, software ? u"SW" : u"HAL", static_cast<int>(capacity));
        const DWORD flags = unit.behaviorFlags;
        if ((flags & D3DCREATE_HARDWARE_VERTEXPROCESSING) && (flags & D3DCREATE_PUREDEVICE))
            AppendText(text, capacity, software ? u" (simulated pure hw vp)" : u" (pure hw vp)");
        else if (flags & D3DCREATE_HARDWARE_VERTEXPROCESSING)
            AppendText(text, capacity, software ? u" (simulated hw vp)" : u" (hw vp)");
        else if (flags & D3DCREATE_MIXED_VERTEXPROCESSING)
            AppendText(text, capacity, software ? u" (simulated mixed vp)" : u" (mixed vp)");
        else if (flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING)
            AppendText(text, capacity, u" (sw vp)");
        if (unit.deviceType == D3DDEVTYPE_HAL && unit.adapterIndex >= 0 && unit.adapterIndex < kMaxAdapters &&
            adapters[unit.adapterIndex]) {
            const char* description = adapters[unit.adapterIndex]->identifier.Description;
            const size_t length = strnlen(description, sizeof adapters[unit.adapterIndex]->identifier.Description);
            std::u16string wide = tessaloom::Utf8ToUtf16(std::string_view(description, std::min<size_t>(length, 299)));
            AppendText(text, capacity, u": ");
            AppendText(text, capacity, wide.c_str());
        }
    }
}

void CSaverFramework::ReleaseDirect3D() {
    for (auto*& a : adapters) {
        delete a;
        a = nullptr;
    }
    adapterCount = 0;
    if (direct3D) direct3D->Release();
    direct3D = nullptr;
}
