// What the frame benchmarks share: a windowed 1920 x 1080 device made
// current together with a view state, one picture that answers every
// picture link, and an empty current resource manager; all of it released
// in order when the benchmark ends.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "document/res_manager.h"
#include "platform/d3d9/d3d9.h"
#include "scene/layer_resources.h"
#include "scene/view_2d.h"
#include "tests/support/scene_fixture.h"

namespace tessaloom::bench {

// A managed A8R8G8B8 texture with a pattern in every channel.
inline IDirect3DTexture9* MakePicture(IDirect3DDevice9* device, UINT w, UINT h) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr))) return nullptr;
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            const D3DCOLOR c = D3DCOLOR_ARGB(255, x & 255, y & 255, (x ^ y) & 255);
            std::memcpy(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch + x * 4, &c, 4);
        }
    texture->UnlockRect(0);
    return texture;
}

class BenchDevice {
public:
    static constexpr UINT kWidth = 1920, kHeight = 1080;

    BenchDevice() {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) return;
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = kWidth;
        params.BackBufferHeight = kHeight;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &params, &device)))
            device = nullptr;
        if (!device) return;
        CurrentDevice = device;
        current_ = device;
        SetResCurrentDeviceGetter(&Current);
        DS_SetCurrentViewState(&view);
        resources.picture.texture.Attach(MakePicture(device, kWidth, kHeight));
        resources.picture.width = kWidth;
        resources.picture.height = kHeight;
        SetLayerResources(&resources);
        manager = std::make_unique<DS_DocResManager>();
        SetCurrentDocResManager(manager.get());
    }
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;
    ~BenchDevice() {
        if (device) {
            SetCurrentDocResManager(nullptr);
            manager.reset();
            resources.picture.texture.Release();
            SetLayerResources(nullptr);
            view.view.Teardown();
            DS_SetCurrentViewState(nullptr);
            SetResCurrentDeviceGetter(nullptr);
            CurrentDevice = nullptr;
            current_ = nullptr;
            device->Release();
        }
        if (d3d) d3d->Release();
    }

    // False (with the reason) when no device could be made.
    bool Ready(benchmark::State& state) const {
        if (device) return true;
        state.SkipWithError(d3d ? "no device" : "no Direct3D");
        return false;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    DS_ViewState view;
    tessaloom::testing::OnePictureResources resources;
    std::unique_ptr<DS_DocResManager> manager;

private:
    static IDirect3DDevice9* Current() { return current_; }
    static inline IDirect3DDevice9* current_ = nullptr;
};

}  // namespace tessaloom::bench
