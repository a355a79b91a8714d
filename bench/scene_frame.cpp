// One frame of a slide through the scene's own code and the Direct3D
// stand-in: a 1920 x 1080 picture layer with its letterbox bars and fade
// quad, and 2,000 sprites whose vertices are rewritten every frame and drawn
// through the layer's sprite service.  The figure that matters is the CPU
// time of the calling thread (the "CPU" column, cpu_us); Present (which
// waits for llvmpipe's threads) is left out of the timing.  llvmpipe's
// set-up and binning run on the calling thread too (bench/flame_frame.cpp
// separates them with the no-op driver).
#include <cmath>
#include <cstring>

#include "bench/support/frame_bench.h"

namespace {

constexpr int kSprites = 2000;

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
    void FrameMove(double time) override {
        DX_V::PCT* v = mesh_.Lock();
        if (!v) return;
        for (int j = 0; j < kSprites; ++j) {
            const float x = static_cast<float>(std::fmod(j * 37 + time * 50.0, 1920.0));
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

void SceneFrame(benchmark::State& state) {
    tessaloom::bench::BenchDevice bench;
    if (!bench.Ready(state)) return;
    g_spriteTexture = tessaloom::testing::MakeManagedTexture(bench.device, 64, 64, [](UINT x, UINT y) {
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
        tessaloom::bench::RunFrames(state, root, bench.device);
    }
    SafeRelease(g_spriteTexture);
}

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.
BENCHMARK(SceneFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(3.0);

BENCHMARK_MAIN();
