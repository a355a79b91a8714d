#include "tools/scene_builder/glassball_builder.h"

#include <algorithm>
#include <cmath>

#include "layers/glass_ball_light.h"

namespace tessaloom::scene_builder {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool ParseWhole(const std::string& word, unsigned& out) {
    if (word.empty() || word.size() > 9) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    out = static_cast<unsigned>(std::stoul(word));
    return true;
}

bool ParseSigned(const std::string& word, int& out) {
    unsigned magnitude = 0;
    const bool negative = !word.empty() && word[0] == '-';
    if (!ParseWhole(negative ? word.substr(1) : word, magnitude)) return false;
    out = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    return true;
}

bool ParseHexColour(const std::string& word, uint32_t& out) {
    if (word.size() != 6) return false;
    uint32_t v = 0;
    for (char c : word) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

// 0xRRGGBB as written to the layer's COLORREF 0x00BBGGRR.
DWORD ToColorRef(uint32_t rgb) { return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16); }

// ------------------------------------------------------------- painting --

struct Colour {
    float r, g, b;
};

float SmoothStep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

uint8_t Byte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

Rgb ToRgb(const Colour& c) { return {Byte(c.r), Byte(c.g), Byte(c.b)}; }

Colour Lerp(const Colour& a, const Colour& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A small deterministic generator, so the pictures are the same every build.
struct Dice {
    uint32_t state;
    float Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    }
};

// Straight-alpha layering of `c` with coverage `a` over the pixel.
void Over(Picture& p, int x, int y, const Colour& c, float a) {
    a = std::clamp(a, 0.0f, 1.0f);
    if (a < 0.002f) return;  // below half a step of an alpha byte
    const size_t i = static_cast<size_t>(y) * p.width + x;
    const float below = p.alpha.empty() ? 1.0f : p.alpha[i] / 255.0f;
    const float out = a + below * (1.0f - a);
    const Rgb& old = p.pixels[i];
    const auto mix = [&](float top, uint8_t under) { return (top * a + under * below * (1.0f - a)) / out; };
    p.pixels[i] = {Byte(mix(c.r, old.r)), Byte(mix(c.g, old.g)), Byte(mix(c.b, old.b))};
    if (!p.alpha.empty()) p.alpha[i] = Byte(out * 255.0f);
}

// A clear picture whose colour, row by row, runs from `top` to `bottom`:
// the colour that linear filtering blends in at the edges of what is
// painted over it, so edges take the glass's tint, not black.
Picture Transparent(int width, int height, const Colour& top, const Colour& bottom) {
    Picture p(width, height);
    p.alpha.assign(p.pixels.size(), 0);
    for (int y = 0; y < height; ++y) {
        const Rgb c = ToRgb(Lerp(top, bottom, static_cast<float>(y) / static_cast<float>(height - 1)));
        for (int x = 0; x < width; ++x) p.At(x, y) = c;
    }
    return p;
}

// Alpha in steps of `alphaStep` and colours in steps of 8 where anything is
// painted, so the run-length file stays small; what becomes clear takes its
// row's tint again.  Soft glows want finer steps than the wide rim.
void Posterize(Picture& p, const Colour& top, const Colour& bottom, int alphaStep) {
    for (int y = 0; y < p.height; ++y) {
        const Rgb tint = ToRgb(Lerp(top, bottom, static_cast<float>(y) / static_cast<float>(p.height - 1)));
        for (int x = 0; x < p.width; ++x) {
            uint8_t& a = p.alpha[static_cast<size_t>(y) * p.width + x];
            Rgb& c = p.At(x, y);
            if (a == 0) continue;
            a = static_cast<uint8_t>(std::min(255, (a + alphaStep / 2) / alphaStep * alphaStep));
            if (a == 0) {
                c = tint;
                continue;
            }
            const auto step = [](uint8_t v) { return static_cast<uint8_t>(std::min(255, (v + 4) / 8 * 8)); };
            c = {step(c.r), step(c.g), step(c.b)};
        }
    }
}

// The ball's quad spans the picture; its disc has a radius of 508 / 512.
constexpr float kDiscRadius = 508.0f / 512.0f;

// Overlay 1: the glass darkens and takes a sea-green tint towards its rim,
// more so on the shadowed lower side, with a thin bright line where the
// rim refracts the light from behind.
Picture PaintGlassRim(int width, int height) {
    const Colour top{34, 66, 74}, bottom{10, 24, 32};
    Picture p = Transparent(width, height, top, bottom);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float nx = (x + 0.5f) / width * 2.0f - 1.0f, ny = (y + 0.5f) / height * 2.0f - 1.0f;
            const float r = std::sqrt(nx * nx + ny * ny) / kDiscRadius;
            if (r > 1.0f) continue;
            const float edge = SmoothStep(0.55f, 1.0f, r);
            const float shadow = 0.18f * std::max(0.0f, ny) * edge;
            Over(p, x, y, Lerp({30, 62, 70}, {8, 20, 28}, edge), edge * edge * 0.78f + shadow);
            const float line = std::exp(-std::pow((r - 0.955f) / 0.012f, 2.0f));
            Over(p, x, y, {200, 240, 245}, line * (0.35f + 0.3f * std::max(0.0f, -ny)));
        }
    Posterize(p, top, bottom, 12);
    return p;
}

