#include "layers/effects/light_fx.h"

#include <cmath>
#include <memory>

#include "platform/d3dx9/effect.h"
#include "scene/noise.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_LightFX, DS_ABObj_Constructor)

namespace {

constexpr INT kEffect = 76;

}  // namespace

DS_LightFX::DS_LightFX() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    amplitude.SetFactor(0.01f, 0.0f);
    amplitude.SetValue(40);
    speed.SetValue(40);
    mode.Assign(0);
}

DS_LightFX::DS_LightFX(const DS_LightFX& other)
    : DS_FX_Constructor(other), amplitude(other.amplitude), mode(other.mode) {}

float DS_LightFX::MultiplierAt(float t) const {
    float a;
    if (mode.value < 2) {
        const float phase = t * 0.2f;
        a = static_cast<float>((std::sin(static_cast<double>(phase)) + 1.0) * 0.5);
        if (mode.value == 1) a = a > 0.5f ? 1.0f : 0.0f;
    } else {
        a = static_cast<float>((OctaveNoise1D(static_cast<double>(t) * 10.0, 75.0, 0.5, 2) + 1.0) * 0.5);
    }
    return amplitude.Converted() * a;
}

void DS_LightFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    e->SetFloat("multiplier", MultiplierAt(speed.time));
    ApplyCommon(layer);
}

void DS_LightFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_LightFX", 1);
    archive.WriteUInt(amplitude.value);
    archive.WriteLong(mode.value);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_LightFX* DS_LightFX::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto light = std::make_unique<DS_LightFX>();
    ReadParam(archive, light->amplitude);
    archive.ReadLong(light->mode.value);
    DS_FX_Constructor::ReadRecord(archive, *light);
    return light.release();
}
