#include "platform/win32/window_bridge.h"

#include <cstdio>

namespace tessaloom {

// Until the window table exists no HWND names an SDL window: callers see the
// failure and report it.
SDL_Window* SdlWindowFromHwnd(HWND window) {
    if (window) std::fprintf(stderr, "tessaloom: window %p is not a window of this process\n", static_cast<void*>(window));
    return nullptr;
}

}  // namespace tessaloom
