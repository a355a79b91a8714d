// IDirect3DDevice9 over OpenGL 3.3 core.
//
// Direct3D conventions kept here: render targets hold row 0 at the top (the
// GL framebuffer stores D3D row 0 at GL row 0, so the picture is upside down
// in GL terms and Present flips it once); clockwise triangles in screen space
// are front faces; D3DCOLOR is bytes B, G, R, A; SetRenderTarget resets the
// viewport; Clear honours the viewport; device state starts at the
// documented defaults and Reset restores them.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {
namespace {

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

GLenum BlendFactor(DWORD blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
        case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
        default: return GL_ONE;
    }
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLenum CompareFunc(DWORD func) {
    switch (func) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum StencilOp(DWORD op) {
    switch (op) {
        case 2: return GL_ZERO;
        case 3: return GL_REPLACE;
        case 4: return GL_INCR;
        case 5: return GL_DECR;
        case 6: return GL_INVERT;
        case 7: return GL_INCR_WRAP;
        case 8: return GL_DECR_WRAP;
        default: return GL_KEEP;
    }
}

GLint AddressMode(DWORD mode) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;  // core in GL 4.4; Mesa has it in 3.3
        default: return GL_REPEAT;
    }
}

GLint MinFilter(DWORD min, DWORD mip) {
    const bool linear = min != D3DTEXF_POINT && min != D3DTEXF_NONE;
    switch (mip) {
        case D3DTEXF_POINT: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        case D3DTEXF_LINEAR: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        default: return linear ? GL_LINEAR : GL_NEAREST;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_INVALID_ENUM;
    }
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
        case D3DPT_POINTLIST: return primitives;
        case D3DPT_LINELIST: return primitives * 2;
        case D3DPT_LINESTRIP: return primitives + 1;
        case D3DPT_TRIANGLELIST: return primitives * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return primitives + 2;
        default: return 0;
    }
}

// Bytes of one vertex of an FVF; 0 for a format this device cannot read.
UINT FvfStride(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ: size = 12; break;
        case D3DFVF_XYZRHW: size = 16; break;
        default: return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < count; ++i) {
        switch ((fvf >> (16 + i * 2)) & 3) {
            case D3DFVF_TEXTUREFORMAT1: size += 4; break;
            case D3DFVF_TEXTUREFORMAT3: size += 12; break;
            case D3DFVF_TEXTUREFORMAT4: size += 16; break;
            default: size += 8; break;
        }
    }
    return size;
}

void ColorOf(D3DCOLOR c, float out[4]) {
    out[0] = ((c >> 16) & 0xff) / 255.0f;
    out[1] = ((c >> 8) & 0xff) / 255.0f;
    out[2] = (c & 0xff) / 255.0f;
    out[3] = ((c >> 24) & 0xff) / 255.0f;
}

}  // namespace

// ------------------------------------------------------------ Resource --

Resource::Resource(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, bool tracked)
    : device_(device), type_(type), pool_(pool), tracked_(tracked) {
    if (tracked_) {
        device_->AddRef();
        device_->TrackResource(this, true);
        CountObject(1);
    }
}

Resource::~Resource() {
    if (tracked_) {
        device_->TrackResource(this, false);
        CountObject(-1);
    }
}

ULONG Resource::ExternalAddRef() {
    if (external_++ == 0) device_->AddRef();
    return external_;
}

ULONG Resource::ExternalRelease() {
    if (external_ == 0) {
        std::fprintf(stderr, "tessaloom d3d9: Release of a resource the application no longer holds\n");
        return 0;
    }
    const ULONG left = --external_;
    if (left == 0) {
        Device* device = device_;
        if (internal_ == 0) delete this;
        device->Release();  // the application's hold on the resource held the device
    }
    return left;
}

void Resource::Unbind() {
    if (internal_ > 0 && --internal_ == 0 && external_ == 0) delete this;
}

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

void Device::Lose(int lostChecks) {
    if (lostChecks > 0) {
        lostChecks_ = lostChecks;
    } else {
        lostChecks_ = -1;
        notReset_ = true;
    }
}

