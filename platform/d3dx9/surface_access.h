// Reading and writing the pixels of a Direct3D surface for the D3DX texture
// calls. A surface that cannot be locked (a render target in the default
// pool) is read through GetRenderTargetData into a system-memory copy and
// written through a default-pool offscreen surface and StretchRect, as a
// D3D9 application would.
#pragma once

#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/resample.h"

namespace tessaloom::d3dx {

// Holds one reference and releases it.
template <typename T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (p) p->Release();
    }
};

// Raw rows of `rect` (tightly packed, RowBytes of the surface format).
HRESULT ReadSurfaceBytes(IDirect3DSurface9* surface, const RECT& rect, std::vector<BYTE>* bytes);
HRESULT WriteSurfaceBytes(IDirect3DSurface9* surface, const RECT& rect, const std::vector<BYTE>& bytes);

// The same converted through the pixel-format table.
HRESULT ReadSurface(IDirect3DSurface9* surface, const RECT& rect, FloatImage* image);
HRESULT WriteSurface(IDirect3DSurface9* surface, const RECT& rect, const FloatImage& image);

// A non-empty rectangle inside the surface.
bool RectInside(const RECT& r, const D3DSURFACE_DESC& d);

inline RECT WholeRect(const D3DSURFACE_DESC& d) {
    return RECT{0, 0, static_cast<LONG>(d.Width), static_cast<LONG>(d.Height)};
}

}  // namespace tessaloom::d3dx
