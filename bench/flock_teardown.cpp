// Tearing down a flock: every butterfly's controller leaves the flock's size
// parameter as it goes, oldest first, as a group's destructor takes them.
// The time per butterfly must not grow with the flock (Complexity: O(N)).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/crt/rand.h"
#include "scene/objects3d/butterfly.h"
#include "scene/view_2d.h"

namespace {

void Teardown(benchmark::State& state) {
    DS_ViewState view;
    view.mapping.logicalWidth = 1280;
    view.mapping.logicalHeight = 800;
    DS_SetCurrentViewState(&view);
    DS_ButterflyConstructor flock;
    const size_t n = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<DS_Frame*> butterflies;
        butterflies.reserve(n);
        for (size_t i = 0; i < n; ++i) butterflies.push_back(flock.CreateInstance());
        state.ResumeTiming();
        for (DS_Frame* root : butterflies) {
            root->DestroyTree();
            delete root;
        }
    }
    DS_SetCurrentViewState(nullptr);
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(Teardown)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
