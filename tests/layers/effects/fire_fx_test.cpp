// The fire effect: its record in every version, the grid it builds, the
// parameters it hands the fire effect at draw time (read back from the
// effect's record of calls), and what it draws: fire inside its quad and
// nothing outside it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "document/load_error.h"
#include "layers/effects/fire_fx.h"
#include "scene/picture_layer.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::d3dx9::EffectCall;
using tessaloom::d3dx9::RecordEffectCalls;
using tessaloom::testing::DrawValues;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::RecordBytes;
using tessaloom::testing::ValuesAtDraw;

constexpr int kFireEffect = 92;

struct FireFields {
    float corners[12] = {10, 20, 0, 10, 80, 0, 90, 20, 0, 90, 80, 0};
    INT color1 = 0x0000A0FF;
    INT color2 = 0x00000080;
    INT spare1 = 7;
    std::u16string patternPath = u"C:\\fire\\pattern.tga";
    INT64 patternStamp = 111;
    std::u16string noisePath = u"C:\\fire\\noise.tga";
    INT64 noiseStamp = 222;
    INT spare2 = -3;
    UINT density = 150, brightness = 40, gridScale = 50;
};

void WriteFxBase(DS_IOF_W& w, UINT speed) {
    WriteRecordHeader(w, u"DS_FX_Constructor", 2);
    w.WriteUInt(speed);
    w.WriteLong(0);
    w.WriteString(u"{00000000-0000-0000-0000-000000000017}");
    w.WriteString(u"");
    w.WriteBool(true);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(kFireEffect);
    w.WriteUInt(50);
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(u"Fire");
}

void WriteFire(DS_IOF_W& w, INT version, const FireFields& f, UINT speed = 50) {
    WriteRecordHeader(w, u"DS_FireFX", version);
    if (version >= 2) {
        for (float c : f.corners) w.WriteFloat(c);
        w.WriteInt(f.color1);
        w.WriteInt(f.color2);
        w.WriteLong(f.spare1);
        w.WriteString(f.patternPath);
        w.WriteInt64(f.patternStamp);
        w.WriteString(f.noisePath);
        w.WriteInt64(f.noiseStamp);
        w.WriteLong(f.spare2);
        w.WriteUInt(f.density);
        w.WriteUInt(f.brightness);
        w.WriteUInt(f.gridScale);
    }
    WriteFxBase(w, speed);
}

// Through the scene-object registry, as a slide reads it.
std::unique_ptr<DS_FireFX> ReadThroughRegistry(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    DS_ABObj_Constructor* read = ReadConstructorByClassName(reader);
    if (left) *left = buffer.Remaining();
    auto* fire = dynamic_cast<DS_FireFX*>(read);
    EXPECT_NE(fire, nullptr);
    if (!fire) delete read;
    return std::unique_ptr<DS_FireFX>(fire);
}

void ExpectDefaults(const DS_FireFX& fire) {
    for (const auto& c : fire.quad.corners) {
        EXPECT_EQ(c.value.x, 0.0f);
        EXPECT_EQ(c.value.y, 0.0f);
        EXPECT_EQ(c.value.z, 0.0f);
    }
    EXPECT_EQ(fire.color1.value, 0x0000FFFFu);
    EXPECT_EQ(fire.color2.value, 0x000000FFu);
    EXPECT_FLOAT_EQ(fire.density.Converted(), 0.0f);
    EXPECT_FLOAT_EQ(fire.brightness.Converted(), 0.3f);
    EXPECT_FLOAT_EQ(fire.gridScale.Converted(), 1.0f);
    EXPECT_EQ(fire.patternLink.key, ModuleKey(93));
    EXPECT_EQ(fire.noiseLink.key, ModuleKey(8));
    EXPECT_EQ(fire.effectLink.key, ModuleKey(kFireEffect));
}

