// What the picture layer needs of the current resource manager: the picture
// of a link, the device-reset and device-lost notices, and the save step of
// a link.  By default these go to the current DS_DocResManager (with none
// current a link is unresolved); a test may install a source of its own.
#pragma once

#include "document/file_link.h"
#include "scene/quad_verts.h"

class DS_LayerResources {
public:
    virtual ~DS_LayerResources() = default;
    // The first frame of the link's picture set with the set's size; an
    // unresolved link gives no texture and a size of 0 x 0.
    virtual DS_PictureInfo GetPicture(const DS_ImageFileLink& link) = 0;
    virtual void OnResetDevice() = 0;
    virtual void OnLostDevice() = 0;
    // Before a link is written: the files it names travel with the document.
    virtual void PrepareLinkForSave(const DS_ImageFileLink& link) = 0;
};

// The source the layers use now: the installed one, else the current
// resource manager's.  Never null.
DS_LayerResources* GetLayerResources();
// Null puts the resource manager's source back.
void SetLayerResources(DS_LayerResources* resources);
// The source over the current DS_DocResManager.
DS_LayerResources& DS_DocumentLayerResources();
