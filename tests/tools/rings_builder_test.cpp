// Water rings in scene sources: the two layer names, the pond painter, and
// the rain scene's pond slides read back as water-ring layers in capture
// modes 0 and 1, after whatever slides come before them.
#include <gtest/gtest.h>

#include <memory>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/water_ring_light.h"
#include "scene/slide_show.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/rings_builder.h"
#include "tools/scene_builder/scene_builder.h"

using namespace tessaloom::scene_builder;
using tessaloom::testing::BuildSceneDocument;
using tessaloom::testing::ReadDemoScene;
using tessaloom::testing::SceneReadBack;

namespace {

TEST(RingsBuilder, LayerNames) {
    for (const char* name : {"rings", "rings-over"}) {
        std::unique_ptr<DS_2D_Light> layer(MakeRingsLayer(name));
        auto* rings = dynamic_cast<DS_WaterRingLight*>(layer.get());
        ASSERT_NE(rings, nullptr) << name;
        EXPECT_EQ(rings->captureMode.value, std::string(name) == "rings-over" ? 1 : 0);
        EXPECT_FLOAT_EQ(rings->dropRate.Converted(), 1.0f) << "a drop a second";
    }
    EXPECT_EQ(MakeRingsLayer("flame"), nullptr);
    SceneSpec scene;
    std::string error;
    EXPECT_FALSE(ParseScene("picture p pond 64 36\nslide A p 1 1 1 0 50 ripples\n", scene, &error));
    EXPECT_NE(error.find("rings-over"), std::string::npos) << error;
    EXPECT_TRUE(ParseScene("picture p pond 64 36\nslide A p 1 1 1 0 50 rings\n", scene, &error)) << error;
    EXPECT_FALSE(ParseScene("sprite p pond 64 36\nslide A p 1 1 1 0 50 rings\n", scene, &error))
        << "the pond has no sprite painting";
}

// The pond: deep green water in the middle, shallow muddy banks, a lily pad
// where the painter puts the first one.
TEST(RingsBuilder, ThePondLooksLikeAPond) {
    Picture pond;
    EXPECT_FALSE(PaintRingsPicture("lake", 160, 90, pond));
    EXPECT_FALSE(PaintRingsPicture("pond", 0, 90, pond));
    ASSERT_TRUE(PaintRingsPicture("pond", 320, 180, pond));
    ASSERT_EQ(pond.width, 320);
    ASSERT_EQ(pond.height, 180);
    const Rgb deep = pond.At(160, 100);
    EXPECT_GT(deep.g, deep.r);
    EXPECT_LT(deep.g, 90) << "dark in the middle";
    const Rgb bank = pond.At(160, 2);
    EXPECT_GT(bank.r + bank.g + bank.b, deep.r + deep.g + deep.b) << "the banks are shallow and light";
    // Three quarters of the way from its centre to its rim, left of the flower.
    const Rgb pad = pond.At(static_cast<int>(0.22f * 320 - 10), static_cast<int>(0.24f * 180 + 3));
    EXPECT_GT(pad.g, 100);
    EXPECT_GT(pad.g, pad.r + 40) << "a lily pad is green";
}

// The rain scene ends with the two pond slides: water under the raindrops
// (capture mode 0), then water over the whole slide (capture mode 1) with
// the camera drifting.
TEST(RingsBuilder, TheRainScenesPondSlidesReadBack) {
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildSceneDocument(ReadDemoScene("rain.scene"), doc));

    const SceneReadBack back(doc);
    DS_DocResManager* manager = back.manager();
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(manager, nullptr);
    ASSERT_GE(root->slides.size(), 2u);
    const size_t n = root->slides.size();
    for (size_t i = 0; i + 2 < n; ++i)
        EXPECT_EQ(dynamic_cast<DS_WaterRingLight*>(root->slides[i]->mainLayer.Get()), nullptr)
            << "the pond slides come last";
    auto* under = dynamic_cast<DS_WaterRingLight*>(root->slides[n - 2]->mainLayer.Get());
    auto* over = dynamic_cast<DS_WaterRingLight*>(root->slides[n - 1]->mainLayer.Get());
    ASSERT_NE(under, nullptr);
    ASSERT_NE(over, nullptr);
    EXPECT_EQ(under->captureMode.value, 0);
    EXPECT_EQ(over->captureMode.value, 1);
    EXPECT_EQ(under->camera.enabled.value, 0);
    EXPECT_EQ(over->camera.enabled.value, 1);
    EXPECT_EQ(under->pictureLink.key, over->pictureLink.key);
    EXPECT_TRUE(manager->Tables().allFiles.count(under->pictureLink.key)) << "the pond travels with the document";
    EXPECT_FALSE(root->slides[n - 2]->prototypes.empty()) << "the raindrops";
    EXPECT_FALSE(root->slides[n - 1]->prototypes.empty()) << "the drifting leaves";
}

}  // namespace
