#include "tools/scene_builder/rings_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "layers/water_ring_light.h"

namespace tessaloom::scene_builder {
namespace {

constexpr float kPi = 3.14159265f;

// A fixed sequence of its own, so the pond is the same on every build.
class Draws {
public:
    explicit Draws(uint32_t seed) : state_(seed) {}
    // Uniform in [a, b).
    float Next(float a, float b) {
        state_ = state_ * 1664525u + 1013904223u;
        return a + (b - a) * static_cast<float>(state_ >> 8) / 16777216.0f;
    }

private:
    uint32_t state_;
};

Rgb Lerp(Rgb a, Rgb b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    auto ch = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(x + (static_cast<float>(y) - x) * t + 0.5f); };
    return {ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b)};
}

// Fills the ellipse of half-axes rx, ry about (cx, cy), turned by `angle`
// (radians), where `inside` (given the point in the ellipse's own unit
// coordinates) agrees.
template <class F>
void FillTurned(Picture& p, float cx, float cy, float rx, float ry, float angle, Rgb c, F&& inside) {
    const float reach = std::max(rx, ry);
    const int x0 = std::max(0, static_cast<int>(cx - reach)), x1 = std::min(p.width - 1, static_cast<int>(cx + reach) + 1);
    const int y0 = std::max(0, static_cast<int>(cy - reach)), y1 = std::min(p.height - 1, static_cast<int>(cy + reach) + 1);
    const float cs = std::cos(angle), sn = std::sin(angle);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
            const float u = (dx * cs + dy * sn) / rx, v = (-dx * sn + dy * cs) / ry;
            if (u * u + v * v <= 1.0f && inside(u, v)) p.At(x, y) = c;
        }
}

void Oval(Picture& p, float cx, float cy, float rx, float ry, float angle, Rgb c) {
    FillTurned(p, cx, cy, rx, ry, angle, c, [](float, float) { return true; });
}

// A rounded stone lying on the bottom: its shadow, the body, a lit top and
// a patch of moss.
void Stone(Picture& p, float cx, float cy, float r, float angle, Rgb body, Draws& draws) {
    const float squash = draws.Next(0.6f, 0.85f);
    Oval(p, cx + 0.18f * r, cy + 0.22f * r, r, r * squash, angle, {16, 34, 30});
    Oval(p, cx, cy, r, r * squash, angle, body);
    Oval(p, cx - 0.22f * r, cy - 0.2f * r, 0.62f * r, 0.5f * r * squash, angle, Lerp(body, {196, 196, 184}, 0.35f));
    Oval(p, cx - 0.3f * r, cy - 0.28f * r, 0.28f * r, 0.2f * r * squash, angle, Lerp(body, {220, 220, 210}, 0.5f));
    Oval(p, cx + 0.35f * r, cy + 0.15f * r, 0.35f * r, 0.22f * r, angle + 0.6f, Lerp(body, {60, 96, 44}, 0.6f));
}

// A koi seen from above, head towards `angle`: a shadow on the bottom, tail
// fan, pectoral fins, the body and its white and black patches.
void Koi(Picture& p, float cx, float cy, float length, float angle, Rgb colour) {
    const float cs = std::cos(angle), sn = std::sin(angle);
    auto at = [&](float along, float across, float* x, float* y) {
        *x = cx + along * cs - across * sn;
        *y = cy + along * sn + across * cs;
    };
    const float half = length / 2.0f, girth = length * 0.16f;
    float x = 0, y = 0;
    Oval(p, cx + 0.12f * length, cy + 0.16f * length, half, girth, angle, {16, 36, 32});
    const Rgb fin = Lerp(colour, {250, 240, 220}, 0.45f);
    at(-half * 1.05f, 0.0f, &x, &y);
    Oval(p, x, y, length * 0.14f, length * 0.1f, angle + 0.5f, fin);
    Oval(p, x, y, length * 0.14f, length * 0.1f, angle - 0.5f, fin);
    at(half * 0.35f, girth * 1.1f, &x, &y);
    Oval(p, x, y, length * 0.09f, length * 0.04f, angle + 1.1f, fin);
    at(half * 0.35f, -girth * 1.1f, &x, &y);
    Oval(p, x, y, length * 0.09f, length * 0.04f, angle - 1.1f, fin);
    // The body narrows towards the tail.
    FillTurned(p, cx, cy, half, girth, angle, colour, [](float u, float v) { return std::fabs(v) <= 0.55f + 0.45f * (u + 1.0f) / 2.0f + 0.2f; });
    at(half * 0.1f, girth * 0.2f, &x, &y);
    Oval(p, x, y, length * 0.13f, girth * 0.6f, angle + 0.3f, {244, 240, 232});
    at(-half * 0.45f, -girth * 0.15f, &x, &y);
    Oval(p, x, y, length * 0.08f, girth * 0.45f, angle - 0.2f, {244, 240, 232});
    at(-half * 0.05f, -girth * 0.35f, &x, &y);
    Oval(p, x, y, length * 0.04f, girth * 0.25f, angle, {30, 24, 22});
    at(half * 0.82f, 0.0f, &x, &y);
    Oval(p, x, y, length * 0.08f, girth * 0.75f, angle, Lerp(colour, {255, 170, 90}, 0.3f));
}

