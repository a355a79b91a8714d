// The C runtime's random sequence of the system's original platform, which
// the scenes' motion depends on draw by draw:
//   state starts at 1; state = state * 214013 + 2531011; result = (state >> 16) & 0x7FFF.
// It lives in its own namespace so glibc's rand() is never used by mistake.
#pragma once

#include <cstdint>

namespace crt {

constexpr int RAND_MAX_VALUE = 0x7FFF;

int rand();
void srand(unsigned int seed);
// Back to the start-up state (seed 1), for tests.
void ResetRandForTests();

}  // namespace crt
