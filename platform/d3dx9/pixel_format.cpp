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

namespace {

// One conversion over a row, the format chosen once per row: `convert`
// turns one stored value of `Bytes` bytes into a colour, or back.
template <UINT Bytes, typename Convert>
bool ReadPixels(const BYTE* src, UINT count, Color4* out, Convert convert) {
    for (UINT i = 0; i < count; ++i, src += Bytes) out[i] = convert(Load(src, Bytes));
    return true;
}

template <UINT Bytes, typename Convert>
bool WritePixels(const Color4* in, UINT count, BYTE* dst, Convert convert) {
    for (UINT i = 0; i < count; ++i, dst += Bytes) Store(dst, Bytes, convert(in[i]));
    return true;
}

}  // namespace

bool ReadRow(D3DFORMAT format, const BYTE* src, UINT count, Color4* out) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 16) & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm(v & 0xff, 255),
                              Unorm(v >> 24, 255)};
            });
        case D3DFMT_X8R8G8B8:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 16) & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm(v & 0xff, 255), 1.0f};
            });
        case D3DFMT_A8B8G8R8:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Unorm(v & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm((v >> 16) & 0xff, 255),
                              Unorm(v >> 24, 255)};
            });
        case D3DFMT_X8B8G8R8:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Unorm(v & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm((v >> 16) & 0xff, 255), 1.0f};
            });
        case D3DFMT_R8G8B8:
            return ReadPixels<3>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 16) & 0xff, 255), Unorm((v >> 8) & 0xff, 255), Unorm(v & 0xff, 255), 1.0f};
            });
        case D3DFMT_R5G6B5:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 11) & 31, 31), Unorm((v >> 5) & 63, 63), Unorm(v & 31, 31), 1.0f};
            });
        case D3DFMT_X1R5G5B5:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 10) & 31, 31), Unorm((v >> 5) & 31, 31), Unorm(v & 31, 31), 1.0f};
            });
        case D3DFMT_A1R5G5B5:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 10) & 31, 31), Unorm((v >> 5) & 31, 31), Unorm(v & 31, 31),
                              static_cast<float>((v >> 15) & 1)};
            });
        case D3DFMT_A4R4G4B4:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 8) & 15, 15), Unorm((v >> 4) & 15, 15), Unorm(v & 15, 15),
                              Unorm((v >> 12) & 15, 15)};
            });
        case D3DFMT_X4R4G4B4:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 8) & 15, 15), Unorm((v >> 4) & 15, 15), Unorm(v & 15, 15), 1.0f};
            });
        case D3DFMT_A2R10G10B10:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Unorm((v >> 20) & 1023, 1023), Unorm((v >> 10) & 1023, 1023), Unorm(v & 1023, 1023),
                              Unorm(v >> 30, 3)};
            });
        case D3DFMT_A8:
            return ReadPixels<1>(src, count, out, [](uint32_t v) { return Color4{0.0f, 0.0f, 0.0f, Unorm(v, 255)}; });
        case D3DFMT_L8:
            return ReadPixels<1>(src, count, out, [](uint32_t v) {
                const float l = Unorm(v, 255);
                return Color4{l, l, l, 1.0f};
            });
        case D3DFMT_A8L8:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                const float l = Unorm(v & 0xff, 255);
                return Color4{l, l, l, Unorm(v >> 8, 255)};
            });
        case D3DFMT_V8U8:
            return ReadPixels<2>(src, count, out, [](uint32_t v) {
                return Color4{Snorm(static_cast<int8_t>(v & 0xff), 127), Snorm(static_cast<int8_t>(v >> 8), 127), 0.0f,
                              1.0f};
            });
        case D3DFMT_V16U16:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Snorm(static_cast<int16_t>(v & 0xffff), 32767),
                              Snorm(static_cast<int16_t>(v >> 16), 32767), 0.0f, 1.0f};
            });
        case D3DFMT_Q8W8V8U8:
            return ReadPixels<4>(src, count, out, [](uint32_t v) {
                return Color4{Snorm(static_cast<int8_t>(v & 0xff), 127), Snorm(static_cast<int8_t>((v >> 8) & 0xff), 127),
                              Snorm(static_cast<int8_t>((v >> 16) & 0xff), 127), Snorm(static_cast<int8_t>(v >> 24), 127)};
            });
        default:
            return false;
    }
}

