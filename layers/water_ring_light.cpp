#include "layers/water_ring_light.h"

#include <cmath>

#include "scene/layer_resources.h"

DS_REGISTER_READER(GetLightReaderRegistry(), DS_WaterRingLight, DS_2D_Light)

namespace {

// The camera looks straight down from 120 units above the surface.
constexpr float kEyeHeight = 120.0f;
// Half the surface's height: the projection's smaller half-extent.
constexpr float kHalfExtent = 15.0f;
constexpr float kNear = -1.0f, kFar = 2000.0f;

D3DXMATRIX IdentityMatrix() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// The device's lighting off for the duration of `draw`.
template <class F>
void WithoutLighting(F&& draw) {
    IDirect3DDevice9* d = CurrentDevice;
    if (d) d->SetRenderState(D3DRS_LIGHTING, FALSE);
    draw();
    if (d) d->SetRenderState(D3DRS_LIGHTING, TRUE);
}

// The most cells of the surface: four sub-steps and a lit vertex each frame
// per cell, so fewer than the 16-bit indices would reach (the default
// factors make 128 x 72 on a 16:9 picture).
constexpr uint32_t kMaxRingCells = 16384;

std::unique_ptr<DS_RippleMesh> MakeRipples() {
    auto ripples = std::make_unique<DS_RippleMesh>();
    ripples->maxCells = kMaxRingCells;
    return ripples;
}

}  // namespace

DS_WaterRingLight::DS_WaterRingLight()
    : captureMode(0), ripples(MakeRipples()), worldMatrix(IdentityMatrix()),
      viewMatrix(IdentityMatrix()), cameraMatrix(IdentityMatrix()), projectionMatrix(IdentityMatrix()) {
    heightGain.value = 0;
    rowsFactor.value = 0;
    columnsFactor.value = 0;
    dropStrength.value = 50;
    damping.value = 50;
    depth.value = 20;
    dropRate.SetFactor(0.016666668f, 0.0f);
    dropRate.SetValue(30);
    specularLevel.SetFactor(0.01f, 0.0f);
    specularLevel.SetValue(90);
    specularPower.SetFactor(0.8f, 0.0f);
    specularPower.SetValue(50);
}

DS_WaterRingLight::~DS_WaterRingLight() { ripples.reset(); }

// --------------------------------------------------------- object drawing --

void DS_WaterRingLight::DrawMeshList(const DS_TexturedMesh<DX_V::PNT>& node, const std::list<DS_Frame*>& instances) {
    WithoutLighting([&] { DS_2D_Light::DrawMeshList(node, instances); });
}

void DS_WaterRingLight::DrawSpriteArray(const DS_SpriteDrawData& sprites) {
    WithoutLighting([&] { DS_2D_Light::DrawSpriteArray(sprites); });
}

void DS_WaterRingLight::DrawMeshListBothSides(const DS_TexturedMesh<DX_V::PNT>& mesh) {
    WithoutLighting([&] { DS_2D_Light::DrawMeshListBothSides(mesh); });
}

void DS_WaterRingLight::DrawColorOverlay(const DS_SimpleMesh<DX_V::TPC>& quad) {
    DS_2D_Light::DrawColorOverlay(quad);
    if (IDirect3DDevice9* d = CurrentDevice) d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

// --------------------------------------------------------- device objects --

void DS_WaterRingLight::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    ripples->BuildRefractionTable();
    D3DXMatrixRotationX(&cameraMatrix, -D3DX_PI / 2.0f);
    cameraMatrix._41 = 0.0f;
    cameraMatrix._42 = kEyeHeight;
    cameraMatrix._43 = 0.0f;
    D3DXMatrixInverse(&viewMatrix, nullptr, &cameraMatrix);
    const float gain = 1.0f + static_cast<float>(heightGain.value) * 0.02f;
    ripples->heightGain = std::fmin(gain, kMaxHeightGain);
    ripples->dropStrength = static_cast<float>(dropStrength.value) * 0.01f * 0.7f + 0.1f;
    ripples->depth = static_cast<float>(depth.value) * 0.01f;
    SetDamping(damping.value);
    InitRippleMesh();
    SetMaterial();
}

void DS_WaterRingLight::SetDamping(unsigned int raw) {
    const float value = raw < 50u ? static_cast<float>(raw) * 0.09f * 0.02f + 0.9f
                                  : static_cast<float>(raw - 50u) * 0.009f * 0.02f + 0.99f;
    ripples->damping = std::fmin(value, kMaxDamping);
}

