// Cursor and keyboard state of the window stand-in.
#pragma once

#include "platform/win32/types.h"

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)

// Virtual-key codes given in WM_KEYDOWN's wParam.
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SHIFT = 0x10;
constexpr WPARAM VK_CONTROL = 0x11;
constexpr WPARAM VK_MENU = 0x12;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_F1 = 0x70;

// Mouse-key flags of the mouse messages' wParam.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Only the system cursors IDC_ARROW and IDC_WAIT exist (module must be null).
HCURSOR LoadCursorW(HINSTANCE module, LPCWSTR name);
// Application icons are not shown by the window stand-in; returns a handle
// that names the icon for the class record only.
HICON LoadIconW(HINSTANCE module, LPCWSTR name);
// A null cursor hides the pointer; returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
// Display counter: the pointer shows while it is 0 or more.
int ShowCursor(BOOL show);
BOOL GetCursorPos(LPPOINT point);
