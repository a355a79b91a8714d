// Flowing sprite kinds: sprites that stream across their area in one
// direction, sway sideways by a factor re-drawn now and then, and either wrap
// to the opposite edge (an area spanning the whole picture along that axis)
// or reflect at the edges of a narrower band.  Bigger sprites move faster.
//   DS_FlowConstructor  falling leaves, petals, bubbles
//   DS_RainConstructor  rain: a flow with its own defaults and drops turned
//                       along the flow
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_FlowConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 3;

    DS_FlowConstructor();
    // Angle, raw sway values (the converters follow), speed, derived vectors
    // and orientation; the angle binding fires once, so the vectors match.
    DS_FlowConstructor(const DS_FlowConstructor& other);
    ~DS_FlowConstructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void SpawnSprite(DS_SpriteRecord& record) override;
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_FlowConstructor(*this); }

    // turn := rotation about z by (360 - angle) degrees; direction := (speed,
    // 0, 0, 0) x turn; across := (0, 1, 0, 0) x turn.
    void SetAngle(unsigned int angle);
    // Half extents, colour, and the axes of orientations 0 and 1.
    void FitSprite(DS_SpriteRecord& record);

    void WriteRecord(DS_IOF_Virtual& archive) const;
    void ReadFields(DS_IOF_Virtual& archive, INT version);
    static void ReadRecord(DS_IOF_Virtual& archive, DS_FlowConstructor& description);
    static DS_FlowConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    MediaParamT<unsigned int> angle;     // degrees: 0 towards larger x, 90 smaller y, 270 larger y
    MediaFloat<unsigned int> swayAmount; // converted: sideways speed factor (raw x 3)
    MediaFloat<unsigned int> swayRate;   // converted: re-draws of the sway factor per clock unit (raw x 0.25)
    float speed = 0.0f;                  // logical pixels per clock unit
    MediaParamT<int> orientation;        // 0 upright, 1 along the flow, 2 mirrored by x motion, 3 flipped by y motion
    DS_CtrlList angleBindings;
    D3DXVECTOR4 direction{0, 0, 0, 0};
    D3DXVECTOR4 across{0, 0, 0, 0};
    D3DXMATRIX turn;

protected:
    void BindAngle();
};

class DS_RainConstructor : public DS_FlowConstructor {
public:
    static constexpr INT kVersion = 1;

    // Angle 270, speed 2000, size factors 0.5 to 1, orientation 1.
    DS_RainConstructor();
    DS_RainConstructor(const DS_RainConstructor& other);

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void SpawnSprite(DS_SpriteRecord& record) override;
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_RainConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_RainConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    // Turns a drop drawn along its picture's height into the flow direction.
    D3DXMATRIX dropTurn;
};
