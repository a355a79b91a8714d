// Picture decoders: every file variant the loaders accept decodes to the
// picture that was written, with the image information D3DX reports; damaged
// and oversized files fail without reading out of bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"
#include "tests/platform/d3dx9_image_files.h"

using namespace tessaloom::d3dx;
using testimg::Bytes;
using testimg::Picture;

namespace {

struct Decoded {
    HRESULT hr = E_FAIL;
    D3DXIMAGE_INFO info{};
    D3DFORMAT format = D3DFMT_UNKNOWN;
    Picture picture;
};

Decoded Decode(const Bytes& file) {
    Decoded d;
    DecodedImage image;
    d.hr = DecodeImage(file.data(), file.size(), &d.info, &image);
    if (FAILED(d.hr)) return d;
    d.format = image.format;
    d.picture.width = image.width;
    d.picture.height = image.height;
    std::vector<Color4> row(image.width);
    for (UINT y = 0; y < image.height; ++y) {
        EXPECT_TRUE(ReadRow(image.format, image.Row(y), image.width, row.data()));
        for (const Color4& c : row) d.picture.argb.push_back(ToArgb(c));
    }
    return d;
}

// Expected pixels: the source picture as `format` stores it.
Picture AsStored(const Picture& p, D3DFORMAT format) {
    Picture q = p;
    for (uint32_t& c : q.argb) c = testimg::Quantise(format, c);
    return q;
}

void ExpectPicture(const Picture& expected, const Picture& actual, int tolerance = 0) {
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    for (uint32_t y = 0; y < expected.height; ++y)
        for (uint32_t x = 0; x < expected.width; ++x) {
            uint32_t e = expected.at(x, y), a = actual.at(x, y);
            for (int shift = 0; shift < 32; shift += 8) {
                int de = static_cast<int>((e >> shift) & 0xff), da = static_cast<int>((a >> shift) & 0xff);
                ASSERT_LE(std::abs(de - da), tolerance)
                    << "pixel (" << x << ", " << y << ") expected " << std::hex << e << " got " << a;
            }
        }
}

void ExpectInfo(const D3DXIMAGE_INFO& info, UINT w, UINT h, UINT mips, D3DFORMAT format, D3DXIMAGE_FILEFORMAT ff) {
    EXPECT_EQ(w, info.Width);
    EXPECT_EQ(h, info.Height);
    EXPECT_EQ(1u, info.Depth);
    EXPECT_EQ(mips, info.MipLevels);
    EXPECT_EQ(format, info.Format);
    EXPECT_EQ(D3DRTYPE_TEXTURE, info.ResourceType);
    EXPECT_EQ(ff, info.ImageFileFormat);
}

// Every strict prefix of a file fails to decode (and never reads past it:
// the sanitizers watch the copy, which has exactly `n` bytes).
void ExpectPrefixesFail(const Bytes& file, size_t from = 0) {
    for (size_t n = from; n < file.size(); ++n) {
        Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        DecodedImage image;
        D3DXIMAGE_INFO info{};
        ASSERT_TRUE(FAILED(DecodeImage(prefix.data(), prefix.size(), &info, &image))) << "prefix of " << n << " bytes";
    }
}

const std::vector<uint32_t> kPalette = {0xFF102030, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF808080};

// Runs of three equal pixels that also run across row ends (for RLE).
Picture Runs(uint32_t w, uint32_t h, const std::vector<uint32_t>& colours) {
    Picture p{w, h, {}};
    for (uint32_t i = 0; i < w * h; ++i) p.argb.push_back(colours[(i / 3) % colours.size()]);
    return p;
}

}  // namespace

// ------------------------------------------------------------------ TGA --

