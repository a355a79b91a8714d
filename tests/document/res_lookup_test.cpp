// Where pictures, meshes and effects come from: the LoadTexture decision,
// the per-link lookups of the manager, and what is cached where.
#include <gtest/gtest.h>

#include "document/archive_writer.h"
#include "document/res_manager.h"
#include "tests/support/res_fixture.h"

using namespace resfix;

namespace {

const std::u16string kModule = u"common_res.dll";

class ResLookupTest : public ::testing::Test {
protected:
    FakeDevice device;
    FakeModules modules;

    void TearDown() override {
        EXPECT_EQ(device.liveTextures, 0);
        EXPECT_EQ(device.liveBuffers, 0);
    }
};

UINT WidthOf(const DS_TextureInfo& info) { return info.texture ? FakeDevice::Of(info.texture.Get())->width : 0; }

TEST_F(ResLookupTest, LoadTextureDecisionTable) {
    // Module pictures are 64 wide, the document's own copies 16 wide.
    enum Source { None, Bytes, Module };
    enum Cached { NotCached, ModuleMap, FallbackMap };
    struct Case {
        const char* what;
        bool path;
        bool bytes;
        bool modulePresent;
        bool resourcePresent;
        Source source;
        Cached cached;
        UINT width, height;
        float aspect;
    };
    const Case cases[] = {
        {"authoring file with bytes", true, true, true, true, Bytes, NotCached, 16, 8, 0.5f},
        {"authoring file without bytes: never opened", true, false, true, true, None, NotCached, 0, 0, 1.0f},
        {"module wins over the document's copy", false, true, true, true, Module, ModuleMap, 64, 16, 0.25f},
        {"module lacks it: the document's copy", false, true, true, false, Bytes, ModuleMap, 16, 8, 0.5f},
        {"module lacks it, no copy", false, false, true, false, None, ModuleMap, 0, 0, 1.0f},
        {"module absent: the copy", false, true, false, false, Bytes, FallbackMap, 16, 8, 0.5f},
        {"module absent, no copy: 800 x 600", false, false, false, false, None, FallbackMap, 800, 600, 0.75f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeModules mods;
        if (c.modulePresent) mods.AddModule(kModule);
        if (c.resourcePresent) mods.Add(kModule, 7, DS_ResourceType::DDS, MakeTga(64, 16));
        DS_ResCache cache;
        DS_ResFileData record = Record(7, kModule, c.path ? u"C:\\art\\flame.tga" : u"",
                                       c.bytes ? MakeTga(16, 8) : std::vector<BYTE>());
        DS_TextureInfo info = DS_LoadTexture(record, cache);
        EXPECT_EQ(WidthOf(info), c.source == Module ? 64u : c.source == Bytes ? 16u : 0u);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_FLOAT_EQ(info.aspect, c.aspect);
        EXPECT_EQ(cache.modulePictures.size(), c.cached == ModuleMap ? 1u : 0u);
        EXPECT_EQ(cache.fallbackPictures.size(), c.cached == FallbackMap ? 1u : 0u);
        EXPECT_TRUE(cache.filePictures.empty());

        // A second lookup of a cached texture makes nothing; an entry without
        // a texture is tried again.
        int calls = device.textureCalls;
        DS_TextureInfo again = DS_LoadTexture(record, cache);
        bool cachedTexture = c.cached != NotCached && info.texture;
        if (cachedTexture) {
            EXPECT_EQ(device.textureCalls, calls);
            EXPECT_EQ(again.texture.Get(), info.texture.Get());
        }
        EXPECT_EQ(again.width, c.width);
    }
}

TEST_F(ResLookupTest, FallbackOfUndecodableBytesIsTriedAgain) {
    DS_ResCache cache;
    DS_ResFileData record = Record(8, kModule, u"", {0xDE, 0xAD});
    for (int i = 1; i <= 2; ++i) {
        DS_TextureInfo info = DS_LoadTexture(record, cache);
        EXPECT_FALSE(info.texture);
        EXPECT_EQ(info.width, 800u);
        EXPECT_EQ(info.height, 600u);
        EXPECT_FLOAT_EQ(info.aspect, 0.75f);
        EXPECT_EQ(device.textureCalls, i);
    }
    EXPECT_EQ(cache.fallbackPictures.size(), 1u);
}

TEST_F(ResLookupTest, RecordsWithoutNameOrNumberDoNotShareATexture) {
    DS_ResCache cache;
    DS_TextureInfo a = DS_LoadTexture(Record(0, u"", u"", MakeTga(4, 4, 0x11)), cache);
    DS_TextureInfo b = DS_LoadTexture(Record(0, u"", u"", MakeTga(4, 4, 0x22)), cache);
    ASSERT_TRUE(a.texture && b.texture);
    EXPECT_NE(a.texture.Get(), b.texture.Get());
    EXPECT_EQ(FakeDevice::Of(b.texture.Get())->shade, 0x22);
}

TEST_F(ResLookupTest, OwnResourcesAndTheProcessWideHolder) {
    modules.AddOwn(12, MakeTga(16, 16));
    DS_TextureRef own = LoadTextureFromOwnResource(12, true);
    EXPECT_TRUE(own);
    EXPECT_FALSE(LoadTextureFromOwnResource(13, false));

    // Without a manager there is no cache to make anything through.
    SetCurrentDocResManager(nullptr);
    ASSERT_EQ(GetResCacheHolder(), nullptr);
    EXPECT_FALSE(DS_LoadTexture(Record(0, u"", u"a", MakeTga(2, 2))).texture);
    DS_DocResManager m;
    EXPECT_TRUE(DS_LoadTexture(Record(0, u"", u"a", MakeTga(2, 2))).texture);
}

TEST_F(ResLookupTest, ModulesAreLoadedOnceAndRetriedWhileMissing) {
    DS_ResCache cache;
    HMODULE h = nullptr;
    EXPECT_FALSE(cache.GetModule(kModule, h));
    EXPECT_FALSE(cache.GetModule(kModule, h));
    EXPECT_EQ(modules.loads, 2);
    modules.AddModule(kModule);
    EXPECT_TRUE(cache.GetModule(kModule, h));
    EXPECT_TRUE(cache.GetModule(kModule, h));
    EXPECT_EQ(modules.loads, 3);
}

TEST_F(ResLookupTest, GetImageOfASavedLinkTouchesNoModule) {
    DS_DocResManager m;
    DS_LinkKey key{u"C:\\art\\sky.dll", 5};  // a saved picture whose path even looks like a module
    m.Tables().imageCache[key].SetSingle(CreateTextureInfoFromMemory(MakeTga(8, 8).data(), 8 * 8 * 3 + 18));
    DS_ImageSet& set = m.GetImage(DS_ImageFileLink(key));
    EXPECT_EQ(set.width, 8u);
    EXPECT_EQ(modules.loads, 0);
    EXPECT_EQ(modules.finds, 0);
}

TEST_F(ResLookupTest, GetImageResolvesModuleLinksOnly) {
    modules.Add(kModule, 5, DS_ResourceType::DDS, MakeTga(32, 8));
    DS_DocResManager m;
    struct Case {
        std::u16string path;
        INT64 stamp;
        UINT width;
        size_t frames;
    };
    const Case cases[] = {
        {u"COMMON_RES.DLL", 5, 800, 1},      // capitals: a module link; no such module here
        {kModule, 5, 32, 1},                 // the module's picture
        {kModule, 0x10005, 32, 1},           // the low 16 bits number the resource
        {u"C:\\art\\sky.tga", 77, 0, 0},     // an authoring file: never opened
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        DS_ImageSet& set = m.GetImage(DS_ImageFileLink(DS_LinkKey{c.path, c.stamp}));
        EXPECT_EQ(set.FrameCount(), c.frames);
        EXPECT_EQ(set.width, c.width);
    }
    // The capitals link names a module that is absent: one empty frame, 800 x 600.
    DS_ImageSet& absent = m.GetImage(DS_ImageFileLink(DS_LinkKey{u"COMMON_RES.DLL", 5}));
    EXPECT_EQ(absent.GetFrame(0), nullptr);
    EXPECT_FLOAT_EQ(absent.aspect, 0.75f);
    EXPECT_EQ(m.Tables().allFiles.at({u"COMMON_RES.DLL", 5}).size(), 1u) << "asking again changes nothing";
    DS_TextureInfo first = m.GetImage(DS_ImageFileLink(DS_LinkKey{kModule, 5})).GetFirst();
    EXPECT_EQ(WidthOf(first), 32u);
}

TEST_F(ResLookupTest, EmptySetsAndSequences) {
    DS_ImageSet empty;
    DS_TextureInfo first = empty.GetFirst();
    EXPECT_FALSE(first.texture);
    EXPECT_EQ(first.width, 0u);
    EXPECT_EQ(first.height, 0u);
    EXPECT_FLOAT_EQ(first.aspect, 1.0f);
    EXPECT_EQ(empty.GetFrame(0), nullptr);
    EXPECT_FLOAT_EQ(DS_AspectOf(0, 5), 1.0f);

    DS_DocResManager m;
    DS_ImageFileLink none = m.AddImageSequence({1.0f}, {});
    EXPECT_TRUE(none.key.path.empty());
    EXPECT_EQ(none.key.stamp, 0);
    EXPECT_TRUE(m.Tables().imageCache.empty());
}

TEST_F(ResLookupTest, AddImageFileAndSequenceMakeInMemoryLinks) {
    DS_DocResManager m;
    DS_ImageFileLink a = m.AddImageFile(Record(0, u"", u"C:\\art\\mask.tga", MakeTga(4, 2)));
    DS_ImageFileLink b = m.AddImageFile(Record(0, u"", u"C:\\art\\mask.tga", MakeTga(8, 2)));
    EXPECT_EQ(a.key.path, b.key.path);
    EXPECT_NE(a.key.stamp, b.key.stamp);
    EXPECT_EQ(m.GetImage(a).width, 4u);
    EXPECT_EQ(m.GetImage(b).width, 8u);

    std::vector<DS_ResFileData> frames = {Record(0, u"", u"f1", MakeTga(2, 2)), Record(0, u"", u"f2", MakeTga(6, 3))};
    DS_ImageFileLink seq = m.AddImageSequence({0.1f, 0.2f, 0.3f}, frames);
    const DS_ImageSet& set = m.GetImage(seq);
    EXPECT_EQ(set.FrameCount(), 2u);
    EXPECT_EQ(set.FrameValues().size(), 3u);
    EXPECT_EQ(set.width, 6u);
    EXPECT_EQ(m.Tables().allFiles.at(seq.key).size(), 2u);

    // A module record keeps the module's key.
    DS_ImageFileLink mod = m.AddImageFile(Record(63, kModule, u"", MakeTga(2, 2)));
    EXPECT_EQ(mod.key, (DS_LinkKey{kModule, 63}));
}

std::vector<BYTE> PictureSet(const std::vector<float>& values, const std::vector<DS_ResFileData>& frames) {
    DS_IOF_W w;
    w.WriteInt(static_cast<INT>(values.size()));
    for (float v : values) w.WriteFloat(v);
    w.WriteInt(static_cast<INT>(frames.size()));
    for (const auto& f : frames) w.WriteResFile(f);
    return w.TakeBytes();
}

TEST_F(ResLookupTest, PictureSetResources) {
    // Frames 3 and 4 come from the module itself, frame 1 from its bytes.
    modules.Add(kModule, 3, DS_ResourceType::DDS, MakeTga(12, 12));
    modules.Add(kModule, 4, DS_ResourceType::DDS, MakeTga(14, 7));
    modules.Add(kModule, 40, DS_ResourceType::DDS,
                PictureSet({0.5f, 1.5f}, {Record(1, kModule, u"", MakeTga(10, 5)), Record(3, kModule, u"", {}),
                                          Record(4, kModule, u"", {})}));
    std::vector<BYTE> damaged = PictureSet({0.5f}, {Record(1, kModule, u"", MakeTga(2, 2))});
    damaged.resize(damaged.size() - 3);
    modules.Add(kModule, 41, DS_ResourceType::DDS, damaged);
    std::vector<BYTE> hostile = PictureSet({}, {});
    hostile[4] = 0xFF, hostile[5] = 0xFF, hostile[6] = 0xFF, hostile[7] = 0x7F;  // record count 2^31-1
    modules.Add(kModule, 42, DS_ResourceType::DDS, hostile);

    DS_DocResManager m;
    DS_ImageSet& set = m.LoadDllImageSet(DS_ImageFileLink(40, kModule));
    ASSERT_EQ(set.FrameCount(), 3u);
    EXPECT_EQ(set.FrameValues().size(), 2u);
    EXPECT_FLOAT_EQ(set.GetFrameValue(1), 1.5f);
    EXPECT_FLOAT_EQ(set.GetFrameValue(2, 7.0f), 7.0f);
    EXPECT_EQ(FakeDevice::Of(set.GetFrame(0))->width, 10u);
    EXPECT_EQ(FakeDevice::Of(set.GetFrame(2))->width, 14u);
    EXPECT_EQ(set.width, 14u);
    EXPECT_FLOAT_EQ(set.aspect, 0.5f);
    int calls = device.textureCalls;
    EXPECT_EQ(&m.LoadDllImageSet(DS_ImageFileLink(40, kModule)), &set);
    EXPECT_EQ(device.textureCalls, calls);

    EXPECT_FALSE(m.LoadDllImageSet(DS_ImageFileLink(41, kModule)).HasFrame());
    EXPECT_FALSE(m.LoadDllImageSet(DS_ImageFileLink(42, kModule)).HasFrame());
    EXPECT_FALSE(m.LoadDllImageSet(DS_ImageFileLink(40, u"other.dll")).HasFrame());
}

TEST_F(ResLookupTest, EffectsFromDocumentModuleOrNowhere) {
    modules.Add(kModule, 76, DS_ResourceType::RCData, {'e', 'f', 'f', 'e', 'c', 't', ' ', 'm'});
    modules.Add(kModule, 77, DS_ResourceType::DDS, {'e', 'f', 'f', 'e', 'c', 't'});  // wrong type
    DS_DocResManager m;
    DS_LinkKey saved{kModule, 63};
    m.Tables().allFiles[saved].push_back(Record(63, kModule, u"", {'e', 'f', 'f', 'e', 'c', 't', ' ', 'd'}));

    ID3DXEffect* fromDoc = m.GetEffect(DS_HLSLEffectFile(saved));
    ASSERT_NE(fromDoc, nullptr);
    EXPECT_EQ(FakeDevice::Of(fromDoc)->source, "effect d");
    EXPECT_EQ(FakeDevice::Of(fromDoc)->refs, 2) << "the cache's and the caller's";
    ID3DXEffect* again = m.GetEffect(DS_HLSLEffectFile(saved));
    EXPECT_EQ(again, fromDoc);
    EXPECT_EQ(FakeDevice::Of(fromDoc)->refs, 3);
    EXPECT_EQ(device.effectCalls, 1);

    ID3DXEffect* fromModule = m.GetEffect(DS_HLSLEffectFile(76, kModule));
    ASSERT_NE(fromModule, nullptr);
    EXPECT_EQ(FakeDevice::Of(fromModule)->source, "effect m");

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(77, kModule)), nullptr);
        EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(5, u"C:\\fx\\fire.fx")), nullptr);
    }
    EXPECT_EQ(m.Tables().allFiles.at({kModule, 77}).size(), 1u);

    device.ReleaseEffect(fromDoc);
    device.ReleaseEffect(again);
    device.ReleaseEffect(fromModule);
    FakeEffect* kept = FakeDevice::Of(fromDoc);
    EXPECT_EQ(kept->refs, 1);
    m.Tables().effectCache.clear();
    EXPECT_EQ(kept->refs, 0);
}

