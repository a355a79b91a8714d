#include "scene/sprites/fog.h"

#include <cmath>

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_FogConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kSpinSpread = 0.008f;  // radians a frame, centred on 0
constexpr float kSpinHalf = 0.004f;

}  // namespace

DS_FogConstructor::DS_FogConstructor() {
    pulseMin = 0.2f;
    transparency.SetValue(50u);
}

void DS_FogConstructor::SpawnSprite(DS_SpriteRecord& s) {
    s.position = RandomPoint();
    s.velocity.x = -rangeX + ds_sprite::R() * 2.0f * rangeX;
    s.velocity.y = -rangeY + ds_sprite::R() * 2.0f * rangeY;
    s.alphaPhase = ds_sprite::R();
    D3DXMatrixRotationZ(&s.spin, ds_sprite::R() * kSpinSpread - kSpinHalf);
}

void DS_FogConstructor::UpdateSprite(DS_SpriteRecord& s) {
    s.position.x = s.position.x + step * s.velocity.x;
    s.position.y = s.position.y + step * s.velocity.y;
    PulseAlpha(s, false);
    if (s.position.y > GetBottom()) s.velocity.y = -std::fabs(s.velocity.y);
    if (s.position.y < GetTop()) s.velocity.y = std::fabs(s.velocity.y);
    if (s.position.x < GetLeft()) s.velocity.x = std::fabs(s.velocity.x);
    if (s.position.x > GetRight()) s.velocity.x = -std::fabs(s.velocity.x);
    const D3DXVECTOR3 right = s.right, up = s.up;
    D3DXVec3TransformCoord(&s.right, &right, &s.spin);
    D3DXVec3TransformCoord(&s.up, &up, &s.spin);
    s.ComposeColor(*this);
}

void DS_FogConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_FogConstructor", kVersion);
    ar.WriteFloat(rangeX);
    ar.WriteFloat(rangeY);
    DS_BaseSpriteProp::WriteRecord(ar);
}

DS_FogConstructor* DS_FogConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_FogConstructor>([&](DS_FogConstructor& d) {
        ar.ReadFloat(d.rangeX);
        ar.ReadFloat(d.rangeY);
        DS_BaseSpriteProp::ReadRecord(ar, d);
    });
}