HRESULT Device::Init(D3DPRESENT_PARAMETERS* params) {
    HWND windowHandle = params->hDeviceWindow ? params->hDeviceWindow : focus_;
    std::string error;
    if (windowHandle) {
        window_ = ResolveWindow(windowHandle);
        if (!window_) return Fail(D3DERR_INVALIDCALL, "CreateDevice: the device window is not an SDL window");
        context_ = CreateWindowContext(window_, &error);
    } else {
        context_ = CreateSurfacelessContext(&error);
    }
    if (!context_) {
        std::fprintf(stderr, "tessaloom d3d9: CreateDevice: %s\n", error.c_str());
        return D3DERR_NOTAVAILABLE;
    }
    MakeCurrent();
    glGenFramebuffers(1, &fbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &upBuffer_);
    glGenBuffers(1, &upIndexBuffer_);
    glGenSamplers(kMaxStages, samplers_.data());
    for (int s = 0; s < kMaxStages; ++s) glBindSampler(s, samplers_[s]);
    glGenTextures(1, &backBufferTexture_);
    // Flat shading takes the first vertex's colour, as Direct3D does.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glFrontFace(GL_CCW);
    ff_ = std::make_unique<FixedFunction>();
    HRESULT hr = ConfigureSwapChain(params);
    if (FAILED(hr)) return hr;
    state_.SetDefaults(params_.EnableAutoDepthStencil != 0);
    samplerDirty_.fill(true);
    SetDefaultTargets();
    return D3D_OK;
}

