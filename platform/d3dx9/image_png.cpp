// PNG through libpng: every colour type and depth, interlaced or not.
// Grey -> L8, grey with alpha -> A8L8, true colour -> R8G8B8, with alpha ->
// A8R8G8B8; palettes are expanded (with alpha when a tRNS chunk gives it),
// 16-bit samples are cut to 8. The information names the file's own kind
// (P8 for a palette picture).
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {
namespace {

struct Reader {
    const BYTE* data;
    size_t size;
    size_t offset;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (count > r->size - r->offset) png_error(png, "file ends early");
    std::memcpy(out, r->data + r->offset, count);
    r->offset += count;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct PngContext {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngContext() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// All the libpng work, kept free of objects with destructors so that a
// longjmp out of libpng skips nothing. `rows` and `image` belong to the caller.
HRESULT Decode(PngContext& ctx, Reader& reader, D3DXIMAGE_INFO* out, DecodedImage* image,
               std::vector<png_bytep>& rows) {
    if (setjmp(png_jmpbuf(ctx.png))) return D3DXERR_INVALIDDATA;
    png_set_read_fn(ctx.png, &reader, ReadBytes);
    png_set_user_limits(ctx.png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(ctx.png, 16 * 1024 * 1024);
    png_read_info(ctx.png, ctx.info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(ctx.png, ctx.info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (!ImageSizeAcceptable(width, height)) return D3DXERR_INVALIDDATA;
    // Deflate expands at most about 1032 to 1: more filtered rows than that
    // from this file cannot be real, so nothing is allocated for them.
    const uint64_t rawRow = (uint64_t{width} * png_get_channels(ctx.png, ctx.info) * depth + 7) / 8 + 1;
    if (rawRow * height > uint64_t{reader.size} * 1032) return D3DXERR_INVALIDDATA;
    const bool trns = png_get_valid(ctx.png, ctx.info, PNG_INFO_tRNS) != 0;

    D3DFORMAT fileFormat = D3DFMT_UNKNOWN, format = D3DFMT_UNKNOWN;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
            fileFormat = D3DFMT_L8;
            format = trns ? D3DFMT_A8L8 : D3DFMT_L8;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            fileFormat = format = D3DFMT_A8L8;
            break;
        case PNG_COLOR_TYPE_RGB:
            fileFormat = D3DFMT_R8G8B8;
            format = trns ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            fileFormat = format = D3DFMT_A8R8G8B8;
            break;
        case PNG_COLOR_TYPE_PALETTE:
            fileFormat = D3DFMT_P8;
            format = trns ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8;
            break;
        default:
            return D3DXERR_INVALIDDATA;
    }
    *out = D3DXIMAGE_INFO{width, height, 1, 1, fileFormat, D3DRTYPE_TEXTURE, D3DXIFF_PNG};
    if (!image) return S_OK;

    png_set_expand(ctx.png);  // palette -> RGB, low-depth grey -> 8 bits, tRNS -> alpha
    png_set_strip_16(ctx.png);
    png_set_bgr(ctx.png);  // Direct3D's byte order: B, G, R(, A)
    png_set_interlace_handling(ctx.png);
    png_read_update_info(ctx.png, ctx.info);
    if (png_get_rowbytes(ctx.png, ctx.info) != RowBytes(format, width)) return D3DXERR_INVALIDDATA;

    if (!image->Allocate(width, height, format)) return E_OUTOFMEMORY;
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = image->Row(y);
    png_read_image(ctx.png, rows.data());
    png_read_end(ctx.png, nullptr);
    return S_OK;
}

}  // namespace

HRESULT DecodePng(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return D3DXERR_INVALIDDATA;
    PngContext ctx;
    ctx.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!ctx.png) return E_OUTOFMEMORY;
    ctx.info = png_create_info_struct(ctx.png);
    if (!ctx.info) return E_OUTOFMEMORY;
    Reader reader{data, size, 0};
    std::vector<png_bytep> rows;
    try {
        rows.reserve(1);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = Decode(ctx, reader, info, image, rows);
    if (FAILED(hr) && image) *image = DecodedImage{};
    return hr;
}

}  // namespace tessaloom::d3dx
