// What the Direct3D stand-in needs of the window stand-in: the SDL window
// behind an HWND (created with SDL_WINDOW_OPENGL), and the HMONITOR of an
// SDL display.  Both stand-ins use the same monitor identity:
// HMONITOR = display index + 1.
#pragma once

#include <SDL2/SDL.h>

#include "platform/win32/types.h"

namespace tessaloom {

// Null when the handle names no window of ours.
SDL_Window* SdlWindowFromHwnd(HWND window);

// A device presented a frame into the window: its client area shows that
// frame, not the GDI backing picture, so the picture is given back (open
// device contexts keep theirs; the next paint starts a new one, black).
// Cheap enough for every Present; a handle of no window is ignored.
void WindowShowsPresentedFrame(HWND window);

inline HMONITOR MonitorFromDisplayIndex(int index) {
    return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(index) + 1);
}
inline int DisplayIndexFromMonitor(HMONITOR monitor) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(monitor)) - 1;
}

}  // namespace tessaloom
