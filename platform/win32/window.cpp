// Window classes, the window table, geometry and painting.
#include "platform/win32/window.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/win32/dialog_model.h"
#include "platform/win32/gdi.h"
#include "platform/win32/gdi_backend.h"
#include "platform/win32/sdl_backend.h"
#include "platform/win32/strings.h"

namespace tessaloom::win32 {
namespace {

struct ClassRecord {
    std::u16string name;
    WNDCLASSW wc{};
};

std::vector<ClassRecord> g_classes;
std::mutex g_tableMutex;  // guards g_windows' structure for other threads
std::map<HWND, std::unique_ptr<WindowRecord>> g_windows;
uint64_t g_nextOrder = 1;
// Our handles start above every X11 resource id (29 bits), so a handle of ours
// never names a foreign window.
uintptr_t g_nextHandle = 0x40000000u;
std::thread::id g_saverThread;
bool g_saverThreadSet = false;
ATOM g_nextAtom = 0xC000;

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

ClassRecord* FindClass(LPCWSTR name) {
    if (!name || IS_INTRESOURCE(name)) return nullptr;
    std::u16string_view n(name);
    for (auto& c : g_classes)
        if (EqualNoCase(c.name, n)) return &c;
    return nullptr;
}

void NoteSaverThread() {
    if (!g_saverThreadSet) {
        g_saverThread = std::this_thread::get_id();
        g_saverThreadSet = true;
    }
}

RECT Offset(RECT r, LONG dx, LONG dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

RECT UnionRect(const RECT& a, const RECT& b) {
    if (a.right <= a.left || a.bottom <= a.top) return b;
    if (b.right <= b.left || b.bottom <= b.top) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

// Screen position of a window's client origin.
POINT ClientOrigin(const WindowRecord& w) {
    POINT p{w.rect.left, w.rect.top};
    if (w.style & WS_CHILD) {
        if (WindowRecord* parent = FindWindow(w.parent)) {
            POINT pp = ClientOrigin(*parent);
            p.x += pp.x;
            p.y += pp.y;
        }
        // A foreign parent's screen position is not tracked: the child's
        // coordinates stay relative to it.
    }
    return p;
}

}  // namespace

WindowRecord* FindWindow(HWND window) {
    auto it = g_windows.find(window);
    return it == g_windows.end() ? nullptr : it->second.get();
}

WindowRecord* FindWindowBySdlId(uint32_t id) {
    if (id == 0) return nullptr;
    for (auto& [h, w] : g_windows)
        if (w->sdlId == id) return w.get();
    return nullptr;
}

std::vector<HWND> AllWindows() {
    std::vector<WindowRecord*> recs;
    for (auto& [h, w] : g_windows) recs.push_back(w.get());
    std::sort(recs.begin(), recs.end(), [](auto* a, auto* b) { return a->order < b->order; });
    std::vector<HWND> out;
    for (auto* r : recs) out.push_back(r->handle);
    return out;
}

bool IsOnSaverThread() { return !g_saverThreadSet || std::this_thread::get_id() == g_saverThread; }

bool IsLiveWindow(HWND window) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    return g_windows.count(window) != 0;
}

bool IsWindowOrChild(HWND window, HWND ancestor) {
    for (int depth = 0; window && depth < 64; ++depth) {
        if (window == ancestor) return true;
        WindowRecord* w = FindWindow(window);
        if (!w || !(w->style & WS_CHILD)) return false;
        window = w->parent;
    }
    return false;
}

void ResetWindows() {
    for (HWND h : AllWindows()) DestroyWindow(h);
    g_classes.clear();
    g_saverThreadSet = false;
}

}  // namespace tessaloom::win32

using namespace tessaloom::win32;

ATOM RegisterClassW(const WNDCLASSW* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) return 0;
    if (FindClass(wc->lpszClassName)) return 0;  // ERROR_CLASS_ALREADY_EXISTS
    ClassRecord c;
    c.name = wc->lpszClassName;
    c.wc = *wc;
    c.wc.lpszClassName = nullptr;
    c.wc.lpszMenuName = nullptr;
    g_classes.push_back(std::move(c));
    return g_nextAtom++;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    ClassRecord* c = FindClass(className);
    if (!c) return FALSE;
    g_classes.erase(g_classes.begin() + (c - g_classes.data()));
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    NoteSaverThread();
    if (!IsOnSaverThread()) {
        std::fprintf(stderr, "tessaloom: CreateWindowExW called off the saver thread\n");
        return nullptr;
    }
    ClassRecord* cls = FindClass(className);
    if (!cls) {
        std::fprintf(stderr, "tessaloom: CreateWindowExW: class \"%s\" is not registered\n",
                     className && !IS_INTRESOURCE(className) ? tessaloom::Utf16ToUtf8(className).c_str() : "?");
        return nullptr;
    }
    auto rec = std::make_unique<WindowRecord>();
    rec->className = cls->name;
    rec->proc = cls->wc.lpfnWndProc;
    rec->cursor = cls->wc.hCursor;
    rec->background = cls->wc.hbrBackground;
    rec->icon = cls->wc.hIcon;
    rec->style = style;
    rec->exStyle = exStyle;
    rec->title = windowName ? std::u16string(windowName) : std::u16string();
    if (x == CW_USEDEFAULT) x = 100, y = 100;
    if (width == CW_USEDEFAULT) width = 640, height = 480;
    rec->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    if (style & WS_CHILD) {
        if (!parent) {
            std::fprintf(stderr, "tessaloom: CreateWindowExW: a child window needs a parent\n");
            return nullptr;
        }
        if (FindWindow(parent)) {
            std::fprintf(stderr, "tessaloom: CreateWindowExW: child windows of our own windows are not supported\n");
            return nullptr;
        }
        if (!ForeignWindowExists(parent)) {
            std::fprintf(stderr, "tessaloom: CreateWindowExW: parent window %llu does not exist\n",
                         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(parent)));
            return nullptr;
        }
        rec->parent = parent;
        rec->foreignParent = true;
        const SIZE bounded = BoundForeignChildSize(rec->rect.right - rec->rect.left, rec->rect.bottom - rec->rect.top);
        rec->rect.right = rec->rect.left + bounded.cx;
        rec->rect.bottom = rec->rect.top + bounded.cy;
    } else if (parent) {
        if (!FindWindow(parent)) return nullptr;  // owners are our own windows
        rec->owner = parent;
    }
    rec->handle = reinterpret_cast<HWND>(g_nextHandle);
    g_nextHandle += 4;
    rec->order = g_nextOrder++;
    if (!CreateNativeWindow(*rec)) return nullptr;
    if (rec->foreignParent && !AdoptIntoForeign(*rec)) {
        DestroyNativeWindow(*rec);
        return nullptr;
    }
    HWND handle = rec->handle;
    {
        std::lock_guard<std::mutex> lock(g_tableMutex);
        g_windows[handle] = std::move(rec);
    }
    CREATESTRUCTW cs{param,  instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                     className, exStyle};
    if (!SendMessageW(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    WindowRecord* w = FindWindow(handle);
    if (!w) return nullptr;  // destroyed while being created
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    for (HWND other : AllWindows()) {
        WindowRecord* o = FindWindow(other);
        if (o && o->owner == window) DestroyWindow(other);
    }
    if (w->visible && !w->nativeLost) ShowNativeWindow(*w, false, false);
    SendMessageW(window, WM_DESTROY, 0, 0);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    KillTimersOf(window);
    RemoveMessagesOf(window);
    DestroyNativeWindow(*w);
    ForgetWindowPicture(window);
    std::unique_ptr<WindowRecord> gone;
    {
        std::lock_guard<std::mutex> lock(g_tableMutex);
        auto it = g_windows.find(window);
        gone = std::move(it->second);
        g_windows.erase(it);
    }
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(window, &ps);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            // The class background brush over the client area.
            WindowRecord* w = FindWindow(window);
            if (!w || !w->background) return 0;
            RECT client{};
            GetClientRect(window, &client);
            return FillRect(reinterpret_cast<HDC>(wParam), &client, w->background) ? 1 : 0;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                if (WindowRecord* w = FindWindow(window)) SetCursor(w->cursor);
                return TRUE;
            }
            return FALSE;
        default:
            return 0;
    }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(window, message, wParam, lParam) : 0;
}

