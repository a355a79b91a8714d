// The saver framework: start-up, run modes, saver windows and the events
// that end the saver.
#include "host/saver_framework.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "document/result_codes.h"
#include "host/audio_graph.h"
#include "platform/win32/strings.h"

CSaverFramework* g_saver = nullptr;

namespace {

// The last mouse position seen by any saver window; never reset, so the first
// WM_MOUSEMOVE always counts.
POINT g_lastMouse = {-1, -1};

const WCHAR kWindowClass[] = u"SceneSaverWndClass";

// The window that a console control event (an interrupt, the console or the
// session closing) is posted to; null while there is none.  The routine runs
// on a thread of its own.
std::atomic<HWND> g_endTarget{nullptr};

BOOL EndOnControlEvent(DWORD event) {
    HWND target = g_endTarget.load();
    // Without a saver window to end through, the event ends the process.
    return target && PostMessageW(target, kEndSaverMessage, event, 0) ? TRUE : FALSE;
}

}  // namespace

void ReportSceneFailure(const char* hook, const char* kind, const char* text) {
    std::fprintf(stderr, "tessaloom: %s: %s%s\n", hook, kind, text);
}

CSaverFramework::CSaverFramework() {
    lstrcpynW(windowTitle, u"Screen Saver", 200);
    g_saver = this;
}

CSaverFramework::~CSaverFramework() {
    if (g_saver == this) {
        g_endTarget = nullptr;
        SetConsoleCtrlHandler(EndOnControlEvent, FALSE);
    }
    // What a saver that never ran still holds (the hooks are gone by now).
    for (uint32_t i = 0; i < renderUnitCount; ++i)
        if (renderUnits[i].device) renderUnits[i].device->Release();
    renderUnitCount = 0;
    ReleaseDirect3D();
    if (g_saver == this) g_saver = nullptr;
}

HRESULT CSaverFramework::Create(HINSTANCE inst) {
    // The thread keeps its priority.  On Linux an idle (nice 19) thread, whose
    // priority SDL's and the GL driver's threads inherit, gets a sliver of
    // the processor whenever anything else runs: measured with the X11 checks
    // on a busy machine, at nice 19 a key press had not ended the full-screen
    // saver after 10 s, nor had another application taking the focus or the
    // preview's parent going, and start-up had not drawn a frame; at normal
    // priority under the same load each of them ended it (the key in 2.1 to
    // 4.4 s, the length of one frame there).  Ending promptly on the user's
    // action matters more than yielding the processor.
    instance = inst;
    runMode = ParseCommandLine(GetCommandLineW());
    EnumerateMonitors();
    if (runMode == Preview || runMode == FullScreen || runMode == TestWindow) {
        buildingWindowsOrUnits = true;
        HRESULT hr = CreateSaverWindows();
        buildingWindowsOrUnits = false;
        if (FAILED(hr)) SetErrorMode(hr);
        // From here on an interrupt or the session's end goes through the
        // message loop like a key: the saver's windows leave the screen, the
        // devices and the scene are released and the loop ends.
        if (mainWindow && IsWindow(mainWindow)) {
            g_endTarget = mainWindow;
            SetConsoleCtrlHandler(EndOnControlEvent, TRUE);
        }
        RunPendingEnd();
    }
    if (runMode == Preview && !PreviewSettle()) return 0;

    direct3D = CreateDirect3DObject();
    if (!direct3D) {
        SetErrorMode(kDirect3DNotInitialized);
        return 0;
    }
    HRESULT hr = PrepareDeviceEnumeration();
    if (FAILED(hr)) {
        SetErrorMode(hr);
        return 0;
    }
    hr = EnumerateDevices();
    if (FAILED(hr)) {
        SetErrorMode(hr);
        return 0;
    }
    if (!HasCompatibleAdapter()) {
        SetErrorMode(kNoCompatibleDevices);
        return 0;
    }
    LoadSettings();
    if (runMode == FullScreen || runMode == TestWindow) InitAudioGraph(mainWindow);
    return 0;
}

