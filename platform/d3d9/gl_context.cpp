#include "platform/d3d9/gl_context.h"

#include <SDL2/SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>

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

class EglContext final : public GlContext {
public:
    EglContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
    ~EglContext() override {
        Forget(this);
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
    }
    bool DrawableSize(int*, int*) override { return false; }

protected:
    bool DoMakeCurrent() override {
        return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
    }

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
    bool DoMakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

}  // namespace

void GlContext::MakeCurrent() {
    if (g_current == this) return;
    if (!DoMakeCurrent()) std::fprintf(stderr, "tessaloom d3d9: could not make a GL context current\n");
    g_current = this;
}

void GlContext::Forget(GlContext* context) {
    if (g_current == context) g_current = nullptr;
}

std::unique_ptr<GlContext> CreateSurfacelessContext(std::string* error) {
    EGLDisplay display = SurfacelessDisplay(error);
    if (display == EGL_NO_DISPLAY) return nullptr;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = "eglBindAPI(EGL_OPENGL_API) failed";
        return nullptr;
    }
    // The surfaceless platform has no window configs: ask for pbuffer ones.
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
        *error = "no EGL config renders OpenGL";
        return nullptr;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) {
        *error = "eglCreateContext for OpenGL 3.3 core failed";
        return nullptr;
    }
    auto result = std::make_unique<EglContext>(display, context);
    GlContext::Forget(nullptr);
    result->MakeCurrent();
    return result;
}

std::unique_ptr<GlContext> CreateWindowContext(SDL_Window* window, std::string* error) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
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
