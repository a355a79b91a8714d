#include "layers/effects/waves_fx.h"

#include <memory>

#include "layers/effects/effect_values.h"
#include "platform/d3dx9/effect.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_WavesFX, DS_ABObj_Constructor)

namespace {

constexpr INT kEffect = 77;
// "time" per clock unit: 2.0 a second at 25 units a second.
constexpr float kTimeRate = 0.08f;

}  // namespace

DS_WavesFX::DS_WavesFX() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    speed.SetValue(25);
    amplitude.SetFactor(0.00025f, 0.0f);
    period.SetFactor(0.0005f, 0.001f);
    amplitude.SetValue(50);
    period.SetValue(50);
    angle.Assign(0u);
    reverse.Assign(0);
    Bind();
    OnDirectionChanged();
}

DS_WavesFX::DS_WavesFX(const DS_WavesFX& other)
    : DS_FX_Constructor(other),
      amplitude(other.amplitude),
      period(other.period),
      angle(other.angle),
      reverse(other.reverse) {
    Bind();
    OnDirectionChanged();
}

void DS_WavesFX::Bind() {
    bindings.SetOwner(this);
    DS_FunLightCtrl2<DS_WavesFX>::Bind(&DS_WavesFX::OnDirectionChanged, bindings, angle);
    DS_FunLightCtrl2<DS_WavesFX>::Bind(&DS_WavesFX::OnDirectionChanged, bindings, reverse);
}

void DS_WavesFX::OnDirectionChanged() {
    const int64_t turn = 360 - static_cast<int64_t>(angle.value);
    direction = DS_RotateZ(D3DXVECTOR4(1, 0, 0, 0), turn);
    normal = DS_RotateZ(reverse.value == 0 ? D3DXVECTOR4(0, 1, 0, 0) : D3DXVECTOR4(-1, 0, 0, 0), turn);
}

void DS_WavesFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    const float dir[2] = {-direction.x, -direction.y};
    const float dirN[2] = {normal.x, normal.y};
    e->SetFloatArray("direction", dir, 2);
    e->SetFloatArray("direction_n", dirN, 2);
    // The period's offset keeps it above 0 for every raw value.
    e->SetFloat("frequency", 1.0f / period.Converted());
    e->SetFloat("amplitude", amplitude.Converted());
    e->SetFloat("time", speed.time * kTimeRate);
    ApplyCommon(layer);
}

void DS_WavesFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_WavesFX", 1);
    archive.WriteUInt(amplitude.value);
    archive.WriteUInt(period.value);
    archive.WriteUInt(angle.value);
    archive.WriteLong(reverse.value);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_WavesFX* DS_WavesFX::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto waves = std::make_unique<DS_WavesFX>();
    waves->ReadFields(archive);
    return waves.release();
}

void DS_WavesFX::ReadFields(DS_IOF_Virtual& archive) {
    ReadParam(archive, amplitude);
    ReadParam(archive, period);
    archive.ReadUInt(angle.value);
    archive.ReadLong(reverse.value);
    DS_FX_Constructor::ReadRecord(archive, *this);
}
