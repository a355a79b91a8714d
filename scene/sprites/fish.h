// Sprites that swim about their area and turn at its edges: fish, birds
// (with a minimum speed) and ghosts (fading in and out).  A sprite moving
// towards smaller x is drawn mirrored, so pictures face +x.
#pragma once

#include "scene/sprites/base_sprite_prop.h"

class DS_FishConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 1;

    DS_FishConstructor() = default;
    DS_FishConstructor(const DS_FishConstructor& other)
        : DS_BaseSpriteProp(other), rangeX(other.rangeX), rangeY(other.rangeY) {}

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Velocity drawn in +-range (x first), a random point, then FaceSprite.
    void SpawnSprite(DS_SpriteRecord& record) override;
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_FishConstructor(*this); }

    // Half extents, colour, mirrored when moving towards smaller x.
    void FaceSprite(DS_SpriteRecord& record);

    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Own fields, then the nested sprite record.
    void ReadFields(DS_IOF_Virtual& archive);
    static void ReadRecord(DS_IOF_Virtual& archive, DS_FishConstructor& description);
    static DS_FishConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    float rangeX = 80.0f;  // half range of the random x velocity, pixels per clock unit
    float rangeY = 50.0f;
};

class DS_BirdConstructor : public DS_FishConstructor {
public:
    static constexpr INT kVersion = 1;

    DS_BirdConstructor() = default;
    DS_BirdConstructor(const DS_BirdConstructor& other) = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The fish update, then the minimum-speed rules: a slow vertical speed is
    // mapped onto [0.4, 1.0] x rangeY towards larger y, a slow horizontal one
    // re-drawn in [0.7, 1.0] x rangeX with its sign kept.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_BirdConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_BirdConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};

class DS_GhostConstructor : public DS_FishConstructor {
public:
    static constexpr INT kVersion = 1;

    // Ranges 50, pulse speed 0.66, transparency 50.
    DS_GhostConstructor();
    DS_GhostConstructor(const DS_GhostConstructor& other) = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The fish spawn, then a random alpha phase.
    void SpawnSprite(DS_SpriteRecord& record) override;
    // The fish update, the alpha pulse (respawning at the bottom), the colour.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_GhostConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_GhostConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};
