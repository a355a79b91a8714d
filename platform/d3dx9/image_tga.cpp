// Truevision TGA: colour-mapped, true-colour and grey pictures, plain or
// run-length encoded; 8-bit indices or grey, 15/16/24/32-bit colour; any
// of the four origins.
//
// Header (18 bytes, little-endian): id length, colour-map type, image type,
// first map entry (u16), map length (u16), map entry bits, x/y origin (u16
// each, ignored), width, height (u16), pixel bits, descriptor (bits 0-3:
// alpha bits; bit 4: right to left; bit 5: top to bottom). Then the id, the
// colour map and the pixels. Stored colours are B, G, R(, A) bytes, and
// 15/16-bit colours are A1R5G5B5 words: the same memory layout as the
// Direct3D formats they are decoded into.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {
namespace {

constexpr size_t kHeaderSize = 18;

enum TgaType : BYTE {
    kColourMapped = 1,
    kTrueColour = 2,
    kGrey = 3,
    kRleColourMapped = 9,
    kRleTrueColour = 10,
    kRleGrey = 11,
};

struct TgaHeader {
    BYTE idLength, mapType, type;
    UINT mapFirst, mapLength, mapBits;
    UINT width, height, pixelBits;
    UINT alphaBits;
    bool rightToLeft, topDown;
};

D3DFORMAT ColourFormat(UINT bits, UINT alphaBits) {
    switch (bits) {
        case 15: return D3DFMT_X1R5G5B5;
        case 16: return alphaBits > 0 ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
        case 24: return D3DFMT_R8G8B8;
        case 32: return alphaBits > 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        default: return D3DFMT_UNKNOWN;
    }
}

// Expands one stored colour of `bits` bits to A8R8G8B8.
D3DCOLOR ExpandColour(const BYTE* p, UINT bits, bool alpha) {
    D3DFORMAT f = ColourFormat(bits, alpha ? 8 : 0);
    Color4 c;
    ReadRow(f, p, 1, &c);
    return ToArgb(c);
}

}  // namespace

