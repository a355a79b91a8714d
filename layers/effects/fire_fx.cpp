#include "layers/effects/fire_fx.h"

#include "document/res_manager.h"
#include "platform/d3dx9/effect.h"
#include "scene/layer_resources.h"
#include "scene/picture_layer.h"
#include "scene/view_2d.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_FireFX, DS_ABObj_Constructor)

namespace {

constexpr const char16_t* kModule = u"common_res.dll";
constexpr INT kFireEffect = 92;
constexpr INT kFirePattern = 93;
constexpr INT kFireNoise = 8;
constexpr DWORD kYellow = 0x0000FFFFu;  // 0x00BBGGRR
constexpr DWORD kRed = 0x000000FFu;
// Per clock unit, the scroll of the three noise layers.
constexpr float kNoiseRate1 = 1.3f, kNoiseRate2 = 2.1f, kNoiseRate3 = 2.3f;
constexpr int kGridCells = 8;

void Rgb(DWORD c, float out[3]) {
    out[0] = static_cast<float>(c & 0xFFu) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFFu) / 255.0f;
    out[2] = static_cast<float>((c >> 16) & 0xFFu) / 255.0f;
}

}  // namespace

DS_FireFX::DS_FireFX() {
    patternLink.ConstructFromResource(kFirePattern, kModule);
    noiseLink.ConstructFromResource(kFireNoise, kModule);
    effectLink.ConstructFromResource(kFireEffect, kModule);
    speed.SetFactor(0.02f, 0.0f);
    density.SetFactor(0.01f, -1.0f);
    brightness.SetFactor(0.02f, 0.0f);
    gridScale.SetFactor(0.01f, 0.0f);
    color1.Assign(kYellow);
    color2.Assign(kRed);
    spareValue1.Assign(0);
    spareValue2.value = 0;
    brightness.SetValue(15);
    density.SetValue(100);
    gridScale.SetValue(100);
    speed.SetValue(50);
}

DS_FireFX::DS_FireFX(const DS_FireFX& other)
    : DS_FX_Constructor(other),
      quad(other.quad),
      color1(other.color1),
      color2(other.color2),
      spareValue1(other.spareValue1),
      patternLink(other.patternLink),
      noiseLink(other.noiseLink),
      spareValue2(other.spareValue2),
      density(other.density),
      brightness(other.brightness),
      gridScale(other.gridScale),
      patternTexture(other.patternTexture),
      noiseTexture(other.noiseTexture),
      grid(other.grid) {}

void DS_FireFX::Assign(const DS_FireFX& other) {
    if (this == &other) return;
    DS_FX_Constructor::Assign(other);
    quad = other.quad;
    color1.Assign(other.color1.value);
    color2.Assign(other.color2.value);
    spareValue1.Assign(other.spareValue1);
    patternLink = other.patternLink;
    noiseLink = other.noiseLink;
    spareValue2 = other.spareValue2;
    density.Assign(other.density);
    brightness.Assign(other.brightness);
    gridScale.Assign(other.gridScale);
    patternTexture = other.patternTexture;
    noiseTexture = other.noiseTexture;
    grid = other.grid;
}

void DS_FireFX::CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) {
    DS_FX_Constructor::CreateDeviceObjects(maskTexture);
    // A picture set without frames leaves the texture empty.
    DS_LayerResources* resources = GetLayerResources();
    patternTexture.Set(resources->GetPicture(patternLink).texture.Get());
    noiseTexture.Set(resources->GetPicture(noiseLink).texture.Get());

    grid.across = kGridCells;
    grid.down = kGridCells;
    grid.CreateVertexBuffer(static_cast<UINT>((kGridCells + 1) * (kGridCells + 1)));
    grid.primitiveType = D3DPT_TRIANGLELIST;
    DS_GridIndices indices;
    CreateGridIndexBuffer(indices);
    grid.indexBuffer = indices.indexBuffer;
    grid.indexedPrimitiveCount = indices.triangleCount;
    UpdateGridCorners();
}

void DS_FireFX::UpdateGridCorners() {
    // u runs to 1 / g across the grid; a grid scale of 0 is taken as 1
    // rather than stretching the pattern to infinity.
    const float g = gridScale.Converted();
    const float uEnd = g != 0.0f ? 1.0f / g : 1.0f;
    const float uv[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {uEnd, 0.0f}, {uEnd, 1.0f}};
    DX_V::PT corners[4];
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3& p = quad.corners[i].value;
        corners[i] = {p.x, p.y, p.z, uv[i][0], uv[i][1]};
    }
    FillGridMesh(grid, corners);
}

