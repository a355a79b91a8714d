// The effect-file parser: a full effect, state numbers, defaults, the
// messages of bad effects, the GLSL preludes and compiler-log mapping.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3dx9/effect_parser.h"

namespace {

fx::Result ParseText(const std::string& text, fx::EffectDesc& out, const std::string& name = "test.fx") {
    return fx::Parse(text.data(), text.size(), name, out);
}

std::string ReadDemo(const char* name) {
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

const char* kEffect = R"(// comment
float  Brightness = 0.3;
float2 Scale = {1, -2.5f};
float4 coord_transf = { 12.5, 0, 0, 9.375 };
matrix WorldViewProj;
float4x4 Fixed = {1,0,0,0, 0,2,0,0, 0,0,3,0, 4,5,6,1};
texture Background;
texture Mask;
/* a block
   comment */
technique Main {
    pass P0 {
        zenable = FALSE;                  // names and values ignore case
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        ZFunc = LessEqual;
        AlphaRef = 0x80;
        FogStart = -1.5;
        ColorWriteEnable = Red | Green | Alpha;
        sampler Background { AddressU = Clamp; AddressV = Mirror; MinFilter = Linear; MagFilter = Point; MipFilter = None; }
        sampler Mask { BorderColor = 0xFF00FF00; }
        vertex """
void main() { gl_Position = vec4(d3d_Position.xyz, 1.0) * WorldViewProj; }
"""
        fragment """void main() { d3d_FragColor = texture(Background, vec2(0.5)); }"""
    }
    pass {
        Lighting = false;
    }
}
technique MainFX { pass P0 { fragment """void main() { d3d_FragColor = vec4(1.0); }""" } }
)";

TEST(EffectParser, ReadsParametersTechniquesPassesAndStates) {
    fx::EffectDesc e;
    fx::Result r = ParseText(kEffect, e);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(e.name, "test.fx");

    ASSERT_EQ(e.parameters.size(), 7u);
    const fx::Parameter* b = e.FindParameter("Brightness");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->type, fx::ParamType::Float);
    EXPECT_FLOAT_EQ(b->value[0], 0.3f);
    EXPECT_EQ(b->line, 2);
    const fx::Parameter* s = e.FindParameter("Scale");
    EXPECT_EQ(s->type, fx::ParamType::Float2);
    EXPECT_FLOAT_EQ(s->value[1], -2.5f);
    EXPECT_FLOAT_EQ(e.FindParameter("coord_transf")->value[3], 9.375f);
    const fx::Parameter* wvp = e.FindParameter("WorldViewProj");
    EXPECT_EQ(wvp->type, fx::ParamType::Matrix);
    for (float v : wvp->value) EXPECT_EQ(v, 0);  // no default: zeros, as D3DX
    const fx::Parameter* fixed = e.FindParameter("Fixed");
    EXPECT_FLOAT_EQ(fixed->value[5], 2);   // row-major: _22
    EXPECT_FLOAT_EQ(fixed->value[13], 5);  // _42
    EXPECT_EQ(e.FindParameter("Mask")->type, fx::ParamType::Texture);
    EXPECT_EQ(e.FindParameter("scale"), nullptr);  // names are case-sensitive

