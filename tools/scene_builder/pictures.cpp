#include "tools/scene_builder/pictures.h"

#include "tools/scene_builder/glassball_builder.h"
#include "tools/scene_builder/glyph_builder.h"

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

// Periodic value noise in [0, 1): `period` lattice cells across the unit
// square, wrapping at its edges, so a texture of it tiles seamlessly.
float TileNoise(float x, float y, int period, uint32_t seed) {
    const float fx = x * period, fy = y * period;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    float tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto at = [&](int i, int j) {
        i = ((i % period) + period) % period;
        j = ((j % period) + period) % period;
        return Hash(seed * 2654435761u + static_cast<uint32_t>(i) * 7919u + static_cast<uint32_t>(j) * 104729u);
    };
    const float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

// Octaves of TileNoise, the period doubling each time, spread to use most of
// 0..1 (sums of octaves crowd around the middle).
float TileTurbulence(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * TileNoise(x, y, period << o, seed + 31u * o);
        norm += amplitude;
        amplitude *= 0.5f;
    }
    return std::clamp((sum / norm - 0.5f) * 1.9f + 0.5f, 0.0f, 1.0f);
}

// One tongue of a flame pattern: centre across (0..1), half width at its
// foot, and height (fractions of the pattern's flame height).
struct Tongue {
    float centre, halfWidth, height;
};

// A flame-shaped grey pattern: each tongue is brightest at its foot on the
// centre line, narrows as it rises and fades out at its tip.  `bottom` is
// the texture v at which the flames stand (the rows below stay bright).
void FlamePattern(Picture& p, const std::vector<Tongue>& tongues, float bottom) {
    for (int y = 0; y < p.height; ++y) {
        const float v = static_cast<float>(y) / static_cast<float>(p.height - 1);
        const float rise = std::max(0.0f, (bottom - v) / bottom);  // 0 at the foot, 1 at the top
        for (int x = 0; x < p.width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(p.width - 1);
            float value = 0.0f;
            for (const Tongue& t : tongues) {
                if (rise >= t.height) continue;
                const float along = rise / t.height;
                const float half = t.halfWidth * std::pow(1.0f - along, 0.55f) * (1.0f + 0.25f * (1.0f - along));
                const float across = 1.0f - std::fabs(u - t.centre) / half;
                if (across <= 0.0f) continue;
                value = std::max(value, std::pow(across, 0.6f) * std::pow(1.0f - along, 0.45f));
            }
            const uint8_t g = Clamp8(value * 255.0f);
            p.At(x, y) = {g, g, g};
        }
    }
}

}  // namespace

Picture PaintFireNoise(int width, int height) {
    Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t g = Clamp8(255.0f * TileTurbulence(static_cast<float>(x) / width,
                                                             static_cast<float>(y) / height, 4, 5, 41));
            p.At(x, y) = {g, g, g};
        }
    return p;
}

Picture PaintHeatBump(int width, int height) {
    Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / width, v = static_cast<float>(y) / height;
            p.At(x, y) = {Clamp8(255.0f * TileTurbulence(u, v, 3, 4, 62)), Clamp8(255.0f * TileTurbulence(u, v, 3, 4, 63)),
                          128};
        }
    return p;
}

Picture PaintCampfirePattern(int width, int height) {
    Picture p(width, height);
    // A campfire in the middle: a tall central flame, lower ones beside it.
    FlamePattern(p,
                 {{0.50f, 0.07f, 0.9f}, {0.46f, 0.045f, 0.7f}, {0.545f, 0.05f, 0.76f}, {0.415f, 0.035f, 0.48f},
                  {0.585f, 0.035f, 0.52f}, {0.38f, 0.025f, 0.28f}, {0.62f, 0.025f, 0.32f}, {0.50f, 0.13f, 0.14f}},
                 0.95f);
    return p;
}

