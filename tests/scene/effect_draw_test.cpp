// A layer drawing through a real effect: the demo light effect, made from a
// document's bytes by the resource manager, runs its pass over the picture
// quad through the runner installed from the start (no hook of the saver's).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "document/res_manager.h"
#include "platform/d3dx9/effect.h"
#include "scene/effect_calls.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"
#include "tests/support/d3d_harness.h"
#include "tests/support/scene_fixture.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;

// Read before any test can change it.
DS_EffectRunner* const g_runnerAtStart = GetEffectRunner();

using OnePicture = tessaloom::testing::OnePictureResources;

constexpr D3DCOLOR kBlue = 0xff0000ff, kWhite = 0xffffffff;

class EffectDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness_.ok());
        // The scene's device getter, which the resource manager makes on, reads it.
        CurrentDevice = harness_.device;
        SetLayerResources(&resources_);
        DS_SetCurrentViewState(&state_);
        SetEffectRunner(&DS_DefaultEffectRunner());
        // The picture: blue on the left, white on the right.
        resources_.picture.texture.Attach(
            harness_.MakeTexture(32, 32, [](UINT x, UINT) { return x < 16 ? kBlue : kWhite; }));
        resources_.picture.width = 32;
        resources_.picture.height = 32;
    }
    void TearDown() override {
        root_.reset();
        manager_.reset();
        resources_.picture.texture.Release();
        state_.view.Teardown();
        DS_SetCurrentViewState(nullptr);
        SetLayerResources(nullptr);
        CurrentDevice = nullptr;
    }

    // An effect of the demo folder, asked of a manager that has its bytes.
    ID3DXEffect* DemoEffect(const char* name) {
        std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects/" + name, std::ios::binary);
        const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        manager_ = std::make_unique<DS_DocResManager>();
        const DS_LinkKey key{u"C:\\fx\\demo.fx", 9};
        DS_ResFileData record;
        record.path = key.path;
        record.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
        manager_->Tables().allFiles[key].push_back(record);
        return manager_->GetEffect(DS_HLSLEffectFile(key));
    }

    D3DHarness harness_{64, 32};
    OnePicture resources_;
    DS_ViewState state_;
    std::unique_ptr<DS_SlideShow_Light> root_;
    std::unique_ptr<DS_DocResManager> manager_;
};

// The light effect over the stretched picture: where its mask is opaque (the
// top half) the effect's background times the multiplier is added to the
// picture; where the mask is clear the picture stays.  End puts back the
// states the pass set.
TEST_F(EffectDraw, TheLightEffectDrawsOverThePictureQuad) {
    EXPECT_EQ(g_runnerAtStart, &DS_DefaultEffectRunner());

    root_ = std::make_unique<DS_SlideShow_Light>();
    auto* slide = new DS_SlideContainer;
    slide->mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
    root_->slides.emplace_back(slide);
    slide->Init();
    root_->SetPicturePosition(DS_POS_STRETCH);
    IDirect3DDevice9* d = harness_.device;
    for (float t : {0.0f, 0.05f}) {
        root_->FrameMove(t);
        d->BeginScene();
        root_->Render();
        d->EndScene();
    }
    const Image before = harness_.ReadBackBuffer();
    ASSERT_TRUE(Probe(before, 2, 2, kBlue, 8));
    ASSERT_TRUE(Probe(before, 61, 29, kWhite, 8));

    ID3DXEffect* effect = DemoEffect("light.fx");
    ASSERT_NE(effect, nullptr);
    DS_ComRef<IDirect3DTexture9> background(
        harness_.MakeTexture(2, 1, [](UINT x, UINT) { return x == 0 ? 0xff402000u : 0xff002040u; }));
    DS_ComRef<IDirect3DTexture9> mask(
        harness_.MakeTexture(1, 2, [](UINT, UINT y) { return y == 0 ? 0xff000000u : 0u; }));
    ASSERT_EQ(effect->SetTexture("Background", background.Get()), D3D_OK);
    ASSERT_EQ(effect->SetTexture("Mask", mask.Get()), D3D_OK);
    ASSERT_EQ(effect->SetFloat("multiplier", 1.0f), D3D_OK);  // twice as bright

    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->BeginScene();
    layer.DrawWithEffect(layer.GetScreenQuad(), &effect);
    d->EndScene();
    const Image image = harness_.ReadBackBuffer();
    image.WritePngIfAsked("EffectDraw_Light");
    EXPECT_TRUE(Probe(image, 2, 2, 0xff4020ffu, 6));   // blue plus the background's left texel
    EXPECT_TRUE(Probe(image, 61, 2, kWhite, 6));       // white plus its right texel, saturated
    EXPECT_TRUE(Probe(image, 2, 29, kBlue, 8));        // mask clear: the picture
    EXPECT_TRUE(Probe(image, 61, 29, kWhite, 8));
    DWORD value = 0;
    d->GetRenderState(D3DRS_DESTBLEND, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DBLEND_ZERO));
    d->GetRenderState(D3DRS_ALPHABLENDENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));

    effect->SetTexture("Background", nullptr);
    effect->SetTexture("Mask", nullptr);
    effect->Release();
}

}  // namespace
