#include "scene/slide.h"

#include <memory>

#include "scene/population_budget.h"

DS_REGISTER_READER(GetSlideContainerReaderRegistry(), DS_SlideContainer, DS_SlideContainer)

DS_SlideContainer::DS_SlideContainer() {
    fadeIn.Assign(1u);
    fadeOut.Assign(1u);
    hold.Assign(10u);
    reserved.Assign(0);
}

DS_SlideContainer::~DS_SlideContainer() {
    instances.clear();
    mainLayer.Release();
    for (DS_ABObj_Constructor* p : prototypes) delete p;
    prototypes.clear();
}

void DS_SlideContainer::Write(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_SlideContainer", 1);
    archive.WriteUInt(fadeIn.value);
    archive.WriteUInt(fadeOut.value);
    archive.WriteUInt(hold.value);
    archive.WriteInt(reserved.value);
    archive.WriteString(name.value);
    if (mainLayer)
        mainLayer->Write(archive);
    else
        DS_2D_Light().Write(archive);  // a slide always carries a layer record
    std::vector<DS_ABObj_Constructor*> descriptions(prototypes.begin(), prototypes.end());
    for (const auto& instance : instances)
        if (instance && instance->owner) descriptions.push_back(instance->owner);
    archive.WriteInt(static_cast<INT>(descriptions.size()));
    for (DS_ABObj_Constructor* d : descriptions) d->Write(archive);
}

DS_SlideContainer* DS_SlideContainer::ReadNew(DS_IOF_Virtual& archive, int) {
    std::unique_ptr<DS_SlideContainer> slide(new DS_SlideContainer);
    slide->ReadFields(archive);
    return slide.release();
}

void DS_SlideContainer::ReadFields(DS_IOF_Virtual& archive) {
    archive.ReadUInt(fadeIn.value);
    archive.ReadUInt(fadeOut.value);
    archive.ReadUInt(hold.value);
    archive.ReadInt(reserved.value);
    ReadParam(archive, name);
    mainLayer = DS_CountedPtr<DS_2D_Light>(ReadLightByClassName(archive));
    ReadPrototypes(archive);
}

void DS_SlideContainer::ReadPrototypes(DS_IOF_Virtual& archive) {
    INT count = 0;
    archive.ReadInt(count);
    // Each record needs bytes of its own, so a count beyond the data ends in
    // the reader's load error; nothing is allocated from the count.
    for (INT i = 0; i < count; ++i) prototypes.push_back(ReadConstructorByClassName(archive));
}

void DS_SlideContainer::Init() {
    if (mainLayer) {
        mainLayer->CreateDeviceObjects();
        mainLayer->Resize(1, 1);
    }
    {
        DS_PopulationBudget budget;  // what this slide's populations share
        for (DS_ABObj_Constructor* p : prototypes) {
            DS_ABObj* object = p->CreateObject();
            if (object) instances.emplace_back(object);
        }
    }
    for (DS_ABObj_Constructor* p : prototypes) delete p;
    prototypes.clear();
}

void DS_SlideContainer::InvalidateDeviceObjects() {
    if (mainLayer) mainLayer->InvalidateDeviceObjects();
}

int DS_SlideContainer::CaptureCount() const {
    int n = 0;
    for (const auto& instance : instances)
        if (instance && instance->NeedsSceneTexture() != 0) ++n;
    if (mainLayer && mainLayer->NeedsSceneTexture()) ++n;
    return n;
}

void DS_SlideContainer::RenderScene() {
    if (!mainLayer) return;
    const int n = CaptureCount();
    if (n > 0) mainLayer->BeginSceneCapture();
    mainLayer->DrawPicture();
    DS_2D_Light::RenderObjects(*mainLayer, instances, n);
}

void DS_SlideContainer::RenderFinish() {
    if (mainLayer) mainLayer->RenderFinish();
}

void DS_SlideContainer::FrameMove(double time) {
    if (mainLayer) mainLayer->FrameMove(time);
    for (const auto& instance : instances)
        if (instance) instance->FrameMove(time);
}

void DS_SlideContainer::RestoreDeviceObjects() {
    if (mainLayer) mainLayer->RestoreDeviceObjects();
}

void DS_SlideContainer::Resize(int width, int height) {
    if (mainLayer) mainLayer->Resize(width, height);
}

void DS_SlideContainer::SetPicturePosition(int mode) {
    if (mainLayer) mainLayer->SetPicturePosition(mode);
}
