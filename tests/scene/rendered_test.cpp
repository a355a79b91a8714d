// The scene drawn through the Direct3D stand-in and read back.  Probes are
// taken on frame 2 or later: state carries from one frame to the next (the
// fade quad leaves blending on), as it does in the saver.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/crt/rand.h"
#include "document/archive_writer.h"
#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "document/sound_item.h"
#include "scene/effect_calls.h"
#include "scene/layer_resources.h"
#include "scene/quad_batch.h"
#include "scene/slide_show.h"
#include "tests/support/d3d_harness.h"
#include "tests/support/scene_fixture.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;

constexpr D3DCOLOR kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kWhite = 0xffffffff,
                   kBlack = 0xff000000;

using FakeResources = tessaloom::testing::OnePictureResources;

// A description whose object reads the scene and draws it back mirrored
// left to right over the whole back buffer.
class MirrorObject;
class MirrorDescription : public DS_ABObj_Constructor {
public:
    DS_ABObj* CreateObject() override;
};

class MirrorObject : public DS_ABObj {
public:
    explicit MirrorObject(MirrorDescription* copy) : DS_ABObj(copy), copy_(copy) {}
    ~MirrorObject() override { delete copy_; }
    int NeedsSceneTexture() override { return 1; }
    void FrameMove(float) override {}
    void Render(DS_2D_Light& layer) override {
        IDirect3DTexture9* scene = *layer.GetSceneTexture();
        seen.push_back(scene);
        const D3DSURFACE_DESC desc = GetBackBufferDesc();
        DS_QuadVerts q;
        const float w = static_cast<float>(desc.Width) - 0.5f, h = static_cast<float>(desc.Height) - 0.5f;
        // D3D pixel centres: edges half a pixel outside; u runs from 1 to 0.
        const float pos[4][4] = {{-0.5f, h, 1, 1}, {-0.5f, -0.5f, 1, 0}, {w, h, 0, 1}, {w, -0.5f, 0, 0}};
        for (int i = 0; i < 4; ++i) q.c[i] = {pos[i][0], pos[i][1], 1.0f, pos[i][2], pos[i][3]};
        DS_TexturedQuad quad;
        quad.SetTexturedQuad(scene, q);
        IDirect3DDevice9* d = CurrentDevice;
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        quad.BindStreamWithTexture();
        d->DrawPrimitive(quad.primitiveType, 0, quad.primitiveCount);
        d->SetTexture(0, nullptr);
    }
    std::vector<IDirect3DTexture9*> seen;

private:
    MirrorDescription* copy_;
};

DS_ABObj* MirrorDescription::CreateObject() { return new MirrorObject(new MirrorDescription(*this)); }

// A layer that keeps the capture open for its own RenderFinish.
class ReadingLayer : public DS_2D_Light {
public:
    bool NeedsSceneTexture() override { return true; }
    void RenderFinish() override {
        DS_RenderTargetPair& pair = EndSceneCapture(false);
        finished = pair.current.Get();
        DS_2D_Light::RenderFinish();
    }
    IDirect3DTexture9* finished = nullptr;
};

class SceneRendering : public ::testing::Test {
protected:
    explicit SceneRendering(UINT w = 64, UINT h = 32) : harness_(w, h) {}

    void SetUp() override {
        ASSERT_TRUE(harness_.ok());
        CurrentDevice = harness_.device;
        SetLayerResources(&resources_);
        DS_SetCurrentViewState(&state_);
        crt::ResetRandForTests();
        // The picture: 32 x 32 with quadrants red (top left), green (top
        // right), blue (bottom left), white (bottom right).
        resources_.picture.texture.Attach(harness_.MakeTexture(32, 32, [](UINT x, UINT y) {
            return y < 16 ? (x < 16 ? kRed : kGreen) : (x < 16 ? kBlue : kWhite);
        }));
        resources_.picture.width = 32;
        resources_.picture.height = 32;
    }
    void TearDown() override {
        root_.reset();
        resources_.picture.texture.Release();
        state_.view.Teardown();
        DS_SetCurrentViewState(nullptr);
        SetLayerResources(nullptr);
        CurrentDevice = nullptr;
    }

    // A root of `slides` plain slides with the given times.
    DS_SlideShow_Light& MakeRoot(int slides, UINT fadeIn = 1, UINT hold = 10, UINT fadeOut = 1) {
        root_ = std::make_unique<DS_SlideShow_Light>();
        for (int i = 0; i < slides; ++i) {
            auto* slide = new DS_SlideContainer;
            slide->fadeIn.value = fadeIn;
            slide->hold.value = hold;
            slide->fadeOut.value = fadeOut;
            slide->mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
            root_->slides.emplace_back(slide);
        }
        return *root_;
    }
    void InitAll() {
        for (auto& slide : root_->slides) slide->Init();
    }

    // Frames at the given times; returns the last one read back.
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
    FakeResources resources_;
    DS_ViewState state_;
    std::unique_ptr<DS_SlideShow_Light> root_;
};

