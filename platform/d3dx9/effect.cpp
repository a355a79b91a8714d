// ID3DXEffect: effect text made into GL programs that draw through the
// device's program override.
//
// A pass with vertex and fragment code is one program.  A pass with only
// fragment code pairs it with the device's own fixed-function vertex
// program for the state of each draw (so lighting, texture-coordinate
// generation and texture transforms of the device apply); its values reach
// the fragment code as d3d_ffDiffuse, d3d_ffSpecular and d3d_ffTexCoord0..7.
// A pass with only vertex code writes those names for the device's texture
// stages, which then colour the pixels.  A pass without code only sets
// states and draws fixed-function.  Programs
// are built per pass and per variant of the device state they depend on
// (alpha test, and for fixed-function vertices the vertex state), and kept.
#include "platform/d3dx9/effect.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/d3d9/gl_interop.h"
#include "platform/d3dx9/effect_parser.h"
#include "platform/d3dx9/effect_testing.h"

template <>
struct ComInterfaceIds<ID3DXEffect> : ComIds<IID_ID3DXEffect> {};

namespace {

using tessaloom::d3d9::FfKey;
using tessaloom::d3d9::FfKeyHash;
using tessaloom::d3d9::kMaxStages;
using tessaloom::d3dx9::EffectCall;

// A texture unit past the device's stages (0..7) and its scratch unit (15):
// a sampler whose texture parameter holds no texture reads from here, and
// sees (0, 0, 0, 1).
constexpr GLint kEmptyUnit = 14;

size_t LineStart(const std::string& s, int line) {  // offset after `line` newlines
    size_t pos = 0;
    for (int i = 0; i < line && pos < s.size(); ++i) {
        size_t nl = s.find('\n', pos);
        if (nl == std::string::npos) return s.size();
        pos = nl + 1;
    }
    return pos;
}

// The stage source of a pass as the device runs it: BuildGlsl's text with
// the code's main renamed, so that a main of ours runs around it.
std::string DeviceStageSource(const fx::EffectDesc& effect, const fx::Pass& pass, fx::Stage stage, const FfKey& key,
                              int* preludeLines) {
    int lines = 0;
    std::string s = fx::BuildGlsl(effect, pass, stage, &lines);
    size_t codeStart = LineStart(s, lines);
    std::string prelude = s.substr(0, codeStart);
    const std::string code = s.substr(codeStart);
    const bool ffVertices = stage == fx::Stage::Fragment && !pass.vertex.present;
    if (ffVertices) {
        // The values of the fixed-function vertex path become plain globals,
        // filled from its outputs before the code's main runs.
        for (const char* v : fx::kFixedFunctionVaryings) {
            const std::string decl = std::string("in vec4 ") + v + ";\n";
            size_t at = prelude.find(decl);
            if (at != std::string::npos) prelude.replace(at, decl.size(), std::string("vec4 ") + v + ";\n");
        }
    }
    // Vertex code of a pass without fragment code hands the fixed-function
    // texture stages its colours and coordinates under the same names.
    const bool ffPixels = stage == fx::Stage::Vertex && !pass.fragment.present;
    if (ffPixels) {
        prelude += "vec4 d3d_ffDiffuse = vec4(1.0);\nvec4 d3d_ffSpecular = vec4(0.0);\n";
        lines += 2;
        for (int i = 0; i < kMaxStages; ++i, ++lines)
            prelude += "vec4 d3d_ffTexCoord" + std::to_string(i) + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    }
    prelude += "#define main d3d_main\n";
    *preludeLines = lines + 1;

    std::string epilogue = "\n#undef main\n";
    if (stage == fx::Stage::Vertex) {
        // Direct3D clip space to GL's, as the device's own vertex programs
        // do it: y flipped (targets keep row 0 on top), half-pixel shift,
        // depth 0..w to -w..w.
        if (ffPixels) {
            const char* flat = key.flat ? "flat " : "";
            epilogue += std::string(flat) + "out vec4 v_diffuse;\n" + flat + "out vec4 v_specular;\n";
            for (int i = 0; i < key.stageCount; ++i) epilogue += "out vec4 v_tex" + std::to_string(i) + ";\n";
        }
        epilogue +=
            "uniform vec4 u_viewport;\n"
            "void main() {\n"
            "  d3d_main();\n";
        if (ffPixels) {
            epilogue += "  v_diffuse = d3d_ffDiffuse;\n  v_specular = d3d_ffSpecular;\n";
            for (int i = 0; i < key.stageCount; ++i)
                epilogue += "  v_tex" + std::to_string(i) + " = d3d_ffTexCoord" + std::to_string(i) + ";\n";
        }
        epilogue +=
            "  vec4 c = gl_Position;\n"
            "  gl_Position = vec4(c.x + c.w / u_viewport.z, -c.y + c.w / u_viewport.w, 2.0 * c.z - c.w, c.w);\n"
            "}\n";
        return prelude + code + epilogue;
    }
    if (ffVertices) {
        const char* flat = key.flat ? "flat " : "";
        epilogue += std::string(flat) + "in vec4 v_diffuse;\n" + flat + "in vec4 v_specular;\n";
        for (int i = 0; i < kMaxStages; ++i) epilogue += "in vec4 v_tex" + std::to_string(i) + ";\n";
    }
    epilogue += "uniform float u_alphaRef;\nvoid main() {\n";
    if (ffVertices) {
        epilogue += "  d3d_ffDiffuse = v_diffuse;\n  d3d_ffSpecular = v_specular;\n";
        for (int i = 0; i < kMaxStages; ++i)
            epilogue += "  d3d_ffTexCoord" + std::to_string(i) + " = v_tex" + std::to_string(i) + ";\n";
    }
    epilogue += "  d3d_main();\n";
    if (key.alphaFunc) {
        // The alpha test runs after a pixel shader too.
        epilogue += std::string("  float a8 = floor(clamp(d3d_FragColor.a, 0.0, 1.0) * 255.0 + 0.5);\n") +
                    "  if (!(" + tessaloom::d3d9::AlphaTestGlsl(key.alphaFunc) + ")) discard;\n";
    }
    epilogue += "}\n";
    return prelude + code + epilogue;
}

GLuint CompileStage(GLenum kind, const std::string& source, std::string* log) {
    GLuint shader = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0, length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    log->assign(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) glGetShaderInfoLog(shader, length, nullptr, log->data());
    glDeleteShader(shader);
    return 0;
}

struct LinkedProgram {
    GLuint program = 0;
    std::vector<GLint> parameters;  // per effect parameter
    GLint world = -1, view = -1, projection = -1, worldViewProjection = -1;
};

class Effect final : public ComObject<ID3DXEffect> {
public:
    Effect(IDirect3DDevice9* device, fx::EffectDesc desc) : device_(device), desc_(std::move(desc)) {
        device_->AddRef();
        values_.resize(desc_.parameters.size());
        textures_.assign(desc_.parameters.size(), nullptr);
        for (size_t i = 0; i < desc_.parameters.size(); ++i) values_[i] = desc_.parameters[i].value;
        committed_ = values_;
        for (const auto& t : desc_.techniques) passes_.emplace_back(t.passes.size());
        override_.program = [this](const FfKey& key) { return ProgramFor(key); };
        override_.bind = [this](GLuint program) { Bind(program); };
    }

