// The light effect: its record, the multiplier of each mode at draw time,
// and the brightening it draws inside the mask.
#include "layers/effects/light_fx.h"

#include <cmath>

#include "scene/noise.h"
#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 76;
constexpr float kPi = 3.14159265f;

std::vector<BYTE> LightRecord(UINT amplitude, INT mode) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_LightFX", 1);
        w.WriteUInt(amplitude);
        w.WriteLong(mode);
        WriteFxBase(w, {40, 1, kEffect});
    });
}

TEST(LightRecord, ReadsEveryFieldWritesTheSameBytesAndEveryPrefixFails) {
    DS_LightFX made;
    EXPECT_FLOAT_EQ(made.amplitude.Converted(), 0.4f);
    EXPECT_EQ(made.mode.value, 0);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 40.0f);
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));

    const std::vector<BYTE> bytes = LightRecord(75, 2);
    size_t left = 1;
    auto light = ReadRegistered<DS_LightFX>(bytes, &left);
    ASSERT_TRUE(light);
    EXPECT_EQ(left, 0u);
    EXPECT_FLOAT_EQ(light->amplitude.Converted(), 0.75f) << "the converter follows the raw value read";
    EXPECT_EQ(light->mode.value, 2);
    EXPECT_EQ(light->techniqueFlag.value, 1);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { light->Write(w); }), bytes);
    std::unique_ptr<DS_FX_Constructor> clone(light->Clone());
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { clone->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);
}

float Flicker(float t) { return static_cast<float>((OctaveNoise1D(t * 10.0, 75.0, 0.5, 2) + 1.0) * 0.5); }

class LightOnDevice : public EffectClassTest {};

// The multiplier of every mode, as the effect holds it when it draws.
TEST_F(LightOnDevice, TheMultiplierAtDrawTime) {
    MakeLayer();
    AddDemoEffect(kEffect, "light.fx");
    struct Case {
        INT mode;
        UINT amplitude;
        float clock;
        float multiplier;
    } cases[] = {
        {0, 40, 0.0f, 0.2f},                   // (sin 0 + 1) / 2 x 0.4
        {0, 40, 2.5f * kPi, 0.4f},             // 0.2 t = pi / 2: the top of the pulse
        {0, 40, 7.5f * kPi, 0.0f},             // 0.2 t = 3 pi / 2: the bottom
        {1, 40, 0.0f, 0.0f},                   // a = 0.5 is not above 0.5
        {1, 40, 0.05f, 0.4f},                  // just after 0 the blink is on
        {1, 40, 5.5f * kPi, 0.0f},             // and off while the sine is below 0
        {-1, 40, 2.5f * kPi, 0.4f},            // below 2 and not 1: the pulse
        {2, 40, 3.0f, 0.4f * Flicker(3.0f)},   // the flicker
        {7, 40, 3.0f, 0.4f * Flicker(3.0f)},   // 7 flickers as 2 does
        {7, 40, 11.7f, 0.4f * Flicker(11.7f)},
        {0, 0, 2.5f * kPi, 0.0f},              // amplitude 0: nothing in any mode
        {1, 0, 0.05f, 0.0f},
        {2, 0, 3.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " amplitude " << c.amplitude << " clock " << c.clock);
        DS_LightFX light;
        light.mode.Assign(c.mode);
        light.amplitude.SetValue(c.amplitude);
        light.CreateDeviceObjects(nullptr);
        light.speed.time = c.clock;
        const DrawValues at = DrawRecorded(light);
        ASSERT_TRUE(at.drawn);
        EXPECT_TRUE(Near(Floats(at, "multiplier"), {c.multiplier}, 1e-5f));
        EXPECT_TRUE(Near(Floats(at, "Scale"), {1.0f, 1.0f}));
    }
    // The flicker really varies: not the same value a noise cell later.
    EXPECT_NE(Flicker(3.0f), Flicker(3.0f + 7.5f));
}

// The clock runs 40 units a second, so the pulse (period 2 pi / 8 s) is at
// its top a quarter period after the start: 2 pi / 32 s.
TEST(LightClock, ThePulsePeaksAQuarterPeriodIn) {
    DS_LightFX light;
    light.FrameMove(0.0f);
    for (int i = 1; i <= 10; ++i) light.FrameMove(2.0f * kPi / 32.0f * static_cast<float>(i) / 10.0f);
    EXPECT_NEAR(light.speed.time, 2.5f * kPi, 1e-3f);
    EXPECT_NEAR(light.MultiplierAt(light.speed.time), 0.4f, 1e-4f);
}

TEST_F(LightOnDevice, BrightensInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "light.fx");
    DS_LightFX light;
    IDirect3DTexture9* m = LeftHalfMask();
    light.CreateDeviceObjects(&m);
    light.speed.time = 2.5f * kPi;  // multiplier 0.4
    ExpectChangesInsideTheMaskOnly(light, 0.95, "LightFX");
    // Inside, 40 % brighter.
    auto brighter = [](D3DCOLOR c) {
        auto ch = [&](int shift) { return std::min(255u, static_cast<UINT>(((c >> shift) & 0xFF) * 1.4f + 0.5f)) << shift; };
        return 0xff000000u | ch(16) | ch(8) | ch(0);
    };
    for (UINT y = 2; y < 62; y += 3)
        for (UINT x = 2; x < 28; x += 3) ASSERT_TRUE(Probe(drawn, x, y, brighter(plain.at(x, y)), 3));
    // At multiplier 0 the picture is left as it is.
    light.speed.time = 7.5f * kPi;
    const Image dark = Draw(&light);
    for (UINT y = 0; y < 64; ++y)
        for (UINT x = 0; x < 64; ++x) ASSERT_TRUE(Probe(dark, x, y, plain.at(x, y), 1));
    ClearTextures(light.effect.Get(), {"Mask", "Background"});
}

}  // namespace