Picture PaintFirePattern(int width, int height) {
    Picture p(width, height);
    // Flames along the whole lower edge, of irregular heights.
    std::vector<Tongue> tongues;
    for (int i = 0; i < 9; ++i)
        tongues.push_back({(i + 0.5f) / 9.0f, 0.07f, 0.55f + 0.4f * Hash(9300 + i)});
    tongues.push_back({0.5f, 0.6f, 0.2f});
    FlamePattern(p, tongues, 1.0f);
    return p;
}

Picture PaintCampfire(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {1, 2, 10}}, {0.55f, {8, 12, 30}}, {0.8f, {38, 20, 20}}});
    for (int i = 0; i < 150; ++i) {
        const int x = static_cast<int>(Hash(5100 + i) * width);
        const int y = static_cast<int>(Hash(6100 + i) * height * 0.45f);
        const uint8_t v = static_cast<uint8_t>(110 + 145 * Hash(7100 + i));
        p.At(x, y) = {v, v, static_cast<uint8_t>(std::min(255, v + 25))};
    }
    // Wooded hills, then the clearing lit by the fire.
    Hills(p, 0.62f, 0.2f, 0.35f, 31, {8, 9, 16}, {12, 11, 18}, 1.0f, 6);
    Hills(p, 0.74f, 0.1f, 0.12f, 32, {5, 6, 9}, {14, 9, 8}, 1.0f, 5);
    // The fire's light, strongest on the ground round the pit.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float dx = (x - width * 0.5f) / (height * 0.75f), dy = (y - height * 1.0f) / (height * 0.4f);
            const float glow = std::exp(-(dx * dx + dy * dy));
            p.At(x, y) = Mix(p.At(x, y), Rgb{150, 62, 20}, 0.75f * glow);
        }
    // Stones round the fire pit and crossed logs in it.
    for (int i = 0; i < 9; ++i) {
        const float a = 3.14159265f * (0.05f + 0.9f * i / 8.0f);
        const float cx = width * 0.5f - std::cos(a) * height * 0.23f;
        const float cy = height * 0.985f - std::sin(a) * height * 0.035f;
        Disc(p, cx, cy, height * 0.028f, {96, 74, 62}, {40, 28, 24});
    }
    for (int y = static_cast<int>(height * 0.9f); y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float fx = (x - width * 0.5f) / (height * 0.2f), fy = (height * 0.975f - y) / (height * 0.05f);
            for (float slope : {0.22f, -0.22f}) {
                const float d = std::fabs(fy - slope * fx * 4.0f);
                if (std::fabs(fx) < 1.0f && d < 0.35f) p.At(x, y) = Mix(Rgb{70, 40, 22}, Rgb{30, 16, 10}, d / 0.35f);
            }
        }
    return p;
}

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

Picture PaintMeadow(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {38, 84, 170}}, {0.45f, {120, 176, 230}}, {0.6f, {236, 220, 190}}});
    Disc(p, width * 0.72f, height * 0.2f, height * 0.06f, {255, 250, 225}, {255, 226, 150});
    Hills(p, 0.52f, 0.16f, 0.45f, 1, {120, 144, 170}, {150, 170, 180});
    Hills(p, 0.58f, 0.12f, 0.3f, 2, {70, 120, 70}, {110, 150, 80});
    // The meadow: a gentle rise of grass from the hills to the bottom edge,
    // lighter where it catches the sun.
    Hills(p, 0.64f, 0.05f, 0.35f, 5, {96, 150, 58}, {62, 122, 40});
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

