#include "document/doc_loader.h"

#include <memory>

#include "document/res_module.h"

namespace {

DS_SceneRootReader g_rootReader = nullptr;

}  // namespace

DS_SceneRootReader SetSceneRootReader(DS_SceneRootReader reader) {
    DS_SceneRootReader previous = g_rootReader;
    g_rootReader = reader;
    return previous;
}

DS_IOF_Item* ReadSlideShowRoot(DS_IOF_Virtual& archive) {
    if (!g_rootReader) throw DS_LoadError("scene document: this program has no reader for the scene root");
    DS_IOF_Item* root = g_rootReader(archive);
    if (!root) throw DS_LoadError("scene document: the scene root could not be read");
    return root;
}

DS_DocResManager* ReadDocResManager(DS_IOF_Virtual& archive) {
    INT version = ReadRecordHeader(archive);
    auto manager = std::make_unique<DS_DocResManager>();
    manager->ReadFields(archive, version);
    return manager.release();
}

DS_IOF_Item* LoadSceneDocumentFromMemory(const void* data, size_t size) {
    if (!data || size == 0) throw DS_LoadError("the scene document is missing");
    ResourceBuffer buffer(data, size);
    std::u16string header;
    buffer.ReadString(header);
    auto archive = std::make_unique<DS_IOF_R<ResourceBuffer>>(&buffer);
    std::unique_ptr<DS_IOF_Item> root(ReadSlideShowRoot(*archive));
    DS_DocResManager* previous = GetCurrentDocResManager();
    std::unique_ptr<DS_DocResManager> manager;
    try {
        manager.reset(ReadDocResManager(*archive));
    } catch (...) {
        // The half-read manager made itself the cache holder; the one that
        // was current stays current.
        SetCurrentDocResManager(previous);
        throw;
    }
    SetCurrentDocResManager(manager.release());
    return root.release();
}

DS_IOF_Item* LoadSceneDocument() {
    DS_ResourceBytes document = GetResModules().FindInExecutable(DS_SCENE_DOCUMENT_RESOURCE, DS_ResourceType::DDS);
    if (!document) throw DS_LoadError("the scene document (resource DDS 107) is missing");
    return LoadSceneDocumentFromMemory(document.data, document.size);
}
