// Grass: blades standing on the bottom edge of the area that sway about
// their roots, neighbouring blades out of step.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_GrassConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    DS_GrassConstructor() = default;
    DS_GrassConstructor(const DS_GrassConstructor& other) : DS_BaseSpriteProp(other), amplitude(other.amplitude) {}

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A random x on the bottom edge (the root, kept in velocity.z), a phase
    // in [0, pi / 2] (velocity.y), mirrored on an odd draw.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // Shears the up axis by up to `amplitude` degrees; the middle of the root
    // edge stays at the root.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_GrassConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_GrassConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    float amplitude = 3.0f;  // degrees
};
