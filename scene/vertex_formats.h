// Vertex formats of the scene.  All fields are floats except colours
// (32-bit ARGB, D3DCOLOR).  The layouts are what the device reads for each FVF,
// so sizes and offsets are checked here.
#pragma once

#include <cstddef>

#include "platform/d3d9/d3d9.h"

struct DX_V {
    // Picture quad, effect quads, grid meshes.
    struct PT {
        float x, y, z, u, v;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_TEX1;
    };
    // World-space colour quads.
    struct PC {
        float x, y, z;
        D3DCOLOR color;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    };
    // Sprite populations.
    struct PCT {
        float x, y, z;
        D3DCOLOR color;
        float u, v;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    };
    // Meshes of 3D objects.
    struct PNT {
        float x, y, z, nx, ny, nz, u, v;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    };
    // Screen pixels: letterbox bars, fade quad, colour overlays.
    struct TPC {
        float x, y, z, rhw;
        D3DCOLOR color;
        static constexpr DWORD FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
    };
    // Textured screen quads, the quad batch.
    struct TPCT {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
        static constexpr DWORD FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    };
};

static_assert(DX_V::PT::FVF == 0x102 && sizeof(DX_V::PT) == 20 && offsetof(DX_V::PT, u) == 12);
static_assert(DX_V::PC::FVF == 0x42 && sizeof(DX_V::PC) == 16 && offsetof(DX_V::PC, color) == 12);
static_assert(DX_V::PCT::FVF == 0x142 && sizeof(DX_V::PCT) == 24 && offsetof(DX_V::PCT, color) == 12 &&
              offsetof(DX_V::PCT, u) == 16);
static_assert(DX_V::PNT::FVF == 0x112 && sizeof(DX_V::PNT) == 32 && offsetof(DX_V::PNT, nx) == 12 &&
              offsetof(DX_V::PNT, u) == 24);
static_assert(DX_V::TPC::FVF == 0x44 && sizeof(DX_V::TPC) == 20 && offsetof(DX_V::TPC, rhw) == 12 &&
              offsetof(DX_V::TPC, color) == 16);
static_assert(DX_V::TPCT::FVF == 0x144 && sizeof(DX_V::TPCT) == 28 && offsetof(DX_V::TPCT, color) == 16 &&
              offsetof(DX_V::TPCT, u) == 20);
