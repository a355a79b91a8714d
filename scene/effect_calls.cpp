#include "scene/effect_calls.h"

#include <cstdio>

#include "platform/d3dx9/effect.h"

namespace {

// The effect's own Begin/BeginPass/EndPass/End: Begin with flags 0, so the
// effect saves the device state its passes touch and End puts it back.
class D3DXEffectRunner final : public DS_EffectRunner {
public:
    HRESULT Begin(ID3DXEffect* effect, UINT* passes) override { return effect->Begin(passes, 0); }
    HRESULT BeginPass(ID3DXEffect* effect, UINT pass) override { return effect->BeginPass(pass); }
    HRESULT EndPass(ID3DXEffect* effect) override { return effect->EndPass(); }
    HRESULT End(ID3DXEffect* effect) override { return effect->End(); }
};

D3DXEffectRunner g_default;
DS_EffectRunner* g_runner = &g_default;

}  // namespace

DS_EffectRunner& DS_DefaultEffectRunner() { return g_default; }

DS_EffectRunner* GetEffectRunner() { return g_runner; }
void SetEffectRunner(DS_EffectRunner* runner) { g_runner = runner; }

void DS_ReportMissingEffectRunner() {
    static bool reported = false;
    if (reported) return;
    reported = true;
    std::fprintf(stderr, "tessaloom: no effect runner installed; effect draws are skipped\n");
}
