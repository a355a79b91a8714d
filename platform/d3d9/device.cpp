// IDirect3DDevice9 over OpenGL 3.3 core.
//
// Direct3D conventions kept here: render targets hold row 0 at the top (a
// render target's GL framebuffer stores D3D row 0 at GL row 0, so the picture
// is upside down in GL terms; a back buffer in a texture is flipped once at
// Present, a back buffer in the window's framebuffer is drawn upright, row 0
// at the top, with the flip folded into the clip origin, the viewport, the
// scissor and the clear rectangles); clockwise triangles in screen space
// are front faces; D3DCOLOR is bytes B, G, R, A; SetRenderTarget resets the
// viewport; Clear honours the viewport; device state starts at the
// documented defaults and Reset restores them.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/gl_enums.h"
#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {
namespace {

// A level of a render-target texture gets its GL images before GL touches it.
void EnsureStorage(Surface* surface) {
    if (surface && surface->kind() == Surface::Kind::TextureLevel) surface->container()->EnsureStorage();
}

}  // namespace

// --------------------------------------------------------------- Device --

Device::Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior)
    : d3d_(d3d), adapter_(adapter), type_(type), focus_(focus), behavior_(behavior) {
    d3d_->AddRef();
    CountObject(1);
}

Device::~Device() {
    if (context_) {
        MakeCurrent();
        ReleaseBindings();
        // Resources still listed here were leaked by the application and kept
        // the device alive; they cannot exist once the count reached zero.
        backBuffer_.reset();
        autoDepth_.reset();
        ff_.reset();
        glDeleteTextures(1, &backBufferTexture_);
        glDeleteRenderbuffers(1, &autoDepthRenderbuffer_);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteFramebuffers(1, &readFbo_);
        glDeleteVertexArrays(1, &vao_);
        glDeleteBuffers(1, &upBuffer_);
        glDeleteBuffers(1, &upIndexBuffer_);
        glDeleteSamplers(kMaxStages, samplers_.data());
        context_.reset();
    }
    if (window_ && !params_.Windowed) SDL_SetWindowFullscreen(window_, 0);
    HoldFullScreen(window_, false);
    d3d_->Release();
    CountObject(-1);
}

void Device::MakeCurrent() { context_->MakeCurrent(); }

void Device::TrackResource(Resource* resource, bool alive) {
    if (alive) resources_.insert(resource);
    else resources_.erase(resource);
}

int Device::LiveResources() const {
    int n = 0;
    for (Resource* r : resources_) n += r->ExternalCount() > 0;
    return n;
}

void Device::ReleaseBindings() {
    for (auto& t : textures_) {
        if (t) t->Unbind();
        t = nullptr;
    }
    if (stream_) stream_->Unbind();
    stream_ = nullptr;
    if (indices_) indices_->Unbind();
    indices_ = nullptr;
    if (renderTarget_) renderTarget_->UnbindTarget();
    renderTarget_ = nullptr;
    if (depthStencil_) depthStencil_->UnbindTarget();
    depthStencil_ = nullptr;
}

void Device::SetDefaultTargets() {
    renderTarget_ = backBuffer_.get();
    depthStencil_ = params_.EnableAutoDepthStencil ? autoDepth_.get() : nullptr;
    targetsDirty_ = true;
    ResetViewportToTarget();
}

UINT Device::TargetWidth() const { return renderTarget_->desc().Width; }
UINT Device::TargetHeight() const { return renderTarget_->desc().Height; }

void Device::ResetViewportToTarget() {
    state_.viewport = {0, 0, TargetWidth(), TargetHeight(), 0.0f, 1.0f};
    state_.scissor = {0, 0, static_cast<LONG>(TargetWidth()), static_cast<LONG>(TargetHeight())};
    renderStatesDirty_ = true;
    transformsDirty_ = true;
}

ULONG Device::Release() {
    if (ReferenceCount() == 0) return 0;
    return ComObject::Release();
}

