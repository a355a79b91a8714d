// What a lit, refracting water surface needs of the Direct3D stand-in, drawn
// and probed: lit vertices with a diffuse colour (position, normal, diffuse,
// one texture set: FVF 0x152, stride 36) whose colour replaces the
// material's; the local viewer's specular; normals under a non-uniform scale
// left unnormalised; the specular sum after the texture stages; default-pool
// index and dynamic vertex buffers (locked every frame, and holding off a
// Reset while they live); and indexed triangle strips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::DirectionalLight;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;

struct LitVertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(kLitFvf == 0x152 && sizeof(LitVertex) == 36);

// A quad over the whole target at depth 0.5, facing the viewer (normal -z).
void FullQuad(LitVertex (&v)[4], D3DCOLOR color) {
    const float corners[4][4] = {{-1, -1, 0, 1}, {-1, 1, 0, 0}, {1, -1, 1, 1}, {1, 1, 1, 0}};
    for (int i = 0; i < 4; ++i)
        v[i] = {corners[i][0], corners[i][1], 0.5f, 0, 0, -1, color, corners[i][2], corners[i][3]};
}

Image DrawQuad(D3DHarness& h, const LitVertex (&v)[4]) {
    IDirect3DDevice9* d = h.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ffu, 1.0f, 0);
    d->BeginScene();
    d->SetFVF(kLitFvf);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
    d->EndScene();
    return h.ReadBackBuffer();
}

// The vertex colour is the material's diffuse colour with COLORVERTEX on and
// the diffuse source COLOR1 (the defaults); with COLORVERTEX off, or the
// source MATERIAL, the material's own.  Lit by a light straight on, N.L = 1.
TEST(D3D9LitSurface, VertexDiffuseReplacesTheMaterialsWithColorVertex) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATERIAL9 m{};
    m.Diffuse = {0.0f, 1.0f, 0.0f, 1.0f};  // green
    d->SetMaterial(&m);
    DirectionalLight(d, {0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0});
    LitVertex v[4];
    FullQuad(v, 0xffff0000u);  // red
    struct Case {
        DWORD colorVertex, source;
        D3DCOLOR expected;
    };
    const Case cases[] = {{TRUE, D3DMCS_COLOR1, 0xffff0000u}, {FALSE, D3DMCS_COLOR1, 0xff00ff00u},
                          {TRUE, D3DMCS_MATERIAL, 0xff00ff00u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.colorVertex * 10 + c.source);
        d->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
        d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.source);
        EXPECT_TRUE(Probe(DrawQuad(h, v), 4, 4, c.expected, 2));
    }
}

// With the local viewer (the default) the half vector follows the direction
// from each vertex to the eye; without it the eye is taken at infinity on -z.
// Normal -z, light along +z, material specular 0.5, power 10, vertices at
// y = -1 and 1, z = 0.5.  At x = -0.875: N.H = 1.3522 / 1.6445 = 0.8222,
// ^10 = 0.1413, x 127.5 = 18; at x = 0.125: N.H = 1.4444 / 1.6997 = 0.8498,
// ^10 = 0.1965, 25.  At infinity N.H = 1 everywhere: 128.
TEST(D3D9LitSurface, LocalViewerSpecularFollowsTheEyeDirection) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    D3DMATERIAL9 m{};
    m.Specular = {0.5f, 0.5f, 0.5f, 0};
    m.Power = 10;
    d->SetMaterial(&m);
    DirectionalLight(d, {0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1});
    // Only vertices are lit: columns of vertices stand on the probed pixels'
    // centres (pixel 0 at x = -0.875, pixel 4 at x = 0.125).
    LitVertex strip[8];
    const float xs[4] = {-1.0f, -0.875f, 0.125f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        strip[2 * i] = {xs[i], -1, 0.5f, 0, 0, -1, 0xff000000u, 0, 0};
        strip[2 * i + 1] = {xs[i], 1, 0.5f, 0, 0, -1, 0xff000000u, 0, 0};
    }
    auto draw = [&] {
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ffu, 1.0f, 0);
        d->BeginScene();
        d->SetFVF(kLitFvf);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 6, strip, sizeof(LitVertex)), D3D_OK);
        d->EndScene();
        return h.ReadBackBuffer();
    };
    DWORD local = FALSE;
    d->GetRenderState(D3DRS_LOCALVIEWER, &local);
    EXPECT_EQ(local, static_cast<DWORD>(TRUE)) << "the local viewer is the default";
    const Image near = draw();
    EXPECT_TRUE(Probe(near, 0, 4, 0xff121212u, 3));
    EXPECT_TRUE(Probe(near, 4, 4, 0xff191919u, 3));
    d->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    const Image infinite = draw();
    EXPECT_TRUE(Probe(infinite, 0, 4, 0xff808080u, 2));
    EXPECT_TRUE(Probe(infinite, 4, 4, 0xff808080u, 2));
}

