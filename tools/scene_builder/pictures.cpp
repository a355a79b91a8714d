#include "tools/scene_builder/pictures.h"

#include <algorithm>
#include <cmath>

namespace tessaloom::scene_builder {
namespace {

uint8_t Clamp8(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

Rgb Mix(Rgb a, Rgb b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {Clamp8(a.r + (b.r - a.r) * t), Clamp8(a.g + (b.g - a.g) * t), Clamp8(a.b + (b.b - a.b) * t)};
}

// Integer hash -> [0, 1).
float Hash(uint32_t n) {
    n = (n << 13) ^ n;
    n = n * (n * n * 15731u + 789221u) + 1376312589u;
    return static_cast<float>(n & 0x00FFFFFFu) / 16777216.0f;
}

// Smooth 1D value noise with a few octaves, in [0, 1).
float Ridge(float x, uint32_t seed, int octaves) {
    float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const float i = std::floor(x);
        const float f = x - i;
        const float s = f * f * (3.0f - 2.0f * f);
        const uint32_t k = static_cast<uint32_t>(static_cast<int32_t>(i)) + seed * 7919u + o * 104729u;
        sum += amplitude * (Hash(k) + (Hash(k + 1) - Hash(k)) * s);
        norm += amplitude;
        amplitude *= 0.5f;
        x *= 2.0f;
    }
    return sum / norm;
}

// Paints the sky as a vertical gradient through the given stops (fractions of
// the height from the top).
void Sky(Picture& p, const std::vector<std::pair<float, Rgb>>& stops) {
    for (int y = 0; y < p.height; ++y) {
        const float t = static_cast<float>(y) / static_cast<float>(p.height - 1);
        Rgb c = stops.front().second;
        for (size_t i = 1; i < stops.size(); ++i) {
            if (t <= stops[i].first) {
                const float span = stops[i].first - stops[i - 1].first;
                c = Mix(stops[i - 1].second, stops[i].second, span > 0 ? (t - stops[i - 1].first) / span : 1.0f);
                break;
            }
            c = stops[i].second;
        }
        for (int x = 0; x < p.width; ++x) p.At(x, y) = c;
    }
}

void Disc(Picture& p, float cx, float cy, float radius, Rgb core, Rgb rim) {
    const int y0 = std::max(0, static_cast<int>(cy - radius)), y1 = std::min(p.height - 1, static_cast<int>(cy + radius));
    for (int y = y0; y <= y1; ++y) {
        const float dy = y - cy;
        const float half = std::sqrt(std::max(0.0f, radius * radius - dy * dy));
        const int x0 = std::max(0, static_cast<int>(cx - half)), x1 = std::min(p.width - 1, static_cast<int>(cx + half));
        const Rgb c = Mix(core, rim, std::fabs(dy) / radius);
        for (int x = x0; x <= x1; ++x) p.At(x, y) = c;
    }
}

// A range of hills: its top edge at `base` (fraction of the height) raised by
// noise of `amplitude`; rows below the edge shade from `top` to `bottom`.
void Hills(Picture& p, float base, float amplitude, float wavelength, uint32_t seed, Rgb top, Rgb bottom,
           float floor = 1.0f, int octaves = 4) {
    const float h = static_cast<float>(p.height);
    for (int x = 0; x < p.width; ++x) {
        const float n = Ridge(static_cast<float>(x) / (wavelength * p.width), seed, octaves);
        const int edge = std::max(0, static_cast<int>((base - amplitude * n) * h));
        const int end = std::min(p.height, static_cast<int>(floor * h));
        for (int y = edge; y < end; ++y) {
            // Shade in coarse steps so that neighbouring columns share colours.
            const float t = std::floor(static_cast<float>(y - edge) / (h * 0.02f)) * 0.02f * h / (end - edge + 1.0f);
            p.At(x, y) = Mix(top, bottom, t);
        }
    }
}

// Mirrors the rows above `surface` into the rows below it, darkened and
// tinted, with a few calm ripple lines.
void Lake(Picture& p, float surface, Rgb tint) {
    const int s = static_cast<int>(surface * p.height);
    for (int y = s; y < p.height; ++y) {
        const int src = std::max(0, 2 * s - y - 1);
        const bool ripple = ((y - s) % 23) < 2;
        for (int x = 0; x < p.width; ++x) {
            Rgb c = Mix(p.At(x, src), tint, 0.35f + 0.3f * (y - s) / static_cast<float>(p.height - s));
            if (ripple) c = Mix(c, Rgb{255, 255, 255}, 0.06f);
            p.At(x, y) = c;
        }
    }
}

}  // namespace

Picture PaintValley(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {38, 84, 170}}, {0.45f, {120, 176, 230}}, {0.6f, {236, 220, 190}}});
    Disc(p, width * 0.72f, height * 0.2f, height * 0.06f, {255, 250, 225}, {255, 226, 150});
    Hills(p, 0.52f, 0.16f, 0.45f, 1, {120, 144, 170}, {150, 170, 180});
    Hills(p, 0.58f, 0.12f, 0.3f, 2, {70, 120, 70}, {110, 150, 80});
    Hills(p, 0.64f, 0.08f, 0.2f, 3, {46, 96, 44}, {80, 128, 52});
    Lake(p, 0.68f, {30, 70, 110});
    return p;
}