struct PositionProbe {
    UINT x, y;
    D3DCOLOR color;
};

}  // namespace

// A square picture on a 64 x 32 back buffer.  Fit: centred at x 16..48 with
// bars, the left bar one pixel wider (it covers column 16); Stretch: the
// whole buffer; Fill: scaled 2x about the centre, top and bottom cropped.
TEST_F(SceneRendering, PictureInEachPosition) {
    struct Case {
        int mode;
        std::vector<PositionProbe> probes;
    };
    const std::vector<Case> cases = {
        {DS_POS_FIT,
         {{2, 16, kBlack}, {16, 8, kBlack}, {18, 4, kRed}, {46, 4, kGreen}, {18, 28, kBlue}, {46, 28, kWhite},
          {48, 8, kBlack}, {63, 20, kBlack}}},
        {DS_POS_STRETCH, {{1, 1, kRed}, {62, 1, kGreen}, {1, 30, kBlue}, {62, 30, kWhite}}},
        {DS_POS_FILL, {{1, 1, kRed}, {62, 1, kGreen}, {1, 30, kBlue}, {62, 30, kWhite}, {20, 14, kRed}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        MakeRoot(1);
        InitAll();
        root_->SetPicturePosition(c.mode);
        const Image image = Frames({0.0f, 0.05f});
        for (const auto& p : c.probes) EXPECT_TRUE(Probe(image, p.x, p.y, p.color, 8));
    }
    // The screen mapping measures object areas in the picture's pixels.
    const DS_ScreenMapping& mapping = DS_ScreenMapping::Current();
    EXPECT_EQ(mapping.logicalWidth, 32);
    EXPECT_EQ(mapping.logicalHeight, 32);
    EXPECT_FLOAT_EQ(mapping.sx, 1.0f);
    float bx, by;
    mapping.PictureToBackBuffer(32.0f, 16.0f, &bx, &by);
    EXPECT_FLOAT_EQ(bx, 48.0f);
    EXPECT_FLOAT_EQ(by, 16.0f);
    EXPECT_EQ(resources_.resets, 3);  // each of the three roots made its slide current once

    // Fill crops: the picture's rows 8..24 fill the buffer, so the quadrant
    // border (row 16 of the picture) is at back-buffer row 16.
    MakeRoot(1);
    InitAll();
    root_->SetPicturePosition(DS_POS_FILL);
    const Image fill = Frames({0.0f, 0.05f});
    EXPECT_TRUE(Probe(fill, 10, 14, kRed, 8));
    EXPECT_TRUE(Probe(fill, 10, 17, kBlue, 8));
}

// The camera at zoom 2 (raw 200) with its clock frozen (speed 0) stays on its
// first segment, pan (0, 0): the picture doubles about its centre.
TEST_F(SceneRendering, CameraZoom) {
    MakeRoot(1);
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    layer.camera.enabled.value = 1;
    layer.camera.zoom.SetValue(200);
    layer.camera.speed.SetValue(0);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    const Image image = Frames({0.0f, 0.05f, 0.1f});
    // Stretched 2x horizontally then zoomed 2x: the centre column is the
    // quadrant border; pixel 1 shows the picture's x 8 (red, top half).
    EXPECT_TRUE(Probe(image, 1, 1, kRed, 8));
    // Away from the quadrant borders (4 pixels per texel, filtered).
    EXPECT_TRUE(Probe(image, 27, 12, kRed, 8));
    EXPECT_TRUE(Probe(image, 37, 12, kGreen, 8));
    EXPECT_TRUE(Probe(image, 37, 20, kWhite, 8));
    EXPECT_TRUE(Probe(image, 62, 30, kWhite, 8));
}

// Two slides (1, 10, 1): 11.5 s after the first frame the first slide is
// halfway through its fade-out: alpha 127, the picture at about half.
TEST_F(SceneRendering, FadeAtAKnownTime) {
    MakeRoot(2);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    const Image image = Frames({100.0f, 110.3f, 110.5f});
    EXPECT_FLOAT_EQ(root_->fadeAlpha, 0.5f);
    const D3DCOLOR half = D3DCOLOR_ARGB(255, 0x80, 0, 0);
    EXPECT_TRUE(Probe(image, 4, 4, half, 3));
    // Fully black at the switch, with the second slide current.
    const Image black = Frames({111.01f});  // t = 0 of the new slide: alpha 255
    EXPECT_TRUE(Probe(black, 4, 4, kBlack, 1));
    EXPECT_EQ(root_->currentSlide.Get(), root_->slides[1].Get());
}

// One object that reads the scene: the picture is captured and the object
// draws it back mirrored to the back buffer.
TEST_F(SceneRendering, CaptureAndBack) {
    MakeRoot(1);
    root_->slides[0]->prototypes.push_back(new MirrorDescription);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    const Image image = Frames({0.0f, 0.05f});
    auto* object = static_cast<MirrorObject*>(root_->slides[0]->instances[0].Get());
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    ASSERT_FALSE(object->seen.empty());
    // The object read the pair's current texture, not the picture.
    EXPECT_EQ(object->seen.back(), layer.renderTargets.current.Get());
    EXPECT_NE(object->seen.back(), layer.pictureQuad.texture.Get());
    EXPECT_FALSE(layer.CaptureRunning());
    EXPECT_EQ(DS_2DView::Current().mode, DS_POS_STRETCH);  // the mode came back
    EXPECT_TRUE(Probe(image, 2, 2, kGreen, 8));
    EXPECT_TRUE(Probe(image, 61, 2, kRed, 8));
    EXPECT_TRUE(Probe(image, 2, 29, kWhite, 8));
}

// Two readers: the later one (drawn first) reads the picture from the first
// capture texture and draws into the second; the earlier one reads the
// second and draws to the back buffer.  Mirrored twice: the picture again.
TEST_F(SceneRendering, CaptureChainOfTwoReaders) {
    MakeRoot(1);
    root_->slides[0]->prototypes.push_back(new MirrorDescription);
    root_->slides[0]->prototypes.push_back(new MirrorDescription);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    const Image image = Frames({0.0f, 0.05f});
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    auto* first = static_cast<MirrorObject*>(root_->slides[0]->instances[0].Get());
    auto* second = static_cast<MirrorObject*>(root_->slides[0]->instances[1].Get());
    EXPECT_EQ(second->seen.back(), layer.renderTargets.textures[0].Get() == first->seen.back()
                                       ? layer.renderTargets.textures[1].Get()
                                       : layer.renderTargets.textures[0].Get());
    EXPECT_NE(first->seen.back(), second->seen.back());
    EXPECT_TRUE(Probe(image, 2, 2, kRed, 8));
    EXPECT_TRUE(Probe(image, 61, 29, kWhite, 8));
}

// A layer that reads the scene itself with one reading object (count 2): the
// object reads the first texture after a swap, the layer ends the capture.
TEST_F(SceneRendering, LayerThatReadsTheSceneEndsTheCapture) {
    MakeRoot(1);
    auto* layer = new ReadingLayer;
    root_->slides[0]->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
    root_->slides[0]->prototypes.push_back(new MirrorDescription);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    Frames({0.0f, 0.05f});
    auto* object = static_cast<MirrorObject*>(root_->slides[0]->instances[0].Get());
    EXPECT_EQ(root_->slides[0]->CaptureCount(), 2);
    EXPECT_NE(object->seen.back(), layer->finished);
    EXPECT_EQ(layer->finished, layer->renderTargets.current.Get());
    EXPECT_FALSE(layer->CaptureRunning());
}

// Render targets that could not be made: the capture is skipped, the
// reader gets the picture and everything goes to the back buffer.
TEST_F(SceneRendering, FailedRenderTargetsSkipTheCapture) {
    MakeRoot(1);
    root_->slides[0]->prototypes.push_back(new MirrorDescription);
    InitAll();
    tessaloom::d3d9::FailResourceCreation(D3DRTYPE_TEXTURE, 1);
    root_->SetPicturePosition(DS_POS_STRETCH);
    const Image image = Frames({0.0f, 0.05f});
    tessaloom::d3d9::ClearFaults();
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    EXPECT_FALSE(layer.renderTargets.HasTextures());
    auto* object = static_cast<MirrorObject*>(root_->slides[0]->instances[0].Get());
    EXPECT_EQ(object->seen.back(), layer.pictureQuad.texture.Get());
    EXPECT_TRUE(Probe(image, 2, 2, kGreen, 8));  // the picture, mirrored, on the back buffer
}

// The device-reset cycle: render targets released for the reset and made
// again; the fade quad follows a new back-buffer size.
TEST_F(SceneRendering, ResetCycleAndFadeQuadSize) {
    MakeRoot(2);
    InitAll();
    Frames({0.0f});
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    EXPECT_TRUE(layer.renderTargets.HasTextures());
    root_->InvalidateDeviceObjects();
    EXPECT_FALSE(layer.renderTargets.HasTextures());
    EXPECT_EQ(resources_.losts, 2);
    D3DPRESENT_PARAMETERS params = harness_.params;
    params.BackBufferWidth = 96;
    params.BackBufferHeight = 48;
    ASSERT_EQ(harness_.device->Reset(&params), D3D_OK);
    root_->RestoreDeviceObjects();
    EXPECT_TRUE(layer.renderTargets.HasTextures());
    EXPECT_EQ(layer.renderTargets.width, 96);
    DX_V::TPC* v = root_->fadeQuad->Lock(D3DLOCK_READONLY);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[3].x, 96.0f);
    EXPECT_EQ(v[0].y, 48.0f);
    root_->fadeQuad->Unlock();
}

// Releasing device objects after the application let go of the device (as
// at exit) is safe: the resources keep the device alive until the last goes.
TEST_F(SceneRendering, ReleaseAfterTheDeviceIsLetGo) {
    const int before = tessaloom::d3d9::LiveObjectCount();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params = harness_.params;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &params, &device),
              D3D_OK);
    DS_ViewState late;
    DS_SetCurrentViewState(&late);
    CurrentDevice = device;
    late.view.SetBarColors();
    EXPECT_TRUE(late.view.bars[0].vertexBuffer);
    CurrentDevice = harness_.device;
    device->Release();  // the application's last reference
    d3d->Release();
    late.ReleaseDeviceObjects();  // the bars go last, and the device with them
    EXPECT_FALSE(late.view.bars[3].vertexBuffer);
    EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), before);
    DS_SetCurrentViewState(&state_);
}