UINT Device::GetAvailableTextureMem() { return 512u * 1024u * 1024u; }

HRESULT Device::GetDirect3D(IDirect3D9** d3d) {
    if (!d3d) return D3DERR_INVALIDCALL;
    *d3d = d3d_;
    d3d_->AddRef();
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    FillCaps(adapter_, type_, caps);
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    if (!params_.Windowed) {
        *mode = {params_.BackBufferWidth, params_.BackBufferHeight, params_.FullScreen_RefreshRateInHz,
                 params_.BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : params_.BackBufferFormat};
        return D3D_OK;
    }
    return d3d_->GetAdapterDisplayMode(adapter_, mode);
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) {
    if (!p) return D3DERR_INVALIDCALL;
    *p = {adapter_, type_, focus_, behavior_};
    return D3D_OK;
}

// ------------------------------------------------------------ creation --

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared) return Fail(D3DERR_INVALIDCALL, "shared resources are not implemented");
    return MakeTexture(width, height, levels, usage, format, pool, true, out);
}

HRESULT Device::MakeTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            bool zeroLevels, IDirect3DTexture9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (width == 0 || height == 0 || width > 8192 || height > 8192)
        return Fail(D3DERR_INVALIDCALL, "CreateTexture: size out of range");
    const FormatInfo* info = FindFormat(format);
    if (!info || !info->texture) return Fail(D3DERR_INVALIDCALL, "CreateTexture: format not supported");
    if (usage & D3DUSAGE_DEPTHSTENCIL) return Fail(D3DERR_INVALIDCALL, "depth textures are not implemented");
    if (usage & D3DUSAGE_RENDERTARGET) {
        if (pool != D3DPOOL_DEFAULT) return Fail(D3DERR_INVALIDCALL, "render-target textures must be in the default pool");
        if (!info->renderTarget) return Fail(D3DERR_INVALIDCALL, "format cannot be a render target");
    }
    if (pool == D3DPOOL_SCRATCH) return Fail(D3DERR_INVALIDCALL, "scratch textures are not implemented");
    if (info->compressed) {
        MakeCurrent();
        if (!epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc"))
            return Fail(D3DERR_NOTAVAILABLE, "the GL driver has no DXT compression");
    }
    UINT chain = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++chain;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) levels = 1;
    if (levels == 0 || levels > chain) levels = chain;
    if (TakeResourceFault(D3DRTYPE_TEXTURE))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateTexture failed by fault injection");
    auto* texture = new Texture(this, width, height, levels, usage, *info, pool);
    if (!texture->CreateStorage(zeroLevels)) {
        texture->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *out = texture;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                   HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared || length == 0) return Fail(D3DERR_INVALIDCALL, "CreateVertexBuffer: bad arguments");
    if (fvf && length < FvfStride(fvf)) return Fail(D3DERR_INVALIDCALL, "CreateVertexBuffer: shorter than one vertex");
    if (TakeResourceFault(D3DRTYPE_VERTEXBUFFER))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateVertexBuffer failed by fault injection");
    auto* buffer = new VertexBuffer(this, D3DRTYPE_VERTEXBUFFER, length, usage, fvf, D3DFMT_VERTEXDATA, pool);
    if (!buffer->CreateStorage()) {
        buffer->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *out = buffer;
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared || length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return Fail(D3DERR_INVALIDCALL, "CreateIndexBuffer: bad arguments");
    if (TakeResourceFault(D3DRTYPE_INDEXBUFFER))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateIndexBuffer failed by fault injection");
    auto* buffer = new IndexBuffer(this, D3DRTYPE_INDEXBUFFER, length, usage, 0, format, pool);
    if (!buffer->CreateStorage()) {
        buffer->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *out = buffer;
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD,
                                   BOOL, IDirect3DSurface9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (shared || ms != D3DMULTISAMPLE_NONE || !info || !info->renderTarget || width == 0 || height == 0 ||
        width > 8192 || height > 8192)
        return Fail(D3DERR_INVALIDCALL, "CreateRenderTarget: bad arguments");
    if (TakeResourceFault(D3DRTYPE_SURFACE))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateRenderTarget failed by fault injection");
    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, ms, 0, width, height};
    auto* surface = new Surface(Surface::Kind::RenderTarget, this, nullptr, 0, desc);
    MakeCurrent();
    glGenTextures(1, &surface->glTexture);
    glActiveTexture(GL_TEXTURE0 + 15);
    glBindTexture(GL_TEXTURE_2D, surface->glTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(info->internal), width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    *out = surface;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD,
                                          BOOL, IDirect3DSurface9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (shared || ms != D3DMULTISAMPLE_NONE || !info || info->depthBits == 0 || width == 0 || height == 0 ||
        width > 8192 || height > 8192)
        return Fail(D3DERR_INVALIDCALL, "CreateDepthStencilSurface: bad arguments");
    if (TakeResourceFault(D3DRTYPE_SURFACE))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateDepthStencilSurface failed by fault injection");
    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, ms, 0, width, height};
    auto* surface = new Surface(Surface::Kind::DepthStencil, this, nullptr, 0, desc);
    MakeCurrent();
    glGenRenderbuffers(1, &surface->glRenderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, surface->glRenderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, info->internal, width, height);
    *out = surface;
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (shared || !info || info->depthBits || !info->bytes || width == 0 || height == 0 || width > 8192 ||
        height > 8192 || pool == D3DPOOL_MANAGED)
        return Fail(D3DERR_INVALIDCALL, "CreateOffscreenPlainSurface: bad arguments");
    if (TakeResourceFault(D3DRTYPE_SURFACE))
        return Fail(D3DERR_OUTOFVIDEOMEMORY, "CreateOffscreenPlainSurface failed by fault injection");
    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, 0, pool, D3DMULTISAMPLE_NONE, 0, width, height};
    auto* surface = new Surface(Surface::Kind::Offscreen, this, nullptr, 0, desc);
    surface->memory.assign(static_cast<size_t>(RowPitch(*info, width)) * RowCount(*info, height), 0);
    *out = surface;
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* source, IDirect3DSurface9* dest) {
    auto* src = static_cast<Surface*>(source);
    auto* dst = static_cast<Surface*>(dest);
    if (!src || !dst || !src->colorTarget() || dst->kind() != Surface::Kind::Offscreen)
        return Fail(D3DERR_INVALIDCALL, "GetRenderTargetData needs a render target and a system-memory surface");
    const D3DSURFACE_DESC& s = src->desc();
    const D3DSURFACE_DESC& d = dst->desc();
    if (s.Width != d.Width || s.Height != d.Height || s.Format != d.Format)
        return Fail(D3DERR_INVALIDCALL, "GetRenderTargetData: sizes or formats differ");
    const FormatInfo* info = FindFormat(d.Format);
    MakeCurrent();
    EnsureStorage(src);
    const bool upright = InWindow(src);
    if (upright) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
    } else {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, src->glTexture,
                               static_cast<GLint>(src->level()));
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // Row 0 of a render target's GL framebuffer is row 0 of the Direct3D
    // surface; the window's framebuffer holds it at the bottom.
    glReadPixels(0, 0, static_cast<GLsizei>(d.Width), static_cast<GLsizei>(d.Height), info->pixelFormat,
                 info->pixelType, dst->memory.data());
    if (upright) {
        const size_t pitch = RowPitch(*info, d.Width);
        std::vector<uint8_t> row(pitch);
        for (size_t top = 0, bottom = d.Height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = dst->memory.data() + top * pitch;
            uint8_t* b = dst->memory.data() + bottom * pitch;
            std::memcpy(row.data(), a, pitch);
            std::memcpy(a, b, pitch);
            std::memcpy(b, row.data(), pitch);
        }
    }
    targetsDirty_ = true;
    return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* srcRect, IDirect3DSurface9* dest,
                              const POINT* dstPoint) {
    auto* src = static_cast<Surface*>(source);
    auto* dst = static_cast<Surface*>(dest);
    if (!src || !dst || src->desc().Pool != D3DPOOL_SYSTEMMEM || dst->desc().Pool != D3DPOOL_DEFAULT)
        return Fail(D3DERR_INVALIDCALL, "UpdateSurface copies a system-memory surface into a default-pool one");
    if (src->desc().Format != dst->desc().Format) return Fail(D3DERR_INVALIDCALL, "UpdateSurface: formats differ");
    const FormatInfo* info = FindFormat(src->desc().Format);
    if (info->compressed || info->depthBits) return Fail(D3DERR_INVALIDCALL, "UpdateSurface: format not copied here");
    RECT s = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(src->desc().Width), static_cast<LONG>(src->desc().Height)};
    const POINT at = dstPoint ? *dstPoint : POINT{0, 0};
    const LONG w = s.right - s.left, h = s.bottom - s.top;
    if (s.left < 0 || s.top < 0 || w <= 0 || h <= 0 || s.right > static_cast<LONG>(src->desc().Width) ||
        s.bottom > static_cast<LONG>(src->desc().Height) || at.x < 0 || at.y < 0 ||
        at.x + w > static_cast<LONG>(dst->desc().Width) || at.y + h > static_cast<LONG>(dst->desc().Height))
        return Fail(D3DERR_INVALIDCALL, "UpdateSurface: rectangle outside a surface");
    const uint8_t* memory = nullptr;
    if (src->kind() == Surface::Kind::Offscreen) memory = src->memory.data();
    else if (src->kind() == Surface::Kind::TextureLevel) memory = src->container()->LevelMemory(src->level());
    if (!memory) return Fail(D3DERR_INVALIDCALL, "UpdateSurface: the source has no memory");
    const UINT pitch = RowPitch(*info, src->desc().Width);
    const uint8_t* start = memory + static_cast<size_t>(s.top) * pitch + static_cast<size_t>(s.left) * info->bytes;
    const RECT target{at.x, at.y, at.x + w, at.y + h};
    if (dst->kind() == Surface::Kind::TextureLevel) {
        MakeCurrent();
        EnsureStorage(dst);
        dst->container()->WriteLevel(dst->level(), target, start, pitch);
        return D3D_OK;
    }
    if (!dst->glTexture) return Fail(D3DERR_INVALIDCALL, "UpdateSurface: the destination is not a colour surface");
    MakeCurrent();
    if (InWindow(dst)) LeaveWindow(true);
    glActiveTexture(GL_TEXTURE0 + 15);
    glBindTexture(GL_TEXTURE_2D, dst->glTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / info->bytes));
    glTexSubImage2D(GL_TEXTURE_2D, 0, target.left, target.top, w, h, info->pixelFormat, info->pixelType, start);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* srcRect, IDirect3DSurface9* dest,
                            const RECT* dstRect, D3DTEXTUREFILTERTYPE filter) {
    auto* src = static_cast<Surface*>(source);
    auto* dst = static_cast<Surface*>(dest);
    // Sources: colour render targets, or default-pool offscreen plain
    // surfaces (their pixels live in CPU memory and are uploaded for the copy).
    const bool offscreenSource =
        src && src->kind() == Surface::Kind::Offscreen && src->desc().Pool == D3DPOOL_DEFAULT;
    if (!src || !dst || !(src->colorTarget() || offscreenSource) || !dst->colorTarget())
        return Fail(D3DERR_INVALIDCALL,
                    "StretchRect from a colour render target or an offscreen plain surface into a render target only");
    RECT s = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(src->desc().Width), static_cast<LONG>(src->desc().Height)};
    RECT d = dstRect ? *dstRect : RECT{0, 0, static_cast<LONG>(dst->desc().Width), static_cast<LONG>(dst->desc().Height)};
    if (s.left < 0 || s.top < 0 || s.left >= s.right || s.top >= s.bottom ||
        s.right > static_cast<LONG>(src->desc().Width) || s.bottom > static_cast<LONG>(src->desc().Height) ||
        d.left < 0 || d.top < 0 || d.left >= d.right || d.top >= d.bottom ||
        d.right > static_cast<LONG>(dst->desc().Width) || d.bottom > static_cast<LONG>(dst->desc().Height))
        return Fail(D3DERR_INVALIDCALL, "StretchRect: rectangle outside a surface");
    MakeCurrent();
    EnsureStorage(src);
    EnsureStorage(dst);
    GLuint staged = 0;
    if (offscreenSource) {
        const FormatInfo* info = FindFormat(src->desc().Format);
        if (!info || info->compressed || info->depthBits || !info->internal)
            return Fail(D3DERR_INVALIDCALL, "StretchRect: the offscreen surface's format cannot be copied");
        glGenTextures(1, &staged);
        glActiveTexture(GL_TEXTURE0 + 15);
        glBindTexture(GL_TEXTURE_2D, staged);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(RowPitch(*info, src->desc().Width) / info->bytes));
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(info->internal), static_cast<GLsizei>(src->desc().Width),
                     static_cast<GLsizei>(src->desc().Height), 0, info->pixelFormat, info->pixelType,
                     src->memory.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    // The window's framebuffer counts its rows from the bottom: a rectangle
    // in it is given bottom to top, which flips the copy.
    if (InWindow(src)) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        const LONG h = static_cast<LONG>(src->desc().Height);
        s.top = h - s.top;
        s.bottom = h - s.bottom;
    } else {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               offscreenSource ? staged : src->glTexture,
                               offscreenSource ? 0 : static_cast<GLint>(src->level()));
    }
    GLuint drawFbo = 0;
    if (InWindow(dst)) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        const LONG h = static_cast<LONG>(dst->desc().Height);
        d.top = h - d.top;
        d.bottom = h - d.bottom;
    } else {
        glGenFramebuffers(1, &drawFbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFbo);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, dst->glTexture,
                               static_cast<GLint>(dst->level()));
    }
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, GL_COLOR_BUFFER_BIT,
                      filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    if (drawFbo) glDeleteFramebuffers(1, &drawFbo);
    if (staged) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glDeleteTextures(1, &staged);
    }
    targetsDirty_ = true;
    renderStatesDirty_ = true;
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    auto* s = static_cast<Surface*>(surface);
    if (!s || !s->colorTarget()) return Fail(D3DERR_INVALIDCALL, "ColorFill on colour render targets only");
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(s->desc().Width), static_cast<LONG>(s->desc().Height)};
    MakeCurrent();
    EnsureStorage(s);
    GLuint drawFbo = 0;
    const bool upright = InWindow(s);
    if (upright) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    } else {
        glGenFramebuffers(1, &drawFbo);
        glBindFramebuffer(GL_FRAMEBUFFER, drawFbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->glTexture,
                               static_cast<GLint>(s->level()));
    }
    float c[4];
    ColorOf(color, c);
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.left, upright ? static_cast<LONG>(s->desc().Height) - r.bottom : r.top, r.right - r.left,
              r.bottom - r.top);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(c[0], c[1], c[2], c[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    if (drawFbo) glDeleteFramebuffers(1, &drawFbo);
    targetsDirty_ = true;
    renderStatesDirty_ = true;
    return D3D_OK;
}

// ------------------------------------------------------------- targets --

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (index != 0) return Fail(D3DERR_INVALIDCALL, "only render target 0 exists");
    auto* s = static_cast<Surface*>(surface);
    if (!s) return Fail(D3DERR_INVALIDCALL, "render target 0 cannot be null");
    if (!s->colorTarget()) return Fail(D3DERR_INVALIDCALL, "SetRenderTarget: not a render-target surface");
    if (s != renderTarget_) {
        s->BindTarget();
        if (renderTarget_) renderTarget_->UnbindTarget();
        renderTarget_ = s;
        targetsDirty_ = true;
    }
    // Setting a render target resets the viewport to the whole target.
    ResetViewportToTarget();
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    *surface = renderTarget_;
    renderTarget_->AddRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    auto* s = static_cast<Surface*>(surface);
    if (s && s->kind() != Surface::Kind::DepthStencil && s->kind() != Surface::Kind::AutoDepth)
        return Fail(D3DERR_INVALIDCALL, "SetDepthStencilSurface: not a depth-stencil surface");
    if (s != depthStencil_) {
        if (s) s->BindTarget();
        if (depthStencil_) depthStencil_->UnbindTarget();
        depthStencil_ = s;
        targetsDirty_ = true;
        renderStatesDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = depthStencil_;
    if (!depthStencil_) return D3DERR_NOTFOUND;
    depthStencil_->AddRef();
    return D3D_OK;
}

void Device::ApplyTargets() {
    if (!targetsDirty_) return;
    const bool upright = InWindow(renderTarget_);
    if (upright != drawingUpright_) {
        drawingUpright_ = upright;
        renderStatesDirty_ = true;
        transformsDirty_ = true;
    }
    if (upright) {
        // Colour only: depth and stencil stay in their renderbuffer, which
        // Clear still reaches and a draw that tests or writes them moves the
        // back buffer into its texture for (PrepareDraw).
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        targetsDirty_ = false;
        return;
    }
    EnsureStorage(renderTarget_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, renderTarget_->glTexture,
                           static_cast<GLint>(renderTarget_->level()));
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (depthStencil_) {
        const FormatInfo* info = FindFormat(depthStencil_->desc().Format);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, info->stencilBits ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depthStencil_->glRenderbuffer);
    }
    targetsDirty_ = false;
}

