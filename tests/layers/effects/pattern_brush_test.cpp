// The pattern brushes: both records, the pattern's placement at draw time,
// the frames of a sequence with their delays, and the pattern drawn inside
// the mask.
#include "layers/effects/pattern_brush.h"

#include "document/res_manager.h"
#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

constexpr int kEffect = 78;
const DS_LinkKey kPatternKey{u"C:\\patterns\\lattice.tga", 4242};

struct BrushFields {
    DS_LinkKey link = kPatternKey;
    INT flipV = 1, flipH = 0;
    UINT rotation = 30, scale = 200, offsetX = 10, offsetY = 20;
};

void WriteBrush(DS_IOF_W& w, const BrushFields& f) {
    WriteRecordHeader(w, u"DS_PatternBrush", 1);
    w.WriteString(f.link.path);
    w.WriteInt64(f.link.stamp);
    w.WriteLong(f.flipV);
    w.WriteLong(f.flipH);
    w.WriteUInt(f.rotation);
    w.WriteUInt(f.scale);
    w.WriteUInt(f.offsetX);
    w.WriteUInt(f.offsetY);
    WriteFxBase(w, {50, 0, kEffect});
}

void ExpectFields(const DS_PatternBrush& b, const BrushFields& f) {
    EXPECT_EQ(b.patternLink.key, f.link);
    EXPECT_EQ(b.flipVertical.value, f.flipV);
    EXPECT_EQ(b.flipHorizontal.value, f.flipH);
    EXPECT_EQ(b.rotation.value, f.rotation);
    EXPECT_FLOAT_EQ(b.patternScale.Converted(), 2.0f);
    EXPECT_FLOAT_EQ(b.offsetX.Converted(), -0.1f);
    EXPECT_FLOAT_EQ(b.offsetY.Converted(), 0.2f);
}

TEST(PatternBrushRecord, BothClassesReadWriteTheSameBytesAndEveryPrefixFails) {
    DS_PatternBrush made;
    EXPECT_FLOAT_EQ(made.patternScale.Converted(), 1.0f);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 1.0f);
    EXPECT_EQ(made.effectLink.key, ModuleKey(kEffect));
    EXPECT_EQ(made.pattern.height, 0u);

    const BrushFields f;
    const std::vector<BYTE> plain = RecordBytes([&](DS_IOF_W& w) { WriteBrush(w, f); });
    const std::vector<BYTE> second = RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_PatternBrushC", 1);
        WriteBrush(w, f);
    });
    size_t left = 1;
    auto brush = ReadRegistered<DS_PatternBrush>(plain, &left);
    ASSERT_TRUE(brush);
    EXPECT_EQ(left, 0u);
    ExpectFields(*brush, f);
    EXPECT_EQ(dynamic_cast<DS_PatternBrushC*>(brush.get()), nullptr);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { brush->Write(w); }), plain);

    auto c = ReadRegistered<DS_PatternBrushC>(second, &left);
    ASSERT_TRUE(c);
    EXPECT_EQ(left, 0u);
    ExpectFields(*c, f);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { c->Write(w); }), second);
    // The run-time copy of either is a plain DS_PatternBrush with the same values.
    std::unique_ptr<DS_FX_Constructor> clone(c->Clone());
    EXPECT_EQ(dynamic_cast<DS_PatternBrushC*>(clone.get()), nullptr);
    ASSERT_NE(dynamic_cast<DS_PatternBrush*>(clone.get()), nullptr);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { clone->Write(w); }), plain);

    ExpectEveryPrefixFails(plain);
    ExpectEveryPrefixFails(second);
}

