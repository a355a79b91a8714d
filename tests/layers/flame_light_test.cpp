// The flame layer: its record in every version, the fire quad and the
// distortion quad it places, the distortion's clock and parameters, and, on a
// real device, fire over the picture, the heat distortion moving the
// picture's pixels from frame to frame, a fire object on the same slide
// re-colouring the layer's fire (they share one effect), and the flame
// drawing again after a device loss and reset.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "document/load_error.h"
#include "layers/flame_light.h"
#include "platform/d3d9/d3d9_testing.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::d3dx9::EffectCall;
using tessaloom::d3dx9::RecordEffectCalls;
using tessaloom::testing::CallsTo;
using tessaloom::testing::Image;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::RecordBytes;
using tessaloom::testing::ValuesAtDraw;

constexpr int kFireEffect = 92, kDistortEffect = 63;

void WriteLink(DS_IOF_W& w, const std::u16string& path, INT64 stamp) {
    w.WriteString(path);
    w.WriteInt64(stamp);
}

void WriteLayerBase(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    WriteLink(w, u"C:\\pictures\\hearth.tga", 77);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(1);
    w.WriteUInt(120);
    w.WriteUInt(30);
}

// A version-2 "DS_FireFX" record with a blue first colour and its base record.
void WriteEmbeddedFire(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_FireFX", 2);
    for (int i = 0; i < 12; ++i) w.WriteFloat(static_cast<float>(i));
    w.WriteInt(0x00FF0000);
    w.WriteInt(0x000000FF);
    w.WriteLong(0);
    WriteLink(w, u"common_res.dll", 7);
    WriteLink(w, u"common_res.dll", 8);
    w.WriteLong(0);
    w.WriteUInt(120);
    w.WriteUInt(15);
    w.WriteUInt(100);
    WriteRecordHeader(w, u"DS_FX_Constructor", 2);
    w.WriteUInt(75);
    w.WriteLong(0);
    w.WriteString(u"{7F1A3E00-4D2C-4B1E-9A51-466C616D6500}");
    w.WriteString(u"");
    w.WriteBool(true);
    WriteLink(w, u"common_res.dll", kFireEffect);
    w.WriteUInt(50);
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(u"");
}

void WriteFlame(DS_IOF_W& w, INT version) {
    WriteRecordHeader(w, u"DS_FlameLight", version);
    w.WriteLong(0);    // fire flag
    w.WriteLong(1);    // distortion flag
    w.WriteUInt(20);   // fire offset
    if (version < 2) w.WriteUInt(150);  // the fire's speed
    WriteLink(w, u"C:\\fx\\bump.tga", 5);
    WriteLink(w, u"common_res.dll", kDistortEffect);
    w.WriteUInt(100);  // distortion speed
    w.WriteUInt(40);   // strength
    w.WriteUInt(10);   // bump scale
    if (version >= 2) {
        WriteEmbeddedFire(w);
    } else {
        WriteLink(w, u"C:\\fx\\old1.tga", 1);
        WriteLink(w, u"C:\\fx\\old2.tga", 2);
    }
    WriteLayerBase(w);
}

std::unique_ptr<DS_FlameLight> ReadFlame(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    return tessaloom::testing::ReadLayerAs<DS_FlameLight>(bytes, left);
}

TEST(FlameRecord, Defaults) {
    DS_FlameLight flame;
    EXPECT_EQ(flame.fireFlag.value, 1);
    EXPECT_EQ(flame.distortionFlag.value, 1);
    EXPECT_EQ(flame.fireOffset.value, 0u);
    EXPECT_EQ(flame.fire.patternLink.key, ModuleKey(7));
    EXPECT_EQ(flame.fire.noiseLink.key, ModuleKey(8));
    EXPECT_EQ(flame.fire.effectLink.key, ModuleKey(kFireEffect));
    EXPECT_EQ(flame.distortion.bumpImage.key, ModuleKey(62));
    EXPECT_EQ(flame.distortion.effectLink.key, ModuleKey(kDistortEffect));
    EXPECT_FLOAT_EQ(flame.distortion.speed.Converted(), 0.05f);
    EXPECT_FLOAT_EQ(flame.distortion.strength.Converted(), 0.05f);
    EXPECT_FLOAT_EQ(flame.distortion.bumpScale.Converted(), 0.208f);
    EXPECT_FLOAT_EQ(flame.distortion.aspect, 1.0f);
    EXPECT_TRUE(flame.NeedsSceneTexture());
}

