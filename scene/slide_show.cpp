#include "scene/slide_show.h"

#include "document/load_error.h"

namespace {
DS_AudioFileReader g_audioReader = nullptr;
}

void SetAudioFileReader(DS_AudioFileReader reader) { g_audioReader = reader; }

DS_SlideShow_Light::~DS_SlideShow_Light() {
    fadeQuad.reset();
    sounds.clear();
    slides.clear();
    currentSlide.Release();
}

void DS_SlideShow_Light::Write(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_SlideShow_Light", 1);
    WriteSlides(archive);
    WriteAudioFiles(archive);
}

void DS_SlideShow_Light::WriteSlides(DS_IOF_Virtual& archive) {
    archive.WriteInt(static_cast<INT>(slides.size()));
    for (const auto& slide : slides) slide->Write(archive);
}

void DS_SlideShow_Light::WriteAudioFiles(DS_IOF_Virtual& archive) {
    archive.WriteInt(static_cast<INT>(sounds.size()));
    for (const auto& sound : sounds) sound->Write(archive);
}

void DS_SlideShow_Light::ReadSlides(DS_IOF_Virtual& archive) {
    INT count = 0;
    archive.ReadInt(count);
    for (INT i = 0; i < count; ++i) slides.emplace_back(ReadSlideContainerByClassName(archive));
}

void DS_SlideShow_Light::ReadAudioFiles(DS_IOF_Virtual& archive) {
    INT count = 0;
    archive.ReadInt(count);
    if (count <= 0) return;
    if (!g_audioReader) throw DS_LoadError("scene document carries sound items but no sound-item reader is installed");
    for (INT i = 0; i < count; ++i) sounds.emplace_back(g_audioReader(archive));
}

DS_SlideShow_Light* DS_SlideShow_Light::ReadNew(DS_IOF_Virtual& archive) {
    ReadRecordHeader(archive);
    std::unique_ptr<DS_SlideShow_Light> root(new DS_SlideShow_Light);
    root->ReadSlides(archive);
    root->ReadAudioFiles(archive);
    return root.release();
}

void DS_SlideShow_Light::SetPicturePosition(int mode) {
    for (const auto& slide : slides)
        if (slide) slide->SetPicturePosition(mode);
}

void DS_SlideShow_Light::ApplyCurrentSlide() {
    DS_SlideContainer* slide = currentSlide.Get();
    if (!slide) return;
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    if (desc.Width != 0) slide->Resize(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    if (slide->mainLayer) slide->mainLayer->ResetCameraMotion();
    slide->RestoreDeviceObjects();
}

float DS_SlideShow_Light::FadeAlpha(float t, float fadeIn, float hold, float fadeOut) {
    if (t < fadeIn) return (fadeIn - t) / fadeIn;  // t < fadeIn implies fadeIn > 0
    if (t > fadeIn + hold) return fadeOut > 0.0f ? (t - fadeIn - hold) / fadeOut : 1.0f;
    return 0.0f;
}

int DS_SlideShow_Light::FrameMove(double time) {
    if (!currentSlide) {
        // An empty slide list has nothing to show (Render draws black).
        if (slides.empty() || !slides[0]) return 0;
        currentSlide = slides[0];
        // The first slide shows no fade-in.
        startTime = time - static_cast<float>(currentSlide->fadeIn.value);
        ApplyCurrentSlide();
        fadeQuad = std::make_unique<DS_SimpleMesh<DX_V::TPC>>();
        DS_QuadVerts full;
        full.SetFullScreen();
        fadeQuad->SetQuad(0x00000000u, full);
        fadeAlpha = 0.0f;
    } else if (slides.size() >= 2) {
        const float fadeInTime = static_cast<float>(currentSlide->fadeIn.value);
        const float holdTime = static_cast<float>(currentSlide->hold.value);
        const float fadeOutTime = static_cast<float>(currentSlide->fadeOut.value);
        if (time - startTime > fadeInTime + holdTime + fadeOutTime) {
            if (nextIndex >= slides.size()) nextIndex = 0;
            currentSlide = slides[nextIndex];
            startTime = time;
            nextIndex = nextIndex + 1 >= slides.size() ? 0 : nextIndex + 1;
            ApplyCurrentSlide();
            // The times read above (the old slide's) stay in use for this frame.
        }
        fadeAlpha = FadeAlpha(static_cast<float>(time - startTime), fadeInTime, holdTime, fadeOutTime);
        if (fadeQuad) fadeQuad->SetCornerAlpha(fadeAlpha, fadeAlpha, fadeAlpha, fadeAlpha);
    }
    if (currentSlide) currentSlide->FrameMove(time);
    return 0;
}

int DS_SlideShow_Light::Render() {
    DS_SlideContainer* slide = currentSlide.Get();
    if (!slide || !slide->mainLayer) {
        if (CurrentDevice) CurrentDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        return 0;
    }
    slide->RenderScene();
    slide->RenderFinish();
    if (fadeQuad) slide->mainLayer->DrawColorOverlay(*fadeQuad);
    return 0;
}

int DS_SlideShow_Light::InvalidateDeviceObjects() {
    for (const auto& slide : slides)
        if (slide) slide->InvalidateDeviceObjects();
    return 0;
}

int DS_SlideShow_Light::RestoreDeviceObjects() {
    if (!currentSlide) return 0;
    currentSlide->RestoreDeviceObjects();
    if (fadeQuad && fadeQuad->vertexBuffer) {
        DS_QuadVerts full;
        full.SetFullScreen();
        fadeQuad->CopyCorners(full);
    }
    return 0;
}
