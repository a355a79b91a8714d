#include "scene/picture_layer.h"

#include <cstdio>
#include <memory>

#include "platform/win32/strings.h"
#include "scene/layer_resources.h"
#include "scene/object_model.h"

DS_REGISTER_READER(GetLightReaderRegistry(), DS_2D_Light, DS_2D_Light)

namespace {
// The target's clear colour under the picture (X8R8G8B8 order).
constexpr D3DCOLOR kPictureClearColour = 0x00FFFF00u;
// What a layer whose picture did not resolve shows.
constexpr D3DCOLOR kUnresolvedColour = 0xFF000000u;
}  // namespace

// ------------------------------------------------------------ picture quad --

bool DS_PictureQuad::CreateBuffer() {
    if (!CreateQuad()) return false;
    DX_V::PT* v = Lock();
    if (!v) return false;
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    for (int i = 0; i < 4; ++i) v[i] = {0.0f, 0.0f, 0.0f, uv[i][0], uv[i][1]};
    Unlock();
    SetSize(info.width, info.height);
    return true;
}

void DS_PictureQuad::LoadPicture(const DS_ImageFileLink& link) {
    info = GetLayerResources()->GetPicture(link);
    SetTexture(info.texture.Get());
    SetSize(info.width, info.height);
    // An unresolved picture is said once per link this quad is given, not
    // on every reload of the same link.
    if (info.texture.Get()) {
        reportedUnresolved = false;
    } else if (!reportedUnresolved || reportedKey != link.key) {
        reportedUnresolved = true;
        reportedKey = link.key;
        std::fprintf(stderr, "tessaloom: picture \"%s\" %lld did not resolve; its layer draws black\n",
                     tessaloom::Utf16ToUtf8(link.key.path).c_str(), static_cast<long long>(link.key.stamp));
    }
}

void DS_PictureQuad::SetSize(UINT width, UINT height) {
    DX_V::PT* v = Lock();
    if (!v) return;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const float pos[4][2] = {{0.0f, h}, {0.0f, 0.0f}, {w, h}, {w, 0.0f}};
    for (int i = 0; i < 4; ++i) {
        v[i].x = pos[i][0];
        v[i].y = pos[i][1];
        v[i].z = 0.0f;
    }
    Unlock();
}

// ------------------------------------------------------------------ layer --

DS_2D_Light::DS_2D_Light() : pictureLink(5, u"common_res.dll") { AttachPictureControl(); }

DS_2D_Light::~DS_2D_Light() = default;

void DS_2D_Light::AttachPictureControl() {
    bindings.SetOwner(this);
    DS_FunLightCtrl2<DS_2D_Light>::Bind(&DS_2D_Light::ReloadPicture, bindings, pictureLink);
}

void DS_2D_Light::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_2D_Light", 3);
    if (DS_LayerResources* resources = GetLayerResources()) resources->PrepareLinkForSave(pictureLink);
    WriteFileLink(archive, pictureLink);
    camera.WriteRecord(archive);
}

DS_2D_Light* DS_2D_Light::ReadNew(DS_IOF_Virtual& archive, int version) {
    std::unique_ptr<DS_2D_Light> layer(new DS_2D_Light);
    layer->ReadFields(archive, version);
    return layer.release();
}

void DS_2D_Light::ReadRecord(DS_IOF_Virtual& archive, DS_2D_Light& layer) {
    const INT version = ReadRecordHeader(archive);
    layer.ReadFields(archive, version);
}

void DS_2D_Light::ReadFields(DS_IOF_Virtual& archive, int version) {
    if (version > 1) ReadFileLink(archive, pictureLink);
    if (version > 2) {
        DSM_Camera* read = DSM_Camera::ReadNew(archive);
        camera.CopySettings(*read);
        delete read;
    }
}

void DS_2D_Light::CreateDeviceObjects() {
    pictureQuad.CreateBuffer();
    pictureQuad.LoadPicture(pictureLink);
    DS_2DView::Current().SetBarColors();
}