BOOL IsWindow(HWND window) {
    if (!window) return FALSE;
    if (IsLiveWindow(window)) return TRUE;
    if (IsDialogHandle(window)) return TRUE;
    return ForeignWindowExists(window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    if (IsDialogHandle(window)) return IsDialogHandleVisible(window);
    WindowRecord* w = FindWindow(window);
    return w && w->visible;
}

HWND GetParent(HWND window) {
    if (IsDialogHandle(window)) return DialogHandleParent(window);
    WindowRecord* w = FindWindow(window);
    if (!w) return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetWindow(HWND window, UINT command) {
    WindowRecord* w = FindWindow(window);
    if (!w || command != GW_OWNER) return nullptr;
    return w->owner;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
    if (IsDialogHandle(window)) return SetDialogHandleText(window, text ? std::u16string(text) : std::u16string());
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    w->title = text ? std::u16string(text) : std::u16string();
    SetNativeTitle(*w);
    return TRUE;
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
    std::u16string dialogText;
    const bool dialog = GetDialogHandleText(window, &dialogText);
    WindowRecord* w = FindWindow(window);
    if ((!w && !dialog) || !text || maxCount <= 0) return 0;
    const std::u16string& title = dialog ? dialogText : w->title;
    int n = static_cast<int>(std::min<size_t>(title.size(), static_cast<size_t>(maxCount - 1)));
    std::copy(title.begin(), title.begin() + n, text);
    text[n] = 0;
    return n;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (!rect) return FALSE;
    if (WindowRecord* w = FindWindow(window)) {
        *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        return TRUE;
    }
    int width = 0, height = 0;
    if (!ForeignClientSize(window, &width, &height)) return FALSE;
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    WindowRecord* w = FindWindow(window);
    if (!w || !rect) return FALSE;
    POINT o = ClientOrigin(*w);
    *rect = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    RECT old = w->rect;
    if (!(flags & SWP_NOMOVE)) w->rect = Offset(w->rect, x - w->rect.left, y - w->rect.top);
    if (!(flags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + std::max(cx, 0);
        w->rect.bottom = w->rect.top + std::max(cy, 0);
    }
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST) {
            w->exStyle |= WS_EX_TOPMOST;
            SetNativeTopmost(*w, true);
        } else if (insertAfter == HWND_NOTOPMOST) {
            w->exStyle &= ~WS_EX_TOPMOST;
            SetNativeTopmost(*w, false);
        }
    }
    bool moved = old.left != w->rect.left || old.top != w->rect.top;
    bool sized = (old.right - old.left) != (w->rect.right - w->rect.left) ||
                 (old.bottom - old.top) != (w->rect.bottom - w->rect.top);
    if (moved || sized) MoveNativeWindow(*w);
    if (flags & SWP_SHOWWINDOW) ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
    if (sized && FindWindow(window)) {
        w->needsPaint = w->visible;
        w->eraseNeeded = w->visible;
        LONG cw = w->rect.right - w->rect.left, ch = w->rect.bottom - w->rect.top;
        w->invalid = RECT{0, 0, cw, ch};
        SendMessageW(window, WM_SIZE, 0, MAKELPARAM(cw, ch));
    }
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL ShowWindow(HWND window, int command) {
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    bool was = w->visible;
    bool show = command != SW_HIDE;
    if (show == was) return was;
    w->visible = show;
    if (show) w->style |= WS_VISIBLE; else w->style &= ~WS_VISIBLE;
    bool activate = command != SW_SHOWNA && !(w->style & WS_CHILD);
    ShowNativeWindow(*w, show, activate);
    if (show) {
        w->needsPaint = true;
        w->eraseNeeded = true;
        w->invalid = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    } else {
        w->needsPaint = false;
    }
    SendMessageW(window, WM_SHOWWINDOW, show, 0);
    return was;
}

BOOL UpdateWindow(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    if (w->needsPaint && w->visible) SendMessageW(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL SetForegroundWindow(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    RaiseNativeWindow(*w);
    return TRUE;
}

HWND GetForegroundWindow() { return FocusWindow(); }

BOOL ScreenToClient(HWND window, LPPOINT point) {
    WindowRecord* w = FindWindow(window);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(*w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
    WindowRecord* w = FindWindow(window);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(*w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD, BOOL) { return rect ? TRUE : FALSE; }
BOOL AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) { return rect ? TRUE : FALSE; }

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    std::vector<HWND> targets;
    if (window) {
        if (!FindWindow(window)) return FALSE;
        targets.push_back(window);
    } else {
        targets = AllWindows();
    }
    for (HWND h : targets) {
        WindowRecord* w = FindWindow(h);
        RECT all{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        w->invalid = w->needsPaint ? UnionRect(w->invalid, rect ? *rect : all) : (rect ? *rect : all);
        w->needsPaint = true;
        if (erase) w->eraseNeeded = true;
    }
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT*) {
    WindowRecord* w = FindWindow(window);
    if (!w) return FALSE;
    w->needsPaint = false;
    w->invalid = RECT{};
    return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    WindowRecord* w = FindWindow(window);
    if (!w || !paint) return nullptr;
    *paint = PAINTSTRUCT{};
    paint->rcPaint = w->needsPaint ? w->invalid : RECT{};
    // The context is clipped to the part that needed painting.
    HDC dc = CreatePaintDC(window, paint->rcPaint);
    paint->hdc = dc;
    bool erase = w->eraseNeeded;
    w->needsPaint = false;
    w->eraseNeeded = false;
    w->invalid = RECT{};
    if (erase) paint->fErase = SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint && paint->hdc) ReleasePaintDC(window, paint->hdc);
    return FindWindow(window) ? TRUE : FALSE;
}
