#include "tools/scene_builder/glyph_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "layers/matrix_code_light.h"

namespace tessaloom::scene_builder {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool Whole(const std::string& text, long long low, long long high, long long& out) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && out >= low && out <= high;
}

// RRGGBB as a COLORREF (0x00BBGGRR).
bool Colour(const std::string& text, uint32_t& out) {
    if (text.size() != 6) return false;
    char* end = nullptr;
    const unsigned long rgb = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0') return false;
    out = static_cast<uint32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
    return true;
}

// The glyphs' strokes in a unit box (x right, y down), as polylines ended by
// a negative x.  Katakana-like shapes and a few runes.
struct Point {
    float x, y;
};
constexpr Point kEnd{-1.0f, 0.0f};
const std::vector<std::vector<Point>> kGlyphs = {
    {{0.15f, 0.15f}, {0.85f, 0.15f}, {0.55f, 0.45f}, kEnd, {0.5f, 0.32f}, {0.5f, 0.6f}, {0.28f, 0.9f}},
    {{0.78f, 0.1f}, {0.22f, 0.5f}, kEnd, {0.55f, 0.3f}, {0.55f, 0.92f}},
    {{0.5f, 0.05f}, {0.5f, 0.2f}, kEnd, {0.2f, 0.45f}, {0.2f, 0.25f}, {0.8f, 0.25f}, {0.8f, 0.5f}, {0.4f, 0.92f}},
    {{0.2f, 0.2f}, {0.8f, 0.2f}, kEnd, {0.5f, 0.2f}, {0.5f, 0.8f}, kEnd, {0.1f, 0.8f}, {0.9f, 0.8f}},
    {{0.15f, 0.35f}, {0.8f, 0.35f}, {0.75f, 0.88f}, {0.6f, 0.8f}, kEnd, {0.45f, 0.08f}, {0.45f, 0.4f}, {0.2f, 0.9f}},
    {{0.2f, 0.3f}, {0.8f, 0.24f}, kEnd, {0.15f, 0.56f}, {0.85f, 0.5f}, kEnd, {0.44f, 0.08f}, {0.56f, 0.92f}},
    {{0.4f, 0.08f}, {0.15f, 0.45f}, kEnd, {0.3f, 0.25f}, {0.8f, 0.25f}, {0.6f, 0.65f}, {0.28f, 0.92f}},
    {{0.2f, 0.2f}, {0.8f, 0.2f}, {0.8f, 0.8f}, {0.2f, 0.8f}},
    {{0.1f, 0.35f}, {0.9f, 0.35f}, kEnd, {0.3f, 0.12f}, {0.3f, 0.6f}, kEnd, {0.7f, 0.12f}, {0.7f, 0.55f}, {0.45f, 0.9f}},
    {{0.15f, 0.2f}, {0.32f, 0.3f}, kEnd, {0.1f, 0.45f}, {0.27f, 0.55f}, kEnd, {0.2f, 0.88f}, {0.85f, 0.3f}},
    {{0.2f, 0.2f}, {0.75f, 0.2f}, {0.3f, 0.85f}, kEnd, {0.5f, 0.55f}, {0.85f, 0.88f}},
    {{0.1f, 0.4f}, {0.9f, 0.4f}, kEnd, {0.5f, 0.08f}, {0.5f, 0.55f}, {0.3f, 0.92f}},
    {{0.25f, 0.3f}, {0.75f, 0.3f}, kEnd, {0.1f, 0.75f}, {0.9f, 0.75f}},
    {{0.5f, 0.05f}, {0.5f, 0.2f}, kEnd, {0.2f, 0.25f}, {0.75f, 0.25f}, {0.2f, 0.7f}, kEnd, {0.5f, 0.5f}, {0.5f, 0.95f},
     kEnd, {0.62f, 0.55f}, {0.85f, 0.75f}},
    {{0.1f, 0.35f}, {0.9f, 0.35f}, kEnd, {0.5f, 0.08f}, {0.5f, 0.92f}, {0.4f, 0.86f}, kEnd, {0.3f, 0.55f},
     {0.15f, 0.8f}, kEnd, {0.7f, 0.55f}, {0.85f, 0.8f}},
    {{0.25f, 0.2f}, {0.7f, 0.3f}, kEnd, {0.25f, 0.45f}, {0.65f, 0.55f}, kEnd, {0.2f, 0.7f}, {0.8f, 0.86f}},
    {{0.3f, 0.08f}, {0.3f, 0.92f}, kEnd, {0.3f, 0.3f}, {0.75f, 0.1f}, kEnd, {0.3f, 0.55f}, {0.75f, 0.35f}},
    {{0.5f, 0.08f}, {0.5f, 0.92f}, kEnd, {0.2f, 0.3f}, {0.5f, 0.5f}, {0.8f, 0.3f}},
    {{0.3f, 0.08f}, {0.3f, 0.92f}, kEnd, {0.3f, 0.15f}, {0.75f, 0.45f}, {0.3f, 0.75f}},
    {{0.5f, 0.1f}, {0.2f, 0.5f}, {0.5f, 0.9f}, {0.8f, 0.5f}, {0.5f, 0.1f}},
};