    ASSERT_EQ(e.techniques.size(), 2u);
    const fx::Technique* main = e.FindTechnique("Main");
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->passes.size(), 2u);
    const fx::Pass& p = main->passes[0];
    EXPECT_EQ(p.name, "P0");
    struct Expect {
        DWORD state, value;
    } expected[] = {
        {7, 0}, {27, 1}, {19, 5}, {20, 6}, {22, 1}, {23, 4}, {24, 0x80}, {36, FloatBits(-1.5f)}, {168, 1 | 2 | 8},
    };
    ASSERT_EQ(p.renderStates.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(p.renderStates[i].state, expected[i].state) << i;
        EXPECT_EQ(p.renderStates[i].value, expected[i].value) << i;
    }
    EXPECT_EQ(p.renderStates[0].line, 13);

    ASSERT_EQ(p.samplers.size(), 2u);
    EXPECT_EQ(p.samplers[0].texture, "Background");
    EXPECT_EQ(p.samplers[0].stage, 0u);
    EXPECT_EQ(p.samplers[1].texture, "Mask");
    EXPECT_EQ(p.samplers[1].stage, 1u);
    struct Expect s0[] = {{1, 3}, {2, 2}, {6, 2}, {5, 1}, {7, 0}};
    ASSERT_EQ(p.samplers[0].states.size(), std::size(s0));
    for (size_t i = 0; i < std::size(s0); ++i) {
        EXPECT_EQ(p.samplers[0].states[i].state, s0[i].state) << i;
        EXPECT_EQ(p.samplers[0].states[i].value, s0[i].value) << i;
    }
    EXPECT_EQ(p.samplers[1].states[0].state, 4u);
    EXPECT_EQ(p.samplers[1].states[0].value, 0xFF00FF00u);

    ASSERT_TRUE(p.vertex.present);
    EXPECT_EQ(p.vertex.firstLine, 25);  // the line after the opening quotes
    EXPECT_EQ(p.vertex.code.rfind("void main()", 0), 0u);
    ASSERT_TRUE(p.fragment.present);
    EXPECT_EQ(p.fragment.firstLine, 27);

    const fx::Pass& second = main->passes[1];
    EXPECT_EQ(second.name, "");
    EXPECT_FALSE(second.vertex.present);
    EXPECT_FALSE(second.fragment.present);
    EXPECT_EQ(second.renderStates[0].state, 137u);

    const fx::Technique* mainFx = e.FindTechnique("MainFX");
    ASSERT_NE(mainFx, nullptr);
    EXPECT_FALSE(mainFx->passes[0].vertex.present);  // fixed-function vertex path
    EXPECT_TRUE(mainFx->passes[0].fragment.present);
}

struct BadEffect {
    const char* what;
    std::string text;
    const char* message;  // the expected message, after "effect 'bad.fx', " or "effect 'bad.fx': "
};

class EffectParserBad : public testing::TestWithParam<BadEffect> {};

TEST_P(EffectParserBad, FailsNamingEffectLineAndFault) {
    const BadEffect& c = GetParam();
    fx::EffectDesc e;
    fx::Result r = ParseText(c.text, e, "bad.fx");
    EXPECT_FALSE(r.ok);
    std::string message = c.message;
    EXPECT_EQ(r.error, "effect 'bad.fx'" + std::string(message.rfind("line ", 0) == 0 ? ", " : ": ") + message);
    EXPECT_TRUE(e.techniques.empty());
    EXPECT_TRUE(e.parameters.empty());
}

