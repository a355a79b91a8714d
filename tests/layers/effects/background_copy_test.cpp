// The background copy: its record, the offset it hands its effect at draw
// time, and the shifted copy it draws inside the mask.
#include "layers/effects/background_copy.h"

#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 75;

struct CopyFields {
    INT area[6] = {10, 700, 20, 500, -80, 300};  // left, right, top, bottom, x, y
    INT yFlag = 1, xFlag = 0;
};

std::vector<BYTE> CopyRecord(const CopyFields& f) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_BackgroundCopy", 1);
        for (INT v : f.area) w.WriteInt(v);
        w.WriteLong(f.yFlag);
        w.WriteLong(f.xFlag);
        WriteFxBase(w, {0, 0, kEffect});
    });
}

TEST(BackgroundCopyRecord, ReadsEveryFieldWritesTheSameBytesAndEveryPrefixFails) {
    DS_BackgroundCopy made;
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));
    EXPECT_EQ(made.speed.value, 0u);
    EXPECT_EQ(made.xFlag.value, 0);
    EXPECT_EQ(made.yFlag.value, 0);

    const CopyFields f;
    const std::vector<BYTE> bytes = CopyRecord(f);
    size_t left = 1;
    auto copy = ReadRegistered<DS_BackgroundCopy>(bytes, &left);
    ASSERT_TRUE(copy);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(copy->area.left.value, 10);
    EXPECT_EQ(copy->area.bottom.value, 500);
    EXPECT_EQ(copy->area.x.value, -80);
    EXPECT_EQ(copy->area.y.value, 300);
    EXPECT_EQ(copy->yFlag.value, 1);
    EXPECT_EQ(copy->xFlag.value, 0);
    EXPECT_EQ(copy->name, u"Effect");
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { copy->Write(w); }), bytes);
    std::unique_ptr<DS_FX_Constructor> clone(copy->Clone());
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { clone->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);
}

class BackgroundCopyOnDevice : public EffectClassTest {};

// "offset" is the point over the picture size, plus 1 for each flag; the
// rectangle's edges play no part.
TEST_F(BackgroundCopyOnDevice, TheOffsetAtDrawTime) {
    MakeLayer(800, 600);
    AddDemoEffect(kEffect, "background_copy.fx");
    struct Case {
        int x, y, xFlag, yFlag;
        float ox, oy;
    } cases[] = {
        {0, 0, 0, 0, 0.0f, 0.0f},      {400, 300, 0, 0, 0.5f, 0.5f}, {400, 300, 1, 1, 1.5f, 1.5f},
        {-80, 0, 0, 0, -0.1f, 0.0f},   {0, 0, 0, 1, 0.0f, 1.0f},     {80, -60, 1, 0, 1.1f, -0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y << " flags " << c.xFlag << c.yFlag);
        DS_BackgroundCopy copy;
        copy.area.x.value = c.x;
        copy.area.y.value = c.y;
        copy.area.left.value = 123;
        copy.area.right.value = -7;
        copy.xFlag.Assign(c.xFlag);
        copy.yFlag.Assign(c.yFlag);
        copy.CreateDeviceObjects(nullptr);
        const DrawValues at = DrawRecorded(copy);
        ASSERT_TRUE(at.drawn);
        EXPECT_EQ(at.technique, "Main");
        EXPECT_TRUE(Near(Floats(at, "offset"), {c.ox, c.oy}, 1e-6f));
        EXPECT_TRUE(Near(Floats(at, "Scale"), {800.0f / 600.0f, 1.0f}, 1e-6f));
    }
}

// A picture without width or height divides nothing by zero: that component
// of the offset is 0.
TEST(BackgroundCopyOffset, APictureWithoutSizeGivesNoShift) {
    DS_BackgroundCopy copy;
    copy.area.x.value = 50;
    copy.area.y.value = 40;
    copy.xFlag.Assign(1);
    float o[2];
    copy.OffsetFor(0, 0, o);
    EXPECT_EQ(o[0], 1.0f);
    EXPECT_EQ(o[1], 0.0f);
    copy.OffsetFor(100, 0, o);
    EXPECT_FLOAT_EQ(o[0], 1.5f);
    EXPECT_EQ(o[1], 0.0f);
}

TEST_F(BackgroundCopyOnDevice, CopiesTheShiftedPictureInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "background_copy.fx");
    DS_BackgroundCopy copy;
    copy.area.x.value = 16;
    copy.area.y.value = 8;
    IDirect3DTexture9* m = LeftHalfMask();
    copy.CreateDeviceObjects(&m);
    ExpectChangesInsideTheMaskOnly(copy, 0.9, "BackgroundCopy");
    // Inside, the picture 16 pixels right and 8 down.
    for (UINT y = 2; y < 50; y += 3)
        for (UINT x = 2; x < 28; x += 3) ASSERT_TRUE(Probe(drawn, x, y, plain.at(x + 16, y + 8), 3));
    // Without its effect nothing is drawn.
    DS_BackgroundCopy none;
    none.effectLink.ConstructFromResource(4711, u"common_res.dll");
    none.CreateDeviceObjects(&m);
    EXPECT_EQ(none.effect.Get(), nullptr);
    EXPECT_EQ(Draw(&none).pixels, Draw(nullptr).pixels);
    ClearTextures(copy.effect.Get(), {"Mask", "Background"});
}

}  // namespace
