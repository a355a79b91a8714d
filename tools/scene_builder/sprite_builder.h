// Sprite populations in scene sources.  A statement
//
//   sprites KIND KEY=VALUE...
//
// adds a population to the slide above it.  KIND is one of fish, bird,
// ghost, fog, sparkle, godray, lightning, grass, flow, rain, still, flower,
// discharge.  Keys (values are whole or decimal numbers unless said):
//   image=ID            a sprite picture of the scene ("sprite" statement)
//   image=module:N      picture set N of the resource module (frames and delays)
//   mask=ID             the mask picture
//   count size transparency additive speed orientation angle rotation
//   color=RRGGBB        tint (hex)
//   sizes=MIN,MAX  pulse=SPEED,MIN,MAX  area=LEFT,RIGHT,TOP,BOTTOM (fractions)
//   sheet=FRAMES,RATE  flipx=0|1  flipy=0|1
//   range=X,Y (fish, bird, ghost, fog)   sway=AMOUNT,RATE and flowspeed (flow, rain)
//   amplitude (grass, flower)   at=X,Y (still, flower, discharge: picture pixels)
#pragma once

#include <map>
#include <string>
#include <vector>

#include "document/file_link.h"

class DS_BaseSpriteProp;

namespace tessaloom::scene_builder {

struct SpriteSpec {
    std::string kind;
    std::vector<std::pair<std::string, std::string>> values;  // in the order written
};

// The kinds a "sprites" statement knows.
const std::vector<std::string>& SpriteKindNames();

// False with a message for an unknown kind, a malformed KEY=VALUE, or a key
// the kind does not take.
bool ParseSpriteStatement(const std::vector<std::string>& words, SpriteSpec& spec, std::string* error);

// The description a spec stands for.  `pictures` gives the key of each
// picture id.  Null with a message for a value that is not a number or a
// picture id that is not defined.
DS_BaseSpriteProp* MakeSpriteDescription(const SpriteSpec& spec, const std::map<std::string, DS_LinkKey>& pictures,
                                         std::string* error);

}  // namespace tessaloom::scene_builder
