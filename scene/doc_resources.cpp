// The scene's side of the document: the layers' resources come from the
// current resource manager, the loader reads the scene root through the
// slide show's reader, sound items are read by the document's reader, and
// the resource code makes its textures on CurrentDevice.
#include "document/doc_loader.h"
#include "document/res_device.h"
#include "document/res_manager.h"
#include "document/sound_item.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"

namespace {

class DocManagerResources final : public DS_LayerResources {
public:
    DS_PictureInfo GetPicture(const DS_ImageFileLink& link) override {
        DS_PictureInfo picture;
        DS_DocResManager* manager = GetCurrentDocResManager();
        if (!manager) return picture;
        const DS_TextureInfo first = manager->GetImage(link).GetFirst();
        picture.texture.Set(first.texture.Get());
        picture.width = first.width;
        picture.height = first.height;
        picture.aspect = first.aspect;
        return picture;
    }
    void OnResetDevice() override {
        if (DS_DocResManager* manager = GetCurrentDocResManager()) manager->OnResetDevice();
    }
    void OnLostDevice() override {
        if (DS_DocResManager* manager = GetCurrentDocResManager()) manager->OnLostDevice();
    }
    void PrepareLinkForSave(const DS_ImageFileLink& link) override {
        if (DS_DocResManager* manager = GetCurrentDocResManager()) manager->PrepareLinkForSave(link);
    }
};

DS_IOF_Item* ReadSceneRoot(DS_IOF_Virtual& archive) { return DS_SlideShow_Light::ReadNew(archive); }
IDirect3DDevice9* GetSceneDevice() { return CurrentDevice; }

struct DocumentWiring {
    DocumentWiring() {
        SetSceneRootReader(&ReadSceneRoot);
        SetAudioFileReader(&ReadAudioFileItem);
        SetResCurrentDeviceGetter(&GetSceneDevice);
    }
} g_documentWiring;

}  // namespace

DS_LayerResources& DS_DocumentLayerResources() {
    static DocManagerResources resources;
    return resources;
}
