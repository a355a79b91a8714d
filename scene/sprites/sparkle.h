// Sparkles: square sprites that drift slowly and twinkle, growing with their
// alpha and respawning somewhere else when they fade out.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_SparkleConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    DS_SparkleConstructor() = default;
    DS_SparkleConstructor(const DS_SparkleConstructor& other) = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Velocity in +-25 pixels per clock unit, a random point, a random phase.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // Drift, pulse with respawn, colour, then square half extents of
    // sizeFactor x size x 0.25 x (1 + phase); the picture's aspect is ignored.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_SparkleConstructor(*this); }
    // A sparkle grows with its alpha phase, up to (1 + pulseMax) / 2 of its size.
    double SpriteArea() const override;

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_SparkleConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};
