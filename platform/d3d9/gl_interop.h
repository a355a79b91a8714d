// What other stand-ins (the effect stand-in) need of a device beyond the
// Direct3D 9 interface: its GL context, the GL names of its textures, and
// drawing with a GLSL program of their own in place of the generated
// fixed-function one.
#pragma once

#include <epoxy/gl.h>

#include <functional>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/fixed_function.h"

namespace tessaloom::d3d9 {

// Makes the device's GL context current; needed before GL calls on objects
// of that device (each device has its own context).
void MakeCurrent(IDirect3DDevice9* device);

// The GL texture behind a texture of this stand-in (0 for null).
GLuint GlTextureOf(IDirect3DBaseTexture9* texture);

// Writes rows of pixels (in the level's own format, `pitch` bytes apart)
// into `rect` of a level without a lock, so that no CPU copy of the whole
// level is made for it.  False, with nothing written, for a texture that is
// not one of this stand-in's, a render target, a block-compressed format or
// a rectangle outside the level.
bool WriteTextureRows(IDirect3DTexture9* texture, UINT level, const RECT& rect, const void* bits, UINT pitch);

// IDirect3DDevice9::CreateTexture for a maker that writes every level whole
// (WriteTextureRows or a lock of the whole level) before the texture is
// used: the device's levels start undefined instead of as a zero image,
// which saves a pass over the pixels in the driver.  On a device that is
// not this stand-in's, the plain CreateTexture.
HRESULT CreateTextureToWrite(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);

// A program that draws in place of the generated one, as an effect pass
// does.  Device state still applies: render targets, viewport, render states
// (blending, depth, culling), the vertex stream and FVF (attribute locations
// as in fixed_function.h), and the textures set on stages 0..7, bound to GL
// texture units 0..7 with their sampler states.  Uniforms the program
// declares under the fixed-function names (u_wvp, u_worldView, u_viewport,
// u_depthRange, u_tfactor, u_alphaRef, u_ambient, u_mat*, u_light*,
// u_constant, and samplers u_tex0..u_tex7) are set from the device state.
struct ProgramOverride {
    // The program for this draw.  The key describes the fixed-function state,
    // so a pass without vertex code can pair FfVertexSource(key) with its own
    // fragment code.  0 refuses the draw.
    std::function<GLuint(const FfKey& key)> program;
    // Called with the program in use, just before the draw: effect uniforms
    // only.  Textures go through IDirect3DDevice9::SetTexture (the device
    // caches what GL units 0..7 hold), other state through the device.
    std::function<void(GLuint program)> bind;
};

// Call before deleting a program the override handed out: the device keeps
// per-program state under the GL name, which a new program may reuse.
void ForgetProgram(IDirect3DDevice9* device, GLuint program);

// Null goes back to the fixed-function pipeline.  The override is not
// copied: it must outlive its use.
void SetProgramOverride(IDirect3DDevice9* device, const ProgramOverride* override);

}  // namespace tessaloom::d3d9