// Lets a new preview window settle: the window starts a 500 ms timer on
// WM_USER and clears the wait flag when it fires.  The wait also ends when
// the window is missing or destroyed or GetMessageW fails.  False when it
// ended with WM_QUIT (posted again for the loop): start-up stops then.
bool CSaverFramework::PreviewSettle() {
    previewWait = 1;
    if (!mainWindow || !PostMessageW(mainWindow, WM_USER, 0, 0)) {
        previewWait = 0;
        return true;
    }
    MSG msg;
    while (previewWait) {
        BOOL r = GetMessageW(&msg, mainWindow, 0, 0);
        if (r == 0) {
            PostQuitMessage(0);
            previewWait = 0;
            return false;
        }
        if (r == -1) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    previewWait = 0;
    return true;
}

bool CSaverFramework::HasSaverWindow() const {
    for (uint32_t i = 0; i < monitorCount && i < kMaxMonitors; ++i)
        if (monitors[i].window && IsWindow(monitors[i].window)) return true;
    return mainWindow && IsWindow(mainWindow);
}

bool CSaverFramework::HasCompatibleAdapter() const {
    for (uint32_t i = 0; i < adapterCount; ++i)
        if (adapters[i] && (adapters[i]->compatibleHardware || adapters[i]->compatibleSoftware)) return true;
    return false;
}

HRESULT CSaverFramework::Run() {
    switch (runMode) {
        case Config:
            if (errorMode)
                ShowError(errorCode);
            else
                ShowConfigDialog();
            break;
        case Preview:
        case FullScreen:
        case TestWindow: {
            if (errorMode && !HasSaverWindow()) {
                // The mode's windows could not be made at all (a preview
                // parent that is no window, no monitor to cover): nothing
                // could show the error box and nothing could end the loop,
                // so the error goes to stderr and the process fails.
                WCHAR text[512] = {};
                GetErrorText(errorCode, text, 512);
                std::fprintf(stderr, "tessaloom: %s (0x%08X); no saver window could be made\n",
                             tessaloom::Utf16ToUtf8(text).c_str(), static_cast<unsigned>(errorCode));
                ReleaseDirect3D();
                return kExitNoSaverWindow;
            }
            HRESULT hr = RunSaverLoop();
            if (FAILED(hr)) ShowError(hr);
            break;
        }
        case SaverRunMode::ChangePassword:
            ChangePassword();
            break;
        case NoAction:
            break;
    }
    ReleaseDirect3D();
    return 0;
}

SaverRunMode CSaverFramework::ParseCommandLine(const WCHAR* line) {
    parentWindow = nullptr;
    if (!line) return Config;
    const WCHAR* p = line;
    if (*p == u'"') {
        ++p;
        while (*p && *p != u'"') ++p;
        if (*p == u'"') ++p;
    } else {
        while (*p && *p != u' ') ++p;
        if (*p == u' ') ++p;
    }
    while (*p && *p != u'/' && *p != u'-') ++p;
    if (!*p) return Config;
    ++p;
    SaverRunMode mode;
    switch (*p) {
        case u'a': case u'A': mode = SaverRunMode::ChangePassword; break;
        case u'c': case u'C': mode = Config; break;
        case u'p': case u'P': mode = Preview; break;
        case u'r': case u'R': mode = NoAction; break;
        case u't': case u'T': mode = TestWindow; break;
        default: return FullScreen;  // the end of the line too
    }
    if (mode == SaverRunMode::ChangePassword || mode == Config || mode == Preview) {
        ++p;
        while (*p && !(*p >= u'0' && *p <= u'9')) ++p;
        if (*p) {
            // Read like _wtoi: decimal digits, INT_MAX when the number is larger.
            int64_t value = 0;
            while (*p >= u'0' && *p <= u'9') {
                value = value * 10 + (*p++ - u'0');
                if (value > INT32_MAX) value = INT32_MAX;
            }
            parentWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(value));
        }
    }
    return mode;
}

void CSaverFramework::EnumerateMonitors() {
    monitorCount = 0;
    DISPLAY_DEVICEW device;
    for (DWORD n = 0;; ++n) {
        device = DISPLAY_DEVICEW{};
        device.cb = sizeof device;
        if (!EnumDisplayDevicesW(nullptr, n, &device, 0)) break;
        if (device.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
        DISPLAY_DEVICEW monitor{};
        monitor.cb = sizeof monitor;
        EnumDisplayDevicesW(device.DeviceName, 0, &monitor, 0);
        ScreenRecord& record = monitors[monitorCount];
        record = ScreenRecord{};
        lstrcpynW(record.adapterDescription, device.DeviceString, 128);
        lstrcpynW(record.monitorDescription, monitor.DeviceString, 128);
        record.adapterIndex = -1;
        if (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) {
            DEVMODEW mode{};
            mode.dmSize = sizeof mode;
            EnumDisplaySettingsW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode);
            RECT r;
            if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) {
                r.left = 0;
                r.top = 0;
            } else {
                r.left = mode.dmPosition.x;
                r.top = mode.dmPosition.y;
            }
            r.right = r.left + static_cast<LONG>(mode.dmPelsWidth);
            r.bottom = r.top + static_cast<LONG>(mode.dmPelsHeight);
            record.monitorRect = r;
            record.monitor = MonitorFromRect(&r, MONITOR_DEFAULTTONULL);
        }
        if (++monitorCount == kMaxMonitors) break;
    }
}

