// Surface pixel access and D3DXLoadSurfaceFromSurface.
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/surface_access.h"

namespace tessaloom::d3dx {
bool RectInside(const RECT& r, const D3DSURFACE_DESC& d) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<UINT>(r.right) <= d.Width && static_cast<UINT>(r.bottom) <= d.Height;
}

namespace {

template <typename F>
HRESULT NoThrow(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}


HRESULT CopyRows(IDirect3DSurface9* surface, const RECT& rect, DWORD flags, size_t rowBytes, BYTE* bytes,
                 bool toSurface) {
    D3DLOCKED_RECT lr{};
    HRESULT hr = surface->LockRect(&lr, &rect, flags);
    if (FAILED(hr)) return hr;
    const UINT rows = static_cast<UINT>(rect.bottom - rect.top);
    for (UINT y = 0; y < rows; ++y) {
        BYTE* line = static_cast<BYTE*>(lr.pBits) + static_cast<ptrdiff_t>(lr.Pitch) * y;
        if (toSurface) std::memcpy(line, bytes + rowBytes * y, rowBytes);
        else std::memcpy(bytes + rowBytes * y, line, rowBytes);
    }
    surface->UnlockRect();
    return S_OK;
}

}  // namespace

HRESULT ReadSurfaceBytes(IDirect3DSurface9* surface, const RECT& rect, std::vector<BYTE>* bytes) {
    D3DSURFACE_DESC d{};
    HRESULT hr = surface->GetDesc(&d);
    if (FAILED(hr)) return hr;
    if (!RectInside(rect, d) || !FindPixelFormat(d.Format)) return D3DERR_INVALIDCALL;
    const UINT w = static_cast<UINT>(rect.right - rect.left), h = static_cast<UINT>(rect.bottom - rect.top);
    const size_t rowBytes = RowBytes(d.Format, w);
    try {
        bytes->assign(rowBytes * h, 0);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Render targets cannot be locked: go straight to the copy.
    if (!(d.Usage & D3DUSAGE_RENDERTARGET) &&
        SUCCEEDED(CopyRows(surface, rect, D3DLOCK_READONLY, rowBytes, bytes->data(), false)))
        return S_OK;

    // Not lockable: copy the whole surface into system memory first.
    Ref<IDirect3DDevice9> device;
    if (FAILED(hr = surface->GetDevice(&device.p))) return hr;
    Ref<IDirect3DSurface9> copy;
    hr = device.p->CreateOffscreenPlainSurface(d.Width, d.Height, d.Format, D3DPOOL_SYSTEMMEM, &copy.p, nullptr);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = device.p->GetRenderTargetData(surface, copy.p))) return hr;
    return CopyRows(copy.p, rect, D3DLOCK_READONLY, rowBytes, bytes->data(), false);
}