// Version 2 carries the fire's whole record; versions 0 and 1 the fire's
// speed among the layer's fields and two links that are dropped, the fire
// keeping its own defaults.  Every version is written back as version 2.
TEST(FlameRecord, EveryVersionReads) {
    for (INT version : {0, 1, 2}) {
        SCOPED_TRACE(version);
        size_t left = 1;
        auto flame = ReadFlame(RecordBytes([&](DS_IOF_W& w) { WriteFlame(w, version); }), &left);
        ASSERT_TRUE(flame);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(flame->fireFlag.value, 0);
        EXPECT_EQ(flame->distortionFlag.value, 1);
        EXPECT_EQ(flame->fireOffset.value, 20u);
        EXPECT_EQ(flame->distortion.bumpImage.key, (DS_LinkKey{u"C:\\fx\\bump.tga", 5}));
        EXPECT_FLOAT_EQ(flame->distortion.speed.Converted(), 0.1f);
        EXPECT_FLOAT_EQ(flame->distortion.strength.Converted(), 0.08f);
        EXPECT_FLOAT_EQ(flame->distortion.bumpScale.Converted(), 0.91f);
        EXPECT_EQ(flame->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\hearth.tga", 77}));
        EXPECT_EQ(flame->camera.zoom.value, 120u);
        EXPECT_EQ(flame->fire.patternLink.key, ModuleKey(7));
        EXPECT_EQ(flame->fire.noiseLink.key, ModuleKey(8));
        if (version >= 2) {
            EXPECT_EQ(flame->fire.color1.value, 0x00FF0000u);
            EXPECT_NEAR(flame->fire.density.Converted(), 0.2f, 1e-6f);
            EXPECT_FLOAT_EQ(flame->fire.speed.Converted(), 1.5f);  // 75 x 0.02
            EXPECT_EQ(flame->fire.quad.corners[3].value.z, 11.0f);
        } else {
            EXPECT_EQ(flame->fire.color1.value, 0x0000FFFFu) << "the fire keeps its defaults";
            EXPECT_FLOAT_EQ(flame->fire.density.Converted(), 0.0f);
            EXPECT_FLOAT_EQ(flame->fire.speed.Converted(), 3.0f) << "the extra value is the fire's speed";
        }
        // Written back: a version-2 record that reads to the same values.
        const std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { flame->Write(w); });
        auto again = ReadFlame(written, &left);
        ASSERT_TRUE(again);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { again->Write(w); }), written);
        EXPECT_EQ(again->fire.color1.value, flame->fire.color1.value);
        EXPECT_FLOAT_EQ(again->fire.speed.Converted(), flame->fire.speed.Converted());
        EXPECT_EQ(again->fireOffset.value, 20u);
    }
    // The version-2 bytes are exactly what the layer writes.
    const std::vector<BYTE> v2 = RecordBytes([&](DS_IOF_W& w) { WriteFlame(w, 2); });
    auto flame = ReadFlame(v2);
    ASSERT_TRUE(flame);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { flame->Write(w); }), v2);
}

TEST(FlameRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteFlame(w, version); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer buffer(bytes.data(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << version << ": " << n << " bytes";
        }
    }
}

constexpr D3DCOLOR kDark = 0xff201008u;
constexpr D3DCOLOR kLight = 0xffc0c0c0u;

// A mix of the two stripe colours: dark + t (light - dark) in every channel
// for one t in 0..1, within a few steps of rounding.
bool BetweenTheStripes(D3DCOLOR c) {
    auto channel = [](D3DCOLOR v, int shift) { return static_cast<int>((v >> shift) & 0xFFu); };
    const float t = static_cast<float>(channel(c, 8) - channel(kDark, 8)) /
                    static_cast<float>(channel(kLight, 8) - channel(kDark, 8));  // green spans the most
    if (t < -0.02f || t > 1.02f) return false;
    for (int shift : {0, 8, 16}) {
        const float expected = static_cast<float>(channel(kDark, shift)) +
                               t * static_cast<float>(channel(kLight, shift) - channel(kDark, shift));
        if (std::abs(static_cast<float>(channel(c, shift)) - expected) > 4.0f) return false;
    }
    return true;
}

