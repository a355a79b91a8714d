// JPEG through libjpeg-turbo: colour pictures -> X8R8G8B8, grey -> L8.
// Any warning of damaged data (a truncated file, a bad marker) fails the
// decode rather than filling the rest of the picture with grey. CMYK
// pictures are refused.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "platform/d3dx9/image.h"
#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void OnError(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);  // damaged data
}

struct JpegContext {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    ~JpegContext() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// The libjpeg work, free of objects with destructors (see the PNG decoder).
HRESULT Decode(JpegContext& ctx, const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    jpeg_decompress_struct& cinfo = ctx.cinfo;
    cinfo.err = jpeg_std_error(&ctx.err.base);
    ctx.err.base.error_exit = OnError;
    ctx.err.base.emit_message = OnMessage;
    if (setjmp(ctx.err.jump)) return D3DXERR_INVALIDDATA;
    jpeg_create_decompress(&cinfo);
    ctx.created = true;
    cinfo.mem->max_memory_to_use = 512L * 1024 * 1024;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return D3DXERR_INVALIDDATA;
    if (!ImageSizeAcceptable(cinfo.image_width, cinfo.image_height)) return D3DXERR_INVALIDDATA;

    D3DFORMAT format = D3DFMT_UNKNOWN;
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        format = D3DFMT_L8;
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cinfo.num_components == 3) {
        format = D3DFMT_X8R8G8B8;
        cinfo.out_color_space = JCS_EXT_BGRX;  // bytes B, G, R, X: X8R8G8B8
    } else {
        return D3DXERR_INVALIDDATA;
    }
    *info = D3DXIMAGE_INFO{cinfo.image_width, cinfo.image_height, 1, 1, format, D3DRTYPE_TEXTURE, D3DXIFF_JPG};
    if (!image) return S_OK;

    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height ||
        static_cast<size_t>(cinfo.output_width) * cinfo.output_components != RowBytes(format, cinfo.image_width))
        return D3DXERR_INVALIDDATA;
    if (!image->Allocate(cinfo.image_width, cinfo.image_height, format)) return E_OUTOFMEMORY;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image->Row(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return D3DXERR_INVALIDDATA;
    }
    jpeg_finish_decompress(&cinfo);
    // Fill the unused byte: X8R8G8B8 pixels read back as opaque anywhere.
    if (format == D3DFMT_X8R8G8B8)
        for (UINT y = 0; y < image->height; ++y)
            for (UINT x = 0; x < image->width; ++x) image->Row(y)[x * 4 + 3] = 0xff;
    return S_OK;
}

}  // namespace

HRESULT DecodeJpeg(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8) return D3DXERR_INVALIDDATA;
    JpegContext ctx;
    HRESULT hr = Decode(ctx, data, size, info, image);
    if (FAILED(hr) && image) *image = DecodedImage{};
    return hr;
}

}  // namespace tessaloom::d3dx
