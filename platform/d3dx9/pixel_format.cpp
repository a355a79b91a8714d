// Pixel-format table and row conversion. Stored pixels are little-endian:
// A8R8G8B8 is the 32-bit value 0xAARRGGBB, bytes B, G, R, A in memory.
#include "platform/d3dx9/pixel_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaloom::d3dx {
namespace {

constexpr PixelFormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, 4, true, false},  {D3DFMT_X8R8G8B8, 4, false, false}, {D3DFMT_A8B8G8R8, 4, true, false},
    {D3DFMT_X8B8G8R8, 4, false, false}, {D3DFMT_R8G8B8, 3, false, false},   {D3DFMT_R5G6B5, 2, false, false},
    {D3DFMT_X1R5G5B5, 2, false, false}, {D3DFMT_A1R5G5B5, 2, true, false},  {D3DFMT_A4R4G4B4, 2, true, false},
    {D3DFMT_X4R4G4B4, 2, false, false}, {D3DFMT_A8, 1, true, false},        {D3DFMT_L8, 1, false, false},
    {D3DFMT_A8L8, 2, true, false},      {D3DFMT_V8U8, 2, false, true},      {D3DFMT_V16U16, 4, false, true},
    {D3DFMT_Q8W8V8U8, 4, false, true},  {D3DFMT_A2R10G10B10, 4, true, false},
};

inline float Unorm(uint32_t v, uint32_t max) { return static_cast<float>(v) / static_cast<float>(max); }

inline uint32_t ToUnorm(float f, uint32_t max) {
    if (!(f > 0.0f)) return 0;  // NaN too
    if (f >= 1.0f) return max;
    return static_cast<uint32_t>(f * static_cast<float>(max) + 0.5f);
}

inline float Snorm(int32_t v, int32_t max) { return std::max(-1.0f, static_cast<float>(v) / static_cast<float>(max)); }

inline int32_t ToSnorm(float f, int32_t max) {
    if (std::isnan(f)) return 0;
    f = std::clamp(f, -1.0f, 1.0f);
    return static_cast<int32_t>(std::lround(f * static_cast<float>(max)));
}

