// Glyph rain in scene sources, and the glyph strip of the resource module.
//
//   glyphs KEY=VALUE...
//
// makes the picture layer of the slide above a glyph-rain layer.  Keys (raw
// values of the layer, whole numbers unless said):
//   cell density changes flicker background mode transparency
//   color=RRGGBB  highlight=RRGGBB   settled and new glyphs' colours (hex)
// background 0 draws the glyphs over the slide's picture, 1 over black with
// each glyph as bright as the picture at its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/scene_builder/pictures.h"

class DS_2D_Light;

namespace tessaloom::scene_builder {

struct GlyphSpec {
    unsigned cell = 16;
    unsigned density = 20;
    unsigned changes = 50;
    int flicker = 0;
    int background = 0;
    int mode = 2;
    unsigned transparency = 0;
    uint32_t color = 0x0000FF00u;      // COLORREF 0x00BBGGRR
    uint32_t highlight = 0x00FFFFFFu;  // COLORREF
};

// False with a message for a malformed KEY=VALUE or an unknown key.
bool ParseGlyphStatement(const std::vector<std::string>& words, GlyphSpec& spec, std::string* error);

// A new glyph-rain layer with the statement's values; the glyph strip is the
// resource module's.
DS_2D_Light* MakeGlyphLayer(const GlyphSpec& spec);

// The glyph strip: glyphs stacked from the top, one band each.  The layer
// divides a strip of width w and height h into h / w + 2 bands, so that many
// glyphs are drawn, each in its band: pale green-white strokes with a soft
// green glow on a transparent black ground.
Picture PaintGlyphStrip(int width, int height);

}  // namespace tessaloom::scene_builder