Picture PaintDuskGlow(int width, int height) {
    Picture p(width, height);
    // Bright enough from the top down that the sky reads as light behind the
    // ridges: rose high up, gold at the horizon, white round the sun.
    Sky(p, {{0.0f, {150, 120, 170}}, {0.3f, {220, 150, 160}}, {0.5f, {250, 200, 140}}, {0.62f, {255, 240, 200}}});
    // A halo round the low sun, then the sun itself.
    const float sunX = width * 0.62f, sunY = height * 0.4f, halo = height * 0.3f;
    for (int y = std::max(0, static_cast<int>(sunY - halo)); y < std::min(height, static_cast<int>(sunY + halo)); ++y)
        for (int x = std::max(0, static_cast<int>(sunX - halo)); x < std::min(width, static_cast<int>(sunX + halo)); ++x) {
            const float d = std::hypot(x - sunX, y - sunY) / halo;
            if (d < 1.0f) p.At(x, y) = Mix(p.At(x, y), {255, 250, 230}, 0.7f * (1.0f - d) * (1.0f - d));
        }
    Disc(p, sunX, sunY, height * 0.08f, {255, 255, 250}, {255, 240, 200});
    // Three ridges, each darker and nearer, with clear steps between them so
    // each stands out against the one behind.
    Hills(p, 0.62f, 0.3f, 0.5f, 11, {96, 66, 108}, {84, 58, 96}, 1.0f, 6);
    Hills(p, 0.74f, 0.18f, 0.25f, 12, {46, 30, 58}, {38, 26, 48}, 1.0f, 5);
    Hills(p, 0.86f, 0.08f, 0.15f, 13, {22, 16, 30}, {14, 10, 20});
    return p;
}

Picture PaintLakeShore(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {38, 86, 168}}, {0.3f, {96, 150, 212}}, {0.55f, {178, 204, 228}}, {0.625f, {206, 218, 226}}});
    // A few flat clouds.
    for (int i = 0; i < 7; ++i) {
        const float cx = Hash(8100 + i) * width, cy = (0.08f + 0.22f * Hash(8200 + i)) * height;
        const float rx = (0.05f + 0.07f * Hash(8300 + i)) * width, ry = height * 0.018f;
        for (int y = std::max(0, static_cast<int>(cy - ry)); y <= std::min(height - 1, static_cast<int>(cy + ry)); ++y)
            for (int x = std::max(0, static_cast<int>(cx - rx)); x <= std::min(width - 1, static_cast<int>(cx + rx)); ++x) {
                const float dx = (x - cx) / rx, dy = (y - cy) / ry;
                if (dx * dx + dy * dy <= 1.0f) p.At(x, y) = Mix(p.At(x, y), {244, 246, 250}, 0.8f);
            }
    }
    Disc(p, width * 0.78f, height * 0.16f, height * 0.05f, {255, 250, 220}, {255, 236, 180});
    // Snow-capped mountains far off, a wooded ridge nearer, and the dark
    // line of firs along the shore at 0.625 of the height.
    Hills(p, 0.6f, 0.42f, 0.2f, 41, {214, 222, 238}, {92, 110, 148}, 0.625f, 5);
    Hills(p, 0.6f, 0.1f, 0.2f, 42, {58, 96, 70}, {36, 66, 48}, 0.625f, 5);
    Hills(p, 0.625f, 0.035f, 0.012f, 43, {22, 48, 30}, {16, 38, 24}, 0.625f, 2);
    Lake(p, 0.625f, {24, 64, 86});
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

namespace {

float Smooth(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

uint8_t Alpha8(float a) { return Clamp8(a * 255.0f); }


// A filled ellipse in flat colour, clipped to the picture.
void Ellipse(Picture& p, float cx, float cy, float rx, float ry, Rgb c) {
    const int y0 = std::max(0, static_cast<int>(cy - ry)), y1 = std::min(p.height - 1, static_cast<int>(cy + ry));
    for (int y = y0; y <= y1; ++y) {
        const float dy = (y - cy) / ry;
        const float half = rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy));
        const int x0 = std::max(0, static_cast<int>(cx - half)), x1 = std::min(p.width - 1, static_cast<int>(cx + half));
        for (int x = x0; x <= x1; ++x) p.At(x, y) = c;
    }
}