TEST(D3DXImageTga, EveryVariantDecodes) {
    struct Case {
        const char* name;
        testimg::TgaOptions options;
        D3DFORMAT infoFormat, decodedFormat;
    };
    const std::vector<Case> cases = {
        {"32-bit bottom-up", {2, false, 32, 8, false, false}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"32-bit top-down", {2, false, 32, 8, true, false}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"32-bit right-to-left", {2, false, 32, 8, false, true}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"32-bit top-right origin", {2, false, 32, 8, true, true}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"32-bit, alpha bits left out", {2, false, 32, 0, false, false}, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8},
        {"24-bit", {2, false, 24, 0, false, false}, D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {"16-bit with alpha bit", {2, false, 16, 1, false, false}, D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5},
        {"16-bit without alpha", {2, false, 16, 0, true, false}, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5},
        {"15-bit", {2, false, 15, 0, false, false}, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5},
        {"RLE 32-bit", {2, true, 32, 8, false, false}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"RLE 24-bit top-down", {2, true, 24, 0, true, false}, D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {"RLE 16-bit", {2, true, 16, 1, false, false}, D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5},
    };
    const Picture gradient = testimg::Gradient(5, 3);
    const Picture runs = Runs(7, 3, {0x80FF0000, 0xFF00FF00, 0x00000000, 0xFF123456});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture& src = c.options.rle ? runs : gradient;
        Bytes file = testimg::WriteTga(src, c.options);
        Decoded d = Decode(file);
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, src.width, src.height, 1, c.infoFormat, D3DXIFF_TGA);
        EXPECT_EQ(c.decodedFormat, d.format);
        ExpectPicture(AsStored(src, c.decodedFormat), d.picture);
        if (c.options.rle) {
            EXPECT_LT(file.size(), 18 + 9 + src.width * src.height * c.options.bits / 8);  // it really ran-length coded
        }
    }
}

TEST(D3DXImageTga, ThirtyTwoBitsWithoutAlphaBitsAndZeroAlphaAreOpaque) {
    Picture p = testimg::Gradient(4, 3);
    for (uint32_t& c : p.argb) c &= 0x00FFFFFF;  // every fourth byte 0
    Decoded d = Decode(testimg::WriteTga(p, {2, false, 32, 0, false, false}));
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(D3DFMT_X8R8G8B8, d.format);
    for (uint32_t& c : p.argb) c |= 0xFF000000;
    ExpectPicture(p, d.picture);
}

TEST(D3DXImageTga, ColourMappedAndGrey) {
    struct Case {
        const char* name;
        testimg::TgaOptions options;
        D3DFORMAT mapFormat, decodedFormat;
    };
    const std::vector<Case> cases = {
        {"24-bit map", {1, false, 24, 0, false, false}, D3DFMT_R8G8B8, D3DFMT_X8R8G8B8},
        {"32-bit map with alpha", {1, false, 32, 8, true, false}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"16-bit map", {1, false, 16, 0, false, false}, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8},
        {"15-bit map, first entry 3", {1, false, 15, 0, false, false, 3}, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8},
        {"RLE 24-bit map", {1, true, 24, 0, false, false}, D3DFMT_R8G8B8, D3DFMT_X8R8G8B8},
    };
    std::vector<uint32_t> palette = kPalette;
    palette[2] = 0x40ABCDEF;  // translucent
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture src = c.options.rle ? Runs(9, 4, palette) : testimg::FewColours(9, 4, palette);
        Decoded d = Decode(testimg::WriteTga(src, c.options, palette));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 9, 4, 1, D3DFMT_P8, D3DXIFF_TGA);
        EXPECT_EQ(c.decodedFormat, d.format);
        Picture expected = AsStored(AsStored(src, c.mapFormat), c.decodedFormat);
        ExpectPicture(expected, d.picture);
    }

    Picture grey = testimg::Gradient(6, 2, false);
    for (bool rle : {false, true}) {
        SCOPED_TRACE(rle ? "RLE grey" : "grey");
        Decoded d = Decode(testimg::WriteTga(grey, {3, rle, 8, 0, false, false}));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 6, 2, 1, D3DFMT_L8, D3DXIFF_TGA);
        Picture expected = grey;
        for (uint32_t& v : expected.argb) v = 0xFF000000 | (v & 0xff) * 0x010101;  // grey = the stored byte
        ExpectPicture(expected, d.picture);
    }
}

