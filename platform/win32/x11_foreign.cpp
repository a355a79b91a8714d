// Foreign windows: the preview's parent, a window of another process named by
// its X11 window id.  Our child window is an SDL window reparented into it; it
// follows the parent's size, and the parent's destruction (which takes our X
// window with it) becomes the destruction of our window.  X errors about
// vanished windows are expected then, so an X error handler records them
// instead of letting Xlib end the process.
//
// Without an X server (SDL's offscreen driver) the test interface supplies
// stand-in foreign windows with the same life cycle.
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "platform/win32/sdl_backend.h"
#include "platform/win32/test_hooks.h"

namespace tessaloom::win32 {
namespace {

struct FakeForeign {
    int width;
    int height;
    bool alive;
};
std::map<uintptr_t, FakeForeign> g_fakes;
uintptr_t g_nextFake = 0x1F000001u;

Display* g_display = nullptr;  // our own connection, for watching parents
bool g_displayTried = false;
std::set<unsigned long> g_badIds;  // ids an X request found missing
std::set<Window> g_watched;
std::set<Window> g_destroyedParents;

int RecordXError(Display*, XErrorEvent* e) {
    if (e->error_code == BadWindow || e->error_code == BadDrawable) {
        g_badIds.insert(e->resourceid);
        return 0;
    }
    char text[128] = {};
    XGetErrorText(e->display, e->error_code, text, sizeof text);
    std::fprintf(stderr, "tessaloom: X error %s (request %d) on 0x%lx\n", text, e->request_code, e->resourceid);
    return 0;
}

bool UsingX11() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "x11") == 0;
}

Display* WatchDisplay() {
    if (g_displayTried) return g_display;
    if (!EnsureVideo() || !UsingX11()) return nullptr;
    g_displayTried = true;
    g_display = XOpenDisplay(nullptr);
    if (!g_display) std::fprintf(stderr, "tessaloom: cannot open the X display for the preview parent\n");
    // Process-wide, for SDL's connection too; installed after SDL's own.
    XSetErrorHandler(RecordXError);
    return g_display;
}

bool XWindowAlive(Window id, XWindowAttributes* attr) {
    Display* d = WatchDisplay();
    if (!d || id == 0) return false;
    if (g_destroyedParents.count(id)) return false;
    XWindowAttributes a;
    g_badIds.erase(id);
    Status ok = XGetWindowAttributes(d, id, &a);
    XSync(d, False);
    if (!ok || g_badIds.count(id)) return false;
    if (attr) *attr = a;
    return true;
}

Window XId(HWND h) { return static_cast<Window>(reinterpret_cast<uintptr_t>(h)); }

}  // namespace

bool IsFakeForeign(HWND foreign) { return g_fakes.count(reinterpret_cast<uintptr_t>(foreign)) != 0; }

bool ForeignWindowExists(HWND foreign) {
    if (!foreign) return false;
    auto it = g_fakes.find(reinterpret_cast<uintptr_t>(foreign));
    if (it != g_fakes.end()) return it->second.alive;
    if (reinterpret_cast<uintptr_t>(foreign) > 0x1FFFFFFFu) return false;  // not an X resource id
    return XWindowAlive(XId(foreign), nullptr);
}

bool ForeignClientSize(HWND foreign, int* width, int* height) {
    auto it = g_fakes.find(reinterpret_cast<uintptr_t>(foreign));
    if (it != g_fakes.end()) {
        if (!it->second.alive) return false;
        *width = it->second.width;
        *height = it->second.height;
        return true;
    }
    if (reinterpret_cast<uintptr_t>(foreign) > 0x1FFFFFFFu) return false;
    XWindowAttributes a;
    if (!XWindowAlive(XId(foreign), &a)) return false;
    *width = a.width;
    *height = a.height;
    return true;
}

bool AdoptIntoForeign(WindowRecord& w) {
    if (IsFakeForeign(w.parent)) return true;
    Display* watch = WatchDisplay();
    if (!watch) {
        std::fprintf(stderr, "tessaloom: a child of a foreign window needs the X11 video driver\n");
        return false;
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w.sdl, &info) || info.subsystem != SDL_SYSWM_X11) {
        std::fprintf(stderr, "tessaloom: no X11 window behind the SDL window: %s\n", SDL_GetError());
        return false;
    }
    Window parent = XId(w.parent);
    XSelectInput(watch, parent, StructureNotifyMask);
    XSync(watch, False);
    g_watched.insert(parent);
    XReparentWindow(info.info.x11.display, info.info.x11.window, parent, w.rect.left, w.rect.top);
    XSync(info.info.x11.display, False);
    if (g_badIds.count(parent)) {
        std::fprintf(stderr, "tessaloom: the parent window 0x%lx vanished\n", parent);
        return false;
    }
    return true;
}

