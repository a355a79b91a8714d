#include "layers/effects/fx_constructor.h"

#include "document/guid_text.h"
#include "document/res_manager.h"
#include "platform/com/objbase.h"
#include "platform/d3dx9/effect.h"
#include "scene/mesh.h"
#include "scene/picture_layer.h"

namespace {

constexpr float kScaleFactor = 0.02f;  // raw 50 -> s = 1
constexpr UINT kScaleDefault = 50;
// The painted mask as it travels with the document: alpha only, full mip chain.
constexpr UINT kMaskSide = 512;

}  // namespace

DS_FX_Constructor::DS_FX_Constructor() {
    scale.SetFactor(kScaleFactor, 0.0f);
    scale.SetValue(kScaleDefault);
    CoCreateGuid(&maskGuid);
}

DS_FX_Constructor::DS_FX_Constructor(const DS_FX_Constructor& other)
    : DS_ABObj_Constructor(other),
      speed(other.speed),
      techniqueFlag(other.techniqueFlag),
      effectLink(other.effectLink),
      scale(other.scale),
      maskGuid(other.maskGuid),
      maskName(other.maskName),
      maskFlag(other.maskFlag),
      mask(other.mask),
      effect(other.effect) {}

DS_FX_Constructor::~DS_FX_Constructor() {
    effect.Reset();
    mask.Release();
}

void DS_FX_Constructor::Assign(const DS_FX_Constructor& other) {
    if (this == &other) return;
    name = other.name;
    speed.Assign(other.speed);
    techniqueFlag.Assign(other.techniqueFlag);
    effectLink = other.effectLink;
    scale.Assign(other.scale);
    maskGuid = other.maskGuid;
    maskName = other.maskName;
    maskFlag = other.maskFlag;
    mask = other.mask;
    effect = other.effect;
}

DS_ABObj* DS_FX_Constructor::CreateObject() { return new DS_BrushObj(Clone()); }

void DS_FX_Constructor::CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) {
    DS_DocResManager* manager = GetCurrentDocResManager();
    effect = manager ? DS_EffectRef::Adopt(manager->GetEffect(effectLink)) : DS_EffectRef();
    SetMask(maskTexture);
}

void DS_FX_Constructor::FrameMove(double time) { speed.Advance(time); }

void DS_FX_Constructor::SetMask(IDirect3DTexture9* const* maskTexture) {
    if (maskTexture == mask.Address()) return;
    mask.Set(maskTexture ? *maskTexture : nullptr);
}

void DS_FX_Constructor::ScaleFor(UINT width, UINT height, float s, float out[2]) {
    const float a = width != 0 && height != 0
                        ? static_cast<float>(static_cast<double>(width) / static_cast<double>(height))
                        : 1.0f;
    if (s == 0.0f) s = 1.0f;
    out[0] = a / s;
    out[1] = 1.0f / s;
}

void DS_FX_Constructor::ApplyCommon(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    float scaleValue[2];
    ScaleFor(layer.GetPictureWidth(), layer.GetPictureHeight(), scale.Converted(), scaleValue);
    // Results are ignored: an effect that lacks a name simply keeps its default.
    e->SetTechnique(techniqueFlag.value != 0 ? "MainFX" : "Main");
    e->SetFloatArray("Scale", scaleValue, 2);
    e->SetTexture("Mask", mask.Get());
    IDirect3DTexture9* const* scene = layer.GetSceneTexture();
    e->SetTexture("Background", scene ? *scene : nullptr);
    layer.DrawWithEffect(layer.GetScreenQuad(), effect.Address());
}

void DS_FX_Constructor::StoreMaskForSave() {
    DS_DocResManager* manager = GetCurrentDocResManager();
    if (!manager) return;
    DS_TextureRef& slot = manager->GetGuidTexture(maskGuid);
    if (mask) {
        IDirect3DTexture9* copy = nullptr;
        if (FAILED(CopyTextureResized(kMaskSide, kMaskSide, mask.Get(), &copy, D3DFMT_A8))) copy = nullptr;
        slot = DS_TextureRef::Adopt(copy);
    } else {
        slot.Reset();
    }
    manager->RefreshGuidData(maskGuid);
}

void DS_FX_Constructor::WriteRecord(DS_IOF_Virtual& archive) {
    StoreMaskForSave();
    WriteRecordHeader(archive, u"DS_FX_Constructor", 2);
    archive.WriteUInt(speed.value);
    archive.WriteLong(techniqueFlag.value);
    WriteGuid(archive, maskGuid);
    archive.WriteString(maskName);
    archive.WriteBool(maskFlag);
    WriteFileLink(archive, effectLink);
    archive.WriteUInt(scale.value);
    DS_ABObj_Constructor::WriteRecord(archive);
}

void DS_FX_Constructor::ReadRecord(DS_IOF_Virtual& archive, DS_FX_Constructor& d) {
    const INT version = ReadRecordHeader(archive);
    ReadParam(archive, d.speed);
    archive.ReadLong(d.techniqueFlag.value);
    ReadGuid(archive, d.maskGuid);
    archive.ReadString(d.maskName);
    archive.ReadBool(d.maskFlag);
    ReadFileLink(archive, d.effectLink);
    if (version >= 2) ReadParam(archive, d.scale);
    DS_ABObj_Constructor::ReadRecord(archive, d);
}

// ------------------------------------------------------------- run-time --

DS_BrushObj::DS_BrushObj(DS_FX_Constructor* copy) : DS_ABObj(copy), fx(copy) {
    try {
        DS_DocResManager* manager = GetCurrentDocResManager();
        fx->CreateDeviceObjects(manager ? manager->GetGuidTexture(fx->maskGuid).Address() : nullptr);
    } catch (...) {
        delete fx;
        throw;
    }
}

DS_BrushObj::~DS_BrushObj() { delete fx; }
