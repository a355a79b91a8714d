#include "platform/d3d9/gl_context.h"

#include <SDL2/SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace tessaloom::d3d9 {
namespace {

thread_local GlContext* g_current = nullptr;

// One EGL display for the process, initialised on first use and kept: Mesa
// does not like terminating a display while other contexts may come.
EGLDisplay SurfacelessDisplay(std::string* error) {
    static EGLDisplay display = EGL_NO_DISPLAY;
    static bool tried = false;
    if (tried) {
        if (display == EGL_NO_DISPLAY) *error = "no EGL surfaceless display";
        return display;
    }
    tried = true;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
        *error = "EGL_MESA_platform_surfaceless is not available";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) {
        *error = "eglInitialize failed on the surfaceless platform";
        return EGL_NO_DISPLAY;
    }
    display = d;
    return display;
}

// An EGL context made current without a surface (it draws into
// framebuffer objects only).
class EglContext : public GlContext {
public:
    EglContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
    ~EglContext() override {
        Forget(this);
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
    }
    bool DrawableSize(int*, int*) override { return false; }

protected:
    Api api() const override { return Api::Egl; }
    bool DoMakeCurrent() override {
        return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
    }
    void DoRelease() override { eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT); }

private:
    EGLDisplay display_;
    EGLContext context_;
};

class SdlContext final : public GlContext {
public:
    SdlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    ~SdlContext() override {
        Forget(this);
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    void Swap() override { SDL_GL_SwapWindow(window_); }
    void SetSwapInterval(int interval) override { SDL_GL_SetSwapInterval(interval); }
    bool DrawableSize(int* width, int* height) override {
        SDL_GL_GetDrawableSize(window_, width, height);
        return true;
    }

protected:
    Api api() const override { return Api::Sdl; }
    bool DoMakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
    void DoRelease() override { SDL_GL_MakeCurrent(window_, nullptr); }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

bool HasWord(const char* list, const char* word) {
    if (!list) return false;
    const size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

// The EGL device of Mesa's software rasteriser (EGL_MESA_device_software) as
// a display of its own, so a software context is one whatever driver the
// other displays of the process load.  Looked up once and kept.
EGLDisplay SoftwareDisplay(std::string* error) {
    static EGLDisplay display = EGL_NO_DISPLAY;
    static std::string why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        why = "no EGL software device (EGL_MESA_device_software) among the EGL devices";
        if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_device_enumeration") ||
            !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_device")) {
            why = "EGL cannot enumerate devices (EGL_EXT_device_enumeration, EGL_EXT_platform_device)";
        } else {
            EGLint count = 0;
            eglQueryDevicesEXT(0, nullptr, &count);
            std::vector<EGLDeviceEXT> devices(static_cast<size_t>(count > 0 ? count : 0));
            if (count > 0 && !eglQueryDevicesEXT(count, devices.data(), &count)) count = 0;
            for (EGLint i = 0; i < count && display == EGL_NO_DISPLAY; ++i) {
                if (!HasWord(eglQueryDeviceStringEXT(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software")) continue;
                EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                EGLint major = 0, minor = 0;
                if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) {
                    why = "eglInitialize failed on the EGL software device";
                    continue;
                }
                // Mesa names the driver it loaded: only its software ones will do.
                // (Through eglGetProcAddress: libepoxy looks the extension up
                // on the current display, and there is none yet.)
                const auto driverName = epoxy_has_egl_extension(d, "EGL_MESA_query_driver")
                                            ? reinterpret_cast<PFNEGLGETDISPLAYDRIVERNAMEPROC>(
                                                  eglGetProcAddress("eglGetDisplayDriverName"))
                                            : nullptr;
                if (driverName) {
                    const char* driver = driverName(d);
                    if (!driver || (std::strcmp(driver, "swrast") != 0 && std::strcmp(driver, "kms_swrast") != 0)) {
                        why = std::string("the EGL software device loaded the driver ") + (driver ? driver : "(none)");
                        continue;
                    }
                }
                display = d;
            }
        }
    }
    if (display == EGL_NO_DISPLAY) *error = why;
    return display;
}

EGLContext CreateCoreContext(EGLDisplay display, std::string* error) {
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = "eglBindAPI(EGL_OPENGL_API) failed";
        return EGL_NO_CONTEXT;
    }
    // The surfaceless platform has no window configs: ask for pbuffer ones.
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
        *error = "no EGL config renders OpenGL";
        return EGL_NO_CONTEXT;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) *error = "eglCreateContext for OpenGL 3.3 core failed";
    return context;
}

// A software-rasterised context.  With a window it draws the frame into a
// framebuffer of its own, top row first, and Swap copies it into the
// window's SDL surface (on X11 an image put into the window).  The surface
// is SDL's own framebuffer, never a texture one, which would draw it with a
// GPU context after all.
class SoftwareContext final : public EglContext {
public:
    SoftwareContext(EGLDisplay display, EGLContext context, SDL_Window* window)
        : EglContext(display, context), window_(window) {}
    ~SoftwareContext() override {
        MakeCurrent();
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &color_);
    }
    bool DrawableSize(int* width, int* height) override {
        if (!window_) return false;
        SDL_Surface* surface = WindowSurface();
        *width = surface ? surface->w : 0;
        *height = surface ? surface->h : 0;
        Resize(*width, *height);
        return true;
    }
    GLuint PresentFramebuffer() const override { return framebuffer_; }
    bool PresentsTopRowFirst() const override { return true; }
    void Swap() override {
        if (!window_) return;
        SDL_Surface* surface = WindowSurface();
        // A surface that changed size since the frame was drawn gets the next one.
        if (!surface || surface->w != width_ || surface->h != height_ || width_ == 0) return;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        // Bytes B, G, R, X in memory: read straight into the surface.
        const bool direct = (surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                             surface->format->format == SDL_PIXELFORMAT_ARGB8888) &&
                            surface->pitch % 4 == 0;
        if (direct) {
            glPixelStorei(GL_PACK_ROW_LENGTH, surface->pitch / 4);
            glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, surface->pixels);
            glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        } else {
            staging_.resize(static_cast<size_t>(width_) * height_ * 4);
            glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, staging_.data());
            SDL_ConvertPixels(width_, height_, SDL_PIXELFORMAT_ARGB8888, staging_.data(), width_ * 4,
                              surface->format->format, surface->pixels, surface->pitch);
        }
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        if (SDL_UpdateWindowSurface(window_) != 0 && !told_) {
            told_ = true;
            std::fprintf(stderr, "tessaloom d3d9: the software device could not show its frame: %s\n", SDL_GetError());
        }
    }

