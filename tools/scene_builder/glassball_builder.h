// The glass-ball layer in scene sources, and its pictures.
//
// A slide whose LAYER is "glassball" shows its picture through the glass
// ball; a statement after it sets the ball up (every key optional):
//
//   glassball KEY=VALUE...
//     size=PERCENT strength=N          ball size (100) and lens strength (0)
//     at=X,Y                           ball centre in the 500-unit frame, 0 = centre
//     mode=0|1|2|3                     still, scroll one way, the other way, swing (3)
//     speed=RAW                        scroll speed, raw (0: one period in 32 s)
//     top=RRGGBB bottom=RRGGBB         the gradient behind the ball (hex)
//     background=ID                    a picture of the scene behind the ball instead
//     overlays=0|1 shine=0|1           the rim and glint overlays (1), the shine (0)
//
// The pictures of the resource module the ball draws with: "glass-rim"
// (overlay 1: the dark, tinted rim of the glass), "glass-glint" (overlay 2:
// window reflections and a sharp glint), "glass-caustic" (the shine: the
// bright spot the ball focuses on the ground below it); and a night city
// ("night-city") whose lights the ball magnifies.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "document/file_link.h"
#include "tools/scene_builder/pictures.h"

class DS_2D_Light;

namespace tessaloom::scene_builder {

// The layer name a slide statement uses.
inline constexpr const char* kGlassBallLayer = "glassball";

struct GlassBallSpec {
    unsigned size = 100;
    unsigned strength = 0;
    int x = 0, y = 0;
    int mode = 3;
    unsigned speed = 0;
    uint32_t top = 0, bottom = 0;  // 0xRRGGBB as written
    std::string background;         // a picture id; empty: the gradient
    int overlays = 1;
    int shine = 0;
};

// False with a message for a malformed KEY=VALUE or an unknown key.
bool ParseGlassBallStatement(const std::vector<std::string>& words, GlassBallSpec& spec, std::string* error);

// The layer a spec stands for (its own picture is the slide's); null with a
// message when the background names no picture of the scene.
DS_2D_Light* MakeGlassBallLayer(const GlassBallSpec& spec, const std::map<std::string, DS_LinkKey>& pictures,
                                std::string* error);

// The painters above, by name.
const std::vector<std::string>& GlassBallPictureNames();
// False (and `out` untouched) for a name that is not one of them.
bool PaintGlassBallPicture(const std::string& name, int width, int height, Picture& out);

}  // namespace tessaloom::scene_builder
