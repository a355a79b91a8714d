// The test interface: events enter as SDL events, so the back end's own
// translation turns them into messages.
#include "platform/win32/test_hooks.h"

#include "platform/win32/sdl_backend.h"

namespace tessaloom::win32 {
bool CursorHiddenNow();
bool ScreenSaverRunningNow();
void ResetInputState();
}  // namespace tessaloom::win32

namespace tessaloom::test {
namespace {

uint32_t SdlId(HWND window) {
    win32::WindowRecord* w = win32::FindWindow(window);
    return w ? w->sdlId : 0;
}

void Push(SDL_Event& e) {
    if (!win32::EnsureVideo()) return;
    SDL_PushEvent(&e);
}

void PushWindowEvent(HWND window, Uint8 event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SdlId(window);
    e.window.event = event;
    Push(e);
}

}  // namespace

void InjectMouseMove(HWND window, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SdlId(window);
    e.motion.x = x;
    e.motion.y = y;
    Push(e);
}

void InjectMouseButton(HWND window, int button) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = SdlId(window);
    e.button.button = static_cast<Uint8>(button);
    e.button.state = SDL_PRESSED;
    Push(e);
}

void InjectKey(HWND window, WPARAM virtualKey) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SdlId(window);
    e.key.state = SDL_PRESSED;
    SDL_Keycode k = SDLK_UNKNOWN;
    if (virtualKey >= 'A' && virtualKey <= 'Z') k = SDLK_a + static_cast<SDL_Keycode>(virtualKey - 'A');
    else if (virtualKey >= '0' && virtualKey <= '9') k = SDLK_0 + static_cast<SDL_Keycode>(virtualKey - '0');
    else if (virtualKey == 0x1B) k = SDLK_ESCAPE;
    else if (virtualKey == 0x20) k = SDLK_SPACE;
    else if (virtualKey == 0x0D) k = SDLK_RETURN;
    e.key.keysym.sym = k;
    Push(e);
}

void InjectWindowClose(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

void InjectFocus(HWND window) {
    if (HWND old = win32::FocusWindow()) PushWindowEvent(old, SDL_WINDOWEVENT_FOCUS_LOST);
    if (window) PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
}

void InjectFocusGained(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED); }
void InjectFocusLost(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST); }

void InjectSuspend() {
    SDL_Event e{};
    e.type = win32::CustomEventType();
    if (e.type == 0) return;
    e.user.code = win32::kEventSuspend;
    Push(e);
}

bool ScreenSaverRunningFlag() { return win32::ScreenSaverRunningNow(); }
bool CursorHidden() { return win32::CursorHiddenNow(); }

void ResetWindowState() {
    win32::ResetWindows();
    win32::ResetQueue();
    win32::ResetBackend();
    win32::ResetForeign();
    win32::ResetInputState();
    SetFakeDisplays({});
}

}  // namespace tessaloom::test
