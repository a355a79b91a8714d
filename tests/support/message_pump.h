// The tests' message pump: dispatches what the calling thread's queue holds,
// as a saver's loop would, and stops at WM_QUIT.
#pragma once

#include <chrono>
#include <thread>

#include "platform/win32/messages.h"

// Dispatches every message that is ready (at most 1000, so a window that
// posts to itself cannot hold a test); true when WM_QUIT came.
inline bool DrainMessages() {
    MSG m;
    for (int i = 0; i < 1000; ++i) {
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) return false;
        if (m.message == WM_QUIT) return true;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return false;
}

// Dispatches for `ms` milliseconds (events that wait for a grace time or a
// timer); true when WM_QUIT came.
inline bool DrainMessagesFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (DrainMessages()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return DrainMessages();
}
