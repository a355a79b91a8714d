#include "scene/sprites/fish.h"

#include <cmath>

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_FishConstructor, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_BirdConstructor, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_GhostConstructor, DS_ABObj_Constructor)

namespace {

// Fish re-draw their velocity at most once per this many scene seconds.
constexpr float kWanderInterval = 1.0f;
// Birds: the slow band and how it is mapped.
constexpr float kSlowBand = 0.7f;
constexpr float kSlowSpread = 0.3f;

float Within(float range) { return -range + ds_sprite::R() * 2.0f * range; }

}  // namespace

void DS_FishConstructor::SpawnSprite(DS_SpriteRecord& s) {
    const float vx = Within(rangeX);
    const float vy = Within(rangeY);
    s.velocity = D3DXVECTOR3(vx, vy, 0);
    s.position = RandomPoint();
    FaceSprite(s);
}

void DS_FishConstructor::FaceSprite(DS_SpriteRecord& s) {
    s.FitHalfExtents(*this);
    s.ComposeColor(*this);
    if (s.velocity.x < 0.0f) s.halfWidth = -s.halfWidth;
}

void DS_FishConstructor::UpdateSprite(DS_SpriteRecord& s) {
    s.position.x = s.position.x + step * s.velocity.x;
    s.position.y = s.position.y + step * s.velocity.y;
    if (s.IsPastMinX(*this)) {
        s.velocity.x = std::fabs(s.velocity.x);
        s.halfWidth = std::fabs(s.halfWidth);
    } else if (s.IsPastMaxX(*this)) {
        s.velocity.x = -std::fabs(s.velocity.x);
        s.halfWidth = -std::fabs(s.halfWidth);
    }
    if (s.IsPartlyPastMinY(*this)) s.velocity.y = std::fabs(s.velocity.y);
    else if (s.IsPartlyPastMaxY(*this)) s.velocity.y = -std::fabs(s.velocity.y);
    // Wandering is timed in scene seconds (the time the clock was advanced
    // to), not in clock units: a faster clock does not wander more often.
    const float now = lastTime;
    if (now - s.timer > kWanderInterval) {
        s.timer = now;
        if (ds_sprite::Odd()) {
            const float vx = Within(rangeX);
            const float vy = Within(rangeY);
            s.velocity = D3DXVECTOR3(std::copysign(vx, s.velocity.x), vy, 0);
        }
    }
}

void DS_FishConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_FishConstructor", kVersion);
    ar.WriteFloat(rangeX);
    ar.WriteFloat(rangeY);
    DS_BaseSpriteProp::WriteRecord(ar);
}

void DS_FishConstructor::ReadFields(DS_IOF_Virtual& ar) {
    ar.ReadFloat(rangeX);
    ar.ReadFloat(rangeY);
    DS_BaseSpriteProp::ReadRecord(ar, *this);
}

void DS_FishConstructor::ReadRecord(DS_IOF_Virtual& ar, DS_FishConstructor& d) {
    ReadRecordHeader(ar);
    d.ReadFields(ar);
}

DS_FishConstructor* DS_FishConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_FishConstructor>([&](DS_FishConstructor& d) {
        d.rangeX = 80.0f;
        d.rangeY = 50.0f;
        d.ReadFields(ar);
    });
}

// ------------------------------------------------------------------- bird --

void DS_BirdConstructor::UpdateSprite(DS_SpriteRecord& s) {
    DS_FishConstructor::UpdateSprite(s);
    // Always towards larger y: this undoes a bounce off the bottom edge when
    // the bounced speed falls in the slow band.
    if (std::fabs(s.velocity.y) < kSlowBand * rangeY)
        s.velocity.y = kSlowBand * rangeY + s.velocity.y * kSlowSpread / kSlowBand;
    if (std::fabs(s.velocity.x) < kSlowBand * rangeX) {
        const float vx = kSlowBand * rangeX + ds_sprite::R() * kSlowSpread * rangeX;
        s.velocity.x = std::copysign(vx, s.velocity.x);
    }
}

void DS_BirdConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_BirdConstructor", kVersion);
    DS_FishConstructor::WriteRecord(ar);
}

DS_BirdConstructor* DS_BirdConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_BirdConstructor>([&](DS_BirdConstructor& d) {
        d.rangeX = 80.0f;
        d.rangeY = 50.0f;
        DS_FishConstructor::ReadRecord(ar, d);
    });
}

// ------------------------------------------------------------------ ghost --

DS_GhostConstructor::DS_GhostConstructor() {
    rangeX = 50.0f;
    rangeY = 50.0f;
    pulseSpeed = 0.66f;
    transparency.SetValue(50u);
}

void DS_GhostConstructor::SpawnSprite(DS_SpriteRecord& s) {
    DS_FishConstructor::SpawnSprite(s);
    s.alphaPhase = ds_sprite::R();
}

void DS_GhostConstructor::UpdateSprite(DS_SpriteRecord& s) {
    DS_FishConstructor::UpdateSprite(s);
    PulseAlpha(s, true);
    s.ComposeColor(*this);
}

void DS_GhostConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_GhostConstructor", kVersion);
    DS_FishConstructor::WriteRecord(ar);
}

DS_GhostConstructor* DS_GhostConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_GhostConstructor>(
        [&](DS_GhostConstructor& d) { DS_FishConstructor::ReadRecord(ar, d); });
}
