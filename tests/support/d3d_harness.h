// Pixel test harness for anything that draws through the Direct3D stand-in:
// an offscreen device (EGL surfaceless), read-back of the back buffer, a
// render target or a texture, probes with a tolerance, and a PNG of what was
// drawn when TESSALOOM_TEST_PNG_DIR names a folder (for a person to look at).
//
// Header-only so that every test binary (platform, scene, layers) can use it.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_testing.h"
#include "tests/support/offscreen_device.h"

namespace tessaloom::testing {

// A picture read back from the device, as D3DCOLOR values (0xAARRGGBB), row 0 on top.
struct Image {
    UINT width = 0, height = 0;
    std::vector<D3DCOLOR> pixels;
    D3DCOLOR at(UINT x, UINT y) const { return pixels[static_cast<size_t>(y) * width + x]; }

    bool WritePng(const std::string& path) const {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            std::fclose(file);
            return false;
        }
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<size_t>(width) * 4);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                const D3DCOLOR c = at(x, y);
                row[x * 4 + 0] = static_cast<png_byte>(c >> 16);
                row[x * 4 + 1] = static_cast<png_byte>(c >> 8);
                row[x * 4 + 2] = static_cast<png_byte>(c);
                row[x * 4 + 3] = static_cast<png_byte>(c >> 24);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return true;
    }

    // Writes <dir>/<name>.png when TESSALOOM_TEST_PNG_DIR is set.
    void WritePngIfAsked(const std::string& name) const {
        const char* dir = std::getenv("TESSALOOM_TEST_PNG_DIR");
        if (dir && *dir) WritePng(std::string(dir) + "/" + name + ".png");
    }
};

// Converts pixels of a locked surface of the given format to D3DCOLOR.
inline bool ConvertPixels(D3DFORMAT format, const D3DLOCKED_RECT& locked, UINT width, UINT height, Image* out) {
    out->width = width;
    out->height = height;
    out->pixels.assign(static_cast<size_t>(width) * height, 0);
    auto expand = [](uint32_t v, int bits) { return static_cast<uint32_t>((v * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1)); };
    for (UINT y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        for (UINT x = 0; x < width; ++x) {
            D3DCOLOR c = 0;
            switch (format) {
                case D3DFMT_A8R8G8B8: std::memcpy(&c, row + x * 4, 4); break;
                case D3DFMT_X8R8G8B8: std::memcpy(&c, row + x * 4, 4); c |= 0xff000000u; break;
                case D3DFMT_R5G6B5: {
                    uint16_t v;
                    std::memcpy(&v, row + x * 2, 2);
                    c = D3DCOLOR_ARGB(255, expand(v >> 11, 5), expand((v >> 5) & 63, 6), expand(v & 31, 5));
                    break;
                }
                case D3DFMT_A1R5G5B5:
                case D3DFMT_X1R5G5B5: {
                    uint16_t v;
                    std::memcpy(&v, row + x * 2, 2);
                    const uint32_t a = format == D3DFMT_X1R5G5B5 || (v >> 15) ? 255 : 0;
                    c = D3DCOLOR_ARGB(a, expand((v >> 10) & 31, 5), expand((v >> 5) & 31, 5), expand(v & 31, 5));
                    break;
                }
                case D3DFMT_L8: c = D3DCOLOR_ARGB(255, row[x], row[x], row[x]); break;
                default: return false;
            }
            out->pixels[static_cast<size_t>(y) * width + x] = c;
        }
    }
    return true;
}