// Bytes that do not make an effect fail once per manager (one per screen's
// device): later lookups neither build nor report again, every frame; a
// second manager, for another device, tries once on its own.
TEST_F(ResLookupTest, AnEffectThatFailsIsBuiltAndReportedOncePerManager) {
    modules.Add(kModule, 76, DS_ResourceType::RCData, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'f', 'f', 'e', 'c', 't'});
    modules.Add(kModule, 77, DS_ResourceType::RCData, {'e', 'f', 'f', 'e', 'c', 't', ' ', 'm'});
    for (int screen = 0; screen < 2; ++screen) {
        SCOPED_TRACE(screen);
        DS_DocResManager m;
        const int before = device.effectCalls;
        testing::internal::CaptureStderr();
        for (int frame = 0; frame < 5; ++frame) EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(76, kModule)), nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(device.effectCalls, before + 1) << "built again after it failed";
        const std::string said = "the effect common_res.dll #76 could not be made";
        const size_t first = err.find(said);
        EXPECT_NE(first, std::string::npos) << err;
        EXPECT_EQ(err.find(said, first + 1), std::string::npos) << "reported more than once:\n" << err;
        // Another link of the same module is not held back by the failure.
        ID3DXEffect* good = m.GetEffect(DS_HLSLEffectFile(77, kModule));
        EXPECT_NE(good, nullptr);
        if (good) device.ReleaseEffect(good);
    }
}

