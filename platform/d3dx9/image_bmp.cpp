// Windows bitmaps: 1, 4 and 8-bit colour-mapped (plain or RLE8/RLE4), 16,
// 24 and 32-bit colour (plain or with channel masks), bottom-up (positive
// height) or top-down (negative height); core (12-byte) and info headers of
// every later size.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct Masks {
    uint32_t r = 0, g = 0, b = 0, a = 0;
};

float Channel(uint32_t v, uint32_t mask) {
    if (mask == 0) return 0.0f;
    uint32_t shift = static_cast<uint32_t>(std::countr_zero(mask));
    uint64_t max = (uint64_t{mask} >> shift);
    return static_cast<float>((v & mask) >> shift) / static_cast<float>(max);
}

// Runs of an RLE8/RLE4 picture into one index per pixel, rows bottom-up as
// stored. Pixels that a delta or an early end skips keep index 0.
bool DecodeRle(const BYTE* src, size_t size, bool four, UINT width, UINT height, std::vector<BYTE>* indices) {
    indices->assign(static_cast<size_t>(width) * height, 0);
    size_t in = 0;
    UINT x = 0, y = 0;
    auto put = [&](BYTE index) {
        if (x < width && y < height) (*indices)[static_cast<size_t>(y) * width + x] = index;
        ++x;
    };
    while (in < size) {
        if (size - in < 2) return false;
        BYTE count = src[in], value = src[in + 1];
        in += 2;
        if (count > 0) {  // a run: count pixels of value (two alternating nibbles for RLE4)
            if (x + count > width) return false;
            for (UINT i = 0; i < count; ++i) put(four ? ((i & 1) ? (value & 0x0f) : (value >> 4)) : value);
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                if (++y > height) return false;
                break;
            case 1:  // end of picture
                return true;
            case 2: {  // delta
                if (size - in < 2) return false;
                x += src[in];
                y += src[in + 1];
                in += 2;
                if (x > width || y > height) return false;
                break;
            }
            default: {  // `value` literal pixels, padded to a 16-bit boundary
                UINT n = value;
                size_t bytes = four ? (n + 1) / 2 : n;
                size_t padded = (bytes + 1) & ~size_t{1};
                if (size - in < padded || x + n > width) return false;
                for (UINT i = 0; i < n; ++i) {
                    BYTE b = src[in + (four ? i / 2 : i)];
                    put(four ? ((i & 1) ? (b & 0x0f) : (b >> 4)) : b);
                }
                in += padded;
                break;
            }
        }
    }
    return true;  // data ended without an end marker: what was decoded stands
}

}  // namespace

