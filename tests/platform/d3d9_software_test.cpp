// The software device type: the same pipeline on Mesa's software rasteriser,
// offscreen and in a window, where it shows its frames through the window's
// own surface.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/gdi_hooks.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Image;
using tessaloom::testing::Probe;
using tessaloom::testing::VertexRhwColorTex;

constexpr D3DCOLOR kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kWhite = 0xffffffff;

D3DCOLOR CoordTexel(UINT x, UINT y) { return D3DCOLOR_ARGB(255, x * 64, y * 64, 0x80); }

std::vector<VertexRhwColorTex> ScreenQuad(float x0, float y0, float x1, float y1, D3DCOLOR c = kWhite) {
    x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
    return {{x0, y1, 0, 1, c, 0, 1}, {x0, y0, 0, 1, c, 0, 0}, {x1, y1, 0, 1, c, 1, 1}, {x1, y0, 0, 1, c, 1, 0}};
}

// A blue clear, a textured quad (one pixel per texel, modulated by the
// vertex colour) and an untextured green quad drawn with alpha blending at
// half strength.
void DrawScene(D3DHarness& h) {
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* texture = h.MakeTexture(4, 4, CoordTexel);
    ASSERT_NE(texture, nullptr);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0), D3D_OK);
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    d->SetTexture(0, texture);
    auto quad = ScreenQuad(4, 8, 8, 12);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof quad[0]), D3D_OK);
    d->SetTexture(0, nullptr);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    auto half = ScreenQuad(10, 2, 14, 6, 0x8000ff00);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, half.data(), sizeof half[0]), D3D_OK);
    EXPECT_EQ(d->EndScene(), D3D_OK);
    texture->Release();
}

TEST(D3D9Software, TheSoftwareDeviceDrawsTheSamePixelsAsTheHardwareOne) {
    Image pictures[2];
    const D3DDEVTYPE types[2] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW};
    for (int i = 0; i < 2; ++i) {
        D3DHarness h(16, 16, D3DFMT_X8R8G8B8, false, types[i]);
        ASSERT_TRUE(h.ok()) << "device type " << types[i];
        D3DDEVICE_CREATION_PARAMETERS created{};
        h.device->GetCreationParameters(&created);
        EXPECT_EQ(created.DeviceType, types[i]);
        D3DCAPS9 caps{};
        h.device->GetDeviceCaps(&caps);
        EXPECT_EQ(caps.DeviceType, types[i]);
        DrawScene(h);
        pictures[i] = h.ReadBackBuffer();
    }
    const Image& sw = pictures[1];
    sw.WritePngIfAsked("software_device");
    // The values themselves, on the software device.
    EXPECT_TRUE(Probe(sw, 0, 0, kBlue));
    EXPECT_TRUE(Probe(sw, 15, 15, kBlue));
    EXPECT_TRUE(Probe(sw, 4, 8, CoordTexel(0, 0)));
    EXPECT_TRUE(Probe(sw, 7, 8, CoordTexel(3, 0)));
    EXPECT_TRUE(Probe(sw, 5, 11, CoordTexel(1, 3)));
    EXPECT_TRUE(Probe(sw, 8, 8, kBlue));
    EXPECT_TRUE(Probe(sw, 11, 3, D3DCOLOR_XRGB(0, 0x80, 0x7f)));  // half green over blue
    // And every pixel as the hardware device drew it.
    ASSERT_EQ(pictures[0].pixels.size(), sw.pixels.size());
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 16; ++x) EXPECT_TRUE(Probe(sw, x, y, pictures[0].at(x, y))) << x << "," << y;
}

// A visible window of ours (the class is registered again after a reset of
// the window state; a second registration fails harmlessly).
HWND MakeWindow(int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"SoftwareDeviceWindow";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"SoftwareDeviceWindow", u"sw", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                           nullptr, nullptr, nullptr);
}

// A windowed device of the type on the window, with its window's size.
IDirect3DDevice9* WindowedDevice(IDirect3D9* d3d, D3DDEVTYPE type, HWND window, D3DPRESENT_PARAMETERS* pp) {
    *pp = {};
    pp->BackBufferFormat = D3DFMT_UNKNOWN;
    pp->BackBufferCount = 1;
    pp->SwapEffect = D3DSWAPEFFECT_COPY;
    pp->hDeviceWindow = window;
    pp->Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    const DWORD vp = type == D3DDEVTYPE_SW ? D3DCREATE_SOFTWARE_VERTEXPROCESSING : D3DCREATE_HARDWARE_VERTEXPROCESSING;
    if (FAILED(d3d->CreateDevice(0, type, window, vp, pp, &device))) return nullptr;
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    return device;
}