private:
    SDL_Surface* WindowSurface() {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface && !told_) {
            told_ = true;
            std::fprintf(stderr, "tessaloom d3d9: the software device's window has no surface: %s\n", SDL_GetError());
        }
        return surface;
    }
    void Resize(int width, int height) {
        if (width == width_ && height == height_) return;
        if (!framebuffer_) glGenFramebuffers(1, &framebuffer_);
        if (!color_) glGenRenderbuffers(1, &color_);
        glBindRenderbuffer(GL_RENDERBUFFER, color_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width > 0 ? width : 1, height > 0 ? height : 1);
        GLint previous = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(previous));
        width_ = width;
        height_ = height;
    }

    SDL_Window* window_;
    GLuint framebuffer_ = 0;
    GLuint color_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> staging_;
    bool told_ = false;
};

}  // namespace

void GlContext::ReleaseOtherApi(Api api) {
    if (g_current && g_current->api() != api) {
        g_current->DoRelease();
        g_current = nullptr;
    }
}

void GlContext::MakeCurrent() {
    if (g_current == this) return;
    ReleaseOtherApi(api());
    if (!DoMakeCurrent()) std::fprintf(stderr, "tessaloom d3d9: could not make a GL context current\n");
    g_current = this;
}

void GlContext::Forget(GlContext* context) {
    if (g_current == context) g_current = nullptr;
}

std::unique_ptr<GlContext> CreateSurfacelessContext(std::string* error) {
    EGLDisplay display = SurfacelessDisplay(error);
    if (display == EGL_NO_DISPLAY) return nullptr;
    EGLContext context = CreateCoreContext(display, error);
    if (context == EGL_NO_CONTEXT) return nullptr;
    auto result = std::make_unique<EglContext>(display, context);
    GlContext::Forget(nullptr);
    result->MakeCurrent();
    return result;
}

bool SoftwareRendererAvailable() {
    std::string error;
    return SoftwareDisplay(&error) != EGL_NO_DISPLAY;
}

std::unique_ptr<GlContext> CreateSoftwareContext(SDL_Window* window, std::string* error) {
    EGLDisplay display = SoftwareDisplay(error);
    if (display == EGL_NO_DISPLAY) return nullptr;
    EGLContext context = CreateCoreContext(display, error);
    if (context == EGL_NO_CONTEXT) return nullptr;
    // SDL's own framebuffer for the window surface, never a texture one.
    if (window) SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
    auto result = std::make_unique<SoftwareContext>(display, context, window);
    GlContext::Forget(nullptr);
    result->MakeCurrent();
    // The rasteriser itself says what it is.
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!renderer || (!std::strstr(renderer, "llvmpipe") && !std::strstr(renderer, "softpipe") &&
                      !std::strstr(renderer, "swrast"))) {
        *error = std::string("the EGL software device renders with ") + (renderer ? renderer : "(unknown)") +
                 ", not a software rasteriser";
        return nullptr;
    }
    return result;
}

std::unique_ptr<GlContext> CreateWindowContext(SDL_Window* window, std::string* error) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    // SDL makes the new context current: an EGL one must not be.
    GlContext::ReleaseOtherApi(GlContext::Api::Sdl);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        *error = std::string("SDL_GL_CreateContext failed: ") + SDL_GetError();
        return nullptr;
    }
    // SDL made it current behind our back.
    g_current = nullptr;
    auto result = std::make_unique<SdlContext>(window, context);
    result->MakeCurrent();
    return result;
}

}  // namespace tessaloom::d3d9
