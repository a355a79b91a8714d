// DS_2D_Light: the picture layer of a slide and the base of every concrete
// picture layer.  It draws one full-screen picture through the current 2D
// view with the pan and zoom of its camera, draws the letterbox bars, owns
// the scene-capture chain (a render-target pair handed from reader to
// reader), and offers the drawing services through which the slide's
// objects draw (layer_draw.cpp).
//
// DS_ABRender is the abstract layer interface: the operations below, in this
// order, are what every concrete layer overrides.
#pragma once

#include <list>
#include <vector>

#include "document/bindings.h"
#include "document/counted_ptr.h"
#include "document/file_link.h"
#include "document/item.h"
#include "scene/camera.h"
#include "scene/mesh.h"
#include "scene/render_target_pair.h"
#include "scene/view_2d.h"

struct ID3DXEffect;
class DS_ABObj;

// What the sprite drawing reads of a sprite population: its indexed PCT
// mesh (with the mesh's world matrix), the current frame texture, the mask
// texture (may be null) and the description's additive flag.
struct DS_SpriteDrawData {
    const DS_IndexedMesh<DX_V::PCT>* mesh = nullptr;
    IDirect3DTexture9* frameTexture = nullptr;
    IDirect3DTexture9* maskTexture = nullptr;
    int additive = 0;
};

// The picture's geometry, texture and size.  Vertices in the picture's own
// pixels: (0, h), (0, 0), (w, h), (w, 0), z 0; its world matrix stays identity.
class DS_PictureQuad : public DS_TexturedQuadT<DX_V::PT> {
public:
    // A managed, write-only 4-vertex strip with the texture coordinates set.
    bool CreateBuffer();
    // The link's picture from the installed resources (none: no picture).
    void LoadPicture(const DS_ImageFileLink& link);
    void SetTexture(IDirect3DTexture9* tex) { texture.Set(tex); }
    // The four positions for width x height.
    void SetSize(UINT width, UINT height);

    DS_PictureInfo info;

private:
    bool reportedUnresolved = false;
    DS_LinkKey reportedKey;
};

// The picture texture of `quad` := a copy of `source` of side 128 << n
// (n 0..6; others change nothing).
void CreateSquareTexture(int n, DS_PictureQuad& quad, IDirect3DTexture9* source);

class DS_ABRender : public DS_IOF_Item {
public:
    ~DS_ABRender() override = default;
    void Write(DS_IOF_Virtual& archive) override = 0;
    virtual void DrawIndexedWithEffect(const DS_IndexedMesh<DX_V::PT>& mesh, ID3DXEffect* const* effect) = 0;
    virtual void DrawWithEffect(const DS_SimpleMesh<DX_V::PT>& quad, ID3DXEffect* const* effect) = 0;
    virtual void DrawMeshList(const DS_TexturedMesh<DX_V::PNT>& node, const std::list<DS_Frame*>& instances) = 0;
    virtual void DrawSpriteArray(const DS_SpriteDrawData& sprites) = 0;
    virtual void DrawMeshListBothSides(const DS_TexturedMesh<DX_V::PNT>& mesh) = 0;
    virtual IDirect3DTexture9* const* GetSceneTexture() = 0;
    virtual DS_PictureQuad& GetScreenQuad() = 0;
    virtual UINT GetPictureWidth() = 0;
    virtual UINT GetPictureHeight() = 0;
    virtual void CreateDeviceObjects() = 0;
    virtual void RestoreDeviceObjects() = 0;
    virtual void InvalidateDeviceObjects() = 0;
    virtual void RenderFinish() = 0;
    virtual void DrawPicture() = 0;
    virtual void FrameMove(double time) = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void SetPicturePosition(int mode) = 0;
    virtual void DrawColorOverlay(const DS_SimpleMesh<DX_V::TPC>& quad) = 0;
    virtual void BeginSceneCapture() = 0;
    virtual DS_RenderTargetPair& EndSceneCapture(bool clear) = 0;
    virtual bool NeedsSceneTexture() = 0;
    virtual void ReloadPicture() = 0;
};

class DS_2D_Light : public DS_ABRender {
public:
    DS_2D_Light();
    DS_2D_Light(const DS_2D_Light&) = delete;
    DS_2D_Light& operator=(const DS_2D_Light&) = delete;
    ~DS_2D_Light() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void DrawIndexedWithEffect(const DS_IndexedMesh<DX_V::PT>& mesh, ID3DXEffect* const* effect) override;
    void DrawWithEffect(const DS_SimpleMesh<DX_V::PT>& quad, ID3DXEffect* const* effect) override;
    void DrawMeshList(const DS_TexturedMesh<DX_V::PNT>& node, const std::list<DS_Frame*>& instances) override;
    void DrawSpriteArray(const DS_SpriteDrawData& sprites) override;
    void DrawMeshListBothSides(const DS_TexturedMesh<DX_V::PNT>& mesh) override;
    IDirect3DTexture9* const* GetSceneTexture() override { return sceneTexture.Address(); }
    DS_PictureQuad& GetScreenQuad() override { return pictureQuad; }
    UINT GetPictureWidth() override { return pictureQuad.info.width; }
    UINT GetPictureHeight() override { return pictureQuad.info.height; }
    void CreateDeviceObjects() override;
    void RestoreDeviceObjects() override;
    void InvalidateDeviceObjects() override;
    void RenderFinish() override;
    void DrawPicture() override;
    void FrameMove(double time) override;
    void Resize(int width, int height) override;
    void SetPicturePosition(int mode) override;
    void DrawColorOverlay(const DS_SimpleMesh<DX_V::TPC>& quad) override;
    void BeginSceneCapture() override;
    DS_RenderTargetPair& EndSceneCapture(bool clear) override;
    bool NeedsSceneTexture() override { return false; }
    void ReloadPicture() override;

    // "DS_2D_Light", version 3: picture link (string, int64), camera record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // The registered reader: a new layer read for `version`.
    static DS_2D_Light* ReadNew(DS_IOF_Virtual& archive, int version);
    static DS_2D_Light* CreateFromArchive(DS_IOF_Virtual& archive, int version) { return ReadNew(archive, version); }
    // A whole "DS_2D_Light" record (header included) into an existing layer;
    // concrete layers call it after their own fields.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_2D_Light& layer);
    // Version 1 has no fields, 2 adds the picture link, 3 the camera.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    void AttachPictureControl();
    // Motion mode 1 and the pan state zeroed: the camera starts a new segment
    // on its next FrameMove.  True when the motion mode was 1 already.
    bool ResetCameraMotion();
    // Draws the slide's objects from the last to the first, handing the
    // capture on (or ending it) before each object that reads the scene.
    static void RenderObjects(DS_2D_Light& layer, const std::vector<DS_CountedPtr<DS_ABObj>>& instances,
                              int captureCount);

    // True between a BeginSceneCapture that could capture and the end of
    // that capture (EndSceneCapture or the pair's own End).
    bool CaptureRunning() const { return renderTargets.Capturing(); }

    DS_ImageFileLink pictureLink;
    DSM_Camera camera;
    DS_PictureQuad pictureQuad;
    DS_ComRef<IDirect3DTexture9> sceneTexture;
    // The layer's picture position: what Resize lays the picture out by and
    // what a scene capture returns to.
    int savedMode = DS_POS_FIT;
    DS_RenderTargetPair renderTargets;
    DS_CtrlList bindings;
    int targetWidth = 0, targetHeight = 0;
};
