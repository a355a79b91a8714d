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

// In a window the frame reaches what the window shows, right way up and in
// its colours: read back from the window's surface after Present.
TEST(D3D9Software, TheSoftwareDeviceShowsItsFrameInItsWindow) {
    tessaloom::test::ResetWindowState();
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"SoftwareDeviceWindow";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND w = CreateWindowExW(0, u"SoftwareDeviceWindow", u"sw", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = w;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_SW, w, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 40u) << "the window's client size";
    EXPECT_EQ(pp.BackBufferHeight, 30u);
    for (D3DCOLOR ground : {kRed, kGreen}) {
        SCOPED_TRACE(ground);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, ground, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        auto corner = ScreenQuad(0, 0, 10, 5, kBlue);  // the top-left corner
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, corner.data(), sizeof corner[0]), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        const auto shown = tessaloom::test::ReadWindowSurface(w);
        ASSERT_EQ(shown.width, 40);
        ASSERT_EQ(shown.height, 30);
        auto at = [&](int x, int y) { return shown.colors[static_cast<size_t>(y) * shown.width + x]; };
        const COLORREF groundRef = RGB((ground >> 16) & 0xff, (ground >> 8) & 0xff, ground & 0xff);
        EXPECT_EQ(at(0, 0), RGB(0, 0, 255));
        EXPECT_EQ(at(9, 4), RGB(0, 0, 255));
        EXPECT_EQ(at(10, 4), groundRef);
        EXPECT_EQ(at(0, 5), groundRef);
        EXPECT_EQ(at(39, 29), groundRef);
        EXPECT_EQ(at(0, 29), groundRef) << "upside down";
    }
    EXPECT_EQ(device->Release(), 0u);
    d3d->Release();
    EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), 0);
    tessaloom::test::ResetWindowState();
}

}  // namespace
