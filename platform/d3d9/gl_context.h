// OpenGL 3.3 core contexts for devices: EGL surfaceless (offscreen devices,
// tests) or an SDL window's GL context.  One context per device; nothing is
// shared between them.
#pragma once

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
    // The window's drawable size; false offscreen.
    virtual bool DrawableSize(int* width, int* height) = 0;
    // Forgets the current-context cache when a context goes away.
    static void Forget(GlContext* context);

protected:
    virtual bool DoMakeCurrent() = 0;
};

std::unique_ptr<GlContext> CreateSurfacelessContext(std::string* error);
std::unique_ptr<GlContext> CreateWindowContext(SDL_Window* window, std::string* error);

}  // namespace tessaloom::d3d9
