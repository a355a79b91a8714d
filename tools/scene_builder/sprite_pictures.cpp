#include "tools/scene_builder/sprite_pictures.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "document/archive_writer.h"

namespace tessaloom::scene_builder {
namespace {

constexpr float kPi = 3.14159265f;

struct Colour {
    float r, g, b;  // 0..255
};

Colour Mix(Colour a, Colour b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float Smooth(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Integer hash -> [0, 1).
float Hash(uint32_t n) {
    n = (n << 13) ^ n;
    n = n * (n * n * 15731u + 789221u) + 1376312589u;
    return static_cast<float>(n & 0x00FFFFFFu) / 16777216.0f;
}

// Coverage of a pixel by a shape whose signed distance (pixels, negative
// inside) is d; `soft` widens the edge.
float Cover(float d, float soft = 1.0f) { return std::clamp(0.5f - d / soft, 0.0f, 1.0f); }

// "Over" compositing of a colour with coverage-weighted alpha a (0..1).
void Over(Rgba& dst, Colour c, float a) {
    a = std::clamp(a, 0.0f, 1.0f);
    if (a <= 0.0f) return;
    const float da = dst.a / 255.0f;
    const float oa = a + da * (1.0f - a);
    auto ch = [&](uint8_t d, float s) {
        const float v = (s * a + d * da * (1.0f - a)) / oa;
        return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f);
    };
    dst.r = ch(dst.r, c.r);
    dst.g = ch(dst.g, c.g);
    dst.b = ch(dst.b, c.b);
    dst.a = static_cast<uint8_t>(std::clamp(oa * 255.0f, 0.0f, 255.0f) + 0.5f);
}

// Paints every pixel: f(x, y) at the pixel centre returns the colour and the
// alpha to lay over what is there.
void Paint(PictureRgba& p, const std::function<void(float, float, Colour&, float&)>& f) {
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            Colour c{0, 0, 0};
            float a = 0.0f;
            f(x + 0.5f, y + 0.5f, c, a);
            Over(p.At(x, y), c, a);
        }
}

// Signed distance to an ellipse (approximate, pixels).
float Ellipse(float x, float y, float cx, float cy, float rx, float ry) {
    const float dx = (x - cx) / rx, dy = (y - cy) / ry;
    return (std::sqrt(dx * dx + dy * dy) - 1.0f) * std::min(rx, ry);
}

// Signed distance to an ellipse turned by `angle` radians.
float EllipseTurned(float x, float y, float cx, float cy, float rx, float ry, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    const float dx = x - cx, dy = y - cy;
    return Ellipse(dx * c + dy * s, -dx * s + dy * c, 0.0f, 0.0f, rx, ry);
}

// Distance from a point to a segment.
float Segment(float x, float y, float ax, float ay, float bx, float by) {
    const float vx = bx - ax, vy = by - ay, wx = x - ax, wy = y - ay;
    const float len2 = vx * vx + vy * vy;
    const float t = len2 > 0.0f ? std::clamp((wx * vx + wy * vy) / len2, 0.0f, 1.0f) : 0.0f;
    const float dx = wx - t * vx, dy = wy - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

// Signed distance to a triangle (convex polygon of three points).
float Triangle(float x, float y, float ax, float ay, float bx, float by, float cx, float cy) {
    const float px[3] = {ax, bx, cx}, py[3] = {ay, by, cy};
    const float area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    const float sign = area >= 0.0f ? 1.0f : -1.0f;
    float d = -1e9f;
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const float ex = px[j] - px[i], ey = py[j] - py[i];
        const float len = std::sqrt(ex * ex + ey * ey);
        if (len <= 0.0f) continue;
        // Outward normal distance.
        const float n = sign * ((x - px[i]) * ey - (y - py[i]) * ex) / len;
        d = std::max(d, n);
    }
    return d;
}

// A jagged line from (x0, y0) to (x1, y1) in `n` pieces, each joint moved
// sideways by up to `spread` pixels (hash seeded).
std::vector<std::pair<float, float>> Jagged(float x0, float y0, float x1, float y1, int n, float spread, uint32_t seed) {
    std::vector<std::pair<float, float>> pts;
    const float dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
    const float nx = len > 0 ? -dy / len : 0.0f, ny = len > 0 ? dx / len : 0.0f;
    for (int i = 0; i <= n; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(n);
        const float off = (i == 0 || i == n) ? 0.0f : (Hash(seed * 131u + static_cast<uint32_t>(i)) - 0.5f) * 2.0f * spread;
        pts.emplace_back(x0 + dx * t + nx * off, y0 + dy * t + ny * off);
    }
    return pts;
}

float PolylineDistance(float x, float y, const std::vector<std::pair<float, float>>& pts) {
    float d = 1e9f;
    for (size_t i = 1; i < pts.size(); ++i)
        d = std::min(d, Segment(x, y, pts[i - 1].first, pts[i - 1].second, pts[i].first, pts[i].second));
    return d;
}

// ---------------------------------------------------------------- painters --

// A clownfish facing +x; frame 0..2 swings the tail.
void Fish(PictureRgba& p, int frame) {
    const float w = p.width, h = p.height;
    const float swing = (static_cast<float>(frame % 3) - 1.0f) * 0.10f * h;
    const Colour orange{240, 110, 25}, deep{200, 70, 15}, white{250, 250, 245}, black{20, 20, 25};
    // Tail fin behind the body (towards smaller x), and the fins.
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float tail = Triangle(x, y, 0.26f * w, 0.5f * h, 0.03f * w, 0.12f * h + swing, 0.03f * w, 0.88f * h + swing);
        const float dorsal = Triangle(x, y, 0.40f * w, 0.30f * h, 0.68f * w, 0.28f * h, 0.50f * w, 0.08f * h);
        const float pelvic = Triangle(x, y, 0.50f * w, 0.70f * h, 0.64f * w, 0.72f * h, 0.52f * w, 0.92f * h);
        const float d = std::min({tail, dorsal, pelvic});
        a = Cover(d);
        c = Mix(orange, deep, Smooth(-6.0f, 0.0f, d));
    });
    // The body: orange, lighter at the belly, with three white bands edged in black.
    const float cx = 0.54f * w, cy = 0.5f * h, rx = 0.34f * w, ry = 0.30f * h;
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float d = Ellipse(x, y, cx, cy, rx, ry);
        a = Cover(d);
        if (a <= 0.0f) return;
        c = Mix(deep, Colour{255, 160, 60}, y / h);
        c = Mix(c, deep, Smooth(-3.0f, 0.0f, d));
        for (float band : {0.32f, 0.52f, 0.74f}) {
            const float bw = 0.045f * w * (band > 0.7f ? 0.7f : 1.0f);
            const float dx = std::fabs(x - band * w - 0.03f * w * std::sin((y / h - 0.5f) * 3.0f));
            if (dx < bw) c = white;
            else if (dx < bw + 0.018f * w) c = black;
        }
    });
    // The eye, near the head end.
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float eye = Ellipse(x, y, 0.80f * w, 0.42f * h, 0.055f * h, 0.055f * h);
        const float pupil = Ellipse(x, y, 0.81f * w, 0.42f * h, 0.032f * h, 0.032f * h);
        a = Cover(eye);
        c = pupil < 0.0f ? black : white;
    });
}

