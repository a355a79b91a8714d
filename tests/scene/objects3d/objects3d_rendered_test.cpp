// The 3D objects drawn through a slide on the Direct3D stand-in, with the
// demo meshes of demo/meshes and plain test textures: the clock at a fixed
// local time with its hands on the expected pixels, a butterfly whose body
// shows its near side (one-sided culling in the y-down view) under visible
// wings, and falling pieces drawn from both sides.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "document/res_device.h"
#include "document/res_manager.h"
#include "platform/crt/rand.h"
#include "platform/crt/time.h"
#include "scene/layer_resources.h"
#include "scene/objects3d/butterfly.h"
#include "scene/objects3d/clock.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/slide_show.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;

constexpr UINT kSize = 320;
constexpr D3DCOLOR kGrey = 0xff808080, kWhite = 0xffffffff, kBlack = 0xff000000, kRed = 0xffff0000,
                   kGreen = 0xff00ff00, kBlue = 0xff0000ff, kYellow = 0xffffff00, kOrange = 0xffff8000;

IDirect3DDevice9* g_device = nullptr;
IDirect3DDevice9* Current() { return g_device; }

std::vector<BYTE> ReadMesh(const std::string& name) {
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/meshes/" + name, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An uncompressed 32-bit TGA, top-left origin, with alpha.
std::vector<BYTE> Tga32(UINT w, UINT h, const std::function<D3DCOLOR(UINT, UINT)>& color) {
    std::vector<BYTE> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<BYTE>(w), out[13] = static_cast<BYTE>(w >> 8);
    out[14] = static_cast<BYTE>(h), out[15] = static_cast<BYTE>(h >> 8);
    out[16] = 32;
    out[17] = 0x28;
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            const D3DCOLOR c = color(x, y);
            for (int shift : {0, 8, 16, 24}) out.push_back(static_cast<BYTE>(c >> shift));
        }
    return out;
}

class PlainPicture : public DS_LayerResources {
public:
    DS_PictureInfo GetPicture(const DS_ImageFileLink&) override { return picture; }
    void OnResetDevice() override {}
    void OnLostDevice() override {}
    void PrepareLinkForSave(const DS_ImageFileLink&) override {}
    DS_PictureInfo picture;
};

class ObjectsRendering : public ::testing::Test {
protected:
    ObjectsRendering() : harness_(kSize, kSize) {}

    void SetUp() override {
        ASSERT_TRUE(harness_.ok());
        CurrentDevice = harness_.device;
        g_device = harness_.device;
        previousGetter_ = SetResCurrentDeviceGetter(&Current);
        SetLayerResources(&resources_);
        DS_SetCurrentViewState(&state_);
        crt::ResetRandForTests();
        SceneTime = 0.0f;
        manager_ = std::make_unique<DS_DocResManager>();
        SetCurrentDocResManager(manager_.get());
        resources_.picture.texture.Attach(harness_.MakeTexture(8, 8, [](UINT, UINT) { return kGrey; }));
        resources_.picture.width = resources_.picture.height = kSize;
    }
    void TearDown() override {
        root_.reset();
        SetCurrentDocResManager(nullptr);
        manager_.reset();
        resources_.picture.texture.Release();
        state_.view.Teardown();
        DS_SetCurrentViewState(nullptr);
        SetLayerResources(nullptr);
        SetResCurrentDeviceGetter(previousGetter_);
        CurrentDevice = nullptr;
        g_device = nullptr;
        crt::SetTime64ForTests(nullptr);
        crt::ResetRandForTests();
        SceneTime = 0.0f;
    }

    // The manager resolves `key` to the mesh file's bytes.
    void AddMesh(const DS_LinkKey& key, const std::string& file) {
        const std::vector<BYTE> bytes = ReadMesh(file);
        ASSERT_FALSE(bytes.empty()) << file;
        DS_ResFileData record;
        record.path = key.path;
        record.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
        manager_->Tables().allFiles[key] = {record};
    }
    // The manager resolves `key` to a texture filled by `color`.
    IDirect3DTexture9* AddImage(const DS_LinkKey& key, const std::function<D3DCOLOR(UINT, UINT)>& color, UINT size = 64) {
        DS_TextureInfo info;
        info.texture = DS_TextureRef::Adopt(harness_.MakeTexture(size, size, color));
        info.SetSize(size, size);
        manager_->Tables().imageCache[key].SetSingle(info);
        return info.texture.Get();
    }

