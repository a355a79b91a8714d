// The saver loop: messages first, then one frame per idle pass after a 30 ms
// sleep; drawing every render unit with lost-device recovery; releasing the
// devices; the frame-rate texts.
#include "host/frame_loop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/devices.h"
#include "host/saver_framework.h"
#include "platform/win32/kernel.h"
#include "platform/win32/strings.h"

namespace {

// Frame-rate state: frames since the last rate update and its time.
uint32_t g_frameCount = 0;
double g_lastRateUpdate = 0.0;

}  // namespace

namespace tessaloom::host {
namespace {

const FrameClock kKernelClock = {QueryPerformanceFrequency, QueryPerformanceCounter, timeGetTime};

struct FrameTimer {
    bool initialized = false;
    bool usesCounter = false;
    int64_t frequency = 0;
    int64_t startCounter = 0;
    double startSeconds = 0.0;
};

const FrameClock* g_clock = &kKernelClock;
FrameClock g_customClock{};
FrameTimer g_timer;

void EnsureFrequency() {
    if (g_timer.initialized) return;
    g_timer.initialized = true;
    LARGE_INTEGER f{};
    g_timer.usesCounter = g_clock->frequency(&f) && f.QuadPart > 0;
    g_timer.frequency = g_timer.usesCounter ? f.QuadPart : 0;
}

int64_t Counter() {
    LARGE_INTEGER c{};
    g_clock->counter(&c);
    return c.QuadPart;
}

double MillisecondSeconds() { return static_cast<double>(g_clock->milliseconds()) * 0.001; }

}  // namespace

void SetFrameClock(const FrameClock* clock) {
    if (clock) {
        g_customClock = *clock;
        g_clock = &g_customClock;
    } else {
        g_clock = &kKernelClock;
    }
    g_timer = FrameTimer{};
}

void StartFrameTimer() {
    EnsureFrequency();
    if (g_timer.usesCounter)
        g_timer.startCounter = Counter();
    else
        g_timer.startSeconds = MillisecondSeconds();
    g_frameCount = 0;
    g_lastRateUpdate = 0.0;
}

double FrameTimerTime() {
    EnsureFrequency();
    if (g_timer.usesCounter)
        return static_cast<double>(Counter() - g_timer.startCounter) / static_cast<double>(g_timer.frequency);
    return MillisecondSeconds() - g_timer.startSeconds;
}

double FrameTimerAbsoluteTime() {
    EnsureFrequency();
    if (g_timer.usesCounter) return static_cast<double>(Counter()) / static_cast<double>(g_timer.frequency);
    return MillisecondSeconds();
}

}  // namespace tessaloom::host

namespace {


// A hook of the scene.  An exception thrown out of it is the scene's
// failure: the saver enters its error mode with the scene's code.
template <typename Hook>
HRESULT Guarded(CSaverFramework& saver, Hook hook) {
    try {
        return hook();
    } catch (...) {
        saver.SetErrorMode(kSceneException);
        return kSceneException;
    }
}

const char* DepthStencilName(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16: return " (D16)";
        case D3DFMT_D15S1: return " (D15S1)";
        case D3DFMT_D24X8: return " (D24X8)";
        case D3DFMT_D24S8: return " (D24S8)";
        case D3DFMT_D24X4S4: return " (D24X4S4)";
        case D3DFMT_D32: return " (D32)";
        default: return "";
    }
}

}  // namespace

HRESULT CSaverFramework::RunSaverLoop() {
    tessaloom::host::StartFrameTimer();
    if (!errorMode) {
        HRESULT hr = InitScene();
        if (FAILED(hr)) return hr;
        buildingWindowsOrUnits = true;
        Initialize3D();
        buildingWindowsOrUnits = false;
    }
    if (runMode == FullScreen) SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0);
    RunPendingEnd();
    MSG msg{};
    while (msg.message != WM_QUIT) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            Sleep(30);
            if (errorMode)
                AnimateErrorBox();
            else
                Render3D();
        }
    }
    return 0;
}