void DS_FireFX::SetEffectMatrices(const DS_Frame& mesh) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    const DS_2DView& view = DS_2DView::Current();
    D3DXMATRIX m;
    e->SetMatrix("WorldViewProj", view.ComposeTransform(&m, mesh.world));
    e->SetMatrix("ViewProj", view.GetTransform(&m));
    e->SetTexture("Noise", noiseTexture.Get());
    e->SetTexture("Pattern", patternTexture.Get());
    const float t = speed.time;
    const float c11[2] = {0.0f, kNoiseRate1 * t};
    const float c12[2] = {0.0f, kNoiseRate2 * t};
    const float c13[2] = {0.0f, kNoiseRate3 * t};
    e->SetFloatArray("c11", c11, 2);
    e->SetFloatArray("c12", c12, 2);
    e->SetFloatArray("c13", c13, 2);
}

void DS_FireFX::ColorConstants(float k1[3], float k2[3]) const {
    float first[3], second[3];
    Rgb(color1.value, first);
    Rgb(color2.value, second);
    for (int i = 0; i < 3; ++i) {
        k1[i] = second[i];
        k2[i] = first[i] - second[i];
    }
}

void DS_FireFX::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    SetEffectMatrices(grid);
    const DS_2DView& view = DS_2DView::Current();
    // While a capture runs the fire is drawn into a texture of the back
    // buffer's size: no picture-position scale applies.
    float bgScale[2] = {1.0f, 1.0f};
    if (view.mode != DS_POS_CAPTURE) {
        bgScale[0] = view.scaleX;
        bgScale[1] = view.scaleY;
    }
    float k1[3], k2[3];
    ColorConstants(k1, k2);
    e->SetFloatArray("ColorK1", k1, 3);
    e->SetFloatArray("ColorK2", k2, 3);
    e->SetFloatArray("bg_scale_factor", bgScale, 2);
    e->SetTexture("Mask", mask.Get());
    IDirect3DTexture9* const* scene = layer.GetSceneTexture();
    e->SetTexture("Background", scene ? *scene : nullptr);
    e->SetFloat("Brightness", brightness.Converted());
    e->SetFloat("Density", density.Converted());
    // "Main" whatever the technique flag: the flag only decides whether the
    // slide captures the scene for this object.
    e->SetTechnique("Main");
    layer.DrawIndexedWithEffect(grid, effect.Address());
}

void DS_FireFX::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_FireFX", 2);
    quad.Write(archive);
    WriteParam(archive, color1);
    WriteParam(archive, color2);
    archive.WriteLong(spareValue1.value);
    DS_LayerResources* resources = GetLayerResources();
    resources->PrepareLinkForSave(patternLink);
    WriteFileLink(archive, patternLink);
    resources->PrepareLinkForSave(noiseLink);
    WriteFileLink(archive, noiseLink);
    archive.WriteLong(spareValue2.value);
    archive.WriteUInt(density.value);
    archive.WriteUInt(brightness.value);
    archive.WriteUInt(gridScale.value);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_FireFX* DS_FireFX::ReadNew(DS_IOF_Virtual& archive) {
    const INT version = ReadRecordHeader(archive);
    return CreateFromArchive(archive, version);
}

DS_FireFX* DS_FireFX::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    auto* fire = new DS_FireFX;
    try {
        fire->ReadFields(archive, version);
    } catch (...) {
        delete fire;
        throw;
    }
    return fire;
}

void DS_FireFX::ReadFields(DS_IOF_Virtual& archive, int version) {
    if (version >= 2) {
        quad.ReadFields(archive);
        ReadParam(archive, color1);
        ReadParam(archive, color2);
        archive.ReadLong(spareValue1.value);
        ReadFileLink(archive, patternLink);
        ReadFileLink(archive, noiseLink);
        archive.ReadLong(spareValue2.value);
        ReadParam(archive, density);
        ReadParam(archive, brightness);
        ReadParam(archive, gridScale);
    }
    DS_FX_Constructor::ReadRecord(archive, *this);
}