TEST(D3DXImageTga, DamagedFilesFail) {
    const Picture src = testimg::Gradient(5, 3);
    ExpectPrefixesFail(testimg::WriteTga(src, {2, false, 32, 8, false, false}));
    ExpectPrefixesFail(testimg::WriteTga(Runs(7, 3, kPalette), {2, true, 24, 0, false, false}));
    ExpectPrefixesFail(testimg::WriteTga(testimg::FewColours(4, 4, kPalette), {1, false, 24, 0}, kPalette));

    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;  // overwritten at offset
    };
    // Offsets in the header: 2 type, 12 width, 14 height, 16 pixel bits;
    // pixels start at 18 + 9 (the id "tessaloom").
    const std::vector<Case> cases = {
        {"no image type", 2, {0}},
        {"unknown type", 2, {7}},
        {"zero width", 12, {0, 0}},
        {"zero height", 14, {0, 0}},
        {"absurd size", 12, {0xff, 0xff, 0xff, 0xff}},
        {"pixel bits 13", 16, {13}},
        {"reserved descriptor bits", 17, {0xc8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = testimg::WriteTga(src, {2, false, 32, 8, false, false});
        std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(c.offset));
        EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(file).hr);
    }

    // A run longer than the picture.
    Bytes rle = testimg::WriteTga(Runs(6, 1, {0xFF000000, 0xFFFFFFFF}), {2, true, 24, 0, false, false});
    rle[27] = 0x80 | 100;
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(rle).hr);

    // An index past the colour map.
    Bytes mapped = testimg::WriteTga(testimg::FewColours(4, 4, kPalette), {1, false, 24, 0}, kPalette);
    mapped.back() = static_cast<uint8_t>(kPalette.size());
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(mapped).hr);
    // An index below the first entry.
    Bytes offsetMap = testimg::WriteTga(testimg::FewColours(4, 4, kPalette), {1, false, 24, 0, false, false, 2}, kPalette);
    offsetMap.back() = 1;
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(offsetMap).hr);
}

// ------------------------------------------------------------------ BMP --

TEST(D3DXImageBmp, EveryVariantDecodes) {
    struct Case {
        const char* name;
        testimg::BmpOptions options;
        D3DFORMAT infoFormat, decodedFormat;
        size_t colours;  // palette size for colour-mapped files
    };
    const std::vector<Case> cases = {
        {"1-bit", {1}, D3DFMT_P8, D3DFMT_X8R8G8B8, 2},
        {"4-bit", {4}, D3DFMT_P8, D3DFMT_X8R8G8B8, 6},
        {"8-bit top-down", {8, true}, D3DFMT_P8, D3DFMT_X8R8G8B8, 6},
        {"8-bit core header", {8, false, false, false, false, true}, D3DFMT_P8, D3DFMT_X8R8G8B8, 6},
        {"RLE8", {8, false, false, false, true}, D3DFMT_P8, D3DFMT_X8R8G8B8, 6},
        {"16-bit 555", {16}, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, 0},
        {"16-bit 565 masks", {16, true, true}, D3DFMT_R5G6B5, D3DFMT_R5G6B5, 0},
        {"24-bit", {24}, D3DFMT_R8G8B8, D3DFMT_R8G8B8, 0},
        {"24-bit top-down", {24, true}, D3DFMT_R8G8B8, D3DFMT_R8G8B8, 0},
        {"32-bit", {32}, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 0},
        {"32-bit with alpha mask", {32, false, false, true}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> palette(kPalette.begin(), kPalette.begin() + static_cast<std::ptrdiff_t>(c.colours));
        // Widths 7 and 3 rows: every depth gets padded rows.
        Picture src = c.colours ? testimg::FewColours(7, 3, palette) : testimg::Gradient(7, 3);
        Decoded d = Decode(testimg::WriteBmp(src, c.options, palette));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 7, 3, 1, c.infoFormat, D3DXIFF_BMP);
        EXPECT_EQ(c.decodedFormat, d.format);
        ExpectPicture(AsStored(src, c.decodedFormat), d.picture);
    }
}

// RLE4 by hand: runs of alternating nibbles, a literal run, a delta that
// skips pixels (they keep index 0), end of line and end of picture.
TEST(D3DXImageBmp, Rle4RunsLiteralsAndDeltas) {
    const Bytes file = testimg::Rle4Sample();
    const uint32_t offset = testimg::ReadU32At(file, 10);
    Decoded d = Decode(file);
    ASSERT_EQ(S_OK, d.hr);
    const uint32_t k = 0xFF000000, r = 0xFFFF0000, g = 0xFF00FF00;
    const std::vector<uint32_t> expected = {
        k, k, k, k, k, r,  // top row: skipped pixels keep index 0
        g, r, g, k, k, k,  // middle row: the rest of the line was never written
        r, g, r, g, r, g,  // bottom row
    };
    EXPECT_EQ(expected, d.picture.argb);

    Bytes overrun = file;
    overrun[offset] = 7;  // a run of 7 in a row of 6
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(overrun).hr);
}

