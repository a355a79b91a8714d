// Windows, the message queue and input of the window stand-in, on SDL's
// offscreen driver.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/win32/sdl_backend.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/window_bridge.h"
#include "platform/win32/windows.h"
#include "tests/support/message_pump.h"

namespace {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;

LRESULT RecordingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    g_seen.push_back({w, m, wp, lp});
    return DefWindowProcW(w, m, wp, lp);
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        g_seen.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = u"TestClass";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override { tessaloom::test::ResetWindowState(); }

    HWND Make(DWORD style = WS_POPUP | WS_VISIBLE, HWND parent = nullptr, int w = 200, int h = 100) {
        HWND hwnd = CreateWindowExW(0, u"TestClass", u"test", style, 10, 20, w, h, parent, nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }
    // The wParams of the WM_ACTIVATEAPP messages seen, in order.
    static std::vector<WPARAM> Activations() {
        std::vector<WPARAM> told;
        for (auto& s : g_seen)
            if (s.message == WM_ACTIVATEAPP) told.push_back(s.wParam);
        return told;
    }
    static int Count(UINT message, HWND window = nullptr) {
        int n = 0;
        for (auto& s : g_seen)
            if (s.message == message && (!window || s.window == window)) ++n;
        return n;
    }
};

TEST_F(Win32Window, CreationSendsCreateAndGivesAnOpenGlSdlWindow) {
    HWND w = Make();
    EXPECT_TRUE(IsWindow(w));
    ASSERT_GE(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, WM_NCCREATE);
    EXPECT_EQ(g_seen[1].message, WM_CREATE);
    SDL_Window* sdl = tessaloom::SdlWindowFromHwnd(w);
    ASSERT_NE(sdl, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
    RECT r;
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 100);
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    POINT p{15, 30};
    ScreenToClient(w, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 10);
    EXPECT_EQ(tessaloom::SdlWindowFromHwnd(reinterpret_cast<HWND>(0x1234)), nullptr);
}

TEST_F(Win32Window, UnknownClassAndChildOfMissingParentFail) {
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateWindowExW(0, u"TestClass", u"", WS_CHILD, 0, 0, 10, 10, reinterpret_cast<HWND>(12345), nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(RegisterClassW(nullptr), 0);
}

TEST_F(Win32Window, PostedMessagesKeepOrderAndFilters) {
    HWND a = Make();
    HWND b = Make();
    DrainMessages();
    ASSERT_TRUE(PostMessageW(a, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessageW(b, WM_USER + 2, 2, 0));
    ASSERT_TRUE(PostMessageW(a, WM_USER + 3, 3, 0));
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0));
    MSG m;
    // Window filter.
    ASSERT_TRUE(PeekMessageW(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2u);
    // Range filter skips the first one.
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
    // PM_NOREMOVE leaves it.
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER, WM_USER + 10, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
}

TEST_F(Win32Window, QuitComesUnderAnyFilterAndEndsGetMessage) {
    HWND a = Make();
    HWND b = Make();
    DrainMessages();
    PostMessageW(b, WM_USER, 0, 0);
    PostQuitMessage(7);
    MSG m;
    ASSERT_EQ(GetMessageW(&m, a, 0, 0), 0);  // b's message does not pass the filter, WM_QUIT does
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    ASSERT_TRUE(PeekMessageW(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER);
    // A filter window that does not exist.
    EXPECT_EQ(GetMessageW(&m, reinterpret_cast<HWND>(0x5555), 0, 0), -1);
}

TEST_F(Win32Window, PostFromAnotherThreadWakesGetMessage) {
    HWND a = Make();
    DrainMessages();
    std::thread poster([a] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PostMessageW(a, WM_APP, 42, 0);
    });
    MSG m;
    BOOL r;
    do {
        r = GetMessageW(&m, nullptr, WM_APP, WM_APP);
    } while (r > 0 && m.message != WM_APP);
    poster.join();
    EXPECT_EQ(r, 1);
    EXPECT_EQ(m.wParam, 42u);
}

TEST_F(Win32Window, TimerFiresUntilKilledAndDiesWithItsWindow) {
    HWND a = Make();
    DrainMessages();
    // The clock starts before SetTimer: a thread preempted between the two
    // would otherwise see the timer's 20 ms partly spent before it started.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SetTimer(a, 1, 20, nullptr), 1u);
    MSG m;
    ASSERT_EQ(GetMessageW(&m, a, WM_TIMER, WM_TIMER), 1);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
    EXPECT_TRUE(KillTimer(a, 1));
    EXPECT_FALSE(KillTimer(a, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    SetTimer(a, 2, 10, nullptr);
    DestroyWindow(a);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(Win32Window, CloseButtonBecomesCloseThenDestroy) {
    HWND a = Make();
    DrainMessages();
    g_seen.clear();
    tessaloom::test::InjectWindowClose(a);
    DrainMessages();
    std::vector<UINT> order;
    for (auto& s : g_seen)
        if (s.message == WM_SYSCOMMAND || s.message == WM_CLOSE || s.message == WM_DESTROY || s.message == WM_NCDESTROY)
            order.push_back(s.message);
    EXPECT_EQ(order, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(a));
}

TEST_F(Win32Window, UpdateWindowPaintsAtOnceAndBeginPaintValidates) {
    HWND a = Make();
    DrainMessages();  // the first WM_PAINT of a new visible window
    EXPECT_GE(Count(WM_PAINT, a), 1);
    g_seen.clear();
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    RECT part{5, 5, 20, 20};
    InvalidateRect(a, &part, TRUE);
    UpdateWindow(a);
    EXPECT_EQ(Count(WM_PAINT, a), 1);
    EXPECT_EQ(Count(WM_ERASEBKGND, a), 1);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    // Without UpdateWindow the paint waits in the queue until validated.
    InvalidateRect(a, nullptr, FALSE);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_PAINT);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(a, &ps);
    EXPECT_EQ(WindowFromDC(dc), a);
    EXPECT_EQ(ps.rcPaint.right, 200);
    EndPaint(a, &ps);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(Win32Window, SdlInputBecomesMessages) {
    HWND a = Make();
    DrainMessages();
    g_seen.clear();
    tessaloom::test::InjectMouseMove(a, 12, -3);
    tessaloom::test::InjectMouseButton(a, 1);
    tessaloom::test::InjectMouseButton(a, 3);
    tessaloom::test::InjectMouseButton(a, 2);
    tessaloom::test::InjectKey(a, 'Q');
    DrainMessages();
    std::vector<UINT> input;
    for (auto& s : g_seen)
        if (s.message == WM_SETCURSOR || s.message == WM_MOUSEMOVE || s.message == WM_KEYDOWN ||
            (s.message >= WM_LBUTTONDOWN && s.message <= WM_MBUTTONUP))
            input.push_back(s.message);
    EXPECT_EQ(input, (std::vector<UINT>{WM_SETCURSOR, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN,
                                        WM_KEYDOWN}));
    for (auto& s : g_seen) {
        if (s.message == WM_MOUSEMOVE) {
            EXPECT_EQ(GET_X_LPARAM(s.lParam), 12);
            EXPECT_EQ(GET_Y_LPARAM(s.lParam), -3);
        }
        if (s.message == WM_KEYDOWN) {
            EXPECT_EQ(s.wParam, static_cast<WPARAM>('Q'));
        }
    }
}

TEST_F(Win32Window, ActivateAppOnlyWhenTheWholeApplicationChanges) {
    // Showing a top-level window activates the application at once, before
    // any event is pumped; showing a second one moves the focus within it.
    HWND a = Make();
    EXPECT_EQ(Count(WM_ACTIVATEAPP, a), 1);
    HWND b = Make();
    EXPECT_EQ(Count(WM_ACTIVATEAPP), 1);
    EXPECT_EQ(GetForegroundWindow(), b);
    DrainMessages();
    g_seen.clear();
    tessaloom::test::InjectFocus(a);  // focus moves between our own windows
    DrainMessagesFor(300);
    EXPECT_EQ(Count(WM_ACTIVATEAPP), 0);
    // The focus leaves and comes back to one of ours within the grace time,
    // in separate batches of events.
    tessaloom::test::InjectFocus(nullptr);
    DrainMessages();
    tessaloom::test::InjectFocus(a);
    DrainMessagesFor(300);
    EXPECT_EQ(Count(WM_ACTIVATEAPP), 0);
    tessaloom::test::InjectFocus(nullptr);  // another application takes it
    DrainMessages();
    EXPECT_EQ(Count(WM_ACTIVATEAPP), 0);  // not yet: the grace time runs
    DrainMessagesFor(300);
    ASSERT_EQ(Count(WM_ACTIVATEAPP), 2);
    for (auto& s : g_seen) {
        if (s.message == WM_ACTIVATEAPP) {
            EXPECT_EQ(s.wParam, 0u);
        }
    }
}

TEST_F(Win32Window, AGainAndALossInOneBatchEachCount) {
    // A window shown and at once left for another application, before the
    // first pump: the loss still deactivates after the grace time.
    HWND a = Make();
    ASSERT_EQ(Count(WM_ACTIVATEAPP, a), 1);
    tessaloom::test::InjectFocusGained(a);
    tessaloom::test::InjectFocusLost(a);
    g_seen.clear();
    DrainMessages();
    EXPECT_EQ(Count(WM_ACTIVATEAPP), 0);
    DrainMessagesFor(300);
    EXPECT_EQ(Activations(), std::vector<WPARAM>{FALSE});
    // Inactive now: a gain and a loss in one batch activate, then deactivate.
    g_seen.clear();
    tessaloom::test::InjectFocusGained(a);
    tessaloom::test::InjectFocusLost(a);
    DrainMessages();
    EXPECT_EQ(Activations(), std::vector<WPARAM>{TRUE});
    DrainMessagesFor(300);
    EXPECT_EQ(Activations(), (std::vector<WPARAM>{TRUE, FALSE}));
}

TEST_F(Win32Window, SuspendIsBroadcastToTopLevelWindows) {
    HWND a = Make();
    HWND b = Make();
    DrainMessages();
    g_seen.clear();
    tessaloom::test::InjectSuspend();
    DrainMessages();
    for (HWND w : {a, b}) {
        ASSERT_EQ(Count(WM_POWERBROADCAST, w), 1);
    }
    for (auto& s : g_seen) {
        if (s.message == WM_POWERBROADCAST) {
            EXPECT_EQ(s.wParam, PBT_APMSUSPEND);
        }
    }
}

TEST_F(Win32Window, DestroyingTheOwnerDestroysOwnedWindowsFirst) {
    HWND owner = Make();
    HWND owned = Make(WS_POPUP | WS_VISIBLE, owner);
    EXPECT_EQ(GetParent(owned), owner);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    PostMessageW(owned, WM_USER, 0, 0);
    g_seen.clear();
    ASSERT_TRUE(DestroyWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(owner));
    std::vector<HWND> destroyed;
    for (auto& s : g_seen)
        if (s.message == WM_DESTROY) destroyed.push_back(s.window);
    EXPECT_EQ(destroyed, (std::vector<HWND>{owned, owner}));
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_USER, WM_USER, PM_REMOVE));  // went with its window
    EXPECT_FALSE(DestroyWindow(owner));
}

TEST_F(Win32Window, ChildOfForeignWindowFollowsItAndDiesWithIt) {
    HWND parent = tessaloom::test::CreateForeignWindow(320, 240);
    ASSERT_TRUE(IsWindow(parent));
    RECT r;
    ASSERT_TRUE(GetClientRect(parent, &r));
    EXPECT_EQ(r.right, 320);
    HWND child = Make(WS_CHILD | WS_VISIBLE, parent, 320, 240);
    EXPECT_EQ(GetParent(child), parent);
    tessaloom::test::ResizeForeignWindow(parent, 400, 300);
    DrainMessages();
    ASSERT_TRUE(GetClientRect(child, &r));
    EXPECT_EQ(r.right, 400);
    EXPECT_EQ(r.bottom, 300);
    EXPECT_EQ(Count(WM_SIZE, child), 1);
    tessaloom::test::DestroyForeignWindow(parent);
    EXPECT_FALSE(IsWindow(parent));
    DrainMessages();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(Count(WM_DESTROY, child), 1);
}

// A child of a foreign window follows its parent only up to the virtual
// screen's size (and the largest back buffer): a parent of 16000 x 16000
// would otherwise make a window, and a GL drawable, of gigabytes.
TEST_F(Win32Window, ChildOfForeignWindowFollowsItUpToTheScreensSize) {
    // Two monitors side by side: the virtual screen is 2304 x 1024.
    tessaloom::test::SetFakeDisplays({{"Left", {0, 0, 1024, 768}, {{1024, 768}}},
                                      {"Right", {1024, 0, 2304, 1024}, {{1280, 1024}}}});
    struct Case {
        int parentWidth, parentHeight, width, height;
    };
    const Case cases[] = {
        {16000, 16000, 2304, 1024}, {400, 300, 400, 300},   {16000, 500, 2304, 500},
        {3000, 16000, 2304, 1024},  {2304, 1024, 2304, 1024}, {2000, 900, 2000, 900},
    };
    HWND parent = tessaloom::test::CreateForeignWindow(cases[0].parentWidth, cases[0].parentHeight);
    // Created at its parent's size, as the preview is.
    HWND child = Make(WS_CHILD | WS_VISIBLE, parent, cases[0].parentWidth, cases[0].parentHeight);
    ASSERT_NE(child, nullptr);
    for (const Case& c : cases) {
        tessaloom::test::ResizeForeignWindow(parent, c.parentWidth, c.parentHeight);
        DrainMessages();
        RECT r{};
        ASSERT_TRUE(GetClientRect(child, &r));
        EXPECT_EQ(r.right, c.width) << c.parentWidth << "x" << c.parentHeight;
        EXPECT_EQ(r.bottom, c.height) << c.parentWidth << "x" << c.parentHeight;
        // The native window has the bounded size too.
        int w = 0, h = 0;
        SDL_GetWindowSize(tessaloom::SdlWindowFromHwnd(child), &w, &h);
        EXPECT_EQ(w, c.width) << c.parentWidth << "x" << c.parentHeight;
        EXPECT_EQ(h, c.height) << c.parentWidth << "x" << c.parentHeight;
    }
    // Past the largest back buffer a screen of its own does not help.
    tessaloom::test::SetFakeDisplays({{"Wall", {0, 0, 12000, 9000}, {{12000, 9000}}}});
    const SIZE wall = tessaloom::win32::BoundForeignChildSize(16000, 16000);
    EXPECT_EQ(wall.cx, tessaloom::win32::kLargestForeignChild);
    EXPECT_EQ(wall.cy, tessaloom::win32::kLargestForeignChild);
    const SIZE small = tessaloom::win32::BoundForeignChildSize(640, 9000);
    EXPECT_EQ(small.cx, 640);
    EXPECT_EQ(small.cy, tessaloom::win32::kLargestForeignChild);
    tessaloom::test::SetFakeDisplays({});
}

TEST_F(Win32Window, CursorAndScreenSaverFlag) {
    HWND a = Make();
    EXPECT_FALSE(tessaloom::test::CursorHidden());
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_TRUE(tessaloom::test::CursorHidden());
    // WM_SETCURSOR through DefWindowProc puts the class cursor back.
    SendMessageW(a, WM_SETCURSOR, reinterpret_cast<WPARAM>(a), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_FALSE(tessaloom::test::CursorHidden());
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_TRUE(tessaloom::test::CursorHidden());
    EXPECT_EQ(ShowCursor(TRUE), 0);

    BOOL running = TRUE;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
    EXPECT_FALSE(running);
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0));
    EXPECT_TRUE(tessaloom::test::ScreenSaverRunningFlag());
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, nullptr, 0));
    EXPECT_FALSE(tessaloom::test::ScreenSaverRunningFlag());
    EXPECT_FALSE(SystemParametersInfoW(0x1234, 0, nullptr, 0));
}

TEST_F(Win32Window, SetWindowPosMovesSizesAndMakesTopmost) {
    HWND a = Make();
    g_seen.clear();
    ASSERT_TRUE(SetWindowPos(a, HWND_TOPMOST, 100, 50, 300, 200, SWP_NOACTIVATE));
    RECT r;
    GetWindowRect(a, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right, 400);
    EXPECT_EQ(r.bottom, 250);
    EXPECT_EQ(Count(WM_SIZE, a), 1);
    ASSERT_TRUE(MoveWindow(a, 0, 0, 300, 200, TRUE));
    GetWindowRect(a, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(Count(WM_SIZE, a), 1);  // moved only
    RECT adjusted{50, 50, 650, 450};
    AdjustWindowRect(&adjusted, WS_CAPTION | WS_SYSMENU, FALSE);
    EXPECT_EQ(adjusted.right - adjusted.left, 600);  // frames are the window manager's
}

}  // namespace