HRESULT Device::ConfigureSwapChain(D3DPRESENT_PARAMETERS* params) {
    const Adapter* adapter = d3d_->FindAdapter(adapter_);
    D3DPRESENT_PARAMETERS p = *params;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE)
        return Fail(D3DERR_NOTAVAILABLE, "multisampled back buffers are not implemented");
    if (p.BackBufferCount > 3) return Fail(D3DERR_INVALIDCALL, "more than three back buffers asked for");
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY)
        return Fail(D3DERR_INVALIDCALL, "unknown swap effect");
    D3DDISPLAYMODE desktop{};
    d3d_->GetAdapterDisplayMode(adapter_, &desktop);
    if (p.Windowed) {
        // Back from full screen (a Reset to windowed) first, so the window's size is its own again.
        if (window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN)) SDL_SetWindowFullscreen(window_, 0);
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
            int w = 0, h = 0;
            if (!context_->DrawableSize(&w, &h)) {
                w = static_cast<int>(desktop.Width);
                h = static_cast<int>(desktop.Height);
            }
            if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(std::max(w, 1));
            if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(std::max(h, 1));
        }
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = desktop.Format;
        if (FAILED(d3d_->CheckDeviceType(adapter_, type_, desktop.Format, p.BackBufferFormat, TRUE)))
            return Fail(D3DERR_NOTAVAILABLE, "windowed back-buffer format not supported");
    } else {
        D3DFORMAT display = p.BackBufferFormat == D3DFMT_A8R8G8B8   ? D3DFMT_X8R8G8B8
                            : p.BackBufferFormat == D3DFMT_A1R5G5B5 ? D3DFMT_X1R5G5B5
                                                                    : p.BackBufferFormat;
        bool found = false;
        for (const auto& m : adapter->modes)
            found |= m.Width == p.BackBufferWidth && m.Height == p.BackBufferHeight && m.Format == display;
        if (!found) return Fail(D3DERR_INVALIDCALL, "full-screen mode is not one of the adapter's modes");
        if (window_) {
            const bool desktopMode = p.BackBufferWidth == adapter->desktop.Width &&
                                     p.BackBufferHeight == adapter->desktop.Height;
            if (desktopMode) {
                SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
            } else {
                SDL_DisplayMode want{}, closest{};
                want.w = static_cast<int>(p.BackBufferWidth);
                want.h = static_cast<int>(p.BackBufferHeight);
                want.refresh_rate = static_cast<int>(p.FullScreen_RefreshRateInHz);
                if (!SDL_GetClosestDisplayMode(adapter->display, &want, &closest) ||
                    SDL_SetWindowDisplayMode(window_, &closest) != 0 ||
                    SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) != 0) {
                    std::fprintf(stderr, "tessaloom d3d9: SDL refused the %ux%u mode: %s\n", p.BackBufferWidth,
                                 p.BackBufferHeight, SDL_GetError());
                    return D3DERR_NOTAVAILABLE;
                }
            }
        }
    }
    const FormatInfo* color = FindFormat(p.BackBufferFormat);
    if (!color || !color->renderTarget) return Fail(D3DERR_INVALIDCALL, "back-buffer format cannot be rendered to");
    const FormatInfo* depth = nullptr;
    if (p.EnableAutoDepthStencil) {
        depth = FindFormat(p.AutoDepthStencilFormat);
        if (!depth || depth->depthBits == 0) return Fail(D3DERR_INVALIDCALL, "automatic depth format not supported");
    }
    if (p.BackBufferWidth > 8192 || p.BackBufferHeight > 8192)
        return Fail(D3DERR_INVALIDCALL, "back buffer larger than 8192 pixels");

    MakeCurrent();
    glActiveTexture(GL_TEXTURE0 + 15);
    glBindTexture(GL_TEXTURE_2D, backBufferTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(color->internal), p.BackBufferWidth, p.BackBufferHeight, 0,
                 GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, color->swizzle);
    if (depth) {
        if (!autoDepthRenderbuffer_) glGenRenderbuffers(1, &autoDepthRenderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, autoDepthRenderbuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, depth->internal, p.BackBufferWidth, p.BackBufferHeight);
    }
    D3DSURFACE_DESC bbDesc{p.BackBufferFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                           D3DMULTISAMPLE_NONE, 0, p.BackBufferWidth, p.BackBufferHeight};
    if (!backBuffer_) backBuffer_ = std::make_unique<Surface>(Surface::Kind::BackBuffer, this, nullptr, 0, bbDesc);
    else backBuffer_->SetDesc(bbDesc);
    backBuffer_->glTexture = backBufferTexture_;
    if (depth) {
        D3DSURFACE_DESC dDesc{p.AutoDepthStencilFormat, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                              D3DMULTISAMPLE_NONE, 0, p.BackBufferWidth, p.BackBufferHeight};
        if (!autoDepth_) autoDepth_ = std::make_unique<Surface>(Surface::Kind::AutoDepth, this, nullptr, 0, dDesc);
        else autoDepth_->SetDesc(dDesc);
        autoDepth_->glRenderbuffer = autoDepthRenderbuffer_;
    }
    // Without an automatic depth surface the old one is kept unbound: the
    // application may still hold it.
    context_->SetSwapInterval(p.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    params_ = p;
    *params = p;  // written back as Direct3D does
    return D3D_OK;
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

HRESULT Device::TestCooperativeLevel() {
    if (lostChecks_ > 0) {
        if (--lostChecks_ == 0) {
            lostChecks_ = -1;
            notReset_ = true;
        }
        return D3DERR_DEVICELOST;
    }
    return notReset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
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
    FillCaps(adapter_, caps);
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

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    if (lostChecks_ > 0) return D3DERR_DEVICELOST;
    int alive = 0;
    for (Resource* r : resources_) alive += r->pool() == D3DPOOL_DEFAULT && r->ExternalCount() > 0;
    if (alive > 0) {
        std::fprintf(stderr, "tessaloom d3d9: Reset refused: %d default-pool resource(s) still held\n", alive);
        return D3DERR_INVALIDCALL;
    }
    if (inScene_) return Fail(D3DERR_INVALIDCALL, "Reset inside BeginScene/EndScene");
    MakeCurrent();
    ReleaseBindings();
    HRESULT hr = ConfigureSwapChain(params);
    if (FAILED(hr)) {
        // The device stays not-reset; the old swap chain is gone.
        notReset_ = true;
        SetDefaultTargets();
        return hr;
    }
    state_.SetDefaults(params_.EnableAutoDepthStencil != 0);
    SetDefaultTargets();
    renderStatesDirty_ = true;
    samplerDirty_.fill(true);
    input_ = InputCache{};
    notReset_ = false;
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const void*) {
    if (lost()) return D3DERR_DEVICELOST;
    if (inScene_) return Fail(D3DERR_INVALIDCALL, "Present inside BeginScene/EndScene");
    MakeCurrent();
    if (window_) {
        int w = 0, h = 0;
        context_->DrawableSize(&w, &h);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backBufferTexture_, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        // The one flip: the back buffer holds row 0 at GL row 0.
        glBlitFramebuffer(0, 0, static_cast<GLint>(params_.BackBufferWidth), static_cast<GLint>(params_.BackBufferHeight),
                          0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        context_->Swap();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        renderStatesDirty_ = true;
    } else {
        glFlush();
    }
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swapChain != 0 || index >= params_.BackBufferCount) return D3DERR_INVALIDCALL;
    *surface = backBuffer_.get();
    backBuffer_->AddRef();
    return D3D_OK;
}

// ------------------------------------------------------------ creation --

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE* shared) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (shared) return Fail(D3DERR_INVALIDCALL, "shared resources are not implemented");
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
    if (!texture->CreateStorage()) {
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
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, src->glTexture,
                           static_cast<GLint>(src->level()));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // Row 0 of the GL framebuffer is row 0 of the Direct3D surface.
    glReadPixels(0, 0, static_cast<GLsizei>(d.Width), static_cast<GLsizei>(d.Height), info->pixelFormat,
                 info->pixelType, dst->memory.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
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
        dst->container()->WriteLevel(dst->level(), target, start, pitch);
        return D3D_OK;
    }
    if (!dst->glTexture) return Fail(D3DERR_INVALIDCALL, "UpdateSurface: the destination is not a colour surface");
    MakeCurrent();
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
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           offscreenSource ? staged : src->glTexture,
                           offscreenSource ? 0 : static_cast<GLint>(src->level()));
    GLuint drawFbo = 0;
    glGenFramebuffers(1, &drawFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, dst->glTexture,
                           static_cast<GLint>(dst->level()));
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, GL_COLOR_BUFFER_BIT,
                      filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glDeleteFramebuffers(1, &drawFbo);
    if (staged) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glDeleteTextures(1, &staged);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    targetsDirty_ = true;
    renderStatesDirty_ = true;
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    auto* s = static_cast<Surface*>(surface);
    if (!s || !s->colorTarget()) return Fail(D3DERR_INVALIDCALL, "ColorFill on colour render targets only");
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(s->desc().Width), static_cast<LONG>(s->desc().Height)};
    MakeCurrent();
    GLuint drawFbo = 0;
    glGenFramebuffers(1, &drawFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, drawFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->glTexture,
                           static_cast<GLint>(s->level()));
    float c[4];
    ColorOf(color, c);
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(c[0], c[1], c[2], c[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glDeleteFramebuffers(1, &drawFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
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
        glScissor(x0, y0, x1 - x0, y1 - y0);
        glClear(bits);
    };
    if (count == 0 || !rects) {
        clearRect(vx0, vy0, vx1, vy1);
    } else {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
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

// ------------------------------------------------------------- drawing --

void Device::ApplyRenderStates() {
    if (!renderStatesDirty_) return;
    const auto& rs = state_.render;
    const D3DVIEWPORT9& vp = state_.viewport;
    glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
               static_cast<GLsizei>(vp.Height));
    glDepthRange(vp.MinZ, vp.MaxZ);

    if (rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
        if (src == D3DBLEND_BOTHSRCALPHA) src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
        if (src == D3DBLEND_BOTHINVSRCALPHA) src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
            glBlendFuncSeparate(BlendFactor(src), BlendFactor(dst), BlendFactor(rs[D3DRS_SRCBLENDALPHA]),
                                BlendFactor(rs[D3DRS_DESTBLENDALPHA]));
            glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]), BlendEquation(rs[D3DRS_BLENDOPALPHA]));
        } else {
            glBlendFunc(BlendFactor(src), BlendFactor(dst));
            glBlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
        }
    } else {
        glDisable(GL_BLEND);
    }

    if (rs[D3DRS_ZENABLE] && depthStencil_) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(rs[D3DRS_ZWRITEENABLE] && depthStencil_ ? GL_TRUE : GL_FALSE);

    if (rs[D3DRS_STENCILENABLE] && depthStencil_) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(CompareFunc(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF]), rs[D3DRS_STENCILMASK]);
        glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]), StencilOp(rs[D3DRS_STENCILPASS]));
        glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
    } else {
        glDisable(GL_STENCIL_TEST);
    }

    // Culling is judged in screen space (y down): Direct3D's clockwise is
    // GL's counter-clockwise front face here, since GL rows run the same way.
    switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        case D3DCULL_CCW: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        default: glDisable(GL_CULL_FACE); break;
    }
    switch (rs[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
        case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
        default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
    }
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
    if (rs[D3DRS_SCISSORTESTENABLE]) {
        glEnable(GL_SCISSOR_TEST);
        const RECT& r = state_.scissor;
        glScissor(r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top));
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
    renderStatesDirty_ = false;
}