    // Builds every pass's program for a typical state, so that GLSL errors
    // fail creation; false with the message in *error.
    bool Build(std::string* error) {
        tessaloom::d3d9::MakeCurrent(device_);
        glGenTextures(1, &emptyTexture_);
        // On the effect's own unit: the device keeps track of what its stages
        // have bound, and a texture bound behind its back on a stage's unit
        // would be drawn in place of the stage's texture.
        glActiveTexture(GL_TEXTURE0 + kEmptyUnit);
        glBindTexture(GL_TEXTURE_2D, emptyTexture_);
        const uint8_t black[4] = {0, 0, 0, 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, black);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        for (size_t t = 0; t < desc_.techniques.size(); ++t) {
            for (size_t p = 0; p < desc_.techniques[t].passes.size(); ++p) {
                const fx::Pass& pass = desc_.techniques[t].passes[p];
                if (!pass.fragment.present && !pass.vertex.present) continue;
                FfKey key;
                if (!pass.fragment.present) {
                    // Vertex code over the default texture stages.
                    key.stageCount = 1;
                    key.stages[0].colorOp = D3DTOP_MODULATE;
                    key.stages[0].colorArg1 = D3DTA_TEXTURE;
                    key.stages[0].colorArg2 = D3DTA_CURRENT;
                    key.stages[0].alphaOp = D3DTOP_SELECTARG1;
                    key.stages[0].alphaArg1 = D3DTA_TEXTURE;
                    key.stages[0].alphaArg2 = D3DTA_CURRENT;
                    if (!Link(t, p, NormalKey(pass, key), error)) return false;
                    continue;
                }
                key.fvf = D3DFVF_XYZ | D3DFVF_TEX1;
                key.stageCount = kMaxStages;
                for (int i = 0; i < kMaxStages; ++i) key.stages[i].coordSet = static_cast<uint8_t>(i);
                if (!Link(t, p, NormalKey(desc_.techniques[t].passes[p], key), error)) return false;
            }
        }
        return true;
    }

