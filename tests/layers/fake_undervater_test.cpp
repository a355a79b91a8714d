// The underwater layer: its record in both versions (the old speed value
// halved; the embedded effect's whole record assigned), and, on a real
// device, the slide captured every frame and drawn back through the wobble,
// so the picture moves from one frame to the next.
#include <gtest/gtest.h>

#include "document/load_error.h"
#include "layers/fake_undervater.h"
#include "scene/slide.h"
#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 88;

void WriteLayerBase(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    w.WriteString(u"C:\\pictures\\reef.tga");
    w.WriteInt64(9);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(1);
    w.WriteUInt(130);
    w.WriteUInt(20);
}

std::vector<BYTE> Version1(UINT speed) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"FakeUndervater", 1);
        w.WriteUInt(speed);
        WriteLayerBase(w);
    });
}

std::vector<BYTE> Version2(UINT amplitude, UINT period) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"FakeUndervater", 2);
        WriteRecordHeader(w, u"DS_UnderwaterFX", 1);
        w.WriteUInt(amplitude);
        w.WriteUInt(period);
        WriteFxBase(w, {40, 0, kEffect});
        WriteLayerBase(w);
    });
}

std::unique_ptr<FakeUndervater> ReadLayer(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    return ReadLayerAs<FakeUndervater>(bytes, left);
}

// Version 1: the one value is the effect's speed, halved and rounded down
// (50 and 51 both give 25); everything else keeps the effect's defaults.
TEST(UndervaterRecord, Version1HalvesTheSpeed) {
    for (UINT speed : {50u, 51u, 0u, 1u}) {
        SCOPED_TRACE(speed);
        size_t left = 1;
        auto layer = ReadLayer(Version1(speed), &left);
        ASSERT_TRUE(layer);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(layer->effect.speed.value, speed / 2);
        EXPECT_FLOAT_EQ(layer->effect.speed.Converted(), static_cast<float>(speed / 2));
        EXPECT_FLOAT_EQ(layer->effect.amplitude.Converted(), 0.00625f);
        EXPECT_FLOAT_EQ(layer->effect.period.Converted(), 0.101f);
        EXPECT_EQ(layer->effect.effectLink.key, ModuleKey(kEffect));
        EXPECT_EQ(layer->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\reef.tga", 9}));
        EXPECT_EQ(layer->camera.zoom.value, 130u);
    }
}

// Version 2: the embedded record replaces amplitude and period with their
// factors and offsets, and the converted values follow at once; written back
// it is the same bytes, and a version-1 layer writes a version-2 record.
TEST(UndervaterRecord, Version2AssignsTheEmbeddedEffect) {
    const std::vector<BYTE> bytes = Version2(80, 10);
    size_t left = 1;
    auto layer = ReadLayer(bytes, &left);
    ASSERT_TRUE(layer);
    EXPECT_EQ(left, 0u);
    EXPECT_FLOAT_EQ(layer->effect.amplitude.Converted(), 0.01f);
    EXPECT_FLOAT_EQ(layer->effect.amplitude.GetFactor(), 0.000125f);
    EXPECT_FLOAT_EQ(layer->effect.period.Converted(), 0.021f);
    EXPECT_FLOAT_EQ(layer->effect.period.GetOffset(), 0.001f);
    EXPECT_FLOAT_EQ(layer->effect.speed.Converted(), 40.0f);
    EXPECT_EQ(layer->effect.maskName, u"painted mask");
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { layer->Write(w); }), bytes);

    auto old = ReadLayer(Version1(60));
    ASSERT_TRUE(old);
    const std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { old->Write(w); });
    auto again = ReadLayer(written, &left);
    ASSERT_TRUE(again);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(again->effect.speed.value, 30u);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { again->Write(w); }), written);
}