// A world scale of 2 in z makes the inverse transpose halve the normal's z;
// with NORMALIZENORMALS off (the default) the diffuse term halves with it.
TEST(D3D9LitSurface, NormalsUnderANonUniformScaleStayUnnormalised) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATERIAL9 m{};
    m.Diffuse = {1, 1, 1, 1};
    d->SetMaterial(&m);
    d->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    DirectionalLight(d, {0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0});
    D3DMATRIX world{};
    world._11 = 1, world._22 = 1, world._33 = 2, world._44 = 1;
    world._43 = -0.5f;  // z 0.5 stays at 0.5 after the scale
    d->SetTransform(D3DTS_WORLD, &world);
    LitVertex v[4];
    FullQuad(v, 0xff000000u);
    EXPECT_TRUE(Probe(DrawQuad(h, v), 4, 4, 0xff808080u, 2)) << "N.L = 0.5";
    d->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    EXPECT_TRUE(Probe(DrawQuad(h, v), 4, 4, 0xffffffffu, 2)) << "N.L = 1";
}

// The specular colour is added after the last texture stage: a blue texture
// modulated by a black diffuse colour gives black, and the specular grey
// still shows on it.
TEST(D3D9LitSurface, SpecularIsAddedAfterTheTextureStages) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    d->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    D3DMATERIAL9 m{};
    m.Specular = {0.5f, 0.5f, 0.5f, 0};
    m.Power = 10;
    d->SetMaterial(&m);
    DirectionalLight(d, {0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1});
    IDirect3DTexture9* blue = h.MakeTexture(2, 2, [](UINT, UINT) { return 0xff0000ffu; });
    d->SetTexture(0, blue);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    LitVertex v[4];
    FullQuad(v, 0xff000000u);
    EXPECT_TRUE(Probe(DrawQuad(h, v), 4, 4, 0xff808080u, 2));
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    EXPECT_TRUE(Probe(DrawQuad(h, v), 4, 4, 0xff8080ffu, 2)) << "the texture, then the specular on top";
    d->SetTexture(0, nullptr);
    blue->Release();
}

// A default-pool index buffer and a dynamic default-pool vertex buffer: an
// indexed triangle strip over them, the vertices locked and rewritten for
// every frame, and Reset refused until both are released.
TEST(D3D9LitSurface, DefaultPoolBuffersDrawIndexedStripsAndHoldOffReset) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(d->CreateIndexBuffer(6 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    ASSERT_EQ(d->CreateVertexBuffer(6 * sizeof(LitVertex), D3DUSAGE_DYNAMIC, kLitFvf, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    // Vertices 0-1 and 4-5 stand left and right; 2 and 3 lie off the
    // target and only a strip that skips them covers it.
    WORD* idx = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0), D3D_OK);
    const WORD order[6] = {0, 1, 4, 5, 5, 5};
    std::memcpy(idx, order, sizeof(order));
    ib->Unlock();
    d->SetFVF(kLitFvf);
    d->SetStreamSource(0, vb, 0, sizeof(LitVertex));
    d->SetIndices(ib);
    for (D3DCOLOR color : {0xffff0000u, 0xff00ff00u}) {
        LitVertex* v = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0), D3D_OK);
        const float pos[6][2] = {{-1, -1}, {-1, 1}, {5, 5}, {6, 6}, {1, -1}, {1, 1}};
        for (int i = 0; i < 6; ++i) v[i] = {pos[i][0], pos[i][1], 0.5f, 0, 0, -1, color, 0, 0};
        vb->Unlock();
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ffu, 1.0f, 0);
        d->BeginScene();
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, 6, 0, 2), D3D_OK);
        d->EndScene();
        const Image img = h.ReadBackBuffer();
        EXPECT_TRUE(Probe(img, 1, 1, color));
        EXPECT_TRUE(Probe(img, 6, 6, color));
    }
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    D3DPRESENT_PARAMETERS p = h.params;
    EXPECT_EQ(d->Reset(&p), D3DERR_INVALIDCALL) << "both buffers live";
    ib->Release();
    EXPECT_EQ(d->Reset(&p), D3DERR_INVALIDCALL) << "the vertex buffer lives";
    vb->Release();
    EXPECT_EQ(d->Reset(&p), D3D_OK);
}

}  // namespace