    HRESULT GetDevice(IDirect3DDevice9** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *out = device_;
        return D3D_OK;
    }

    HRESULT SetTechnique(D3DXHANDLE name) override {
        const int t = TechniqueIndex(name);
        const HRESULT hr = t < 0 ? D3DERR_INVALIDCALL : D3D_OK;
        if (t >= 0) technique_ = t;
        Log(EffectCall::Kind::Technique, name, {}, nullptr, hr);
        return hr;
    }
    D3DXHANDLE GetCurrentTechnique() override { return desc_.techniques[technique_].name.c_str(); }

    HRESULT SetFloat(D3DXHANDLE name, FLOAT f) override { return SetFloatArray(name, &f, 1); }
    HRESULT GetFloat(D3DXHANDLE name, FLOAT* f) override { return GetFloatArray(name, f, 1); }
    HRESULT SetFloatArray(D3DXHANDLE name, const FLOAT* f, UINT count) override {
        const int p = NumericParameter(name, count);
        const bool ok = p >= 0 && (f || !count);
        if (ok) std::memcpy(values_[p].data(), f, count * sizeof(float));
        if (log_) Log(EffectCall::Kind::Floats, name, f ? std::vector<float>(f, f + count) : std::vector<float>(),
                      nullptr, ok ? D3D_OK : D3DERR_INVALIDCALL);
        return ok ? D3D_OK : D3DERR_INVALIDCALL;
    }
    HRESULT GetFloatArray(D3DXHANDLE name, FLOAT* f, UINT count) override {
        const int p = NumericParameter(name, count);
        if (p < 0 || (!f && count)) return D3DERR_INVALIDCALL;
        std::memcpy(f, values_[p].data(), count * sizeof(float));
        return D3D_OK;
    }
    HRESULT SetVector(D3DXHANDLE name, const D3DXVECTOR4* v) override {
        const int p = ParameterIndex(name);
        if (p < 0 || !v || desc_.parameters[p].type == fx::ParamType::Texture ||
            desc_.parameters[p].type == fx::ParamType::Matrix)
            return D3DERR_INVALIDCALL;
        const float f[4] = {v->x, v->y, v->z, v->w};
        const UINT n = fx::ComponentCount(desc_.parameters[p].type);
        std::memcpy(values_[p].data(), f, n * sizeof(float));
        if (log_) Log(EffectCall::Kind::Floats, name, std::vector<float>(f, f + n), nullptr, D3D_OK);
        return D3D_OK;
    }
    HRESULT SetMatrix(D3DXHANDLE name, const D3DXMATRIX* m) override {
        const int p = ParameterIndex(name);
        const bool ok = p >= 0 && m && desc_.parameters[p].type == fx::ParamType::Matrix;
        if (ok) std::memcpy(values_[p].data(), &m->m[0][0], 16 * sizeof(float));
        if (log_) Log(EffectCall::Kind::Matrix, name, m ? std::vector<float>(&m->m[0][0], &m->m[0][0] + 16) : std::vector<float>(),
                      nullptr, ok ? D3D_OK : D3DERR_INVALIDCALL);
        return ok ? D3D_OK : D3DERR_INVALIDCALL;
    }
    HRESULT GetMatrix(D3DXHANDLE name, D3DXMATRIX* m) override {
        const int p = ParameterIndex(name);
        if (p < 0 || !m || desc_.parameters[p].type != fx::ParamType::Matrix) return D3DERR_INVALIDCALL;
        std::memcpy(&m->m[0][0], values_[p].data(), 16 * sizeof(float));
        return D3D_OK;
    }
    HRESULT SetValue(D3DXHANDLE name, LPCVOID data, UINT bytes) override {
        const int p = ParameterIndex(name);
        if (p < 0 || !data) return D3DERR_INVALIDCALL;
        if (desc_.parameters[p].type == fx::ParamType::Texture) {
            if (bytes != sizeof(IDirect3DBaseTexture9*)) return D3DERR_INVALIDCALL;
            IDirect3DBaseTexture9* texture = nullptr;
            std::memcpy(&texture, data, sizeof(texture));
            return SetTexture(name, texture);
        }
        if (bytes > fx::ComponentCount(desc_.parameters[p].type) * sizeof(float)) return D3DERR_INVALIDCALL;
        std::memcpy(values_[p].data(), data, bytes);
        if (log_) {
            std::vector<float> f(bytes / sizeof(float));
            std::memcpy(f.data(), data, f.size() * sizeof(float));
            Log(EffectCall::Kind::Floats, name, std::move(f), nullptr, D3D_OK);
        }
        return D3D_OK;
    }
    HRESULT SetTexture(D3DXHANDLE name, IDirect3DBaseTexture9* texture) override {
        const int p = ParameterIndex(name);
        const bool ok = p >= 0 && desc_.parameters[p].type == fx::ParamType::Texture;
        Log(EffectCall::Kind::Texture, name, {}, texture, ok ? D3D_OK : D3DERR_INVALIDCALL);
        if (!ok) return D3DERR_INVALIDCALL;
        if (texture) texture->AddRef();
        if (textures_[p]) textures_[p]->Release();
        textures_[p] = texture;
        return D3D_OK;
    }
    HRESULT GetTexture(D3DXHANDLE name, IDirect3DBaseTexture9** out) override {
        const int p = ParameterIndex(name);
        if (p < 0 || !out || desc_.parameters[p].type != fx::ParamType::Texture) return D3DERR_INVALIDCALL;
        *out = textures_[p];
        if (*out) (*out)->AddRef();
        return D3D_OK;
    }

