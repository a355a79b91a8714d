// The waves effect: its record, its two vectors following the angle and the
// reverse flag, the values it hands its effect at draw time, and the ripple
// it draws inside the mask.
#include "layers/effects/waves_fx.h"

#include <cmath>

#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 77;

std::vector<BYTE> WavesRecord(UINT amplitude, UINT period, UINT angle, INT reverse) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_WavesFX", 1);
        w.WriteUInt(amplitude);
        w.WriteUInt(period);
        w.WriteUInt(angle);
        w.WriteLong(reverse);
        WriteFxBase(w, {25, 0, kEffect});
    });
}

TEST(WavesRecord, ReadsEveryFieldWritesTheSameBytesAndEveryPrefixFails) {
    DS_WavesFX made;
    EXPECT_FLOAT_EQ(made.amplitude.Converted(), 0.0125f);
    EXPECT_FLOAT_EQ(made.period.Converted(), 0.026f);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 25.0f);
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));

    const std::vector<BYTE> bytes = WavesRecord(100, 0, 45, 1);
    size_t left = 1;
    auto waves = ReadRegistered<DS_WavesFX>(bytes, &left);
    ASSERT_TRUE(waves);
    EXPECT_EQ(left, 0u);
    EXPECT_FLOAT_EQ(waves->amplitude.Converted(), 0.025f);
    EXPECT_FLOAT_EQ(waves->period.Converted(), 0.001f);
    EXPECT_EQ(waves->angle.value, 45u);
    EXPECT_EQ(waves->reverse.value, 1);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { waves->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);
}

// Reading stores the angle without telling the binding; the run-time copy
// works its vectors out from the values read.
TEST(WavesVectors, TheRunTimeCopyFollowsTheAngleRead) {
    auto waves = ReadRegistered<DS_WavesFX>(WavesRecord(50, 50, 45, 0));
    ASSERT_TRUE(waves);
    EXPECT_FLOAT_EQ(waves->direction.x, 1.0f) << "the reader does not fire the binding";
    std::unique_ptr<DS_FX_Constructor> copy(waves->Clone());
    auto* w = dynamic_cast<DS_WavesFX*>(copy.get());
    ASSERT_NE(w, nullptr);
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(w->direction.x, h, 1e-6f);
    EXPECT_NEAR(w->direction.y, -h, 1e-6f);
    EXPECT_NEAR(w->normal.x, h, 1e-6f);
    EXPECT_NEAR(w->normal.y, h, 1e-6f);
    // The copy's own bindings: a change of its angle or flag moves its vectors only.
    w->angle.SetValue(90u);
    EXPECT_NEAR(w->direction.y, -1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(waves->direction.x, 1.0f);
    w->reverse.SetValue(1);
    EXPECT_NEAR(w->normal.x, 0.0f, 1e-6f);
    EXPECT_NEAR(w->normal.y, 1.0f, 1e-6f);
}

class WavesOnDevice : public EffectClassTest {};

TEST_F(WavesOnDevice, TheValuesAtDrawTime) {
    MakeLayer();
    AddDemoEffect(kEffect, "waves.fx");
    struct Case {
        UINT angle;
        INT reverse;
        UINT period;
        float clock;
        std::vector<float> direction, directionN;
        float frequency;
    } cases[] = {
        {0, 0, 50, 0.0f, {-1, 0}, {0, 1}, 38.4615f},
        {90, 0, 50, 12.5f, {0, 1}, {1, 0}, 38.4615f},
        {90, 1, 50, 12.5f, {0, 1}, {0, 1}, 38.4615f},  // reversed: equal to "direction"
        {0, 1, 50, 0.0f, {-1, 0}, {-1, 0}, 38.4615f},
        {180, 0, 0, 25.0f, {1, 0}, {0, -1}, 1000.0f},  // period raw 0: p = 0.001
        // An angle above 360 is whole turns and more, not four billion
        // degrees: 4294967295 = 11930464 x 360 + 255, so 255 degrees,
        // "direction" (-cos 255, sin 255), "direction_n" (sin 255, cos 255).
        {450, 0, 50, 0.0f, {0, 1}, {1, 0}, 38.4615f},
        {4294967295u, 0, 50, 0.0f, {0.258819f, -0.965926f}, {-0.965926f, -0.258819f}, 38.4615f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "angle " << c.angle << " reverse " << c.reverse);
        DS_WavesFX waves;
        waves.angle.SetValue(c.angle);
        waves.reverse.SetValue(c.reverse);
        waves.period.SetValue(c.period);
        waves.CreateDeviceObjects(nullptr);
        waves.speed.time = c.clock;
        const DrawValues at = DrawRecorded(waves);
        ASSERT_TRUE(at.drawn);
        EXPECT_TRUE(Near(Floats(at, "direction"), c.direction, 1e-6f));
        EXPECT_TRUE(Near(Floats(at, "direction_n"), c.directionN, 1e-6f));
        EXPECT_TRUE(Near(Floats(at, "frequency"), {c.frequency}, 1e-2f));
        EXPECT_TRUE(Near(Floats(at, "amplitude"), {0.0125f}, 1e-7f));
        EXPECT_TRUE(Near(Floats(at, "time"), {c.clock * 0.08f}, 1e-6f));
    }
}

TEST_F(WavesOnDevice, RipplesThePictureInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "waves.fx");
    DS_WavesFX waves;
    waves.amplitude.SetValue(200);  // 0.05 picture sizes
    IDirect3DTexture9* m = LeftHalfMask();
    waves.CreateDeviceObjects(&m);
    waves.speed.time = 10.0f;
    ExpectChangesInsideTheMaskOnly(waves, 0.5, "WavesFX");
    // The waves run: a moment later the picture inside differs again.
    const Image first = Draw(&waves);
    waves.speed.time = 20.0f;
    EXPECT_NE(Draw(&waves).pixels, first.pixels);
    ClearTextures(waves.effect.Get(), {"Mask", "Background"});
}

}  // namespace
