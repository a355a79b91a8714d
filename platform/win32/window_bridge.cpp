#include "platform/win32/window_bridge.h"

#include <cstdio>

#include "platform/win32/sdl_backend.h"

namespace tessaloom {

SDL_Window* SdlWindowFromHwnd(HWND window) {
    win32::WindowRecord* w = win32::FindWindow(window);
    if (!w || !w->sdl) {
        if (window) std::fprintf(stderr, "tessaloom: window %p is not a window of this process\n", static_cast<void*>(window));
        return nullptr;
    }
    return w->sdl;
}

}  // namespace tessaloom