inline uint32_t Load(const BYTE* p, UINT bytes) {
    uint32_t v = 0;
    for (UINT i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

inline void Store(BYTE* p, UINT bytes, uint32_t v) {
    for (UINT i = 0; i < bytes; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

// Luminance weights of the ITU-R BT.601 primaries.
inline float Luminance(const Color4& c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

}  // namespace

const PixelFormatInfo* FindPixelFormat(D3DFORMAT format) {
    for (const PixelFormatInfo& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

bool IsBlockCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

size_t RowBytes(D3DFORMAT format, UINT width) {
    if (IsBlockCompressed(format)) {
        size_t blocks = (static_cast<size_t>(width) + 3) / 4;
        return blocks * (format == D3DFMT_DXT1 ? 8 : 16);
    }
    const PixelFormatInfo* f = FindPixelFormat(format);
    return f ? static_cast<size_t>(width) * f->bytesPerPixel : 0;
}

UINT StorageRows(D3DFORMAT format, UINT height) { return IsBlockCompressed(format) ? (height + 3) / 4 : height; }

D3DCOLOR ToArgb(const Color4& c) {
    return (ToUnorm(c.a, 255) << 24) | (ToUnorm(c.r, 255) << 16) | (ToUnorm(c.g, 255) << 8) | ToUnorm(c.b, 255);
}

bool ReadRow(D3DFORMAT format, const BYTE* src, UINT count, Color4* out) {
    const PixelFormatInfo* info = FindPixelFormat(format);
    if (!info) return false;
    const UINT bpp = info->bytesPerPixel;
    for (UINT i = 0; i < count; ++i, src += bpp) {
        uint32_t v = Load(src, bpp);
        Color4& c = out[i];
        switch (format) {
            case D3DFMT_A8R8G8B8:
            case D3DFMT_X8R8G8B8:
                c = {Unorm((v >> 16) & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm(v & 0xff, 255),
                     format == D3DFMT_A8R8G8B8 ? Unorm(v >> 24, 255) : 1.0f};
                break;
            case D3DFMT_A8B8G8R8:
            case D3DFMT_X8B8G8R8:
                c = {Unorm(v & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm((v >> 16) & 0xff, 255),
                     format == D3DFMT_A8B8G8R8 ? Unorm(v >> 24, 255) : 1.0f};
                break;
            case D3DFMT_R8G8B8:
                c = {Unorm((v >> 16) & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm(v & 0xff, 255), 1.0f};
                break;
            case D3DFMT_R5G6B5:
                c = {Unorm((v >> 11) & 31, 31), Unorm((v >> 5) & 63, 63), Unorm(v & 31, 31), 1.0f};
                break;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5:
                c = {Unorm((v >> 10) & 31, 31), Unorm((v >> 5) & 31, 31), Unorm(v & 31, 31),
                     format == D3DFMT_A1R5G5B5 ? static_cast<float>((v >> 15) & 1) : 1.0f};
                break;
            case D3DFMT_A4R4G4B4:
            case D3DFMT_X4R4G4B4:
                c = {Unorm((v >> 8) & 15, 15), Unorm((v >> 4) & 15, 15), Unorm(v & 15, 15),
                     format == D3DFMT_A4R4G4B4 ? Unorm((v >> 12) & 15, 15) : 1.0f};
                break;
            case D3DFMT_A2R10G10B10:
                c = {Unorm((v >> 20) & 1023, 1023), Unorm((v >> 10) & 1023, 1023), Unorm(v & 1023, 1023),
                     Unorm(v >> 30, 3)};
                break;
            case D3DFMT_A8:
                c = {0.0f, 0.0f, 0.0f, Unorm(v, 255)};
                break;
            case D3DFMT_L8: {
                float l = Unorm(v, 255);
                c = {l, l, l, 1.0f};
                break;
            }
            case D3DFMT_A8L8: {
                float l = Unorm(v & 0xff, 255);
                c = {l, l, l, Unorm(v >> 8, 255)};
                break;
            }
            case D3DFMT_V8U8:
                c = {Snorm(static_cast<int8_t>(v & 0xff), 127), Snorm(static_cast<int8_t>(v >> 8), 127), 0.0f, 1.0f};
                break;
            case D3DFMT_V16U16:
                c = {Snorm(static_cast<int16_t>(v & 0xffff), 32767), Snorm(static_cast<int16_t>(v >> 16), 32767), 0.0f,
                     1.0f};
                break;
            case D3DFMT_Q8W8V8U8:
                c = {Snorm(static_cast<int8_t>(v & 0xff), 127), Snorm(static_cast<int8_t>((v >> 8) & 0xff), 127),
                     Snorm(static_cast<int8_t>((v >> 16) & 0xff), 127), Snorm(static_cast<int8_t>(v >> 24), 127)};
                break;
            default:
                return false;
        }
    }
    return true;
}

bool WriteRow(D3DFORMAT format, const Color4* in, UINT count, BYTE* dst) {
    const PixelFormatInfo* info = FindPixelFormat(format);
    if (!info) return false;
    const UINT bpp = info->bytesPerPixel;
    for (UINT i = 0; i < count; ++i, dst += bpp) {
        const Color4& c = in[i];
        uint32_t v = 0;
        switch (format) {
            case D3DFMT_A8R8G8B8:
            case D3DFMT_X8R8G8B8:
                v = ((format == D3DFMT_A8R8G8B8 ? ToUnorm(c.a, 255) : 255u) << 24) | (ToUnorm(c.r, 255) << 16) |
                    (ToUnorm(c.g, 255) << 8) | ToUnorm(c.b, 255);
                break;
            case D3DFMT_A8B8G8R8:
            case D3DFMT_X8B8G8R8:
                v = ((format == D3DFMT_A8B8G8R8 ? ToUnorm(c.a, 255) : 255u) << 24) | (ToUnorm(c.b, 255) << 16) |
                    (ToUnorm(c.g, 255) << 8) | ToUnorm(c.r, 255);
                break;
            case D3DFMT_R8G8B8:
                v = (ToUnorm(c.r, 255) << 16) | (ToUnorm(c.g, 255) << 8) | ToUnorm(c.b, 255);
                break;
            case D3DFMT_R5G6B5:
                v = (ToUnorm(c.r, 31) << 11) | (ToUnorm(c.g, 63) << 5) | ToUnorm(c.b, 31);
                break;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5:
                v = ((format == D3DFMT_A1R5G5B5 ? ToUnorm(c.a, 1) : 1u) << 15) | (ToUnorm(c.r, 31) << 10) |
                    (ToUnorm(c.g, 31) << 5) | ToUnorm(c.b, 31);
                break;
            case D3DFMT_A4R4G4B4:
            case D3DFMT_X4R4G4B4:
                v = ((format == D3DFMT_A4R4G4B4 ? ToUnorm(c.a, 15) : 15u) << 12) | (ToUnorm(c.r, 15) << 8) |
                    (ToUnorm(c.g, 15) << 4) | ToUnorm(c.b, 15);
                break;
            case D3DFMT_A2R10G10B10:
                v = (ToUnorm(c.a, 3) << 30) | (ToUnorm(c.r, 1023) << 20) | (ToUnorm(c.g, 1023) << 10) |
                    ToUnorm(c.b, 1023);
                break;
            case D3DFMT_A8:
                v = ToUnorm(c.a, 255);
                break;
            case D3DFMT_L8:
                v = ToUnorm(Luminance(c), 255);
                break;
            case D3DFMT_A8L8:
                v = (ToUnorm(c.a, 255) << 8) | ToUnorm(Luminance(c), 255);
                break;
            case D3DFMT_V8U8:
                v = (static_cast<uint32_t>(ToSnorm(c.r, 127)) & 0xff) |
                    ((static_cast<uint32_t>(ToSnorm(c.g, 127)) & 0xff) << 8);
                break;
            case D3DFMT_V16U16:
                v = (static_cast<uint32_t>(ToSnorm(c.r, 32767)) & 0xffff) |
                    ((static_cast<uint32_t>(ToSnorm(c.g, 32767)) & 0xffff) << 16);
                break;
            case D3DFMT_Q8W8V8U8:
                v = (static_cast<uint32_t>(ToSnorm(c.r, 127)) & 0xff) |
                    ((static_cast<uint32_t>(ToSnorm(c.g, 127)) & 0xff) << 8) |
                    ((static_cast<uint32_t>(ToSnorm(c.b, 127)) & 0xff) << 16) |
                    ((static_cast<uint32_t>(ToSnorm(c.a, 127)) & 0xff) << 24);
                break;
            default:
                return false;
        }
        Store(dst, bpp, v);
    }
    return true;
}

}  // namespace tessaloom::d3dx
