// The sprite population base: the record in every version, the v1 inline
// pictures, the records' rules (half extents, edges, colour), the count,
// the frame sequence and sheet, and the vertices written each frame.
#include <cmath>

#include "document/load_error.h"
#include "scene/population_budget.h"
#include "tests/support/fake_direct3d.h"
#include "tests/scene/sprites/sprite_fixture.h"

using namespace sprite_test;

namespace {

// A kind with no motion of its own.
class Plain : public DS_BaseSpriteProp {
public:
    Plain() = default;
    Plain(const Plain&) = default;
    DS_BaseSpriteProp* Clone() const override { return new Plain(*this); }
};

class BaseSprite : public SpriteTest {};

}  // namespace

TEST_F(BaseSprite, RecordInEveryVersion) {
    for (INT version : {1, 2, 3, 4, 5, 6, 7}) {
        SCOPED_TRACE(version);
        const auto bytes = Bytes([&](DS_IOF_W& w) { WriteSpriteRecord(w, version); });
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_DocumentReader reader(&buffer);
        Plain d;
        DS_BaseSpriteProp::ReadRecord(reader, d);
        EXPECT_EQ(buffer.Remaining(), 0u);
        EXPECT_EQ(d.name, u"sprites");
        EXPECT_EQ(d.speed.value, version <= 2 ? 88u : 77u);
        EXPECT_FLOAT_EQ(d.topFraction, 0.25f);
        EXPECT_EQ(d.count.value, 12u);
        EXPECT_EQ(d.size.value, 40u);
        EXPECT_EQ(d.transparency.value, 50u);
        EXPECT_EQ(d.transparency.Converted(), 127);  // trunc(255 - 127.5)
        EXPECT_EQ(d.additive.value, 1);
        EXPECT_EQ(d.color.value, 0x00332211u);
        EXPECT_FLOAT_EQ(d.pulseSpeed, 0.5f);
        EXPECT_FLOAT_EQ(d.sizeMax, 1.25f);
        EXPECT_EQ(d.spareCount, 3u);
        EXPECT_EQ(d.sheetFrames, 4u);
        EXPECT_FLOAT_EQ(d.sheetRate, 8.0f);
        EXPECT_TRUE(d.sheetOn);
        if (version == 1) {
            EXPECT_TRUE(d.image.key.path.empty());
            ASSERT_EQ(d.oldFrameFiles.size(), 2u);
            EXPECT_EQ(d.oldFrameFiles.back().path, u"b.tga");
            EXPECT_EQ(d.oldMaskFile.resourceId, 9);
            EXPECT_EQ(d.oldFrameDelays, (std::vector<float>{0.25f, 0.5f}));
        } else {
            EXPECT_EQ(d.image.key, (DS_LinkKey{u"C:\\sprites\\fish.tga", 111}));
            EXPECT_EQ(d.mask.key, (DS_LinkKey{u"C:\\sprites\\mask.tga", 222}));
        }
        EXPECT_EQ(d.imageSetMode, version >= 4 ? 1 : 0);
        EXPECT_EQ(d.flipVertical.value, version >= 5 ? 1 : 0);
        EXPECT_EQ(d.flipHorizontal.value, version >= 5 ? 1 : 0);
        EXPECT_EQ(d.updateOnFrameChange.value, version >= 6 ? 1 : 0);

        // Every shorter prefix fails to load.
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer cut(bytes.data(), n);
            DS_DocumentReader r(&cut);
            Plain p;
            EXPECT_THROW(DS_BaseSpriteProp::ReadRecord(r, p), DS_LoadError) << n << " bytes";
        }
    }
}

