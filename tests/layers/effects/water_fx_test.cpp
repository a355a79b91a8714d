// The water effect: its record, the direction following the angle, the
// values it hands its effect at draw time (in the order it sets them), the
// turning bump transform, and the water it draws inside the mask.
#include "layers/effects/water_fx.h"

#include <cmath>

#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 90;
constexpr int kBump = 89;
constexpr float kPi = 3.14159265f;

struct WaterFields {
    UINT p = 30, bump = 40, d2 = 60, d1 = 0, angle = 90, shadows = 50, vhalfZ = 20;
    INT color = 0x00C08040;
    std::u16string bumpPath = u"C:\\water\\ripples.tga";
    INT64 bumpStamp = 99;
};

std::vector<BYTE> WaterRecord(const WaterFields& f) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_WaterFX", 1);
        for (UINT v : {f.p, f.bump, f.d2, f.d1, f.angle, f.shadows, f.vhalfZ}) w.WriteUInt(v);
        w.WriteInt(f.color);
        w.WriteString(f.bumpPath);
        w.WriteInt64(f.bumpStamp);
        WriteFxBase(w, {50, 0, kEffect, 30});
    });
}

TEST(WaterRecord, ReadsEveryFieldWritesTheSameBytesAndEveryPrefixFails) {
    DS_WaterFX made;
    EXPECT_FLOAT_EQ(made.scale.Converted(), 0.6f);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 1.0f);
    EXPECT_EQ(made.angle.value, 40u);
    EXPECT_EQ(made.color.value, 0x00FFFFFFu);
    EXPECT_EQ(made.bumpLink.key, ModuleKey(kBump));
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));

    const WaterFields f;
    const std::vector<BYTE> bytes = WaterRecord(f);
    size_t left = 1;
    auto water = ReadRegistered<DS_WaterFX>(bytes, &left);
    ASSERT_TRUE(water);
    EXPECT_EQ(left, 0u);
    EXPECT_FLOAT_EQ(water->pFactor.Converted(), 0.003f);
    EXPECT_FLOAT_EQ(water->bumpScale.Converted(), 0.04f);
    EXPECT_FLOAT_EQ(water->direction2Scale.Converted(), 0.015f);
    EXPECT_FLOAT_EQ(water->direction1Divisor.Converted(), 0.001f);
    EXPECT_EQ(water->angle.value, 90u);
    EXPECT_FLOAT_EQ(water->shadows.Converted(), 0.5f);
    EXPECT_FLOAT_EQ(water->vhalfZ.Converted(), 2.0f);
    EXPECT_EQ(water->color.value, 0x00C08040u);
    EXPECT_EQ(water->bumpLink.key, (DS_LinkKey{f.bumpPath, 99}));
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { water->Write(w); }), bytes);
    // The reader stores the angle without telling the binding; the copy
    // works its direction out itself.
    EXPECT_NEAR(water->direction.x, std::cos(40.0f * kPi / 180.0f), 1e-6f);
    std::unique_ptr<DS_FX_Constructor> clone(water->Clone());
    auto* copy = dynamic_cast<DS_WaterFX*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NEAR(copy->direction.x, 0.0f, 1e-6f);
    EXPECT_NEAR(copy->direction.y, 1.0f, 1e-6f);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { copy->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);
}

TEST(WaterDirection, FollowsTheAngle) {
    DS_WaterFX water;
    struct Case {
        UINT angle;
        float x, y;
    } cases[] = {{0, 1, 0}, {90, 0, 1}, {180, -1, 0}, {450, 0, 1}};
    for (const Case& c : cases) {
        water.angle.SetValue(c.angle);
        EXPECT_NEAR(water.direction.x, c.x, 1e-6f) << c.angle;
        EXPECT_NEAR(water.direction.y, c.y, 1e-6f) << c.angle;
    }
}

// The factor's raw 0 and raw 10000 or more would make the middle term of
// "P2" infinite or not a number; the effect gets a finite value instead.
TEST(WaterValues, NoFactorGivesAnInfiniteOrUndefinedTerm) {
    for (UINT raw : {0u, 1u, 9999u, 10000u, 25000u, 4000000000u}) {
        DS_WaterFX water;
        water.pFactor.SetValue(raw);
        const DS_WaterFX::Values v = water.ComputeValues();
        for (float x : v.p1) EXPECT_TRUE(std::isfinite(x)) << raw;
        for (float x : v.p2) EXPECT_TRUE(std::isfinite(x)) << raw;
        EXPECT_GT(v.p2[1], 1.0f) << raw;
    }
}

