// The lake layer: the fold of the picture rectangle onto the lake, the plane
// and overlay quads it lays out for the default and the edge values, its
// record in every version, and, on a real device, the mirrored band under
// the horizon, the ripple moving it, and the picture drawn in the first frame
// after each restore.
#include <gtest/gtest.h>

#include <cmath>

#include "document/load_error.h"
#include "document/res_cache.h"
#include "layers/fake_lake_2d.h"
#include "platform/d3d9/d3d9_testing.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::Probe;
using tessaloom::testing::RecordBytes;

DS_QuadVerts PictureRect(float w, float h) {
    DS_QuadVerts q;
    const float corners[4][2] = {{0, h}, {0, 0}, {w, h}, {w, 0}};
    for (int i = 0; i < 4; ++i) {
        q.c[i].x = corners[i][0];
        q.c[i].y = corners[i][1];
    }
    return q;
}

// The fold: the lake spans y from (1 - p) H (the horizon, P1 and P3) to H
// (P0 and P2) and shows v from 1 - p at the horizon to 1 - 2p at the bottom;
// x and u stay.  p = 0.375 is the default (raw 25), 0.5 raw 0, 0 raw 100,
// -0.005 raw 101 (the lake turns over below the picture's bottom edge).
TEST(LakeLayout, LerpQuadFoldsThePictureOntoTheLake) {
    struct Case {
        float p, horizonY, horizonV, bottomV;
    } cases[] = {{0.375f, 480, 0.625f, 0.25f}, {0.5f, 384, 0.5f, 0.0f}, {0.0f, 768, 1.0f, 1.0f},
                 {-0.005f, 771.84f, 1.005f, 1.01f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p);
        DS_QuadVerts q = PictureRect(1024, 768);
        FakeLake2D::LerpQuad(q, c.p);
        const float y[4] = {768, c.horizonY, 768, c.horizonY};
        const float v[4] = {c.bottomV, c.horizonV, c.bottomV, c.horizonV};
        const float x[4] = {0, 0, 1024, 1024}, u[4] = {0, 0, 1, 1};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(q.c[i].y, y[i], 1e-3f) << i;
            EXPECT_NEAR(q.c[i].v, v[i], 1e-6f) << i;
            EXPECT_FLOAT_EQ(q.c[i].x, x[i]) << i;
            EXPECT_FLOAT_EQ(q.c[i].u, u[i]) << i;
        }
    }
}

TEST(LakeRecord, Defaults) {
    FakeLake2D lake;
    EXPECT_FLOAT_EQ(lake.rippleSpeed.Converted(), 1.0f);
    EXPECT_FLOAT_EQ(lake.tiling.Converted(), 1.0f);
    EXPECT_FLOAT_EQ(lake.perspective.Converted(), 0.375f);
    EXPECT_FLOAT_EQ(lake.greyAlpha.Converted(), 1.0f);
    EXPECT_FLOAT_EQ(lake.nearTintAlpha.Converted(), 0.248f);
    EXPECT_FLOAT_EQ(lake.farTintFade.Converted(), 0.58f);
    EXPECT_EQ(lake.normalAmplitude.value, 25u);
    EXPECT_EQ(lake.hazeHeight.value, 7u);
    EXPECT_EQ(lake.reflectionSize.value, 1);
    EXPECT_EQ(lake.tintColor.value, 0x408000u);
    EXPECT_EQ(lake.DeviceTint(), 0x008040u) << "red from the COLORREF's low byte";
    EXPECT_FALSE(lake.NeedsSceneTexture());
    EXPECT_EQ(lake.flag, 1);
    EXPECT_TRUE(lake.path.empty());
    FakeLake2D other;
    EXPECT_NE(std::memcmp(&lake.bumpKey, &other.bumpKey, sizeof(GUID)), 0) << "each layer a key of its own";
}

const char16_t* const kKeyText = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

void WriteLayerBase(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    w.WriteString(u"C:\\pictures\\lake.tga");
    w.WriteInt64(42);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(1);
    w.WriteUInt(110);
    w.WriteUInt(40);
}

