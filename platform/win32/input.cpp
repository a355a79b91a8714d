// Cursor state and the screen-saver-running system flag.
#include "platform/win32/input.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/rc_icon.h"
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

namespace {
// Icons decoded by LoadIconW; a handle is its index + 1.  Icons live as long
// as the process, as shared icons do.
std::vector<tessaloom::IconImage> g_icons;
}  // namespace

HICON LoadIconW(HINSTANCE module, LPCWSTR name) {
    if (!name) return nullptr;
    tessaloom::IconImage image;
    std::string error;
    // 32 pixels: the size window managers ask of an application icon.
    if (!tessaloom::LoadIconImage(module, name, 32, image, &error)) {
        std::fprintf(stderr, "tessaloom: LoadIconW: %s\n", error.empty() ? "no such icon" : error.c_str());
        return nullptr;
    }
    g_icons.push_back(std::move(image));
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(g_icons.size()));
}

namespace tessaloom::win32 {
const IconImage* IconImageOf(HICON icon) {
    const auto index = reinterpret_cast<uintptr_t>(icon);
    if (index == 0 || index > g_icons.size()) return nullptr;
    return &g_icons[index - 1];
}
}  // namespace tessaloom::win32

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