float DS_WaterRingLight::PictureAspect() const {
    const float a = pictureQuad.info.aspect;
    return std::isfinite(a) && a > 0.0f ? a : 1.0f;
}

void DS_WaterRingLight::InitRippleMesh() {
    const float rows = 1.0f + static_cast<float>(rowsFactor.value) * 0.01f;
    const float cols = 1.0f + static_cast<float>(columnsFactor.value) * 0.01f;
    ripples->Resize(kSurfaceHeight / PictureAspect(), kSurfaceHeight, rows, cols);
    ripples->AddDrop();
}

void DS_WaterRingLight::SetMaterial() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    D3DMATERIAL9 m{};
    m.Diffuse.a = 1.0f;
    const float level = specularLevel.Converted();
    m.Specular = {level, level, level, 0.0f};
    m.Power = specularPower.Converted();
    d->SetMaterial(&m);
}

void DS_WaterRingLight::RestoreDeviceObjects() {
    if (IDirect3DDevice9* d = CurrentDevice) {
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {lightColor[0], lightColor[1], lightColor[2], lightColor[3]};
        light.Specular = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {lightDirection[0], lightDirection[1], lightDirection[2]};
        d->SetLight(0, &light);
        d->LightEnable(0, TRUE);
        SetMaterial();
        d->SetFVF(D3DFVF_XYZ);
        d->SetTransform(D3DTS_VIEW, &viewMatrix);
        const D3DXMATRIX identity = IdentityMatrix();
        d->SetTransform(D3DTS_WORLD, &identity);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
        d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
        for (DWORD s = 0; s < 2; ++s) {
            d->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
            d->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            d->SetTextureStageState(s, D3DTSS_COLORARG2, D3DTA_CURRENT);
            d->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
            d->SetTextureStageState(s, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            d->SetTextureStageState(s, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
            d->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, 0);
        }
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_LIGHTING, TRUE);
        d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
        d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
    }
    // The manager's effects were told of the loss when the layer was
    // invalidated; they must hear of the reset too, or they refuse to draw.
    if (DS_LayerResources* resources = GetLayerResources()) resources->OnResetDevice();
    InitRippleMesh();
    Resize(storedWidth, storedHeight);
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    renderTargets.Create(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
}

void DS_WaterRingLight::InvalidateDeviceObjects() {
    DS_2D_Light::InvalidateDeviceObjects();
    ripples->ReleaseBuffers();
}

// ------------------------------------------------------------------ frame --

void DS_WaterRingLight::FrameMove(double time) {
    camera.FrameMove(time);
    // A clock that went back restarts the drop timer.
    if (time < lastDropTime) lastDropTime = time;
    // A rate of 0 gives an infinite interval: no drops.
    const double interval = 1.0 / static_cast<double>(dropRate.Converted());
    if (time - lastDropTime > interval) {
        ripples->AddDrop();
        lastDropTime = time;
    }
    ripples->Update(D3DXVECTOR3(cameraMatrix._41, cameraMatrix._42, cameraMatrix._43));
}

void DS_WaterRingLight::Resize(int width, int height) {
    storedWidth = width;
    storedHeight = height;
    if (width == 0 || height == 0) return;
    DS_2D_Light::Resize(width, height);
    const float a = PictureAspect();
    const float d = static_cast<float>(width) / static_cast<float>(height);
    float e = kHalfExtent, f = kHalfExtent * d;
    if (!(a * d > 1.0f)) {
        f = kHalfExtent / a;
        e = f / d;
    }
    D3DXMatrixOrthoOffCenterRH(&projectionMatrix, -f, f, -e, e, kNear, kFar);
    if (IDirect3DDevice9* dev = CurrentDevice) dev->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
}

void DS_WaterRingLight::SetPicturePosition(int mode) {
    savedMode = mode;
    DS_2DView::Current().Setup(targetWidth, targetHeight, pictureQuad.info, mode, false);
    DS_2D_Light::Resize(targetWidth, targetHeight);
    Resize(storedWidth, storedHeight);
}

void DS_WaterRingLight::BeginSceneCapture() {
    const int before = savedMode;
    DS_2D_Light::BeginSceneCapture();
    if (captureMode.value == 1) return;
    // The capture runs with Stretch; the layer's own position comes back
    // when it ends (Fill would stay for good otherwise).
    if (!stretchCapture_) positionBeforeCapture_ = before;
    stretchCapture_ = true;
    SetPicturePosition(DS_POS_STRETCH);
}

DS_RenderTargetPair& DS_WaterRingLight::EndSceneCapture(bool clear) {
    if (captureMode.value != 1 && stretchCapture_) {
        stretchCapture_ = false;
        SetPicturePosition(positionBeforeCapture_);
    }
    return DS_2D_Light::EndSceneCapture(clear);
}

// ---------------------------------------------------------------- drawing --

void DS_WaterRingLight::SelectTexture() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
}

