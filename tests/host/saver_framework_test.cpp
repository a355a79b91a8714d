// The saver framework: the command line, start-up in each mode, the saver
// windows and the events that end the saver.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "host/audio_graph.h"
#include "platform/win32/strings.h"
#include "platform/win32/window_bridge.h"
#include "tests/host/saver_test_support.h"

namespace {

using tessaloom::test::ResetWindowState;

HWND Handle(intptr_t v) { return reinterpret_cast<HWND>(v); }

TEST(SaverCommandLine, SwitchesChooseTheModeAndParent) {
    struct Case {
        const char16_t* line;
        SaverRunMode mode;
        intptr_t parent;
    };
    const std::vector<Case> cases = {
        {u"saver.scr", Config, 0},
        {u"", Config, 0},
        {u"saver.scr /c:1234", Config, 1234},
        {u"saver.scr /c", Config, 0},
        {u"saver.scr /C 77", Config, 77},
        {u"saver.scr /p 5678", Preview, 5678},
        {u"saver.scr -P:5678", Preview, 5678},
        {u"saver.scr /p", Preview, 0},
        {u"saver.scr /s", FullScreen, 0},
        {u"saver.scr /S", FullScreen, 0},
        {u"saver.scr /x", FullScreen, 0},
        {u"saver.scr /9", FullScreen, 0},
        {u"saver.scr /", FullScreen, 0},
        {u"\"C:\\a/b c\\saver.scr\" /t", TestWindow, 0},
        {u"C:\\a-b\\saver.scr /t", TestWindow, 0},
        {u"saver.scr foo-t", TestWindow, 0},
        {u"saver.scr /t 55", TestWindow, 0},
        {u"saver.scr /a 99", SaverRunMode::ChangePassword, 99},
        {u"saver.scr /r", NoAction, 0},
        {u"\"unterminated /s", Config, 0},
        {u"saver.scr /p 4294967295", Preview, 2147483647},  // read like _wtoi
    };
    for (const auto& c : cases) {
        TestSaver saver;
        saver.parentWindow = Handle(1);
        EXPECT_EQ(saver.ParseCommandLine(c.line), c.mode) << std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line));
        EXPECT_EQ(saver.parentWindow, Handle(c.parent));
    }
}

TEST(SaverCommandLine, TheProcessCommandLineSkipsAProgramPathWithBlanks) {
    SetCommandLine({"/opt/my saver/tessaloom-saver", "/p", "123"});
    TestSaver saver;
    EXPECT_EQ(saver.ParseCommandLine(GetCommandLineW()), Preview);
    EXPECT_EQ(saver.parentWindow, Handle(123));
    SetCommandLine({"/opt/a-b/tessaloom-saver", "/t"});
    EXPECT_EQ(saver.ParseCommandLine(GetCommandLineW()), TestWindow);
}

class SaverFramework : public ::testing::Test {
protected:
    void SetUp() override { ResetWindowState(); }
    void TearDown() override {
        // Create builds the music graph in the full-screen and test modes;
        // it goes here, not in the tests after these.
        ReleaseAudioGraph();
        ResetWindowState();
    }
};

TEST_F(SaverFramework, DefaultsOfTheConstructor) {
    TestSaver saver;
    EXPECT_EQ(g_saver, &saver);
    EXPECT_EQ(std::u16string(saver.windowTitle), u"Screen Saver");
    EXPECT_EQ(saver.minDepthBits, 16u);
    EXPECT_EQ(saver.minStencilBits, 0u);
    EXPECT_EQ(saver.errorMode, 0);
    EXPECT_EQ(saver.useDepthBuffer, 0);
    EXPECT_EQ(saver.registryKeyPath[0], 0);
    EXPECT_EQ(saver.mainWindow, nullptr);
}