Picture PaintDusk(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {24, 18, 60}}, {0.3f, {90, 40, 110}}, {0.55f, {220, 110, 70}}, {0.7f, {250, 190, 110}}});
    for (int i = 0; i < 60; ++i) {
        const int x = static_cast<int>(Hash(1000 + i) * width);
        const int y = static_cast<int>(Hash(2000 + i) * height * 0.3f);
        const uint8_t v = static_cast<uint8_t>(180 + 75 * Hash(3000 + i));
        p.At(x, y) = {v, v, v};
    }
    Disc(p, width * 0.62f, height * 0.5f, height * 0.07f, {255, 180, 90}, {240, 120, 60});
    Hills(p, 0.66f, 0.42f, 0.5f, 11, {60, 40, 80}, {80, 50, 90}, 1.0f, 6);
    Hills(p, 0.74f, 0.22f, 0.25f, 12, {36, 24, 50}, {50, 34, 64}, 1.0f, 5);
    Hills(p, 0.86f, 0.08f, 0.15f, 13, {16, 12, 24}, {24, 18, 34});
    return p;
}

Picture PaintNight(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {2, 3, 12}}, {0.6f, {10, 14, 34}}, {0.85f, {40, 22, 18}}});
    for (int i = 0; i < 120; ++i) {
        const int x = static_cast<int>(Hash(5000 + i) * width);
        const int y = static_cast<int>(Hash(6000 + i) * height * 0.5f);
        const uint8_t v = static_cast<uint8_t>(120 + 135 * Hash(7000 + i));
        p.At(x, y) = {v, v, static_cast<uint8_t>(std::min(255, v + 20))};
    }
    Hills(p, 0.72f, 0.18f, 0.4f, 21, {10, 10, 18}, {18, 14, 20});
    Disc(p, width * 0.5f, height * 0.92f, height * 0.12f, {90, 40, 16}, {30, 14, 10});
    Hills(p, 0.9f, 0.04f, 0.2f, 22, {6, 5, 8}, {4, 3, 5});
    return p;
}

const std::vector<std::string>& PictureNames() {
    static const std::vector<std::string> names = {"valley",         "dusk",       "night",      "garden",
                                                   "butterfly_body", "butterfly_wing", "clock_face", "clock_hand",
                                                   "leaf"};
    return names;
}

bool PaintNamed(const std::string& name, int width, int height, Picture& out) {
    if (width <= 0 || height <= 1 || width > 0xFFFF || height > 0xFFFF) return false;
    if (name == "valley") out = PaintValley(width, height);
    else if (name == "dusk") out = PaintDusk(width, height);
    else if (name == "night") out = PaintNight(width, height);
    else if (name == "garden") out = PaintGarden(width, height);
    else if (name == "butterfly_body") out = PaintButterflyBody(width, height);
    else if (name == "butterfly_wing") out = PaintButterflyWing(width, height);
    else if (name == "clock_face") out = PaintClockFace(width, height);
    else if (name == "clock_hand") out = PaintClockHand(width, height);
    else if (name == "leaf") out = PaintLeaf(width, height);
    else return false;
    return true;
}

std::vector<uint8_t> EncodeTga(const Picture& picture) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 10;  // run-length true colour
    out[12] = static_cast<uint8_t>(picture.width & 0xFF);
    out[13] = static_cast<uint8_t>(picture.width >> 8);
    out[14] = static_cast<uint8_t>(picture.height & 0xFF);
    out[15] = static_cast<uint8_t>(picture.height >> 8);
    const bool withAlpha = !picture.alpha.empty();
    out[16] = withAlpha ? 32 : 24;
    out[17] = withAlpha ? 0x28 : 0x20;  // top-left origin, 8 alpha bits
    const int w = picture.width;
    auto put = [&](int x, int y) {
        const Rgb& c = picture.At(x, y);
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        if (withAlpha) out.push_back(picture.AlphaAt(x, y));
    };
    auto same = [&](int xa, int xb, int y) {
        const Rgb &a = picture.At(xa, y), &b = picture.At(xb, y);
        return a.r == b.r && a.g == b.g && a.b == b.b && picture.AlphaAt(xa, y) == picture.AlphaAt(xb, y);
    };
    // Packets never cross a row, as the format asks.
    for (int y = 0; y < picture.height; ++y) {
        int x = 0;
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 128 && same(x + run, x, y)) ++run;
            if (run >= 2) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                put(x, y);
                x += run;
                continue;
            }
            // A raw packet up to the next pair of equal pixels.
            int n = 1;
            while (x + n < w && n < 128 && !(x + n + 1 < w && same(x + n, x + n + 1, y))) ++n;
            out.push_back(static_cast<uint8_t>(n - 1));
            for (int i = 0; i < n; ++i) put(x + i, y);
            x += n;
        }
    }
    return out;
}

}  // namespace tessaloom::scene_builder