// Without its resource module the effects it holds are missing: which module
// is said once in the process, however many lookups and managers ask; a
// link to an authoring file's path names no module and says nothing.
TEST_F(ResLookupTest, AMissingModuleIsNamedOnceOnStderr) {
    const std::u16string missing = u"absent_module_for_this_test.dll";
    testing::internal::CaptureStderr();
    for (int screen = 0; screen < 2; ++screen) {
        DS_DocResManager m;
        for (int frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(76, missing)), nullptr);
            EXPECT_EQ(m.GetEffect(DS_HLSLEffectFile(5, u"C:\\fx\\fire.fx")), nullptr);
        }
    }
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string said = "the resource module \"absent_module_for_this_test.dll\" cannot be loaded";
    const size_t first = err.find(said);
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(said, first + 1), std::string::npos) << "said more than once:\n" << err;
    EXPECT_EQ(err.find("fire.fx"), std::string::npos) << err;
}

TEST_F(ResLookupTest, MeshesFromBytesAndFromTheModule) {
    modules.Add(kModule, 68, DS_ResourceType::DDS, MakeMeshBytes(24, 12));
    modules.Add(kModule, 69, DS_ResourceType::DDS, MakeMeshBytes(70000, 10));  // indices do not fit 16 bits
    DS_DocResManager m;
    DS_LinkKey saved{u"cube.x", 3};
    m.Tables().allFiles[saved].push_back(Record(0, u"", u"cube.x", MakeMeshBytes(8, 12)));

    DS_MeshData& doc = m.GetMesh(DS_MeshFile(saved), DS_MESH_VERTEX_SIZE);
    EXPECT_EQ(doc.vertexCount, 8u);
    EXPECT_EQ(doc.faceCount, 12u);
    DS_MeshData& module = m.GetMesh(DS_MeshFile(68, kModule), DS_MESH_VERTEX_SIZE);
    EXPECT_EQ(module.vertexCount, 24u);
    EXPECT_TRUE(module.vertexBuffer && module.indexBuffer);
    int calls = device.meshCalls;
    EXPECT_EQ(&m.GetMesh(DS_MeshFile(68, kModule), DS_MESH_VERTEX_SIZE), &module);
    EXPECT_EQ(device.meshCalls, calls);

    EXPECT_TRUE(m.GetMesh(DS_MeshFile(69, kModule), DS_MESH_VERTEX_SIZE).IsEmpty());
    EXPECT_TRUE(m.GetMesh(DS_MeshFile(99, kModule), DS_MESH_VERTEX_SIZE).IsEmpty());
    EXPECT_TRUE(m.GetMesh(DS_MeshFile(1, u"C:\\art\\wing.x"), DS_MESH_VERTEX_SIZE).IsEmpty());
    DS_LinkKey other{u"other.x", 1};
    m.Tables().allFiles[other].push_back(Record(0, u"", u"other.x", MakeMeshBytes(8, 12)));
    EXPECT_TRUE(m.GetMesh(DS_MeshFile(other), 28).IsEmpty()) << "a vertex size other than the cloned stride";
}