// A straight stroke of the given half width from (ax, ay) to (bx, by).
void Stroke(Picture& p, float ax, float ay, float bx, float by, float half, Rgb c) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = std::max(1e-6f, dx * dx + dy * dy);
    const int x0 = std::max(0, static_cast<int>(std::min(ax, bx) - half - 1));
    const int x1 = std::min(p.width - 1, static_cast<int>(std::max(ax, bx) + half + 1));
    const int y0 = std::max(0, static_cast<int>(std::min(ay, by) - half - 1));
    const int y1 = std::min(p.height - 1, static_cast<int>(std::max(ay, by) + half + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float t = std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0f, 1.0f);
            const float ex = x - (ax + t * dx), ey = y - (ay + t * dy);
            if (ex * ex + ey * ey <= half * half) p.At(x, y) = c;
        }
}

// Gives the clear texels next to the painted shape the colour of their
// painted neighbours, `rings` texels deep, so that filtering at the shape's
// edge blends in its own colour and not the clear texels' black.  Alpha is
// left as it is.
void BleedIntoClear(Picture& p, int rings) {
    std::vector<uint8_t> filled(p.pixels.size());
    for (size_t i = 0; i < filled.size(); ++i) filled[i] = p.alpha[i] > 0;
    for (int ring = 0; ring < rings; ++ring) {
        std::vector<uint8_t> next = filled;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const size_t i = static_cast<size_t>(y) * p.width + x;
                if (filled[i]) continue;
                int r = 0, g = 0, b = 0, n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= p.width || ny >= p.height) continue;
                        const size_t j = static_cast<size_t>(ny) * p.width + nx;
                        if (!filled[j]) continue;
                        r += p.pixels[j].r;
                        g += p.pixels[j].g;
                        b += p.pixels[j].b;
                        ++n;
                    }
                if (n == 0) continue;
                p.pixels[i] = {static_cast<uint8_t>(r / n), static_cast<uint8_t>(g / n), static_cast<uint8_t>(b / n)};
                next[i] = 1;
            }
        filled.swap(next);
    }
}

}  // namespace

Picture PaintFirelight(int width, int height) {
    Picture p = PaintNight(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const float cx = w * 0.5f, cy = h * 0.9f;
    // The embers' light on the ground round them and, weaker, in the air above.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float dx = (x - cx) / (h * 0.6f), dy = (y - cy) / (h * (y < cy ? 0.22f : 0.35f));
            const float glow = std::exp(-(dx * dx + dy * dy));
            p.At(x, y) = Mix(p.At(x, y), Rgb{160, 70, 26}, 0.85f * glow);
        }
    // Two charred logs, crossed, and the bed of embers over them, hottest
    // in the middle; a few low tongues of flame.
    Stroke(p, cx - h * 0.11f, cy + h * 0.015f, cx + h * 0.06f, cy - h * 0.03f, h * 0.012f, {44, 24, 16});
    Stroke(p, cx + h * 0.11f, cy + h * 0.02f, cx - h * 0.05f, cy - h * 0.025f, h * 0.011f, {38, 20, 14});
    for (int i = 0; i < 48; ++i) {
        const float a = Hash(9700 + i) * 6.2831853f, r = std::sqrt(Hash(9800 + i));
        const float ex = cx + std::cos(a) * r * h * 0.09f, ey = cy + std::sin(a) * r * h * 0.018f;
        const float heat = 1.0f - 0.6f * r;
        Ellipse(p, ex, ey, h * (0.006f + 0.007f * Hash(9900 + i)), h * (0.004f + 0.004f * Hash(9950 + i)),
                Mix(Rgb{150, 36, 10}, Rgb{255, 196, 80}, heat * (0.6f + 0.4f * Hash(9990 + i))));
    }
    for (int i = 0; i < 5; ++i) {
        const float fx = cx + (i - 2) * h * 0.022f, tall = h * (0.03f + 0.025f * Hash(9600 + i)) * (i == 2 ? 1.5f : 1.0f);
        for (int y = static_cast<int>(cy - tall); y <= static_cast<int>(cy); ++y) {
            const float t = (cy - y) / tall;  // 0 at the base, 1 at the tip
            const float half = h * 0.011f * (1.0f - t * t);
            for (int x = static_cast<int>(fx - half); x <= static_cast<int>(fx + half); ++x)
                if (x >= 0 && x < width && y >= 0 && y < height)
                    p.At(x, y) = Mix(Rgb{255, 214, 110}, Rgb{230, 90, 24}, t + std::fabs(x - fx) / (half + 1.0f) * 0.5f);
        }
    }
    return p;
}

