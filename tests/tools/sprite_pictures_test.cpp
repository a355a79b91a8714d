// The sprite pictures the builder paints (alpha where the shape is, each
// rooted or facing as its kind needs), the module's picture sets, and sprite
// populations in scene sources and documents.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "document/res_module.h"
#include "platform/d3dx9/image.h"
#include "scene/slide_show.h"
#include "scene/sprites/fish.h"
#include "scene/sprites/flow.h"
#include "scene/sprites/stat_obj.h"
#include "tools/scene_builder/scene_builder.h"
#include "tools/scene_builder/sprite_pictures.h"

using namespace tessaloom::scene_builder;

namespace {

PictureRgba Painted(const std::string& name, int w, int h, int frame = 0) {
    PictureRgba p;
    EXPECT_TRUE(PaintSprite(name, w, h, frame, p)) << name;
    return p;
}

// Alpha summed over a rectangle of fractions of the picture.
double AlphaIn(const PictureRgba& p, float x0, float x1, float y0, float y1) {
    double sum = 0.0;
    for (int y = static_cast<int>(y0 * p.height); y < static_cast<int>(y1 * p.height); ++y)
        for (int x = static_cast<int>(x0 * p.width); x < static_cast<int>(x1 * p.width); ++x) sum += p.At(x, y).a;
    return sum;
}

}  // namespace

TEST(SpritePictures, EveryPictureHasAShapeOnAClearGround) {
    for (const std::string& name : SpritePictureNames()) {
        SCOPED_TRACE(name);
        const int w = name == "discharge" ? 512 : 128;  // a sheet of square frames
        const PictureRgba p = Painted(name, w, 128);
        int clear = 0, solid = 0;
        for (const Rgba& px : p.pixels) {
            clear += px.a == 0;
            solid += px.a >= 160;
        }
        EXPECT_GT(clear, w * 128 / 10);  // a sprite, not a card
        if (name != "fog" && name != "halo" && name != "godray" && name != "raindrop" && name != "bubble")
            EXPECT_GT(solid, 40);
        // Through the decoder, alpha and all.
        const auto tga = EncodeTga32(p);
        D3DXIMAGE_INFO info{};
        tessaloom::d3dx::DecodedImage image;
        ASSERT_EQ(tessaloom::d3dx::DecodeTga(tga.data(), tga.size(), &info, &image), S_OK);
        EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
        int wrong = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const BYTE* d = image.Row(static_cast<UINT>(y)) + x * 4;
                const Rgba& s = p.At(x, y);
                wrong += d[0] != s.b || d[1] != s.g || d[2] != s.r || d[3] != s.a;
            }
        EXPECT_EQ(wrong, 0);
    }
    PictureRgba untouched(2, 2);
    EXPECT_FALSE(PaintSprite("testcard", 64, 64, 0, untouched));
    EXPECT_FALSE(PaintSprite("fish", 2, 64, 0, untouched));
    EXPECT_EQ(untouched.width, 2);
}

TEST(SpritePictures, EachFacesOrStandsAsItsKindNeeds) {
    // Fish and bird face +x: the head (eye, beak) is on the right, the tail
    // on the left.
    const PictureRgba fish = Painted("fish", 128, 64);
    const Rgba eye = fish.At(static_cast<int>(0.81f * 128), static_cast<int>(0.42f * 64));
    EXPECT_EQ(eye.a, 255);
    EXPECT_LT(eye.r + eye.g + eye.b, 120);  // the pupil
    const PictureRgba bird = Painted("bird", 128, 64, 1);
    const Rgba beak = bird.At(static_cast<int>(0.86f * 128), static_cast<int>(0.53f * 64));
    EXPECT_GT(beak.a, 200);
    EXPECT_GT(beak.r, beak.b + 80);  // yellow bill at the right
    // Grass and flower are rooted on the bottom edge (the flower at its middle).
    const PictureRgba grass = Painted("grass", 64, 128);
    EXPECT_GT(AlphaIn(grass, 0.4f, 0.6f, 0.97f, 1.0f), AlphaIn(grass, 0.4f, 0.6f, 0.0f, 0.03f) * 4);
    EXPECT_EQ(grass.At(0, 127).a, 0);
    const PictureRgba flower = Painted("flower", 96, 160);
    EXPECT_EQ(flower.At(48, 159).a, 255);
    EXPECT_EQ(flower.At(4, 159).a, 0);
    // The drop brightens along its height; the beam has soft sides.
    const PictureRgba drop = Painted("raindrop", 8, 64);
    EXPECT_GT(AlphaIn(drop, 0, 1, 0.75f, 1.0f), 3 * AlphaIn(drop, 0, 1, 0.0f, 0.25f));
    const PictureRgba ray = Painted("godray", 64, 256);
    EXPECT_GT(ray.At(32, 20).a, 4 * std::max<int>(1, ray.At(2, 20).a));
    // The discharge sheet: four square frames, each a different arc.
    const PictureRgba sheet = Painted("discharge", 512, 128);
    std::vector<double> cells;
    for (int f = 0; f < 4; ++f) {
        cells.push_back(AlphaIn(sheet, f * 0.25f, (f + 1) * 0.25f, 0, 1));
        EXPECT_GT(cells.back(), 0.0) << f;
    }
    int differing = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) differing += sheet.At(x, y).a != sheet.At(x + 128, y).a;
    EXPECT_GT(differing, 500);
}