TEST_F(ResLookupTest, LoadMeshCachesModuleMeshesByModuleAndNumber) {
    modules.Add(kModule, 70, DS_ResourceType::DDS, MakeMeshBytes(30, 20));
    modules.Add(u"extra.dll", 70, DS_ResourceType::DDS, MakeMeshBytes(40, 20));
    DS_ResCache cache;
    EXPECT_EQ(DS_LoadMesh(Record(70, kModule, u"", {}), cache, 32).vertexCount, 30u);
    EXPECT_EQ(DS_LoadMesh(Record(70, u"extra.dll", u"", {}), cache, 32).vertexCount, 40u);
    EXPECT_EQ(DS_LoadMesh(Record(70, kModule, u"", {}), cache, 32).vertexCount, 30u);
    EXPECT_EQ(cache.meshes.size(), 2u);
    EXPECT_EQ(DS_LoadMesh(Record(0, u"", u"piece.x", MakeMeshBytes(9, 3)), cache, 32).vertexCount, 9u);
    EXPECT_TRUE(DS_LoadMesh(Record(0, u"", u"piece.x", {}), cache, 32).IsEmpty());
    EXPECT_EQ(cache.meshes.size(), 2u);
}

TEST_F(ResLookupTest, EachManagerMakesItsOwnTextures) {
    modules.Add(kModule, 5, DS_ResourceType::DDS, MakeTga(32, 8));
    DS_DocResManager first;
    DS_DocResManager second;
    // Each screen's manager is made current while its device is.
    SetCurrentDocResManager(&first);
    IDirect3DTexture9* a = first.GetImage(DS_ImageFileLink(5, kModule)).GetFrame(0);
    SetCurrentDocResManager(&second);
    IDirect3DTexture9* b = second.GetImage(DS_ImageFileLink(5, kModule)).GetFrame(0);
    SetCurrentDocResManager(nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
}

}  // namespace