void DS_WaterRingLight::DrawPicture() {
    if (captureMode.value == 1) {
        // The restore leaves stage 0 disabled; the surface's drawing selects
        // the texture from then on.  The first frame after a restore would
        // capture a black slide without it.
        SelectTexture();
        DS_2D_Light::DrawPicture();
        return;
    }
    if (!CurrentDevice) return;
    if (pictureQuad.vertexBuffer) pictureQuad.BindStreamWithTexture();
    DrawRippleMesh(pictureQuad.texture.Get());
}

void DS_WaterRingLight::RenderFinish() {
    IDirect3DDevice9* d = CurrentDevice;
    DS_2DView& view = DS_2DView::Current();
    // A capture that never began (no render targets) left the slide on the
    // back buffer already; the pair's texture would hold an old frame.
    if (captureMode.value == 1 && CaptureRunning()) {
        view.Setup(targetWidth, targetHeight, pictureQuad.info, savedMode, false);
        renderTargets.End();
        if (d) d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        DrawRippleMesh(renderTargets.current.Get());
    }
    view.DrawBars();
}

void DS_WaterRingLight::DrawRippleMesh(IDirect3DTexture9* texture) {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    SelectTexture();
    d->SetTransform(D3DTS_WORLD, &worldMatrix);

    const DS_2DView& view = DS_2DView::Current();
    const float w = ripples->width, h = ripples->height;
    const D3DXMATRIX K = view.zoom * view.positionOffset * view.positionScale;
    const float pw = static_cast<float>(GetPictureWidth()), ph = static_cast<float>(GetPictureHeight());
    // The 2D view's pan as fractions of the picture (none without a picture).
    const float ux = K._11 != 0.0f && pw > 0.0f ? K._41 / K._11 / pw : 0.0f;
    const float uy = K._22 != 0.0f && ph > 0.0f ? K._42 / K._22 / ph : 0.0f;
    D3DXMATRIX Ta, Tb;
    D3DXMatrixTranslation(&Ta, ux * w + w / 2.0f, 0.0f, uy * h + h / 2.0f);
    D3DXMatrixTranslation(&Tb, -w / 2.0f, h / 2.0f, 0.0f);
    D3DXMATRIX scale = K;
    scale._41 = 0.0f;
    scale._42 = 0.0f;
    const D3DXMATRIX surfaceView = Ta * viewMatrix * scale * Tb;
    d->SetTransform(D3DTS_VIEW, &surfaceView);
    d->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
    d->SetTexture(0, texture);
    ripples->Draw();
    d->SetTransform(D3DTS_WORLD, &view.world);
    d->SetTransform(D3DTS_VIEW, &view.view);
    d->SetTransform(D3DTS_PROJECTION, &view.projection);
}

// ----------------------------------------------------------------- record --

void DS_WaterRingLight::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_WaterRingLight", 2);
    for (const MediaParamT<unsigned int>* p : {&heightGain, &rowsFactor, &columnsFactor, &dropStrength, &damping, &depth})
        archive.WriteUInt(p->value);
    archive.WriteUInt(dropRate.value);
    archive.WriteUInt(specularLevel.value);
    archive.WriteUInt(specularPower.value);
    archive.WriteLong(captureMode.value);
    DS_2D_Light::WriteRecord(archive);
}

DS_WaterRingLight* DS_WaterRingLight::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    std::unique_ptr<DS_WaterRingLight> layer(new DS_WaterRingLight);
    layer->ReadFields(archive, version);
    return layer.release();
}

void DS_WaterRingLight::ReadFields(DS_IOF_Virtual& archive, int version) {
    if (version >= 2) {
        for (MediaParamT<unsigned int>* p : {&heightGain, &rowsFactor, &columnsFactor, &dropStrength, &damping, &depth})
            archive.ReadUInt(p->value);
        ReadParam(archive, dropRate);
        ReadParam(archive, specularLevel);
        ReadParam(archive, specularPower);
    }
    archive.ReadLong(captureMode.value);
    DS_2D_Light::ReadRecord(archive, *this);
}
