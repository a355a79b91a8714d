#include "scene/sprites/flow.h"

#include <cmath>

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_FlowConstructor, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_RainConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kSwayAmountScale = 3.0f;
constexpr float kSwayRateScale = 0.25f;
constexpr float kDropTurn = 4.712389f;  // 270 degrees

}  // namespace

DS_FlowConstructor::DS_FlowConstructor() {
    swayAmount.SetFactor(kSwayAmountScale, 0.0f);
    swayRate.SetFactor(kSwayRateScale, 0.0f);
    D3DXMatrixIdentity(&turn);
    BindAngle();
}

DS_FlowConstructor::DS_FlowConstructor(const DS_FlowConstructor& o)
    : DS_BaseSpriteProp(o),
      angle(o.angle.value),
      swayAmount(o.swayAmount),
      swayRate(o.swayRate),
      speed(o.speed),
      orientation(o.orientation.value),
      direction(o.direction),
      across(o.across),
      turn(o.turn) {
    BindAngle();
}

DS_FlowConstructor::~DS_FlowConstructor() = default;

void DS_FlowConstructor::BindAngle() {
    angleBindings.SetOwner(this);
    DS_FunLightCtrl<unsigned int, DS_FlowConstructor>::Bind(angle, &DS_FlowConstructor::SetAngle, angleBindings, this);
}

void DS_FlowConstructor::SetAngle(unsigned int a) {
    // In float: an unsigned angle above 360 must not wrap to a huge value.
    D3DXMatrixRotationZ(&turn, (360.0f - static_cast<float>(a)) * ds_sprite::kPi / 180.0f);
    const D3DXVECTOR4 along(speed, 0, 0, 0), side(0, 1, 0, 0);
    D3DXVec4Transform(&direction, &along, &turn);
    D3DXVec4Transform(&across, &side, &turn);
}

void DS_FlowConstructor::FitSprite(DS_SpriteRecord& s) {
    s.FitHalfExtents(*this);
    s.ComposeColor(*this);
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    if (orientation.value == 1) {
        D3DXVec3TransformCoord(&s.right, &x, &turn);
        D3DXVec3TransformCoord(&s.up, &y, &turn);
    } else if (orientation.value == 0) {
        s.right = x;
        s.up = y;
    }
}

void DS_FlowConstructor::SpawnSprite(DS_SpriteRecord& s) {
    s.drift = D3DXVECTOR3(0, 0, 0);
    const float sway = 2.0f * ds_sprite::R() - 1.0f;
    s.velocity = D3DXVECTOR3(0, 0, sway);
    s.position = RandomPoint();
    FitSprite(s);
}

void DS_FlowConstructor::UpdateSprite(DS_SpriteRecord& s) {
    const float L = GetLeft(), R = GetRight(), T = GetTop(), B = GetBottom();
    const float sway = s.velocity.z, amount = swayAmount.Converted();
    const float vx = (across.x * sway * amount + direction.x) * s.sizeFactor + s.drift.x;
    const float vy = (across.y * sway * amount + direction.y) * s.sizeFactor + s.drift.y;
    s.position.x = s.position.x + step * vx;
    s.position.y = s.position.y + step * vy;

    // Vertical edges: wrap over the whole height, reflect inside a band.  A
    // reflection's drift is kept exactly while it equals twice this frame's
    // (mirrored) velocity: the comparison is exact float equality.
    if (topFraction <= 0.0f && bottomFraction >= 1.0f) {
        if (s.IsPastMaxY(*this)) {
            s.position.y -= (B - T) + 2.0f * s.halfHeight;
            s.position.x = L + ds_sprite::R() * (R - L);
        } else if (s.IsPastMinY(*this)) {
            s.position.y += (B - T) + 2.0f * s.halfHeight;
            s.position.x = L + ds_sprite::R() * (R - L);
        }
    } else {
        if (s.drift.y != 2.0f * vy && s.drift.y != 0.0f) s.drift.y = 0.0f;
        if (s.position.y + s.halfHeight > B) {
            s.drift.y -= 2.0f * vy;
            s.position.y = B - s.halfHeight - 1.0f;
        } else if (s.IsPartlyPastMinY(*this)) {
            s.drift.y -= 2.0f * vy;
            s.position.y = T + s.halfHeight + 1.0f;
        }
    }

    if (leftFraction <= 0.0f && rightFraction >= 1.0f) {
        bool jumped = false;
        if (s.IsPastMinX(*this)) {
            s.position.x += (R - L) + 2.0f * s.halfWidth;
            jumped = true;
        } else if (s.IsPastMaxX(*this)) {
            s.position.x -= (R - L) + 2.0f * s.halfWidth;
            jumped = true;
        }
        if (jumped) s.position.y = T + ds_sprite::R() * (B - T);
    } else {
        if (s.drift.x != 2.0f * vx && s.drift.x != 0.0f) s.drift.x = 0.0f;
        if (L > s.position.x - s.halfWidth) {
            s.drift.x -= 2.0f * vx;
            s.position.x = L + s.halfWidth + 1.0f;
        } else if (s.IsPartlyPastMaxX(*this)) {
            s.drift.x -= 2.0f * vx;
            s.position.x = R - s.halfWidth - 1.0f;
        }
    }

    if (orientation.value == 2) {
        s.right = D3DXVECTOR3(std::copysign(1.0f, vx), 0, 0);
        s.up = D3DXVECTOR3(0, 1, 0);
    } else if (orientation.value == 3) {
        s.right = D3DXVECTOR3(1, 0, 0);
        s.up = D3DXVECTOR3(0, std::copysign(1.0f, vy), 0);
    }

    // A rate of 0 never re-draws: 1 / 0 is an infinite period.
    const float rate = swayRate.Converted();
    const float period = rate != 0.0f ? 1.0f / rate : INFINITY;
    if (clock - s.timer > period) {
        s.timer = clock;
        if (ds_sprite::Odd()) s.velocity.z = 2.0f * ds_sprite::R() - 1.0f;
    }
}

