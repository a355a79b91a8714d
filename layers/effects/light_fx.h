// DS_LightFX: the masked part of the picture pulses, blinks or flickers in
// brightness.  Each draw gives the effect one multiplier worked out from the
// clock: a smooth sine pulse, the same pulse cut into on and off (a blink),
// or value noise (a flicker).
#pragma once

#include "layers/effects/fx_constructor.h"

class DS_LightFX : public DS_FX_Constructor {
public:
    // Amplitude raw 40 (0.4), mode 0 (pulse), 40 clock units a second, effect 76.
    DS_LightFX();
    DS_LightFX(const DS_LightFX& other);
    DS_LightFX& operator=(const DS_LightFX&) = delete;
    ~DS_LightFX() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_LightFX(*this); }

    // "multiplier" at clock `t`: below mode 2 the pulse (mode 1: blinking),
    // from mode 2 on the flicker.
    float MultiplierAt(float t) const;

    // "DS_LightFX", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_LightFX* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    UINTSclaleTo<float> amplitude;
    MediaParamT<int> mode;
};