TEST_F(SaverFramework, MonitorTableSkipsMirrorsAndKeepsOffDesktopDevices) {
    tessaloom::test::SetFakeDisplays({
        {"Left", {0, 0, 1024, 768}, {{1024, 768}}},
        {"Mirror", {0, 0, 1024, 768}, {{1024, 768}}, true, true},
        {"Off", {0, 0, 800, 600}, {{800, 600}}, false},
        {"Right", {1024, 0, 2304, 1024}, {{1280, 1024}}},
    });
    TestSaver saver;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.monitorCount, 3u);
    EXPECT_EQ(std::u16string(saver.monitors[0].monitorDescription), u"Left");
    EXPECT_NE(saver.monitors[0].monitor, nullptr);
    EXPECT_EQ(saver.monitors[0].adapterIndex, -1);
    EXPECT_EQ(std::u16string(saver.monitors[1].monitorDescription), u"Off");
    EXPECT_EQ(saver.monitors[1].monitor, nullptr);
    EXPECT_EQ(saver.monitors[1].monitorRect.right, 0);
    EXPECT_EQ(saver.monitors[2].monitorRect.left, 1024);
    EXPECT_EQ(saver.monitors[2].monitorRect.right, 2304);
    EXPECT_EQ(saver.monitors[2].monitor, tessaloom::MonitorFromDisplayIndex(3));

    saver.runMode = FullScreen;
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    HWND first = saver.monitors[0].window, second = saver.monitors[2].window;
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(saver.monitors[1].window, nullptr);
    EXPECT_EQ(saver.mainWindow, first);
    EXPECT_EQ(GetWindow(first, GW_OWNER), nullptr);
    EXPECT_EQ(GetWindow(second, GW_OWNER), first);
    RECT r;
    GetWindowRect(second, &r);
    EXPECT_EQ(r.left, 1024);
    EXPECT_EQ(r.bottom, 1024);
    SDL_Window* sdl = tessaloom::SdlWindowFromHwnd(second);
    ASSERT_NE(sdl, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS);
}

TEST_F(SaverFramework, AtMostNineMonitorRecords) {
    std::vector<tessaloom::test::FakeDisplay> many;
    for (int i = 0; i < 12; ++i) many.push_back({"M", {i * 100, 0, i * 100 + 100, 100}, {{100, 100}}});
    tessaloom::test::SetFakeDisplays(many);
    TestSaver saver;
    saver.EnumerateMonitors();
    EXPECT_EQ(saver.monitorCount, 9u);
}

TEST_F(SaverFramework, TestWindowHasAClientAreaOf600By400) {
    TestSaver saver;
    saver.runMode = TestWindow;
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    ASSERT_NE(saver.mainWindow, nullptr);
    EXPECT_EQ(saver.monitors[0].window, saver.mainWindow);
    EXPECT_EQ(saver.totalRect.right, 600);
    EXPECT_EQ(saver.totalRect.bottom, 400);
    EXPECT_EQ(GetParent(saver.mainWindow), nullptr);
}

TEST_F(SaverFramework, FullScreenWithoutMonitorsFails) {
    tessaloom::test::SetFakeDisplays({{"Off", {0, 0, 800, 600}, {{800, 600}}, false}});
    TestSaver saver;
    saver.runMode = FullScreen;
    saver.EnumerateMonitors();
    EXPECT_EQ(saver.CreateSaverWindows(), E_FAIL);
}

enum class Event { Key, LeftButton, RightButton, MiddleButton, SixMoves, FiveMoves, RepeatedMoves, Deactivate, Suspend, Destroy };

const char* Name(Event e) {
    const char* names[] = {"key", "left", "right", "middle", "six moves", "five moves", "repeated moves", "deactivate", "suspend", "destroy"};
    return names[static_cast<int>(e)];
}

