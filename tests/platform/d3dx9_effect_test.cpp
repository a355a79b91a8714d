// ID3DXEffect on the device: passes with and without vertex code drawn and
// read back, device state around Begin/End, parameter values shared by the
// users of one effect, names that fail, and bad effect data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/d3dx9/effect.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Probe;
using tessaloom::testing::VertexXyzTex;

// A full-target quad (clip space with identity transforms), u, v = 0 at the top left.
const VertexXyzTex kQuad[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};

ID3DXEffect* Make(IDirect3DDevice9* device, const std::string& text, std::string* errors = nullptr) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* buffer = nullptr;
    HRESULT hr = tessaloom::d3dx9::CreateEffectNamed(device, text.data(), text.size(), "test.fx", &effect, &buffer);
    if (errors) *errors = buffer ? static_cast<const char*>(buffer->GetBufferPointer()) : "";
    if (buffer) buffer->Release();
    EXPECT_EQ(FAILED(hr), effect == nullptr);
    return effect;
}

// Every pass of the current technique over the quad, as the layers draw.
void DrawQuad(IDirect3DDevice9* d, ID3DXEffect* e, const VertexXyzTex* quad = kQuad) {
    d->BeginScene();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    for (UINT i = 0; i < passes; ++i) {
        ASSERT_EQ(e->BeginPass(i), D3D_OK);
        d->SetVertexShader(nullptr);
        d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(VertexXyzTex)), D3D_OK);
        e->EndPass();
    }
    e->End();
    d->EndScene();
}

// Fragment code only: the fixed-function vertex path places the quad and
// hands over the texture coordinates.  The left half of the texture is red,
// the right half green; "tint" scales the colour.
const char* kFragmentOnly = R"(
float  tint = 0.5;
float2 shift = {0, 0};
texture Picture;
technique Main {
    pass P0 {
        CullMode = None;
        AlphaBlendEnable = false;
        sampler Picture { AddressU = Clamp; AddressV = Clamp; MinFilter = Point; MagFilter = Point; }
        fragment """
            void main() {
                d3d_FragColor = vec4(texture(Picture, d3d_ffTexCoord0.xy + shift).rgb * tint, 1.0);
            }
        """
    }
}
technique Other {
    pass { fragment """ void main() { d3d_FragColor = vec4(0.0, 0.0, 1.0, 1.0); } """ }
}
)";

TEST(D3DXEffect, PassWithoutVertexCodeUsesTheFixedFunctionVertices) {
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = h.MakeTexture(2, 1, [](UINT x, UINT) { return x == 0 ? 0xffff0000u : 0xff00ff00u; });
    ID3DXEffect* e = Make(d, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->SetTexture("Picture", tex), D3D_OK);
    // World scaled to the middle half of the target: the device's transform applies.
    D3DMATRIX half{};
    half._11 = 0.5f, half._22 = 0.5f, half._33 = 1, half._44 = 1;
    d->SetTransform(D3DTS_WORLD, &half);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(d, e);
    auto img = h.ReadBackBuffer();
    img.WritePngIfAsked("effect_fragment_only");
    EXPECT_TRUE(Probe(img, 11, 16, 0xff800000));  // left half of the quad: red x default tint 0.5
    EXPECT_TRUE(Probe(img, 20, 16, 0xff008000));  // right half: green
    EXPECT_TRUE(Probe(img, 3, 16, 0xff000000));   // outside the scaled quad

    // The other technique, then back: names select techniques.
    ASSERT_EQ(e->SetTechnique("Other"), D3D_OK);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 16, 16, 0xff0000ff));
    d->SetTexture(0, nullptr);
    e->Release();
    tex->Release();
}

// Vertex and fragment code: the effect's own matrix places the quad, the
// device transforms reach the code under their fixed names.
const char* kVertexAndFragment = R"(
matrix WorldViewProj;
float4 Color = {0, 1, 0, 1};
technique Main {
    pass P0 {
        CullMode = None;
        vertex """
            out vec2 uv;
            void main() {
                gl_Position = vec4(d3d_Position.xyz, 1.0) * WorldViewProj * d3d_WorldViewProjection;
                uv = d3d_TexCoord0.xy;
            }
        """
        fragment """
            in vec2 uv;
            void main() { d3d_FragColor = uv.x < 0.5 ? Color : vec4(1.0, 0.0, 1.0, 1.0); }
        """
    }
}
)";