const std::string kOkPass = "technique T { pass P { fragment \"\"\"void main() {}\"\"\" } }\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, EffectParserBad,
    testing::Values(
        BadEffect{"unknown render state", "technique T {\n pass P {\n  ZEnabel = false;\n }\n}\n",
                  "line 3: pass 'P': unknown render state 'ZEnabel'"},
        BadEffect{"unknown value", "technique T { pass P {\n SrcBlend = SourceAlpha; } }",
                  "line 2: pass 'P': SrcBlend: unknown value 'SourceAlpha' (expected a D3DBLEND name)"},
        BadEffect{"fraction for an integer state", "technique T { pass P { AlphaRef = 0.5; } }",
                  "line 1: pass 'P': AlphaRef needs an integer, found '0.5'"},
        BadEffect{"integer past 32 bits", "technique T { pass P { AlphaRef = 11111111111; } }",
                  "line 1: pass 'P': AlphaRef needs an integer, found '11111111111'"},
        BadEffect{"missing semicolon", "technique T { pass P { CullMode = None } }",
                  "line 1: pass 'P': CullMode: expected ';' after the value, found '}'"},
        BadEffect{"unknown sampler state", "texture A;\ntechnique T { pass P { sampler A { AdressU = Wrap; } } }",
                  "line 2: pass 'P', sampler 'A': unknown sampler state 'AdressU'"},
        BadEffect{"sampler of a non-texture", "float A;\ntechnique T { pass P { sampler A { } } }",
                  "line 2: pass 'P': sampler of 'A', which is a float, not a texture"},
        BadEffect{"sampler of nothing", "technique T { pass P { sampler B { } } }",
                  "line 1: pass 'P': sampler of 'B', which is not a declared parameter"},
        BadEffect{"state set twice", "technique T { pass P {\n ZEnable = true;\n ZEnable = false; } }",
                  "line 3: pass 'P': render state 'ZEnable' is set twice (first on line 2)"},
        BadEffect{"parameter twice", "float a;\nfloat2 a;\n" + kOkPass,
                  "line 2: parameter 'a' is declared twice (first on line 1)"},
        BadEffect{"wrong value count", "float3 ColorK1 = {1, 0};\n" + kOkPass, "line 1: float3 'ColorK1' needs 3 values, found 2"},
        BadEffect{"GLSL keyword", "float input;\n" + kOkPass,
                  "line 1: parameter 'input' has the name of a GLSL keyword or reserved word"},
        BadEffect{"reserved prefix", "matrix d3d_World;\n" + kOkPass,
                  "line 1: parameter 'd3d_World': names starting with gl_ or d3d_, or holding __, are reserved"},
        BadEffect{"texture default", "texture T = 1;\n" + kOkPass, "line 1: texture 'T': a texture has no default value"},
        BadEffect{"unknown type", "half x;\n" + kOkPass,
                  "line 1: expected a parameter declaration (float, float2, float3, float4, matrix, texture) or a "
                  "technique, found 'half'"},
        BadEffect{"no technique", "float x;\n", "line 2: the effect has no technique"},
        BadEffect{"technique twice", kOkPass + kOkPass, "line 2: technique 'T' is defined twice (first on line 1)"},
        BadEffect{"copy of an unknown technique", "technique MainFX = Main;\n" + kOkPass,
                  "line 1: technique 'MainFX' copies 'Main', which is not defined above it"},
        BadEffect{"empty technique", "technique T {\n}\n", "line 1: technique 'T' has no pass"},
        BadEffect{"unclosed code", "technique T { pass P {\n fragment \"\"\"\nvoid main() {}\n } }",
                  "line 2: code block without its closing \"\"\""},
        BadEffect{"unclosed pass", "technique T { pass P { ZEnable = true;", "line 1: pass 'P' is not closed"},
        BadEffect{"unclosed comment", "/* never\nclosed", "line 1: comment without its closing */"},
        BadEffect{"HLSL shader state",
                  "technique T { pass P {\n VertexShader = compile vs_2_0 VS(); } }",
                  "line 2: pass 'P': 'VertexShader' is HLSL; write the shader as a vertex or fragment \"\"\" code block"},
        BadEffect{"HLSL sampler", "sampler S = sampler_state { Texture = <T>; };\n",
                  "line 1: 'sampler' at the top level is HLSL; samplers are declared inside a pass"},
        BadEffect{"two fragment blocks",
                  "technique T { pass P { fragment \"\"\"a\"\"\" fragment \"\"\"b\"\"\" } }",
                  "line 1: pass 'P' has two fragment code blocks"},
        BadEffect{"stray character", "float x = 1;\n@\n", "line 2: unexpected character '@'"},
        BadEffect{"bad number", "float x = 1.5q;\n", "line 1: bad number '1.5q'"},
        BadEffect{"huge number", "float x = 1e60;\n", "line 1: bad number '1e60'"},
        BadEffect{"binary bytes", std::string("float x;\n\x02\x00zz", 13),
                  "line 2: binary data (byte 0x02 at offset 9), not effect text"},
        BadEffect{"compiled effect", std::string("\x01\x09\xFF\xFE\x10\x00\x00\x00", 8),
                  "this is a compiled Direct3D effect (fx_2_0 binary); effects here are text with GLSL code (see "
                  "docs/effects.md)"},
        BadEffect{"empty", "", "no data"}),
    [](const testing::TestParamInfo<BadEffect>& info) {
        std::string n = info.param.what;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(EffectParser, LongNamesAndDeepValuesAreRefused) {
    fx::EffectDesc e;
    fx::Result r = ParseText("float " + std::string(200, 'x') + ";\n" + kOkPass, e);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("name longer than 128"), std::string::npos) << r.error;
    std::string many = "float4 v = {1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17};\n" + kOkPass;
    r = ParseText(many, e);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("more than 16 values"), std::string::npos) << r.error;
}

TEST(EffectParser, ATechniqueCanCopyAnEarlierOne) {
    fx::EffectDesc e;
    fx::Result r = ParseText("technique Main { pass A { ZEnable = false; } pass B { Lighting = true; } }\n"
                             "technique MainFX = Main;\n", e);
    ASSERT_TRUE(r.ok) << r.error;
    const fx::Technique* copy = e.FindTechnique("MainFX");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->line, 2);
    ASSERT_EQ(copy->passes.size(), 2u);
    EXPECT_EQ(copy->passes[1].name, "B");
    EXPECT_EQ(copy->passes[1].renderStates[0].state, 137u);
}

