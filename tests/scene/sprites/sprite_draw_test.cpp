// Sprite populations on a real device: the indices and vertices written each
// frame (flips, sheet bands, mirrored sprites), and populations drawn in a
// slide and read back (frame 2 or later, as in the saver).
#include "scene/slide_show.h"
#include "scene/sprites/fish.h"
#include "scene/sprites/stat_obj.h"
#include "tests/support/d3d_harness.h"
#include "tests/scene/sprites/sprite_fixture.h"

using namespace sprite_test;
using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;

namespace {

class Plain : public DS_BaseSpriteProp {
public:
    Plain() = default;
    Plain(const Plain&) = default;
    DS_BaseSpriteProp* Clone() const override { return new Plain(*this); }
};

class SpriteDevice : public SpriteTest {
protected:
    SpriteDevice() : harness_(64, 64) {}
    void SetUp() override {
        ASSERT_TRUE(harness_.ok());
        CurrentDevice = harness_.device;
        SpriteTest::SetUp();
    }
    void TearDown() override {
        root_.reset();
        state_.view.Teardown();  // the letterbox bars
        SpriteTest::TearDown();  // the manager releases its textures
        CurrentDevice = nullptr;
    }

    // A picture link whose one frame is a real texture.
    DS_ImageFileLink TexturePicture(UINT w, UINT h, const std::function<D3DCOLOR(UINT, UINT)>& color) {
        DS_ImageFileLink link = Picture(w, h);
        DS_TextureInfo info;
        info.texture = DS_TextureRef::Adopt(harness_.MakeTexture(w, h, color));
        info.SetSize(w, h);
        manager_->Tables().imageCache[link.key].SetSingle(info);
        return link;
    }

    // The vertices of the population's buffer.
    static std::vector<DX_V::PCT> Vertices(DS_SpriteArrayObj& obj) {
        DX_V::PCT* v = obj.Lock();
        std::vector<DX_V::PCT> out(v, v + obj.vertexCount);
        obj.Unlock();
        return out;
    }

    // One slide over a 32 x 32 mid-grey picture, stretched over the 64 x 64
    // back buffer (one picture pixel is 2 x 2 pixels), with the given
    // descriptions.
    void MakeSlide(std::initializer_list<DS_ABObj_Constructor*> descriptions) {
        const DS_ImageFileLink background = TexturePicture(32, 32, [](UINT, UINT) { return 0xFF404040u; });
        root_ = std::make_unique<DS_SlideShow_Light>();
        auto* slide = new DS_SlideContainer;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
        slide->mainLayer->pictureLink.key = background.key;
        for (DS_ABObj_Constructor* d : descriptions) slide->prototypes.push_back(d);
        root_->slides.emplace_back(slide);
        slide->Init();
        root_->SetPicturePosition(DS_POS_STRETCH);
    }
    Image Frames(std::initializer_list<float> times) {
        for (float t : times) {
            root_->FrameMove(t);
            harness_.device->BeginScene();
            root_->Render();
            harness_.device->EndScene();
        }
        Image image = harness_.ReadBackBuffer();
        image.WritePngIfAsked(::testing::UnitTest::GetInstance()->current_test_info()->name());
        return image;
    }

    // A still picture of `size` centred at (x, y) of the 32 x 32 picture.
    DS_StatObjConstructor* Still(DS_ImageFileLink picture, int x, int y, UINT size) {
        auto* d = new DS_StatObjConstructor;
        d->image = picture;
        d->placement.x.value = x;
        d->placement.y.value = y;
        d->size.value = size;
        return d;
    }

    D3DHarness harness_;
    std::unique_ptr<DS_SlideShow_Light> root_;
};

}  // namespace

TEST_F(SpriteDevice, IndicesAndVerticesOfEachSprite) {
    Plain d;
    d.image = Picture(64, 32);  // aspect 0.5: 40 wide, 20 high
    d.size.value = 40;
    d.count.value = 2;
    d.transparency.SetValue(50u);
    auto obj = Populate(d);
    WORD* idx = obj->LockIndices();
    ASSERT_NE(idx, nullptr);
    const std::vector<WORD> indices(idx, idx + 12);
    obj->UnlockIndices();
    EXPECT_EQ(indices, (std::vector<WORD>{0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7}));

    obj->records[1]->position = D3DXVECTOR3(300, 200, 0);
    obj->records[1]->halfWidth = -20.0f;  // mirrored: the u range runs right to left
    obj->FrameMove(0.1f);
    const auto v = Vertices(*obj);
    struct Expected {
        float x, y, u, v;
    };
    // K + Hv, K, K + Wv + Hv, K + Wv.
    const Expected e[8] = {{80, 110, 0, 1},  {80, 90, 0, 0},  {120, 110, 1, 1}, {120, 90, 1, 0},
                           {320, 210, 0, 1}, {320, 190, 0, 0}, {280, 210, 1, 1}, {280, 190, 1, 0}};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(v[i].x, e[i].x);
        EXPECT_FLOAT_EQ(v[i].y, e[i].y);
        EXPECT_FLOAT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].color, 0x7FFFFFFFu);
        EXPECT_FLOAT_EQ(v[i].u, e[i].u);
        EXPECT_FLOAT_EQ(v[i].v, e[i].v);
    }
}