TEST(D3DXEffect, PassWithVertexCode) {
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    ID3DXEffect* e = Make(d, kVertexAndFragment);
    ASSERT_NE(e, nullptr);
    // The effect's matrix halves the quad, the device's world moves it right
    // by a quarter of the target (row vectors: scale first, then translate).
    D3DXMATRIX scale, move;
    D3DXMatrixScaling(&scale, 0.5f, 0.5f, 1.0f);
    D3DXMatrixTranslation(&move, 0.5f, 0.0f, 0.0f);
    ASSERT_EQ(e->SetMatrix("WorldViewProj", &scale), D3D_OK);
    d->SetTransform(D3DTS_WORLD, &move);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(d, e);
    auto img = h.ReadBackBuffer();
    img.WritePngIfAsked("effect_vertex_code");
    // The quad spans x 16..32 (clip -0 .. 1), y 8..24.
    EXPECT_TRUE(Probe(img, 19, 16, 0xff00ff00));  // its left half: Color
    EXPECT_TRUE(Probe(img, 28, 16, 0xffff00ff));  // its right half
    EXPECT_TRUE(Probe(img, 10, 16, 0xff000000));  // left of it
    EXPECT_TRUE(Probe(img, 20, 4, 0xff000000));   // above it
    e->Release();
}

// Vertex code alone: its colour and coordinates go through the device's
// texture stages (stage 0 by default: texture x diffuse).
TEST(D3DXEffect, PassWithOnlyVertexCodeFeedsTheTextureStages) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = h.MakeTexture(2, 1, [](UINT x, UINT) { return x == 0 ? 0xff808080u : 0xffffffffu; });
    ID3DXEffect* e = Make(d, R"(
        float4 Tint = {1, 0, 0, 1};
        technique Main { pass {
            CullMode = None;
            vertex """
                void main() {
                    gl_Position = vec4(d3d_Position.xyz, 1.0);
                    d3d_ffDiffuse = Tint;
                    d3d_ffTexCoord0 = vec4(d3d_TexCoord0.x * 0.5, 0.0, 0.0, 1.0);  // the left texel only
                }
            """
        } })");
    ASSERT_NE(e, nullptr);
    d->SetTexture(0, tex);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 8, 8, 0xff800000));
    d->SetTexture(0, nullptr);
    e->Release();
    tex->Release();
}

// Fragment code may read the coordinates of any stage, also one whose colour
// operation is disabled; pre-transformed vertices skip coordinate
// generation, as D3D9 does, instead of refusing the draw.
TEST(D3DXEffect, FragmentCodeReadsGeneratedCoordinatesOfAnyStage) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    ID3DXEffect* e = Make(d, R"(
        technique Main { pass { CullMode = None;
            fragment """ void main() { d3d_FragColor = vec4(d3d_ffTexCoord1.x * 0.5 + 0.5, d3d_ffTexCoord0.y, 0.0, 1.0); } """
        } })");
    ASSERT_NE(e, nullptr);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    DrawQuad(d, e);  // identity transforms: camera-space x runs -1 .. 1 across the target
    auto img = h.ReadBackBuffer();
    const int left = static_cast<int>((img.at(2, 8) >> 16) & 0xff), right = static_cast<int>((img.at(13, 8) >> 16) & 0xff);
    EXPECT_LT(left, 60);
    EXPECT_GT(right, 200);
    EXPECT_LT((img.at(8, 1) >> 8) & 0xff, 40u);   // v = 0 at the top
    EXPECT_GT((img.at(8, 14) >> 8) & 0xff, 215u);

    using tessaloom::testing::VertexRhwColorTex;
    const VertexRhwColorTex rhw[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xffffffff, 0, 1}, {15.5f, -0.5f, 0.5f, 1, 0xffffffff, 1, 1},
                                      {-0.5f, 15.5f, 0.5f, 1, 0xffffffff, 0, 1}, {15.5f, 15.5f, 0.5f, 1, 0xffffffff, 1, 1}};
    d->BeginScene();
    UINT passes = 0;
    e->Begin(&passes, 0);
    e->BeginPass(0);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, rhw, sizeof(rhw[0])), D3D_OK);
    e->EndPass();
    e->End();
    d->EndScene();
    // Stage 1 reads set 0 as given: u = 8.5 / 16 at pixel 8, so red = 0.5 + 0.5 u.
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 8, 8, 0xffc3ff00, 3));
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    e->Release();
}

