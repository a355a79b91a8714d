// Pixels drawn through the Direct3D stand-in, read back and probed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/state.h"
#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/image.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;
using tessaloom::testing::VertexRhwColor;
using tessaloom::testing::VertexRhwColorTex;
using tessaloom::testing::VertexXyzColor;
using tessaloom::testing::VertexXyzColorTex;
using tessaloom::testing::VertexXyzTex;

constexpr D3DCOLOR kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kWhite = 0xffffffff,
                   kBlack = 0xff000000;

// 4x4 texture whose texel (x, y) has red = 64 x, green = 64 y, blue 0x80:
// each texel tells where it came from.
D3DCOLOR CoordTexel(UINT x, UINT y) { return D3DCOLOR_ARGB(255, x * 64, y * 64, 0x80); }

// Draw state for unlit, untransformed use of the fixed pipeline.
void PlainStates(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

// A strip quad over pixels [x0, x1) x [y0, y1) in screen space, with D3D's
// whole-number pixel centres: the edges lie half a pixel outside the centres.
std::vector<VertexRhwColorTex> ScreenQuad(float x0, float y0, float x1, float y1, D3DCOLOR c = kWhite) {
    x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
    return {{x0, y1, 0, 1, c, 0, 1}, {x0, y0, 0, 1, c, 0, 0}, {x1, y1, 0, 1, c, 1, 1}, {x1, y0, 0, 1, c, 1, 0}};
}

TEST(D3D9Render, ClearHonoursTheViewport) {
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0), D3D_OK);
    D3DVIEWPORT9 vp{8, 4, 10, 6, 0.0f, 1.0f};
    ASSERT_EQ(d->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0), D3D_OK);
    // A clear rectangle is cut to the viewport as well.
    D3DRECT rect{0, 0, 10, 5};
    ASSERT_EQ(d->Clear(1, &rect, D3DCLEAR_TARGET, kGreen, 1.0f, 0), D3D_OK);
    Image img = h.ReadBackBuffer();
    img.WritePngIfAsked("clear_viewport");
    EXPECT_TRUE(Probe(img, 0, 0, kRed));      // outside the viewport
    EXPECT_TRUE(Probe(img, 7, 4, kRed));      // just left of it
    EXPECT_TRUE(Probe(img, 8, 4, kGreen));    // viewport's top-left, inside the rectangle
    EXPECT_TRUE(Probe(img, 9, 4, kGreen));
    EXPECT_TRUE(Probe(img, 10, 4, kBlue));    // right of the rectangle
    EXPECT_TRUE(Probe(img, 8, 5, kBlue));     // below the rectangle
    EXPECT_TRUE(Probe(img, 17, 9, kBlue));    // viewport's bottom-right
    EXPECT_TRUE(Probe(img, 18, 9, kRed));
    EXPECT_TRUE(Probe(img, 17, 10, kRed));
}

TEST(D3D9Render, ZClearWithoutDepthSurfaceFailsAndClearsNothing) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    h.device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    EXPECT_EQ(h.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 3, 3, kRed));
}

