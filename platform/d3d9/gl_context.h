// OpenGL 3.3 core contexts for devices: EGL surfaceless (offscreen devices,
// tests), an SDL window's GL context, or a context of Mesa's software
// rasteriser (the software device type, offscreen or showing its frames in
// an SDL window through the window's own surface, so no GPU driver is
// involved at all).  One context per device; nothing is shared between them.
#pragma once

#include <epoxy/gl.h>

#include <memory>
#include <string>

struct SDL_Window;

namespace tessaloom::d3d9 {

class GlContext {
public:
    virtual ~GlContext() = default;
    // Makes this context current on the calling thread (skipped when it is).
    void MakeCurrent();
    // Shows the window's default framebuffer (no-op offscreen).
    virtual void Swap() {}
    virtual void SetSwapInterval(int) {}
    // The window's drawable size; false offscreen.  For a context that
    // presents through a framebuffer of its own, also sizes that framebuffer.
    virtual bool DrawableSize(int* width, int* height) = 0;
    // Where Present draws the frame for Swap: the window's default
    // framebuffer (0), or the context's own.
    virtual GLuint PresentFramebuffer() const { return 0; }
    // Whether the present framebuffer holds the window's top row at GL row 0
    // (the context's own, read back in memory order), not at the last row.
    virtual bool PresentsTopRowFirst() const { return false; }
    // Forgets the current-context cache when a context goes away.
    static void Forget(GlContext* context);

    // Contexts of SDL's GL (GLX on X11) and of EGL: a thread can have a
    // current context of one window-system API only, so MakeCurrent lets go
    // of the other API's context first.
    enum class Api { Egl, Sdl };
    // Lets go of the current context when it is of another API than `api`.
    static void ReleaseOtherApi(Api api);

protected:
    virtual Api api() const = 0;
    virtual bool DoMakeCurrent() = 0;
    // Leaves the calling thread without this context.
    virtual void DoRelease() = 0;
};

std::unique_ptr<GlContext> CreateSurfacelessContext(std::string* error);
std::unique_ptr<GlContext> CreateWindowContext(SDL_Window* window, std::string* error);
// A context of Mesa's software rasteriser (llvmpipe or softpipe, chosen as
// the EGL software device), never a GPU driver's.  With a window, Swap shows
// the frame in the window's SDL surface; without one it is offscreen.
std::unique_ptr<GlContext> CreateSoftwareContext(SDL_Window* window, std::string* error);
// Whether the software rasteriser is there (asked once, then remembered).
bool SoftwareRendererAvailable();

}  // namespace tessaloom::d3d9
