// Adapters, device types and full-screen modes: the helpers of the device
// work that stand outside the framework class.
#pragma once

#include "document/result_codes.h"
#include "host/saver_records.h"

// The sort order of candidate modes: width ascending, then height ascending,
// then the larger D3DFORMAT value first.  Negative, zero or positive.
int CompareDisplayModes(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b);

// Moves the device's current mode to the largest mode with fewer pixels (the
// earliest on equal counts); false when there is none.
bool FindNextLowerMode(DeviceRecord& device);

