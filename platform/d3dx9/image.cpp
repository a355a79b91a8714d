// Decoder choice by signature, the decoded picture's store, and the
// device-free image-information call.
#include "platform/d3dx9/image.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {

bool DecodedImage::Allocate(UINT w, UINT h, D3DFORMAT f) {
    pixels.clear();
    width = height = pitch = 0;
    format = D3DFMT_UNKNOWN;
    if (!ImageSizeAcceptable(w, h)) return false;
    size_t rowBytes = RowBytes(f, w);
    if (rowBytes == 0) return false;
    try {
        pixels.assign(rowBytes * h, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    width = w;
    height = h;
    format = f;
    pitch = static_cast<UINT>(rowBytes);
    return true;
}

HRESULT DecodeImage(const BYTE* data, size_t size, D3DXIMAGE_INFO* info, DecodedImage* image) {
    if (!data || size == 0 || !info) return D3DXERR_INVALIDDATA;
    DecodeFn decode = nullptr;
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) {
        decode = DecodeDds;
    } else if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        decode = DecodePng;
    } else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        decode = DecodeJpeg;
    } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        decode = DecodeBmp;
    } else {
        decode = DecodeTga;  // no signature: its header is checked field by field
    }
    return decode(data, size, info, image);
}

}  // namespace tessaloom::d3dx

HRESULT D3DXGetImageInfoFromFileInMemory(const void* pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo) {
    if (!pSrcData || SrcDataSize == 0) return D3DERR_INVALIDCALL;
    D3DXIMAGE_INFO info{};
    HRESULT hr = tessaloom::d3dx::DecodeImage(static_cast<const BYTE*>(pSrcData), SrcDataSize, &info, nullptr);
    if (FAILED(hr)) return hr;
    if (pSrcInfo) *pSrcInfo = info;
    return S_OK;
}
