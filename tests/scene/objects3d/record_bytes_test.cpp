// The 3D object records read from bytes laid out field by field, with a
// distinct value in every field, so that two fields read in each other's
// place (a count and a size, a speed and its deviation, x and y) show.
#include <cmath>

#include "scene/objects3d/butterfly.h"
#include "scene/objects3d/clock.h"
#include "tests/scene/objects3d/objects3d_fixture.h"

namespace {

using namespace objects3d_test;
using Records = Objects3D;

// The "DS_3D_Obj_Ctrl" record every butterfly and clock record ends with.
RecordBytes& ObjectRecord(RecordBytes& b, uint32_t count, uint32_t size, int64_t stamp, const std::u16string& name,
                          bool flag) {
    b.Header(u"DS_3D_Obj_Ctrl", 1).U32(count).U32(size);
    b.Link(u"C:\\objects\\texture.dds", stamp).Link(u"C:\\objects\\mesh.x", stamp + 1);
    return b.ViewRecord(name, flag);
}

void ExpectObjectRecord(const DS_3D_Obj_Ctrl& d, uint32_t count, uint32_t size, int64_t stamp,
                        const std::u16string& name, bool flag) {
    EXPECT_EQ(d.count.value, count);
    EXPECT_EQ(d.size.value, size);
    EXPECT_EQ(d.textureLink.key, (DS_LinkKey{u"C:\\objects\\texture.dds", stamp}));
    EXPECT_EQ(d.meshLink.key, (DS_LinkKey{u"C:\\objects\\mesh.x", stamp + 1}));
    ExpectViewRecord(d, name, flag);
}

std::vector<BYTE> Butterfly(int32_t version) {
    RecordBytes b;
    b.Header(u"DS_ButterflyConstructor", version);
    b.Link(u"C:\\fly\\body.dds", 901).Link(u"C:\\fly\\body.x", 902);
    b.U32(61).U32(23);  // speed A, speed B
    if (version >= 2) b.F32(0.625f);
    return ObjectRecord(b, 7, 130, 903, u"flock", false).bytes();
}

void ExpectButterfly(DS_ABObj_Constructor& read, float wingScale) {
    auto& d = dynamic_cast<DS_ButterflyConstructor&>(read);
    EXPECT_EQ(d.bodyImage.key, (DS_LinkKey{u"C:\\fly\\body.dds", 901}));
    EXPECT_EQ(d.bodyMesh.key, (DS_LinkKey{u"C:\\fly\\body.x", 902}));
    EXPECT_EQ(d.speedA.value, 61u);
    EXPECT_FLOAT_EQ(d.speedA.Converted(), 61.0f);
    EXPECT_EQ(d.speedB.value, 23u);
    EXPECT_FLOAT_EQ(d.speedB.Converted(), 23.0f);
    EXPECT_FLOAT_EQ(d.wingScale, wingScale);
    ExpectObjectRecord(d, 7, 130, 903, u"flock", false);  // the butterfly's own flag default is true
}

TEST_F(Records, EveryFieldFromBytesLaidOutByHand) {
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        std::function<void(DS_ABObj_Constructor&)> check;
    };
    std::vector<Case> cases;
    cases.push_back({"butterfly, version 2", Butterfly(2), [](DS_ABObj_Constructor& d) { ExpectButterfly(d, 0.625f); }});
    cases.push_back({"butterfly, version 1", Butterfly(1), [](DS_ABObj_Constructor& d) { ExpectButterfly(d, 1.0f); }});

    RecordBytes clock;
    clock.Header(u"DS_ClockConstructor", 1);
    for (int32_t v : {-21, 22, -23, 24, 425, 126}) clock.I32(v);  // left, right, top, bottom, x, y
    clock.Link(u"C:\\clock\\hands.dds", 905);
    ObjectRecord(clock, 3, 240, 906, u"wall clock", true);
    cases.push_back({"clock", clock.bytes(), [](DS_ABObj_Constructor& read) {
                         auto& d = dynamic_cast<DS_ClockConstructor&>(read);
                         EXPECT_EQ(d.clockRect.left.value, -21);
                         EXPECT_EQ(d.clockRect.right.value, 22);
                         EXPECT_EQ(d.clockRect.top.value, -23);
                         EXPECT_EQ(d.clockRect.bottom.value, 24);
                         EXPECT_EQ(d.clockRect.x.value, 425);
                         EXPECT_EQ(d.clockRect.y.value, 126);
                         EXPECT_EQ(d.handsLink.key, (DS_LinkKey{u"C:\\clock\\hands.dds", 905}));
                         ExpectObjectRecord(d, 3, 240, 906, u"wall clock", true);
                     }});

    RecordBytes pieces;
    pieces.Header(u"DS_3D_in_2D_array_Constructor", 1).Str(u"first name").U32(14);
    pieces.ResFile(31, u"pieces.dll", {'x', 'o', 'f'}, u"C:\\leaf.x");
    pieces.ResFile(32, u"art.dll", {1, 2, 3, 4, 5}, u"C:\\leaf.dds");
    for (uint32_t v : {33u, 44u, 5u, 6u, 77u, 250u}) pieces.U32(v);  // size, speed, deviation, rate, tumble, angle
    pieces.Header(u"DS_ABObj_Constructor", 1).Str(u"leaves");
    cases.push_back({"falling pieces", pieces.bytes(), [](DS_ABObj_Constructor& read) {
                         auto& d = dynamic_cast<DS_3D_in_2D_array_Constructor&>(read);
                         EXPECT_EQ(d.name, u"leaves");  // the later name stands
                         EXPECT_EQ(d.count.value, 14u);
                         EXPECT_EQ(d.meshFile.resourceId, 31);
                         EXPECT_EQ(d.meshFile.module, u"pieces.dll");
                         ASSERT_EQ(d.meshFile.GetSize(), 3u);
                         EXPECT_EQ(d.meshFile.GetBytes()[2], 'f');
                         EXPECT_EQ(d.meshFile.path, u"C:\\leaf.x");
                         EXPECT_EQ(d.imageFile.resourceId, 32);
                         EXPECT_EQ(d.imageFile.module, u"art.dll");
                         ASSERT_EQ(d.imageFile.GetSize(), 5u);
                         EXPECT_EQ(d.imageFile.GetBytes()[4], 5);
                         EXPECT_EQ(d.imageFile.path, u"C:\\leaf.dds");
                         EXPECT_EQ(d.motion.size.value, 33u);
                         EXPECT_EQ(d.motion.speed.value, 44u);
                         EXPECT_EQ(d.motion.deviation.value, 5u);
                         EXPECT_EQ(d.motion.deviationRate.value, 6u);
                         EXPECT_EQ(d.motion.tumbleSpeed.value, 77u);
                         EXPECT_EQ(d.motion.direction.angle, 250u);
                         // Applied as an angle: flow (cos a, -sin a), lateral (-sin a, -cos a).
                         const float a = 250.0f * 3.1415927f / 180.0f;
                         EXPECT_NEAR(d.motion.direction.flow[0], std::cos(a), 1e-6f);
                         EXPECT_NEAR(d.motion.direction.flow[1], -std::sin(a), 1e-6f);
                         EXPECT_NEAR(d.motion.direction.lateral[0], -std::sin(a), 1e-6f);
                         EXPECT_NEAR(d.motion.direction.lateral[1], -std::cos(a), 1e-6f);
                     }});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResourceBuffer buffer(c.bytes.data(), c.bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        std::unique_ptr<DS_ABObj_Constructor> read(ReadConstructorByClassName(reader));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(buffer.Remaining(), 0u);
        c.check(*read);
    }
}

}  // namespace
