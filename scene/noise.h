// Randomness of the scene: the runtime's unseeded generator, a uniform float
// in a range, a one-dimensional value noise with an octave sum, and rounding.
// Every run replays the same sequence: the generator is never seeded.
#pragma once

#include "platform/crt/rand.h"

// a + (rand() / 32767) * (b - a): the quotient in double, the product and the
// sum rounded to float; a draw of 0 gives a, 32767 gives b.
float RandomRange(float a, float b);

// Smooth value noise in (-1, 1]; exactly value(n) at an integer n.  The
// integer part is taken toward zero, also for negative x.
double ValueNoise1D(double x);

// Sum over i < octaves of persistence^i * ValueNoise1D(2^i * x / scale).
double OctaveNoise1D(double x, double scale, double persistence, int octaves);

// Rounds with the current rounding mode (nearest, ties to even by default).
// Values beyond the int range (and NaN) saturate instead of being undefined.
int RoundToInt(float x);

// Truncation toward zero with a defined result outside the int range:
// saturates at INT_MIN / INT_MAX, NaN gives 0.
int TruncateToInt(double x);
