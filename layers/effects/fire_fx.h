// DS_FireFX: a shader fire inside a four-cornered area of the picture.  An
// 8 x 8-cell grid spans the area; the fire effect gets two colours, a flame
// pattern picture, a noise picture and three offsets that grow with the
// clock, so the noise scrolls up through the flames.  It draws its own way
// (its matrices and its grid, not the picture quad through the common step).
// The flame layer embeds one and draws its fire through this class's effect,
// textures and matrix step under the effect's "AsEffect" technique.
#pragma once

#include "document/media_area.h"
#include "layers/effects/fx_constructor.h"
#include "scene/mesh.h"

class DS_FireFX : public DS_FX_Constructor {
public:
    // Corners (0, 0, 0); colours yellow (first) and red (second); pattern
    // picture 93 and noise picture 8 of the module; effect 92; density 0.0,
    // brightness 0.3, grid scale 1.0; one clock unit per second.
    DS_FireFX();
    // Every member; the grid's buffers and both textures are shared with a
    // reference added.
    DS_FireFX(const DS_FireFX& other);
    DS_FireFX& operator=(const DS_FireFX&) = delete;
    ~DS_FireFX() override = default;

    // The base part as DS_FX_Constructor::Assign, then this class's members,
    // converted values recomputed.
    void Assign(const DS_FireFX& other);

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The base step, the two pictures, then the grid over the quad's corners.
    void CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) override;
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_FireFX(*this); }

    // The effect's matrices for `mesh` (placed in picture pixels), its noise
    // and pattern textures and the time offsets "c11", "c12", "c13".
    void SetEffectMatrices(const DS_Frame& mesh);
    // The grid's 81 vertices from the quad's corners and the grid scale.
    void UpdateGridCorners();

    // "DS_FireFX", version 2, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // A whole record, header included (the flame layer's embedded fire).
    static DS_FireFX* ReadNew(DS_IOF_Virtual& archive);
    // The registered reader: the header has been read.
    static DS_FireFX* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Versions 0 and 1 hold none of this class's fields: only the base record follows.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // The two colour parameters of the effect, (R, G, B) in 0..1 each:
    // "ColorK1" := the second colour, "ColorK2" := the first minus the second.
    void ColorConstants(float k1[3], float k2[3]) const;

    MediaQuad quad;
    MediaColor color1;
    MediaColor color2;
    MediaParamT<int> spareValue1;
    DS_ImageFileLink patternLink;
    DS_ImageFileLink noiseLink;
    MediaParamTB<int> spareValue2;
    UINTSclaleTo<float> density;
    UINTSclaleTo<float> brightness;
    UINTSclaleTo<float> gridScale;
    DS_ComRef<IDirect3DTexture9> patternTexture;
    DS_ComRef<IDirect3DTexture9> noiseTexture;
    DS_GridMesh grid;
};
