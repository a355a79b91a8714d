// The device services other stand-ins build on: drawing with a program of
// their own, copying system memory into render targets, window contexts.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/d3d9/gl_context.h"
#include "platform/d3d9/gl_interop.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Probe;
using tessaloom::testing::VertexXyzTex;
namespace d3d9 = tessaloom::d3d9;

// A pass without vertex code: the fixed-function vertex program with a
// fragment program of its own, which reads stage 1's texture and a uniform
// of its own, while the device's transforms still place the quad.
TEST(D3D9Interop, ProgramOverrideKeepsTheFixedVertexPath) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* tex = h.MakeTexture(1, 1, [](UINT, UINT) { return 0xff0080ffu; });
    d->SetTexture(1, tex);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATRIX scale{};
    scale._11 = 0.5f, scale._22 = 0.5f, scale._33 = 1, scale._44 = 1;  // the quad covers the middle half
    d->SetTransform(D3DTS_WORLD, &scale);

    GLuint program = 0;
    int binds = 0;
    d3d9::ProgramOverride pass;
    pass.program = [&](const d3d9::FfKey& key) -> GLuint {
        if (program) return program;
        std::string error;
        const std::string vs = d3d9::FfVertexSource(key, &error);
        program = d3d9::LinkProgram(vs,
                                    "#version 330 core\n"
                                    "in vec4 v_tex0;\n"
                                    "uniform sampler2D u_tex1;\n"
                                    "uniform float red;\n"
                                    "out vec4 o;\n"
                                    "void main() { o = vec4(red, texture(u_tex1, v_tex0.xy).gb, 1.0); }\n",
                                    &error);
        EXPECT_NE(program, 0u) << error;
        return program;
    };
    pass.bind = [&](GLuint p) {
        ++binds;
        glUniform1f(glGetUniformLocation(p, "red"), 1.0f);
    };
    d3d9::SetProgramOverride(d, &pass);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
    VertexXyzTex v[4] = {{-1, -1, 0.5f, 0, 1}, {-1, 1, 0.5f, 0, 0}, {1, -1, 0.5f, 1, 1}, {1, 1, 0.5f, 1, 0}};
    d->BeginScene();
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])), D3D_OK);
    d3d9::SetProgramOverride(d, nullptr);
    d->EndScene();
    EXPECT_EQ(binds, 1);
    auto img = h.ReadBackBuffer();
    EXPECT_TRUE(Probe(img, 8, 8, 0xffff80ff));
    EXPECT_TRUE(Probe(img, 1, 1, 0xff000000));  // outside the scaled quad
    d3d9::MakeCurrent(d);
    d3d9::ForgetProgram(d, program);
    glDeleteProgram(program);
    EXPECT_NE(d3d9::GlTextureOf(tex), 0u);
    d->SetTexture(1, nullptr);
    tex->Release();
}

TEST(D3D9Interop, UpdateSurfaceFillsARenderTarget) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    IDirect3DSurface9* source = nullptr;
    ASSERT_EQ(d->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &source, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    source->LockRect(&locked, nullptr, 0);
    const DWORD px[4] = {0xff112233, 0xff445566, 0xff778899, 0xffaabbcc};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, px + y * 2, 8);
    source->UnlockRect();
    d->ColorFill(level, nullptr, 0xff000000);
    POINT at{1, 2};
    ASSERT_EQ(d->UpdateSurface(source, nullptr, level, &at), D3D_OK);
    auto img = h.Read(level);
    EXPECT_TRUE(Probe(img, 1, 2, 0xff112233, 0, false));
    EXPECT_TRUE(Probe(img, 2, 2, 0xff445566, 0, false));
    EXPECT_TRUE(Probe(img, 1, 3, 0xff778899, 0, false));
    EXPECT_TRUE(Probe(img, 0, 0, 0xff000000, 0, false));
    POINT outside{3, 3};
    EXPECT_EQ(d->UpdateSurface(source, nullptr, level, &outside), D3DERR_INVALIDCALL);
    source->Release();
    level->Release();
    target->Release();
}