TEST(D3DXImageBmp, DamagedFilesFail) {
    const std::vector<uint32_t> palette(kPalette.begin(), kPalette.begin() + 4);
    // Widths without row padding: a missing final pad is tolerated, as other readers do.
    ExpectPrefixesFail(testimg::WriteBmp(testimg::Gradient(4, 3), {24}));
    ExpectPrefixesFail(testimg::WriteBmp(testimg::FewColours(8, 3, palette), {4}, palette));

    // Header offsets: 10 pixel offset, 18 width, 22 height, 28 bits, 30 compression, 46 colours used.
    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"pixel offset past the end", 10, {0xff, 0xff, 0, 0}},
        {"zero width", 18, {0, 0, 0, 0}},
        {"negative width", 18, {0xff, 0xff, 0xff, 0xff}},
        {"absurd width", 18, {0, 0, 0, 0x40}},
        {"most negative height", 22, {0, 0, 0, 0x80}},
        {"bits 7", 28, {7, 0}},
        {"unknown compression", 30, {9, 0, 0, 0}},
        {"RLE8 on 24 bits", 30, {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = testimg::WriteBmp(testimg::Gradient(5, 3), {24});
        std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(c.offset));
        EXPECT_TRUE(FAILED(Decode(file).hr));
    }

    // More than 256 palette entries.
    Bytes big = testimg::WriteBmp(testimg::FewColours(4, 1, palette), {8}, palette);
    big[46] = 0x2c;
    big[47] = 1;
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(big).hr);
    // An index past a four-colour palette.
    Bytes file = testimg::WriteBmp(testimg::FewColours(4, 1, palette), {8}, palette);
    file[file.size() - 4] = 200;
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(file).hr);
    // An RLE8 run past the row end.
    Bytes rle = testimg::WriteBmp(testimg::FewColours(4, 2, palette), {8, false, false, false, true}, palette);
    rle[rle.size() - 20] = 9;  // rows of 4 packets + end of line: the first packet's count 9 > width 4
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(rle).hr);
}

// ------------------------------------------------------------------ DDS --

TEST(D3DXImageDds, UncompressedFormatsKeepTheirLayout) {
    const Picture src = testimg::Gradient(6, 5);
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                        D3DFMT_X1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_L8, D3DFMT_A8L8, D3DFMT_V8U8,
                        D3DFMT_V16U16, D3DFMT_A8B8G8R8}) {
        SCOPED_TRACE(f);
        Decoded d = Decode(testimg::WriteDds(src, f));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 6, 5, 1, f, D3DXIFF_DDS);
        EXPECT_EQ(f, d.format);
        ExpectPicture(AsStored(src, f), d.picture);
    }
    // The information reports the file's level count; the top level decodes.
    Decoded mips = Decode(testimg::WriteDds(testimg::Gradient(8, 4), D3DFMT_X8R8G8B8, 4));
    ASSERT_EQ(S_OK, mips.hr);
    ExpectInfo(mips.info, 8, 4, 4, D3DFMT_X8R8G8B8, D3DXIFF_DDS);
    ExpectPicture(AsStored(testimg::Gradient(8, 4), D3DFMT_X8R8G8B8), mips.picture);
}