TEST_F(SpriteDevice, FlipsAndSheetBands) {
    struct Case {
        const char* name;
        bool sheet;
        int flipH, flipV;
        float ua, ub, va, vb;  // of the vertex K (ua, va) and K + Wv + Hv (ub, vb)
    };
    // The sheet: four frames at 2 frames a clock unit; after clock 0.6 it
    // shows frame 1, the band 0.25..0.5.
    const std::vector<Case> cases = {
        {"plain", false, 0, 0, 0, 1, 0, 1},
        {"flipped across", false, 1, 0, 1, 0, 0, 1},
        {"flipped upside down", false, 0, 1, 0, 1, 1, 0},
        {"sheet frame 1", true, 0, 0, 0.25f, 0.5f, 0, 1},
        {"sheet frame 1 both flips", true, 1, 1, 0.5f, 0.25f, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Plain d;
        d.image = Picture(256, 64);
        d.size.value = 40;
        d.sheetOn = c.sheet;
        d.sheetFrames = 4;
        d.sheetRate = 2.0f;
        d.flipHorizontal.value = c.flipH;
        d.flipVertical.value = c.flipV;
        auto obj = Populate(d);
        for (float t : {0.2f, 0.4f, 0.6f, 0.8f}) obj->FrameMove(t);
        EXPECT_EQ(obj->sheetFrame, c.sheet ? 1u : 0u);
        const auto v = Vertices(*obj);
        EXPECT_FLOAT_EQ(v[1].u, c.ua);
        EXPECT_FLOAT_EQ(v[1].v, c.va);
        EXPECT_FLOAT_EQ(v[2].u, c.ub);
        EXPECT_FLOAT_EQ(v[2].v, c.vb);
    }
}

TEST_F(SpriteDevice, SheetEdgeCasesStayOnFrameZero) {
    struct Case {
        UINT frames;
        float rate;
        float ub;
    };
    // Rate 0: an infinite period.  0 or 1 frames: the whole picture.
    for (const Case& c : std::vector<Case>{{4, 0.0f, 0.25f}, {1, 5.0f, 1.0f}, {0, 5.0f, 1.0f}}) {
        SCOPED_TRACE(c.frames);
        Plain d;
        d.image = Picture(64, 64);
        d.size.value = 10;
        d.sheetOn = true;
        d.sheetFrames = c.frames;
        d.sheetRate = c.rate;
        auto obj = Populate(d);
        for (float t : {0.2f, 0.4f, 0.6f, 0.8f}) obj->FrameMove(t);
        EXPECT_EQ(obj->sheetFrame, 0u);
        EXPECT_FLOAT_EQ(Vertices(*obj)[2].u, c.ub);
    }
}

TEST_F(SpriteDevice, UpdateOnFrameChangeWithoutDelaysNeverWrites) {
    Plain d;
    d.image = Picture(64, 64);
    d.size.value = 10;
    d.updateOnFrameChange.value = 1;
    auto obj = Populate(d);
    DX_V::PCT* v = obj->Lock();
    for (UINT i = 0; i < obj->vertexCount; ++i) v[i] = {-1, -1, -1, 0, -1, -1};
    obj->Unlock();
    obj->FrameMove(0.1f);
    obj->FrameMove(0.2f);
    EXPECT_FLOAT_EQ(Vertices(*obj)[0].x, -1.0f);

    d.image = Picture(64, 64, {0.05f});  // moves on every frame
    auto moving = Populate(d);
    moving->FrameMove(0.1f);
    EXPECT_FLOAT_EQ(Vertices(*moving)[1].x, 95.0f);
}

// A half-transparent red square over the grey picture in each blend mode,
// and with a half-transparent blue mask drawn over it.
TEST_F(SpriteDevice, PopulationInEachBlendModeAndWithAMask) {
    struct Case {
        const char* name;
        int additive;
        bool mask;
        D3DCOLOR expected;  // grey 0x40 under red at alpha 0.5
    };
    const std::vector<Case> cases = {
        {"blended", 0, false, D3DCOLOR_ARGB(255, 159, 32, 32)},
        {"additive", 1, false, D3DCOLOR_ARGB(255, 191, 64, 64)},
        {"masked, mask additive", 1, true, D3DCOLOR_ARGB(255, 159, 32, 159)},
        {"masked, mask blended", 0, true, D3DCOLOR_ARGB(255, 79, 16, 143)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DS_StatObjConstructor* d = Still(TexturePicture(4, 4, [](UINT, UINT) { return 0x80FF0000u; }), 24, 24, 16);
        d->additive.value = c.additive;
        if (c.mask) d->mask = TexturePicture(4, 4, [](UINT, UINT) { return 0x800000FFu; });
        MakeSlide({d});
        const Image image = Frames({0.0f, 0.05f});
        EXPECT_TRUE(Probe(image, 48, 48, c.expected, 4));
        EXPECT_TRUE(Probe(image, 8, 8, 0xFF404040u, 2));  // outside the sprite
    }
}

// A fish moving towards smaller x is drawn mirrored: its picture (head on
// the right, red; tail on the left, green) shows the head on the left.
TEST_F(SpriteDevice, MirroredFish) {
    auto* fish = new DS_FishConstructor;
    fish->image = TexturePicture(32, 16, [](UINT x, UINT) { return x < 16 ? 0xFF00FF00u : 0xFFFF0000u; });
    fish->size.value = 16;  // 16 x 8 at the centre of the picture
    fish->rangeX = 0.001f;  // x velocity -0.001 + r(draw 2) x 0.002 < 0
    fish->rangeY = 0.0f;
    SetArea(*fish, 0.5f, 0.5f, 0.5f, 0.5f);
    ASSERT_LT(-0.001f + R(2) * 2.0f * 0.001f, 0.0f);
    MakeSlide({fish});
    const Image image = Frames({0.0f, 0.05f});
    EXPECT_TRUE(Probe(image, 20, 32, 0xFFFF0000u, 2));  // head, left
    EXPECT_TRUE(Probe(image, 44, 32, 0xFF00FF00u, 2));  // tail, right
    EXPECT_TRUE(Probe(image, 32, 20, 0xFF404040u, 2));  // above the fish
}

// A sheet of four coloured frames shows frame 1 after clock 0.6 at 2 frames
// a clock unit.
TEST_F(SpriteDevice, SheetFrameDrawn) {
    const D3DCOLOR colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    DS_StatObjConstructor* d =
        Still(TexturePicture(64, 16, [&](UINT x, UINT) { return colours[x / 16]; }), 16, 16, 16);
    d->sheetOn = true;
    d->sheetFrames = 4;
    d->sheetRate = 2.0f;
    MakeSlide({d});
    EXPECT_TRUE(Probe(Frames({0.0f, 0.2f}), 32, 32, colours[0], 2));
    EXPECT_TRUE(Probe(Frames({0.4f, 0.6f, 0.8f}), 32, 32, colours[1], 2));
}

// A picture of two frame textures (red, green) with three delays: the third
// frame of the sequence is drawn with the first texture again.
TEST_F(SpriteDevice, FrameSequencePastTheLastTextureDrawsTheFirst) {
    const D3DCOLOR colours[2] = {0xFFFF0000u, 0xFF00FF00u};
    DS_ImageFileLink frames = Picture(4, 4, {0.1f, 0.1f, 10.0f});
    DS_ImageSet& set = manager_->Tables().imageCache[frames.key];
    set.ResizeFrames(2);
    for (size_t i = 0; i < 2; ++i) {
        DS_TextureInfo info;
        info.texture = DS_TextureRef::Adopt(harness_.MakeTexture(4, 4, [&](UINT, UINT) { return colours[i]; }));
        info.SetSize(4, 4);
        set.SetFrame(i, info);
    }
    MakeSlide({Still(frames, 16, 16, 16)});
    EXPECT_TRUE(Probe(Frames({0.0f, 0.05f}), 32, 32, colours[0], 2));  // frame 0
    EXPECT_TRUE(Probe(Frames({0.15f, 0.2f}), 32, 32, colours[1], 2));  // frame 1
    EXPECT_TRUE(Probe(Frames({0.3f, 0.35f}), 32, 32, colours[0], 2));  // frame 2: texture 0
    EXPECT_TRUE(Probe(Frames({5.0f}), 32, 32, colours[0], 2));         // and it stays
}

TEST_F(SpriteDevice, NothingDrawnWithoutABufferOrAPicture) {
    Plain unresolved;
    unresolved.size.value = 10;
    Plain none;
    none.image = TexturePicture(4, 4, [](UINT, UINT) { return 0xFFFF0000u; });
    none.count.value = 0;
    MakeSlide({unresolved.Clone(), none.Clone()});
    const Image image = Frames({0.0f, 0.05f});
    EXPECT_TRUE(Probe(image, 32, 32, 0xFF404040u, 2));
}