HRESULT DecodeTga(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (size < kHeaderSize) return D3DXERR_INVALIDDATA;
    TgaHeader h{};
    h.idLength = data[0];
    h.mapType = data[1];
    h.type = data[2];
    h.mapFirst = ReadU16(data + 3);
    h.mapLength = ReadU16(data + 5);
    h.mapBits = data[7];
    h.width = ReadU16(data + 12);
    h.height = ReadU16(data + 14);
    h.pixelBits = data[16];
    h.alphaBits = data[17] & 0x0f;
    h.rightToLeft = (data[17] & 0x10) != 0;
    h.topDown = (data[17] & 0x20) != 0;

    const bool rle = h.type == kRleColourMapped || h.type == kRleTrueColour || h.type == kRleGrey;
    const BYTE base = rle ? static_cast<BYTE>(h.type - 8) : h.type;
    if (base != kColourMapped && base != kTrueColour && base != kGrey) return D3DXERR_INVALIDDATA;
    if (h.mapType > 1 || (data[17] & 0xc0) != 0) return D3DXERR_INVALIDDATA;
    if (!ImageSizeAcceptable(h.width, h.height)) return D3DXERR_INVALIDDATA;

    // What each stored pixel is, and what it becomes.
    D3DFORMAT fileFormat = D3DFMT_UNKNOWN, outFormat = D3DFMT_UNKNOWN;
    bool mapHasAlpha = false;
    if (base == kColourMapped) {
        if (h.mapType != 1 || h.pixelBits != 8 || h.mapLength == 0) return D3DXERR_INVALIDDATA;
        if (ColourFormat(h.mapBits, 0) == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;
        mapHasAlpha = (h.mapBits == 32 || h.mapBits == 16) && h.alphaBits > 0;
        fileFormat = D3DFMT_P8;
        outFormat = mapHasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    } else if (base == kTrueColour) {
        fileFormat = outFormat = ColourFormat(h.pixelBits, h.alphaBits);
        if (fileFormat == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;
    } else {
        if (h.pixelBits != 8) return D3DXERR_INVALIDDATA;
        fileFormat = outFormat = D3DFMT_L8;
    }
    const UINT pixelBytes = (h.pixelBits + 7) / 8;

    // Layout: id, colour map, pixels; every part inside the file.
    size_t offset = kHeaderSize + h.idLength;
    const BYTE* map = nullptr;
    const UINT mapEntryBytes = (h.mapBits + 7) / 8;
    if (h.mapType == 1) {
        if (h.mapBits != 15 && h.mapBits != 16 && h.mapBits != 24 && h.mapBits != 32) return D3DXERR_INVALIDDATA;
        size_t mapBytes = static_cast<size_t>(h.mapLength) * mapEntryBytes;
        if (offset > size || size - offset < mapBytes) return D3DXERR_INVALIDDATA;
        map = data + offset;
        offset += mapBytes;
    }
    if (offset > size) return D3DXERR_INVALIDDATA;
    const BYTE* src = data + offset;
    const size_t available = size - offset;
    const size_t pixelCount = static_cast<size_t>(h.width) * h.height;
    // A run packet holds at most 128 pixels in 1 + pixelBytes bytes.
    const size_t minimum = rle ? (pixelCount + 127) / 128 * (1 + pixelBytes) : pixelCount * pixelBytes;
    if (available < minimum) return D3DXERR_INVALIDDATA;

    *info = D3DXIMAGE_INFO{h.width, h.height, 1, 1, fileFormat, D3DRTYPE_TEXTURE, D3DXIFF_TGA};
    if (!image) return S_OK;

    // Stored pixels in file order, unpacked from runs when encoded.
    std::vector<BYTE> stored;
    const BYTE* pixels = src;
    if (rle) {
        try {
            stored.resize(pixelCount * pixelBytes);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        size_t in = 0, out = 0;
        const size_t total = stored.size();
        while (out < total) {
            if (in >= available) return D3DXERR_INVALIDDATA;
            BYTE packet = src[in++];
            size_t count = static_cast<size_t>(packet & 0x7f) + 1;
            size_t bytes = count * pixelBytes;
            if (bytes > total - out) return D3DXERR_INVALIDDATA;  // a run past the picture's end
            if (packet & 0x80) {
                if (available - in < pixelBytes) return D3DXERR_INVALIDDATA;
                for (size_t i = 0; i < count; ++i) std::memcpy(&stored[out + i * pixelBytes], src + in, pixelBytes);
                in += pixelBytes;
            } else {
                if (available - in < bytes) return D3DXERR_INVALIDDATA;
                std::memcpy(&stored[out], src + in, bytes);
                in += bytes;
            }
            out += bytes;
        }
        pixels = stored.data();
    }

    // A colour map expanded to A8R8G8B8 once.
    std::vector<D3DCOLOR> palette;
    if (base == kColourMapped) {
        palette.resize(h.mapLength);
        for (UINT i = 0; i < h.mapLength; ++i)
            palette[i] = ExpandColour(map + static_cast<size_t>(i) * mapEntryBytes, h.mapBits, mapHasAlpha);
    }

    // 32-bit pictures whose header counts no alpha bits but whose fourth
    // bytes are not all zero were written by tools that leave the count out:
    // their alpha is kept. All-zero fourth bytes mean no alpha.
    if (base == kTrueColour && h.pixelBits == 32 && h.alphaBits == 0) {
        for (size_t i = 3; i < pixelCount * 4; i += 4)
            if (pixels[i] != 0) {
                outFormat = D3DFMT_A8R8G8B8;
                break;
            }
    }

    if (!image->Allocate(h.width, h.height, outFormat)) return E_OUTOFMEMORY;
    const UINT outBytes = FindPixelFormat(outFormat)->bytesPerPixel;
    for (UINT row = 0; row < h.height; ++row) {
        const BYTE* line = pixels + static_cast<size_t>(row) * h.width * pixelBytes;
        UINT y = h.topDown ? row : h.height - 1 - row;
        BYTE* dst = image->Row(y);
        if (base != kColourMapped && !h.rightToLeft && outBytes == pixelBytes) {
            std::memcpy(dst, line, static_cast<size_t>(h.width) * pixelBytes);  // stored as the format lays it out
            continue;
        }
        for (UINT col = 0; col < h.width; ++col) {
            UINT x = h.rightToLeft ? h.width - 1 - col : col;
            const BYTE* p = line + static_cast<size_t>(col) * pixelBytes;
            BYTE* q = dst + static_cast<size_t>(x) * outBytes;
            if (base == kColourMapped) {
                UINT index = p[0];
                if (index < h.mapFirst || index - h.mapFirst >= h.mapLength) return D3DXERR_INVALIDDATA;
                D3DCOLOR c = palette[index - h.mapFirst];
                q[0] = static_cast<BYTE>(c);
                q[1] = static_cast<BYTE>(c >> 8);
                q[2] = static_cast<BYTE>(c >> 16);
                q[3] = static_cast<BYTE>(c >> 24);
            } else {
                std::memcpy(q, p, pixelBytes);
            }
        }
    }
    return S_OK;
}

}  // namespace tessaloom::d3dx