    // One slide over the grey picture (stretched 1:1) with these descriptions.
    DS_SlideShow_Light& MakeRoot(std::list<DS_ABObj_Constructor*> descriptions) {
        root_ = std::make_unique<DS_SlideShow_Light>();
        auto* slide = new DS_SlideContainer;
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
        slide->prototypes = std::move(descriptions);
        root_->slides.emplace_back(slide);
        slide->Init();
        root_->SetPicturePosition(DS_POS_STRETCH);
        return *root_;
    }
    DS_ABObj* Object(size_t i) { return root_->slides[0]->instances.at(i).Get(); }

    Image Frames(std::initializer_list<float> times) {
        for (float t : times) {
            root_->FrameMove(t);
            harness_.device->BeginScene();
            root_->Render();
            harness_.device->EndScene();
        }
        Image image = harness_.ReadBackBuffer();
        image.WritePngIfAsked(::testing::UnitTest::GetInstance()->current_test_info()->name());
        return image;
    }

    D3DHarness harness_;
    PlainPicture resources_;
    DS_ViewState state_;
    std::unique_ptr<DS_DocResManager> manager_;
    std::unique_ptr<DS_SlideShow_Light> root_;
    DS_CurrentDeviceGetter previousGetter_ = nullptr;
};

const DS_LinkKey kClockMesh{u"common_res.dll", 70}, kFace{u"common_res.dll", 71}, kHands{u"common_res.dll", 72};

// 12:30 local time on a clock of size 280 at (160, 160): the face spans
// 160 +- 140 with transparent corners; the hour hand points 15 degrees right
// of 12 and reaches 70 pixels, the minute hand points down and reaches 89.6;
// both are 2.8 pixels wide.
TEST_F(ObjectsRendering, ClockShowsTheFixedTime) {
    AddMesh(kClockMesh, "clock.x");
    AddImage(kFace, [](UINT x, UINT y) {
        const float dx = x - 31.5f, dy = y - 31.5f;
        return dx * dx + dy * dy <= 32.0f * 32.0f ? kWhite : 0x00000000u;
    });
    AddImage(kHands, [](UINT, UINT) { return kBlack; });
    const __time64_t t = [] {
        std::tm local{};
        local.tm_year = 126, local.tm_mon = 2, local.tm_mday = 1, local.tm_hour = 12, local.tm_min = 30;
        local.tm_isdst = -1;
        return static_cast<__time64_t>(std::mktime(&local));
    }();
    crt::SetTime64ForTests(&t);

    auto* clock = new DS_ClockConstructor;
    clock->clockRect.x.value = 160;
    clock->clockRect.y.value = 160;
    clock->size.value = 280;
    MakeRoot({clock});
    const Image image = Frames({0.0f, 0.05f});

    const float rad = 15.0f * 3.1415927f / 180.0f;
    for (float d : {20.0f, 45.0f, 65.0f}) {  // along the hour hand
        SCOPED_TRACE(d);
        EXPECT_TRUE(Probe(image, static_cast<UINT>(std::lround(160 + d * std::sin(rad))),
                          static_cast<UINT>(std::lround(160 - d * std::cos(rad))), kBlack, 24));
    }
    for (UINT y : {190u, 230u, 245u}) EXPECT_TRUE(Probe(image, 160, y, kBlack, 24));  // the minute hand
    EXPECT_TRUE(Probe(image, 160, 100, kWhite, 8));   // no hand toward 12 o'clock
    EXPECT_TRUE(Probe(image, 220, 160, kWhite, 8));   // nor toward 3
    EXPECT_TRUE(Probe(image, 160, 265, kWhite, 8));   // the minute hand ends at 249.6
    EXPECT_TRUE(Probe(image, 30, 30, kGrey, 8));      // a transparent corner of the face
    EXPECT_TRUE(Probe(image, 10, 160, kGrey, 8));     // outside the face

    // The hands texture stays when the face picture is replaced.
    auto& group = static_cast<DS_3DObjArray&>(*Object(0));
    IDirect3DTexture9* hands = group.nodes[1].texture.Get();
    EXPECT_NE(hands, nullptr);
    IDirect3DTexture9* other = AddImage({u"C:\\face2.tga", 3}, [](UINT, UINT) { return kRed; });
    group.description->textureLink.SetKey({u"C:\\face2.tga", 3});
    EXPECT_EQ(group.nodes[0].texture.Get(), other);
    EXPECT_EQ(group.nodes[1].texture.Get(), hands);
    EXPECT_TRUE(Probe(Frames({0.1f}), 160, 100, kRed, 8));
}

