// The showcase scene for the frame benchmarks: its document as the scene
// builder writes it, read by the loader with the document's own resource
// manager, and the slide a benchmark draws (a plain picture slide over the
// first slide's picture, or one showcase slide alone in its slide show).
// Needs TESSALOOM_SOURCE_DIR and TESSALOOM_BINARY_DIR (the resource module).
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/frame_bench.h"
#include "document/doc_loader.h"
#include "platform/win32/resources_hooks.h"
#include "tools/scene_builder/scene_builder.h"

namespace tessaloom::bench {

constexpr int kShowcaseSlides = 7;
constexpr const char* kShowcaseNames[kShowcaseSlides + 1] = {"Picture", "Garden", "Campfire", "City",
                                                             "Reef",    "Lake",   "Code",     "Pond"};

inline const std::vector<uint8_t>& ShowcaseDocument() {
    static const std::vector<uint8_t> doc = [] {
        const std::string folder = std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes";
        std::ifstream in(folder + "/showcase.scene", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        tessaloom::scene_builder::SceneSpec scene;
        std::vector<uint8_t> bytes;
        std::string error;
        if (!tessaloom::scene_builder::ParseScene(text.str(), scene, &error)) return bytes;
        scene.folder = folder;
        if (!tessaloom::scene_builder::BuildDocument(scene, bytes, &error)) bytes.clear();
        return bytes;
    }();
    return doc;
}

// The loaded showcase, for the lifetime of one benchmark.  The document's
// resource manager is current while it lives; the bench device's comes back
// after the document is gone.
class LoadedShowcase {
public:
    LoadedShowcase(benchmark::State& state, BenchDevice& bench) : bench_(bench) {
        // The document's pictures, not the one picture of the bench device.
        SetLayerResources(nullptr);
        tessaloom::testing::SetModuleFolder(TESSALOOM_BINARY_DIR);
        const std::vector<uint8_t>& doc = ShowcaseDocument();
        if (doc.empty()) {
            state.SkipWithError("the showcase scene cannot be built");
            return;
        }
        const DS_SceneRootReader previous =
            SetSceneRootReader([](DS_IOF_Virtual& a) -> DS_IOF_Item* { return DS_SlideShow_Light::ReadNew(a); });
        item_.reset(LoadSceneDocumentFromMemory(doc.data(), doc.size()));
        SetSceneRootReader(previous);
        manager_.reset(GetCurrentDocResManager());
        show_ = dynamic_cast<DS_SlideShow_Light*>(item_.get());
        if (!show_ || show_->slides.size() != kShowcaseSlides) {
            state.SkipWithError("the showcase does not have its slides");
            show_ = nullptr;
        }
    }
    ~LoadedShowcase() {
        item_.reset();
        SetCurrentDocResManager(bench_.manager.get());
        manager_.reset();
    }
    LoadedShowcase(const LoadedShowcase&) = delete;
    LoadedShowcase& operator=(const LoadedShowcase&) = delete;

    bool Ready() const { return show_ != nullptr; }

    // `index` 0: a plain picture layer over the showcase's first picture;
    // else showcase slide `index`, as the only slide of `root`.
    void Show(DS_SlideShow_Light& root, int index) const {
        if (index == 0) {
            auto* slide = new DS_SlideContainer;
            auto* layer = new DS_2D_Light;
            layer->pictureLink = show_->slides[0]->mainLayer->pictureLink;
            slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
            root.slides.emplace_back(slide);
        } else {
            root.slides.push_back(show_->slides[index - 1]);
        }
    }

private:
    BenchDevice& bench_;
    std::unique_ptr<DS_IOF_Item> item_;
    std::unique_ptr<DS_DocResManager> manager_;
    DS_SlideShow_Light* show_ = nullptr;
};

}  // namespace tessaloom::bench
