#include "layers/effects/underwater_fx.h"

#include <memory>

#include "platform/d3dx9/effect.h"
#include "scene/picture_layer.h"

namespace {

constexpr INT kEffect = 88;
constexpr float kTimeRate = 0.08f;

}  // namespace

DS_UnderwaterFX::DS_UnderwaterFX() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    speed.SetValue(25);
    amplitude.SetFactor(0.000125f, 0.0f);
    period.SetFactor(0.002f, 0.001f);
    amplitude.SetValue(50);
    period.SetValue(50);
}

DS_UnderwaterFX::DS_UnderwaterFX(const DS_UnderwaterFX& other)
    : DS_FX_Constructor(other), amplitude(other.amplitude), period(other.period) {}

void DS_UnderwaterFX::Assign(const DS_UnderwaterFX& other) {
    if (this == &other) return;
    DS_FX_Constructor::Assign(other);
    amplitude.Assign(other.amplitude);
    period.Assign(other.period);
}

void DS_UnderwaterFX::FrequencyFor(UINT width, UINT height, float out[2]) const {
    const float a = width != 0 && height != 0
                        ? static_cast<float>(static_cast<double>(width) / static_cast<double>(height))
                        : 1.0f;
    // The period's offset keeps it above 0 for every raw value.
    const float d = 1.0f / period.Converted();
    out[0] = d * a;
    out[1] = d;
}

void DS_UnderwaterFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    float frequency[2];
    FrequencyFor(layer.GetPictureWidth(), layer.GetPictureHeight(), frequency);
    e->SetFloatArray("frequency", frequency, 2);
    e->SetFloat("amplitude", amplitude.Converted());
    e->SetFloat("time", speed.time * kTimeRate);
    ApplyCommon(layer);
}

void DS_UnderwaterFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_UnderwaterFX", 1);
    archive.WriteUInt(amplitude.value);
    archive.WriteUInt(period.value);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_UnderwaterFX* DS_UnderwaterFX::ReadNew(DS_IOF_Virtual& archive) {
    ReadRecordHeader(archive);
    auto underwater = std::make_unique<DS_UnderwaterFX>();
    underwater->ReadFields(archive);
    return underwater.release();
}

void DS_UnderwaterFX::ReadFields(DS_IOF_Virtual& archive) {
    ReadParam(archive, amplitude);
    ReadParam(archive, period);
    DS_FX_Constructor::ReadRecord(archive, *this);
}