TEST(UndervaterRecord, EveryTruncatedRecordFails) {
    for (const std::vector<BYTE>& bytes : {Version1(50), Version2(80, 10)}) {
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer buffer(bytes.data(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << n << " of " << bytes.size();
        }
    }
}

class UndervaterOnDevice : public LayerSlideFixture {
protected:
    void TearDown() override {
        if (slide) {
            if (auto* layer = dynamic_cast<FakeUndervater*>(slide->mainLayer.Get()); layer && layer->effect.effect.Get()) {
                layer->effect.effect.Get()->SetTexture("Background", nullptr);
                layer->effect.effect.Get()->SetTexture("Mask", nullptr);
            }
        }
        LayerSlideFixture::TearDown();
    }
    FakeUndervater& MakeSlide() {
        // Vertical stripes the wobble can move.
        AddPicture(5, 64, 64, [](UINT x, UINT) { return (x / 4) % 2 ? 0xff20a0c0u : 0xff102040u; });
        return ShowLayer(new FakeUndervater);
    }
};

// A slide with this layer and no objects captures every frame; the layer
// ends the capture and draws it back through the wobble, so the picture
// moves from one frame to the next while staying the picture's colours.
TEST_F(UndervaterOnDevice, TheWobbleMovesThePictureBetweenFrames) {
    AddDemoEffect(kEffect, "underwater.fx");
    FakeUndervater& layer = MakeSlide();
    ASSERT_NE(layer.effect.effect.Get(), nullptr);
    EXPECT_EQ(slide->CaptureCount(), 1);
    layer.effect.amplitude.SetValue(400);  // 0.05 of the picture
    const Image a = Frame(0.1);
    EXPECT_FALSE(layer.renderTargets.Capturing()) << "the capture has been ended";
    const Image b = Frame(0.3);
    a.WritePngIfAsked("UndervaterOnDevice_A");
    b.WritePngIfAsked("UndervaterOnDevice_B");
    int moved = 0, picture = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        moved += a.pixels[i] != b.pixels[i];
        picture += Probe(a, static_cast<UINT>(i % 64), static_cast<UINT>(i / 64), 0xff20a0c0u, 40) ||
                   Probe(a, static_cast<UINT>(i % 64), static_cast<UINT>(i / 64), 0xff102040u, 40);
    }
    EXPECT_GT(moved, 64 * 4) << "the picture wobbles";
    EXPECT_GT(picture, 64 * 48) << "and it is still the picture";
    EXPECT_EQ(layer.GetSceneTexture()[0], layer.renderTargets.current.Get()) << "the captured slide went to the effect";
}

// Without the effect the capture still ends and the captured slide is drawn
// back plainly where the picture goes: whatever the back buffer held before
// (magenta here) shows nowhere.  Under Fit a 64 x 32 picture sits in rows
// 16..48 between black bars.
TEST_F(UndervaterOnDevice, WithoutItsEffectTheSlideIsDrawnPlainly) {
    struct Case {
        int position;
        UINT pictureHeight, top, bottom;
    } cases[] = {{DS_POS_STRETCH, 64, 0, 64}, {DS_POS_FIT, 32, 16, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        // Stripes 8 wide: the capture and the draw back each filter by up to half a pixel.
        AddPicture(5, 64, c.pictureHeight, [](UINT x, UINT) { return (x / 8) % 2 ? 0xff20a0c0u : 0xff102040u; });
        FakeUndervater& layer = ShowLayer(new FakeUndervater);
        ASSERT_EQ(layer.effect.effect.Get(), nullptr);
        layer.camera.enabled.value = 0;
        slide->SetPicturePosition(c.position);
        harness.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffff00ffu, 1.0f, 0);
        const Image image = Frame(0.1);
        image.WritePngIfAsked("Undervater_WithoutEffect_" + std::to_string(c.position));
        EXPECT_FALSE(layer.renderTargets.Capturing());
        for (UINT y = 0; y < 64; ++y) {
            for (UINT x = 0; x < 64; ++x) {
                const bool picture = y >= c.top + 1 && y + 1 < c.bottom;
                if (picture && x % 8 >= 2 && x % 8 <= 5) {
                    ASSERT_TRUE(Probe(image, x, y, (x / 8) % 2 ? 0xff20a0c0u : 0xff102040u, 4));
                } else if (y < c.top || y >= c.bottom) {
                    ASSERT_TRUE(Probe(image, x, y, 0xff000000u, 2)) << "bar";
                }
            }
        }
        slide.reset();
    }
}

}  // namespace
