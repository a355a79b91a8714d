// The GDI subset over cairo and pango: device contexts, brushes, fills,
// frames, text and clipping.
#include "platform/win32/gdi.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/win32/gdi_backend.h"
#include "platform/win32/gdi_hooks.h"
#include "platform/win32/kernel.h"
#include "platform/win32/sdl_backend.h"
#include "platform/win32/strings.h"
#include "platform/win32/window.h"

namespace tessaloom::win32 {
namespace {

struct Brush {
    COLORREF color;
    bool hollow;
};

struct Font {
    int stockIndex;
};

// Stock brushes by stock index 0..5: white, light grey, grey, dark grey, black, null.
Brush g_stockBrushes[6] = {
    {RGB(255, 255, 255), false}, {RGB(192, 192, 192), false}, {RGB(128, 128, 128), false},
    {RGB(64, 64, 64), false},    {RGB(0, 0, 0), false},       {RGB(0, 0, 0), true},
};
Font g_systemFont{SYSTEM_FONT};
Font g_guiFont{DEFAULT_GUI_FONT};

constexpr int kSysColorCount = 31;
// The classic desktop scheme.
const COLORREF kSysColors[kSysColorCount] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(0, 120, 215),
    RGB(240, 240, 240),
};
Brush g_sysBrushes[kSysColorCount];
bool g_sysBrushesReady = false;

std::set<Brush*> g_createdBrushes;

struct DeviceContext {
    HWND window = nullptr;
    cairo_surface_t* picture = nullptr;  // the window's backing picture (a reference)
    cairo_region_t* clip = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    RECT dirty{};
    bool paint = false;

