// Loading a whole scene document: header, a root of the tests' own, the
// manager section; what becomes current; how a missing or damaged document
// fails.
#include <gtest/gtest.h>

#include <memory>

#include "document/archive_writer.h"
#include "document/doc_loader.h"
#include "document/sound_item.h"
#include "tests/document/res_fixture.h"

using namespace resfix;

namespace {

// A root with a title and a list of sounds.
class TestRoot : public DS_IOF_Item {
public:
    void Write(DS_IOF_Virtual& ar) override {
        WriteRecordHeader(ar, u"DS_SlideShow_Light", 1);
        WriteFields(ar);
    }
    void WriteFields(DS_IOF_Virtual& ar) {
        ar.WriteString(title);
        ar.WriteInt(static_cast<INT>(sounds.size()));
        for (auto& s : sounds) s->WriteRecord(ar);
    }
    std::u16string title;
    std::vector<std::unique_ptr<DS_AudioFile>> sounds;
    INT versionRead = -1;
};

class TestRootReader final : public DS_SceneRootReader {
public:
    DS_IOF_Item* ReadRoot(DS_IOF_Virtual& ar, INT version) override {
        auto root = std::make_unique<TestRoot>();
        root->versionRead = version;
        ar.ReadString(root->title);
        INT n = 0;
        ar.ReadInt(n);
        for (INT i = 0; i < n; ++i) root->sounds.emplace_back(ReadAudioFile(ar));
        return root.release();
    }
};

std::vector<BYTE> MakeDocument(const std::u16string& header, const std::u16string& rootName) {
    DS_IOF_W w;
    w.WriteString(header);
    TestRoot root;
    root.title = u"flame scene";
    auto sound = std::make_unique<DS_AudioFile>();
    sound->name = u"wind";
    sound->file.path = u"C:\\sounds\\wind.wav";
    sound->file.SetBytes(3, "abc");
    root.sounds.push_back(std::move(sound));
    // The root under the name given (the loader must not care).
    w.WriteString(rootName);
    w.WriteInt(1);
    root.WriteFields(w);
    // The manager section: one saved picture, one saved file, no masks.
    w.WriteString(u"DS_DocResManager");
    w.WriteInt(3);
    w.WriteUInt(1);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(7);
    w.WriteUInt(1);
    w.WriteResFile(Record(7, u"common_res.dll", u"", MakeTga(8, 2)));
    w.WriteUInt(0);
    w.WriteUInt(1);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(63);
    w.WriteUInt(1);
    w.WriteResFile(Record(63, u"common_res.dll", u"", {'e', 'f', 'f', 'e', 'c', 't'}));
    w.WriteUInt(0);
    return w.TakeBytes();
}

class DocLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousReader_ = SetSceneRootReader(&reader_);
        SetCurrentDocResManager(nullptr);
    }
    void TearDown() override {
        SetSceneRootReader(previousReader_);
        SetCurrentDocResManager(nullptr);
        managers_.clear();
        EXPECT_EQ(device.liveTextures, 0);
    }
    // Managers live until the process ends in the saver; here the test keeps them.
    std::unique_ptr<TestRoot> Load() {
        std::unique_ptr<TestRoot> root(static_cast<TestRoot*>(LoadSceneDocument()));
        managers_.emplace_back(GetCurrentDocResManager());
        return root;
    }

    FakeDevice device;
    FakeModules modules;
    TestRootReader reader_;
    DS_SceneRootReader* previousReader_ = nullptr;
    std::vector<std::unique_ptr<DS_DocResManager>> managers_;
};

TEST_F(DocLoaderTest, LoadsRootAndManagerWhateverTheNames) {
    const std::pair<std::u16string, std::u16string> names[] = {
        {u"KVL v 4.0.0", u"DS_SlideShow_Light"}, {u"", u"DS_SlideShow_Light"}, {u"anything", u"SomethingElse"}};
    for (const auto& [header, rootName] : names) {
        std::vector<BYTE> doc = MakeDocument(header, rootName);
        doc.push_back(0xEE);  // bytes after the manager section are not read
        modules.AddOwn(DS_SCENE_DOCUMENT_RESOURCE, doc);
        std::unique_ptr<TestRoot> root = Load();
        ASSERT_TRUE(root);
        EXPECT_EQ(root->title, u"flame scene");
        EXPECT_EQ(root->versionRead, 1);
        ASSERT_EQ(root->sounds.size(), 1u);
        EXPECT_EQ(root->sounds[0]->name, u"wind");
        EXPECT_EQ(root->sounds[0]->file.GetSize(), 3u);
        DS_DocResManager* m = GetCurrentDocResManager();
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(GetResCacheHolder(), &m->CacheHolder());
        EXPECT_EQ(m->Tables().imageCache.at({u"common_res.dll", 7}).width, 8u);
        EXPECT_EQ(m->Tables().allFiles.count({u"common_res.dll", 63}), 1u);
    }
}

TEST_F(DocLoaderTest, EveryLoadMakesItsOwnManager) {
    modules.AddOwn(DS_SCENE_DOCUMENT_RESOURCE, MakeDocument(u"h", u"r"));
    Load();
    DS_DocResManager* first = GetCurrentDocResManager();
    Load();
    DS_DocResManager* second = GetCurrentDocResManager();
    EXPECT_NE(first, second);
    EXPECT_NE(first->Tables().imageCache.at({u"common_res.dll", 7}).GetFrame(0),
              second->Tables().imageCache.at({u"common_res.dll", 7}).GetFrame(0));
}

TEST_F(DocLoaderTest, MissingOrEmptyDocumentFails) {
    for (bool present : {false, true}) {
        FakeModules own;
        if (present) own.AddOwn(DS_SCENE_DOCUMENT_RESOURCE, {});
        try {
            LoadSceneDocument();
            ADD_FAILURE();
        } catch (const DS_LoadError& e) {
            EXPECT_EQ(e.Code(), 0x8200000Bu);
        }
        EXPECT_EQ(GetCurrentDocResManager(), nullptr);
    }
}

TEST_F(DocLoaderTest, EveryTruncationFailsAndKeepsTheCurrentManager) {
    modules.AddOwn(DS_SCENE_DOCUMENT_RESOURCE, MakeDocument(u"KVL v 4.0.0", u"DS_SlideShow_Light"));
    Load();
    DS_DocResManager* current = GetCurrentDocResManager();
    std::vector<BYTE> doc = MakeDocument(u"KVL v 4.0.0", u"DS_SlideShow_Light");
    for (size_t n = 0; n < doc.size(); ++n) {
        // Each prefix in a buffer of its own size, so a read past it is caught.
        std::vector<BYTE> prefix(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(LoadSceneDocumentFromMemory(prefix.data(), prefix.size()), DS_LoadError) << n;
        EXPECT_EQ(GetCurrentDocResManager(), current);
        EXPECT_EQ(GetResCacheHolder(), &current->CacheHolder());
    }
}

TEST_F(DocLoaderTest, WithoutARootReaderTheLoadFails) {
    SetSceneRootReader(nullptr);
    std::vector<BYTE> doc = MakeDocument(u"h", u"r");
    EXPECT_THROW(LoadSceneDocumentFromMemory(doc.data(), doc.size()), DS_LoadError);
}

}  // namespace