// Overlay 2: a four-paned window reflected in the upper left, bent along the
// glass, a sharp glint beside it and a faint warm crescent low on the right.
Picture PaintGlassGlint(int width, int height) {
    const Colour top{176, 206, 236}, bottom{255, 236, 200};
    Picture p = Transparent(width, height, top, bottom);
    // Turned so that the window's long side runs along the rim.
    const float angle = 0.707f, ca = std::cos(angle), sa = std::sin(angle);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float nx = (x + 0.5f) / width * 2.0f - 1.0f, ny = (y + 0.5f) / height * 2.0f - 1.0f;
            const float r = std::sqrt(nx * nx + ny * ny) / kDiscRadius;
            if (r > 1.0f) continue;
            // The window: an ellipse turned along the rim, panes split by a cross.
            const float wx = (nx + 0.36f) * ca - (ny + 0.42f) * sa, wy = (nx + 0.36f) * sa + (ny + 0.42f) * ca;
            const float e = (wx / 0.30f) * (wx / 0.30f) + (wy / 0.17f) * (wy / 0.17f);
            const bool mullion = std::fabs(wx) < 0.006f || std::fabs(wy) < 0.005f;
            // Brighter on the side towards the rim, where the glass turns away.
            const float toRim = std::clamp(0.5f - wy / 0.34f, 0.0f, 1.0f);
            if (e < 1.0f && !mullion)
                Over(p, x, y, {245, 250, 255}, (1.0f - SmoothStep(0.5f, 1.0f, e)) * (0.16f + 0.22f * toRim));
            // The glint: a bright core in a soft halo.
            const float gx = nx + 0.08f, gy = ny + 0.62f;
            const float g = std::sqrt(gx * gx + gy * gy);
            Over(p, x, y, {255, 255, 255}, std::exp(-std::pow(g / 0.035f, 2.0f)) * 0.95f +
                                               std::exp(-std::pow(g / 0.12f, 2.0f)) * 0.3f);
            // The crescent: light through the ball onto its far side.
            const float a = std::atan2(ny, nx);
            const float band = std::exp(-std::pow((r - 0.86f) / 0.05f, 2.0f));
            const float arc = SmoothStep(0.1f, 0.5f, a) * (1.0f - SmoothStep(1.0f, 1.45f, a));
            Over(p, x, y, {255, 236, 200}, band * arc * 0.4f);
        }
    Posterize(p, top, bottom, 3);
    return p;
}

// The shine: the ball's shadow on the ground below it, and inside the
// shadow the bright spot where the glass focuses the light.  The upper part
// of the quad lies over the ball and stays clear.
Picture PaintGlassCaustic(int width, int height) {
    const Colour top{120, 110, 90}, bottom{60, 52, 40};
    Picture p = Transparent(width, height, top, bottom);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = (x + 0.5f) / width, v = (y + 0.5f) / height;
            const float clear = SmoothStep(0.36f, 0.5f, v);
            const float sx = (u - 0.5f) / 0.42f, sy = (v - 0.70f) / 0.2f;
            const float s = sx * sx + sy * sy;
            if (s < 1.0f) Over(p, x, y, {0, 0, 0}, (1.0f - s) * (1.0f - s) * 0.45f * clear);
            const float cx = (u - 0.53f) / 0.16f, cy = (v - 0.70f) / 0.11f;
            const float c = cx * cx + cy * cy;
            Over(p, x, y, {255, 244, 205}, (std::exp(-c * 2.2f) * 0.9f + std::exp(-c * 0.5f) * 0.2f) * clear);
        }
    Posterize(p, top, bottom, 3);
    return p;
}

