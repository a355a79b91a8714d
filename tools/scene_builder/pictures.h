// Our own pictures, painted from code: skies, hills, a lake, mountains at
// dusk, a garden, and the pictures of the 3D objects (butterflies, the clock,
// leaves), some with a transparent background.  Colours change mostly from row to row and shapes have flat fills,
// so the run-length TGA files they are stored as stay small.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaloom::scene_builder {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // row 0 at the top
    std::vector<uint8_t> alpha;  // empty: opaque; else one byte a pixel, 0 transparent

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Rgb& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Rgb& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint8_t AlphaAt(int x, int y) const { return alpha.empty() ? 255 : alpha[static_cast<size_t>(y) * width + x]; }
};

// A valley at midday: sky, sun, three rows of hills and a lake.
Picture PaintValley(int width, int height);
// The valley's sky and hills over a meadow that reaches the bottom edge
// (no lake): ground for grass and flowers.
Picture PaintMeadow(int width, int height);
// Mountains at dusk under an orange and violet sky with a few stars.
Picture PaintDusk(int width, int height);
// The same mountains as dark ridges against a bright sunset sky: a picture
// that reads as a landscape where it only sets the brightness of something
// drawn over black (the glyph rain lit by its picture).
Picture PaintDuskGlow(int width, int height);
// Snow-capped mountains and a wooded shore under a blue sky, the shore line
// at 0.625 of the height (the lake layer's default horizon), calm water below.
Picture PaintLakeShore(int width, int height);
// A dark night hillside with a faint glow low in the middle: a backdrop for fire.
Picture PaintNight(int width, int height);
// The night hillside with a bed of embers low in the middle, their light
// warm on the ground round them and fading into the dark.
Picture PaintFirelight(int width, int height);

// A campfire in a clearing at night: stars, wooded hills, a ring of stones
// and crossed logs at the bottom centre, lit from below.
Picture PaintCampfire(int width, int height);
// The fire's pictures.  Noise: grey turbulence that tiles.  Heat bump: two
// channels of tiling turbulence (red and green, centred on the middle grey)
// for the heat distortion.  Campfire pattern: the flame shape of the flame
// layer's fire, flames in the middle standing at v = 0.95.  Fire pattern:
// flames along the whole lower edge, for fire areas.
Picture PaintFireNoise(int width, int height);
Picture PaintHeatBump(int width, int height);
Picture PaintCampfirePattern(int width, int height);
Picture PaintFirePattern(int width, int height);

// Under water: light shafts, dark rocks, a sandy floor and weed.
Picture PaintUnderwater(int width, int height);

// A garden: sky, a tree in autumn on the left, a house wall on the right
// (room for a clock), a lawn with flowers.
Picture PaintGarden(int width, int height);
// The butterfly's body, wrapped around it: u around (the back at u = 0 and
// 1), v from the head (top) to the tail; dark with pale rings.
Picture PaintButterflyBody(int width, int height);
// One butterfly wing on a transparent background: the root on the left
// edge, the forewing in the upper half reaching to the right, the hindwing
// below; orange with black veins and a black, white-spotted margin.  The
// clear texels round the wing carry the margin's colour.
Picture PaintButterflyWing(int width, int height);
// A clock face: a cream disc with a dark rim, twelve hour marks (a double
// mark at 12, at the top), transparent outside the disc.
Picture PaintClockFace(int width, int height);
// A clock hand: one dark opaque bar over the whole width, its ends fading out.
Picture PaintClockHand(int width, int height);
// An autumn leaf along the width on a transparent background, with its
// midrib and veins.
Picture PaintLeaf(int width, int height);

// The names PaintNamed knows: "valley", "dusk", "dusk-glow", "night", "firelight", "meadow", "underwater", "campfire",
// "fire-noise", "heat-bump", "campfire-pattern", "fire-pattern", "garden",
// "butterfly_body", "butterfly_wing", "clock_face", "clock_hand", "leaf", "lake-shore",
// "glyph-strip" (glyph_builder.h).
const std::vector<std::string>& PictureNames();
// False (and `out` untouched) for an unknown name.
bool PaintNamed(const std::string& name, int width, int height, Picture& out);

// A run-length encoded true-colour TGA (image type 10, top-left origin), the
// form the documents' own pictures take: 24 bits, or 32 with 8 alpha bits
// when the picture has alpha.
std::vector<uint8_t> EncodeTga(const Picture& picture);

}  // namespace tessaloom::scene_builder
