// Test hooks of the filter graph: a clock faster than real time, a tap of
// the mixed output and a count of live graph objects.
#pragma once

#include "platform/win32/types.h"

namespace tessaloom::dshow::test {

// Audio renderers whose output opens while this is on (at connection) play
// on a thread of their own that mixes as fast as it can, with no SDL device;
// the thread sleeps whenever nothing is left to play.  Playback, positions and events behave as with a
// device, only sooner.
void SetFastClock(bool on);

// Called on the audio thread with every block of stream audio a renderer
// mixed (after volume and balance): `frames` interleaved stereo float frames
// at `rate` per second.  Silence a device plays once a stream has ended or
// while it is stopped is not passed on.  Null removes the tap.
using OutputTap = void (*)(void* context, const float* samples, UINT frames, UINT rate);
void SetOutputTap(OutputTap tap, void* context);

// Graphs, filters and enumerators alive now.
int LiveObjectCount();

}  // namespace tessaloom::dshow::test
