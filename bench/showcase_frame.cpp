// One 1920 x 1080 frame of each slide of the showcase scene (its document
// written by the scene builder and read by the loader, its pictures, meshes
// and effects the document's and the resource module's), beside a plain
// picture slide over the same first picture, in the same run: first on
// llvmpipe, then (the program runs itself again) under Mesa's no-op driver.
//
// Our own CPU per frame is the calling thread's CPU under the no-op driver
// (our code, the stand-in and Mesa's GL front end; goal: under 1 ms per
// slide).  On llvmpipe the same thread also sets up and bins for the
// rasteriser; the difference between the two runs is the rasteriser's share
// on the drawing thread.  Counters:
//   cpu_us      the calling thread's CPU per frame (Present left out)
//   frame_ms    wall time per frame, Present (the wait for llvmpipe's
//               threads) included
//   vs_picture  cpu_us against the plain picture slide's, same driver
// The no-op run's summary repeats the llvmpipe figures (handed over in the
// environment) and prints the rasteriser's share per slide.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/showcase_bench.h"

namespace {

constexpr int kSlides = tessaloom::bench::kShowcaseSlides;
constexpr const char* const* kNames = tessaloom::bench::kShowcaseNames;
constexpr const char* kHandOver = "TESSALOOM_SHOWCASE_LLVMPIPE_MS";


// The calling thread's CPU per frame of each slide in this process (0: the plain picture slide).
double g_ms[kSlides + 1] = {};

// `index` 0: a plain picture layer over the showcase's first picture; else
// showcase slide `index`, alone in its slide show.
void Frame(benchmark::State& state, int index) {
    tessaloom::bench::BenchDevice bench(true);
    if (!bench.Ready(state)) return;
    tessaloom::bench::LoadedShowcase showcase(state, bench);
    if (!showcase.Ready()) return;
    double ms = 0, wall = 0;
    {
        DS_SlideShow_Light root;
        showcase.Show(root, index);
        root.slides[0]->Init();
        root.SetPicturePosition(DS_POS_FIT);
        const auto start = std::chrono::steady_clock::now();
        ms = tessaloom::bench::RunFrames(state, root, bench.device);
        wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    g_ms[index] = ms;
    if (state.iterations() > 0) state.counters["frame_ms"] = wall / static_cast<double>(state.iterations());
    if (index > 0 && g_ms[0] > 0) state.counters["vs_picture"] = ms / g_ms[0];
}

void Summary() {
    const bool noop = tessaloom::bench::NoopDriver();
    double llvmpipe[kSlides + 1] = {};
    bool handed = false;
    if (const char* text = std::getenv(kHandOver); noop && text) {
        std::istringstream in(text);
        handed = true;
        for (double& v : llvmpipe) handed = handed && static_cast<bool>(in >> v);
    }
    std::printf("%s: the calling thread's CPU per frame (ms)%s\n",
                noop ? "no-op driver (our code, the stand-in, Mesa's GL front end; goal under 1 ms)"
                     : "llvmpipe (with its set-up and binning)",
                handed ? "; llvmpipe's run; the rasteriser's share on this thread" : "");
    std::ostringstream out;
    for (int i = 0; i <= kSlides; ++i) {
        out << g_ms[i] << ' ';
        if (handed)
            std::printf("  %-9s %7.3f   %7.3f   %7.3f\n", kNames[i], g_ms[i], llvmpipe[i], llvmpipe[i] - g_ms[i]);
        else
            std::printf("  %-9s %7.3f\n", kNames[i], g_ms[i]);
    }
    if (!noop) setenv(kHandOver, out.str().c_str(), 1);
}

void PictureSlide(benchmark::State& state) { Frame(state, 0); }
void GardenSlide(benchmark::State& state) { Frame(state, 1); }
void CampfireSlide(benchmark::State& state) { Frame(state, 2); }
void CitySlide(benchmark::State& state) { Frame(state, 3); }
void ReefSlide(benchmark::State& state) { Frame(state, 4); }
void LakeSlide(benchmark::State& state) { Frame(state, 5); }
void CodeSlide(benchmark::State& state) { Frame(state, 6); }
void PondSlide(benchmark::State& state) { Frame(state, 7); }

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.
#define SHOWCASE_BENCHMARK(f) \
    BENCHMARK(f)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0)->MinTime(3.0)->UseRealTime()
SHOWCASE_BENCHMARK(PictureSlide);
SHOWCASE_BENCHMARK(GardenSlide);
SHOWCASE_BENCHMARK(CampfireSlide);
SHOWCASE_BENCHMARK(CitySlide);
SHOWCASE_BENCHMARK(ReefSlide);
SHOWCASE_BENCHMARK(LakeSlide);
SHOWCASE_BENCHMARK(CodeSlide);
SHOWCASE_BENCHMARK(PondSlide);

int main(int argc, char** argv) { return tessaloom::bench::MainWithNoopRun(argc, argv, &Summary); }
