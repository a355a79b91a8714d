// DS_WaterRingLight: the picture layer that shows its slide under a water
// surface on which drops fall at a steady rate.  Rings spread from each drop;
// the picture seen through the moving surface is displaced by refraction and
// lit by a specular highlight.  The surface is a DS_RippleMesh drawn with
// fixed-function lighting and an orthographic camera that fits it to the
// target.  In capture mode 1 the water covers the finished slide, objects
// included; in any other mode it carries only the picture and the slide's
// objects are drawn over it.
#pragma once

#include <memory>

#include "document/media_param.h"
#include "document/scaled_param.h"
#include "layers/ripple_mesh.h"
#include "scene/picture_layer.h"

class DS_WaterRingLight : public DS_2D_Light {
public:
    // The surface is 30 units high, its width follows the picture's aspect.
    static constexpr float kSurfaceHeight = 30.0f;
    // Beyond these the surface no longer settles: damping at raw 100 and the
    // height gain of raw 500 (the simulation diverges from a gain of 12).
    static constexpr float kMaxDamping = 0.999f;
    static constexpr float kMaxHeightGain = 11.0f;

    DS_WaterRingLight();
    ~DS_WaterRingLight() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Lighting off around the base drawing of the slide's objects.
    void DrawMeshList(const DS_TexturedMesh<DX_V::PNT>& node, const std::list<DS_Frame*>& instances) override;
    void DrawSpriteArray(const DS_SpriteDrawData& sprites) override;
    void DrawMeshListBothSides(const DS_TexturedMesh<DX_V::PNT>& mesh) override;
    void CreateDeviceObjects() override;
    // Its own device states, the resource manager's reset notice, a new
    // surface at rest with one drop, the projection and the render-target
    // pair (the base step is not used).
    void RestoreDeviceObjects() override;
    void InvalidateDeviceObjects() override;
    void RenderFinish() override;
    void DrawPicture() override;
    void FrameMove(double time) override;
    void Resize(int width, int height) override;
    void SetPicturePosition(int mode) override;
    void DrawColorOverlay(const DS_SimpleMesh<DX_V::TPC>& quad) override;
    // In capture modes other than 1 a capture runs with Stretch; its end puts
    // back the picture position the layer had before it.
    void BeginSceneCapture() override;
    DS_RenderTargetPair& EndSceneCapture(bool clear) override;
    bool NeedsSceneTexture() override { return captureMode.value == 1; }

    // raw < 50: 0.9 + raw x 0.0018; otherwise 0.99 + (raw - 50) x 0.00018,
    // at most 0.999.
    void SetDamping(unsigned int raw);
    // The surface with the picture's proportions, 30 units high, and one drop.
    void InitRippleMesh();
    // Black but for diffuse alpha 1 and the specular level and power.
    void SetMaterial();
    // The surface over the target with `texture` under it, following the 2D
    // view's picture position and camera zoom.
    void DrawRippleMesh(IDirect3DTexture9* texture);

    // "DS_WaterRingLight", version 2: nine raw values, the capture mode, the
    // DS_2D_Light record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_WaterRingLight* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Version 2 and later: the nine raw values first; version 1: only the
    // capture mode.  Then the DS_2D_Light record.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // The picture's aspect (height / width); 1 for a picture without one.
    float PictureAspect() const;

    MediaParamT<int> captureMode;
    MediaParamT<unsigned int> heightGain;
    MediaParamT<unsigned int> rowsFactor;
    MediaParamT<unsigned int> columnsFactor;
    MediaParamT<unsigned int> dropStrength;
    MediaParamT<unsigned int> damping;
    MediaParamT<unsigned int> depth;
    UINTSclaleTo<float> dropRate;
    UINTSclaleTo<float> specularLevel;
    UINTSclaleTo<float> specularPower;
    std::unique_ptr<DS_RippleMesh> ripples;
    float lightColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float lightDirection[3] = {0.5f, -1.0f, 1.0f};
    D3DXMATRIX worldMatrix, viewMatrix, cameraMatrix, projectionMatrix;
    // The frame time of the last drop, in seconds.
    double lastDropTime = 0.0;
    int storedWidth = 0, storedHeight = 0;

private:
    // Stage 0: colour and alpha of the texture.
    void SelectTexture();

    // The picture position to put back when a Stretch capture ends.
    int positionBeforeCapture_ = DS_POS_FIT;
    bool stretchCapture_ = false;
};
