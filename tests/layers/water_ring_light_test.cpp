// The water-ring layer: its record in both versions and every truncation,
// the surface values it derives, the drop timer, the projection that fits the
// surface to the target, the picture position around a capture, and, on a
// real device, a drop's rings bending the picture, the specular highlight
// where the light's direction puts it, the water over the whole captured
// slide in capture mode 1, and the surface drawing again after a reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "document/load_error.h"
#include "layers/water_ring_light.h"
#include "platform/d3d9/d3d9_testing.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;
using tessaloom::testing::Probe;
using tessaloom::testing::RecordBytes;

void WriteLayerBase(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    w.WriteString(u"C:\\pictures\\pond.tga");
    w.WriteInt64(91);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(1);
    w.WriteUInt(120);
    w.WriteUInt(30);
}

void WriteRings(DS_IOF_W& w, INT version) {
    WriteRecordHeader(w, u"DS_WaterRingLight", version);
    if (version >= 2) {
        for (UINT raw : {10u, 20u, 30u, 40u, 60u, 70u}) w.WriteUInt(raw);
        w.WriteUInt(60);   // drop rate: one a second
        w.WriteUInt(50);   // specular level 0.5
        w.WriteUInt(100);  // specular power 80
    }
    w.WriteLong(1);  // capture mode
    WriteLayerBase(w);
}

std::unique_ptr<DS_WaterRingLight> ReadRings(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    DS_2D_Light* layer = ReadLightByClassName(reader);
    if (left) *left = buffer.Remaining();
    auto* rings = dynamic_cast<DS_WaterRingLight*>(layer);
    EXPECT_NE(rings, nullptr) << "the class name resolves to the water-ring layer";
    if (!rings) delete layer;
    return std::unique_ptr<DS_WaterRingLight>(rings);
}

TEST(WaterRingRecord, Defaults) {
    DS_WaterRingLight rings;
    EXPECT_EQ(rings.captureMode.value, 0);
    EXPECT_EQ(rings.heightGain.value, 0u);
    EXPECT_EQ(rings.rowsFactor.value, 0u);
    EXPECT_EQ(rings.columnsFactor.value, 0u);
    EXPECT_EQ(rings.dropStrength.value, 50u);
    EXPECT_EQ(rings.damping.value, 50u);
    EXPECT_EQ(rings.depth.value, 20u);
    EXPECT_FLOAT_EQ(rings.dropRate.Converted(), 0.5f);
    EXPECT_FLOAT_EQ(rings.specularLevel.Converted(), 0.9f);
    EXPECT_FLOAT_EQ(rings.specularPower.Converted(), 40.0f);
    EXPECT_FALSE(rings.NeedsSceneTexture());
    rings.captureMode.value = 1;
    EXPECT_TRUE(rings.NeedsSceneTexture());
    ASSERT_TRUE(rings.ripples);
    EXPECT_FLOAT_EQ(rings.ripples->damping, 0.99f);
}

// Version 2 carries the nine raw values, version 1 only the capture mode.
// Both are written back as version 2; the version-2 bytes are exactly what
// the layer writes.
TEST(WaterRingRecord, BothVersionsRead) {
    for (INT version : {1, 2}) {
        SCOPED_TRACE(version);
        size_t left = 1;
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteRings(w, version); });
        auto rings = ReadRings(bytes, &left);
        ASSERT_TRUE(rings);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(rings->captureMode.value, 1);
        EXPECT_EQ(rings->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\pond.tga", 91}));
        EXPECT_EQ(rings->camera.zoom.value, 120u);
        if (version >= 2) {
            EXPECT_EQ(rings->heightGain.value, 10u);
            EXPECT_EQ(rings->rowsFactor.value, 20u);
            EXPECT_EQ(rings->columnsFactor.value, 30u);
            EXPECT_EQ(rings->dropStrength.value, 40u);
            EXPECT_EQ(rings->damping.value, 60u);
            EXPECT_EQ(rings->depth.value, 70u);
            EXPECT_FLOAT_EQ(rings->dropRate.Converted(), 1.0f);
            EXPECT_FLOAT_EQ(rings->specularLevel.Converted(), 0.5f);
            EXPECT_FLOAT_EQ(rings->specularPower.Converted(), 80.0f);
            EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { rings->Write(w); }), bytes);
        } else {
            EXPECT_EQ(rings->heightGain.value, 0u);
            EXPECT_EQ(rings->dropStrength.value, 50u);
            EXPECT_EQ(rings->depth.value, 20u);
            EXPECT_FLOAT_EQ(rings->dropRate.Converted(), 0.5f);
            EXPECT_FLOAT_EQ(rings->specularPower.Converted(), 40.0f);
        }
        const std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { rings->Write(w); });
        auto again = ReadRings(written, &left);
        ASSERT_TRUE(again);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { again->Write(w); }), written);
    }
}

