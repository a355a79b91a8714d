// The effect statements of the scene builder: parsing, the masks and picture
// sequences it paints, and a document whose slides carry effect objects,
// read back by the document loader as the saver reads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/effects/background_copy.h"
#include "layers/effects/pattern_brush.h"
#include "layers/effects/water_fx.h"
#include "layers/effects/waves_fx.h"
#include "platform/d3dx9/image.h"
#include "platform/win32/resource_container.h"
#include "scene/slide_show.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/scene_builder.h"

using namespace tessaloom::scene_builder;
using tessaloom::testing::BuildSceneDocument;
using tessaloom::testing::ReadText;
using tessaloom::testing::SceneReadBack;

namespace {

// Alpha of a decoded 32-bit picture.
BYTE AlphaAt(const tessaloom::d3dx::DecodedImage& image, UINT x, UINT y) { return image.Row(y)[x * 4 + 3]; }

tessaloom::d3dx::DecodedImage Decode(const std::vector<uint8_t>& tga, D3DXIMAGE_INFO& info) {
    tessaloom::d3dx::DecodedImage image;
    EXPECT_EQ(tessaloom::d3dx::DecodeTga(tga.data(), tga.size(), &info, &image), S_OK);
    return image;
}

const char kSource[] =
    "picture a valley 64 48\n"
    "mask lake band 0.5 1.2 0.05\n"
    "mask spot ellipse 0.25 0.25 0.2 0.1 0.5\n"
    "sequence snow snow 32 4 0.25\n"
    "slide One a 1 5 1 0 50\n"
    "effect DS_WaterFX mask=lake color=0x336699 angle=90 pFactor=30\n"
    "effect DS_WavesFX mask=spot amplitude=80 reverse=1 technique=1\n"
    "slide Two a 1 5 1 0 50\n"
    "effect DS_PatternBrushC pattern=snow patternScale=150 offsetX=5\n"
    "effect DS_BackgroundCopy x=-40 yFlag=1\n";

TEST(EffectSource, ParsesMasksSequencesAndEffects) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(kSource, scene, &error)) << error;
    ASSERT_EQ(scene.masks.size(), 2u);
    EXPECT_EQ(scene.masks[1].shape, "ellipse");
    EXPECT_EQ(scene.masks[1].values, (std::vector<float>{0.25f, 0.25f, 0.2f, 0.1f, 0.5f}));
    ASSERT_EQ(scene.sequences.size(), 1u);
    EXPECT_EQ(scene.sequences[0].frames, 4);
    ASSERT_EQ(scene.slides.size(), 2u);
    ASSERT_EQ(scene.slides[0].effects.size(), 2u);
    EXPECT_EQ(scene.slides[0].effects[0].className, "DS_WaterFX");
    EXPECT_EQ(scene.slides[0].effects[0].mask, "lake");
    EXPECT_EQ(scene.slides[0].effects[0].values.at("color"), "0x336699");
    EXPECT_EQ(scene.slides[1].effects[1].values.at("x"), "-40");
}