// The sprite service with each blend mode: a half-transparent red sprite
// over the white quadrant, normally blended, additive, and with a mask.
TEST_F(SceneRendering, SpritesInEachBlendMode) {
    MakeRoot(1);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    Frames({0.0f});  // the layer's state is set; the view is up
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;

    DS_IndexedMesh<DX_V::PCT> sprite;
    ASSERT_TRUE(sprite.CreateVertexBuffer(4));
    ASSERT_TRUE(sprite.CreateIndexBuffer(6));
    sprite.primitiveType = D3DPT_TRIANGLELIST;
    sprite.indexedPrimitiveCount = 2;
    // Over the picture's bottom-right quadrant (16..32 x 16..32), white vertices.
    const DX_V::PCT v[4] = {{16, 32, 0, kWhite, 0, 1}, {16, 16, 0, kWhite, 0, 0}, {32, 32, 0, kWhite, 1, 1},
                            {32, 16, 0, kWhite, 1, 0}};
    std::copy(std::begin(v), std::end(v), sprite.Lock());
    sprite.Unlock();
    const WORD idx[6] = {0, 1, 2, 2, 1, 3};
    std::copy(std::begin(idx), std::end(idx), sprite.LockIndices());
    sprite.UnlockIndices();
    DS_ComRef<IDirect3DTexture9> frame(harness_.MakeTexture(4, 4, [](UINT, UINT) { return 0x80FF0000u; }));
    DS_ComRef<IDirect3DTexture9> mask(harness_.MakeTexture(4, 4, [](UINT, UINT) { return 0x800000FFu; }));

    struct Case {
        const char* name;
        int additive;
        bool withMask;
        D3DCOLOR expected;  // at a pixel of the white quadrant
    };
    const std::vector<Case> cases = {
        {"blended", 0, false, D3DCOLOR_ARGB(255, 255, 127, 127)},
        {"additive", 1, false, kWhite},
        {"blended then masked additively", 1, true, D3DCOLOR_ARGB(255, 255, 127, 255)},
        {"mask not additive", 0, true, D3DCOLOR_ARGB(255, 127, 63, 191)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        harness_.device->BeginScene();
        layer.DrawPicture();
        DS_SpriteDrawData data{&sprite, frame.Get(), c.withMask ? mask.Get() : nullptr, c.additive};
        layer.DrawSpriteArray(data);
        harness_.device->EndScene();
        const Image image = harness_.ReadBackBuffer();
        EXPECT_TRUE(Probe(image, 48, 24, c.expected, 3));
        EXPECT_TRUE(Probe(image, 8, 4, kRed, 3));  // outside the sprite
        DWORD blend = 0;
        harness_.device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
        EXPECT_EQ(blend, static_cast<DWORD>(FALSE));
    }
    // Additive with no texture alpha to speak of: a black-ish sprite over red adds nothing.
}

// The quad batch: chunks of 16383 quads, indices and corners.
TEST_F(SceneRendering, QuadBatchChunksAndCorners) {
    DS_QuadBatch batch;
    EXPECT_EQ(batch.quadCount, 0);
    EXPECT_EQ(batch.Resize(16384), 2);
    EXPECT_EQ(batch.chunks[0].vertexCount, 16383u * 4);
    EXPECT_EQ(batch.chunks[1].vertexCount, 4u);
    EXPECT_EQ(batch.chunks[1].indexedPrimitiveCount, 2u);
    EXPECT_EQ(batch.Resize(16383), 1);  // no empty chunk after a full one
    EXPECT_EQ(batch.Resize(0), 1);
    EXPECT_FALSE(batch.chunks[0].vertexBuffer);
    EXPECT_EQ(batch.Resize(100), 1);
    EXPECT_EQ(batch.chunks[0].indexedPrimitiveCount, 200u);

    DS_ComRef<IDirect3DTexture9> texture(harness_.MakeTexture(2, 2, [](UINT, UINT y) { return y == 0 ? kRed : kBlue; }));
    batch.SetTexture(texture.Get());
    batch.Resize(16384);  // a texture set before reaches the new chunks
    EXPECT_EQ(batch.chunks[1].texture.Get(), texture.Get());
    batch.Lock();
    // Quad 16383 is the first of chunk 1: a 20 x 10 rectangle at (30, 15).
    batch.SetQuadCorners(16383, D3DXVECTOR3(30, 15, 0), D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, 5, 0));
    batch.SetQuadColor(16383, kWhite);
    const DX_V::TPCT* q = batch.chunks[1].locked;
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[0].x, 20.0f);
    EXPECT_EQ(q[0].y, 20.0f);  // P - U + V: bottom left, v = 1
    EXPECT_EQ(q[1].y, 10.0f);
    EXPECT_EQ(q[3].x, 40.0f);
    EXPECT_EQ(q[0].v, 1.0f);
    EXPECT_EQ(q[1].v, 0.0f);
    batch.Unlock();
    EXPECT_EQ(batch.chunks[1].locked, nullptr);

    IDirect3DDevice9* d = harness_.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->BeginScene();
    batch.Draw();  // chunk 0's quads are all at the origin: nothing visible
    d->EndScene();
    d->SetTexture(0, nullptr);
    const Image image = harness_.ReadBackBuffer();
    EXPECT_TRUE(Probe(image, 25, 12, kRed, 8));   // top half: v < 0.5
    EXPECT_TRUE(Probe(image, 25, 17, kBlue, 8));  // v grows downwards
    EXPECT_TRUE(Probe(image, 45, 12, kBlack, 1));
}