HRESULT WriteSurfaceBytes(IDirect3DSurface9* surface, const RECT& rect, const std::vector<BYTE>& bytes) {
    D3DSURFACE_DESC d{};
    HRESULT hr = surface->GetDesc(&d);
    if (FAILED(hr)) return hr;
    if (!RectInside(rect, d) || !FindPixelFormat(d.Format)) return D3DERR_INVALIDCALL;
    const UINT w = static_cast<UINT>(rect.right - rect.left), h = static_cast<UINT>(rect.bottom - rect.top);
    const size_t rowBytes = RowBytes(d.Format, w);
    if (bytes.size() != rowBytes * h) return D3DERR_INVALIDCALL;
    BYTE* data = const_cast<BYTE*>(bytes.data());  // only read from
    if (!(d.Usage & D3DUSAGE_RENDERTARGET) && SUCCEEDED(CopyRows(surface, rect, 0, rowBytes, data, true))) return S_OK;

    // Not lockable (a render target): stage in a default-pool surface, then StretchRect.
    Ref<IDirect3DDevice9> device;
    if (FAILED(hr = surface->GetDevice(&device.p))) return hr;
    Ref<IDirect3DSurface9> stage;
    hr = device.p->CreateOffscreenPlainSurface(w, h, d.Format, D3DPOOL_DEFAULT, &stage.p, nullptr);
    if (FAILED(hr)) return hr;
    const RECT whole{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    if (FAILED(hr = CopyRows(stage.p, whole, 0, rowBytes, data, true))) return hr;
    return device.p->StretchRect(stage.p, nullptr, surface, &rect, D3DTEXF_NONE);
}

HRESULT ReadSurface(IDirect3DSurface9* surface, const RECT& rect, FloatImage* image) {
    std::vector<BYTE> bytes;
    HRESULT hr = ReadSurfaceBytes(surface, rect, &bytes);
    if (FAILED(hr)) return hr;
    D3DSURFACE_DESC d{};
    surface->GetDesc(&d);
    image->width = static_cast<UINT>(rect.right - rect.left);
    image->height = static_cast<UINT>(rect.bottom - rect.top);
    image->px.resize(static_cast<size_t>(image->width) * image->height);
    const size_t rowBytes = RowBytes(d.Format, image->width);
    for (UINT y = 0; y < image->height; ++y)
        ReadRow(d.Format, bytes.data() + rowBytes * y, image->width, &image->at(0, y));
    return S_OK;
}

HRESULT WriteSurface(IDirect3DSurface9* surface, const RECT& rect, const FloatImage& image) {
    D3DSURFACE_DESC d{};
    HRESULT hr = surface->GetDesc(&d);
    if (FAILED(hr)) return hr;
    if (!FindPixelFormat(d.Format)) return D3DERR_INVALIDCALL;
    const size_t rowBytes = RowBytes(d.Format, image.width);
    std::vector<BYTE> bytes;
    try {
        bytes.resize(rowBytes * image.height);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (UINT y = 0; y < image.height; ++y) WriteRow(d.Format, &image.at(0, y), image.width, bytes.data() + rowBytes * y);
    return WriteSurfaceBytes(surface, rect, bytes);
}

}  // namespace tessaloom::d3dx

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface9* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey) {
    return tessaloom::d3dx::NoThrow([&]() -> HRESULT {
        using namespace tessaloom::d3dx;
        (void)pDestPalette;  // no palette formats are made here
        (void)pSrcPalette;
        if (!pDestSurface || !pSrcSurface) return D3DERR_INVALIDCALL;
        DWORD filter = 0;
        if (!NormaliseFilter(Filter, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, &filter)) return D3DERR_INVALIDCALL;
        D3DSURFACE_DESC sd{}, dd{};
        if (FAILED(pSrcSurface->GetDesc(&sd)) || FAILED(pDestSurface->GetDesc(&dd))) return D3DERR_INVALIDCALL;
        const RECT srcRect = pSrcRect ? *pSrcRect : WholeRect(sd);
        const RECT dstRect = pDestRect ? *pDestRect : WholeRect(dd);
        if (!FindPixelFormat(sd.Format) || !FindPixelFormat(dd.Format)) {
            std::fprintf(stderr, "D3DXLoadSurfaceFromSurface: format %u -> %u is not supported by this stand-in\n",
                         static_cast<unsigned>(sd.Format), static_cast<unsigned>(dd.Format));
            return D3DERR_INVALIDCALL;
        }
        if (!RectInside(srcRect, sd) || !RectInside(dstRect, dd)) return D3DERR_INVALIDCALL;
        const UINT dw = static_cast<UINT>(dstRect.right - dstRect.left), dh = static_cast<UINT>(dstRect.bottom - dstRect.top);
        const UINT sw = static_cast<UINT>(srcRect.right - srcRect.left), sh = static_cast<UINT>(srcRect.bottom - srcRect.top);

        // Render target to render target: the device copies (and scales) itself.
        const DWORD kind = filter & 0xff;
        const bool sameSize = sw == dw && sh == dh;
        if ((sd.Usage & D3DUSAGE_RENDERTARGET) && (dd.Usage & D3DUSAGE_RENDERTARGET) && sd.Format == dd.Format &&
            ColorKey == 0 && (sameSize || kind != D3DX_FILTER_NONE)) {
            IDirect3DDevice9* device = nullptr;
            if (SUCCEEDED(pDestSurface->GetDevice(&device))) {
                const bool nearest = sameSize || kind == D3DX_FILTER_POINT;
                HRESULT hr = device->StretchRect(pSrcSurface, &srcRect, pDestSurface, &dstRect,
                                                 nearest ? D3DTEXF_POINT : D3DTEXF_LINEAR);
                device->Release();
                if (SUCCEEDED(hr)) return hr;
            }
        }
        // Same format, same size, no key: the bytes as they are (exact for every format).
        if (sd.Format == dd.Format && sameSize && ColorKey == 0) {
            std::vector<BYTE> bytes;
            HRESULT hr = ReadSurfaceBytes(pSrcSurface, srcRect, &bytes);
            if (FAILED(hr)) return hr;
            return WriteSurfaceBytes(pDestSurface, dstRect, bytes);
        }
        FloatImage src;
        HRESULT hr = ReadSurface(pSrcSurface, srcRect, &src);
        if (FAILED(hr)) return hr;
        ApplyColourKey(&src, ColorKey);
        return WriteSurface(pDestSurface, dstRect, Resample(src, dw, dh, filter));
    });
}
