// The water rings at 1920 x 1080: the ripple mesh's per-frame work alone
// (four simulation sub-steps and the rewrite of every vertex) on the default
// 128-column grid of a 16:9 picture (128 x 72 cells), and one whole frame of a
// water-ring slide on the device for comparison.  The figure that matters is
// the CPU column of the calling thread (cpu_us); Present is left out of the
// timing.  llvmpipe's set-up and binning run on the calling thread too
// (bench/flame_frame.cpp separates them with the no-op driver).
#include <vector>

#include "bench/support/frame_bench.h"
#include "layers/water_ring_light.h"
#include "platform/crt/rand.h"

namespace {

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

// One frame of a water-ring slide in `mode` (0: water under the objects,
// 1: over the captured slide).
void WaterRingSlideFrame(benchmark::State& state) {
    tessaloom::bench::BenchDevice bench(true);
    if (!bench.Ready(state)) return;
    bench.resources.picture.aspect =
        static_cast<float>(tessaloom::bench::BenchDevice::kHeight) / static_cast<float>(tessaloom::bench::BenchDevice::kWidth);
    DS_SlideShow_Light root;
    auto* slide = new DS_SlideContainer;
    auto* layer = new DS_WaterRingLight;
    layer->captureMode.value = static_cast<int>(state.range(0));
    layer->camera.enabled.value = 1;
    slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
    root.slides.emplace_back(slide);
    slide->Init();
    root.SetPicturePosition(DS_POS_FIT);
    tessaloom::bench::RunFrames(state, root, bench.device);
    state.counters["cells"] = static_cast<double>(layer->ripples->cellCount);
}

}  // namespace

BENCHMARK(RippleMeshUpdate)->Unit(benchmark::kMicrosecond);
// The warm-up lets llvmpipe compile its shader variants before timing.
BENCHMARK(WaterRingSlideFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinWarmUpTime(2.0)->MinTime(5.0)->UseRealTime();

BENCHMARK_MAIN();