// A ground colour and a quad of another colour over pixels [0, 10) x [0, 5).
void DrawCorner(IDirect3DDevice9* device, D3DCOLOR ground, D3DCOLOR corner) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, ground, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    auto quad = ScreenQuad(0, 0, 10, 5, corner);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof quad[0]), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

COLORREF Ref(D3DCOLOR c) { return RGB((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

// What the window shows after Present (its surface) has the ground and the
// corner quad, right way up and in its colours.
void ExpectCornerShown(HWND window, int width, int height, D3DCOLOR ground, D3DCOLOR corner) {
    const auto shown = tessaloom::test::ReadWindowSurface(window);
    ASSERT_EQ(shown.width, width);
    ASSERT_EQ(shown.height, height);
    auto at = [&](int x, int y) { return shown.colors[static_cast<size_t>(y) * shown.width + x]; };
    EXPECT_EQ(at(0, 0), Ref(corner));
    EXPECT_EQ(at(9, 4), Ref(corner));
    EXPECT_EQ(at(10, 4), Ref(ground));
    EXPECT_EQ(at(0, 5), Ref(ground));
    EXPECT_EQ(at(width - 1, height - 1), Ref(ground));
    EXPECT_EQ(at(0, height - 1), Ref(ground)) << "upside down";
}

// In a window the frame reaches what the window shows, right way up and in
// its colours: read back from the window's surface after Present.
TEST(D3D9Software, TheSoftwareDeviceShowsItsFrameInItsWindow) {
    tessaloom::test::ResetWindowState();
    HWND w = MakeWindow(40, 30);
    ASSERT_NE(w, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    IDirect3DDevice9* device = WindowedDevice(d3d, D3DDEVTYPE_SW, w, &pp);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(pp.BackBufferWidth, 40u) << "the window's client size";
    EXPECT_EQ(pp.BackBufferHeight, 30u);
    for (D3DCOLOR ground : {kRed, kGreen}) {
        SCOPED_TRACE(ground);
        DrawCorner(device, ground, kBlue);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        ExpectCornerShown(w, 40, 30, ground, kBlue);
    }
    EXPECT_EQ(device->Release(), 0u);
    d3d->Release();
    EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), 0);
    tessaloom::test::ResetWindowState();
}

// A software and a hardware device on two windows take turns, step by step,
// as the saver's render units do: each one's drawing stays its own.
TEST(D3D9Software, SoftwareAndHardwareDevicesTakeTurns) {
    tessaloom::test::ResetWindowState();
    HWND softwareWindow = MakeWindow(40, 30);
    HWND hardwareWindow = MakeWindow(32, 24);
    ASSERT_TRUE(softwareWindow && hardwareWindow);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS swParams{}, halParams{};
    IDirect3DDevice9* sw = WindowedDevice(d3d, D3DDEVTYPE_SW, softwareWindow, &swParams);
    IDirect3DDevice9* hal = WindowedDevice(d3d, D3DDEVTYPE_HAL, hardwareWindow, &halParams);
    ASSERT_TRUE(sw && hal);
    for (int frame = 0; frame < 2; ++frame) {
        const D3DCOLOR swGround = frame ? kGreen : kRed, halGround = frame ? kRed : kGreen;
        DrawCorner(sw, swGround, kBlue);
        DrawCorner(hal, halGround, kWhite);
        ASSERT_EQ(hal->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        ASSERT_EQ(sw->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        ExpectCornerShown(softwareWindow, 40, 30, swGround, kBlue);
        // The hardware device's back buffer, read through the device.
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(hal->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        IDirect3DSurface9* copy = nullptr;
        ASSERT_EQ(hal->CreateOffscreenPlainSurface(32, 24, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
        ASSERT_EQ(hal->GetRenderTargetData(back, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        Image image;
        tessaloom::testing::ConvertPixels(D3DFMT_X8R8G8B8, locked, 32, 24, &image);
        copy->UnlockRect();
        copy->Release();
        back->Release();
        EXPECT_TRUE(Probe(image, 0, 0, kWhite));
        EXPECT_TRUE(Probe(image, 20, 20, halGround));
    }
    EXPECT_EQ(hal->Release(), 0u);
    EXPECT_EQ(sw->Release(), 0u);
    d3d->Release();
    EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), 0);
    tessaloom::test::ResetWindowState();
}

}  // namespace
