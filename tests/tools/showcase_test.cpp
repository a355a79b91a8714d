// The showcase scene: the builder writes a document in which every class of
// the scene's registries is read back through its registered reader, and
// whose sound items decode and play through the sound graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "document/sound_item.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_test.h"
#include "platform/win32/strings.h"
#include "scene/slide_show.h"
#include "tests/support/dshow_sound_files.h"
#include "tools/scene_builder/scene_builder.h"

using namespace tessaloom::scene_builder;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<uint8_t> BuildShowcase() {
    const std::string folder = std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes";
    SceneSpec scene;
    std::string error;
    EXPECT_TRUE(ParseScene(ReadText(folder + "/showcase.scene"), scene, &error)) << error;
    scene.folder = folder;
    std::vector<uint8_t> doc;
    EXPECT_TRUE(BuildDocument(scene, doc, &error)) << error;
    return doc;
}

// A reader standing in front of a registered one: notes the class name it
// was looked up by, then reads through the real reader.
template <class B>
class NamingReader final : public IOF_Virtual_ReaderII<B> {
public:
    NamingReader(std::u16string name, IOF_Virtual_ReaderII<B>* real, std::set<std::u16string>& seen)
        : name_(std::move(name)), real_(real), seen_(seen) {}
    B* Create(DS_IOF_Virtual& archive, int version) override {
        seen_.insert(name_);
        return real_->Create(archive, version);
    }

private:
    std::u16string name_;
    IOF_Virtual_ReaderII<B>* real_;
    std::set<std::u16string>& seen_;
};

// Every reader of a registry wrapped for the object's life, restored after.
template <class B>
class RegistryWatch {
public:
    RegistryWatch(DS_ReaderRegistry<B>& registry, std::set<std::u16string>& seen, std::set<std::u16string>& all)
        : registry_(registry), saved_(registry) {
        for (auto& [name, reader] : registry_) {
            all.insert(name);
            readers_.push_back(std::make_unique<NamingReader<B>>(name, reader, seen));
            reader = readers_.back().get();
        }
    }
    ~RegistryWatch() { registry_ = saved_; }

private:
    DS_ReaderRegistry<B>& registry_;
    DS_ReaderRegistry<B> saved_;
    std::vector<std::unique_ptr<NamingReader<B>>> readers_;
};

// The document as the saver loads it: the root through the scene's reader.
struct LoadedDocument {
    explicit LoadedDocument(const std::vector<uint8_t>& doc) {
        before = GetCurrentDocResManager();
        const DS_SceneRootReader previous =
            SetSceneRootReader([](DS_IOF_Virtual& a) -> DS_IOF_Item* { return DS_SlideShow_Light::ReadNew(a); });
        item.reset(LoadSceneDocumentFromMemory(doc.data(), doc.size()));
        SetSceneRootReader(previous);
        root = dynamic_cast<DS_SlideShow_Light*>(item.get());
    }
    ~LoadedDocument() {
        DS_DocResManager* manager = GetCurrentDocResManager();
        if (manager != before) delete manager;
        SetCurrentDocResManager(before);
    }
    DS_DocResManager* before = nullptr;
    std::unique_ptr<DS_IOF_Item> item;
    DS_SlideShow_Light* root = nullptr;
};

// Sound graph events reach the test instead of a window.
struct Completion {
    std::mutex mutex;
    std::condition_variable changed;
    int posts = 0;
};
Completion* g_completion = nullptr;
bool CountPost(HWND, UINT, WPARAM, LPARAM) {
    std::lock_guard lock(g_completion->mutex);
    ++g_completion->posts;
    g_completion->changed.notify_all();
    return true;
}
struct Tapped {
    std::mutex mutex;
    size_t frames = 0;
    UINT rate = 0;
    float peak = 0.0f;
};
void Tap(void* context, const float* samples, UINT frames, UINT rate) {
    auto* t = static_cast<Tapped*>(context);
    std::lock_guard lock(t->mutex);
    t->frames += frames;
    t->rate = rate;
    for (UINT i = 0; i < 2 * frames; ++i) t->peak = std::max(t->peak, std::abs(samples[i]));
}

// The sound graph's test hooks for the life of the object: the fast clock,
// the output tap, events to the test; and a temporary folder of the test's
// own (not the shared one a running saver writes the same names to).
struct SoundHooks {
    SoundHooks(Completion& completion, Tapped& tapped) {
        g_completion = &completion;
        tessaloom::dshow::test::SetFastClock(true);
        tessaloom::dshow::test::SetOutputTap(&Tap, &tapped);
        previous = tessaloom::dshow::SetEventPoster(&CountPost);
        if (const char* old = std::getenv("TMPDIR")) savedTemp = old, hadTemp = true;
        setenv("TMPDIR", folder.File("").c_str(), 1);
    }
    ~SoundHooks() {
        if (hadTemp) setenv("TMPDIR", savedTemp.c_str(), 1);
        else unsetenv("TMPDIR");
        tessaloom::dshow::SetEventPoster(previous);
        tessaloom::dshow::test::SetOutputTap(nullptr, nullptr);
        tessaloom::dshow::test::SetFastClock(false);
        g_completion = nullptr;
    }
    dshow_test::TempFolder folder;
    tessaloom::dshow::EventPoster previous = nullptr;
    std::string savedTemp;
    bool hadTemp = false;
};

}  // namespace

