// Pixels drawn through the Direct3D stand-in, read back and probed.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/platform/d3d_harness.h"

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
