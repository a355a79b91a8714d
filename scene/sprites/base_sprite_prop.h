// Sprite populations: DS_BaseSpriteProp, the saved description every sprite
// kind derives from, and DS_SpriteRecord, the state of one sprite.
//
// Units: positions and sizes are logical pixels of the picture (x right, y
// down); times, speeds and rates are clock units of the description's own
// clock (one second at speed 50).  Every random value is a draw of the
// runtime generator (crt::rand), taken in the order the code shows: two runs
// from the same seed place every sprite identically.
#pragma once

#include <list>
#include <vector>

#include "document/file_link.h"
#include "document/scaled_param.h"
#include "platform/crt/rand.h"
#include "scene/object_model.h"

class DS_BaseSpriteProp;

// The most sprites one population draws: vertex 4i + 3 of the last sprite
// must fit a 16-bit index.  A larger stored count draws this many, fewer
// when the slide's cover budget runs out (scene/population_budget.h).
constexpr unsigned int kMaxSprites = 16384;

namespace ds_sprite {
// r: a fresh draw in [0, 1].
inline float R() { return static_cast<float>(crt::rand()) / 32767.0f; }
// An odd draw: a fresh draw whose lowest bit is set (one chance in two).
inline bool Odd() { return (crt::rand() & 1) != 0; }
// a / b, or 0 when b is 0: positions relative to a picture of no size (one
// that did not resolve) stay defined.
inline float Ratio(float a, float b) { return b != 0.0f ? a / b : 0.0f; }
// Degrees to radians with the single-precision pi.
constexpr float kPi = 3.14159265f;
inline float Radians(float degrees) { return degrees * kPi / 180.0f; }
// 1 / tan(theta) for the shear of a swaying or slanted sprite, kept within
// +-kMaxShear so that an angle at (or near) 0 or 180 degrees gives a long
// but finite slant instead of an infinite vertex.
constexpr float kMaxShear = 64.0f;
float ShearFor(float thetaRadians);
}  // namespace ds_sprite

// One sprite.  Some kinds keep other values in the second and third
// components of `velocity` (grass: phase and root x; flows: the sway factor).
struct DS_SpriteRecord {
    D3DXVECTOR3 drift{0, 0, 0};     // reflection correction of the flowing kinds
    D3DXVECTOR3 velocity{0, 0, 0};  // logical pixels per clock unit
    D3DXVECTOR3 position{0, 0, 0};  // centre of the quad; z stays 0
    float sizeFactor = 1.0f;
    D3DXMATRIX spin;                // per-frame turn of the axes (fog)
    float halfWidth = 0.0f;         // along `right`; negative mirrors the sprite
    float halfHeight = 0.0f;        // along `up`
    float aspect = 1.0f;            // height / width of one frame of the picture
    D3DXVECTOR3 right{1, 0, 0};
    D3DXVECTOR3 up{0, 1, 0};
    float alphaPhase = 1.0f;        // multiplier of the alpha byte
    float timer = 0.0f;             // time of the last periodic decision
    D3DCOLOR color = 0;             // ARGB of all four vertices
    float pulseSpeed = 0.0f;        // the description's, with a random sign

    // Zero motion, position (100, 100), unit axes, the picture's aspect (times
    // the sheet frames when the picture is a sheet), a random size factor in
    // [sizeMin, sizeMax] (one draw) and the half extents.
    void Init(const DS_BaseSpriteProp& props);
    // Half extents from sizeFactor, size and aspect: the longer side is
    // sizeFactor x size pixels.
    void FitHalfExtents(const DS_BaseSpriteProp& props);
    // K = position - halfWidth x right - halfHeight x up.
    D3DXVECTOR3 GetCorner() const;

    // Entirely outside the area (by |half extent|).
    bool IsPastMinX(const DS_BaseSpriteProp& props) const;
    bool IsPastMaxX(const DS_BaseSpriteProp& props) const;
    bool IsPastMinY(const DS_BaseSpriteProp& props) const;
    bool IsPastMaxY(const DS_BaseSpriteProp& props) const;
    // Partly outside (signed half extents).
    bool IsPartlyPastMinY(const DS_BaseSpriteProp& props) const;
    bool IsPartlyPastMaxY(const DS_BaseSpriteProp& props) const;
    bool IsPartlyPastMaxX(const DS_BaseSpriteProp& props) const;

