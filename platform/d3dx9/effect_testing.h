// The effect stand-in's test interface: a record of the calls made on one
// effect, so that tests can read back what a caller set and in which order
// (the values an effect holds at the end of a frame do not show what it held
// when it drew, nor which calls failed).
#pragma once

#include <string>
#include <vector>

#include "platform/d3dx9/effect.h"

namespace tessaloom::d3dx9 {

struct EffectCall {
    enum class Kind { Technique, Floats, Matrix, Texture, Begin, End };
    Kind kind = Kind::Floats;
    // The parameter or technique name (Begin: the current technique; End: empty).
    std::string name;
    // Floats: the values given; Matrix: 16 values row by row.
    std::vector<float> values;
    // Texture: the pointer given.  No reference is held: compare it, never use it.
    const IDirect3DBaseTexture9* texture = nullptr;
    HRESULT result = D3D_OK;
};

// Appends every SetTechnique, SetFloat, SetFloatArray, SetVector, SetMatrix,
// SetValue, SetTexture, Begin and End call on `effect` to `log` (failed calls
// too, with their result) until called again with null.  False when `effect`
// is not an effect of this stand-in.  The log must outlive the recording.
bool RecordEffectCalls(ID3DXEffect* effect, std::vector<EffectCall>* log);

}  // namespace tessaloom::d3dx9