    HRESULT Begin(UINT* passes, DWORD flags) override {
        Log(EffectCall::Kind::Begin, desc_.techniques[technique_].name.c_str(), {}, nullptr,
            begun_ || lost_ ? D3DERR_INVALIDCALL : D3D_OK);
        if (begun_) return Fail("Begin: the effect is already begun");
        if (lost_) return Fail("Begin: the device was lost; OnResetDevice first");
        active_ = technique_;
        begun_ = true;
        if (passes) *passes = static_cast<UINT>(desc_.techniques[active_].passes.size());
        if (!(flags & D3DXFX_DONOTSAVESTATE)) SaveState(!(flags & D3DXFX_DONOTSAVESAMPLERSTATE));
        return D3D_OK;
    }
    HRESULT BeginPass(UINT index) override {
        if (!begun_ || inPass_) return Fail("BeginPass outside Begin/End or inside another pass");
        const fx::Technique& t = desc_.techniques[active_];
        if (index >= t.passes.size()) return Fail("BeginPass: no such pass");
        pass_ = static_cast<int>(index);
        inPass_ = true;
        const fx::Pass& pass = t.passes[index];
        for (const auto& rs : pass.renderStates) device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(rs.state), rs.value);
        for (const auto& smp : pass.samplers)
            for (const auto& ss : smp.states)
                device_->SetSamplerState(smp.stage, static_cast<D3DSAMPLERSTATETYPE>(ss.state), ss.value);
        Commit();
        if (pass.fragment.present || pass.vertex.present) tessaloom::d3d9::SetProgramOverride(device_, &override_);
        return D3D_OK;
    }
    HRESULT CommitChanges() override {
        if (inPass_) Commit();
        return D3D_OK;
    }
    HRESULT EndPass() override {
        if (!inPass_) return Fail("EndPass without BeginPass");
        inPass_ = false;
        tessaloom::d3d9::SetProgramOverride(device_, nullptr);
        return D3D_OK;
    }
    HRESULT End() override {
        Log(EffectCall::Kind::End, "", {}, nullptr, begun_ ? D3D_OK : D3DERR_INVALIDCALL);
        if (!begun_) return Fail("End without Begin");
        if (inPass_) EndPass();
        begun_ = false;
        RestoreState();
        return D3D_OK;
    }

    HRESULT OnLostDevice() override {
        for (auto& t : textures_) {
            if (!t) continue;
            D3DSURFACE_DESC d{};
            if (t->GetType() == D3DRTYPE_TEXTURE && SUCCEEDED(static_cast<IDirect3DTexture9*>(t)->GetLevelDesc(0, &d)) &&
                d.Pool != D3DPOOL_DEFAULT)
                continue;
            t->Release();
            t = nullptr;
        }
        lost_ = true;
        return D3D_OK;
    }
    HRESULT OnResetDevice() override {
        lost_ = false;
        return D3D_OK;
    }