// True when every channel (alpha too unless ignoreAlpha) is within tolerance.
inline ::testing::AssertionResult ColorNear(D3DCOLOR actual, D3DCOLOR expected, int tolerance, bool ignoreAlpha = true) {
    for (int shift = 0; shift < (ignoreAlpha ? 24 : 32); shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xff), e = static_cast<int>((expected >> shift) & 0xff);
        if (std::abs(a - e) > tolerance) {
            char text[96];
            std::snprintf(text, sizeof(text), "colour 0x%08x, expected 0x%08x (tolerance %d)", actual, expected, tolerance);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

// Probes one pixel; the message says which pixel was probed.
inline ::testing::AssertionResult Probe(const Image& image, UINT x, UINT y, D3DCOLOR expected, int tolerance = 2,
                                        bool ignoreAlpha = true) {
    if (x >= image.width || y >= image.height)
        return ::testing::AssertionFailure() << "probe (" << x << ", " << y << ") outside the image";
    auto result = ColorNear(image.at(x, y), expected, tolerance, ignoreAlpha);
    if (!result) return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << result.message();
    return result;
}

// Vertex layouts the tests use.
struct VertexXyzTex {
    float x, y, z, u, v;
};
struct VertexRhwColor {
    float x, y, z, rhw;
    D3DCOLOR color;
};
struct VertexRhwColorTex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
struct VertexXyzColor {
    float x, y, z;
    D3DCOLOR color;
};
struct VertexXyzColorTex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

// One offscreen device with a back buffer of the asked size.  The destructor
// releases everything and checks that nothing of the device was leaked.
class D3DHarness {
public:
    // `type` D3DDEVTYPE_SW gives the software device (software vertex processing).
    explicit D3DHarness(UINT width = 64, UINT height = 64, D3DFORMAT format = D3DFMT_X8R8G8B8, bool depth = false,
                        D3DDEVTYPE type = D3DDEVTYPE_HAL) {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) return;
        params = OffscreenParameters(width, height, format);
        params.EnableAutoDepthStencil = depth;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        const DWORD vp = type == D3DDEVTYPE_SW ? D3DCREATE_SOFTWARE_VERTEXPROCESSING : D3DCREATE_HARDWARE_VERTEXPROCESSING;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, type, nullptr, vp, &params, &device)))
            device = nullptr;
    }
    ~D3DHarness() {
        if (device) {
            EXPECT_EQ(tessaloom::d3d9::LiveResourceCount(device), 0) << "resources of the device were not released";
            EXPECT_EQ(device->Release(), 0u) << "the device is still referenced";
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
    }
    D3DHarness(const D3DHarness&) = delete;
    D3DHarness& operator=(const D3DHarness&) = delete;

    bool ok() const { return device != nullptr; }

    // Reads any colour render-target surface back.
    Image Read(IDirect3DSurface9* surface) {
        Image image;
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        if (FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                       nullptr)))
            return image;
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(device->GetRenderTargetData(surface, copy)) &&
            SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            ConvertPixels(desc.Format, locked, desc.Width, desc.Height, &image);
            copy->UnlockRect();
        }
        copy->Release();
        return image;
    }
    Image ReadBackBuffer() {
        IDirect3DSurface9* back = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        Image image = Read(back);
        back->Release();
        return image;
    }
    Image ReadTexture(IDirect3DTexture9* texture) {
        IDirect3DSurface9* level = nullptr;
        texture->GetSurfaceLevel(0, &level);
        Image image = Read(level);
        level->Release();
        return image;
    }

    // A managed texture filled from a function of (x, y).
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, const std::function<D3DCOLOR(UINT, UINT)>& color,
                                   D3DFORMAT format = D3DFMT_A8R8G8B8) {
        return MakeManagedTexture(device, width, height, color, format);
    }

    // A managed vertex buffer holding the given vertices.
    template <class V>
    IDirect3DVertexBuffer9* MakeBuffer(const std::vector<V>& vertices, DWORD fvf) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        const UINT size = static_cast<UINT>(vertices.size() * sizeof(V));
        if (FAILED(device->CreateVertexBuffer(size, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &buffer, nullptr)))
            return nullptr;
        void* data = nullptr;
        buffer->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), size);
        buffer->Unlock();
        return buffer;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params{};
};

}  // namespace tessaloom::testing