Picture PaintGarden(int width, int height) {
    Picture p(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    Sky(p, {{0.0f, {70, 130, 200}}, {0.5f, {160, 205, 235}}, {0.62f, {225, 232, 220}}});
    Hills(p, 0.6f, 0.08f, 0.35f, 31, {110, 150, 110}, {120, 160, 100}, 0.7f);
    // The house wall on the right, with its eaves and a window below the
    // clock's place.
    const int wallLeft = static_cast<int>(w * 0.62f), wallTop = static_cast<int>(h * 0.12f);
    for (int y = wallTop; y < height; ++y)
        for (int x = wallLeft; x < width; ++x) {
            const bool joint = (y - wallTop) % 36 < 3 || ((x - wallLeft + ((y - wallTop) / 36 % 2) * 40) % 80) < 3;
            p.At(x, y) = joint ? Rgb{196, 170, 140} : Rgb{212, 150, 110};
        }
    for (int y = wallTop - static_cast<int>(h * 0.03f); y < wallTop + 6; ++y)
        for (int x = wallLeft - 20; x < width; ++x)
            if (y >= 0 && x >= 0) p.At(x, y) = {80, 56, 44};
    const int winL = static_cast<int>(w * 0.76f), winR = static_cast<int>(w * 0.93f);
    const int winT = static_cast<int>(h * 0.52f), winB = static_cast<int>(h * 0.74f);
    for (int y = winT; y < winB; ++y)
        for (int x = winL; x < winR; ++x) {
            const bool bar = std::abs(x - (winL + winR) / 2) < 4 || std::abs(y - (winT + winB) / 2) < 4 ||
                             x < winL + 8 || x >= winR - 8 || y < winT + 8 || y >= winB - 8;
            p.At(x, y) = bar ? Rgb{240, 236, 226} : Mix({120, 160, 190}, {60, 90, 120}, (y - winT) / float(winB - winT));
        }
    // The lawn.
    const int lawn = static_cast<int>(h * 0.7f);
    for (int y = lawn; y < height; ++y) {
        const Rgb c = Mix({96, 160, 70}, {50, 110, 40}, std::floor((y - lawn) / (h * 0.03f)) * 0.03f * h / (h - lawn));
        for (int x = 0; x < width; ++x)
            if (x < wallLeft || y > static_cast<int>(h * 0.86f)) p.At(x, y) = c;
    }
    // The tree on the left: trunk, branches and an autumn crown.
    const float tx = w * 0.16f;
    Stroke(p, tx, h * 0.78f, tx, h * 0.36f, w * 0.018f, {86, 60, 40});
    Stroke(p, tx, h * 0.5f, tx - w * 0.08f, h * 0.32f, w * 0.008f, {86, 60, 40});
    Stroke(p, tx, h * 0.46f, tx + w * 0.09f, h * 0.28f, w * 0.008f, {86, 60, 40});
    const Rgb crown[] = {{196, 92, 30}, {222, 140, 40}, {170, 60, 30}, {230, 176, 60}};
    for (int i = 0; i < 90; ++i) {
        const float a = Hash(8000 + i) * 6.2831853f, r = std::sqrt(Hash(8100 + i));
        Ellipse(p, tx + std::cos(a) * r * w * 0.13f, h * 0.28f + std::sin(a) * r * h * 0.17f, w * 0.035f, h * 0.045f,
                crown[i % 4]);
    }
    // Flowers in the lawn.
    const Rgb petals[] = {{240, 80, 110}, {250, 220, 80}, {250, 250, 250}, {170, 110, 230}};
    for (int i = 0; i < 70; ++i) {
        const float fx = Hash(9000 + i) * w, fy = lawn + 20 + Hash(9100 + i) * (h - lawn - 30);
        const float r = h * (0.006f + 0.006f * (fy - lawn) / (h - lawn));
        Stroke(p, fx, fy, fx, fy + r * 3, 1.5f, {40, 90, 30});
        Ellipse(p, fx, fy, r * 1.6f, r, petals[i % 4]);
        Ellipse(p, fx, fy, r * 0.5f, r * 0.4f, {120, 70, 20});
    }
    return p;
}

Picture PaintButterflyBody(int width, int height) {
    Picture p(width, height);
    for (int y = 0; y < height; ++y) {
        const float v = static_cast<float>(y) / (height - 1);
        // Head dark, thorax furry brown, abdomen dark with pale rings.
        Rgb c = v < 0.18f ? Rgb{30, 24, 20} : v < 0.42f ? Rgb{92, 66, 40} : Rgb{44, 34, 28};
        if (v >= 0.42f && static_cast<int>((v - 0.42f) * 40.0f) % 3 == 0) c = {150, 126, 90};
        for (int x = 0; x < width; ++x) {
            // The back (u = 0 and 1) darker than the belly (u = 0.5).
            const float u = static_cast<float>(x) / (width - 1);
            const float belly = 0.5f - std::fabs(u - 0.5f);
            // In bands, so that each row packs into a few runs.
            p.At(x, y) = Mix(Mix(c, Rgb{10, 8, 6}, v * 0.5f), Rgb{200, 180, 150}, std::floor(belly * 10.0f) * 0.06f);
        }
    }
    return p;
}

Picture PaintButterflyWing(int width, int height) {
    Picture p(width, height);
    p.alpha.assign(static_cast<size_t>(width) * height, 0);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    // Forewing: an ellipse from the root, reaching to the upper right;
    // hindwing: a rounder lobe below.  Below 1 inside the wing.
    auto edgeAt = [](float u, float v) {
        const float fu = (u - 0.05f) / 0.95f, fv = (v - 0.34f) / 0.32f;
        const float fore = fu * fu + fv * fv * (1.0f + 2.0f * (1.0f - fu));
        const float hu = (u - 0.02f) / 0.66f, hv = (v - 0.7f) / 0.28f;
        return std::min(fore, hu * hu + hv * hv);
    };
    const float inset = 6.0f / std::min(w, h);  // a spot keeps this far inside the outline
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = x / w, v = y / h;
            const float edge = edgeAt(u, v);
            if (edge > 1.0f || u < 0.01f) continue;
            Rgb c = Mix({214, 96, 18}, {250, 160, 44}, u + 0.3f * v);
            if (edge > 0.74f) {
                // The margin, with white spots kept well inside its dark
                // rim, so that a wing drawn small has no white on its edge.
                c = {24, 18, 14};
                const float spot = std::fmod((std::atan2(v - 0.5f, u) + 2.0f) * 9.0f, 1.0f);
                const bool inside = std::max({edgeAt(u - inset, v - inset), edgeAt(u + inset, v - inset),
                                              edgeAt(u - inset, v + inset), edgeAt(u + inset, v + inset)}) < 0.94f;
                if (edge > 0.8f && edge < 0.86f && spot < 0.28f && inside) c = {245, 245, 240};
            } else {
                // Veins fanning out from the root.
                const float angle = std::atan2(v - 0.5f, u + 0.02f) * 3.5f;
                if (std::fabs(angle - std::round(angle)) < 0.035f && u > 0.06f) c = {30, 20, 14};
                if (u < 0.12f) c = Mix(c, Rgb{90, 50, 20}, 0.6f);
            }
            p.At(x, y) = c;
            p.alpha[static_cast<size_t>(y) * width + x] = Alpha8(Smooth(1.0f, 0.94f, edge));
        }
    BleedIntoClear(p, 4);
    return p;
}

