// One 1920 x 1080 frame of the flame slide (the fire drawn through the fire
// effect, the slide captured and drawn back through the heat distortion)
// against one frame of a plain picture slide, in the same run.  The figure
// that matters is the CPU time of the calling thread (the "CPU" column) and
// the difference between the two: llvmpipe rasterises on threads of its own,
// and Present (which waits for them) is left out of the timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "document/res_manager.h"
#include "layers/flame_light.h"
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

// A demo effect as the bytes of module effect `id` in the manager.
bool AddEffect(DS_DocResManager& manager, int id, const char* file) {
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects/" + file, std::ios::binary);
    const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return false;
    DS_ResFileData record(id, u"common_res.dll");
    record.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
    manager.Tables().allFiles[DS_LinkKey{u"common_res.dll", id}].push_back(record);
    return true;
}

// `flame`: the flame layer; else the plain picture layer.
void Frame(benchmark::State& state, bool flame) {
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
    // Every link (the picture, the bump map, the fire's pattern and noise)
    // gets the same picture: what is measured does not depend on its content.
    tessaloom::testing::OnePictureResources resources;
    resources.picture.texture.Attach(MakePicture(device, kWidth, kHeight));
    resources.picture.width = kWidth;
    resources.picture.height = kHeight;
    SetLayerResources(&resources);
    auto manager = std::make_unique<DS_DocResManager>();
    SetCurrentDocResManager(manager.get());
    if (!AddEffect(*manager, 92, "fire.fx") || !AddEffect(*manager, 63, "heat_distortion.fx"))
        state.SkipWithError("the demo effects are missing");

    {
        DS_SlideShow_Light root;
        auto* slide = new DS_SlideContainer;
        DS_2D_Light* layer = flame ? new DS_FlameLight : new DS_2D_Light;
        layer->camera.enabled.value = 1;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
        root.slides.emplace_back(slide);
        slide->Init();
        root.SetPicturePosition(DS_POS_FIT);
        if (flame && !static_cast<DS_FlameLight*>(layer)->NeedsSceneTexture())
            state.SkipWithError("the flame layer has no distortion");
        float time = 0.0f;
        for (auto _ : state) {
            time += 0.033f;
            root.FrameMove(time);
            device->BeginScene();
            root.Render();
            device->EndScene();
            state.PauseTiming();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
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

void PictureSlideFrame(benchmark::State& state) { Frame(state, false); }
void FlameSlideFrame(benchmark::State& state) { Frame(state, true); }

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.  The
// run length follows the wall clock (a frame waits long for llvmpipe); the
// CPU column stays the figure to read.
BENCHMARK(PictureSlideFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();
BENCHMARK(FlameSlideFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

BENCHMARK_MAIN();
