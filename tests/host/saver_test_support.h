// A saver of the tests' own: counts the hooks the end rules reach and lets a
// test act on a message before the framework handles it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/saver_framework.h"
#include "platform/win32/kernel.h"
#include "platform/win32/strings.h"
#include "platform/win32/test_hooks.h"
#include "tests/support/message_pump.h"

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

// The same from a whole command line, split as CommandLineToArgvW splits it.
inline void SetCommandLine(std::u16string_view line) {
    std::vector<std::string> args;
    for (const auto& arg : tessaloom::SplitCommandLine(line)) args.push_back(tessaloom::Utf16ToUtf8(arg));
    SetCommandLine(std::move(args));
}

inline std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

inline void TwoMonitors() {
    tessaloom::test::SetFakeDisplays({
        {"Left", {0, 0, 1024, 768}, {{1024, 768}}},
        {"Right", {1024, 0, 2304, 1024}, {{1280, 1024}}},
    });
}
