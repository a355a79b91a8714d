// The layer-resource getters: the source the layers use now (an installed one
// or the document's, see doc_resources.cpp) and the call that installs one.
#include "scene/layer_resources.h"

namespace {
DS_LayerResources* g_resources = nullptr;
}  // namespace

DS_LayerResources* GetLayerResources() { return g_resources ? g_resources : &DS_DocumentLayerResources(); }
void SetLayerResources(DS_LayerResources* resources) { g_resources = resources; }