TEST(WaterRingRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteRings(w, version); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            ResourceBuffer buffer(bytes.data(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << version << ": " << n << " bytes";
        }
    }
}

// Raw 0, 49, 50 and 100 give 0.9, 0.9882, 0.99 and 0.999; above 100 the
// damping stays at 0.999, where the rings still fade.
TEST(WaterRing, Damping) {
    DS_WaterRingLight rings;
    const struct {
        unsigned raw;
        float damping;
    } cases[] = {{0, 0.9f}, {49, 0.9882f}, {50, 0.99f}, {100, 0.999f}, {101, 0.999f}, {UINT_MAX, 0.999f}};
    for (const auto& c : cases) {
        rings.SetDamping(c.raw);
        EXPECT_NEAR(rings.ripples->damping, c.damping, 1e-6f) << c.raw;
    }
}

class WaterRingOnDevice : public tessaloom::testing::LayerSlideFixture {
protected:
    static constexpr D3DCOLOR kLight = 0xffe0e0e0u, kDark = 0xff202020u;

    // A slide with the water-ring layer over picture 5, Stretch, 64 x 64,
    // the camera still and the water at rest (the first drop taken away).
    DS_WaterRingLight& MakeSlide(int captureMode) {
        auto* rings = new DS_WaterRingLight;
        rings->captureMode.value = captureMode;
        rings->camera.enabled.value = 0;
        Calm(ShowLayer(rings));
        return *rings;
    }
    static void Calm(DS_WaterRingLight& rings) {
        rings.ripples->grid.assign(rings.ripples->cellCount, DS_RippleMesh::Cell{0.0f, 0.0f});
    }
    void Stripes() {
        AddPicture(5, 64, 64, [](UINT x, UINT) { return (x / 4) % 2 ? kLight : kDark; });
    }
};

// The surface values are taken from the raw values when the device objects
// are made; the height gain is held where the surface stays stable.
TEST_F(WaterRingOnDevice, SurfaceValuesAtCreation) {
    Stripes();
    slide = std::make_unique<DS_SlideContainer>();
    auto* rings = new DS_WaterRingLight;
    rings->heightGain.value = 100;
    rings->dropStrength.value = 100;
    rings->depth.value = 50;
    rings->damping.value = 0;
    slide->mainLayer = DS_CountedPtr<DS_2D_Light>(rings);
    slide->Init();
    EXPECT_FLOAT_EQ(rings->ripples->heightGain, 3.0f);
    EXPECT_FLOAT_EQ(rings->ripples->dropStrength, 0.8f);
    EXPECT_FLOAT_EQ(rings->ripples->depth, 0.5f);
    EXPECT_FLOAT_EQ(rings->ripples->damping, 0.9f);
    // A square picture: a surface 30 x 30 of 128 x 128 cells, one drop on it.
    EXPECT_FLOAT_EQ(rings->ripples->width, 30.0f);
    EXPECT_EQ(rings->ripples->rows, 128u);
    float moving = 0.0f;
    for (const auto& cell : rings->ripples->grid) moving += std::fabs(cell.velocity);
    EXPECT_NEAR(moving, 0.8f, 1e-5f) << "one drop of strength 0.8";
    EXPECT_EQ(rings->cameraMatrix._42, 120.0f);
    // The view looks straight down: world y is the camera's z, world z its -y.
    EXPECT_NEAR(rings->viewMatrix._23, 1.0f, 1e-6f);
    EXPECT_NEAR(rings->viewMatrix._32, -1.0f, 1e-6f);
    EXPECT_NEAR(rings->viewMatrix._43, -120.0f, 1e-4f);

    // Raw values far beyond the authoring range: the surface still settles
    // (unclamped, a gain of 2001 and a damping of 18.9 overflow within a few
    // frames).
    slide = std::make_unique<DS_SlideContainer>();
    rings = new DS_WaterRingLight;
    rings->heightGain.value = 100000;
    rings->damping.value = 100000;
    slide->mainLayer = DS_CountedPtr<DS_2D_Light>(rings);
    slide->Init();
    EXPECT_FLOAT_EQ(rings->ripples->heightGain, DS_WaterRingLight::kMaxHeightGain);
    EXPECT_FLOAT_EQ(rings->ripples->damping, DS_WaterRingLight::kMaxDamping);
    for (int frame = 0; frame < 300; ++frame) {
        if (frame % 30 == 0) rings->ripples->AddDrop();
        rings->ripples->Simulate();
    }
    float highest = 0.0f;
    for (const auto& cell : rings->ripples->grid) {
        ASSERT_TRUE(std::isfinite(cell.height) && std::isfinite(cell.velocity));
        highest = std::max(highest, std::fabs(cell.height));
    }
    EXPECT_LT(highest, 5.0f);
}