// A textured quad in each vertex format lands exactly on the pixels it
// covers, and each pixel samples its own texel (the half-pixel rule).
TEST(D3D9Render, TexturedQuadInEachFormatHitsItsPixels) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = h.MakeTexture(4, 4, CoordTexel);
    ASSERT_NE(tex, nullptr);
    PlainStates(d);
    d->SetTexture(0, tex);
    // The quad covers pixels x 4..7, y 8..11: one pixel per texel.
    const float x0 = 4, y0 = 8, x1 = 8, y1 = 12;

    // World = identity, view = identity, projection maps pixels to clip space
    // with y down, as the 2D view does.
    D3DMATRIX proj{};
    proj._11 = 2.0f / 16;
    proj._22 = -2.0f / 16;
    proj._33 = 1.0f;
    proj._41 = -1.0f - 1.0f / 16;  // moves pixel centres onto whole numbers
    proj._42 = 1.0f + 1.0f / 16;
    proj._44 = 1.0f;
    struct Case {
        const char* name;
        DWORD fvf;
        UINT stride;
        std::vector<uint8_t> bytes;
    };
    auto pack = [](auto vertices) {
        std::vector<uint8_t> b(vertices.size() * sizeof(vertices[0]));
        std::memcpy(b.data(), vertices.data(), b.size());
        return b;
    };
    // For transformed formats the projection already moves pixel centres, so
    // edges are given on whole pixel boundaries.
    std::vector<VertexXyzTex> pt{{x0, y1, 0, 0, 1}, {x0, y0, 0, 0, 0}, {x1, y1, 0, 1, 1}, {x1, y0, 0, 1, 0}};
    std::vector<VertexXyzColorTex> pct{{x0, y1, 0, kWhite, 0, 1}, {x0, y0, 0, kWhite, 0, 0},
                                       {x1, y1, 0, kWhite, 1, 1}, {x1, y0, 0, kWhite, 1, 0}};
    std::vector<Case> cases = {
        {"TPCT", D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28, pack(ScreenQuad(x0, y0, x1, y1))},
        {"PT", D3DFVF_XYZ | D3DFVF_TEX1, 20, pack(pt)},
        {"PCT", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24, pack(pct)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DMATRIX id{};
        id._11 = id._22 = id._33 = id._44 = 1;
        d->SetTransform(D3DTS_WORLD, &id);
        d->SetTransform(D3DTS_VIEW, &id);
        d->SetTransform(D3DTS_PROJECTION, &proj);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        IDirect3DVertexBuffer9* vb = nullptr;
        ASSERT_EQ(d->CreateVertexBuffer(static_cast<UINT>(c.bytes.size()), D3DUSAGE_WRITEONLY, c.fvf, D3DPOOL_MANAGED,
                                        &vb, nullptr),
                  D3D_OK);
        void* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, c.bytes.data(), c.bytes.size());
        vb->Unlock();
        d->SetFVF(c.fvf);
        d->SetStreamSource(0, vb, 0, c.stride);
        ASSERT_EQ(d->BeginScene(), D3D_OK);
        EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        d->EndScene();
        Image img = h.ReadBackBuffer();
        img.WritePngIfAsked(std::string("quad_") + c.name);
        for (UINT ty = 0; ty < 4; ++ty)
            for (UINT tx = 0; tx < 4; ++tx) EXPECT_TRUE(Probe(img, 4 + tx, 8 + ty, CoordTexel(tx, ty), 1));
        EXPECT_TRUE(Probe(img, 3, 8, kBlack));
        EXPECT_TRUE(Probe(img, 8, 8, kBlack));
        EXPECT_TRUE(Probe(img, 4, 7, kBlack));
        EXPECT_TRUE(Probe(img, 4, 12, kBlack));
        d->SetStreamSource(0, nullptr, 0, 0);
        vb->Release();
    }
    d->SetTexture(0, nullptr);
    tex->Release();
}

}  // namespace

namespace {

// Draws a screen-space quad of vertex colour c over [x0, x1) x [y0, y1).
void DrawColorQuad(D3DHarness& h, float x0, float y0, float x1, float y1, D3DCOLOR c) {
    auto v = ScreenQuad(x0, y0, x1, y1, c);
    h.device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(h.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), sizeof(v[0])), D3D_OK);
}

// Stage 0 passes the vertex colour and alpha through.
void DiffuseOnly(IDirect3DDevice9* d) {
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

// Rows drawn into a render-target texture come back with row 0 on top, and
// the texture drawn onto the back buffer keeps that orientation.
TEST(D3D9Render, RenderTargetKeepsRowZeroOnTop) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    IDirect3DSurface9* back = nullptr;
    d->GetRenderTarget(0, &back);
    PlainStates(d);
    DiffuseOnly(d);

    // A viewport smaller than the new target is replaced by the whole target.
    D3DVIEWPORT9 small{2, 2, 4, 4, 0, 1};
    d->SetViewport(&small);
    ASSERT_EQ(d->SetRenderTarget(0, level), D3D_OK);
    D3DVIEWPORT9 vp{};
    d->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, 8u);
    EXPECT_EQ(vp.Height, 8u);

    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    d->BeginScene();
    DrawColorQuad(h, 0, 0, 8, 2, kRed);  // rows 0 and 1
    d->EndScene();
    Image rt = h.Read(level);
    rt.WritePngIfAsked("render_target");
    EXPECT_TRUE(Probe(rt, 3, 0, kRed));
    EXPECT_TRUE(Probe(rt, 3, 1, kRed));
    EXPECT_TRUE(Probe(rt, 3, 2, kBlue));
    EXPECT_TRUE(Probe(rt, 3, 7, kBlue));

    // Back to the back buffer: its viewport is the whole back buffer again.
    ASSERT_EQ(d->SetRenderTarget(0, back), D3D_OK);
    d->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 16u);
    d->SetTexture(0, target);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    d->BeginScene();
    DrawColorQuad(h, 0, 0, 16, 16, kWhite);
    d->EndScene();
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Image img = h.ReadBackBuffer();
    img.WritePngIfAsked("render_target_drawn");
    EXPECT_TRUE(Probe(img, 8, 0, kRed));
    EXPECT_TRUE(Probe(img, 8, 3, kRed));
    EXPECT_TRUE(Probe(img, 8, 4, kBlue));
    EXPECT_TRUE(Probe(img, 8, 15, kBlue));

    d->SetTexture(0, nullptr);
    back->Release();
    level->Release();
    target->Release();
}

