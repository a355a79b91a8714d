#include "scene/sprites/sparkle.h"

#include <algorithm>

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_SparkleConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kDriftSpread = 50.0f;  // pixels per clock unit, centred on 0
constexpr float kDriftHalf = 25.0f;

}  // namespace

void DS_SparkleConstructor::SpawnSprite(DS_SpriteRecord& s) {
    const float vx = ds_sprite::R() * kDriftSpread - kDriftHalf;
    const float vy = ds_sprite::R() * kDriftSpread - kDriftHalf;
    s.velocity = D3DXVECTOR3(vx, vy, 0);
    s.position = RandomPoint();
    s.alphaPhase = ds_sprite::R();
}

double DS_SparkleConstructor::SpriteArea() const {
    const double grow = 0.5 * (1.0 + std::max(static_cast<double>(pulseMax), 1.0));
    return DS_BaseSpriteProp::SpriteArea() * grow * grow;
}

void DS_SparkleConstructor::UpdateSprite(DS_SpriteRecord& s) {
    s.position.x = s.position.x + step * s.velocity.x;
    s.position.y = s.position.y + step * s.velocity.y;
    PulseAlpha(s, true);
    s.ComposeColor(*this);
    const float half = s.sizeFactor * static_cast<float>(size.value) * 0.5f;
    s.halfWidth = s.halfHeight = half * 0.5f * (1.0f + s.alphaPhase);
}

void DS_SparkleConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_SparkleConstructor", kVersion);
    DS_BaseSpriteProp::WriteRecord(ar);
}

DS_SparkleConstructor* DS_SparkleConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_SparkleConstructor>([&](DS_SparkleConstructor& d) {
        d.flag = true;
        DS_BaseSpriteProp::ReadRecord(ar, d);
    });
}
