#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "document/item.h"
#include "platform/win32/strings.h"
#include "tests/support/document_fixture.h"

using namespace fixture;

DS_REGISTER_READER(ShapeRegistry(), Circle, Shape)
DS_REGISTER_READER(ShapeRegistry(), Polygon, Shape)

namespace {

std::vector<BYTE> Record(const std::u16string& name, INT version) {
    DS_IOF_W w;
    WriteRecordHeader(w, name, version);
    w.WriteFloat(3.0f);
    w.WriteBool(false);
    return w.TakeBytes();
}

TEST(Registry, RegisteredNamesResolve) {
    ASSERT_EQ(ShapeRegistry().size(), 2u);
    EXPECT_EQ(ShapeRegistry().count(u"Circle"), 1u);
    EXPECT_EQ(ShapeRegistry().count(u"Polygon"), 1u);
}

TEST(Registry, UnknownOrWrongCaseNameFailsTheLoad) {
    for (const std::u16string& name : {std::u16string(u"circle"), std::u16string(u"CIRCLE"),
                                       std::u16string(u"Circle "), std::u16string(u"Square"), std::u16string()}) {
        std::vector<BYTE> bytes = Record(name, 1);
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        try {
            ReadShapeByClassName(reader);
            ADD_FAILURE() << "no load error";
        } catch (const DS_LoadError& e) {
            EXPECT_EQ(e.Code(), 0x8200000Bu);
        }
    }
}

// The scene's own registries hold only their own families; a name of one
// family is unknown to the others, and an unknown name never yields null.
TEST(Registry, SceneRegistriesRefuseUnknownNames) {
    std::vector<BYTE> bytes = Record(u"DS_2D_Light", 3);
    {
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        EXPECT_THROW(ReadSlideContainerByClassName(reader), DS_LoadError);
    }
    {
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        EXPECT_THROW(ReadConstructorByClassName(reader), DS_LoadError);
    }
    std::vector<BYTE> lower = Record(u"ds_2d_light", 3);
    ResourceBuffer buffer(lower.data(), lower.size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    EXPECT_THROW(ReadLightByClassName(reader), DS_LoadError);
}

TEST(Registry, RegistrationReplaces) {
    DS_ReaderRegistry<Shape> registry;
    IOF_Virtual_ReaderT_II<Circle, Shape> first;
    IOF_Virtual_ReaderT_II<Polygon, Shape> second;
    DS_ReaderRegistration<Shape> a(registry, u"X", &first);
    DS_ReaderRegistration<Shape> b(registry, u"X", &second);
    ASSERT_EQ(registry.size(), 1u);
    EXPECT_EQ(registry[u"X"], &second);
}

// A derived record, then its base record; the base record's name is read
// but not compared.
TEST(Records, BaseRecordWithWrongNameIsReadAllTheSame) {
    DS_IOF_W w;
    WriteRecordHeader(w, u"Circle", 1);
    w.WriteFloat(4.0f);
    w.WriteBool(true);
    WriteRecordHeader(w, u"NotShapeAtAll", 2);
    w.WriteString(u"named");
    MediaRectangle area;
    area.top.value = 30;
    area.Write(w);
    w.WriteUInt(200);
    WriteFileLink(w, DS_FileLink3(8, u"common_res.dll"));
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    std::unique_ptr<Shape> shape(ReadShapeByClassName(reader));
    auto* circle = dynamic_cast<Circle*>(shape.get());
    ASSERT_NE(circle, nullptr);
    EXPECT_EQ(circle->radius, 4.0f);
    EXPECT_TRUE(circle->filled);
    EXPECT_EQ(circle->name.value, u"named");
    EXPECT_EQ(circle->area.top.value, 30);
    EXPECT_FLOAT_EQ(circle->scale.converted, 2.0f);  // read through SetValue
    EXPECT_EQ(circle->picture.key, (DS_LinkKey{u"common_res.dll", 8}));
    EXPECT_EQ(buffer.Remaining(), 0u);
}

TEST(Records, DocumentRoundTrip) {
    std::vector<BYTE> bytes = MakeDocumentBytes();
    Document doc = ReadDocument(bytes.data(), bytes.size());
    EXPECT_EQ(doc.header, u"KVL v 4.0.0");
    ASSERT_EQ(doc.shapes.size(), 2u);
    auto* circle = dynamic_cast<Circle*>(doc.shapes[0].get());
    auto* polygon = dynamic_cast<Polygon*>(doc.shapes[1].get());
    ASSERT_NE(circle, nullptr);
    ASSERT_NE(polygon, nullptr);
    EXPECT_EQ(circle->radius, 2.5f);
    EXPECT_TRUE(circle->filled);
    EXPECT_EQ(circle->name.value, u"sun");
    EXPECT_EQ(circle->area.left.value, 10);
    EXPECT_EQ(circle->area.right.value, 20);
    EXPECT_EQ(circle->area.bottom.value, -3);
    EXPECT_EQ(circle->scale.value, 150u);
    EXPECT_FLOAT_EQ(circle->scale.converted, 1.5f);
    EXPECT_EQ(circle->picture.key, (DS_LinkKey{u"common_res.dll", 5}));
    ASSERT_EQ(polygon->corners.size(), 3u);
    EXPECT_EQ(polygon->corners[2].x, -5);
    EXPECT_TRUE(polygon->quad.corners[2].value == D3DXVECTOR3(0.5f, 0.25f, -1.0f));
    EXPECT_EQ(polygon->picture.key.stamp, 132537600000000000ll);
    ASSERT_EQ(doc.files.size(), 2u);
    EXPECT_EQ(doc.files[0].resourceId, 44);
    EXPECT_EQ(doc.files[0].GetSize(), 6u);
    EXPECT_EQ(doc.files[1].path, u"C:\\pics\\tree.tga");
    EXPECT_EQ(doc.frameValues, (std::vector<float>{0.5f, 1.0f, 2.0f}));
    EXPECT_EQ(doc.sound.GetSize(), 4u);
    EXPECT_EQ(doc.stamp, -42);
    EXPECT_EQ(doc.letter, 'z');

    // Writing what was read gives the same bytes again.
    DS_IOF_W w;
    w.WriteString(doc.header);
    w.WriteInt(2);
    for (auto& s : doc.shapes) s->Write(w);
    w.WriteInt(2);
    for (auto& f : doc.files) w.WriteResFile(f);
    w.WriteInt(3);
    for (float f : doc.frameValues) w.WriteFloat(f);
    w.WriteFileData(doc.sound);
    w.WriteInt64(doc.stamp);
    w.WriteChar(doc.letter);
    EXPECT_EQ(w.Bytes(), bytes);
}

// Every strict prefix of the document fails with the load error, and never
// reads out of bounds: each prefix lives in a buffer of exactly its size, so
// the sanitizer build catches any over-read.
TEST(Records, EveryTruncationFails) {
    std::vector<BYTE> bytes = MakeDocumentBytes();
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::unique_ptr<BYTE[]> exact(new BYTE[n ? n : 1]);
        if (n) std::memcpy(exact.get(), bytes.data(), n);
        try {
            ReadDocument(exact.get(), n);
            ADD_FAILURE() << "prefix " << n << " of " << bytes.size() << " read without error";
        } catch (const DS_LoadError& e) {
            EXPECT_EQ(e.Code(), 0x8200000Bu);
        }
    }
}

}  // namespace