    DeviceContext() = default;
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    ~DeviceContext() {
        if (clip) cairo_region_destroy(clip);
        if (picture) cairo_surface_destroy(picture);
    }
};

std::map<HDC, std::unique_ptr<DeviceContext>> g_contexts;

struct Picture {
    cairo_surface_t* surface = nullptr;

    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() {
        if (surface) cairo_surface_destroy(surface);
    }
};
std::map<HWND, Picture> g_pictures;

DeviceContext* FindContext(HDC dc) {
    auto it = g_contexts.find(dc);
    return it == g_contexts.end() ? nullptr : it->second.get();
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b) {
    if (Empty(a)) return b;
    if (Empty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

void SetSource(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

// The backing picture of a window at its current client size; a picture of
// an older size keeps what it showed in its top-left part.
cairo_surface_t* PictureFor(HWND window) {
    RECT client{};
    if (!GetClientRect(window, &client)) return nullptr;
    int width = std::max<int>(client.right, 1), height = std::max<int>(client.bottom, 1);
    Picture& p = g_pictures[window];
    if (p.surface && cairo_image_surface_get_width(p.surface) == width &&
        cairo_image_surface_get_height(p.surface) == height)
        return p.surface;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "tessaloom: GDI: no %dx%d picture for a window: %s\n", width, height,
                     cairo_status_to_string(cairo_surface_status(s)));
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (p.surface) {
        cairo_set_source_surface(cr, p.surface, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(p.surface);
    }
    cairo_destroy(cr);
    p.surface = s;
    return s;
}

HDC NewContext(HWND window, const RECT& clip, bool paint) {
    cairo_surface_t* picture = PictureFor(window);
    if (!picture) return nullptr;
    auto dc = std::make_unique<DeviceContext>();
    dc->window = window;
    dc->picture = cairo_surface_reference(picture);
    cairo_rectangle_int_t r{clip.left, clip.top, std::max<int>(clip.right - clip.left, 0),
                            std::max<int>(clip.bottom - clip.top, 0)};
    dc->clip = cairo_region_create_rectangle(&r);
    dc->paint = paint;
    HDC handle = reinterpret_cast<HDC>(dc.get());
    g_contexts[handle] = std::move(dc);
    return handle;
}

void FreeContext(HDC handle, bool show) {
    auto it = g_contexts.find(handle);
    if (it == g_contexts.end()) return;
    DeviceContext& dc = *it->second;
    if (show && !Empty(dc.dirty)) {
        cairo_surface_flush(dc.picture);
        ShowInWindow(dc.window, dc.picture, dc.dirty);
    }
    g_contexts.erase(it);
}

// A cairo context on the DC's picture, clipped to the DC's clip region and,
// when given, to `limit`.
cairo_t* Begin(DeviceContext& dc, const RECT* limit) {
    cairo_t* cr = cairo_create(dc.picture);
    cairo_region_t* region = cairo_region_copy(dc.clip);
    if (limit) {
        cairo_rectangle_int_t r{limit->left, limit->top, std::max<int>(limit->right - limit->left, 0),
                                std::max<int>(limit->bottom - limit->top, 0)};
        cairo_region_intersect_rectangle(region, &r);
    }
    int n = cairo_region_num_rectangles(region);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region, i, &r);
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_clip(cr);
    cairo_region_destroy(region);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    return cr;
}

void MarkDirty(DeviceContext& dc, const RECT& r) {
    cairo_rectangle_int_t e;
    cairo_region_get_extents(dc.clip, &e);
    RECT c{std::max<LONG>(r.left, e.x), std::max<LONG>(r.top, e.y), std::min<LONG>(r.right, e.x + e.width),
           std::min<LONG>(r.bottom, e.y + e.height)};
    if (!Empty(c)) dc.dirty = Union(dc.dirty, c);
}

// The brush's colour; false for a hollow or unknown brush.
bool BrushColor(HBRUSH brush, COLORREF* color, bool* known) {
    *known = true;
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v >= 1 && v <= kSysColorCount) {
        *color = kSysColors[v - 1];
        return true;
    }
    auto* b = reinterpret_cast<Brush*>(brush);
    bool stock = b >= g_stockBrushes && b < g_stockBrushes + 6;
    bool sys = b >= g_sysBrushes && b < g_sysBrushes + kSysColorCount;
    if (!stock && !sys && !g_createdBrushes.count(b)) {
        *known = false;
        return false;
    }
    if (b->hollow) return false;
    *color = b->color;
    return true;
}

void FillArea(DeviceContext& dc, const RECT& r, COLORREF color) {
    cairo_t* cr = Begin(dc, nullptr);
    SetSource(cr, color);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    cairo_destroy(cr);
    MarkDirty(dc, r);
}

// The text as pango takes it: UTF-8, with '&' prefixes resolved.
std::string TextForLayout(LPCWSTR text, int count, UINT format) {
    std::u16string s;
    if (count < 0) {
        for (const WCHAR* p = text; *p; ++p) s.push_back(*p);
    } else {
        s.assign(text, text + count);
    }
    if (!(format & DT_NOPREFIX)) {
        std::u16string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == u'&') {
                if (i + 1 < s.size() && s[i + 1] == u'&') {
                    out.push_back(u'&');
                    ++i;
                }
                continue;
            }
            out.push_back(s[i]);
        }
        s = out;
    }
    if (format & DT_SINGLELINE)
        for (auto& c : s)
            if (c == u'\r' || c == u'\n') c = u' ';
    return tessaloom::Utf16ToUtf8(s);
}

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const RECT& r, UINT format) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, 13 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    PangoAlignment align = (format & DT_CENTER)  ? PANGO_ALIGN_CENTER
                           : (format & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                 : PANGO_ALIGN_LEFT;
    pango_layout_set_alignment(layout, align);
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
        pango_layout_set_width(layout, std::max<int>(r.right - r.left, 1) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_single_paragraph_mode(layout, (format & DT_SINGLELINE) ? TRUE : FALSE);
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    return layout;
}

}  // namespace

HDC CreatePaintDC(HWND window, const RECT& update) { return NewContext(window, update, true); }

void ReleasePaintDC(HWND, HDC dc) {
    DeviceContext* c = FindContext(dc);
    if (c && c->paint) FreeContext(dc, true);
}

void ForgetWindowPicture(HWND window) {
    for (auto it = g_contexts.begin(); it != g_contexts.end();) {
        if (it->second->window == window) {
            it = g_contexts.erase(it);
        } else {
            ++it;
        }
    }
    g_pictures.erase(window);
}

