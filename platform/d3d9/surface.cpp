// IDirect3DSurface9: texture levels (counted with their texture), render
// targets and depth-stencil surfaces (GL storage), system-memory surfaces
// (CPU memory, the destination of read-backs), and the device's implicit
// back buffer and depth surface (counted with the device).
#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {

Surface::Surface(Kind kind, Device* device, Texture* container, UINT level, const D3DSURFACE_DESC& desc)
    : Resource(device, D3DRTYPE_SURFACE, desc.Pool,
               kind == Kind::RenderTarget || kind == Kind::DepthStencil || kind == Kind::Offscreen),
      kind_(kind),
      device_(device),
      container_(container),
      level_(level),
      desc_(desc) {}

Surface::~Surface() {
    if (kind_ == Kind::RenderTarget && glTexture) {
        device_->MakeCurrent();
        device_->ForgetGlTexture(glTexture);
        glDeleteTextures(1, &glTexture);
    }
    if (kind_ == Kind::DepthStencil && glRenderbuffer) {
        device_->MakeCurrent();
        glDeleteRenderbuffers(1, &glRenderbuffer);
    }
}

bool Surface::colorTarget() const {
    switch (kind_) {
        case Kind::BackBuffer:
        case Kind::RenderTarget: return true;
        case Kind::TextureLevel: return (desc_.Usage & D3DUSAGE_RENDERTARGET) != 0;
        default: return false;
    }
}

ULONG Surface::AddRef() {
    switch (kind_) {
        case Kind::TextureLevel: return container_->AddRef();
        case Kind::BackBuffer:
        case Kind::AutoDepth: ++implicitRefs; return device_->AddRef();
        default: return ExternalAddRef();
    }
}

ULONG Surface::Release() {
    switch (kind_) {
        case Kind::TextureLevel: return container_->Release();
        case Kind::BackBuffer:
        case Kind::AutoDepth:
            if (implicitRefs > 0) --implicitRefs;
            return device_->Release();
        default: return ExternalRelease();
    }
}

void Surface::BindTarget() {
    if (kind_ == Kind::TextureLevel) container_->Bind();
    else if (standalone()) Bind();
}

void Surface::UnbindTarget() {
    if (kind_ == Kind::TextureLevel) container_->Unbind();
    else if (standalone()) Unbind();
}

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        *object = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device_;
    device_->AddRef();
    return D3D_OK;
}

DWORD Surface::SetPriority(DWORD p) {
    DWORD old = priority;
    priority = p;
    return old;
}

DWORD Surface::GetPriority() { return priority; }

HRESULT Surface::GetContainer(REFIID riid, void** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (container_) return container_->QueryInterface(riid, out);
    // Surfaces without a texture have the device as their container.
    return device_->QueryInterface(riid, out);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (!locked) return D3DERR_INVALIDCALL;
    if (kind_ == Kind::TextureLevel) return container_->LockRect(level_, locked, rect, flags);
    if (kind_ != Kind::Offscreen)
        return Fail(D3DERR_INVALIDCALL, "only system-memory and texture surfaces can be locked here "
                                        "(read render targets with GetRenderTargetData)");
    if (locked_) return Fail(D3DERR_INVALIDCALL, "surface locked twice");
    const FormatInfo* info = FindFormat(desc_.Format);
    RECT r{0, 0, static_cast<LONG>(desc_.Width), static_cast<LONG>(desc_.Height)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > r.right || rect->bottom > r.bottom ||
            rect->left >= rect->right || rect->top >= rect->bottom)
            return Fail(D3DERR_INVALIDCALL, "LockRect rectangle outside the surface");
        r = *rect;
    }
    const UINT pitch = RowPitch(*info, desc_.Width);
    const size_t row = info->compressed ? static_cast<size_t>(r.top) / 4 : static_cast<size_t>(r.top);
    const size_t column = info->compressed ? static_cast<size_t>(r.left) / 4 * info->bytes
                                           : static_cast<size_t>(r.left) * info->bytes;
    locked->Pitch = static_cast<INT>(pitch);
    locked->pBits = memory.data() + row * pitch + column;
    locked_ = true;
    lockRect_ = r;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (kind_ == Kind::TextureLevel) return container_->UnlockRect(level_);
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

}  // namespace tessaloom::d3d9
