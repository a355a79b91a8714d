// The fire effect's painted mask lies over the picture: it is sampled in the
// picture's own space, so under a letterbox, a zoom or both the fire burns
// where the mask is painted on the picture, not where the mask would fall on
// the screen.
#include <gtest/gtest.h>

#include <memory>

#include "layers/effects/fire_fx.h"
#include "scene/picture_layer.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;

constexpr int kFireEffect = 92;
constexpr D3DCOLOR kNight = 0xff102040u;
constexpr UINT kSide = 64;

// The painted part of the mask, in picture pixels: off the centre, so that
// no zoom about the centre or letterbox maps it onto itself.
constexpr float kMaskLeft = 8, kMaskRight = 24, kMaskTop = 4, kMaskBottom = 12;

class FireMaskOnDevice : public tessaloom::testing::EffectFixture {
protected:
    void SetUp() override {
        EffectFixture::SetUp();
        AddDemoEffect(kFireEffect, "fire.fx");
        // A white pattern and an even grey noise: full heat wherever the fire is.
        AddPicture(93, 16, 16, [](UINT, UINT) { return 0xffffffffu; });
        AddPicture(8, 16, 16, [](UINT, UINT) { return 0xff808080u; });
    }
    void TearDown() override {
        if (fire && fire->effect.Get())
            for (const char* t : {"Noise", "Pattern", "Mask", "Background"}) fire->effect.Get()->SetTexture(t, nullptr);
        fire.reset();
        mask.Release();
        layer.reset();
        EffectFixture::TearDown();
    }

    // A layer over a picture of kSide x `height`, the fire over the whole
    // picture through a mask of the picture's size.
    void Make(UINT height, int position) {
        AddPicture(5, kSide, height, [](UINT, UINT) { return kNight; });
        layer = std::make_unique<DS_2D_Light>();
        layer->camera.enabled.value = 0;
        layer->CreateDeviceObjects();
        layer->RestoreDeviceObjects();
        layer->SetPicturePosition(position);
        layer->Resize(static_cast<int>(kSide), static_cast<int>(kSide));
        mask.Attach(harness.MakeTexture(kSide, height, [](UINT x, UINT y) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            return px > kMaskLeft && px < kMaskRight && py > kMaskTop && py < kMaskBottom ? 0xffffffffu : 0x00ffffffu;
        }));
        fire = std::make_unique<DS_FireFX>();
        const float w = static_cast<float>(kSide), h = static_cast<float>(height);
        const float c[4][2] = {{0, 0}, {0, h}, {w, 0}, {w, h}};
        for (int i = 0; i < 4; ++i) fire->quad.corners[i].value = D3DXVECTOR3(c[i][0], c[i][1], 0);
        IDirect3DTexture9* m = mask.Get();
        fire->CreateDeviceObjects(&m);
        ASSERT_NE(fire->effect.Get(), nullptr);
    }
    Image Draw() {
        harness.device->BeginScene();
        layer->DrawPicture();
        fire->Apply(*layer);
        harness.device->EndScene();
        return harness.ReadBackBuffer();
    }

    std::unique_ptr<DS_2D_Light> layer;
    DS_ComRef<IDirect3DTexture9> mask;
    std::unique_ptr<DS_FireFX> fire;
};

// Each case gives the picture point under a back-buffer pixel centre; the
// fire (red over the night blue) must show exactly where that point lies in
// the painted part, a margin of a picture pixel left for the filtering.
TEST_F(FireMaskOnDevice, TheMaskFollowsThePictureUnderFitAndZoom) {
    struct Case {
        const char* name;
        UINT height;
        int position;
        float zoom, panX, panY;
        // Back-buffer pixel centre -> picture point.
        float scale, offsetX, offsetY;
    } cases[] = {
        // 64 x 32 in Fit: rows 16..48, one picture pixel per pixel.
        {"fit", 32, DS_POS_FIT, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, -16.0f},
        // Square, zoom 2 keeping the top-left corner: p = s / 2.
        {"zoom", kSide, DS_POS_STRETCH, 2.0f, -1.0f, -1.0f, 0.5f, 0.0f, 0.0f},
        // 64 x 32 in Fit, zoom 2 keeping the top-left corner: p = (s - (0, 16)) / 2.
        {"fit and zoom", 32, DS_POS_FIT, 2.0f, -1.0f, -1.0f, 0.5f, 0.0f, -16.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(c.height, c.position);
        DS_2DView::Current().SetZoom(c.zoom, c.panX, c.panY);
        const Image image = Draw();
        image.WritePngIfAsked(std::string("FireMask_") + c.name);
        int inside = 0;
        for (UINT y = 0; y < kSide; ++y) {
            for (UINT x = 0; x < kSide; ++x) {
                const float px = (static_cast<float>(x) + 0.5f + c.offsetX) * c.scale;
                const float py = (static_cast<float>(y) + 0.5f + c.offsetY) * c.scale;
                if (px < 0 || py < 0 || py > static_cast<float>(c.height)) continue;  // bars, off the picture
                const bool in = px > kMaskLeft + 1 && px < kMaskRight - 1 && py > kMaskTop + 1 && py < kMaskBottom - 1;
                const bool out = px < kMaskLeft - 1 || px > kMaskRight + 1 || py < kMaskTop - 1 || py > kMaskBottom + 1;
                const int red = static_cast<int>((image.at(x, y) >> 16) & 0xFFu);
                if (in) {
                    ++inside;
                    ASSERT_GT(red, 0xC0) << "fire at " << x << ", " << y << " (picture " << px << ", " << py << ")";
                } else if (out) {
                    ASSERT_TRUE(tessaloom::testing::Probe(image, x, y, kNight, 4))
                        << "no fire at picture " << px << ", " << py;
                }
            }
        }
        EXPECT_GT(inside, 0);
        fire.reset();
        mask.Release();
        layer.reset();
    }
}

}  // namespace
