// The present parameters of an offscreen device of the Direct3D stand-in:
// windowed, one X8R8G8B8 back buffer (or the format asked for) of the given
// size, discarded at Present.  Tests, their fakes and the benchmarks make
// their devices with these, and their pictures with MakeManagedTexture.
#pragma once

#include <cstring>
#include <functional>

#include "platform/d3d9/d3d9.h"

namespace tessaloom::testing {

inline D3DPRESENT_PARAMETERS OffscreenParameters(UINT width = 64, UINT height = 64,
                                                 D3DFORMAT format = D3DFMT_X8R8G8B8) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = format;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    return params;
}

// A managed texture of a 32-bit format filled from a function of (x, y);
// null when the device refuses it.
inline IDirect3DTexture9* MakeManagedTexture(IDirect3DDevice9* device, UINT width, UINT height,
                                             const std::function<D3DCOLOR(UINT, UINT)>& color,
                                             D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr))) return nullptr;
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        texture->Release();
        return nullptr;
    }
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            const D3DCOLOR c = color(x, y);
            std::memcpy(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch + x * 4, &c, 4);
        }
    texture->UnlockRect(0);
    return texture;
}

}  // namespace tessaloom::testing
