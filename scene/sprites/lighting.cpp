#include "scene/sprites/lighting.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_LightingConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kTiltSpread = 0.7853982f;  // radians: 45 degrees
constexpr float kTiltHalf = 0.3926991f;
constexpr float kDarkInterval = 1.0f;      // clock units
constexpr float kLitInterval = 0.15f;
constexpr float kFadeRate = 6.0f;          // alpha phase per clock unit

}  // namespace

DS_LightingConstructor::DS_LightingConstructor() {
    additive.value = 1;
    flag = true;
}

void DS_LightingConstructor::SpawnSprite(DS_SpriteRecord& s) {
    s.FitHalfExtents(*this);
    s.position = RandomPointInset(s.halfWidth, s.halfHeight);
    D3DXMATRIX tilt;
    D3DXMatrixRotationZ(&tilt, ds_sprite::R() * kTiltSpread - kTiltHalf);
    const float flip = ds_sprite::Odd() ? -1.0f : 1.0f;
    const D3DXVECTOR3 x(flip, 0, 0), y(0, 1, 0);
    D3DXVec3TransformCoord(&s.right, &x, &tilt);
    D3DXVec3TransformCoord(&s.up, &y, &tilt);
    s.alphaPhase = 0.0f;
}

void DS_LightingConstructor::UpdateSprite(DS_SpriteRecord& s) {
    if (s.alphaPhase == 0.0f) {
        if (clock - s.timer > kDarkInterval) {
            s.timer = clock;
            if (ds_sprite::Odd()) {
                SpawnSprite(s);
                s.alphaPhase = 1.0f;
            }
        }
    } else {
        s.alphaPhase = s.alphaPhase - kFadeRate * step;
        if (clock - s.timer > kLitInterval) {
            s.timer = clock;
            if (ds_sprite::Odd()) s.alphaPhase = 1.0f;
        }
    }
    if (s.alphaPhase < 0.0f) {
        s.alphaPhase = 0.0f;
        s.timer = clock;
    }
    s.ComposeColor(*this);
}

void DS_LightingConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_LightingConstructor", kVersion);
    DS_BaseSpriteProp::WriteRecord(ar);
}

DS_LightingConstructor* DS_LightingConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_LightingConstructor>(
        [&](DS_LightingConstructor& d) { DS_BaseSpriteProp::ReadRecord(ar, d); });
}