// Culling is judged in screen space with y down: a triangle that runs
// clockwise on screen is a front face, for screen-space vertices and for
// vertices through a y-down projection (the 2D view's).
TEST(D3D9Render, CullingJudgesWindingOnScreen) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    // On screen: (2,2) -> (14,2) -> (2,14) runs clockwise.
    const float cw[3][2] = {{2, 2}, {14, 2}, {2, 14}};
    const float ccw[3][2] = {{2, 2}, {2, 14}, {14, 2}};
    D3DMATRIX yDown{};
    yDown._11 = 2.0f / 16;
    yDown._22 = -2.0f / 16;
    yDown._33 = 1;
    yDown._41 = -1;
    yDown._42 = 1;
    yDown._44 = 1;
    d->SetTransform(D3DTS_PROJECTION, &yDown);
    struct Case {
        DWORD cull;
        bool clockwise;
        bool drawn;
    };
    const Case cases[] = {
        {D3DCULL_CCW, true, true},  {D3DCULL_CCW, false, false}, {D3DCULL_CW, true, false},
        {D3DCULL_CW, false, true},  {D3DCULL_NONE, true, true},  {D3DCULL_NONE, false, true},
    };
    for (bool screenSpace : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << (screenSpace ? "XYZRHW" : "XYZ") << " cull " << c.cull
                                              << (c.clockwise ? " clockwise" : " counter-clockwise"));
            const auto& tri = c.clockwise ? cw : ccw;
            d->SetRenderState(D3DRS_CULLMODE, c.cull);
            d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
            d->BeginScene();
            if (screenSpace) {
                VertexRhwColor v[3];
                for (int i = 0; i < 3; ++i) v[i] = {tri[i][0], tri[i][1], 0, 1, kGreen};
                d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
                EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(v[0])), D3D_OK);
            } else {
                VertexXyzColor v[3];
                for (int i = 0; i < 3; ++i) v[i] = {tri[i][0], tri[i][1], 0.5f, kGreen};
                d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
                EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(v[0])), D3D_OK);
            }
            d->EndScene();
            EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, c.drawn ? kGreen : kBlack));
        }
    }
}

TEST(D3D9Render, BlendingFactors) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    struct Case {
        const char* name;
        DWORD src, dst;
        D3DCOLOR destination, source, expected;
    };
    const Case cases[] = {
        // 0x80 / 255 of red over blue.
        {"SRCALPHA/INVSRCALPHA", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xff0000ff, 0x80ff0000, 0xff80007f},
        {"transparent source", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xff204060, 0x00ffffff, 0xff204060},
        {"additive ONE", D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xff404040, 0xff201000, 0xff605040},
        {"additive saturates", D3DBLEND_ONE, D3DBLEND_ONE, 0xffc0c0c0, 0xff808080, 0xffffffff},
    };
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d->SetRenderState(D3DRS_SRCBLEND, c.src);
        d->SetRenderState(D3DRS_DESTBLEND, c.dst);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, c.destination, 1.0f, 0);
        d->BeginScene();
        DrawColorQuad(h, 0, 0, 8, 8, c.source);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, c.expected, 2));
    }
}

// Each stage operation and argument the system uses, on one textured quad:
// texture T, vertex colour D.
TEST(D3D9Render, StageOperationsAndArguments) {
    D3DHarness h(8, 8, D3DFMT_A8R8G8B8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    const D3DCOLOR T = 0x80c86432, D = 0xff64c8ff;  // T = (200, 100, 50) alpha 128; D = (100, 200, 255) alpha 255
    IDirect3DTexture9* tex = h.MakeTexture(2, 2, [&](UINT, UINT) { return T; });
    IDirect3DTexture9* tex1 = h.MakeTexture(2, 2, [](UINT, UINT) { return 0xff808080u; });
    PlainStates(d);
    struct Case {
        const char* name;
        DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
        bool bound;           // a texture on stage 0
        DWORD stage1Op;       // stage 1: MODULATE TEXTURE x CURRENT (grey texture), SELECTARG1 (no texture), DISABLE
        D3DCOLOR expected;    // alpha included
    };
    const Case cases[] = {
        {"SELECTARG1 TEXTURE", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0x80c86432},
        {"SELECTARG1 DIFFUSE", D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, true, D3DTOP_DISABLE, 0xff64c8ff},
        {"SELECTARG2", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0xff64c8ff},
        {"MODULATE", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0x804e4e32},
        // CURRENT on stage 0 is the vertex colour.
        {"MODULATE CURRENT", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_TEXTURE, true, D3DTOP_DISABLE, 0xff4e4e32},
        {"ADD saturates", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0x80ffffff},
        {"SUBTRACT", D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0x80640000},
        {"COMPLEMENT", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0x80379bcd},
        // A stage whose first argument is its missing texture acts as DISABLE.
        {"MODULATE without texture", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, false, D3DTOP_DISABLE, 0xff64c8ff},
        // A stage without a texture that reads it only as its second argument reads opaque white.
        {"texture as second argument, none set", D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE, false, D3DTOP_DISABLE, 0xff64c8ff},
        // Stage 1 modulates stage 0's result by its own texture (0x80 grey).
        {"stage 1 MODULATE CURRENT", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_MODULATE, 0x80643219},
        // Stage 1 selecting its texture, with none set, passes stage 0's result on.
        {"stage 1 without texture", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_SELECTARG1, 0x804e4e32},
        // Stage 0 disabled: the vertex colour comes through.
        {"DISABLE", D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_DISABLE, 0xff64c8ff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d->SetTexture(0, c.bound ? tex : nullptr);
        d->SetTexture(1, c.stage1Op == D3DTOP_SELECTARG1 ? nullptr : tex1);
        d->SetTextureStageState(0, D3DTSS_COLOROP, c.colorOp);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, c.colorArg1);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, c.colorArg2);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.alphaArg1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.alphaArg2);
        d->SetTextureStageState(1, D3DTSS_COLOROP, c.stage1Op);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        d->BeginScene();
        DrawColorQuad(h, 0, 0, 8, 8, D);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, c.expected, 2, false));
    }
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    tex->Release();
    tex1->Release();
}

