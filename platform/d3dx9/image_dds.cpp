// DirectDraw surface files: 2D textures in the uncompressed formats of the
// pixel-format table (described by channel masks, or by a Direct3D format
// number as the four-character code) and DXT1 to DXT5, which are decoded to
// A8R8G8B8. Only the top level is decoded; the information reports the
// file's level count. Cube maps and volumes are refused.
//
// Layout: "DDS ", a 124-byte header (with a 32-byte pixel format at offset
// 72), then every level of the top surface, each tightly packed.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {
namespace {

constexpr size_t kHeaderSize = 4 + 124;

constexpr uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8, DDSD_PIXELFORMAT = 0x1000,
                   DDSD_MIPMAPCOUNT = 0x20000;
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_ALPHA = 0x2, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40,
                   DDPF_LUMINANCE = 0x20000, DDPF_BUMPDUDV = 0x80000;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8, DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDSCAPS2_CUBEMAP = 0x200, DDSCAPS2_VOLUME = 0x200000;

// The mask description of each uncompressed format, used both ways.
struct MaskFormat {
    D3DFORMAT format;
    uint32_t flags, bits, r, g, b, a;
};
constexpr MaskFormat kMaskFormats[] = {
    {D3DFMT_A8R8G8B8, DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xff0000, 0xff00, 0xff, 0xff000000},
    {D3DFMT_X8R8G8B8, DDPF_RGB, 32, 0xff0000, 0xff00, 0xff, 0},
    {D3DFMT_A8B8G8R8, DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xff, 0xff00, 0xff0000, 0xff000000},
    {D3DFMT_X8B8G8R8, DDPF_RGB, 32, 0xff, 0xff00, 0xff0000, 0},
    {D3DFMT_A2R10G10B10, DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0x3ff00000, 0xffc00, 0x3ff, 0xc0000000},
    {D3DFMT_R8G8B8, DDPF_RGB, 24, 0xff0000, 0xff00, 0xff, 0},
    {D3DFMT_R5G6B5, DDPF_RGB, 16, 0xf800, 0x7e0, 0x1f, 0},
    {D3DFMT_A1R5G5B5, DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7c00, 0x3e0, 0x1f, 0x8000},
    {D3DFMT_X1R5G5B5, DDPF_RGB, 16, 0x7c00, 0x3e0, 0x1f, 0},
    {D3DFMT_A4R4G4B4, DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0xf00, 0xf0, 0xf, 0xf000},
    {D3DFMT_X4R4G4B4, DDPF_RGB, 16, 0xf00, 0xf0, 0xf, 0},
    {D3DFMT_A8, DDPF_ALPHA, 8, 0, 0, 0, 0xff},
    {D3DFMT_L8, DDPF_LUMINANCE, 8, 0xff, 0, 0, 0},
    {D3DFMT_A8L8, DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 16, 0xff, 0, 0, 0xff00},
    {D3DFMT_V8U8, DDPF_BUMPDUDV, 16, 0xff, 0xff00, 0, 0},
    {D3DFMT_Q8W8V8U8, DDPF_BUMPDUDV, 32, 0xff, 0xff00, 0xff0000, 0xff000000},
    {D3DFMT_V16U16, DDPF_BUMPDUDV, 32, 0xffff, 0xffff0000, 0, 0},
};

D3DFORMAT FormatFromPixelFormat(const BYTE* pf) {
    const uint32_t flags = ReadU32(pf + 4), fourcc = ReadU32(pf + 8), bits = ReadU32(pf + 12);
    const uint32_t r = ReadU32(pf + 16), g = ReadU32(pf + 20), b = ReadU32(pf + 24), a = ReadU32(pf + 28);
    if (flags & DDPF_FOURCC) {
        auto f = static_cast<D3DFORMAT>(fourcc);
        if (IsBlockCompressed(f) || FindPixelFormat(f)) return f;
        return D3DFMT_UNKNOWN;
    }
    const uint32_t kinds = DDPF_RGB | DDPF_ALPHA | DDPF_LUMINANCE | DDPF_BUMPDUDV;
    for (const MaskFormat& m : kMaskFormats) {
        if ((flags & kinds) != (m.flags & kinds) || bits != m.bits) continue;
        const bool wantAlpha = (m.flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) != 0;
        const uint32_t alphaMask = (flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) ? a : 0;
        if (m.r == r && m.g == g && m.b == b && (wantAlpha ? alphaMask == m.a : alphaMask == 0)) return m.format;
    }
    return D3DFMT_UNKNOWN;
}

inline BYTE Expand5(uint32_t v) { return static_cast<BYTE>((v << 3) | (v >> 2)); }
inline BYTE Expand6(uint32_t v) { return static_cast<BYTE>((v << 2) | (v >> 4)); }

// One colour block: 4x4 texels as B, G, R, A bytes. `opaque` forces the
// four-colour mode (DXT2-5), else c0 <= c1 selects three colours and
// transparent black.
void DecodeColourBlock(const BYTE* block, bool opaque, BYTE out[16][4]) {
    const uint32_t c0 = ReadU16(block), c1 = ReadU16(block + 2), bits = ReadU32(block + 4);
    BYTE pal[4][4];
    auto set = [&](int i, uint32_t c) {
        pal[i][0] = Expand5(c & 31);
        pal[i][1] = Expand6((c >> 5) & 63);
        pal[i][2] = Expand5(c >> 11);
        pal[i][3] = 255;
    };
    set(0, c0);
    set(1, c1);
    if (opaque || c0 > c1) {
        for (int k = 0; k < 3; ++k) {
            pal[2][k] = static_cast<BYTE>((2 * pal[0][k] + pal[1][k]) / 3);
            pal[3][k] = static_cast<BYTE>((pal[0][k] + 2 * pal[1][k]) / 3);
        }
        pal[2][3] = pal[3][3] = 255;
    } else {
        for (int k = 0; k < 3; ++k) pal[2][k] = static_cast<BYTE>((pal[0][k] + pal[1][k]) / 2);
        pal[2][3] = 255;
        pal[3][0] = pal[3][1] = pal[3][2] = pal[3][3] = 0;
    }
    for (int i = 0; i < 16; ++i) std::memcpy(out[i], pal[(bits >> (2 * i)) & 3], 4);
}

void DecodeDxtBlock(D3DFORMAT format, const BYTE* block, BYTE out[16][4]) {
    if (format == D3DFMT_DXT1) {
        DecodeColourBlock(block, false, out);
        return;
    }
    DecodeColourBlock(block + 8, true, out);
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        for (int i = 0; i < 16; ++i) {
            uint32_t nibble = (block[i / 2] >> ((i & 1) * 4)) & 15;
            out[i][3] = static_cast<BYTE>(nibble * 17);
        }
        return;
    }
    const uint32_t a0 = block[0], a1 = block[1];
    uint32_t alphas[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t i = 2; i < 8; ++i) alphas[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
    } else {
        for (uint32_t i = 2; i < 6; ++i) alphas[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
        alphas[6] = 0;
        alphas[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = static_cast<BYTE>(alphas[(bits >> (3 * i)) & 7]);
}

size_t LevelBytes(D3DFORMAT format, UINT width, UINT height) {
    return RowBytes(format, width) * StorageRows(format, height);
}

}  // namespace

HRESULT DecodeDds(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (size < kHeaderSize || std::memcmp(data, "DDS ", 4) != 0) return D3DXERR_INVALIDDATA;
    const BYTE* h = data + 4;
    if (ReadU32(h) != 124 || ReadU32(h + 72) != 32) return D3DXERR_INVALIDDATA;
    const uint32_t flags = ReadU32(h + 4);
    const UINT height = ReadU32(h + 8), width = ReadU32(h + 12);
    const uint32_t caps2 = ReadU32(h + 108);
    if (caps2 & (DDSCAPS2_CUBEMAP | DDSCAPS2_VOLUME)) return D3DXERR_INVALIDDATA;
    if (!ImageSizeAcceptable(width, height)) return D3DXERR_INVALIDDATA;
    const D3DFORMAT format = FormatFromPixelFormat(h + 72);
    if (format == D3DFMT_UNKNOWN) return D3DXERR_INVALIDDATA;

    UINT levels = 1;
    if ((flags & DDSD_MIPMAPCOUNT) && ReadU32(h + 24) > 1) levels = ReadU32(h + 24);
    UINT maxLevels = 1;
    for (UINT s = std::max(width, height); s > 1; s /= 2) ++maxLevels;
    if (levels > maxLevels) return D3DXERR_INVALIDDATA;

    // Every level the header promises must be present.
    size_t needed = 0;
    for (UINT i = 0, w = width, ht = height; i < levels; ++i, w = std::max(1u, w / 2), ht = std::max(1u, ht / 2))
        needed += LevelBytes(format, w, ht);
    if (size - kHeaderSize < needed) return D3DXERR_INVALIDDATA;

    *info = D3DXIMAGE_INFO{width, height, 1, levels, format, D3DRTYPE_TEXTURE, D3DXIFF_DDS};
    if (!image) return S_OK;

    const BYTE* src = data + kHeaderSize;
    if (!IsBlockCompressed(format)) {
        if (!image->Allocate(width, height, format)) return E_OUTOFMEMORY;
        const size_t rowBytes = RowBytes(format, width);
        for (UINT y = 0; y < height; ++y) std::memcpy(image->Row(y), src + rowBytes * y, rowBytes);
        return S_OK;
    }
    if (!image->Allocate(width, height, D3DFMT_A8R8G8B8)) return E_OUTOFMEMORY;
    const size_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    const UINT blocksX = (width + 3) / 4, blocksY = (height + 3) / 4;
    BYTE texels[16][4];
    for (UINT by = 0; by < blocksY; ++by) {
        for (UINT bx = 0; bx < blocksX; ++bx) {
            DecodeDxtBlock(format, src + (static_cast<size_t>(by) * blocksX + bx) * blockBytes, texels);
            for (UINT ty = 0; ty < 4; ++ty) {
                UINT y = by * 4 + ty;
                if (y >= height) break;
                for (UINT tx = 0; tx < 4; ++tx) {
                    UINT x = bx * 4 + tx;
                    if (x >= width) break;
                    std::memcpy(image->Row(y) + static_cast<size_t>(x) * 4, texels[ty * 4 + tx], 4);
                }
            }
        }
    }
    return S_OK;
}

HRESULT EncodeDds(UINT width, UINT height, D3DFORMAT format, const std::vector<DdsLevel>& levels,
                  std::vector<BYTE>* file) {
    const MaskFormat* mf = nullptr;
    for (const MaskFormat& m : kMaskFormats)
        if (m.format == format) mf = &m;
    if (!mf || levels.empty() || width == 0 || height == 0) return D3DERR_INVALIDCALL;

    auto put32 = [](BYTE* p, uint32_t v) {
        p[0] = static_cast<BYTE>(v);
        p[1] = static_cast<BYTE>(v >> 8);
        p[2] = static_cast<BYTE>(v >> 16);
        p[3] = static_cast<BYTE>(v >> 24);
    };
    size_t total = kHeaderSize;
    for (UINT i = 0, w = width, h = height; i < levels.size(); ++i, w = std::max(1u, w / 2), h = std::max(1u, h / 2))
        total += LevelBytes(format, w, h);
    try {
        file->assign(total, 0);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    BYTE* out = file->data();
    std::memcpy(out, "DDS ", 4);
    BYTE* hd = out + 4;
    const bool mips = levels.size() > 1;
    put32(hd, 124);
    put32(hd + 4, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_PITCH | (mips ? DDSD_MIPMAPCOUNT : 0));
    put32(hd + 8, height);
    put32(hd + 12, width);
    put32(hd + 16, static_cast<uint32_t>(RowBytes(format, width)));
    put32(hd + 24, mips ? static_cast<uint32_t>(levels.size()) : 0);
    put32(hd + 72, 32);
    put32(hd + 76, mf->flags);
    put32(hd + 84, mf->bits);
    put32(hd + 88, mf->r);
    put32(hd + 92, mf->g);
    put32(hd + 96, mf->b);
    put32(hd + 100, mf->a);
    put32(hd + 104, DDSCAPS_TEXTURE | (mips ? DDSCAPS_COMPLEX | DDSCAPS_MIPMAP : 0));

    BYTE* dst = out + kHeaderSize;
    for (UINT i = 0, w = width, h = height; i < levels.size(); ++i, w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
        const size_t rowBytes = RowBytes(format, w);
        for (UINT y = 0; y < h; ++y) {
            std::memcpy(dst, levels[i].bits + static_cast<size_t>(levels[i].pitch) * y, rowBytes);
            dst += rowBytes;
        }
    }
    return S_OK;
}

}  // namespace tessaloom::d3dx