// A window's context: made on an SDL window created for OpenGL, as the
// saver's windows are.  Skipped where the video driver has no GL.  SDL video
// is left running: quitting it, or destroying the last GL window, unloads the GL driver, whose leaks would then
// have no library name to be suppressed by.
TEST(D3D9Interop, WindowContextPresents) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    // Holds the GL library loaded for the same reason.
    SDL_GL_LoadLibrary(nullptr);
    SDL_Window* window = SDL_CreateWindow("test", 0, 0, 32, 32, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        GTEST_SKIP() << "no GL window: " << SDL_GetError();
    }
    std::string error;
    auto context = d3d9::CreateWindowContext(window, &error);
    if (!context) {
        SDL_DestroyWindow(window);
        GTEST_SKIP() << error;
    }
    int w = 0, hgt = 0;
    EXPECT_TRUE(context->DrawableSize(&w, &hgt));
    EXPECT_EQ(w, 32);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    context->Swap();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    context.reset();
    SDL_DestroyWindow(window);
}

}  // namespace

namespace {

SDL_Window* g_window = nullptr;
SDL_Window* TestWindow(HWND handle) { return handle == reinterpret_cast<HWND>(0x5a5a) ? g_window : nullptr; }

// A device on a window: the back buffer takes the window's size, and
// Present shows it with row 0 at the top of the window.
TEST(D3D9Interop, WindowedDevicePresentsUpright) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    SDL_GL_LoadLibrary(nullptr);  // kept loaded: see WindowContextPresents
    g_window = SDL_CreateWindow("device", 0, 0, 24, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!g_window) GTEST_SKIP() << "no GL window: " << SDL_GetError();
    d3d9::SetWindowResolver(TestWindow);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* d = nullptr;
    const HWND hwnd = reinterpret_cast<HWND>(0x5a5a);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 24u);
    EXPECT_EQ(p.BackBufferHeight, 16u);
    // Top half red, bottom half blue.
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0);
    D3DRECT top{0, 0, 24, 8};
    d->Clear(1, &top, D3DCLEAR_TARGET, 0xffff0000, 1.0f, 0);
    ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    d3d9::MakeCurrent(d);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    uint8_t bottom[4] = {}, topRow[4] = {};
    glReadPixels(2, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom);   // GL row 0: the window's bottom
    glReadPixels(2, 15, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, topRow);
    EXPECT_EQ(bottom[2], 255) << "blue at the bottom";
    EXPECT_EQ(bottom[0], 0);
    EXPECT_EQ(topRow[0], 255) << "red at the top";
    // A windowed Reset with size 0 takes the window's size again.
    p.BackBufferWidth = p.BackBufferHeight = 0;
    EXPECT_EQ(d->Reset(&p), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 24u);
    EXPECT_EQ(d->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    d3d9::SetWindowResolver(nullptr);
    SDL_DestroyWindow(g_window);
    g_window = nullptr;
}

TEST(D3D9Interop, DeviceWindowMustBeKnown) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    IDirect3DDevice9* d = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, reinterpret_cast<HWND>(0x77), D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &p, &d),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace

namespace {

// Full screen on a window in the desktop's mode, then a Reset back to a window.
TEST(D3D9Interop, FullScreenDeviceOnAWindow) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    SDL_GL_LoadLibrary(nullptr);
    g_window = SDL_CreateWindow("full", 0, 0, 40, 30, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!g_window) GTEST_SKIP() << "no GL window: " << SDL_GetError();
    d3d9::SetWindowResolver(TestWindow);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DDISPLAYMODE desktop{};
    d3d->GetAdapterDisplayMode(0, &desktop);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = desktop.Width;
    p.BackBufferHeight = desktop.Height;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = reinterpret_cast<HWND>(0x5a5a);
    p.Windowed = FALSE;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9* d = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, p.hDeviceWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
    EXPECT_TRUE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff00ff00, 1.0f, 0);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS w = p;
    w.Windowed = TRUE;
    w.BackBufferWidth = w.BackBufferHeight = 0;
    ASSERT_EQ(d->Reset(&w), D3D_OK);
    EXPECT_FALSE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(d->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    d3d9::SetWindowResolver(nullptr);
    SDL_DestroyWindow(g_window);
    g_window = nullptr;
}

}  // namespace
