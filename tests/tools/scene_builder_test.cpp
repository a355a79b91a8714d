#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "document/archive.h"
#include "document/item.h"
#include "platform/d3dx9/image.h"
#include "platform/win32/resource_container.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/scene_builder.h"

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "layers/flame_light.h"
#include "scene/objects3d/butterfly.h"
#include "scene/objects3d/clock.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/slide_show.h"
#include "scene/sprites/flow.h"
#include "scene/sprites/stat_obj.h"

using namespace tessaloom::scene_builder;
using tessaloom::testing::BuildSceneDocument;
using tessaloom::testing::ReadText;
using tessaloom::testing::SceneReadBack;

namespace {

// The decoded picture as RGB, for comparing with what was painted.
Rgb PixelOf(const tessaloom::d3dx::DecodedImage& image, UINT x, UINT y) {
    const BYTE* p = image.Row(y) + x * (image.format == D3DFMT_R8G8B8 ? 3 : 4);
    return {p[2], p[1], p[0]};
}

}  // namespace

// Every painter, at odd and letterbox sizes, survives the TGA decoder pixel
// for pixel: runs, raw packets and row ends are encoded right.
TEST(ScenePictures, TgaDecodesToThePaintedPixels) {
    struct Case {
        const char* painter;
        int w, h;
    } cases[] = {{"valley", 1024, 768}, {"dusk", 1600, 900}, {"night", 320, 180}, {"valley", 129, 3}, {"dusk", 1, 2},
                 {"garden", 1600, 900}, {"clock_face", 256, 256}, {"leaf", 129, 65}, {"butterfly_wing", 100, 100},
                 {"clock_hand", 16, 128}, {"butterfly_body", 64, 128}};
    for (const Case& c : cases) {
        Picture picture;
        ASSERT_TRUE(PaintNamed(c.painter, c.w, c.h, picture)) << c.painter;
        const std::vector<uint8_t> tga = EncodeTga(picture);
        D3DXIMAGE_INFO info{};
        tessaloom::d3dx::DecodedImage image;
        ASSERT_EQ(tessaloom::d3dx::DecodeTga(tga.data(), tga.size(), &info, &image), S_OK) << c.painter << " " << c.w;
        ASSERT_EQ(info.Width, static_cast<UINT>(c.w));
        ASSERT_EQ(info.Height, static_cast<UINT>(c.h));
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
        ASSERT_EQ(image.format, picture.alpha.empty() ? D3DFMT_R8G8B8 : D3DFMT_A8R8G8B8) << c.painter;
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const Rgb a = picture.At(x, y), b = PixelOf(image, x, y);
                wrong += (a.r != b.r || a.g != b.g || a.b != b.b);
                if (!picture.alpha.empty()) wrong += picture.AlphaAt(x, y) != image.Row(y)[x * 4 + 3];
            }
        EXPECT_EQ(wrong, 0) << c.painter << " " << c.w << "x" << c.h;
    }
}

namespace {
// The fire's textures: smooth greys and gradients, kept small in the module
// rather than run-length friendly.
bool IsFireTexture(const std::string& name) {
    return name == "fire-noise" || name == "heat-bump" || name == "campfire-pattern" || name == "fire-pattern";
}
}  // namespace

// A scene picture is a picture, not a flat card, and the run-length form
// keeps the document small.
TEST(ScenePictures, PicturesHaveContentAndCompress) {
    for (const std::string& name : PictureNames()) {
        // The glyph strip is strokes of two colours on transparent black,
        // checked band by band in glyph_builder_test.cpp.
        if (name == "glyph-strip") continue;
        Picture p;
        ASSERT_TRUE(PaintNamed(name, 1024, 768, p));
        std::vector<uint32_t> colours;
        for (int y = 0; y < p.height; y += 7)
            for (int x = 0; x < p.width; x += 5) {
                const Rgb c = p.At(x, y);
                colours.push_back(c.r << 16 | c.g << 8 | c.b);
            }
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        EXPECT_GT(colours.size(), 40u) << name;
        if (!IsFireTexture(name)) {
            EXPECT_LT(EncodeTga(p).size(), 1024u * 768u * 3u / 4u) << name;
        }
    }
    Picture untouched(3, 3);
    EXPECT_FALSE(PaintNamed("testcard", 10, 10, untouched));
    EXPECT_FALSE(PaintNamed("valley", 0, 10, untouched));
    EXPECT_EQ(untouched.width, 3);
}