// A swallow-like bird facing +x; frame 0..2 sets the wing up, level, down.
void Bird(PictureRgba& p, int frame) {
    const float w = p.width, h = p.height;
    const Colour dark{35, 38, 60}, belly{210, 200, 190}, beak{230, 170, 40};
    const float tipY[3] = {0.04f * h, 0.42f * h, 0.94f * h};
    const float tipX[3] = {0.36f * w, 0.20f * w, 0.34f * w};
    const float ty = tipY[frame % 3], tx = tipX[frame % 3];
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        // Forked tail, body, head, then the near wing on top.
        const float tail1 = Triangle(x, y, 0.32f * w, 0.52f * h, 0.04f * w, 0.40f * h, 0.30f * w, 0.60f * h);
        const float tail2 = Triangle(x, y, 0.32f * w, 0.56f * h, 0.06f * w, 0.74f * h, 0.30f * w, 0.62f * h);
        const float body = Ellipse(x, y, 0.52f * w, 0.56f * h, 0.24f * w, 0.11f * h);
        const float head = Ellipse(x, y, 0.76f * w, 0.52f * h, 0.085f * w, 0.11f * h);
        const float bill = Triangle(x, y, 0.83f * w, 0.49f * h, 0.93f * w, 0.54f * h, 0.83f * w, 0.57f * h);
        const float wing = Triangle(x, y, 0.62f * w, 0.53f * h, 0.44f * w, 0.58f * h, tx, ty);
        const float sil = std::min({tail1, tail2, body, head});
        a = Cover(std::min({sil, bill, wing}));
        c = dark;
        if (bill < 0.0f && sil > 0.0f) c = beak;
        else if (body < -2.0f && y > 0.58f * h && wing > 0.0f) c = Mix(dark, belly, Smooth(0.58f * h, 0.66f * h, y));
        if (head < 0.0f && Ellipse(x, y, 0.79f * w, 0.49f * h, 0.018f * w, 0.022f * h) < 0.0f) c = Colour{240, 240, 240};
    });
}