namespace {

// The class names a document may use, each family in its registry.
const std::vector<std::u16string> kLayerClasses = {u"DS_2D_Light",        u"DS_FlameLight",  u"DS_GlassBallLight",
                                                   u"DS_MatrixCodeLight", u"FakeUndervater", u"FakeLake2D",
                                                   u"DS_WaterRingLight"};
const std::vector<std::u16string> kSlideClasses = {u"DS_SlideContainer"};
const std::vector<std::u16string> kDescriptionClasses = {
    u"DS_GodRayConstructor",    u"DS_SparkleConstructor",   u"DS_FlowConstructor",
    u"DS_FishConstructor",      u"DS_GhostConstructor",     u"DS_FogConstructor",
    u"DS_LightingConstructor",  u"DS_GrassConstructor",     u"DS_RainConstructor",
    u"DS_StatObjConstructor",   u"DS_FlowerConstructor",    u"DS_BirdConstructor",
    u"DS_DischargeConstructor", u"DS_ButterflyConstructor", u"DS_ClockConstructor",
    u"DS_BackgroundCopy",       u"DS_WavesFX",              u"DS_LightFX",
    u"DS_PatternBrush",         u"DS_PatternBrushC",        u"DS_WaterFX",
    u"DS_MoveFX",               u"DS_FireFX",               u"DS_3D_in_2D_array_Constructor"};

// Every name a scene registry holds is one of the class names a document may
// use, in the registry of its family, with a reader behind it.  (The scene
// and layer code registers them; whole-archive linking keeps them.)
TEST(Registry, SceneRegistriesHoldOnlyDocumentClassNames) {
    ASSERT_EQ(kLayerClasses.size() + kSlideClasses.size() + kDescriptionClasses.size(), 32u);
    auto check = [](const auto& registry, const std::vector<std::u16string>& names) {
        for (const auto& [name, reader] : registry) {
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << tessaloom::Utf16ToUtf8(name);
            EXPECT_NE(reader, nullptr);
        }
    };
    check(GetLightReaderRegistry(), kLayerClasses);
    check(GetSlideContainerReaderRegistry(), kSlideClasses);
    check(GetConstructorReaderRegistry(), kDescriptionClasses);
}

// Every one of the 32 class names has its reader in its family's registry:
// a document using any of them loads in a program linked like the saver.
TEST(Registry, EveryDocumentClassNameHasAReader) {
    auto check = [](const auto& registry, const std::vector<std::u16string>& names) {
        for (const auto& name : names) {
            const auto found = registry.find(name);
            if (found == registry.end()) {
                ADD_FAILURE() << "no reader for " << tessaloom::Utf16ToUtf8(name);
                continue;
            }
            EXPECT_NE(found->second, nullptr) << tessaloom::Utf16ToUtf8(name);
        }
        EXPECT_EQ(registry.size(), names.size());
    };
    check(GetLightReaderRegistry(), kLayerClasses);
    check(GetSlideContainerReaderRegistry(), kSlideClasses);
    check(GetConstructorReaderRegistry(), kDescriptionClasses);
}

}  // namespace