TEST(D3DXImageDds, BlockCompressedDecodeToArgb) {
    // DXT1, four-colour mode (c0 = red > c1 = blue), texels 0..3 using
    // indices 0, 1, 2, 3, the rest index 0.
    const Bytes dxt1Opaque = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
    Decoded d = Decode(testimg::WriteDxt(4, 4, D3DFMT_DXT1, dxt1Opaque));
    ASSERT_EQ(S_OK, d.hr);
    ExpectInfo(d.info, 4, 4, 1, D3DFMT_DXT1, D3DXIFF_DDS);
    EXPECT_EQ(D3DFMT_A8R8G8B8, d.format);
    EXPECT_EQ(0xFFFF0000u, d.picture.at(0, 0));
    EXPECT_EQ(0xFF0000FFu, d.picture.at(1, 0));
    EXPECT_EQ(0xFFAA0055u, d.picture.at(2, 0));  // (2 red + blue) / 3
    EXPECT_EQ(0xFF5500AAu, d.picture.at(3, 0));
    EXPECT_EQ(0xFFFF0000u, d.picture.at(3, 3));

    // DXT1, three-colour mode (c0 <= c1): index 3 is transparent black.
    const Bytes dxt1Alpha = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
    d = Decode(testimg::WriteDxt(4, 4, D3DFMT_DXT1, dxt1Alpha));
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(0xFF7F007Fu, d.picture.at(2, 0));  // halfway
    EXPECT_EQ(0x00000000u, d.picture.at(3, 0));

    // DXT3: explicit 4-bit alpha, texel i has alpha nibble i; colour white.
    Bytes dxt3 = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    d = Decode(testimg::WriteDxt(4, 4, D3DFMT_DXT3, dxt3));
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(0x00FFFFFFu, d.picture.at(0, 0));
    EXPECT_EQ(0x11FFFFFFu, d.picture.at(1, 0));
    EXPECT_EQ(0xFFFFFFFFu, d.picture.at(3, 3));

    // DXT5: a0 = 255 > a1 = 0, eight-step ramp; texel 0 index 0, texel 1
    // index 1, texel 2 index 2 = (6 * 255) / 7 = 218, texel 3 index 7 = 36.
    // Index bits: 0 | 1 << 3 | 2 << 6 | 7 << 9.
    uint32_t ab = 0 | (1 << 3) | (2 << 6) | (7 << 9);
    Bytes dxt5 = {255, 0, static_cast<uint8_t>(ab), static_cast<uint8_t>(ab >> 8), 0, 0, 0, 0,
                  0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0};
    d = Decode(testimg::WriteDxt(4, 4, D3DFMT_DXT5, dxt5));
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(0xFF000000u, d.picture.at(0, 0));
    EXPECT_EQ(0x00000000u, d.picture.at(1, 0));
    EXPECT_EQ(218u, d.picture.at(2, 0) >> 24);
    EXPECT_EQ(36u, d.picture.at(3, 0) >> 24);

    // A 5 x 6 picture takes 2 x 2 blocks; the picture keeps its own size.
    Bytes four(4 * 8);
    for (size_t i = 0; i < 4; ++i) std::copy(dxt1Opaque.begin(), dxt1Opaque.end(), four.begin() + static_cast<std::ptrdiff_t>(i * 8));
    d = Decode(testimg::WriteDxt(5, 6, D3DFMT_DXT1, four));
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(5u, d.picture.width);
    EXPECT_EQ(6u, d.picture.height);
    EXPECT_EQ(0xFF0000FFu, d.picture.at(1, 4));  // block (0, 1), texel (1, 0): index 1
    EXPECT_EQ(0xFFFF0000u, d.picture.at(4, 5));
}

TEST(D3DXImageDds, DamagedFilesFail) {
    ExpectPrefixesFail(testimg::WriteDds(testimg::Gradient(4, 4), D3DFMT_A8R8G8B8, 3));
    ExpectPrefixesFail(testimg::WriteDxt(8, 4, D3DFMT_DXT5, Bytes(32, 0x55)));

    // Header offsets (after the 4-byte magic): 8 height, 12 width, 24 mip
    // count, 76 pixel-format flags, 80 four-character code, 108 caps2.
    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"header size", 4 + 0, {100}},
        {"absurd width", 4 + 12, {0, 0, 0, 1}},
        {"zero height", 4 + 8, {0, 0, 0, 0}},
        {"more levels than the size allows", 4 + 24, {9, 0, 0, 0}},
        {"unknown mask layout", 4 + 88, {0x0f, 0, 0, 0}},
        {"cube map", 4 + 108, {0x00, 0x02, 0, 0}},
        {"volume", 4 + 108, {0x00, 0x00, 0x20, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = testimg::WriteDds(testimg::Gradient(4, 4), D3DFMT_A8R8G8B8, 3);
        std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(c.offset));
        EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(file).hr);
    }
    Bytes unknown = testimg::WriteDxt(4, 4, static_cast<D3DFORMAT>(MAKEFOURCC('A', 'T', 'I', '2')), Bytes(16));
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(unknown).hr);
}

