#include "platform/crt/rand.h"

namespace crt {

namespace {
uint32_t g_state = 1;  // the runtime's start-up state; the system never seeds it
}

int rand() {
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7FFF);
}

void srand(unsigned int seed) { g_state = seed; }

void ResetRandForTests() { g_state = 1; }

}  // namespace crt