void Device::ApplyTextures(int stages) {
    for (int s = 0; s < stages; ++s) {
        Texture* t = textures_[s];
        if (!t) continue;
        glActiveTexture(GL_TEXTURE0 + s);
        if (boundTextures_[s] != t->glTexture()) {
            glBindTexture(GL_TEXTURE_2D, t->glTexture());
            boundTextures_[s] = t->glTexture();
        }
        if (samplerDirty_[s]) {
            const auto& smp = state_.sampler[s];
            const GLuint so = samplers_[s];
            glSamplerParameteri(so, GL_TEXTURE_WRAP_S, AddressMode(smp[D3DSAMP_ADDRESSU]));
            glSamplerParameteri(so, GL_TEXTURE_WRAP_T, AddressMode(smp[D3DSAMP_ADDRESSV]));
            glSamplerParameteri(so, GL_TEXTURE_WRAP_R, AddressMode(smp[D3DSAMP_ADDRESSW]));
            glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER,
                                smp[D3DSAMP_MAGFILTER] == D3DTEXF_POINT || smp[D3DSAMP_MAGFILTER] == D3DTEXF_NONE ? GL_NEAREST : GL_LINEAR);
            glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, MinFilter(smp[D3DSAMP_MINFILTER], smp[D3DSAMP_MIPFILTER]));
            float border[4];
            ColorOf(smp[D3DSAMP_BORDERCOLOR], border);
            glSamplerParameterfv(so, GL_TEXTURE_BORDER_COLOR, border);
            glSamplerParameterf(so, GL_TEXTURE_LOD_BIAS, BitsFloat(smp[D3DSAMP_MIPMAPLODBIAS]));
            glSamplerParameterf(so, GL_TEXTURE_MIN_LOD, static_cast<float>(smp[D3DSAMP_MAXMIPLEVEL]));
            samplerDirty_[s] = false;
        }
    }
}

