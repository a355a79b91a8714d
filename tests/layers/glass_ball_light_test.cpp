// The glass-ball layer: its record, the lens numbers and the stage-1
// texture matrix worked out by hand for known sizes, strengths and aspects,
// the generated textures texel by texel, the background placement and bars,
// the scroll and swing, and, on a real device, the ball refracting the
// captured slide inside its disc while the background shows outside it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "document/load_error.h"
#include "layers/glass_ball_light.h"
#include "platform/d3d9/d3d9_testing.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::Probe;
using tessaloom::testing::RecordBytes;

void WriteLink(DS_IOF_W& w, const std::u16string& path, INT64 stamp) {
    w.WriteString(path);
    w.WriteInt64(stamp);
}

// A version-1 record with every field away from its default.
void WriteGlassBall(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_GlassBallLight", 1);
    WriteLink(w, u"C:\\ball\\rim.tga", 11);
    WriteLink(w, u"C:\\ball\\glint.tga", 12);
    WriteLink(w, u"common_res.dll", 61);
    WriteLink(w, u"C:\\ball\\room.tga", 14);
    w.WriteUInt(100);  // scroll speed: 1 + 100 x 0.02 = 3
    w.WritePair(POINT{-40, 75});
    w.WriteUInt(80);   // size
    w.WriteUInt(30);   // lens strength
    w.WriteLong(0);    // overlay 1
    w.WriteLong(2);    // overlay 2
    w.WriteLong(1);    // shine
    w.WriteLong(1);    // background source
    w.WriteLong(2);    // scroll mode
    w.WriteInt(0x00123456);
    w.WriteInt(0x00ABCDEF);
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    WriteLink(w, u"C:\\pictures\\market.tga", 77);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(1);
    w.WriteUInt(120);
    w.WriteUInt(30);
}

std::unique_ptr<DS_GlassBallLight> ReadBall(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    DS_2D_Light* layer = ReadLightByClassName(reader);
    if (left) *left = buffer.Remaining();
    auto* ball = dynamic_cast<DS_GlassBallLight*>(layer);
    EXPECT_NE(ball, nullptr);
    if (!ball) delete layer;
    return std::unique_ptr<DS_GlassBallLight>(ball);
}

// The process-wide scroll clock starts afresh for every test.
void ResetScrollClock() {
    DS_GlassBallLight::scrollAccumulator = 0.0f;
    DS_GlassBallLight::previousFrameTime = 0.0;
    DS_GlassBallLight::hasPreviousFrameTime = false;
}

TEST(GlassBallRecord, TheClassNameResolves) {
    const auto& registry = GetLightReaderRegistry();
    const auto found = registry.find(u"DS_GlassBallLight");
    ASSERT_NE(found, registry.end());
    EXPECT_NE(found->second, nullptr);
}

TEST(GlassBallRecord, Defaults) {
    DS_GlassBallLight ball;
    EXPECT_EQ(ball.overlay1Image.key, ModuleKey(58));
    EXPECT_EQ(ball.overlay2Image.key, ModuleKey(59));
    EXPECT_EQ(ball.shineImage.key, ModuleKey(60));
    EXPECT_EQ(ball.backgroundImage.key, ModuleKey(5));
    EXPECT_EQ(ball.scrollSpeed.value, 0u);
    EXPECT_FLOAT_EQ(ball.scrollSpeed.Converted(), 1.0f);
    EXPECT_EQ(ball.ballPosition.value.x, 0);
    EXPECT_EQ(ball.ballPosition.value.y, 0);
    EXPECT_EQ(ball.size.value, 100u);
    EXPECT_EQ(ball.lensStrength.value, 0u);
    EXPECT_EQ(ball.overlay1Flag.value, 1);
    EXPECT_EQ(ball.overlay2Flag.value, 1);
    EXPECT_EQ(ball.shineFlag.value, 0);
    EXPECT_EQ(ball.backgroundSource.value, 0);
    EXPECT_EQ(ball.scrollMode.value, 3);
    EXPECT_EQ(ball.gradientTop.value, 0u);
    EXPECT_EQ(ball.gradientBottom.value, 0u);
    EXPECT_FLOAT_EQ(ball.eyeZ, -600.0f);
    EXPECT_EQ(ball.backgroundMode, DS_POS_FIT);
    EXPECT_TRUE(ball.NeedsSceneTexture());
}

