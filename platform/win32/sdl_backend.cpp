// The SDL back end of the window stand-in: native windows and the translation
// of SDL events into window messages.
#include "platform/win32/sdl_backend.h"

#include <dbus/dbus.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/d3d9/gl_context.h"
#include "platform/win32/strings.h"
#include "platform/win32/window_bridge.h"

namespace tessaloom::win32 {
namespace {

bool g_videoReady = false;
uint32_t g_customEvent = 0;
HWND g_focus = nullptr;     // our window with the keyboard focus
bool g_appActive = false;   // WM_ACTIVATEAPP state last told to the windows

WPARAM VirtualKeyFromSdl(const SDL_Keysym& key) {
    SDL_Keycode k = key.sym;
    if (k >= SDLK_a && k <= SDLK_z) return static_cast<WPARAM>('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<WPARAM>('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12) return 0x70 + static_cast<WPARAM>(k - SDLK_F1);
    switch (k) {
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_TAB: return 0x09;
        case SDLK_RETURN: case SDLK_KP_ENTER: return 0x0D;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
        case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
        case SDLK_LALT: case SDLK_RALT: return 0x12;
        case SDLK_PAUSE: return 0x13;
        case SDLK_CAPSLOCK: return 0x14;
        case SDLK_ESCAPE: return 0x1B;
        case SDLK_SPACE: return 0x20;
        case SDLK_PAGEUP: return 0x21;
        case SDLK_PAGEDOWN: return 0x22;
        case SDLK_END: return 0x23;
        case SDLK_HOME: return 0x24;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        case SDLK_INSERT: return 0x2D;
        case SDLK_DELETE: return 0x2E;
        case SDLK_LGUI: return 0x5B;
        case SDLK_RGUI: return 0x5C;
        default: return 0xFF;  // a key without a virtual-key code of its own
    }
}

void SendToTopLevel(UINT message, WPARAM wParam, LPARAM lParam) {
    for (HWND h : AllWindows()) {
        WindowRecord* w = FindWindow(h);
        if (w && !(w->style & WS_CHILD)) SendMessageW(h, message, wParam, lParam);
    }
}

// WM_ACTIVATEAPP only when the application as a whole gains or loses the
// focus, not when the focus moves between its own windows.  As in Win32,
// activation follows each event as it comes: showing and activating a
// top-level window makes the application active at once, and a focus event
// counts where it stands in its batch, so a gain followed by a loss in one
// pump still starts the loss.  The focus leaves one window before it reaches
// the next, sometimes in separate batches of events, so the application counts
// as inactive only once none of its windows has had the focus for
// kActivationGraceMs.
//
// SDL merges and drops X focus events (a FocusIn followed by a FocusOut
// within its own settling time reaches us as nothing at all), so with an X
// server the server's own answer decides: while active, where the focus is
// is asked every kServerFocusCheckMs, and a loss is confirmed by asking again
// once the grace time has run.
constexpr Uint32 kActivationGraceMs = 200;
constexpr Uint32 kServerFocusCheckMs = 100;
Uint32 g_focusLostAt = 0;
bool g_focusLostPending = false;
Uint32 g_lastServerCheck = 0;

void Activate() {
    g_focusLostPending = false;
    if (g_appActive) return;
    g_appActive = true;
    g_lastServerCheck = SDL_GetTicks();
    SendToTopLevel(WM_ACTIVATEAPP, TRUE, 0);
}

void StartFocusLoss(Uint32 now) {
    if (!g_appActive || g_focusLostPending) return;
    g_focusLostPending = true;
    g_focusLostAt = now;
}

// After each focus event: a gain activates now, a loss starts the grace time.
void FollowFocus() {
    if (g_focus && !FindWindow(g_focus)) g_focus = nullptr;
    if (g_focus)
        Activate();
    else
        StartFocusLoss(SDL_GetTicks());
}

// Once per pump: asks the server while active, and ends the grace time.
void UpdateActivation() {
    if (g_focus && !FindWindow(g_focus)) {
        g_focus = nullptr;
        FollowFocus();
    }
    if (!g_appActive) return;
    const Uint32 now = SDL_GetTicks();
    if (!g_focusLostPending) {
        if (now - g_lastServerCheck < kServerFocusCheckMs) return;
        g_lastServerCheck = now;
        if (QueryServerFocus(nullptr) == ServerFocus::Elsewhere) {
            g_focus = nullptr;
            StartFocusLoss(now);
        }
        return;
    }
    if (now - g_focusLostAt < kActivationGraceMs) return;
    HWND ours = nullptr;
    if (QueryServerFocus(&ours) == ServerFocus::Ours) {
        // The server has the focus on one of ours: the loss was not real.
        g_focus = ours;
        g_focusLostPending = false;
        g_lastServerCheck = now;
        return;
    }
    g_focusLostPending = false;
    g_appActive = false;
    SendToTopLevel(WM_ACTIVATEAPP, FALSE, 0);
}

// logind announces a suspend with PrepareForSleep(true) on the system bus;
// it becomes WM_POWERBROADCAST PBT_APMSUSPEND.  Without a system bus (a
// container, a CI runner) a suspend is not seen, which is said once.
//
// The bus is opened by its address, read here each time: libdbus's own
// system-bus lookup reads DBUS_SYSTEM_BUS_ADDRESS once per process and keeps
// the answer, so a connection made again after ResetBackend would go to the
// first address ever seen.
DBusConnection* g_systemBus = nullptr;
bool g_systemBusTried = false;

DBusConnection* OpenSystemBus(DBusError* error) {
    const char* named = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const char* address = named && *named ? named : "unix:path=/run/dbus/system_bus_socket";
    DBusConnection* bus = dbus_connection_open_private(address, error);
    if (!bus) return nullptr;
    if (!dbus_bus_register(bus, error)) {
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
        return nullptr;
    }
    return bus;
}

void WatchSystemSleep() {
    if (!g_systemBusTried) {
        g_systemBusTried = true;
        DBusError error;
        dbus_error_init(&error);
        g_systemBus = OpenSystemBus(&error);
        if (g_systemBus) {
            dbus_connection_set_exit_on_disconnect(g_systemBus, FALSE);
            dbus_bus_add_match(g_systemBus,
                               "type='signal',interface='org.freedesktop.login1.Manager',member='PrepareForSleep'",
                               &error);
            dbus_connection_flush(g_systemBus);
        }
        if (dbus_error_is_set(&error)) {
            std::fprintf(stderr, "tessaloom: no system bus (%s): a system suspend will not end the saver\n",
                         error.message);
            dbus_error_free(&error);
            if (g_systemBus) {
                dbus_connection_close(g_systemBus);
                dbus_connection_unref(g_systemBus);
                g_systemBus = nullptr;
            }
        }
    }
    if (!g_systemBus) return;
    if (!dbus_connection_read_write(g_systemBus, 0)) {
        dbus_connection_close(g_systemBus);
        dbus_connection_unref(g_systemBus);
        g_systemBus = nullptr;
        return;
    }
    while (DBusMessage* m = dbus_connection_pop_message(g_systemBus)) {
        if (dbus_message_is_signal(m, "org.freedesktop.login1.Manager", "PrepareForSleep")) {
            dbus_bool_t starting = FALSE;
            if (dbus_message_get_args(m, nullptr, DBUS_TYPE_BOOLEAN, &starting, DBUS_TYPE_INVALID) && starting) {
                SDL_Event e{};
                e.type = g_customEvent;
                e.user.code = kEventSuspend;
                if (g_customEvent) SDL_PushEvent(&e);
            }
        }
        dbus_message_unref(m);
    }
}

LPARAM ClientPoint(int x, int y) { return MAKELPARAM(static_cast<SHORT>(x), static_cast<SHORT>(y)); }

void Translate(const SDL_Event& e) {
    if (e.type == g_customEvent && g_customEvent != 0) {
        if (e.user.code == kEventSuspend) SendToTopLevel(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        return;
    }
    DWORD time = SDL_GetTicks();
    switch (e.type) {
        case SDL_MOUSEMOTION: {
            WindowRecord* w = FindWindowBySdlId(e.motion.windowID);
            if (!w) return;
            HWND h = w->handle;
            SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            WPARAM keys = 0;
            if (e.motion.state & SDL_BUTTON_LMASK) keys |= 0x0001;
            if (e.motion.state & SDL_BUTTON_RMASK) keys |= 0x0002;
            if (e.motion.state & SDL_BUTTON_MMASK) keys |= 0x0010;
            QueueInput(MSG{h, WM_MOUSEMOVE, keys, ClientPoint(e.motion.x, e.motion.y), time, {e.motion.x, e.motion.y}});
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            WindowRecord* w = FindWindowBySdlId(e.button.windowID);
            if (!w) return;
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            UINT m;
            switch (e.button.button) {
                case SDL_BUTTON_LEFT: m = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
                case SDL_BUTTON_RIGHT: m = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
                case SDL_BUTTON_MIDDLE: m = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
                default: return;  // X buttons: no message here
            }
            QueueInput(MSG{w->handle, m, 0, ClientPoint(e.button.x, e.button.y), time, {e.button.x, e.button.y}});
            break;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            WindowRecord* w = FindWindowBySdlId(e.key.windowID);
            if (!w && g_focus) w = FindWindow(g_focus);
            if (!w) return;
            bool down = e.type == SDL_KEYDOWN;
            bool alt = (e.key.keysym.mod & KMOD_ALT) != 0 || e.key.keysym.sym == SDLK_LALT || e.key.keysym.sym == SDLK_RALT;
            UINT m = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
            LPARAM flags = 1 | (static_cast<LPARAM>(e.key.keysym.scancode & 0xFF) << 16);
            if (e.key.repeat) flags |= static_cast<LPARAM>(1) << 30;
            if (!down) flags |= (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
            QueueInput(MSG{w->handle, m, VirtualKeyFromSdl(e.key.keysym), flags, time, {}});
            break;
        }
        case SDL_WINDOWEVENT: {
            WindowRecord* w = FindWindowBySdlId(e.window.windowID);
            if (!w) return;
            HWND h = w->handle;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    // The frame's close button: the system command, as a posted message.
                    QueueInput(MSG{h, WM_SYSCOMMAND, SC_CLOSE, 0, time, {}});
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    g_focus = h;
                    FollowFocus();
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    if (g_focus == h) {
                        g_focus = nullptr;
                        FollowFocus();
                    }
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    InvalidateRect(h, nullptr, FALSE);
                    break;
                case SDL_WINDOWEVENT_MOVED:
                    if (!(w->style & WS_CHILD)) {
                        LONG wd = w->rect.right - w->rect.left, ht = w->rect.bottom - w->rect.top;
                        w->rect = RECT{e.window.data1, e.window.data2, e.window.data1 + wd, e.window.data2 + ht};
                    }
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    if (e.window.data1 != w->rect.right - w->rect.left || e.window.data2 != w->rect.bottom - w->rect.top) {
                        w->rect.right = w->rect.left + e.window.data1;
                        w->rect.bottom = w->rect.top + e.window.data2;
                        InvalidateRect(h, nullptr, TRUE);
                        SendMessageW(h, WM_SIZE, 0, MAKELPARAM(e.window.data1, e.window.data2));
                    }
                    break;
                default:
                    break;
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

bool ShowsWindowsToAPerson(const char* driver, bool chosenByEnvironment) {
    if (!driver) return false;
    // A driver the environment names is taken as chosen, the offscreen one
    // of the tests and headless runs included.
    if (chosenByEnvironment) return true;
    // What SDL falls back to by itself must put windows on a screen.
    for (const char* shown : {"x11", "wayland", "kmsdrm"})
        if (std::strcmp(driver, shown) == 0) return true;
    return false;
}

bool EnsureVideo() {
    if (g_videoReady) return true;
    static bool refused = false;
    if (refused) return false;
    // Ctrl-C ends the process as usual; SDL_QUIT is not a window message.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // Focus loss must not minimise the full-screen windows.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // Opening windows does not hold off the desktop's own screen saver.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "tessaloom: SDL video could not start: %s\n", SDL_GetError());
        return false;
    }
    const char* named = std::getenv("SDL_VIDEODRIVER");
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!ShowsWindowsToAPerson(driver, named && *named)) {
        std::fprintf(stderr,
                     "tessaloom: no display to show windows on (SDL found only its \"%s\" video driver, which "
                     "shows nothing): set DISPLAY or WAYLAND_DISPLAY, or name a driver in SDL_VIDEODRIVER\n",
                     driver ? driver : "none");
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        refused = true;
        return false;
    }
    // Keep the GL library loaded for the whole process: SDL would unload and
    // reload it with every last OpenGL window, and the Direct3D stand-in makes
    // its contexts on these windows.
    if (SDL_GL_LoadLibrary(nullptr) != 0)
        std::fprintf(stderr, "tessaloom: no OpenGL library for SDL windows: %s\n", SDL_GetError());
    g_customEvent = SDL_RegisterEvents(1);
    if (g_customEvent == static_cast<uint32_t>(-1)) g_customEvent = 0;
    g_videoReady = true;
    return true;
}

uint32_t CustomEventType() {
    EnsureVideo();
    return g_customEvent;
}

bool CreateNativeWindow(WindowRecord& w) {
    if (!EnsureVideo()) return false;
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    bool child = (w.style & WS_CHILD) != 0;
    if (child || (w.style & WS_POPUP)) flags |= SDL_WINDOW_BORDERLESS;
    if (w.exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (child || (w.style & WS_POPUP)) flags |= SDL_WINDOW_SKIP_TASKBAR;
    int width = std::max<int>(w.rect.right - w.rect.left, 1);
    int height = std::max<int>(w.rect.bottom - w.rect.top, 1);
    int x = child ? 0 : w.rect.left, y = child ? 0 : w.rect.top;
    std::string title = Utf16ToUtf8(w.title);
    w.sdl = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
    if (!w.sdl) {
        std::fprintf(stderr, "tessaloom: SDL_CreateWindow failed: %s\n", SDL_GetError());
        return false;
    }
    w.sdlId = SDL_GetWindowID(w.sdl);
    if (const IconImage* icon = IconImageOf(w.icon)) {
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<uint8_t*>(icon->rgba.data()), icon->width, icon->height, 32, icon->width * 4,
            SDL_PIXELFORMAT_RGBA32);
        if (surface) {
            SDL_SetWindowIcon(w.sdl, surface);  // SDL copies the pixels
            SDL_FreeSurface(surface);
        }
    }
    return true;
}

void DestroyNativeWindow(WindowRecord& w) {
    if (g_focus == w.handle) {
        g_focus = nullptr;
        FollowFocus();  // only starts the grace time: nothing is sent from here
    }
    if (w.sdl && w.nativeLost && w.visible) PrepareLostNativeDestroy(w);
    if (w.sdl) SDL_DestroyWindow(w.sdl);
    w.sdl = nullptr;
    w.sdlId = 0;
}

// Showing or raising a top-level window of ours gives it the focus and makes
// the application active at once, as Win32 does; the server's own focus
// events follow later and are taken as they come.
void TakeFocus(WindowRecord& w) {
    if (w.style & WS_CHILD) return;
    g_focus = w.handle;
    Activate();
}

void ShowNativeWindow(WindowRecord& w, bool show, bool activate) {
    if (!w.sdl) return;
    if (show) {
        SDL_ShowWindow(w.sdl);
        if (activate) {
            SDL_RaiseWindow(w.sdl);
            TakeFocus(w);
        }
    } else if (!w.nativeLost) {
        // (SDL would wait for the unmapping of an X window that is gone.)
        WithdrawAtOnce(w);
        SDL_HideWindow(w.sdl);
    }
}

void MoveNativeWindow(WindowRecord& w) {
    if (!w.sdl) return;
    if (!(w.style & WS_CHILD)) SDL_SetWindowPosition(w.sdl, w.rect.left, w.rect.top);
    SDL_SetWindowSize(w.sdl, std::max<int>(w.rect.right - w.rect.left, 1), std::max<int>(w.rect.bottom - w.rect.top, 1));
}

void SetNativeTopmost(WindowRecord& w, bool topmost) {
    if (w.sdl) SDL_SetWindowAlwaysOnTop(w.sdl, topmost ? SDL_TRUE : SDL_FALSE);
}

void RaiseNativeWindow(WindowRecord& w) {
    if (!w.sdl) return;
    SDL_RaiseWindow(w.sdl);
    if (w.visible) TakeFocus(w);
}

void PumpEvents() {
    if (!g_videoReady) return;
    if (!IsOnSaverThread()) return;
    WatchSystemSleep();
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) Translate(e);
    PollForeignWindows();
    UpdateActivation();
}

void SetNativeTitle(WindowRecord& w) {
    if (w.sdl) SDL_SetWindowTitle(w.sdl, Utf16ToUtf8(w.title).c_str());
}

namespace {
// What a person knows the graphics adapter by: OpenGL's renderer name (the
// chip, or Mesa's software rasteriser), without the driver details Mesa puts
// in parentheses after it or the bus and instruction sets after a "/".
// Asked once, on a thread of its own, so that no context of the caller's
// thread is touched.
const std::string& RendererName() {
    static const std::string name = [] {
        std::string renderer;
        std::thread([&renderer] {
            std::string error;
            if (auto context = tessaloom::d3d9::CreateSurfacelessContext(&error))
                if (const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = text;
        }).join();
        renderer = renderer.substr(0, renderer.find('/'));
        if (!renderer.empty() && renderer.back() == ')') {
            const size_t open = renderer.rfind(" (");
            if (open != std::string::npos && open > 0) renderer.erase(open);
        }
        while (!renderer.empty() && renderer.back() == ' ') renderer.pop_back();
        return renderer.empty() ? std::string("Graphics adapter") : renderer;
    }();
    return name;
}

int BitsOf(Uint32 format) { return SDL_BITSPERPIXEL(format) >= 24 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(format)); }
SDL_Cursor* g_cursors[2] = {nullptr, nullptr};
}  // namespace

std::vector<NativeDisplay> QueryNativeDisplays() {
    std::vector<NativeDisplay> out;
    if (!EnsureVideo()) return out;
    int n = SDL_GetNumVideoDisplays();
    for (int i = 0; i < n; ++i) {
        NativeDisplay d;
        const char* name = SDL_GetDisplayName(i);
        d.monitorName = name && *name ? name : "Monitor " + std::to_string(i + 1);
        d.adapterName = RendererName() + " on " + d.monitorName;
        SDL_Rect b{}, u{};
        SDL_GetDisplayBounds(i, &b);
        if (SDL_GetDisplayUsableBounds(i, &u) != 0) u = b;
        d.bounds = RECT{b.x, b.y, b.x + b.w, b.y + b.h};
        d.work = RECT{u.x, u.y, u.x + u.w, u.y + u.h};
        int count = SDL_GetNumDisplayModes(i);
        for (int m = 0; m < count; ++m) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(i, m, &mode) == 0)
                d.modes.push_back(NativeMode{mode.w, mode.h, mode.refresh_rate, BitsOf(mode.format)});
        }
        SDL_DisplayMode cur;
        if (SDL_GetCurrentDisplayMode(i, &cur) == 0)
            d.current = NativeMode{cur.w, cur.h, cur.refresh_rate, BitsOf(cur.format)};
        else
            d.current = NativeMode{b.w, b.h, 60, 32};
        out.push_back(d);
    }
    return out;
}

void ApplyNativeCursor(NativeCursor cursor, bool visible) {
    if (!EnsureVideo()) return;
    if (visible) {
        int which = cursor == NativeCursor::Wait ? 1 : 0;
        if (!g_cursors[which])
            g_cursors[which] = SDL_CreateSystemCursor(which ? SDL_SYSTEM_CURSOR_WAIT : SDL_SYSTEM_CURSOR_ARROW);
        if (g_cursors[which]) SDL_SetCursor(g_cursors[which]);
    }
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool NativeCursorPosition(POINT* point) {
    if (!EnsureVideo()) return false;
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    *point = POINT{x, y};
    return true;
}

HWND FocusWindow() { return g_focus && FindWindow(g_focus) ? g_focus : nullptr; }

void ResetBackend() {
    if (g_videoReady) {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    g_focus = nullptr;
    g_appActive = false;
    g_focusLostPending = false;
    g_lastServerCheck = 0;
    // The system bus is looked up again at the next pump, so that a test
    // (or a changed DBUS_SYSTEM_BUS_ADDRESS) gets the bus it names.
    if (g_systemBus) {
        dbus_connection_close(g_systemBus);
        dbus_connection_unref(g_systemBus);
        g_systemBus = nullptr;
    }
    g_systemBusTried = false;
}

}  // namespace tessaloom::win32
