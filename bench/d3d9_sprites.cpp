// Frame time of the Direct3D stand-in against plain OpenGL doing the same
// work in the same program: a full-screen textured quad and 2,000 blended
// 64-pixel sprites (one vertex buffer rewritten each frame, one indexed
// draw) at 1920x1080, offscreen.  The stand-in's state translation should
// cost next to nothing beside the rasterisation both share.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/gl_context.h"

namespace {

constexpr UINT kWidth = 1920, kHeight = 1080;
constexpr int kSprites = 2000;
constexpr float kSize = 64.0f;

struct SpriteVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD kSpriteFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Sprite corners for frame `frame`: the same motion for both renderers.
void FillSprites(SpriteVertex* v, int frame) {
    for (int i = 0; i < kSprites; ++i) {
        const float t = static_cast<float>(frame) * 0.01f + static_cast<float>(i);
        const float cx = 960.0f + 900.0f * std::sin(t * 0.37f), cy = 540.0f + 500.0f * std::cos(t * 0.23f);
        const float x0 = cx - kSize / 2, y0 = cy - kSize / 2, x1 = x0 + kSize, y1 = y0 + kSize;
        const DWORD c = 0x80000000u | (static_cast<DWORD>(i * 2654435761u) & 0x00ffffffu);
        SpriteVertex* q = v + i * 4;
        q[0] = {x0, y1, 0, 1, c, 0, 1};
        q[1] = {x0, y0, 0, 1, c, 0, 0};
        q[2] = {x1, y1, 0, 1, c, 1, 1};
        q[3] = {x1, y0, 0, 1, c, 1, 0};
    }
}

std::vector<uint16_t> SpriteIndices() {
    std::vector<uint16_t> idx;
    for (int i = 0; i < kSprites; ++i) {
        const uint16_t b = static_cast<uint16_t>(i * 4);
        for (uint16_t k : {0, 1, 2, 2, 1, 3}) idx.push_back(static_cast<uint16_t>(b + k));
    }
    return idx;
}

// A round sprite: white with alpha falling off from the centre.
std::vector<uint32_t> SpritePixels() {
    std::vector<uint32_t> p(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const float dx = (x - 31.5f) / 32.0f, dy = (y - 31.5f) / 32.0f;
            const float a = std::fmax(0.0f, 1.0f - std::sqrt(dx * dx + dy * dy));
            p[y * 64 + x] = (static_cast<uint32_t>(a * 255.0f) << 24) | 0x00ffffffu;
        }
    return p;
}

std::vector<uint32_t> PicturePixels() {
    std::vector<uint32_t> p(1024 * 1024);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) p[y * 1024 + x] = 0xff000000u | ((x & 255) << 16) | ((y & 255) << 8) | ((x ^ y) & 255);
    return p;
}

void StandIn(benchmark::State& state) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* d = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &d))) {
        state.SkipWithError("no device");
        return;
    }
    auto makeTexture = [&](UINT w, UINT h, const std::vector<uint32_t>& pixels) {
        IDirect3DTexture9* t = nullptr;
        d->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
        D3DLOCKED_RECT r{};
        t->LockRect(0, &r, nullptr, 0);
        for (UINT y = 0; y < h; ++y) std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch, &pixels[y * w], w * 4);
        t->UnlockRect(0);
        return t;
    };
    IDirect3DTexture9* picture = makeTexture(1024, 1024, PicturePixels());
    IDirect3DTexture9* sprite = makeTexture(64, 64, SpritePixels());
    IDirect3DVertexBuffer9* quad = nullptr;
    d->CreateVertexBuffer(4 * sizeof(SpriteVertex), D3DUSAGE_WRITEONLY, kSpriteFvf, D3DPOOL_MANAGED, &quad, nullptr);
    void* data = nullptr;
    quad->Lock(0, 0, &data, 0);
    const float w = kWidth - 0.5f, h = kHeight - 0.5f;
    SpriteVertex q[4] = {{-0.5f, h, 0, 1, 0xffffffff, 0, 1}, {-0.5f, -0.5f, 0, 1, 0xffffffff, 0, 0},
                         {w, h, 0, 1, 0xffffffff, 1, 1}, {w, -0.5f, 0, 1, 0xffffffff, 1, 0}};
    std::memcpy(data, q, sizeof(q));
    quad->Unlock();
    IDirect3DVertexBuffer9* sprites = nullptr;
    d->CreateVertexBuffer(kSprites * 4 * sizeof(SpriteVertex), D3DUSAGE_WRITEONLY, kSpriteFvf, D3DPOOL_MANAGED, &sprites,
                          nullptr);
    IDirect3DIndexBuffer9* indices = nullptr;
    const std::vector<uint16_t> idx = SpriteIndices();
    d->CreateIndexBuffer(static_cast<UINT>(idx.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices,
                         nullptr);
    indices->Lock(0, 0, &data, 0);
    std::memcpy(data, idx.data(), idx.size() * 2);
    indices->Unlock();

    // The picture layer's base states.
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    int frame = 0;
    for (auto _ : state) {
        sprites->Lock(0, 0, &data, 0);
        FillSprites(static_cast<SpriteVertex*>(data), frame++);
        sprites->Unlock();
        d->BeginScene();
        // The picture.
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTexture(0, picture);
        d->SetVertexShader(nullptr);
        d->SetFVF(kSpriteFvf);
        d->SetStreamSource(0, quad, 0, sizeof(SpriteVertex));
        d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        // The sprites, as the layer's sprite drawing sets them.
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTexture(0, sprite);
        d->SetIndices(indices);
        d->SetStreamSource(0, sprites, 0, sizeof(SpriteVertex));
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, kSprites * 4, 0, kSprites * 2);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();  // the device's context is current: wait for the frame
    }
    d->SetTexture(0, nullptr);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    indices->Release();
    sprites->Release();
    quad->Release();
    sprite->Release();
    picture->Release();
    d->Release();
    d3d->Release();
}