    // color := A R G B from the description's colour (COLORREF) and alpha
    // byte; A is the low 8 bits of trunc(alpha byte x alphaPhase), so a phase
    // above 1 wraps past 255.
    void ComposeColor(const DS_BaseSpriteProp& props);
};

// The description of a sprite population.  Its record is the only one whose
// nested base record (DS_ViewObjCtrl) comes before its own fields.
class DS_BaseSpriteProp : public DS_ViewObjCtrl {
public:
    static constexpr INT kVersion = 6;

    DS_BaseSpriteProp();
    // Every field; parameter values without their observers.
    DS_BaseSpriteProp(const DS_BaseSpriteProp& other);
    DS_BaseSpriteProp& operator=(const DS_BaseSpriteProp&) = delete;
    ~DS_BaseSpriteProp() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // PrepareImages on this description, then a run-time population around Clone().
    DS_ABObj* CreateObject() override;

    // Initialises one record (on creation and whenever a kind respawns it).
    virtual void SpawnSprite(DS_SpriteRecord& record);
    // Moves one record once per frame.
    virtual void UpdateSprite(DS_SpriteRecord& record);
    // The sheet frame after `current`: (current + 1) modulo sheetFrames; a
    // sheet of 0 or 1 frames stays on frame 0.
    virtual unsigned int NextFrame(unsigned int current);
    // A new description of the same kind (the kind's copy constructor).
    virtual DS_BaseSpriteProp* Clone() const = 0;
    // The most logical pixels one sprite of this kind can cover: a square of
    // the longest side a size factor gives.  Kinds that shape their sprites
    // otherwise say so.
    virtual double SpriteArea() const;

    // A version-1 record's inline frames, delays and mask become links of the
    // current resource manager; nothing when `image` already has a path.
    void PrepareImages();

    // "DS_BaseSpriteProp", version 6.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Header, then ReadFields for the stored version.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_BaseSpriteProp& description);
    void ReadFields(DS_IOF_Virtual& archive, INT version);

    // The sprites drawn: count, at most kMaxSprites.
    unsigned int DrawnCount() const { return count.value < kMaxSprites ? count.value : kMaxSprites; }
    // The aspect of the `image` picture set as the current resource manager
    // gives it (1.0 without a manager).
    float PictureAspect() const;
    // The logical size of the current screen mapping.
    static float LogicalWidth();
    static float LogicalHeight();

    // The alpha pulse of the pulsing kinds: phase += dt x the record's speed,
    // bounced between pulseMin and pulseMax; below the minimum a respawning
    // kind spawns the record anew first.
    void PulseAlpha(DS_SpriteRecord& record, bool respawn);

    MediaParamT<unsigned int> count{1u};
    MediaParamT<unsigned int> size;
    UINTSclaleTo<unsigned char> transparency;  // raw percent; converted: the alpha byte
    MediaParamT<int> additive;
    MediaColor color{0x00FFFFFFu};
    float pulseSpeed = 0.0f;
    float pulseMin = 0.0f;
    float pulseMax = 1.0f;
    float sizeMin = 1.0f;
    float sizeMax = 1.0f;
    DS_ImageFileLink image;
    DS_ImageFileLink mask;
    unsigned int spareCount = 1;
    float spareRate = 0.0f;
    unsigned int sheetFrames = 1;
    float sheetRate = 0.0f;
    bool sheetOn = false;
    int imageSetMode = 0;
    MediaParamT<int> flipVertical;
    MediaParamT<int> flipHorizontal;
    MediaParamT<int> updateOnFrameChange;
    std::vector<float> oldFrameDelays;
    std::list<DS_ResFileData> oldFrameFiles;
    DS_ResFileData oldMaskFile;
};

// The reader body shared by every kind: a new T with the kind's reader
// defaults, its own fields, then its nested records, deleted again when any
// read fails.
template <class T, class F>
T* DS_ReadSpriteKind(F&& readOwnFieldsAndBase) {
    T* description = new T;
    try {
        readOwnFieldsAndBase(*description);
    } catch (...) {
        delete description;
        throw;
    }
    return description;
}
