// The stand-in's stages as the glass ball drives them, read back and probed:
// V16U16 slopes written through LockRect and drawn through BUMPENVMAP, the
// next stage's camera-space coordinates through a texture transform with
// the bump offset added after it (XYZ | TEX2 vertices, stride 28), and
// sampler 0 with a linear mip filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/d3d9/state.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::d3d9::FloatBits;
using tessaloom::testing::D3DHarness;
using tessaloom::testing::DrawScreenQuad;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;
using tessaloom::testing::ScreenQuad;

// An 8 x 8 texture whose texel (x, y) has red 32 x and green 32 y: each
// texel tells where it was sampled.
D3DCOLOR Grid(UINT x, UINT y) { return D3DCOLOR_ARGB(255, x * 32, y * 32, 0x40); }

// A V16U16 texture of w x h from (U, V) pairs in row order, written row by
// row at the locked pitch: U in the low word, V in the high word.
IDirect3DTexture9* MakeSlopes(IDirect3DDevice9* d, UINT w, UINT h, const std::vector<std::pair<int16_t, int16_t>>& uv) {
    IDirect3DTexture9* t = nullptr;
    if (FAILED(d->CreateTexture(w, h, 1, 0, D3DFMT_V16U16, D3DPOOL_MANAGED, &t, nullptr))) return nullptr;
    D3DLOCKED_RECT locked{};
    if (FAILED(t->LockRect(0, &locked, nullptr, 0))) {
        t->Release();
        return nullptr;
    }
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) {
            const auto [u, v] = uv[y * w + x];
            const uint32_t texel = static_cast<uint16_t>(u) | (static_cast<uint32_t>(static_cast<uint16_t>(v)) << 16);
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &texel, 4);
        }
    t->UnlockRect(0);
    return t;
}

void SetBumpMatrix(IDirect3DDevice9* d, float m00, float m01, float m10, float m11) {
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, FloatBits(m00));
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT01, FloatBits(m01));
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT10, FloatBits(m10));
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT11, FloatBits(m11));
}

// Stage 0 bumps, stage 1 shows its texture; both alpha operations disabled
// beside their colour operations, so the vertex alpha passes through.
void BumpStages(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    for (DWORD s = 0; s < 2; ++s) {
        d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        d->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        d->SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
}

// A 2 x 2 slope map, one slope a quadrant, written at the locked pitch:
// 16384 / 32767 (about 0.5) times 0.25 moves the next lookup by 1/8, one
// texel of the grid.  Top left +U: one texel right; top right none; bottom
// left +V: one down; bottom right -U: one left.  With M01 the U slope moves
// the lookup along v instead.
TEST(D3D9BumpStages, V16U16SlopesMoveTheNextLookup) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    BumpStages(d);
    IDirect3DTexture9* slopes = MakeSlopes(d, 2, 2, {{16384, 0}, {0, 0}, {0, 16384}, {-16384, 0}});
    ASSERT_NE(slopes, nullptr);
    IDirect3DTexture9* grid = h.MakeTexture(8, 8, Grid);
    d->SetTexture(0, slopes);
    d->SetTexture(1, grid);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    struct Case {
        float m00, m01, m10, m11;
        int shift[4][2];  // per quadrant (TL, TR, BL, BR): texels in x and y
    } cases[] = {
        {0.25f, 0, 0, 0.25f, {{1, 0}, {0, 0}, {0, 1}, {-1, 0}}},
        {0, 0.25f, 0, 0, {{0, 1}, {0, 0}, {0, 0}, {0, -1}}},
    };
    const auto quad = ScreenQuad(0, 0, 8, 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "M00 " << c.m00 << " M01 " << c.m01);
        SetBumpMatrix(d, c.m00, c.m01, c.m10, c.m11);
        d->BeginScene();
        ASSERT_TRUE(DrawScreenQuad(d, quad));
        d->EndScene();
        const Image img = h.ReadBackBuffer();
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int q = (y >= 4 ? 2 : 0) + (x >= 4 ? 1 : 0);
                const UINT tx = static_cast<UINT>(std::clamp(x + c.shift[q][0], 0, 7));
                const UINT ty = static_cast<UINT>(std::clamp(y + c.shift[q][1], 0, 7));
                ASSERT_TRUE(Probe(img, x, y, Grid(tx, ty), 1));
            }
    }
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    slopes->Release();
    grid->Release();
}

