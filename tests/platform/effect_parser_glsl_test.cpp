// The GLSL of effect files through a real GL 3.3 compiler (EGL surfaceless,
// no device stand-in involved): the demo effects compile and link with the
// preludes, and a compiler error comes back naming the effect file's line.
#include <gtest/gtest.h>

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/d3dx9/effect_parser.h"

namespace {

class GlContext {
public:
    GlContext() {
        if (epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
            display_ = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY) display_ = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
            display_ = EGL_NO_DISPLAY;
            return;
        }
        eglBindAPI(EGL_OPENGL_API);
        const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config;
        EGLint count = 0;
        if (!eglChooseConfig(display_, configAttribs, &config, 1, &count) || count == 0) return;
        const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                         EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextAttribs);
        if (context_ == EGL_NO_CONTEXT) return;
        current_ = eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    }
    ~GlContext() {
        if (display_ == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        // No eglTerminate: it unloads the driver, and the leak checker could
        // then no longer tell the driver's own allocations from ours.
    }
    bool ok() const { return current_; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    bool current_ = false;
};

// Compiles one shader; returns 0 and fills `log` on failure.
GLuint Compile(GLenum kind, const std::string& source, std::string& log) {
    GLuint s = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0, length = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    glGetShaderiv(s, GL_INFO_LOG_LENGTH, &length);
    log.assign(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) glGetShaderInfoLog(s, length, nullptr, log.data());
    if (!ok) {
        glDeleteShader(s);
        return 0;
    }
    return s;
}

// What the fixed-function vertex path provides to fragment code, for linking.
std::string FixedFunctionStandIn() {
    std::string s = "#version 330 core\n";
    for (const char* v : fx::kFixedFunctionVaryings) s += std::string("out vec4 ") + v + ";\n";
    s += "void main() {\n gl_Position = vec4(0.0);\n";
    for (const char* v : fx::kFixedFunctionVaryings) s += std::string(" ") + v + " = vec4(0.0);\n";
    return s + "}\n";
}

// Compiles and links every pass of every technique; returns the mapped log
// of the first failure, or "" when all passes build.
std::string BuildAll(const fx::EffectDesc& e) {
    for (const auto& t : e.techniques)
        for (const auto& p : t.passes) {
            if (!p.fragment.present) continue;
            std::string log;
            int lines = 0;
            GLuint vs;
            if (p.vertex.present) {
                vs = Compile(GL_VERTEX_SHADER, fx::BuildGlsl(e, p, fx::Stage::Vertex, &lines), log);
                if (!vs) return fx::MapCompilerLog(e, t, p, fx::Stage::Vertex, log, lines);
            } else {
                vs = Compile(GL_VERTEX_SHADER, FixedFunctionStandIn(), log);
                if (!vs) return "fixed-function stand-in: " + log;
            }
            GLuint fs = Compile(GL_FRAGMENT_SHADER, fx::BuildGlsl(e, p, fx::Stage::Fragment, &lines), log);
            if (!fs) {
                glDeleteShader(vs);
                return fx::MapCompilerLog(e, t, p, fx::Stage::Fragment, log, lines);
            }
            GLuint prog = glCreateProgram();
            glAttachShader(prog, vs);
            glAttachShader(prog, fs);
            glLinkProgram(prog);
            GLint ok = 0, length = 0;
            glGetProgramiv(prog, GL_LINK_STATUS, &ok);
            glGetProgramiv(prog, GL_INFO_LOG_LENGTH, &length);
            std::string linkLog(static_cast<size_t>(length > 0 ? length : 0), '\0');
            if (length > 0) glGetProgramInfoLog(prog, length, nullptr, linkLog.data());
            glDeleteProgram(prog);
            glDeleteShader(vs);
            glDeleteShader(fs);
            if (!ok) return "link of technique " + t.name + ": " + linkLog;
        }
    return "";
}

TEST(EffectGlsl, DemoEffectsCompileAndLink) {
    GlContext gl;
    if (!gl.ok()) GTEST_SKIP() << "no EGL surfaceless GL 3.3 context";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects")) {
        if (entry.path().extension() != ".fx") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fx::EffectDesc e;
        fx::Result r = fx::Parse(text.data(), text.size(), entry.path().filename().string(), e);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(BuildAll(e), "") << entry.path();
        ++count;
    }
    EXPECT_GE(count, 2);
}

TEST(EffectGlsl, CompilerErrorNamesTheFileLine) {
    GlContext gl;
    if (!gl.ok()) GTEST_SKIP() << "no EGL surfaceless GL 3.3 context";
    const std::string text =
        "float a = 1;\n"                       // 1
        "technique Main {\n"                   // 2
        "  pass P0 {\n"                        // 3
        "    fragment \"\"\"\n"                // 4
        "      void main() {\n"                // 5
        "        d3d_FragColor = vec4(a);\n"   // 6
        "        d3d_FragColor += undeclared;\n"  // 7
        "      }\n"
        "    \"\"\"\n"
        "  }\n"
        "}\n";
    fx::EffectDesc e;
    ASSERT_TRUE(fx::Parse(text.data(), text.size(), "broken.fx", e).ok);
    std::string message = BuildAll(e);
    EXPECT_NE(message.find("effect 'broken.fx', technique 'Main', pass 'P0', fragment code, line 7: "), std::string::npos)
        << message;
    EXPECT_NE(message.find("undeclared"), std::string::npos) << message;
}

}  // namespace
