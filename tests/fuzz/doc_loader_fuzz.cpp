// Loads arbitrary bytes as a whole scene document: header, a root of the
// tests' own (title and sound items), the resource-manager section with its
// pictures decoded by the real picture decoders.  Every fault must surface as
// DS_LoadError, never as an out-of-bounds read, a huge allocation or a crash,
// and a failed load must leave the current manager as it was.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "tests/support/doc_fixture.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    resfix::FakeDevice device;
    resfix::FakeModules modules;
    modules.Add(u"common_res.dll", 7, DS_ResourceType::DDS, resfix::MakeTga(4, 4));
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    SetCurrentDocResManager(nullptr);
    try {
        std::unique_ptr<DS_IOF_Item> root(LoadSceneDocumentFromMemory(data, size));
        std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
        Check(root != nullptr && manager != nullptr);
        // What the loaded document names must resolve without faults.
        for (const auto& [key, set] : manager->Tables().imageCache) {
            DS_TextureInfo first = set.GetFirst();
            Check(first.aspect == first.aspect);
        }
        for (const auto& [key, files] : manager->Tables().allFiles) {
            DS_FileLink3 link(key);
            manager->GetImage(link);
            manager->GetMesh(link, DS_MESH_VERTEX_SIZE);
            if (ID3DXEffect* effect = manager->GetEffect(link)) device.ReleaseEffect(effect);
        }
        SetCurrentDocResManager(nullptr);
    } catch (const DS_LoadError& e) {
        Check(e.Code() == DS_LOAD_ERROR_CODE);
        Check(GetCurrentDocResManager() == nullptr);
    }
    SetSceneRootReader(previous);
    return 0;
}