namespace {

// Counts the effect calls; each pass draws with whatever the caller set.
class CountingRunner : public DS_EffectRunner {
public:
    HRESULT Begin(ID3DXEffect*, UINT* passes) override {
        ++begins;
        *passes = passCount;
        return S_OK;
    }
    HRESULT BeginPass(ID3DXEffect*, UINT) override {
        ++beginPasses;
        return S_OK;
    }
    HRESULT EndPass(ID3DXEffect*) override {
        ++endPasses;
        return S_OK;
    }
    HRESULT End(ID3DXEffect*) override {
        ++ends;
        return S_OK;
    }
    UINT passCount = 2;
    int begins = 0, beginPasses = 0, endPasses = 0, ends = 0;
};

}  // namespace

TEST_F(SceneRendering, EffectPassesAndNullEffects) {
    MakeRoot(1);
    InitAll();
    Frames({0.0f});
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    CountingRunner runner;
    SetEffectRunner(&runner);
    int dummy = 0;
    ID3DXEffect* effect = reinterpret_cast<ID3DXEffect*>(&dummy);  // never dereferenced by the runner
    harness_.device->BeginScene();
    layer.DrawWithEffect(layer.GetScreenQuad(), &effect);
    EXPECT_EQ(runner.begins, 1);
    EXPECT_EQ(runner.beginPasses, 2);  // two passes: the quad drawn twice
    EXPECT_EQ(runner.endPasses, 2);
    EXPECT_EQ(runner.ends, 1);
    // A null effect, or none at all, is never drawn.
    ID3DXEffect* none = nullptr;
    layer.DrawWithEffect(layer.GetScreenQuad(), &none);
    layer.DrawWithEffect(layer.GetScreenQuad(), nullptr);
    DS_IndexedMesh<DX_V::PT> grid;
    layer.DrawIndexedWithEffect(grid, &none);
    EXPECT_EQ(runner.begins, 1);
    SetEffectRunner(nullptr);
    layer.DrawWithEffect(layer.GetScreenQuad(), &effect);  // no runner: skipped, said once
    harness_.device->EndScene();
}

