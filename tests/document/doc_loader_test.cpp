// Loading a whole scene document: header, a root of the tests' own, the
// manager section; what becomes current; how a missing or damaged document
// fails.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "document/archive_writer.h"
#include "document/doc_loader.h"
#include "document/sound_item.h"
#include "tests/support/doc_fixture.h"

using namespace resfix;
using namespace docfix;

namespace {

class DocLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousReader_ = SetSceneRootReader(&TestRootReader::Read);
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
    DS_SceneRootReader previousReader_ = nullptr;
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

// Writes the seed corpus of the document-loader fuzz target.  Disabled: run it
// by hand after a format change, then commit the files:
//   test_document --gtest_also_run_disabled_tests --gtest_filter='*WriteLoaderSeeds'
TEST(LoaderFuzzSeeds, DISABLED_WriteLoaderSeeds) {
    auto save = [](const std::string& name, const std::vector<BYTE>& bytes) {
        std::string path = std::string(TESSALOOM_SOURCE_DIR) + "/tests/fuzz/corpus/doc_loader/" + name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    };
    save("document.bin", MakeDocument(u"KVL v 4.0.0", u"DS_SlideShow_Light"));
    std::vector<BYTE> hostile = MakeDocument(u"", u"r");
    // The saved-images count, right after the manager's class name and version, made huge.
    const std::u16string name = u"DS_DocResManager";
    for (size_t i = 0; i + 2 * name.size() < hostile.size(); ++i) {
        if (std::memcmp(hostile.data() + i, name.data(), 2 * name.size()) == 0) {
            size_t count = i + 2 * name.size() + 4;
            hostile[count] = hostile[count + 1] = hostile[count + 2] = hostile[count + 3] = 0xFF;
            break;
        }
    }
    save("hostile_count.bin", hostile);
}