void WriteLake(DS_IOF_W& w, INT version) {
    WriteRecordHeader(w, u"FakeLake2D", version);
    if (version >= 2) {
        w.WriteUInt(300);  // tiling
        w.WriteUInt(100);  // ripple speed
        w.WriteUInt(0);    // perspective
        w.WriteUInt(40);   // grey alpha
        w.WriteUInt(50);   // near tint alpha
        w.WriteUInt(20);   // far tint fade
        w.WriteUInt(12);   // normal amplitude
        w.WriteUInt(9);    // haze height
        w.WriteLong(2);    // reflection size
        w.WriteInt(0x00112233);
    }
    w.WriteString(kKeyText);
    w.WriteString(u"C:\\bump\\lake.dds");
    w.WriteChar(0);
    WriteLayerBase(w);
}

std::unique_ptr<FakeLake2D> ReadLake(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    return tessaloom::testing::ReadLayerAs<FakeLake2D>(bytes, left);
}

// Version 2 sets every parameter (the scaled ones so that their converted
// values follow); versions 0 and 1 only the key, the path and the flag.
// Written back, every version is a version-2 record that reads the same.
TEST(LakeRecord, EveryVersionReadsAndWritesBack) {
    const GUID key{0x0A1B2C3Du, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    for (INT version : {0, 1, 2}) {
        SCOPED_TRACE(version);
        size_t left = 1;
        auto lake = ReadLake(RecordBytes([&](DS_IOF_W& w) { WriteLake(w, version); }), &left);
        ASSERT_TRUE(lake);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(std::memcmp(&lake->bumpKey, &key, sizeof(GUID)), 0);
        EXPECT_EQ(lake->path, u"C:\\bump\\lake.dds");
        EXPECT_EQ(lake->flag, 0);
        EXPECT_EQ(lake->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\lake.tga", 42}));
        EXPECT_EQ(lake->camera.zoom.value, 110u);
        if (version >= 2) {
            EXPECT_FLOAT_EQ(lake->tiling.Converted(), 3.0f);
            EXPECT_FLOAT_EQ(lake->rippleSpeed.Converted(), 2.0f);
            EXPECT_FLOAT_EQ(lake->perspective.Converted(), 0.5f);
            EXPECT_FLOAT_EQ(lake->greyAlpha.Converted(), 0.4f);
            EXPECT_FLOAT_EQ(lake->nearTintAlpha.Converted(), 0.4f);
            EXPECT_FLOAT_EQ(lake->farTintFade.Converted(), 0.2f);
            EXPECT_EQ(lake->normalAmplitude.value, 12u);
            EXPECT_EQ(lake->hazeHeight.value, 9u);
            EXPECT_EQ(lake->reflectionSize.value, 2);
            EXPECT_EQ(lake->tintColor.value, 0x00112233u);
        } else {
            EXPECT_FLOAT_EQ(lake->tiling.Converted(), 1.0f);
            EXPECT_FLOAT_EQ(lake->perspective.Converted(), 0.375f);
            EXPECT_FLOAT_EQ(lake->nearTintAlpha.Converted(), 0.248f);
            EXPECT_EQ(lake->hazeHeight.value, 7u);
            EXPECT_EQ(lake->tintColor.value, 0x408000u);
        }
        const std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { lake->Write(w); });
        auto again = ReadLake(written, &left);
        ASSERT_TRUE(again);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { again->Write(w); }), written);
        EXPECT_EQ(again->perspective.value, lake->perspective.value);
    }
    const std::vector<BYTE> v2 = RecordBytes([&](DS_IOF_W& w) { WriteLake(w, 2); });
    auto lake = ReadLake(v2);
    ASSERT_TRUE(lake);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { lake->Write(w); }), v2);
}

TEST(LakeRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteLake(w, version); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer buffer(bytes.data(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << version << ": " << n << " bytes";
        }
    }
}

// ------------------------------------------------------------ on a device --

// Picture row y: red 4y, blue 255 - 4y, so a row is known by its colour.
D3DCOLOR Row(UINT, UINT y) { return D3DCOLOR_ARGB(255, y * 4, 0x40, 255 - y * 4); }

class LakeOnDevice : public tessaloom::testing::LayerSlideFixture {
protected:
    // A slide with a lake over a picture of w x h; `bump` (may be null)
    // under the layer's key in the manager's GUID table.
    FakeLake2D& MakeSlide(UINT w, UINT h, IDirect3DTexture9* bump, const std::function<void(FakeLake2D&)>& set = {}) {
        AddPicture(5, w, h, Row);
        auto* lake = new FakeLake2D;
        if (set) set(*lake);
        if (bump) manager->GetGuidTexture(lake->bumpKey) = DS_TextureRef::Share(bump);
        return ShowLayer(lake);
    }
    // A Q8W8V8U8 bump map of one (du, dv) everywhere, Q and W 1.
    IDirect3DTexture9* FlatBump(int8_t du, int8_t dv) {
        const D3DCOLOR texel = 0x7F7F0000u | (static_cast<D3DCOLOR>(static_cast<uint8_t>(dv)) << 8) |
                               static_cast<uint8_t>(du);
        bump_.Attach(harness.MakeTexture(4, 4, [texel](UINT, UINT) { return texel; }, D3DFMT_Q8W8V8U8));
        return bump_.Get();
    }

private:
    DS_ComRef<IDirect3DTexture9> bump_;
};

