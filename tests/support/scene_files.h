// Helpers of the scene builder tests: source files of the tree read whole,
// a scene source built into its document, and a built document read back
// as the saver reads it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "scene/slide_show.h"
#include "tools/scene_builder/scene_builder.h"

namespace tessaloom::testing {

// The whole file, byte for byte (empty when it cannot be opened).
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A scene source of the demo folder, by file name ("rain.scene").
inline std::string ReadDemoScene(const std::string& name) {
    return ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/" + name);
}

// The document the scene builder writes for a scene source; `folder`, when
// given, is where the source's relative paths start.  A failure says which
// step failed and the builder's message.
inline ::testing::AssertionResult BuildSceneDocument(const std::string& source, std::vector<uint8_t>& doc,
                                                      const std::string& folder = {}) {
    scene_builder::SceneSpec scene;
    std::string error;
    if (!scene_builder::ParseScene(source, scene, &error)) return ::testing::AssertionFailure() << "parse: " << error;
    if (!folder.empty()) scene.folder = folder;
    if (!scene_builder::BuildDocument(scene, doc, &error)) return ::testing::AssertionFailure() << "build: " << error;
    return ::testing::AssertionSuccess();
}

// A document read back through the scene's root reader.  The manager the
// load makes stays current while this lives (as it does in the saver) and is
// deleted with it, the manager current before the load current again.
class SceneReadBack {
public:
    explicit SceneReadBack(const std::vector<uint8_t>& doc) : before_(GetCurrentDocResManager()) {
        const DS_SceneRootReader previous =
            SetSceneRootReader([](DS_IOF_Virtual& a) -> DS_IOF_Item* { return DS_SlideShow_Light::ReadNew(a); });
        item_.reset(LoadSceneDocumentFromMemory(doc.data(), doc.size()));
        SetSceneRootReader(previous);
        if (GetCurrentDocResManager() != before_) manager_.reset(GetCurrentDocResManager());
        root_ = dynamic_cast<DS_SlideShow_Light*>(item_.get());
    }
    SceneReadBack(SceneReadBack&&) = default;
    SceneReadBack& operator=(SceneReadBack&&) = delete;
    ~SceneReadBack() {
        if (manager_) SetCurrentDocResManager(before_);
    }

    // The root, or null when the load failed or read something else.
    DS_SlideShow_Light* root() const { return root_; }
    // The manager the load made, or null when it made none.
    DS_DocResManager* manager() const { return manager_.get(); }
    // The manager that was current before the load.
    DS_DocResManager* before() const { return before_; }

private:
    DS_DocResManager* before_;
    std::unique_ptr<DS_IOF_Item> item_;
    std::unique_ptr<DS_DocResManager> manager_;
    DS_SlideShow_Light* root_ = nullptr;
};

}  // namespace tessaloom::testing