class PatternBrushOnDevice : public EffectClassTest {
protected:
    // A pattern of `frames` frames (`values` their delays) under kPatternKey.
    std::vector<IDirect3DTexture9*> AddPattern(UINT width, UINT height, size_t frames,
                                               const std::vector<float>& values = {}) {
        DS_ImageSet& set = manager->Tables().imageCache[kPatternKey];
        std::vector<IDirect3DTexture9*> made;
        for (size_t i = 0; i < frames; ++i) {
            DS_TextureInfo info;
            const D3DCOLOR colour = i == 0 ? 0xffe0c020u : i == 1 ? 0xff20c0e0u : 0xffc020e0u;
            info.texture = DS_TextureRef::Adopt(harness.MakeTexture(width, height, [=](UINT x, UINT y) {
                return ((x / 4 + y / 4) % 2) ? colour : 0xff101010u;
            }));
            info.SetSize(width, height);
            made.push_back(info.texture.Get());
            set.AddFrame(info);
        }
        set.SetFrameValues(values);
        return made;
    }
    static void UsePattern(DS_PatternBrush& brush) { brush.patternLink.key = kPatternKey; }
};

TEST_F(PatternBrushOnDevice, ThePlacementAtDrawTime) {
    MakeLayer(800, 600);
    AddDemoEffect(kEffect, "pattern_brush.fx");
    const std::vector<IDirect3DTexture9*> frames = AddPattern(64, 64, 1);
    struct Case {
        UINT rotation;
        INT flipH, flipV;
        UINT scale, offsetX, offsetY;
        std::vector<float> offset, transform;
    } cases[] = {
        {0, 0, 0, 100, 0, 0, {0, 0}, {12.5f, 0, 0, 9.375f}},
        {90, 0, 0, 100, 0, 0, {0, 0}, {0, 12.5f, -9.375f, 0}},
        {0, 1, 1, 100, 0, 0, {0, 0}, {-12.5f, 0, 0, -9.375f}},
        {0, 0, 0, 200, 0, 0, {0, 0}, {6.25f, 0, 0, 4.6875f}},
        {0, 0, 0, 100, 10, 10, {-0.1f, 0.1f}, {12.5f, 0, 0, 9.375f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rotation " << c.rotation << " scale " << c.scale);
        DS_PatternBrush brush;
        UsePattern(brush);
        brush.rotation.Assign(c.rotation);
        brush.flipHorizontal.Assign(c.flipH);
        brush.flipVertical.Assign(c.flipV);
        brush.patternScale.SetValue(c.scale);
        brush.offsetX.SetValue(c.offsetX);
        brush.offsetY.SetValue(c.offsetY);
        brush.CreateDeviceObjects(nullptr);
        const DrawValues at = DrawRecorded(brush);
        ASSERT_TRUE(at.drawn);
        EXPECT_TRUE(Near(Floats(at, "scale"), {1, 1}));
        EXPECT_TRUE(Near(Floats(at, "offset"), c.offset, 1e-6f));
        EXPECT_TRUE(Near(Floats(at, "coord_transf"), c.transform, 1e-5f));
        EXPECT_EQ(at.textures.at("Pattern"), frames[0]);
    }
}

TEST_F(PatternBrushOnDevice, AWidePatternAndPatternsThatCannotBeTiled) {
    MakeLayer(800, 600);
    AddDemoEffect(kEffect, "pattern_brush.fx");
    {
        DS_PatternBrush nothing;  // no pattern: nothing set, nothing drawn
        nothing.CreateDeviceObjects(nullptr);
        EXPECT_FALSE(DrawRecorded(nothing).drawn);
        EXPECT_TRUE(log.empty());
    }
    AddPattern(128, 64, 1);
    DS_PatternBrush wide;
    UsePattern(wide);
    wide.CreateDeviceObjects(nullptr);
    const DrawValues at = DrawRecorded(wide);
    EXPECT_TRUE(Near(Floats(at, "scale"), {2, 1}));
    EXPECT_TRUE(Near(Floats(at, "coord_transf"), {6.25f, 0, 0, 9.375f}));
    // Scale raw 0 would tile infinitely often: the brush draws nothing.
    wide.patternScale.SetValue(0);
    EXPECT_FALSE(DrawRecorded(wide).drawn);
    EXPECT_TRUE(log.empty());
    ClearTextures(wide.effect.Get(), {"Pattern", "Mask", "Background"});
}

// Frames with delays 0.5, 0.5 and 1.0 at one clock unit a second: each
// stays for just over its delay, then the sequence starts again.
TEST_F(PatternBrushOnDevice, ASequenceShowsEachFrameForItsDelay) {
    MakeLayer();
    const std::vector<IDirect3DTexture9*> frames = AddPattern(8, 8, 3, {0.5f, 0.5f, 1.0f});
    DS_PatternBrush brush;
    UsePattern(brush);
    brush.CreateDeviceObjects(nullptr);
    ASSERT_EQ(brush.pattern.FrameCount(), 3u);
    std::vector<unsigned> shown;
    brush.FrameMove(0.0f);
    for (int i = 1; i <= 20; ++i) {
        brush.FrameMove(0.125f * static_cast<float>(i));
        shown.push_back(brush.frameIndex);
    }
    // Steps of 1/8 s: frame 1 from 0.625 s, frame 2 from 1.25 s, frame 0 again from 2.375 s.
    EXPECT_EQ(shown, (std::vector<unsigned>{0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0}));
    // A clock that runs back restarts the current frame's time.
    brush.speed.time = 0.0f;
    brush.speed.lastTime = 10.0f;
    brush.FrameMove(10.0f);
    EXPECT_EQ(brush.frameStart, 0.0f);
}

// More delays than frames: the sequence steps through the frames there are
// and never asks for one past them.
TEST_F(PatternBrushOnDevice, MoreDelaysThanFramesNeverPassTheFrames) {
    MakeLayer();
    AddDemoEffect(kEffect, "pattern_brush.fx");
    const std::vector<IDirect3DTexture9*> frames = AddPattern(8, 8, 2, {0.1f, 0.1f, 0.1f, 0.1f});
    DS_PatternBrush brush;
    UsePattern(brush);
    brush.CreateDeviceObjects(nullptr);
    brush.FrameMove(0.0f);
    for (int i = 1; i <= 12; ++i) {
        brush.FrameMove(0.125f * static_cast<float>(i));
        ASSERT_LT(brush.frameIndex, 2u);
        const DrawValues at = DrawRecorded(brush);
        ASSERT_TRUE(at.drawn);
        EXPECT_EQ(at.textures.at("Pattern"), frames[brush.frameIndex]);
    }
    ClearTextures(brush.effect.Get(), {"Pattern", "Mask", "Background"});
}

TEST_F(PatternBrushOnDevice, BrushesThePatternInsideTheMaskOnly) {
    MakeLayer();
    AddDemoEffect(kEffect, "pattern_brush.fx");
    AddPattern(8, 8, 1);
    DS_PatternBrush brush;
    UsePattern(brush);
    IDirect3DTexture9* m = LeftHalfMask();
    brush.CreateDeviceObjects(&m);
    ExpectChangesInsideTheMaskOnly(brush, 0.4, "PatternBrush");
    // Eight tiles of the 8 x 8 pattern (a checker of 4 x 4 blocks) across
    // the 64-pixel picture: one pattern pixel to each picture pixel.  The
    // probes keep off the blocks' edges, where filtering mixes neighbours.
    for (UINT y = 0; y < 64; ++y)
        for (UINT x = 0; x < 28; ++x)
            if (x % 4 == 1 || x % 4 == 2)
                if (y % 4 == 1 || y % 4 == 2)
                    ASSERT_TRUE(Probe(drawn, x, y, ((x % 8) / 4 + (y % 8) / 4) % 2 ? 0xffe0c020u : 0xff101010u, 3));
    // Turned by 90 degrees the tiles turn with it.
    brush.rotation.Assign(90);
    EXPECT_NE(Draw(&brush).pixels, drawn.pixels);
    ClearTextures(brush.effect.Get(), {"Pattern", "Mask", "Background"});
}

}  // namespace
