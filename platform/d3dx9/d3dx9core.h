// D3DX core: the data buffer interface that D3DX calls hand back (saved
// files, adjacency, error text).
#pragma once

#include "platform/com/unknwn.h"

// {8BA5FB08-5195-40E2-AC58-0D989C3A0102}
inline constexpr IID IID_ID3DXBuffer = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};

struct ID3DXBuffer : IUnknown {
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

// A zero-filled buffer of NumBytes bytes with one reference.
HRESULT D3DXCreateBuffer(DWORD NumBytes, ID3DXBuffer** ppBuffer);
