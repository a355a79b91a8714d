// A device on a window of the window stand-in, end to end: the HWND names
// an SDL window created for OpenGL, the back buffer takes its client size.
#include <gtest/gtest.h>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"

namespace {

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

TEST(D3D9Window, DeviceOnAWindowOfTheWindowStandIn) {
    tessaloom::test::ResetWindowState();
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = u"D3D9TestClass";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hwnd = CreateWindowExW(0, u"D3D9TestClass", u"device", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr, nullptr, nullptr);
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

}  // namespace
