// The D3DX stand-in's pixel-format table: one entry per uncompressed format
// that pictures are decoded into and textures are loaded from or into, with
// row conversion to and from four floats per pixel.
//
// Channel meaning of the floats: r, g, b, a in 0..1 for colour formats;
// the signed bump formats (V8U8, V16U16, Q8W8V8U8) carry U in r, V in g
// (then W in b, Q in a), each in -1..1. A format without alpha reads a = 1;
// a format without colour (A8) reads r = g = b = 0; L8 reads r = g = b = L.
#pragma once

#include <cstddef>

#include "platform/d3d9/d3d9types.h"

namespace tessaloom::d3dx {

struct Color4 {
    float r, g, b, a;
};

struct PixelFormatInfo {
    D3DFORMAT format;
    UINT bytesPerPixel;
    bool hasAlpha;
    bool isSigned;  // bump-map formats
};

// Null for formats this table does not hold (block-compressed, palettes, depth).
const PixelFormatInfo* FindPixelFormat(D3DFORMAT format);

// Bytes of one row (block-compressed formats: of one row of 4x4 blocks);
// 0 for unknown formats.
size_t RowBytes(D3DFORMAT format, UINT width);
// Rows of storage for `height` pixel rows (height / 4 rounded up for DXT).
UINT StorageRows(D3DFORMAT format, UINT height);
bool IsBlockCompressed(D3DFORMAT format);

// Convert `count` pixels of one row. Both return false for formats the table
// does not hold. Writing clamps, rounds to nearest, and fills unused (X)
// bits with ones.
bool ReadRow(D3DFORMAT format, const BYTE* src, UINT count, Color4* out);
bool WriteRow(D3DFORMAT format, const Color4* in, UINT count, BYTE* dst);

// A8R8G8B8 value of a colour (clamped, rounded): used for the colour key.
D3DCOLOR ToArgb(const Color4& c);

}  // namespace tessaloom::d3dx