TEST_F(SaverFramework, WhatEndsTheSaverInEachMode) {
    struct Case {
        Event event;
        bool preview, fullScreen, testWindow;
    };
    const std::vector<Case> cases = {
        {Event::Key, false, true, false},
        {Event::LeftButton, false, true, false},
        {Event::RightButton, false, true, false},
        {Event::MiddleButton, false, true, false},
        {Event::SixMoves, false, true, false},
        {Event::FiveMoves, false, false, false},
        {Event::RepeatedMoves, false, false, false},
        {Event::Deactivate, false, true, false},
        {Event::Suspend, false, true, true},
        {Event::Destroy, true, false, true},
    };
    static int position = 1000;  // the last mouse position is process-wide
    for (const auto& c : cases) {
        for (SaverRunMode mode : {Preview, FullScreen, TestWindow}) {
            ResetWindowState();
            TwoMonitors();
            bool expected = mode == Preview ? c.preview : mode == FullScreen ? c.fullScreen : c.testWindow;
            bool ended;
            int scenes;
            {
                TestSaver saver;
                saver.runMode = mode;
                HWND parent = mode == Preview ? tessaloom::test::CreateForeignWindow(200, 150) : nullptr;
                saver.parentWindow = parent;
                saver.EnumerateMonitors();
                ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
                HWND w = saver.mainWindow;
                if (mode == FullScreen) SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0);
                ASSERT_FALSE(DrainMessages());
                saver.mouseMoveCount = 0;
                switch (c.event) {
                    case Event::Key: tessaloom::test::InjectKey(w, VK_ESCAPE); break;
                    case Event::LeftButton: tessaloom::test::InjectMouseButton(w, 1); break;
                    case Event::RightButton: tessaloom::test::InjectMouseButton(w, 3); break;
                    case Event::MiddleButton: tessaloom::test::InjectMouseButton(w, 2); break;
                    case Event::SixMoves:
                    case Event::FiveMoves: {
                        int n = c.event == Event::SixMoves ? 6 : 5;
                        for (int i = 0; i < n; ++i, ++position) tessaloom::test::InjectMouseMove(w, position % 30000, 7);
                        break;
                    }
                    case Event::RepeatedMoves:
                        ++position;
                        for (int i = 0; i < 8; ++i) tessaloom::test::InjectMouseMove(w, position % 30000, 9);
                        break;
                    case Event::Deactivate:
                        tessaloom::test::InjectFocus(w);
                        ASSERT_FALSE(DrainMessages());
                        tessaloom::test::InjectFocus(nullptr);
                        break;
                    case Event::Suspend: tessaloom::test::InjectSuspend(); break;
                    case Event::Destroy:
                        if (mode == Preview) tessaloom::test::DestroyForeignWindow(parent);
                        else if (mode == TestWindow) tessaloom::test::InjectWindowClose(w);
                        else DestroyWindow(w);
                        break;
                }
                // Deactivation counts after a grace time.
                ended = c.event == Event::Deactivate ? DrainMessagesFor(300) : DrainMessages();
                scenes = saver.shutdownSceneCalls;
                if (expected && mode == FullScreen) {
                    EXPECT_FALSE(tessaloom::test::ScreenSaverRunningFlag()) << Name(c.event);
                }
                ResetWindowState();
            }
            EXPECT_EQ(ended, expected) << Name(c.event) << " in mode " << mode;
            // Activation and suspend reach every top-level window, so with two
            // monitors the end steps may run once per window.
            EXPECT_EQ(scenes > 0, expected) << Name(c.event) << " in mode " << mode;
        }
    }
}

TEST_F(SaverFramework, FullScreenDropsTheExactSystemCommandsOnly) {
    TwoMonitors();
    TestSaver saver;
    saver.runMode = FullScreen;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    HWND w = saver.mainWindow;
    for (WPARAM command : {SC_CLOSE, SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE}) {
        EXPECT_EQ(SendMessageW(w, WM_SYSCOMMAND, command, 0), 0);
        EXPECT_TRUE(IsWindow(w));
    }
    // The close command with the system's low bits set is not the exact value:
    // it reaches DefWindowProc, which closes the window.
    SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE | 2, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(DrainMessages());  // a destroyed full-screen window does not end the saver
}