TEST(EffectParser, CountsAreCapped) {
    fx::EffectDesc e;
    std::string many;
    for (int i = 0; i < 1100; ++i) many += "float p" + std::to_string(i) + ";\n";
    fx::Result r = ParseText(many + kOkPass, e);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("line 1025: more than 1024 parameters"), std::string::npos) << r.error;
    std::string passes = "technique T {";
    for (int i = 0; i < 70; ++i) passes += " pass { }";
    r = ParseText(passes + " }", e);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("has more than 64 passes"), std::string::npos) << r.error;
}

TEST(EffectParser, ByteOrderMarkIsSkipped) {
    fx::EffectDesc e;
    fx::Result r = ParseText("\xEF\xBB\xBF" + kOkPass, e);
    EXPECT_TRUE(r.ok) << r.error;
}

TEST(EffectParser, PreludeDeclaresParametersTransformsAndStageNames) {
    fx::EffectDesc e;
    ASSERT_TRUE(ParseText(kEffect, e).ok);
    const fx::Pass& withVertex = e.FindTechnique("Main")->passes[0];
    const fx::Pass& withoutVertex = e.FindTechnique("MainFX")->passes[0];

    int lines = 0;
    std::string vs = fx::BuildGlsl(e, withVertex, fx::Stage::Vertex, &lines);
    EXPECT_EQ(vs.rfind("#version 330 core\n", 0), 0u);
    for (const char* decl : {"uniform mat4 d3d_WorldViewProjection;", "uniform mat4 d3d_World;", "uniform float Brightness;",
                             "uniform vec2 Scale;", "uniform vec4 coord_transf;", "uniform mat4 WorldViewProj;",
                             "uniform sampler2D Background;", "in vec4 d3d_Position;", "in vec3 d3d_Normal;",
                             "in vec4 d3d_TexCoord7;"})
        EXPECT_NE(vs.find(decl), std::string::npos) << decl;
    EXPECT_EQ(vs.find("d3d_FragColor"), std::string::npos);
    // The code follows the prelude's lines unchanged.
    size_t newlines = 0, at = 0;
    while (newlines < static_cast<size_t>(lines)) at = vs.find('\n', at) + 1, ++newlines;
    EXPECT_EQ(vs.substr(at), withVertex.vertex.code);

    std::string fsWith = fx::BuildGlsl(e, withVertex, fx::Stage::Fragment, nullptr);
    EXPECT_NE(fsWith.find("out vec4 d3d_FragColor;"), std::string::npos);
    EXPECT_EQ(fsWith.find("d3d_ffTexCoord0"), std::string::npos);
    std::string fsWithout = fx::BuildGlsl(e, withoutVertex, fx::Stage::Fragment, nullptr);
    EXPECT_NE(fsWithout.find("in vec4 d3d_ffTexCoord0;"), std::string::npos);
    EXPECT_NE(fsWithout.find("in vec4 d3d_ffDiffuse;"), std::string::npos);
}

TEST(EffectParser, CompilerLogNamesTheEffectFileLine) {
    fx::EffectDesc e;
    ASSERT_TRUE(ParseText(kEffect, e).ok);
    const fx::Technique& t = *e.FindTechnique("Main");
    const fx::Pass& p = t.passes[0];
    int lines = 0;
    fx::BuildGlsl(e, p, fx::Stage::Vertex, &lines);
    // GLSL line lines+1 is the code's first line, which is file line 25.
    std::string log = "0:" + std::to_string(lines + 1) + "(12): error: `foo' undeclared\n" +
                      "ERROR: 0:" + std::to_string(lines + 1) + ": syntax error\r\n" + "error: linking failed\n";
    std::string mapped = fx::MapCompilerLog(e, t, p, fx::Stage::Vertex, log, lines);
    EXPECT_EQ(mapped,
              "effect 'test.fx', technique 'Main', pass 'P0', vertex code, line 25: error: `foo' undeclared\n"
              "effect 'test.fx', technique 'Main', pass 'P0', vertex code, line 25: syntax error\n"
              "effect 'test.fx', technique 'Main', pass 'P0', vertex code: error: linking failed\n");
    const fx::Pass& unnamed = t.passes[1];
    std::string m2 = fx::MapCompilerLog(e, t, unnamed, fx::Stage::Fragment, "0:3(1): error: x\n", lines);
    EXPECT_EQ(m2, "effect 'test.fx', technique 'Main', pass at line 29, fragment code: error: x\n");
}

