// DS_DirectionBased: an effect with a strength and a direction angle whose
// unit vector follows the angle through a binding.  It is never stored
// alone: its record is the middle layer of its subclass's.
//
// DS_MoveFX: the masked part of the picture shifted back and forth along
// that direction, by the strength times a sine of the clock or a value
// noise.
#pragma once

#include "document/bindings.h"
#include "layers/effects/fx_constructor.h"
#include "platform/d3dx9/d3dx9math.h"

class DS_DirectionBased : public DS_FX_Constructor {
public:
    // Strength raw 0 (factor 1), angle 0.
    DS_DirectionBased();
    // The strength and the angle; its own binding; the direction worked out again.
    DS_DirectionBased(const DS_DirectionBased& other);
    DS_DirectionBased& operator=(const DS_DirectionBased&) = delete;
    ~DS_DirectionBased() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }

    // direction := the unit vector of the angle, turned clockwise on screen:
    // (cos angle, -sin angle).
    void OnDirectionChanged();

    // "DS_DirectionBased", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // Header (the name and version are not looked at), the fields, then the
    // DS_FX_Constructor record.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_DirectionBased& description);

    UINTSclaleTo<float> strength;
    MediaParamT<unsigned int> angle;
    DS_CtrlList bindings;
    D3DXVECTOR4 direction;
};

class DS_MoveFX : public DS_DirectionBased {
public:
    // Sine motion; strength raw 50 (0.01 picture sizes); one clock unit a
    // second; effect 91.
    DS_MoveFX();
    DS_MoveFX(const DS_MoveFX& other);
    DS_MoveFX& operator=(const DS_MoveFX&) = delete;
    ~DS_MoveFX() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The clock, then the shift for it.
    void FrameMove(double time) override;
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_MoveFX(*this); }

    // "DS_MoveFX", version 1, the mode, then the DS_DirectionBased record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_MoveFX* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    // 1: value-noise motion; anything else: sine motion.
    MediaParamT<int> mode;
    // "Direction", worked out in each FrameMove; (0, 0) before the first.
    float shift[2] = {0, 0};
};