// -------------------------------------------------------------- scenes --

HRESULT Device::BeginScene() {
    if (inScene_) return Fail(D3DERR_INVALIDCALL, "BeginScene twice");
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return Fail(D3DERR_INVALIDCALL, "EndScene without BeginScene");
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_)
        return Fail(D3DERR_INVALIDCALL, "Clear of depth or stencil without a depth-stencil surface");
    if ((flags & D3DCLEAR_STENCIL) && FindFormat(depthStencil_->desc().Format)->stencilBits == 0)
        return Fail(D3DERR_INVALIDCALL, "Clear of stencil on a depth surface without stencil");
    if (lost()) return D3D_OK;
    MakeCurrent();
    ApplyTargets();
    GLbitfield bits = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorOf(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(stencil));
        glStencilMask(0xff);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (bits == 0) return D3D_OK;
    const D3DVIEWPORT9& vp = state_.viewport;
    const LONG vx0 = static_cast<LONG>(vp.X), vy0 = static_cast<LONG>(vp.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(vp.Width), vy1 = vy0 + static_cast<LONG>(vp.Height);
    glEnable(GL_SCISSOR_TEST);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x0 >= x1 || y0 >= y1) return;
        glScissor(x0, drawingUpright_ ? static_cast<LONG>(TargetHeight()) - y1 : y0, x1 - x0, y1 - y0);
        glClear(bits);
    };
    auto clearAll = [&] {
        if (count == 0 || !rects) {
            clearRect(vx0, vy0, vx1, vy1);
        } else {
            for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
        }
    };
    const GLbitfield depthBits = bits & (GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (drawingUpright_ && depthBits) {
        // The colour in the window's framebuffer, depth and stencil in the
        // renderbuffer, which keeps Direct3D's rows (row 0 at GL row 0).
        bits &= ~depthBits;
        if (bits) clearAll();
        drawingUpright_ = false;
        glBindFramebuffer(GL_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        const FormatInfo* info = FindFormat(depthStencil_->desc().Format);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, info->stencilBits ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depthStencil_->glRenderbuffer);
        glDrawBuffer(GL_NONE);
        bits = depthBits;
        clearAll();
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        drawingUpright_ = true;
        targetsDirty_ = true;
    } else {
        clearAll();
    }
    renderStatesDirty_ = true;
    return D3D_OK;
}

