// Helpers of the scene and layer tests (and the scene benchmarks): layer
// resources that hand every layer one picture.
#pragma once

#include "scene/layer_resources.h"

namespace tessaloom::testing {

// Hands every layer the same picture and counts the device notices.
class OnePictureResources : public DS_LayerResources {
public:
    DS_PictureInfo GetPicture(const DS_ImageFileLink&) override { return picture; }
    void OnResetDevice() override { ++resets; }
    void OnLostDevice() override { ++losts; }
    void PrepareLinkForSave(const DS_ImageFileLink&) override {}

    DS_PictureInfo picture;
    int resets = 0;
    int losts = 0;
};

}  // namespace tessaloom::testing
