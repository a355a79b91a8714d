// DS_FlameLight: the picture layer with a fire over the lower part of the
// picture and, while its distortion is on, the whole finished slide drawn
// back through a scrolling bump map so that it shimmers as in hot air.
//
// The fire is an embedded DS_FireFX drawn on the layer's own quad with the
// fire effect's "AsEffect" technique; the distortion is an embedded
// DS_BumpDistortLayer: a quad with its own effect, bump picture and clock.
#pragma once

#include "document/file_link.h"
#include "document/res_device.h"
#include "document/scaled_param.h"
#include "layers/effects/fire_fx.h"
#include "scene/picture_layer.h"

// The heat-distortion pass: a picture-sized quad drawn with the captured
// slide through the distortion effect.
class DS_BumpDistortLayer : public DS_SimpleMesh<DX_V::PT> {
public:
    // Bump picture 62 and effect 63 of the module; speed 0.05 units a second,
    // strength 0.05, bump scale 0.208.
    DS_BumpDistortLayer();
    DS_BumpDistortLayer(const DS_BumpDistortLayer&) = delete;
    DS_BumpDistortLayer& operator=(const DS_BumpDistortLayer&) = delete;

    // The quad's buffer, the bump texture and the effect; true when an effect is held.
    bool CreateDeviceObjects();
    // The quad over width x height picture pixels; aspect := height / width.
    void SetSize(float width, float height);
    // The captured slide through the distortion; nothing without an effect.
    void Render(IDirect3DTexture9* sceneTexture);
    // The clock and the effect's "stenght", "Offset" and "bump_scale"; `time` in seconds.
    void FrameMove(double time);

    DS_ImageFileLink bumpImage;
    DS_HLSLEffectFile effectLink;
    MediaSpeedParam speed;
    UINTSclaleTo<float> strength;
    UINTSclaleTo<float> bumpScale;
    DS_EffectRef effect;
    DS_ComRef<IDirect3DTexture9> bumpTexture;
    float aspect = 1.0f;
};

class DS_FlameLight : public DS_2D_Light {
public:
    DS_FlameLight();
    ~DS_FlameLight() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void CreateDeviceObjects() override;
    // Its own device states, the resource manager's reset notice, the
    // layer's size and the render-target pair (the base step is not used).
    void RestoreDeviceObjects() override;
    void InvalidateDeviceObjects() override { DS_2D_Light::InvalidateDeviceObjects(); }
    // Ends the capture and draws it back through the distortion, then the bars.
    void RenderFinish() override;
    // The picture, then the fire.
    void DrawPicture() override;
    void FrameMove(double time) override;
    bool NeedsSceneTexture() override { return distortionFlag.value == 1; }
    // The base reload, then the distortion quad and the fire quad follow the picture.
    void ReloadPicture() override;

    // "DS_FlameLight", version 2, own fields, the fire's record, the base record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_FlameLight* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Version 2: the fields and the fire's whole record.  Versions 0 and 1:
    // the fire's speed among the fields and two links that are dropped; no
    // fire record.  Then the DS_2D_Light record.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // The fire quad's four corners (strip order) for a picture of h pixels:
    // from (k - 0.65) h to k h, k = 1 + 0.005 x the fire offset.
    void PlaceFireQuad();

    MediaParamT<int> fireFlag;
    MediaParamT<int> distortionFlag;
    MediaParamT<unsigned int> fireOffset;
    DS_FireFX fire;
    DS_BumpDistortLayer distortion;
    DS_SimpleMesh<DX_V::PT> fireQuad;
};