// Every field is read, the base record after them; written back, the bytes
// are the same, and every proper prefix stops with the load error.
TEST(GlassBallRecord, ReadWrittenBackAndTruncated) {
    const std::vector<BYTE> bytes = RecordBytes(WriteGlassBall);
    size_t left = 1;
    auto ball = ReadBall(bytes, &left);
    ASSERT_TRUE(ball);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(ball->overlay1Image.key, (DS_LinkKey{u"C:\\ball\\rim.tga", 11}));
    EXPECT_EQ(ball->overlay2Image.key, (DS_LinkKey{u"C:\\ball\\glint.tga", 12}));
    EXPECT_EQ(ball->shineImage.key, ModuleKey(61));
    EXPECT_EQ(ball->backgroundImage.key, (DS_LinkKey{u"C:\\ball\\room.tga", 14}));
    EXPECT_EQ(ball->scrollSpeed.value, 100u);
    EXPECT_FLOAT_EQ(ball->scrollSpeed.Converted(), 3.0f) << "the converted speed follows the value read";
    EXPECT_EQ(ball->ballPosition.value.x, -40);
    EXPECT_EQ(ball->ballPosition.value.y, 75);
    EXPECT_EQ(ball->size.value, 80u);
    EXPECT_EQ(ball->lensStrength.value, 30u);
    EXPECT_EQ(ball->overlay1Flag.value, 0);
    EXPECT_EQ(ball->overlay2Flag.value, 2);
    EXPECT_EQ(ball->shineFlag.value, 1);
    EXPECT_EQ(ball->backgroundSource.value, 1);
    EXPECT_EQ(ball->scrollMode.value, 2);
    EXPECT_EQ(ball->gradientTop.value, 0x00123456u);
    EXPECT_EQ(ball->gradientBottom.value, 0x00ABCDEFu);
    EXPECT_EQ(ball->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\market.tga", 77}));
    EXPECT_EQ(ball->camera.zoom.value, 120u);

    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { ball->Write(w); }), bytes);
    // A default layer written and read again keeps its defaults.
    DS_GlassBallLight fresh;
    auto again = ReadBall(RecordBytes([&](DS_IOF_W& w) { fresh.Write(w); }), &left);
    ASSERT_TRUE(again);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(again->scrollMode.value, 3);
    EXPECT_EQ(again->overlay2Image.key, ModuleKey(59));

    for (size_t n = 0; n < bytes.size(); ++n) {
        std::unique_ptr<BYTE[]> exact(new BYTE[n ? n : 1]);
        if (n) std::memcpy(exact.get(), bytes.data(), n);
        ResourceBuffer buffer(exact.get(), n);
        DS_DocumentReader reader(&buffer);
        EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << n << " bytes";
    }
}

// ---------------------------------------------------------------- lens --

// z = -600 / (0.75 s / 100 + 0.25) / (sx ry);
// k1 = ((s ry sx / 100) 1.105 + 0.385) 1.05 (1 + 0.5 g / 100);
// k3 = 0.125 + 0.5 g 0.125 / 100.
TEST(GlassBallLens, ParametersForSizeStrengthAndShare) {
    struct Case {
        unsigned size, strength;
        float sx, ry;
        float z, k1, k3;
    } cases[] = {
        {100, 0, 1.0f, 1.0f, -600.0f, 1.5645f, 0.125f},
        {0, 0, 1.0f, 1.0f, -2400.0f, 0.40425f, 0.125f},  // size 0: four times as far
        {50, 40, 1.0f, 0.8f, -1200.0f, 1.04202f, 0.15f},
        {100, 100, 2.0f, 0.5f, -600.0f, 2.346750f, 0.1875f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "size " << c.size << " strength " << c.strength);
        DS_GlassBallLight ball;
        ball.size.value = c.size;
        ball.lensStrength.value = c.strength;
        ball.zoomX = c.sx;
        ball.heightShare = c.ry;
        ball.ComputeLensParams();
        EXPECT_NEAR(ball.eyeZ, c.z, 1e-3f);
        EXPECT_NEAR(ball.lensScale, c.k1, 1e-5f);
        EXPECT_NEAR(ball.swingAmplitude, c.k3, 1e-6f);
    }
}