// Mesh lists: counter-clockwise culling for a front-face flag of 1, the
// opposite for 0, both sides when the node is two-sided; the states after.
TEST_F(SceneRendering, MeshListCullingAndBothSides) {
    MakeRoot(1);
    InitAll();
    root_->SetPicturePosition(DS_POS_STRETCH);
    Frames({0.0f});
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;

    DS_TexturedMesh<DX_V::PNT> node;
    ASSERT_TRUE(node.CreateVertexBuffer(4));
    ASSERT_TRUE(node.CreateIndexBuffer(6));
    node.primitiveType = D3DPT_TRIANGLELIST;
    node.indexedPrimitiveCount = 2;
    // A square over the bottom-right quadrant, clockwise on screen (y down).
    const DX_V::PNT v[4] = {{16, 16, 0, 0, 0, -1, 0, 0}, {32, 16, 0, 0, 0, -1, 1, 0}, {16, 32, 0, 0, 0, -1, 0, 1},
                            {32, 32, 0, 0, 0, -1, 1, 1}};
    std::copy(std::begin(v), std::end(v), node.Lock());
    node.Unlock();
    const WORD idx[6] = {0, 1, 2, 2, 1, 3};
    std::copy(std::begin(idx), std::end(idx), node.LockIndices());
    node.UnlockIndices();
    node.texture.Attach(harness_.MakeTexture(2, 2, [](UINT, UINT) { return kGreen; }));

    DS_Frame instance;
    std::list<DS_Frame*> instances{&instance};
    struct Case {
        unsigned char frontFace;
        unsigned char twoSided;
        bool visible;
    };
    for (const Case c : {Case{1, 0, true}, Case{0, 0, false}, Case{0, 1, true}, Case{1, 1, true}}) {
        SCOPED_TRACE(static_cast<int>(c.frontFace) * 10 + c.twoSided);
        instance.frontFace = c.frontFace;
        node.flag = c.twoSided;
        harness_.device->BeginScene();
        layer.DrawPicture();
        layer.DrawMeshList(node, instances);
        harness_.device->EndScene();
        const Image image = harness_.ReadBackBuffer();
        EXPECT_TRUE(Probe(image, 48, 24, c.visible ? kGreen : kWhite, 8));
        DWORD cull = 0, blend = 1;
        harness_.device->GetRenderState(D3DRS_CULLMODE, &cull);
        harness_.device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
        EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
        EXPECT_EQ(blend, static_cast<DWORD>(FALSE));
    }
    // Falling pieces: each child frame drawn from both sides.
    DS_Frame child;
    node.children.push_back(&child);
    harness_.device->BeginScene();
    layer.DrawPicture();
    layer.DrawMeshListBothSides(node);
    harness_.device->EndScene();
    EXPECT_TRUE(Probe(harness_.ReadBackBuffer(), 48, 24, kGreen, 8));
    node.children.clear();
}