TEST(SpritePictures, ModulePictureSetsCarryFramesAndDelays) {
    for (const SpriteSetSpec& spec : SpriteSetNames()) {
        SCOPED_TRACE(spec.name);
        const std::vector<uint8_t> bytes = BuildSpriteSet(spec.name, 128, 64);
        ASSERT_FALSE(bytes.empty());
        const DS_PictureSetResource set = ReadPictureSetResource(DS_ResourceBytes{bytes.data(), static_cast<DWORD>(bytes.size())});
        ASSERT_EQ(set.frames.size(), static_cast<size_t>(spec.frames));
        EXPECT_EQ(set.frameValues, std::vector<float>(static_cast<size_t>(spec.frames), spec.delay));
        EXPECT_NE(set.frames[0].GetSize(), 0u);
        // Frames 0 and 1 show the tail or wings in different places.
        EXPECT_NE(std::vector<BYTE>(set.frames[0].GetBytes(), set.frames[0].GetBytes() + set.frames[0].GetSize()),
                  std::vector<BYTE>(set.frames[1].GetBytes(), set.frames[1].GetBytes() + set.frames[1].GetSize()));
    }
    EXPECT_TRUE(BuildSpriteSet("ghost", 64, 64).empty());
}

TEST(SpriteSource, PopulationsInScenesAndDocuments) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene("picture a valley 64 48\nsprite leaf leaf 32 32\n"
                           "slide One a 1 5 1 0 50\n"
                           "sprites fish image=module:20 count=9 size=120 range=90,20 area=0,1,0.1,0.8 color=FF8000\n"
                           "sprites flow image=leaf angle=290 flowspeed=70 sway=12,3 orientation=2\n"
                           "sprites still image=leaf at=30,20 rotation=15 sheet=4,2\n",
                           scene, &error))
        << error;
    ASSERT_EQ(scene.slides[0].sprites.size(), 3u);
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;

    ResourceBuffer buffer(doc.data(), doc.size());
    DS_IOF_R<ResourceBuffer> archive(&buffer);
    std::u16string header;
    archive.ReadString(header);
    std::unique_ptr<DS_SlideShow_Light> root(DS_SlideShow_Light::ReadNew(archive));
    const auto& prototypes = root->slides[0]->prototypes;
    ASSERT_EQ(prototypes.size(), 3u);
    auto it = prototypes.begin();
    auto* fish = dynamic_cast<DS_FishConstructor*>(*it++);
    ASSERT_NE(fish, nullptr);
    EXPECT_EQ(fish->image.key, (DS_LinkKey{u"common_res.dll", 20}));
    EXPECT_EQ(fish->imageSetMode, 1);
    EXPECT_EQ(fish->count.value, 9u);
    EXPECT_FLOAT_EQ(fish->rangeY, 20.0f);
    EXPECT_FLOAT_EQ(fish->bottomFraction, 0.8f);
    EXPECT_EQ(fish->color.value, 0x000080FFu);  // COLORREF: red in the low byte
    auto* flow = dynamic_cast<DS_FlowConstructor*>(*it++);
    ASSERT_NE(flow, nullptr);
    EXPECT_EQ(flow->angle.value, 290u);
    EXPECT_EQ(flow->swayAmount.value, 12u);
    EXPECT_EQ(flow->orientation.value, 2);
    EXPECT_EQ(flow->image.key.path, PicturePath(scene.pictures[1]));
    auto* still = dynamic_cast<DS_StatObjConstructor*>(*it++);
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still->placement.x.value, 30);
    EXPECT_EQ(still->rotation.value, 15u);
    EXPECT_TRUE(still->sheetOn);
    EXPECT_EQ(still->sheetFrames, 4u);

    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"picture a valley 8 8\nsprites fish\n", "line 2: sprites belong to a slide"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50\nsprites whale\n", "no sprite kind named 'whale'"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50\nsprites fish angle=3\n", "has no key 'angle'"},
        {"picture a valley 8 8\nslide S a 1 1 1 0 50\nsprites fish count\n", "is not KEY=VALUE"},
        {"sprite s testcard 8 8\n", "line 1: no painter"},
    };
    for (const Case& c : cases) {
        SceneSpec s;
        EXPECT_FALSE(ParseScene(c.text, s, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
    // Values are checked when the document is made.
    ASSERT_TRUE(ParseScene("picture a valley 8 8\nslide S a 1 1 1 0 50\nsprites fish image=nothing count=x\n", scene,
                           &error));
    EXPECT_FALSE(BuildDocument(scene, doc, &error));
    EXPECT_NE(error.find("no picture named 'nothing'"), std::string::npos) << error;
}