GLuint Shader(GLenum type, const char* text) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    return s;
}

void PlainGl(benchmark::State& state) {
    std::string error;
    auto context = tessaloom::d3d9::CreateSurfacelessContext(&error);
    if (!context) {
        state.SkipWithError(error.c_str());
        return;
    }
    context->MakeCurrent();
    GLuint fbo, color;
    glGenTextures(1, &color);
    glBindTexture(GL_TEXTURE_2D, color);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
    glViewport(0, 0, kWidth, kHeight);
    auto makeTexture = [](GLsizei w, GLsizei h, const std::vector<uint32_t>& pixels) {
        GLuint t;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        return t;
    };
    GLuint picture = makeTexture(1024, 1024, PicturePixels());
    GLuint sprite = makeTexture(64, 64, SpritePixels());
    const char* vs =
        "#version 330 core\n"
        "layout(location = 0) in vec4 p; layout(location = 2) in vec4 c; layout(location = 4) in vec2 t;\n"
        "uniform vec2 size; out vec4 vc; out vec2 vt;\n"
        "void main() { vc = c; vt = t; gl_Position = vec4((p.xy + 0.5) * 2.0 / size - 1.0, 0.0, 1.0); }\n";
    const char* fs =
        "#version 330 core\n"
        "in vec4 vc; in vec2 vt; uniform sampler2D tex; uniform bool modulate; out vec4 o;\n"
        "void main() { vec4 t = texture(tex, vt); o = modulate ? t * vc : vec4(t.rgb, 1.0); }\n";
    GLuint program = glCreateProgram();
    glAttachShader(program, Shader(GL_VERTEX_SHADER, vs));
    glAttachShader(program, Shader(GL_FRAGMENT_SHADER, fs));
    glLinkProgram(program);
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "size"), kWidth, kHeight);
    GLint modulate = glGetUniformLocation(program, "modulate");
    GLuint vao, quad, sprites, indices;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    const float w = kWidth - 0.5f, h = kHeight - 0.5f;
    SpriteVertex q[4] = {{-0.5f, h, 0, 1, 0xffffffff, 0, 1}, {-0.5f, -0.5f, 0, 1, 0xffffffff, 0, 0},
                         {w, h, 0, 1, 0xffffffff, 1, 1}, {w, -0.5f, 0, 1, 0xffffffff, 1, 0}};
    glGenBuffers(1, &quad);
    glBindBuffer(GL_ARRAY_BUFFER, quad);
    glBufferData(GL_ARRAY_BUFFER, sizeof(q), q, GL_STATIC_DRAW);
    glGenBuffers(1, &sprites);
    glBindBuffer(GL_ARRAY_BUFFER, sprites);
    glBufferData(GL_ARRAY_BUFFER, kSprites * 4 * sizeof(SpriteVertex), nullptr, GL_STATIC_DRAW);
    const std::vector<uint16_t> idx = SpriteIndices();
    glGenBuffers(1, &indices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, idx.size() * 2, idx.data(), GL_STATIC_DRAW);
    auto bind = [](GLuint buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(SpriteVertex), nullptr);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SpriteVertex), reinterpret_cast<void*>(16));
        glEnableVertexAttribArray(4);
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(SpriteVertex), reinterpret_cast<void*>(20));
    };
    std::vector<SpriteVertex> cpu(kSprites * 4);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    int frame = 0;
    for (auto _ : state) {
        FillSprites(cpu.data(), frame++);
        glBindBuffer(GL_ARRAY_BUFFER, sprites);
        glBufferSubData(GL_ARRAY_BUFFER, 0, cpu.size() * sizeof(SpriteVertex), cpu.data());
        glDisable(GL_BLEND);
        glUniform1i(modulate, 0);
        glBindTexture(GL_TEXTURE_2D, picture);
        bind(quad);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glEnable(GL_BLEND);
        glUniform1i(modulate, 1);
        glBindTexture(GL_TEXTURE_2D, sprite);
        bind(sprites);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(idx.size()), GL_UNSIGNED_SHORT, nullptr);
        glFlush();
        glFinish();
    }
    glDeleteBuffers(1, &quad);
    glDeleteBuffers(1, &sprites);
    glDeleteBuffers(1, &indices);
    glDeleteVertexArrays(1, &vao);
    glDeleteProgram(program);
    glDeleteTextures(1, &picture);
    glDeleteTextures(1, &sprite);
    glDeleteTextures(1, &color);
    glDeleteFramebuffers(1, &fbo);
}

}  // namespace

BENCHMARK(PlainGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(StandIn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(PlainGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(StandIn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

BENCHMARK_MAIN();