float SegmentDistance(float px, float py, Point a, Point b) {
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float length2 = dx * dx + dy * dy;
    float t = length2 > 0.0f ? ((px - a.x) * dx + (py - a.y) * dy) / length2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float ex = a.x + t * dx - px, ey = a.y + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

uint8_t Byte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

}  // namespace

bool ParseGlyphStatement(const std::vector<std::string>& words, GlyphSpec& spec, std::string* error) {
    GlyphSpec result;
    for (const std::string& word : words) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) return Fail(error, "expected KEY=VALUE, not '" + word + "'");
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        long long n = 0;
        auto whole = [&](long long low, long long high) {
            if (Whole(value, low, high, n)) return true;
            Fail(error, key + ": expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return false;
        };
        if (key == "color" || key == "highlight") {
            if (!Colour(value, key == "color" ? result.color : result.highlight))
                return Fail(error, key + ": expected RRGGBB");
        } else if (key == "cell") {
            if (!whole(1, 1024)) return false;
            result.cell = static_cast<unsigned>(n);
        } else if (key == "density") {
            if (!whole(0, 100)) return false;
            result.density = static_cast<unsigned>(n);
        } else if (key == "changes") {
            if (!whole(0, 100000)) return false;
            result.changes = static_cast<unsigned>(n);
        } else if (key == "flicker") {
            if (!whole(0, 1)) return false;
            result.flicker = static_cast<int>(n);
        } else if (key == "background") {
            if (!whole(0, 2)) return false;
            result.background = static_cast<int>(n);
        } else if (key == "mode") {
            if (!whole(0, 2)) return false;
            result.mode = static_cast<int>(n);
        } else if (key == "transparency") {
            if (!whole(0, 100)) return false;
            result.transparency = static_cast<unsigned>(n);
        } else {
            return Fail(error, "glyphs take no key '" + key + "'");
        }
    }
    spec = result;
    return true;
}

DS_2D_Light* MakeGlyphLayer(const GlyphSpec& spec) {
    auto* layer = new DS_MatrixCodeLight;
    layer->cellSize.Assign(spec.cell);
    layer->density.Assign(spec.density);
    layer->changeCount.Assign(spec.changes);
    layer->flicker.Assign(spec.flicker);
    layer->background.Assign(spec.background);
    layer->mode.Assign(spec.mode);
    layer->color.Assign(spec.color);
    layer->highlightColor.Assign(spec.highlight);
    layer->transparency.SetValue(spec.transparency);
    return layer;
}

Picture PaintGlyphStrip(int width, int height) {
    Picture p(width, height);
    p.alpha.assign(static_cast<size_t>(width) * height, 0);
    const int bands = height / width + 2;
    const float band = static_cast<float>(height) / static_cast<float>(bands);
    // The glyph box inside its band, in pixels; strokes and glow in pixels too.
    const float boxW = 0.74f * width, boxH = 0.8f * band;
    const float stroke = std::max(0.9f, 0.05f * width);
    const float glow = 0.12f * width;
    const Rgb core{228, 255, 232}, halo{70, 235, 110};
    for (int g = 0; g < bands; ++g) {
        const auto& shape = kGlyphs[static_cast<size_t>(g) % kGlyphs.size()];
        // Past the table the glyphs come again mirrored.
        const bool mirrored = (static_cast<size_t>(g) / kGlyphs.size()) % 2 == 1;
        const float left = 0.13f * width, top = g * band + 0.1f * band;
        std::vector<std::pair<Point, Point>> segments;
        for (size_t i = 1; i < shape.size(); ++i) {
            if (shape[i].x < 0.0f || shape[i - 1].x < 0.0f) continue;
            auto place = [&](Point q) {
                return Point{left + (mirrored ? 1.0f - q.x : q.x) * boxW, top + q.y * boxH};
            };
            segments.emplace_back(place(shape[i - 1]), place(shape[i]));
        }
        const int y0 = static_cast<int>(std::floor(g * band)), y1 = std::min(height, static_cast<int>(std::ceil((g + 1) * band)));
        for (int y = y0; y < y1; ++y) {
            const float py = y + 0.5f;
            if (py < g * band || py >= (g + 1) * band) continue;  // the neighbour's row
            for (int x = 0; x < width; ++x) {
                const float px = x + 0.5f;
                float d = 1e9f;
                for (const auto& [a, b] : segments) d = std::min(d, SegmentDistance(px, py, a, b));
                const float body = std::clamp(stroke + 0.5f - d, 0.0f, 1.0f);
                const float outer = d > stroke ? (d - stroke) / glow : 0.0f;
                const float shine = 0.45f * std::exp(-outer * outer * 2.0f);
                const float a = std::max(body, shine);
                if (a <= 0.004f) continue;
                p.At(x, y) = {Byte((halo.r + (core.r - halo.r) * body) / 255.0f),
                              Byte((halo.g + (core.g - halo.g) * body) / 255.0f),
                              Byte((halo.b + (core.b - halo.b) * body) / 255.0f)};
                p.alpha[static_cast<size_t>(y) * width + x] = Byte(a);
            }
        }
    }
    return p;
}

}  // namespace tessaloom::scene_builder