// Vertex inputs the format lacks: diffuse reads opaque white, specular
// black, texture set 1 (0, 0, 0, 1).
TEST(D3DXEffect, MissingVertexInputsReadTheirDefaults) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    ID3DXEffect* e = Make(h.device, R"(
        technique Main { pass { CullMode = None;
            vertex """
                out vec4 c;
                void main() {
                    gl_Position = vec4(d3d_Position.xyz, 1.0);
                    c = vec4(d3d_Diffuse.r, d3d_Specular.g + d3d_TexCoord1.w * 0.5, d3d_TexCoord1.x, d3d_Diffuse.a);
                }
            """
            fragment """ in vec4 c; void main() { d3d_FragColor = c; } """
        } })");
    ASSERT_NE(e, nullptr);
    DrawQuad(h.device, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xffff8000, 2));
    e->Release();
}

// Two passes, each with its own code and states: the second adds green to
// the first's red.
TEST(D3DXEffect, PassesDrawInTurnWithTheirOwnStates) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    ID3DXEffect* e = Make(h.device, R"(
        technique Main {
            pass Red { CullMode = None; AlphaBlendEnable = false;
                fragment """ void main() { d3d_FragColor = vec4(1.0, 0.0, 0.0, 1.0); } """ }
            pass Green { CullMode = None; AlphaBlendEnable = true; SrcBlend = One; DestBlend = One;
                vertex """ void main() { gl_Position = vec4(d3d_Position.xyz, 1.0); } """
                fragment """ void main() { d3d_FragColor = vec4(0.0, 0.5, 0.0, 1.0); } """ }
        })");
    ASSERT_NE(e, nullptr);
    h.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(h.device, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xffff8000));
    DWORD blend = 1;
    h.device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(blend, 0u);
    e->Release();
}

TEST(D3DXEffect, BeginSavesTheStateTheEffectTouchesAndEndRestoresIt) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* before = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    IDirect3DTexture9* picture = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xff0000ffu; });
    ID3DXEffect* e = Make(d, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    e->SetTexture("Picture", picture);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetTexture(0, before);

    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    DWORD v = 0;
    d->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_NONE));
    d->GetSamplerState(0, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_CLAMP));
    IDirect3DBaseTexture9* bound = nullptr;
    d->GetTexture(0, &bound);
    EXPECT_EQ(bound, picture);
    if (bound) bound->Release();
    e->EndPass();
    e->End();

    d->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CW));
    d->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(TRUE));
    d->GetSamplerState(0, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_MIRROR));
    d->GetSamplerState(0, D3DSAMP_MAGFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
    d->GetTexture(0, &bound);
    EXPECT_EQ(bound, before);
    if (bound) bound->Release();

    // D3DXFX_DONOTSAVESTATE leaves the pass's states behind.
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    e->BeginPass(0);
    e->EndPass();
    e->End();
    d->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_NONE));

    // Calls out of order fail.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(e->BeginPass(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->End(), D3DERR_INVALIDCALL);
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(e->Begin(&passes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->BeginPass(1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->EndPass(), D3DERR_INVALIDCALL);
    e->End();
    ::testing::internal::GetCapturedStderr();

    d->SetTexture(0, nullptr);
    e->Release();
    before->Release();
    picture->Release();
}

TEST(D3DXEffect, ParameterDefaultsPersistBetweenUsers) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* white = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    ID3DXEffect* first = Make(d, kFragmentOnly);
    ASSERT_NE(first, nullptr);
    first->AddRef();
    ID3DXEffect* second = first;  // a second user of the cached effect

    float tint = 0;
    ASSERT_EQ(second->GetFloat("tint", &tint), D3D_OK);
    EXPECT_FLOAT_EQ(tint, 0.5f);  // the file's default

    first->SetTexture("Picture", white);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(d, second);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 8, 8, 0xff808080));  // default tint

    first->SetFloat("tint", 1.0f);
    DrawQuad(d, second);  // the second user draws with what the first set
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 8, 8, 0xffffffff));
    ASSERT_EQ(second->GetFloat("tint", &tint), D3D_OK);
    EXPECT_FLOAT_EQ(tint, 1.0f);

    // SetFloatArray fills from the first component and keeps the rest.
    const float x = 0.25f;
    EXPECT_EQ(first->SetFloatArray("shift", &x, 1), D3D_OK);
    float shift[2] = {};
    first->GetFloatArray("shift", shift, 2);
    EXPECT_FLOAT_EQ(shift[0], 0.25f);
    EXPECT_FLOAT_EQ(shift[1], 0.0f);

    d->SetTexture(0, nullptr);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(second->Release(), 0u);
    white->Release();
}