// The noise and the bump map scroll over the fire and the picture, so they
// tile: across each seam neighbours differ no more than they do inside.
// The flame patterns are bright where the flames stand and dark above
// their tips and beside them.
TEST(ScenePictures, TheFireTexturesTileAndStand) {
    for (const char* name : {"fire-noise", "heat-bump"}) {
        Picture p;
        ASSERT_TRUE(PaintNamed(name, 256, 256, p));
        auto step = [&](int x0, int y0, int x1, int y1) {
            const Rgb a = p.At(x0, y0), b = p.At(x1, y1);
            return std::abs(a.r - b.r) + std::abs(a.g - b.g);
        };
        int seam = 0, inside = 0;
        for (int i = 0; i < 256; ++i) {
            seam = std::max({seam, step(255, i, 0, i), step(i, 255, i, 0)});
            inside = std::max({inside, step(127, i, 128, i), step(i, 127, i, 128)});
        }
        EXPECT_GT(inside, 0) << name;
        EXPECT_LE(seam, inside + 4) << name;
    }
    Picture campfire, edge;
    ASSERT_TRUE(PaintNamed("campfire-pattern", 256, 256, campfire));
    ASSERT_TRUE(PaintNamed("fire-pattern", 256, 256, edge));
    const int foot = static_cast<int>(0.93f * 255);
    EXPECT_GT(campfire.At(128, foot).r, 200);
    EXPECT_LT(campfire.At(128, 2).r, 20);
    EXPECT_LT(campfire.At(10, foot).r, 20);
    for (int x : {14, 128, 242}) EXPECT_GT(edge.At(x, 250).r, 150) << x;
    EXPECT_LT(edge.At(128, 2).r, 20);
}

// The object pictures look like what they are: the clock face is a disc
// (transparent corners, opaque centre) with its double mark at 12 at the top,
// the hand an opaque bar fading out at both ends, the wing and the leaf
// shapes on a transparent ground.
TEST(ScenePictures, ObjectPicturesHaveTheirShapes) {
    Picture face, hand, wing, leaf;
    ASSERT_TRUE(PaintNamed("clock_face", 256, 256, face));
    ASSERT_TRUE(PaintNamed("clock_hand", 16, 128, hand));
    ASSERT_TRUE(PaintNamed("butterfly_wing", 256, 256, wing));
    ASSERT_TRUE(PaintNamed("leaf", 128, 64, leaf));
    for (auto [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}}) EXPECT_EQ(face.AlphaAt(x, y), 0);
    EXPECT_EQ(face.AlphaAt(128, 128), 255);
    auto dark = [](const Picture& p, int x, int y) { return p.At(x, y).r < 80 && p.AlphaAt(x, y) == 255; };
    // The marks ring: at 12 two strokes either side of the centre line, at 3,
    // 6 and 9 one on it.
    const int ring = 128 - static_cast<int>(0.8f * 128);
    EXPECT_FALSE(dark(face, 128, ring));
    EXPECT_TRUE(dark(face, 125, ring));
    EXPECT_TRUE(dark(face, 130, ring));
    EXPECT_TRUE(dark(face, 255 - ring, 128));
    EXPECT_TRUE(dark(face, 128, 255 - ring));
    EXPECT_TRUE(dark(face, ring, 128));
    EXPECT_FALSE(dark(face, 128, 60));  // the dial between the marks and the centre
    EXPECT_EQ(hand.AlphaAt(8, 0), 0);
    EXPECT_EQ(hand.AlphaAt(8, 127), 0);
    for (int x : {0, 8, 15}) EXPECT_EQ(hand.AlphaAt(x, 64), 255);
    EXPECT_EQ(wing.AlphaAt(255, 255), 0);
    EXPECT_EQ(wing.AlphaAt(100, 90), 255);  // the forewing
    EXPECT_EQ(wing.AlphaAt(60, 180), 255);  // the hindwing
    EXPECT_EQ(leaf.AlphaAt(0, 0), 0);
    EXPECT_EQ(leaf.AlphaAt(127, 63), 0);
    EXPECT_EQ(leaf.AlphaAt(60, 32), 255);
}