// A friendly sheet ghost with a wavy hem and dark eyes.
void Ghost(PictureRgba& p) {
    const float w = p.width, h = p.height;
    const Colour sheet{236, 242, 255}, shade{170, 185, 230}, eye{25, 25, 55};
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float head = Ellipse(x, y, 0.5f * w, 0.38f * h, 0.32f * w, 0.30f * h);
        const float hem = 0.84f * h + 0.06f * h * std::sin((x / w) * 3.0f * 2.0f * kPi);
        const float side = std::fabs(x - 0.5f * w) - 0.32f * w;
        const float body = (y > 0.38f * h) ? std::max(side, y - hem) : head;
        const float d = std::min(head, body);
        a = Cover(d, 3.0f) * 0.9f;
        c = Mix(sheet, shade, Smooth(0.3f * h, 0.95f * h, y) * 0.6f + Smooth(-0.32f * w, 0.0f, side) * 0.4f);
        const float e1 = Ellipse(x, y, 0.38f * w, 0.36f * h, 0.055f * w, 0.085f * h);
        const float e2 = Ellipse(x, y, 0.62f * w, 0.36f * h, 0.055f * w, 0.085f * h);
        const float mouth = Ellipse(x, y, 0.5f * w, 0.56f * h, 0.06f * w, 0.05f * h);
        const float dark = Cover(std::min({e1, e2, mouth}));
        c = Mix(c, eye, dark);
        a = std::max(a, dark);
    });
}

// A soft cloud of fog: overlapping round puffs fading to nothing at the border.
void Fog(PictureRgba& p) {
    const float w = p.width, h = p.height;
    struct Puff {
        float x, y, r;
    };
    std::vector<Puff> puffs;
    for (uint32_t i = 0; i < 9; ++i)
        puffs.push_back({(0.22f + 0.56f * Hash(i * 3 + 1)) * w, (0.35f + 0.3f * Hash(i * 3 + 2)) * h,
                         (0.12f + 0.1f * Hash(i * 3 + 3)) * std::min(w, h * 2.0f)});
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        float density = 0.0f;
        for (const Puff& f : puffs) {
            const float dx = (x - f.x) / f.r, dy = (y - f.y) / (f.r * 0.7f);
            density += std::exp(-(dx * dx + dy * dy));
        }
        const float edge = Smooth(0.0f, 0.2f, x / w) * Smooth(0.0f, 0.2f, 1.0f - x / w) * Smooth(0.0f, 0.25f, y / h) *
                           Smooth(0.0f, 0.25f, 1.0f - y / h);
        a = std::clamp(density * 0.45f, 0.0f, 0.75f) * edge;
        c = Mix(Colour{235, 238, 245}, Colour{200, 205, 220}, y / h);
    });
}