// What one draw sets stays for the next: the system relies on state left by
// the previous drawing step.
TEST(D3D9Render, StateCarriesFromOneDrawToTheNext) {
    D3DHarness h(16, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->BeginScene();
    DrawColorQuad(h, 0, 0, 8, 8, 0x80ff0000);
    // No state set here: the second quad is blended the same way.
    DrawColorQuad(h, 8, 0, 16, 8, 0x80ff0000);
    // A stage change between draws in one scene takes effect at once.
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff00ff00);
    DrawColorQuad(h, 0, 6, 16, 8, 0xffff0000);
    d->EndScene();
    Image img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 2, 2, 0xff80007f));
    EXPECT_TRUE(Probe(img, 12, 2, 0xff80007f));
    EXPECT_TRUE(Probe(img, 12, 7, kGreen));
}

// Texture addressing (WRAP, MIRROR, CLAMP, MIRRORONCE) with point sampling over a
// 2-texel texture: black at u 0..0.5, white at u 0.5..1; the quad spans u -1..2.
TEST(D3D9Render, SamplerAddressModes) {
    D3DHarness h(12, 2);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = h.MakeTexture(2, 1, [](UINT x, UINT) { return x ? kWhite : kBlack; });
    PlainStates(d);
    d->SetTexture(0, tex);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        DWORD mode;
        const char* expected;  // per pixel: b black, w white
    };
    const Case cases[] = {
        {D3DTADDRESS_WRAP, "bbwwbbwwbbww"},
        {D3DTADDRESS_MIRROR, "wwbbbbwwwwbb"},
        {D3DTADDRESS_CLAMP, "bbbbbbwwwwww"},
        {D3DTADDRESS_MIRRORONCE, "wwbbbbwwwwww"},  // |u|, then clamped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        d->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        d->BeginScene();
        VertexRhwColorTex v[4] = {{-0.5f, 1.5f, 0, 1, kWhite, -1, 1}, {-0.5f, -0.5f, 0, 1, kWhite, -1, 0},
                                  {11.5f, 1.5f, 0, 1, kWhite, 2, 1},  {11.5f, -0.5f, 0, 1, kWhite, 2, 0}};
        d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
        d->EndScene();
        Image img = h.ReadBackBuffer();
        for (UINT x = 0; x < 12; ++x) EXPECT_TRUE(Probe(img, x, 0, c.expected[x] == 'w' ? kWhite : kBlack));
    }
    d->SetTexture(0, nullptr);
    tex->Release();
}

// Texture formats: what sampling a texel of each format gives.
TEST(D3D9Render, TextureFormatsSample) {
    D3DHarness h(4, 4, D3DFMT_A8R8G8B8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        D3DFORMAT format;
        std::vector<uint8_t> texel;  // memory bytes of one texel
        D3DCOLOR expected;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {0x30, 0x20, 0x10, 0x80}, 0x80102030},
        {D3DFMT_X8R8G8B8, {0x30, 0x20, 0x10, 0x00}, 0xff102030},
        {D3DFMT_R8G8B8, {0x30, 0x20, 0x10}, 0xff102030},
        {D3DFMT_R5G6B5, {0x00, 0xf8}, 0xffff0000},         // red only
        {D3DFMT_A1R5G5B5, {0x1f, 0x00}, 0x000000ff},       // blue, alpha bit clear
        {D3DFMT_A1R5G5B5, {0xe0, 0x83}, 0xff00ff00},       // green, alpha bit set
        {D3DFMT_A8, {0x40}, 0x40000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(d->CreateTexture(1, 1, 1, 0, c.format, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
        EXPECT_EQ(static_cast<size_t>(locked.Pitch), c.texel.size());
        std::memcpy(locked.pBits, c.texel.data(), c.texel.size());
        tex->UnlockRect(0);
        d->SetTexture(0, tex);
        d->BeginScene();
        DrawColorQuad(h, 0, 0, 4, 4, kWhite);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 1, 1, c.expected, 4, false));
        d->SetTexture(0, nullptr);
        // The next lock reads the level back from GL: the bytes as they were
        // written, the unused X byte of X8R8G8B8 included.
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(locked.pBits),
                                       static_cast<const uint8_t*>(locked.pBits) + c.texel.size()),
                  c.texel);
        tex->UnlockRect(0);
        tex->Release();
    }
}