// A city at night by a river: a dusky sky with stars and a moon, towers of
// lit and dark windows, and their lights trembling in the water.
Picture PaintNightCity(int width, int height) {
    Picture p(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const int shore = static_cast<int>(h * 0.74f);
    // The sky, a colour a row: deep blue at the top to a warm haze at the horizon.
    for (int y = 0; y < shore; ++y) {
        const float t = static_cast<float>(y) / static_cast<float>(shore);
        const Colour c = t < 0.6f ? Lerp({6, 10, 32}, {34, 28, 72}, t / 0.6f) : Lerp({34, 28, 72}, {130, 76, 84}, (t - 0.6f) / 0.4f);
        for (int x = 0; x < width; ++x) p.At(x, y) = ToRgb(c);
    }
    Dice dice{20261211u};
    for (int i = 0; i < width * height / 900; ++i) {
        const int x = static_cast<int>(dice.Next() * w), y = static_cast<int>(dice.Next() * h * 0.5f);
        const float b = 120.0f + 135.0f * dice.Next();
        p.At(x, y) = ToRgb({b, b, b * 0.95f + 10.0f});
    }
    const float mx = w * 0.8f, my = h * 0.16f, mr = h * 0.045f;
    for (int y = std::max(0, static_cast<int>(my - mr * 3)); y < std::min(shore, static_cast<int>(my + mr * 3)); ++y)
        for (int x = std::max(0, static_cast<int>(mx - mr * 3)); x < std::min(width, static_cast<int>(mx + mr * 3)); ++x) {
            const float d = std::hypot(x - mx, y - my) / mr;
            const Rgb old = p.At(x, y);
            const Colour under{static_cast<float>(old.r), static_cast<float>(old.g), static_cast<float>(old.b)};
            const float glow = d < 1.0f ? 1.0f : 0.25f * std::exp(-(d - 1.0f) * 1.5f);
            p.At(x, y) = ToRgb(Lerp(under, {238, 232, 210}, glow));
        }
    // Towers, back to front: the far row paler and lower.
    for (int row = 0; row < 2; ++row) {
        const float top = row == 0 ? 0.50f : 0.36f, spread = row == 0 ? 0.16f : 0.26f;
        const Colour body = row == 0 ? Colour{40, 34, 62} : Colour{18, 16, 30};
        int x = -static_cast<int>(dice.Next() * w * 0.04f);
        while (x < width) {
            const int bw = static_cast<int>(w * (0.035f + 0.06f * dice.Next()));
            const int ty = static_cast<int>(h * (top + spread * dice.Next()));
            const float shade = 0.8f + 0.3f * dice.Next();
            const int cell = std::max(3, static_cast<int>(w * 0.008f)), floor = std::max(4, static_cast<int>(h * 0.014f));
            const float lit = row == 0 ? 0.25f : 0.4f;
            for (int y = ty; y < shore; ++y)
                for (int xx = std::max(0, x); xx < std::min(width, x + bw); ++xx)
                    p.At(xx, y) = ToRgb({body.r * shade, body.g * shade, body.b * shade});
            for (int wy = ty + floor; wy + floor / 2 < shore - floor; wy += floor)
                for (int wx = x + cell; wx + cell < x + bw; wx += cell * 2) {
                    if (dice.Next() > lit) continue;
                    const bool cool = dice.Next() < 0.2f;
                    const float b = 0.7f + 0.3f * dice.Next();
                    const Colour c = cool ? Colour{170 * b, 205 * b, 255 * b} : Colour{255 * b, 196 * b, 104 * b};
                    for (int yy = wy; yy < wy + floor / 2; ++yy)
                        for (int xx = std::max(0, wx); xx < std::min(width, wx + cell); ++xx) p.At(xx, yy) = ToRgb(c);
                }
            x += bw + static_cast<int>(w * 0.004f * dice.Next());
        }
    }
    // The river mirrors the city, darker and broken into ripples.
    for (int y = shore; y < height; ++y) {
        const int mirror = std::max(0, 2 * shore - y - 1);
        const float depth = static_cast<float>(y - shore) / std::max(1.0f, h - shore);
        const int shift = static_cast<int>(std::sin(y * 0.9f) * (2.0f + 6.0f * depth));
        for (int x = 0; x < width; ++x) {
            const Rgb& m = p.At(std::clamp(x + shift, 0, width - 1), mirror);
            const Colour c{m.r * 0.42f + 4.0f, m.g * 0.45f + 8.0f, m.b * 0.5f + 22.0f};
            p.At(x, y) = ToRgb(Lerp(c, {4, 8, 22}, depth * 0.6f));
        }
    }
    return p;
}

}  // namespace

