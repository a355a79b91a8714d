// The water layers of scene sources: the lake's bump map as a DDS file, and
// the layers scene, whose slides read back as the underwater and the lake
// layer, the lake's bump map in the document's GUID table under its key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/fake_lake_2d.h"
#include "layers/fake_undervater.h"
#include "platform/d3dx9/image.h"
#include "scene/slide_show.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/lake_builder.h"
#include "tools/scene_builder/scene_builder.h"

namespace {

using namespace tessaloom::scene_builder;
using tessaloom::testing::ReadText;
using tessaloom::testing::SceneReadBack;

// Q8W8V8U8 texels: U and V the swells' slopes, both signs, W 0 and Q 1; the
// map tiles (its last column runs on into its first as any two neighbours do).
TEST(LakeBump, ADdsFileOfTilingSlopes) {
    const std::vector<uint8_t> file = MakeLakeBumpDds(128);
    D3DXIMAGE_INFO info{};
    tessaloom::d3dx::DecodedImage image;
    ASSERT_EQ(tessaloom::d3dx::DecodeDds(file.data(), file.size(), &info, &image), S_OK);
    EXPECT_EQ(info.Format, D3DFMT_Q8W8V8U8);
    EXPECT_EQ(info.Width, 128u);
    EXPECT_EQ(info.Height, 128u);
    int negative = 0, positive = 0, worstStep = 0, worstWrap = 0;
    for (UINT y = 0; y < 128; ++y) {
        const auto* row = reinterpret_cast<const int8_t*>(image.Row(y));
        for (UINT x = 0; x < 128; ++x) {
            negative += row[x * 4] < -40;
            positive += row[x * 4] > 40;
            ASSERT_EQ(row[x * 4 + 2], 0);
            ASSERT_EQ(row[x * 4 + 3], 127);
            const int next = row[((x + 1) % 128) * 4];
            const int step = std::abs(next - row[x * 4]);
            if (x == 127) {
                worstWrap = std::max(worstWrap, step);
            } else {
                worstStep = std::max(worstStep, step);
            }
        }
    }
    EXPECT_GT(negative, 500);
    EXPECT_GT(positive, 500);
    EXPECT_LE(worstWrap, worstStep + 2) << "no seam where the map repeats";
    EXPECT_TRUE(MakeLakeBumpDds(4).empty());
    EXPECT_TRUE(MakeLakeBumpDds(2048).empty());
}

// The lake's picture: blue sky on top, dark firs just above the shore line
// at 0.625 of the height (the lake layer's default horizon), water below;
// the smallest size paints too.
TEST(LakeShore, TheShoreLineIsTheLakesHorizon) {
    Picture p;
    ASSERT_TRUE(PaintNamed("lake-shore", 320, 160, p));
    const Rgb sky = p.At(20, 2);
    EXPECT_GT(sky.b, sky.r + 60) << "blue sky";
    int firs = 0;
    for (int x = 0; x < 320; ++x) {
        const Rgb c = p.At(x, 98);  // the row above 0.625 x 160 = 100
        firs += c.g > c.r && c.g > c.b && c.g < 110;
    }
    EXPECT_GT(firs, 300) << "the dark fir line along the shore";
    EXPECT_TRUE(PaintNamed("lake-shore", 1, 2, p));
}

// The demo scene of the layers: its slides read back as the underwater layer
// and the lake, the lake with its key's bump map in the manager's table; the
// document is the same from build to build.
TEST(LakeBuilder, TheLayersSceneReadsBack) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/layers.scene"), scene, &error))
        << error;
    std::vector<uint8_t> doc, again;
    ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;
    ASSERT_TRUE(BuildDocument(scene, again, &error)) << error;
    EXPECT_EQ(doc, again);

    const SceneReadBack back(doc);
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    DS_DocResManager* manager = back.manager();
    ASSERT_TRUE(manager);
    // The scene's other slides (the glass ball's) come first.
    FakeUndervater* reef = nullptr;
    FakeLake2D* lake = nullptr;
    for (const auto& slide : root->slides) {
        if (auto* r = dynamic_cast<FakeUndervater*>(slide->mainLayer.Get())) reef = r;
        if (auto* l = dynamic_cast<FakeLake2D*>(slide->mainLayer.Get())) lake = l;
    }
    ASSERT_NE(reef, nullptr);
    ASSERT_NE(lake, nullptr);
    EXPECT_EQ(reef->effect.effectLink.key, (DS_LinkKey{u"common_res.dll", 88}));
    EXPECT_EQ(manager->Tables().guidTextures.count(lake->bumpKey), 1u) << "the bump map travels with the document";
    EXPECT_FLOAT_EQ(lake->perspective.Converted(), 0.375f);
}

TEST(LakeBuilder, OnlyItsOwnLayerNames) {
    DS_DocResManager manager;
    EXPECT_TRUE(IsWaterLayerName("lake"));
    EXPECT_TRUE(IsWaterLayerName("underwater"));
    EXPECT_FALSE(IsWaterLayerName("flame"));
    EXPECT_EQ(MakeWaterLayer("flame", manager, 1), nullptr);
    std::unique_ptr<DS_2D_Light> one(MakeWaterLayer("lake", manager, 1)), two(MakeWaterLayer("lake", manager, 2));
    auto* a = dynamic_cast<FakeLake2D*>(one.get());
    auto* b = dynamic_cast<FakeLake2D*>(two.get());
    ASSERT_TRUE(a && b);
    EXPECT_NE(std::memcmp(&a->bumpKey, &b->bumpKey, sizeof(GUID)), 0) << "a key per slide";
    EXPECT_EQ(manager.Tables().guidData.size(), 2u);
}

}  // namespace