void Device::ApplyVertexInput(GLuint buffer, UINT offset, UINT stride, int) {
    const DWORD fvf = state_.fvf;
    if (input_.buffer == buffer && input_.offset == offset && input_.stride == stride && input_.fvf == fvf) return;
    input_.buffer = buffer;
    input_.offset = offset;
    input_.stride = stride;
    input_.fvf = fvf;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    auto at = [&](UINT o) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(offset + o)); };
    UINT o = 0;
    const bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, rhw ? 4 : 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(stride), at(o));
    o += rhw ? 16 : 12;
    auto optional = [&](GLuint location, bool present, GLint size, GLenum type, GLboolean normalized, UINT bytes) {
        if (present) {
            glEnableVertexAttribArray(location);
            glVertexAttribPointer(location, size, type, normalized, static_cast<GLsizei>(stride), at(o));
            o += bytes;
        } else {
            glDisableVertexAttribArray(location);
        }
    };
    optional(1, fvf & D3DFVF_NORMAL, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvf & D3DFVF_PSIZE) o += 4;
    // D3DCOLOR: bytes B, G, R, A; GL's BGRA size reads them as r, g, b, a.
    optional(2, fvf & D3DFVF_DIFFUSE, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    optional(3, fvf & D3DFVF_SPECULAR, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    const UINT count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < 8; ++i) {
        if (i >= count) {
            glDisableVertexAttribArray(4 + i);
            continue;
        }
        GLint size = 2;
        switch ((fvf >> (16 + i * 2)) & 3) {
            case D3DFVF_TEXTUREFORMAT1: size = 1; break;
            case D3DFVF_TEXTUREFORMAT3: size = 3; break;
            case D3DFVF_TEXTUREFORMAT4: size = 4; break;
            default: break;
        }
        optional(4 + i, true, size, GL_FLOAT, GL_FALSE, static_cast<UINT>(size) * 4);
    }
}