// Each of the scene's classes (every name the light, slide and description
// registries hold) is looked up at least once while the loader reads the
// showcase: the scene builder can write every class and the readers take
// back what it wrote.
TEST(Showcase, EveryRegisteredClassIsReadBackFromTheDocument) {
    const std::vector<uint8_t> doc = BuildShowcase();
    ASSERT_FALSE(doc.empty());
    std::set<std::u16string> seen, all;
    std::unique_ptr<LoadedDocument> loaded;
    {
        RegistryWatch<DS_2D_Light> lights(GetLightReaderRegistry(), seen, all);
        RegistryWatch<DS_SlideContainer> slides(GetSlideContainerReaderRegistry(), seen, all);
        RegistryWatch<DS_ABObj_Constructor> descriptions(GetConstructorReaderRegistry(), seen, all);
        loaded = std::make_unique<LoadedDocument>(doc);
    }
    ASSERT_NE(loaded->root, nullptr);
    EXPECT_EQ(loaded->root->slides.size(), 7u);
    EXPECT_EQ(all.size(), 32u);
    for (const std::u16string& name : all)
        EXPECT_EQ(seen.count(name), 1u) << tessaloom::Utf16ToUtf8(name) << " is not in the showcase";
    // Each slide has a layer of its own class: a slide per picture layer.
    std::set<std::u16string> layers;
    for (const std::u16string& name : seen)
        if (GetLightReaderRegistry().count(name)) layers.insert(name);
    EXPECT_EQ(layers.size(), loaded->root->slides.size());
}

// The showcase's music: its two sound items (an Ogg Vorbis pad, FLAC chimes)
// are written out as the saver does after loading, and each plays to its end
// through the sound graph: as many seconds of audio as the scene asks for, and
// not silence.
TEST(Showcase, SoundItemsDecodeAndPlayThroughTheSoundGraph) {
    const std::vector<uint8_t> doc = BuildShowcase();
    LoadedDocument loaded(doc);
    ASSERT_NE(loaded.root, nullptr);
    ASSERT_EQ(loaded.root->sounds.size(), 2u);
    struct Expect {
        const char16_t* name;
        const char* extension;
        double seconds;
    } expected[] = {{u"Evening", ".ogg", 8.0}, {u"Chimes", ".flac", 6.0}};

    Completion completion;
    Tapped tapped;
    SoundHooks hooks(completion, tapped);
    for (size_t i = 0; i < 2; ++i) {
        auto* sound = dynamic_cast<DS_AudioFile*>(loaded.root->sounds[i].Get());
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->name, expected[i].name);
        ASSERT_GT(sound->file.GetSize(), 1000u);
        ASSERT_TRUE(sound->ExtractToTemp());
        const std::string path = tessaloom::Utf16ToUtf8(sound->GetPath());
        EXPECT_EQ(path.rfind(hooks.folder.File(""), 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - std::strlen(expected[i].extension)), expected[i].extension);
        EXPECT_EQ(sound->file.GetSize(), 0u);

        IGraphBuilder* graph = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&graph)),
                  S_OK);
        IMediaControl* control = nullptr;
        IMediaEventEx* events = nullptr;
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events)), S_OK);
        EXPECT_EQ(events->SetNotifyWindow(static_cast<OAHWND>(0x1234), 0x8000, 0), S_OK);
        {
            std::lock_guard lock(tapped.mutex);
            tapped.frames = 0;
            tapped.rate = 0;
            tapped.peak = 0.0f;
        }
        const int postsBefore = completion.posts;
        EXPECT_EQ(graph->RenderFile(sound->GetPath().c_str(), nullptr), S_OK) << path;
        EXPECT_EQ(control->Run(), S_OK);
        {
            std::unique_lock lock(completion.mutex);
            EXPECT_TRUE(completion.changed.wait_for(lock, std::chrono::seconds(20),
                                                    [&] { return completion.posts > postsBefore; }))
                << path << " did not play to its end";
        }
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
        events->FreeEventParams(code, p1, p2);
        EXPECT_EQ(code, EC_COMPLETE) << path;
        control->Stop();
        {
            std::lock_guard lock(tapped.mutex);
            ASSERT_GT(tapped.rate, 0u);
            EXPECT_NEAR(static_cast<double>(tapped.frames) / tapped.rate, expected[i].seconds, 0.1) << path;
            EXPECT_GT(tapped.peak, 0.05f) << path;
            EXPECT_LT(tapped.peak, 1.0f) << path;
        }
        events->Release();
        control->Release();
        graph->Release();
    }
}
