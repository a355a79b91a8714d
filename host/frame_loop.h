// The frame timer of the saver loop: seconds since the loop started, from the
// high-resolution counter or, when it is missing, the millisecond timer.
#pragma once

#include "platform/win32/windows.h"

namespace tessaloom::host {

// Where the timer reads the time.  The default is the kernel's counter and
// multimedia timer; tests give their own clocks.
struct FrameClock {
    BOOL (*frequency)(LARGE_INTEGER*);
    BOOL (*counter)(LARGE_INTEGER*);
    DWORD (*milliseconds)();
};

// Replaces the clock (null: the kernel's) and forgets the timer's state, so
// the next start asks for the frequency again.
void SetFrameClock(const FrameClock* clock);

// Starts the timer (the frequency is asked on first use) and clears the
// frame-rate state.
void StartFrameTimer();
// Seconds since StartFrameTimer.
double FrameTimerTime();
// Seconds of the clock itself (the counter divided by its frequency).
double FrameTimerAbsoluteTime();

}  // namespace tessaloom::host
