// Image files built in code for the decoder tests and the fuzz seeds: each
// writer takes a picture as A8R8G8B8 values, rows top-down, and produces the
// bytes of one file variant.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace testimg {

using Bytes = std::vector<uint8_t>;

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> argb;  // rows top-down
    uint32_t at(uint32_t x, uint32_t y) const { return argb[y * width + x]; }
};

// Every pixel distinct, alpha varying: odd sizes catch row-padding faults.
inline Picture Gradient(uint32_t w, uint32_t h, bool alpha = true) {
    Picture p{w, h, {}};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t a = alpha ? (0x40 + 0x30 * ((x + y) % 5)) & 0xff : 0xff;
            p.argb.push_back((a << 24) | ((x * 40 + 10) & 0xff) << 16 | ((y * 60 + 20) & 0xff) << 8 |
                             ((x * 13 + y * 29 + 5) & 0xff));
        }
    return p;
}

// Pixels drawn from a few colours (for colour-mapped files).
inline Picture FewColours(uint32_t w, uint32_t h, const std::vector<uint32_t>& colours) {
    Picture p{w, h, {}};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) p.argb.push_back(colours[(x + 2 * y) % colours.size()]);
    return p;
}

inline uint32_t ReadU32At(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

// One pixel in a Direct3D layout (little-endian bytes of `format`).
inline Bytes Encode(D3DFORMAT format, uint32_t argb) {
    using namespace tessaloom::d3dx;
    Color4 c{((argb >> 16) & 0xff) / 255.0f, ((argb >> 8) & 0xff) / 255.0f, (argb & 0xff) / 255.0f,
             (argb >> 24) / 255.0f};
    Bytes out(FindPixelFormat(format)->bytesPerPixel);
    WriteRow(format, &c, 1, out.data());
    return out;
}

// The value a picture pixel has after a round trip through `format`.
inline uint32_t Quantise(D3DFORMAT format, uint32_t argb) {
    using namespace tessaloom::d3dx;
    Bytes px = Encode(format, argb);
    Color4 c;
    ReadRow(format, px.data(), 1, &c);
    return ToArgb(c);
}

// ---------------------------------------------------------------- TGA --
struct TgaOptions {
    int kind = 2;  // 1 colour-mapped, 2 true colour, 3 grey
    bool rle = false;
    uint32_t bits = 32;     // pixel bits (true colour) or map entry bits (colour-mapped)
    uint32_t alphaBits = 8;  // descriptor bits 0-3
    bool topDown = false;
    bool rightToLeft = false;
    uint32_t mapFirst = 0;  // first map entry index
};

inline D3DFORMAT TgaColourFormat(uint32_t bits, uint32_t alphaBits) {
    switch (bits) {
        case 15: return D3DFMT_X1R5G5B5;
        case 16: return alphaBits ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
        case 24: return D3DFMT_R8G8B8;
        default: return alphaBits ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
}

inline Bytes WriteTga(const Picture& p, const TgaOptions& o, const std::vector<uint32_t>& palette = {}) {
    Bytes f;
    const bool mapped = o.kind == 1;
    const uint32_t pixelBits = mapped || o.kind == 3 ? 8 : o.bits;
    const char id[] = "tessaloom";
    f.push_back(sizeof(id) - 1);
    f.push_back(mapped ? 1 : 0);
    f.push_back(static_cast<uint8_t>(o.kind + (o.rle ? 8 : 0)));
    Put16(f, mapped ? o.mapFirst : 0);
    Put16(f, mapped ? static_cast<uint32_t>(palette.size()) : 0);
    f.push_back(mapped ? static_cast<uint8_t>(o.bits) : 0);
    Put16(f, 0);
    Put16(f, 0);
    Put16(f, p.width);
    Put16(f, p.height);
    f.push_back(static_cast<uint8_t>(pixelBits));
    f.push_back(static_cast<uint8_t>(o.alphaBits | (o.rightToLeft ? 0x10 : 0) | (o.topDown ? 0x20 : 0)));
    f.insert(f.end(), id, id + sizeof(id) - 1);
    // 32-bit pixels carry the picture's alpha bytes whatever the header counts.
    const D3DFORMAT colourFormat = o.bits == 32 ? D3DFMT_A8R8G8B8 : TgaColourFormat(o.bits, o.alphaBits);
    if (mapped)
        for (uint32_t c : palette) {
            Bytes e = Encode(colourFormat, c);
            f.insert(f.end(), e.begin(), e.end());
        }
    // Stored pixels in file order.
    std::vector<Bytes> stored;
    for (uint32_t row = 0; row < p.height; ++row) {
        uint32_t y = o.topDown ? row : p.height - 1 - row;
        for (uint32_t col = 0; col < p.width; ++col) {
            uint32_t x = o.rightToLeft ? p.width - 1 - col : col;
            uint32_t c = p.at(x, y);
            if (mapped) {
                size_t i = 0;
                while (i < palette.size() && palette[i] != c) ++i;
                if (i == palette.size()) throw std::logic_error("colour not in palette");
                stored.push_back({static_cast<uint8_t>(i + o.mapFirst)});
            } else if (o.kind == 3) {
                stored.push_back({static_cast<uint8_t>(c & 0xff)});
            } else {
                stored.push_back(Encode(colourFormat, c));
            }
        }
    }
    if (!o.rle) {
        for (const Bytes& s : stored) f.insert(f.end(), s.begin(), s.end());
        return f;
    }
    // Runs of equal pixels become run packets, the rest raw packets; packets
    // cross row ends, as many writers do.
    size_t i = 0;
    while (i < stored.size()) {
        size_t run = 1;
        while (i + run < stored.size() && run < 128 && stored[i + run] == stored[i]) ++run;
        if (run >= 2) {
            f.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            f.insert(f.end(), stored[i].begin(), stored[i].end());
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < stored.size() && raw < 128 &&
               !(i + raw + 1 < stored.size() && stored[i + raw] == stored[i + raw + 1]))
            ++raw;
        f.push_back(static_cast<uint8_t>(raw - 1));
        for (size_t k = 0; k < raw; ++k) f.insert(f.end(), stored[i + k].begin(), stored[i + k].end());
        i += raw;
    }
    return f;
}

// ---------------------------------------------------------------- BMP --
struct BmpOptions {
    uint32_t bits = 24;
    bool topDown = false;
    bool rgb565 = false;   // 16 bits with BI_BITFIELDS masks 5-6-5
    bool alphaV5 = false;  // 32 bits, 124-byte header with an alpha mask
    bool rle8 = false;
    bool core = false;     // 12-byte header, 3-byte palette entries
};

inline Bytes WriteBmp(const Picture& p, const BmpOptions& o, const std::vector<uint32_t>& palette = {}) {
    const bool indexed = o.bits <= 8;
    const uint32_t headerSize = o.core ? 12 : (o.alphaV5 ? 124 : 40);
    const uint32_t masks = (o.rgb565 ? 12 : 0);
    const uint32_t entry = o.core ? 3 : 4;
    const uint32_t paletteBytes = indexed ? static_cast<uint32_t>(palette.size()) * entry : 0;
    const uint32_t offset = 14 + headerSize + masks + paletteBytes;
    auto index = [&](uint32_t c) {
        for (size_t i = 0; i < palette.size(); ++i)
            if (palette[i] == c) return static_cast<uint32_t>(i);
        throw std::logic_error("colour not in palette");
    };
    Bytes pixels;
    const size_t stride = ((static_cast<size_t>(p.width) * o.bits + 31) / 32) * 4;
    for (uint32_t row = 0; row < p.height; ++row) {
        uint32_t y = o.topDown ? row : p.height - 1 - row;
        if (o.rle8) {  // one run packet per pixel, then end of line
            for (uint32_t x = 0; x < p.width; ++x) {
                pixels.push_back(1);
                pixels.push_back(static_cast<uint8_t>(index(p.at(x, y))));
            }
            pixels.push_back(0);
            pixels.push_back(row + 1 == p.height ? 1 : 0);
            continue;
        }
        Bytes line(stride, 0);
        for (uint32_t x = 0; x < p.width; ++x) {
            uint32_t c = p.at(x, y);
            if (indexed) {
                size_t bit = static_cast<size_t>(x) * o.bits;
                line[bit / 8] |= static_cast<uint8_t>(index(c) << (8 - o.bits - bit % 8));
            } else {
                D3DFORMAT f = o.bits == 24 ? D3DFMT_R8G8B8
                              : o.bits == 16 ? (o.rgb565 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5)
                                             : (o.alphaV5 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8);
                Bytes e = Encode(f, c);
                std::memcpy(&line[x * e.size()], e.data(), e.size());
            }
        }
        pixels.insert(pixels.end(), line.begin(), line.end());
    }
    Bytes f{'B', 'M'};
    Put32(f, offset + static_cast<uint32_t>(pixels.size()));
    Put32(f, 0);
    Put32(f, offset);
    Put32(f, headerSize);
    if (o.core) {
        Put16(f, p.width);
        Put16(f, p.height);
        Put16(f, 1);
        Put16(f, o.bits);
    } else {
        Put32(f, p.width);
        Put32(f, o.topDown ? static_cast<uint32_t>(-static_cast<int32_t>(p.height)) : p.height);
        Put16(f, 1);
        Put16(f, o.bits);
        Put32(f, o.rle8 ? 1 : (o.rgb565 || o.alphaV5) ? 3 : 0);
        Put32(f, static_cast<uint32_t>(pixels.size()));
        Put32(f, 2835);
        Put32(f, 2835);
        Put32(f, indexed ? static_cast<uint32_t>(palette.size()) : 0);
        Put32(f, 0);
        if (o.alphaV5) {
            Put32(f, 0x00ff0000);
            Put32(f, 0x0000ff00);
            Put32(f, 0x000000ff);
            Put32(f, 0xff000000);
            f.resize(14 + headerSize, 0);
        }
        if (o.rgb565) {
            Put32(f, 0xf800);
            Put32(f, 0x07e0);
            Put32(f, 0x001f);
        }
    }
    for (uint32_t c : palette) {
        f.push_back(static_cast<uint8_t>(c));
        f.push_back(static_cast<uint8_t>(c >> 8));
        f.push_back(static_cast<uint8_t>(c >> 16));
        if (!o.core) f.push_back(0);
    }
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

// A 6 x 3 RLE4 bitmap (palette black, red, green): runs of alternating
// nibbles, a literal run, a delta that skips pixels, end of line and end of
// picture. Rows bottom-up: 1 2 1 2 1 2 / literal 2 1 2 / x = 5 of the top row: 1.
inline Bytes Rle4Sample() {
    const std::vector<uint32_t> palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00};
    Bytes file = WriteBmp(FewColours(6, 3, palette), {4}, palette);
    file.resize(ReadU32At(file, 10));
    file[30] = 2;  // BI_RLE4
    const Bytes rle = {6, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 2, 2, 1, 1, 0x10, 0, 1};
    file.insert(file.end(), rle.begin(), rle.end());
    return file;
}

// ---------------------------------------------------------------- DDS --
inline Bytes WriteDds(const Picture& p, D3DFORMAT format, uint32_t levels = 1) {
    std::vector<Bytes> storage;
    std::vector<tessaloom::d3dx::DdsLevel> lv;
    for (uint32_t i = 0, w = p.width, h = p.height; i < levels; ++i, w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) {
        Bytes bits;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                Bytes e = Encode(format, p.at(x * (p.width / w), y * (p.height / h)));
                bits.insert(bits.end(), e.begin(), e.end());
            }
        storage.push_back(bits);
    }
    for (uint32_t i = 0, w = p.width; i < levels; ++i, w = w > 1 ? w / 2 : 1)
        lv.push_back({storage[i].data(), w * tessaloom::d3dx::FindPixelFormat(format)->bytesPerPixel});
    Bytes out;
    if (FAILED(tessaloom::d3dx::EncodeDds(p.width, p.height, format, lv, &out))) throw std::logic_error("dds");
    return out;
}

// A DXT file of the given blocks (row-major block order) and size.
inline Bytes WriteDxt(uint32_t width, uint32_t height, D3DFORMAT fourcc, const Bytes& blocks) {
    Bytes f{'D', 'D', 'S', ' '};
    Put32(f, 124);
    Put32(f, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);
    Put32(f, height);
    Put32(f, width);
    Put32(f, static_cast<uint32_t>(blocks.size()));
    Put32(f, 0);
    Put32(f, 0);
    for (int i = 0; i < 11; ++i) Put32(f, 0);
    Put32(f, 32);
    Put32(f, 0x4);
    Put32(f, fourcc);
    for (int i = 0; i < 5; ++i) Put32(f, 0);
    Put32(f, 0x1000);
    for (int i = 0; i < 4; ++i) Put32(f, 0);
    f.insert(f.end(), blocks.begin(), blocks.end());
    return f;
}

// ---------------------------------------------------------------- PNG --
enum class PngKind { Grey, GreyAlpha, Rgb, Rgba, Palette, PaletteTrns, Grey16, Rgb16Interlaced };

inline Bytes WritePng(const Picture& p, PngKind kind) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png write");
    }
    png_set_write_fn(
        png, &out,
        [](png_structp s, png_bytep d, png_size_t n) {
            auto* v = static_cast<Bytes*>(png_get_io_ptr(s));
            v->insert(v->end(), d, d + n);
        },
        nullptr);
    int type = PNG_COLOR_TYPE_RGB, depth = 8, channels = 3;
    std::vector<uint32_t> palette;
    switch (kind) {
        case PngKind::Grey: type = PNG_COLOR_TYPE_GRAY; channels = 1; break;
        case PngKind::Grey16: type = PNG_COLOR_TYPE_GRAY; channels = 1; depth = 16; break;
        case PngKind::GreyAlpha: type = PNG_COLOR_TYPE_GRAY_ALPHA; channels = 2; break;
        case PngKind::Rgb: break;
        case PngKind::Rgb16Interlaced: depth = 16; break;
        case PngKind::Rgba: type = PNG_COLOR_TYPE_RGB_ALPHA; channels = 4; break;
        case PngKind::Palette:
        case PngKind::PaletteTrns:
            type = PNG_COLOR_TYPE_PALETTE;
            channels = 1;
            for (uint32_t c : p.argb) {
                bool seen = false;
                for (uint32_t q : palette) seen = seen || q == c;
                if (!seen) palette.push_back(c);
            }
            break;
    }
    png_set_IHDR(png, info, p.width, p.height, depth, type,
                 kind == PngKind::Rgb16Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> entries;
        std::vector<png_byte> alphas;
        for (uint32_t c : palette) {
            entries.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
            alphas.push_back(static_cast<png_byte>(c >> 24));
        }
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
        if (kind == PngKind::PaletteTrns) png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
    }
    png_write_info(png, info);
    const int bytes = depth / 8;
    std::vector<Bytes> rows(p.height, Bytes(static_cast<size_t>(p.width) * channels * bytes));
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            uint32_t c = p.at(x, y);
            uint8_t s[4] = {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                            static_cast<uint8_t>(c >> 24)};
            if (type == PNG_COLOR_TYPE_PALETTE) {
                size_t i = 0;
                while (palette[i] != c) ++i;
                rows[y][x] = static_cast<uint8_t>(i);
                continue;
            }
            uint8_t values[4];
            int n = 0;
            if (channels <= 2) {
                values[n++] = s[2];  // grey = the blue byte
                if (channels == 2) values[n++] = s[3];
            } else {
                for (int k = 0; k < channels; ++k) values[n++] = s[k];
            }
            for (int k = 0; k < n; ++k)
                for (int b = 0; b < bytes; ++b)
                    rows[y][(static_cast<size_t>(x) * channels + k) * bytes + b] = values[k];  // 16-bit: v * 257
        }
    std::vector<png_bytep> ptrs;
    for (Bytes& r : rows) ptrs.push_back(r.data());
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// --------------------------------------------------------------- JPEG --
inline Bytes WriteJpeg(const Picture& p, bool grey, bool progressive = false) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = p.width;
    c.image_height = p.height;
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<size_t>(p.width) * 3);
    while (c.next_scanline < c.image_height) {
        for (uint32_t x = 0; x < p.width; ++x) {
            uint32_t v = p.at(x, c.next_scanline);
            if (grey) {
                row[x] = static_cast<uint8_t>(v);
            } else {
                row[x * 3] = static_cast<uint8_t>(v >> 16);
                row[x * 3 + 1] = static_cast<uint8_t>(v >> 8);
                row[x * 3 + 2] = static_cast<uint8_t>(v);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

}  // namespace testimg