// --------------------------------------------------------------- state --

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    if (state == D3DTS_WORLD) state_.world = *matrix;
    else if (state == D3DTS_VIEW) state_.view = *matrix;
    else if (state == D3DTS_PROJECTION) state_.projection = *matrix;
    else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) state_.textureMatrix[state - D3DTS_TEXTURE0] = *matrix;
    else return Fail(D3DERR_INVALIDCALL, "SetTransform: vertex-blend matrices are not implemented");
    transformsDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    if (state == D3DTS_WORLD) *matrix = state_.world;
    else if (state == D3DTS_VIEW) *matrix = state_.view;
    else if (state == D3DTS_PROJECTION) *matrix = state_.projection;
    else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) *matrix = state_.textureMatrix[state - D3DTS_TEXTURE0];
    else return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    D3DMATRIX current;
    if (!matrix || FAILED(GetTransform(state, &current))) return D3DERR_INVALIDCALL;
    D3DMATRIX product = Multiply(*matrix, current);
    return SetTransform(state, &product);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > TargetWidth() ||
        viewport->Y + viewport->Height > TargetHeight())
        return Fail(D3DERR_INVALIDCALL, "SetViewport: viewport outside the render target");
    state_.viewport = *viewport;
    renderStatesDirty_ = true;
    transformsDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    state_.material = *material;
    transformsDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (!light || index >= kMaxLights) return Fail(D3DERR_INVALIDCALL, "SetLight: index beyond the lights kept");
    state_.lights[index].light = *light;
    state_.lights[index].set = true;
    transformsDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    if (!light || index >= kMaxLights || !state_.lights[index].set) return D3DERR_INVALIDCALL;
    *light = state_.lights[index].light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (index >= kMaxLights) return Fail(D3DERR_INVALIDCALL, "LightEnable: index beyond the lights kept");
    LightSlot& slot = state_.lights[index];
    if (!slot.set) {
        // Enabling a light never set gives the documented default light.
        slot.light = D3DLIGHT9{};
        slot.light.Type = D3DLIGHT_DIRECTIONAL;
        slot.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        slot.light.Direction = {0.0f, 0.0f, 1.0f};
        slot.set = true;
    }
    slot.enabled = enable != 0;
    transformsDirty_ = true;
    ffDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable || index >= kMaxLights) return D3DERR_INVALIDCALL;
    *enable = state_.lights[index].enabled ? 128 : 0;  // Direct3D answers a non-zero value, not TRUE
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= D3DRS_TABLE_SIZE) return Fail(D3DERR_INVALIDCALL, "SetRenderState: unknown state");
    if (state_.render[state] == value) return D3D_OK;
    state_.render[state] = value;
    renderStatesDirty_ = true;
    transformsDirty_ = true;  // texture factor, alpha reference, ambient are uniforms
    ffDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || state >= D3DRS_TABLE_SIZE) return D3DERR_INVALIDCALL;
    *value = state_.render[state];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= kMaxSamplers) return Fail(D3DERR_INVALIDCALL, "SetTexture: stage out of range");
    auto* t = static_cast<Texture*>(texture);
    if (textures_[stage] == t) return D3D_OK;
    if (t) t->Bind();
    if ((textures_[stage] == nullptr) != (t == nullptr)) ffDirty_ = true;
    if (textures_[stage]) textures_[stage]->Unbind();
    textures_[stage] = t;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (!texture || stage >= kMaxSamplers) return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kMaxStages || type >= D3DTSS_TABLE_SIZE) return Fail(D3DERR_INVALIDCALL, "SetTextureStageState: out of range");
    if (state_.stage[stage][type] == value) return D3D_OK;
    state_.stage[stage][type] = value;
    ffDirty_ = true;
    transformsDirty_ = true;  // CONSTANT is a uniform
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= kMaxStages || type >= D3DTSS_TABLE_SIZE) return D3DERR_INVALIDCALL;
    *value = state_.stage[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= kMaxSamplers || type >= D3DSAMP_TABLE_SIZE) return Fail(D3DERR_INVALIDCALL, "SetSamplerState: out of range");
    if (state_.sampler[sampler][type] == value) return D3D_OK;
    state_.sampler[sampler][type] = value;
    samplerDirty_[sampler] = true;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (!value || sampler >= kMaxSamplers || type >= D3DSAMP_TABLE_SIZE) return D3DERR_INVALIDCALL;
    *value = state_.sampler[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    state_.scissor = *rect;
    renderStatesDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = state_.scissor;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    if (state_.fvf == fvf) return D3D_OK;
    state_.fvf = fvf;
    ffDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = state_.fvf;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    if (shader) return Fail(D3DERR_INVALIDCALL, "vertex shader objects are not implemented");
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    if (shader) return Fail(D3DERR_INVALIDCALL, "pixel shader objects are not implemented");
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream >= kMaxStreams) return Fail(D3DERR_INVALIDCALL, "SetStreamSource: only stream 0 exists");
    auto* b = static_cast<VertexBuffer*>(buffer);
    if (b != stream_) {
        if (b) b->Bind();
        if (stream_) stream_->Unbind();
        stream_ = b;
    }
    streamOffset_ = offset;
    streamStride_ = stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    if (!buffer || !offset || !stride || stream >= kMaxStreams) return D3DERR_INVALIDCALL;
    *buffer = stream_;
    if (stream_) stream_->AddRef();
    *offset = streamOffset_;
    *stride = streamStride_;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indices) {
    auto* b = static_cast<IndexBuffer*>(indices);
    if (b != indices_) {
        if (b) b->Bind();
        if (indices_) indices_->Unbind();
        indices_ = b;
    }
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** indices) {
    if (!indices) return D3DERR_INVALIDCALL;
    *indices = indices_;
    if (indices_) indices_->AddRef();
    return D3D_OK;
}