// One drop when more than 1 / rate seconds have passed (the default rate is
// 0.5 a second: 2 s is not enough, 2.001 s is); a clock that goes back
// restarts the timer without a drop; a rate of 0 never drops.
TEST_F(WaterRingOnDevice, TheDropTimer) {
    Stripes();
    DS_WaterRingLight& rings = MakeSlide(0);
    auto still = [&] {
        for (const auto& cell : rings.ripples->grid)
            if (cell.velocity != 0.0f || cell.height != 0.0f) return false;
        return true;
    };
    rings.FrameMove(1.0);
    rings.FrameMove(2.0);
    EXPECT_TRUE(still());
    EXPECT_EQ(rings.lastDropTime, 0.0);
    rings.FrameMove(2.001);
    EXPECT_FALSE(still());
    EXPECT_EQ(rings.lastDropTime, 2.001);
    Calm(rings);
    rings.FrameMove(1.0);
    EXPECT_EQ(rings.lastDropTime, 1.0);
    EXPECT_TRUE(still());
    rings.FrameMove(3.0005);
    EXPECT_FALSE(still()) << "2.0005 s after the restarted timer";
    Calm(rings);
    rings.dropRate.SetValue(0);
    rings.FrameMove(1000.0);
    EXPECT_TRUE(still());
}

// A 4:3 picture on a 16:9 target spans x from -26.67 to 26.67 and y from -15
// to 15; on a square target the surface's width decides: x and y from -20 to
// 20.  A size of 0 is stored and changes nothing else.
TEST_F(WaterRingOnDevice, TheProjectionFitsTheSurface) {
    AddPicture(5, 40, 30, [](UINT, UINT) { return kDark; });
    DS_WaterRingLight& rings = MakeSlide(0);
    EXPECT_FLOAT_EQ(rings.ripples->width, 40.0f);
    rings.Resize(1920, 1080);
    EXPECT_NEAR(1.0f / rings.projectionMatrix._11, 26.6667f, 1e-3f);
    EXPECT_NEAR(1.0f / rings.projectionMatrix._22, 15.0f, 1e-4f);
    rings.Resize(64, 64);
    EXPECT_NEAR(1.0f / rings.projectionMatrix._11, 20.0f, 1e-4f);
    EXPECT_NEAR(1.0f / rings.projectionMatrix._22, 20.0f, 1e-4f);
    const D3DXMATRIX before = rings.projectionMatrix;
    rings.Resize(0, 64);
    EXPECT_EQ(rings.storedWidth, 0);
    EXPECT_EQ(rings.projectionMatrix, before);
}

// In capture mode 0 a capture runs with Stretch, and its end puts back the
// position the user chose (Fit here), in the layer and in the 2D view.
TEST_F(WaterRingOnDevice, ACaptureRunsWithStretchAndPutsThePositionBack) {
    Stripes();
    DS_WaterRingLight& rings = MakeSlide(0);
    slide->SetPicturePosition(DS_POS_FIT);
    ASSERT_EQ(rings.savedMode, DS_POS_FIT);
    rings.BeginSceneCapture();
    EXPECT_TRUE(rings.CaptureRunning());
    EXPECT_EQ(DS_2DView::Current().mode, DS_POS_STRETCH);
    rings.EndSceneCapture(false);
    EXPECT_FALSE(rings.CaptureRunning());
    EXPECT_EQ(rings.savedMode, DS_POS_FIT);
    EXPECT_EQ(DS_2DView::Current().mode, DS_POS_FIT);
}

// The surface at rest shows the stripes nearly as they are; a drop in the
// middle spreads rings that bend them there and leave the corners alone.
TEST_F(WaterRingOnDevice, ADropsRingsRefractThePicture) {
    Stripes();
    DS_WaterRingLight& rings = MakeSlide(0);
    const Image rest = Frame(0.05);
    rest.WritePngIfAsked("WaterRing_Rest");
    for (UINT x : {2u, 6u, 30u, 34u, 58u, 62u}) {
        const D3DCOLOR stripe = (x / 4) % 2 ? kLight : kDark;
        EXPECT_TRUE(Probe(rest, x, 32, stripe, 12)) << "the picture under still water";
    }
    Calm(rings);
    DS_RippleMesh& surface = *rings.ripples;
    for (int dc = -2; dc <= 2; ++dc)
        for (int dr = -2; dr <= 2; ++dr) surface.At(64 + dc, 64 + dr).velocity = -1.5f;
    Image rippled;
    for (int i = 1; i <= 8; ++i) rippled = Frame(0.05 + 0.05 * i);
    rippled.WritePngIfAsked("WaterRing_Rippled");
    int nearChanged = 0, farChanged = 0;
    for (UINT y = 0; y < 64; ++y)
        for (UINT x = 0; x < 64; ++x) {
            const bool changed = !tessaloom::testing::ColorNear(rest.at(x, y), rippled.at(x, y), 24);
            const int dx = static_cast<int>(x) - 32, dy = static_cast<int>(y) - 32;
            if (dx * dx + dy * dy < 12 * 12) nearChanged += changed;
            if (std::abs(dx) > 26 && std::abs(dy) > 26) farChanged += changed;
        }
    EXPECT_GT(nearChanged, 40) << "the rings bend the stripes about the drop";
    // (A pixel on a stripe's edge may flip with the small shift of the mean level.)
    EXPECT_LE(farChanged, 4) << "the corners are still";
}