HRESULT CSaverFramework::Render3D() {
    appTime = tessaloom::host::FrameTimerTime();
    Guarded(*this, [this] { return FrameMove(); });  // its result is not checked
    UpdateFpsText();
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        RenderUnitRecord& unit = renderUnits[i];
        SelectRenderUnit(i);
        if (!unit.device) continue;
        const HRESULT level = unit.device->TestCooperativeLevel();
        if (level == D3DERR_DEVICELOST) return 0;
        if (level == D3DERR_DEVICENOTRESET) {
            if (unit.objectsRestored) {
                Guarded(*this, [this] { return LoseDeviceResources(); });
                unit.objectsRestored = 0;
            }
            if (!unit.device) break;  // the hook ended the saver
            if (windowed && direct3D && unit.adapterIndex >= 0 && unit.adapterIndex < kMaxAdapters && adapters[unit.adapterIndex])
                direct3D->GetAdapterDisplayMode(static_cast<UINT>(unit.adapterIndex),
                                                &adapters[unit.adapterIndex]->desktopMode);
            if (FAILED(unit.device->Reset(&unit.presentParams))) {
                errorMode = 1;
            } else if (FAILED(Guarded(*this, [this] { return RestoreDeviceResources(); }))) {
                errorMode = 1;
            } else {
                unit.objectsRestored = 1;
            }
        }
        if (errorMode) continue;
        Guarded(*this, [this] { return Render(); });
    }
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        SelectRenderUnit(i);
        if (renderUnits[i].device) renderUnits[i].device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    return 0;
}

void CSaverFramework::SelectRenderUnit(uint32_t i) {
    RenderUnitRecord& unit = renderUnits[i];
    currentDevice = unit.device;
    lstrcpynW(deviceStatsText, unit.deviceText, static_cast<int>(sizeof deviceStatsText / sizeof deviceStatsText[0]));
    lstrcpynW(frameStatsText, unit.rateText, static_cast<int>(sizeof frameStatsText / sizeof frameStatsText[0]));
    OnRenderUnitSelected(static_cast<int>(i));
}

void CSaverFramework::Cleanup3D() {
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        RenderUnitRecord& unit = renderUnits[i];
        SelectRenderUnit(i);
        if (unit.objectsRestored) {
            Guarded(*this, [this] { return LoseDeviceResources(); });
            unit.objectsRestored = 0;
        }
        if (unit.objectsCreated) {
            Guarded(*this, [this] { return DestroyDeviceResources(); });
            unit.objectsCreated = 0;
        }
        if (unit.device) unit.device->Release();
        unit.device = nullptr;
        currentDevice = nullptr;
    }
    renderUnitCount = 0;
    currentDevice = nullptr;
    if (direct3D) direct3D->Release();
    direct3D = nullptr;
}

void CSaverFramework::UpdateFpsText() {
    ++g_frameCount;
    const double t = tessaloom::host::FrameTimerAbsoluteTime();
    if (t - g_lastRateUpdate <= 1.0) return;
    framesPerSecond = static_cast<float>(g_frameCount / (t - g_lastRateUpdate));
    g_frameCount = 0;
    g_lastRateUpdate = t;
    for (uint32_t i = 0; i < renderUnitCount; ++i) {
        RenderUnitRecord& unit = renderUnits[i];
        const int32_t a = unit.adapterIndex;
        if (a < 0 || a >= kMaxAdapters || !adapters[a] || !direct3D) continue;
        D3DDISPLAYMODE mode{};
        direct3D->GetAdapterDisplayMode(static_cast<UINT>(a), &mode);
        char text[80];
        std::snprintf(text, sizeof text, "%.02f fps (%dx%dx%d)", static_cast<double>(framesPerSecond),
                      static_cast<int>(mode.Width), static_cast<int>(mode.Height),
                      mode.Format == D3DFMT_X8R8G8B8 ? 32 : 16);
        if (useDepthBuffer) {
            const AdapterRecord& adapter = *adapters[a];
            const DeviceRecord& device = adapter.devices[adapter.currentDevice];
            if (device.currentMode < device.modeCount) {
                const size_t n = std::strlen(text);
                std::snprintf(text + n, sizeof text - n, "%s", DepthStencilName(device.modes[device.currentMode].depthStencilFormat));
            }
        }
        const size_t capacity = sizeof unit.rateText / sizeof unit.rateText[0];
        size_t k = 0;
        for (; text[k] && k + 1 < capacity; ++k) unit.rateText[k] = static_cast<WCHAR>(static_cast<unsigned char>(text[k]));
        unit.rateText[k] = 0;
    }
    // The texts are drawn nowhere; TESSALOOM_FRAME_STATS=1 prints them.
    static const bool print = [] {
        const DWORD needed = GetEnvironmentVariableW(u"TESSALOOM_FRAME_STATS", nullptr, 0);
        if (needed <= 1) return false;  // not set, or empty
        std::u16string v(needed, u'\0');
        return GetEnvironmentVariableW(u"TESSALOOM_FRAME_STATS", v.data(), needed) > 0 && v[0] != u'0';
    }();
    if (print) {
        for (uint32_t i = 0; i < renderUnitCount; ++i)
            std::fprintf(stderr, "tessaloom: unit %u: %s, %s\n", i,
                         tessaloom::Utf16ToUtf8(renderUnits[i].deviceText).c_str(),
                         tessaloom::Utf16ToUtf8(renderUnits[i].rateText).c_str());
    }
}
