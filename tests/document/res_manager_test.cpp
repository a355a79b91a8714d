// The resource manager's document section: the tables each version carries,
// duplicates, frame values, hostile counts, and what reading leaves behind.
#include <gtest/gtest.h>

#include "document/archive_writer.h"
#include "document/guid_text.h"
#include "document/res_manager.h"
#include "tests/support/res_fixture.h"
#include "tests/support/zero_png.h"

using namespace resfix;

namespace {

struct SavedImage {
    DS_LinkKey key;
    std::vector<DS_ResFileData> records;
};
struct FrameValues {
    DS_LinkKey key;
    std::vector<float> values;
};
struct Mask {
    GUID guid;
    std::vector<BYTE> dds;
};

// The section's tables as the writer puts them, for a given version.
struct Section {
    std::vector<SavedImage> images;
    std::vector<FrameValues> values;
    std::vector<SavedImage> files;
    std::vector<Mask> masks;

    std::vector<BYTE> Bytes(INT version) const {
        DS_IOF_W w;
        auto list = [&](const std::vector<SavedImage>& t) {
            w.WriteUInt(static_cast<UINT>(t.size()));
            for (const auto& e : t) {
                w.WriteString(e.key.path);
                w.WriteInt64(e.key.stamp);
                w.WriteUInt(static_cast<UINT>(e.records.size()));
                for (const auto& r : e.records) w.WriteResFile(r);
            }
        };
        list(images);
        w.WriteUInt(static_cast<UINT>(values.size()));
        for (const auto& e : values) {
            w.WriteString(e.key.path);
            w.WriteInt64(e.key.stamp);
            w.WriteUInt(static_cast<UINT>(e.values.size()));
            for (float v : e.values) w.WriteFloat(v);
        }
        if (version != 1) list(files);
        if (version != 1 && version != 2) {
            w.WriteUInt(static_cast<UINT>(masks.size()));
            for (const auto& m : masks) {
                WriteGuid(w, m.guid);
                w.WriteString(u"mask");
                w.WriteBool(true);
                DS_FileData blob;
                blob.SetBytes(static_cast<DWORD>(m.dds.size()), m.dds.data());
                w.WriteFileData(blob);
            }
        }
        return w.TakeBytes();
    }
};

const GUID kMaskGuid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

Section FullSection() {
    Section s;
    s.images.push_back({{u"C:\\pics\\sky.tga", 100}, {Record(0, u"", u"C:\\pics\\sky.tga", MakeTga(8, 4))}});
    s.values.push_back({{u"C:\\pics\\sky.tga", 100}, {0.5f}});
    s.files.push_back({{u"common_res.dll", 63}, {Record(63, u"common_res.dll", u"", {'e', 'f', 'f', 'e', 'c', 't'})}});
    s.masks.push_back({kMaskGuid, MakeTga(4, 4)});
    return s;
}

class ResManagerTest : public ::testing::Test {
protected:
    FakeDevice device;
    FakeModules modules;

    // Every texture the tables held is released with its manager.
    void TearDown() override {
        EXPECT_EQ(device.liveTextures, 0);
        EXPECT_EQ(device.liveBuffers, 0);
    }

