// Showing what the device contexts drew: the backing picture is copied into
// the window's SDL surface.
//
// The surface is SDL's own framebuffer of the window (on X11 an image put
// into the window), never a texture framebuffer: that would make a GL context
// of SDL's renderer current behind the Direct3D stand-in, whose contexts live
// on these same windows.  So painting works the same before a device exists
// on the window, beside it, and after it was released.
#include <cairo.h>

#include <SDL2/SDL.h>

#include <cstdio>

#include "platform/win32/gdi_backend.h"
#include "platform/win32/gdi_hooks.h"
#include "platform/win32/sdl_backend.h"

namespace tessaloom::win32 {
namespace {

bool g_told = false;

SDL_Surface* WindowSurface(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (!w || !w->sdl) return nullptr;
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
    SDL_Surface* s = SDL_GetWindowSurface(w->sdl);
    if (!s && !g_told) {
        g_told = true;
        std::fprintf(stderr, "tessaloom: GDI: the window has no surface to paint in: %s\n", SDL_GetError());
    }
    return s;
}

}  // namespace

bool ShowInWindow(HWND window, cairo_surface_t* picture, const RECT& area) {
    SDL_Surface* target = WindowSurface(window);
    if (!target) return false;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        cairo_image_surface_get_data(picture), cairo_image_surface_get_width(picture),
        cairo_image_surface_get_height(picture), 32, cairo_image_surface_get_stride(picture), SDL_PIXELFORMAT_RGB888);
    if (!source) {
        std::fprintf(stderr, "tessaloom: GDI: %s\n", SDL_GetError());
        return false;
    }
    SDL_Rect r{area.left, area.top, area.right - area.left, area.bottom - area.top};
    SDL_Rect to = r;
    bool ok = SDL_BlitSurface(source, &r, target, &to) == 0;
    SDL_FreeSurface(source);
    WindowRecord* w = FindWindow(window);
    if (ok) {
        // Clip the update to the surface: SDL refuses rectangles outside it.
        SDL_Rect bounds{0, 0, target->w, target->h}, update;
        if (SDL_IntersectRect(&r, &bounds, &update)) ok = SDL_UpdateWindowSurfaceRects(w->sdl, &update, 1) == 0;
    }
    if (!ok && !g_told) {
        g_told = true;
        std::fprintf(stderr, "tessaloom: GDI: the window could not show its painting: %s\n", SDL_GetError());
    }
    return ok;
}

}  // namespace tessaloom::win32

namespace tessaloom::test {

WindowPixels ReadWindowSurface(HWND window) {
    win32::WindowRecord* w = win32::FindWindow(window);
    if (!w || !w->sdl) return {};
    SDL_Surface* s = SDL_GetWindowSurface(w->sdl);
    if (!s) return {};
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
    if (!rgb) return {};
    WindowPixels p;
    p.width = rgb->w;
    p.height = rgb->h;
    p.colors.resize(static_cast<size_t>(p.width) * p.height);
    SDL_LockSurface(rgb);
    for (int y = 0; y < p.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(rgb->pixels) + y * rgb->pitch);
        for (int x = 0; x < p.width; ++x) {
            uint32_t v = row[x];
            p.colors[static_cast<size_t>(y) * p.width + x] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        }
    }
    SDL_UnlockSurface(rgb);
    SDL_FreeSurface(rgb);
    return p;
}

}  // namespace tessaloom::test