HRESULT CSaverFramework::CreateSaverWindows() {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SaverWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // not checked

    HWND window = nullptr;
    if (runMode == Preview) {
        RECT r{};
        GetClientRect(parentWindow, &r);
        DWORD style = WS_CHILD | WS_VISIBLE;
        AdjustWindowRect(&r, style, FALSE);
        window = CreateWindowExW(0, kWindowClass, windowTitle, style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, parentWindow, nullptr, instance, this);
    } else if (runMode == FullScreen) {
        mainWindow = nullptr;
        for (uint32_t i = 0; i < monitorCount; ++i) {
            ScreenRecord& m = monitors[i];
            if (!m.monitor) continue;
            const RECT& r = m.monitorRect;
            HWND w = CreateWindowExW(WS_EX_TOPMOST, kWindowClass, windowTitle, WS_POPUP | WS_VISIBLE, r.left, r.top,
                                     r.right - r.left, r.bottom - r.top, mainWindow, nullptr, instance, this);
            if (!w) return E_FAIL;
            m.window = w;
            if (!mainWindow) mainWindow = w;
        }
        return mainWindow ? S_OK : E_FAIL;
    } else if (runMode == TestWindow) {
        RECT r{50, 50, 650, 450};
        DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        AdjustWindowRect(&r, style, FALSE);
        window = CreateWindowExW(0, kWindowClass, windowTitle, style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, instance, this);
    } else {
        return E_FAIL;
    }
    // Preview and TestWindow.  The window may already be gone again when a
    // message sent during creation ended the saver.
    if (window && IsWindow(window)) {
        mainWindow = window;
        monitors[0].window = window;
        GetClientRect(window, &totalRect);
        return S_OK;
    }
    return E_FAIL;
}

LRESULT SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_saver) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return g_saver->HandleWindowMessage(window, message, wParam, lParam);
    } catch (...) {
        return 1;
    }
}

LRESULT CSaverFramework::HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            if (runMode == Preview || runMode == TestWindow) ShutdownSaver();
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (runMode == Preview && !errorMode) {
                RECT client{};
                GetClientRect(window, &client);
                FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            } else {
                PaintErrorBox(window, dc);
            }
            EndPaint(window, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_ACTIVATEAPP:
            if (wParam == 0 && runMode != TestWindow) InterruptSaver();
            break;
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (runMode != TestWindow) InterruptSaver();
            break;
        case WM_MOUSEMOVE:
            if (runMode != TestWindow) {
                int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
                if (x != g_lastMouse.x || y != g_lastMouse.y) {
                    ++mouseMoveCount;
                    g_lastMouse = POINT{x, y};
                    if (mouseMoveCount > 5) InterruptSaver();
                }
            }
            break;
        case WM_SETCURSOR:
            if (runMode == FullScreen) {
                SetCursor(nullptr);
                return 1;
            }
            break;
        case WM_SYSCOMMAND:
            if (runMode == FullScreen &&
                (wParam == SC_CLOSE || wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
                return 0;
            break;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMSUSPEND) InterruptSaver();
            break;
        case WM_USER:
            SetTimer(window, 1, 500, nullptr);
            break;
        case WM_TIMER:
            previewWait = 0;
            KillTimer(window, 1);
            break;
        case WM_APP:
            OnMediaEvent(GetAudioEvent());
            break;
        case kEndSaverMessage:
            if (runMode == Preview || runMode == FullScreen || runMode == TestWindow) EndSaver(runMode == FullScreen, true);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CSaverFramework::InterruptSaver() {
    if (runMode != FullScreen && runMode != TestWindow) return;
    EndSaver(runMode == FullScreen, true);
}

// The window is being destroyed: nothing is left to hide.
void CSaverFramework::ShutdownSaver() { EndSaver(runMode == FullScreen, false); }

void CSaverFramework::EndSaver(bool clearRunningFlag, bool hideWindows) {
    if (buildingWindowsOrUnits) {
        endPending = true;
        endPendingClearsFlag = endPendingClearsFlag || clearRunningFlag;
        endPendingHides = endPendingHides || hideWindows;
        return;
    }
    if (clearRunningFlag) SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, nullptr, 0);
    if (hideWindows) HideSaverWindows();
    Cleanup3D();
    ShutdownScene();
    PostQuitMessage(0);
}

// The windows leave the screen as soon as the saver ends, before the devices
// and the scene are released, which takes longer than a frame.
void CSaverFramework::HideSaverWindows() {
    for (uint32_t i = 0; i < monitorCount && i < kMaxMonitors; ++i) {
        HWND w = monitors[i].window;
        if (w && w != mainWindow && IsWindow(w) && IsWindowVisible(w)) ShowWindow(w, SW_HIDE);
    }
    // The main window last: it owns the others.
    if (mainWindow && IsWindow(mainWindow) && IsWindowVisible(mainWindow)) ShowWindow(mainWindow, SW_HIDE);
}

void CSaverFramework::RunPendingEnd() {
    if (!endPending) return;
    endPending = false;
    const bool clear = endPendingClearsFlag, hide = endPendingHides;
    endPendingClearsFlag = false;
    endPendingHides = false;
    EndSaver(clear, hide);
}

// The network provider library of the Windows 9x password change does not
// exist here: the call does what it does when the library cannot be loaded.
void CSaverFramework::ChangePassword() {}