void DS_2D_Light::RestoreDeviceObjects() {
    if (IDirect3DDevice9* d = CurrentDevice) {
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
        d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
        d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
    if (DS_LayerResources* resources = GetLayerResources()) resources->OnResetDevice();
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    renderTargets.Create(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
}

void DS_2D_Light::InvalidateDeviceObjects() {
    renderTargets.ReleaseTextures();
    sceneTexture.Release();
    if (DS_LayerResources* resources = GetLayerResources()) resources->OnLostDevice();
}

void DS_2D_Light::FrameMove(double time) { camera.FrameMove(time); }

void DS_2D_Light::Resize(int width, int height) {
    targetWidth = width;
    targetHeight = height;
    // The layer's own position, not the shared view's mode: another layer
    // (the glass ball ends its resize in Fit) may have left the view in its.
    DS_2DView::Current().Setup(width, height, pictureQuad.info, savedMode, false);
    DS_QuadVerts fitted;
    fitted.SetAspectFit(pictureQuad.info, width, height);
    fitted.ScaleToBackBuffer(width, height);
    DS_ScreenMapping::Current().Set(fitted, width, height, static_cast<int>(pictureQuad.info.width),
                                    static_cast<int>(pictureQuad.info.height));
}

void DS_2D_Light::SetPicturePosition(int mode) {
    savedMode = mode;
    DS_2DView::Current().Setup(targetWidth, targetHeight, pictureQuad.info, mode, false);
    Resize(targetWidth, targetHeight);
}

void DS_2D_Light::DrawPicture() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    const DS_2DView& view = DS_2DView::Current();
    // A picture that did not resolve leaves the frame opaque black: the
    // clear colour would otherwise fill the whole target.
    const bool resolved = pictureQuad.texture.Get() != nullptr;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, resolved ? kPictureClearColour : kUnresolvedColour, 1.0f, 0);
    view.SetViewTransforms();
    view.SetWorldTransform(pictureQuad.world);
    if (!resolved || !pictureQuad.vertexBuffer) return;
    pictureQuad.BindStreamWithTexture();
    d->DrawPrimitive(pictureQuad.primitiveType, 0, pictureQuad.primitiveCount);
}

void DS_2D_Light::RenderFinish() { DS_2DView::Current().DrawBars(); }

void DS_2D_Light::BeginSceneCapture() {
    savedMode = DS_2DView::Current().mode;
    // Without render targets (their creation failed) the capture is skipped
    // and everything is drawn straight to the back buffer.
    if (!renderTargets.HasTextures() || !renderTargets.Begin(renderTargets.current.Get())) return;
    DS_2DView::Current().Setup(targetWidth, targetHeight, pictureQuad.info, DS_POS_CAPTURE, false);
}

DS_RenderTargetPair& DS_2D_Light::EndSceneCapture(bool clear) {
    // A capture that never began has nothing to end, and the back buffer
    // then already holds the frame: it must not be cleared.
    if (!CaptureRunning()) return renderTargets;
    DS_2DView::Current().Setup(targetWidth, targetHeight, pictureQuad.info, savedMode, false);
    renderTargets.End();
    if (clear && CurrentDevice)
        CurrentDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    return renderTargets;
}

void DS_2D_Light::RenderObjects(DS_2D_Light& layer, const std::vector<DS_CountedPtr<DS_ABObj>>& instances,
                                int captureCount) {
    int n = captureCount;
    IDirect3DTexture9* picture = layer.pictureQuad.texture.Get();
    layer.sceneTexture.Set(picture);
    for (auto it = instances.rbegin(); it != instances.rend(); ++it) {
        DS_ABObj* object = it->Get();
        if (!object) continue;
        if (object->NeedsSceneTexture() != 0) {
            --n;
            if (layer.CaptureRunning()) {
                if (n > 0) {
                    layer.sceneTexture.Set(*layer.renderTargets.Swap());
                } else {
                    DS_RenderTargetPair& pair = layer.EndSceneCapture(false);
                    layer.sceneTexture.Set(pair.current.Get());
                }
            }
            // Without a capture the reader gets the picture.
        }
        object->Render(layer);
        layer.sceneTexture.Set(picture);
    }
}

void DS_2D_Light::ReloadPicture() {
    pictureQuad.LoadPicture(pictureLink);
    Resize(targetWidth, targetHeight);
}

bool DS_2D_Light::ResetCameraMotion() {
    const bool was = camera.motionMode.value == 1;
    camera.motionMode.value = 1;
    camera.panXFrom = camera.panXTo = 0.0f;
    camera.panYFrom = camera.panYTo = 0.0f;
    camera.segmentStart = camera.segmentEnd = 0.0f;
    return was;
}
