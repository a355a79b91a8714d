// ID3DXEffect over the Direct3D 9 stand-in.  The "compiled effect data" an
// effect is made from is our effect text (docs/effects.md, read by
// effect_parser.h); each pass's GLSL runs through the device's program
// override, with the pass's render and sampler states set on the device.
//
// D3DX rules kept:
//  - handles are parameter and technique names (D3DXHANDLE is a string);
//    a name the effect does not declare fails with D3DERR_INVALIDCALL and
//    changes nothing;
//  - parameter values live in the effect object, so every user of one
//    effect sees what the last one set; SetTexture holds a reference;
//  - Begin(&passes, 0) saves the device state the technique's passes touch
//    (render states, sampler states and textures of the stages they bind),
//    End puts it back; D3DXFX_DONOTSAVESTATE skips that;
//  - parameter changes made between BeginPass and EndPass reach the device
//    at CommitChanges;
//  - OnLostDevice drops the references to default-pool textures held as
//    parameter values (they would keep the device from resetting); the
//    effect cannot Begin again until OnResetDevice.
#pragma once

#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9core.h"
#include "platform/d3dx9/d3dx9math.h"

using D3DXHANDLE = LPCSTR;

struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};
struct ID3DXInclude;
struct ID3DXEffectPool;

// Begin flags.
constexpr DWORD D3DXFX_DONOTSAVESTATE = 1 << 0;
constexpr DWORD D3DXFX_DONOTSAVESHADERSTATE = 1 << 1;
constexpr DWORD D3DXFX_DONOTSAVESAMPLERSTATE = 1 << 2;

// {F6CEB4B3-4E4C-40DD-B883-8D8DE5EA0CD5}
inline constexpr IID IID_ID3DXEffect = {0xf6ceb4b3, 0x4e4c, 0x40dd, {0xb8, 0x83, 0x8d, 0x8d, 0xe5, 0xea, 0x0c, 0xd5}};

struct ID3DXEffect : IUnknown {
    virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;

    virtual HRESULT SetTechnique(D3DXHANDLE hTechnique) = 0;
    virtual D3DXHANDLE GetCurrentTechnique() = 0;

    virtual HRESULT SetFloat(D3DXHANDLE hParameter, FLOAT f) = 0;
    virtual HRESULT GetFloat(D3DXHANDLE hParameter, FLOAT* pf) = 0;
    // Count floats into the parameter from its first component; fewer than
    // the parameter holds leaves the rest, more fails.
    virtual HRESULT SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) = 0;
    virtual HRESULT GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) = 0;
    // The first components of the vector go to float..float4 parameters.
    virtual HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) = 0;
    virtual HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) = 0;
    // Bytes straight into a numeric parameter (at most its size in bytes).
    virtual HRESULT SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) = 0;
    virtual HRESULT SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) = 0;
    // The texture held, with a reference added (null when none).
    virtual HRESULT GetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9** ppTexture) = 0;

    virtual HRESULT Begin(UINT* pPasses, DWORD Flags) = 0;
    virtual HRESULT BeginPass(UINT Pass) = 0;
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    virtual HRESULT End() = 0;

    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;

protected:
    ~ID3DXEffect() = default;
};
using LPD3DXEFFECT = ID3DXEffect*;

// Makes an effect from effect text.  Macros, an include handler and an
// effect pool are not supported (non-null fails).  Bad data fails with a
// message on stderr naming the effect and the line; the same text goes into
// *ppCompilationErrors when asked for.
HRESULT D3DXCreateEffect(IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         ID3DXInclude* pInclude, DWORD Flags, ID3DXEffectPool* pPool, ID3DXEffect** ppEffect,
                         ID3DXBuffer** ppCompilationErrors);

namespace tessaloom::d3dx9 {

// D3DXCreateEffect with the name that messages give the effect (a file or
// resource name); D3DXCreateEffect names it after its size.
HRESULT CreateEffectNamed(IDirect3DDevice9* device, const void* data, size_t size, const std::string& name,
                          ID3DXEffect** effect, ID3DXBuffer** errors);

}  // namespace tessaloom::d3dx9
