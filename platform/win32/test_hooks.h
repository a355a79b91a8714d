// The test interface of the window, input, monitor and registry stand-ins.
// Tests drive real code paths through it: the events enter where SDL's and
// X11's would, and are turned into messages by the same code.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace tessaloom::test {

// --- Input, as the SDL back end would see it -------------------------------
// Positions are client coordinates of `window`.
void InjectMouseMove(HWND window, int x, int y);
// button: 1 left, 2 middle, 3 right (SDL's numbering).
void InjectMouseButton(HWND window, int button);
void InjectKey(HWND window, WPARAM virtualKey);
// The close button of the window's frame.
void InjectWindowClose(HWND window);
// Keyboard focus of one of our windows (null: focus went to another application):
// the loss of the window that has the focus now, then the gain of `window`.
void InjectFocus(HWND window);
// One focus event each, so that one batch can hold a gain and then a loss.
void InjectFocusGained(HWND window);
void InjectFocusLost(HWND window);
// The system is about to suspend.
void InjectSuspend();

// --- Foreign windows (the preview's parent) ---------------------------------
// A stand-in for a window of another process, used when no X server runs.
// Its id is a valid parent for WS_CHILD windows.
HWND CreateForeignWindow(int width, int height);
void ResizeForeignWindow(HWND foreign, int width, int height);
// The foreign window disappears: children created in it are destroyed at the
// next message pump, as with a real X parent.
void DestroyForeignWindow(HWND foreign);

// --- Displays ----------------------------------------------------------------
struct FakeDisplay {
    std::string name;
    RECT bounds;
    std::vector<SIZE> modes;  // the first is the current mode when empty below
    bool attachedToDesktop = true;
    bool mirroring = false;
};
// Replaces SDL's display list for the monitor calls; an empty list gives SDL's again.
void SetFakeDisplays(const std::vector<FakeDisplay>& displays);

// --- State ---------------------------------------------------------------------
// The screen-saver-running flag last recorded by SystemParametersInfoW.
bool ScreenSaverRunningFlag();
// Whether the pointer is hidden (SetCursor(null) or ShowCursor below 0).
bool CursorHidden();
// Destroys every window, drops queued messages, timers, classes and the quit
// flag, so that each test starts from nothing.
void ResetWindowState();

// --- Registry ------------------------------------------------------------------
// The file that holds HKEY_CURRENT_USER.
std::string RegistryFilePath();
// The next registry file write stops after `bytes` bytes as if the disk were
// full (or the process died): with `leaveTemporary` the partial temporary file
// stays behind, as after a crash.  -1 turns it off.
void FailNextRegistryWrite(long long bytes, bool leaveTemporary);
// Forgets what was read, so the next call reads the file again.
void ReloadRegistry();

// --- Console control events ------------------------------------------------------
// Forgets a signal a handler routine took, so that the test process is not
// ended by it at exit, and lets the next signal reach the routines again.
void ForgetConsoleEvent();

}  // namespace tessaloom::test
