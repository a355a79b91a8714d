#include "layers/effects/pattern_brush.h"

#include <algorithm>
#include <memory>

#include "document/res_manager.h"
#include "platform/d3dx9/effect.h"
#include "scene/layer_resources.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_PatternBrush, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_PatternBrushC, DS_ABObj_Constructor)

namespace {

constexpr INT kEffect = 78;

}  // namespace

DS_PatternBrush::DS_PatternBrush() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    speed.SetFactor(0.02f, 0.0f);
    patternScale.SetFactor(0.01f, 0.0f);
    offsetX.SetFactor(-0.01f, 0.0f);
    offsetY.SetFactor(0.01f, 0.0f);
    speed.SetValue(50);
    patternScale.SetValue(100);
    offsetX.SetValue(0);
    offsetY.SetValue(0);
    rotation.Assign(0u);
    flipHorizontal.Assign(0);
    flipVertical.Assign(0);
}

DS_PatternBrush::DS_PatternBrush(const DS_PatternBrush& other)
    : DS_FX_Constructor(other),
      patternLink(other.patternLink),
      flipVertical(other.flipVertical),
      flipHorizontal(other.flipHorizontal),
      rotation(other.rotation),
      patternScale(other.patternScale),
      offsetX(other.offsetX),
      offsetY(other.offsetY),
      pattern(other.pattern),
      frameIndex(other.frameIndex),
      frameStart(other.frameStart) {}

void DS_PatternBrush::CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) {
    DS_FX_Constructor::CreateDeviceObjects(maskTexture);
    LoadPattern();
}

void DS_PatternBrush::LoadPattern() {
    DS_DocResManager* manager = GetCurrentDocResManager();
    if (manager) {
        pattern = patternLink.GetExtension() == u".dll" ? manager->LoadDllImageSet(patternLink)
                                                         : manager->GetImage(patternLink);
    } else {
        pattern = DS_ImageSet();
    }
    frameIndex = 0;
}

size_t DS_PatternBrush::CycleLength() const {
    const size_t values = pattern.FrameValues().size();
    return pattern.HasFrame() ? std::min(values, pattern.FrameCount()) : values;
}

void DS_PatternBrush::FrameMove(double time) {
    DS_FX_Constructor::FrameMove(time);
    const float c = speed.time;
    if (c - frameStart < 0.0f) frameStart = c;
    const size_t cycle = CycleLength();
    if (cycle == 0) return;
    if (frameIndex >= cycle) frameIndex = 0;
    if (pattern.FrameValues()[frameIndex] < c - frameStart) {
        frameStart = c;
        frameIndex = static_cast<unsigned int>((frameIndex + 1) % cycle);
    }
}

bool DS_PatternBrush::PlacementFor(UINT width, UINT height, Placement& out) const {
    const float s = patternScale.Converted();
    if (pattern.height == 0 || pattern.width == 0 || !(s > 0.0f)) return false;
    const float pw = static_cast<float>(pattern.width), ph = static_cast<float>(pattern.height);
    out.scale[0] = pw / ph;
    out.scale[1] = 1.0f;
    out.offset[0] = offsetX.Converted();
    out.offset[1] = offsetY.Converted();
    float sx = static_cast<float>(width) / (pw * s);
    float sy = static_cast<float>(height) / (ph * s);
    if (flipHorizontal.value != 0) sx = -sx;
    if (flipVertical.value != 0) sy = -sy;
    D3DXMATRIX scaling, turn, m;
    D3DXMatrixScaling(&scaling, sx, sy, 1.0f);
    D3DXMatrixRotationZ(&turn, static_cast<float>(rotation.value) * D3DX_PI / 180.0f);
    D3DXMatrixMultiply(&m, &scaling, &turn);
    out.transform[0] = m._11;
    out.transform[1] = m._12;
    out.transform[2] = m._21;
    out.transform[3] = m._22;
    return true;
}

void DS_PatternBrush::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    Placement p;
    if (!PlacementFor(layer.GetPictureWidth(), layer.GetPictureHeight(), p)) return;
    if (pattern.HasFrame()) e->SetTexture("Pattern", pattern.GetFrame(frameIndex < pattern.FrameCount() ? frameIndex : 0));
    e->SetFloatArray("scale", p.scale, 2);
    e->SetFloatArray("offset", p.offset, 2);
    e->SetFloatArray("coord_transf", p.transform, 4);
    ApplyCommon(layer);
}

void DS_PatternBrush::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_PatternBrush", 1);
    GetLayerResources()->PrepareLinkForSave(patternLink);
    WriteFileLink(archive, patternLink);
    archive.WriteLong(flipVertical.value);
    archive.WriteLong(flipHorizontal.value);
    archive.WriteUInt(rotation.value);
    archive.WriteUInt(patternScale.value);
    archive.WriteUInt(offsetX.value);
    archive.WriteUInt(offsetY.value);
    DS_FX_Constructor::WriteRecord(archive);
}

void DS_PatternBrush::ReadRecord(DS_IOF_Virtual& archive, DS_PatternBrush& d) {
    ReadRecordHeader(archive);
    d.ReadFields(archive);
}

DS_PatternBrush* DS_PatternBrush::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto brush = std::make_unique<DS_PatternBrush>();
    brush->ReadFields(archive);
    return brush.release();
}

void DS_PatternBrush::ReadFields(DS_IOF_Virtual& archive) {
    ReadFileLink(archive, patternLink);
    archive.ReadLong(flipVertical.value);
    archive.ReadLong(flipHorizontal.value);
    archive.ReadUInt(rotation.value);
    ReadParam(archive, patternScale);
    ReadParam(archive, offsetX);
    ReadParam(archive, offsetY);
    DS_FX_Constructor::ReadRecord(archive, *this);
}

void DS_PatternBrushC::Write(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_PatternBrushC", 1);
    DS_PatternBrush::WriteRecord(archive);
}

DS_PatternBrushC* DS_PatternBrushC::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto brush = std::make_unique<DS_PatternBrushC>();
    DS_PatternBrush::ReadRecord(archive, *brush);
    return brush.release();
}