TEST(SceneSource, ParsesPicturesSlidesAndHeader) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene("# comment\n"
                           "header  Made here \n"
                           "picture sky valley 1024 768   # trailing comment\n"
                           "\n"
                           "slide First sky 2 9 3 130 50\n"
                           "slide Second sky 0 5 0 0 60\r\n",
                           scene, &error))
        << error;
    EXPECT_EQ(scene.header, "Made here");
    ASSERT_EQ(scene.pictures.size(), 1u);
    EXPECT_EQ(scene.pictures[0].painter, "valley");
    EXPECT_EQ(scene.pictures[0].width, 1024);
    ASSERT_EQ(scene.slides.size(), 2u);
    EXPECT_EQ(scene.slides[0].fadeIn, 2u);
    EXPECT_EQ(scene.slides[0].hold, 9u);
    EXPECT_EQ(scene.slides[0].fadeOut, 3u);
    EXPECT_EQ(scene.slides[0].zoom, 130u);
    EXPECT_EQ(scene.slides[1].zoom, 0u);
    EXPECT_EQ(scene.slides[1].speed, 60u);
}

TEST(SceneSource, RejectsBadSources) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "no slide"},
        {"picture a valley 10 10\n", "no slide"},
        {"slide S nowhere 1 1 1 0 50\n", "line 1: no picture named 'nowhere'"},
        {"picture a valley 10\nslide S a 1 1 1 0 50\n", "line 1: expected: picture"},
        {"picture a testcard 10 10\n", "line 1: no painter"},
        {"picture a valley 10 1\n", "line 1: picture sizes"},
        {"picture a valley 99999 10\n", "line 1: picture sizes"},
        {"picture a valley 10 10\npicture a dusk 10 10\n", "line 2: picture 'a' is defined twice"},
        {"picture a valley 10 10\nslide S a 1 -1 1 0 50\n", "line 2: '-1' is not a whole number"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50 flame extra\n", "line 2: expected: slide"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50 sea\n", "line 2: no layer named 'sea'"},
        {"layer flame\n", "line 1: unknown statement 'layer'"},
        {"picture a valley 10 10\nclock 5 5 100\nslide S a 1 1 1 0 50\n", "line 2: an object needs a slide"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nclock 5 5\n", "line 3: expected: clock X Y SIZE"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nbutterflies 2 b 0 0 50 50\n", "line 3: no picture named 'b'"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nbutterflies 2 a 50 0 40 50\n", "line 3: the area"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nbutterflies 2 a 0 0 50 101\n", "line 3: the area"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nleaves 2 a m.x 1 2 3 4 5\n", "line 3: expected: leaves"},
        {"picture a valley 10 10\nslide S a 1 1 1 0 50\nleaves x a m.x 1 2 3 4 5 6\n", "line 3: 'x' is not"},
        {"sound S bells 4\n", "line 1: no sound kind 'bells'"},
        {"sound S pad\n", "line 1: expected: sound NAME"},
        {"sound S pad 0\n", "line 1: a sound lasts 1 to 60"},
        {"sound S pad 61\n", "line 1: a sound lasts 1 to 60"},
        {"sound S pad 4 wav\n", "line 1: no sound format 'wav'"},
        {"sound ..\\evil pad 4\n", "line 1: a sound's name"},
    };
    for (const Case& c : cases) {
        SceneSpec scene;
        scene.header = "untouched";
        std::string error;
        EXPECT_FALSE(ParseScene(c.text, scene, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
        EXPECT_EQ(scene.header, "untouched");
    }
}

// The shipped scene sources parse.
TEST(SceneSource, DemoScenesParse) {
    for (const char* name : {"valley", "night", "sprites", "flame", "effects", "garden", "layers", "rain", "showcase"}) {
        SceneSpec scene;
        std::string error;
        EXPECT_TRUE(ParseScene(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/" + name + ".scene"), scene,
                               &error))
            << name << ": " << error;
    }
}

// The Dusk slide of the rain scene draws its glyphs over black, each as
// bright as its picture at its place: the landscape shows only if the sky is
// light and the ridges dark. Luminance by the same weights as the layer's.
TEST(SceneSource, TheDuskGlyphPictureIsABrightSkyOverDarkRidges) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(
        ParseScene(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/rain.scene"), scene, &error))
        << error;
    const auto slide = std::find_if(scene.slides.begin(), scene.slides.end(),
                                    [](const SlideSpec& s) { return s.name == "Dusk"; });
    ASSERT_NE(slide, scene.slides.end());
    const auto spec = std::find_if(scene.pictures.begin(), scene.pictures.end(),
                                   [&](const PictureSpec& p) { return p.id == slide->picture; });
    ASSERT_NE(spec, scene.pictures.end());
    Picture p;
    ASSERT_TRUE(PaintNamed(spec->painter, spec->width, spec->height, p));
    auto meanLuma = [&](float top, float bottom) {
        double sum = 0;
        int n = 0;
        for (int y = static_cast<int>(top * p.height); y < static_cast<int>(bottom * p.height); ++y)
            for (int x = 0; x < p.width; ++x, ++n) {
                const Rgb c = p.At(x, y);
                sum += (0.299 * c.r + 0.587 * c.g + 0.114 * c.b) / 255.0;
            }
        return sum / n;
    };
    const double sky = meanLuma(0.0f, 0.3f), foreground = meanLuma(0.85f, 1.0f);
    EXPECT_GT(sky, 0.5) << spec->painter;
    EXPECT_LT(foreground, 0.15) << spec->painter;
    // The ridge line: along the middle band, some columns are sky and some ridge.
    int lightColumns = 0, darkColumns = 0;
    const int y = static_cast<int>(0.5f * p.height);
    for (int x = 0; x < p.width; ++x) {
        const Rgb c = p.At(x, y);
        const double l = (0.299 * c.r + 0.587 * c.g + 0.114 * c.b) / 255.0;
        lightColumns += l > 0.6;
        darkColumns += l < 0.35;
    }
    EXPECT_GT(lightColumns, p.width / 10) << spec->painter;
    EXPECT_GT(darkColumns, p.width / 10) << spec->painter;
}

// The document reads back through the readers: the header, the root with its
// slides, layers and cameras, then the manager section with one saved image
// per picture, its bytes those the painter makes, and nothing after it.
TEST(SceneDocument, ReadsBackThroughTheReaders) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene("picture a valley 64 48\npicture b dusk 160 90\n"
                           "slide One a 2 9 3 130 50\nslide Two b 1 5 1 0 60\nslide Three a 0 1 0 110 40\n",
                           scene, &error));
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;

    ResourceBuffer buffer(doc.data(), doc.size());
    DS_IOF_R<ResourceBuffer> archive(&buffer);
    std::u16string header;
    archive.ReadString(header);
    EXPECT_EQ(header, u"KVL v 4.0.0");

    std::u16string name;
    std::unique_ptr<DS_SlideShow_Light> root(DS_SlideShow_Light::ReadNew(archive));
    ASSERT_EQ(root->slides.size(), 3u);
    EXPECT_TRUE(root->sounds.empty());
    const DS_SlideContainer& one = *root->slides[0];
    EXPECT_EQ(one.name.value, u"One");
    EXPECT_EQ(one.fadeIn.value, 2u);
    EXPECT_EQ(one.hold.value, 9u);
    EXPECT_EQ(one.fadeOut.value, 3u);
    ASSERT_TRUE(one.mainLayer);
    EXPECT_EQ(one.mainLayer->pictureLink.key, (DS_LinkKey{PicturePath(scene.pictures[0]), PictureStamp(0)}));
    EXPECT_EQ(one.mainLayer->camera.enabled.value, 1);
    EXPECT_EQ(one.mainLayer->camera.zoom.value, 130u);
    EXPECT_EQ(one.mainLayer->camera.speed.value, 50u);
    const DS_SlideContainer& two = *root->slides[1];
    EXPECT_EQ(two.mainLayer->pictureLink.key, (DS_LinkKey{PicturePath(scene.pictures[1]), PictureStamp(1)}));
    EXPECT_EQ(two.mainLayer->camera.enabled.value, 0);
    EXPECT_EQ(root->slides[2]->mainLayer->pictureLink.key, one.mainLayer->pictureLink.key);

    // The manager section, read by hand: version 3, four tables.
    EXPECT_EQ(ReadRecordHeader(archive, &name), 3);
    EXPECT_EQ(name, u"DS_DocResManager");
    UINT count = 0;
    archive.ReadUInt(count);
    ASSERT_EQ(count, 2u);
    for (size_t i = 0; i < 2; ++i) {
        std::u16string path;
        INT64 stamp = 0;
        UINT n = 0;
        archive.ReadString(path);
        archive.ReadInt64(stamp);
        archive.ReadUInt(n);
        EXPECT_EQ(path, PicturePath(scene.pictures[i]));
        EXPECT_EQ(stamp, PictureStamp(i));
        ASSERT_EQ(n, 1u);
        DS_ResFileData record;
        archive.ReadResFile(record);
        EXPECT_EQ(record.path, path);
        EXPECT_EQ(record.resourceId, 0);
        const std::vector<uint8_t> painted = PaintPicture(scene.pictures[i]);
        ASSERT_EQ(record.GetSize(), painted.size());
        EXPECT_EQ(std::memcmp(record.GetBytes(), painted.data(), painted.size()), 0);
    }
    for (int table = 0; table < 3; ++table) {  // frame values, saved files, GUID data
        archive.ReadUInt(count);
        EXPECT_EQ(count, 0u) << table;
    }
    EXPECT_EQ(buffer.Remaining(), 0u);
}