    std::unique_ptr<DS_DocResManager> Read(const std::vector<BYTE>& bytes, INT version, size_t* left = nullptr) {
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        auto m = std::make_unique<DS_DocResManager>();
        m->ReadFields(reader, version);
        if (left) *left = buffer.Remaining();
        return m;
    }
};

TEST_F(ResManagerTest, EachVersionReadsItsTablesAndEndsExactly) {
    struct Case {
        INT version;
        bool files;
        bool masks;
    };
    const Case cases[] = {{1, false, false}, {2, true, false}, {3, true, true}, {7, true, true}, {0, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        std::vector<BYTE> bytes = FullSection().Bytes(c.version);
        size_t left = 99;
        auto m = Read(bytes, c.version, &left);
        EXPECT_EQ(left, 0u);
        const DS_DocResTables& t = m->Tables();
        EXPECT_TRUE(t.savedImages.empty());
        EXPECT_TRUE(t.guidData.empty());
        ASSERT_EQ(t.imageCache.count({u"C:\\pics\\sky.tga", 100}), 1u);
        const DS_ImageSet& set = t.imageCache.at({u"C:\\pics\\sky.tga", 100});
        EXPECT_EQ(set.FrameCount(), 1u);
        EXPECT_NE(set.GetFrame(0), nullptr);
        EXPECT_EQ(set.width, 8u);
        EXPECT_EQ(set.height, 4u);
        EXPECT_FLOAT_EQ(set.aspect, 0.5f);
        EXPECT_TRUE(set.FrameValues().empty()) << "a single frame keeps no frame values";
        EXPECT_EQ(t.savedFiles.size(), c.files ? 1u : 0u);
        EXPECT_EQ(t.allFiles.count({u"common_res.dll", 63}), c.files ? 1u : 0u);
        EXPECT_EQ(t.guidTextures.size(), c.masks ? 1u : 0u);
    }
}

TEST_F(ResManagerTest, DuplicateKeysKeepTheFirstEntry) {
    Section s;
    DS_LinkKey key{u"p.tga", 1};
    s.images.push_back({key, {Record(0, u"", u"p.tga", MakeTga(2, 2))}});
    s.images.push_back({key, {Record(0, u"", u"p.tga", MakeTga(16, 2))}});
    s.files.push_back({key, {Record(0, u"", u"other", {1, 2, 3})}});  // a picture's key in the files table
    s.masks.push_back({kMaskGuid, MakeTga(2, 2)});
    s.masks.push_back({kMaskGuid, MakeTga(32, 2)});
    size_t left = 1;
    auto m = Read(s.Bytes(3), 3, &left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(m->Tables().imageCache.at(key).width, 2u);
    ASSERT_EQ(m->Tables().allFiles.at(key).size(), 1u);
    EXPECT_EQ(m->Tables().allFiles.at(key)[0].path, u"p.tga") << "the picture's records stay in all files";
    EXPECT_EQ(FakeDevice::Of(m->Tables().guidTextures.at(kMaskGuid).Get())->width, 2u);
    EXPECT_EQ(device.textureCalls, 2) << "dropped duplicates are not made into textures";
}

TEST_F(ResManagerTest, FrameValuesFollowFramesOfTwoOrMore) {
    Section s;
    DS_LinkKey three{u"three", 1}, one{u"one", 1}, threeValued{u"valued", 1};
    auto frames = [](int n) {
        std::vector<DS_ResFileData> r;
        for (int i = 0; i < n; ++i) r.push_back(Record(0, u"", u"f.tga", MakeTga(static_cast<uint16_t>(2 + i), 2)));
        return r;
    };
    s.images = {{three, frames(3)}, {one, frames(1)}, {threeValued, frames(3)}};
    s.values = {{one, {9.0f}}, {threeValued, {1.0f, 2.0f, 3.0f, 4.0f}}};
    auto m = Read(s.Bytes(3), 3);
    const auto& cache = m->Tables().imageCache;
    EXPECT_EQ(cache.at(three).FrameCount(), 3u);
    EXPECT_TRUE(cache.at(three).FrameValues().empty());
    EXPECT_EQ(cache.at(three).width, 4u) << "the set takes the last frame's size";
    EXPECT_TRUE(cache.at(one).FrameValues().empty());
    const DS_ImageSet& valued = cache.at(threeValued);
    EXPECT_EQ(valued.FrameValues().size(), 4u) << "values and frames are counted apart";
    EXPECT_FLOAT_EQ(valued.GetFrameValue(2), 3.0f);
    EXPECT_FLOAT_EQ(cache.at(three).GetFrameValue(2, -1.0f), -1.0f);
    EXPECT_EQ(valued.GetFrame(3), nullptr);
}

TEST_F(ResManagerTest, UndecodablePictureLeavesAnEmptyFrame) {
    Section s;
    s.images.push_back({{u"bad", 1}, {Record(0, u"", u"bad.tga", {1, 2, 3}), Record(0, u"", u"x", MakeTga(4, 8))}});
    auto m = Read(s.Bytes(3), 3);
    const DS_ImageSet& set = m->Tables().imageCache.at({u"bad", 1});
    EXPECT_EQ(set.FrameCount(), 2u);
    EXPECT_EQ(set.GetFrame(0), nullptr);
    EXPECT_NE(set.GetFrame(1), nullptr);
}

// The pictures of one document may take 512 MB of textures together, at
// four bytes a pixel: 128 M pixels.  Two PNG files of 16384 x 4096 zeros
// (about 200 KB each) reach it exactly; one pixel more fails the load with
// the load error naming the picture that went past it, before any picture is
// decoded.  Masks count too.
TEST_F(ResManagerTest, PicturesPastTheDocumentsTextureBudgetFailTheLoad) {
    const std::vector<BYTE> big = zeropng::Make(16384, 4096, 1);
    EXPECT_LT(big.size(), 400u * 1024);
    Section s;
    for (int i = 0; i < 2; ++i)
        s.images.push_back({{u"C:\\big.png", i}, {Record(0, u"", u"C:\\big.png", big)}});
    auto fails = [&](const Section& section, const std::string& named) {
        try {
            Read(section.Bytes(3), 3);
            ADD_FAILURE() << "the load did not fail";
        } catch (const DS_LoadError& e) {
            EXPECT_EQ(e.Code(), 0x8200000Bu);
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
    };
    Section past = s;
    past.images.push_back({{u"C:\\tiny.tga", 9}, {Record(0, u"", u"C:\\tiny.tga", MakeTga(1, 1))}});
    fails(past, "picture \"C:\\tiny.tga\" 9 (1 x 1)");
    EXPECT_EQ(device.textureCalls, 0);  // refused before decoding
    Section mask = s;
    mask.masks.push_back({kMaskGuid, MakeTga(1, 1)});
    fails(mask, "mask {12345678-9ABC-DEF0-0102-030405060708}");
    EXPECT_EQ(device.textureCalls, 2);  // the pictures within the budget were made
}

TEST_F(ResManagerTest, HostileCountsFailBeforeAllocating) {
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
    };
    auto uintBytes = [](std::initializer_list<UINT> values) {
        DS_IOF_W w;
        for (UINT v : values) w.WriteUInt(v);
        return w.TakeBytes();
    };
    DS_IOF_W entry;
    entry.WriteUInt(1);
    entry.WriteString(u"p");
    entry.WriteInt64(0);
    entry.WriteUInt(0xFFFFFFF0u);  // per-entry record count
    DS_IOF_W values;
    values.WriteUInt(0);
    values.WriteUInt(1);
    values.WriteString(u"p");
    values.WriteInt64(0);
    values.WriteInt(-1);  // per-entry float count, negative
    std::vector<Case> cases = {
        {"table count all ones", uintBytes({0xFFFFFFFFu})},
        {"negative table count", uintBytes({0x80000000u, 0, 0, 0})},
        {"per-entry record count", entry.TakeBytes()},
        {"negative float count", values.TakeBytes()},
        {"nothing at all", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            Read(c.bytes, 3);
            ADD_FAILURE() << "read succeeded";
        } catch (const DS_LoadError& e) {
            EXPECT_EQ(e.Code(), 0x8200000Bu);
        }
    }
}

TEST_F(ResManagerTest, UnknownGuidGivesAnEmptySlot) {
    DS_DocResManager m;
    GUID unknown = {1, 2, 3, {4}};
    EXPECT_FALSE(m.GetGuidTexture(unknown));
    EXPECT_EQ(m.Tables().guidTextures.count(unknown), 1u);
}

TEST_F(ResManagerTest, SaveStepsFillTheWrittenTables) {
    DS_DocResManager m;
    // A mask with a texture is saved as a DDS file; one without is left alone.
    m.GetGuidTexture(kMaskGuid) = CreateTextureInfoFromMemory(MakeTga(2, 2).data(), 18 + 12).texture;
    GUID bare = {7, 7, 7, {7}};
    m.GetGuidTexture(bare);
    EXPECT_TRUE(m.RefreshGuidData(kMaskGuid));
    EXPECT_TRUE(m.RefreshGuidData(bare));
    ASSERT_EQ(m.Tables().guidData.size(), 1u);
    EXPECT_EQ(m.Tables().guidData.at(kMaskGuid).file.GetSize(), 4u);
    EXPECT_EQ(std::memcmp(&m.Tables().guidData.at(kMaskGuid).guid, &kMaskGuid, sizeof(GUID)), 0);

    // A picture link with frames travels with its records and values; an empty path does nothing.
    DS_ImageFileLink seq = m.AddImageSequence({0.25f, 0.5f}, {Record(0, u"", u"a", MakeTga(2, 2)),
                                                             Record(0, u"", u"a", MakeTga(2, 2))});
    EXPECT_TRUE(m.PrepareLinkForSave(seq));
    EXPECT_TRUE(m.PrepareLinkForSave(DS_ImageFileLink()));
    EXPECT_EQ(m.Tables().savedImages.at(seq.key).size(), 2u);
    EXPECT_EQ(m.Tables().frameValues.at(seq.key).size(), 2u);
    EXPECT_EQ(m.Tables().savedImages.size(), 1u);
}

TEST_F(ResManagerTest, LostAndResetSkipEffectsThatFailed) {
    modules.Add(u"common_res.dll", 76, DS_ResourceType::RCData, {'e', 'f', 'f', 'e', 'c', 't'});
    DS_DocResManager m;
    ID3DXEffect* good = m.GetEffect(DS_HLSLEffectFile(76, u"common_res.dll"));
    ID3DXEffect* missing = m.GetEffect(DS_HLSLEffectFile(75, u"common_res.dll"));
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(m.Tables().effectCache.size(), 2u);
    m.OnLostDevice();
    m.OnResetDevice();
    EXPECT_EQ(FakeDevice::Of(good)->lost, 1);
    EXPECT_EQ(FakeDevice::Of(good)->reset, 1);
    device.ReleaseEffect(good);
}

TEST_F(ResManagerTest, ConstructionAndCurrencyMoveTheCacheHolder) {
    auto first = std::make_unique<DS_DocResManager>();
    EXPECT_EQ(GetResCacheHolder(), &first->CacheHolder());
    auto second = std::make_unique<DS_DocResManager>();
    EXPECT_EQ(GetResCacheHolder(), &second->CacheHolder());
    SetCurrentDocResManager(first.get());
    EXPECT_EQ(GetResCacheHolder(), &first->CacheHolder());
    EXPECT_EQ(GetCurrentDocResManager(), first.get());
    first.reset();
    EXPECT_EQ(GetCurrentDocResManager(), nullptr) << "a destroyed manager does not stay current";
    EXPECT_EQ(GetResCacheHolder(), nullptr);
    EXPECT_EQ(GetCurrentLinkFileStore(), nullptr);
}

TEST_F(ResManagerTest, WrittenSectionReadsBackTheSavedLinks) {
    size_t left = 1;
    auto source = Read(FullSection().Bytes(3), 3, &left);
    SetCurrentDocResManager(source.get());
    // A saved picture travels once its link is prepared; a file once its link is written.
    DS_ImageFileLink sky(DS_LinkKey{u"C:\\pics\\sky.tga", 100});
    EXPECT_TRUE(source->PrepareLinkForSave(sky));
    DS_IOF_W w;
    WriteFileLink(w, DS_HLSLEffectFile(63, u"common_res.dll"));
    source->Write(w);
    std::vector<BYTE> bytes = w.TakeBytes();

    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    DS_FileLink3 link;
    ReadFileLink(reader, link);
    std::u16string name;
    INT version = ReadRecordHeader(reader, &name);
    EXPECT_EQ(name, u"DS_DocResManager");
    EXPECT_EQ(version, 3);
    DS_DocResManager copy;
    copy.ReadFields(reader, version);
    EXPECT_EQ(buffer.Remaining(), 0u);
    EXPECT_EQ(copy.Tables().imageCache.at(sky.key).width, 8u);
    EXPECT_EQ(copy.Tables().allFiles.at({u"common_res.dll", 63}).at(0).GetSize(), 6u);
    EXPECT_EQ(copy.Tables().guidTextures.size(), 0u) << "the masks were not part of the written section";
    SetCurrentDocResManager(nullptr);
}

}  // namespace