// A lily pad with its notch towards `notch`, lighter veins and, when
// `flower`, a flower in pink and white at its centre.
void LilyPad(Picture& p, float cx, float cy, float r, float notch, bool flower, Draws& draws) {
    auto outsideNotch = [notch](float u, float v) {
        float a = std::atan2(v, u) - notch;
        while (a > kPi) a -= 2.0f * kPi;
        while (a < -kPi) a += 2.0f * kPi;
        return std::fabs(a) > 0.2f;
    };
    Oval(p, cx + 0.1f * r, cy + 0.14f * r, r, r, 0.0f, {14, 34, 28});
    FillTurned(p, cx, cy, r, r, 0.0f, {36, 96, 40}, outsideNotch);
    FillTurned(p, cx, cy, r * 0.93f, r * 0.93f, 0.0f, {62, 136, 52}, outsideNotch);
    for (int i = 1; i < 10; ++i) {
        const float a = notch + static_cast<float>(i) * 2.0f * kPi / 10.0f;
        Oval(p, cx + std::cos(a) * r * 0.47f, cy + std::sin(a) * r * 0.47f, r * 0.42f, std::max(1.0f, r * 0.025f), a,
             {84, 156, 64});
    }
    Oval(p, cx - 0.3f * r, cy - 0.3f * r, 0.25f * r, 0.16f * r, -0.7f, {98, 170, 78});
    if (!flower) return;
    const Rgb petal = draws.Next(0, 1) < 0.5f ? Rgb{238, 168, 196} : Rgb{246, 236, 240};
    const Rgb inner = Lerp(petal, {255, 255, 255}, 0.45f);
    for (int i = 0; i < 10; ++i) {
        const float a = static_cast<float>(i) * 2.0f * kPi / 10.0f + 0.15f;
        Oval(p, cx + std::cos(a) * r * 0.3f, cy + std::sin(a) * r * 0.3f, r * 0.3f, r * 0.12f, a, petal);
    }
    for (int i = 0; i < 7; ++i) {
        const float a = static_cast<float>(i) * 2.0f * kPi / 7.0f;
        Oval(p, cx + std::cos(a) * r * 0.17f, cy + std::sin(a) * r * 0.17f, r * 0.18f, r * 0.08f, a, inner);
    }
    Oval(p, cx, cy, r * 0.08f, r * 0.08f, 0.0f, {240, 200, 60});
}

}  // namespace

bool IsRingsLayer(const std::string& name) { return name == "rings" || name == "rings-over"; }

DS_2D_Light* MakeRingsLayer(const std::string& name) {
    if (!IsRingsLayer(name)) return nullptr;
    auto* layer = new DS_WaterRingLight;
    layer->captureMode.value = name == "rings-over" ? 1 : 0;
    // A shower on the pond: a drop a second, heavy drops, deep water that
    // bends the bottom well.
    layer->dropRate.SetValue(60);
    layer->dropStrength.value = 100;
    layer->heightGain.value = 25;
    layer->depth.value = 70;
    return layer;
}

const std::vector<std::string>& RingsPictureNames() {
    static const std::vector<std::string> names = {"pond"};
    return names;
}

