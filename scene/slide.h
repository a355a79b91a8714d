// DS_SlideContainer: one slide of the slide show: fade and hold times, a
// name, one picture layer and the scene objects drawn on it.  Read with its
// layer and object descriptions; Init turns each description into its
// run-time object and deletes the descriptions.
#pragma once

#include <list>
#include <vector>

#include "document/counted_ptr.h"
#include "document/item.h"
#include "document/media_param.h"
#include "scene/object_model.h"
#include "scene/picture_layer.h"

class DS_SlideContainer : public DS_IOF_Item {
public:
    DS_SlideContainer();
    DS_SlideContainer(const DS_SlideContainer&) = delete;
    DS_SlideContainer& operator=(const DS_SlideContainer&) = delete;
    // Releases the instances and the layer, frees the prototypes.
    ~DS_SlideContainer() override;

    // "DS_SlideContainer", version 1.  The descriptions written are the
    // prototypes still held, then the copies kept by the run-time objects.
    void Write(DS_IOF_Virtual& archive) override;
    virtual void InvalidateDeviceObjects();

    // The registered reader: the same fields for every version.
    static DS_SlideContainer* ReadNew(DS_IOF_Virtual& archive, int version);
    static DS_SlideContainer* CreateFromArchive(DS_IOF_Virtual& archive, int version) {
        return ReadNew(archive, version);
    }
    void ReadFields(DS_IOF_Virtual& archive);
    void ReadPrototypes(DS_IOF_Virtual& archive);

    // The layer's device objects and Resize (1, 1), then every description's
    // run-time object, in list order; the descriptions are deleted.
    void Init();
    DS_CountedPtr<DS_2D_Light> GetMainLight() const { return mainLayer; }
    // The number of captures this frame needs: the objects that read the
    // scene, plus one when the layer itself does.
    int CaptureCount() const;
    void RenderScene();
    void RenderFinish();
    // The layer first, then every object from the first to the last.
    void FrameMove(double time);
    void RestoreDeviceObjects();
    void Resize(int width, int height);
    void SetPicturePosition(int mode);

    MediaParamT<unsigned int> fadeIn;
    MediaParamT<unsigned int> fadeOut;
    MediaParamT<unsigned int> hold;
    MediaParamT<int> reserved;
    MediaParamTB<ds_string> name;
    DS_CountedPtr<DS_2D_Light> mainLayer;
    std::vector<DS_CountedPtr<DS_ABObj>> instances;
    std::list<DS_ABObj_Constructor*> prototypes;  // owned, until Init
};
