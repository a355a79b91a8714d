// One 1280 x 800 frame of each showcase slide as stored ("_stored") and with
// every population a document can make as large as it can ask for
// ("_counts": every count 2^32 - 1; "_sizes": every size too; the glyph rain's cells at size 0 with 2^31 - 1
// changes, the water rings' grid factors at 2^32 - 1), beside a plain
// picture slide in the same run: first on llvmpipe, then (the program runs
// itself again) under Mesa's no-op driver.  The caps and the slide's budget
// bring each population within what a frame can show; what is measured is
// the frame they leave.  Goal: at least 5 frames a second on llvmpipe.
//
// Counters:
//   frame_ms    wall time per frame, Present (the wait for llvmpipe's
//               threads) included: what the frame rate follows
//   cpu_us      the calling thread's CPU per frame (Present left out)
//   vs_picture  frame_ms against the plain picture slide's, same run
//   members     the sprites, 3D instances, pieces, glyph cells and water
//               cells the slide was made with
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/support/showcase_bench.h"
#include "layers/matrix_code_light.h"
#include "layers/ripple_mesh.h"
#include "layers/water_ring_light.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/objects3d/object_3d.h"
#include "scene/sprites/sprite_array_obj.h"

namespace {

constexpr UINT kWidth = 1280, kHeight = 800;
constexpr UINT kHuge = 0xFFFFFFFFu;
constexpr int kSlides = tessaloom::bench::kShowcaseSlides;
constexpr const char* const* kNames = tessaloom::bench::kShowcaseNames;


enum Variant { kStored, kCounts, kSizes };

// Every count of the slide's descriptions and layer as large as a document
// can store it; with `sizes`, every size too.
void MakeHostile(DS_SlideContainer& slide, bool sizes) {
    for (DS_ABObj_Constructor* p : slide.prototypes) {
        if (auto* s = dynamic_cast<DS_BaseSpriteProp*>(p)) {
            s->count.value = kHuge;
            if (sizes) s->size.value = kHuge;
        } else if (auto* g = dynamic_cast<DS_3D_Obj_Ctrl*>(p)) {
            g->count.value = kHuge;
            if (sizes) g->size.value = kHuge;
        } else if (auto* f = dynamic_cast<DS_3D_in_2D_array_Constructor*>(p)) {
            f->count.value = kHuge;
            if (sizes) f->motion.size.value = kHuge;
        }
    }
    DS_2D_Light* layer = slide.mainLayer.Get();
    if (auto* rain = dynamic_cast<DS_MatrixCodeLight*>(layer)) {
        rain->cellSize.value = 0;
        rain->changeCount.value = 0x7FFFFFFFu;
    } else if (auto* rings = dynamic_cast<DS_WaterRingLight*>(layer)) {
        rings->rowsFactor.value = kHuge;
        rings->columnsFactor.value = kHuge;
    }
}

double Members(DS_SlideContainer& slide) {
    double n = 0;
    for (const auto& instance : slide.instances) {
        DS_ABObj* o = instance.Get();
        if (auto* s = dynamic_cast<DS_SpriteArrayObj*>(o)) n += static_cast<double>(s->records.size());
        if (auto* g = dynamic_cast<DS_3DObjArray*>(o)) n += static_cast<double>(g->instances.size());
        if (auto* f = dynamic_cast<DS_3D_in_2D_array*>(o)) n += static_cast<double>(f->meshFrame.children.size());
    }
    DS_2D_Light* layer = slide.mainLayer.Get();
    if (auto* rain = dynamic_cast<DS_MatrixCodeLight*>(layer)) n += rain->quads.quadCount;
    if (auto* rings = dynamic_cast<DS_WaterRingLight*>(layer)) n += rings->ripples ? rings->ripples->cellCount : 0;
    return n;
}

double g_pictureMs = 0;

// `index` 0: a plain picture layer over the showcase's first picture; else
// showcase slide `index` (as stored or made hostile), alone in its slide show.
void Frame(benchmark::State& state, int index, Variant variant) {
    tessaloom::bench::BenchDevice bench(true, kWidth, kHeight);
    if (!bench.Ready(state)) return;
    tessaloom::bench::LoadedShowcase showcase(state, bench);
    if (!showcase.Ready()) return;
    double wall = 0, members = 0;
    {
        DS_SlideShow_Light root;
        showcase.Show(root, index);
        if (index > 0 && variant != kStored) MakeHostile(*root.slides[0], variant == kSizes);
        // As the layer tests show a slide: made, restored, placed and sized.
        root.slides[0]->Init();
        root.slides[0]->RestoreDeviceObjects();
        root.SetPicturePosition(DS_POS_FIT);
        root.slides[0]->Resize(static_cast<int>(kWidth), static_cast<int>(kHeight));
        members = Members(*root.slides[0]);
        const auto start = std::chrono::steady_clock::now();
        tessaloom::bench::RunFrames(state, root, bench.device);
        wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const double frameMs = state.iterations() > 0 ? wall / static_cast<double>(state.iterations()) : 0.0;
    state.counters["frame_ms"] = frameMs;
    state.counters["members"] = members;
    if (index == 0) g_pictureMs = frameMs;
    if (index > 0 && g_pictureMs > 0) state.counters["vs_picture"] = frameMs / g_pictureMs;
}

}  // namespace

// The warm-up lets llvmpipe compile its shader variants before timing.
#define CAPS_BENCHMARK(name, index, sizes)                                                                     \
    BENCHMARK_CAPTURE(Frame, name, index, sizes)                                                               \
        ->Unit(benchmark::kMillisecond)                                                                        \
        ->MinWarmUpTime(0.5)                                                                                   \
        ->MinTime(1.5)                                                                                         \
        ->UseRealTime()
CAPS_BENCHMARK(Picture, 0, kStored);
CAPS_BENCHMARK(Garden_stored, 1, kStored);
CAPS_BENCHMARK(Garden_counts, 1, kCounts);
CAPS_BENCHMARK(Garden_sizes, 1, kSizes);
CAPS_BENCHMARK(Campfire_stored, 2, kStored);
CAPS_BENCHMARK(Campfire_counts, 2, kCounts);
CAPS_BENCHMARK(Campfire_sizes, 2, kSizes);
CAPS_BENCHMARK(City_stored, 3, kStored);
CAPS_BENCHMARK(City_counts, 3, kCounts);
CAPS_BENCHMARK(City_sizes, 3, kSizes);
CAPS_BENCHMARK(Reef_stored, 4, kStored);
CAPS_BENCHMARK(Reef_counts, 4, kCounts);
CAPS_BENCHMARK(Reef_sizes, 4, kSizes);
CAPS_BENCHMARK(Lake_stored, 5, kStored);
CAPS_BENCHMARK(Lake_counts, 5, kCounts);
CAPS_BENCHMARK(Lake_sizes, 5, kSizes);
CAPS_BENCHMARK(Code_stored, 6, kStored);
CAPS_BENCHMARK(Code_counts, 6, kCounts);
CAPS_BENCHMARK(Code_sizes, 6, kSizes);
CAPS_BENCHMARK(Pond_stored, 7, kStored);
CAPS_BENCHMARK(Pond_counts, 7, kCounts);
CAPS_BENCHMARK(Pond_sizes, 7, kSizes);

int main(int argc, char** argv) { return tessaloom::bench::MainWithNoopRun(argc, argv, nullptr); }