TEST(EffectSource, RejectsBadStatements) {
    const std::string head = "picture a valley 64 48\nslide One a 1 5 1 0 50\n";
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"effect DS_Nothing\n", "no effect class named 'DS_Nothing'"},
        {"effect DS_WavesFX colour=3\n", "has no value 'colour'"},
        {"effect DS_WavesFX amplitude=-3\n", "not a value for amplitude"},
        {"effect DS_WavesFX amplitude\n", "is not KEY=VALUE"},
        {"effect DS_WaterFX color=0x1000000\n", "not a value for color"},
        {"mask m circle 1 2 3\n", "a band or an ellipse"},
        {"mask m band 0.1 0.2\n", "takes 3 values"},
        {"mask m band 0.1 0.2 0\n", "feather must be above 0"},
        {"mask m band 0.1 0.2 x\n", "not a fraction"},
        {"mask a band 0.1 0.2 0.1\n", "defined twice"},
        {"sequence s rain 32 4 0.1\n", "no sequence painter named 'rain'"},
        {"sequence s snow 32 0 0.1\n", "1 to 64 frames"},
    };
    for (const auto& c : cases) {
        SceneSpec scene;
        std::string error;
        EXPECT_FALSE(ParseScene(head + c.text, scene, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " gave: " << error;
        EXPECT_NE(error.find("line 3: "), std::string::npos) << error;
    }
    SceneSpec scene;
    std::string error;
    EXPECT_FALSE(ParseScene("picture a valley 64 48\neffect DS_LightFX\nslide One a 1 5 1 0 50\n", scene, &error));
    EXPECT_NE(error.find("belongs to a slide above it"), std::string::npos) << error;
    // References are checked when the document is built.
    ASSERT_TRUE(ParseScene(head + "effect DS_LightFX mask=nowhere\n", scene, &error));
    std::vector<uint8_t> doc;
    EXPECT_FALSE(BuildDocument(scene, doc, &error));
    EXPECT_NE(error.find("no mask named 'nowhere'"), std::string::npos) << error;
    ASSERT_TRUE(ParseScene(head + "effect DS_PatternBrush pattern=nothing\n", scene, &error));
    EXPECT_FALSE(BuildDocument(scene, doc, &error));
    EXPECT_NE(error.find("no sequence named 'nothing'"), std::string::npos) << error;
}

// Masks are white with the shape in alpha: full inside, none well outside,
// soft between.
TEST(EffectPictures, MasksAndSequencesDecodeWithTheirAlpha) {
    D3DXIMAGE_INFO info{};
    MaskSpec band{"b", "band", {0.5f, 1.2f, 0.05f}};
    auto image = Decode(PaintMask(band, 64), info);
    EXPECT_EQ(info.Width, 64u);
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(AlphaAt(image, 10, 10), 0);
    EXPECT_EQ(AlphaAt(image, 10, 50), 255);
    EXPECT_GT(AlphaAt(image, 10, 32), 0);
    EXPECT_LT(AlphaAt(image, 10, 32), 255);
    MaskSpec spot{"e", "ellipse", {0.25f, 0.5f, 0.2f, 0.4f, 0.5f}};
    image = Decode(PaintMask(spot, 64), info);
    EXPECT_EQ(AlphaAt(image, 16, 32), 255);
    EXPECT_EQ(AlphaAt(image, 50, 32), 0);
    EXPECT_EQ(AlphaAt(image, 16, 2), 0);

    // The sequences move: each frame differs from the one before; the
    // pictures are mostly clear, with flakes or stars on them.
    for (const char* painter : {"snow", "stars"}) {
        SequenceSpec s{"s", painter, 64, 4, 0.1f};
        const std::vector<uint8_t> f0 = PaintSequenceFrame(s, 0), f1 = PaintSequenceFrame(s, 1);
        EXPECT_NE(f0, f1) << painter;
        image = Decode(f0, info);
        int covered = 0;
        for (UINT y = 0; y < 64; ++y)
            for (UINT x = 0; x < 64; ++x) covered += AlphaAt(image, x, y) > 128;
        EXPECT_GT(covered, 10) << painter;
        EXPECT_LT(covered, 64 * 64 / 3) << painter << ": mostly clear";
    }
    EXPECT_TRUE(PaintSequenceFrame({"s", "rain", 64, 4, 0.1f}, 0).empty());

    // The water's bump map: slopes around the middle grey in red and green.
    image = Decode(PaintEffectPicture("water-bump", 64, 64), info);
    int low = 0, high = 0;
    for (UINT x = 0; x < 64; ++x) {
        const BYTE red = image.Row(20)[x * 4 + 2];
        low += red < 96;
        high += red > 160;
    }
    EXPECT_GT(low, 2);
    EXPECT_GT(high, 2);
    EXPECT_TRUE(PaintEffectPicture("sea", 64, 64).empty());
}

// The loader reads the effects back: each slide's descriptions in drawing
// order (the slide draws its list from the last to the first), the values
// given, the masks under the descriptions' GUIDs, the sequence with its
// frames and delays.
TEST(EffectDocument, TheLoaderReadsTheSlidesEffects) {
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildSceneDocument(kSource, doc));

    const SceneReadBack back(doc);
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    DS_DocResManager* manager = back.manager();
    ASSERT_TRUE(manager);

    ASSERT_EQ(root->slides.size(), 2u);
    std::vector<DS_ABObj_Constructor*> one(root->slides[0]->prototypes.begin(), root->slides[0]->prototypes.end());
    ASSERT_EQ(one.size(), 2u);
    auto* waves = dynamic_cast<DS_WavesFX*>(one[0]);
    auto* water = dynamic_cast<DS_WaterFX*>(one[1]);
    ASSERT_NE(waves, nullptr);
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->color.value, 0x336699u);
    EXPECT_EQ(water->angle.value, 90u);
    EXPECT_FLOAT_EQ(water->pFactor.Converted(), 0.003f);
    EXPECT_EQ(water->maskName, u"lake");
    EXPECT_FLOAT_EQ(waves->amplitude.Converted(), 0.02f);
    EXPECT_EQ(waves->reverse.value, 1);
    EXPECT_EQ(waves->techniqueFlag.value, 1);
    EXPECT_EQ(waves->maskName, u"spot");
    EXPECT_NE(std::memcmp(&water->maskGuid, &waves->maskGuid, sizeof(GUID)), 0);
    for (const DS_FX_Constructor* fx : {static_cast<DS_FX_Constructor*>(water), static_cast<DS_FX_Constructor*>(waves)})
        EXPECT_EQ(manager->Tables().guidTextures.count(fx->maskGuid), 1u) << "the mask travels with the document";

    std::vector<DS_ABObj_Constructor*> two(root->slides[1]->prototypes.begin(), root->slides[1]->prototypes.end());
    ASSERT_EQ(two.size(), 2u);
    auto* copy = dynamic_cast<DS_BackgroundCopy*>(two[0]);
    auto* brush = dynamic_cast<DS_PatternBrushC*>(two[1]);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(copy->area.x.value, -40);
    EXPECT_EQ(copy->yFlag.value, 1);
    EXPECT_FLOAT_EQ(brush->patternScale.Converted(), 1.5f);
    EXPECT_FLOAT_EQ(brush->offsetX.Converted(), -0.05f);
    const DS_ImageSet& snow = manager->GetImage(brush->patternLink);
    EXPECT_EQ(snow.FrameCount(), 4u);
    EXPECT_EQ(snow.FrameValues(), (std::vector<float>{0.25f, 0.25f, 0.25f, 0.25f}));
}

// The effects scene builds; the resource module holds the water's bump map.
TEST(EffectDocument, TheDemoSceneBuildsAndTheModuleHoldsTheBumpMap) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/effects.scene"), scene, &error))
        << error;
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;
    for (const SlideSpec& slide : scene.slides) EXPECT_FALSE(slide.effects.empty()) << slide.name;

    const char* binary = std::getenv("TESSALOOM_TEST_BINARY_DIR");
    if (!binary) GTEST_SKIP() << "TESSALOOM_TEST_BINARY_DIR is not set (run through ctest)";
    auto module = tessaloom::ResourceContainer::Open(std::string(binary) + "/../common_res.dll", &error);
    ASSERT_TRUE(module) << error;
    const tessaloom::ContainerEntry* bump = module->Find(0, u"DDS", 89);
    ASSERT_NE(bump, nullptr);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + bump->offset, bump->size, &info, nullptr), S_OK);
    EXPECT_EQ(info.Width, 256u);
    EXPECT_EQ(info.Height, 256u);
}

}  // namespace
