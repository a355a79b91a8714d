// The water rings at 1920 x 1080: the ripple mesh's per-frame work alone
// (four simulation sub-steps and the rewrite of every vertex) on the default
// 128-column grid of a 16:9 picture (128 x 72 cells), and one whole frame of a
// water-ring slide on the device for comparison.  The figure that matters is
// the CPU column of the calling thread; llvmpipe rasterises on threads of
// its own, and Present is left out of the timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "document/res_device.h"
#include "layers/water_ring_light.h"
#include "platform/crt/rand.h"
#include "platform/d3d9/d3d9.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"
#include "tests/support/scene_fixture.h"

namespace {

constexpr UINT kWidth = 1920, kHeight = 1080;
// A 16:9 picture: the surface is 30 / (1080 / 1920) wide and 30 high.
constexpr float kSurfaceWidth = 30.0f * 1920.0f / 1080.0f;

// The mesh's four sub-steps and vertex rewrite, into a buffer of our own
// (what Update writes into the locked vertex buffer).  A drop every second
// of frames keeps the surface moving.
void RippleMeshUpdate(benchmark::State& state) {
    crt::ResetRandForTests();
    DS_RippleMesh mesh;
    mesh.BuildRefractionTable();
    mesh.Resize(kSurfaceWidth, 30.0f, 1.0f, 1.0f);
    std::vector<DS_RippleMesh::Vertex> vertices(mesh.vertexCount);
    const D3DXVECTOR3 eye(0.0f, 120.0f, 0.0f);
    int frame = 0;
    for (auto _ : state) {
        if (frame++ % 30 == 0) mesh.AddDrop();
        mesh.Simulate();
        mesh.WriteVertices(eye, vertices.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
    }
    state.counters["cells"] = static_cast<double>(mesh.cellCount);
    crt::ResetRandForTests();
}

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

// One frame of a water-ring slide in `mode` (0: water under the objects,
// 1: over the captured slide).
void WaterRingSlideFrame(benchmark::State& state) {
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
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
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
    tessaloom::testing::OnePictureResources resources;
    resources.picture.texture.Attach(MakePicture(device, kWidth, kHeight));
    resources.picture.width = kWidth;
    resources.picture.height = kHeight;
    resources.picture.aspect = static_cast<float>(kHeight) / static_cast<float>(kWidth);
    SetLayerResources(&resources);
    {
        DS_SlideShow_Light root;
        auto* slide = new DS_SlideContainer;
        auto* layer = new DS_WaterRingLight;
        layer->captureMode.value = static_cast<int>(state.range(0));
        layer->camera.enabled.value = 1;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
        root.slides.emplace_back(slide);
        slide->Init();
        root.SetPicturePosition(DS_POS_FIT);
        double time = 0.0;
        for (auto _ : state) {
            time += 0.033;
            root.FrameMove(time);
            device->BeginScene();
            root.Render();
            device->EndScene();
            state.PauseTiming();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
        state.counters["cells"] = static_cast<double>(layer->ripples->cellCount);
    }
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

}  // namespace

BENCHMARK(RippleMeshUpdate)->Unit(benchmark::kMicrosecond);
// The warm-up lets llvmpipe compile its shader variants before timing.
BENCHMARK(WaterRingSlideFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

BENCHMARK_MAIN();