// A four-pointed sparkle: a bright core with long thin rays.
void Sparkle(PictureRgba& p) {
    const float w = p.width, h = p.height, cx = 0.5f * w, cy = 0.5f * h, s = std::min(w, h);
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float dx = std::fabs(x - cx) / s, dy = std::fabs(y - cy) / s;
        const float r2 = dx * dx + dy * dy;
        const float core = std::exp(-r2 / 0.004f);
        const float glow = std::exp(-r2 / 0.03f) * 0.35f;
        const float rayX = std::exp(-(dy * dy) / 0.00012f) * std::pow(std::max(0.0f, 1.0f - dx * 2.0f), 2.0f);
        const float rayY = std::exp(-(dx * dx) / 0.00012f) * std::pow(std::max(0.0f, 1.0f - dy * 2.0f), 2.0f);
        const float u = (dx + dy) * 0.7071f, v = std::fabs(dx - dy) * 0.7071f;
        const float diag = std::exp(-(v * v) / 0.00008f) * std::pow(std::max(0.0f, 1.0f - u * 3.2f), 2.0f) * 0.5f;
        a = std::clamp(core + glow + rayX + rayY + diag, 0.0f, 1.0f);
        c = Mix(Colour{255, 235, 170}, Colour{255, 255, 255}, core + rayX + rayY);
    });
}

// A soft round halo: the mask drawn over sparkles.
void Halo(PictureRgba& p) {
    const float w = p.width, h = p.height;
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float dx = (x - 0.5f * w) / (0.5f * w), dy = (y - 0.5f * h) / (0.5f * h);
        const float r = std::sqrt(dx * dx + dy * dy);
        const float t = std::max(0.0f, 1.0f - r);
        a = t * t * 0.8f;
        c = Colour{255, 225, 150};
    });
}

// A beam of light: soft sides, brighter towards the top.
void GodRay(PictureRgba& p) {
    const float w = p.width, h = p.height;
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float across = std::cos(kPi * (x / w - 0.5f));
        // Brightest near its top end, which fades in over a few texels so
        // that the end shows no edge where it lies inside the frame.
        const float along = (0.2f + 0.8f * std::pow(1.0f - y / h, 1.2f)) * Smooth(0.0f, 0.06f * h, y);
        a = across * across * across * along * 0.75f;
        c = Mix(Colour{255, 250, 215}, Colour{255, 225, 150}, y / h);
    });
}

// A lightning bolt from top to bottom with two branches: white core, blue
// glow.  Bolt and glow fade out before the picture's edges, so the sprite's
// border never cuts them.
void Lightning(PictureRgba& p) {
    const float w = p.width, h = p.height;
    const auto main = Jagged(0.55f * w, 0.03f * h, 0.45f * w, 0.97f * h, 14, 0.1f * w, 7);
    const auto branch1 = Jagged(main[4].first, main[4].second, 0.24f * w, 0.55f * h, 7, 0.05f * w, 11);
    const auto branch2 = Jagged(main[8].first, main[8].second, 0.74f * w, 0.82f * h, 6, 0.04f * w, 13);
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float d0 = PolylineDistance(x, y, main);
        const float d1 = PolylineDistance(x, y, branch1) + 0.8f;
        const float d2 = PolylineDistance(x, y, branch2) + 0.8f;
        const float d = std::min({d0, d1, d2});
        const float core = Cover(d - std::max(1.0f, 0.012f * w));
        const float glow = std::exp(-d / std::max(2.0f, 0.05f * w)) * 0.8f;
        const float side = std::min(x, w - x) / w, end = std::min(y, h - y) / h;
        const float window = Smooth(0.0f, 0.16f, side) * Smooth(0.0f, 0.08f, end);
        a = std::clamp(core + glow, 0.0f, 1.0f) * window;
        c = Mix(Colour{150, 175, 255}, Colour{255, 255, 255}, core);
    });
}

