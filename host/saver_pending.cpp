// Framework operations whose real bodies come with the Direct3D devices, the
// frame loop and the error box.  These definitions are
// weak: the files that implement those parts replace them at link time.
// Until then each one fails loudly where the saver relies on it.
#include <cstdio>

#include "host/saver_framework.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/strings.h"

#define TESSALOOM_PENDING __attribute__((weak))

TESSALOOM_PENDING void CSaverFramework::PaintErrorBox(HWND, HDC) {}
TESSALOOM_PENDING void CSaverFramework::BuildDeviceStatsText() {}
TESSALOOM_PENDING void CSaverFramework::UpdateFpsText() {}

TESSALOOM_PENDING void CSaverFramework::GetErrorText(HRESULT, WCHAR* buffer, int capacity) {
    if (buffer && capacity > 0) buffer[0] = 0;
}

TESSALOOM_PENDING HRESULT CSaverFramework::EnumerateDevices() {
    std::fprintf(stderr, "tessaloom: adapter enumeration is not part of this build\n");
    return E_NOTIMPL;
}

// The window part of building the render units: monitor rectangles and the
// full-screen windows made top-most; no devices are made.
TESSALOOM_PENDING HRESULT CSaverFramework::Initialize3D() {
    if (runMode == FullScreen) {
        windowed = 0;
    } else {
        windowed = 1;
        if (mainWindow) GetClientRect(mainWindow, &totalRect);
    }
    if (!errorMode) {
        std::fprintf(stderr, "tessaloom: render units are not part of this build\n");
        SetErrorMode(static_cast<HRESULT>(0x8200000Eu));
    }
    for (uint32_t i = 0; i < monitorCount; ++i) {
        ScreenRecord& m = monitors[i];
        if (!m.monitor) continue;
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(m.monitor, &info)) m.monitorRect = info.rcMonitor;
        if (runMode == FullScreen && m.window)
            SetWindowPos(m.window, HWND_TOPMOST, m.monitorRect.left, m.monitorRect.top,
                         m.monitorRect.right - m.monitorRect.left, m.monitorRect.bottom - m.monitorRect.top,
                         SWP_NOACTIVATE);
    }
    mouseMoveCount = 0;
    return 0;
}

TESSALOOM_PENDING HRESULT CSaverFramework::Render3D() { return 0; }

TESSALOOM_PENDING void CSaverFramework::Cleanup3D() {
    renderUnitCount = 0;
    currentDevice = nullptr;
    if (direct3D) {
        direct3D->Release();
        direct3D = nullptr;
    }
}

TESSALOOM_PENDING void CSaverFramework::AnimateErrorBox() {
    static bool told = false;
    if (!told) {
        told = true;
        std::fprintf(stderr, "tessaloom: error 0x%08X (the error box is not part of this build)\n",
                     static_cast<unsigned>(errorCode));
        Cleanup3D();
    }
}

TESSALOOM_PENDING void CSaverFramework::ShowError(HRESULT code) {
    WCHAR text[400] = {};
    GetErrorText(code, text, 400);
    std::fprintf(stderr, "tessaloom: error 0x%08X %s\n", static_cast<unsigned>(code), tessaloom::Utf16ToUtf8(text).c_str());
}

TESSALOOM_PENDING void CSaverFramework::ReleaseDirect3D() {
    for (auto*& a : adapters) {
        delete a;
        a = nullptr;
    }
    adapterCount = 0;
    if (direct3D) {
        direct3D->Release();
        direct3D = nullptr;
    }
}
