// Scene documents made from code.  A scene source names the pictures it
// paints and the slides that show them; the builder paints the pictures,
// stores them as TGA files in the document's resource section and writes the
// document through the writing archive and the scene classes' own Write:
//
//   header string, the root record (DS_SlideShow_Light), the resource
//   manager's section (DS_DocResManager)
//
// Scene source, one statement a line ('#' starts a comment):
//   header TEXT...                     the header string (default "KVL v 4.0.0")
//   picture ID PAINTER WIDTH HEIGHT    a picture painted by PAINTER (pictures.h)
//   sprite ID PAINTER WIDTH HEIGHT     a sprite picture with alpha (sprite_pictures.h)
//   slide NAME PICTURE FADE_IN HOLD FADE_OUT ZOOM SPEED [LAYER]
//       times in whole seconds; ZOOM is the camera's raw zoom (120 = 1.2 x),
//       0 leaves the camera off; SPEED its raw speed (50 = real time);
//       LAYER the slide's picture layer: "picture" (the default), "flame"
//       (the flame layer with its fire and heat distortion), "glassball"
//       (the glass ball; a "glassball" statement may follow,
//       glassball_builder.h), "lake" or "underwater" (lake_builder.h),
//       "rings" (drops falling on water over the picture, the objects drawn
//       above it) or "rings-over" (the water over the whole slide);
//       rings_builder.h
//   glyphs KEY=VALUE...                the slide above draws glyph rain
//       (glyph_builder.h)
//   sprites KIND KEY=VALUE...          a sprite population on the slide above
//       (sprite_builder.h)
//   mask, sequence, effect             shader effects on the slide above
//       (see effect_builder.h)
//   sound NAME KIND SECONDS [FORMAT]   a sound of the document's music, played
//       in the order given (sound_builder.h)
//
// Objects drawn on the slide before them (the first slide needs one):
//   butterflies COUNT WING_PICTURE LEFT TOP RIGHT BOTTOM
//       a flock flying in the area given in percent of the picture; the
//       body and meshes are the resource module's, the wings a picture here
//   clock X Y SIZE
//       a wall clock centred on (X, Y) in picture pixels, SIZE pixels wide;
//       its meshes and pictures are the resource module's
//   leaves COUNT PICTURE MESH SIZE SPEED DEVIATION CHANGE TUMBLE ANGLE
//       falling pieces with the picture and the .x file MESH (relative to
//       the scene source's folder); SIZE in pixels, ANGLE the flow direction
//       in degrees (270: downwards)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/scene_builder/effect_builder.h"
#include "tools/scene_builder/glassball_builder.h"
#include "tools/scene_builder/glyph_builder.h"
#include "tools/scene_builder/pictures.h"
#include "tools/scene_builder/sound_builder.h"
#include "tools/scene_builder/sprite_builder.h"

namespace tessaloom::scene_builder {

struct PictureSpec {
    std::string id;
    std::string painter;
    int width = 0;
    int height = 0;
    bool withAlpha = false;  // a sprite picture: 32-bit with alpha
};

struct SlideSpec {
    std::string name;
    std::string picture;  // a PictureSpec id
    unsigned fadeIn = 1;
    unsigned hold = 10;
    unsigned fadeOut = 1;
    unsigned zoom = 0;    // 0: camera off
    unsigned speed = 50;
    std::string layer = "picture";  // or "flame", "glassball", "lake", "underwater", "rings", "rings-over",
                                    // or "glyphs" (a glyphs statement)
    GlassBallSpec glassBall;
    GlyphSpec glyphs;
    std::vector<SpriteSpec> sprites;
    std::vector<EffectSpec> effects;
};

enum class ObjectKind { kButterflies, kClock, kLeaves };

struct ObjectSpec {
    ObjectKind kind = ObjectKind::kClock;
    size_t slide = 0;     // index of the slide it is drawn on
    std::string picture;  // a PictureSpec id (butterflies: the wing, leaves: the leaf)
    std::string mesh;     // leaves: the .x file
    // butterflies: count, left, top, right, bottom (percent);
    // clock: x, y, size; leaves: count, size, speed, deviation, change, tumble, angle.
    std::vector<unsigned> values;
};

struct SceneSpec {
    std::string header = "KVL v 4.0.0";
    std::vector<PictureSpec> pictures;
    std::vector<SlideSpec> slides;
    std::vector<MaskSpec> masks;
    std::vector<SequenceSpec> sequences;
    std::vector<ObjectSpec> objects;
    std::vector<SoundSpec> sounds;
    std::string folder = ".";  // where relative mesh paths start
};

// False with a message "line N: ..." on a malformed line, an unknown painter,
// a slide or object naming an unknown picture, an object before the first
// slide, or a scene without slides.
bool ParseScene(const std::string& text, SceneSpec& scene, std::string* error);

// The picture a spec describes, as TGA bytes.
std::vector<uint8_t> PaintPicture(const PictureSpec& spec);

// The key a document gives the picture: an authoring-machine path and a
// stamp standing for its modification time.
std::u16string PicturePath(const PictureSpec& spec);
int64_t PictureStamp(size_t index);

// The whole document.  False (with a message) when a picture cannot be
// painted, a mesh file cannot be read or the scene has no slide.
bool BuildDocument(const SceneSpec& scene, std::vector<uint8_t>& bytes, std::string* error);

}  // namespace tessaloom::scene_builder
