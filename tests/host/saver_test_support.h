// A saver of the tests' own: counts the hooks the end rules reach and lets a
// test act on a message before the framework handles it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <SDL2/SDL.h>

#include "host/saver_framework.h"
#include "platform/win32/test_hooks.h"

class TestSaver : public CSaverFramework {
public:
    int shutdownSceneCalls = 0;
    int configDialogCalls = 0;
    std::function<void(HWND, UINT, WPARAM, LPARAM)> onMessage;

    HRESULT ShutdownScene() override {
        ++shutdownSceneCalls;
        return S_OK;
    }
    void ShowConfigDialog() override { ++configDialogCalls; }
    LRESULT HandleWindowMessage(HWND w, UINT m, WPARAM wp, LPARAM lp) override {
        if (onMessage) onMessage(w, m, wp, lp);
        return CSaverFramework::HandleWindowMessage(w, m, wp, lp);
    }
};

// The process command line, as main sets it from its arguments.
inline void SetCommandLine(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    tessaloom::SetCommandLineFromArgv(static_cast<int>(argv.size()), argv.data());
}

inline std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

// Dispatches every message that is ready; true when WM_QUIT came.
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

// Dispatches for `ms` milliseconds; true when WM_QUIT came.
inline bool DrainMessagesFor(int ms) {
    Uint32 end = SDL_GetTicks() + static_cast<Uint32>(ms);
    while (SDL_GetTicks() < end) {
        if (DrainMessages()) return true;
        SDL_Delay(10);
    }
    return DrainMessages();
}

inline void TwoMonitors() {
    tessaloom::test::SetFakeDisplays({
        {"Left", {0, 0, 1024, 768}, {{1024, 768}}},
        {"Right", {1024, 0, 2304, 1024}, {{1280, 1024}}},
    });
}
