// A device on a window of the window stand-in, end to end: the HWND names
// an SDL window created for OpenGL, the back buffer takes its client size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/win32/gdi_hooks.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"

namespace {

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

// A popup window of a class of its own; null when either cannot be made.
HWND PopupWindow(const char16_t* className, int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = className;
    if (RegisterClassW(&wc) == 0) return nullptr;
    return CreateWindowExW(0, className, u"device", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

TEST(D3D9Window, DeviceOnAWindowOfTheWindowStandIn) {
    tessaloom::test::ResetWindowState();
    HWND hwnd = PopupWindow(u"D3D9TestClass", 64, 48);
    ASSERT_NE(hwnd, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.Windowed = TRUE;
    p.hDeviceWindow = hwnd;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* d = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 64u);
    EXPECT_EQ(p.BackBufferHeight, 48u);
    EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(d->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(hwnd);
    tessaloom::test::ResetWindowState();
}

void Fill(HWND w, const RECT& r, int stockBrush) {
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_TRUE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(stockBrush))));
    ReleaseDC(w, dc);
}

// A frame presented into a window replaces what GDI painted there: the
// window's backing picture is given back, and painting afterwards still
// reaches the window, on a new picture that is black where nothing was drawn.
TEST(D3D9Window, PresentGivesBackTheWindowsPaintingAndPaintingGoesOn) {
    tessaloom::test::ResetWindowState();
    HWND hwnd = PopupWindow(u"D3D9PaintClass", 64, 48);
    ASSERT_NE(hwnd, nullptr);
    Fill(hwnd, RECT{0, 0, 64, 48}, WHITE_BRUSH);
    ASSERT_EQ(tessaloom::test::ReadWindowPixels(hwnd).width, 64);

    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.hDeviceWindow = hwnd;
    IDirect3DDevice9* d = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
    // An open device context keeps drawing on the picture it was given.
    HDC open = GetDC(hwnd);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(tessaloom::test::ReadWindowPixels(hwnd).width, 0) << "the backing picture outlived the presented frame";
    RECT corner{0, 0, 8, 8};
    EXPECT_TRUE(FillRect(open, &corner, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))));
    ReleaseDC(hwnd, open);
    EXPECT_EQ(tessaloom::test::ReadWindowSurface(hwnd).At(4, 4), RGB(128, 128, 128));

    Fill(hwnd, RECT{16, 8, 32, 24}, WHITE_BRUSH);
    tessaloom::test::WindowPixels after = tessaloom::test::ReadWindowPixels(hwnd);
    ASSERT_EQ(after.width, 64);
    ASSERT_EQ(after.height, 48);
    EXPECT_EQ(after.At(20, 10), RGB(255, 255, 255));
    EXPECT_EQ(after.At(2, 2), RGB(0, 0, 0));
    EXPECT_EQ(after.At(40, 40), RGB(0, 0, 0));
    EXPECT_EQ(tessaloom::test::ReadWindowSurface(hwnd).At(20, 10), RGB(255, 255, 255));

    EXPECT_EQ(d->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(hwnd);
    tessaloom::test::ResetWindowState();
}

}  // namespace

namespace {

struct RhwVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
struct XyzVertex {
    float x, y, z;
    D3DCOLOR color;
};
constexpr DWORD kXyzFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// Draws on the current target something that shows every way rows can be
// turned: clears of the whole target and of rectangles, a viewport and a
// scissor off the centre, culled and kept windings in both vertex formats,
// a texture whose texels each tell their place, and blending.
void DrawRowSensitivePicture(IDirect3DDevice9* d, IDirect3DTexture9* texture, UINT w, UINT h) {
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff202020, 1.0f, 0);
    D3DRECT rect{3, 2, 20, 9};
    d->Clear(1, &rect, D3DCLEAR_TARGET, 0xff00ff00, 1.0f, 0);
    // Clockwise on screen is kept, counter-clockwise culled.
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetFVF(kRhwFvf);
    d->SetTexture(0, texture);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    const RhwVertex cw[3] = {{4, 12, 0, 1, 0xffffffff, 0, 0}, {40, 14, 0, 1, 0xffffffff, 1, 0}, {6, 44, 0, 1, 0xffffffff, 0, 1}};
    const RhwVertex ccw[3] = {{44, 4, 0, 1, 0xffff0000, 0, 0}, {46, 30, 0, 1, 0xffff0000, 0, 1}, {60, 6, 0, 1, 0xffff0000, 1, 0}};
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(RhwVertex));
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex));
    // Edges on whole numbers run through pixel centres: Direct3D's top-left
    // rule draws the centres on the top and left edges, not those on the
    // bottom and right ones.
    d->SetTexture(0, nullptr);
    const RhwVertex onCentres[4] = {{30, 36, 0, 1, 0xffffff00, 0, 0}, {30, 30, 0, 1, 0xffffff00, 0, 0},
                                    {40, 36, 0, 1, 0xffffff00, 0, 0}, {40, 30, 0, 1, 0xffffff00, 0, 0}};
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, onCentres, sizeof(RhwVertex));
    // A viewport in the lower right with a scissor cutting it, transformed
    // vertices (identity matrices: clip space), half-transparent blue.
    D3DVIEWPORT9 vp{static_cast<DWORD>(w / 2), static_cast<DWORD>(h / 2) - 3, w / 2 - 2, h / 2, 0.0f, 1.0f};
    d->SetViewport(&vp);
    RECT scissor{static_cast<LONG>(w / 2) + 2, static_cast<LONG>(h / 2), static_cast<LONG>(w) - 5, static_cast<LONG>(h) - 7};
    d->SetScissorRect(&scissor);
    d->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);  // keeps counter-clockwise triangles
    d->SetTexture(0, nullptr);
    d->SetFVF(kXyzFvf);
    const XyzVertex tri[3] = {{-0.9f, 0.8f, 0.5f, 0x800000ff}, {0.7f, -0.9f, 0.5f, 0x800000ff}, {0.9f, 0.9f, 0.5f, 0x800000ff}};
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(XyzVertex));
    d->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(d->EndScene(), D3D_OK);
}

