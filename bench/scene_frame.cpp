// One frame of a slide through the scene's own code and the Direct3D
// stand-in: a 1920 x 1080 picture layer with its letterbox bars and fade
// quad, and 2,000 sprites whose vertices are rewritten every frame and drawn
// through the layer's sprite service.  The figure that matters is the CPU
// time of the calling thread (the "CPU" column): llvmpipe rasterises on
// threads of its own, and Present (which waits for them) is left out of the
// timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/d3d9.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"
#include "tests/support/scene_fixture.h"

namespace {

constexpr UINT kWidth = 1920, kHeight = 1080;
constexpr int kSprites = 2000;

using BenchResources = tessaloom::testing::OnePictureResources;

// A sprite population: one indexed PCT mesh of kSprites quads of 64 pixels,
// moved every frame.
class SpriteDescription : public DS_ABObj_Constructor {
public:
    DS_ABObj* CreateObject() override;
};

class SpriteObject : public DS_ABObj {
public:
    SpriteObject(SpriteDescription* copy, IDirect3DTexture9* texture) : DS_ABObj(copy), copy_(copy) {
        texture_.Set(texture);
        mesh_.primitiveType = D3DPT_TRIANGLELIST;
        mesh_.indexedPrimitiveCount = kSprites * 2;
        mesh_.CreateVertexBuffer(kSprites * 4);
        mesh_.CreateIndexBuffer(kSprites * 6);
        if (WORD* idx = mesh_.LockIndices()) {
            for (int j = 0; j < kSprites; ++j) {
                const WORD b = static_cast<WORD>(4 * j);
                const WORD q[6] = {b, static_cast<WORD>(b + 1), static_cast<WORD>(b + 2), static_cast<WORD>(b + 2),
                                   static_cast<WORD>(b + 1), static_cast<WORD>(b + 3)};
                std::memcpy(idx + 6 * j, q, sizeof(q));
            }
            mesh_.UnlockIndices();
        }
    }
    ~SpriteObject() override { delete copy_; }
    void FrameMove(float time) override {
        DX_V::PCT* v = mesh_.Lock();
        if (!v) return;
        for (int j = 0; j < kSprites; ++j) {
            const float x = std::fmod(static_cast<float>(j * 37) + time * 50.0f, 1920.0f);
            const float y = static_cast<float>((j * 53) % 1080);
            const D3DCOLOR c = 0xC0FFFFFFu;
            DX_V::PCT* q = v + 4 * j;
            q[0] = {x, y + 64, 0, c, 0, 1};
            q[1] = {x, y, 0, c, 0, 0};
            q[2] = {x + 64, y + 64, 0, c, 1, 1};
            q[3] = {x + 64, y, 0, c, 1, 0};
        }
        mesh_.Unlock();
    }
    void Render(DS_2D_Light& layer) override {
        layer.DrawSpriteArray(DS_SpriteDrawData{&mesh_, texture_.Get(), nullptr, 0});
    }

private:
    SpriteDescription* copy_;
    DS_IndexedMesh<DX_V::PCT> mesh_;
    DS_ComRef<IDirect3DTexture9> texture_;
};

IDirect3DTexture9* g_spriteTexture = nullptr;

DS_ABObj* SpriteDescription::CreateObject() { return new SpriteObject(new SpriteDescription(*this), g_spriteTexture); }

IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, UINT w, UINT h, D3DCOLOR (*color)(UINT, UINT)) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr))) return nullptr;
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            const D3DCOLOR c = color(x, y);
            std::memcpy(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch + x * 4, &c, 4);
        }
    texture->UnlockRect(0);
    return texture;
}

void SceneFrame(benchmark::State& state) {
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
    DS_ViewState view;
    DS_SetCurrentViewState(&view);
    BenchResources resources;
    resources.picture.texture.Attach(
        MakeTexture(device, 1920, 1080, [](UINT x, UINT y) { return D3DCOLOR_ARGB(255, x & 255, y & 255, 128); }));
    resources.picture.width = 1920;
    resources.picture.height = 1080;
    SetLayerResources(&resources);
    g_spriteTexture = MakeTexture(device, 64, 64, [](UINT x, UINT y) {
        const int dx = static_cast<int>(x) - 32, dy = static_cast<int>(y) - 32;
        return dx * dx + dy * dy < 900 ? 0xFFFFFFFFu : 0x00FFFFFFu;
    });

    {
        DS_SlideShow_Light root;
        for (int i = 0; i < 2; ++i) {
            auto* slide = new DS_SlideContainer;
            slide->mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
            slide->mainLayer->camera.enabled.value = 1;
            slide->prototypes.push_back(new SpriteDescription);
            root.slides.emplace_back(slide);
        }
        for (auto& slide : root.slides) slide->Init();
        root.SetPicturePosition(DS_POS_FIT);
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
    SafeRelease(g_spriteTexture);
    resources.picture.texture.Release();
    SetLayerResources(nullptr);
    view.view.Teardown();
    DS_SetCurrentViewState(nullptr);
    CurrentDevice = nullptr;
    device->Release();
    d3d->Release();
}

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.
BENCHMARK(SceneFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(3.0);

BENCHMARK_MAIN();
