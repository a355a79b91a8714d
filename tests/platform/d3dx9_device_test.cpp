// D3DX texture calls on the real Direct3D stand-in (an offscreen GL device):
// pictures from files become drawable textures with the right pixels, the
// render-target pair's copy reaches a render target that cannot be locked,
// and a mask saved as DDS loads back.
#include <gtest/gtest.h>

#include "platform/d3dx9/d3dx9tex.h"
#include "tests/support/d3d_harness.h"
#include "tests/platform/d3dx9_image_files.h"

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Probe;
using tessaloom::testing::VertexRhwColorTex;
using testimg::Bytes;
using testimg::Picture;

namespace {

// Four quadrants: red, green / blue, white (opaque).
Picture Quadrants(uint32_t w, uint32_t h) {
    Picture p{w, h, {}};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            bool right = x >= w / 2, bottom = y >= h / 2;
            p.argb.push_back(bottom ? (right ? 0xFFFFFFFF : 0xFF0000FF) : (right ? 0xFF00FF00 : 0xFFFF0000));
        }
    return p;
}

HRESULT LoadPicture(IDirect3DDevice9* device, const Bytes& file, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) {
    return D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                               D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                               D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, info, nullptr, texture);
}

// Draws `texture` over the whole back buffer (pre-transformed quad, pixel
// centres on whole numbers) and reads the back buffer.
tessaloom::testing::Image DrawFullScreen(D3DHarness& h, IDirect3DTexture9* texture) {
    const float w = static_cast<float>(h.params.BackBufferWidth) - 0.5f, top = -0.5f;
    const float bottom = static_cast<float>(h.params.BackBufferHeight) - 0.5f, left = -0.5f;
    const VertexRhwColorTex quad[4] = {{left, bottom, 0, 1, 0xFFFFFFFF, 0, 1},
                                       {left, top, 0, 1, 0xFFFFFFFF, 0, 0},
                                       {w, bottom, 0, 1, 0xFFFFFFFF, 1, 1},
                                       {w, top, 0, 1, 0xFFFFFFFF, 1, 0}};
    h.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    h.device->BeginScene();
    h.device->SetTexture(0, texture);
    h.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    h.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    h.device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    h.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(VertexRhwColorTex));
    h.device->EndScene();
    h.device->SetTexture(0, nullptr);
    return h.ReadBackBuffer();
}

}  // namespace

TEST(D3DXOnDevice, TgaPictureBecomesADrawableTexture) {
    D3DHarness h(64, 64);
    ASSERT_TRUE(h.ok());
    // 48 x 40 picture: the texture is 64 x 64, stretched, so it still fills the quad.
    Bytes file = testimg::WriteTga(Quadrants(48, 40), {2, false, 24, 0, false, false});
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, LoadPicture(h.device, file, &texture, &info));
    EXPECT_EQ(48u, info.Width);
    EXPECT_EQ(40u, info.Height);
    D3DSURFACE_DESC d{};
    texture->GetLevelDesc(0, &d);
    EXPECT_EQ(64u, d.Width);
    EXPECT_EQ(64u, d.Height);
    EXPECT_EQ(D3DFMT_X8R8G8B8, d.Format);

    auto image = DrawFullScreen(h, texture);
    image.WritePngIfAsked("d3dx9_tga_quadrants");
    // Probes in the middle of each quadrant, away from the blended seams.
    EXPECT_TRUE(Probe(image, 16, 16, 0xFFFF0000));
    EXPECT_TRUE(Probe(image, 48, 16, 0xFF00FF00));
    EXPECT_TRUE(Probe(image, 16, 48, 0xFF0000FF));
    EXPECT_TRUE(Probe(image, 48, 48, 0xFFFFFFFF));
    texture->Release();
}

TEST(D3DXOnDevice, EveryFileKindLoads) {
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    const Picture q = Quadrants(16, 16);
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"png", testimg::WritePng(q, testimg::PngKind::Rgb)},
        {"jpeg", testimg::WriteJpeg(q, false)},
        {"bmp", testimg::WriteBmp(q, {24})},
        {"dds", testimg::WriteDds(q, D3DFMT_R5G6B5)},
        {"tga rle", testimg::WriteTga(q, {2, true, 32, 8, false, false})},
    };
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(S_OK, LoadPicture(h.device, file, &texture, nullptr));
        auto image = DrawFullScreen(h, texture);
        EXPECT_TRUE(Probe(image, 8, 8, 0xFFFF0000, 12));
        EXPECT_TRUE(Probe(image, 24, 24, 0xFFFFFFFF, 12));
        texture->Release();
    }
}