TEST(FireRecord, DefaultsAndTheOldVersionsKeepThem) {
    DS_FireFX made;
    ExpectDefaults(made);
    EXPECT_FLOAT_EQ(made.speed.Converted(), 1.0f);  // one clock unit per second
    for (INT version : {0, 1}) {
        SCOPED_TRACE(version);
        size_t left = 1;
        auto fire = ReadThroughRegistry(RecordBytes([&](DS_IOF_W& w) { WriteFire(w, version, FireFields(), 100); }), &left);
        ASSERT_TRUE(fire);
        EXPECT_EQ(left, 0u);
        ExpectDefaults(*fire);
        EXPECT_EQ(fire->name, u"Fire");
        EXPECT_FLOAT_EQ(fire->speed.Converted(), 2.0f) << "the base record's speed is read";
    }
}

TEST(FireRecord, Version2ReadsEveryFieldAndWritesTheSameBytes) {
    const FireFields f;
    const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteFire(w, 2, f); });
    size_t left = 1;
    auto fire = ReadThroughRegistry(bytes, &left);
    ASSERT_TRUE(fire);
    EXPECT_EQ(left, 0u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fire->quad.corners[i].value.x, f.corners[3 * i]);
        EXPECT_EQ(fire->quad.corners[i].value.y, f.corners[3 * i + 1]);
    }
    EXPECT_EQ(fire->color1.value, 0x0000A0FFu);
    EXPECT_EQ(fire->color2.value, 0x00000080u);
    EXPECT_EQ(fire->spareValue1.value, 7);
    EXPECT_EQ(fire->spareValue2.value, -3);
    EXPECT_EQ(fire->patternLink.key, (DS_LinkKey{f.patternPath, 111}));
    EXPECT_EQ(fire->noiseLink.key, (DS_LinkKey{f.noisePath, 222}));
    EXPECT_FLOAT_EQ(fire->density.Converted(), 0.5f);
    EXPECT_FLOAT_EQ(fire->brightness.Converted(), 0.8f);
    EXPECT_FLOAT_EQ(fire->gridScale.Converted(), 0.5f);

    // Written from a copy: the copy carries every value.
    DS_FireFX copy(*fire);
    std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { copy.Write(w); });
    EXPECT_EQ(written, bytes);
    // And through Assign.
    DS_FireFX assigned;
    assigned.Assign(*fire);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { assigned.Write(w); }), bytes);
    EXPECT_FLOAT_EQ(assigned.density.Converted(), 0.5f);
}

TEST(FireRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteFire(w, version, FireFields()); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer buffer(bytes.data(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadConstructorByClassName(reader), DS_LoadError) << version << ": " << n << " bytes";
        }
        // ReadNew, the flame layer's way, reads the same record.
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_DocumentReader reader(&buffer);
        std::unique_ptr<DS_FireFX> fire(DS_FireFX::ReadNew(reader));
        EXPECT_EQ(buffer.Remaining(), 0u);
    }
}

TEST(FireColours, TheEffectColoursFromTheTwoColours) {
    struct Case {
        DWORD c1, c2;
        float k1[3], k2[3];
    } cases[] = {
        {0x0000FFFF, 0x000000FF, {1, 0, 0}, {0, 1, 0}},  // the defaults: red, plus green towards yellow
        {0x00FF0000, 0x00000000, {0, 0, 0}, {0, 0, 1}},  // blue over black
        {0x00000000, 0x00336699, {0x99 / 255.0f, 0x66 / 255.0f, 0x33 / 255.0f},
         {-0x99 / 255.0f, -0x66 / 255.0f, -0x33 / 255.0f}},
    };
    for (const Case& c : cases) {
        DS_FireFX fire;
        fire.color1.Assign(c.c1);
        fire.color2.Assign(c.c2);
        float k1[3], k2[3];
        fire.ColorConstants(k1, k2);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FLOAT_EQ(k1[i], c.k1[i]) << std::hex << c.c1 << " " << c.c2 << " [" << i << "]";
            EXPECT_FLOAT_EQ(k2[i], c.k2[i]) << std::hex << c.c1 << " " << c.c2 << " [" << i << "]";
        }
    }
}