// A copied mesh shares its buffers; the quad helpers write what they say.
TEST_F(SceneRendering, MeshCopiesShareBuffersAndQuadHelpers) {
    DS_SimpleMesh<DX_V::TPC> first;
    DS_QuadVerts corners;
    corners.SetFullScreen();
    ASSERT_TRUE(first.SetQuad(0xFF000000u, corners));
    {
        DS_SimpleMesh<DX_V::TPC> copy(first);
        EXPECT_EQ(copy.vertexBuffer.Get(), first.vertexBuffer.Get());
    }
    ASSERT_TRUE(first.SetCornerAlpha(0, 0.5f, 1.0f, 0));
    const DX_V::TPC* v = first.Lock(D3DLOCK_READONLY);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[0].color, 0x00000000u);  // black kept, fully transparent
    EXPECT_EQ(v[2].color, 0x7F000000u);  // 0.5 x 255 truncated
    EXPECT_EQ(v[1].color, 0xFF000000u);
    EXPECT_EQ(v[3].x, 64.0f);
    EXPECT_EQ(v[0].y, 32.0f);
    EXPECT_EQ(v[0].rhw, 1.0f);
    first.Unlock();

    DS_SimpleMesh<DX_V::PC> pc;
    ASSERT_TRUE(pc.SetQuad(0x80112233u, corners));
    ASSERT_TRUE(pc.SetRGB(0x00AABBCCu));
    EXPECT_EQ(pc.Lock(D3DLOCK_READONLY)[2].color, 0x80AABBCCu);
    pc.Unlock();

    DS_SimpleMesh<DX_V::PT> pt;
    const float f[20] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    ASSERT_TRUE(pt.BuildQuad(f));
    const float p[12] = {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12};
    ASSERT_TRUE(pt.SetQuadPositions(p));
    const DX_V::PT* q = pt.Lock(D3DLOCK_READONLY);
    EXPECT_EQ(q[1].x, -4.0f);
    EXPECT_EQ(q[1].u, 8.0f);  // texture coordinates kept
    EXPECT_EQ(q[3].v, 19.0f);
    pt.Unlock();

    DS_GridMesh grid;
    ASSERT_TRUE(grid.CreateVertexBuffer(81));
    const DX_V::PT c[4] = {{0, 8, 0, 0, 1}, {0, 0, 0, 0, 0}, {8, 8, 0, 1, 1}, {8, 0, 0, 1, 0}};
    ASSERT_TRUE(FillGridMesh(grid, c));
    EXPECT_EQ(grid.Lock(D3DLOCK_READONLY)[80].x, 8.0f);
    grid.Unlock();
    DS_GridIndices indices;
    ASSERT_TRUE(CreateGridIndexBuffer(indices));
    EXPECT_EQ(indices.triangleCount, 128u);
}