Picture PaintClockFace(int width, int height) {
    Picture p(width, height);
    p.alpha.assign(static_cast<size_t>(width) * height, 0);
    const float cx = (width - 1) * 0.5f, cy = (height - 1) * 0.5f, r = std::min(width, height) * 0.5f;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy) / r;
            if (d > 1.0f) continue;
            Rgb c = d > 0.9f ? Rgb{60, 40, 30} : Mix({250, 244, 226}, {232, 220, 196}, d);
            if (d > 0.74f && d < 0.86f) {
                // Hour marks, clockwise from 12 at the top; a double mark at 12.
                const float a = std::atan2(dx, -dy) * 12.0f / 6.2831853f;
                const float off = std::fabs(a - std::round(a));
                const bool twelve = std::fabs(std::round(a)) < 0.5f || std::fabs(std::round(a)) > 11.5f;
                if (twelve ? (off > 0.02f && off < 0.07f) : off < 0.04f) c = {40, 32, 28};
            }
            if (d < 0.05f) c = {40, 32, 28};
            p.At(x, y) = c;
            p.alpha[static_cast<size_t>(y) * width + x] = Alpha8(Smooth(1.0f, 0.98f, d));
        }
    return p;
}

Picture PaintClockHand(int width, int height) {
    Picture p(width, height);
    p.alpha.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const float v = static_cast<float>(y) / (height - 1);
        const float a = Smooth(0.0f, 0.08f, v) * Smooth(1.0f, 0.92f, v);
        for (int x = 0; x < width; ++x) {
            // Dark at the edges, a little lighter along the middle (in bands,
            // so that each row packs into a few runs), lighter toward the tip.
            const float across = 1.0f - std::fabs(2.0f * x / std::max(1, width - 1) - 1.0f);
            p.At(x, y) = Mix(Mix({16, 14, 12}, {80, 72, 64}, std::floor(across * 4.0f) / 4.0f), {60, 56, 52}, 1.0f - v);
            p.alpha[static_cast<size_t>(y) * width + x] = Alpha8(a);
        }
    }
    return p;
}

