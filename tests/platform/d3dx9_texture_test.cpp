// D3DX texture creation, surface copies and DDS saving over a CPU-only fake
// device: sizes, levels and formats as D3DX picks them, the pixels that land
// in each level, and the D3D9 rules for render targets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/image.h"
#include "tests/support/fake_direct3d.h"
#include "tests/platform/d3dx9_image_files.h"

using namespace tessaloom::d3dx;
using testimg::Bytes;
using testimg::Picture;

namespace {

class D3DXTexture : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, fake::LiveObjects()) << "device objects leaked"; }

    // The resource manager's call: file size rounded up, one level, the
    // file's format, triangle filter, no mip filter, no colour key.
    HRESULT LoadLikeTheResourceManager(const Bytes& file, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) {
        return D3DXCreateTextureFromFileInMemoryEx(&device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                                   D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                   D3DX_FILTER_TRIANGLE, D3DX_FILTER_NONE, 0, info, nullptr, texture);
    }

    static uint32_t Pixel(IDirect3DTexture9* t, UINT level, UINT x, UINT y) {
        fake::Surface* s = static_cast<fake::Texture*>(t)->level(level);
        Color4 c;
        const UINT bpp = FindPixelFormat(s->desc().Format)->bytesPerPixel;
        ReadRow(s->desc().Format, s->bytes.data() + y * s->Pitch() + x * bpp, 1, &c);
        return ToArgb(c);
    }

    static D3DSURFACE_DESC Desc(IDirect3DTexture9* t, UINT level = 0) {
        D3DSURFACE_DESC d{};
        t->GetLevelDesc(level, &d);
        return d;
    }

    fake::Device device;
};

Picture Solid(uint32_t w, uint32_t h, uint32_t argb) { return Picture{w, h, std::vector<uint32_t>(w * h, argb)}; }

void ExpectNear(uint32_t expected, uint32_t actual, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8) {
        int e = static_cast<int>((expected >> shift) & 0xff), a = static_cast<int>((actual >> shift) & 0xff);
        EXPECT_LE(std::abs(e - a), tolerance) << std::hex << "expected " << expected << " got " << actual;
    }
}

// Texel (x, y) of the level below `p`: each channel the rounded mean of the
// 2 x 2 block of `p` above it.
uint32_t BoxAverage(const Picture& p, UINT x, UINT y) {
    uint32_t average = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 0;
        for (UINT dy = 0; dy < 2; ++dy)
            for (UINT dx = 0; dx < 2; ++dx) sum += (p.at(2 * x + dx, 2 * y + dy) >> shift) & 0xff;
        average |= static_cast<uint32_t>(std::lround(sum / 4.0)) << shift;
    }
    return average;
}

}  // namespace

TEST_F(D3DXTexture, FilePictureIsStretchedToPowersOfTwoAndReportsItsOwnSize) {
    // 300 x 7: left third red, the rest blue, opaque, 24-bit TGA as documents carry.
    Picture p{300, 7, {}};
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 300; ++x) p.argb.push_back(x < 100 ? 0xFFFF0000 : 0xFF0000FF);
    Bytes file = testimg::WriteTga(p, {2, false, 24, 0, false, false});
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(file, &t, &info));
    EXPECT_EQ(300u, info.Width);
    EXPECT_EQ(7u, info.Height);
    EXPECT_EQ(D3DFMT_R8G8B8, info.Format);
    EXPECT_EQ(D3DXIFF_TGA, info.ImageFileFormat);
    EXPECT_EQ(1u, t->GetLevelCount());
    D3DSURFACE_DESC d = Desc(t);
    EXPECT_EQ(512u, d.Width);
    EXPECT_EQ(8u, d.Height);
    EXPECT_EQ(D3DFMT_X8R8G8B8, d.Format);  // 24-bit formats only when asked for by name
    EXPECT_EQ(D3DPOOL_MANAGED, d.Pool);
    // Well inside each part the colour is exact; the boundary (x = 100 of 300
    // -> 170.7 of 512) blends.
    ExpectNear(0xFFFF0000, Pixel(t, 0, 80, 3));
    ExpectNear(0xFF0000FF, Pixel(t, 0, 300, 3));
    uint32_t edge = Pixel(t, 0, 170, 3);
    EXPECT_GT((edge >> 16) & 0xff, 0x10u);
    EXPECT_GT(edge & 0xff, 0x10u);
    t->Release();
}

