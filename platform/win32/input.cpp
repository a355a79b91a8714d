// Cursor state and the screen-saver-running system flag.
#include "platform/win32/input.h"

#include <cstdio>

#include "platform/win32/sdl_backend.h"
#include "platform/win32/window.h"

namespace tessaloom::win32 {
namespace {

// System cursors are small numbered handles.
HCURSOR const kArrow = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(32512));
HCURSOR const kWait = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(32514));

HCURSOR g_cursor = kArrow;
int g_showCount = 0;
bool g_screenSaverRunning = false;
void ApplyCursor() {
    bool visible = g_cursor != nullptr && g_showCount >= 0;
    ApplyNativeCursor(g_cursor == kWait ? NativeCursor::Wait : NativeCursor::Arrow, visible);
}

}  // namespace

bool CursorHiddenNow() { return g_cursor == nullptr || g_showCount < 0; }
bool ScreenSaverRunningNow() { return g_screenSaverRunning; }
void ResetInputState() {
    g_cursor = kArrow;
    g_showCount = 0;
    g_screenSaverRunning = false;
}

}  // namespace tessaloom::win32

using namespace tessaloom::win32;

HCURSOR LoadCursorW(HINSTANCE module, LPCWSTR name) {
    if (module) return nullptr;
    if (name == IDC_ARROW) return kArrow;
    if (name == IDC_WAIT) return kWait;
    std::fprintf(stderr, "tessaloom: LoadCursorW: only the arrow and wait cursors exist\n");
    return nullptr;
}

HICON LoadIconW(HINSTANCE, LPCWSTR name) {
    // The icon is the executable's resource; the window stand-in does not draw icons.
    if (!name) return nullptr;
    return reinterpret_cast<HICON>(reinterpret_cast<uintptr_t>(name) | 0x10000u);
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old = g_cursor;
    g_cursor = cursor;
    if (old != cursor) ApplyCursor();
    return old;
}

int ShowCursor(BOOL show) {
    g_showCount += show ? 1 : -1;
    ApplyCursor();
    return g_showCount;
}

BOOL GetCursorPos(LPPOINT point) {
    if (!point) return FALSE;
    return NativeCursorPosition(point) ? TRUE : FALSE;
}

BOOL SystemParametersInfoW(UINT action, UINT uiParam, PVOID pvParam, UINT) {
    switch (action) {
        case SPI_SETSCREENSAVERRUNNING:
            if (pvParam) *static_cast<BOOL*>(pvParam) = g_screenSaverRunning ? TRUE : FALSE;
            g_screenSaverRunning = uiParam != 0;
            return TRUE;
        case SPI_GETSCREENSAVERRUNNING:
            if (!pvParam) return FALSE;
            *static_cast<BOOL*>(pvParam) = g_screenSaverRunning ? TRUE : FALSE;
            return TRUE;
        default:
            std::fprintf(stderr, "tessaloom: SystemParametersInfoW action 0x%x is not provided\n", action);
            return FALSE;
    }
}