// Begin, Swap, Swap, End from index 0 hands back textures[0] then
// textures[1] and ends with index 0 current; Create keeps the index.
TEST_F(SceneRendering, RenderTargetPairPingPong) {
    DS_RenderTargetPair pair;
    ASSERT_TRUE(pair.Create(16, 8));
    EXPECT_EQ(pair.current.Get(), pair.textures[0].Get());
    IDirect3DSurface9* back = nullptr;
    harness_.device->GetRenderTarget(0, &back);
    ASSERT_TRUE(pair.Begin(pair.current.Get()));
    IDirect3DTexture9* const* first = pair.Swap();
    EXPECT_EQ(*first, pair.textures[0].Get());
    EXPECT_EQ(pair.index, 1);
    // The new target was cleared to opaque black.
    const Image cleared = harness_.ReadTexture(pair.current.Get());
    EXPECT_TRUE(Probe(cleared, 3, 3, kBlack, 0, false));
    IDirect3DTexture9* const* second = pair.Swap();
    EXPECT_EQ(*second, pair.textures[1].Get());
    EXPECT_EQ(pair.index, 0);
    pair.End();
    IDirect3DSurface9* now = nullptr;
    harness_.device->GetRenderTarget(0, &now);
    EXPECT_EQ(now, back);  // back to the back buffer
    now->Release();
    back->Release();
    EXPECT_FALSE(pair.Capturing());

    pair.Swap();  // index 1, not capturing
    ASSERT_TRUE(pair.Create(32, 16));
    EXPECT_EQ(pair.index, 1);
    EXPECT_EQ(pair.current.Get(), pair.textures[1].Get());
    D3DSURFACE_DESC desc{};
    pair.current->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    // Swap outside a capture must not draw anywhere: it only moves the index.
}

// Texture copies: a resized managed copy with a mip chain, the square
// picture texture, a DDS file in memory, a render-target pair started from
// a texture.
TEST_F(SceneRendering, TextureCopies) {
    IDirect3DTexture9* source = resources_.picture.texture.Get();
    DS_ComRef<IDirect3DTexture9> copy;
    ASSERT_EQ(CopyTextureResized(64, 64, source, copy.Out(), D3DFMT_A8R8G8B8), D3D_OK);
    ASSERT_TRUE(copy);
    EXPECT_GT(copy->GetLevelCount(), 1u);
    D3DSURFACE_DESC desc{};
    copy->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    D3DCOLOR topLeft, bottomRight;
    std::memcpy(&topLeft, static_cast<BYTE*>(locked.pBits) + 4 * locked.Pitch + 16, 4);
    std::memcpy(&bottomRight, static_cast<BYTE*>(locked.pBits) + 60 * locked.Pitch + 240, 4);
    copy->UnlockRect(0);
    EXPECT_TRUE(tessaloom::testing::ColorNear(topLeft, kRed, 8));
    EXPECT_TRUE(tessaloom::testing::ColorNear(bottomRight, kWhite, 8));
    DS_ComRef<IDirect3DTexture9> none;
    EXPECT_EQ(CopyTextureResized(8, 8, nullptr, none.Out(), D3DFMT_A8R8G8B8), S_OK);
    EXPECT_FALSE(none);

    DS_PictureQuad quad;
    CreateSquareTexture(0, quad, source);
    ASSERT_TRUE(quad.texture);
    quad.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 128u);

    ID3DXBuffer* dds = SaveTextureToMemory(source);
    ASSERT_NE(dds, nullptr);
    ASSERT_GE(dds->GetBufferSize(), 128u);
    EXPECT_EQ(std::memcmp(dds->GetBufferPointer(), "DDS ", 4), 0);
    dds->Release();

    DS_RenderTargetPair pair;
    const bool copied = pair.CreateFrom(source, 32, 32);
    EXPECT_TRUE(pair.HasTextures());  // the pair is made even when the copy is refused
    // The D3DX copy into a render target is staged through an offscreen
    // surface; a refusal leaves the pair without the picture.
    ASSERT_TRUE(copied) << "D3DXLoadSurfaceFromSurface refused to load into a render target";
    const Image started = harness_.ReadTexture(pair.current.Get());
    EXPECT_TRUE(Probe(started, 4, 4, kRed, 8));
    EXPECT_TRUE(Probe(started, 28, 28, kWhite, 8));
}

namespace {

// A 24-bit top-down TGA of one colour.
std::vector<BYTE> OneColourTga(uint16_t w, uint16_t h, BYTE b, BYTE g, BYTE r) {
    std::vector<BYTE> f(18, 0);
    f[2] = 2;
    f[12] = static_cast<BYTE>(w);
    f[14] = static_cast<BYTE>(h);
    f[16] = 24;
    f[17] = 0x20;
    for (int i = 0; i < w * h; ++i) f.insert(f.end(), {b, g, r});
    return f;
}

}  // namespace