TEST_F(BaseSprite, WrittenAsVersionSixAndReadBack) {
    const auto bytes = Bytes([&](DS_IOF_W& w) { WriteSpriteRecord(w, 6); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    Plain d;
    DS_BaseSpriteProp::ReadRecord(reader, d);
    const auto again = Bytes([&](DS_IOF_W& w) { d.Write(w); });
    EXPECT_EQ(again, bytes);
}

TEST_F(BaseSprite, VersionOneInlinePicturesBecomeLinks) {
    const auto bytes = Bytes([&](DS_IOF_W& w) { WriteSpriteRecord(w, 1); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    Plain d;
    DS_BaseSpriteProp::ReadRecord(reader, d);
    d.PrepareImages();
    EXPECT_EQ(d.image.key.path, u"a.tga");
    const DS_ImageSet& set = manager_->Tables().imageCache.at(d.image.key);
    EXPECT_EQ(set.FrameCount(), 2u);
    EXPECT_EQ(set.FrameValues(), (std::vector<float>{0.25f, 0.5f}));
    EXPECT_EQ(d.mask.key, (DS_LinkKey{u"common_res.dll", 9}));
    EXPECT_TRUE(d.oldFrameFiles.empty());
    EXPECT_TRUE(d.oldFrameDelays.empty());
    // Converted once: a second call changes nothing.
    const DS_LinkKey first = d.image.key;
    d.PrepareImages();
    EXPECT_EQ(d.image.key, first);
}

TEST_F(BaseSprite, VersionOneWithoutFramesStaysUnresolved) {
    const auto bytes = Bytes([&](DS_IOF_W& w) { WriteSpriteRecord(w, 1, {}, DS_ResFileData()); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    Plain d;
    DS_BaseSpriteProp::ReadRecord(reader, d);
    d.count.value = 3;
    auto obj = Populate(d);
    EXPECT_TRUE(d.image.key.path.empty());
    EXPECT_TRUE(d.mask.key.path.empty());
    EXPECT_EQ(obj->images.FrameCount(), 0u);
    EXPECT_EQ(obj->CurrentTexture(), nullptr);
    EXPECT_EQ(obj->records.size(), 3u);
    obj->FrameMove(0.1f);
}

TEST_F(BaseSprite, AlphaAndColour) {
    struct Case {
        UINT transparency;
        float phase;
        DWORD colorref;
        D3DCOLOR expected;
    };
    const std::vector<Case> cases = {
        {0, 1.0f, 0x00FFFFFF, 0xFFFFFFFF},
        {50, 1.0f, 0x00332211, 0x7F112233},   // 127; red from the low byte
        {100, 1.0f, 0x00FFFFFF, 0x00FFFFFF},  // invisible
        {101, 1.0f, 0x00000000, 0xFE000000},  // the low byte of -2
        {0, 1.5f, 0x000000FF, 0x7EFF0000},    // 382 wraps to 126
        {0, 0.5f, 0x00FF0000, 0x7F0000FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transparency);
        Plain d;
        d.transparency.SetValue(c.transparency);
        d.color.value = c.colorref;
        DS_SpriteRecord s;
        s.alphaPhase = c.phase;
        s.ComposeColor(d);
        EXPECT_EQ(s.color, c.expected);
    }
}

TEST_F(BaseSprite, HalfExtentsFollowTheLongerSide) {
    struct Case {
        UINT w, h;
        bool sheet;
        UINT frames;
        float hw, hh;  // size 40, size factor 1.5: e = 30
    };
    const std::vector<Case> cases = {
        {64, 32, false, 1, 30.0f, 15.0f},  // wide
        {32, 64, false, 1, 15.0f, 30.0f},  // tall
        {50, 50, false, 1, 30.0f, 30.0f},
        {256, 64, true, 4, 30.0f, 30.0f},  // four square frames side by side
        {256, 64, true, 8, 15.0f, 30.0f},  // eight frames of 32 x 64
        {0, 0, false, 1, 30.0f, 30.0f},    // unresolved: aspect 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " / " << c.frames);
        Plain d;
        d.image = Picture(c.w, c.h);
        d.sheetOn = c.sheet;
        d.sheetFrames = c.frames;
        d.size.value = 40;
        d.sizeMin = d.sizeMax = 1.5f;
        DS_SpriteRecord s;
        s.Init(d);
        EXPECT_FLOAT_EQ(s.halfWidth, c.hw);
        EXPECT_FLOAT_EQ(s.halfHeight, c.hh);
        EXPECT_EQ(s.position, D3DXVECTOR3(100, 100, 0));
    }
}

TEST_F(BaseSprite, EdgeTests) {
    Plain d;
    SetArea(d, 0.25f, 0.75f, 0.25f, 0.75f);  // 160..480 x 120..360
    struct Case {
        float x, y, hw, hh;
        bool minX, maxX, minY, maxY, partMinY, partMaxY, partMaxX;
    };
    const std::vector<Case> cases = {
        {300, 200, 10, 10, false, false, false, false, false, false, false},
        {149, 200, 10, 10, true, false, false, false, false, false, false},    // wholly left
        {151, 200, -10, 10, false, false, false, false, false, false, false},  // mirrored, still touching
        {491, 200, -10, 10, false, true, false, false, false, false, true},    // wholly right
        {475, 200, 10, 10, false, false, false, false, false, false, true},    // partly right
        {300, 109, 10, 10, false, false, true, false, true, false, false},
        {300, 125, 10, 10, false, false, false, false, true, false, false},   // partly above
        {300, 355, 10, 10, false, false, false, false, false, true, false},   // partly below
        {300, 371, 10, 10, false, false, false, true, false, true, false},    // wholly below
        {300, 365, 10, -10, false, false, false, false, false, false, false}, // flipped: the signed test turns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        DS_SpriteRecord s;
        s.position = D3DXVECTOR3(c.x, c.y, 0);
        s.halfWidth = c.hw;
        s.halfHeight = c.hh;
        EXPECT_EQ(s.IsPastMinX(d), c.minX);
        EXPECT_EQ(s.IsPastMaxX(d), c.maxX);
        EXPECT_EQ(s.IsPastMinY(d), c.minY);
        EXPECT_EQ(s.IsPastMaxY(d), c.maxY);
        EXPECT_EQ(s.IsPartlyPastMinY(d), c.partMinY);
        EXPECT_EQ(s.IsPartlyPastMaxY(d), c.partMaxY);
        EXPECT_EQ(s.IsPartlyPastMaxX(d), c.partMaxX);
    }
}

TEST_F(BaseSprite, CountZeroAndCountsTooLarge) {
    Plain none;
    none.count.value = 0;
    auto empty = Populate(none);
    EXPECT_TRUE(empty->records.empty());
    EXPECT_EQ(empty->vertexCount, 0u);
    empty->FrameMove(0.1f);
    EXPECT_FLOAT_EQ(empty->props->clock, 0.1f);  // the clock still runs

    // Fewer than kMaxSprites: a frame's budget of sprite quads.
    Plain many;
    many.count.value = 100000;
    auto clamped = Populate(many);
    EXPECT_EQ(clamped->records.size(), kSlideQuadBudget);
    EXPECT_EQ(clamped->vertexCount, 4 * kSlideQuadBudget);
    clamped->FrameMove(0.1f);
    EXPECT_FLOAT_EQ(clamped->props->clock, 0.1f);  // the clamped count is the drawn one
}

TEST_F(BaseSprite, FrameSequenceWrapsAtTexturesAndDelays) {
    // Two textures and three delays: the third frame shows the first texture.
    int live = 0;
    IDirect3DTexture9* textures[2] = {new fake::Counted<fake::TextureStubs>(&live),
                                      new fake::Counted<fake::TextureStubs>(&live)};
    Plain d;
    {
        d.image = Picture(16, 16, {0.5f, 0.25f, 1.0f});
        DS_ImageSet& set = manager_->Tables().imageCache[d.image.key];
        set.ResizeFrames(2);
        for (size_t i = 0; i < 2; ++i) {
            DS_TextureInfo info;
            info.texture = DS_TextureRef::Adopt(textures[i]);
            info.SetSize(16, 16);
            set.SetFrame(i, info);
        }
        auto obj = Populate(d);
        ASSERT_EQ(obj->images.FrameCount(), 2u);
        EXPECT_EQ(obj->CurrentTexture(), textures[0]);
        EXPECT_FALSE(obj->Advance(0.5f));  // not past the first delay
        EXPECT_TRUE(obj->Advance(0.51f));
        EXPECT_EQ(obj->frameIndex, 1u);
        EXPECT_EQ(obj->CurrentTexture(), textures[1]);
        EXPECT_TRUE(obj->Advance(0.8f));
        EXPECT_EQ(obj->frameIndex, 2u);
        EXPECT_EQ(obj->CurrentTexture(), textures[0]);  // 2 modulo 2 textures
        EXPECT_FALSE(obj->Advance(1.8f));
        EXPECT_TRUE(obj->Advance(1.81f));
        EXPECT_EQ(obj->frameIndex, 0u);
        EXPECT_EQ(obj->CurrentTexture(), textures[0]);
        EXPECT_TRUE(obj->Advance(2.32f));
        EXPECT_EQ(obj->CurrentTexture(), textures[1]);
    }
    manager_.reset();  // the cache's references; the population's went with it
    SetCurrentDocResManager(nullptr);
    EXPECT_EQ(live, 0);

    Plain still;
    manager_ = std::make_unique<DS_DocResManager>();
    SetCurrentDocResManager(manager_.get());
    still.image = Picture(16, 16);
    auto s = Populate(still);
    EXPECT_FALSE(s->Advance(100.0f));  // no delays: never moves
}

TEST_F(BaseSprite, DefaultNextFrameOnSmallSheets) {
    Plain d;
    for (UINT frames : {0u, 1u}) {
        d.sheetFrames = frames;
        EXPECT_EQ(d.NextFrame(0), 0u);
    }
    d.sheetFrames = 3;
    EXPECT_EQ(d.NextFrame(1), 2u);
    EXPECT_EQ(d.NextFrame(2), 0u);
}
