// The runtime's 64-bit time calls: calendar time in seconds since
// 1970-01-01 00:00 UTC, and its conversion to the machine's local time (the
// time zone of the TZ variable, else the system's).
#pragma once

#include <cstdint>
#include <ctime>

// glibc names its 64-bit time type the same way (as a macro); elsewhere it
// is ours.
#ifndef __time64_t
typedef std::int64_t __time64_t;
#endif
static_assert(sizeof(__time64_t) == 8);

typedef int errno_t;

// The current calendar time; also stored through `out` when it is not null.
// -1 when the clock cannot be read.
__time64_t _time64(__time64_t* out);

// `*time` as local time into `*out`.  0 on success.  EINVAL when either
// pointer is null, when the time is before 1970 or after 3000-12-31
// 23:59:59 UTC, or when the conversion fails; every field of `*out` (when
// there is one) is then -1.
errno_t _localtime64_s(std::tm* out, const __time64_t* time);

namespace crt {

// Test interface: `_time64` answers *fixed from now on (null: the clock
// again).  The value is copied.
void SetTime64ForTests(const __time64_t* fixed);

}  // namespace crt
