// A PNG of black pixels (every sample 0) of any size, written row by row so
// that even a picture of 64 M pixels is made without holding it: its file is
// small (zeros compress about 1000 : 1), its decoded picture is not.
#pragma once

#include <png.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace zeropng {

// channels 1: 8-bit grey; 3: 8-bit RGB.
inline std::vector<uint8_t> Make(uint32_t width, uint32_t height, int channels) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row(static_cast<size_t>(width) * channels, 0);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png write");
    }
    png_set_write_fn(
        png, &out,
        [](png_structp s, png_bytep d, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(s));
            v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 8, channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace zeropng