TEST(D3DXOnDevice, CopyOutOfARenderTarget) {
    // CopyTextureResized from a capture: the render target is read through
    // GetRenderTargetData and shrunk into a managed texture.
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DTexture9 *target = nullptr, *copy = nullptr;
    ASSERT_EQ(S_OK, h.device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                            &target, nullptr));
    IDirect3DSurface9 *to = nullptr, *small = nullptr;
    target->GetSurfaceLevel(0, &to);
    const RECT left{0, 0, 16, 32}, right{16, 0, 32, 32};
    h.device->ColorFill(to, &left, 0xFFFF0000);
    h.device->ColorFill(to, &right, 0xFF0000FF);
    ASSERT_EQ(S_OK, D3DXCreateTexture(h.device, 16, 16, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &copy));
    copy->GetSurfaceLevel(0, &small);
    EXPECT_EQ(S_OK, D3DXLoadSurfaceFromSurface(small, nullptr, nullptr, to, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0));
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(copy->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
        auto at = [&](UINT x, UINT y) {
            D3DCOLOR c;
            std::memcpy(&c, static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
            return c;
        };
        EXPECT_EQ(0xFFFF0000u, at(4, 8));  // row 0 of the target stays row 0
        EXPECT_EQ(0xFF0000FFu, at(12, 8));
        copy->UnlockRect(0);
    }
    small->Release();
    to->Release();
    target->Release();
    copy->Release();
}

TEST(D3DXOnDevice, CopyIntoARenderTarget) {
    // The render-target pair's CreateFrom: a managed picture into a default-pool
    // render target, which cannot be locked (staged through StretchRect).
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DTexture9 *picture = nullptr, *target = nullptr;
    ASSERT_EQ(S_OK, LoadPicture(h.device, testimg::WriteTga(Quadrants(32, 32), {2, false, 32, 8, true, false}),
                                &picture, nullptr));
    ASSERT_EQ(S_OK, h.device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                            &target, nullptr));
    IDirect3DSurface9 *from = nullptr, *to = nullptr;
    picture->GetSurfaceLevel(0, &from);
    target->GetSurfaceLevel(0, &to);
    const HRESULT hr =
        D3DXLoadSurfaceFromSurface(to, nullptr, nullptr, from, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0);
    auto image = h.Read(to);
    from->Release();
    to->Release();
    picture->Release();
    target->Release();
    // The copy is staged in a default-pool offscreen surface and StretchRect'd
    // into the target, as D3D9 allows; a device that refuses that must make
    // the call fail, never succeed with the target unchanged.
    ASSERT_EQ(hr, D3D_OK) << "the device refused StretchRect from an offscreen surface into a render target";
    EXPECT_TRUE(Probe(image, 0, 0, 0xFFFF0000, 0, false));  // row 0 stays on top
    EXPECT_TRUE(Probe(image, 31, 0, 0xFF00FF00, 0, false));
    EXPECT_TRUE(Probe(image, 0, 31, 0xFF0000FF, 0, false));
}

TEST(D3DXOnDevice, RenderTargetToRenderTarget) {
    D3DHarness h(32, 32);
    ASSERT_TRUE(h.ok());
    IDirect3DTexture9 *a = nullptr, *b = nullptr;
    ASSERT_EQ(S_OK, h.device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &a,
                                            nullptr));
    ASSERT_EQ(S_OK, h.device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &b,
                                            nullptr));
    IDirect3DSurface9 *sa = nullptr, *sb = nullptr;
    a->GetSurfaceLevel(0, &sa);
    b->GetSurfaceLevel(0, &sb);
    const RECT top{0, 0, 32, 16}, bottom{0, 16, 32, 32};
    h.device->ColorFill(sa, &top, 0xFF00FF00);
    h.device->ColorFill(sa, &bottom, 0xFFFFFF00);
    EXPECT_EQ(S_OK, D3DXLoadSurfaceFromSurface(sb, nullptr, nullptr, sa, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0));
    auto image = h.Read(sb);
    EXPECT_TRUE(Probe(image, 8, 2, 0xFF00FF00, 0, false));
    EXPECT_TRUE(Probe(image, 8, 13, 0xFFFFFF00, 0, false));
    sa->Release();
    sb->Release();
    a->Release();
    b->Release();
}

TEST(D3DXOnDevice, MaskSavedAsDdsLoadsBack) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DTexture9* mask = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateTexture(h.device, 16, 16, 0, 0, D3DFMT_A8, D3DPOOL_MANAGED, &mask));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(S_OK, mask->LockRect(0, &locked, nullptr, 0));
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 16; ++x) static_cast<BYTE*>(locked.pBits)[y * locked.Pitch + x] = static_cast<BYTE>(x * 16 + y);
    mask->UnlockRect(0);
    ID3DXBuffer* file = nullptr;
    ASSERT_EQ(S_OK, D3DXSaveTextureToFileInMemory(&file, D3DXIFF_DDS, mask, nullptr));
    IDirect3DTexture9* again = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(h.device, file->GetBufferPointer(), file->GetBufferSize(),
                                                        D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                                        D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0,
                                                        &info, nullptr, &again));
    EXPECT_EQ(D3DFMT_A8, info.Format);
    EXPECT_EQ(5u, info.MipLevels);
    D3DSURFACE_DESC d{};
    again->GetLevelDesc(0, &d);
    EXPECT_EQ(D3DFMT_A8, d.Format);
    ASSERT_EQ(S_OK, again->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    EXPECT_EQ(0x53, static_cast<const BYTE*>(locked.pBits)[3 * locked.Pitch + 5]);
    again->UnlockRect(0);
    file->Release();
    again->Release();
    mask->Release();
}