    void SetLog(std::vector<EffectCall>* log) { log_ = log; }

private:
    void Log(EffectCall::Kind kind, D3DXHANDLE name, std::vector<float> values, const IDirect3DBaseTexture9* texture,
             HRESULT result) {
        if (!log_) return;
        EffectCall call;
        call.kind = kind;
        call.name = name ? name : "";
        call.values = std::move(values);
        call.texture = texture;
        call.result = result;
        log_->push_back(std::move(call));
    }

    ~Effect() override {
        if (begun_) End();
        ReleaseSaved();
        tessaloom::d3d9::MakeCurrent(device_);
        for (auto& technique : passes_)
            for (auto& variants : technique)
                for (auto& [key, linked] : variants) {
                    if (!linked.program) continue;
                    tessaloom::d3d9::ForgetProgram(device_, linked.program);
                    glDeleteProgram(linked.program);
                }
        if (emptyTexture_) glDeleteTextures(1, &emptyTexture_);
        for (auto* t : textures_)
            if (t) t->Release();
        device_->Release();
    }

    HRESULT Fail(const char* what) {
        std::fprintf(stderr, "tessaloom d3dx9: effect '%s': %s\n", desc_.name.c_str(), what);
        return D3DERR_INVALIDCALL;
    }

    int ParameterIndex(D3DXHANDLE name) const {
        if (!name) return -1;
        for (size_t i = 0; i < desc_.parameters.size(); ++i)
            if (desc_.parameters[i].name == name) return static_cast<int>(i);
        return -1;
    }
    int NumericParameter(D3DXHANDLE name, UINT count) const {
        const int p = ParameterIndex(name);
        if (p < 0 || desc_.parameters[p].type == fx::ParamType::Texture) return -1;
        return count <= fx::ComponentCount(desc_.parameters[p].type) ? p : -1;
    }
    int TechniqueIndex(D3DXHANDLE name) const {
        if (!name) return -1;
        for (size_t i = 0; i < desc_.techniques.size(); ++i)
            if (desc_.techniques[i].name == name) return static_cast<int>(i);
        return -1;
    }

    // The part of a draw's fixed-function key a pass's program depends on.
    FfKey NormalKey(const fx::Pass& pass, const FfKey& key) const {
        FfKey n;
        n.alphaFunc = key.alphaFunc;
        if (!pass.fragment.present) {
            // The fixed-function pixels: everything but the vertex state.
            n = key;
            n.fvf = 0;
            n.lighting = n.colorVertex = n.diffuseSource = n.ambientSource = 0;
            n.specularSource = n.emissiveSource = n.localViewer = n.normalizeNormals = n.lightMask = 0;
            return n;
        }
        if (pass.vertex.present) return n;
        n.fvf = key.fvf;
        n.lighting = key.lighting;
        n.colorVertex = key.colorVertex;
        n.diffuseSource = key.diffuseSource;
        n.ambientSource = key.ambientSource;
        n.specularSource = key.specularSource;
        n.emissiveSource = key.emissiveSource;
        n.specularEnable = key.specularEnable;
        n.localViewer = key.localViewer;
        n.normalizeNormals = key.normalizeNormals;
        n.lightMask = key.lightMask;
        n.flat = key.flat;
        // Every stage's coordinates, also of stages the colour operations
        // leave disabled: the fragment code may read any of them.
        // Pre-transformed vertices bypass generation and transforms: their
        // coordinates arrive as given.
        const bool rhw = (key.fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
        n.stageCount = kMaxStages;
        for (int i = 0; i < kMaxStages; ++i) {
            n.stages[i].coordSet = key.stages[i].coordSet;
            n.stages[i].coordGen = rhw ? 0 : key.stages[i].coordGen;
            n.stages[i].transformFlags = rhw ? 0 : key.stages[i].transformFlags;
        }
        return n;
    }

    // The key with the coordinate state of every stage, read from the device
    // for stages past the ones the key describes.
    FfKey WithAllStages(const FfKey& key) const {
        FfKey k = key;
        for (int i = key.stageCount; i < kMaxStages; ++i) {
            DWORD index = static_cast<DWORD>(i), flags = 0;
            device_->GetTextureStageState(i, D3DTSS_TEXCOORDINDEX, &index);
            device_->GetTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, &flags);
            k.stages[i].coordSet = static_cast<uint8_t>(index & 0xffff);
            k.stages[i].coordGen = static_cast<uint8_t>(index >> 16);
            k.stages[i].transformFlags = static_cast<uint8_t>((flags & 0xff) | ((flags & D3DTTFF_PROJECTED) ? 0x80 : 0));
        }
        return k;
    }