TEST_F(D3DXTexture, SizeLevelAndFormatChoices) {
    const Picture gradient = testimg::Gradient(20, 12);
    const Bytes tga32 = testimg::WriteTga(gradient, {2, false, 32, 8, false, false});
    struct Case {
        const char* name;
        UINT width, height, levels;
        D3DFORMAT format;
        UINT wantWidth, wantHeight, wantLevels;
        D3DFORMAT wantFormat;
    };
    const std::vector<Case> cases = {
        {"defaults", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_UNKNOWN, 32, 16, 6, D3DFMT_A8R8G8B8},
        {"zero sizes round up too", 0, 0, 1, D3DFMT_UNKNOWN, 32, 16, 1, D3DFMT_A8R8G8B8},
        {"file size kept", D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, D3DFMT_UNKNOWN, 20, 12, 1, D3DFMT_A8R8G8B8},
        {"from file", D3DX_FROM_FILE, D3DX_FROM_FILE, D3DX_FROM_FILE, D3DFMT_FROM_FILE, 20, 12, 1, D3DFMT_A8R8G8B8},
        {"given size and format", 64, 64, 2, D3DFMT_R5G6B5, 64, 64, 2, D3DFMT_R5G6B5},
        {"level count capped", 4, 2, 9, D3DFMT_A8, 4, 2, 3, D3DFMT_A8},
        {"24-bit by name", 8, 8, 1, D3DFMT_R8G8B8, 8, 8, 1, D3DFMT_R8G8B8},
        {"DXT served uncompressed", 8, 8, 1, D3DFMT_DXT5, 8, 8, 1, D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(&device, tga32.data(), static_cast<UINT>(tga32.size()),
                                                            c.width, c.height, c.levels, 0, c.format, D3DPOOL_MANAGED,
                                                            D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &t));
        D3DSURFACE_DESC d = Desc(t);
        EXPECT_EQ(c.wantWidth, d.Width);
        EXPECT_EQ(c.wantHeight, d.Height);
        EXPECT_EQ(c.wantLevels, t->GetLevelCount());
        EXPECT_EQ(c.wantFormat, d.Format);
        t->Release();
    }
}

TEST_F(D3DXTexture, ExactSizeKeepsTheFilesBytesAndMipsAreBoxFiltered) {
    // 8 x 4 gradient, A8R8G8B8, file size already powers of two: level 0 is the
    // file's pixels exactly; level 1 (4 x 2) averages each 2 x 2 block.
    const Picture p = testimg::Gradient(8, 4);
    Bytes file = testimg::WriteTga(p, {2, false, 32, 8, true, false});
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(&device, file.data(), static_cast<UINT>(file.size()),
                                                        D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                                        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                        nullptr, &t));
    ASSERT_EQ(4u, t->GetLevelCount());
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 8; ++x) EXPECT_EQ(p.at(x, y), Pixel(t, 0, x, y)) << x << ", " << y;
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 4; ++x) {
            ExpectNear(BoxAverage(p, x, y), Pixel(t, 1, x, y));
        }
    // The last level is one pixel.
    EXPECT_EQ(1u, Desc(t, 3).Width);
    EXPECT_EQ(1u, Desc(t, 3).Height);
    t->Release();
}

