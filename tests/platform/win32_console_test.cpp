// The console's control events: SIGINT, SIGHUP and SIGTERM reach the handler
// routines on a thread of their own, and the process ends by the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/win32/kernel.h"
#include "platform/win32/test_hooks.h"

namespace {

std::atomic<int> g_calls{0};
std::atomic<DWORD> g_event{0xFFFFFFFFu};
std::atomic<bool> g_onOtherThread{false};
std::thread::id g_testThread;
std::atomic<int> g_order{0};
std::atomic<int> g_takingSeen{0}, g_decliningSeen{0};

BOOL Taking(DWORD event) {
    g_event = event;
    g_onOtherThread = std::this_thread::get_id() != g_testThread;
    g_takingSeen = ++g_order;
    ++g_calls;
    return TRUE;
}

BOOL Declining(DWORD) {
    g_decliningSeen = ++g_order;
    return FALSE;
}

bool WaitForCalls(int n) {
    for (int i = 0; i < 500 && g_calls < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return g_calls >= n;
}

void ExitHandlerSays() { std::fprintf(stderr, "the exit handlers ran\n"); }

}  // namespace

TEST(ConsoleControl, EachSignalReachesTheRoutinesAsItsEventOnAnotherThread) {
    struct Case {
        int signal;
        DWORD event;
    };
    const Case cases[] = {{SIGINT, CTRL_C_EVENT}, {SIGHUP, CTRL_CLOSE_EVENT}, {SIGTERM, CTRL_SHUTDOWN_EVENT}};
    g_testThread = std::this_thread::get_id();
    ASSERT_TRUE(SetConsoleCtrlHandler(Taking, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Declining, TRUE));
    for (const Case& c : cases) {
        g_calls = 0;
        g_order = 0;
        g_takingSeen = g_decliningSeen = 0;
        g_event = 0xFFFFFFFFu;
        ASSERT_EQ(kill(getpid(), c.signal), 0);
        ASSERT_TRUE(WaitForCalls(1)) << "signal " << c.signal;
        EXPECT_EQ(g_event.load(), c.event) << "signal " << c.signal;
        EXPECT_TRUE(g_onOtherThread) << "signal " << c.signal;
        // The last added first; it declined, so the next one was asked.
        EXPECT_EQ(g_decliningSeen.load(), 1) << "signal " << c.signal;
        EXPECT_EQ(g_takingSeen.load(), 2) << "signal " << c.signal;
        tessaloom::test::ForgetConsoleEvent();
    }
    EXPECT_TRUE(SetConsoleCtrlHandler(Declining, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Taking, FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(Taking, FALSE));  // no longer there
    EXPECT_FALSE(SetConsoleCtrlHandler(nullptr, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Each of these runs in a child process of its own.
class ConsoleControlEnd : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ConsoleControlEnd, ATakenSignalEndsTheProcessAfterItsExitHandlers) {
    for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
        EXPECT_EXIT(
            {
                g_testThread = std::this_thread::get_id();
                SetConsoleCtrlHandler(Taking, TRUE);
                // Registered after the routine, as the devices' own are.
                std::atexit(ExitHandlerSays);
                kill(getpid(), signal);
                if (!WaitForCalls(1)) std::_Exit(3);
                std::exit(0);  // the application's own end
            },
            ::testing::KilledBySignal(signal), "the exit handlers ran")
            << "signal " << signal;
    }
}

TEST_F(ConsoleControlEnd, ASignalNoRoutineTakesEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(Declining, TRUE);
            std::atexit(ExitHandlerSays);
            kill(getpid(), SIGTERM);
            std::this_thread::sleep_for(std::chrono::seconds(5));
            std::_Exit(3);
        },
        ::testing::KilledBySignal(SIGTERM), "^$");
}

TEST_F(ConsoleControlEnd, ASecondSignalWhileTheFirstIsTakenEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(Taking, TRUE);
            kill(getpid(), SIGTERM);
            if (!WaitForCalls(1)) std::_Exit(3);
            // The application is slow to end; the sender insists.
            kill(getpid(), SIGINT);
            std::this_thread::sleep_for(std::chrono::seconds(5));
            std::_Exit(3);
        },
        ::testing::KilledBySignal(SIGINT), "");
}