constexpr D3DCOLOR kNight = 0xff102040u;

::testing::AssertionResult Near(const std::vector<float>& actual, const std::vector<float>& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " values, " << expected.size() << " expected";
    for (size_t i = 0; i < actual.size(); ++i)
        if (std::abs(actual[i] - expected[i]) > 1e-6f)
            return ::testing::AssertionFailure() << "[" << i << "] " << actual[i] << ", expected " << expected[i];
    return ::testing::AssertionSuccess();
}

class FireOnDevice : public tessaloom::testing::EffectFixture {
protected:
    // A 64 x 64 picture of one colour, the layer over the whole back buffer,
    // a white pattern and an even grey noise: full heat everywhere the fire is.
    void SetUp() override {
        EffectFixture::SetUp();
        AddPicture(5, 64, 64, [](UINT, UINT) { return kNight; });
        AddPicture(93, 16, 16, [](UINT, UINT) { return 0xffffffffu; });
        AddPicture(8, 16, 16, [](UINT, UINT) { return 0xff808080u; });
        layer = std::make_unique<DS_2D_Light>();
        layer->CreateDeviceObjects();
        layer->RestoreDeviceObjects();
        layer->SetPicturePosition(DS_POS_STRETCH);
        layer->Resize(64, 64);
    }
    void TearDown() override {
        layer.reset();
        EffectFixture::TearDown();
    }
    // The fire over x 16..48, y 16..48 of the picture.
    static void PlaceFire(DS_FireFX& fire) {
        const float c[4][2] = {{16, 16}, {16, 48}, {48, 16}, {48, 48}};
        for (int i = 0; i < 4; ++i) fire.quad.corners[i].value = D3DXVECTOR3(c[i][0], c[i][1], 0);
    }
    tessaloom::testing::Image Draw(DS_FireFX* fire) {
        IDirect3DDevice9* d = harness.device;
        d->BeginScene();
        layer->DrawPicture();
        if (fire) fire->Apply(*layer);
        d->EndScene();
        return harness.ReadBackBuffer();
    }
    void ClearEffectTextures(ID3DXEffect* e) {
        for (const char* t : {"Noise", "Pattern", "Mask", "Background"}) e->SetTexture(t, nullptr);
    }
    std::unique_ptr<DS_2D_Light> layer;
};

// The grid spans the quad's corners: v from the edge of corners 0 and 2 to
// that of corners 1 and 3, u to 1 / grid scale (raw 50: 2).
TEST_F(FireOnDevice, TheGridSpansTheQuad) {
    DS_FireFX fire;
    PlaceFire(fire);
    fire.gridScale.SetValue(50);
    fire.CreateDeviceObjects(nullptr);
    ASSERT_TRUE(fire.grid.vertexBuffer);
    ASSERT_TRUE(fire.grid.indexBuffer);
    EXPECT_EQ(fire.grid.vertexCount, 81u);
    EXPECT_EQ(fire.grid.indexedPrimitiveCount, 128u);
    EXPECT_EQ(fire.grid.primitiveType, D3DPT_TRIANGLELIST);
    DX_V::PT* v = fire.grid.Lock(D3DLOCK_READONLY);
    ASSERT_NE(v, nullptr);
    struct Expect {
        int index;
        float x, y, u, vv;
    } expected[] = {{0, 16, 16, 0, 0}, {8, 16, 48, 0, 1}, {72, 48, 16, 2, 0}, {80, 48, 48, 2, 1}, {40, 32, 32, 1, 0.5f}};
    for (const Expect& e : expected) {
        EXPECT_FLOAT_EQ(v[e.index].x, e.x) << e.index;
        EXPECT_FLOAT_EQ(v[e.index].y, e.y) << e.index;
        EXPECT_FLOAT_EQ(v[e.index].u, e.u) << e.index;
        EXPECT_FLOAT_EQ(v[e.index].v, e.vv) << e.index;
    }
    fire.grid.Unlock();
}