struct PlaneExpect {
    float horizon, bottom, vHorizon, vBottom;
};

void ExpectPlane(FakeLake2D& lake, float w, const PlaneExpect& e, float t) {
    DS_LakeVertex* v = lake.plane.Lock(D3DLOCK_READONLY);
    ASSERT_NE(v, nullptr);
    // (P1, P0, P2), (P1, P2, P3).
    const float x[6] = {0, 0, w, 0, w, w};
    const float y[6] = {e.horizon, e.bottom, e.bottom, e.horizon, e.bottom, e.horizon};
    const float u1[6] = {0, 0, 1, 0, 1, 1};
    const float v1[6] = {e.vHorizon, e.vBottom, e.vBottom, e.vHorizon, e.vBottom, e.vHorizon};
    const float set0[6][2] = {{0.01f, 0.01f}, {0.01f, t}, {t, t}, {0.01f, 0.01f}, {t, t}, {t, 0.01f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, x[i]) << i;
        EXPECT_NEAR(v[i].y, y[i], 1e-3f) << i;
        EXPECT_FLOAT_EQ(v[i].z, 0.0f) << i;
        EXPECT_FLOAT_EQ(v[i].u1, u1[i]) << i;
        EXPECT_NEAR(v[i].v1, v1[i], 1e-6f) << i;
        EXPECT_FLOAT_EQ(v[i].u0, set0[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].v0, set0[i][1]) << i;
    }
    lake.plane.Unlock();
}

// Corner positions (x, y) and colours of an overlay quad.
void ExpectQuad(DS_SimpleMesh<DX_V::PC>& quad, const float (&xy)[4][2], const D3DCOLOR (&color)[4], const char* what) {
    DX_V::PC* v = quad.Lock(D3DLOCK_READONLY);
    ASSERT_NE(v, nullptr) << what;
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(v[i].x, xy[i][0], 1e-3f) << what << " " << i;
        EXPECT_NEAR(v[i].y, xy[i][1], 1e-3f) << what << " " << i;
        EXPECT_EQ(v[i].z, 0.0f) << what << " " << i;
        EXPECT_EQ(v[i].color, color[i]) << what << " " << i;
    }
    quad.Unlock();
}

// The defaults on a picture 1024 x 768: the lake from 480 to 768 showing v
// 0.625 to 0.25, the tint's alpha bytes 63 at the near edge and 26 at the
// horizon, the haze band 7 pixels high standing on the horizon (alpha 0 on
// top, 26 at the horizon), both in the tint colour 0x008040.
TEST_F(LakeOnDevice, TheDefaultLayout) {
    FakeLake2D& lake = MakeSlide(1024, 768, nullptr);
    EXPECT_EQ(lake.GetPictureHeight(), 768u);
    ExpectPlane(lake, 1024, {480, 768, 0.625f, 0.25f}, 1.0f);
    const float tint[4][2] = {{0, 768}, {0, 480}, {1024, 768}, {1024, 480}};
    ExpectQuad(lake.tintLayer, tint, {0x3F008040u, 0x1A008040u, 0x3F008040u, 0x1A008040u}, "tint");
    const float haze[4][2] = {{0, 473}, {0, 480}, {1024, 473}, {1024, 480}};
    ExpectQuad(lake.hazeBand, haze, {0x00008040u, 0x1A008040u, 0x00008040u, 0x1A008040u}, "haze");
    D3DSURFACE_DESC desc{};
    ASSERT_NE(lake.reflectionQuad.texture.Get(), nullptr);
    lake.reflectionQuad.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 256u) << "reflection size 1: 128 << 1";
    EXPECT_EQ(desc.Height, 256u);
}

