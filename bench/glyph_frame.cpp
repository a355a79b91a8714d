// The glyph-rain layer on a 1920 x 1080 picture with 16-pixel cells (121 x
// 68 cells, one quad each), the rain running for a while first so that the
// screen is full of drops, with the luminance mask on:
//   GlyphWalk: one simulation step and the walk that writes every quad of
//     the batch (UpdateGlyphs), the CPU work of the layer per drawn frame;
//   GlyphRainFrame: the whole frame of the slide (the picture cleared to
//     black, the batch drawn); Present, which waits for llvmpipe's threads,
//     is left out of the timing.  Read the "CPU" column.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "document/res_manager.h"
#include "layers/matrix_code_light.h"
#include "platform/d3d9/d3d9.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"
#include "tests/support/scene_fixture.h"

namespace {

constexpr UINT kWidth = 1920, kHeight = 1080;

IDirect3DDevice9* g_device = nullptr;
IDirect3DDevice9* Device() { return g_device; }

IDirect3DTexture9* MakePicture(IDirect3DDevice9* device, UINT w, UINT h) {
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

// `whole`: the slide's frame; else only the layer's step and walk.
void Run(benchmark::State& state, bool whole) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) {
        state.SkipWithError("no Direct3D");
        return;
    }
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = kWidth;
    params.BackBufferHeight = kHeight;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &params, &device))) {
        d3d->Release();
        state.SkipWithError("no device");
        return;
    }
    CurrentDevice = device;
    g_device = device;
    SetResCurrentDeviceGetter(&Device);
    DS_ViewState view;
    DS_SetCurrentViewState(&view);
    // The picture serves as the glyph strip too: the timing does not depend
    // on what the glyphs look like.
    tessaloom::testing::OnePictureResources resources;
    resources.picture.texture.Attach(MakePicture(device, kWidth, kHeight));
    resources.picture.width = kWidth;
    resources.picture.height = kHeight;
    SetLayerResources(&resources);
    auto manager = std::make_unique<DS_DocResManager>();
    SetCurrentDocResManager(manager.get());

    {
        DS_SlideShow_Light root;
        auto* slide = new DS_SlideContainer;
        auto* rain = new DS_MatrixCodeLight;
        rain->camera.enabled.value = 1;
        rain->background.value = 1;
        rain->density.value = 45;
        rain->flicker.value = 1;
        rain->color.value = 0x0070FF50u;
        rain->highlightColor.value = 0x00FFFFFFu;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(rain);
        root.slides.emplace_back(slide);
        slide->Init();
        root.SetPicturePosition(DS_POS_FIT);
        if (rain->quads.quadCount != 121 * 68) state.SkipWithError("unexpected grid");
        double time = 0.0;
        for (int i = 0; i < 600; ++i) rain->UpdateGlyphs(time += 0.033);
        for (auto _ : state) {
            time += 0.033;
            if (!whole) {
                rain->UpdateGlyphs(time);
                continue;
            }
            root.FrameMove(time);
            device->BeginScene();
            root.Render();
            device->EndScene();
            state.PauseTiming();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
        state.counters["glyphs"] = rain->cursor ? rain->cursor->currentCount : 0;
    }
    SetCurrentDocResManager(nullptr);
    manager.reset();
    resources.picture.texture.Release();
    SetLayerResources(nullptr);
    view.view.Teardown();
    DS_SetCurrentViewState(nullptr);
    SetResCurrentDeviceGetter(nullptr);
    CurrentDevice = nullptr;
    g_device = nullptr;
    device->Release();
    d3d->Release();
}

void GlyphWalk(benchmark::State& state) { Run(state, false); }
void GlyphRainFrame(benchmark::State& state) { Run(state, true); }

}  // namespace

BENCHMARK(GlyphWalk)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(GlyphRainFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

BENCHMARK_MAIN();