std::vector<uint8_t> ReadTarget(IDirect3DDevice9* d, IDirect3DSurface9* target, UINT w, UINT h, D3DFORMAT format) {
    IDirect3DSurface9* copy = nullptr;
    std::vector<uint8_t> pixels;
    if (FAILED(d->CreateOffscreenPlainSurface(w, h, format, D3DPOOL_SYSTEMMEM, &copy, nullptr))) return pixels;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(d->GetRenderTargetData(target, copy)) && SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        for (UINT y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
            pixels.insert(pixels.end(), row, row + w * 4);
        }
        copy->UnlockRect();
    }
    copy->Release();
    return pixels;
}

// The first differing pixel, as "x,y", or "" when the two are the same.
std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, UINT w) {
    if (a.size() != b.size()) return "sizes differ";
    for (size_t i = 0; i < a.size(); i += 4)
        if (std::memcmp(&a[i], &b[i], 4) != 0) return std::to_string(i / 4 % w) + "," + std::to_string(i / 4 / w);
    return "";
}

// A device drawing into its window's own framebuffer (a discarded back
// buffer of the window's size) gives the very pixels a render target gives:
// rows counted from the top, the half-pixel rule, clockwise culling on
// screen; StretchRect, ColorFill and GetRenderTargetData read and write it
// the same way; a draw that tests depth moves it into a texture with what
// it holds.
TEST(D3D9Window, BackBufferInTheWindowDrawsWhatARenderTargetDraws) {
    tessaloom::test::ResetWindowState();
    constexpr UINT W = 64, H = 48;
    HWND hwnd = PopupWindow(u"D3D9UprightClass", W, H);
    ASSERT_NE(hwnd, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    // The window's framebuffer has alpha or not: one of the two formats fits it.
    IDirect3DDevice9* d = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
        D3DPRESENT_PARAMETERS p{};
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        p.hDeviceWindow = hwnd;
        p.BackBufferFormat = f;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
        if (tessaloom::d3d9::BackBufferInWindow(d)) {
            format = f;
            break;
        }
        d->Release();
        d = nullptr;
    }
    ASSERT_NE(d, nullptr) << "neither back-buffer format was drawn in the window's framebuffer";

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            static_cast<D3DCOLOR*>(locked.pBits)[y * locked.Pitch / 4 + x] = D3DCOLOR_ARGB(255, x * 64, y * 64, 0x80);
    texture->UnlockRect(0);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(W, H, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    IDirect3DSurface9* targetLevel = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &targetLevel), D3D_OK);

    // The same picture in the render target and in the window.
    ASSERT_EQ(d->SetRenderTarget(0, targetLevel), D3D_OK);
    d->SetDepthStencilSurface(nullptr);
    DrawRowSensitivePicture(d, texture, W, H);
    const RECT part{2, 3, 30, 20};
    d->ColorFill(targetLevel, &part, 0xffc08040);
    const std::vector<uint8_t> expected = ReadTarget(d, targetLevel, W, H, format);
    ASSERT_EQ(expected.size(), W * H * 4);
    auto rgb = [&](const std::vector<uint8_t>& image, UINT x, UINT y) {
        D3DCOLOR c = 0;
        std::memcpy(&c, &image[(y * W + x) * 4], 4);
        return c & 0x00ffffff;
    };
    EXPECT_EQ(rgb(expected, 30, 30), 0xffff00u);  // top-left corner: drawn
    EXPECT_EQ(rgb(expected, 39, 35), 0xffff00u);
    EXPECT_NE(rgb(expected, 40, 33), 0xffff00u);  // right edge: not drawn
    EXPECT_NE(rgb(expected, 35, 36), 0xffff00u);  // bottom edge: not drawn
    ASSERT_EQ(d->SetRenderTarget(0, back), D3D_OK);
    DrawRowSensitivePicture(d, texture, W, H);
    d->ColorFill(back, &part, 0xffc08040);
    EXPECT_TRUE(tessaloom::d3d9::BackBufferInWindow(d));
    EXPECT_EQ(FirstDifference(ReadTarget(d, back, W, H, format), expected, W), "");

    // StretchRect out of the window, and into it, keeps rows in order.
    const RECT from{0, 0, 32, 24}, to{10, 20, 42, 44}, at{30, 4, 62, 28};
    ASSERT_EQ(d->StretchRect(back, &from, targetLevel, &to, D3DTEXF_NONE), D3D_OK);
    ASSERT_EQ(d->StretchRect(targetLevel, &to, back, &at, D3DTEXF_NONE), D3D_OK);
    const std::vector<uint8_t> copied = ReadTarget(d, targetLevel, W, H, format);
    const std::vector<uint8_t> windowed = ReadTarget(d, back, W, H, format);
    ASSERT_EQ(copied.size(), expected.size());
    for (UINT y = 0; y < 24; ++y)
        for (UINT x = 0; x < 32; ++x) {
            const size_t in = (y * W + x) * 4, out = ((y + 20) * W + x + 10) * 4, back2 = ((y + 4) * W + x + 30) * 4;
            ASSERT_EQ(std::memcmp(&copied[out], &expected[in], 4), 0) << "StretchRect out of the window at " << x << "," << y;
            ASSERT_EQ(std::memcmp(&windowed[back2], &expected[in], 4), 0) << "StretchRect into the window at " << x << "," << y;
        }

    // A draw that tests depth needs the depth renderbuffer: the back buffer
    // moves into its texture with its pixels, and the depth cleared while it
    // was in the window is there.
    ASSERT_EQ(d->SetRenderTarget(0, back), D3D_OK);  // the whole target as viewport again
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(d->CreateDepthStencilSurface(W, H, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE, &depth, nullptr), D3D_OK);
    ASSERT_EQ(d->SetDepthStencilSurface(depth), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff102030, 0.25f, 0), D3D_OK);
    EXPECT_TRUE(tessaloom::d3d9::BackBufferInWindow(d));
    d->SetRenderState(D3DRS_ZENABLE, TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    d->SetTexture(0, nullptr);
    d->SetFVF(kRhwFvf);
    // Left half in front of the cleared depth (drawn), right half behind it.
    const RhwVertex nearQuad[4] = {{-0.5f, -0.5f, 0.1f, 1, 0xffffffff, 0, 0}, {31.5f, -0.5f, 0.1f, 1, 0xffffffff, 0, 0},
                                   {-0.5f, 47.5f, 0.1f, 1, 0xffffffff, 0, 0}, {31.5f, 47.5f, 0.1f, 1, 0xffffffff, 0, 0}};
    const RhwVertex farQuad[4] = {{31.5f, -0.5f, 0.5f, 1, 0xffffffff, 0, 0}, {63.5f, -0.5f, 0.5f, 1, 0xffffffff, 0, 0},
                                  {31.5f, 47.5f, 0.5f, 1, 0xffffffff, 0, 0}, {63.5f, 47.5f, 0.5f, 1, 0xffffffff, 0, 0}};
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nearQuad, sizeof(RhwVertex));
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, farQuad, sizeof(RhwVertex));
    ASSERT_EQ(d->EndScene(), D3D_OK);
    EXPECT_FALSE(tessaloom::d3d9::BackBufferInWindow(d));
    const std::vector<uint8_t> moved = ReadTarget(d, back, W, H, format);
    ASSERT_EQ(moved.size(), expected.size());
    auto pixel = [&](UINT x, UINT y) { return rgb(moved, x, y); };
    EXPECT_EQ(pixel(0, 0), 0xffffffu);
    EXPECT_EQ(pixel(31, 47), 0xffffffu);
    EXPECT_EQ(pixel(32, 0), 0x102030u);
    EXPECT_EQ(pixel(63, 47), 0x102030u);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // Until the next Reset the back buffer stays in its texture.
    EXPECT_FALSE(tessaloom::d3d9::BackBufferInWindow(d));

    d->SetDepthStencilSurface(nullptr);
    depth->Release();
    targetLevel->Release();
    target->Release();
    back->Release();
    texture->Release();
    EXPECT_EQ(d->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(hwnd);
    tessaloom::test::ResetWindowState();
}

}  // namespace
