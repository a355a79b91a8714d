// Fuzz target of the effect-file parser: any bytes either fail with a
// message naming the effect or give a description whose passes can be
// turned into GLSL sources and whose compiler logs can be mapped.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/d3dx9/effect_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fx::EffectDesc e;
    fx::Result r = fx::Parse(data, size, "fuzz.fx", e);
    if (!r.ok) {
        if (r.error.rfind("effect 'fuzz.fx'", 0) != 0 || !e.techniques.empty()) std::abort();
        return 0;
    }
    if (e.techniques.empty()) std::abort();
    for (const auto& t : e.techniques) {
        if (t.passes.empty()) std::abort();
        for (const auto& p : t.passes) {
            for (const auto& s : p.samplers) {
                const fx::Parameter* tex = e.FindParameter(s.texture);
                if (!tex || tex->type != fx::ParamType::Texture) std::abort();
            }
            int lines = 0;
            fx::BuildGlsl(e, p, fx::Stage::Vertex, &lines);
            fx::BuildGlsl(e, p, fx::Stage::Fragment, &lines);
            // Use the input itself as a compiler log.
            fx::MapCompilerLog(e, t, p, fx::Stage::Fragment,
                               std::string_view(reinterpret_cast<const char*>(data), size), lines);
        }
    }
    return 0;
}