    LinkedProgram* Link(size_t t, size_t p, const FfKey& key, std::string* error) {
        auto& variants = passes_[t][p];
        auto found = variants.find(key);
        if (found != variants.end()) return found->second.program ? &found->second : nullptr;
        const fx::Technique& technique = desc_.techniques[t];
        const fx::Pass& pass = technique.passes[p];
        LinkedProgram linked;
        std::string log;
        int lines = 0;
        GLuint vs = 0;
        if (pass.vertex.present) {
            vs = CompileStage(GL_VERTEX_SHADER, DeviceStageSource(desc_, pass, fx::Stage::Vertex, key, &lines), &log);
            if (!vs) *error = fx::MapCompilerLog(desc_, technique, pass, fx::Stage::Vertex, log, lines);
        } else {
            std::string ffError;
            const std::string source = tessaloom::d3d9::FfVertexSource(key, &ffError);
            if (source.empty()) {
                *error = "effect '" + desc_.name + "', technique '" + technique.name +
                         "': fixed-function vertices: " + ffError;
            } else {
                vs = CompileStage(GL_VERTEX_SHADER, source, &log);
                if (!vs) *error = "effect '" + desc_.name + "': fixed-function vertex program: " + log;
            }
        }
        GLuint fs = 0;
        if (vs && pass.fragment.present) {
            fs = CompileStage(GL_FRAGMENT_SHADER, DeviceStageSource(desc_, pass, fx::Stage::Fragment, key, &lines), &log);
            if (!fs) *error = fx::MapCompilerLog(desc_, technique, pass, fx::Stage::Fragment, log, lines);
        } else if (vs) {
            std::string ffError;
            const std::string source = tessaloom::d3d9::FfFragmentSource(key, &ffError);
            if (source.empty()) {
                *error = "effect '" + desc_.name + "', technique '" + technique.name + "': texture stages: " + ffError;
            } else {
                fs = CompileStage(GL_FRAGMENT_SHADER, source, &log);
                if (!fs) *error = "effect '" + desc_.name + "': fixed-function fragment program: " + log;
            }
        }
        if (vs && fs) {
            GLuint program = glCreateProgram();
            glAttachShader(program, vs);
            glAttachShader(program, fs);
            if (pass.vertex.present) {
                // The device's attribute locations: position, normal, diffuse,
                // specular, then texture coordinate sets.
                for (GLuint i = 0; i < fx::kVertexInputs.size(); ++i)
                    glBindAttribLocation(program, i, fx::kVertexInputs[i].name);
            }
            glLinkProgram(program);
            GLint ok = 0;
            glGetProgramiv(program, GL_LINK_STATUS, &ok);
            if (ok) {
                linked.program = program;
            } else {
                char text[2048] = {};
                glGetProgramInfoLog(program, sizeof(text), nullptr, text);
                *error = "effect '" + desc_.name + "', technique '" + technique.name + "', pass at line " +
                         std::to_string(pass.line) + ": link: " + text;
                glDeleteProgram(program);
            }
        }
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        if (linked.program) {
            for (const auto& param : desc_.parameters)
                linked.parameters.push_back(glGetUniformLocation(linked.program, param.name.c_str()));
            linked.world = glGetUniformLocation(linked.program, fx::kWorldUniform);
            linked.view = glGetUniformLocation(linked.program, fx::kViewUniform);
            linked.projection = glGetUniformLocation(linked.program, fx::kProjectionUniform);
            linked.worldViewProjection = glGetUniformLocation(linked.program, fx::kWorldViewProjectionUniform);
        }
        auto& stored = variants.emplace(key, linked).first->second;
        return stored.program ? &stored : nullptr;
    }

    GLuint ProgramFor(const FfKey& key) {
        if (!inPass_) return 0;
        const fx::Pass& pass = desc_.techniques[active_].passes[pass_];
        const FfKey normal = NormalKey(pass, pass.vertex.present ? key : WithAllStages(key));
        auto& variants = passes_[active_][pass_];
        auto found = variants.find(normal);
        if (found != variants.end()) {
            bound_ = &found->second;
            return found->second.program;
        }
        std::string error;
        LinkedProgram* linked = Link(active_, pass_, normal, &error);
        if (!linked) {
            std::fprintf(stderr, "tessaloom d3dx9: draw refused: %s\n", error.c_str());
            bound_ = nullptr;
            return 0;
        }
        bound_ = linked;
        return linked->program;
    }

