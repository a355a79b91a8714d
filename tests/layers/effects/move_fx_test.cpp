// The move effect and its direction-based base: the nested record, the
// direction following the angle, the shift it hands its effect at draw time
// in either mode, and the moved picture it draws inside the mask.
#include "layers/effects/move_fx.h"

#include <cmath>

#include "scene/noise.h"
#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 91;
constexpr float kPi = 3.14159265f;

std::vector<BYTE> MoveRecord(INT mode, UINT strength, UINT angle) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_MoveFX", 1);
        w.WriteLong(mode);
        WriteRecordHeader(w, u"DS_DirectionBased", 1);
        w.WriteUInt(strength);
        w.WriteUInt(angle);
        WriteFxBase(w, {50, 0, kEffect});
    });
}

TEST(MoveRecord, ReadsTheNestedRecordWritesTheSameBytesAndEveryPrefixFails) {
    EXPECT_EQ(GetConstructorReaderRegistry().count(u"DS_DirectionBased"), 0u) << "never stored alone";
    DS_MoveFX made;
    EXPECT_FLOAT_EQ(made.strength.Converted(), 0.01f);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 1.0f);
    EXPECT_EQ(made.mode.value, 0);
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));

    const std::vector<BYTE> bytes = MoveRecord(1, 250, 90);
    size_t left = 1;
    auto move = ReadRegistered<DS_MoveFX>(bytes, &left);
    ASSERT_TRUE(move);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(move->mode.value, 1);
    EXPECT_FLOAT_EQ(move->strength.Converted(), 0.05f);
    EXPECT_EQ(move->angle.value, 90u);
    EXPECT_FLOAT_EQ(move->direction.x, 1.0f) << "the reader does not fire the binding";
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { move->Write(w); }), bytes);
    std::unique_ptr<DS_FX_Constructor> clone(move->Clone());
    auto* copy = dynamic_cast<DS_MoveFX*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NEAR(copy->direction.x, 0.0f, 1e-6f);
    EXPECT_NEAR(copy->direction.y, -1.0f, 1e-6f);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { copy->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);
}

// The clock set to `clock`, then one move of no time.
void MoveTo(DS_MoveFX& move, float clock) {
    move.speed.time = clock;
    move.speed.lastTime = 100.0f;
    move.FrameMove(100.0f);
}

class MoveOnDevice : public EffectClassTest {};

TEST_F(MoveOnDevice, TheShiftAtDrawTime) {
    MakeLayer();
    AddDemoEffect(kEffect, "move.fx");
    {
        DS_MoveFX move;
        move.CreateDeviceObjects(nullptr);
        const DrawValues at = DrawRecorded(move);
        EXPECT_TRUE(Near(Floats(at, "Direction"), {0, 0}, 0.0f)) << "before the first move";
    }
    struct Case {
        UINT angle;
        INT mode;
        UINT strength;
        float clock;
        std::vector<float> shift;
    } cases[] = {
        {0, 0, 50, kPi / 2.0f, {0.01f, 0.0f}},
        {0, 0, 50, 1.0f, {0.01f * std::sin(1.0f), 0.0f}},
        {90, 0, 50, 1.0f, {0.0f, -0.01f * std::sin(1.0f)}},
        {450, 0, 50, 1.0f, {0.0f, -0.01f * std::sin(1.0f)}},  // not 360 - 450 wrapped to four billion
        {180, 2, 50, kPi / 2.0f, {-0.01f, 0.0f}},              // any mode but 1 is the sine
        {0, 0, 0, kPi / 2.0f, {0.0f, 0.0f}},
        {0, 1, 50, 2.0f, {0.01f * static_cast<float>(OctaveNoise1D(100.0, 75.0, 0.5, 1)), 0.0f}},
        {0, 1, 50, 4.5f, {0.01f * static_cast<float>(OctaveNoise1D(225.0, 75.0, 0.5, 1)), 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "angle " << c.angle << " mode " << c.mode << " clock " << c.clock);
        DS_MoveFX move;
        move.angle.SetValue(c.angle);
        move.mode.Assign(c.mode);
        move.strength.SetValue(c.strength);
        move.CreateDeviceObjects(nullptr);
        MoveTo(move, c.clock);
        const DrawValues at = DrawRecorded(move);
        ASSERT_TRUE(at.drawn);
        EXPECT_TRUE(Near(Floats(at, "Direction"), c.shift, 1e-7f));
    }
    // Noise mode: 50 / 75 noise cells per clock unit, so the shift is the
    // noise's value at whole cells 1.5 clock units apart.
    DS_MoveFX noisy;
    noisy.mode.Assign(1);
    MoveTo(noisy, 1.5f);
    EXPECT_FLOAT_EQ(noisy.shift[0], 0.01f * static_cast<float>(ValueNoise1D(1.0)));
}

TEST_F(MoveOnDevice, MovesThePictureInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "move.fx");
    DS_MoveFX move;
    move.strength.SetValue(625);  // 0.125 picture sizes: 8 pixels
    IDirect3DTexture9* m = LeftHalfMask();
    move.CreateDeviceObjects(&m);
    MoveTo(move, kPi / 2.0f);
    ExpectChangesInsideTheMaskOnly(move, 0.9, "MoveFX");
    // At clock pi / 2 the whole shift: inside, the picture 8 pixels to the right.
    for (UINT y = 2; y < 62; y += 3)
        for (UINT x = 2; x < 28; x += 3) ASSERT_TRUE(Probe(drawn, x, y, plain.at(x + 8, y), 3));
    // Along 90 degrees it moves up the screen: the picture 8 pixels below.
    move.angle.SetValue(90);
    MoveTo(move, kPi / 2.0f);
    const Image up = Draw(&move);
    for (UINT y = 10; y < 62; y += 3)
        for (UINT x = 2; x < 28; x += 3) ASSERT_TRUE(Probe(up, x, y, plain.at(x, y - 8), 3));
    ClearTextures(move.effect.Get(), {"Mask", "Background"});
}

}  // namespace
