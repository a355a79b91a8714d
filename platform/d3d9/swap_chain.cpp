// The device's swap chain: creation on its window, Reset (with the
// default-pool rule and the state defaults), Present with its one flip,
// the back buffer, and the lost and not-reset states.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d9/objects.h"
#include "platform/win32/window_bridge.h"

namespace tessaloom::d3d9 {
namespace {

// Windows a full-screen swap chain holds in full screen, by SDL window id (a
// window destroyed since then is not found by its id).  The application's
// resources can keep a released device alive to the end of the process, as
// on Windows, and there the system gives the desktop its mode back when the
// process ends: so does this, for every window still in full screen.
std::vector<Uint32> g_fullScreenWindows;

void RestoreDesktopModes() {
    for (Uint32 id : g_fullScreenWindows) {
        SDL_Window* window = SDL_GetWindowFromID(id);
        if (window && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) SDL_SetWindowFullscreen(window, 0);
    }
    g_fullScreenWindows.clear();
}

}  // namespace

void HoldFullScreen(SDL_Window* window, bool hold) {
    if (!window) return;
    const Uint32 id = SDL_GetWindowID(window);
    g_fullScreenWindows.erase(std::remove(g_fullScreenWindows.begin(), g_fullScreenWindows.end(), id),
                              g_fullScreenWindows.end());
    if (!hold) return;
    static const bool registered = std::atexit(RestoreDesktopModes) == 0;
    if (!registered) std::fprintf(stderr, "tessaloom d3d9: the desktop mode cannot be restored at exit\n");
    g_fullScreenWindows.push_back(id);
}

namespace {

// TESSALOOM_LOSE_DEVICE_EVERY=<seconds> loses every device that often, at
// its next TestCooperativeLevel, so whole runs (scripts/soak) go through the
// application's lost-device path again and again.  Unset, empty or not a
// positive number: no timed losses.
uint64_t LossIntervalFromEnvironment() {
    const char* value = std::getenv("TESSALOOM_LOSE_DEVICE_EVERY");
    if (!value || !*value) return 0;
    char* end = nullptr;
    const double seconds = std::strtod(value, &end);
    if (end == value || *end != '\0' || !(seconds > 0) || seconds > 86400.0) {
        std::fprintf(stderr, "tessaloom d3d9: TESSALOOM_LOSE_DEVICE_EVERY=%s is not a number of seconds; ignored\n", value);
        return 0;
    }
    return std::max<uint64_t>(1, static_cast<uint64_t>(seconds * 1000.0));
}

}  // namespace

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
        windowHandle_ = windowHandle;
        if (!window_) return Fail(D3DERR_INVALIDCALL, "CreateDevice: the device window is not an SDL window");
        context_ = type_ == D3DDEVTYPE_SW ? CreateSoftwareContext(window_, &error) : CreateWindowContext(window_, &error);
    } else {
        context_ = type_ == D3DDEVTYPE_SW ? CreateSoftwareContext(nullptr, &error) : CreateSurfacelessContext(&error);
    }
    if (!context_) {
        std::fprintf(stderr, "tessaloom d3d9: CreateDevice: %s\n", error.c_str());
        return D3DERR_NOTAVAILABLE;
    }
    lossIntervalMs_ = LossIntervalFromEnvironment();
    nextLossMs_ = SDL_GetTicks64() + lossIntervalMs_;
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
    // The back buffer is drawn upright in the window only through the
    // upper-left clip origin.
    clipControl_ = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
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
        HoldFullScreen(window_, false);
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
            HoldFullScreen(window_, true);
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
    // A new swap chain: its back buffer's home is chosen afresh, and the
    // texture storage of the old one is dropped.
    windowRefused_ = false;
    backBufferStorage_ = false;
    inWindow_ = false;
    windowFormatMatches_ = WindowFormatMatches();
    ChooseBackBufferHome();
    if (!inWindow_) AllocateBackBufferStorage();
    return D3D_OK;
}

void Device::AllocateBackBufferStorage() {
    if (backBufferStorage_) return;
    const FormatInfo* color = FindFormat(params_.BackBufferFormat);
    glActiveTexture(GL_TEXTURE0 + 15);
    glBindTexture(GL_TEXTURE_2D, backBufferTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(color->internal), static_cast<GLsizei>(params_.BackBufferWidth),
                 static_cast<GLsizei>(params_.BackBufferHeight), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, color->swizzle);
    backBufferStorage_ = true;
}

