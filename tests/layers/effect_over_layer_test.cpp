// A shader effect on a slide leaves the picture layer's own drawing where it
// is: the flame layer's fire shows at the same pixels with and without a
// light effect over it, only brighter where the light is.
#include <gtest/gtest.h>

#include <memory>

#include "layers/effects/light_fx.h"
#include "layers/flame_light.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;

constexpr int kFireEffect = 92, kLightEffect = 76;
constexpr D3DCOLOR kDark = 0xff201008u;

class EffectOverFlame : public tessaloom::testing::LayerSlideFixture {
protected:
    void SetUp() override {
        LayerSlideFixture::SetUp();
        AddDemoEffect(kFireEffect, "fire.fx");
        AddDemoEffect(kLightEffect, "light.fx");
        AddPicture(5, 64, 64, [](UINT, UINT) { return kDark; });
        // Full heat wherever the pattern is white: the lower half of the fire quad.
        AddPicture(7, 16, 16, [](UINT, UINT y) { return y >= 8 ? 0xffffffffu : 0xff000000u; });
        AddPicture(8, 16, 16, [](UINT, UINT) { return 0xff808080u; });
        mask.Attach(harness.MakeTexture(64, 64, [](UINT, UINT) { return 0xffffffffu; }));
    }
    void TearDown() override {
        if (slide) {
            if (auto* flame = dynamic_cast<DS_FlameLight*>(slide->mainLayer.Get()); flame && flame->fire.effect.Get())
                for (const char* t : {"Noise", "Pattern", "Mask", "Background"})
                    flame->fire.effect.Get()->SetTexture(t, nullptr);
        }
        if (ID3DXEffect* light = EffectOf(kLightEffect)) {
            light->SetTexture("Mask", nullptr);
            light->SetTexture("Background", nullptr);
            light->Release();
        }
        slide.reset();
        mask.Release();
        LayerSlideFixture::TearDown();
    }

    // The flame slide (no distortion effect: no capture), with a light of
    // `amplitude` over the whole picture when asked, two frames drawn.
    Image Draw(bool withLight, UINT amplitude) {
        slide = std::make_unique<DS_SlideContainer>();
        auto* flame = new DS_FlameLight;
        flame->camera.enabled.value = 0;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(flame);
        if (withLight) {
            auto* light = new DS_LightFX;
            light->mode.Assign(0);
            light->amplitude.SetValue(amplitude);
            manager->GetGuidTexture(light->maskGuid) = DS_TextureRef::Share(mask.Get());
            slide->prototypes.push_back(light);
        }
        slide->Init();
        slide->RestoreDeviceObjects();
        slide->SetPicturePosition(DS_POS_STRETCH);
        slide->Resize(64, 64);
        EXPECT_NE(flame->fire.effect.Get(), nullptr);
        EXPECT_EQ(flame->distortionFlag.value, 0);
        Frame(0.5);
        return Frame(1.0);
    }

    DS_ComRef<IDirect3DTexture9> mask;
};

TEST_F(EffectOverFlame, TheFireStaysWhereItIsUnderALight) {
    const Image plain = Draw(false, 0);
    plain.WritePngIfAsked("EffectOverFlame_Plain");
    int fire = 0;
    for (D3DCOLOR c : plain.pixels) fire += ((c >> 16) & 0xFFu) > 0x80u;
    ASSERT_GT(fire, 64 * 8) << "the fire burns in the lower part of the picture";

    // A light of no strength changes nothing; a strong one only brightens.
    for (UINT amplitude : {0u, 100u}) {
        SCOPED_TRACE(amplitude);
        const Image lit = Draw(true, amplitude);
        lit.WritePngIfAsked("EffectOverFlame_Lit" + std::to_string(amplitude));
        ASSERT_EQ(lit.pixels.size(), plain.pixels.size());
        for (size_t i = 0; i < plain.pixels.size(); ++i) {
            const UINT x = static_cast<UINT>(i % 64), y = static_cast<UINT>(i / 64);
            if (amplitude == 0) {
                ASSERT_TRUE(tessaloom::testing::Probe(lit, x, y, plain.pixels[i], 2));
            } else {
                for (int shift : {0, 8, 16}) {
                    const int before = static_cast<int>((plain.pixels[i] >> shift) & 0xFFu);
                    const int after = static_cast<int>((lit.pixels[i] >> shift) & 0xFFu);
                    ASSERT_GE(after, before - 2) << x << ", " << y << " channel " << shift;
                }
            }
        }
    }
}

}  // namespace
