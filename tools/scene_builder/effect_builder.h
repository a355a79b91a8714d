// The shader effects of a scene source: painted masks, picture sequences for
// the pattern brushes, and the effect objects of each slide; and the
// pictures the effects take from the resource module (the water's bump map).
//
// Statements (see scene_builder.h for the rest):
//   mask ID band TOP BOTTOM FEATHER
//       a horizontal band, edges in fractions of the height, softened over
//       FEATHER (a fraction of the height) on both edges
//   mask ID ellipse CX CY RX RY FEATHER
//       an ellipse in fractions of the width and height; FEATHER is the
//       fraction of the radius over which it fades out
//   sequence ID PAINTER SIZE FRAMES DELAY
//       a square picture sequence of FRAMES frames, each shown DELAY
//       seconds (painters: "snow", "stars"), carried by the document
//   effect CLASS [mask=ID] [KEY=VALUE]...
//       an effect object on the slide above, drawn after the ones listed
//       before it.  CLASS is the stored class name; keys are its parameters
//       as raw values (see EffectKeys), colours as hexadecimal 0xBBGGRR.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class DS_DocResManager;
class DS_SlideContainer;

namespace tessaloom::scene_builder {

struct MaskSpec {
    std::string id;
    std::string shape;           // "band" or "ellipse"
    std::vector<float> values;   // as the statement gives them
};

struct SequenceSpec {
    std::string id;
    std::string painter;
    int size = 0;
    int frames = 0;
    float delay = 0.0f;
};

struct EffectSpec {
    std::string className;
    std::string mask;  // a MaskSpec id or empty
    std::map<std::string, std::string> values;
};

// The keys a class takes, "" for an unknown class.
std::vector<std::string> EffectKeys(const std::string& className);

// The three statements.  False with a message for a malformed one.
bool ParseMask(std::istream& words, MaskSpec& out, std::string* error);
bool ParseSequence(std::istream& words, SequenceSpec& out, std::string* error);
bool ParseEffect(std::istream& words, EffectSpec& out, std::string* error);

// The mask as a run-length 32-bit TGA (white, the mask in alpha), `size` x `size`.
std::vector<uint8_t> PaintMask(const MaskSpec& mask, int size);
// Frame `frame` of a sequence as a run-length 32-bit TGA with alpha; empty for an unknown painter.
std::vector<uint8_t> PaintSequenceFrame(const SequenceSpec& spec, int frame);
// The slopes (x, y) at (u, v) of a field of crossing swells that tiles over
// the unit square, each about -1..1: the ripples of the water pictures.
void SwellSlopes(float u, float v, float& sx, float& sy);
// The module's effect pictures: "water-bump" (tiling ripples, slopes in red
// and green).  Empty for an unknown name.
std::vector<uint8_t> PaintEffectPicture(const std::string& name, int width, int height);

// Puts the masks and sequences into the manager's tables.
class EffectDocument {
public:
    EffectDocument(const std::vector<MaskSpec>& masks, const std::vector<SequenceSpec>& sequences);
    // Tables of `manager`: the masks under their GUIDs, the sequences as saved images.
    bool AddResources(DS_DocResManager& manager, std::string* error);
    // The slide's effect objects, the first listed drawn first.
    bool AddEffects(const std::vector<EffectSpec>& effects, DS_SlideContainer& slide, std::string* error) const;

private:
    std::vector<MaskSpec> masks_;
    std::vector<SequenceSpec> sequences_;
};

}  // namespace tessaloom::scene_builder
