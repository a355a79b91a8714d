// DS_UnderwaterFX: the finished picture seen as if under water.  The effect
// gets a wave frequency (square cells on any picture shape), an amplitude and
// a running time.  It lives only inside the underwater picture layer, which
// reads its record, advances it and draws it over the captured slide; no
// registry names it.
#pragma once

#include "layers/effects/fx_constructor.h"

class DS_UnderwaterFX : public DS_FX_Constructor {
public:
    // Amplitude raw 50 (0.00625), period raw 50 (0.101); 25 clock units a
    // second; effect 88.
    DS_UnderwaterFX();
    DS_UnderwaterFX(const DS_UnderwaterFX& other);
    DS_UnderwaterFX& operator=(const DS_UnderwaterFX&) = delete;
    ~DS_UnderwaterFX() override = default;

    // The base part as DS_FX_Constructor::Assign, then the amplitude and the
    // period with their factors and offsets; their converted values follow.
    void Assign(const DS_UnderwaterFX& other);

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_UnderwaterFX(*this); }

    // "frequency" for a picture of `width` x `height`: (d x a, d), d = 1 /
    // period, a = width / height (a picture without width or height counts
    // as square).
    void FrequencyFor(UINT width, UINT height, float out[2]) const;

    // "DS_UnderwaterFX", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // A whole record, header included; the caller owns the result.
    static DS_UnderwaterFX* ReadNew(DS_IOF_Virtual& archive);
    void ReadFields(DS_IOF_Virtual& archive);

    UINTSclaleTo<float> amplitude;
    UINTSclaleTo<float> period;
};