// ------------------------------------------------------------------ PNG --

TEST(D3DXImagePng, EveryColourTypeDecodes) {
    using testimg::PngKind;
    struct Case {
        const char* name;
        PngKind kind;
        D3DFORMAT infoFormat, decodedFormat;
    };
    const std::vector<Case> cases = {
        {"grey", PngKind::Grey, D3DFMT_L8, D3DFMT_L8},
        {"grey 16-bit", PngKind::Grey16, D3DFMT_L8, D3DFMT_L8},
        {"grey and alpha", PngKind::GreyAlpha, D3DFMT_A8L8, D3DFMT_A8L8},
        {"RGB", PngKind::Rgb, D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {"RGB 16-bit interlaced", PngKind::Rgb16Interlaced, D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {"RGBA", PngKind::Rgba, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {"palette", PngKind::Palette, D3DFMT_P8, D3DFMT_R8G8B8},
        {"palette with tRNS", PngKind::PaletteTrns, D3DFMT_P8, D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool mapped = c.kind == PngKind::Palette || c.kind == PngKind::PaletteTrns;
        std::vector<uint32_t> palette = kPalette;
        palette[1] = 0x80FF0000;
        Picture src = mapped ? testimg::FewColours(9, 5, palette) : testimg::Gradient(9, 5);
        Decoded d = Decode(testimg::WritePng(src, c.kind));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 9, 5, 1, c.infoFormat, D3DXIFF_PNG);
        EXPECT_EQ(c.decodedFormat, d.format);
        Picture expected = src;
        for (uint32_t& v : expected.argb) {
            uint32_t a = v >> 24, grey = v & 0xff;
            switch (c.decodedFormat) {
                case D3DFMT_L8: v = 0xFF000000 | grey * 0x010101; break;
                case D3DFMT_A8L8: v = (a << 24) | grey * 0x010101; break;
                case D3DFMT_R8G8B8: v |= 0xFF000000; break;
                default: break;
            }
        }
        ExpectPicture(expected, d.picture);
    }
}

TEST(D3DXImagePng, DamagedFilesFail) {
    Bytes file = testimg::WritePng(testimg::Gradient(9, 5), testimg::PngKind::Rgba);
    ExpectPrefixesFail(file);
    Bytes corrupt = file;
    corrupt[corrupt.size() / 2] ^= 0x5a;  // inside the image data: CRC or inflate error
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(corrupt).hr);
    Bytes huge = file;  // IHDR width at offset 16, big-endian, with its CRC left stale
    huge[16] = 0x7f;
    EXPECT_EQ(D3DXERR_INVALIDDATA, Decode(huge).hr);
}

namespace {

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return ~c;
}

}  // namespace

// Sizes a small file cannot hold are refused from the header, before any
// picture memory is allocated (the header-only call fails too).
TEST(D3DXImageLimits, ImplausibleSizesAreRefusedFromTheHeader) {
    // PNG: a valid IHDR (fresh CRC) claiming 8192 x 8192 in a file of a few hundred bytes.
    Bytes png = testimg::WritePng(testimg::Gradient(4, 4), testimg::PngKind::Rgba);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DXGetImageInfoFromFileInMemory(png.data(), static_cast<UINT>(png.size()), &info));
    auto claim = [&](uint8_t high, uint8_t low) {
        const uint8_t side[4] = {0, 0, high, low};
        std::copy(side, side + 4, png.begin() + 16);
        std::copy(side, side + 4, png.begin() + 20);
        const uint32_t crc = Crc32(png.data() + 12, 17);  // chunk type and data
        for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        return D3DXGetImageInfoFromFileInMemory(png.data(), static_cast<UINT>(png.size()), &info);
    };
    ASSERT_EQ(S_OK, claim(0, 64));  // a header the file could hold: only the header is read
    EXPECT_EQ(64u, info.Width);
    EXPECT_EQ(D3DXERR_INVALIDDATA, claim(0x20, 0));

    // RLE8 BMP: 4 bytes of runs for 30000 rows.
    const std::vector<uint32_t> palette = {0xFF000000, 0xFFFFFFFF};
    Bytes bmp = testimg::WriteBmp(testimg::FewColours(4, 2, palette), {8, false, false, false, true}, palette);
    ASSERT_EQ(S_OK, D3DXGetImageInfoFromFileInMemory(bmp.data(), static_cast<UINT>(bmp.size()), &info));
    bmp[22] = 0x30, bmp[23] = 0x75;  // height 30000
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXGetImageInfoFromFileInMemory(bmp.data(), static_cast<UINT>(bmp.size()), &info));

    // Uncompressed files must hold every pixel they claim.
    Bytes tga = testimg::WriteTga(testimg::Gradient(4, 4), {2, false, 32, 8});
    tga[14] = 0x00, tga[15] = 0x40;  // height 16384
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXGetImageInfoFromFileInMemory(tga.data(), static_cast<UINT>(tga.size()), &info));
}

