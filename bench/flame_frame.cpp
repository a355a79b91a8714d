// One 1920 x 1080 frame of the flame slide (the fire drawn through the fire
// effect, the slide captured and drawn back through the heat distortion)
// against one frame of a plain picture slide, in the same run, first on
// llvmpipe and then (the program runs itself again) under Mesa's no-op
// driver.
//
// The figure that matters is our own CPU per frame: our code and the
// stand-in, not the rasteriser.  On llvmpipe the calling thread's CPU (the
// "CPU" column, cpu_us) holds llvmpipe's set-up and binning too, which run
// on the thread that draws; under the no-op driver the same GL calls are
// made and nothing is rasterised, so what is left is ours and Mesa's GL
// front end.  Counters:
//   cpu_us      the calling thread's CPU per frame (Present left out)
//   vs_picture  cpu_us against the picture slide's, same driver, same run
//   adds_us     what the flame slide adds to the picture slide's cpu_us
//               (goal, under the no-op driver: under 300 us)
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/support/frame_bench.h"
#include "layers/flame_light.h"

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

// The calling thread's CPU per frame of each slide in this process.
double g_pictureMs = 0, g_flameMs = 0;

// `flame`: the flame layer; else the plain picture layer.
void Frame(benchmark::State& state, bool flame) {
    // Every link (the picture, the bump map, the fire's pattern and noise)
    // gets the same picture: what is measured does not depend on its content.
    tessaloom::bench::BenchDevice bench;
    if (!bench.Ready(state)) return;
    if (!AddEffect(*bench.manager, 92, "fire.fx") || !AddEffect(*bench.manager, 63, "heat_distortion.fx"))
        state.SkipWithError("the demo effects are missing");
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
    const double ms = tessaloom::bench::RunFrames(state, root, bench.device);
    (flame ? g_flameMs : g_pictureMs) = ms;
    if (g_pictureMs > 0) state.counters["vs_picture"] = ms / g_pictureMs;
    if (flame && g_pictureMs > 0) state.counters["adds_us"] = (ms - g_pictureMs) * 1e3;
}

void PictureSlideFrame(benchmark::State& state) { Frame(state, false); }
void FlameSlideFrame(benchmark::State& state) { Frame(state, true); }

void Summary() {
    if (g_pictureMs <= 0 || g_flameMs <= 0) return;
    std::printf("%s: the calling thread's CPU per frame: picture slide %.3f ms, flame slide %.3f ms; "
                "the flame adds %.3f ms (%.2f x the picture slide)%s\n",
                tessaloom::bench::NoopDriver() ? "no-op driver (our code, the stand-in, Mesa's GL front end)"
                                               : "llvmpipe (with its set-up and binning)",
                g_pictureMs, g_flameMs, g_flameMs - g_pictureMs, g_flameMs / g_pictureMs,
                tessaloom::bench::NoopDriver() ? "; goal: under 0.3 ms" : "");
}

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.  The
// run length follows the wall clock (a frame waits long for llvmpipe); the
// CPU figures stay the ones to read.
BENCHMARK(PictureSlideFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();
BENCHMARK(FlameSlideFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

int main(int argc, char** argv) { return tessaloom::bench::MainWithNoopRun(argc, argv, &Summary); }
