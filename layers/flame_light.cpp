#include "layers/flame_light.h"

#include <memory>

#include "document/res_manager.h"
#include "platform/d3dx9/effect.h"
#include "scene/effect_calls.h"
#include "scene/layer_resources.h"

DS_REGISTER_READER(GetLightReaderRegistry(), DS_FlameLight, DS_2D_Light)

namespace {

constexpr const char16_t* kModule = u"common_res.dll";
constexpr INT kBumpPicture = 62;
constexpr INT kDistortEffect = 63;
constexpr INT kFlamePattern = 7;
constexpr INT kFlameNoise = 8;
// The fire reaches 0.65 of the picture height up from its bottom edge; each
// unit of the offset lowers it by 0.5 % of the height.
constexpr float kFireHeight = 0.65f;
constexpr float kOffsetStep = 0.005f;
// The quad's texture v stops short of the pattern's bottom row.
constexpr float kFireBottomV = 0.95f;
// "stenght" := strength x this.
constexpr float kStrengthScale = 0.05f;

}  // namespace

// ------------------------------------------------------------ distortion --

DS_BumpDistortLayer::DS_BumpDistortLayer()
    : bumpImage(kBumpPicture, kModule), effectLink(kDistortEffect, kModule) {
    primitiveType = D3DPT_TRIANGLESTRIP;
    speed.SetFactor(0.001f, 0.0f);
    speed.SetValue(50);
    strength.SetFactor(0.002f, 0.0f);
    strength.SetValue(25);
    bumpScale.SetFactor(-0.009f, 1.0f);
    bumpScale.SetValue(88);
}

bool DS_BumpDistortLayer::CreateDeviceObjects() {
    if (CreateQuad()) {
        if (DX_V::PT* v = Lock()) {
            const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
            for (int i = 0; i < 4; ++i) v[i] = {0.0f, 0.0f, 0.0f, uv[i][0], uv[i][1]};
            Unlock();
        }
    }
    effect.Reset();
    // A picture set without frames leaves the bump texture empty.
    bumpTexture.Set(GetLayerResources()->GetPicture(bumpImage).texture.Get());
    if (DS_DocResManager* manager = GetCurrentDocResManager()) effect = DS_EffectRef::Adopt(manager->GetEffect(effectLink));
    return effect.Get() != nullptr;
}

void DS_BumpDistortLayer::SetSize(float width, float height) {
    const float pos[12] = {0.0f, height, 0.0f, 0.0f, 0.0f, 0.0f, width, height, 0.0f, width, 0.0f, 0.0f};
    SetQuadPositions(pos);
    // A picture without width keeps the bump map square.
    aspect = width != 0.0f ? height / width : 1.0f;
}

void DS_BumpDistortLayer::Render(IDirect3DTexture9* sceneTexture) {
    ID3DXEffect* e = effect.Get();
    IDirect3DDevice9* d = CurrentDevice;
    if (!e || !d || !vertexBuffer) return;
    e->SetTexture("SceneTex", sceneTexture);
    e->SetTexture("Bumpmap", bumpTexture.Get());
    e->SetTechnique("BumpmapDistortLow2");
    DS_RunEffectPasses(e, [&] {
        BindStream();  // no vertex shader, XYZ | TEX1, stride 20
        d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    });
}

void DS_BumpDistortLayer::FrameMove(double time) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    speed.Advance(time);
    e->SetFloat("stenght", strength.Converted() * kStrengthScale);
    const float offset[2] = {static_cast<float>(speed.time), -static_cast<float>(speed.time)};
    e->SetFloatArray("Offset", offset, 2);
    const float s = bumpScale.Converted();
    const float scale[2] = {s, s * aspect};
    e->SetFloatArray("bump_scale", scale, 2);
}

// ----------------------------------------------------------------- layer --

DS_FlameLight::DS_FlameLight() : fireFlag(1), distortionFlag(1) {
    fireOffset.value = 0;
    fireQuad.primitiveType = D3DPT_TRIANGLESTRIP;
    fire.patternLink.ConstructFromResource(kFlamePattern, kModule);
    fire.noiseLink.ConstructFromResource(kFlameNoise, kModule);
}

DS_FlameLight::~DS_FlameLight() = default;

void DS_FlameLight::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    if (fireQuad.CreateQuad()) {
        if (DX_V::PT* v = fireQuad.Lock()) {
            const float uv[4][2] = {{0, 0}, {1, 0}, {0, kFireBottomV}, {1, kFireBottomV}};
            for (int i = 0; i < 4; ++i) v[i] = {0.0f, 0.0f, 0.0f, uv[i][0], uv[i][1]};
            fireQuad.Unlock();
        }
    }
    // Without the distortion effect the layer never captures the scene.
    if (!distortion.CreateDeviceObjects()) distortionFlag.value = 0;
    ReloadPicture();
    fire.CreateDeviceObjects(nullptr);
}