TEST_F(SaverFramework, FullScreenHidesTheCursorAndHandlerExceptionsReturnOne) {
    TwoMonitors();
    TestSaver saver;
    saver.runMode = FullScreen;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    HWND w = saver.mainWindow;
    EXPECT_EQ(SendMessageW(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    EXPECT_TRUE(tessaloom::test::CursorHidden());
    saver.onMessage = [](HWND, UINT m, WPARAM, LPARAM) {
        if (m == WM_USER + 5) throw 42;
    };
    EXPECT_EQ(SendMessageW(w, WM_USER + 5, 0, 0), 1);
    EXPECT_EQ(SendMessageW(w, WM_ERASEBKGND, 0, 0), 1);
}

TEST_F(SaverFramework, InterruptDuringWindowCreationWaitsForTheBuildingToFinish) {
    TwoMonitors();
    SetCommandLine({"saver", "/s"});
    TestSaver saver;
    int scenesAtInterrupt = -1;
    saver.onMessage = [&](HWND, UINT m, WPARAM, LPARAM) {
        if (m == WM_CREATE && scenesAtInterrupt < 0) {
            saver.InterruptSaver();
            scenesAtInterrupt = saver.shutdownSceneCalls;
        }
    };
    saver.Create(nullptr);
    EXPECT_EQ(scenesAtInterrupt, 0);
    EXPECT_EQ(saver.shutdownSceneCalls, 1);
    EXPECT_NE(saver.monitors[1].window, nullptr);  // the second window was still made
    EXPECT_TRUE(DrainMessages());
}

TEST_F(SaverFramework, FullScreenLoopSetsTheRunningFlagAndEndsOnAKey) {
    TwoMonitors();
    SetCommandLine({"saver", "/s"});
    TestSaver saver;
    bool flagWhileRunning = false;
    saver.onMessage = [&](HWND, UINT m, WPARAM, LPARAM) {
        if (m == WM_KEYDOWN) flagWhileRunning = tessaloom::test::ScreenSaverRunningFlag();
    };
    saver.Create(nullptr);
    tessaloom::test::InjectKey(saver.mainWindow, 'K');
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(saver.Run(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(flagWhileRunning);
    EXPECT_FALSE(tessaloom::test::ScreenSaverRunningFlag());
    EXPECT_EQ(saver.shutdownSceneCalls, 1);
}

TEST_F(SaverFramework, ASaverModeWithoutAnyWindowWritesTheErrorAndFails) {
    // A preview parent that is no window, and a full screen with no monitor
    // on the desktop: no error box can be shown, so Run says why on stderr
    // and returns a failure at once instead of running a loop nothing ends.
    for (const auto& args : std::vector<std::vector<std::string>>{{"saver", "/p", "12345"}, {"saver", "/s"}}) {
        SCOPED_TRACE(args[1]);
        ResetWindowState();
        tessaloom::test::SetFakeDisplays({{"Off", {0, 0, 800, 600}, {{800, 600}}, false}});
        SetCommandLine(args);
        TestSaver saver;
        saver.Create(nullptr);
        ASSERT_TRUE(saver.errorMode);
        EXPECT_EQ(saver.errorCode, E_FAIL);
        ::testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        const HRESULT result = saver.Run();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, kExitNoSaverWindow);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_NE(err.find("0x80004005"), std::string::npos) << err;
        EXPECT_NE(err.find("no saver window"), std::string::npos) << err;
        EXPECT_EQ(saver.direct3D, nullptr);
        EXPECT_EQ(saver.adapterCount, 0u);
    }
}

TEST_F(SaverFramework, AnErrorWithAWindowKeepsTheErrorBox) {
    // The window exists: the error box shows in it and a key ends the saver
    // as usual, with nothing on stderr and a zero result.
    SetCommandLine({"saver", "/s"});
    TestSaver saver;
    saver.Create(nullptr);
    ASSERT_NE(saver.mainWindow, nullptr);
    saver.SetErrorMode(static_cast<HRESULT>(0x82000003u));
    int paints = 0;
    saver.onMessage = [&](HWND w, UINT m, WPARAM, LPARAM) {
        if (m == WM_PAINT && ++paints == 1) tessaloom::test::InjectKey(w, 'K');
    };
    ::testing::internal::CaptureStderr();
    const HRESULT result = saver.Run();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_GE(paints, 1);
    EXPECT_EQ(err.find("no saver window"), std::string::npos) << err;
    EXPECT_EQ(saver.shutdownSceneCalls, 1);
}

TEST_F(SaverFramework, TestWindowLoopEndsWhenClosedNotOnKeys) {
    SetCommandLine({"saver", "/t"});
    TestSaver saver;
    int keys = 0;
    saver.onMessage = [&](HWND w, UINT m, WPARAM, LPARAM) {
        if (m == WM_KEYDOWN && ++keys == 1) tessaloom::test::InjectWindowClose(w);
    };
    saver.Create(nullptr);
    ASSERT_NE(saver.mainWindow, nullptr);
    tessaloom::test::InjectKey(saver.mainWindow, 'K');
    EXPECT_EQ(saver.Run(), 0);
    EXPECT_EQ(keys, 1);
    EXPECT_FALSE(IsWindow(saver.mainWindow));
    EXPECT_EQ(saver.shutdownSceneCalls, 1);
}

TEST_F(SaverFramework, PreviewWaitsHalfASecondThenStartsDirect3D) {
    HWND parent = tessaloom::test::CreateForeignWindow(152, 112);
    SetCommandLine({"saver", "/p", HandleText(parent)});
    TestSaver saver;
    auto start = std::chrono::steady_clock::now();
    saver.Create(nullptr);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(450));
    EXPECT_EQ(saver.runMode, Preview);
    EXPECT_EQ(saver.previewWait, 0);
    ASSERT_NE(saver.mainWindow, nullptr);
    EXPECT_EQ(GetParent(saver.mainWindow), parent);
    EXPECT_EQ(saver.totalRect.right, 152);
    EXPECT_EQ(saver.totalRect.bottom, 112);
    // Start-up went on to Direct3D and the adapters.
    EXPECT_NE(saver.direct3D, nullptr);
    EXPECT_GE(saver.adapterCount, 1u);
    // Keys and clicks do not end a preview.
    tessaloom::test::InjectKey(saver.mainWindow, 'K');
    EXPECT_FALSE(DrainMessages());
}

TEST_F(SaverFramework, PreviewWaitExits) {
    enum class Exit { QuitDuringWait, ParentGoneDuringWait, ParentNotAWindow };
    for (Exit exit : {Exit::QuitDuringWait, Exit::ParentGoneDuringWait, Exit::ParentNotAWindow}) {
        ResetWindowState();
        HWND parent = exit == Exit::ParentNotAWindow ? Handle(4242) : tessaloom::test::CreateForeignWindow(100, 80);
        SetCommandLine({"saver", "/p", HandleText(parent)});
        TestSaver saver;
        int timers = 0;
        saver.onMessage = [&](HWND, UINT m, WPARAM, LPARAM) {
            if (m == WM_TIMER) ++timers;
            if (m != WM_USER) return;
            if (exit == Exit::QuitDuringWait) PostQuitMessage(0);
            if (exit == Exit::ParentGoneDuringWait) tessaloom::test::DestroyForeignWindow(parent);
        };
        auto start = std::chrono::steady_clock::now();
        saver.Create(nullptr);
        // The wait did not last until the settling timer; only a hang is judged by time.
        EXPECT_EQ(timers, 0) << static_cast<int>(exit);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << static_cast<int>(exit);
        EXPECT_EQ(saver.previewWait, 0);
        MSG m;
        bool quitPending = PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && m.message == WM_QUIT;
        switch (exit) {
            case Exit::QuitDuringWait:
                // Start-up stopped before Direct3D; the quit is there for the loop.
                EXPECT_TRUE(quitPending);
                EXPECT_EQ(saver.errorCode, 0);
                break;
            case Exit::ParentGoneDuringWait:
                EXPECT_TRUE(quitPending);
                EXPECT_EQ(saver.errorCode, 0);
                EXPECT_EQ(saver.shutdownSceneCalls, 1);
                EXPECT_FALSE(IsWindow(saver.mainWindow));
                break;
            case Exit::ParentNotAWindow:
                // The window could not be made; start-up went on without waiting.
                EXPECT_FALSE(quitPending);
                EXPECT_EQ(saver.mainWindow, nullptr);
                EXPECT_TRUE(saver.errorMode);
                break;
        }
        ResetWindowState();
    }
}

TEST_F(SaverFramework, RunPerModeAndTheAdapterRecordsAreFreed) {
    struct Case {
        SaverRunMode mode;
        int32_t errorMode;
        int configDialogs;
    };
    for (const Case& c : std::vector<Case>{{Config, 0, 1}, {Config, 1, 0}, {SaverRunMode::ChangePassword, 0, 0},
                                           {NoAction, 0, 0}}) {
        TestSaver saver;
        saver.runMode = c.mode;
        saver.errorMode = c.errorMode;
        saver.errorCode = c.errorMode ? E_FAIL : 0;
        saver.adapters[0] = new AdapterRecord{};
        saver.adapterCount = 1;
        EXPECT_EQ(saver.Run(), 0);
        EXPECT_EQ(saver.configDialogCalls, c.configDialogs);
        EXPECT_EQ(saver.adapters[0], nullptr);
        EXPECT_EQ(saver.adapterCount, 0u);
    }
}

TEST_F(SaverFramework, ConfigAndOtherModesMakeNoWindows) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"saver"}, {"saver", "/c:5"}, {"saver", "/a", "3"},
                                                                   {"saver", "/r"}}) {
        SetCommandLine(args);
        TestSaver saver;
        saver.Create(nullptr);
        EXPECT_EQ(saver.mainWindow, nullptr);
        // Direct3D is created and the adapters enumerated in every mode.
        EXPECT_NE(saver.direct3D, nullptr);
        EXPECT_GE(saver.adapterCount, 1u);
        EXPECT_EQ(saver.Run(), 0);
    }
}

}  // namespace