namespace {

// A document of one slide whose plain layer shows the saved picture
// "pictures\\sky.tga" (stamp 77) made of `picture`, with one sound.
std::vector<BYTE> OnePictureDocument(const std::vector<BYTE>& picture) {
    DS_IOF_W w;
    w.WriteString(u"Tessaloom scene");
    WriteRecordHeader(w, u"DS_SlideShow_Light", 1);
    w.WriteInt(1);
    WriteRecordHeader(w, u"DS_SlideContainer", 1);
    for (UINT v : {1u, 1u, 10u}) w.WriteUInt(v);
    w.WriteInt(0);
    w.WriteString(u"only");
    WriteRecordHeader(w, u"DS_2D_Light", 2);
    w.WriteString(u"pictures\\sky.tga");
    w.WriteInt64(77);
    w.WriteInt(0);  // no descriptions
    w.WriteInt(1);  // one sound
    DS_AudioFile sound;
    sound.name = u"wind";
    sound.file.path = u"C:\\sounds\\wind.wav";
    sound.file.SetBytes(3, "abc");
    sound.WriteRecord(w);
    WriteRecordHeader(w, u"DS_DocResManager", 3);
    w.WriteUInt(1);  // saved images: the layer's picture
    w.WriteString(u"pictures\\sky.tga");
    w.WriteInt64(77);
    w.WriteUInt(1);
    DS_ResFileData record;
    record.path = u"pictures\\sky.tga";
    record.SetBytes(static_cast<DWORD>(picture.size()), picture.data());
    w.WriteResFile(record);
    w.WriteUInt(0);  // frame values
    w.WriteUInt(0);  // saved files
    w.WriteUInt(0);  // masks
    return w.TakeBytes();
}

}  // namespace

// The whole path: the embedded-document loader reads the root through the
// slide show's reader (and its sound through the document's), the manager
// turns the saved picture into a texture on CurrentDevice, and the layer
// finds it through the current manager.
TEST_F(SceneRendering, DocumentPictureThroughTheResourceManager) {
    SetLayerResources(nullptr);  // the current manager's source
    const std::vector<BYTE> doc = OnePictureDocument(OneColourTga(32, 32, 0x20, 0x40, 0xC0));

    DS_IOF_Item* item = LoadSceneDocumentFromMemory(doc.data(), doc.size());
    root_.reset(dynamic_cast<DS_SlideShow_Light*>(item));
    ASSERT_TRUE(root_);
    ASSERT_EQ(root_->slides.size(), 1u);
    ASSERT_EQ(root_->sounds.size(), 1u);
    EXPECT_EQ(static_cast<DS_AudioFile*>(root_->sounds[0].Get())->name, u"wind");
    DS_DocResManager* manager = GetCurrentDocResManager();
    ASSERT_NE(manager, nullptr);

    InitAll();
    root_->SetPicturePosition(DS_POS_FIT);
    const Image image = Frames({0.0f, 0.05f});
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    EXPECT_EQ(layer.GetPictureWidth(), 32u);
    EXPECT_TRUE(layer.pictureQuad.texture);
    EXPECT_TRUE(Probe(image, 32, 16, D3DCOLOR_ARGB(255, 0xC0, 0x40, 0x20), 4));
    EXPECT_TRUE(Probe(image, 4, 16, kBlack, 1));

    root_.reset();
    SetCurrentDocResManager(nullptr);
    delete manager;
}

// A saved picture whose bytes decode to nothing: the document loads, the
// layer's picture does not resolve, and the frame is opaque black in every
// picture position (no clear colour, no bars); stderr names the picture
// once, however often the layer reloads it.
TEST_F(SceneRendering, UnresolvedPictureDrawsBlack) {
    SetLayerResources(nullptr);
    const std::vector<BYTE> doc = OnePictureDocument(std::vector<BYTE>(64, 0xA5));
    ::testing::internal::CaptureStderr();
    root_.reset(dynamic_cast<DS_SlideShow_Light*>(LoadSceneDocumentFromMemory(doc.data(), doc.size())));
    DS_DocResManager* manager = GetCurrentDocResManager();
    if (root_) {
        InitAll();
        root_->slides[0]->mainLayer->ReloadPicture();
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(root_);
    ASSERT_NE(manager, nullptr);
    DS_2D_Light& layer = *root_->slides[0]->mainLayer;
    EXPECT_FALSE(layer.pictureQuad.texture);
    const std::string line = "picture \"pictures\\sky.tga\" 77 did not resolve";
    const size_t first = said.find(line);
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(line, first + 1), std::string::npos) << said;

    for (int mode : {DS_POS_FIT, DS_POS_STRETCH, DS_POS_FILL}) {
        SCOPED_TRACE(mode);
        root_->SetPicturePosition(mode);
        harness_.device->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
        const Image image = Frames({0.0f, 0.05f});
        // Corners, the centre and the places Fit's bars would take.
        for (const auto& [x, y] : std::vector<std::pair<UINT, UINT>>{{0, 0}, {63, 0}, {0, 31}, {63, 31}, {32, 16}, {8, 16}, {56, 16}})
            EXPECT_TRUE(Probe(image, x, y, kBlack, 0)) << x << "," << y;
    }

    root_.reset();
    SetCurrentDocResManager(nullptr);
    delete manager;
}

// A root without slides draws black and reads no slide.
TEST_F(SceneRendering, EmptyRootDrawsBlack) {
    MakeRoot(0);
    harness_.device->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
    const Image image = Frames({0.0f, 0.05f});
    EXPECT_FALSE(root_->currentSlide);
    EXPECT_TRUE(Probe(image, 10, 10, kBlack, 0));
}
