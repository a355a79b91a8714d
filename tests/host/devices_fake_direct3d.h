// A Direct3D object of the tests' own: adapters with the modes, formats,
// device types and caps a test gives, and CreateDevice calls recorded and
// refused by back-buffer size.  Devices it hands out are real offscreen
// devices of the Direct3D stand-in, so they can be lost, reset and counted.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include "platform/d3d9/d3d9.h"

struct FakeAdapter {
    HMONITOR monitor = nullptr;
    D3DDISPLAYMODE desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> modes;
    bool hal = true;
    bool sw = false;
    DWORD devCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE;
    GUID id = {0x1234abcd, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
    const char* description = "Fake adapter";
    // Back-buffer formats a window can take (empty: every format).
    std::vector<D3DFORMAT> windowedFormats;
    std::vector<D3DFORMAT> depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8};
    std::vector<std::pair<UINT, UINT>> refusedSizes;
};

class FakeDirect3D : public IDirect3D9 {
public:
    struct CreateCall {
        UINT adapter;
        D3DDEVTYPE type;
        HWND focus;
        DWORD behavior;
        D3DPRESENT_PARAMETERS params;
    };
    struct FormatCheck {
        D3DFORMAT adapterFormat;
        D3DFORMAT checked;
    };
    std::vector<FakeAdapter> adapters;
    std::vector<CreateCall> creates;
    std::vector<FormatCheck> depthChecks;
    IDirect3D9* real = nullptr;
    int refs = 1;

    explicit FakeDirect3D(std::vector<FakeAdapter> a) : adapters(std::move(a)) { real = Direct3DCreate9(D3D_SDK_VERSION); }
    ~FakeDirect3D() {
        if (real) real->Release();
    }

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }

    UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
    HRESULT GetAdapterIdentifier(UINT a, DWORD, D3DADAPTER_IDENTIFIER9* id) override {
        std::memset(id, 0, sizeof *id);
        std::strncpy(id->Description, adapters[a].description, sizeof id->Description - 1);
        id->DeviceIdentifier = adapters[a].id;
        return D3D_OK;
    }
    UINT GetAdapterModeCount(UINT a, D3DFORMAT f) override {
        UINT n = 0;
        for (const auto& m : adapters[a].modes) n += m.Format == f;
        return n;
    }
    HRESULT EnumAdapterModes(UINT a, D3DFORMAT f, UINT i, D3DDISPLAYMODE* out) override {
        for (const auto& m : adapters[a].modes) {
            if (m.Format != f) continue;
            if (i-- == 0) {
                *out = m;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL;
    }
    HRESULT GetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* mode) override {
        *mode = adapters[a].desktop;
        return D3D_OK;
    }
    bool HasType(UINT a, D3DDEVTYPE t) const {
        return (t == D3DDEVTYPE_HAL && adapters[a].hal) || (t == D3DDEVTYPE_SW && adapters[a].sw);
    }
    HRESULT CheckDeviceType(UINT a, D3DDEVTYPE t, D3DFORMAT af, D3DFORMAT bf, BOOL windowed) override {
        if (!HasType(a, t)) return D3DERR_NOTAVAILABLE;
        if (windowed) {
            const auto& w = adapters[a].windowedFormats;
            if (w.empty()) return D3D_OK;
            for (D3DFORMAT f : w)
                if (f == bf) return D3D_OK;
            return D3DERR_NOTAVAILABLE;
        }
        if (af != bf || GetAdapterModeCount(a, af) == 0) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }
    HRESULT CheckDeviceFormat(UINT a, D3DDEVTYPE, D3DFORMAT af, DWORD usage, D3DRESOURCETYPE, D3DFORMAT f) override {
        if (!(usage & D3DUSAGE_DEPTHSTENCIL)) return D3D_OK;
        depthChecks.push_back({af, f});
        for (D3DFORMAT d : adapters[a].depthFormats)
            if (d == f) return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override {
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDepthStencilMatch(UINT a, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT d) override {
        for (D3DFORMAT f : adapters[a].depthFormats)
            if (f == d) return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT GetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* caps) override {
        std::memset(caps, 0, sizeof *caps);
        caps->DeviceType = t;
        caps->AdapterOrdinal = a;
        caps->DevCaps = adapters[a].devCaps;
        return HasType(a, t) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HMONITOR GetAdapterMonitor(UINT a) override { return adapters[a].monitor; }
    HRESULT CreateDevice(UINT a, D3DDEVTYPE t, HWND focus, DWORD behavior, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** out) override {
        *out = nullptr;
        creates.push_back({a, t, focus, behavior, *pp});
        for (auto [w, h] : adapters[a].refusedSizes)
            if (w == pp->BackBufferWidth && h == pp->BackBufferHeight) return D3DERR_NOTAVAILABLE;
        // A real offscreen device stands in for the one asked for.
        D3DPRESENT_PARAMETERS offscreen{};
        offscreen.BackBufferWidth = 64;
        offscreen.BackBufferHeight = 64;
        offscreen.BackBufferFormat = D3DFMT_X8R8G8B8;
        offscreen.BackBufferCount = 1;
        offscreen.SwapEffect = D3DSWAPEFFECT_DISCARD;
        offscreen.Windowed = TRUE;
        const DWORD vp = behavior & ~D3DCREATE_PUREDEVICE;
        return real->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, vp, &offscreen, out);
    }
};
