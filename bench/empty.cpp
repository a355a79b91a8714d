// Placeholder benchmark program: keeps the benchmark build wired up until the
// subsystems add their own programs beside it.
#include <benchmark/benchmark.h>

static void BM_Nothing(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
}
BENCHMARK(BM_Nothing);
BENCHMARK_MAIN();