// Perspective raw 0 (p = 0.5): the lake fills the bottom half and the haze is
// its height factor again; raw 100 (p = 0): the lake has no height and the
// haze band none (no division by zero); raw 150 (p = -0.25): the lake turns
// over below the bottom edge and there is still no haze.  Tiling 3 and a
// haze factor of 20 on the way.
TEST_F(LakeOnDevice, EdgeValues) {
    struct Case {
        UINT perspective;
        PlaneExpect plane;
        float hazeTop;
    } cases[] = {{0, {384, 768, 0.5f, 0.0f}, 364},
                 {100, {768, 768, 1.0f, 1.0f}, 768},
                 {150, {960, 768, 1.25f, 1.5f}, 960}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.perspective);
        FakeLake2D& lake = MakeSlide(1024, 768, nullptr, [&](FakeLake2D& l) {
            l.perspective.SetValue(c.perspective);
            l.tiling.SetValue(300);
            l.hazeHeight.value = 20;
        });
        ExpectPlane(lake, 1024, c.plane, 3.0f);
        const float horizon = c.plane.horizon;
        const float haze[4][2] = {{0, c.hazeTop}, {0, horizon}, {1024, c.hazeTop}, {1024, horizon}};
        ExpectQuad(lake.hazeBand, haze, {0x00008040u, 0x1A008040u, 0x00008040u, 0x1A008040u}, "haze");
        slide.reset();
    }
}

// Each corner's alpha byte is the low eight bits of trunc(value x 255): a
// tint alpha past 1 or a fade past 1 wraps, it does not stop at 255 or 0.
// Near tint raw 126: A = 1.008, 257.04 -> 257 -> 1; at the horizon
// 1.008 x 0.42 = 0.42336 -> 107.96 -> 107.  Raw 125: A = 1 exactly, 255.
// Fade raw 150: B = 0.248 x -0.5 = -0.124 -> -31.62 -> -31 -> 225.
TEST_F(LakeOnDevice, CornerAlphasKeepTheLowEightBits) {
    struct Case {
        UINT nearAlpha, fade;
        BYTE nearByte, farByte;
    } cases[] = {{126, 58, 1, 107}, {125, 58, 255, 107}, {31, 150, 63, 225}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.nearAlpha << ", " << c.fade);
        FakeLake2D& lake = MakeSlide(1024, 768, nullptr, [&](FakeLake2D& l) {
            l.nearTintAlpha.SetValue(c.nearAlpha);
            l.farTintFade.SetValue(c.fade);
        });
        auto alphas = [](DS_SimpleMesh<DX_V::PC>& quad) {
            std::vector<int> out;
            DX_V::PC* v = quad.Lock(D3DLOCK_READONLY);
            if (!v) return out;
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<int>(v[i].color >> 24));
            quad.Unlock();
            return out;
        };
        // Vertices P0 (bottom left), P1 (top left), P2, P3.
        EXPECT_EQ(alphas(lake.tintLayer), (std::vector<int>{c.nearByte, c.farByte, c.nearByte, c.farByte}));
        EXPECT_EQ(alphas(lake.hazeBand), (std::vector<int>{0, c.farByte, 0, c.farByte}));
        slide.reset();
    }
}

// Without a picture there is nothing to fold: every corner on y 0, no haze.
TEST_F(LakeOnDevice, APictureThatDidNotResolve) {
    FakeLake2D& lake = ShowLayer(new FakeLake2D);
    EXPECT_EQ(lake.GetPictureHeight(), 0u);
    const float zero[4][2] = {};
    ExpectQuad(lake.hazeBand, zero, {0x00008040u, 0x1A008040u, 0x00008040u, 0x1A008040u}, "haze");
}

