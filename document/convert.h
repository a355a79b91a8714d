// Conversions of document values whose plain C++ form would be undefined.
#pragma once

#include <cmath>
#include <cstdint>

// Truncation toward zero to a signed 32-bit integer.  A value outside the
// int32 range saturates at the nearer limit and NaN gives 0; a plain cast of
// such a value is undefined behaviour, and a damaged document must not reach
// it.
inline int32_t DS_TruncateToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}