class FlameOnDevice : public tessaloom::testing::LayerSlideFixture {
protected:
    void SetUp() override {
        LayerSlideFixture::SetUp();
        // The picture: 64 x 64, dark with vertical stripes the distortion can move.
        AddPicture(5, 64, 64, [](UINT x, UINT) { return (x / 4) % 2 ? kLight : kDark; });
        // Full heat wherever the pattern is white: the lower half of the quad.
        AddPicture(7, 16, 16, [](UINT, UINT y) { return y >= 8 ? 0xffffffffu : 0xff000000u; });
        AddPicture(8, 16, 16, [](UINT, UINT) { return 0xff808080u; });
        AddPicture(62, 16, 16, [](UINT x, UINT y) { return 0xff000000u | ((x * 16) << 16) | ((y * 16) << 8); });
        AddPicture(93, 16, 16, [](UINT, UINT) { return 0xffffffffu; });
    }
    // A slide with the flame layer (and its descriptions), ready to draw.
    DS_FlameLight& MakeSlide(std::vector<DS_ABObj_Constructor*> descriptions = {}) {
        slide = std::make_unique<DS_SlideContainer>();
        auto* flame = new DS_FlameLight;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(flame);
        slide->prototypes.assign(descriptions.begin(), descriptions.end());
        slide->Init();
        slide->RestoreDeviceObjects();
        slide->SetPicturePosition(DS_POS_STRETCH);
        slide->Resize(64, 64);
        return *flame;
    }
    static void ClearTextures(ID3DXEffect* e, std::initializer_list<const char*> names) {
        if (!e) return;
        for (const char* n : names) e->SetTexture(n, nullptr);
    }
    void ClearFlame(DS_FlameLight& flame) {
        ClearTextures(flame.fire.effect.Get(), {"Noise", "Pattern", "Mask", "Background"});
        ClearTextures(flame.distortion.effect.Get(), {"SceneTex", "Bumpmap"});
    }
};

