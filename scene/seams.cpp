#include "scene/layer_resources.h"

namespace {
DS_LayerResources* g_resources = nullptr;
}  // namespace

DS_LayerResources* GetLayerResources() { return g_resources ? g_resources : &DS_DocumentLayerResources(); }
void SetLayerResources(DS_LayerResources* resources) { g_resources = resources; }
