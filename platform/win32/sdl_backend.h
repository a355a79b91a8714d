// Internals of the window stand-in shared by its files: the window table, the
// message queue's input side and the SDL and X11 back ends.  Nothing above
// platform/win32 includes this.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/rc_icon.h"
#include "platform/win32/window.h"

namespace tessaloom::win32 {

struct WindowRecord {
    HWND handle = nullptr;
    std::u16string className;
    WNDPROC proc = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HICON icon = nullptr;  // the class icon, shown by the window manager
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // WS_CHILD: the parent (ours or foreign)
    HWND owner = nullptr;   // top-level: the owner
    bool foreignParent = false;
    std::u16string title;
    // Top-level: screen coordinates.  Child: the parent's client coordinates.
    RECT rect{};
    bool visible = false;
    bool needsPaint = false;
    bool eraseNeeded = false;
    RECT invalid{};
    bool destroying = false;
    SDL_Window* sdl = nullptr;
    uint32_t sdlId = 0;
    // The native window went away with its foreign parent.
    bool nativeLost = false;
    uint64_t order = 0;  // creation order
};

// --- window table (window.cpp) ---------------------------------------------
WindowRecord* FindWindow(HWND window);
WindowRecord* FindWindowBySdlId(uint32_t id);
// Live windows in creation order (a snapshot of handles).
std::vector<HWND> AllWindows();
bool IsOnSaverThread();
// Any thread: whether the handle is a live window of ours.
bool IsLiveWindow(HWND window);
// Whether `window` is `ancestor` or one of its descendants.
bool IsWindowOrChild(HWND window, HWND ancestor);
void ResetWindows();

// --- message queue (messages.cpp) -------------------------------------------
void QueueInput(const MSG& msg);
void RemoveMessagesOf(HWND window);
void KillTimersOf(HWND window);
void WakeQueue();
void ResetQueue();

// --- SDL back end (sdl_backend.cpp) -----------------------------------------
// Starts SDL's video once.  Refused (false, said on stderr, for the rest of
// the process) when SDL found no video driver that shows windows to a person
// and none was named in SDL_VIDEODRIVER.
bool EnsureVideo();
// Whether windows of SDL's video driver `driver` are seen by a person: any
// driver the environment chose, else only the drivers of a screen.
bool ShowsWindowsToAPerson(const char* driver, bool chosenByEnvironment);
// Creates the SDL window of a record (hidden); false with a message on stderr.
// The pixels behind an icon of LoadIconW (null for another handle).
const IconImage* IconImageOf(HICON icon);

bool CreateNativeWindow(WindowRecord& record);
void DestroyNativeWindow(WindowRecord& record);
void ShowNativeWindow(WindowRecord& record, bool show, bool activate);
void MoveNativeWindow(WindowRecord& record);
void SetNativeTopmost(WindowRecord& record, bool topmost);
void RaiseNativeWindow(WindowRecord& record);
// Translates pending SDL events and foreign-window changes into messages.
// Sent messages (activation, suspend, cursor) are sent from here.
void PumpEvents();
void SetNativeTitle(WindowRecord& record);
HWND FocusWindow();

struct NativeMode {
    int width, height, refresh, bits;
};
struct NativeDisplay {
    std::string adapterName;
    std::string monitorName;
    RECT bounds;
    RECT work;  // usable bounds
    std::vector<NativeMode> modes;
    NativeMode current;
};
// SDL's displays, in SDL's order.
std::vector<NativeDisplay> QueryNativeDisplays();
// The pointer: shown with the arrow or the wait cursor, or hidden.
enum class NativeCursor { Arrow, Wait };
void ApplyNativeCursor(NativeCursor cursor, bool visible);
bool NativeCursorPosition(POINT* point);
void ResetBackend();
// The event type of our own events (suspend), registered with SDL.
uint32_t CustomEventType();
constexpr int32_t kEventSuspend = 1;

// --- foreign windows (x11_foreign.cpp) ---------------------------------------
// A foreign window id is any handle that is not one of ours.
bool ForeignWindowExists(HWND foreign);
bool ForeignClientSize(HWND foreign, int* width, int* height);
// Puts the record's SDL window inside the foreign window at the record's rect.
bool AdoptIntoForeign(WindowRecord& record);
// Checks the foreign parents: children of vanished parents are destroyed,
// children follow their parent's size up to BoundForeignChildSize.
void PollForeignWindows();
// The size a child of a foreign window takes for a parent of width x height:
// the parent's, but no larger than the virtual screen (no person sees more
// of it at once) and than kLargestForeignChild, the largest back buffer and
// texture of the Direct3D stand-in.  The window's pixels (and the GL
// drawable's behind it) are what it costs: a parent of 16000 x 16000 would
// cost gigabytes.  The child sits at the parent's top left.
constexpr int kLargestForeignChild = 8192;
SIZE BoundForeignChildSize(int width, int height);
// Before SDL destroys a window whose X window already went with its parent:
// SDL hides it first and would wait for an UnmapNotify that never comes.
void PrepareLostNativeDestroy(WindowRecord& record);
// Takes the record's X window off the screen now.  SDL's own hiding first
// leaves full screen and waits up to 100 ms for the window manager to answer
// (none answers a full-screen window on a bare X server), and only then
// unmaps the window.  Nothing without X11.
void WithdrawAtOnce(WindowRecord& record);
void ResetForeign();
bool IsFakeForeign(HWND foreign);

// --- the X server's focus (x11_foreign.cpp) -----------------------------------
// Where the X server has the keyboard focus: on one of our windows (`*ours`
// is set to it when not null), elsewhere, or Unknown without an X connection
// or when the focus follows the pointer.
enum class ServerFocus { Unknown, Ours, Elsewhere };
ServerFocus QueryServerFocus(HWND* ours);

}  // namespace tessaloom::win32
