// Light rays: slanted sprites spanning the whole picture height that sway
// sideways and fade in and out.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_GodRayConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    DS_GodRayConstructor() = default;
    DS_GodRayConstructor(const DS_GodRayConstructor& other) : DS_BaseSpriteProp(other), angle(other.angle.value) {}
    ~DS_GodRayConstructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A random x in the area; y at half the band's height (the band's middle
    // only when it starts at the top); a sideways speed in +-10; a random phase.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // Every quarter clock unit one chance in two of a new sideways speed;
    // drift; pulse with respawn; colour.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_GodRayConstructor(*this); }
    // A ray is `size` wide and the picture's height tall, however it slants.
    double SpriteArea() const override;

    // Half width size / 2, half height H / 2, the up axis leaning by the
    // angle (90: upright).  The lean is kept finite near 0, 180 and 360.
    void ShapeRay(DS_SpriteRecord& record);

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_GodRayConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    MediaParamT<unsigned int> angle{80u};  // degrees
};
