// Error reporting: the texts of the result codes, the message box, and the
// bouncing error box of the saver modes.
#include "host/error_box.h"

#include <utility>

#include "document/result_codes.h"
#include "host/saver_framework.h"

namespace tessaloom::host {
namespace {

// timeGetTime of the previous error-box pass; 0 before the first.
DWORD g_previousPass = 0;

constexpr UINT kGenericText = 2100;

}  // namespace

RECT ErrorBoxRect(const ScreenRecord& r) {
    return RECT{static_cast<LONG>(r.errorX), static_cast<LONG>(r.errorY), static_cast<LONG>(r.errorX + r.errorWidth),
                static_cast<LONG>(r.errorY + r.errorHeight)};
}

void LayOutErrorBox(ScreenRecord& r, const RECT& bounds, bool preview) {
    if (preview) {
        r.errorX = 0.0f;
        r.errorY = 0.0f;
        r.errorWidth = static_cast<float>(bounds.right - bounds.left);
        r.errorHeight = static_cast<float>(bounds.bottom - bounds.top);
        r.errorVelocityX = 0.0f;
        r.errorVelocityY = 0.0f;
        return;
    }
    r.errorWidth = kErrorBoxWidth;
    r.errorHeight = kErrorBoxHeight;
    r.errorX = static_cast<float>(bounds.left + bounds.right - 300) * 0.5f;
    r.errorY = static_cast<float>(bounds.top + bounds.bottom - 150) * 0.5f;
    r.errorVelocityX = static_cast<float>(bounds.right - bounds.left) / 10.0f;
    r.errorVelocityY = static_cast<float>(bounds.bottom - bounds.top) / 20.0f;
}

bool StepErrorBox(ScreenRecord& r, const RECT& bounds, float dt, RECT* oldBox, RECT* newBox) {
    RECT before = ErrorBoxRect(r);
    const float left = static_cast<float>(bounds.left), right = static_cast<float>(bounds.right);
    const float top = static_cast<float>(bounds.top), bottom = static_cast<float>(bounds.bottom);
    float nx = r.errorX + r.errorVelocityX * dt;
    if ((nx + r.errorWidth > right && r.errorVelocityX > 0.0f) || (nx < left && r.errorVelocityX < 0.0f))
        r.errorVelocityX = -r.errorVelocityX;
    float ny = r.errorY + r.errorVelocityY * dt;
    if ((ny + r.errorHeight > bottom && r.errorVelocityY > 0.0f) || (ny < top && r.errorVelocityY < 0.0f))
        r.errorVelocityY = -r.errorVelocityY;
    r.errorX = r.errorX + r.errorVelocityX * dt;
    r.errorY = r.errorY + r.errorVelocityY * dt;
    RECT after = ErrorBoxRect(r);
    if (oldBox) *oldBox = before;
    if (newBox) *newBox = after;
    return after.left != before.left || after.top != before.top;
}

void ResetErrorBoxClock() { g_previousPass = 0; }

}  // namespace tessaloom::host

using namespace tessaloom::host;

bool CSaverFramework::GetErrorText(HRESULT code, WCHAR* buffer, int capacity) {
    const std::pair<HRESULT, UINT> table[13] = {
        {static_cast<HRESULT>(0x80004005u), 2100},  // E_FAIL
        {kDirect3DNotInitialized, 2101},
        {kSaverNotInitialized, 2102},
        {kCouldNotCreateDevice, 2103},
        {kNoCompatibleDevices, 2104},
        {kNoUsableDeviceType, 2105},
        {kHardwareLacksFunctionality, 2106},
        {kModeLacksFunctionality, 2107},
        {kMediaLoadFailed, 2108},
        {kCouldNotResetDevice, 2109},
        {static_cast<HRESULT>(0x8007000Eu), 2110},  // E_OUTOFMEMORY
        {static_cast<HRESULT>(0x8876017Cu), 2111},  // D3DERR_OUTOFVIDEOMEMORY
        {kNoPreview, 2112},
    };
    UINT id = kGenericText;
    for (const auto& [c, text] : table)
        if (c == code) id = text;  // the last equal entry wins
    LoadStringW(nullptr, id, buffer, capacity);
    return id != kGenericText;
}

