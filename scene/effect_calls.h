// The effect calls the layer's drawing services make: Begin, BeginPass,
// EndPass and End of an ID3DXEffect.  The effect interface itself belongs to
// the D3DX stand-in; the runner here is the one place the scene calls it, so
// that the drawing services do not depend on how effects are built.  With no
// runner installed an effect draw does nothing and says so once on stderr.
#pragma once

#include "platform/win32/types.h"

struct ID3DXEffect;

class DS_EffectRunner {
public:
    virtual ~DS_EffectRunner() = default;
    // Begin with flags 0 (the effect saves and restores device state).
    virtual HRESULT Begin(ID3DXEffect* effect, UINT* passes) = 0;
    virtual HRESULT BeginPass(ID3DXEffect* effect, UINT pass) = 0;
    virtual HRESULT EndPass(ID3DXEffect* effect) = 0;
    virtual HRESULT End(ID3DXEffect* effect) = 0;
};

DS_EffectRunner* GetEffectRunner();
void SetEffectRunner(DS_EffectRunner* runner);

// Runs every pass of `effect` with `draw` between BeginPass and EndPass.
// A null effect is never drawn.  False when nothing was drawn.
template <class Draw>
bool DS_RunEffectPasses(ID3DXEffect* effect, Draw&& draw);

void DS_ReportMissingEffectRunner();

template <class Draw>
bool DS_RunEffectPasses(ID3DXEffect* effect, Draw&& draw) {
    if (!effect) return false;
    DS_EffectRunner* runner = GetEffectRunner();
    if (!runner) {
        DS_ReportMissingEffectRunner();
        return false;
    }
    UINT passes = 0;
    if (FAILED(runner->Begin(effect, &passes))) return false;
    for (UINT i = 0; i < passes; ++i) {
        if (FAILED(runner->BeginPass(effect, i))) continue;
        draw();
        runner->EndPass(effect);
    }
    runner->End(effect);
    return true;
}
