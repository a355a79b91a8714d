// Our own pictures, painted from code: skies, hills, a lake, mountains at
// dusk.  Colours change mostly from row to row and shapes have flat fills,
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

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Rgb& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Rgb& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A valley at midday: sky, sun, three rows of hills and a lake.
Picture PaintValley(int width, int height);
// Mountains at dusk under an orange and violet sky with a few stars.
Picture PaintDusk(int width, int height);
// A dark night hillside with a faint glow low in the middle: a backdrop for fire.
Picture PaintNight(int width, int height);

// Under water: light shafts, dark rocks, a sandy floor and weed.
Picture PaintUnderwater(int width, int height);

// The names PaintNamed knows: "valley", "dusk", "night", "underwater".
const std::vector<std::string>& PictureNames();
// False (and `out` untouched) for an unknown name.
bool PaintNamed(const std::string& name, int width, int height, Picture& out);

// A run-length encoded true-colour TGA (image type 10, 24 bits, top-left
// origin), the form the documents' own pictures take.
std::vector<uint8_t> EncodeTga(const Picture& picture);

}  // namespace tessaloom::scene_builder
