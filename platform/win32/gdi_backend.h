// Internals of the GDI subset shared with the window stand-in and the test
// interface.  Nothing above platform/win32 includes this.
#pragma once

#include <cairo.h>

#include "platform/win32/types.h"

namespace tessaloom::win32 {

// The context BeginPaint hands out: clipped to `update` (client coordinates).
HDC CreatePaintDC(HWND window, const RECT& update);
// EndPaint's half: shows what the context drew and frees it.
void ReleasePaintDC(HWND window, HDC dc);
// The window went away: its backing picture goes with it.
void ForgetWindowPicture(HWND window);
// Gives back the window's backing picture; device contexts still open on it
// keep their reference.
void DropWindowPicture(HWND window);
// The window's backing picture (null when nothing was drawn in it yet).
cairo_surface_t* WindowPicture(HWND window);

// --- showing a backing picture (gdi_sdl.cpp) ---------------------------------
// Copies `area` of the picture into the window's SDL surface and updates that
// part of the window.  False (said once on stderr) when the window has no
// surface to show it in.
bool ShowInWindow(HWND window, cairo_surface_t* picture, const RECT& area);

}  // namespace tessaloom::win32
