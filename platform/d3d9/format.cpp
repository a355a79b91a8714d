#include "platform/d3d9/format.h"

namespace tessaloom::d3d9 {
namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, Z = GL_ZERO, O = GL_ONE;

// Memory layouts are D3D's: A8R8G8B8 is the bytes B, G, R, A; 16-bit formats
// are little-endian words with the first-named channel in the high bits.
// Formats without alpha sample as opaque; A8 samples as (0, 0, 0, a).
const FormatInfo kFormats[] = {
    // format, name, bytes, compressed, internal, client format, client type, swizzle,
    // texture, render target, display, depth bits, stencil bits
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, true, true, false, 0, 0},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, false, GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, O}, true, true, true, 0, 0},
    {D3DFMT_R8G8B8, "R8G8B8", 3, false, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {R, G, B, O}, true, false, false, 0, 0},
    {D3DFMT_R5G6B5, "R5G6B5", 2, false, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, O}, true, true, true, 0, 0},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, false, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, O}, true, true, true, 0, 0},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, false, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, true, true, false, 0, 0},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, false, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 2, false, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, O}, true, false, false, 0, 0},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", 4, false, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_X8B8G8R8, "X8B8G8R8", 4, false, GL_RGB8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, O}, true, false, false, 0, 0},
    {D3DFMT_A8, "A8", 1, false, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {Z, Z, Z, R}, true, false, false, 0, 0},
    {D3DFMT_L8, "L8", 1, false, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, O}, true, false, false, 0, 0},
    {D3DFMT_A8L8, "A8L8", 2, false, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, true, false, false, 0, 0},
    // Signed bump formats: bytes (or words) U then V.
    {D3DFMT_V8U8, "V8U8", 2, false, GL_RG8_SNORM, GL_RG, GL_BYTE, {R, G, O, O}, true, false, false, 0, 0},
    {D3DFMT_V16U16, "V16U16", 4, false, GL_RG16_SNORM, GL_RG, GL_SHORT, {R, G, O, O}, true, false, false, 0, 0},
    // Bytes U, V, W, Q; a bump stage reads U and V.
    {D3DFMT_Q8W8V8U8, "Q8W8V8U8", 4, false, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_DXT1, "DXT1", 8, true, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_DXT3, "DXT3", 16, true, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_DXT5, "DXT5", 16, true, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, true, false, false, 0, 0},
    {D3DFMT_D16, "D16", 2, false, GL_DEPTH_COMPONENT16, 0, 0, {R, G, B, A}, false, false, false, 16, 0},
    {D3DFMT_D24X8, "D24X8", 4, false, GL_DEPTH_COMPONENT24, 0, 0, {R, G, B, A}, false, false, false, 24, 0},
    {D3DFMT_D24S8, "D24S8", 4, false, GL_DEPTH24_STENCIL8, 0, 0, {R, G, B, A}, false, false, false, 24, 8},
    {D3DFMT_D32, "D32", 4, false, GL_DEPTH_COMPONENT32, 0, 0, {R, G, B, A}, false, false, false, 32, 0},
    // Index data.
    {D3DFMT_INDEX16, "INDEX16", 2, false, 0, 0, 0, {R, G, B, A}, false, false, false, 0, 0},
    {D3DFMT_INDEX32, "INDEX32", 4, false, 0, 0, 0, {R, G, B, A}, false, false, false, 0, 0},
};

}  // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats)
        if (info.format == format) return &info;
    return nullptr;
}

GLenum SampledInternalFormat(const FormatInfo& info) {
    const bool bgra8 = info.pixelFormat == GL_BGRA && info.pixelType == GL_UNSIGNED_INT_8_8_8_8_REV;
    const bool rgba8 = info.pixelFormat == GL_RGBA && info.pixelType == GL_UNSIGNED_BYTE;
    return (bgra8 || rgba8) && !info.compressed ? GL_RGBA : info.internal;
}

UINT RowPitch(const FormatInfo& info, UINT width) {
    if (info.compressed) return ((width + 3) / 4) * info.bytes;
    return width * info.bytes;
}

UINT RowCount(const FormatInfo& info, UINT height) { return info.compressed ? (height + 3) / 4 : height; }

}  // namespace tessaloom::d3d9
