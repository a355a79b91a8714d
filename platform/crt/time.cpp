#include "platform/crt/time.h"

#include <cerrno>
#include <optional>

namespace {

// The latest time the conversion accepts: 3000-12-31 23:59:59 UTC.
constexpr __time64_t kMaxTime64 = 32535215999LL;

std::optional<__time64_t> g_fixed;

void Invalidate(std::tm* out) {
    out->tm_sec = out->tm_min = out->tm_hour = -1;
    out->tm_mday = out->tm_mon = out->tm_year = -1;
    out->tm_wday = out->tm_yday = out->tm_isdst = -1;
}

}  // namespace

__time64_t _time64(__time64_t* out) {
    __time64_t now = -1;
    if (g_fixed) {
        now = *g_fixed;
    } else {
        const std::time_t t = std::time(nullptr);
        now = t == static_cast<std::time_t>(-1) ? -1 : static_cast<__time64_t>(t);
    }
    if (out) *out = now;
    return now;
}

errno_t _localtime64_s(std::tm* out, const __time64_t* time) {
    if (!out) return EINVAL;
    if (!time || *time < 0 || *time > kMaxTime64) {
        Invalidate(out);
        return EINVAL;
    }
    // The zone is read again on every call, so a changed TZ is honoured.
    tzset();
    const std::time_t t = static_cast<std::time_t>(*time);
    if (!localtime_r(&t, out)) {
        Invalidate(out);
        return EINVAL;
    }
    return 0;
}

namespace crt {

void SetTime64ForTests(const __time64_t* fixed) {
    if (fixed)
        g_fixed = *fixed;
    else
        g_fixed.reset();
}

}  // namespace crt
