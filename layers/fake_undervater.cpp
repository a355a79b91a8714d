#include "layers/fake_undervater.h"

#include <memory>

DS_REGISTER_READER(GetLightReaderRegistry(), FakeUndervater, DS_2D_Light)

void FakeUndervater::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    effect.CreateDeviceObjects(nullptr);
}

void FakeUndervater::RenderFinish() {
    // A capture that never began (no render targets) left the frame on the
    // back buffer already; the pair's texture would hold an old frame.
    if (CaptureRunning()) {
        DS_RenderTargetPair& pair = EndSceneCapture(false);
        sceneTexture.Set(pair.current.Get());
        if (effect.effect.Get())
            effect.Apply(*this);
        else
            DrawCapturedScene();
    }
    DS_2DView::Current().DrawBars();
}

void FakeUndervater::DrawCapturedScene() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !pictureQuad.vertexBuffer) return;
    // The capture holds the slide over the picture's own space, as the
    // picture texture does: laid on the picture quad it lands where the
    // picture itself is drawn.  Opaque, over whatever the back buffer held.
    const DS_2DView& view = DS_2DView::Current();
    view.SetViewTransforms();
    view.SetWorldTransform(pictureQuad.world);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    pictureQuad.BindStream();
    d->SetTexture(0, sceneTexture.Get());
    d->DrawPrimitive(pictureQuad.primitiveType, 0, pictureQuad.primitiveCount);
    d->SetTexture(0, nullptr);
}

void FakeUndervater::FrameMove(double time) {
    camera.FrameMove(time);
    effect.FrameMove(time);
}

void FakeUndervater::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"FakeUndervater", 2);
    effect.WriteRecord(archive);
    DS_2D_Light::WriteRecord(archive);
}

FakeUndervater* FakeUndervater::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    auto layer = std::make_unique<FakeUndervater>();
    layer->ReadFields(archive, version);
    return layer.release();
}

void FakeUndervater::ReadFields(DS_IOF_Virtual& archive, int version) {
    if (version == 1) {
        UINT speed = 0;
        archive.ReadUInt(speed);
        effect.speed.SetValue(speed);
        effect.speed.SetValue(effect.speed.value / 2);
    } else {
        std::unique_ptr<DS_UnderwaterFX> read(DS_UnderwaterFX::ReadNew(archive));
        effect.Assign(*read);
    }
    DS_2D_Light::ReadRecord(archive, *this);
}
