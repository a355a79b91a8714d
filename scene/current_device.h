// The process-wide current Direct3D device.  The host points it at a render
// unit's device before every step of that unit; everything in the scene that
// creates or draws device objects uses it.  Not reference-counted; null until
// the host sets it, and every user copes with null (nothing is created or
// drawn then).
#pragma once

#include "platform/d3d9/d3d9.h"

extern IDirect3DDevice9* CurrentDevice;