// ----------------------------------------------------------------- JPEG --

TEST(D3DXImageJpeg, ColourAndGreyDecode) {
    // Flat halves survive the lossy coding within a small tolerance.
    Picture halves{16, 16, {}};
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) halves.argb.push_back(x < 8 ? 0xFFC03020 : 0xFF2050E0);
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        Decoded d = Decode(testimg::WriteJpeg(halves, false, progressive));
        ASSERT_EQ(S_OK, d.hr);
        ExpectInfo(d.info, 16, 16, 1, D3DFMT_X8R8G8B8, D3DXIFF_JPG);
        EXPECT_EQ(D3DFMT_X8R8G8B8, d.format);
        // Columns 6 to 9 straddle the edge, where the halved chroma blurs.
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x : {0u, 3u, 5u, 10u, 12u, 15u}) {
                SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
                Picture one{1, 1, {halves.at(x, y)}}, got{1, 1, {d.picture.at(x, y)}};
                ExpectPicture(one, got, 12);
            }
    }
    Picture grey{8, 8, std::vector<uint32_t>(64, 0xFF606060)};
    Decoded g = Decode(testimg::WriteJpeg(grey, true));
    ASSERT_EQ(S_OK, g.hr);
    ExpectInfo(g.info, 8, 8, 1, D3DFMT_L8, D3DXIFF_JPG);
    ExpectPicture(grey, g.picture, 2);
}

TEST(D3DXImageJpeg, DamagedFilesFail) {
    Bytes file = testimg::WriteJpeg(testimg::Gradient(24, 16, false), false);
    ExpectPrefixesFail(file);
}

// ------------------------------------------------------- image information --

TEST(D3DXImageInfo, ReportsTheFilesOwnSizeWithoutADevice) {
    const Picture odd = testimg::Gradient(300, 7);
    struct Case {
        const char* name;
        Bytes file;
        D3DFORMAT format;
        D3DXIMAGE_FILEFORMAT ff;
    };
    const std::vector<Case> cases = {
        {"tga", testimg::WriteTga(odd, {2, true, 24, 0}), D3DFMT_R8G8B8, D3DXIFF_TGA},
        {"bmp", testimg::WriteBmp(odd, {32}), D3DFMT_X8R8G8B8, D3DXIFF_BMP},
        {"png", testimg::WritePng(odd, testimg::PngKind::Rgba), D3DFMT_A8R8G8B8, D3DXIFF_PNG},
        {"jpeg", testimg::WriteJpeg(odd, false), D3DFMT_X8R8G8B8, D3DXIFF_JPG},
        {"dds", testimg::WriteDds(odd, D3DFMT_R5G6B5), D3DFMT_R5G6B5, D3DXIFF_DDS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(S_OK, D3DXGetImageInfoFromFileInMemory(c.file.data(), static_cast<UINT>(c.file.size()), &info));
        ExpectInfo(info, 300, 7, 1, c.format, c.ff);
    }
    const char junk[] = "not a picture at all";
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXGetImageInfoFromFileInMemory(junk, sizeof(junk), &info));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXGetImageInfoFromFileInMemory(nullptr, 10, &info));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXGetImageInfoFromFileInMemory(junk, 0, &info));
}
