// Fog banks: sprites that drift, bounce on their centre at the area's edges,
// fade in and out and slowly spin.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_FogConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    // Ranges 40, pulse minimum 0.2, transparency 50.
    DS_FogConstructor();
    DS_FogConstructor(const DS_FogConstructor& other)
        : DS_BaseSpriteProp(other), rangeX(other.rangeX), rangeY(other.rangeY) {}

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A random point, a velocity in +-range, a random phase and a spin of at
    // most +-0.004 radians a frame.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // Drift, pulse (no respawn), a bounce that tests the centre only, then the
    // axes turned by the spin once per drawn frame (not scaled by time).
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_FogConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_FogConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    float rangeX = 40.0f;
    float rangeY = 40.0f;
};