// A tuft of grass blades rooted on the bottom edge around its middle.
void Grass(PictureRgba& p) {
    const float w = p.width, h = p.height;
    struct Blade {
        float base, tipX, tipY, width;
    };
    const Blade blades[] = {{0.50f, 0.55f, 0.00f, 0.16f}, {0.44f, 0.18f, 0.22f, 0.13f}, {0.56f, 0.86f, 0.16f, 0.13f},
                            {0.47f, 0.35f, 0.08f, 0.12f}, {0.53f, 0.70f, 0.30f, 0.11f}};
    for (int py = 0; py < p.height; ++py)
        for (int px = 0; px < p.width; ++px) {
            const float x = px + 0.5f, y = py + 0.5f;
            for (const Blade& b : blades) {
                const float top = b.tipY * h;
                if (y < top) continue;
                const float t = (h - y) / (h - top);  // 0 at the root, 1 at the tip
                const float centre = b.base * w + (b.tipX - b.base) * w * t * t;
                const float half = 0.5f * b.width * w * (1.0f - t);
                const float cov = std::clamp(half - std::fabs(x - centre) + 0.5f, 0.0f, 1.0f);
                if (cov <= 0.0f) continue;
                const Colour col = Mix(Colour{35, 85, 25}, Colour{130, 195, 70}, t);
                const float rib = std::fabs(x - centre) < half * 0.25f ? 0.85f : 1.0f;
                Over(p.At(px, py), Colour{col.r * rib, col.g * rib, col.b * rib}, cov);
            }
        }
}

// A flower on a stem rooted at the bottom centre: two leaves, six petals.
void Flower(PictureRgba& p) {
    const float w = p.width, h = p.height;
    const float bx = 0.5f * w, by = 0.26f * h;
    const Colour stem{50, 120, 40}, leaf{70, 150, 50}, petal{235, 95, 160}, tip{255, 190, 220}, heart{250, 205, 50};
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float t = std::clamp((h - y) / (h - by), 0.0f, 1.0f);
        const float sx = bx + 0.04f * w * std::sin(t * kPi);
        const float s = std::fabs(x - sx) - 0.025f * w;
        const float l1 = EllipseTurned(x, y, 0.36f * w, 0.66f * h, 0.15f * w, 0.05f * h, 0.5f);
        const float l2 = EllipseTurned(x, y, 0.64f * w, 0.56f * h, 0.15f * w, 0.05f * h, -0.5f);
        const float green = std::min({y > by ? s : 1e9f, l1, l2});
        a = Cover(green);
        c = green == s ? stem : leaf;
    });
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        float d = 1e9f, along = 0.0f;
        for (int i = 0; i < 6; ++i) {
            const float ang = i * kPi / 3.0f + 0.3f;
            const float px = bx + std::cos(ang) * 0.13f * w, py = by + std::sin(ang) * 0.13f * w;
            const float e = EllipseTurned(x, y, px, py, 0.13f * w, 0.065f * w, ang);
            if (e < d) {
                d = e;
                along = std::hypot(x - bx, y - by) / (0.26f * w);
            }
        }
        a = Cover(d);
        c = Mix(petal, tip, along);
        const float centre = Ellipse(x, y, bx, by, 0.065f * w, 0.065f * w);
        if (centre < 0.5f) {
            c = Mix(heart, Colour{200, 140, 30}, Smooth(-0.06f * w, 0.0f, centre));
            a = std::max(a, Cover(centre));
        }
    });
}

// A raindrop streak along the picture's height, its head at the bottom.
void Raindrop(PictureRgba& p) {
    const float w = p.width, h = p.height;
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float dx = (x - 0.5f * w) / (0.5f * w);
        const float along = y / h;
        const float width = 0.35f + 0.65f * along;
        a = std::exp(-(dx * dx) / (0.18f * width * width)) * std::pow(along, 1.5f) * 0.85f;
        a *= Smooth(1.0f, 0.93f, along) * 0.7f + 0.3f;
        c = Colour{205, 225, 255};
    });
}

