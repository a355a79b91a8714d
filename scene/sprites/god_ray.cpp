#include "scene/sprites/god_ray.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_GodRayConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kSwaySpread = 20.0f;  // pixels per clock unit, centred on 0
constexpr float kSwayHalf = 10.0f;
constexpr float kSwayInterval = 0.25f;  // clock units

}  // namespace

DS_GodRayConstructor::~DS_GodRayConstructor() = default;

void DS_GodRayConstructor::SpawnSprite(DS_SpriteRecord& s) {
    const float L = GetLeft(), R = GetRight();
    s.position.x = L + ds_sprite::R() * (R - L);
    s.position.y = (GetBottom() - GetTop()) * 0.5f;
    s.position.z = 0.0f;
    s.velocity = D3DXVECTOR3(ds_sprite::R() * kSwaySpread - kSwayHalf, 0, 0);
    ShapeRay(s);
    s.alphaPhase = ds_sprite::R();
}

double DS_GodRayConstructor::SpriteArea() const {
    return static_cast<double>(size.value) * static_cast<double>(LogicalHeight());
}

void DS_GodRayConstructor::ShapeRay(DS_SpriteRecord& s) {
    s.halfWidth = static_cast<float>(size.value) * 0.5f;
    s.halfHeight = LogicalHeight() * 0.5f;
    // Signed degrees: an unsigned angle is never subtracted from.
    const float a = static_cast<float>(angle.value);
    const float theta = angle.value < 180 ? 180.0f - a : 360.0f - a;
    s.up = D3DXVECTOR3(ds_sprite::ShearFor(ds_sprite::Radians(theta)), 1, 0);
}

void DS_GodRayConstructor::UpdateSprite(DS_SpriteRecord& s) {
    if (clock - s.timer > kSwayInterval) {
        s.timer = clock;
        if (ds_sprite::Odd()) s.velocity = D3DXVECTOR3(ds_sprite::R() * kSwaySpread - kSwayHalf, 0, 0);
    }
    s.position.x = s.position.x + step * s.velocity.x;
    s.position.y = s.position.y + step * s.velocity.y;
    PulseAlpha(s, true);
    s.ComposeColor(*this);
}

void DS_GodRayConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_GodRayConstructor", kVersion);
    ar.WriteUInt(angle.value);
    DS_BaseSpriteProp::WriteRecord(ar);
}

DS_GodRayConstructor* DS_GodRayConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_GodRayConstructor>([&](DS_GodRayConstructor& d) {
        ar.ReadUInt(d.angle.value);
        DS_BaseSpriteProp::ReadRecord(ar, d);
    });
}