HRESULT CSaverFramework::ShowError(HRESULT code) {
    WCHAR text[512] = {};
    GetErrorText(code, text, 512);
    MessageBoxW(runMode == Config ? nullptr : mainWindow, text, windowTitle, MB_ICONERROR);
    return code;
}

void CSaverFramework::AnimateErrorBox() {
    if (renderUnitCount > 0) {
        Cleanup3D();
        // A full-screen device may have left the desktop in another mode while
        // it ran: the box bounces in the desktop's geometry.
        if (runMode == FullScreen) {
            for (uint32_t i = 0; i < monitorCount; ++i) {
                ScreenRecord& m = monitors[i];
                MONITORINFO info{};
                info.cbSize = sizeof info;
                if (m.monitor && GetMonitorInfoW(m.monitor, &info)) m.monitorRect = info.rcMonitor;
            }
        }
    }
    DWORD now = timeGetTime();
    if (g_previousPass == 0) g_previousPass = now;
    float dt = static_cast<float>(now - g_previousPass) / 1000.0f;
    g_previousPass = now;
    if (errorText[0] == 0) GetErrorText(errorCode, errorText, 400);

    for (uint32_t i = 0; i < monitorCount; ++i) {
        ScreenRecord& m = monitors[i];
        if (!m.window) continue;
        RECT bounds = totalRect;
        if (runMode == FullScreen) {
            POINT a{m.monitorRect.left, m.monitorRect.top}, b{m.monitorRect.right, m.monitorRect.bottom};
            ScreenToClient(m.window, &a);
            ScreenToClient(m.window, &b);
            bounds = RECT{a.x, a.y, b.x, b.y};
        }
        if (m.errorWidth == 0.0f) {
            if (runMode == Preview) {
                LayOutErrorBox(m, bounds, true);
                InvalidateRect(m.window, nullptr, FALSE);
                UpdateWindow(m.window);
            } else {
                LayOutErrorBox(m, bounds, false);
            }
            continue;
        }
        if (runMode == Preview) continue;
        RECT before, after;
        if (StepErrorBox(m, bounds, dt, &before, &after)) {
            InvalidateRect(m.window, &before, FALSE);
            InvalidateRect(m.window, &after, FALSE);
            UpdateWindow(m.window);
        }
    }
}

void CSaverFramework::PaintErrorBox(HWND window, HDC dc) {
    // A preview or test window paints the record it belongs to, whichever
    // monitor it stands on; a full-screen window the record of its monitor.
    ScreenRecord* record = nullptr;
    if (runMode != FullScreen) {
        for (uint32_t i = 0; i < monitorCount && !record; ++i)
            if (monitors[i].window == window) record = &monitors[i];
    }
    if (!record) {
        HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        for (uint32_t i = 0; i < monitorCount && !record; ++i)
            if (monitors[i].monitor == monitor) record = &monitors[i];
    }
    if (!record) return;

    RECT box = ErrorBoxRect(*record);
    FillRect(dc, &box, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1)));
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FrameRect(dc, &box, black);

    RECT measure = box;
    int h = DrawTextW(dc, errorText, -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    RECT text = box;
    text.top = (box.top + box.bottom - h) / 2;
    DrawTextW(dc, errorText, -1, &text, DT_WORDBREAK | DT_CENTER);

    ExcludeClipRect(dc, box.left, box.top, box.right, box.bottom);
    RECT rest{};
    if (runMode == FullScreen) {
        POINT a{record->monitorRect.left, record->monitorRect.top};
        POINT b{record->monitorRect.right, record->monitorRect.bottom};
        ScreenToClient(window, &a);
        ScreenToClient(window, &b);
        rest = RECT{a.x, a.y, b.x, b.y};
    } else {
        // The window's own client area: a preview's parent belongs to another
        // process, so its place on the screen is not known here.
        GetClientRect(window, &rest);
    }
    FillRect(dc, &rest, black);
}
