// The user's picture position across the slides of one document: a slide is
// laid out by its own position whatever layer another slide holds.  The
// glass ball ends every resize of its own with the shared view in Fit; the
// plain slide beside it must still fill the screen under Stretch and Fill.
#include <gtest/gtest.h>

#include "layers/glass_ball_light.h"
#include "scene/slide_show.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::Probe;

constexpr D3DCOLOR kRed = 0xffff0000u, kGreen = 0xff00ff00u, kBlack = 0xff000000u;
constexpr int kPlainPicture = 70;

class PicturePositionAcrossSlides : public tessaloom::testing::EffectFixture {
protected:
    // A 64 x 32 back buffer and a square picture: Fit shows it at x 16..48
    // with bars at the sides; Stretch and Fill cover the whole buffer.
    PicturePositionAcrossSlides() : EffectFixture(64, 32) {}

    void SetUp() override {
        EffectFixture::SetUp();
        DS_GlassBallLight::scrollAccumulator = 0.0f;
        DS_GlassBallLight::previousFrameTime = 0.0;
        DS_GlassBallLight::hasPreviousFrameTime = false;
        // Left half red, right half green.
        AddPicture(kPlainPicture, 32, 32, [](UINT x, UINT) { return x < 16 ? kRed : kGreen; });
        AddPicture(5, 32, 32, [](UINT, UINT) { return 0xff4060a0u; });
    }
    void TearDown() override {
        root.reset();
        DS_GlassBallLight::hasPreviousFrameTime = false;
        EffectFixture::TearDown();
    }

    // Slides of one second's fade in, hold and fade out, each initialised as
    // the host does, then the saved picture position given to them all.
    void MakeRoot(bool ballFirst, int position) {
        root = std::make_unique<DS_SlideShow_Light>();
        auto add = [&](DS_2D_Light* layer) {
            layer->camera.enabled.value = 0;
            auto* slide = new DS_SlideContainer;
            slide->fadeIn.value = slide->hold.value = slide->fadeOut.value = 1;
            slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
            root->slides.emplace_back(slide);
        };
        auto* plain = new DS_2D_Light;
        plain->pictureLink.key = ModuleKey(kPlainPicture);
        auto* ball = new DS_GlassBallLight;
        ball->scrollMode.value = 0;
        if (ballFirst) add(ball);
        add(plain);
        if (!ballFirst) add(ball);
        for (auto& slide : root->slides) slide->Init();
        root->SetPicturePosition(position);
    }

    Image FrameAt(float time) {
        root->FrameMove(time);
        harness.device->BeginScene();
        root->Render();
        harness.device->EndScene();
        return harness.ReadBackBuffer();
    }

    // The plain slide fully shown: at once when it comes first; after the
    // ball's cycle (3 s) and the plain slide's fade-in when it comes second.
    Image PlainSlide(bool ballFirst) {
        if (!ballFirst) {
            FrameAt(0.0f);
            return FrameAt(0.05f);
        }
        FrameAt(0.0f);
        FrameAt(2.1f);  // the ball's cycle began 1 s before the first frame
        return FrameAt(3.6f);
    }

    std::unique_ptr<DS_SlideShow_Light> root;
};

TEST_F(PicturePositionAcrossSlides, APlainSlideBesideAGlassBallKeepsTheUsersPosition) {
    struct Case {
        int position;
        bool bars;
    };
    for (const Case c : {Case{DS_POS_STRETCH, false}, Case{DS_POS_FILL, false}, Case{DS_POS_FIT, true}}) {
        for (bool ballFirst : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "position " << c.position << (ballFirst ? ", ball first" : ", ball last"));
            MakeRoot(ballFirst, c.position);
            const Image image = PlainSlide(ballFirst);
            image.WritePngIfAsked("PicturePosition_" + std::to_string(c.position) + (ballFirst ? "_b" : "_p"));
            ASSERT_EQ(root->currentSlide.Get(), root->slides[ballFirst ? 1 : 0].Get()) << "the plain slide shows";
            for (UINT y : {2u, 16u, 29u}) {
                EXPECT_TRUE(Probe(image, 2, y, c.bars ? kBlack : kRed, 8));
                EXPECT_TRUE(Probe(image, 61, y, c.bars ? kBlack : kGreen, 8));
                EXPECT_TRUE(Probe(image, 20, y, kRed, 8));
                EXPECT_TRUE(Probe(image, 44, y, kGreen, 8));
            }
        }
    }
}

}  // namespace