// A butterfly at (160, 200) seen from its side (heading 0) with its wings up.
// The body's picture is green on the side that faces the viewer and blue on
// the far side: with the culling right only green shows.  Its mesh node is
// one-sided, its wing node two-sided.
TEST_F(ObjectsRendering, ButterflyBodyAndWingsVisible) {
    AddMesh({u"common_res.dll", 68}, "butterfly_body.x");
    AddMesh({u"common_res.dll", 69}, "butterfly_wing.x");
    AddImage({u"common_res.dll", 6}, [](UINT x, UINT) { return x < 32 ? kGreen : kBlue; });
    AddImage({u"C:\\wing.tga", 9}, [](UINT, UINT) { return 0x00ffff00u; });  // first see-through
    auto* flock = new DS_ButterflyConstructor;
    flock->textureLink.key = {u"C:\\wing.tga", 9};
    flock->size.value = 400;
    MakeRoot({flock});
    auto& group = static_cast<DS_3DObjArray&>(*Object(0));
    ASSERT_TRUE(group.nodes[0].vertexBuffer);
    EXPECT_EQ(group.nodes[0].indexedPrimitiveCount, group.nodes[0].primitiveCount);
    EXPECT_GT(group.nodes[0].indexedPrimitiveCount, 100u);
    AC_Butterfly& flight = *static_cast<AC_Butterfly*>(group.instances.front()->Controller());
    flight.position = D3DXVECTOR3(160.0f, 200.0f, 0.0f);
    flight.heading = {0.0f, 0.0f, 350.0f};
    flight.speed = {100.0f, 100.0f, 350.0f};
    flight.wingAngle = -40.0f;
    const Image body = Frames({0.0f, 0.0f});  // no clock step: the state stays as set

    // The thorax and the abdomen on the body's axis (x = 160 + 2z, rising
    // 0.18 pixels a pixel to the right).
    EXPECT_TRUE(Probe(body, 176, 198, kGreen, 16));
    EXPECT_TRUE(Probe(body, 122, 208, kGreen, 16));
    EXPECT_TRUE(Probe(body, 160, 155, kGrey, 8));

    // Opaque wings rise above the body, 46 pixels up at half their length,
    // and are drawn over its upper half.
    group.nodes[1].texture.Attach(harness_.MakeTexture(8, 8, [](UINT, UINT) { return kYellow; }));
    const Image wings = Frames({0.0f});
    EXPECT_TRUE(Probe(wings, 160, 155, kYellow, 16));
    EXPECT_TRUE(Probe(wings, 176, 198, kYellow, 16));
    EXPECT_TRUE(Probe(wings, 160, 250, kGrey, 8));  // nothing below
}