HRESULT Device::PrepareDraw(D3DPRIMITIVETYPE type) {
    if (!inScene_) return Fail(D3DERR_INVALIDCALL, "draw outside BeginScene/EndScene");
    if (PrimitiveMode(type) == GL_INVALID_ENUM) return Fail(D3DERR_INVALIDCALL, "unknown primitive type");
    if (FvfStride(state_.fvf) == 0) return Fail(D3DERR_INVALIDCALL, "draw with a vertex format this device cannot read");
    if (state_.render[D3DRS_FOGENABLE]) return Fail(D3DERR_INVALIDCALL, "fog is not implemented");
    if (state_.render[D3DRS_LIGHTING] && (state_.fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW)
        for (const LightSlot& l : state_.lights)
            if (l.enabled && l.light.Type != D3DLIGHT_DIRECTIONAL)
                return Fail(D3DERR_INVALIDCALL, "point and spot lights are not implemented");
    MakeCurrent();
    ApplyTargets();
    ApplyRenderStates();
    uint32_t textured = 0;
    for (int s = 0; s < kMaxStages; ++s) textured |= (textures_[s] ? 1u : 0u) << s;
    if (ffDirty_ || textured != texturedStages_ || (!program_ && !override_)) {
        key_ = MakeFfKey(state_, textured);
        texturedStages_ = textured;
        ffDirty_ = false;
        transformsDirty_ = true;
        program_ = nullptr;
        if (!override_) {
            std::string error;
            program_ = ff_->Get(key_, &error);
            if (!program_) return D3DERR_INVALIDCALL;
        }
    }
    if (transformsDirty_) {
        ++uniformSerial_;
        transformsDirty_ = false;
    }
    if (override_) {
        const GLuint program = override_->program ? override_->program(key_) : 0;
        if (!program) return Fail(D3DERR_INVALIDCALL, "the drawing program refused the draw");
        auto found = overridePrograms_.find(program);
        if (found == overridePrograms_.end()) {
            FfProgram locations = FfProgramLocations(program);
            glUseProgram(program);
            for (int i = 0; i < kMaxStages; ++i) {
                const std::string name = "u_tex" + std::to_string(i);
                const GLint l = glGetUniformLocation(program, name.c_str());
                if (l >= 0) glUniform1i(l, i);
            }
            found = overridePrograms_.emplace(program, locations).first;
        }
        if (usedProgram_ != program) {
            glUseProgram(program);
            usedProgram_ = program;
        }
        UploadUniforms(found->second);
        if (override_->bind) override_->bind(program);
        ApplyTextures(kMaxStages);
        return D3D_OK;
    }
    if (usedProgram_ != program_->program) {
        glUseProgram(program_->program);
        usedProgram_ = program_->program;
    }
    UploadUniforms(*program_);
    ApplyTextures(key_.stageCount);
    return D3D_OK;
}

void Device::UploadUniforms(FfProgram& program) {
    if (program.uploadedSerial != uniformSerial_) {
        program.uploadedSerial = uniformSerial_;
        const D3DMATRIX worldView = Multiply(state_.world, state_.view);
        const D3DMATRIX wvp = Multiply(worldView, state_.projection);
        // Row-vector matrices uploaded as they lie read as their transpose in
        // GLSL, so u_wvp * p computes p x M.
        glUniformMatrix4fv(program.wvp, 1, GL_FALSE, &wvp.m[0][0]);
        glUniformMatrix4fv(program.worldView, 1, GL_FALSE, &worldView.m[0][0]);
        const D3DVIEWPORT9& vp = state_.viewport;
        glUniform4f(program.viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                    static_cast<float>(vp.Height));
        glUniform2f(program.depthRange, vp.MinZ, vp.MaxZ);
        float c[4];
        ColorOf(state_.render[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(program.textureFactor, 1, c);
        glUniform1f(program.alphaRef, static_cast<float>(state_.render[D3DRS_ALPHAREF] & 0xff));
        ColorOf(state_.render[D3DRS_AMBIENT], c);
        glUniform4fv(program.ambient, 1, c);
        const D3DMATERIAL9& m = state_.material;
        glUniform4fv(program.matDiffuse, 1, &m.Diffuse.r);
        glUniform4fv(program.matAmbient, 1, &m.Ambient.r);
        glUniform4fv(program.matSpecular, 1, &m.Specular.r);
        glUniform4fv(program.matEmissive, 1, &m.Emissive.r);
        glUniform1f(program.matPower, m.Power);
        float dirs[kMaxLights * 3], diffuse[kMaxLights * 4], specular[kMaxLights * 4], ambient[kMaxLights * 4];
        for (int i = 0; i < kMaxLights; ++i) {
            const D3DLIGHT9& l = state_.lights[i].light;
            const D3DMATRIX& v = state_.view;
            for (int j = 0; j < 3; ++j)
                dirs[i * 3 + j] = l.Direction.x * v.m[0][j] + l.Direction.y * v.m[1][j] + l.Direction.z * v.m[2][j];
            std::memcpy(diffuse + i * 4, &l.Diffuse, 16);
            std::memcpy(specular + i * 4, &l.Specular, 16);
            std::memcpy(ambient + i * 4, &l.Ambient, 16);
        }
        glUniform3fv(program.lightDir, kMaxLights, dirs);
        glUniform4fv(program.lightDiffuse, kMaxLights, diffuse);
        glUniform4fv(program.lightSpecular, kMaxLights, specular);
        glUniform4fv(program.lightAmbient, kMaxLights, ambient);
        float constants[kMaxStages * 4];
        for (int s = 0; s < kMaxStages; ++s) ColorOf(state_.stage[s][D3DTSS_CONSTANT], constants + s * 4);
        glUniform4fv(program.constant, kMaxStages, constants);
        float bump[kMaxStages * 4];
        for (int s = 0; s < kMaxStages; ++s)
            for (int k = 0; k < 4; ++k) bump[s * 4 + k] = BitsFloat(state_.stage[s][D3DTSS_BUMPENVMAT00 + k]);
        glUniform4fv(program.bumpMatrix, kMaxStages, bump);
        glUniformMatrix4fv(program.textureMatrix, kMaxStages, GL_FALSE, &state_.textureMatrix[0].m[0][0]);
    }
}


HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
    if (!stream_) return Fail(D3DERR_INVALIDCALL, "DrawPrimitive without a vertex stream");
    if (count == 0) return D3D_OK;
    const UINT vertices = VertexCount(type, count);
    const uint64_t end = static_cast<uint64_t>(streamOffset_) + (static_cast<uint64_t>(startVertex) + vertices) * streamStride_;
    if (streamStride_ == 0 || end > stream_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawPrimitive reads past the end of the vertex buffer");
    if (lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    ApplyVertexInput(stream_->glBuffer(), streamOffset_, streamStride_, 0);
    glDrawArrays(PrimitiveMode(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count) {
    if (!stream_ || !indices_) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive without a stream or indices");
    if (count == 0) return D3D_OK;
    const UINT indexSize = indices_->format() == D3DFMT_INDEX32 ? 4 : 2;
    const UINT indexCount = VertexCount(type, count);
    if (static_cast<uint64_t>(startIndex + static_cast<uint64_t>(indexCount)) * indexSize > indices_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive reads past the end of the index buffer");
    if (streamStride_ == 0) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive with stride 0");
    // Every index must name a vertex inside the buffer.
    const int64_t maxIndex = indices_->MaxIndex(startIndex, indexCount);
    const int64_t lastVertex = maxIndex + baseVertex;
    if (lastVertex < 0 || static_cast<uint64_t>(streamOffset_) + static_cast<uint64_t>(lastVertex + 1) * streamStride_ >
                              stream_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive: an index points past the vertex buffer");
    (void)minIndex;
    (void)numVertices;
    if (lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    ApplyVertexInput(stream_->glBuffer(), streamOffset_, streamStride_, baseVertex);
    if (boundIndexBuffer_ != indices_->glBuffer()) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_->glBuffer());
        boundIndexBuffer_ = indices_->glBuffer();
    }
    glDrawElementsBaseVertex(PrimitiveMode(type), static_cast<GLsizei>(indexCount),
                             indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize), baseVertex);
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (!data || stride == 0) return D3DERR_INVALIDCALL;
    // Direct3D leaves stream 0 unset after a draw from user memory.
    SetStreamSource(0, nullptr, 0, 0);
    if (count == 0 || lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    const UINT vertices = VertexCount(type, count);
    glBindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices) * stride, data, GL_STREAM_DRAW);
    input_ = InputCache{};
    ApplyVertexInput(upBuffer_, 0, stride, 0);
    glDrawArrays(PrimitiveMode(type), 0, static_cast<GLsizei>(vertices));
    input_ = InputCache{};
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT, UINT numVertices, UINT count,
                                       const void* indexData, D3DFORMAT indexFormat, const void* data, UINT stride) {
    if (!data || !indexData || stride == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    if (count == 0 || lost()) return D3D_OK;
    const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const UINT indexCount = VertexCount(type, count);
    for (UINT i = 0; i < indexCount; ++i) {
        uint32_t v = 0;
        std::memcpy(&v, static_cast<const uint8_t*>(indexData) + i * indexSize, indexSize);
        if (v >= numVertices) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitiveUP: index beyond NumVertices");
    }
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    glBindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(numVertices) * stride, data, GL_STREAM_DRAW);
    input_ = InputCache{};
    ApplyVertexInput(upBuffer_, 0, stride, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndexBuffer_);
    boundIndexBuffer_ = upIndexBuffer_;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount) * indexSize, indexData, GL_STREAM_DRAW);
    glDrawElements(PrimitiveMode(type), static_cast<GLsizei>(indexCount),
                   indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, nullptr);
    input_ = InputCache{};
    return D3D_OK;
}

// ------------------------------------------------------------- interop --

void MakeCurrent(IDirect3DDevice9* device) {
    if (device) static_cast<Device*>(device)->MakeCurrent();
}

GLuint GlTextureOf(IDirect3DBaseTexture9* texture) {
    return texture ? static_cast<Texture*>(texture)->glTexture() : 0;
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

void ForgetProgram(IDirect3DDevice9* device, GLuint program) {
    if (device) static_cast<Device*>(device)->ForgetGlProgram(program);
}

void SetProgramOverride(IDirect3DDevice9* device, const ProgramOverride* override) {
    if (device) static_cast<Device*>(device)->SetOverride(override);
}

}  // namespace tessaloom::d3d9
