// The console's control events over SIGINT, SIGHUP and SIGTERM: a signal
// handler that only writes to a pipe, and a thread that reads the pipe and
// calls the handler routines.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/test_hooks.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM};

std::mutex g_mutex;
std::vector<PHANDLER_ROUTINE> g_routines;
bool g_installed = false;
int g_pipe[2] = {-1, -1};

// Set by the signal handler once a signal is on its way to the routines; a
// second signal then ends the process at once.
volatile sig_atomic_t g_taking = 0;
// The signal a routine took: the process ends by it at exit.
volatile sig_atomic_t g_exitSignal = 0;

DWORD EventOf(int signal) {
    switch (signal) {
        case SIGINT: return CTRL_C_EVENT;
        case SIGHUP: return CTRL_CLOSE_EVENT;
        default: return CTRL_SHUTDOWN_EVENT;
    }
}

// Ends the process by `signal` with its default disposition.  Async-signal-safe.
[[noreturn]] void EndBySignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);  // not reached: the default action of all three ends the process
}

void OnSignal(int signal) {
    if (g_taking) EndBySignal(signal);
    g_taking = 1;
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // The pipe is non-blocking and holds far more than the one byte a run
    // ever needs, so this never waits.
    [[maybe_unused]] const ssize_t n = write(g_pipe[1], &number, 1);
    errno = saved;
}

void EndAtExit() {
    const int signal = g_exitSignal;
    if (!signal) return;
    std::fflush(nullptr);
    EndBySignal(signal);
}

void Dispatch() {
    for (;;) {
        unsigned char number = 0;
        const ssize_t n = read(g_pipe[0], &number, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const int signal = number;
        std::vector<PHANDLER_ROUTINE> routines;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            routines = g_routines;
        }
        // Before the routines run: the application may reach its exit
        // before this thread is scheduled again.
        g_exitSignal = signal;
        bool taken = false;
        for (auto it = routines.rbegin(); it != routines.rend() && !taken; ++it) taken = (*it)(EventOf(signal)) != FALSE;
        if (!taken) EndBySignal(signal);
    }
}

bool Install() {
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tessaloom: SetConsoleCtrlHandler: pipe");
        return false;
    }
    // The reading end blocks: the thread waits in read.
    fcntl(g_pipe[0], F_SETFL, fcntl(g_pipe[0], F_GETFL) & ~O_NONBLOCK);
    // The thread never runs the handler itself, so that a signal never
    // interrupts the read it waits in.
    sigset_t blocked, old;
    sigemptyset(&blocked);
    for (int s : kSignals) sigaddset(&blocked, s);
    pthread_sigmask(SIG_BLOCK, &blocked, &old);
    std::thread(Dispatch).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    // Registered before anything that sets state up for the exit handlers
    // to undo (a device's full-screen mode), so it runs after them.
    std::atexit(EndAtExit);
    for (int s : kSignals) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int other : kSignals) sigaddset(&action.sa_mask, other);
        sigaction(s, &action, nullptr);
    }
    return true;
}

}  // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
    if (!routine) {
        std::fprintf(stderr, "SetConsoleCtrlHandler: a null routine (ignoring CTRL+C) is not implemented\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!add) {
        for (auto it = g_routines.begin(); it != g_routines.end(); ++it)
            if (*it == routine) {
                g_routines.erase(it);
                return TRUE;
            }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!g_installed) {
        if (!Install()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        g_installed = true;
    }
    g_routines.push_back(routine);
    return TRUE;
}

namespace tessaloom::test {

void ForgetConsoleEvent() {
    g_exitSignal = 0;
    g_taking = 0;
}

}  // namespace tessaloom::test
