#include "platform/d3d9/fixed_function.h"

#include <cstdio>
#include <sstream>

namespace tessaloom::d3d9 {
namespace {

bool StageReadsTexture(const FfStageKey& s) {
    auto reads = [](uint8_t arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    bool colorArgs = reads(s.colorArg1) || reads(s.colorArg2) ||
                     ((s.colorOp == D3DTOP_MULTIPLYADD || s.colorOp == D3DTOP_LERP) && reads(s.colorArg0));
    bool alphaArgs = s.alphaOp != D3DTOP_DISABLE &&
                     (reads(s.alphaArg1) || reads(s.alphaArg2) ||
                      ((s.alphaOp == D3DTOP_MULTIPLYADD || s.alphaOp == D3DTOP_LERP) && reads(s.alphaArg0)));
    bool opReads = s.colorOp == D3DTOP_BLENDTEXTUREALPHA || s.colorOp == D3DTOP_BLENDTEXTUREALPHAPM ||
                   s.alphaOp == D3DTOP_BLENDTEXTUREALPHA || s.alphaOp == D3DTOP_BLENDTEXTUREALPHAPM;
    return colorArgs || alphaArgs || opReads;
}

int TexCount(uint32_t fvf) { return static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT); }

int TexSize(uint32_t fvf, int set) {
    switch ((fvf >> (16 + set * 2)) & 3) {
        case D3DFVF_TEXTUREFORMAT1: return 1;
        case D3DFVF_TEXTUREFORMAT3: return 3;
        case D3DFVF_TEXTUREFORMAT4: return 4;
        default: return 2;
    }
}

bool IsBump(uint8_t op) { return op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE; }

bool IsRhw(uint32_t fvf) { return (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW; }

std::string Arg(uint8_t arg, int stage) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: base = "v_diffuse"; break;
        case D3DTA_CURRENT: base = "current"; break;
        case D3DTA_TEXTURE: base = "tex"; break;
        case D3DTA_TFACTOR: base = "u_tfactor"; break;
        case D3DTA_SPECULAR: base = "v_specular"; break;
        case D3DTA_TEMP: base = "temp"; break;
        case D3DTA_CONSTANT: base = "u_constant[" + std::to_string(stage) + "]"; break;
        default: return "";
    }
    if (arg & D3DTA_ALPHAREPLICATE) base = base + ".aaaa";
    if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    return base;
}

// The vec4 a stage operation yields; empty for an operation not implemented.
std::string Op(uint8_t op, const std::string& a0, const std::string& a1, const std::string& a2) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return "(" + a1 + " * " + a2 + ")";
        case D3DTOP_MODULATE2X: return "(" + a1 + " * " + a2 + " * 2.0)";
        case D3DTOP_MODULATE4X: return "(" + a1 + " * " + a2 + " * 4.0)";
        case D3DTOP_ADD: return "(" + a1 + " + " + a2 + ")";
        case D3DTOP_ADDSIGNED: return "(" + a1 + " + " + a2 + " - vec4(0.5))";
        case D3DTOP_ADDSIGNED2X: return "((" + a1 + " + " + a2 + " - vec4(0.5)) * 2.0)";
        case D3DTOP_SUBTRACT: return "(" + a1 + " - " + a2 + ")";
        case D3DTOP_ADDSMOOTH: return "(" + a1 + " + " + a2 + " - " + a1 + " * " + a2 + ")";
        case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", v_diffuse.a)";
        case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", tex.a)";
        case D3DTOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", u_tfactor.a)";
        case D3DTOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", current.a)";
        case D3DTOP_BLENDTEXTUREALPHAPM: return "(" + a1 + " + " + a2 + " * (1.0 - tex.a))";
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return "(" + a1 + " + " + a1 + ".aaaa * " + a2 + ")";
        case D3DTOP_MODULATECOLOR_ADDALPHA: return "(" + a1 + " * " + a2 + " + " + a1 + ".aaaa)";
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return "((1.0 - " + a1 + ".a) * " + a2 + " + " + a1 + ")";
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "((vec4(1.0) - " + a1 + ") * " + a2 + " + " + a1 + ".aaaa)";
        case D3DTOP_DOTPRODUCT3:
            return "vec4(clamp(4.0 * dot(" + a1 + ".rgb - vec3(0.5), " + a2 + ".rgb - vec3(0.5)), 0.0, 1.0))";
        case D3DTOP_MULTIPLYADD: return "(" + a0 + " + " + a1 + " * " + a2 + ")";
        case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
        default: return "";
    }
}