TEST_F(D3DXTexture, TwentyFourBitPicturesWidenToOpaqueTexels) {
    // 24-bit files of their texture's own size, stored top-down and
    // bottom-up, at widths round the four-pixel steps of the widening: every
    // texel is the file's pixel with alpha 0xFF, with or without the mip
    // chain (whose level 1 averages each 2 x 2 block of those pixels).
    for (UINT w : {1u, 2u, 4u, 8u, 16u, 32u}) {
        for (bool topDown : {true, false}) {
            SCOPED_TRACE(::testing::Message() << w << " wide, " << (topDown ? "top-down" : "bottom-up"));
            const Picture p = testimg::Gradient(w, 4, false);
            Bytes file = testimg::WriteTga(p, {2, false, 24, 0, topDown, false});
            for (UINT levels : {1u, 0u}) {
                IDirect3DTexture9* t = nullptr;
                ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(
                                    &device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT,
                                    levels, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                    D3DX_FILTER_BOX, 0, nullptr, nullptr, &t));
                ASSERT_EQ(D3DFMT_X8R8G8B8, Desc(t).Format);
                ASSERT_EQ(w, Desc(t).Width);
                // The stored bytes, the X byte included.
                const fake::Surface* top = static_cast<fake::Texture*>(t)->level(0);
                for (UINT y = 0; y < 4; ++y)
                    for (UINT x = 0; x < w; ++x) {
                        uint32_t stored = 0;
                        std::memcpy(&stored, top->bytes.data() + y * top->Pitch() + x * 4, 4);
                        EXPECT_EQ(p.at(x, y), stored) << x << ", " << y;
                    }
                if (levels == 0 && w >= 2) {
                    for (UINT y = 0; y < 2; ++y)
                        for (UINT x = 0; x < w / 2; ++x) {
                            ExpectNear(BoxAverage(p, x, y), Pixel(t, 1, x, y));
                        }
                }
                t->Release();
            }
        }
    }
}

TEST_F(D3DXTexture, ColourKeyBecomesTransparentBlack) {
    Picture p = testimg::FewColours(4, 4, {0xFFFF00FF, 0xFF00FF00});
    Bytes file = testimg::WriteTga(p, {2, false, 24, 0, false, false});
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(&device, file.data(), static_cast<UINT>(file.size()), 4, 4, 1,
                                                        0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                        D3DX_FILTER_NONE, 0xFFFF00FF, nullptr, nullptr, &t));
    EXPECT_EQ(D3DFMT_A8R8G8B8, Desc(t).Format);  // the key's transparency needs alpha
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            EXPECT_EQ(p.at(x, y) == 0xFFFF00FF ? 0x00000000u : 0xFF00FF00u, Pixel(t, 0, x, y));
    t->Release();
}

TEST_F(D3DXTexture, FilterNoneLeavesTheRestTransparentBlack) {
    Bytes file = testimg::WriteTga(Solid(3, 3, 0xFF336699), {2, false, 32, 8, true, false});
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileInMemoryEx(&device, file.data(), static_cast<UINT>(file.size()),
                                                        D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                                        D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                                        nullptr, nullptr, &t));
    ASSERT_EQ(4u, Desc(t).Width);
    EXPECT_EQ(0xFF336699u, Pixel(t, 0, 2, 2));
    EXPECT_EQ(0x00000000u, Pixel(t, 0, 3, 0));
    EXPECT_EQ(0x00000000u, Pixel(t, 0, 0, 3));
    t->Release();
}

TEST_F(D3DXTexture, BumpAndCompressedDdsFiles) {
    // A V8U8 bump map keeps every byte, negative values included.
    Picture bump{4, 4, {}};
    for (uint32_t i = 0; i < 16; ++i) bump.argb.push_back(0xFF000000 | ((i * 16) << 16) | ((255 - i * 16) << 8));
    Bytes dds = testimg::WriteDds(bump, D3DFMT_V8U8);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(dds, &t, nullptr));
    EXPECT_EQ(D3DFMT_V8U8, Desc(t).Format);
    auto* level = static_cast<fake::Texture*>(t)->level(0);
    EXPECT_EQ(0, std::memcmp(level->bytes.data(), dds.data() + 128, 32));
    t->Release();

    // Without V8U8 on the device the nearest bump format serves.
    device.d3d.textureFormats.erase(D3DFMT_V8U8);
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(dds, &t, nullptr));
    EXPECT_EQ(D3DFMT_V16U16, Desc(t).Format);
    t->Release();

    const Bytes dxt1 = testimg::WriteDxt(4, 4, D3DFMT_DXT1, {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00});
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(dxt1, &t, &info));
    EXPECT_EQ(D3DFMT_DXT1, info.Format);
    EXPECT_EQ(D3DFMT_A8R8G8B8, Desc(t).Format);
    EXPECT_EQ(0xFF0000FFu, Pixel(t, 0, 1, 0));
    t->Release();
}