namespace {

// Called only when no saver took the event: ends the loop so that the test
// fails instead of waiting for ever.
std::atomic<bool> g_fallbackCalled{false};
BOOL FallbackEnd(DWORD) {
    g_fallbackCalled = true;
    PostThreadMessageW(0, WM_QUIT, 0, 0);
    return TRUE;
}

// Records whether a saver window was still on the screen at any step of the
// teardown (the devices' objects, the scene).
class ControlEventSaver : public TestSaver {
public:
    bool windowsShownAtTeardown = false;
    int teardownSteps = 0;
    void CheckWindows() {
        ++teardownSteps;
        for (uint32_t i = 0; i < monitorCount; ++i)
            if (monitors[i].window && IsWindowVisible(monitors[i].window)) windowsShownAtTeardown = true;
    }
    HRESULT LoseDeviceResources() override {
        CheckWindows();
        return S_OK;
    }
    HRESULT DestroyDeviceResources() override {
        CheckWindows();
        return S_OK;
    }
    HRESULT ShutdownScene() override {
        CheckWindows();
        return TestSaver::ShutdownScene();
    }
};

}  // namespace

// An interrupt, the console closing or the session ending (SIGINT, SIGHUP,
// SIGTERM) ends every saver mode through its message loop, as a key ends the
// full-screen saver: windows off the screen first, then the teardown.
TEST_F(SaverFramework, AConsoleControlEventEndsEverySaverModeThroughTheLoop) {
    ASSERT_TRUE(SetConsoleCtrlHandler(FallbackEnd, TRUE));
    for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
        for (SaverRunMode mode : {Preview, FullScreen, TestWindow}) {
            ResetWindowState();
            TwoMonitors();
            g_fallbackCalled = false;
            HWND parent = mode == Preview ? tessaloom::test::CreateForeignWindow(200, 150) : nullptr;
            if (mode == Preview) SetCommandLine({"saver", "/p", HandleText(parent)});
            else SetCommandLine({"saver", mode == FullScreen ? "/s" : "/t"});
            {
                ControlEventSaver saver;
                saver.Create(nullptr);
                ASSERT_NE(saver.mainWindow, nullptr);
                // A saver that ignores the event would loop for ever: after
                // 10 s the test ends the loop itself and fails.
                bool timedOut = false;
                saver.onMessage = [&](HWND, UINT m, WPARAM wp, LPARAM) {
                    if (m == WM_TIMER && wp == 77) {
                        timedOut = true;
                        PostQuitMessage(0);
                    }
                };
                SetTimer(saver.mainWindow, 77, 10000, nullptr);
                ASSERT_EQ(kill(getpid(), signal), 0);
                EXPECT_EQ(saver.Run(), 0);
                EXPECT_FALSE(timedOut) << "signal " << signal << " in mode " << mode;
                EXPECT_FALSE(g_fallbackCalled) << "signal " << signal << " in mode " << mode;
                EXPECT_EQ(saver.shutdownSceneCalls, 1) << "signal " << signal << " in mode " << mode;
                EXPECT_FALSE(saver.windowsShownAtTeardown) << "signal " << signal << " in mode " << mode;
                EXPECT_FALSE(tessaloom::test::ScreenSaverRunningFlag());
            }
            tessaloom::test::ForgetConsoleEvent();
        }
    }
    SetConsoleCtrlHandler(FallbackEnd, FALSE);
}

// The windows leave the screen before the devices and the scene go, for a key
// as for the other ends of the full-screen saver.
TEST_F(SaverFramework, AKeyHidesEveryFullScreenWindowBeforeTheTeardown) {
    TwoMonitors();
    SetCommandLine({"saver", "/s"});
    ControlEventSaver saver;
    saver.Create(nullptr);
    ASSERT_NE(saver.monitors[1].window, nullptr);
    tessaloom::test::InjectKey(saver.mainWindow, 'K');
    EXPECT_EQ(saver.Run(), 0);
    EXPECT_EQ(saver.shutdownSceneCalls, 1);
    EXPECT_GT(saver.teardownSteps, 1);  // the devices' objects went too
    EXPECT_FALSE(saver.windowsShownAtTeardown);
}