// Falling pieces: one leaf facing the viewer, one turned over (180 degrees
// about X); the both-sides drawing shows both.
TEST_F(ObjectsRendering, FallingPiecesDrawnFromBothSides) {
    auto* leaves = new DS_3D_in_2D_array_Constructor;
    const std::vector<BYTE> mesh = ReadMesh("leaf.x");
    leaves->meshFile.path = u"C:\\leaf.x";
    leaves->meshFile.SetBytes(static_cast<DWORD>(mesh.size()), mesh.data());
    const std::vector<BYTE> picture = Tga32(16, 16, [](UINT, UINT) { return kOrange; });
    leaves->imageFile.path = u"C:\\leaf.tga";
    leaves->imageFile.SetBytes(static_cast<DWORD>(picture.size()), picture.data());
    leaves->count.value = 2;
    leaves->motion.size.value = 60;
    MakeRoot({leaves});
    auto& pieces = static_cast<DS_3D_in_2D_array&>(*Object(0));
    ASSERT_TRUE(pieces.meshFrame.vertexBuffer);
    ASSERT_GT(pieces.meshFrame.radius, 0.0f);
    ASSERT_EQ(pieces.meshFrame.children.size(), 2u);
    const float where[2][2] = {{80.0f, 160.0f}, {240.0f, 160.0f}};
    int i = 0;
    for (DS_Frame* piece : pieces.meshFrame.children) {
        auto& leaf = *static_cast<DS_LeafFallAnim*>(piece->Controller());
        D3DXMatrixTranslation(&leaf.position, where[i][0], where[i][1], 0.0f);
        for (auto& p : leaf.tumble) p = {};
        for (auto& p : leaf.sway) p = {};
        leaf.tumble[0].angle = i == 0 ? 0.0f : 180.0f;
        ++i;
    }
    const Image image = Frames({0.0f, 0.0f});
    EXPECT_TRUE(Probe(image, 80, 160, kOrange, 16));
    EXPECT_TRUE(Probe(image, 240, 160, kOrange, 16));
    EXPECT_TRUE(Probe(image, 160, 160, kGrey, 8));
}

// A default or unresolved texture link gives the node no texture; a copy of
// a node shares its buffers, and either can go first.
// A new face picture rebinds the face node of the group its description
// made; the hands keep their texture.
TEST_F(ObjectsRendering, NewFacePictureRebindsTheFaceOnly) {
    AddMesh(kClockMesh, "clock.x");
    IDirect3DTexture9* face = AddImage(kFace, [](UINT, UINT) { return kWhite; });
    IDirect3DTexture9* hands = AddImage(kHands, [](UINT, UINT) { return kBlack; });
    const DS_LinkKey otherFace{u"C:\\faces\\brass.tga", 3};
    IDirect3DTexture9* brass = AddImage(otherFace, [](UINT, UINT) { return kYellow; });
    MakeRoot({new DS_ClockConstructor});
    auto* group = dynamic_cast<DS_3DObjArray*>(Object(0));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->nodes.size(), 2u);
    EXPECT_EQ(group->nodes[0].texture.Get(), face);
    EXPECT_EQ(group->nodes[1].texture.Get(), hands);
    auto* clock = dynamic_cast<DS_ClockConstructor*>(group->description);
    ASSERT_NE(clock, nullptr);
    clock->textureLink.SetKey(otherFace);
    EXPECT_EQ(group->nodes[0].texture.Get(), brass);
    EXPECT_EQ(group->nodes[1].texture.Get(), hands);
    EXPECT_TRUE(group->nodes[0].vertexBuffer);
    EXPECT_EQ(group->nodes[0].frames.size(), 1u);  // the frame list stays
}

TEST_F(ObjectsRendering, NodeTexturesAndCopies) {
    AddMesh({u"common_res.dll", 69}, "butterfly_wing.x");
    DS_MeshNode node;
    DS_MeshNode::BindTexture(DS_ImageFileLink(), node, DS_MeshFile(69, u"common_res.dll"));
    EXPECT_EQ(node.texture.Get(), nullptr);
    ASSERT_TRUE(node.vertexBuffer);
    EXPECT_EQ(node.primitiveType, D3DPT_TRIANGLELIST);
    DS_MeshNode::BindTexture(DS_ImageFileLink(99, u"common_res.dll"), node, DS_MeshFile(69, u"common_res.dll"));
    EXPECT_EQ(node.texture.Get(), nullptr);
    auto copy = std::make_unique<DS_MeshNode>(node);
    EXPECT_EQ(copy->vertexBuffer.Get(), node.vertexBuffer.Get());
    EXPECT_EQ(copy->indexBuffer.Get(), node.indexBuffer.Get());
    EXPECT_EQ(copy->indexedPrimitiveCount, node.indexedPrimitiveCount);
    node = DS_MeshNode();
    ASSERT_TRUE(copy->vertexBuffer);
    void* data = nullptr;
    EXPECT_EQ(copy->vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    copy->vertexBuffer->Unlock();
}

}  // namespace