// What the fire effect holds when it draws: every name the class sets, with
// the values worked out by hand.
TEST_F(FireOnDevice, TheParametersAtDrawTime) {
    AddDemoEffect(kFireEffect, "fire.fx");
    // The grid's world: doubled, then moved by (8, 4); the camera zooms by
    // z about the picture's centre, p -> z (p - 32) + 32.  On the 64 x 64
    // target in Stretch the picture-position transforms are the identity, and
    // view x projection maps a picture point to (x / 32 - 1, 1 - y / 32,
    // 0.5001).  So "ViewProj" is diag(1/32, -1/32, 1/10000) with the last row
    // (-1, 1, 0.5001, 1), whatever the world and the zoom; "WorldViewProj"
    // maps p to 2p + (8, 4), zoomed except in a capture: diag(2z/32,
    // -2z/32, 1/10000), last row ((8z - 32z + 32) / 32 - 1, 1 - (4z - 32z + 32) / 32, 0.5001, 1).
    struct Case {
        UINT density;
        float clock;
        bool capture;
        float densityValue;
        float zoom;
    } cases[] = {
        {100, 0.0f, false, 0.0f, 1.0f},
        {150, 10.0f, false, 0.5f, 2.0f},
        {0, 10.0f, true, -1.0f, 2.0f},  // a capture leaves the zoom out
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.density);
        DS_FireFX fire;
        PlaceFire(fire);
        fire.techniqueFlag.Assign(1);  // still "Main"
        fire.density.SetValue(c.density);
        fire.CreateDeviceObjects(nullptr);
        ASSERT_NE(fire.effect.Get(), nullptr);
        D3DXMATRIX scaling, translation;
        D3DXMatrixScaling(&scaling, 2.0f, 2.0f, 1.0f);
        D3DXMatrixTranslation(&translation, 8.0f, 4.0f, 0.0f);
        fire.grid.world = scaling * translation;
        fire.speed.time = c.clock;
        DS_ComRef<IDirect3DTexture9> scene(harness.MakeTexture(2, 2, [](UINT, UINT) { return 0xff000000u; }));
        layer->sceneTexture.Set(scene.Get());
        // The view's scale as a letterboxed picture would give it; the fire
        // passes it on unless a capture runs.
        DS_2DView& view = DS_2DView::Current();
        view.scaleX = 1.5f;
        view.scaleY = 0.75f;
        view.SetZoom(c.zoom, 0.0f, 0.0f);
        if (c.capture) view.mode = DS_POS_CAPTURE;
        std::vector<EffectCall> log;
        ASSERT_TRUE(RecordEffectCalls(fire.effect.Get(), &log));
        harness.device->BeginScene();
        fire.Apply(*layer);
        harness.device->EndScene();
        RecordEffectCalls(fire.effect.Get(), nullptr);
        for (const EffectCall& call : log) EXPECT_EQ(call.result, D3D_OK) << call.name;
        const DrawValues at = ValuesAtDraw(log);
        ASSERT_TRUE(at.drawn);
        EXPECT_EQ(at.technique, "Main");
        auto f = [&](const char* name) { return at.floats.count(name) ? at.floats.at(name) : std::vector<float>(); };
        const float t = c.clock;
        EXPECT_EQ(f("c11"), (std::vector<float>{0.0f, 1.3f * t}));
        EXPECT_EQ(f("c12"), (std::vector<float>{0.0f, 2.1f * t}));
        EXPECT_EQ(f("c13"), (std::vector<float>{0.0f, 2.3f * t}));
        if (c.clock == 10.0f) {
            EXPECT_FLOAT_EQ(f("c11")[1], 13.0f);
            EXPECT_FLOAT_EQ(f("c12")[1], 21.0f);
            EXPECT_FLOAT_EQ(f("c13")[1], 23.0f);
        }
        EXPECT_EQ(f("ColorK1"), (std::vector<float>{1, 0, 0}));
        EXPECT_EQ(f("ColorK2"), (std::vector<float>{0, 1, 0}));
        EXPECT_EQ(f("Density"), (std::vector<float>{c.densityValue}));
        ASSERT_EQ(f("Brightness").size(), 1u);
        EXPECT_FLOAT_EQ(f("Brightness")[0], 0.3f);
        const std::vector<float> bgScale =
            c.capture ? std::vector<float>{1, 1} : std::vector<float>{view.scaleX, view.scaleY};
        EXPECT_EQ(f("bg_scale_factor"), bgScale);
        const float z = c.capture ? 1.0f : c.zoom;
        const std::vector<float> wvp = {2 * z / 32, 0, 0, 0, 0, -2 * z / 32, 0, 0, 0, 0, 1e-4f, 0,
                                        (8 * z - 32 * z + 32) / 32 - 1, 1 - (4 * z - 32 * z + 32) / 32, 0.5001f, 1};
        const std::vector<float> vp = {1.0f / 32, 0, 0, 0, 0, -1.0f / 32, 0, 0, 0, 0, 1e-4f, 0, -1, 1, 0.5001f, 1};
        EXPECT_TRUE(Near(f("WorldViewProj"), wvp)) << "WorldViewProj";
        EXPECT_TRUE(Near(f("ViewProj"), vp)) << "ViewProj";
        EXPECT_EQ(at.textures.at("Noise"), fire.noiseTexture.Get());
        EXPECT_EQ(at.textures.at("Pattern"), fire.patternTexture.Get());
        EXPECT_NE(fire.noiseTexture.Get(), nullptr);
        EXPECT_EQ(at.textures.at("Mask"), nullptr);
        EXPECT_EQ(at.textures.at("Background"), scene.Get());
        EXPECT_EQ(at.floats.count("Scale"), 0u) << "the fire does not set Scale";
        layer->SetPicturePosition(DS_POS_STRETCH);
        view.SetZoom(1.0f, 0.0f, 0.0f);
        ClearEffectTextures(fire.effect.Get());
    }
}