// The document loader takes the built document whole: the root's slides and
// every picture's bytes in the new manager's tables, under the layers' keys.
TEST(SceneDocument, TheLoaderReadsTheBuiltDocument) {
    SceneSpec scene;
    std::string error;
    ASSERT_TRUE(ParseScene(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/valley.scene"), scene, &error));
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;

    const SceneReadBack back(doc);
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->slides.size(), scene.slides.size());
    DS_DocResManager* manager = GetCurrentDocResManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(manager, back.before());
    ASSERT_EQ(manager, back.manager());
    EXPECT_TRUE(manager->Tables().savedImages.empty());
    for (const auto& slide : root->slides) {
        const auto files = manager->Tables().allFiles.find(slide->mainLayer->pictureLink.key);
        ASSERT_NE(files, manager->Tables().allFiles.end());
        ASSERT_EQ(files->second.size(), 1u);
        EXPECT_GT(files->second[0].GetSize(), 18u);
    }
}

// The default scene: one slide on the flame layer over the campfire, its
// fire on the module's flame pattern and noise, two still pictures and two
// flows (sparks and smoke) over it.
TEST(SceneDocument, TheFlameSceneReadsBackAsTheFlameLayerWithItsSprites) {
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildSceneDocument(ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/flame.scene"), doc));

    const SceneReadBack back(doc);
    DS_DocResManager* manager = back.manager();
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(manager, nullptr);
    ASSERT_EQ(root->slides.size(), 1u);
    auto* flame = dynamic_cast<DS_FlameLight*>(root->slides[0]->mainLayer.Get());
    ASSERT_NE(flame, nullptr);
    EXPECT_EQ(flame->fireFlag.value, 1);
    EXPECT_EQ(flame->distortionFlag.value, 1);
    EXPECT_EQ(flame->fire.patternLink.key, (DS_LinkKey{u"common_res.dll", 7}));
    EXPECT_EQ(flame->fire.noiseLink.key, (DS_LinkKey{u"common_res.dll", 8}));
    EXPECT_EQ(flame->distortion.bumpImage.key, (DS_LinkKey{u"common_res.dll", 62}));
    EXPECT_EQ(flame->distortion.effectLink.key, (DS_LinkKey{u"common_res.dll", 63}));
    EXPECT_TRUE(manager->Tables().allFiles.count(flame->pictureLink.key));

    int stills = 0, flows = 0;
    for (DS_ABObj_Constructor* d : root->slides[0]->prototypes) {
        stills += dynamic_cast<DS_StatObjConstructor*>(d) != nullptr;
        flows += dynamic_cast<DS_FlowConstructor*>(d) != nullptr;
    }
    EXPECT_EQ(stills, 2);
    EXPECT_EQ(flows, 2);
    EXPECT_EQ(root->slides[0]->prototypes.size(), 4u);
}

// The garden: its slide carries the leaves, the butterflies and the clock, in
// that order, read back through the description readers with the values
// the source gives; the wing picture is one the document carries.
TEST(SceneDocument, GardenObjectsReadBack) {
    const std::string folder = std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes";
    std::vector<uint8_t> doc;
    ASSERT_TRUE(BuildSceneDocument(ReadText(folder + "/garden.scene"), doc, folder));

    const SceneReadBack back(doc);
    DS_SlideShow_Light* root = back.root();
    ASSERT_NE(root, nullptr);
    DS_DocResManager* manager = back.manager();
    ASSERT_EQ(root->slides.size(), 1u);
    const auto& prototypes = root->slides[0]->prototypes;
    ASSERT_EQ(prototypes.size(), 3u);
    auto it = prototypes.begin();
    auto* leaves = dynamic_cast<DS_3D_in_2D_array_Constructor*>(*it++);
    auto* flock = dynamic_cast<DS_ButterflyConstructor*>(*it++);
    auto* clock = dynamic_cast<DS_ClockConstructor*>(*it++);
    ASSERT_TRUE(leaves && flock && clock);

    EXPECT_EQ(leaves->name, u"Leaves");
    EXPECT_EQ(leaves->count.value, 18u);
    EXPECT_EQ(leaves->motion.size.value, 36u);
    EXPECT_EQ(leaves->motion.direction.angle, 270u);
    const std::string leafMesh = ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/meshes/leaf.x");
    ASSERT_EQ(leaves->meshFile.GetSize(), leafMesh.size());
    EXPECT_EQ(std::memcmp(leaves->meshFile.GetBytes(), leafMesh.data(), leafMesh.size()), 0);
    EXPECT_GT(leaves->imageFile.GetSize(), 18u);

    EXPECT_EQ(flock->count.value, 5u);
    EXPECT_FLOAT_EQ(flock->leftFraction, 0.04f);
    EXPECT_FLOAT_EQ(flock->bottomFraction, 0.92f);
    EXPECT_EQ(flock->area.left.value, 64);
    EXPECT_EQ(flock->area.bottom.value, 828);
    EXPECT_EQ(flock->bodyMesh.key, (DS_LinkKey{u"common_res.dll", 68}));
    ASSERT_NE(manager, nullptr);
    const auto wing = manager->Tables().allFiles.find(flock->textureLink.key);
    ASSERT_NE(wing, manager->Tables().allFiles.end());
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(wing->second.size(), 1u);
    ASSERT_EQ(tessaloom::d3dx::DecodeTga(wing->second[0].GetBytes(), wing->second[0].GetSize(), &info, nullptr), S_OK);
    EXPECT_EQ(info.Width, 256u);

    EXPECT_EQ(clock->size.value, 220u);
    EXPECT_EQ(clock->clockRect.x.value, 1352);
    EXPECT_EQ(clock->clockRect.top.value, 300 - 110);
    EXPECT_EQ(clock->textureLink.key, (DS_LinkKey{u"common_res.dll", 71}));
    EXPECT_EQ(clock->handsLink.key, (DS_LinkKey{u"common_res.dll", 72}));
}

// The seeds of the scene-document fuzz target (tests/fuzz/corpus/scene_doc/)
// are documents of the builder: each committed seed is what the builder
// writes for its scene, so a format change shows here.  Run with
// TESSALOOM_WRITE_FUZZ_SEEDS=1 to write them again.
TEST(SceneDocument, FuzzSeedsAreTheBuildersDocuments) {
    const std::vector<std::pair<std::string, std::string>> scenes = {
        {"two_slides.bin",
         "picture a valley 16 12\npicture b dusk 12 8\n"
         "slide Valley a 2 9 2 130 50\nslide Dusk b 1 3 1 0 50\n"},
        {"one_slide.bin", "header Tessaloom seed\npicture n night 8 8\nslide Night n 1 1 1 125 100\n"},
        {"shared_picture.bin", "picture a dusk 9 5\nslide One a 1 2 1 0 50\nslide Two a 0 0 0 200 0\n"},
        {"glyph_rain.bin", "picture a night 16 12\nslide Rain a 1 2 1 0 50\nglyphs background=1 cell=4 flicker=1\n"},
        {"fire_and_sound.bin",
         "picture a night 8 8\nmask glow ellipse 0.5 0.8 0.2 0.2 0.5\nslide Night a 1 1 1 0 50\n"
         "effect DS_FireFX mask=glow left=1 right=6 top=2 bottom=8\nsound Pad pad 1 ogg\n"},
    };
    const std::string dir = std::string(TESSALOOM_SOURCE_DIR) + "/tests/fuzz/corpus/scene_doc/";
    const char* write = std::getenv("TESSALOOM_WRITE_FUZZ_SEEDS");
    for (const auto& [name, text] : scenes) {
        SCOPED_TRACE(name);
        SceneSpec scene;
        std::string error;
        ASSERT_TRUE(ParseScene(text, scene, &error)) << error;
        std::vector<uint8_t> doc;
        ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;
        if (write && std::string(write) == "1") {
            std::ofstream out(dir + name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(doc.data()), static_cast<std::streamsize>(doc.size()));
            ASSERT_TRUE(out.good());
        }
        const std::string committed = ReadText(dir + name);
        EXPECT_EQ(committed, std::string(doc.begin(), doc.end()));
    }
}

// The same for the seeds made from the shipped scenes (demo_<scene>.bin), so
// the fuzzer starts from every record class the scenes use: each scene as the
// builder writes it, its pictures painted small (a fiftieth, sprites an
// eighth, sequences 16 pixels, sounds a second) to keep the fuzzer's inputs
// short.
TEST(SceneDocument, DemoSceneFuzzSeedsAreTheBuildersDocuments) {
    const std::string scenes = std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes";
    const std::string dir = std::string(TESSALOOM_SOURCE_DIR) + "/tests/fuzz/corpus/scene_doc/";
    const char* write = std::getenv("TESSALOOM_WRITE_FUZZ_SEEDS");
    for (const char* name :
         {"valley", "night", "sprites", "flame", "effects", "garden", "layers", "rain", "showcase"}) {
        SCOPED_TRACE(name);
        SceneSpec scene;
        std::string error;
        ASSERT_TRUE(ParseScene(ReadText(scenes + "/" + name + ".scene"), scene, &error)) << error;
        scene.folder = scenes;
        for (SoundSpec& sound : scene.sounds) sound.seconds = 1;
        for (PictureSpec& picture : scene.pictures) {
            const int divisor = picture.withAlpha ? 8 : 50;
            picture.width = std::max(4, picture.width / divisor);
            picture.height = std::max(4, picture.height / divisor);
        }
        for (SequenceSpec& sequence : scene.sequences) sequence.size = 16;
        std::vector<uint8_t> doc;
        ASSERT_TRUE(BuildDocument(scene, doc, &error)) << error;
        const std::string path = dir + "demo_" + name + ".bin";
        if (write && std::string(write) == "1") {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(doc.data()), static_cast<std::streamsize>(doc.size()));
            ASSERT_TRUE(out.good());
        }
        EXPECT_EQ(ReadText(path), std::string(doc.begin(), doc.end()));
    }
}

TEST(SceneDocument, RefusesAnEmptyOrUnpaintableScene) {
    std::vector<uint8_t> doc;
    std::string error;
    EXPECT_FALSE(BuildDocument(SceneSpec{}, doc, &error));
    EXPECT_TRUE(doc.empty());
    EXPECT_NE(error.find("no slide"), std::string::npos);
    SceneSpec scene;
    scene.pictures.push_back({"a", "testcard", 10, 10});
    scene.slides.push_back({"S", "a"});
    EXPECT_FALSE(BuildDocument(scene, doc, &error));
    EXPECT_TRUE(doc.empty());
    EXPECT_NE(error.find("'a' cannot be painted"), std::string::npos);
}

// The resource module the build packs beside the saver: the default picture 5
// is one of our TGA pictures, and every effect is the file it was made from.
TEST(DemoModule, HoldsTheDefaultPictureAndTheEffects) {
    const char* binary = std::getenv("TESSALOOM_TEST_BINARY_DIR");
    if (!binary) GTEST_SKIP() << "TESSALOOM_TEST_BINARY_DIR is not set (run through ctest)";
    std::string error;
    auto module = tessaloom::ResourceContainer::Open(std::string(binary) + "/../common_res.dll", &error);
    ASSERT_TRUE(module) << error;

    const tessaloom::ContainerEntry* picture = module->Find(0, u"DDS", 5);
    ASSERT_NE(picture, nullptr);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + picture->offset, picture->size, &info, nullptr), S_OK);
    EXPECT_EQ(info.Width, 1024u);
    EXPECT_EQ(info.Height, 768u);

    // The pictures and meshes of the butterflies and the clock.
    for (WORD number : {6, 71, 72}) {
        const tessaloom::ContainerEntry* entry = module->Find(0, u"DDS", number);
        ASSERT_NE(entry, nullptr) << number;
        EXPECT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + entry->offset, entry->size, &info, nullptr), S_OK)
            << number;
    }
    const std::pair<WORD, const char*> meshes[] = {{68, "butterfly_body"}, {69, "butterfly_wing"}, {70, "clock"}};
    for (const auto& [number, name] : meshes) {
        const tessaloom::ContainerEntry* entry = module->Find(0, u"DDS", number);
        ASSERT_NE(entry, nullptr) << number;
        const std::string source = ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/meshes/" + name + ".x");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(module->Bytes().data() + entry->offset), entry->size), source)
            << name;
    }

    const std::pair<WORD, const char*> effects[] = {{63, "heat_distortion"}, {75, "background_copy"}, {76, "light"},
                                                    {77, "waves"}, {78, "pattern_brush"}, {88, "underwater"},
                                                    {90, "water"}, {91, "move"}, {92, "fire"}};
    // The fire's pictures: flame pattern 7, noise 8, bump map 62, fire pattern 93.
    for (WORD number : {7, 8, 62, 93}) {
        const tessaloom::ContainerEntry* entry = module->Find(0, u"DDS", number);
        ASSERT_NE(entry, nullptr) << number;
        D3DXIMAGE_INFO fire{};
        EXPECT_EQ(tessaloom::d3dx::DecodeTga(module->Bytes().data() + entry->offset, entry->size, &fire, nullptr), S_OK)
            << number;
        EXPECT_EQ(fire.Width, 256u) << number;
        EXPECT_EQ(fire.Height, 256u) << number;
    }
    for (const auto& [number, name] : effects) {
        const tessaloom::ContainerEntry* entry = module->Find(10, nullptr, number);
        ASSERT_NE(entry, nullptr) << number;
        const std::string source = ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects/" + name + ".fx");
        ASSERT_FALSE(source.empty()) << name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(module->Bytes().data() + entry->offset), entry->size), source)
            << name;
    }
}
