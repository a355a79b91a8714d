// One 1920 x 1080 frame of the flame slide (the fire drawn through the fire
// effect, the slide captured and drawn back through the heat distortion)
// against one frame of a plain picture slide, in the same run.  The figure
// that matters is the CPU time of the calling thread (the "CPU" column) and
// the difference between the two: llvmpipe rasterises on threads of its own,
// and Present (which waits for them) is left out of the timing.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_device.h"
#include "layers/flame_light.h"
#include "scene/slide_show.h"

namespace {

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
    // Every link (the picture, the bump map, the fire's pattern and noise)
    // gets the same picture: what is measured does not depend on its content.
    tessaloom::bench::BenchDevice bench;
    if (!bench.Ready(state)) return;
    IDirect3DDevice9* device = bench.device;
    if (!AddEffect(*bench.manager, 92, "fire.fx") || !AddEffect(*bench.manager, 63, "heat_distortion.fx"))
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