// Fire inside the quad, the picture untouched outside it; without the fire
// effect nothing is drawn.
TEST_F(FireOnDevice, FireChangesPixelsInsideItsQuadOnly) {
    const tessaloom::testing::Image plain = Draw(nullptr);
    ASSERT_TRUE(tessaloom::testing::Probe(plain, 32, 32, kNight, 2));

    {
        DS_FireFX none;  // the manager has no fire effect yet
        PlaceFire(none);
        none.CreateDeviceObjects(nullptr);
        EXPECT_EQ(none.effect.Get(), nullptr);
        const tessaloom::testing::Image image = Draw(&none);
        EXPECT_EQ(image.pixels, plain.pixels);
    }

    AddDemoEffect(kFireEffect, "fire.fx");
    DS_FireFX fire;
    PlaceFire(fire);
    fire.CreateDeviceObjects(nullptr);
    ASSERT_NE(fire.effect.Get(), nullptr);
    const tessaloom::testing::Image image = Draw(&fire);
    image.WritePngIfAsked("FireOnDevice_InsideItsQuad");
    int changedInside = 0;
    for (UINT y = 0; y < 64; ++y)
        for (UINT x = 0; x < 64; ++x) {
            const bool inside = x >= 17 && x < 47 && y >= 17 && y < 47;
            const bool outside = x < 15 || x >= 49 || y < 15 || y >= 49;
            if (inside && image.at(x, y) != plain.at(x, y)) ++changedInside;
            if (outside) {
                ASSERT_EQ(image.at(x, y), plain.at(x, y)) << "outside the quad at " << x << ", " << y;
            }
        }
    EXPECT_EQ(changedInside, 30 * 30);
    // Full heat: the first colour, yellow.
    EXPECT_TRUE(tessaloom::testing::Probe(image, 32, 40, 0xffffff00u, 24, true));
    ClearEffectTextures(fire.effect.Get());
}

}  // namespace