// With LIGHTING at its default (TRUE), no light and a zero ambient, lit
// geometry is black; screen-space vertices are never lit.
TEST(D3D9Render, DefaultLightingDarkensTransformedVertices) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    VertexXyzColor v[4] = {{-1, -1, 0.5f, kRed}, {-1, 1, 0.5f, kRed}, {1, -1, 0.5f, kRed}, {1, 1, 0.5f, kRed}};
    d->BeginScene();
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
    d->EndScene();
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, kBlack));
    d->SetRenderState(D3DRS_AMBIENT, 0xff808080);
    d->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
    d->BeginScene();
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0]));
    d->EndScene();
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xff800000, 2));
}

// One directional light on a quad facing it: diffuse = light x material x N.L.
TEST(D3D9Render, DirectionalLightDiffuse) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATERIAL9 m{};
    m.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    d->SetMaterial(&m);
    D3DLIGHT9 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    const float s = std::sqrt(0.5f);
    l.Direction = {0.0f, -s, s};  // 45 degrees onto a quad whose normal is -z: N.L = cos 45
    d->SetLight(0, &l);
    d->LightEnable(0, TRUE);
    struct V {
        float x, y, z, nx, ny, nz;
    } v[4] = {{-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}};
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    d->BeginScene();
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])), D3D_OK);
    d->EndScene();
    // 0.7071 x (255, 127.5, 63.75) = (180, 90, 45).
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xffb45a2d, 2));
}

TEST(D3D9Render, DepthTestWithAutomaticDepthSurface) {
    D3DHarness h(8, 8, D3DFMT_X8R8G8B8, true);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    DWORD z = 0;
    d->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, static_cast<DWORD>(D3DZB_TRUE));  // the default with an automatic depth surface
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), D3D_OK);
    auto quad = [&](float depth, D3DCOLOR c) {
        auto v = ScreenQuad(0, 0, 8, 8, c);
        for (auto& p : v) p.z = depth;
        d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), sizeof(v[0]));
    };
    d->BeginScene();
    quad(0.25f, kGreen);
    quad(0.75f, kRed);  // behind: hidden
    d->EndScene();
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, kGreen));
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->BeginScene();
    quad(0.75f, kRed);
    d->EndScene();
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, kRed));
}

// Indexed drawing of a sprite-like batch: 16-bit indices, base vertex 0.
TEST(D3D9Render, IndexedTriangleList) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    std::vector<VertexRhwColor> v;
    for (int q = 0; q < 2; ++q) {
        const float x0 = q * 4 - 0.5f, x1 = x0 + 4, y0 = -0.5f, y1 = 7.5f;
        const D3DCOLOR c = q ? kGreen : kRed;
        v.push_back({x0, y1, 0, 1, c});
        v.push_back({x0, y0, 0, 1, c});
        v.push_back({x1, y1, 0, 1, c});
        v.push_back({x1, y0, 0, 1, c});
    }
    IDirect3DVertexBuffer9* vb = h.MakeBuffer(v, D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(d->CreateIndexBuffer(24, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    WORD* idx = nullptr;
    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    for (WORD q = 0; q < 2; ++q) {
        const WORD b = q * 4;
        const WORD quad[6] = {b, static_cast<WORD>(b + 1), static_cast<WORD>(b + 2), static_cast<WORD>(b + 2),
                              static_cast<WORD>(b + 1), static_cast<WORD>(b + 3)};
        std::memcpy(idx + q * 6, quad, sizeof(quad));
    }
    ib->Unlock();
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    d->SetStreamSource(0, vb, 0, sizeof(VertexRhwColor));
    d->SetIndices(ib);
    d->BeginScene();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 4), D3D_OK);
    // Past the end of the index buffer: refused.
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 6, 4), D3DERR_INVALIDCALL);
    // A base vertex that makes indices point past the vertices: refused.
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 8, 0, 4), D3DERR_INVALIDCALL);
    d->EndScene();
    Image img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 1, 4, kRed));
    EXPECT_TRUE(Probe(img, 6, 4, kGreen));
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

}  // namespace

