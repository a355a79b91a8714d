// The underwater effect: read and written as the underwater layer does (it
// is in no registry), the values it hands its effect at draw time, and the
// wobble it draws.
#include "layers/effects/underwater_fx.h"

#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 88;

std::vector<BYTE> UnderwaterRecord(UINT amplitude, UINT period) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_UnderwaterFX", 1);
        w.WriteUInt(amplitude);
        w.WriteUInt(period);
        WriteFxBase(w, {25, 0, kEffect});
    });
}

std::unique_ptr<DS_UnderwaterFX> ReadWhole(const std::vector<BYTE>& bytes, size_t n, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), n);
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_UnderwaterFX> fx(DS_UnderwaterFX::ReadNew(reader));
    if (left) *left = buffer.Remaining();
    return fx;
}

TEST(UnderwaterRecord, ReadNewReadsTheWholeRecordAndEveryPrefixFails) {
    EXPECT_EQ(GetConstructorReaderRegistry().count(u"DS_UnderwaterFX"), 0u) << "embedded only";
    DS_UnderwaterFX made;
    EXPECT_FLOAT_EQ(made.amplitude.Converted(), 0.00625f);
    EXPECT_FLOAT_EQ(made.period.Converted(), 0.101f);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 25.0f);
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));

    const std::vector<BYTE> bytes = UnderwaterRecord(100, 0);
    size_t left = 1;
    auto fx = ReadWhole(bytes, bytes.size(), &left);
    EXPECT_EQ(left, 0u);
    // The reader notifies the converters: the values read count at once.
    EXPECT_FLOAT_EQ(fx->amplitude.Converted(), 0.0125f);
    EXPECT_FLOAT_EQ(fx->period.Converted(), 0.001f);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { fx->Write(w); }), bytes);
    std::unique_ptr<DS_FX_Constructor> clone(fx->Clone());
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { clone->Write(w); }), bytes);
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_THROW(ReadWhole(bytes, n), DS_LoadError) << n;
}

class UnderwaterOnDevice : public EffectClassTest {};

TEST_F(UnderwaterOnDevice, TheValuesAtDrawTime) {
    MakeLayer(800, 600);
    AddDemoEffect(kEffect, "underwater.fx");
    struct Case {
        UINT period;
        float clock;
        std::vector<float> frequency;
    } cases[] = {
        {50, 0.0f, {13.2013f, 9.90099f}},  // d = 1 / 0.101 on a 4 : 3 picture
        {50, 25.0f, {13.2013f, 9.90099f}},
        {0, 3.0f, {1333.33f, 1000.0f}},    // period raw 0: p = 0.001
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        DS_UnderwaterFX fx;
        fx.period.SetValue(c.period);
        fx.CreateDeviceObjects(nullptr);
        fx.speed.time = c.clock;
        const DrawValues at = DrawRecorded(fx);
        ASSERT_TRUE(at.drawn);
        EXPECT_EQ(at.technique, "Main");
        EXPECT_TRUE(Near(Floats(at, "frequency"), c.frequency, 2e-2f));
        EXPECT_TRUE(Near(Floats(at, "amplitude"), {0.00625f}, 1e-8f));
        EXPECT_TRUE(Near(Floats(at, "time"), {0.08f * c.clock}, 1e-6f));
    }
    // A picture without height counts as square.
    DS_UnderwaterFX fx;
    float f[2];
    fx.FrequencyFor(800, 0, f);
    EXPECT_FLOAT_EQ(f[0], f[1]);
}

TEST_F(UnderwaterOnDevice, WobblesThePictureInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "underwater.fx");
    DS_UnderwaterFX fx;
    IDirect3DTexture9* m = LeftHalfMask();
    fx.CreateDeviceObjects(&m);
    fx.speed.time = 5.0f;
    ExpectChangesInsideTheMaskOnly(fx, 0.5, "UnderwaterFX");
    ClearTextures(fx.effect.Get(), {"Mask", "Background"});
}

}  // namespace