// The glass ball's second stage: coordinates from the camera-space position
// (TCI_CAMERASPACEPOSITION | 1), a COUNT2 transform u = 0.5 x + 0.5,
// v = -0.5 y + 0.5 over a quad filling the view, and the first stage's
// bump offset added to the transformed coordinates.  The vertices are
// XYZ | TEX2 with stride 28; the second set is never read.  Blending with
// the source alpha shows the vertex alpha (1) passed through both stages.
TEST(D3D9BumpStages, CameraSpaceTransformAfterABumpStage) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    BumpStages(d);
    IDirect3DTexture9* grid = h.MakeTexture(8, 8, Grid);
    d->SetTexture(1, grid);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION | 1);
    d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3DMATRIX view{};  // camera space: the quad 5 units ahead
    view._11 = view._22 = view._33 = view._44 = 1;
    view._43 = 5;
    D3DMATRIX proj{};  // orthographic, depth 0..10
    proj._11 = proj._22 = 1;
    proj._33 = 0.1f;
    proj._44 = 1;
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATRIX m{};
    m._11 = 0.5f;
    m._22 = -0.5f;
    m._41 = 0.5f;
    m._42 = 0.5f;
    m._33 = m._44 = 1;
    d->SetTransform(D3DTS_TEXTURE1, &m);
    SetBumpMatrix(d, 0.25f, 0, 0, 0.25f);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    struct Vertex {
        float x, y, z, u, v, u2, v2;
    };
    static_assert(sizeof(Vertex) == 28);
    const std::vector<Vertex> v = {{-1, -1, 0, 0, 1, 9, 9}, {-1, 1, 0, 0, 0, 9, 9}, {1, -1, 0, 1, 1, 9, 9},
                                   {1, 1, 0, 1, 0, 9, 9}};
    IDirect3DVertexBuffer9* buffer = h.MakeBuffer(v, D3DFVF_XYZ | D3DFVF_TEX2);
    ASSERT_NE(buffer, nullptr);
    for (int16_t du : {int16_t{0}, int16_t{16384}}) {
        SCOPED_TRACE(du);
        IDirect3DTexture9* slopes = MakeSlopes(d, 1, 1, {{du, 0}});
        ASSERT_NE(slopes, nullptr);
        d->SetTexture(0, slopes);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000u, 1.0f, 0);
        d->BeginScene();
        d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX2);
        d->SetStreamSource(0, buffer, 0, sizeof(Vertex));
        ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        d->EndScene();
        const Image img = h.ReadBackBuffer();
        const int shift = du ? 1 : 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_TRUE(Probe(img, x, y, Grid(static_cast<UINT>(std::min(x + shift, 7)), static_cast<UINT>(y)), 1));
        d->SetTexture(0, nullptr);
        slopes->Release();
    }
    d->SetTexture(1, nullptr);
    buffer->Release();
    grid->Release();
}

// Sampler 0 with a linear mip filter: an 8 x 8 texture of three levels (red,
// green, blue) drawn on 4 x 4 pixels is read at level 1; a LOD bias of 0.5
// puts the read half way to level 2, which the linear mip filter blends.
// Without a mip filter only level 0 is read.
TEST(D3D9BumpStages, SamplerZeroLinearMipFilter) {
    D3DHarness h(4, 4);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(d->CreateTexture(8, 8, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    const D3DCOLOR colours[3] = {0xffff0000u, 0xff00ff00u, 0xff0000ffu};
    for (UINT level = 0; level < 3; ++level) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
        const UINT n = 8u >> level;
        for (UINT y = 0; y < n; ++y)
            for (UINT x = 0; x < n; ++x)
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &colours[level], 4);
        t->UnlockRect(level);
    }
    d->SetTexture(0, t);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    struct Case {
        DWORD mip;
        float bias;
        D3DCOLOR expected;
    } cases[] = {
        {D3DTEXF_LINEAR, 0.0f, 0xff00ff00u},
        {D3DTEXF_LINEAR, 0.5f, 0xff008080u},
        {D3DTEXF_NONE, 0.5f, 0xffff0000u},
    };
    const auto quad = ScreenQuad(0, 0, 4, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mip filter " << c.mip << " bias " << c.bias);
        d->SetSamplerState(0, D3DSAMP_MIPFILTER, c.mip);
        d->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, FloatBits(c.bias));
        d->BeginScene();
        ASSERT_TRUE(DrawScreenQuad(d, quad));
        d->EndScene();
        const Image img = h.ReadBackBuffer();
        EXPECT_TRUE(Probe(img, 1, 2, c.expected, 6));
    }
    d->SetTexture(0, nullptr);
    t->Release();
}

}  // namespace