namespace {

// Alpha test: a fragment is kept when its alpha (0..255) passes ALPHAFUNC
// against ALPHAREF.
TEST(D3D9Render, AlphaTest) {
    D3DHarness h(4, 4);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAREF, 0x80);
    struct Case {
        DWORD func;
        D3DCOLOR color;
        bool kept;
    };
    const Case cases[] = {
        {D3DCMP_GREATER, 0x81ff0000, true},      {D3DCMP_GREATER, 0x80ff0000, false},
        {D3DCMP_GREATEREQUAL, 0x80ff0000, true}, {D3DCMP_LESS, 0x7fff0000, true},
        {D3DCMP_LESS, 0x80ff0000, false},        {D3DCMP_EQUAL, 0x80ff0000, true},
        {D3DCMP_NEVER, 0xffff0000, false},       {D3DCMP_ALWAYS, 0x00ff0000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "func " << c.func << " colour " << std::hex << c.color);
        d->SetRenderState(D3DRS_ALPHAFUNC, c.func);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        d->BeginScene();
        DrawColorQuad(h, 0, 0, 4, 4, c.color);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 2, 2, c.kept ? kRed : kBlack));
    }
}

// Back buffers in each format the host may ask for clear and read back.
TEST(D3D9Render, BackBufferFormats) {
    const D3DFORMAT formats[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
    for (D3DFORMAT f : formats) {
        SCOPED_TRACE(f);
        D3DHarness h(4, 4, f);
        ASSERT_TRUE(h.ok());
        h.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffff0000, 1.0f, 0);
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 1, 1, 0xffff0000, 8));
    }
}

// Flat shading takes the colour of a triangle's first vertex.
TEST(D3D9Render, FlatShadingUsesTheFirstVertex) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    DiffuseOnly(d);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    VertexRhwColor v[3] = {{-0.5f, -0.5f, 0, 1, kRed}, {15.5f, -0.5f, 0, 1, kGreen}, {-0.5f, 15.5f, 0, 1, kBlue}};
    d->BeginScene();
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(v[0]));
    d->EndScene();
    Image img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 1, 1, kRed));
    EXPECT_TRUE(Probe(img, 5, 1, kRed));
    EXPECT_TRUE(Probe(img, 1, 5, kRed));
}

}  // namespace

namespace {

// An 8x1 texture of eight distinct colours: texel x is red 32 x.
D3DCOLOR Ramp(UINT x, UINT) { return D3DCOLOR_ARGB(255, x * 32, 0, 0x40); }

// Bump environment mapping: stage 0's V8U8 texel (du, dv) moves stage 1's
// lookup by M (du, dv).  du = 64 / 127 and M00 = 0.25 move it by 1/8: one
// texel of the ramp.
TEST(D3D9Render, BumpEnvironmentMapShiftsTheNextLookup) {
    D3DHarness h(8, 1);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    IDirect3DTexture9* bump = nullptr;
    ASSERT_EQ(d->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    bump->LockRect(0, &locked, nullptr, 0);
    const int8_t duv[2] = {64, 0};
    std::memcpy(locked.pBits, duv, 2);
    bump->UnlockRect(0);
    IDirect3DTexture9* ramp = h.MakeTexture(8, 1, Ramp);
    d->SetTexture(0, bump);
    d->SetTexture(1, ramp);
    d->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    struct Case {
        float m00, m01, m10, m11;
        int shift;  // texels
    };
    const Case cases[] = {{0, 0, 0, 0, 0}, {0.25f, 0, 0, 0, 1}, {0.5f, 0, 0, 0, 2}, {-0.25f, 0, 0, 0, -1},
                          {0, 0, 0.25f, 0, 0}};  // M10 scales dv, which is 0 here
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "M00 " << c.m00 << " M10 " << c.m10);
        const float m[4] = {c.m00, c.m01, c.m10, c.m11};
        for (int k = 0; k < 4; ++k)
            d->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(D3DTSS_BUMPENVMAT00 + k),
                                    tessaloom::d3d9::FloatBits(m[k]));
        d->BeginScene();
        DrawColorQuad(h, 0, 0, 8, 1, kWhite);
        d->EndScene();
        Image img = h.ReadBackBuffer();
        for (int x = 0; x < 8; ++x) {
            const int texel = std::clamp(x + c.shift, 0, 7);
            EXPECT_TRUE(Probe(img, x, 0, Ramp(texel, 0), 1));
        }
    }
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    bump->Release();
    ramp->Release();
}

