// Direct3D 9 values in OpenGL's terms (blend factors and equations,
// comparisons, stencil operations, texture addressing and filtering,
// primitive types), and the small sums the device's calls share.
#pragma once

#include <epoxy/gl.h>

#include "platform/d3d9/d3d9.h"

namespace tessaloom::d3d9 {

// a * b, row vectors as Direct3D has them.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

GLenum BlendFactor(DWORD blend);
GLenum BlendEquation(DWORD op);
GLenum CompareFunc(DWORD func);
GLenum StencilOp(DWORD op);
GLint AddressMode(DWORD mode);
// The GL minification filter of a D3DSAMP_MINFILTER and D3DSAMP_MIPFILTER pair.
GLint MinFilter(DWORD min, DWORD mip);
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);
// Vertices that `primitives` primitives of `type` take.
UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives);
// Bytes of one vertex of an FVF; 0 for a format this device cannot read.
UINT FvfStride(DWORD fvf);
// A D3DCOLOR's bytes as red, green, blue, alpha in 0..1.
void ColorOf(D3DCOLOR c, float out[4]);

}  // namespace tessaloom::d3d9