bool ParseGlassBallStatement(const std::vector<std::string>& words, GlassBallSpec& spec, std::string* error) {
    GlassBallSpec s = spec;
    for (const std::string& word : words) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) return Fail(error, "expected KEY=VALUE, not '" + word + "'");
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        bool ok = false;
        if (key == "size") {
            ok = ParseWhole(value, s.size);
        } else if (key == "strength") {
            ok = ParseWhole(value, s.strength);
        } else if (key == "speed") {
            ok = ParseWhole(value, s.speed);
        } else if (key == "at") {
            const size_t comma = value.find(',');
            ok = comma != std::string::npos && ParseSigned(value.substr(0, comma), s.x) &&
                 ParseSigned(value.substr(comma + 1), s.y);
        } else if (key == "mode" || key == "overlays" || key == "shine") {
            unsigned n = 0;
            ok = ParseWhole(value, n) && n <= (key == "mode" ? 3u : 1u);
            (key == "mode" ? s.mode : key == "overlays" ? s.overlays : s.shine) = static_cast<int>(n);
        } else if (key == "top" || key == "bottom") {
            ok = ParseHexColour(value, key == "top" ? s.top : s.bottom);
        } else if (key == "background") {
            s.background = value;
            ok = !value.empty();
        } else {
            return Fail(error, "the glass ball has no key '" + key + "'");
        }
        if (!ok) return Fail(error, "'" + value + "' is not a value for " + key);
    }
    spec = s;
    return true;
}

DS_2D_Light* MakeGlassBallLayer(const GlassBallSpec& spec, const std::map<std::string, DS_LinkKey>& pictures,
                                std::string* error) {
    auto* ball = new DS_GlassBallLight;
    ball->size.value = spec.size;
    ball->lensStrength.value = spec.strength;
    ball->ballPosition.value = POINT{spec.x, spec.y};
    ball->scrollMode.value = spec.mode;
    ball->scrollSpeed.SetValue(spec.speed);
    ball->gradientTop.value = ToColorRef(spec.top);
    ball->gradientBottom.value = ToColorRef(spec.bottom);
    ball->overlay1Flag.value = spec.overlays;
    ball->overlay2Flag.value = spec.overlays;
    ball->shineFlag.value = spec.shine;
    if (!spec.background.empty()) {
        const auto found = pictures.find(spec.background);
        if (found == pictures.end()) {
            delete ball;
            Fail(error, "the glass ball's background '" + spec.background + "' is no picture of the scene");
            return nullptr;
        }
        ball->backgroundImage.key = found->second;
        ball->backgroundSource.value = 1;
    }
    return ball;
}

const std::vector<std::string>& GlassBallPictureNames() {
    static const std::vector<std::string> names = {"glass-rim", "glass-glint", "glass-caustic", "night-city"};
    return names;
}

bool PaintGlassBallPicture(const std::string& name, int width, int height, Picture& out) {
    if (width < 4 || height < 4 || width > 0xFFFF || height > 0xFFFF) return false;
    if (name == "glass-rim") out = PaintGlassRim(width, height);
    else if (name == "glass-glint") out = PaintGlassGlint(width, height);
    else if (name == "glass-caustic") out = PaintGlassCaustic(width, height);
    else if (name == "night-city") out = PaintNightCity(width, height);
    else return false;
    return true;
}

}  // namespace tessaloom::scene_builder