bool WriteRow(D3DFORMAT format, const Color4* in, UINT count, BYTE* dst) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 255) << 24) | (ToUnorm(c.r, 255) << 16) | (ToUnorm(c.g, 255) << 8) |
                       ToUnorm(c.b, 255);
            });
        case D3DFMT_X8R8G8B8:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (255u << 24) | (ToUnorm(c.r, 255) << 16) | (ToUnorm(c.g, 255) << 8) | ToUnorm(c.b, 255);
            });
        case D3DFMT_A8B8G8R8:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 255) << 24) | (ToUnorm(c.b, 255) << 16) | (ToUnorm(c.g, 255) << 8) |
                       ToUnorm(c.r, 255);
            });
        case D3DFMT_X8B8G8R8:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (255u << 24) | (ToUnorm(c.b, 255) << 16) | (ToUnorm(c.g, 255) << 8) | ToUnorm(c.r, 255);
            });
        case D3DFMT_R8G8B8:
            return WritePixels<3>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.r, 255) << 16) | (ToUnorm(c.g, 255) << 8) | ToUnorm(c.b, 255);
            });
        case D3DFMT_R5G6B5:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.r, 31) << 11) | (ToUnorm(c.g, 63) << 5) | ToUnorm(c.b, 31);
            });
        case D3DFMT_X1R5G5B5:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (1u << 15) | (ToUnorm(c.r, 31) << 10) | (ToUnorm(c.g, 31) << 5) | ToUnorm(c.b, 31);
            });
        case D3DFMT_A1R5G5B5:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 1) << 15) | (ToUnorm(c.r, 31) << 10) | (ToUnorm(c.g, 31) << 5) | ToUnorm(c.b, 31);
            });
        case D3DFMT_A4R4G4B4:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 15) << 12) | (ToUnorm(c.r, 15) << 8) | (ToUnorm(c.g, 15) << 4) | ToUnorm(c.b, 15);
            });
        case D3DFMT_X4R4G4B4:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (15u << 12) | (ToUnorm(c.r, 15) << 8) | (ToUnorm(c.g, 15) << 4) | ToUnorm(c.b, 15);
            });
        case D3DFMT_A2R10G10B10:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 3) << 30) | (ToUnorm(c.r, 1023) << 20) | (ToUnorm(c.g, 1023) << 10) |
                       ToUnorm(c.b, 1023);
            });
        case D3DFMT_A8:
            return WritePixels<1>(in, count, dst, [](const Color4& c) { return ToUnorm(c.a, 255); });
        case D3DFMT_L8:
            return WritePixels<1>(in, count, dst, [](const Color4& c) { return ToUnorm(Luminance(c), 255); });
        case D3DFMT_A8L8:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (ToUnorm(c.a, 255) << 8) | ToUnorm(Luminance(c), 255);
            });
        case D3DFMT_V8U8:
            return WritePixels<2>(in, count, dst, [](const Color4& c) {
                return (static_cast<uint32_t>(ToSnorm(c.r, 127)) & 0xff) |
                       ((static_cast<uint32_t>(ToSnorm(c.g, 127)) & 0xff) << 8);
            });
        case D3DFMT_V16U16:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (static_cast<uint32_t>(ToSnorm(c.r, 32767)) & 0xffff) |
                       ((static_cast<uint32_t>(ToSnorm(c.g, 32767)) & 0xffff) << 16);
            });
        case D3DFMT_Q8W8V8U8:
            return WritePixels<4>(in, count, dst, [](const Color4& c) {
                return (static_cast<uint32_t>(ToSnorm(c.r, 127)) & 0xff) |
                       ((static_cast<uint32_t>(ToSnorm(c.g, 127)) & 0xff) << 8) |
                       ((static_cast<uint32_t>(ToSnorm(c.b, 127)) & 0xff) << 16) |
                       ((static_cast<uint32_t>(ToSnorm(c.a, 127)) & 0xff) << 24);
            });
        default:
            return false;
    }
}

}  // namespace tessaloom::d3dx
