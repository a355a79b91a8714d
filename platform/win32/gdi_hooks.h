// Test interface of the GDI subset: what the device contexts drew, and what
// the window shows.
#pragma once

#include <vector>

#include "platform/win32/types.h"

namespace tessaloom::test {

struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colors;  // row by row, RGB() values
    COLORREF At(int x, int y) const { return colors[static_cast<size_t>(y) * width + x]; }
};

// The window's backing picture, which every device context over it draws
// into.  Empty when nothing was drawn in the window yet.
WindowPixels ReadWindowPixels(HWND window);
// The window's SDL surface: what the window shows.  Empty when it has none.
WindowPixels ReadWindowSurface(HWND window);

}  // namespace tessaloom::test
