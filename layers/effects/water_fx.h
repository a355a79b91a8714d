// DS_WaterFX: a water surface over the masked part of the picture.  The
// effect gets a bump picture with a slowly turning 2 x 2 transform, two
// scroll vectors along the water's direction, two three-component terms, a
// normalised half-vector, a shadow amount and a tint.  The direction follows
// the angle through a binding.
#pragma once

#include "document/bindings.h"
#include "document/file_link.h"
#include "layers/effects/fx_constructor.h"
#include "platform/d3dx9/d3dx9math.h"

class DS_WaterFX : public DS_FX_Constructor {
public:
    // Raw values: factor 20, bump scale 20, scroll scales 20 and 20, angle
    // 40, no shadows, half-vector z 0, white; bump picture 89 and effect 90
    // of the module; one clock unit a second; scale raw 30 (s = 0.6).
    DS_WaterFX();
    // Every value and the link, not the bump texture (the copy makes its
    // own); its own binding; the direction worked out again.
    DS_WaterFX(const DS_WaterFX& other);
    DS_WaterFX& operator=(const DS_WaterFX&) = delete;
    // Releases the bump texture after the binding has gone.
    ~DS_WaterFX() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The bump picture's first frame (none: no texture), then the base step.
    void CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) override;
    // The clock, then the bump transform turned by 4.5 radians per clock unit.
    void FrameMove(double time) override;
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_WaterFX(*this); }

    // direction := (cos angle, sin angle).
    void OnDirectionChanged();

    // The effect's values as the draw sets them.
    struct Values {
        float p1[3], p2[3], direction1[2], direction2[2], vhalf[3], color[3];
    };
    Values ComputeValues() const;

    // "DS_WaterFX", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_WaterFX* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    void ReadFields(DS_IOF_Virtual& archive);

    UINTSclaleTo<float> pFactor;
    UINTSclaleTo<float> bumpScale;
    UINTSclaleTo<float> direction2Scale;
    UINTSclaleTo<float> direction1Divisor;
    MediaParamT<unsigned int> angle;
    UINTSclaleTo<float> shadows;
    UINTSclaleTo<float> vhalfZ;
    MediaColor color;
    DS_ImageFileLink bumpLink;
    DS_ComRef<IDirect3DTexture9> bumpTexture;
    float bumpTransform[4] = {0, 0, 0, 0};
    D3DXVECTOR4 direction;
    DS_CtrlList bindings;

private:
    void Bind();
};
