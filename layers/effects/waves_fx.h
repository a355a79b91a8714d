// DS_WavesFX: waves running across the masked part of the picture in a
// chosen direction.  The effect gets the direction, a second vector (the
// direction's normal, or its reverse), a frequency, an amplitude and a
// running time.  The two vectors follow the angle and the reverse flag
// through bindings.
#pragma once

#include "document/bindings.h"
#include "layers/effects/fx_constructor.h"
#include "platform/d3dx9/d3dx9math.h"

class DS_WavesFX : public DS_FX_Constructor {
public:
    // Amplitude raw 50 (0.0125), period raw 50 (0.026), angle 0, not
    // reversed; the clock runs 25 units a second; effect 77.
    DS_WavesFX();
    // The values; its own bindings; the vectors worked out again.
    DS_WavesFX(const DS_WavesFX& other);
    DS_WavesFX& operator=(const DS_WavesFX&) = delete;
    ~DS_WavesFX() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_WavesFX(*this); }

    // direction := the unit vector of the angle, turned clockwise on screen
    // (cos angle, -sin angle); normal := its normal (sin, cos), or with the
    // reverse flag the opposite of the direction's mirror (-cos, sin).
    void OnDirectionChanged();

    // "DS_WavesFX", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_WavesFX* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // The fields, then the base record.  The angle and the flag are stored
    // as read: the vectors follow when the run-time copy is made.
    void ReadFields(DS_IOF_Virtual& archive);

    UINTSclaleTo<float> amplitude;
    UINTSclaleTo<float> period;
    MediaParamT<unsigned int> angle;
    MediaParamT<int> reverse;
    DS_CtrlList bindings;
    D3DXVECTOR4 direction;
    D3DXVECTOR4 normal;

private:
    void Bind();
};