void DropWindowPicture(HWND window) {
    if (!g_pictures.empty() && g_pictures.erase(window)) GiveBackFreedHeap();
}

cairo_surface_t* WindowPicture(HWND window) {
    auto it = g_pictures.find(window);
    return it == g_pictures.end() ? nullptr : it->second.surface;
}

}  // namespace tessaloom::win32

using namespace tessaloom::win32;

HDC GetDC(HWND window) {
    RECT client{};
    if (!window || !GetClientRect(window, &client) || !IsLiveWindow(window)) return nullptr;
    return NewContext(window, client, false);
}

int ReleaseDC(HWND, HDC dc) {
    DeviceContext* c = FindContext(dc);
    if (!c || c->paint) return 0;
    FreeContext(dc, true);
    return 1;
}

HWND WindowFromDC(HDC dc) {
    DeviceContext* c = FindContext(dc);
    return c ? c->window : nullptr;
}

HGDIOBJ GetStockObject(int object) {
    if (object >= WHITE_BRUSH && object <= NULL_BRUSH) return &g_stockBrushes[object];
    if (object == SYSTEM_FONT) return &g_systemFont;
    if (object == DEFAULT_GUI_FONT) return &g_guiFont;
    return nullptr;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto* b = new Brush{color & 0x00FFFFFFu, false};
    g_createdBrushes.insert(b);
    return reinterpret_cast<HBRUSH>(b);
}

HBRUSH GetSysColorBrush(int index) {
    if (index < 0 || index >= kSysColorCount) return nullptr;
    if (!g_sysBrushesReady) {
        for (int i = 0; i < kSysColorCount; ++i) g_sysBrushes[i] = Brush{kSysColors[i], false};
        g_sysBrushesReady = true;
    }
    return reinterpret_cast<HBRUSH>(&g_sysBrushes[index]);
}

BOOL DeleteObject(HGDIOBJ object) {
    auto* b = static_cast<Brush*>(object);
    if (g_createdBrushes.erase(b)) {
        delete b;
        return TRUE;
    }
    bool stock = (b >= g_stockBrushes && b < g_stockBrushes + 6) || object == &g_systemFont || object == &g_guiFont ||
                 (b >= g_sysBrushes && b < g_sysBrushes + kSysColorCount);
    return stock ? TRUE : FALSE;
}

