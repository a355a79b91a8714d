// D3DX texture helpers: image information, textures from image files in
// memory or on disk, texture creation with D3DX's size and format rules,
// surface copies with filtering, and saving a texture as a DDS file.
//
// Image files understood: BMP, JPEG, TGA, PNG, DDS (D3DXIMAGE_FILEFORMAT).
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx9/d3dx9core.h"

struct IDirect3DDevice9;
struct IDirect3DBaseTexture9;
struct IDirect3DTexture9;
struct IDirect3DSurface9;

constexpr UINT D3DX_DEFAULT = static_cast<UINT>(-1);
constexpr UINT D3DX_DEFAULT_NONPOW2 = static_cast<UINT>(-2);
constexpr UINT D3DX_FROM_FILE = static_cast<UINT>(-3);
constexpr D3DFORMAT D3DFMT_FROM_FILE = static_cast<D3DFORMAT>(-3);

// Filters (the low byte picks the filter; the other bits are flags).
constexpr DWORD D3DX_FILTER_NONE = 1 << 0;
constexpr DWORD D3DX_FILTER_POINT = 2 << 0;
constexpr DWORD D3DX_FILTER_LINEAR = 3 << 0;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4 << 0;
constexpr DWORD D3DX_FILTER_BOX = 5 << 0;
constexpr DWORD D3DX_FILTER_MIRROR_U = 1 << 16;
constexpr DWORD D3DX_FILTER_MIRROR_V = 2 << 16;
constexpr DWORD D3DX_FILTER_MIRROR_W = 4 << 16;
constexpr DWORD D3DX_FILTER_MIRROR = 7 << 16;
constexpr DWORD D3DX_FILTER_DITHER = 1 << 19;
constexpr DWORD D3DX_FILTER_DITHER_DIFFUSION = 2 << 19;
constexpr DWORD D3DX_FILTER_SRGB_IN = 1 << 21;
constexpr DWORD D3DX_FILTER_SRGB_OUT = 2 << 21;
constexpr DWORD D3DX_FILTER_SRGB = 3 << 21;

enum D3DXIMAGE_FILEFORMAT : DWORD {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8,
    D3DXIFF_FORCE_DWORD = 0x7fffffff,
};

// What an image file holds, before any rounding a texture made from it gets.
// Format is the format that best describes the file's own pixels (R8G8B8 for
// a 24-bit picture, P8 for a colour-mapped one, DXT1 for a DXT1 DDS, ...).
struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

// Works without a device. D3DXERR_INVALIDDATA for data no decoder accepts.
HRESULT D3DXGetImageInfoFromFileInMemory(const void* pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo);

// Width/Height 0 or D3DX_DEFAULT: the file's size rounded up to powers of
// two; D3DX_DEFAULT_NONPOW2 or D3DX_FROM_FILE: the file's size. MipLevels 0
// or D3DX_DEFAULT: a full chain; D3DX_FROM_FILE: the file's count. Format
// D3DFMT_UNKNOWN or D3DFMT_FROM_FILE: the file's format, or the nearest the
// device can make. Filter/MipFilter D3DX_DEFAULT: TRIANGLE|DITHER and BOX.
// ColorKey: this A8R8G8B8 value becomes transparent black; 0 disables it.
// pSrcInfo (may be null) receives the file's image information.
// pPalette is not written (palettes are expanded).
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture);
// All defaults, managed pool.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                          IDirect3DTexture9** ppTexture);
// The same from a file (UTF-16 path, converted to UTF-8 for the file system).
HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* pDevice, const WCHAR* pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                     DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                     PALETTEENTRY* pPalette, IDirect3DTexture9** ppTexture);
HRESULT D3DXCreateTextureFromFileW(IDirect3DDevice9* pDevice, const WCHAR* pSrcFile, IDirect3DTexture9** ppTexture);

// Adjusts a texture request to what the device can make, as D3DXCreateTexture
// does: sizes (D3DX_DEFAULT -> 256; rounded up to powers of two when the
// device needs it; clamped to its maximum), levels (0/D3DX_DEFAULT -> full
// chain) and format (UNKNOWN -> A8R8G8B8; else the nearest it supports).
HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight, UINT* pNumMipLevels,
                                     DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool);
HRESULT D3DXCreateTexture(IDirect3DDevice9* pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9** ppTexture);

// Copies (and converts, and scales with the filter) a rectangle of one
// surface into a rectangle of another. Null rectangles mean whole surfaces.
// Palettes are not used (no palette formats are made by this stand-in).
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface9* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey);
// Fills the levels below `SrcLevel` from it (D3DX_DEFAULT filter: BOX).
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter);

// Only D3DXIFF_DDS is written: every level in the texture's own format.
HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** ppDestBuf, D3DXIMAGE_FILEFORMAT DestFormat,
                                      IDirect3DBaseTexture9* pSrcTexture, const PALETTEENTRY* pSrcPalette);
