#include "platform/win32/window_bridge.h"

#include <cstdio>

#include "platform/win32/gdi_backend.h"
#include "platform/win32/messages.h"
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

void WindowShowsPresentedFrame(HWND window) { win32::DropWindowPicture(window); }

}  // namespace tessaloom

// The sound graph's notifications reach their window through the message
// queue.  PostMessageW only takes the queue's own locks and never waits for
// the saver thread, as the graph's audio thread requires.
#include "platform/dshow/dshow.h"

namespace {

bool PostGraphEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam) != FALSE;
}

const bool g_graphPosterInstalled = [] {
    tessaloom::dshow::SetEventPoster(PostGraphEvent);
    return true;
}();

}  // namespace
