// The GDI subset: device contexts over a window's client area, solid, stock
// and system-colour brushes, rectangle fills and frames, word-wrapped text
// with the font's real metrics, and a clip region.
//
// Each window keeps a backing picture of its client area that every device
// context over it draws into (cairo, text laid out with pango).  Releasing a
// context (ReleaseDC, EndPaint) shows what it drew in the window through the
// window's SDL surface.  Coordinates are client coordinates; a rectangle
// covers its left and top edges but not its right and bottom ones.
#pragma once

#include "platform/win32/types.h"

// Stock objects (WHITE_BRUSH, BLACK_BRUSH and NULL_BRUSH are in window.h).
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_GUI_FONT = 17;

// System colours (GetSysColor; COLOR_x + 1 as an HBRUSH is that colour's brush).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;

// DrawTextW formats.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Region kinds (ExcludeClipRect's result).
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// A context over the window's client area, clipped to it.  Null for a window
// that is not ours.
HDC GetDC(HWND window);
// Shows what the context drew; 1 when released, 0 for an unknown context.
int ReleaseDC(HWND window, HDC dc);
// WindowFromDC (window.h) gives the window of any context.

HGDIOBJ GetStockObject(int object);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH GetSysColorBrush(int index);
// Stock and system-colour brushes are not deleted (TRUE, as Windows answers).
BOOL DeleteObject(HGDIOBJ object);
// The classic desktop scheme: COLOR_WINDOW white, COLOR_WINDOWTEXT black.
DWORD GetSysColor(int index);

// `brush` is a brush handle or a system colour index + 1.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// A one-pixel border inside the rectangle.
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
// Formats DT_LEFT/DT_CENTER/DT_RIGHT, DT_TOP/DT_VCENTER/DT_BOTTOM (with
// DT_SINGLELINE), DT_WORDBREAK, DT_SINGLELINE, DT_NOCLIP, DT_NOPREFIX and
// DT_CALCRECT ('&' marks a mnemonic unless DT_NOPREFIX: it is dropped, "&&"
// gives '&').  `count` -1: up to the terminator.  Returns the text's height;
// with DT_CALCRECT nothing is drawn and `rect` becomes the text's extent.
// The context's font is the system font: a sans-serif face of 13 pixels.
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