// ------------------------------------------------------------- interop --

void MakeCurrent(IDirect3DDevice9* device) {
    if (device) static_cast<Device*>(device)->MakeCurrent();
}

GLuint GlTextureOf(IDirect3DBaseTexture9* texture) {
    if (!texture) return 0;
    auto* ours = static_cast<Texture*>(texture);
    ours->EnsureStorage();
    return ours->glTexture();
}

bool WriteTextureRows(IDirect3DTexture9* texture, UINT level, const RECT& rect, const void* bits, UINT pitch) {
    auto* ours = dynamic_cast<Texture*>(texture);
    if (!ours || !bits || level >= ours->GetLevelCount() || (ours->usage() & D3DUSAGE_RENDERTARGET) ||
        ours->format().compressed)
        return false;
    D3DSURFACE_DESC d{};
    ours->GetLevelDesc(level, &d);
    if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
        rect.right > static_cast<LONG>(d.Width) || rect.bottom > static_cast<LONG>(d.Height))
        return false;
    ours->WriteLevel(level, rect, static_cast<const uint8_t*>(bits), pitch);
    return true;
}

HRESULT CreateTextureToWrite(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (auto* ours = dynamic_cast<Device*>(device))
        return ours->MakeTexture(width, height, levels, usage, format, pool, false, texture);
    if (!device) return D3DERR_INVALIDCALL;
    return device->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr);
}

void ForgetProgram(IDirect3DDevice9* device, GLuint program) {
    if (device) static_cast<Device*>(device)->ForgetGlProgram(program);
}

void SetProgramOverride(IDirect3DDevice9* device, const ProgramOverride* override) {
    if (device) static_cast<Device*>(device)->SetOverride(override);
}

}  // namespace tessaloom::d3d9
