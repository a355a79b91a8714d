// The resource manager over the platform's own resource lookup: a resource
// module as a container file in a folder of the test's own, and the
// executable's table holding the scene document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "platform/win32/resource_container_format.h"
#include "platform/win32/strings.h"
#include "platform/win32/resources_hooks.h"
#include "tests/support/doc_fixture.h"

namespace fs = std::filesystem;
using namespace resfix;

namespace {

struct Item {
    std::u16string typeName;  // empty: a numbered type
    uint32_t typeId;
    uint32_t id;
    std::vector<BYTE> bytes;
};

void Put32(std::vector<BYTE>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A resource container file in the layout of resource_container_format.h.
std::vector<BYTE> Container(const std::vector<Item>& items) {
    namespace c = tessaloom::container;
    std::vector<BYTE> out(c::kHeaderSize + c::kEntrySize * items.size(), 0);
    std::memcpy(out.data(), c::kMagic, 8);
    Put32(out, 8, c::kVersion);
    Put32(out, 12, static_cast<uint32_t>(items.size()));
    Put32(out, 16, c::kHeaderSize);
    for (size_t i = 0; i < items.size(); ++i) {
        size_t e = c::kHeaderSize + c::kEntrySize * i;
        const Item& it = items[i];
        Put32(out, e + 0, it.typeName.empty() ? it.typeId : 0);
        if (!it.typeName.empty()) {
            Put32(out, e + 4, static_cast<uint32_t>(out.size()));
            Put32(out, e + 8, static_cast<uint32_t>(it.typeName.size()));
            for (char16_t u : it.typeName) {
                out.push_back(static_cast<BYTE>(u));
                out.push_back(static_cast<BYTE>(u >> 8));
            }
        }
        Put32(out, e + 12, it.id);
        Put32(out, e + 16, static_cast<uint32_t>(out.size()));
        Put32(out, e + 20, static_cast<uint32_t>(it.bytes.size()));
        out.insert(out.end(), it.bytes.begin(), it.bytes.end());
    }
    Put32(out, 20, static_cast<uint32_t>(out.size()));
    Put32(out, 24, c::Crc32(out.data() + c::kHeaderSize, out.size() - c::kHeaderSize));
    return out;
}

class ResModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/res-module-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        std::vector<BYTE> effect = {'e', 'f', 'f', 'e', 'c', 't', ' ', 'm'};
        std::vector<BYTE> file = Container({
            {u"DDS", 0, 5, MakeTga(32, 8)},
            {u"DDS", 0, 7, MakeTga(64, 8)},
            {u"", 10, 76, effect},
            {u"DDS", 0, 68, MakeMeshBytes(24, 12)},
        });
        std::ofstream(folder_ + "/common_res.dll", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        tessaloom::testing::SetModuleFolder(folder_);
    }
    void TearDown() override {
        tessaloom::testing::SetModuleFolder("");
        fs::remove_all(folder_);
        EXPECT_EQ(device.liveTextures, 0);
    }

    FakeDevice device;
    std::string folder_;
};

TEST_F(ResModuleTest, ModuleResourcesByNumberAndType) {
    DS_DocResManager m;
    DS_ImageSet& picture = m.GetImage(DS_ImageFileLink(5, u"common_res.dll"));
    ASSERT_NE(picture.GetFrame(0), nullptr);
    EXPECT_EQ(picture.width, 32u);
    ID3DXEffect* effect = m.GetEffect(DS_HLSLEffectFile(76, u"common_res.dll"));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(FakeDevice::Of(effect)->source, "effect m");
    device.ReleaseEffect(effect);
    EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(5, u"common_res.dll")), nullptr) << "a picture is not an effect";
    EXPECT_EQ(m.GetMesh(DS_MeshFile(68, u"common_res.dll"), DS_MESH_VERTEX_SIZE).vertexCount, 24u);
}

TEST_F(ResModuleTest, NamesThatAreNotModulesFindNothingNotEvenTheExecutable) {
    // The executable holds a document as resource 107 and a picture as 5.
    std::vector<BYTE> document = docfix::MakeDocument(u"h", u"r");
    std::vector<BYTE> picture = MakeTga(16, 16);
    tessaloom::testing::ScopedExecutableResources table({
        {u"DDS", 0, nullptr, 107, document.data(), static_cast<DWORD>(document.size())},
        {u"DDS", 0, nullptr, 5, picture.data(), static_cast<DWORD>(picture.size())},
    });
    const std::u16string names[] = {u"missing.dll", u"..\\common_res.dll", u"C:\\Windows\\common_res.dll",
                                    u"/tmp/common_res.dll", u""};
    for (const std::u16string& name : names) {
        SCOPED_TRACE(tessaloom::Utf16ToUtf8(name));
        DS_DocResManager m;
        EXPECT_EQ(m.GetImage(DS_ImageFileLink(5, name + u".dll")).GetFrame(0), nullptr);
        EXPECT_TRUE(m.GetMesh(DS_MeshFile(107, name), DS_MESH_VERTEX_SIZE).IsEmpty());
        EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(107, name)), nullptr);
        DS_ResFileData record(107, name);
        EXPECT_FALSE(record.LoadFromModule());
        EXPECT_EQ(record.GetSize(), 0u);
    }
    EXPECT_EQ(device.textureCalls, 0);
    EXPECT_EQ(device.meshCalls, 0);
    EXPECT_EQ(device.effectCalls, 0);
}

TEST_F(ResModuleTest, TheDocumentComesFromTheExecutable) {
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    std::vector<BYTE> document = docfix::MakeDocument(u"KVL v 4.0.0", u"DS_SlideShow_Light");
    {
        tessaloom::testing::ScopedExecutableResources table(
            {{u"DDS", 0, nullptr, 107, document.data(), static_cast<DWORD>(document.size())}});
        std::unique_ptr<DS_IOF_Item> root(LoadSceneDocument());
        std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
        SetCurrentDocResManager(nullptr);
        EXPECT_EQ(static_cast<docfix::TestRoot*>(root.get())->title, u"flame scene");
        // The saved module picture: the module on disk takes precedence over the document's copy.
        EXPECT_EQ(manager->Tables().imageCache.at({u"common_res.dll", 7}).width, 64u);
    }
    {
        tessaloom::testing::ScopedExecutableResources empty({});
        EXPECT_THROW(LoadSceneDocument(), DS_LoadError);
    }
    SetSceneRootReader(previous);
}

}  // namespace
