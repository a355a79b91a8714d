#include "layers/effects/water_fx.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "layers/effects/effect_values.h"
#include "platform/d3dx9/effect.h"
#include "scene/layer_resources.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_WaterFX, DS_ABObj_Constructor)

namespace {

constexpr const char16_t* kModule = u"common_res.dll";
constexpr INT kEffect = 90;
constexpr INT kBumpPicture = 89;
// Radians the bump transform turns per clock unit.
constexpr float kTurnRate = 0.5f * 9.0f;
// The factor's usable range: q = 2 / f - 1 must stay finite and above 1, so
// that the middle term of "P2", (q + sqrt q) / (q - 1), is a number.
constexpr float kFactorMin = 0.0001f, kFactorMax = 0.9999f;

}  // namespace

DS_WaterFX::DS_WaterFX() {
    effectLink.ConstructFromResource(kEffect, kModule);
    speed.SetFactor(0.02f, 0.0f);
    pFactor.SetFactor(0.0001f, 0.0f);
    bumpScale.SetFactor(0.001f, 0.0f);
    direction1Divisor.SetFactor(0.0005f, 0.001f);
    direction2Scale.SetFactor(0.00025f, 0.0f);
    shadows.SetFactor(0.01f, 0.0f);
    vhalfZ.SetFactor(0.1f, 0.0f);
    bumpLink.ConstructFromResource(kBumpPicture, kModule);
    direction1Divisor.SetValue(20);
    speed.SetValue(50);
    pFactor.SetValue(20);
    bumpScale.SetValue(20);
    direction2Scale.SetValue(20);
    scale.SetValue(30);
    angle.SetValue(40u);
    shadows.SetValue(0);
    vhalfZ.SetValue(0);
    color.Assign(0x00FFFFFFu);
    Bind();
    OnDirectionChanged();
}

DS_WaterFX::DS_WaterFX(const DS_WaterFX& other)
    : DS_FX_Constructor(other),
      pFactor(other.pFactor),
      bumpScale(other.bumpScale),
      direction2Scale(other.direction2Scale),
      direction1Divisor(other.direction1Divisor),
      angle(other.angle),
      shadows(other.shadows),
      vhalfZ(other.vhalfZ),
      color(other.color),
      bumpLink(other.bumpLink) {
    std::copy(other.bumpTransform, other.bumpTransform + 4, bumpTransform);
    Bind();
    OnDirectionChanged();
}

void DS_WaterFX::Bind() {
    bindings.SetOwner(this);
    DS_FunLightCtrl2<DS_WaterFX>::Bind(&DS_WaterFX::OnDirectionChanged, bindings, angle);
}

void DS_WaterFX::OnDirectionChanged() {
    direction = DS_RotateZ(D3DXVECTOR4(1, 0, 0, 0), static_cast<int64_t>(angle.value));
}

void DS_WaterFX::CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) {
    // A picture set without frames leaves the texture empty.
    bumpTexture.Set(GetLayerResources()->GetPicture(bumpLink).texture.Get());
    DS_FX_Constructor::CreateDeviceObjects(maskTexture);
}

void DS_WaterFX::FrameMove(double time) {
    DS_FX_Constructor::FrameMove(time);
    const float a = speed.time * kTurnRate;
    const float r = bumpScale.Converted();
    const float c = static_cast<float>(std::cos(static_cast<double>(a)));
    const float s = static_cast<float>(std::sin(static_cast<double>(a)));
    bumpTransform[0] = r * c;
    bumpTransform[1] = -r * s;
    bumpTransform[2] = r * s;
    bumpTransform[3] = r * c;
}

DS_WaterFX::Values DS_WaterFX::ComputeValues() const {
    Values v{};
    const float f = pFactor.Converted();
    const float c2 = direction2Scale.Converted();
    const float d1 = direction1Divisor.Converted();  // its offset keeps it above 0
    const float dx = direction.x, dy = direction.y;
    v.direction1[0] = -dx * 0.5f / d1;
    v.direction1[1] = -dy * 0.5f / d1;
    v.direction2[0] = -dx * 0.5f * c2;
    v.direction2[1] = -dy * 0.5f * c2;
    // Raw 0 (f = 0) and raw 10000 and above (f >= 1) would make the middle
    // term of P2 infinite or not a number: the factor is held inside (0, 1)
    // for it.
    const float fq = std::clamp(f, kFactorMin, kFactorMax);
    const float q = 2.0f / fq - 1.0f;
    const float k = (q + std::sqrt(q)) / (q - 1.0f);
    v.p1[0] = f - 1.0f;
    v.p1[1] = -1.0f;
    v.p1[2] = f - 1.0f;
    v.p2[0] = 1.0f;
    v.p2[1] = k;
    v.p2[2] = 1.0f;
    D3DXVECTOR3 half(1.0f, 2.0f, vhalfZ.Converted());
    D3DXVec3Normalize(&half, &half);
    v.vhalf[0] = half.x;
    v.vhalf[1] = half.y;
    v.vhalf[2] = half.z;
    DS_ColorToRgb(color.value, v.color);
    return v;
}

void DS_WaterFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    const Values v = ComputeValues();
    e->SetTexture("BumpMap", bumpTexture.Get());
    e->SetFloatArray("BampTrans", bumpTransform, 4);
    e->SetFloatArray("P1", v.p1, 3);
    e->SetFloatArray("P2", v.p2, 3);
    e->SetFloat("Time", 2.0f * speed.time);
    e->SetFloatArray("Direction1", v.direction1, 2);
    e->SetFloatArray("Direction2", v.direction2, 2);
    e->SetFloat("Shadows", shadows.Converted());
    e->SetFloatArray("Vhalf", v.vhalf, 3);
    e->SetFloatArray("Color", v.color, 3);
    ApplyCommon(layer);
}

void DS_WaterFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_WaterFX", 1);
    archive.WriteUInt(pFactor.value);
    archive.WriteUInt(bumpScale.value);
    archive.WriteUInt(direction2Scale.value);
    archive.WriteUInt(direction1Divisor.value);
    archive.WriteUInt(angle.value);
    archive.WriteUInt(shadows.value);
    archive.WriteUInt(vhalfZ.value);
    WriteParam(archive, color);
    GetLayerResources()->PrepareLinkForSave(bumpLink);
    WriteFileLink(archive, bumpLink);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_WaterFX* DS_WaterFX::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto water = std::make_unique<DS_WaterFX>();
    water->ReadFields(archive);
    return water.release();
}

void DS_WaterFX::ReadFields(DS_IOF_Virtual& archive) {
    ReadParam(archive, pFactor);
    ReadParam(archive, bumpScale);
    ReadParam(archive, direction2Scale);
    ReadParam(archive, direction1Divisor);
    archive.ReadUInt(angle.value);
    ReadParam(archive, shadows);
    ReadParam(archive, vhalfZ);
    ReadParam(archive, color);
    ReadFileLink(archive, bumpLink);
    DS_FX_Constructor::ReadRecord(archive, *this);
}