void DS_FlameLight::RestoreDeviceObjects() {
    IDirect3DDevice9* d = CurrentDevice;
    if (d) {
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        d->SetTransform(D3DTS_WORLD, &identity);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        for (DWORD s = 0; s < 4; ++s) {
            d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        }
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
    }
    // The manager's effects were told of the loss when the layer was
    // invalidated; they must hear of the reset too, or they refuse to draw.
    GetLayerResources()->OnResetDevice();
    Resize(targetWidth, targetHeight);
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    renderTargets.Create(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
}

void DS_FlameLight::ReloadPicture() {
    DS_2D_Light::ReloadPicture();
    distortion.SetSize(static_cast<float>(GetPictureWidth()), static_cast<float>(GetPictureHeight()));
    PlaceFireQuad();
}

void DS_FlameLight::PlaceFireQuad() {
    const float w = static_cast<float>(GetPictureWidth());
    const float h = static_cast<float>(GetPictureHeight());
    const float k = 1.0f + kOffsetStep * static_cast<float>(fireOffset.value);
    const float top = (k - kFireHeight) * h;
    const float bottom = k * h;
    const float pos[12] = {0.0f, top, 0.0f, w, top, 0.0f, 0.0f, bottom, 0.0f, w, bottom, 0.0f};
    fireQuad.SetQuadPositions(pos);
}

void DS_FlameLight::DrawPicture() {
    DS_2D_Light::DrawPicture();
    ID3DXEffect* e = fire.effect.Get();
    if (fireFlag.value == 0 || !e) return;
    fire.SetEffectMatrices(fireQuad);
    e->SetTechnique("AsEffect");
    DrawWithEffect(fireQuad, fire.effect.Address());
}

void DS_FlameLight::RenderFinish() {
    IDirect3DDevice9* d = CurrentDevice;
    // A capture that never began (no render targets) left the frame on the
    // back buffer already; the pair's texture would hold an old frame.
    if (distortionFlag.value == 1 && CaptureRunning()) {
        DS_2DView& view = DS_2DView::Current();
        view.Setup(targetWidth, targetHeight, pictureQuad.info, savedMode, false);
        renderTargets.End();
        view.SetWorldTransform(distortion.world);
        distortion.Render(renderTargets.current.Get());
    }
    if (d) d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DS_2DView::Current().DrawBars();
    if (d) d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
}

void DS_FlameLight::FrameMove(double time) {
    fire.FrameMove(time);
    camera.FrameMove(time);
    distortion.FrameMove(time);
}

// ---------------------------------------------------------------- record --

void DS_FlameLight::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_FlameLight", 2);
    archive.WriteLong(fireFlag.value);
    archive.WriteLong(distortionFlag.value);
    archive.WriteUInt(fireOffset.value);
    GetLayerResources()->PrepareLinkForSave(distortion.bumpImage);
    WriteFileLink(archive, distortion.bumpImage);
    WriteFileLink(archive, distortion.effectLink);
    archive.WriteUInt(distortion.speed.value);
    archive.WriteUInt(distortion.strength.value);
    archive.WriteUInt(distortion.bumpScale.value);
    fire.WriteRecord(archive);
    DS_2D_Light::WriteRecord(archive);
}

DS_FlameLight* DS_FlameLight::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    auto* layer = new DS_FlameLight;
    try {
        layer->ReadFields(archive, version);
    } catch (...) {
        delete layer;
        throw;
    }
    return layer;
}

void DS_FlameLight::ReadFields(DS_IOF_Virtual& archive, int version) {
    archive.ReadLong(fireFlag.value);
    archive.ReadLong(distortionFlag.value);
    archive.ReadUInt(fireOffset.value);
    if (version < 2) ReadParam(archive, fire.speed);
    ReadFileLink(archive, distortion.bumpImage);
    ReadFileLink(archive, distortion.effectLink);
    ReadParam(archive, distortion.speed);
    ReadParam(archive, distortion.strength);
    ReadParam(archive, distortion.bumpScale);
    if (version >= 2) {
        std::unique_ptr<DS_FireFX> read(DS_FireFX::ReadNew(archive));
        fire.Assign(*read);
    } else {
        DS_FileLink3 dropped;
        ReadFileLink(archive, dropped);
        ReadFileLink(archive, dropped);
    }
    DS_2D_Light::ReadRecord(archive, *this);
}