void DS_FlowConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_FlowConstructor", kVersion);
    ar.WriteUInt(angle.value);
    ar.WriteUInt(swayAmount.value);
    ar.WriteUInt(swayRate.value);
    ar.WriteFloat(speed);
    ar.WriteInt(orientation.value);
    DS_BaseSpriteProp::WriteRecord(ar);
}

void DS_FlowConstructor::ReadFields(DS_IOF_Virtual& ar, INT version) {
    // Stored raw: neither the converted sway values nor the derived vectors
    // follow until the run-time copy is made.
    ar.ReadUInt(angle.value);
    ar.ReadUInt(swayAmount.value);
    ar.ReadUInt(swayRate.value);
    ar.ReadFloat(speed);
    if (version == 2) {
        INT turned = 0;
        ar.ReadInt(turned);
        orientation.value = turned != 0 ? 1 : 0;
    } else if (version >= 3) {
        ar.ReadInt(orientation.value);
    }
    DS_BaseSpriteProp::ReadRecord(ar, *this);
}

void DS_FlowConstructor::ReadRecord(DS_IOF_Virtual& ar, DS_FlowConstructor& d) {
    const INT version = ReadRecordHeader(ar);
    d.ReadFields(ar, version);
}

DS_FlowConstructor* DS_FlowConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int version) {
    return DS_ReadSpriteKind<DS_FlowConstructor>([&](DS_FlowConstructor& d) { d.ReadFields(ar, version); });
}

// ------------------------------------------------------------------- rain --

DS_RainConstructor::DS_RainConstructor() {
    speed = 2000.0f;
    sizeMin = 0.5f;
    sizeMax = 1.0f;
    orientation.value = 1;
    angle.SetValue(270u);  // the binding derives the vectors for the new speed
    D3DXMatrixRotationZ(&dropTurn, kDropTurn);
}

DS_RainConstructor::DS_RainConstructor(const DS_RainConstructor& o) : DS_FlowConstructor(o), dropTurn(o.dropTurn) {}

void DS_RainConstructor::SpawnSprite(DS_SpriteRecord& s) {
    DS_FlowConstructor::SpawnSprite(s);
    s.alphaPhase = ds_sprite::R();
    FitSprite(s);
    if (orientation.value == 1) {
        const D3DXVECTOR3 right = s.right, up = s.up;
        D3DXVec3TransformCoord(&s.right, &right, &dropTurn);
        D3DXVec3TransformCoord(&s.up, &up, &dropTurn);
    }
}

void DS_RainConstructor::UpdateSprite(DS_SpriteRecord& s) {
    DS_FlowConstructor::UpdateSprite(s);
    PulseAlpha(s, true);
    s.ComposeColor(*this);
}

void DS_RainConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_RainConstructor", kVersion);
    DS_FlowConstructor::WriteRecord(ar);
}

DS_RainConstructor* DS_RainConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_RainConstructor>([&](DS_RainConstructor& d) { DS_FlowConstructor::ReadRecord(ar, d); });
}