// The world translation and the stage-1 texture matrix, worked out from
// tx0 = (-z / 600)((px + 250) sx - 250 + (500 ox / W) / rx), ty0 likewise,
// F = 1.5 - 0.01 floor(g / 2), u = k3 swing - (F tx / W) / q, v = (ty / H) F,
// M11 = 0.5 P11 / (L P33 + P34), M22 = -0.5 P22 / (..), M41 = frac(u) + 0.5,
// M42 = v + 0.5, with P the perspective of pi / 4 for the picture's aspect
// (the background's with the lens off over a background picture).
TEST(GlassBallLens, TextureMatrixForKnownSizeStrengthAndAspect) {
    struct Case {
        const char* what;
        unsigned size, strength;
        float swing;
        LONG px, py;
        UINT pw, ph;
        int source;
        UINT bw, bh;
        float rx, ry;
        bool lens;
        float tx, ty, m11, m22, m41, m42;
    } cases[] = {
        {"landscape picture, lens on", 100, 20, 1.0f, 50, -100, 200, 100, 0, 0, 0, 1, 1, true,
         50, 100, 0.000583756f, -0.001167511f, 0.59375f, 0.733333333f},
        {"landscape picture, lens off", 100, 20, 1.0f, 50, -100, 200, 100, 0, 0, 0, 1, 1, false,
         50, 100, 0.001003914f, -0.002007829f, 0.5f, 0.5f},
        // A portrait picture's whole-number quotient is 0; it is taken as 1.
        {"portrait picture, lens on", 100, 20, 1.0f, 50, -100, 100, 200, 0, 0, 0, 1, 1, true,
         50, 100, 0.002335023f, -0.001167511f, 0.55f, 0.733333333f},
        {"background picture, lens on", 50, 40, -1.0f, -30, 20, 300, 100, 1, 400, 200, 0.9f, 0.8f, true,
         -72, -32, 0.000321422f, -0.000964265f, 1.389f, 0.430666667f},
        {"background picture, lens off", 50, 40, -1.0f, -30, 20, 300, 100, 1, 400, 200, 0.9f, 0.8f, false,
         -72, -32, 0.000627838f, -0.001255676f, 0.5f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DS_GlassBallLight ball;
        ball.size.value = c.size;
        ball.lensStrength.value = c.strength;
        ball.swing = c.swing;
        ball.ballPosition.value = POINT{c.px, c.py};
        ball.pictureQuad.info.width = c.pw;
        ball.pictureQuad.info.height = c.ph;
        ball.backgroundSource.value = c.source;
        ball.background.width = c.bw;
        ball.background.height = c.bh;
        ball.widthShare = c.rx;
        ball.heightShare = c.ry;
        ball.targetWidth = 800;
        ball.targetHeight = 600;
        ball.ComputeLensParams();
        D3DXMATRIX world, view, projection;
        ball.ComputeLensTransforms(c.lens, 800.0f, 600.0f, &world, &view, &projection);
        EXPECT_NEAR(world._41, c.tx, 1e-3f);
        EXPECT_NEAR(world._42, c.ty, 1e-3f);
        const D3DXMATRIX& m = ball.textureMatrix;
        EXPECT_NEAR(m._11, c.m11, 1e-8f);
        EXPECT_NEAR(m._22, c.m22, 1e-8f);
        EXPECT_NEAR(m._41, c.m41, 1e-5f);
        EXPECT_NEAR(m._42, c.m42, 1e-5f);
        EXPECT_EQ(m._12, 0.0f);
        EXPECT_EQ(m._21, 0.0f);
        EXPECT_EQ(m._31, 0.0f);
        EXPECT_EQ(m._32, 0.0f);
        // The eye looks at the ball from z along +z; the projection is the
        // target's aspect.
        EXPECT_NEAR(view._43, -ball.eyeZ, 1e-3f);
        EXPECT_NEAR(projection._22, 2.4142136f, 1e-5f);
        EXPECT_NEAR(projection._11, 2.4142136f * 0.75f, 1e-5f);
    }
}

// Nothing is known yet (no picture, no background, no target): every lens
// value stays a number.
TEST(GlassBallLens, NothingLoadedDividesByNothing) {
    DS_GlassBallLight ball;
    ball.Resize(0, 0);
    ball.heightShare = 0.0f;
    ball.ComputeLensParams();
    D3DXMATRIX world, view, projection;
    for (bool lens : {true, false}) {
        ball.ComputeLensTransforms(lens, 0.0f, 0.0f, &world, &view, &projection);
        for (float v : {ball.eyeZ, ball.lensScale, world._41, world._42, ball.textureMatrix._11,
                        ball.textureMatrix._22, ball.textureMatrix._41, ball.textureMatrix._42, projection._11})
            EXPECT_TRUE(std::isfinite(v)) << lens;
    }
}

// ------------------------------------------------------------- on device --

constexpr UINT kSize = 64;

// The picture: red rises to the right, green downwards, blue constant; no
// pixel of it is grey.
D3DCOLOR PictureTexel(UINT x, UINT y) { return D3DCOLOR_ARGB(255, x * 4, y * 4, 0x40); }

class GlassBallOnDevice : public tessaloom::testing::LayerSlideFixture {
protected:
    void SetUp() override {
        LayerSlideFixture::SetUp();
        ResetScrollClock();
    }
    void TearDown() override {
        slide.reset();
        tessaloom::d3d9::ClearFaults();
        ResetScrollClock();
        LayerSlideFixture::TearDown();
    }
    // The ball on a kSize x kSize back buffer, its camera still.
    DS_GlassBallLight& MakeSlide(const std::function<void(DS_GlassBallLight&)>& setup = {}) {
        auto* ball = new DS_GlassBallLight;
        ball->camera.enabled.value = 0;
        if (setup) setup(*ball);
        return ShowLayer(ball);
    }
};

// Texels of the three generated textures as the layer writes them.
TEST_F(GlassBallOnDevice, GeneratedTextures) {
    DS_GlassBallLight& ball = MakeSlide([](DS_GlassBallLight& b) {
        b.gradientTop.value = 0x0000C800;     // green 200
        b.gradientBottom.value = 0x00000064;  // red 100
    });
    ASSERT_TRUE(ball.bumpTexture.Get());
    D3DSURFACE_DESC desc{};
    ball.bumpTexture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_V16U16);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(ball.bumpTexture->GetLevelCount(), 1u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(ball.bumpTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto bump = [&](int x, int y) {
        int16_t uv[2];
        std::memcpy(uv, static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        return std::make_pair(static_cast<int>(uv[0]), static_cast<int>(uv[1]));
    };
    EXPECT_EQ(bump(128, 128), std::make_pair(63, 63));
    EXPECT_EQ(bump(129, 129), std::make_pair(190, 190));
    EXPECT_EQ(bump(255, 128), std::make_pair(0, 0)) << "the last column has no neighbour";
    EXPECT_EQ(bump(5, 5), std::make_pair(0, 0)) << "outside the disc";
    // The last row: (y - 128)^2 = 16129 leaves h = sqrt(255 - (x - 128)^2)
    // inside the disc, and its row below (256) is outside: V = trunc(atan(h)
    // x 16297.4658).  At 128: h = 15.96872, its right neighbour 15.93738, so
    // U = trunc(atan(0.03134) x 16297.47) = 510, V = trunc(1.50826 x 16297.47)
    // = 24580; at 120: h = sqrt(191), right sqrt(206): (-7973, 24422); at 143
    // the right neighbour is outside too: U = V = trunc(atan(sqrt(30)) x
    // 16297.47) = 22656.
    EXPECT_EQ(bump(128, 255), std::make_pair(510, 24580));
    EXPECT_EQ(bump(120, 255), std::make_pair(-7973, 24422));
    EXPECT_EQ(bump(143, 255), std::make_pair(22656, 22656));
    // Left of the centre the height rises to the right: a negative slope.
    EXPECT_LT(bump(60, 128).first, 0);
    EXPECT_GT(bump(200, 128).first, 0);
    ball.bumpTexture->UnlockRect(0);

    ASSERT_TRUE(ball.maskTexture.Get());
    ball.maskTexture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8);
    EXPECT_EQ(desc.Width, 1024u);
    ASSERT_EQ(ball.maskTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto mask = [&](int x, int y) { return static_cast<const BYTE*>(locked.pBits)[y * locked.Pitch + x]; };
    EXPECT_EQ(mask(512, 512), 0);
    EXPECT_EQ(mask(512 + 508, 512), 0) << "on the radius: inside";
    EXPECT_EQ(mask(512 + 509, 512), 0xFF);
    EXPECT_EQ(mask(0, 0), 0xFF);
    ball.maskTexture->UnlockRect(0);

    // Row y: c1 + (y / 255)(c2 - c1) truncated, alpha 0; every level written.
    IDirect3DTexture9* gradient = ball.gradientTexture.Get();
    ASSERT_TRUE(gradient);
    ASSERT_EQ(gradient->GetLevelCount(), 9u);
    ASSERT_EQ(gradient->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto texel = [&](UINT x, UINT y) {
        D3DCOLOR c;
        std::memcpy(&c, static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        return c;
    };
    EXPECT_EQ(texel(0, 0), D3DCOLOR_ARGB(0, 0, 200, 0));
    EXPECT_EQ(texel(200, 128), D3DCOLOR_ARGB(0, 50, 99, 0));
    EXPECT_EQ(texel(17, 255), D3DCOLOR_ARGB(0, 100, 0, 0));
    gradient->UnlockRect(0);
    for (UINT level = 1; level < 9; ++level) {
        SCOPED_TRACE(level);
        gradient->GetLevelDesc(level, &desc);
        ASSERT_EQ(gradient->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        // The middle row of every level lies near the middle of the ramp.
        const D3DCOLOR c = texel(desc.Width - 1, desc.Height / 2);
        const int red = static_cast<int>((c >> 16) & 0xFF), green = static_cast<int>((c >> 8) & 0xFF);
        EXPECT_NEAR(red, level == 8 ? 50 : 50 + 100 / static_cast<int>(desc.Height) / 2, 2);
        EXPECT_NEAR(green, 200 - 2 * red, 4);
        gradient->UnlockRect(level);
    }
}

// A 100 x 50 background picture in Fit on a 64 x 64 target: a letterbox
// from y 16 to 48; shares rx = 64 / 66, ry = 32 / 66; bars one pixel wide at
// the sides and 17 high above and below.  The gradient instead fills: with
// the Fill scale of 2 about the picture's centre the quad covers the screen.
TEST_F(GlassBallOnDevice, BackgroundPlacementSharesAndBars) {
    AddPicture(14, 100, 50, [](UINT, UINT) { return 0xff336699u; });
    DS_GlassBallLight& ball = MakeSlide([](DS_GlassBallLight& b) {
        b.backgroundImage.key = ModuleKey(14);
        b.backgroundSource.value = 1;
    });
    ball.SetPicturePosition(DS_POS_FIT);
    EXPECT_EQ(ball.backgroundMode, DS_POS_FIT);
    EXPECT_EQ(ball.backgroundQuad.texture.Get(), ball.background.texture.Get());
    EXPECT_FLOAT_EQ(ball.zoomX, 1.0f);
    EXPECT_FLOAT_EQ(ball.panX, 0.0f);
    EXPECT_NEAR(ball.widthShare, 64.0f / 66.0f, 1e-6f);
    EXPECT_NEAR(ball.heightShare, 32.0f / 66.0f, 1e-6f);
    EXPECT_NEAR(ball.eyeZ, -600.0f / (32.0f / 66.0f), 1e-2f);
    auto corners = [](DS_SimpleMesh<DX_V::TPC>& mesh, float x0, float y0, float x1, float y1) {
        DX_V::TPC* v = mesh.Lock(D3DLOCK_READONLY);
        ASSERT_NE(v, nullptr);
        const float expected[4][2] = {{x0, y1}, {x0, y0}, {x1, y1}, {x1, y0}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
            EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
        }
        mesh.Unlock();
    };
    corners(ball.bars[0], 0, 0, 1, 32);
    corners(ball.bars[1], 64, 0, 65, 32);
    corners(ball.bars[2], 0, 0, 64, 17);
    corners(ball.bars[3], 0, 48, 64, 65);
    DX_V::TPCT* q = ball.backgroundQuad.Lock(D3DLOCK_READONLY);
    ASSERT_NE(q, nullptr);
    EXPECT_FLOAT_EQ(q[0].y, 48.0f);
    EXPECT_FLOAT_EQ(q[1].y, 16.0f);
    EXPECT_FLOAT_EQ(q[3].x, 64.0f);
    EXPECT_FLOAT_EQ(q[0].v, 1.0f);
    ball.backgroundQuad.Unlock();

    // The gradient: mode Fill whatever the picture position asks.
    ball.backgroundSource.value = 0;
    ball.SelectBackground();
    ball.SetPicturePosition(DS_POS_FIT);
    EXPECT_EQ(ball.backgroundMode, DS_POS_FILL);
    EXPECT_EQ(ball.backgroundQuad.texture.Get(), ball.gradientTexture.Get());
    EXPECT_FLOAT_EQ(ball.zoomX, 2.0f);
    EXPECT_FLOAT_EQ(ball.panX, -32.0f);
    EXPECT_FLOAT_EQ(ball.panY, -16.0f);
    q = ball.backgroundQuad.Lock(D3DLOCK_READONLY);
    ASSERT_NE(q, nullptr);
    EXPECT_FLOAT_EQ(q[1].x, -32.0f);
    EXPECT_FLOAT_EQ(q[1].y, 0.0f);
    EXPECT_FLOAT_EQ(q[2].x, 96.0f);
    EXPECT_FLOAT_EQ(q[2].y, 64.0f);
    ball.backgroundQuad.Unlock();
}

// Scroll mode 2 at S = 1: f = 0.5, quad 1 from W / 2 to 3W / 2, quad 2 from
// -W / 2 to W / 2.  The swing is a triangle wave: 1 at S = 0, -1 at 1, 1 at
// 2.  At speed 1, 16 s add 1 to S.
TEST_F(GlassBallOnDevice, ScrollQuadsAndSwing) {
    DS_GlassBallLight& ball = MakeSlide([](DS_GlassBallLight& b) { b.scrollMode.value = 2; });
    ball.FrameMove(100.0);  // the first call only sets the time
    EXPECT_FLOAT_EQ(DS_GlassBallLight::scrollAccumulator, 0.0f);
    ball.FrameMove(116.0);
    EXPECT_FLOAT_EQ(DS_GlassBallLight::scrollAccumulator, 1.0f);
    DX_V::TPCT* q = ball.scrollQuads[0].Lock(D3DLOCK_READONLY);
    ASSERT_NE(q, nullptr);
    EXPECT_FLOAT_EQ(q[1].x, 32.0f);
    EXPECT_FLOAT_EQ(q[3].x, 96.0f);
    EXPECT_FLOAT_EQ(q[0].y, 64.0f);
    ball.scrollQuads[0].Unlock();
    q = ball.scrollQuads[1].Lock(D3DLOCK_READONLY);
    ASSERT_NE(q, nullptr);
    EXPECT_FLOAT_EQ(q[1].x, -32.0f);
    EXPECT_FLOAT_EQ(q[3].x, 32.0f);
    ball.scrollQuads[1].Unlock();
    EXPECT_FLOAT_EQ(ball.swing, 0.0f);

    ball.scrollMode.value = 3;
    ResetScrollClock();
    const float expected[] = {1.0f, -1.0f, 1.0f, 0.0f};
    for (int i = 0; i < 4; ++i) {
        ball.FrameMove(i == 3 ? 56.0 : 16.0 * i);  // S = 0, 1, 2 (kept as 0), 1.5
        EXPECT_NEAR(ball.swing, expected[i], 1e-6f) << i;
    }
    // Mode 0 holds the clock: the time is not taken, the swing is 0.
    ball.scrollMode.value = 0;
    ball.FrameMove(80.0);
    EXPECT_FLOAT_EQ(ball.swing, 0.0f);
    EXPECT_DOUBLE_EQ(DS_GlassBallLight::previousFrameTime, 56.0);
}

// After four days the accumulator is still within one period and a frame's
// step of 0.03 s still adds its full 0.001875.
TEST_F(GlassBallOnDevice, TheScrollClockDoesNotStallAfterDays) {
    DS_GlassBallLight& ball = MakeSlide([](DS_GlassBallLight& b) { b.scrollMode.value = 1; });
    ball.FrameMove(0.0);
    ball.FrameMove(4 * 86400.0 + 0.5);  // S = 21600.03125, kept as 0.03125
    EXPECT_GE(DS_GlassBallLight::scrollAccumulator, 0.0f);
    EXPECT_LT(DS_GlassBallLight::scrollAccumulator, DS_GlassBallLight::kScrollPeriod);
    EXPECT_NEAR(DS_GlassBallLight::scrollAccumulator, 0.03125f, 1e-4f);
    for (int i = 1; i <= 10; ++i) {
        const float before = DS_GlassBallLight::scrollAccumulator;
        ball.FrameMove(4 * 86400.0 + 0.5 + 0.03 * i);
        EXPECT_NEAR(DS_GlassBallLight::scrollAccumulator - before, 0.001875f, 1e-6f) << i;
    }
}

// The ball refracts the captured slide inside its disc: with the real bump
// map the disc's pixels differ from those of a flat one, while outside the
// disc both frames show the same background, the grey gradient, never the
// picture.
TEST_F(GlassBallOnDevice, TheBallDistortsInsideTheDiscAndNotOutside) {
    AddPicture(5, kSize, kSize, PictureTexel);
    DS_GlassBallLight& ball = MakeSlide([](DS_GlassBallLight& b) {
        b.pictureLink.key = ModuleKey(5);
        b.size.value = 60;  // a disc of about 23 pixels' radius
        b.scrollMode.value = 0;
        b.overlay1Flag.value = 0;
        b.overlay2Flag.value = 0;
        b.gradientTop.value = 0x00202020;
        b.gradientBottom.value = 0x00A0A0A0;
    });
    ASSERT_TRUE(ball.renderTargets.HasTextures());
    const Image refracted = Frame(0.1);
    // The same frame through a flat bump map: slopes of 0 everywhere.
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(harness.device->CreateTexture(256, 256, 1, 0, D3DFMT_V16U16, D3DPOOL_MANAGED, &flat, nullptr), D3D_OK);
    ball.bumpTexture.Attach(flat);
    const Image straight = Frame(0.2);
    refracted.WritePngIfAsked("GlassBall_Refracted");
    straight.WritePngIfAsked("GlassBall_Flat");
    EXPECT_FALSE(ball.renderTargets.Capturing()) << "the layer ended the capture";

    int differing = 0, inside = 0;
    for (UINT y = 0; y < kSize; ++y) {
        for (UINT x = 0; x < kSize; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - 32.0f, dy = static_cast<float>(y) + 0.5f - 32.0f;
            const float r = std::sqrt(dx * dx + dy * dy);
            const D3DCOLOR a = refracted.at(x, y), b = straight.at(x, y);
            if (r > 26.0f) {
                ASSERT_TRUE(tessaloom::testing::ColorNear(a, b, 2)) << x << ", " << y;
                // The background's grey for this row, not the picture.
                const int grey = 32 + static_cast<int>(128.0f * (static_cast<float>(y) + 0.5f) / 64.0f);
                ASSERT_TRUE(Probe(refracted, x, y, D3DCOLOR_ARGB(255, grey, grey, grey), 4));
            } else if (r < 20.0f) {
                ++inside;
                if (!tessaloom::testing::ColorNear(a, b, 6)) ++differing;
                // Inside: the picture (its blue), not the grey background.
                ASSERT_TRUE(tessaloom::testing::ColorNear(a & 0xFFu, 0x40u, 6)) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(differing, inside / 4) << "the bump map bends the picture inside the disc";
    // At the centre the slopes are nearly 0: the picture's centre, magnified.
    EXPECT_TRUE(Probe(refracted, 32, 32, PictureTexel(32, 32), 8));
}

// Over a 100 x 50 background picture in Fit the letterbox bars are drawn
// black above and below it; beside the ball the background picture shows,
// and the ball shows the slide.
TEST_F(GlassBallOnDevice, BackgroundPictureWithItsBars) {
    AddPicture(5, kSize, kSize, PictureTexel);
    AddPicture(14, 100, 50, [](UINT, UINT) { return 0xff2050d0u; });
    MakeSlide([](DS_GlassBallLight& b) {
        b.pictureLink.key = ModuleKey(5);
        b.backgroundImage.key = ModuleKey(14);
        b.backgroundSource.value = 1;
        b.scrollMode.value = 0;
        b.overlay1Flag.value = 0;
        b.overlay2Flag.value = 0;
    });
    slide->SetPicturePosition(DS_POS_FIT);
    // Whatever the back buffer held before stays only where nothing draws.
    harness.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffff00ffu, 1.0f, 0);
    const Image image = Frame(0.1);
    image.WritePngIfAsked("GlassBall_BackgroundPicture");
    for (UINT y : {0u, 8u, 15u, 49u, 63u}) EXPECT_TRUE(Probe(image, 40, y, 0xff000000u, 2)) << "bar row " << y;
    EXPECT_TRUE(Probe(image, 3, 32, 0xff2050d0u, 3)) << "the background beside the ball";
    EXPECT_TRUE(Probe(image, 32, 32, PictureTexel(32, 32), 10)) << "the slide in the ball";
}

// Scroll mode 1 slides the captured picture across the ball: two frames
// 8 s apart differ inside the disc.
TEST_F(GlassBallOnDevice, ScrollingMovesTheSlideInTheBall) {
    AddPicture(5, kSize, kSize, PictureTexel);
    MakeSlide([](DS_GlassBallLight& b) {
        b.pictureLink.key = ModuleKey(5);
        b.scrollMode.value = 1;
        b.overlay1Flag.value = 0;
        b.overlay2Flag.value = 0;
    });
    const Image a = Frame(1.0);
    const Image b = Frame(9.0);
    EXPECT_FALSE(tessaloom::testing::ColorNear(a.at(32, 32), b.at(32, 32), 16));
}

// Every vertex buffer creation fails: the layer ends its device objects at
// the ball buffer, before bars, shine and background exist; resizing and
// drawing then lock nothing and divide by nothing.
TEST_F(GlassBallOnDevice, WithoutBuffersNothingIsLockedOrDivided) {
    tessaloom::d3d9::FailResourceCreation(D3DRTYPE_VERTEXBUFFER, 1000);
    DS_GlassBallLight& ball = MakeSlide();
    tessaloom::d3d9::ClearFaults();
    EXPECT_FALSE(ball.ballBuffer.vertexBuffer);
    EXPECT_FALSE(ball.shineBuffer.vertexBuffer);
    for (const auto& bar : ball.bars) EXPECT_FALSE(bar.vertexBuffer);
    EXPECT_EQ(ball.background.width, 0u) << "the background was never loaded";
    ball.Resize(64, 64);
    Frame(0.5);
    for (float v : {ball.eyeZ, ball.lensScale, ball.widthShare, ball.heightShare, ball.panX, ball.panY,
                    ball.textureMatrix._11, ball.textureMatrix._41})
        EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
