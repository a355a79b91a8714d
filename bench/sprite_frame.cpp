// CPU time of one frame step of a sprite population: the update of every
// sprite and the vertex writing under one lock, 2,000 sprites over a
// 1920 x 1080 picture, on the offscreen device, without drawing.  One
// benchmark per kind, grouped as the demo scene's slides group them.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "document/res_manager.h"
#include "platform/crt/rand.h"
#include "platform/d3d9/d3d9.h"
#include "scene/current_device.h"
#include "scene/sprites/fish.h"
#include "scene/sprites/flow.h"
#include "scene/sprites/fog.h"
#include "scene/sprites/god_ray.h"
#include "scene/sprites/grass.h"
#include "scene/sprites/lighting.h"
#include "scene/sprites/sparkle.h"
#include "scene/sprites/sprite_array_obj.h"
#include "scene/sprites/stat_obj.h"
#include "scene/view_2d.h"

namespace {

constexpr UINT kWidth = 1920, kHeight = 1080;
constexpr unsigned int kSprites = 2000;

// The device, a resource manager holding one 64 x 64 sprite picture with
// four frames, and the 1920 x 1080 screen mapping.
class SpriteStage {
public:
    SpriteStage() {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        if (!d3d_ ||
            FAILED(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_)))
            return;
        CurrentDevice = device_;
        state_.mapping.logicalWidth = kWidth;
        state_.mapping.logicalHeight = kHeight;
        DS_SetCurrentViewState(&state_);
        SetCurrentDocResManager(&manager_);

        picture_ = DS_ImageFileLink(DS_LinkKey{u"C:\\pictures\\sprite.tga", 1});
        DS_ImageSet& set = manager_.Tables().imageCache[picture_.key];
        for (int f = 0; f < 4; ++f) {
            IDirect3DTexture9* t = nullptr;
            if (FAILED(device_->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr))) return;
            DS_TextureInfo info;
            info.texture = DS_TextureRef::Adopt(t);
            info.SetSize(64, 64);
            set.AddFrame(info);
        }
        set.SetFrameValues({0.1f, 0.1f, 0.1f, 0.1f});
        ok_ = true;
    }
    ~SpriteStage() {
        SetCurrentDocResManager(nullptr);
        DS_SetCurrentViewState(nullptr);
        CurrentDevice = nullptr;
        manager_.Tables().imageCache.clear();
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
    }
    bool ok() const { return ok_; }
    const DS_ImageFileLink& picture() const { return picture_; }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    DS_ViewState state_;
    DS_DocResManager manager_;
    DS_ImageFileLink picture_;
    bool ok_ = false;
};

// Steps a population of 2,000 sprites of `description`'s kind at 60 frames a
// second; the description is set up as the demo scene sets up its kind.
void RunKind(benchmark::State& state, DS_BaseSpriteProp& description) {
    SpriteStage stage;
    if (!stage.ok()) {
        state.SkipWithError("no offscreen device");
        return;
    }
    crt::srand(1);
    description.image = stage.picture();
    description.count.value = kSprites;
    description.size.value = 40;
    description.sizeMin = 0.5f;
    description.sizeMax = 1.5f;
    description.pulseSpeed = 0.5f;
    description.pulseMin = 0.2f;
    description.leftFraction = 0.0f;
    description.rightFraction = 1.0f;
    description.topFraction = 0.0f;
    description.bottomFraction = 1.0f;
    description.SyncPixelsFromFractions();
    std::unique_ptr<DS_SpriteArrayObj> population(static_cast<DS_SpriteArrayObj*>(description.CreateObject()));
    if (population->vertexCount != 4 * kSprites) {
        state.SkipWithError("the population's buffers were not made");
        return;
    }
    float time = 0.0f;
    for (auto _ : state) {
        time += 1.0f / 60.0f;
        population->FrameMove(time);
        benchmark::ClobberMemory();
    }
    state.counters["sprites"] = kSprites;
}

template <class Kind>
void Bench(benchmark::State& state) {
    Kind description;
    RunKind(state, description);
}

}  // namespace

// Water.
BENCHMARK(Bench<DS_FishConstructor>)->Name("water/fish")->Unit(benchmark::kMicrosecond);
// Sky.
BENCHMARK(Bench<DS_BirdConstructor>)->Name("sky/birds")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_GodRayConstructor>)->Name("sky/god_rays")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_FogConstructor>)->Name("sky/fog")->Unit(benchmark::kMicrosecond);
// Night.
BENCHMARK(Bench<DS_GhostConstructor>)->Name("night/ghosts")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_SparkleConstructor>)->Name("night/sparkles")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_LightingConstructor>)->Name("night/lightning")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_RainConstructor>)->Name("night/rain")->Unit(benchmark::kMicrosecond);
// Meadow.
BENCHMARK(Bench<DS_GrassConstructor>)->Name("meadow/grass")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_FlowerConstructor>)->Name("meadow/flowers")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_StatObjConstructor>)->Name("meadow/still_pictures")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_FlowConstructor>)->Name("meadow/flows")->Unit(benchmark::kMicrosecond);
BENCHMARK(Bench<DS_DischargeConstructor>)->Name("meadow/discharges")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
