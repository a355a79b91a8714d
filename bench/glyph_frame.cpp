// The glyph-rain layer on a 1920 x 1080 picture with 16-pixel cells (121 x
// 68 cells, one quad each), the rain running for a while first so that the
// screen is full of drops, with the luminance mask on:
//   GlyphWalk: one simulation step and the walk that writes every quad of
//     the batch (UpdateGlyphs), the CPU work of the layer per drawn frame;
//   GlyphRainFrame: the whole frame of the slide (the picture cleared to
//     black, the batch drawn); Present, which waits for llvmpipe's threads,
//     is left out of the timing.  Read the "CPU" column.
#include <benchmark/benchmark.h>

#include "bench/support/frame_bench.h"
#include "layers/matrix_code_light.h"
#include "scene/slide_show.h"

namespace {

// `whole`: the slide's frame; else only the layer's step and walk.
void Run(benchmark::State& state, bool whole) {
    // The picture serves as the glyph strip too: the timing does not depend
    // on what the glyphs look like.
    tessaloom::bench::BenchDevice bench;
    if (!bench.Ready(state)) return;
    IDirect3DDevice9* device = bench.device;
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
}

void GlyphWalk(benchmark::State& state) { Run(state, false); }
void GlyphRainFrame(benchmark::State& state) { Run(state, true); }

}  // namespace

BENCHMARK(GlyphWalk)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(GlyphRainFrame)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

BENCHMARK_MAIN();