TEST(WaterFrameMove, TheBumpTransformTurns) {
    DS_WaterFX water;
    water.FrameMove(0.0f);
    EXPECT_TRUE(Near(std::vector<float>(water.bumpTransform, water.bumpTransform + 4), {0.02f, 0, 0, 0.02f}, 1e-7f));
    // Clock pi / 9: a = pi / 2.
    water.speed.time = kPi / 9.0f;
    water.speed.lastTime = 1.0f;
    water.FrameMove(1.0f);
    EXPECT_TRUE(Near(std::vector<float>(water.bumpTransform, water.bumpTransform + 4), {0, -0.02f, 0.02f, 0}, 1e-7f));
}

class WaterOnDevice : public EffectClassTest {
protected:
    void SetUp() override {
        EffectClassTest::SetUp();
        // Ripples: red and green carry the slope.
        bump = AddPicture(kBump, 32, 32, [](UINT x, UINT y) {
            const UINT r = static_cast<UINT>(127.5f + 127.0f * std::sin(x * 0.7f + y * 0.3f));
            const UINT g = static_cast<UINT>(127.5f + 127.0f * std::cos(y * 0.9f - x * 0.2f));
            return 0xff000000u | (r << 16) | (g << 8);
        });
    }
    IDirect3DTexture9* bump = nullptr;
};

TEST_F(WaterOnDevice, TheValuesAtDrawTimeInTheirOrder) {
    MakeLayer(800, 600);
    AddDemoEffect(kEffect, "water.fx");
    DS_WaterFX water;
    water.CreateDeviceObjects(nullptr);
    EXPECT_EQ(water.bumpTexture.Get(), bump);
    water.FrameMove(0.0f);
    water.speed.time = 0.0f;
    const DrawValues at = DrawRecorded(water);
    ASSERT_TRUE(at.drawn);
    EXPECT_TRUE(Near(Floats(at, "P1"), {-0.998f, -1.0f, -0.998f}, 1e-6f));
    EXPECT_TRUE(Near(Floats(at, "P2"), {1.0f, 1.03267f, 1.0f}, 1e-5f));
    EXPECT_TRUE(Near(Floats(at, "Direction1"), {-34.8202f, -29.2176f}, 1e-3f));
    EXPECT_TRUE(Near(Floats(at, "Direction2"), {-0.0019151f, -0.0016070f}, 1e-7f));
    EXPECT_TRUE(Near(Floats(at, "Vhalf"), {0.447214f, 0.894427f, 0.0f}, 1e-6f));
    EXPECT_TRUE(Near(Floats(at, "Shadows"), {0.0f}));
    EXPECT_TRUE(Near(Floats(at, "Color"), {1, 1, 1}));
    EXPECT_TRUE(Near(Floats(at, "BampTrans"), {0.02f, 0, 0, 0.02f}, 1e-7f));
    EXPECT_TRUE(Near(Floats(at, "Time"), {0.0f}));
    EXPECT_TRUE(Near(Floats(at, "Scale"), {800.0f / 600.0f / 0.6f, 1.0f / 0.6f}, 1e-5f));
    EXPECT_EQ(at.textures.at("BumpMap"), bump);

    // The order of the calls, the common step's last.
    std::vector<std::string> names;
    for (const auto& call : log)
        if (call.kind != tessaloom::d3dx9::EffectCall::Kind::Begin && call.kind != tessaloom::d3dx9::EffectCall::Kind::End)
            names.push_back(call.name);
    names.resize(std::min<size_t>(names.size(), 14));
    EXPECT_EQ(names, (std::vector<std::string>{"BumpMap", "BampTrans", "P1", "P2", "Time", "Direction1", "Direction2",
                                               "Shadows", "Vhalf", "Color", "Main", "Scale", "Mask", "Background"}));

    // "Time" is twice the clock; the tint is the colour's (R, G, B).
    water.speed.time = 1.75f;
    water.color.Assign(0x00336699u);
    const DrawValues later = DrawRecorded(water);
    EXPECT_TRUE(Near(Floats(later, "Time"), {3.5f}));
    EXPECT_TRUE(Near(Floats(later, "Color"), {0x99 / 255.0f, 0x66 / 255.0f, 0x33 / 255.0f}, 1e-6f));
    ClearTextures(water.effect.Get(), {"BumpMap", "Mask", "Background"});
}

TEST_F(WaterOnDevice, DrawsWaterInsideTheMaskOnlyAndItMoves) {
    MakeLayer();
    AddDemoEffect(kEffect, "water.fx");
    DS_WaterFX water;
    IDirect3DTexture9* m = LeftHalfMask();
    water.CreateDeviceObjects(&m);
    water.FrameMove(0.0f);
    ExpectChangesInsideTheMaskOnly(water, 0.5, "WaterFX");
    const Image first = Draw(&water);
    for (int i = 1; i <= 5; ++i) water.FrameMove(0.1f * static_cast<float>(i));
    EXPECT_NE(Draw(&water).pixels, first.pixels) << "the water stands still";
    ClearTextures(water.effect.Get(), {"BumpMap", "Mask", "Background"});
}

}  // namespace
