// The message queue: posted and input messages, WM_QUIT, WM_PAINT and timers.
#include "platform/win32/messages.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/win32/dialog_model.h"
#include "platform/win32/sdl_backend.h"

namespace tessaloom::win32 {
namespace {

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT interval;
    uint64_t due;
    TIMERPROC proc;
};

std::mutex g_queueMutex;
std::condition_variable g_queueWake;
std::deque<MSG> g_posted;
std::deque<MSG> g_input;
bool g_quitPosted = false;
int g_quitCode = 0;
std::vector<Timer> g_timers;  // saver thread only

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD MessageTime() { return static_cast<DWORD>(NowMs()); }

const HWND kThreadMessages = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool MatchesWindow(HWND msgWindow, HWND filter) {
    if (!filter) return true;
    if (filter == kThreadMessages) return msgWindow == nullptr;
    return IsWindowOrChild(msgWindow, filter);
}

bool MatchesRange(UINT message, UINT min, UINT max) {
    if (min == 0 && max == 0) return true;
    return message >= min && message <= max;
}

bool TakeFrom(std::deque<MSG>& queue, MSG* out, HWND filter, UINT min, UINT max, bool remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (MatchesWindow(it->hwnd, filter) && MatchesRange(it->message, min, max)) {
            *out = *it;
            if (remove) queue.erase(it);
            return true;
        }
    }
    return false;
}

bool PeekOnce(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
    PumpEvents();
    {
        std::lock_guard<std::mutex> lock(g_queueMutex);
        if (TakeFrom(g_posted, msg, filter, min, max, remove)) return true;
        if (TakeFrom(g_input, msg, filter, min, max, remove)) return true;
        if (g_quitPosted) {
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0, MessageTime(), {}};
            if (remove) g_quitPosted = false;
            return true;
        }
    }
    if (MatchesRange(WM_PAINT, min, max)) {
        for (HWND h : AllWindows()) {
            WindowRecord* w = FindWindow(h);
            if (w && w->needsPaint && w->visible && MatchesWindow(h, filter)) {
                // WM_PAINT stays until the window validates itself.
                *msg = MSG{h, WM_PAINT, 0, 0, MessageTime(), {}};
                return true;
            }
        }
    }
    if (MatchesRange(WM_TIMER, min, max)) {
        uint64_t now = NowMs();
        for (auto& t : g_timers) {
            if (t.due <= now && MatchesWindow(t.window, filter)) {
                *msg = MSG{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), MessageTime(), {}};
                if (remove) t.due = now + t.interval;
                return true;
            }
        }
    }
    return false;
}

// Milliseconds until the next timer is due, capped so SDL events are polled.
int WaitBudgetMs() {
    uint64_t now = NowMs();
    int budget = 10;
    for (auto& t : g_timers) {
        if (t.due <= now) return 0;
        budget = std::min<int>(budget, static_cast<int>(t.due - now));
    }
    return budget;
}

}  // namespace

void QueueInput(const MSG& msg) {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_input.push_back(msg);
}

void RemoveMessagesOf(HWND window) {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    auto drop = [window](std::deque<MSG>& q) {
        for (auto it = q.begin(); it != q.end();) it = (it->hwnd == window) ? q.erase(it) : it + 1;
    };
    drop(g_posted);
    drop(g_input);
}

void KillTimersOf(HWND window) {
    for (auto it = g_timers.begin(); it != g_timers.end();) it = (it->window == window) ? g_timers.erase(it) : it + 1;
}

void WakeQueue() { g_queueWake.notify_all(); }

void ResetQueue() {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_posted.clear();
    g_input.clear();
    g_quitPosted = false;
    g_quitCode = 0;
    g_timers.clear();
}

}  // namespace tessaloom::win32

using namespace tessaloom::win32;

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!msg) return FALSE;
    return PeekOnce(msg, window, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (!msg) return -1;
    for (;;) {
        // WM_QUIT first: it passes every filter, also that of a window that
        // went away (and whose destruction may have posted it).
        if (PeekOnce(msg, window, filterMin, filterMax, true)) return msg->message == WM_QUIT ? 0 : 1;
        if (window && window != kThreadMessages && !IsLiveWindow(window)) return -1;
        int budget = WaitBudgetMs();
        if (budget > 0) {
            std::unique_lock<std::mutex> lock(g_queueMutex);
            g_queueWake.wait_for(lock, std::chrono::milliseconds(budget),
                                 [] { return !g_posted.empty() || g_quitPosted; });
        }
    }
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !IsLiveWindow(window)) return FALSE;
    {
        std::lock_guard<std::mutex> lock(g_queueMutex);
        g_posted.push_back(MSG{window, message, wParam, lParam, MessageTime(), {}});
    }
    g_queueWake.notify_all();
    return TRUE;
}

BOOL PostThreadMessageW(DWORD, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(nullptr, message, wParam, lParam);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsOnSaverThread()) {
        std::fprintf(stderr, "tessaloom: SendMessageW from another thread is not supported (message 0x%x)\n", message);
        return 0;
    }
    if (IsDialogHandle(window)) return SendDialogMessage(window, message, wParam, lParam);
    WindowRecord* w = FindWindow(window);
    if (!w || !w->proc) return 0;
    return w->proc(window, message, wParam, lParam);
}

BOOL TranslateMessage(const MSG* msg) { return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN); }

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (!msg->hwnd) return 0;
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    {
        std::lock_guard<std::mutex> lock(g_queueMutex);
        g_quitPosted = true;
        g_quitCode = exitCode;
    }
    g_queueWake.notify_all();
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    if (!window || !FindWindow(window)) {
        std::fprintf(stderr, "tessaloom: SetTimer needs a window of ours\n");
        return 0;
    }
    elapseMs = std::max<UINT>(elapseMs, 10);  // USER_TIMER_MINIMUM
    uint64_t due = NowMs() + elapseMs;
    for (auto& t : g_timers) {
        if (t.window == window && t.id == id) {
            t.interval = elapseMs;
            t.due = due;
            t.proc = proc;
            return id;
        }
    }
    g_timers.push_back(Timer{window, id, elapseMs, due, proc});
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    for (auto it = g_timers.begin(); it != g_timers.end(); ++it) {
        if (it->window == window && it->id == id) {
            g_timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}
