// Lightning: bolts that flash at a random place and tilt, fade within a
// sixth of a clock unit unless re-lit, and strike again somewhere else.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_LightingConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    // Additive; the area flag set.
    DS_LightingConstructor();
    DS_LightingConstructor(const DS_LightingConstructor& other) = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Half extents, a point of the area shrunk by them, a tilt of +-22.5
    // degrees, mirrored on an odd draw; dark.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // Dark: once a clock unit one chance in two to respawn lit.  Lit: fades
    // by 6 a clock unit, every 0.15 one chance in two to flash again.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_LightingConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_LightingConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};
