// The check every picture-decoder fuzz target makes: any input either fails
// cleanly or yields a picture whose every row can be read back, and a full
// decode agrees with the header-only decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

template <class Decoder>
int FuzzDecoder(Decoder decode, const uint8_t* data, size_t size) {
    using namespace tessaloom::d3dx;
    D3DXIMAGE_INFO header{};
    HRESULT headerResult = decode(data, size, &header, nullptr);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    if (FAILED(decode(data, size, &info, &image))) return 0;
    if (FAILED(headerResult) || header.Width != info.Width || header.Height != info.Height) __builtin_trap();
    if (image.width != info.Width || image.height != info.Height) __builtin_trap();
    if (image.pixels.size() != static_cast<size_t>(image.pitch) * image.height) __builtin_trap();
    std::vector<Color4> row(image.width);
    for (UINT y = 0; y < image.height; ++y)
        if (!ReadRow(image.format, image.Row(y), image.width, row.data())) __builtin_trap();
    return 0;
}
