// Glyph rain in scene sources: the statement, the layer it makes in the
// document, the demo scene, and the glyph strip of the resource module with
// one glyph in each of its h / w + 2 bands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "document/archive.h"
#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/matrix_code_light.h"
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

TEST(GlyphStatement, KeysAndErrors) {
    GlyphSpec spec;
    std::string error;
    ASSERT_TRUE(ParseGlyphStatement({"cell=12", "density=45", "changes=0", "flicker=1", "background=1", "mode=0",
                                     "transparency=30", "color=3CFF6E", "highlight=E8FFEC"},
                                    spec, &error))
        << error;
    EXPECT_EQ(spec.cell, 12u);
    EXPECT_EQ(spec.density, 45u);
    EXPECT_EQ(spec.changes, 0u);
    EXPECT_EQ(spec.flicker, 1);
    EXPECT_EQ(spec.background, 1);
    EXPECT_EQ(spec.mode, 0);
    EXPECT_EQ(spec.transparency, 30u);
    EXPECT_EQ(spec.color, 0x006EFF3Cu) << "stored as 0x00BBGGRR";
    EXPECT_EQ(spec.highlight, 0x00ECFFE8u);

    struct Bad {
        const char* word;
        const char* message;
    } bad[] = {{"cell=0", "cell"}, {"mode=3", "mode"}, {"color=12345", "RRGGBB"}, {"speed=4", "no key 'speed'"},
               {"density", "KEY=VALUE"}, {"density=ten", "density"}};
    for (const Bad& b : bad) {
        GlyphSpec untouched;
        untouched.cell = 99;
        EXPECT_FALSE(ParseGlyphStatement({b.word}, untouched, &error)) << b.word;
        EXPECT_NE(error.find(b.message), std::string::npos) << b.word << " -> " << error;
        EXPECT_EQ(untouched.cell, 99u);
    }
    SceneSpec scene;
    EXPECT_FALSE(ParseScene("picture a night 8 8\nglyphs cell=4\nslide S a 1 1 1 0 50\n", scene, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

// The demo scene: a slide over the picture and one over black with the
// picture's brightness, read back as glyph-rain layers with their values.
TEST(GlyphStatement, TheRainSceneReadsBack) {
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildSceneDocument(ReadDemoScene("rain.scene"), doc));
    const SceneReadBack back(doc);
    DS_SlideShow_Light* root = back.root();
    ASSERT_TRUE(root);
    std::vector<DS_MatrixCodeLight*> rain;
    for (const auto& slide : root->slides)
        if (auto* layer = dynamic_cast<DS_MatrixCodeLight*>(slide->mainLayer.Get())) rain.push_back(layer);
    ASSERT_GE(rain.size(), 2u);
    EXPECT_EQ(rain[0]->background.value, 0);
    EXPECT_EQ(rain[0]->cellSize.value, 20u);
    EXPECT_EQ(rain[0]->color.value, 0x006EFF3Cu);
    EXPECT_NEAR(rain[0]->transparency.Converted(), 0.9f, 1e-6f);
    EXPECT_EQ(rain[1]->background.value, 1);
    EXPECT_EQ(rain[1]->cellSize.value, 16u);
    for (DS_MatrixCodeLight* layer : rain) EXPECT_EQ(layer->glyphImage.key, (DS_LinkKey{u"common_res.dll", 40}));
}

// The strip the module carries (picture 40): 32 x 448, so 16 bands of 28
// rows; every band holds a glyph and its first and last rows stay clear, so
// no glyph is cut by the layer's band edges.
TEST(GlyphStrip, OneGlyphInEachBand) {
    const char* binary = std::getenv("TESSALOOM_TEST_BINARY_DIR");
    if (!binary) GTEST_SKIP() << "TESSALOOM_TEST_BINARY_DIR is not set (run through ctest)";
    std::string error;
    auto module = tessaloom::ResourceContainer::Open(std::string(binary) + "/../common_res.dll", &error);
    ASSERT_TRUE(module) << error;
    const tessaloom::ContainerEntry* entry = module->Find(0, u"DDS", 40);
    ASSERT_NE(entry, nullptr);
    D3DXIMAGE_INFO info{};
    tessaloom::d3dx::DecodedImage image;
    ASSERT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + entry->offset, entry->size, &info, &image), S_OK);
    ASSERT_EQ(info.Width, 32u);
    ASSERT_EQ(info.Height, 448u);
    ASSERT_EQ(image.format, D3DFMT_A8R8G8B8);
    const UINT bands = info.Height / info.Width + 2, rows = info.Height / bands;
    ASSERT_EQ(bands, 16u);
    auto alpha = [&](UINT x, UINT y) { return image.Row(y)[x * 4 + 3]; };
    for (UINT b = 0; b < bands; ++b) {
        int strokes = 0;
        for (UINT y = b * rows; y < (b + 1) * rows; ++y)
            for (UINT x = 0; x < info.Width; ++x) strokes += alpha(x, y) > 200;
        EXPECT_GT(strokes, 20) << "band " << b;
        for (UINT x = 0; x < info.Width; ++x) {
            EXPECT_LT(alpha(x, b * rows), 140) << "band " << b << " top, x " << x;
            EXPECT_LT(alpha(x, (b + 1) * rows - 1), 140) << "band " << b << " bottom, x " << x;
        }
    }
    // No two neighbouring bands hold the same glyph.
    for (UINT b = 1; b < bands; ++b) {
        int differ = 0;
        for (UINT y = 0; y < rows; ++y)
            for (UINT x = 0; x < info.Width; ++x) differ += alpha(x, b * rows + y) != alpha(x, (b - 1) * rows + y);
        EXPECT_GT(differ, 20) << b;
    }
}

}  // namespace
