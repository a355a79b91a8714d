// D3DX texture creation: the size, level and format rules of
// D3DXCheckTextureRequirements, textures from image files, mip filtering,
// and saving a texture as a DDS file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/gl_interop.h"
#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/image.h"
#include "platform/d3dx9/surface_access.h"
#include "platform/win32/kernel.h"
#include "platform/win32/strings.h"

namespace tessaloom::d3dx {
namespace {


// The D3DX calls answer running out of memory with a result, not an exception.
template <typename F>
HRESULT NoThrow(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

UINT NextPow2(UINT v) {
    UINT p = 1;
    while (p < v && p < (1u << 31)) p <<= 1;
    return p;
}

UINT FullChain(UINT w, UINT h) {
    UINT levels = 1;
    for (UINT s = std::max(w, h); s > 1; s >>= 1) ++levels;
    return levels;
}

// Formats to try for a request, nearest first: never fewer channels, no
// new channels where avoidable, 24-bit only when asked for explicitly.
// Block-compressed requests are served uncompressed (this stand-in has no
// DXT encoder).
std::vector<D3DFORMAT> Candidates(D3DFORMAT asked, bool explicitFormat) {
    switch (asked) {
        case D3DFMT_R8G8B8:
            if (explicitFormat) return {D3DFMT_R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
            return {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R8G8B8};
        case D3DFMT_X8R8G8B8: return {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_A8B8G8R8: return {D3DFMT_A8B8G8R8, D3DFMT_A8R8G8B8};
        case D3DFMT_X8B8G8R8: return {D3DFMT_X8B8G8R8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_R5G6B5: return {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_X1R5G5B5: return {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_A1R5G5B5: return {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
        case D3DFMT_A4R4G4B4: return {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
        case D3DFMT_X4R4G4B4: return {D3DFMT_X4R4G4B4, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_A2R10G10B10: return {D3DFMT_A2R10G10B10, D3DFMT_A8R8G8B8};
        case D3DFMT_A8: return {D3DFMT_A8, D3DFMT_A8L8, D3DFMT_A8R8G8B8};
        case D3DFMT_L8: return {D3DFMT_L8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        case D3DFMT_A8L8: return {D3DFMT_A8L8, D3DFMT_A8R8G8B8};
        case D3DFMT_V8U8: return {D3DFMT_V8U8, D3DFMT_V16U16, D3DFMT_Q8W8V8U8};
        case D3DFMT_V16U16: return {D3DFMT_V16U16, D3DFMT_Q8W8V8U8};
        case D3DFMT_Q8W8V8U8: return {D3DFMT_Q8W8V8U8};
        case D3DFMT_DXT1: return {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
        default: return {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};  // UNKNOWN, palettes, DXT2-5
    }
}

// Whether the device can make textures of `format` with `usage`. When it
// cannot be asked, the texture creation itself will judge.
bool DeviceSupports(IDirect3DDevice9* device, DWORD usage, D3DFORMAT format) {
    Ref<IDirect3D9> d3d;
    if (FAILED(device->GetDirect3D(&d3d.p)) || !d3d.p) return true;
    D3DDEVICE_CREATION_PARAMETERS cp{};
    if (FAILED(device->GetCreationParameters(&cp))) return true;
    D3DDISPLAYMODE mode{};
    if (FAILED(device->GetDisplayMode(0, &mode)) || mode.Format == D3DFMT_UNKNOWN) mode.Format = D3DFMT_X8R8G8B8;
    const DWORD checked = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP);
    if (SUCCEEDED(d3d.p->CheckDeviceFormat(cp.AdapterOrdinal, cp.DeviceType, mode.Format, checked, D3DRTYPE_TEXTURE,
                                           format)))
        return true;
    // A display mode the format check does not take as an adapter format:
    // ask for the usual desktop format instead.
    return mode.Format != D3DFMT_X8R8G8B8 &&
           SUCCEEDED(d3d.p->CheckDeviceFormat(cp.AdapterOrdinal, cp.DeviceType, D3DFMT_X8R8G8B8, checked,
                                              D3DRTYPE_TEXTURE, format));
}

HRESULT CheckRequirements(IDirect3DDevice9* device, UINT* pWidth, UINT* pHeight, UINT* pLevels, DWORD usage,
                          D3DFORMAT* pFormat, bool explicitFormat) {
    if (!device) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps{};
    const bool haveCaps = SUCCEEDED(device->GetDeviceCaps(&caps));
    UINT w = pWidth ? *pWidth : 0, h = pHeight ? *pHeight : 0;
    if (w == 0 || w == D3DX_DEFAULT) w = 256;
    if (h == 0 || h == D3DX_DEFAULT) h = 256;
    UINT levels = pLevels ? *pLevels : 0;
    if (levels == D3DX_DEFAULT) levels = 0;
    if (haveCaps) {
        const bool pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
        const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
        // Conditional support covers single-level textures only.
        if (pow2 && (!conditional || levels != 1)) {
            w = NextPow2(w);
            h = NextPow2(h);
        }
        if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
        if (caps.MaxTextureWidth) w = std::min<UINT>(w, caps.MaxTextureWidth);
        if (caps.MaxTextureHeight) h = std::min<UINT>(h, caps.MaxTextureHeight);
    }
    const UINT full = FullChain(w, h);
    if (levels == 0 || levels > full) levels = full;

    D3DFORMAT asked = pFormat ? *pFormat : D3DFMT_UNKNOWN;
    D3DFORMAT chosen = D3DFMT_UNKNOWN;
    for (D3DFORMAT f : Candidates(asked, explicitFormat && asked != D3DFMT_UNKNOWN)) {
        if (FindPixelFormat(f) && DeviceSupports(device, usage, f)) {
            chosen = f;
            break;
        }
    }
    if (pWidth) *pWidth = w;
    if (pHeight) *pHeight = h;
    if (pLevels) *pLevels = levels;
    if (chosen == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
    if (pFormat) *pFormat = chosen;
    return S_OK;
}

HRESULT WriteLevel(IDirect3DTexture9* texture, UINT level, const FloatImage& image) {
    Ref<IDirect3DSurface9> surface;
    HRESULT hr = texture->GetSurfaceLevel(level, &surface.p);
    if (FAILED(hr)) return hr;
    D3DSURFACE_DESC d{};
    surface.p->GetDesc(&d);
    return WriteSurface(surface.p, WholeRect(d), image);
}

// Fills levels first+1 .. end of `texture` from `top` (the picture of level
// `first`), each from the level above with the mip filter.
HRESULT FillMips(IDirect3DTexture9* texture, UINT first, FloatImage top, DWORD mipFilter) {
    // No filter for mips still gives each level a picture: nearest pixels.
    if ((mipFilter & 0xff) == D3DX_FILTER_NONE) mipFilter = (mipFilter & ~0xffu) | D3DX_FILTER_POINT;
    const UINT levels = texture->GetLevelCount();
    for (UINT level = first + 1; level < levels; ++level) {
        D3DSURFACE_DESC d{};
        HRESULT hr = texture->GetLevelDesc(level, &d);
        if (FAILED(hr)) return hr;
        top = Resample(top, d.Width, d.Height, mipFilter);
        if (FAILED(hr = WriteLevel(texture, level, top))) return hr;
    }
    return S_OK;
}

// The rows of one texture level, written top to bottom in bands of a few
// rows: straight into the device's texture where it takes rows without a
// lock (so no CPU copy of the whole level is made for the write), else into
// one lock of the whole level.
class LevelRows {
public:
    LevelRows(IDirect3DTexture9* texture, UINT level, const D3DSURFACE_DESC& desc)
        : texture_(texture), level_(level), desc_(desc), rowBytes_(RowBytes(desc.Format, desc.Width)) {}
    ~LevelRows() {
        if (bits_) texture_->UnlockRect(level_);
    }

    // Where row y goes; valid until the next call.
    BYTE* Row(UINT y) {
        if (bits_) return bits_ + static_cast<size_t>(y) * pitch_;
        if (band_.empty()) band_.resize(rowBytes_ * kBandRows);
        return band_.data() + static_cast<size_t>(y - bandTop_) * rowBytes_;
    }
    // Row y is written; rows go in order from the top.
    HRESULT Done(UINT y) {
        if (bits_ || (y + 1 - bandTop_ < kBandRows && y + 1 < desc_.Height)) return S_OK;
        const RECT rect{0, static_cast<LONG>(bandTop_), static_cast<LONG>(desc_.Width), static_cast<LONG>(y + 1)};
        if (!tessaloom::d3d9::WriteTextureRows(texture_, level_, rect, band_.data(), static_cast<UINT>(rowBytes_))) {
            // Not a texture that takes rows: the rest through a lock.
            D3DLOCKED_RECT locked{};
            HRESULT hr = texture_->LockRect(level_, &locked, nullptr, 0);
            if (FAILED(hr)) return hr;
            bits_ = static_cast<BYTE*>(locked.pBits);
            pitch_ = static_cast<size_t>(locked.Pitch);
            for (UINT row = bandTop_; row <= y; ++row)
                std::memcpy(bits_ + row * pitch_, band_.data() + (row - bandTop_) * rowBytes_, rowBytes_);
            band_ = {};
            return S_OK;
        }
        bandTop_ = y + 1;
        return S_OK;
    }
    HRESULT Finish() {
        if (!bits_) return S_OK;
        bits_ = nullptr;
        return texture_->UnlockRect(level_);
    }

private:
    static constexpr UINT kBandRows = 32;
    IDirect3DTexture9* texture_;
    UINT level_;
    D3DSURFACE_DESC desc_;
    size_t rowBytes_;
    std::vector<BYTE> band_;
    UINT bandTop_ = 0;
    BYTE* bits_ = nullptr;
    size_t pitch_ = 0;
};

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step with one byte shuffle (SSSE3, which every x86-64
// processor of the last fifteen years has); answers how many were done.
// Each step reads 16 bytes, so it stops while that stays inside the row.
__attribute__((target("ssse3"))) UINT WidenPixelsSsse3(const BYTE* in, UINT count, BYTE* out) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    UINT x = 0;
    for (; x + 6 <= count; x += 4) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * static_cast<size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * static_cast<size_t>(x)),
                         _mm_or_si128(_mm_shuffle_epi8(bgr, shuffle), opaque));
    }
    return x;
}
#endif

// R8G8B8 pixels (bytes B, G, R) as X8R8G8B8 (B, G, R, 0xFF).
void WidenRow(const BYTE* in, UINT count, BYTE* out) {
    UINT x = 0;
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) x = WidenPixelsSsse3(in, count, out);
#endif
    for (; x < count; ++x) {
        const BYTE* p = in + 3 * static_cast<size_t>(x);
        BYTE* q = out + 4 * static_cast<size_t>(x);
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
        q[3] = 0xFF;
    }
}

// Level 0 from the decoded picture: converted, colour-keyed and scaled row
// by row into the level, so no float copy of the whole picture is made (a
// picture larger than the device takes is reduced within a few rows of
// floats).  With `top` the level's float picture is kept for the mip chain
// (the texture's size, not the picture's).  D3DERR_INVALIDCALL when the
// level's format is not one of the pixel-format table.
HRESULT WriteTopLevel(IDirect3DTexture9* texture, const DecodedImage& image, DWORD filter, D3DCOLOR key,
                      FloatImage* top) {
    D3DSURFACE_DESC d{};
    HRESULT hr = texture->GetLevelDesc(0, &d);
    if (FAILED(hr)) return hr;
    if ((d.Usage & D3DUSAGE_RENDERTARGET) || !FindPixelFormat(d.Format)) return D3DERR_INVALIDCALL;
    if (top) {
        top->width = d.Width;
        top->height = d.Height;
        top->px.resize(static_cast<size_t>(d.Width) * d.Height);
    }
    LevelRows rows(texture, 0, d);
    // The common picture files (24-bit TGA, BMP, JPEG, PNG) into a 32-bit
    // texture of their own size: the bytes are widened as they stand, with
    // the alpha (or X) byte 0xFF, which is what the float path writes too.
    // A same-size scale gives the source rows as they are, so the mip
    // chain's float picture is the source read as floats.
    const bool widen = image.format == D3DFMT_R8G8B8 &&
                       (d.Format == D3DFMT_X8R8G8B8 || d.Format == D3DFMT_A8R8G8B8);
    if (widen && image.width == d.Width && image.height == d.Height && key == 0) {
        for (UINT y = 0; y < d.Height; ++y) {
            WidenRow(image.Row(y), d.Width, rows.Row(y));
            if (top) ReadRow(image.format, image.Row(y), image.width, &top->at(0, y));
            if (FAILED(hr = rows.Done(y))) return hr;
        }
        return rows.Finish();
    }
    ResampleRows(
        image.width, image.height, d.Width, d.Height, filter,
        [&](UINT y, Color4* row) {
            ReadRow(image.format, image.Row(y), image.width, row);
            ApplyColourKey(row, image.width, key);
        },
        [&](UINT y, const Color4* row) {
            if (FAILED(hr)) return;
            WriteRow(d.Format, row, d.Width, rows.Row(y));
            if (top) std::copy_n(row, d.Width, &top->at(0, y));
            hr = rows.Done(y);
        });
    if (FAILED(hr)) return hr;
    return rows.Finish();
}

FloatImage ToFloat(const DecodedImage& image) {
    FloatImage f;
    f.width = image.width;
    f.height = image.height;
    f.px.resize(static_cast<size_t>(f.width) * f.height);
    for (UINT y = 0; y < image.height; ++y) ReadRow(image.format, image.Row(y), image.width, &f.at(0, y));
    return f;
}

D3DFORMAT WithAlpha(D3DFORMAT f) {
    switch (f) {
        case D3DFMT_X8R8G8B8:
        case D3DFMT_R8G8B8: return D3DFMT_A8R8G8B8;
        case D3DFMT_X8B8G8R8: return D3DFMT_A8B8G8R8;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5: return D3DFMT_A1R5G5B5;
        case D3DFMT_X4R4G4B4: return D3DFMT_A4R4G4B4;
        case D3DFMT_L8: return D3DFMT_A8L8;
        default: return f;
    }
}

UINT PickSize(UINT asked, UINT file) {
    if (asked == 0 || asked == D3DX_DEFAULT) return NextPow2(file);
    if (asked == D3DX_DEFAULT_NONPOW2 || asked == D3DX_FROM_FILE) return file;
    return asked;
}

}  // namespace
}  // namespace tessaloom::d3dx

using namespace tessaloom::d3dx;

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight, UINT* pNumMipLevels,
                                     DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool) {
    (void)Pool;
    return CheckRequirements(pDevice, pWidth, pHeight, pNumMipLevels, Usage, pFormat, true);
}

HRESULT D3DXCreateTexture(IDirect3DDevice9* pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9** ppTexture) {
    if (!pDevice || !ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    HRESULT hr = CheckRequirements(pDevice, &Width, &Height, &MipLevels, Usage, &Format, true);
    if (FAILED(hr)) return hr;
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, Format, Pool, ppTexture, nullptr);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture) {
    HRESULT result = tessaloom::d3dx::NoThrow([&]() -> HRESULT {
        (void)pPalette;  // palettes are expanded; no palette texture is made
        if (!pDevice || !pSrcData || SrcDataSize == 0 || !ppTexture) return D3DERR_INVALIDCALL;
        *ppTexture = nullptr;
        DWORD filter = 0, mipFilter = 0;
        if (!NormaliseFilter(Filter, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, &filter) ||
            !NormaliseFilter(MipFilter, D3DX_FILTER_BOX, &mipFilter))
            return D3DERR_INVALIDCALL;

        D3DXIMAGE_INFO info{};
        DecodedImage image;
        HRESULT hr = DecodeImage(static_cast<const BYTE*>(pSrcData), SrcDataSize, &info, &image);
        if (FAILED(hr)) return hr;

        UINT w = PickSize(Width, info.Width), h = PickSize(Height, info.Height);
        UINT levels = MipLevels == D3DX_FROM_FILE ? info.MipLevels : MipLevels;
        const bool fromFile = Format == D3DFMT_UNKNOWN || Format == D3DFMT_FROM_FILE;
        D3DFORMAT format = fromFile ? image.format : Format;
        // A colour key needs somewhere to put its transparency.
        if (fromFile && ColorKey != 0) format = WithAlpha(format);
        hr = CheckRequirements(pDevice, &w, &h, &levels, Usage, &format, !fromFile || Format == D3DFMT_FROM_FILE);
        if (FAILED(hr)) return hr;

        // Every level is written whole below (or the texture is dropped), so
        // the device need not clear them first.
        Ref<IDirect3DTexture9> made;
        hr = tessaloom::d3d9::CreateTextureToWrite(pDevice, w, h, levels, Usage, format, Pool, &made.p);
        if (FAILED(hr)) return hr;
        IDirect3DTexture9* texture = made.p;

        FloatImage top;
        if (image.format == format && image.width == w && image.height == h && ColorKey == 0) {
            // The file's own bytes, exactly (bump maps keep every bit).
            Ref<IDirect3DSurface9> surface;
            hr = texture->GetSurfaceLevel(0, &surface.p);
            if (SUCCEEDED(hr)) {
                hr = WriteSurfaceBytes(surface.p, RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)}, image.pixels);
            }
            if (SUCCEEDED(hr) && texture->GetLevelCount() > 1) top = ToFloat(image);
        } else {
            hr = WriteTopLevel(texture, image, filter, ColorKey, texture->GetLevelCount() > 1 ? &top : nullptr);
            if (hr == D3DERR_INVALIDCALL) {
                // A level outside the pixel-format table: through a float copy.
                FloatImage src = ToFloat(image);
                ApplyColourKey(&src, ColorKey);
                top = Resample(src, w, h, filter);
                hr = WriteLevel(texture, 0, top);
            }
        }
        image = DecodedImage{};
        if (SUCCEEDED(hr)) hr = FillMips(texture, 0, std::move(top), mipFilter);
        if (FAILED(hr)) return hr;
        if (pSrcInfo) *pSrcInfo = info;
        *ppTexture = made.p;
        made.p = nullptr;
        return S_OK;
    });
    // The decode and the mip chain went through megabytes of scratch.
    tessaloom::GiveBackFreedHeap();
    return result;
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                          IDirect3DTexture9** ppTexture) {
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* pDevice, const WCHAR* pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                     DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                     PALETTEENTRY* pPalette, IDirect3DTexture9** ppTexture) {
    if (!pSrcFile || !ppTexture) return D3DERR_INVALIDCALL;
    *ppTexture = nullptr;
    std::ifstream in(tessaloom::Utf16ToUtf8(pSrcFile), std::ios::binary);
    if (!in) return D3DXERR_INVALIDDATA;
    std::vector<BYTE> bytes;
    try {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (bytes.empty() || bytes.size() > 0x7fffffff) return D3DXERR_INVALIDDATA;
    return D3DXCreateTextureFromFileInMemoryEx(pDevice, bytes.data(), static_cast<UINT>(bytes.size()), Width, Height,
                                               MipLevels, Usage, Format, Pool, Filter, MipFilter, ColorKey, pSrcInfo,
                                               pPalette, ppTexture);
}

HRESULT D3DXCreateTextureFromFileW(IDirect3DDevice9* pDevice, const WCHAR* pSrcFile, IDirect3DTexture9** ppTexture) {
    return D3DXCreateTextureFromFileExW(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, ppTexture);
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter) {
    return tessaloom::d3dx::NoThrow([&]() -> HRESULT {
        (void)pPalette;
        if (!pBaseTexture) return D3DERR_INVALIDCALL;
        DWORD filter = 0;
        if (!NormaliseFilter(Filter, D3DX_FILTER_BOX, &filter)) return D3DERR_INVALIDCALL;
        Ref<IDirect3DTexture9> texture;
        if (FAILED(pBaseTexture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture.p))) ||
            !texture.p) {
            std::fprintf(stderr, "D3DXFilterTexture: only 2D textures are supported by this stand-in\n");
            return D3DERR_INVALIDCALL;
        }
        if (SrcLevel == D3DX_DEFAULT) SrcLevel = 0;
        if (SrcLevel >= texture.p->GetLevelCount()) return D3DERR_INVALIDCALL;
        Ref<IDirect3DSurface9> surface;
        HRESULT hr = texture.p->GetSurfaceLevel(SrcLevel, &surface.p);
        if (FAILED(hr)) return hr;
        D3DSURFACE_DESC d{};
        surface.p->GetDesc(&d);
        FloatImage top;
        if (FAILED(hr = ReadSurface(surface.p, WholeRect(d), &top))) return hr;
        return FillMips(texture.p, SrcLevel, std::move(top), filter);
    });
}

HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                      IDirect3DBaseTexture9* pSrcTexture, const PALETTEENTRY* pSrcPalette) {
    return tessaloom::d3dx::NoThrow([&]() -> HRESULT {
        (void)pSrcPalette;
        if (!ppDestBuf || !pSrcTexture) return D3DERR_INVALIDCALL;
        *ppDestBuf = nullptr;
        if (DestFormat != D3DXIFF_DDS) {
            std::fprintf(stderr, "D3DXSaveTextureToFileInMemory: only DDS files are written by this stand-in\n");
            return E_NOTIMPL;
        }
        Ref<IDirect3DTexture9> texture;
        if (FAILED(pSrcTexture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture.p))) ||
            !texture.p) {
            std::fprintf(stderr, "D3DXSaveTextureToFileInMemory: only 2D textures are supported by this stand-in\n");
            return D3DERR_INVALIDCALL;
        }
        const UINT levels = texture.p->GetLevelCount();
        D3DSURFACE_DESC top{};
        HRESULT hr = texture.p->GetLevelDesc(0, &top);
        if (FAILED(hr)) return hr;
        std::vector<std::vector<BYTE>> bytes(levels);
        std::vector<DdsLevel> dds;
        for (UINT level = 0; level < levels; ++level) {
            Ref<IDirect3DSurface9> surface;
            if (FAILED(hr = texture.p->GetSurfaceLevel(level, &surface.p))) return hr;
            D3DSURFACE_DESC d{};
            surface.p->GetDesc(&d);
            if (FAILED(hr = ReadSurfaceBytes(surface.p, WholeRect(d), &bytes[level]))) return hr;
            dds.push_back({bytes[level].data(), static_cast<UINT>(RowBytes(d.Format, d.Width))});
        }
        std::vector<BYTE> file;
        if (FAILED(hr = EncodeDds(top.Width, top.Height, top.Format, dds, &file))) {
            std::fprintf(stderr, "D3DXSaveTextureToFileInMemory: format %u cannot be written as DDS\n",
                         static_cast<unsigned>(top.Format));
            return hr;
        }
        ID3DXBuffer* buffer = nullptr;
        if (FAILED(hr = D3DXCreateBuffer(static_cast<DWORD>(file.size()), &buffer))) return hr;
        std::memcpy(buffer->GetBufferPointer(), file.data(), file.size());
        *ppDestBuf = buffer;
        return S_OK;
    });
}
