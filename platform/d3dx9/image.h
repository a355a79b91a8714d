// The neutral picture every image-file decoder produces, and the decoders.
//
// Each decoder (one file each: image_bmp.cpp, image_dds.cpp, image_jpeg.cpp,
// image_png.cpp, image_tga.cpp) checks the whole file against its own
// bounds, never reads past `size`, refuses pictures larger than the caps
// below before allocating, and fails with D3DXERR_INVALIDDATA on damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3dx9/d3dx9tex.h"

namespace tessaloom::d3dx {

// Largest picture side and pixel count a decoder accepts.
constexpr UINT kMaxImageSide = 16384;
constexpr uint64_t kMaxImagePixels = uint64_t{64} * 1024 * 1024;

inline bool ImageSizeAcceptable(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

// Rows top-down, `pitch` bytes apart, in `format` (an entry of the pixel
// format table: palettes are expanded and block-compressed data decoded).
struct DecodedImage {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT pitch = 0;
    std::vector<BYTE> pixels;

    // Sizes the pixel store; false (and nothing allocated) when the size is
    // refused or memory runs out.
    bool Allocate(UINT w, UINT h, D3DFORMAT f);
    BYTE* Row(UINT y) { return pixels.data() + static_cast<size_t>(y) * pitch; }
    const BYTE* Row(UINT y) const { return pixels.data() + static_cast<size_t>(y) * pitch; }
};

// One decoder: fills `info` always, and `image` when it is not null (a null
// image asks for the header only). S_OK or D3DXERR_INVALIDDATA.
using DecodeFn = HRESULT (*)(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);

HRESULT DecodeBmp(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);
HRESULT DecodeDds(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);
HRESULT DecodeJpeg(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);
HRESULT DecodePng(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);
HRESULT DecodeTga(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);

// Picks the decoder by the file's signature (TGA, which has none, last).
HRESULT DecodeImage(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image);

// Writes a DDS file of `levels` surfaces of one format (levels[0] the top,
// each level half the size of the one before, at least 1). Uncompressed
// formats of the pixel-format table only.
struct DdsLevel {
    const BYTE* bits;
    UINT pitch;
};
HRESULT EncodeDds(UINT width, UINT height, D3DFORMAT format, const std::vector<DdsLevel>& levels,
                  std::vector<BYTE>* file);

// Little-endian reads inside bounds the caller has checked.
inline uint16_t ReadU16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadU32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace tessaloom::d3dx