// The fire quad stands on the picture's bottom edge and reaches 0.65 of its
// height up; each unit of offset lowers it 0.5 %.  The distortion quad covers
// the picture.
TEST_F(FlameOnDevice, TheQuadsFollowThePicture) {
    DS_FlameLight& flame = MakeSlide();
    struct Case {
        UINT offset;
        float top, bottom;
    } cases[] = {{0, 0.35f * 64, 64}, {100, 0.85f * 64, 1.5f * 64}};
    for (const Case& c : cases) {
        flame.fireOffset.value = c.offset;
        flame.ReloadPicture();
        DX_V::PT* v = flame.fireQuad.Lock(D3DLOCK_READONLY);
        ASSERT_NE(v, nullptr);
        const float expected[4][4] = {{0, c.top, 0, 0}, {64, c.top, 1, 0}, {0, c.bottom, 0, 0.95f}, {64, c.bottom, 1, 0.95f}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << c.offset << " " << i;
            EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << c.offset << " " << i;
            EXPECT_FLOAT_EQ(v[i].u, expected[i][2]) << c.offset << " " << i;
            EXPECT_FLOAT_EQ(v[i].v, expected[i][3]) << c.offset << " " << i;
        }
        flame.fireQuad.Unlock();
    }
    DX_V::PT* d = flame.distortion.Lock(D3DLOCK_READONLY);
    ASSERT_NE(d, nullptr);
    const float expected[4][4] = {{0, 64, 0, 1}, {0, 0, 0, 0}, {64, 64, 1, 1}, {64, 0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(d[i].x, expected[i][0]);
        EXPECT_FLOAT_EQ(d[i].y, expected[i][1]);
        EXPECT_FLOAT_EQ(d[i].u, expected[i][2]);
        EXPECT_FLOAT_EQ(d[i].v, expected[i][3]);
    }
    flame.distortion.Unlock();
    flame.distortion.SetSize(0.0f, 10.0f);
    EXPECT_FLOAT_EQ(flame.distortion.aspect, 1.0f) << "a picture without width divides by nothing";
    flame.distortion.SetSize(200.0f, 100.0f);
    EXPECT_FLOAT_EQ(flame.distortion.aspect, 0.5f);
}

// Without the distortion effect the flag drops to 0 and the layer never
// asks for a capture; without the fire effect no fire is drawn.
TEST_F(FlameOnDevice, MissingEffects) {
    DS_FlameLight& flame = MakeSlide();
    EXPECT_EQ(flame.distortion.effect.Get(), nullptr);
    EXPECT_EQ(flame.distortionFlag.value, 0);
    EXPECT_FALSE(flame.NeedsSceneTexture());
    EXPECT_EQ(slide->CaptureCount(), 0);
    const Image image = Frame(0.1f);
    // The picture alone: stripes everywhere, the fire's rows too.
    EXPECT_TRUE(tessaloom::testing::Probe(image, 1, 60, kDark, 2));
    EXPECT_TRUE(tessaloom::testing::Probe(image, 5, 60, 0xffc0c0c0u, 2));
    flame.distortion.FrameMove(1.0f);
    EXPECT_FLOAT_EQ(flame.distortion.speed.time, 0.0f) << "no effect: the clock stays";
}

// The distortion clock: 20 s of frames of at most 0.2 s advance it by 1.0;
// a longer step counts as 0.2 s.  Its parameters are set every frame.
TEST_F(FlameOnDevice, TheDistortionClockAndParameters) {
    AddDemoEffect(kDistortEffect, "heat_distortion.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_NE(flame.distortion.effect.Get(), nullptr);
    flame.distortion.SetSize(800.0f, 600.0f);
    std::vector<EffectCall> log;
    ASSERT_TRUE(RecordEffectCalls(flame.distortion.effect.Get(), &log));
    for (int i = 1; i <= 100; ++i) flame.FrameMove(0.2f * static_cast<float>(i));
    EXPECT_NEAR(flame.distortion.speed.time, 1.0f, 1e-5f);
    flame.FrameMove(0.2f * 100 + 5.0f);
    EXPECT_NEAR(flame.distortion.speed.time, 1.01f, 1e-5f);
    RecordEffectCalls(flame.distortion.effect.Get(), nullptr);
    const float clock = flame.distortion.speed.time;
    const auto at = ValuesAtDraw(log);  // no draw: the last values set
    EXPECT_FLOAT_EQ(at.floats.at("stenght")[0], 0.0025f);
    EXPECT_EQ(at.floats.at("Offset"), (std::vector<float>{clock, -clock}));
    ASSERT_EQ(at.floats.at("bump_scale").size(), 2u);
    EXPECT_FLOAT_EQ(at.floats.at("bump_scale")[0], 0.208f);
    EXPECT_FLOAT_EQ(at.floats.at("bump_scale")[1], 0.208f * 0.75f);
    for (const EffectCall& call : log) EXPECT_EQ(call.result, D3D_OK) << call.name;
    ClearFlame(flame);
}

// The fire: drawn with "AsEffect" on the layer's quad, over the lower part of
// the picture only; fire flag 0 draws none.
TEST_F(FlameOnDevice, TheFireDrawsOverTheLowerPicture) {
    AddDemoEffect(kFireEffect, "fire.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_NE(flame.fire.effect.Get(), nullptr);
    std::vector<EffectCall> log;
    ASSERT_TRUE(RecordEffectCalls(flame.fire.effect.Get(), &log));
    const Image withFire = Frame(0.1f);
    RecordEffectCalls(flame.fire.effect.Get(), nullptr);
    const auto at = ValuesAtDraw(log);
    ASSERT_TRUE(at.drawn);
    EXPECT_EQ(at.technique, "AsEffect");
    EXPECT_EQ(at.textures.at("Pattern"), flame.fire.patternTexture.Get());
    EXPECT_EQ(at.textures.at("Noise"), flame.fire.noiseTexture.Get());
    EXPECT_EQ(at.floats.count("ColorK1"), 0u) << "the layer sets no colours of the fire";
    withFire.WritePngIfAsked("FlameOnDevice_Fire");

    flame.fireFlag.value = 0;
    const Image plain = Frame(0.2f);
    // The fire's quad spans y 22.4..64; its pattern is white in its lower half.
    EXPECT_TRUE(tessaloom::testing::Probe(withFire, 1, 58, 0xffffff00u, 24)) << "full heat: yellow";
    EXPECT_TRUE(tessaloom::testing::Probe(plain, 1, 58, kDark, 2));
    for (UINT y = 0; y < 20; ++y)
        for (UINT x = 0; x < 64; ++x) ASSERT_EQ(withFire.at(x, y), plain.at(x, y)) << x << ", " << y;
    ClearFlame(flame);
}

// The heat distortion: the slide is captured and drawn back shifted by the
// bump map, which scrolls with the clock, so pixels of the picture move from
// one frame to the next.
TEST_F(FlameOnDevice, TheDistortionMovesThePictureBetweenFrames) {
    AddDemoEffect(kDistortEffect, "heat_distortion.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_EQ(flame.distortionFlag.value, 1);
    EXPECT_EQ(slide->CaptureCount(), 1);
    flame.distortion.strength.SetValue(500);  // a shift of up to 0.05 of the picture
    flame.distortion.speed.SetValue(5000);    // 5 units a second
    const Image a = Frame(0.1f);
    const Image b = Frame(0.2f);
    a.WritePngIfAsked("FlameOnDevice_DistortionA");
    b.WritePngIfAsked("FlameOnDevice_DistortionB");
    int moved = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) moved += a.pixels[i] != b.pixels[i];
    EXPECT_GT(moved, 64 * 4) << "the picture shimmers";
    // Still the picture: every pixel one of the stripes' colours or between
    // them (the two mixed by the shift), and most of them the stripes' own.
    for (const Image* image : {&a, &b}) {
        int onAStripe = 0;
        for (UINT y = 0; y < 64; ++y)
            for (UINT x = 0; x < 64; ++x) {
                ASSERT_TRUE(BetweenTheStripes(image->at(x, y))) << x << ", " << y;
                onAStripe += tessaloom::testing::Probe(*image, x, y, kDark, 6) ||
                             tessaloom::testing::Probe(*image, x, y, kLight, 6);
            }
        EXPECT_GT(onAStripe, 64 * 32);
    }
    EXPECT_FALSE(flame.renderTargets.Capturing()) << "the capture has been ended";
    ClearFlame(flame);
}

// The captured slide goes back to the screen with the picture position the
// user chose.  A 64 x 32 picture on the 64 x 64 target, without shimmer:
// Stretch covers the target (y doubled); Fit shows it whole on rows 16..48
// with the top and bottom bars (0..17 and 48..65) black; Fill doubles it
// both ways about its centre, showing its columns 16..48.  The picture:
// red left of column 16, green from column 48, between them white above
// row 16 and blue below.
TEST_F(FlameOnDevice, TheCapturedSlideKeepsThePicturePosition) {
    constexpr D3DCOLOR kRed = 0xffff0000u, kGreen = 0xff00ff00u, kWhite = 0xffffffffu, kBlue = 0xff0000ffu,
                       kBlack = 0xff000000u;
    AddPicture(5, 64, 32, [](UINT x, UINT y) { return x < 16 ? kRed : x >= 48 ? kGreen : y < 16 ? kWhite : kBlue; });
    AddDemoEffect(kDistortEffect, "heat_distortion.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_EQ(flame.distortionFlag.value, 1);
    flame.camera.enabled.value = 0;
    flame.distortion.strength.SetValue(0);  // no shift: the slide comes back as captured
    struct Case {
        int mode;
        D3DCOLOR at4x8, at4x40, at32x60, at60x24;
    } cases[] = {
        {DS_POS_STRETCH, kRed, kRed, kBlue, kGreen},
        {DS_POS_FIT, kBlack, kRed, kBlack, kGreen},
        {DS_POS_FILL, kWhite, kBlue, kBlue, kWhite},
    };
    double time = 0.1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        slide->SetPicturePosition(c.mode);
        const Image image = Frame(time += 0.1);
        image.WritePngIfAsked("FlameOnDevice_PicturePosition" + std::to_string(c.mode));
        EXPECT_TRUE(tessaloom::testing::Probe(image, 4, 8, c.at4x8, 8));
        EXPECT_TRUE(tessaloom::testing::Probe(image, 4, 40, c.at4x40, 8));
        EXPECT_TRUE(tessaloom::testing::Probe(image, 32, 60, c.at32x60, 8));
        EXPECT_TRUE(tessaloom::testing::Probe(image, 60, 24, c.at60x24, 8));
    }
    ClearFlame(flame);
}

// The layer's frame step runs the fire's clock (one unit a second, steps of
// at most 0.2 s): the fire's constants at each draw follow it.
TEST_F(FlameOnDevice, TheFireRunsOnItsClock) {
    AddDemoEffect(kFireEffect, "fire.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_NE(flame.fire.effect.Get(), nullptr);
    struct Case {
        double time, clock;
    } cases[] = {{0.1, 0.1}, {0.3, 0.3}, {1.0, 0.5}};  // the last step counts 0.2
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        std::vector<EffectCall> log;
        ASSERT_TRUE(RecordEffectCalls(flame.fire.effect.Get(), &log));
        Frame(c.time);
        RecordEffectCalls(flame.fire.effect.Get(), nullptr);
        EXPECT_NEAR(flame.fire.speed.time, c.clock, 1e-6);
        const auto at = ValuesAtDraw(log);
        ASSERT_TRUE(at.drawn);
        const float t = static_cast<float>(c.clock);
        const std::pair<const char*, float> rates[] = {{"c11", 1.3f}, {"c12", 2.1f}, {"c13", 2.3f}};
        for (const auto& [name, rate] : rates) {
            ASSERT_EQ(at.floats.count(name), 1u) << name;
            const std::vector<float>& value = at.floats.at(name);
            ASSERT_EQ(value.size(), 2u) << name;
            EXPECT_EQ(value[0], 0.0f) << name;
            EXPECT_NEAR(value[1], rate * t, 1e-5f) << name;
        }
    }
    ClearFlame(flame);
}

// Both effects are shared: a fire object on the slide sets the fire effect's
// colours when it draws, and the layer's fire, which sets none, draws with
// them from the next frame on.  The declared defaults give the first frame.
TEST_F(FlameOnDevice, AFireObjectRecoloursTheLayersFireFromTheNextFrame) {
    AddDemoEffect(kFireEffect, "fire.fx");
    auto* blue = new DS_FireFX;
    blue->color1.Assign(0x00FF0000u);  // blue
    blue->color2.Assign(0x00FF0000u);
    const float corners[4][2] = {{40, 0}, {40, 10}, {60, 0}, {60, 10}};  // top right, clear of the probes
    for (int i = 0; i < 4; ++i) blue->quad.corners[i].value = D3DXVECTOR3(corners[i][0], corners[i][1], 0);
    MakeSlide({blue});
    const Image first = Frame(0.1f);
    const Image second = Frame(0.2f);
    EXPECT_TRUE(tessaloom::testing::Probe(first, 1, 58, 0xffffff00u, 24)) << "the effect's own defaults: yellow";
    EXPECT_TRUE(tessaloom::testing::Probe(second, 1, 58, 0xff0000ffu, 24)) << "the fire object's colours";
    EXPECT_TRUE(tessaloom::testing::Probe(second, 50, 5, 0xff0000ffu, 24)) << "the fire object itself";
    ClearFlame(static_cast<DS_FlameLight&>(*slide->mainLayer));
}

// An injected device loss: the layer releases its render targets and the
// manager's effects drop the render-target textures they were handed, so
// the reset is not refused; the layer's own restore tells the manager of
// the reset, so its effects draw again.
TEST_F(FlameOnDevice, AfterADeviceLossAndResetTheFlameDrawsAgain) {
    AddDemoEffect(kFireEffect, "fire.fx");
    AddDemoEffect(kDistortEffect, "heat_distortion.fx");
    DS_FlameLight& flame = MakeSlide();
    ASSERT_EQ(flame.distortionFlag.value, 1);
    const Image before = Frame(0.1f);
    ASSERT_TRUE(tessaloom::testing::Probe(before, 1, 58, 0xffffff00u, 40));

    IDirect3DDevice9* d = harness.device;
    tessaloom::d3d9::LoseDevice(d, 1);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    slide->InvalidateDeviceObjects();
    EXPECT_EQ(pictures.losses, 1);
    ASSERT_EQ(d->Reset(&harness.params), D3D_OK) << "no default-pool texture may outlive the loss";
    slide->RestoreDeviceObjects();
    slide->Resize(64, 64);
    EXPECT_EQ(pictures.resets, 2) << "the first restore and the one after the reset";

    std::vector<EffectCall> log;
    ASSERT_TRUE(RecordEffectCalls(flame.fire.effect.Get(), &log));
    const Image after = Frame(0.2f);
    RecordEffectCalls(flame.fire.effect.Get(), nullptr);
    EXPECT_TRUE(ValuesAtDraw(log).drawn);
    for (const EffectCall& call : CallsTo(log, EffectCall::Kind::Begin, "AsEffect")) EXPECT_EQ(call.result, D3D_OK);
    EXPECT_TRUE(tessaloom::testing::Probe(after, 1, 58, 0xffffff00u, 40)) << "the fire after the reset";
    EXPECT_TRUE(flame.renderTargets.HasTextures());
    ClearFlame(flame);
}

}  // namespace
