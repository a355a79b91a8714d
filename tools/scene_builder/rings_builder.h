// The scene builder's water rings: the slide layers "rings" (water under the
// slide's objects, capture mode 0) and "rings-over" (water over the whole
// slide, capture mode 1), and the pictures painted to lie under the water:
// "pond", a garden pond seen from above with stones, lily pads and koi.
#pragma once

#include <string>
#include <vector>

#include "tools/scene_builder/pictures.h"

class DS_2D_Light;

namespace tessaloom::scene_builder {

// True for the layer names above.
bool IsRingsLayer(const std::string& name);
// A new water-ring layer for a rings layer name (null for any other name).
DS_2D_Light* MakeRingsLayer(const std::string& name);

// The painters of this file: "pond".
const std::vector<std::string>& RingsPictureNames();
// False (and `out` untouched) for a name that is not one of them or a size
// outside 1 x 2 .. 65535 x 65535.
bool PaintRingsPicture(const std::string& name, int width, int height, Picture& out);

// The pond: a muddy green bottom darkening towards the deep middle, pebbles,
// large rounded stones with their shadows, three koi, and lily pads (two of
// them in flower) floating near the banks.
Picture PaintPond(int width, int height);

}  // namespace tessaloom::scene_builder
