// Small value helpers the effect classes share: turning an angle into a
// vector and a stored colour into the three floats an effect takes.
#pragma once

#include <cstdint>

#include "platform/d3dx9/d3dx9math.h"

// `v` turned about z by `degrees` (D3DXMatrixRotationZ, row vector times
// matrix: (1, 0) goes to (cos, sin)).  The angle is a signed 64-bit number so
// that callers can form 360 - angle from a stored unsigned angle without the
// subtraction wrapping around.  Whole turns are taken off in integers first:
// a float holds an angle of billions of degrees only to the nearest 256, and
// its radians to nowhere near a turn.
inline D3DXVECTOR4 DS_RotateZ(const D3DXVECTOR4& v, int64_t degrees) {
    D3DXMATRIX r;
    D3DXMatrixRotationZ(&r, static_cast<float>(degrees % 360) * D3DX_PI / 180.0f);
    D3DXVECTOR4 out;
    D3DXVec4Transform(&out, &v, &r);
    return out;
}

// 0x00BBGGRR to (R, G, B), each in 0..1.
inline void DS_ColorToRgb(DWORD c, float out[3]) {
    out[0] = static_cast<float>(c & 0xFFu) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFFu) / 255.0f;
    out[2] = static_cast<float>((c >> 16) & 0xFFu) / 255.0f;
}