TEST_F(D3DXTexture, DamagedFilesMakeNoTextureAndLeaveTheInformation) {
    Bytes file = testimg::WriteTga(testimg::Gradient(5, 5), {2, false, 32, 8});
    file.erase(file.end() - 7, file.end());
    IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(&device);  // overwritten with null
    D3DXIMAGE_INFO info{800, 600, 1, 1, D3DFMT_UNKNOWN, D3DRTYPE_TEXTURE, D3DXIFF_BMP};
    EXPECT_EQ(D3DXERR_INVALIDDATA, LoadLikeTheResourceManager(file, &t, &info));
    EXPECT_EQ(nullptr, t);
    EXPECT_EQ(800u, info.Width);
    EXPECT_EQ(600u, info.Height);
    EXPECT_EQ(0, device.createdTextures);
    EXPECT_EQ(D3DERR_INVALIDCALL, LoadLikeTheResourceManager(Bytes{}, &t, &info));
    Bytes good = testimg::WriteTga(testimg::Gradient(5, 5), {2, false, 32, 8});
    EXPECT_EQ(D3DERR_INVALIDCALL,
              D3DXCreateTextureFromFileInMemoryEx(&device, good.data(), static_cast<UINT>(good.size()), 0, 0, 1, 0,
                                                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, 0x77, D3DX_FILTER_NONE, 0, nullptr,
                                                  nullptr, &t));
}

TEST_F(D3DXTexture, FromFilePath) {
    const std::string path = testing::TempDir() + "d3dx9_texture_test.tga";
    Bytes file = testimg::WriteTga(testimg::Gradient(16, 8), {2, false, 32, 8});
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    std::u16string wide(path.begin(), path.end());
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DXCreateTextureFromFileExW(&device, wide.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                                 D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                                 D3DX_FILTER_NONE, 0, &info, nullptr, &t));
    EXPECT_EQ(16u, info.Width);
    EXPECT_EQ(testimg::Gradient(16, 8).at(3, 5), Pixel(t, 0, 3, 5));
    t->Release();
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileExW(&device, u"/nonexistent/picture.tga", D3DX_DEFAULT, D3DX_DEFAULT, 1,
                                                    0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                    &info, nullptr, &t)));
    std::remove(path.c_str());
}

TEST_F(D3DXTexture, CreateTextureFollowsTheDeviceRules) {
    struct Case {
        const char* name;
        DWORD textureCaps;
        UINT width, height, levels;
        D3DFORMAT format;
        UINT wantWidth, wantHeight, wantLevels;
        D3DFORMAT wantFormat;
    };
    const DWORD pow2 = D3DPTEXTURECAPS_POW2, conditional = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    const std::vector<Case> cases = {
        {"full chain", 0, 256, 256, 0, D3DFMT_A8R8G8B8, 256, 256, 9, D3DFMT_A8R8G8B8},
        {"default size", 0, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, 256, 256, 1, D3DFMT_A8R8G8B8},
        {"unknown format", 0, 128, 128, 0, D3DFMT_UNKNOWN, 128, 128, 8, D3DFMT_A8R8G8B8},
        {"24-bit by name", 0, 256, 256, 0, D3DFMT_R8G8B8, 256, 256, 9, D3DFMT_R8G8B8},
        {"alpha only", 0, 512, 512, 0, D3DFMT_A8, 512, 512, 10, D3DFMT_A8},
        {"no power-of-two need", 0, 300, 7, 1, D3DFMT_X8R8G8B8, 300, 7, 1, D3DFMT_X8R8G8B8},
        {"power-of-two device", pow2, 300, 7, 1, D3DFMT_X8R8G8B8, 512, 8, 1, D3DFMT_X8R8G8B8},
        {"conditional, one level", conditional, 300, 7, 1, D3DFMT_X8R8G8B8, 300, 7, 1, D3DFMT_X8R8G8B8},
        {"conditional, mips", conditional, 300, 7, 0, D3DFMT_X8R8G8B8, 512, 8, 10, D3DFMT_X8R8G8B8},
        {"square only", D3DPTEXTURECAPS_SQUAREONLY, 64, 16, 1, D3DFMT_A8R8G8B8, 64, 64, 1, D3DFMT_A8R8G8B8},
        {"over the maximum", 0, 8192, 16, 1, D3DFMT_A8R8G8B8, 4096, 16, 1, D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.textureCaps = D3DPTEXTURECAPS_MIPMAP | c.textureCaps;
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(S_OK, D3DXCreateTexture(&device, c.width, c.height, c.levels, 0, c.format, D3DPOOL_MANAGED, &t));
        D3DSURFACE_DESC d = Desc(t);
        EXPECT_EQ(c.wantWidth, d.Width);
        EXPECT_EQ(c.wantHeight, d.Height);
        EXPECT_EQ(c.wantLevels, t->GetLevelCount());
        EXPECT_EQ(c.wantFormat, d.Format);
        t->Release();
    }
    device.textureCaps = D3DPTEXTURECAPS_MIPMAP;
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(D3DERR_NOTAVAILABLE, D3DXCreateTexture(&device, 8, 8, 1, 0, D3DFMT_Q8W8V8U8, D3DPOOL_MANAGED, &t));
    EXPECT_EQ(nullptr, t);
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateTexture(nullptr, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t));
}