DWORD GetSysColor(int index) { return index >= 0 && index < kSysColorCount ? kSysColors[index] : 0; }

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    DeviceContext* c = FindContext(dc);
    COLORREF color = 0;
    bool known = false;
    if (!c || !rect) return 0;
    bool solid = BrushColor(brush, &color, &known);
    if (!known) return 0;
    if (solid && !Empty(*rect)) FillArea(*c, *rect, color);
    return 1;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
    DeviceContext* c = FindContext(dc);
    COLORREF color = 0;
    bool known = false;
    if (!c || !rect) return 0;
    bool solid = BrushColor(brush, &color, &known);
    if (!known) return 0;
    const RECT& r = *rect;
    if (!solid || Empty(r)) return 1;
    FillArea(*c, RECT{r.left, r.top, r.right, r.top + 1}, color);
    FillArea(*c, RECT{r.left, r.bottom - 1, r.right, r.bottom}, color);
    FillArea(*c, RECT{r.left, r.top, r.left + 1, r.bottom}, color);
    FillArea(*c, RECT{r.right - 1, r.top, r.right, r.bottom}, color);
    return 1;
}

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    DeviceContext* c = FindContext(dc);
    if (!c || !rect || !text) return 0;
    const RECT r = *rect;
    std::string utf8 = TextForLayout(text, count, format);
    bool clip = !(format & (DT_NOCLIP | DT_CALCRECT));
    cairo_t* cr = Begin(*c, clip ? &r : nullptr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    PangoLayout* layout = MakeLayout(cr, utf8, r, format);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    int width = logical.width, height = logical.height;
    if (utf8.empty()) width = 0;
    bool wrapped = (format & DT_WORDBREAK) && !(format & DT_SINGLELINE);
    int result = height;
    if (format & DT_CALCRECT) {
        rect->right = rect->left + (wrapped ? std::max<int>(width, 0) : width);
        rect->bottom = rect->top + height;
        g_object_unref(layout);
        cairo_destroy(cr);
        return result;
    }
    // Where the layout's origin goes: a wrapped layout spans the rectangle's
    // width and aligns its lines itself; otherwise the block is placed.
    int x = r.left;
    if (wrapped) {
        x = r.left;
    } else if (format & DT_CENTER) {
        x = r.left + (r.right - r.left - width) / 2 - logical.x;
    } else if (format & DT_RIGHT) {
        x = r.right - width - logical.x;
    }
    int y = r.top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) y = r.top + (r.bottom - r.top - height) / 2;
        else if (format & DT_BOTTOM) y = r.bottom - height;
        if (format & (DT_VCENTER | DT_BOTTOM)) result = y - r.top + height;
    }
    if (c->bkMode == OPAQUE && !utf8.empty()) {
        SetSource(cr, c->bkColor);
        PangoLayoutIter* it = pango_layout_get_iter(layout);
        do {
            PangoRectangle line;
            pango_layout_iter_get_line_extents(it, nullptr, &line);
            pango_extents_to_pixels(&line, nullptr);
            cairo_rectangle(cr, x + line.x, y + line.y, line.width, line.height);
        } while (pango_layout_iter_next_line(it));
        pango_layout_iter_free(it);
        cairo_fill(cr);
    }
    SetSource(cr, c->textColor);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    RECT drawn{x + std::min(ink.x, logical.x), y + std::min(ink.y, logical.y),
               x + std::max(ink.x + ink.width, logical.x + logical.width),
               y + std::max(ink.y + ink.height, logical.y + logical.height)};
    if (clip) drawn = RECT{std::max(drawn.left, r.left), std::max(drawn.top, r.top), std::min(drawn.right, r.right),
                           std::min(drawn.bottom, r.bottom)};
    MarkDirty(*c, drawn);
    g_object_unref(layout);
    cairo_destroy(cr);
    return result;
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
    DeviceContext* c = FindContext(dc);
    if (!c) return RGN_ERROR;
    if (right > left && bottom > top) {
        cairo_rectangle_int_t r{left, top, right - left, bottom - top};
        cairo_region_subtract_rectangle(c->clip, &r);
    }
    if (cairo_region_is_empty(c->clip)) return NULLREGION;
    return cairo_region_num_rectangles(c->clip) == 1 ? SIMPLEREGION : COMPLEXREGION;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    DeviceContext* c = FindContext(dc);
    if (!c) return CLR_INVALID;
    COLORREF old = c->textColor;
    c->textColor = color & 0x00FFFFFFu;
    return old;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    DeviceContext* c = FindContext(dc);
    if (!c) return CLR_INVALID;
    COLORREF old = c->bkColor;
    c->bkColor = color & 0x00FFFFFFu;
    return old;
}

int SetBkMode(HDC dc, int mode) {
    DeviceContext* c = FindContext(dc);
    if (!c || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = c->bkMode;
    c->bkMode = mode;
    return old;
}

namespace tessaloom::test {

namespace {
WindowPixels FromRgb24(const unsigned char* data, int width, int height, int stride) {
    WindowPixels p;
    p.width = width;
    p.height = height;
    p.colors.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            uint32_t v = row[x];  // 0x00RRGGBB
            p.colors[static_cast<size_t>(y) * width + x] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        }
    }
    return p;
}
}  // namespace

WindowPixels ReadWindowPixels(HWND window) {
    cairo_surface_t* s = tessaloom::win32::WindowPicture(window);
    if (!s) return {};
    cairo_surface_flush(s);
    return FromRgb24(cairo_image_surface_get_data(s), cairo_image_surface_get_width(s),
                     cairo_image_surface_get_height(s), cairo_image_surface_get_stride(s));
}

}  // namespace tessaloom::test
