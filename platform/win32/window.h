// Window classes, windows and their geometry, painting and the system
// parameters of the window stand-in.
//
// Every window is an SDL window created with SDL_WINDOW_OPENGL (the Direct3D
// stand-in makes its GL context on it).  Windows have no non-client area of
// their own: the window manager's frame lies outside them, so the window
// rectangle and the client area coincide and AdjustWindowRect changes nothing.
// A child window may have a foreign parent: a window of another process,
// named by its X11 window id (the preview window of a control panel).
#pragma once

#include "platform/win32/input.h"
#include "platform/win32/messages.h"
#include "platform/win32/types.h"

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNA = 8;
constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos.
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))
#define HWND_MESSAGE (reinterpret_cast<HWND>(-3))
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// GetWindow.
constexpr UINT GW_OWNER = 4;

// WM_SETCURSOR hit-test code of the client area.
constexpr WORD HTCLIENT = 1;

// SystemParametersInfoW.
constexpr UINT SPI_SETSCREENSAVERRUNNING = 0x0061;
constexpr UINT SPI_SCREENSAVERRUNNING = SPI_SETSCREENSAVERRUNNING;
constexpr UINT SPI_GETSCREENSAVERRUNNING = 0x0072;

// GetSystemMetrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_XVIRTUALSCREEN = 76;
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;

// Stock objects (GetStockObject, gdi.h).
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;

// Class names compare without case.  Only the registering instance is kept.
ATOM RegisterClassW(const WNDCLASSW* wc);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// Sends WM_NCCREATE and WM_CREATE (with `param` in CREATESTRUCTW); a window
// procedure that refuses them makes creation fail.  WS_CHILD needs a parent:
// one of our windows is not supported (no control here needs it) and fails
// with a message; a foreign window id gives a child inside that window.
// Without WS_CHILD, `parent` is the owner.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
inline HWND CreateWindowW(LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width, int height,
                          HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    return CreateWindowExW(0, className, windowName, style, x, y, width, height, parent, menu, instance, param);
}
// Destroys owned windows first, then sends WM_DESTROY and WM_NCDESTROY; the
// window's timers, pending paint and posted messages go with it.
BOOL DestroyWindow(HWND window);
// WM_SYSCOMMAND SC_CLOSE becomes WM_CLOSE, WM_CLOSE destroys the window,
// WM_PAINT validates, WM_ERASEBKGND fills the client area with the class
// brush, WM_SETCURSOR sets the class cursor.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True for our live windows and for foreign windows that still exist.
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// The parent of a child, the owner of a top-level window.
HWND GetParent(HWND window);
HWND GetWindow(HWND window, UINT command);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);

BOOL GetClientRect(HWND window, LPRECT rect);
// Screen coordinates.
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
BOOL ScreenToClient(HWND window, LPPOINT point);
BOOL ClientToScreen(HWND window, LPPOINT point);
BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);

// `rect` null: the whole client area.  `window` null: every window.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
// Sends WM_ERASEBKGND first when an erase is pending, then validates.  The
// device context (gdi.h) is clipped to the update rectangle, and EndPaint
// shows what it drew; WindowFromDC gives the window of any context.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HWND WindowFromDC(HDC dc);

// SPI_SETSCREENSAVERRUNNING records the flag (uiParam), SPI_GETSCREENSAVERRUNNING
// reads it into *(BOOL*)pvParam.  Other actions fail with a message.
BOOL SystemParametersInfoW(UINT action, UINT uiParam, PVOID pvParam, UINT winIni);
int GetSystemMetrics(int index);