// CopyTextureResized: a picture copied into a new texture of another size and format.
TEST_F(D3DXTexture, LoadSurfaceFromSurfaceScalesAndConverts) {
    // 4 x 4 source: left half opaque red, right half half-transparent blue.
    Picture p{4, 4, {}};
    for (uint32_t i = 0; i < 16; ++i) p.argb.push_back((i % 4) < 2 ? 0xFFFF0000 : 0x800000FF);
    IDirect3DTexture9* src = nullptr;
    Bytes file = testimg::WriteTga(p, {2, false, 32, 8, true, false});
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(file, &src, nullptr));

    struct Case {
        const char* name;
        UINT size;
        D3DFORMAT format;
        uint32_t left, right;  // expected at the left and right edges of row 0
    };
    const std::vector<Case> cases = {
        {"same size and format", 4, D3DFMT_A8R8G8B8, 0xFFFF0000, 0x800000FF},
        {"shrunk to 2 x 2", 2, D3DFMT_A8R8G8B8, 0, 0},  // blends, checked below
        {"grown to 8 x 8", 8, D3DFMT_A8R8G8B8, 0, 0},
        {"alpha only", 4, D3DFMT_A8, 0xFF000000, 0x80000000},
        {"24-bit", 4, D3DFMT_R8G8B8, 0xFFFF0000, 0xFF0000FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IDirect3DTexture9* dst = nullptr;
        ASSERT_EQ(S_OK, D3DXCreateTexture(&device, c.size, c.size, 0, 0, c.format, D3DPOOL_MANAGED, &dst));
        IDirect3DSurface9 *from = nullptr, *to = nullptr;
        src->GetSurfaceLevel(0, &from);
        dst->GetSurfaceLevel(0, &to);
        ASSERT_EQ(S_OK, D3DXLoadSurfaceFromSurface(to, nullptr, nullptr, from, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0));
        if (c.left || c.right) {
            EXPECT_EQ(c.left, Pixel(dst, 0, 0, 0));
            EXPECT_EQ(c.right, Pixel(dst, 0, c.size - 1, 0));
        } else {
            // Scaled: the colour of each half survives in the middle of that half
            // (edges wrap round, so the border pixels blend both halves).
            UINT q = c.size / 4;
            uint32_t l = Pixel(dst, 0, q, 1), r = Pixel(dst, 0, c.size - 1 - q, 1);
            EXPECT_GT((l >> 16) & 0xff, l & 0xff);
            EXPECT_GT(r & 0xff, (r >> 16) & 0xff);
        }
        from->Release();
        to->Release();
        dst->Release();
    }
    src->Release();
}

