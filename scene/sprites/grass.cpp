#include "scene/sprites/grass.h"

#include <cmath>

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_GrassConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kPhaseRange = 1.5707964f;  // radians

}  // namespace

void DS_GrassConstructor::SpawnSprite(DS_SpriteRecord& s) {
    const float L = GetLeft(), R = GetRight();
    s.position.x = L + ds_sprite::R() * (R - L);
    s.position.y = GetBottom() - s.halfHeight;
    s.velocity.z = s.position.x;
    s.velocity.y = ds_sprite::R() * kPhaseRange;
    const float flip = ds_sprite::Odd() ? -1.0f : 1.0f;
    s.right = D3DXVECTOR3(flip, 0, 0);
}

void DS_GrassConstructor::UpdateSprite(DS_SpriteRecord& s) {
    const float across = ds_sprite::Ratio(2.0f * ds_sprite::kPi * s.position.x, LogicalWidth());
    const float a = std::sin(clock + s.velocity.y + across);
    const float d = a * amplitude + 90.0f;
    const float theta = (180.0f - d) * ds_sprite::kPi / 180.0f;
    s.up = D3DXVECTOR3(ds_sprite::ShearFor(theta), 1, 0);
    s.position.x = s.velocity.z - s.halfHeight * s.up.x;
}

void DS_GrassConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_GrassConstructor", kVersion);
    ar.WriteFloat(amplitude);
    DS_BaseSpriteProp::WriteRecord(ar);
}

DS_GrassConstructor* DS_GrassConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_GrassConstructor>([&](DS_GrassConstructor& d) {
        d.amplitude = 3.0f;
        ar.ReadFloat(d.amplitude);
        DS_BaseSpriteProp::ReadRecord(ar, d);
    });
}