// A black picture under still water shows the specular term alone.  The
// light (0.5, -1, 1) shines from the left, from above and from the picture's
// top: in camera space l = (-1/3, 2/3, 2/3) and the normal is (0, 0, 1).  At
// the top-left pixel (x = z = -14.77) N.H = 0.9426, 0.9 x 0.9426^40 x 255 =
// 22; at the centre N.H = 0.9129, 6; at the bottom right 1.
TEST_F(WaterRingOnDevice, TheHighlightSitsWhereTheLightPutsIt) {
    AddPicture(5, 64, 64, [](UINT, UINT) { return 0xff000000u; });
    MakeSlide(0);
    const Image img = Frame(0.05);
    img.WritePngIfAsked("WaterRing_Highlight");
    EXPECT_TRUE(Probe(img, 0, 0, 0xff161616u, 3));
    EXPECT_TRUE(Probe(img, 32, 32, 0xff060606u, 3));
    EXPECT_TRUE(Probe(img, 63, 63, 0xff010101u, 2));
    EXPECT_GT(img.at(0, 0) & 0xff, img.at(63, 0) & 0xff) << "brighter on the left";
    EXPECT_GT(img.at(0, 0) & 0xff, img.at(0, 63) & 0xff) << "brighter at the top";
}

// Capture mode 1: the slide is captured even with no object that reads it,
// and the water covers the capture, so still water shows the stripes as mode
// 0 does, from the first frame on (the capture is sampled twice, so only the
// stripes' edges are softer).
TEST_F(WaterRingOnDevice, CaptureModeOneCoversTheCapturedSlide) {
    Stripes();
    MakeSlide(0);
    const Image plain = Frame(0.05);
    MakeSlide(1);
    EXPECT_EQ(slide->CaptureCount(), 1);
    const Image covered = Frame(0.05);
    covered.WritePngIfAsked("WaterRing_CaptureMode1");
    for (UINT y : {4u, 32u, 60u})
        for (UINT x = 2; x < 64; x += 4) {
            const D3DCOLOR stripe = (x / 4) % 2 ? kLight : kDark;
            EXPECT_TRUE(Probe(covered, x, y, stripe, 40));
            EXPECT_TRUE(Probe(covered, x, y, plain.at(x, y), 40));
        }
    EXPECT_FALSE(static_cast<DS_WaterRingLight&>(*slide->mainLayer).CaptureRunning());
}

// A device loss: the surface's default-pool buffers go with the render
// targets, so the reset is not refused; the restore tells the resource
// manager of the reset and makes a new surface with one drop.
TEST_F(WaterRingOnDevice, AfterADeviceLossAndResetTheWaterDrawsAgain) {
    Stripes();
    DS_WaterRingLight& rings = MakeSlide(0);
    const Image before = Frame(0.05);
    const int resets = pictures.resets;
    IDirect3DDevice9* d = harness.device;
    tessaloom::d3d9::LoseDevice(d, 1);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    slide->InvalidateDeviceObjects();
    EXPECT_FALSE(rings.ripples->vertexBuffer);
    EXPECT_FALSE(rings.ripples->indexBuffer);
    ASSERT_EQ(d->Reset(&harness.params), D3D_OK) << "no default-pool buffer may outlive the loss";
    slide->RestoreDeviceObjects();
    slide->Resize(64, 64);
    EXPECT_EQ(pictures.resets, resets + 1);
    EXPECT_TRUE(rings.ripples->vertexBuffer);
    float moving = 0.0f;
    for (const auto& cell : rings.ripples->grid) moving += std::fabs(cell.velocity);
    EXPECT_GT(moving, 0.0f) << "a new drop";
    Calm(rings);
    const Image after = Frame(0.1);
    for (UINT x : {2u, 30u, 62u}) EXPECT_TRUE(Probe(after, x, 32, before.at(x, 32), 12));
}

}  // namespace