    // Effect uniforms of the program about to draw.
    void Bind(GLuint program) {
        if (!bound_ || bound_->program != program) return;
        const LinkedProgram& l = *bound_;
        D3DXMATRIX world, view, projection, wv, wvp;
        device_->GetTransform(D3DTS_WORLD, &world);
        device_->GetTransform(D3DTS_VIEW, &view);
        device_->GetTransform(D3DTS_PROJECTION, &projection);
        D3DXMatrixMultiply(&wv, &world, &view);
        D3DXMatrixMultiply(&wvp, &wv, &projection);
        // Row-major D3DX matrices, uploaded transposed so that GLSL's v * M
        // is D3DX's v x M.
        if (l.world >= 0) glUniformMatrix4fv(l.world, 1, GL_TRUE, &world.m[0][0]);
        if (l.view >= 0) glUniformMatrix4fv(l.view, 1, GL_TRUE, &view.m[0][0]);
        if (l.projection >= 0) glUniformMatrix4fv(l.projection, 1, GL_TRUE, &projection.m[0][0]);
        if (l.worldViewProjection >= 0) glUniformMatrix4fv(l.worldViewProjection, 1, GL_TRUE, &wvp.m[0][0]);
        const fx::Pass& pass = desc_.techniques[active_].passes[pass_];
        if (pass.vertex.present) {
            // Inputs the vertex format lacks read GL's current attribute
            // values: opaque white diffuse, black specular, (0, 0, 0, 1)
            // texture coordinates.
            glVertexAttrib4f(1, 0, 0, 0, 1);
            glVertexAttrib4f(2, 1, 1, 1, 1);
            glVertexAttrib4f(3, 0, 0, 0, 0);
            for (GLuint i = 4; i < fx::kVertexInputs.size(); ++i) glVertexAttrib4f(i, 0, 0, 0, 1);
        }
        bool emptyUsed = false;
        for (size_t i = 0; i < desc_.parameters.size(); ++i) {
            const GLint loc = l.parameters[i];
            if (loc < 0) continue;
            const float* v = committed_[i].data();
            switch (desc_.parameters[i].type) {
                case fx::ParamType::Float: glUniform1fv(loc, 1, v); break;
                case fx::ParamType::Float2: glUniform2fv(loc, 1, v); break;
                case fx::ParamType::Float3: glUniform3fv(loc, 1, v); break;
                case fx::ParamType::Float4: glUniform4fv(loc, 1, v); break;
                case fx::ParamType::Matrix: glUniformMatrix4fv(loc, 1, GL_TRUE, v); break;
                case fx::ParamType::Texture: {
                    GLint unit = kEmptyUnit;
                    for (const auto& smp : pass.samplers)
                        if (smp.texture == desc_.parameters[i].name && committedTextures_[smp.stage])
                            unit = static_cast<GLint>(smp.stage);
                    emptyUsed |= unit == kEmptyUnit;
                    glUniform1i(loc, unit);
                    break;
                }
            }
        }
        if (emptyUsed) {
            glActiveTexture(GL_TEXTURE0 + kEmptyUnit);
            glBindTexture(GL_TEXTURE_2D, emptyTexture_);
        }
    }

    // Parameter values as they stand reach the device: textures on the
    // pass's stages, numbers for the next draws.
    void Commit() {
        committed_ = values_;
        committedTextures_.fill(false);
        const fx::Pass& pass = desc_.techniques[active_].passes[pass_];
        for (const auto& smp : pass.samplers) {
            const int p = ParameterIndex(smp.texture.c_str());
            IDirect3DBaseTexture9* texture = p >= 0 ? textures_[p] : nullptr;
            device_->SetTexture(smp.stage, texture);
            committedTextures_[smp.stage] = texture != nullptr;
        }
    }