// The lake's stages: a Q8W8V8U8 bump map read from a DDS file (D3DX keeps
// the format) on stage 0, from coordinate set 0 of XYZ | TEX2 vertices; its
// (du, dv) moves stage 1's lookup of the ramp by one texel.  Stage 1 reads
// either coordinate set 1 (u from 1 to 2) or camera-space positions through
// a COUNT2 texture transform (u = 0.5 x + 1.5); sampler 1 wraps, so the
// shifted lookup past the last texel comes round to the first.
TEST(D3D9Render, BumpFromADdsFileMovesTheNextStagesSetOrCameraSpaceLookup) {
    D3DHarness h(8, 1);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    const BYTE texel[4] = {64, 0, 127, 127};  // U, V, W, Q
    std::vector<BYTE> file;
    ASSERT_EQ(tessaloom::d3dx::EncodeDds(1, 1, D3DFMT_Q8W8V8U8, {{texel, 4}}, &file), S_OK);
    IDirect3DTexture9* bump = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(d, file.data(), static_cast<UINT>(file.size()), &bump), D3D_OK);
    D3DSURFACE_DESC desc{};
    bump->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_Q8W8V8U8);
    IDirect3DTexture9* ramp = h.MakeTexture(8, 1, Ramp);
    d->SetTexture(0, bump);
    d->SetTexture(1, ramp);
    d->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    struct V {
        float x, y, z, u0, v0, u1, v1;
    };
    const V quad[4] = {{-1, -1, 0, 0, 0, 1, 0.5f}, {-1, 1, 0, 0, 0, 1, 0.5f}, {1, -1, 0, 0, 0, 2, 0.5f}, {1, 1, 0, 0, 0, 2, 0.5f}};
    IDirect3DVertexBuffer9* buffer = h.MakeBuffer(std::vector<V>(quad, quad + 4), D3DFVF_XYZ | D3DFVF_TEX2);
    ASSERT_NE(buffer, nullptr);
    D3DMATRIX texture{};  // camera-space x from -1 to 1 onto u from 1 to 2
    texture._11 = 0.5f;
    texture._41 = 1.5f;
    texture._42 = 0.5f;
    texture._33 = texture._44 = 1;
    d->SetTransform(D3DTS_TEXTURE1, &texture);
    for (bool cameraSpace : {false, true}) {
        for (float m00 : {0.0f, 0.25f}) {
            SCOPED_TRACE(::testing::Message() << "camera space " << cameraSpace << " M00 " << m00);
            d->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, tessaloom::d3d9::FloatBits(m00));
            d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, cameraSpace ? D3DTSS_TCI_CAMERASPACEPOSITION | 1 : 1);
            d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, cameraSpace ? D3DTTFF_COUNT2 : D3DTTFF_DISABLE);
            d->BeginScene();
            d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX2);
            d->SetStreamSource(0, buffer, 0, sizeof(V));
            EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
            d->EndScene();
            const Image img = h.ReadBackBuffer();
            const int shift = m00 != 0.0f ? 1 : 0;
            for (int x = 0; x < 8; ++x) EXPECT_TRUE(Probe(img, x, 0, Ramp((x + shift) % 8, 0), 1)) << x;
        }
    }
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    buffer->Release();
    bump->Release();
    ramp->Release();
}

// Camera-space positions as texture coordinates, through a texture
// transform (COUNT2): u = 0.5 x + 0.5 + t, v = -0.5 y + 0.5 over a quad
// filling the screen; a 2-texel texture, black on the left, white on the right.
TEST(D3D9Render, CameraSpaceTexgenWithTextureTransform) {
    D3DHarness h(8, 2);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    IDirect3DTexture9* tex = h.MakeTexture(2, 1, [](UINT x, UINT) { return x ? kWhite : kBlack; });
    d->SetTexture(0, tex);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION | 1);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3DMATRIX view{};  // camera space: the quad sits 5 units ahead
    view._11 = view._22 = view._33 = view._44 = 1;
    view._43 = 5;
    D3DMATRIX proj{};  // orthographic, depth 0..10
    proj._11 = proj._22 = 1;
    proj._33 = 0.1f;
    proj._44 = 1;
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &proj);
    VertexXyzTex v[4] = {{-1, -1, 0, 9, 9}, {-1, 1, 0, 9, 9}, {1, -1, 0, 9, 9}, {1, 1, 0, 9, 9}};  // given uv unused
    for (float t : {0.0f, 0.5f}) {
        SCOPED_TRACE(t);
        D3DMATRIX m{};
        m._11 = 0.5f;
        m._22 = -0.5f;
        m._41 = 0.5f + t;
        m._42 = 0.5f;
        m._33 = m._44 = 1;
        d->SetTransform(D3DTS_TEXTURE0, &m);
        d->BeginScene();
        d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])), D3D_OK);
        d->EndScene();
        Image img = h.ReadBackBuffer();
        // t = 0: left half black, right half white; t = 0.5 (wrapping): the reverse.
        EXPECT_TRUE(Probe(img, 1, 1, t == 0 ? kBlack : kWhite));
        EXPECT_TRUE(Probe(img, 6, 1, t == 0 ? kWhite : kBlack));
    }
    // Given 2D coordinates are transformed as (u, v, 1, 0): a translation in
    // the third row moves them.
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    D3DMATRIX shift{};
    shift._11 = shift._22 = shift._33 = shift._44 = 1;
    shift._31 = 0.5f;
    d->SetTransform(D3DTS_TEXTURE0, &shift);
    VertexXyzTex uv[4] = {{-1, -1, 0, 0, 1}, {-1, 1, 0, 0, 0}, {1, -1, 0, 1, 1}, {1, 1, 0, 1, 0}};
    d->BeginScene();
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, uv, sizeof(uv[0])), D3D_OK);
    d->EndScene();
    Image img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 1, 1, kWhite));
    EXPECT_TRUE(Probe(img, 6, 1, kBlack));
    d->SetTexture(0, nullptr);
    tex->Release();
}

}  // namespace