void PollForeignWindows() {
    if (g_display) {
        while (XPending(g_display)) {
            XEvent e;
            XNextEvent(g_display, &e);
            if (e.type == DestroyNotify && g_watched.count(e.xdestroywindow.window))
                g_destroyedParents.insert(e.xdestroywindow.window);
        }
    }
    for (HWND h : AllWindows()) {
        WindowRecord* w = FindWindow(h);
        if (!w || !w->foreignParent) continue;
        int width = 0, height = 0;
        bool alive;
        if (IsFakeForeign(w->parent)) {
            alive = ForeignClientSize(w->parent, &width, &height);
        } else {
            Window p = XId(w->parent);
            alive = !g_destroyedParents.count(p) && !g_badIds.count(p) && ForeignClientSize(w->parent, &width, &height);
            if (!alive) w->nativeLost = true;
        }
        if (!alive) {
            DestroyWindow(h);
            continue;
        }
        const SIZE bounded = BoundForeignChildSize(width, height);
        if (bounded.cx != w->rect.right - w->rect.left || bounded.cy != w->rect.bottom - w->rect.top)
            SetWindowPos(h, nullptr, 0, 0, bounded.cx, bounded.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

SIZE BoundForeignChildSize(int width, int height) {
    const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN), screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int boundWidth = std::min(screenWidth > 0 ? screenWidth : kLargestForeignChild, kLargestForeignChild);
    const int boundHeight = std::min(screenHeight > 0 ? screenHeight : kLargestForeignChild, kLargestForeignChild);
    return SIZE{std::clamp(width, 0, boundWidth), std::clamp(height, 0, boundHeight)};
}

void WithdrawAtOnce(WindowRecord& w) {
    if (!w.sdl || w.nativeLost || !UsingX11()) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w.sdl, &info) || info.subsystem != SDL_SYSWM_X11) return;
    Display* d = info.info.x11.display;
    if (w.style & WS_CHILD)
        XUnmapWindow(d, info.info.x11.window);
    else
        XWithdrawWindow(d, info.info.x11.window, DefaultScreen(d));
    XFlush(d);
}

void PrepareLostNativeDestroy(WindowRecord& w) {
    if (!w.sdl || IsFakeForeign(w.parent)) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w.sdl, &info) || info.subsystem != SDL_SYSWM_X11) return;
    // The wait is satisfied from the queue; when SDL does not wait, the event
    // names a window SDL no longer knows and is dropped.
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.type = UnmapNotify;
    e.xunmap.display = info.info.x11.display;
    e.xunmap.event = info.info.x11.window;
    e.xunmap.window = info.info.x11.window;
    XPutBackEvent(info.info.x11.display, &e);
}

ServerFocus QueryServerFocus(HWND* ours) {
    Display* d = WatchDisplay();
    if (!d) return ServerFocus::Unknown;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    if (focus == PointerRoot) return ServerFocus::Unknown;
    if (focus == None) return ServerFocus::Elsewhere;
    // Our X windows, then the focus window and its ancestors up to the root:
    // the focus may sit on a child of one of ours.
    std::map<Window, HWND> mine;
    for (HWND h : AllWindows()) {
        WindowRecord* w = FindWindow(h);
        if (!w || !w->sdl || w->nativeLost) continue;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(w->sdl, &info) && info.subsystem == SDL_SYSWM_X11) mine[info.info.x11.window] = h;
    }
    Window at = focus;
    for (int depth = 0; depth < 16 && at != 0; ++depth) {
        auto it = mine.find(at);
        if (it != mine.end()) {
            if (ours) *ours = it->second;
            return ServerFocus::Ours;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        g_badIds.erase(at);
        if (!XQueryTree(d, at, &root, &parent, &children, &count)) break;
        if (children) XFree(children);
        if (parent == root) break;
        at = parent;
    }
    return ServerFocus::Elsewhere;
}

void ResetForeign() {
    g_fakes.clear();
    g_destroyedParents.clear();
    g_badIds.clear();
}

}  // namespace tessaloom::win32

namespace tessaloom::test {

HWND CreateForeignWindow(int width, int height) {
    uintptr_t id = win32::g_nextFake++;
    win32::g_fakes[id] = win32::FakeForeign{width, height, true};
    return reinterpret_cast<HWND>(id);
}

void ResizeForeignWindow(HWND foreign, int width, int height) {
    auto it = win32::g_fakes.find(reinterpret_cast<uintptr_t>(foreign));
    if (it == win32::g_fakes.end()) return;
    it->second.width = width;
    it->second.height = height;
}

void DestroyForeignWindow(HWND foreign) {
    auto it = win32::g_fakes.find(reinterpret_cast<uintptr_t>(foreign));
    if (it != win32::g_fakes.end()) it->second.alive = false;
}

}  // namespace tessaloom::test
