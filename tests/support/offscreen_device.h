// The present parameters of an offscreen device of the Direct3D stand-in:
// windowed, one X8R8G8B8 back buffer (or the format asked for) of the given
// size, discarded at Present.  Tests, their fakes and the benchmarks make
// their devices with these.
#pragma once

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

}  // namespace tessaloom::testing
