#include "layers/effects/move_fx.h"

#include <cmath>
#include <memory>

#include "layers/effects/effect_values.h"
#include "platform/d3dx9/effect.h"
#include "scene/noise.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_MoveFX, DS_ABObj_Constructor)

namespace {

constexpr INT kEffect = 91;

}  // namespace

DS_DirectionBased::DS_DirectionBased() {
    angle.Assign(0u);
    bindings.SetOwner(this);
    DS_FunLightCtrl2<DS_DirectionBased>::Bind(&DS_DirectionBased::OnDirectionChanged, bindings, angle);
    OnDirectionChanged();
}

DS_DirectionBased::DS_DirectionBased(const DS_DirectionBased& other)
    : DS_FX_Constructor(other), strength(other.strength), angle(other.angle) {
    bindings.SetOwner(this);
    DS_FunLightCtrl2<DS_DirectionBased>::Bind(&DS_DirectionBased::OnDirectionChanged, bindings, angle);
    OnDirectionChanged();
}

void DS_DirectionBased::OnDirectionChanged() {
    direction = DS_RotateZ(D3DXVECTOR4(1, 0, 0, 0), 360 - static_cast<int64_t>(angle.value));
}

void DS_DirectionBased::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_DirectionBased", 1);
    archive.WriteUInt(strength.value);
    archive.WriteUInt(angle.value);
    DS_FX_Constructor::WriteRecord(archive);
}

void DS_DirectionBased::ReadRecord(DS_IOF_Virtual& archive, DS_DirectionBased& d) {
    ReadRecordHeader(archive);
    ReadParam(archive, d.strength);
    archive.ReadUInt(d.angle.value);
    DS_FX_Constructor::ReadRecord(archive, d);
}

// ------------------------------------------------------------------ move --

DS_MoveFX::DS_MoveFX() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    speed.SetFactor(0.02f, 0.0f);
    strength.SetFactor(0.0002f, 0.0f);
    speed.SetValue(50);
    strength.SetValue(50);
    mode.Assign(0);
}

DS_MoveFX::DS_MoveFX(const DS_MoveFX& other) : DS_DirectionBased(other), mode(other.mode) {
    shift[0] = other.shift[0];
    shift[1] = other.shift[1];
}

void DS_MoveFX::FrameMove(double time) {
    DS_FX_Constructor::FrameMove(time);
    const float t = speed.time;
    const float a = mode.value == 1 ? static_cast<float>(OctaveNoise1D(static_cast<double>(t) * 50.0, 75.0, 0.5, 1))
                                    : static_cast<float>(std::sin(static_cast<double>(t)));
    const float m = a * strength.Converted();
    shift[0] = direction.x * m;
    shift[1] = direction.y * m;
}

void DS_MoveFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    e->SetFloatArray("Direction", shift, 2);
    ApplyCommon(layer);
}

void DS_MoveFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_MoveFX", 1);
    archive.WriteLong(mode.value);
    DS_DirectionBased::WriteRecord(archive);
}

DS_MoveFX* DS_MoveFX::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto move = std::make_unique<DS_MoveFX>();
    archive.ReadLong(move->mode.value);
    DS_DirectionBased::ReadRecord(archive, *move);
    return move.release();
}
