// The GDI subset: fills, frames, clipping and text drawn into a window's
// backing picture and shown through its SDL surface, and the message box's
// headless path.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_hooks.h"
#include "platform/win32/message_box.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/window.h"
#include "platform/win32/window_bridge.h"

namespace {

using tessaloom::test::ReadWindowPixels;
using tessaloom::test::ReadWindowSurface;
using tessaloom::test::WindowPixels;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

LRESULT PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

class Win32Gdi : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        WNDCLASSW wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = u"GdiTest";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override { tessaloom::test::ResetWindowState(); }

    HWND Make(int width, int height) {
        return CreateWindowExW(0, u"GdiTest", u"gdi", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                               nullptr);
    }

    // Count of pixels of `color` in the rectangle.
    static int Count(const WindowPixels& p, const RECT& r, COLORREF color) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += p.At(x, y) == color;
        return n;
    }
    static int Area(const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); }
};

TEST_F(Win32Gdi, FillFrameAndExcludedClipLandInTheWindow) {
    HWND w = Make(64, 48);
    ASSERT_NE(w, nullptr);
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(WindowFromDC(dc), w);
    RECT all{0, 0, 64, 48};
    HBRUSH dark = CreateSolidBrush(RGB(10, 20, 30));
    EXPECT_TRUE(FillRect(dc, &all, dark));
    DeleteObject(dark);
    RECT box{10, 8, 40, 30};
    // The system window colour as COLOR_WINDOW + 1, framed in black.
    EXPECT_TRUE(FillRect(dc, &box, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1))));
    EXPECT_TRUE(FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_EQ(ExcludeClipRect(dc, box.left, box.top, box.right, box.bottom), COMPLEXREGION);
    EXPECT_TRUE(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))));
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_EQ(WindowFromDC(dc), nullptr);

    WindowPixels p = ReadWindowPixels(w);
    ASSERT_EQ(p.width, 64);
    ASSERT_EQ(p.height, 48);
    // The frame is the box's outermost pixels; right and bottom edges are excluded.
    EXPECT_EQ(p.At(10, 8), kBlack);
    EXPECT_EQ(p.At(39, 29), kBlack);
    EXPECT_EQ(p.At(25, 8), kBlack);
    EXPECT_EQ(p.At(11, 9), kWhite);
    EXPECT_EQ(p.At(38, 28), kWhite);
    EXPECT_EQ(Count(p, RECT{11, 9, 39, 29}, kWhite), 28 * 20);
    // Outside the box the grey fill covered the first one; the box kept out of it.
    EXPECT_EQ(p.At(40, 30), RGB(128, 128, 128));
    EXPECT_EQ(p.At(9, 7), RGB(128, 128, 128));
    EXPECT_EQ(p.At(0, 0), RGB(128, 128, 128));

    // The window's surface shows what the context drew.
    WindowPixels shown = ReadWindowSurface(w);
    ASSERT_EQ(shown.width, 64);
    EXPECT_EQ(shown.colors, p.colors);
}

