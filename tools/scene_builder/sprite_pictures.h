// Our own sprite pictures, painted from code with an alpha channel: fish and
// birds facing +x, a ghost, a soft fog cloud, a sparkle and its halo mask, a
// light beam with soft sides, a lightning bolt, a grass tuft rooted on the
// bottom edge, a flower rooted at the bottom centre, a raindrop streak along
// the height, a falling leaf, a bubble, and a discharge sheet of flickering
// frames side by side.  Edges are anti-aliased through coverage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaloom::scene_builder {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct PictureRgba {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;  // row 0 at the top

    PictureRgba() = default;
    PictureRgba(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Rgba& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Rgba& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The names PaintSprite knows.
const std::vector<std::string>& SpritePictureNames();
// Frame `frame` of the named picture (the fish and bird have swimming and
// flapping frames; other pictures ignore it).  False for an unknown name or
// a size outside 4..4096.
bool PaintSprite(const std::string& name, int width, int height, int frame, PictureRgba& out);

// The named picture sets of the resource module: name, frame count and the
// delay of each frame in clock units.
struct SpriteSetSpec {
    std::string name;
    int frames = 1;
    float delay = 0.1f;
};
const std::vector<SpriteSetSpec>& SpriteSetNames();

// A run-length encoded 32-bit TGA with 8 alpha bits, top-left origin.
std::vector<uint8_t> EncodeTga32(const PictureRgba& picture);

// A picture set resource: the frame delays, then one resource-file record a
// frame carrying its TGA bytes.  Empty for an unknown set.
std::vector<uint8_t> BuildSpriteSet(const std::string& name, int width, int height);

}  // namespace tessaloom::scene_builder