const char* OpName(uint8_t op) {
    switch (op) {
        case D3DTOP_PREMODULATE: return "PREMODULATE";
        case D3DTOP_BUMPENVMAP: return "BUMPENVMAP";
        case D3DTOP_BUMPENVMAPLUMINANCE: return "BUMPENVMAPLUMINANCE";
        default: return "an unknown operation";
    }
}


GLuint Compile(GLenum type, const std::string& source, std::string* error) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
        *error = std::string(type == GL_VERTEX_SHADER ? "vertex" : "fragment") + " program: " + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

FfKey MakeFfKey(const DeviceState& state, uint32_t texturedStages) {
    FfKey key;
    const auto& rs = state.render;
    key.fvf = state.fvf;
    bool rhw = IsRhw(state.fvf);
    key.lighting = !rhw && rs[D3DRS_LIGHTING] != 0;
    if (key.lighting) {
        key.colorVertex = rs[D3DRS_COLORVERTEX] != 0;
        key.diffuseSource = static_cast<uint8_t>(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        key.ambientSource = static_cast<uint8_t>(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        key.specularSource = static_cast<uint8_t>(rs[D3DRS_SPECULARMATERIALSOURCE]);
        key.emissiveSource = static_cast<uint8_t>(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
        key.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
        key.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != 0;
        for (int i = 0; i < kMaxLights; ++i)
            if (state.lights[i].enabled) key.lightMask |= static_cast<uint8_t>(1u << i);
    }
    key.specularEnable = rs[D3DRS_SPECULARENABLE] != 0;
    key.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS)
        key.alphaFunc = static_cast<uint8_t>(rs[D3DRS_ALPHAFUNC]);
    for (int s = 0; s < kMaxStages; ++s) {
        const auto& t = state.stage[s];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        // A stage whose first colour argument is its texture, with no texture
        // set, ends the cascade like DISABLE: it and every later stage pass
        // the previous result on.
        if ((t[D3DTSS_COLORARG1] & D3DTA_SELECTMASK) == D3DTA_TEXTURE && !((texturedStages >> s) & 1)) break;
        FfStageKey& k = key.stages[s];
        k.colorOp = static_cast<uint8_t>(t[D3DTSS_COLOROP]);
        k.colorArg0 = static_cast<uint8_t>(t[D3DTSS_COLORARG0]);
        k.colorArg1 = static_cast<uint8_t>(t[D3DTSS_COLORARG1]);
        k.colorArg2 = static_cast<uint8_t>(t[D3DTSS_COLORARG2]);
        k.alphaOp = static_cast<uint8_t>(t[D3DTSS_ALPHAOP]);
        k.alphaArg0 = static_cast<uint8_t>(t[D3DTSS_ALPHAARG0]);
        k.alphaArg1 = static_cast<uint8_t>(t[D3DTSS_ALPHAARG1]);
        k.alphaArg2 = static_cast<uint8_t>(t[D3DTSS_ALPHAARG2]);
        k.coordSet = static_cast<uint8_t>(t[D3DTSS_TEXCOORDINDEX] & 0xffff);
        k.coordGen = static_cast<uint8_t>(t[D3DTSS_TEXCOORDINDEX] >> 16);
        k.transformFlags = static_cast<uint8_t>((t[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xff) |
                                                ((t[D3DTSS_TEXTURETRANSFORMFLAGS] & D3DTTFF_PROJECTED) ? 0x80 : 0));
        k.resultArg = static_cast<uint8_t>(t[D3DTSS_RESULTARG]);
        k.textured = (texturedStages >> s) & 1;
        key.stageCount = static_cast<uint8_t>(s + 1);
    }
    return key;
}

std::string FfVertexSource(const FfKey& key, std::string* error) {
    const uint32_t fvf = key.fvf;
    const bool rhw = IsRhw(fvf);
    const uint32_t position = fvf & D3DFVF_POSITION_MASK;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) {
        *error = "vertex formats with blend weights or XYZW are not implemented";
        return "";
    }
    const bool hasNormal = (fvf & D3DFVF_NORMAL) != 0;
    const bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0;
    const bool hasSpecular = (fvf & D3DFVF_SPECULAR) != 0;
    const int texCount = TexCount(fvf);
    const char* flat = key.flat ? "flat " : "";

    std::ostringstream s;
    s << "#version 330 core\n"
         "layout(location = 0) in vec4 a_position;\n"
         "layout(location = 1) in vec3 a_normal;\n"
         "layout(location = 2) in vec4 a_diffuse;\n"
         "layout(location = 3) in vec4 a_specular;\n";
    for (int i = 0; i < texCount && i < 8; ++i) s << "layout(location = " << 4 + i << ") in vec4 a_tex" << i << ";\n";
    s << "uniform mat4 u_wvp;\n"
         "uniform mat4 u_worldView;\n"
         "uniform vec4 u_viewport;\n"  // x, y, width, height in pixels
         "uniform vec2 u_depthRange;\n"
         "uniform vec4 u_ambient;\n"
         "uniform vec4 u_matDiffuse, u_matAmbient, u_matSpecular, u_matEmissive;\n"
         "uniform float u_matPower;\n"
         "uniform vec3 u_lightDir[8];\n"
         "uniform vec4 u_lightDiffuse[8], u_lightSpecular[8], u_lightAmbient[8];\n"
         "uniform mat4 u_texMatrix[8];\n"
      << flat << "out vec4 v_diffuse;\n"
      << flat << "out vec4 v_specular;\n";
    for (int i = 0; i < key.stageCount; ++i) s << "out vec4 v_tex" << i << ";\n";
    s << "void main() {\n";
    if (rhw) {
        // Screen-space vertices: pixel centres on whole numbers, so shift by
        // half a pixel; w = 1 / rhw keeps interpolation perspective-correct.
        s << "  float w = a_position.w > 0.0 ? 1.0 / a_position.w : 1.0;\n"
             "  vec2 ndc = (a_position.xy + vec2(0.5) - u_viewport.xy) * 2.0 / u_viewport.zw - vec2(1.0);\n"
             "  float range = u_depthRange.y - u_depthRange.x;\n"
             "  float z = (range != 0.0 ? (a_position.z - u_depthRange.x) / range : 0.0) * 2.0 - 1.0;\n"
             "  gl_Position = vec4(ndc, z, 1.0) * w;\n";
    } else {
        // D3D clip space to GL: y flipped (render targets keep row 0 at the
        // top), half-pixel shift, depth 0..1 to -1..1.
        s << "  vec4 c = u_wvp * vec4(a_position.xyz, 1.0);\n"
             "  gl_Position = vec4(c.x + c.w / u_viewport.z, -c.y + c.w / u_viewport.w, 2.0 * c.z - c.w, c.w);\n";
    }
    std::string diffuse = hasDiffuse ? "a_diffuse" : "vec4(1.0)";
    std::string specular = hasSpecular ? "a_specular" : "vec4(0.0)";
    if (key.lighting) {
        auto source = [&](uint8_t which, const char* material) -> std::string {
            if (key.colorVertex && which == D3DMCS_COLOR1 && hasDiffuse) return "a_diffuse";
            if (key.colorVertex && which == D3DMCS_COLOR2 && hasSpecular) return "a_specular";
            return material;
        };
        s << "  vec4 md = " << source(key.diffuseSource, "u_matDiffuse") << ";\n"
          << "  vec4 ma = " << source(key.ambientSource, "u_matAmbient") << ";\n"
          << "  vec4 ms = " << source(key.specularSource, "u_matSpecular") << ";\n"
          << "  vec4 me = " << source(key.emissiveSource, "u_matEmissive") << ";\n"
          << "  vec3 col = me.rgb + u_ambient.rgb * ma.rgb;\n"
             "  vec3 spec = vec3(0.0);\n";
        if (key.lightMask) {
            if (hasNormal) {
                // Normals go to camera space by the inverse transpose of world x view.
                s << "  vec3 n = transpose(inverse(mat3(u_worldView))) * a_normal;\n";
                s << (key.normalizeNormals ? "  n = normalize(n);\n" : "");
            } else {
                s << "  vec3 n = vec3(0.0);\n";
            }
            s << "  vec3 p = (u_worldView * vec4(a_position.xyz, 1.0)).xyz;\n"
              << "  vec3 toEye = " << (key.localViewer ? "-normalize(p)" : "vec3(0.0, 0.0, -1.0)") << ";\n";
            for (int i = 0; i < kMaxLights; ++i) {
                if (!(key.lightMask & (1u << i))) continue;
                // Directional lights: the light's direction is given in view space.
                s << "  {\n"
                     "    vec3 l = -normalize(u_lightDir[" << i << "]);\n"
                     "    float nl = max(dot(n, l), 0.0);\n"
                     "    col += u_lightAmbient[" << i << "].rgb * ma.rgb + u_lightDiffuse[" << i << "].rgb * md.rgb * nl;\n";
                if (key.specularEnable)
                    s << "    if (nl > 0.0) spec += u_lightSpecular[" << i << "].rgb * ms.rgb * "
                         "pow(max(dot(n, normalize(l + toEye)), 0.0), u_matPower);\n";
                s << "  }\n";
            }
        }
        s << "  v_diffuse = vec4(clamp(col, 0.0, 1.0), md.a);\n"
             "  v_specular = vec4(clamp(spec, 0.0, 1.0), ms.a);\n";
    } else {
        s << "  v_diffuse = " << diffuse << ";\n"
          << "  v_specular = " << specular << ";\n";
    }
    for (int i = 0; i < key.stageCount; ++i) {
        const FfStageKey& st = key.stages[i];
        const std::string out = "v_tex" + std::to_string(i);
        // The vector a texture transform multiplies: generated coordinates
        // are (x, y, z, 1); given coordinates are padded with 1 after their
        // last component, then 0 (so a 2D set is (u, v, 1, 0), and 2D
        // translations sit in the third row of the matrix).
        std::string input;
        int inputSize = 4;
        switch (st.coordGen) {
            case 0:
                if (st.coordSet < texCount) {
                    const std::string a = "a_tex" + std::to_string(st.coordSet);
                    inputSize = TexSize(fvf, st.coordSet);
                    switch (inputSize) {
                        case 1: input = "vec4(" + a + ".x, 1.0, 0.0, 0.0)"; break;
                        case 2: input = "vec4(" + a + ".xy, 1.0, 0.0)"; break;
                        case 3: input = "vec4(" + a + ".xyz, 1.0)"; break;
                        default: input = a; break;
                    }
                } else {
                    input = "vec4(0.0, 0.0, 1.0, 0.0)";
                    inputSize = 2;
                }
                break;
            case D3DTSS_TCI_CAMERASPACEPOSITION >> 16:
                input = "vec4((u_worldView * vec4(a_position.xyz, 1.0)).xyz, 1.0)";
                inputSize = 3;
                break;
            case D3DTSS_TCI_CAMERASPACENORMAL >> 16:
                input = hasNormal ? "vec4(normalize(transpose(inverse(mat3(u_worldView))) * a_normal), 1.0)" : "vec4(0.0, 0.0, 0.0, 1.0)";
                inputSize = 3;
                break;
            default:
                *error = "this texture coordinate generation is not implemented";
                return "";
        }
        if (rhw && st.coordGen != 0) {
            *error = "generated texture coordinates for screen-space vertices";
            return "";
        }
        const int count = st.transformFlags & 0x7f;
        const bool projected = (st.transformFlags & 0x80) != 0;
        if (count == 0 || rhw) {
            // No transform: the coordinates as given (GL fills missing ones with 0, w with 1).
            s << "  " << out << " = " << input << ";\n";
            if (projected) s << "  " << out << ".xy /= " << out << "[" << (inputSize - 1) << "];\n";
        } else {
            s << "  " << out << " = u_texMatrix[" << i << "] * " << input << ";\n";
            if (projected && count > 1) s << "  " << out << ".xy /= " << out << "[" << (count - 1) << "];\n";
        }
    }
    s << "}\n";
    return s.str();
}

std::string FfFragmentSource(const FfKey& key, std::string* error) {
    const char* flat = key.flat ? "flat " : "";
    std::ostringstream s;
    s << "#version 330 core\n" << flat << "in vec4 v_diffuse;\n" << flat << "in vec4 v_specular;\n";
    for (int i = 0; i < key.stageCount; ++i) s << "in vec4 v_tex" << i << ";\nuniform sampler2D u_tex" << i << ";\n";
    s << "uniform vec4 u_tfactor;\n"
         "uniform float u_alphaRef;\n"
         "uniform vec4 u_constant[8];\n"
         "uniform vec4 u_bumpMat[8];\n"  // per stage: M00, M01, M10, M11
         "out vec4 o_color;\n"
         "void main() {\n"
         "  vec4 current = v_diffuse;\n"
         "  vec4 temp = vec4(0.0);\n"
         "  vec4 tex;\n"
         "  vec2 bump = vec2(0.0);\n";
    for (int i = 0; i < key.stageCount; ++i) {
        const FfStageKey& st = key.stages[i];
        const std::string n = std::to_string(i);
        // The previous stage's bump offset moves this stage's lookup.
        const std::string coord = "v_tex" + n + ".xy" + (i > 0 && IsBump(key.stages[i - 1].colorOp) ? " + bump" : "");
        if (IsBump(st.colorOp)) {
            if (st.colorOp == D3DTOP_BUMPENVMAPLUMINANCE) {
                *error = "colour operation BUMPENVMAPLUMINANCE is not implemented";
                return "";
            }
            // Bump environment mapping: the texture gives (du, dv); the
            // next stage samples at its coordinates plus M (du, dv), with
            // u' = u + M00 du + M10 dv and v' = v + M01 du + M11 dv.  The
            // stage passes the current colour on.
            s << "  tex = " << (st.textured ? "texture(u_tex" + n + ", " + coord + ")" : "vec4(0.0, 0.0, 1.0, 1.0)") << ";\n"
              << "  bump = vec2(dot(u_bumpMat[" << n << "].xz, tex.rg), dot(u_bumpMat[" << n << "].yw, tex.rg));\n";
        } else if (StageReadsTexture(st)) {
            // A stage without a texture (its first argument is not the
            // texture, or it would have ended the cascade) reads opaque white.
            s << "  tex = " << (st.textured ? "texture(u_tex" + n + ", " + coord + ")" : "vec4(1.0)") << ";\n";
        }
        std::string color = IsBump(st.colorOp) ? "current"
                                                : Op(st.colorOp, Arg(st.colorArg0, i), Arg(st.colorArg1, i), Arg(st.colorArg2, i));
        if (color.empty()) {
            *error = std::string("colour operation ") + OpName(st.colorOp) + " is not implemented";
            return "";
        }
        std::string alpha;
        if (st.colorOp == D3DTOP_DOTPRODUCT3) {
            alpha = color;  // the dot product goes to every channel
        } else if (st.alphaOp == D3DTOP_DISABLE) {
            alpha = "current";
        } else {
            alpha = Op(st.alphaOp, Arg(st.alphaArg0, i), Arg(st.alphaArg1, i), Arg(st.alphaArg2, i));
            if (alpha.empty()) {
                *error = std::string("alpha operation ") + OpName(st.alphaOp) + " is not implemented";
                return "";
            }
        }
        const char* target = (st.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP ? "temp" : "current";
        s << "  " << target << " = clamp(vec4((" << color << ").rgb, (" << alpha << ").a), 0.0, 1.0);\n";
    }
    if (key.specularEnable) s << "  current.rgb = min(current.rgb + v_specular.rgb, vec3(1.0));\n";
    if (key.alphaFunc) {
        s << "  float a8 = floor(current.a * 255.0 + 0.5);\n"
          << "  if (!(" << AlphaTestGlsl(key.alphaFunc) << ")) discard;\n";
    }
    s << "  o_color = current;\n}\n";
    return s.str();
}

GLuint LinkProgram(const std::string& vertex, const std::string& fragment, std::string* error) {
    GLuint vs = Compile(GL_VERTEX_SHADER, vertex, error);
    if (!vs) return 0;
    GLuint fs = Compile(GL_FRAGMENT_SHADER, fragment, error);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(program, sizeof(log), nullptr, log);
        *error = std::string("link: ") + log;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

FfProgram FfProgramLocations(GLuint program) {
    FfProgram p;
    p.program = program;
    auto loc = [&](const char* name) { return glGetUniformLocation(program, name); };
    p.wvp = loc("u_wvp");
    p.worldView = loc("u_worldView");
    p.viewport = loc("u_viewport");
    p.depthRange = loc("u_depthRange");
    p.textureFactor = loc("u_tfactor");
    p.alphaRef = loc("u_alphaRef");
    p.ambient = loc("u_ambient");
    p.matDiffuse = loc("u_matDiffuse");
    p.matAmbient = loc("u_matAmbient");
    p.matSpecular = loc("u_matSpecular");
    p.matEmissive = loc("u_matEmissive");
    p.matPower = loc("u_matPower");
    p.lightDir = loc("u_lightDir");
    p.lightDiffuse = loc("u_lightDiffuse");
    p.lightSpecular = loc("u_lightSpecular");
    p.lightAmbient = loc("u_lightAmbient");
    p.constant = loc("u_constant");
    p.bumpMatrix = loc("u_bumpMat");
    p.textureMatrix = loc("u_texMatrix");
    return p;
}

FixedFunction::~FixedFunction() {
    for (auto& [key, program] : cache_) glDeleteProgram(program.program);
}

FfProgram* FixedFunction::Get(const FfKey& key, std::string* error) {
    auto found = cache_.find(key);
    if (found != cache_.end()) return &found->second;
    auto failed = failed_.find(key);
    if (failed != failed_.end()) {
        *error = failed->second;
        return nullptr;
    }
    std::string vs = FfVertexSource(key, error);
    std::string fs = vs.empty() ? std::string() : FfFragmentSource(key, error);
    GLuint program = fs.empty() ? 0 : LinkProgram(vs, fs, error);
    if (!program) {
        std::fprintf(stderr, "tessaloom d3d9: fixed-function draw refused: %s\n", error->c_str());
        failed_.emplace(key, *error);
        return nullptr;
    }
    FfProgram p = FfProgramLocations(program);
    glUseProgram(program);
    for (int i = 0; i < key.stageCount; ++i) {
        std::string name = "u_tex" + std::to_string(i);
        GLint l = glGetUniformLocation(program, name.c_str());
        if (l >= 0) glUniform1i(l, i);
    }
    return &cache_.emplace(key, p).first->second;
}

const char* AlphaTestGlsl(uint8_t func) {
    switch (func) {
        case D3DCMP_NEVER: return "false";
        case D3DCMP_LESS: return "a8 < u_alphaRef";
        case D3DCMP_EQUAL: return "a8 == u_alphaRef";
        case D3DCMP_LESSEQUAL: return "a8 <= u_alphaRef";
        case D3DCMP_GREATER: return "a8 > u_alphaRef";
        case D3DCMP_NOTEQUAL: return "a8 != u_alphaRef";
        case D3DCMP_GREATEREQUAL: return "a8 >= u_alphaRef";
        default: return "true";
    }
}

}  // namespace tessaloom::d3d9
