#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "scene/noise.h"

namespace {
// Seeds the generator so that its next draw is `draw`: state' = seed * a + c
// must have bits 16..30 equal to `draw`, so solve seed = (state' - c) * a^-1.
void SeedForNextDraw(int draw) {
    const uint32_t a = 214013u, c = 2531011u;
    uint32_t inv = a;  // Newton's iteration for the inverse modulo 2^32
    for (int i = 0; i < 5; ++i) inv *= 2u - a * inv;
    const uint32_t next = static_cast<uint32_t>(draw) << 16;
    crt::srand((next - c) * inv);
}
}  // namespace

TEST(Random, SequenceAndRangeEnds) {
    crt::ResetRandForTests();
    EXPECT_EQ(crt::rand(), 41);
    EXPECT_EQ(crt::rand(), 18467);
    EXPECT_EQ(crt::rand(), 6334);

    SeedForNextDraw(32767);
    EXPECT_EQ(RandomRange(0.0f, 1.0f), 1.0f);
    SeedForNextDraw(0);
    EXPECT_EQ(RandomRange(-3.0f, 5.0f), -3.0f);
    SeedForNextDraw(32767);
    EXPECT_EQ(RandomRange(2.0f, -6.0f), -6.0f);
    crt::ResetRandForTests();
    EXPECT_FLOAT_EQ(RandomRange(0.0f, 1.0f), static_cast<float>(41.0 / 32767.0));
    crt::ResetRandForTests();
}

TEST(Noise, LatticeAndInterpolation) {
    EXPECT_NEAR(ValueNoise1D(0.0), -0.2818, 1e-4);
    // Lattice values worked out by hand in wrapping 32-bit arithmetic:
    // n ^= n << 13; h = (n * (n * n * 15731 + 789221) - 771171059) & 0x7FFFFFFF;
    // value = 1 - h * 2^-30.  At whole x the easing is 0, so the noise is the
    // lattice value itself.
    //   n = 1:  8193, h = 1316808037;  n = 2: 16386, h = 758455919;
    //   n = -1: 8191 (0xFFFFFFFF ^ 0xFFFFE000), h = 107238581.
    const struct {
        double x;
        uint32_t h;
    } lattice[] = {{0.0, 1376312589u}, {1.0, 1316808037u}, {2.0, 758455919u}, {-1.0, 107238581u}};
    for (const auto& c : lattice)
        EXPECT_DOUBLE_EQ(ValueNoise1D(c.x), 1.0 - c.h * 9.313225746154785e-10) << c.x;
    EXPECT_NEAR(ValueNoise1D(1.0), -0.22637305, 1e-8);
    EXPECT_NEAR(ValueNoise1D(2.0), 0.29363288, 1e-8);
    EXPECT_NEAR(ValueNoise1D(-1.0), 0.90012629, 1e-8);
    const double v0 = ValueNoise1D(0.0), v1 = ValueNoise1D(1.0), v7 = ValueNoise1D(7.0);
    EXPECT_NEAR(ValueNoise1D(0.5), (v0 + v1) / 2, 1e-7);
    EXPECT_NEAR(ValueNoise1D(7.0), v7, 0.0);
    // Negative x: the integer part is taken toward zero, so -0.5 lies between
    // value(0) and value(1) with the easing of -0.5.
    const double f = (1 - std::cos(-0.5 * 3.1415927)) * 0.5;
    EXPECT_NEAR(ValueNoise1D(-0.5), v0 * (1 - f) + v1 * f, 1e-12);
    for (double x = -50; x < 50; x += 0.37) {
        const double v = ValueNoise1D(x);
        EXPECT_GT(v, -1.0);
        EXPECT_LE(v, 1.0);
    }
    // Far outside the int range the result is defined (saturated lattice).
    EXPECT_TRUE(std::isfinite(ValueNoise1D(1e300)));
    EXPECT_TRUE(std::isfinite(ValueNoise1D(-1e300)));
}

TEST(Noise, Octaves) {
    EXPECT_EQ(OctaveNoise1D(3.3, 2.0, 0.5, 0), 0.0);
    EXPECT_EQ(OctaveNoise1D(3.3, 2.0, 0.5, 1), ValueNoise1D(3.3 / 2.0));
    EXPECT_DOUBLE_EQ(OctaveNoise1D(3.3, 2.0, 0.5, 3),
                     ValueNoise1D(3.3 / 2.0) + 0.5 * ValueNoise1D(2 * 3.3 / 2.0) + 0.25 * ValueNoise1D(4 * 3.3 / 2.0));
}

TEST(Noise, Rounding) {
    struct Case {
        float in;
        int out;
    };
    const Case cases[] = {{0.5f, 0}, {1.5f, 2}, {2.5f, 2}, {-0.5f, 0}, {-1.5f, -2}, {1.4f, 1}, {-1.6f, -2},
                          {3e9f, INT_MAX}, {-3e9f, INT_MIN}, {NAN, 0}, {INFINITY, INT_MAX}};
    for (const auto& c : cases) EXPECT_EQ(RoundToInt(c.in), c.out) << c.in;
}