Picture PaintUnderwater(int width, int height) {
    Picture p(width, height);
    Sky(p, {{0.0f, {70, 170, 200}}, {0.35f, {30, 110, 160}}, {0.8f, {12, 50, 96}}, {1.0f, {8, 34, 70}}});
    // Shafts of light from the surface, slanting a little.
    for (int y = 0; y < height * 3 / 4; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = (x + 0.25f * y) / static_cast<float>(width);
            const float shaft = Ridge(u * 6.0f, 41, 2);
            if (shaft > 0.62f) {
                const float fade = 1.0f - static_cast<float>(y) / (height * 0.75f);
                p.At(x, y) = Mix(p.At(x, y), Rgb{170, 225, 235}, std::floor((shaft - 0.62f) * 12.0f) / 12.0f * fade);
            }
        }
    // Dark rocks, then the sandy floor with ripples.
    Hills(p, 0.84f, 0.2f, 0.18f, 42, {20, 46, 60}, {14, 34, 48});
    Hills(p, 0.9f, 0.05f, 0.3f, 43, {176, 160, 110}, {120, 104, 70});
    for (int y = static_cast<int>(height * 0.9f); y < height; ++y)
        if ((y % 9) < 2)
            for (int x = 0; x < width; ++x)
                if (p.At(x, y).r > 100) p.At(x, y) = Mix(p.At(x, y), Rgb{90, 78, 50}, 0.4f);
    // Weed: wavy green strands from the floor.
    for (int i = 0; i < 14; ++i) {
        const float root = Hash(8000 + i) * width;
        const float tall = (0.2f + 0.25f * Hash(8100 + i)) * height;
        const int thick = std::max(2, width / 220);
        for (int k = 0; k < static_cast<int>(tall); ++k) {
            const int y = height - 1 - static_cast<int>(height * 0.04f) - k;
            if (y < 0) break;
            const int x = static_cast<int>(root + std::sin(k * 0.03f + i) * width * 0.012f);
            for (int d = -thick; d <= thick; ++d)
                if (x + d >= 0 && x + d < width) p.At(x + d, y) = Mix(Rgb{30, 110, 60}, Rgb{60, 150, 80}, k / tall);
        }
    }
    return p;
}