TEST_F(D3DXTexture, LoadSurfaceFromSurfaceRectanglesAndRenderTargets) {
    IDirect3DTexture9 *src = nullptr, *rt = nullptr, *back = nullptr;
    Bytes file = testimg::WriteTga(testimg::Gradient(8, 8), {2, false, 32, 8, true, false});
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(file, &src, nullptr));
    // The render-target pair's copy: a managed texture into a default-pool
    // render target, which cannot be locked.
    ASSERT_EQ(S_OK, device.CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr));
    ASSERT_EQ(S_OK, D3DXCreateTexture(&device, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &back));
    IDirect3DSurface9 *s = nullptr, *r = nullptr, *b = nullptr;
    src->GetSurfaceLevel(0, &s);
    rt->GetSurfaceLevel(0, &r);
    back->GetSurfaceLevel(0, &b);
    ASSERT_EQ(S_OK, D3DXLoadSurfaceFromSurface(r, nullptr, nullptr, s, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0));
    EXPECT_EQ(1, device.stretches);
    // And back out of it: read through GetRenderTargetData.
    ASSERT_EQ(S_OK, D3DXLoadSurfaceFromSurface(b, nullptr, nullptr, r, nullptr, nullptr, D3DX_FILTER_TRIANGLE, 0));
    EXPECT_EQ(1, device.readBacks);
    const Picture g = testimg::Gradient(8, 8);
    EXPECT_EQ(g.at(5, 6), Pixel(back, 0, 5, 6));

    // A sub-rectangle into a sub-rectangle, same size: pixels move as they are.
    const RECT from{1, 2, 4, 4}, to{5, 0, 8, 2};
    ASSERT_EQ(S_OK, D3DXLoadSurfaceFromSurface(b, nullptr, &to, s, nullptr, &from, D3DX_FILTER_POINT, 0));
    EXPECT_EQ(g.at(1, 2), Pixel(back, 0, 5, 0));
    EXPECT_EQ(g.at(3, 3), Pixel(back, 0, 7, 1));
    EXPECT_EQ(g.at(4, 0), Pixel(back, 0, 4, 0));  // untouched
    // Rectangles outside a surface are refused.
    const RECT outside{6, 6, 10, 10};
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXLoadSurfaceFromSurface(b, nullptr, &outside, s, nullptr, nullptr,
                                                              D3DX_FILTER_POINT, 0));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXLoadSurfaceFromSurface(b, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                              D3DX_FILTER_POINT, 0));
    s->Release();
    r->Release();
    b->Release();
    src->Release();
    rt->Release();
    back->Release();
}

TEST_F(D3DXTexture, SaveAsDdsAndLoadBack) {
    // A painted mask: A8, full chain, as the effects store theirs.
    IDirect3DTexture9* mask = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateTexture(&device, 8, 4, 0, 0, D3DFMT_A8, D3DPOOL_MANAGED, &mask));
    auto* top = static_cast<fake::Texture*>(mask)->level(0);
    for (size_t i = 0; i < top->bytes.size(); ++i) top->bytes[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(S_OK, D3DXFilterTexture(mask, nullptr, 0, D3DX_DEFAULT));
    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(S_OK, D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_DDS, mask, nullptr));
    ASSERT_NE(nullptr, buffer);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(S_OK, D3DXGetImageInfoFromFileInMemory(buffer->GetBufferPointer(), buffer->GetBufferSize(), &info));
    EXPECT_EQ(8u, info.Width);
    EXPECT_EQ(4u, info.Height);
    EXPECT_EQ(4u, info.MipLevels);
    EXPECT_EQ(D3DFMT_A8, info.Format);
    EXPECT_EQ(D3DXIFF_DDS, info.ImageFileFormat);
    EXPECT_EQ(128u + 32 + 8 + 2 + 1, buffer->GetBufferSize());

    // Loaded back as the manager loads masks: the same bytes.
    IDirect3DTexture9* again = nullptr;
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    ASSERT_EQ(S_OK, LoadLikeTheResourceManager(Bytes(bytes, bytes + buffer->GetBufferSize()), &again, nullptr));
    EXPECT_EQ(D3DFMT_A8, Desc(again).Format);
    EXPECT_EQ(top->bytes, static_cast<fake::Texture*>(again)->level(0)->bytes);
    EXPECT_EQ(0, std::memcmp(bytes + 128 + 32, static_cast<fake::Texture*>(mask)->level(1)->bytes.data(), 8));

    ID3DXBuffer* png = nullptr;
    EXPECT_EQ(E_NOTIMPL, D3DXSaveTextureToFileInMemory(&png, D3DXIFF_PNG, mask, nullptr));
    EXPECT_EQ(nullptr, png);
    buffer->Release();
    again->Release();
    mask->Release();
}