// Every technique and parameter name the callers use, with the type they
// set, must be in our demo effects exactly as spelled.
struct Expected {
    const char* name;
    fx::ParamType type;
};

void ExpectNames(const char* file, std::vector<const char*> techniques, std::vector<Expected> parameters) {
    fx::EffectDesc e;
    std::string text = ReadDemo(file);
    ASSERT_FALSE(text.empty()) << file;
    fx::Result r = fx::Parse(text.data(), text.size(), file, e);
    ASSERT_TRUE(r.ok) << r.error;
    for (const char* t : techniques) EXPECT_NE(e.FindTechnique(t), nullptr) << file << ": technique " << t;
    for (const Expected& p : parameters) {
        const fx::Parameter* found = e.FindParameter(p.name);
        ASSERT_NE(found, nullptr) << file << ": parameter " << p.name;
        EXPECT_EQ(found->type, p.type) << file << ": parameter " << p.name;
    }
}

TEST(EffectParser, DemoEffectsCarryTheCallersNames) {
    using T = fx::ParamType;
    ExpectNames("heat_distortion.fx", {"BumpmapDistortLow2"},
                {{"SceneTex", T::Texture}, {"Bumpmap", T::Texture}, {"stenght", T::Float}, {"Offset", T::Float2},
                 {"bump_scale", T::Float2}});
    ExpectNames("fire.fx", {"Main", "AsEffect"},
                {{"WorldViewProj", T::Matrix}, {"ViewProj", T::Matrix}, {"Noise", T::Texture}, {"Pattern", T::Texture},
                 {"Mask", T::Texture}, {"Background", T::Texture}, {"c11", T::Float2}, {"c12", T::Float2},
                 {"c13", T::Float2}, {"bg_scale_factor", T::Float2}, {"ColorK1", T::Float3}, {"ColorK2", T::Float3},
                 {"Brightness", T::Float}, {"Density", T::Float}});
    std::vector<Expected> common = {{"Scale", T::Float2}, {"Mask", T::Texture}, {"Background", T::Texture}};
    auto with = [&](std::vector<Expected> own) {
        own.insert(own.end(), common.begin(), common.end());
        return own;
    };
    ExpectNames("pattern_brush.fx", {"Main", "MainFX"},
                with({{"Pattern", T::Texture}, {"scale", T::Float2}, {"offset", T::Float2}, {"coord_transf", T::Float4}}));
    ExpectNames("background_copy.fx", {"Main", "MainFX"}, with({{"offset", T::Float2}}));
    ExpectNames("waves.fx", {"Main", "MainFX"},
                with({{"direction", T::Float2}, {"direction_n", T::Float2}, {"frequency", T::Float},
                      {"amplitude", T::Float}, {"time", T::Float}}));
    ExpectNames("light.fx", {"Main", "MainFX"}, with({{"multiplier", T::Float}}));
    ExpectNames("underwater.fx", {"Main", "MainFX"},
                with({{"frequency", T::Float2}, {"amplitude", T::Float}, {"time", T::Float}}));
    ExpectNames("water.fx", {"Main", "MainFX"},
                with({{"BumpMap", T::Texture}, {"BampTrans", T::Float4}, {"P1", T::Float3}, {"P2", T::Float3},
                      {"Vhalf", T::Float3}, {"Color", T::Float3}, {"Direction1", T::Float2}, {"Direction2", T::Float2},
                      {"Time", T::Float}, {"Shadows", T::Float}}));
    ExpectNames("move.fx", {"Main", "MainFX"}, with({{"Direction", T::Float2}}));

    fx::EffectDesc heat;
    std::string text = ReadDemo("heat_distortion.fx");
    ASSERT_TRUE(fx::Parse(text.data(), text.size(), "heat_distortion.fx", heat).ok);
    // The flame layer draws this pass without a vertex shader.
    EXPECT_FALSE(heat.FindTechnique("BumpmapDistortLow2")->passes[0].vertex.present);
}

}  // namespace

namespace {

TEST(EffectParser, TheDocumentedExampleIsTheDemoEffect) {
    // docs/effects.md shows heat_distortion.fx in full; keep them the same.
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/docs/effects.md", std::ios::binary);
    std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = doc.find("```\n");
    ASSERT_NE(start, std::string::npos);
    start += 4;
    size_t end = doc.find("\n```\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(doc.substr(start, end - start + 1), ReadDemo("heat_distortion.fx"));
}

}  // namespace
