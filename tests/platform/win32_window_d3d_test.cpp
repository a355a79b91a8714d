// The Direct3D stand-in draws on the window stand-in's windows: a device made
// on one of our HWNDs presents, and the adapter's monitor is the window's.
#include <gtest/gtest.h>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"

namespace {

TEST(Win32WindowDirect3D, ADeviceOnOurWindowPresents) {
    tessaloom::test::ResetWindowState();
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"D3DWindow";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND w = CreateWindowExW(0, u"D3DWindow", u"d3d", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(w, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterMonitor(0), MonitorFromWindow(w, MONITOR_DEFAULTTONULL));
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = w;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    device->Release();
    d3d->Release();
    EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), 0);
    tessaloom::test::ResetWindowState();
}

}  // namespace