// Tint and haze off; the lake shows the band above the horizon mirrored: lake
// row 40 + k shows picture row 39 - k.  With a flat bump map the mirror is
// exact (within the filtering of the square reflection copy); with a slope
// the ripple moves it by at most 0.04 of the picture, and the turning matrix
// moves the lake between frames while the picture above stays.
TEST_F(LakeOnDevice, TheLakeMirrorsTheBandAboveTheHorizon) {
    auto noTint = [](FakeLake2D& l) { l.nearTintAlpha.SetValue(0); };
    MakeSlide(64, 64, FlatBump(0, 0), noTint);
    const Image flat = Frame(0.1);
    flat.WritePngIfAsked("LakeOnDevice_Flat");
    for (UINT k = 0; k < 24; ++k)
        for (UINT x : {2u, 31u, 60u}) {
            ASSERT_TRUE(Probe(flat, x, 40 + k, flat.at(x, 39 - k), 6)) << "row " << 40 + k;
        }
    for (UINT y : {3u, 20u, 39u}) EXPECT_TRUE(Probe(flat, 10, y, Row(0, y), 3)) << "the picture above";

    slide.reset();
    MakeSlide(64, 64, FlatBump(90, 90), noTint);
    const Image a = Frame(0.1);
    const Image b = Frame(0.3);
    a.WritePngIfAsked("LakeOnDevice_RippleA");
    b.WritePngIfAsked("LakeOnDevice_RippleB");
    // 0.04 x |(du, dv)| of the picture: under 2.3 rows, 4 red steps a row.
    for (UINT k = 0; k < 24; ++k) ASSERT_TRUE(Probe(a, 31, 40 + k, a.at(31, 39 - k), 12)) << "row " << 40 + k;
    int moved = 0;
    for (UINT y = 0; y < 64; ++y)
        for (UINT x = 0; x < 64; ++x) {
            if (y < 40) {
                ASSERT_EQ(a.at(x, y), b.at(x, y)) << x << ", " << y;
            }
            moved += a.at(x, y) != b.at(x, y);
        }
    EXPECT_GT(moved, 64 * 12) << "the ripple turns";
}

// The ripple matrix: 0.04 times a rotation by (clock x 0.5) x 9 radians; the
// clock counts seconds at the default speed, steps capped at 0.2 s.
TEST(LakeRipple, TheMatrixTurnsWithTheClock) {
    FakeLake2D lake;
    for (int i = 1; i <= 5; ++i) lake.FrameMove(0.1 * i);
    const float a = 0.5f * 0.5f * 9.0f;
    EXPECT_NEAR(lake.ripple[0], std::cos(a) * 0.04f, 1e-6f);
    EXPECT_NEAR(lake.ripple[1], -std::sin(a) * 0.04f, 1e-6f);
    EXPECT_NEAR(lake.ripple[2], std::sin(a) * 0.04f, 1e-6f);
    EXPECT_EQ(lake.ripple[3], lake.ripple[0]);
    lake.FrameMove(10.0);
    EXPECT_NEAR(lake.rippleSpeed.time, 0.7, 1e-6);
}

// The first frame after each restore draws the picture above the horizon,
// row by row (the reflection stage is reset), and each restore tells the
// resource manager of the reset.
TEST_F(LakeOnDevice, TheFirstFrameAfterARestoreDrawsThePicture) {
    MakeSlide(64, 64, FlatBump(0, 0));
    EXPECT_EQ(pictures.resets, 1);
    const Image first = Frame(0.1);
    for (UINT y : {2u, 15u, 30u}) EXPECT_TRUE(Probe(first, 20, y, Row(0, y), 3)) << "row " << y;

    IDirect3DDevice9* d = harness.device;
    tessaloom::d3d9::LoseDevice(d, 1);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    slide->InvalidateDeviceObjects();
    ASSERT_EQ(d->Reset(&harness.params), D3D_OK);
    slide->RestoreDeviceObjects();
    slide->Resize(64, 64);
    EXPECT_EQ(pictures.resets, 2);
    const Image after = Frame(0.2);
    for (UINT y : {2u, 15u, 30u}) EXPECT_TRUE(Probe(after, 20, y, Row(0, y), 3)) << "row " << y;
    for (UINT k : {0u, 10u, 20u}) EXPECT_TRUE(Probe(after, 20, 40 + k, first.at(20, 40 + k), 3)) << "the lake again";
}

// The bump map travels with the document: written, it is in the manager's
// GUID data under the layer's key as a DDS file.
TEST_F(LakeOnDevice, TheBumpMapTravelsWithTheDocument) {
    FakeLake2D& lake = MakeSlide(64, 64, FlatBump(10, -20));
    ASSERT_NE(lake.bumpTexture.Get(), nullptr);
    RecordBytes([&](DS_IOF_W& w) { lake.Write(w); });
    const auto entry = manager->Tables().guidData.find(lake.bumpKey);
    ASSERT_NE(entry, manager->Tables().guidData.end());
    const DS_FileData& file = entry->second.file;
    ASSERT_GT(file.GetSize(), 128u);
    EXPECT_EQ(std::memcmp(file.GetBytes(), "DDS ", 4), 0);
    DS_TextureInfo info = CreateTextureInfoFromMemory(file.GetBytes(), file.GetSize());
    ASSERT_NE(info.texture.Get(), nullptr);
    D3DSURFACE_DESC desc{};
    info.texture.Get()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_Q8W8V8U8);
}

}  // namespace
