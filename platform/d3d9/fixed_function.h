// The fixed-function pipeline as generated GLSL: a key holds exactly the
// state that changes the program text; programs are compiled once per key
// and cached per device (GL programs belong to one context).
//
// Vertex programs write these varyings, which any fragment program paired
// with the fixed-function vertex path may read:
//   vec4 v_diffuse, v_specular   (flat when SHADEMODE is FLAT)
//   vec4 v_tex0 .. v_tex7        (each stage's coordinates, generated and transformed)
// Attribute locations: 0 position, 1 normal, 2 diffuse, 3 specular,
// 4 + n texture coordinate set n.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/crt/fnv1a.h"
#include "platform/d3d9/state.h"

namespace tessaloom::d3d9 {

struct FfStageKey {
    uint8_t colorOp, colorArg0, colorArg1, colorArg2;
    uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
    uint8_t coordSet, coordGen, transformFlags, resultArg;
    uint8_t textured, pad[3];
};

struct FfKey {
    uint32_t fvf;
    uint8_t lighting, colorVertex, diffuseSource, ambientSource;
    uint8_t specularSource, emissiveSource, specularEnable, localViewer;
    uint8_t normalizeNormals, lightMask, flat, alphaFunc;  // alphaFunc 0: no alpha test
    uint8_t stageCount, pad[3];
    FfStageKey stages[kMaxStages];

    FfKey() { std::memset(this, 0, sizeof(*this)); }
    bool operator==(const FfKey& other) const { return std::memcmp(this, &other, sizeof(*this)) == 0; }
};

struct FfKeyHash {
    size_t operator()(const FfKey& key) const {
        return static_cast<size_t>(Fnv1aOf(&key, sizeof(FfKey)));
    }
};

// Builds the key from the device state.  texturedStages: bit s set when a
// texture is bound on stage s.
FfKey MakeFfKey(const DeviceState& state, uint32_t texturedStages);

// Program texts; empty with *error set when the key asks for something this
// pipeline does not implement.
std::string FfVertexSource(const FfKey& key, std::string* error);
std::string FfFragmentSource(const FfKey& key, std::string* error);

struct FfProgram {
    GLuint program = 0;
    GLint wvp = -1, worldView = -1, viewport = -1, depthRange = -1, textureFactor = -1, alphaRef = -1;
    GLint ambient = -1, matDiffuse = -1, matAmbient = -1, matSpecular = -1, matEmissive = -1, matPower = -1;
    GLint lightDir = -1, lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, constant = -1;
    GLint bumpMatrix = -1, textureMatrix = -1;
    uint64_t uploadedSerial = 0;  // the device's uniform serial last uploaded
};

// The fixed-function uniform locations of a linked program (-1 where absent).
FfProgram FfProgramLocations(GLuint program);

class FixedFunction {
public:
    FixedFunction() = default;
    ~FixedFunction();  // the owning context must be current
    FixedFunction(const FixedFunction&) = delete;
    FixedFunction& operator=(const FixedFunction&) = delete;

    // Null (and *error) when the program cannot be made.
    FfProgram* Get(const FfKey& key, std::string* error);
    size_t size() const { return cache_.size(); }

private:
    std::unordered_map<FfKey, FfProgram, FfKeyHash> cache_;
    std::unordered_map<FfKey, std::string, FfKeyHash> failed_;
};

// Compiles and links a vertex/fragment pair; 0 and *error on failure.
GLuint LinkProgram(const std::string& vertex, const std::string& fragment, std::string* error);

// The GLSL condition of the alpha test for D3DRS_ALPHAFUNC `func` (the
// fragment's alpha as a8, 0..255, against u_alphaRef); "true" for ALWAYS.
const char* AlphaTestGlsl(uint8_t func);

}  // namespace tessaloom::d3d9