TEST_F(Win32Gdi, BrushesAndColours) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), kWhite);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), kBlack);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetStockObject(99), nullptr);
    HWND w = Make(8, 8);
    HDC dc = GetDC(w);
    RECT r{0, 0, 8, 8};
    HBRUSH made = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_TRUE(FillRect(dc, &r, made));
    EXPECT_TRUE(DeleteObject(made));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects stay
    // A hollow brush paints nothing; an unknown handle fails.
    EXPECT_TRUE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
    int junk = 0;
    EXPECT_FALSE(FillRect(dc, &r, reinterpret_cast<HBRUSH>(&junk)));
    RECT half{0, 0, 4, 8};
    EXPECT_TRUE(FillRect(dc, &half, GetSysColorBrush(COLOR_HIGHLIGHT)));
    ReleaseDC(w, dc);
    WindowPixels p = ReadWindowPixels(w);
    EXPECT_EQ(p.At(5, 5), RGB(1, 2, 3));
    EXPECT_EQ(p.At(1, 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_FALSE(FillRect(dc, &r, made));  // the context is gone
}

TEST_F(Win32Gdi, TextIsMeasuredWrappedAndCentred) {
    HWND w = Make(300, 150);
    HDC dc = GetDC(w);
    RECT all{0, 0, 300, 150};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const WCHAR* line = u"Could not load required media.";

    RECT one = all;
    int h1 = DrawTextW(dc, line, -1, &one, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    EXPECT_GE(h1, 10);
    EXPECT_LE(h1, 24);
    EXPECT_EQ(one.bottom - one.top, h1);
    EXPECT_GT(one.right - one.left, 100);  // real glyph advances
    EXPECT_LT(one.right - one.left, 300);

    // The same words in a narrow box break into several lines, none wider than the box.
    RECT narrow{0, 0, 90, 150};
    int hn = DrawTextW(dc, line, -1, &narrow, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    EXPECT_GE(hn, 3 * h1);
    EXPECT_LE(narrow.right, 90);
    // Measuring drew nothing.
    ReleaseDC(w, dc);
    EXPECT_EQ(Count(ReadWindowPixels(w), all, kWhite), Area(all));

    dc = GetDC(w);
    RECT place = all;
    place.top = (all.top + all.bottom - h1) / 2;
    EXPECT_EQ(DrawTextW(dc, line, -1, &place, DT_WORDBREAK | DT_CENTER), h1);
    ReleaseDC(w, dc);
    WindowPixels p = ReadWindowPixels(w);
    // The ink lies within the centred line, horizontally balanced.
    int minX = 300, maxX = -1, minY = 150, maxY = -1;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 300; ++x)
            if (p.At(x, y) != kWhite) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "no text drawn";
    EXPECT_GE(minY, place.top);
    EXPECT_LT(maxY, place.top + h1);
    EXPECT_NEAR(minX, 300 - 1 - maxX, 3);
    EXPECT_GT(maxX - minX, 100);
}

TEST_F(Win32Gdi, TextFormats) {
    HWND w = Make(200, 60);
    HDC dc = GetDC(w);
    RECT r{0, 0, 200, 60};
    RECT a = r, b = r;
    // '&' marks a mnemonic and is not drawn; DT_NOPREFIX keeps it.
    int ha = DrawTextW(dc, u"&Save", -1, &a, DT_CALCRECT | DT_SINGLELINE);
    int hb = DrawTextW(dc, u"Save", -1, &b, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(ha, hb);
    EXPECT_EQ(a.right, b.right);
    RECT c = r;
    DrawTextW(dc, u"&Save", -1, &c, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(c.right, b.right);
    // A count shorter than the text measures only that much.
    RECT d = r;
    DrawTextW(dc, u"SaveSave", 4, &d, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(d.right, b.right);
    // Vertically centred single line: the result reaches the text's bottom.
    RECT v = r;
    int hv = DrawTextW(dc, u"Save", -1, &v, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EXPECT_EQ(hv, (60 - hb) / 2 + hb);
    // An opaque background fills the line's cells; a transparent one does not.
    RECT clear{0, 0, 200, 60};
    FillRect(dc, &clear, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetBkColor(dc, RGB(0, 0, 255));
    SetTextColor(dc, RGB(255, 0, 0));
    RECT t = r;
    DrawTextW(dc, u"Save", -1, &t, DT_SINGLELINE);
    ReleaseDC(w, dc);
    WindowPixels p = ReadWindowPixels(w);
    EXPECT_EQ(p.At(0, 1), RGB(0, 0, 255));
    EXPECT_EQ(p.At(190, 1), kBlack);
    EXPECT_EQ(p.At(0, 55), kBlack);
    bool red = false;
    for (int y = 0; y < hb; ++y)
        for (int x = 0; x < b.right; ++x) red = red || p.At(x, y) == RGB(255, 0, 0);
    EXPECT_TRUE(red);
}

// BeginPaint's context covers the part that needed painting, erased with the
// class brush when an erase was asked for.
TEST_F(Win32Gdi, PaintContextIsClippedToTheUpdate) {
    HWND w = Make(40, 40);
    HDC dc = GetDC(w);
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(w, dc);
    PAINTSTRUCT ps;
    ValidateRect(w, nullptr);
    RECT part{10, 10, 20, 20};
    InvalidateRect(w, &part, TRUE);
    dc = BeginPaint(w, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(WindowFromDC(dc), w);
    EXPECT_FALSE(ps.fErase);  // the class brush erased it
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EXPECT_EQ(ReleaseDC(w, dc), 0);  // a paint context ends with EndPaint
    EndPaint(w, &ps);
    WindowPixels p = ReadWindowPixels(w);
    EXPECT_EQ(Count(p, part, RGB(128, 128, 128)), Area(part));
    EXPECT_EQ(Count(p, all, kWhite), Area(all) - Area(part));
}

// A Direct3D device makes its GL context on the window: it draws and presents
// there, GDI paints beside it without touching the current GL context, and
// after the device's release the window shows what GDI paints.
TEST_F(Win32Gdi, PaintingBesideAndAfterADirect3DDevice) {
    HWND w = Make(64, 48);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.hDeviceWindow = w;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff996633, 1.0f, 0), D3D_OK);
    SDL_GLContext current = SDL_GL_GetCurrentContext();
    RECT all{0, 0, 64, 48};
    HDC dc = GetDC(w);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(w, dc);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), current);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    dc = GetDC(w);
    RECT box{16, 8, 48, 40};
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(w, dc);
    WindowPixels shown = ReadWindowSurface(w);
    ASSERT_EQ(shown.width, 64);
    EXPECT_EQ(Count(shown, box, kWhite), Area(box));
    EXPECT_EQ(shown.At(2, 2), kBlack);
}

TEST(Win32MessageBox, WithoutADisplayTheTextGoesToStderr) {
    tessaloom::test::SetHeadlessMessageBoxes(true);
    auto& shown = tessaloom::test::ShownMessageBoxes();
    shown.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, u"Not enough memory.", u"Tessaloom", MB_ICONERROR), IDOK);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Tessaloom: Not enough memory."), std::string::npos) << err;
    // Nothing is agreed to without a person to ask.
    EXPECT_EQ(MessageBoxW(nullptr, u"Delete?", nullptr, MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, u"Go on?", u"x", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"?", u"x", 0x0F), 0);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, u"Not enough memory.");
    EXPECT_EQ(shown[0].caption, u"Tessaloom");
    EXPECT_EQ(shown[0].type, MB_ICONERROR);
    EXPECT_EQ(shown[1].caption, u"Error");
    tessaloom::test::SetHeadlessMessageBoxes(false);
}

}  // namespace