TEST(D3DXEffect, UnknownNamesAndWrongTypesFail) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    ID3DXEffect* e = Make(h.device, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    const float two[2] = {1, 2};
    const float three[3] = {1, 2, 3};
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    struct Case {
        const char* what;
        HRESULT result;
    };
    const Case cases[] = {
        {"unknown float", e->SetFloat("Tint", 1)},  // names are case-sensitive
        {"unknown array", e->SetFloatArray("Shift", two, 2)},
        {"too many floats", e->SetFloatArray("shift", three, 3)},
        {"float on a texture", e->SetFloat("Picture", 1)},
        {"texture on a float", e->SetTexture("tint", nullptr)},
        {"matrix on a float2", e->SetMatrix("shift", &m)},
        {"unknown texture", e->SetTexture("Mask", nullptr)},
        {"unknown technique", e->SetTechnique("MainFX")},
        {"null name", e->SetFloat(nullptr, 1)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, D3DERR_INVALIDCALL) << c.what;
    float tint = 0;
    e->GetFloat("tint", &tint);
    EXPECT_FLOAT_EQ(tint, 0.5f);  // nothing changed
    EXPECT_STREQ(e->GetCurrentTechnique(), "Main");
    D3DXVECTOR4 v(0.75f, 0.5f, 9, 9);
    EXPECT_EQ(e->SetVector("shift", &v), D3D_OK);
    float shift[2] = {};
    e->GetFloatArray("shift", shift, 2);
    EXPECT_FLOAT_EQ(shift[1], 0.5f);
    e->Release();
}

TEST(D3DXEffect, ChangesInsideAPassWaitForCommitChanges) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* white = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    ID3DXEffect* e = Make(d, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    e->SetTexture("Picture", white);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    d->BeginScene();
    UINT passes = 0;
    e->Begin(&passes, 0);
    e->BeginPass(0);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    e->SetFloat("tint", 1.0f);  // not committed: the left half keeps 0.5
    const VertexXyzTex left[4] = {{-1, 1, 0.5f, 0, 0}, {0, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {0, -1, 0.5f, 1, 1}};
    const VertexXyzTex right[4] = {{0, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {0, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(VertexXyzTex));
    e->CommitChanges();
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(VertexXyzTex));
    e->EndPass();
    e->End();
    d->EndScene();
    auto img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 4, 8, 0xff808080));
    EXPECT_TRUE(Probe(img, 12, 8, 0xffffffff));
    d->SetTexture(0, nullptr);
    e->Release();
    white->Release();
}

// A texture parameter that holds no texture reads (0, 0, 0, 1), whatever
// texture the stage had before.
TEST(D3DXEffect, SamplerWithoutTextureReadsBlack) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* white = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    ID3DXEffect* e = Make(d, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    e->SetFloat("tint", 1.0f);
    e->SetTexture("Picture", white);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xffffffff));
    e->SetTexture("Picture", nullptr);
    d->SetTexture(0, white);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xff000000));
    d->SetTexture(0, nullptr);
    e->Release();
    white->Release();
}

// The alpha test of the device applies to an effect's pixels too.
TEST(D3DXEffect, AlphaTestAppliesToEffectPixels) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    ID3DXEffect* e = Make(d, R"(
        float a = 0.25;
        technique Main { pass {
            AlphaTestEnable = true; AlphaFunc = Greater; AlphaRef = 0x80; CullMode = None;
            fragment """ void main() { d3d_FragColor = vec4(1.0, 1.0, 1.0, a); } """
        } })");
    ASSERT_NE(e, nullptr);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xff000000));  // alpha 64 fails "greater than 128"
    e->SetFloat("a", 0.75f);
    DrawQuad(d, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 4, 4, 0xffffffff));
    DWORD v = 1;
    d->GetRenderState(D3DRS_ALPHATESTENABLE, &v);
    EXPECT_EQ(v, 0u);  // restored at End
    e->Release();
}