bool PaintRingsPicture(const std::string& name, int width, int height, Picture& out) {
    if (width <= 0 || height <= 1 || width > 0xFFFF || height > 0xFFFF) return false;
    if (name != "pond") return false;
    out = PaintPond(width, height);
    return true;
}

Picture PaintPond(int width, int height) {
    Picture p(width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height), s = std::min(w, h);
    // The bottom: shallow, muddy green at the banks, dark in the deep middle,
    // in bands so the rows keep long runs.
    const Rgb deep{18, 46, 44}, middle{34, 74, 60}, shallow{96, 100, 64};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float dx = (static_cast<float>(x) - 0.5f * w) / (0.62f * w);
            const float dy = (static_cast<float>(y) - 0.48f * h) / (0.62f * h);
            const float wobble = 0.05f * std::sin(5.0f * dx + 3.0f * dy) + 0.04f * std::sin(11.0f * dy - 7.0f * dx);
            const float d = std::floor((std::sqrt(dx * dx + dy * dy) + wobble) * 28.0f) / 28.0f;
            p.At(x, y) = d < 0.6f ? Lerp(deep, middle, d / 0.6f) : Lerp(middle, shallow, (d - 0.6f) / 0.5f);
        }
    Draws draws(20261211u);
    // Pebbles along the banks.
    const Rgb pebbles[] = {{120, 116, 96}, {92, 88, 74}, {140, 132, 110}, {76, 80, 70}, {110, 96, 80}};
    for (int i = 0; i < 1400; ++i) {
        const float x = draws.Next(0, w), y = draws.Next(0, h);
        const float dx = (x - 0.5f * w) / (0.62f * w), dy = (y - 0.48f * h) / (0.62f * h);
        const float r = s * draws.Next(0.004f, 0.012f);
        const Rgb c = pebbles[i % 5];
        if (dx * dx + dy * dy < 0.55f) continue;
        Oval(p, x, y, r, r * draws.Next(0.6f, 0.9f), draws.Next(0, kPi), c);
    }
    // Stones: at the banks and a few on the slope into the deep.
    const struct {
        float x, y, r;
        Rgb c;
    } stones[] = {{0.08f, 0.16f, 0.11f, {118, 114, 104}}, {0.2f, 0.06f, 0.07f, {132, 126, 112}},
                  {0.9f, 0.12f, 0.09f, {104, 106, 100}},  {0.95f, 0.5f, 0.12f, {126, 118, 106}},
                  {0.86f, 0.88f, 0.1f, {112, 110, 102}},  {0.12f, 0.84f, 0.13f, {122, 118, 110}},
                  {0.3f, 0.93f, 0.06f, {138, 130, 116}},  {0.64f, 0.74f, 0.045f, {96, 98, 92}},
                  {0.38f, 0.28f, 0.04f, {100, 100, 94}},  {0.04f, 0.5f, 0.08f, {110, 108, 98}}};
    for (const auto& st : stones) Stone(p, st.x * w, st.y * h, st.r * s, draws.Next(0, kPi), st.c, draws);
    // Koi in the deep water.
    Koi(p, 0.42f * w, 0.5f * h, 0.2f * s, -0.35f, {232, 104, 30});
    Koi(p, 0.6f * w, 0.36f * h, 0.16f * s, 2.6f, {236, 132, 40});
    Koi(p, 0.55f * w, 0.62f * h, 0.13f * s, 1.2f, {214, 60, 34});
    // Lily pads near the banks, two in flower.
    const struct {
        float x, y, r, notch;
        bool flower;
    } pads[] = {{0.22f, 0.24f, 0.075f, 0.6f, true},  {0.3f, 0.14f, 0.05f, 2.2f, false},
                {0.14f, 0.36f, 0.055f, -1.0f, false}, {0.74f, 0.18f, 0.065f, 2.8f, false},
                {0.82f, 0.3f, 0.05f, 1.4f, true},     {0.78f, 0.72f, 0.08f, -2.2f, false},
                {0.68f, 0.86f, 0.05f, 0.2f, false},   {0.24f, 0.7f, 0.06f, -0.4f, false},
                {0.86f, 0.62f, 0.045f, 3.0f, false}};
    for (const auto& pad : pads) LilyPad(p, pad.x * w, pad.y * h, pad.r * s, pad.notch, pad.flower, draws);
    return p;
}

}  // namespace tessaloom::scene_builder