void Device::ReleaseBackBufferStorage() {
    // A 1 x 1 image in place of the whole back buffer's: GL frees the old storage.
    const FormatInfo* color = FindFormat(params_.BackBufferFormat);
    glActiveTexture(GL_TEXTURE0 + 15);
    glBindTexture(GL_TEXTURE_2D, backBufferTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(color->internal), 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    backBufferStorage_ = false;
}

bool Device::WindowCanHoldBackBuffer() {
    // Only a discarded back buffer of exactly the window's size: a copied one
    // must outlive Present, a stretched one is scaled by the blit.
    if (!window_ || windowRefused_ || !windowFormatMatches_ || params_.SwapEffect != D3DSWAPEFFECT_DISCARD)
        return false;
    int w = 0, h = 0;
    // A context that presents through a framebuffer of its own (the
    // software device's) keeps the back buffer in its texture.
    return context_->DrawableSize(&w, &h) && context_->PresentFramebuffer() == 0 &&
           w == static_cast<int>(params_.BackBufferWidth) && h == static_cast<int>(params_.BackBufferHeight);
}

bool Device::WindowFormatMatches() {
    if (!window_ || !clipControl_) return false;
    // Its colour must be the back buffer's format bit for bit, so that
    // blending with the destination's alpha gives what a texture of that
    // format would.  Depth and stencil stay in their renderbuffers.
    const FormatInfo* color = FindFormat(params_.BackBufferFormat);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    auto bits = [](GLenum what) {
        GLint v = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, what, &v);
        return v;
    };
    const bool alpha = color->swizzle[3] == GL_ALPHA;
    const bool matches = bits(GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE) == 8 && bits(GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE) == 8 &&
                         bits(GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE) == 8 &&
                         bits(GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE) == (alpha ? 8 : 0);
    targetsDirty_ = true;
    // A driver without the queries leaves the back buffer in its texture.
    return glGetError() == GL_NO_ERROR && matches;
}

void Device::ChooseBackBufferHome() {
    if (inWindow_ || !WindowCanHoldBackBuffer()) return;
    inWindow_ = true;
    targetsDirty_ = true;
    if (backBufferStorage_) ReleaseBackBufferStorage();
}

void Device::LeaveWindow(bool keepContents) {
    if (!inWindow_) return;
    inWindow_ = false;
    windowRefused_ = keepContents;
    AllocateBackBufferStorage();
    if (keepContents) {
        // What the frame drew so far moves into the texture, flipped to row 0 at GL row 0.
        const GLint w = static_cast<GLint>(params_.BackBufferWidth), h = static_cast<GLint>(params_.BackBufferHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backBufferTexture_, 0);
        glDisable(GL_SCISSOR_TEST);
        glBlitFramebuffer(0, h, w, 0, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    targetsDirty_ = true;
    renderStatesDirty_ = true;
}

HRESULT Device::TestCooperativeLevel() {
    if (lossIntervalMs_ != 0 && !lost()) {
        const uint64_t now = SDL_GetTicks64();
        if (now >= nextLossMs_) {
            nextLossMs_ = now + lossIntervalMs_;
            std::fprintf(stderr, "tessaloom d3d9: device lost on its timer (TESSALOOM_LOSE_DEVICE_EVERY)\n");
            Lose(1);
        }
    }
    if (lostChecks_ > 0) {
        if (--lostChecks_ == 0) {
            lostChecks_ = -1;
            notReset_ = true;
        }
        return D3DERR_DEVICELOST;
    }
    return notReset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
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
        if (!inWindow_) {
            int w = 0, h = 0;
            context_->DrawableSize(&w, &h);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backBufferTexture_, 0);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context_->PresentFramebuffer());
            glDisable(GL_SCISSOR_TEST);
            // The one flip: the back buffer holds row 0 at GL row 0, the window
            // its top row at its last (none for a framebuffer read top row first).
            const bool topFirst = context_->PresentsTopRowFirst();
            glBlitFramebuffer(0, 0, static_cast<GLint>(params_.BackBufferWidth), static_cast<GLint>(params_.BackBufferHeight),
                              0, topFirst ? 0 : h, w, topFirst ? h : 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        }
        context_->Swap();
        WindowShowsPresentedFrame(windowHandle_);
        // The window may have changed its size: the next frame's back
        // buffer goes where it fits (a discarded back buffer need not move).
        if (inWindow_ && !WindowCanHoldBackBuffer()) LeaveWindow(false);
        else ChooseBackBufferHome();
        targetsDirty_ = true;
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

}  // namespace tessaloom::d3d9