// An autumn leaf with its vein and stalk, lying corner to corner.
void Leaf(PictureRgba& p) {
    const float w = p.width, h = p.height;
    const float ax = 0.12f * w, ay = 0.82f * h, bx = 0.9f * w, by = 0.14f * h;
    const float lx = bx - ax, ly = by - ay, len = std::sqrt(lx * lx + ly * ly);
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float u = ((x - ax) * lx + (y - ay) * ly) / (len * len);
        const float v = ((x - ax) * -ly + (y - ay) * lx) / len;
        const float half = 0.3f * len * std::sin(kPi * std::clamp(u, 0.0f, 1.0f)) * (1.0f - 0.25f * u);
        const float d = (u < 0.0f || u > 1.0f) ? 1e9f : std::fabs(v) - half;
        const float stalk = Segment(x, y, ax - 0.08f * lx, ay - 0.08f * ly, ax, ay) - 0.012f * len;
        a = Cover(std::min(d, stalk));
        c = Mix(Colour{235, 140, 30}, Colour{175, 45, 20}, u * 0.8f + std::fabs(v) / (0.25f * len) * 0.3f);
        if (std::fabs(v) < 0.012f * len && u > 0.0f && u < 0.95f) c = Mix(c, Colour{120, 50, 15}, 0.7f);
        if (stalk < d) c = Colour{110, 60, 25};
    });
}

// A soap-like air bubble: a thin bright rim, a clear inside and a highlight.
void Bubble(PictureRgba& p) {
    const float w = p.width, h = p.height, r = 0.42f * std::min(w, h);
    const float thick = std::max(1.2f, 0.03f * std::min(w, h));
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const float d = std::hypot(x - 0.5f * w, y - 0.5f * h) - r;
        const float rim = std::exp(-(d * d) / (thick * thick));
        const float inside = d < 0.0f ? 0.12f : 0.0f;
        const float spot = Cover(Ellipse(x, y, 0.36f * w, 0.33f * h, 0.1f * w, 0.06f * h), 2.0f);
        a = std::clamp(rim * 0.8f + inside * Cover(d) + spot * 0.9f, 0.0f, 1.0f);
        c = Mix(Colour{190, 230, 255}, Colour{255, 255, 255}, spot + rim * 0.3f);
    });
}

// A discharge sheet: square frames side by side, each an electric arc
// flickering between two points at the left and right of its cell.
void Discharge(PictureRgba& p) {
    const int frames = std::max(1, p.width / std::max(1, p.height));
    const float cell = static_cast<float>(p.width) / frames, h = p.height;
    std::vector<std::vector<std::pair<float, float>>> arcs;
    for (int f = 0; f < frames; ++f) {
        const float x0 = f * cell;
        arcs.push_back(Jagged(x0 + 0.08f * cell, 0.5f * h, x0 + 0.92f * cell, 0.5f * h, 10, 0.16f * h, 31u + f));
        arcs.push_back(Jagged(arcs.back()[3].first, arcs.back()[3].second, x0 + (0.3f + 0.4f * Hash(f + 90u)) * cell,
                              (Hash(f + 50u) < 0.5f ? 0.12f : 0.88f) * h, 4, 0.06f * h, 57u + f));
    }
    Paint(p, [&](float x, float y, Colour& c, float& a) {
        const int f = std::min(frames - 1, static_cast<int>(x / cell));
        const float d = std::min(PolylineDistance(x, y, arcs[2 * f]), PolylineDistance(x, y, arcs[2 * f + 1]) + 0.6f);
        const float core = Cover(d - std::max(0.8f, 0.012f * h));
        const float glow = std::exp(-d / std::max(2.0f, 0.035f * h)) * 0.85f;
        // Faded out before the edges of its frame, which the sprite's border cuts.
        const float side = std::min(x - f * cell, (f + 1) * cell - x) / cell, end = std::min(y, h - y) / h;
        a = std::clamp(core + glow, 0.0f, 1.0f) * Smooth(0.0f, 0.07f, side) * Smooth(0.0f, 0.1f, end);
        c = Mix(Colour{160, 120, 255}, Colour{245, 240, 255}, core);
    });
}

}  // namespace

const std::vector<std::string>& SpritePictureNames() {
    static const std::vector<std::string> names = {"fish",  "bird",  "ghost",     "fog",      "sparkle",
                                                   "halo",  "godray", "lightning", "grass",    "flower",
                                                   "raindrop", "leaf", "bubble",  "discharge"};
    return names;
}