HRESULT DecodeBmp(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (size < kFileHeaderSize + 12 || data[0] != 'B' || data[1] != 'M') return D3DXERR_INVALIDDATA;
    const uint32_t pixelOffset = ReadU32(data + 10);
    const BYTE* dib = data + kFileHeaderSize;
    const uint32_t headerSize = ReadU32(dib);
    if (headerSize < 12 || headerSize > size - kFileHeaderSize) return D3DXERR_INVALIDDATA;

    int64_t width = 0, height = 0;
    UINT bits = 0;
    uint32_t compression = kBiRgb, colorsUsed = 0;
    Masks masks;
    size_t paletteEntryBytes = 4;
    size_t afterHeader = kFileHeaderSize + headerSize;
    if (headerSize == 12) {  // BITMAPCOREHEADER
        width = ReadU16(dib + 4);
        height = static_cast<int16_t>(ReadU16(dib + 6));
        bits = ReadU16(dib + 10);
        paletteEntryBytes = 3;
    } else {
        if (headerSize < 40) return D3DXERR_INVALIDDATA;
        width = static_cast<int32_t>(ReadU32(dib + 4));
        height = static_cast<int32_t>(ReadU32(dib + 8));
        bits = ReadU16(dib + 14);
        compression = ReadU32(dib + 16);
        colorsUsed = ReadU32(dib + 32);
        if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
            const BYTE* m = dib + 40;
            size_t maskCount = compression == kBiAlphaBitfields ? 4 : 3;
            if (headerSize == 40) {  // masks follow the header
                if (size - afterHeader < maskCount * 4) return D3DXERR_INVALIDDATA;
                afterHeader += maskCount * 4;
            } else if (headerSize < 40 + maskCount * 4) {
                return D3DXERR_INVALIDDATA;
            }
            masks.r = ReadU32(m);
            masks.g = ReadU32(m + 4);
            masks.b = ReadU32(m + 8);
            if (maskCount == 4 || headerSize >= 56) masks.a = ReadU32(m + 12);
        } else if (headerSize >= 56 && compression == kBiRgb && (bits == 16 || bits == 32)) {
            // Version 4/5 headers may name an alpha mask for plain pictures.
            masks.a = ReadU32(dib + 52);
        }
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || !ImageSizeAcceptable(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
        return D3DXERR_INVALIDDATA;
    const UINT w = static_cast<UINT>(width), h = static_cast<UINT>(height);

    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    if (!indexed && bits != 16 && bits != 24 && bits != 32) return D3DXERR_INVALIDDATA;
    const bool rle = compression == kBiRle8 || compression == kBiRle4;
    const bool masked = compression == kBiBitfields || compression == kBiAlphaBitfields;
    if (rle && ((compression == kBiRle8) != (bits == 8) || (compression == kBiRle4) != (bits == 4) || topDown))
        return D3DXERR_INVALIDDATA;
    if (masked && bits != 16 && bits != 32) return D3DXERR_INVALIDDATA;
    if (compression != kBiRgb && !rle && !masked) return D3DXERR_INVALIDDATA;

    // Colour map.
    std::vector<D3DCOLOR> palette;
    if (indexed) {
        // Without a count (always so in core headers) the map fills the gap
        // before the pixels, up to 2^bits entries.
        size_t entries = colorsUsed;
        if (entries == 0) {
            entries = size_t{1} << bits;
            if (pixelOffset > afterHeader) entries = std::min(entries, (pixelOffset - afterHeader) / paletteEntryBytes);
        }
        if (entries > 256) return D3DXERR_INVALIDDATA;
        if (afterHeader > size || size - afterHeader < entries * paletteEntryBytes) return D3DXERR_INVALIDDATA;
        palette.resize(entries);
        for (size_t i = 0; i < entries; ++i) {
            const BYTE* p = data + afterHeader + i * paletteEntryBytes;
            palette[i] = D3DCOLOR_XRGB(p[2], p[1], p[0]);
        }
    }

    // Output format: the exact Direct3D layout when the masks name one.
    D3DFORMAT out = D3DFMT_UNKNOWN;
    bool generic = false;
    if (indexed) {
        out = D3DFMT_X8R8G8B8;
    } else if (bits == 24) {
        out = D3DFMT_R8G8B8;
    } else if (bits == 16) {
        if (!masked) masks = {0x7c00, 0x03e0, 0x001f, masks.a};
        if (masks.r == 0xf800 && masks.g == 0x07e0 && masks.b == 0x001f && masks.a == 0) out = D3DFMT_R5G6B5;
        else if (masks.r == 0x7c00 && masks.g == 0x03e0 && masks.b == 0x001f && masks.a == 0) out = D3DFMT_X1R5G5B5;
        else if (masks.r == 0x7c00 && masks.g == 0x03e0 && masks.b == 0x001f && masks.a == 0x8000) out = D3DFMT_A1R5G5B5;
        else generic = true;
    } else {
        if (!masked) masks = {0x00ff0000, 0x0000ff00, 0x000000ff, masks.a};
        if (masks.r == 0x00ff0000 && masks.g == 0x0000ff00 && masks.b == 0x000000ff && masks.a == 0) out = D3DFMT_X8R8G8B8;
        else if (masks.r == 0x00ff0000 && masks.g == 0x0000ff00 && masks.b == 0x000000ff && masks.a == 0xff000000u)
            out = D3DFMT_A8R8G8B8;
        else generic = true;
    }
    if (generic) out = masks.a ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;

    if (pixelOffset > size) return D3DXERR_INVALIDDATA;
    const BYTE* pixels = data + pixelOffset;
    const size_t available = size - pixelOffset;
    const size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
    if (!rle && available < stride * (h - 1) + (static_cast<size_t>(w) * bits + 7) / 8) return D3DXERR_INVALIDDATA;
    // Run-length data needs at least an end of line or a delta for every 255
    // rows: a few bytes claiming millions of rows are refused unallocated.
    if (rle && available < 2 * ((static_cast<size_t>(h) + 254) / 255)) return D3DXERR_INVALIDDATA;

    *info = D3DXIMAGE_INFO{w, h, 1, 1, indexed ? D3DFMT_P8 : out, D3DRTYPE_TEXTURE, D3DXIFF_BMP};
    if (!image) return S_OK;

    std::vector<BYTE> rleIndices;
    if (rle) {
        try {
            if (!DecodeRle(pixels, available, compression == kBiRle4, w, h, &rleIndices)) return D3DXERR_INVALIDDATA;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    if (!image->Allocate(w, h, out)) return E_OUTOFMEMORY;
    const UINT outBytes = FindPixelFormat(out)->bytesPerPixel;
    for (UINT row = 0; row < h; ++row) {
        const UINT y = topDown ? row : h - 1 - row;
        BYTE* dst = image->Row(y);
        if (rle) {
            const BYTE* idx = rleIndices.data() + static_cast<size_t>(row) * w;
            for (UINT x = 0; x < w; ++x) {
                if (idx[x] >= palette.size()) return D3DXERR_INVALIDDATA;
                D3DCOLOR c = palette[idx[x]];
                std::memcpy(dst + x * 4, &c, 4);  // little-endian: B, G, R, A
            }
            continue;
        }
        const BYTE* line = pixels + stride * row;
        if (indexed) {
            for (UINT x = 0; x < w; ++x) {
                size_t bit = static_cast<size_t>(x) * bits;
                UINT index = (line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= palette.size()) return D3DXERR_INVALIDDATA;
                D3DCOLOR c = palette[index];
                std::memcpy(dst + x * 4, &c, 4);
            }
        } else if (!generic) {
            std::memcpy(dst, line, static_cast<size_t>(w) * outBytes);
        } else {
            std::vector<Color4> colours(w);
            for (UINT x = 0; x < w; ++x) {
                uint32_t v = bits == 16 ? ReadU16(line + x * 2) : ReadU32(line + x * 4);
                colours[x] = {Channel(v, masks.r), Channel(v, masks.g), Channel(v, masks.b),
                              masks.a ? Channel(v, masks.a) : 1.0f};
            }
            WriteRow(out, colours.data(), w, dst);
        }
    }
    return S_OK;
}

}  // namespace tessaloom::d3dx
