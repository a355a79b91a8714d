// Loads arbitrary bytes as a scene document through the saver's own readers:
// the header, the scene root (DS_SlideShow_Light: slides, their picture
// layers with cameras, object descriptions, sound items) and the resource
// manager's section.  The seeds are documents of the scene builder, so the
// fuzzer starts from the real root record.  Every fault must surface as
// DS_LoadError, never as an out-of-bounds read, a huge allocation or a crash;
// a loaded root has a layer on every slide, and each layer's picture link
// resolves in the loaded manager without faults.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "scene/slide_show.h"
#include "tests/support/res_fixture.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

DS_IOF_Item* ReadRoot(DS_IOF_Virtual& archive) { return DS_SlideShow_Light::ReadNew(archive); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    resfix::FakeDevice device;
    resfix::FakeModules modules;
    const DS_SceneRootReader previous = SetSceneRootReader(&ReadRoot);
    SetCurrentDocResManager(nullptr);
    try {
        std::unique_ptr<DS_IOF_Item> item(LoadSceneDocumentFromMemory(data, size));
        std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
        auto* root = dynamic_cast<DS_SlideShow_Light*>(item.get());
        Check(root != nullptr && manager != nullptr);
        for (const auto& slide : root->slides) {
            Check(slide && slide->mainLayer);
            const DS_TextureInfo first = manager->GetImage(slide->mainLayer->pictureLink).GetFirst();
            Check(first.aspect == first.aspect);
        }
        SetCurrentDocResManager(nullptr);
    } catch (const DS_LoadError& e) {
        Check(e.Code() == DS_LOAD_ERROR_CODE);
        Check(GetCurrentDocResManager() == nullptr);
    }
    SetSceneRootReader(previous);
    return 0;
}