TEST(D3DXEffect, BadEffectsFailWithTheirMessage) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    struct Case {
        const char* what;
        std::string text;
        std::string message;  // part of what stderr and the error buffer say
    };
    const Case cases[] = {
        {"syntax", "float a = 1;\ntechnique Main {\n  pass { ZEnabel = false; }\n}\n",
         "effect 'test.fx', line 3: pass: unknown render state 'ZEnabel'"},
        {"GLSL", "technique Main {\n  pass P0 {\n    fragment \"\"\"\n      void main() {\n        d3d_FragColor = heet;\n"
                 "      }\n    \"\"\"\n  }\n}\n",
         "effect 'test.fx', technique 'Main', pass 'P0', fragment code, line 5: "},
        {"vertex GLSL", "technique Main { pass P {\n vertex \"\"\"\n void main() { gl_Position = vec4(0.0) + nothing; }\n \"\"\" } }",
         "effect 'test.fx', technique 'Main', pass 'P', vertex code, line 3: "},
        {"compiled D3D effect", std::string("\x01\x09\xff\xfe\0\0\0\0", 8), "effect 'test.fx'"},
        {"no technique", "float a = 1;", "no technique"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        std::string errors;
        ID3DXEffect* e = Make(h.device, c.text, &errors);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(e, nullptr) << c.what;
        if (e) e->Release();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.what << ": " << errors;
    }
    // Through the D3DX entry point: a failure result and no effect.
    ID3DXEffect* e = reinterpret_cast<ID3DXEffect*>(1);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(FAILED(D3DXCreateEffect(h.device, "x", 1, nullptr, nullptr, 0, nullptr, &e, nullptr)));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(e, nullptr);
}

// Every demo effect builds on the device, and its first technique draws.
TEST(D3DXEffect, DemoEffectsBuildAndDraw) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects")) {
        if (entry.path().extension() != ".fx") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ID3DXEffect* e = nullptr;
        ASSERT_EQ(tessaloom::d3dx9::CreateEffectNamed(h.device, text.data(), text.size(), entry.path().filename().string(),
                                                      &e, nullptr),
                  D3D_OK)
            << entry.path();
        DrawQuad(h.device, e);
        for (DWORD s = 0; s < 8; ++s) h.device->SetTexture(s, nullptr);
        e->Release();
        ++count;
    }
    EXPECT_GE(count, 9);
    // After all those programs were deleted, a new effect (whose programs
    // may get their GL names) still draws with its own uniforms.
    IDirect3DTexture9* white = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    ID3DXEffect* e = Make(h.device, kFragmentOnly);
    ASSERT_NE(e, nullptr);
    e->SetTexture("Picture", white);
    e->SetFloat("tint", 0.25f);
    h.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    DrawQuad(h.device, e);
    EXPECT_TRUE(Probe(h.ReadBackBuffer(), 8, 8, 0xff404040));
    h.device->SetTexture(0, nullptr);
    e->Release();
    white->Release();
}

// OnLostDevice lets go of default-pool textures so that the device can reset.
TEST(D3DXEffect, LostDeviceDropsDefaultPoolTextures) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    IDirect3DTexture9* managed = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xffffffffu; });
    ID3DXEffect* e = Make(d, R"(
        texture A; texture B;
        technique Main { pass { sampler A {} sampler B {}
            fragment """ void main() { d3d_FragColor = texture(A, vec2(0.5)) + texture(B, vec2(0.5)); } """ } })");
    ASSERT_NE(e, nullptr);
    e->SetTexture("A", target);
    e->SetTexture("B", managed);
    target->Release();  // the effect holds the last reference
    EXPECT_EQ(e->OnLostDevice(), D3D_OK);
    UINT passes = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(e->Begin(&passes, 0), D3DERR_INVALIDCALL);  // not before OnResetDevice
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(d->Reset(&h.params), D3D_OK);
    EXPECT_EQ(e->OnResetDevice(), D3D_OK);
    IDirect3DBaseTexture9* held = nullptr;
    e->GetTexture("A", &held);
    EXPECT_EQ(held, nullptr);
    e->GetTexture("B", &held);
    EXPECT_EQ(held, managed);
    if (held) held->Release();
    EXPECT_EQ(e->Begin(&passes, 0), D3D_OK);
    e->End();
    e->Release();
    managed->Release();
}

}  // namespace