Picture PaintLeaf(int width, int height) {
    Picture p(width, height);
    p.alpha.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / (width - 1), v = static_cast<float>(y) / (height - 1);
            // Pointed at both ends, widest a little before the middle.
            const float half = 0.5f * std::sin(3.1415927f * std::pow(u, 0.8f));
            const float across = std::fabs(v - 0.5f);
            if (across > half || u < 0.02f) continue;
            Rgb c = Mix({214, 120, 30}, {180, 50, 24}, u);
            c = Mix(c, Rgb{240, 190, 60}, 0.4f * (1.0f - across / std::max(half, 1e-3f)));
            if (across < 0.02f) c = {120, 60, 20};  // midrib
            const float vein = std::fmod(u * 8.0f - across * 6.0f, 1.0f);
            if (vein < 0.06f && across < half * 0.85f) c = Mix(c, Rgb{120, 60, 20}, 0.7f);
            p.At(x, y) = c;
            p.alpha[static_cast<size_t>(y) * width + x] = Alpha8(Smooth(half, half * 0.85f, across));
        }
    return p;
}

const std::vector<std::string>& PictureNames() {
    static const std::vector<std::string> names = {
        "valley", "lake-shore", "dusk", "dusk-glow", "night", "firelight", "meadow", "underwater", "campfire", "fire-noise",
        "heat-bump", "campfire-pattern", "fire-pattern", "garden", "butterfly_body", "butterfly_wing", "clock_face",
        "clock_hand", "leaf", "glyph-strip"};
    static const std::vector<std::string> all = [] {
        std::vector<std::string> v = names;
        for (const std::string& n : GlassBallPictureNames()) v.push_back(n);
        return v;
    }();
    return all;
}

bool PaintNamed(const std::string& name, int width, int height, Picture& out) {
    if (width <= 0 || height <= 1 || width > 0xFFFF || height > 0xFFFF) return false;
    if (name == "valley") out = PaintValley(width, height);
    else if (name == "dusk") out = PaintDusk(width, height);
    else if (name == "dusk-glow") out = PaintDuskGlow(width, height);
    else if (name == "night") out = PaintNight(width, height);
    else if (name == "meadow") out = PaintMeadow(width, height);
    else if (name == "firelight") out = PaintFirelight(width, height);
    else if (name == "garden") out = PaintGarden(width, height);
    else if (name == "butterfly_body") out = PaintButterflyBody(width, height);
    else if (name == "butterfly_wing") out = PaintButterflyWing(width, height);
    else if (name == "clock_face") out = PaintClockFace(width, height);
    else if (name == "clock_hand") out = PaintClockHand(width, height);
    else if (name == "leaf") out = PaintLeaf(width, height);
    else if (name == "underwater") out = PaintUnderwater(width, height);
    else if (name == "lake-shore") out = PaintLakeShore(width, height);
    else if (name == "campfire") out = PaintCampfire(width, height);
    else if (name == "fire-noise") out = PaintFireNoise(width, height);
    else if (name == "heat-bump") out = PaintHeatBump(width, height);
    else if (name == "campfire-pattern") out = PaintCampfirePattern(width, height);
    else if (name == "fire-pattern") out = PaintFirePattern(width, height);
    else if (name == "glyph-strip") out = PaintGlyphStrip(width, height);
    else if (!PaintGlassBallPicture(name, width, height, out)) return false;
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