    void SaveState(bool samplers) {
        ReleaseSaved();
        std::set<DWORD> renderStates;
        std::map<DWORD, std::set<DWORD>> samplerStates;
        for (const auto& pass : desc_.techniques[active_].passes) {
            for (const auto& rs : pass.renderStates) renderStates.insert(rs.state);
            for (const auto& smp : pass.samplers) {
                auto& states = samplerStates[smp.stage];
                if (samplers)
                    for (const auto& ss : smp.states) states.insert(ss.state);
            }
        }
        for (DWORD rs : renderStates) {
            DWORD v = 0;
            device_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(rs), &v);
            savedRender_.emplace_back(rs, v);
        }
        for (const auto& [stage, states] : samplerStates) {
            IDirect3DBaseTexture9* texture = nullptr;
            device_->GetTexture(stage, &texture);
            savedTextures_.emplace_back(stage, texture);
            for (DWORD ss : states) {
                DWORD v = 0;
                device_->GetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(ss), &v);
                savedSamplers_.push_back({stage, ss, v});
            }
        }
    }
    void RestoreState() {
        for (const auto& [rs, v] : savedRender_) device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(rs), v);
        for (const auto& s : savedSamplers_)
            device_->SetSamplerState(s.stage, static_cast<D3DSAMPLERSTATETYPE>(s.state), s.value);
        for (const auto& [stage, texture] : savedTextures_) device_->SetTexture(stage, texture);
        ReleaseSaved();
    }
    void ReleaseSaved() {
        for (auto& [stage, texture] : savedTextures_)
            if (texture) texture->Release();
        savedTextures_.clear();
        savedRender_.clear();
        savedSamplers_.clear();
    }

    IDirect3DDevice9* device_;
    fx::EffectDesc desc_;
    std::vector<std::array<float, 16>> values_, committed_;
    std::vector<IDirect3DBaseTexture9*> textures_;  // one reference each
    std::array<bool, kMaxStages> committedTextures_{};
    int technique_ = 0;
    int active_ = 0;  // the technique between Begin and End
    int pass_ = 0;
    bool begun_ = false, inPass_ = false, lost_ = false;
    // Per technique, per pass: programs by the normalised key.
    std::vector<std::vector<std::unordered_map<FfKey, LinkedProgram, FfKeyHash>>> passes_;
    LinkedProgram* bound_ = nullptr;
    tessaloom::d3d9::ProgramOverride override_;
    GLuint emptyTexture_ = 0;
    std::vector<EffectCall>* log_ = nullptr;

    struct SavedSampler {
        DWORD stage, state, value;
    };
    std::vector<std::pair<DWORD, DWORD>> savedRender_;
    std::vector<SavedSampler> savedSamplers_;
    std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> savedTextures_;
};

}  // namespace

namespace tessaloom::d3dx9 {

bool RecordEffectCalls(ID3DXEffect* effect, std::vector<EffectCall>* log) {
    auto* ours = dynamic_cast<Effect*>(effect);
    if (!ours) return false;
    ours->SetLog(log);
    return true;
}

HRESULT CreateEffectNamed(IDirect3DDevice9* device, const void* data, size_t size, const std::string& name,
                          ID3DXEffect** effect, ID3DXBuffer** errors) {
    auto report = [&](const std::string& message) {
        std::fprintf(stderr, "tessaloom d3dx9: %s\n", message.c_str());
        if (errors && SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(message.size() + 1), errors)))
            std::memcpy((*errors)->GetBufferPointer(), message.c_str(), message.size() + 1);
        return D3DERR_INVALIDCALL;
    };
    if (errors) *errors = nullptr;
    if (!effect) return D3DERR_INVALIDCALL;
    *effect = nullptr;
    if (!device || (!data && size)) return report("effect '" + name + "': no device or no data");
    fx::EffectDesc desc;
    fx::Result parsed = fx::Parse(data, size, name, desc);
    if (!parsed.ok) return report(parsed.error);
    if (desc.techniques.empty()) return report("effect '" + name + "': no technique");
    Effect* made = nullptr;
    try {
        made = new Effect(device, std::move(desc));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    std::string error;
    if (!made->Build(&error)) {
        made->Release();
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return report(error);
    }
    *effect = made;
    return D3D_OK;
}

}  // namespace tessaloom::d3dx9

HRESULT D3DXCreateEffect(IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         ID3DXInclude* pInclude, DWORD, ID3DXEffectPool* pPool, ID3DXEffect** ppEffect,
                         ID3DXBuffer** ppCompilationErrors) {
    const std::string name = "effect data of " + std::to_string(SrcDataLen) + " bytes";
    if ((pDefines && pDefines->Name) || pInclude || pPool) {
        if (ppEffect) *ppEffect = nullptr;
        if (ppCompilationErrors) *ppCompilationErrors = nullptr;
        std::fprintf(stderr, "tessaloom d3dx9: %s: macros, include handlers and effect pools are not supported\n",
                     name.c_str());
        return E_NOTIMPL;
    }
    return tessaloom::d3dx9::CreateEffectNamed(pDevice, pSrcData, SrcDataLen, name, ppEffect, ppCompilationErrors);
}
