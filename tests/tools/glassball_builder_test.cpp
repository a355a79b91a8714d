// The glass ball in scene sources: the slide and its statement, the layer
// the document carries, the statement's errors, the pictures painted for
// the ball (transparent where the ball must show through) and the resource
// module holding them under 58, 59 and 60.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/glass_ball_light.h"
#include "platform/d3dx9/image.h"
#include "platform/win32/resource_container.h"
#include "scene/slide_show.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/scene_builder.h"

using namespace tessaloom::scene_builder;
using tessaloom::testing::BuildSceneDocument;
using tessaloom::testing::ReadDemoScene;
using tessaloom::testing::SceneReadBack;

namespace {

// The document of a scene source read back: its root and its manager.
SceneReadBack Build(const std::string& source) {
    std::vector<uint8_t> doc;
    EXPECT_TRUE(BuildSceneDocument(source, doc));
    return SceneReadBack(doc);
}

// The layers scene begins with the glass ball over the night city: its
// statement's values in the layer, the module's overlay and shine pictures
// by default, the gradient behind it.
TEST(GlassBallScene, TheLayersSceneOpensWithTheGlassBall) {
    const SceneReadBack doc = Build(ReadDemoScene("layers.scene"));
    ASSERT_NE(doc.root(), nullptr);
    ASSERT_NE(doc.manager(), nullptr);
    ASSERT_GE(doc.root()->slides.size(), 1u);
    auto* ball = dynamic_cast<DS_GlassBallLight*>(doc.root()->slides[0]->mainLayer.Get());
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(ball->size.value, 55u);
    EXPECT_EQ(ball->lensStrength.value, 30u);
    EXPECT_EQ(ball->scrollSpeed.value, 50u);
    EXPECT_FLOAT_EQ(ball->scrollSpeed.Converted(), 2.0f);
    EXPECT_EQ(ball->scrollMode.value, 3);
    EXPECT_EQ(ball->gradientTop.value, 0x00361218u) << "0xRRGGBB written, COLORREF stored";
    EXPECT_EQ(ball->gradientBottom.value, 0x000A0405u);
    EXPECT_EQ(ball->backgroundSource.value, 0);
    EXPECT_EQ(ball->overlay1Image.key, (DS_LinkKey{u"common_res.dll", 58}));
    EXPECT_EQ(ball->shineImage.key, (DS_LinkKey{u"common_res.dll", 60}));
    EXPECT_TRUE(doc.manager()->Tables().allFiles.count(ball->pictureLink.key)) << "the city travels with the document";
    EXPECT_FALSE(doc.root()->slides[0]->prototypes.empty()) << "the twinkling stars";
}

TEST(GlassBallScene, StatementValuesAndBackgroundPicture) {
    const SceneReadBack doc = Build(
        "picture a night-city 64 48\npicture room valley 32 24\n"
        "slide Ball a 1 5 1 0 50 glassball\n"
        "glassball size=40 strength=7 at=-120,35 mode=1 speed=25 top=FF8000 bottom=0000FF background=room overlays=0 shine=1\n");
    ASSERT_NE(doc.root(), nullptr);
    auto* ball = dynamic_cast<DS_GlassBallLight*>(doc.root()->slides[0]->mainLayer.Get());
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(ball->size.value, 40u);
    EXPECT_EQ(ball->lensStrength.value, 7u);
    EXPECT_EQ(ball->ballPosition.value.x, -120);
    EXPECT_EQ(ball->ballPosition.value.y, 35);
    EXPECT_EQ(ball->scrollMode.value, 1);
    EXPECT_FLOAT_EQ(ball->scrollSpeed.Converted(), 1.5f);
    EXPECT_EQ(ball->gradientTop.value, 0x000080FFu);
    EXPECT_EQ(ball->gradientBottom.value, 0x00FF0000u);
    EXPECT_EQ(ball->backgroundSource.value, 1);
    EXPECT_EQ(ball->backgroundImage.key.path, u"C:\\Tessaloom\\Pictures\\room.tga");
    EXPECT_EQ(ball->overlay1Flag.value, 0);
    EXPECT_EQ(ball->overlay2Flag.value, 0);
    EXPECT_EQ(ball->shineFlag.value, 1);
}

TEST(GlassBallScene, StatementErrors) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball lens=3\n", "no key 'lens'"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball mode=4\n", "not a value for mode"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball top=12345\n", "not a value for top"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball at=3\n", "not a value for at"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball size\n", "KEY=VALUE"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50\nglassball size=3\n", "follows a glassball slide"},
        {"picture a valley 8 8\nglassball size=3\nslide S a 1 1 1 0 50 glassball\n", "follows a glassball slide"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50 glass\n", "no layer named 'glass'"},
    };
    for (const Case& c : cases) {
        SceneSpec scene;
        std::string error;
        EXPECT_FALSE(ParseScene(c.text, scene, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene("picture a valley 8 8\nslide S a 1 1 1 0 50 glassball\nglassball background=b\n", scene,
                           &error));
    std::vector<uint8_t> doc;
    EXPECT_FALSE(BuildDocument(scene, doc, &error));
    EXPECT_NE(error.find("background 'b'"), std::string::npos) << error;
}

// The overlays leave the ball's middle clear and are clear outside the
// disc; the rim darkens its edge; the glint has an opaque white core; the
// shine is clear where its quad lies over the ball and bright below it.
TEST(GlassBallPictures, ClearWhereTheBallShowsThrough) {
    Picture rim, glint, caustic, city;
    ASSERT_TRUE(PaintNamed("glass-rim", 128, 128, rim));
    ASSERT_TRUE(PaintNamed("glass-glint", 128, 128, glint));
    ASSERT_TRUE(PaintNamed("glass-caustic", 128, 64, caustic));
    ASSERT_TRUE(PaintNamed("night-city", 160, 120, city));
    EXPECT_TRUE(city.alpha.empty()) << "the city is opaque";
    ASSERT_FALSE(rim.alpha.empty());
    EXPECT_EQ(rim.AlphaAt(64, 64), 0);
    EXPECT_GT(rim.AlphaAt(2, 64), 120) << "the rim";
    EXPECT_EQ(rim.AlphaAt(0, 0), 0) << "outside the disc";
    EXPECT_EQ(glint.AlphaAt(64, 100), 0) << "the lower middle is clear";
    EXPECT_EQ(glint.AlphaAt(0, 0), 0);
    // The glint sits at (-0.08, -0.62) of the disc: pixel (58, 24).
    EXPECT_GT(glint.AlphaAt(58, 24), 230);
    EXPECT_GT(glint.At(58, 24).r, 240);
    EXPECT_EQ(caustic.AlphaAt(64, 5), 0) << "over the ball";
    EXPECT_GT(caustic.AlphaAt(68, 45), 200) << "the focused spot";
    EXPECT_GT(caustic.At(68, 45).r, 200);
    for (const std::string& name : {"glass-rim", "night-city"}) {
        const auto& names = PictureNames();
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
}

TEST(GlassBallPictures, TheModuleHoldsTheOverlaysAndTheShine) {
    const char* binary = std::getenv("TESSALOOM_TEST_BINARY_DIR");
    if (!binary) GTEST_SKIP() << "TESSALOOM_TEST_BINARY_DIR is not set (run through ctest)";
    std::string error;
    auto module = tessaloom::ResourceContainer::Open(std::string(binary) + "/../common_res.dll", &error);
    ASSERT_TRUE(module) << error;
    const std::tuple<WORD, UINT, UINT> pictures[] = {{58, 512, 512}, {59, 512, 512}, {60, 256, 128}};
    for (const auto& [number, width, height] : pictures) {
        const tessaloom::ContainerEntry* entry = module->Find(0, u"DDS", number);
        ASSERT_NE(entry, nullptr) << number;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + entry->offset, entry->size, &info, nullptr), S_OK)
            << number;
        EXPECT_EQ(info.Width, width) << number;
        EXPECT_EQ(info.Height, height) << number;
        EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8) << number << " carries alpha";
    }
}

}  // namespace