namespace {

// Specular highlights of one directional light with a distant viewer:
// H = norm((0, 0, -1) + L), specular = light x material x (N.H)^power.
TEST(D3D9Render, DirectionalLightSpecular) {
    D3DHarness h(4, 4);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    d->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    D3DMATERIAL9 m{};
    m.Diffuse = {0, 0, 0, 1};
    m.Specular = {0.5f, 0.5f, 0.5f, 0};
    m.Power = 10;
    d->SetMaterial(&m);
    struct V {
        float x, y, z, nx, ny, nz;
    } v[4] = {{-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}};
    const float s = std::sqrt(0.5f);
    struct Case {
        D3DVECTOR direction;
        BYTE expected;  // grey level
    };
    // Straight on: N.H = 1, 0.5 x 255.  At 45 degrees: N.H = cos 22.5, (0.9239)^10 x 0.5 x 255 = 57.7.
    const Case cases[] = {{{0, 0, 1}, 128}, {{0, -s, s}, 58}};
    for (const Case& c : cases) {
        D3DLIGHT9 l{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Specular = {1, 1, 1, 1};
        l.Direction = c.direction;
        d->SetLight(0, &l);
        d->LightEnable(0, TRUE);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0);
        d->BeginScene();
        d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])), D3D_OK);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 2, 2, D3DCOLOR_XRGB(c.expected, c.expected, c.expected), 2));
    }
}

}  // namespace

namespace {

// A DXT1 block (colour 0 red, every index 0) samples as red; locks hand out
// rows of blocks.
TEST(D3D9Render, CompressedTextureSamples) {
    D3DHarness h(4, 4);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(d->CreateTexture(8, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 16);  // two 8-byte blocks across
    const uint8_t block[8] = {0x00, 0xf8, 0x00, 0x00, 0, 0, 0, 0};
    std::memcpy(locked.pBits, block, 8);
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + 8, block, 8);
    tex->UnlockRect(0);
    PlainStates(d);
    d->SetTexture(0, tex);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->BeginScene();
    DrawColorQuad(h, 0, 0, 4, 4, kWhite);
    d->EndScene();
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 2, 2, kRed));
    d->SetTexture(0, nullptr);
    tex->Release();
}

}  // namespace

namespace {

// GL reuses the names of deleted objects: a texture and an index buffer made
// after others were released must still be the ones drawn with.
TEST(D3D9Render, ObjectsMadeAfterReleasesDrawTheirOwnData) {
    D3DHarness h(4, 4);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    PlainStates(d);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    auto quad = ScreenQuad(0, 0, 4, 4);
    IDirect3DVertexBuffer9* vb = h.MakeBuffer(quad, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    d->SetStreamSource(0, vb, 0, sizeof(quad[0]));
    auto makeIndices = [&] {
        IDirect3DIndexBuffer9* ib = nullptr;
        d->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
        WORD* p = nullptr;
        ib->Lock(0, 0, reinterpret_cast<void**>(&p), 0);
        const WORD idx[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(p, idx, sizeof(idx));
        ib->Unlock();
        return ib;
    };
    for (D3DCOLOR c : {kRed, kGreen, kBlue}) {
        SCOPED_TRACE(c);
        IDirect3DTexture9* tex = h.MakeTexture(1, 1, [&](UINT, UINT) { return c; });
        IDirect3DIndexBuffer9* ib = makeIndices();
        d->SetTexture(0, tex);
        d->SetIndices(ib);
        d->BeginScene();
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        d->EndScene();
        EXPECT_TRUE(Probe(h.ReadBackBuffer(), 2, 2, c));
        d->SetTexture(0, nullptr);
        d->SetIndices(nullptr);
        tex->Release();
        ib->Release();
    }
    d->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

}  // namespace
