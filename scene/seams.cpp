#include <cstdio>

#include "scene/effect_calls.h"
#include "scene/layer_resources.h"

namespace {
DS_LayerResources* g_resources = nullptr;
DS_EffectRunner* g_runner = nullptr;
}  // namespace

DS_LayerResources* GetLayerResources() { return g_resources ? g_resources : &DS_DocumentLayerResources(); }
void SetLayerResources(DS_LayerResources* resources) { g_resources = resources; }

DS_EffectRunner* GetEffectRunner() { return g_runner; }
void SetEffectRunner(DS_EffectRunner* runner) { g_runner = runner; }

void DS_ReportMissingEffectRunner() {
    static bool reported = false;
    if (reported) return;
    reported = true;
    std::fprintf(stderr, "tessaloom: no effect runner installed; effect draws are skipped\n");
}
