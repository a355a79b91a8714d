// A system suspend announced on the system bus (logind's PrepareForSleep)
// reaches the windows as WM_POWERBROADCAST PBT_APMSUSPEND.  A private bus
// daemon stands in for the system bus.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <SDL2/SDL.h>

#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"

namespace {

int g_suspends = 0;

LRESULT CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_POWERBROADCAST && wp == PBT_APMSUSPEND) ++g_suspends;
    return DefWindowProcW(w, m, wp, lp);
}

std::string Capture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

TEST(Win32Sleep, PrepareForSleepOnTheSystemBusIsASuspend) {
    if (std::system("command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null") != 0)
        GTEST_SKIP() << "dbus-daemon or dbus-send is not installed";
    // A bus of our own: its address and pid, and it ends with this test.
    std::string info = Capture("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null");
    size_t nl = info.find('\n');
    ASSERT_NE(nl, std::string::npos) << info;
    std::string address = info.substr(0, nl), pid = info.substr(nl + 1);
    const char* before = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string previous = before ? before : "";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);

    tessaloom::test::ResetWindowState();
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"SleepClass";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, u"SleepClass", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // connects to the bus
    auto send = [&](const char* value) {
        std::string cmd = "dbus-send --bus='" + address +
                          "' --type=signal /org/freedesktop/login1 org.freedesktop.login1.Manager.PrepareForSleep boolean:" +
                          value;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    };
    send("false");  // the resume does not count
    send("true");
    for (int i = 0; i < 200 && g_suspends == 0; ++i) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        SDL_Delay(10);
    }
    EXPECT_EQ(g_suspends, 1);
    // The windows, and the connection to this bus, go with the test; so do
    // the bus and the address that names it.
    tessaloom::test::ResetWindowState();
    if (before)
        setenv("DBUS_SYSTEM_BUS_ADDRESS", previous.c_str(), 1);
    else
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::system(("kill " + pid).c_str());
}

}  // namespace