bool PaintSprite(const std::string& name, int width, int height, int frame, PictureRgba& out) {
    if (width < 4 || height < 4 || width > 4096 || height > 4096) return false;
    PictureRgba p(width, height);
    if (name == "fish") Fish(p, frame);
    else if (name == "bird") Bird(p, frame);
    else if (name == "ghost") Ghost(p);
    else if (name == "fog") Fog(p);
    else if (name == "sparkle") Sparkle(p);
    else if (name == "halo") Halo(p);
    else if (name == "godray") GodRay(p);
    else if (name == "lightning") Lightning(p);
    else if (name == "grass") Grass(p);
    else if (name == "flower") Flower(p);
    else if (name == "raindrop") Raindrop(p);
    else if (name == "leaf") Leaf(p);
    else if (name == "bubble") Bubble(p);
    else if (name == "discharge") Discharge(p);
    else return false;
    // Fully transparent pixels carry no colour (keeps the TGA runs long and
    // the filtered edges free of stray colour).
    for (Rgba& px : p.pixels)
        if (px.a == 0) px = Rgba{};
    out = std::move(p);
    return true;
}

const std::vector<SpriteSetSpec>& SpriteSetNames() {
    // Fish swing their tails (frames 1, 0, 1, 2); birds flap.
    static const std::vector<SpriteSetSpec> sets = {{"fish", 4, 0.18f}, {"bird", 4, 0.12f}};
    return sets;
}

std::vector<uint8_t> EncodeTga32(const PictureRgba& picture) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 10;  // run-length true colour
    out[12] = static_cast<uint8_t>(picture.width & 0xFF);
    out[13] = static_cast<uint8_t>(picture.width >> 8);
    out[14] = static_cast<uint8_t>(picture.height & 0xFF);
    out[15] = static_cast<uint8_t>(picture.height >> 8);
    out[16] = 32;
    out[17] = 0x28;  // top-left origin, 8 alpha bits
    auto put = [&out](const Rgba& c) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(c.a);
    };
    auto same = [](const Rgba& a, const Rgba& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; };
    for (int y = 0; y < picture.height; ++y) {
        const Rgba* row = &picture.pixels[static_cast<size_t>(y) * picture.width];
        int x = 0;
        while (x < picture.width) {
            int run = 1;
            while (x + run < picture.width && run < 128 && same(row[x + run], row[x])) ++run;
            if (run >= 2) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                put(row[x]);
                x += run;
                continue;
            }
            int n = 1;
            while (x + n < picture.width && n < 128 && !(x + n + 1 < picture.width && same(row[x + n], row[x + n + 1])))
                ++n;
            out.push_back(static_cast<uint8_t>(n - 1));
            for (int i = 0; i < n; ++i) put(row[x + i]);
            x += n;
        }
    }
    return out;
}

std::vector<uint8_t> BuildSpriteSet(const std::string& name, int width, int height) {
    const SpriteSetSpec* spec = nullptr;
    for (const auto& s : SpriteSetNames())
        if (s.name == name) spec = &s;
    if (!spec) return {};
    DS_IOF_W w;
    w.WriteInt(spec->frames);
    for (int i = 0; i < spec->frames; ++i) w.WriteFloat(spec->delay);
    w.WriteInt(spec->frames);
    for (int i = 0; i < spec->frames; ++i) {
        // Frames 0..n-1 swing through 1, 0, 1, 2: a back-and-forth cycle.
        static const int cycle[4] = {1, 0, 1, 2};
        PictureRgba picture;
        if (!PaintSprite(name, width, height, cycle[i % 4], picture)) return {};
        const std::vector<uint8_t> tga = EncodeTga32(picture);
        DS_ResFileData record;
        record.path = u"C:\\Tessaloom\\Sprites\\" + std::u16string(name.begin(), name.end()) + u"_" +
                      std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".tga";
        record.SetBytes(static_cast<DWORD>(tga.size()), tga.data());
        w.WriteResFile(record);
    }
    return w.TakeBytes();
}

}  // namespace tessaloom::scene_builder
