// Reader of our effect files: the text that stands where a compiled D3D
// effect would be (docs/effects.md describes the syntax).  It produces a
// neutral description (parameters with defaults, techniques of passes, each
// pass with render and sampler states as D3D9 numbers and its GLSL code)
// that the device's ID3DXEffect is built from.  Nothing here needs a device;
// GLSL is only compiled there, and the helpers at the end turn the compiler's
// log into messages that name the effect file's lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/types.h"

namespace fx {

enum class ParamType { Float, Float2, Float3, Float4, Matrix, Texture };

// Number of floats a parameter of the type holds (0 for a texture).
uint32_t ComponentCount(ParamType type);
// "float", "float2", ..., "matrix", "texture".
const char* TypeName(ParamType type);
// The GLSL type the parameter has in the shaders: float, vec2..vec4, mat4, sampler2D.
const char* GlslTypeName(ParamType type);

struct Parameter {
    std::string name;  // exactly as the callers spell it (case-sensitive)
    ParamType type = ParamType::Float;
    // Default value, row-major for a matrix (as D3DX keeps it); zeros when
    // the file gives none.
    std::array<float, 16> value{};
    int line = 0;
};

// One `Name = value;` inside a pass or a sampler block.
struct StateAssignment {
    std::string name;   // as written
    DWORD state = 0;    // D3DRENDERSTATETYPE or D3DSAMPLERSTATETYPE
    DWORD value = 0;    // the DWORD the device receives (floats as their bit pattern)
    int line = 0;
};

// A texture parameter sampled in a pass: the pass binds it to `stage`
// (the order of the sampler blocks in the pass) with these sampler states.
struct SamplerBinding {
    std::string texture;  // name of a texture parameter
    DWORD stage = 0;
    std::vector<StateAssignment> states;
    int line = 0;
};

struct ShaderCode {
    bool present = false;
    std::string code;   // verbatim text between the quotes
    int firstLine = 0;  // file line of the first line of `code`
};

struct Pass {
    std::string name;  // may be empty
    int line = 0;
    std::vector<StateAssignment> renderStates;  // in file order
    std::vector<SamplerBinding> samplers;       // in stage order
    ShaderCode vertex;    // absent: the fixed-function vertex path runs
    ShaderCode fragment;  // absent: the fixed-function texture stages run
};

struct Technique {
    std::string name;
    int line = 0;
    std::vector<Pass> passes;
};

struct EffectDesc {
    std::string name;  // for messages: the effect's file or resource name
    std::vector<Parameter> parameters;
    std::vector<Technique> techniques;

    const Parameter* FindParameter(std::string_view n) const;
    const Technique* FindTechnique(std::string_view n) const;
};

struct Result {
    bool ok = false;
    std::string error;  // "effect 'fire.fx', line 12: unknown render state 'ZEnabel'"
};

// Parses effect text.  `effectName` only labels messages.  Data that is not
// effect text (a compiled D3D effect, other binary bytes) fails with a
// message that says so.
Result Parse(const void* data, size_t size, const std::string& effectName, EffectDesc& out);

// ---------------------------------------------------------------------------
// Names the shaders see.  The device binds these; the preludes below declare
// them, so effect code uses them without declaring them.
//
// Device transforms, mat4, in the same layout as the D3DX matrices: in GLSL
// `v * M` is D3DX's v x M (row vectors), so `vec4(p, 1.0) * d3d_WorldViewProjection`
// transforms a position as the fixed-function pipeline does.
inline constexpr const char* kWorldUniform = "d3d_World";
inline constexpr const char* kViewUniform = "d3d_View";
inline constexpr const char* kProjectionUniform = "d3d_Projection";
inline constexpr const char* kWorldViewProjectionUniform = "d3d_WorldViewProjection";  // World x View x Projection

// Vertex inputs of a pass with vertex code, from the vertex declaration or FVF:
// d3d_Position (vec4, w = 1 unless pre-transformed), d3d_Normal (vec3),
// d3d_Diffuse and d3d_Specular (vec4 r g b a, opaque white / black when the
// vertex has none), d3d_TexCoord0 .. d3d_TexCoord7 (vec4, missing components 0, w 1).
struct VertexInput {
    const char* name;
    const char* glslType;
};
extern const std::array<VertexInput, 12> kVertexInputs;

// What the fixed-function vertex path hands to the fragment code of a pass
// without vertex code: d3d_ffDiffuse, d3d_ffSpecular, d3d_ffTexCoord0 .. 7 (all vec4).
extern const std::array<const char*, 10> kFixedFunctionVaryings;

// The fragment colour output every fragment code writes.
inline constexpr const char* kFragmentOutput = "d3d_FragColor";

enum class Stage { Vertex, Fragment };

// Complete GLSL source of one stage of a pass: "#version 330 core", the
// declarations above (and one uniform per effect parameter, textures as
// sampler2D), then the pass's code.  `preludeLines` receives the number of
// lines before the code, for MapCompilerLog.
std::string BuildGlsl(const EffectDesc& effect, const Pass& pass, Stage stage, int* preludeLines);

// Rewrites a GLSL compiler or linker log so that each message names the
// effect, technique, pass, stage and effect-file line:
//   "0:3(12): error: `foo' undeclared"  ->
//   "effect 'fire.fx', technique 'Main', pass 'P0', fragment code, line 41: error: `foo' undeclared"
// Lines without a recognised location keep their text after the same prefix
// (without a line).
std::string MapCompilerLog(const EffectDesc& effect, const Technique& technique, const Pass& pass, Stage stage,
                           std::string_view log, int preludeLines);

}  // namespace fx
