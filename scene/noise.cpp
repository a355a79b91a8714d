#include "scene/noise.h"

#include <climits>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kNoisePi = 3.1415927;               // the easing's own constant, as a double
constexpr double kInvTwoPow30 = 9.313225746154785e-10;  // 2^-30

double LatticeValue(int32_t n) {
    // 32-bit wrapping arithmetic, done unsigned to keep it defined.
    uint32_t u = static_cast<uint32_t>(n);
    u = u ^ (u << 13);
    const uint32_t h = (u * (u * u * 15731u + 789221u) - 771171059u) & 0x7FFFFFFFu;
    return 1.0 - static_cast<double>(h) * kInvTwoPow30;
}

// base^exp by repeated squaring in double precision.
double PowBySquaring(double base, int exp) {
    double result = 1.0;
    while (exp > 0) {
        if (exp & 1) result *= base;
        base *= base;
        exp >>= 1;
    }
    return result;
}

}  // namespace

float RandomRange(float a, float b) {
    const double q = static_cast<double>(crt::rand()) / 32767.0;
    const float product = static_cast<float>(q * static_cast<double>(b - a));
    return a + product;
}

int TruncateToInt(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT_MAX;
    if (x <= -2147483648.0) return INT_MIN;
    return static_cast<int>(x);
}

double ValueNoise1D(double x) {
    const int i0 = TruncateToInt(x);
    const int i1 = TruncateToInt(static_cast<double>(i0) + 1.0);
    const double f = (1.0 - std::cos((x - i0) * kNoisePi)) * 0.5;
    return LatticeValue(i0) * (1.0 - f) + LatticeValue(i1) * f;
}

double OctaveNoise1D(double x, double scale, double persistence, int octaves) {
    double result = 0.0;
    for (int i = 0; i < octaves; ++i)
        result += PowBySquaring(persistence, i) * ValueNoise1D(PowBySquaring(2.0, i) * x / scale);
    return result;
}

int RoundToInt(float x) {
    const float r = std::nearbyint(x);
    return TruncateToInt(static_cast<double>(r));
}
