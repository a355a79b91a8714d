// The error box of the saver modes: a 300 x 150 box with the error text that
// drifts across each monitor and bounces off its edges.  Its layout and its
// motion are pure steps over a monitor record, so they can be followed pass
// by pass; CSaverFramework::AnimateErrorBox drives them.
#pragma once

#include "host/saver_records.h"
#include "platform/win32/types.h"

namespace tessaloom::host {

constexpr float kErrorBoxWidth = 300.0f;
constexpr float kErrorBoxHeight = 150.0f;

// The box with its corners truncated toward zero.
RECT ErrorBoxRect(const ScreenRecord& record);

// Lays the box out in `bounds`: in a preview it covers the bounds from (0, 0)
// and stands still; otherwise it is centred and crosses a tenth of the width
// and a twentieth of the height per second.
void LayOutErrorBox(ScreenRecord& record, const RECT& bounds, bool preview);

// Moves the box `dt` seconds, turning a velocity round when the move would
// take that edge past the bounds.  True when the box's truncated left or top
// changed, so the old and the new rectangle need painting.
bool StepErrorBox(ScreenRecord& record, const RECT& bounds, float dt, RECT* oldBox, RECT* newBox);

// Forgets the time of the previous error-box pass, so the next pass is a
// first pass again (tests).
void ResetErrorBoxClock();

}  // namespace tessaloom::host
