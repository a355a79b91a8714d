// Placed sprite kinds: sprites at a point the author chose, with a rotation.
//   DS_StatObjConstructor    a still picture
//   DS_FlowerConstructor     a flower or plant swaying about its root
//   DS_DischargeConstructor  a flickering sheet whose frame jumps at random
// Every sprite of such a population sits at the same point (normally count 1).
#pragma once

#include "document/media_area.h"
#include "scene/sprites/base_sprite_prop.h"

class DS_StatObjConstructor : public DS_BaseSpriteProp {
public:
    static constexpr INT kVersion = 2;

    // Edges 0, point at the middle of the current logical size.
    DS_StatObjConstructor();
    DS_StatObjConstructor(const DS_StatObjConstructor& other);
    ~DS_StatObjConstructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    DS_ABObj* CreateObject() override;
    void SpawnSprite(DS_SpriteRecord& record) override { PlaceSprite(record); }
    DS_BaseSpriteProp* Clone() const override { return new DS_StatObjConstructor(*this); }

    // Centre at the placement point, half extents, colour, the axes turned by
    // -rotation degrees; the placement edges become the sprite's bounding box.
    void PlaceSprite(DS_SpriteRecord& record);

    // "DS_StatObjConstructor", version 2, then the sprite record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Own fields of `version` (version 1 also carries the two flips), then
    // the nested sprite record.
    void ReadFields(DS_IOF_Virtual& archive, INT version);
    static void ReadRecord(DS_IOF_Virtual& archive, DS_StatObjConstructor& description);
    static DS_StatObjConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    MediaRectangle placement;
    MediaParamT<unsigned int> rotation;  // degrees
    D3DXMATRIX pose;                     // rotation about z by -rotation degrees
};

class DS_FlowerConstructor : public DS_StatObjConstructor {
public:
    static constexpr INT kVersion = 1;

    DS_FlowerConstructor() = default;
    DS_FlowerConstructor(const DS_FlowerConstructor& other) : DS_StatObjConstructor(other), amplitude(other.amplitude) {}

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Leans the up axis by up to `amplitude` degrees (period 2 pi clock
    // units) while the middle of the root edge stays put.
    void UpdateSprite(DS_SpriteRecord& record) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_FlowerConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_FlowerConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    float amplitude = 1.5f;  // degrees
};

class DS_DischargeConstructor : public DS_StatObjConstructor {
public:
    static constexpr INT kVersion = 1;

    DS_DischargeConstructor() = default;
    DS_DischargeConstructor(const DS_DischargeConstructor& other) = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A random sheet frame other than `current`; a sheet of fewer than two
    // frames has no other frame and keeps `current`.
    unsigned int NextFrame(unsigned int current) override;
    DS_BaseSpriteProp* Clone() const override { return new DS_DischargeConstructor(*this); }

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_DischargeConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};
