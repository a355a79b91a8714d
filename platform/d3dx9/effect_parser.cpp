// Effect files: lexer, parser and the GLSL preludes (the state names are in
// effect_states.h).
#include "platform/d3dx9/effect_parser.h"

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/effect_states.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fx {
namespace {

// Larger files are not effect text anyone wrote by hand.
constexpr size_t kMaxEffectSize = size_t(4) << 20;
constexpr size_t kMaxIdentifier = 128;
constexpr size_t kMaxParameters = 1024;
constexpr size_t kMaxTechniques = 256;
constexpr size_t kMaxPasses = 64;  // per technique

// ---------------------------------------------------------------------------
// Lexer

enum class Tok { End, Ident, Number, Punct, Code };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, punctuation character, number as written, or code
    bool integer = false;
    double value = 0;
    int line = 0;
    int codeLine = 0;  // first line of code
};

struct ParseError {
    int line;
    std::string message;
};

class Lexer {
public:
    Lexer(std::string_view text) : s_(text) {}

    Token Next() {
        SkipSpace();
        Token t;
        t.line = line_;
        if (pos_ >= s_.size()) return t;
        char c = s_[pos_];
        if (c == '"' && s_.substr(pos_, 3) == "\"\"\"") return ReadCode(t);
        if (IsIdentStart(c)) {
            size_t start = pos_;
            while (pos_ < s_.size() && IsIdentChar(s_[pos_])) ++pos_;
            if (pos_ - start > kMaxIdentifier)
                throw ParseError{t.line, "name longer than " + std::to_string(kMaxIdentifier) + " characters"};
            t.kind = Tok::Ident;
            t.text = std::string(s_.substr(start, pos_ - start));
            return t;
        }
        if (IsDigit(c) || (c == '.' && pos_ + 1 < s_.size() && IsDigit(s_[pos_ + 1]))) return ReadNumber(t);
        if (std::strchr("{}()=;,|-<>[]", c) != nullptr) {
            ++pos_;
            t.kind = Tok::Punct;
            t.text = std::string(1, c);
            return t;
        }
        throw ParseError{t.line, "unexpected character " + Printable(c)};
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

    void SkipSpace() {
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
                int startLine = line_;
                pos_ += 2;
                for (;;) {
                    if (pos_ + 1 >= s_.size()) throw ParseError{startLine, "comment without its closing */"};
                    if (s_[pos_] == '*' && s_[pos_ + 1] == '/') {
                        pos_ += 2;
                        break;
                    }
                    if (s_[pos_] == '\n') ++line_;
                    ++pos_;
                }
            } else {
                break;
            }
        }
    }

    Token ReadCode(Token& t) {
        pos_ += 3;
        // Code that starts on the line after the opening quotes starts there.
        size_t p = pos_;
        while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t' || s_[p] == '\r')) ++p;
        if (p < s_.size() && s_[p] == '\n') {
            pos_ = p + 1;
            ++line_;
        }
        t.codeLine = line_;
        size_t end = s_.find("\"\"\"", pos_);
        if (end == std::string_view::npos) throw ParseError{t.line, "code block without its closing \"\"\""};
        t.kind = Tok::Code;
        t.text = std::string(s_.substr(pos_, end - pos_));
        for (char c : t.text)
            if (c == '\n') ++line_;
        pos_ = end + 3;
        return t;
    }

    Token ReadNumber(Token& t) {
        size_t start = pos_;
        if (s_[pos_] == '0' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == 'x' || s_[pos_ + 1] == 'X')) {
            pos_ += 2;
            size_t digits = pos_;
            while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            uint64_t v = 0;
            auto [end, ec] = std::from_chars(s_.data() + digits, s_.data() + pos_, v, 16);
            if (ec != std::errc() || end != s_.data() + pos_ || v > 0xFFFFFFFFu)
                throw ParseError{t.line, "bad number '" + std::string(s_.substr(start, pos_ - start)) + "'"};
            t.kind = Tok::Number;
            t.integer = true;
            t.value = static_cast<double>(v);
            t.text = std::string(s_.substr(start, pos_ - start));
            return t;
        }
        bool integer = true;
        while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            integer = false;
            ++pos_;
            while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            integer = false;
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
        }
        size_t numberEnd = pos_;
        if (pos_ < s_.size() && (s_[pos_] == 'f' || s_[pos_] == 'F')) {  // 0.5f, as in HLSL
            integer = false;
            ++pos_;
        }
        double v = 0;
        auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + numberEnd, v);
        bool trailing = pos_ < s_.size() && IsIdentChar(s_[pos_]);  // "1.5q"
        if (ec != std::errc() || end != s_.data() + numberEnd || !std::isfinite(v) ||
            std::fabs(v) > double(std::numeric_limits<float>::max()) || trailing)
            throw ParseError{t.line, "bad number '" + std::string(s_.substr(start, pos_ - start + (trailing ? 1 : 0))) + "'"};
        t.kind = Tok::Number;
        t.integer = integer;
        t.value = v;
        t.text = std::string(s_.substr(start, pos_ - start));
        return t;
    }

    static std::string Printable(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127) return std::string("'") + c + "'";
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%02X", u);
        return buf;
    }

    std::string_view s_;
    size_t pos_ = 0;
    int line_ = 1;
};

// ---------------------------------------------------------------------------
// Parser

bool ParamTypeFromName(const std::string& n, ParamType& type) {
    static const struct {
        const char* name;
        ParamType type;
    } kTypes[] = {{"float", ParamType::Float},   {"float1", ParamType::Float},  {"float2", ParamType::Float2},
                  {"float3", ParamType::Float3}, {"float4", ParamType::Float4}, {"matrix", ParamType::Matrix},
                  {"float4x4", ParamType::Matrix}, {"texture", ParamType::Texture}};
    for (const auto& t : kTypes)
        if (n == t.name) {
            type = t.type;
            return true;
        }
    return false;
}

// GLSL 3.30 keywords and reserved words: a parameter cannot be a uniform of
// that name.
bool IsGlslWord(const std::string& n) {
    static const char* const kWords[] = {
        "attribute", "const", "uniform", "varying", "layout", "centroid", "flat", "smooth", "noperspective",
        "break", "continue", "do", "for", "while", "switch", "case", "default", "if", "else", "in", "out", "inout",
        "float", "int", "void", "bool", "true", "false", "invariant", "discard", "return", "mat2", "mat3", "mat4",
        "mat2x2", "mat2x3", "mat2x4", "mat3x2", "mat3x3", "mat3x4", "mat4x2", "mat4x3", "mat4x4", "vec2", "vec3",
        "vec4", "ivec2", "ivec3", "ivec4", "bvec2", "bvec3", "bvec4", "uint", "uvec2", "uvec3", "uvec4", "lowp",
        "mediump", "highp", "precision", "sampler1D", "sampler2D", "sampler3D", "samplerCube", "sampler1DShadow",
        "sampler2DShadow", "samplerCubeShadow", "sampler1DArray", "sampler2DArray", "sampler1DArrayShadow",
        "sampler2DArrayShadow", "isampler1D", "isampler2D", "isampler3D", "isamplerCube", "isampler1DArray",
        "isampler2DArray", "usampler1D", "usampler2D", "usampler3D", "usamplerCube", "usampler1DArray",
        "usampler2DArray", "sampler2DRect", "sampler2DRectShadow", "isampler2DRect", "usampler2DRect",
        "samplerBuffer", "isamplerBuffer", "usamplerBuffer", "sampler2DMS", "isampler2DMS", "usampler2DMS",
        "sampler2DMSArray", "isampler2DMSArray", "usampler2DMSArray", "struct",
        // reserved
        "common", "partition", "active", "asm", "class", "union", "enum", "typedef", "template", "this", "packed",
        "goto", "inline", "noinline", "volatile", "public", "static", "extern", "external", "interface", "long",
        "short", "double", "half", "fixed", "unsigned", "superp", "input", "output", "hvec2", "hvec3", "hvec4",
        "dvec2", "dvec3", "dvec4", "fvec2", "fvec3", "fvec4", "sampler3DRect", "filter", "sizeof", "cast",
        "namespace", "using", "row_major", "main",
    };
    for (const char* w : kWords)
        if (n == w) return true;
    return false;
}

class Parser {
public:
    Parser(std::string_view text, EffectDesc& out) : lex_(text), out_(out) {}

    void ParseFile() {
        for (;;) {
            const Token& t = Peek();
            if (t.kind == Tok::End) break;
            if (t.kind == Tok::Ident && t.text == "technique") {
                ParseTechnique();
                continue;
            }
            ParamType type;
            if (t.kind == Tok::Ident && ParamTypeFromName(t.text, type)) {
                ParseParameter(type);
                continue;
            }
            if (t.kind == Tok::Ident && (t.text == "sampler" || t.text == "sampler2D" || t.text == "struct"))
                Fail(t.line, "'" + t.text + "' at the top level is HLSL; samplers are declared inside a pass");
            Fail(t.line, "expected a parameter declaration (float, float2, float3, float4, matrix, texture) or a "
                         "technique, found " + Describe(t));
        }
        if (out_.techniques.empty()) Fail(lex_line_, "the effect has no technique");
    }

    [[noreturn]] static void Fail(int line, const std::string& message) { throw ParseError{line, message}; }

private:
    const Token& Peek() {
        if (!hasLook_) {
            look_ = lex_.Next();
            hasLook_ = true;
            lex_line_ = look_.line;
        }
        return look_;
    }
    Token Take() {
        Peek();
        hasLook_ = false;
        return std::move(look_);
    }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Tok::End: return "the end of the file";
            case Tok::Code: return "a code block";
            default: return "'" + t.text + "'";
        }
    }
    bool IsPunct(const Token& t, char c) const { return t.kind == Tok::Punct && t.text.size() == 1 && t.text[0] == c; }
    Token ExpectPunct(char c, const char* where) {
        Token t = Take();
        if (!IsPunct(t, c)) Fail(t.line, std::string("expected '") + c + "' " + where + ", found " + Describe(t));
        return t;
    }
    Token ExpectIdent(const char* what) {
        Token t = Take();
        if (t.kind != Tok::Ident) Fail(t.line, std::string("expected ") + what + ", found " + Describe(t));
        return t;
    }

    // number, or '-' number
    float ReadFloat(const std::string& what) {
        Token t = Take();
        bool negative = false;
        if (IsPunct(t, '-')) {
            negative = true;
            t = Take();
        }
        if (t.kind != Tok::Number) Fail(t.line, what + ": expected a number, found " + Describe(t));
        float v = static_cast<float>(t.value);
        return negative ? -v : v;
    }

    void ParseParameter(ParamType type) {
        Take();  // the type
        Token name = ExpectIdent("a parameter name");
        for (const auto& p : out_.parameters)
            if (p.name == name.text)
                Fail(name.line, "parameter '" + name.text + "' is declared twice (first on line " + std::to_string(p.line) + ")");
        if (out_.parameters.size() >= kMaxParameters)
            Fail(name.line, "more than " + std::to_string(kMaxParameters) + " parameters");
        if (IsGlslWord(name.text))
            Fail(name.line, "parameter '" + name.text + "' has the name of a GLSL keyword or reserved word");
        if (name.text.rfind("gl_", 0) == 0 || name.text.rfind("d3d_", 0) == 0 || name.text.find("__") != std::string::npos)
            Fail(name.line, "parameter '" + name.text + "': names starting with gl_ or d3d_, or holding __, are reserved");
        Parameter p;
        p.name = name.text;
        p.type = type;
        p.line = name.line;
        uint32_t n = ComponentCount(type);
        std::string what = std::string(TypeName(type)) + " '" + name.text + "'";
        if (IsPunct(Peek(), '=')) {
            Token eq = Take();
            if (type == ParamType::Texture) Fail(eq.line, what + ": a texture has no default value");
            if (type == ParamType::Float && !IsPunct(Peek(), '{')) {
                p.value[0] = ReadFloat(what);
            } else {
                ExpectPunct('{', ("opening the values of " + what).c_str());
                uint32_t count = 0;
                for (;;) {
                    float v = ReadFloat(what);
                    if (count < 16) p.value[count] = v;
                    ++count;
                    Token sep = Take();
                    if (IsPunct(sep, '}')) break;
                    if (!IsPunct(sep, ',')) Fail(sep.line, what + ": expected ',' or '}', found " + Describe(sep));
                    if (count >= 16) Fail(sep.line, what + ": more than 16 values");
                }
                if (count != n)
                    Fail(eq.line, what + " needs " + std::to_string(n) + " value" + (n == 1 ? "" : "s") + ", found " +
                                      std::to_string(count));
            }
        }
        ExpectPunct(';', ("after the declaration of " + what).c_str());
        out_.parameters.push_back(p);
    }

    void ParseTechnique() {
        Take();  // technique
        Token name = ExpectIdent("a technique name");
        if (out_.techniques.size() >= kMaxTechniques)
            Fail(name.line, "more than " + std::to_string(kMaxTechniques) + " techniques");
        if (const Technique* t = out_.FindTechnique(name.text))
            Fail(name.line, "technique '" + name.text + "' is defined twice (first on line " + std::to_string(t->line) + ")");
        Technique tech;
        tech.name = name.text;
        tech.line = name.line;
        // "technique MainFX = Main;" gives a second name the same passes.
        if (IsPunct(Peek(), '=')) {
            Take();
            Token source = ExpectIdent("the name of an earlier technique");
            const Technique* from = out_.FindTechnique(source.text);
            if (!from) Fail(source.line, "technique '" + tech.name + "' copies '" + source.text + "', which is not defined above it");
            tech.passes = from->passes;
            ExpectPunct(';', ("after technique '" + tech.name + " = " + source.text + "'").c_str());
            out_.techniques.push_back(std::move(tech));
            return;
        }
        ExpectPunct('{', ("after technique '" + name.text + "'").c_str());
        for (;;) {
            const Token& t = Peek();
            if (IsPunct(t, '}')) {
                Take();
                break;
            }
            if (t.kind == Tok::Ident && t.text == "pass") {
                if (tech.passes.size() >= kMaxPasses)
                    Fail(t.line, "technique '" + tech.name + "' has more than " + std::to_string(kMaxPasses) + " passes");
                tech.passes.push_back(ParsePass());
                continue;
            }
            Fail(t.line, "technique '" + tech.name + "': expected a pass or '}', found " + Describe(t));
        }
        if (tech.passes.empty()) Fail(tech.line, "technique '" + tech.name + "' has no pass");
        out_.techniques.push_back(std::move(tech));
    }

    Pass ParsePass() {
        Token kw = Take();  // pass
        Pass pass;
        pass.line = kw.line;
        if (Peek().kind == Tok::Ident) pass.name = Take().text;
        std::string label = pass.name.empty() ? "pass" : "pass '" + pass.name + "'";
        ExpectPunct('{', ("opening " + label).c_str());
        for (;;) {
            Token t = Take();
            if (IsPunct(t, '}')) break;
            if (t.kind == Tok::End) Fail(t.line, label + " is not closed");
            if (t.kind != Tok::Ident) Fail(t.line, label + ": expected a state, sampler or code block, found " + Describe(t));
            if ((t.text == "vertex" || t.text == "fragment") && Peek().kind == Tok::Code) {
                Token code = Take();
                ShaderCode& sc = t.text == "vertex" ? pass.vertex : pass.fragment;
                if (sc.present) Fail(t.line, label + " has two " + t.text + " code blocks");
                sc.present = true;
                sc.code = std::move(code.text);
                sc.firstLine = code.codeLine;
                if (IsPunct(Peek(), ';')) Take();
                continue;
            }
            if (t.text == "sampler" && Peek().kind == Tok::Ident) {
                ParseSampler(pass, label);
                continue;
            }
            if (SameName(t.text, "VertexShader") || SameName(t.text, "PixelShader"))
                Fail(t.line, label + ": '" + t.text + "' is HLSL; write the shader as a vertex or fragment \"\"\" code block");
            const StateInfo* info = FindState(kRenderStates, t.text);
            if (!info) Fail(t.line, label + ": unknown render state '" + t.text + "'");
            for (const auto& s : pass.renderStates)
                if (s.state == info->number)
                    Fail(t.line, label + ": render state '" + info->name + "' is set twice (first on line " +
                                     std::to_string(s.line) + ")");
            pass.renderStates.push_back(ParseAssignment(t, *info, label));
        }
        return pass;
    }

    void ParseSampler(Pass& pass, const std::string& label) {
        Token name = Take();
        const Parameter* p = out_.FindParameter(name.text);
        if (!p) Fail(name.line, label + ": sampler of '" + name.text + "', which is not a declared parameter");
        if (p->type != ParamType::Texture)
            Fail(name.line, label + ": sampler of '" + name.text + "', which is a " + TypeName(p->type) + ", not a texture");
        for (const auto& s : pass.samplers)
            if (s.texture == name.text) Fail(name.line, label + ": texture '" + name.text + "' is sampled twice");
        SamplerBinding b;
        b.texture = name.text;
        b.stage = static_cast<DWORD>(pass.samplers.size());
        b.line = name.line;
        if (b.stage >= 8) Fail(name.line, label + ": more than 8 samplers");
        std::string where = label + ", sampler '" + name.text + "'";
        ExpectPunct('{', ("opening " + where).c_str());
        for (;;) {
            Token t = Take();
            if (IsPunct(t, '}')) break;
            if (t.kind != Tok::Ident) Fail(t.line, where + ": expected a sampler state or '}', found " + Describe(t));
            const StateInfo* info = FindState(kSamplerStates, t.text);
            if (!info) Fail(t.line, where + ": unknown sampler state '" + t.text + "'");
            for (const auto& s : b.states)
                if (s.state == info->number)
                    Fail(t.line, where + ": sampler state '" + info->name + "' is set twice");
            b.states.push_back(ParseAssignment(t, *info, where));
        }
        pass.samplers.push_back(std::move(b));
    }

    // `= value ;` after the state name; values of mask states may be joined by '|'.
    StateAssignment ParseAssignment(const Token& nameTok, const StateInfo& info, const std::string& where) {
        StateAssignment a;
        a.name = nameTok.text;
        a.state = info.number;
        a.line = nameTok.line;
        ExpectPunct('=', ("after '" + nameTok.text + "'").c_str());
        const ValueTable& table = TableOf(info.kind);
        std::string what = where + ": " + info.name;
        DWORD value = 0;
        for (;;) {
            value |= ParseValue(info, table, what);
            if (info.kind == Kind::ColorMask && IsPunct(Peek(), '|')) {
                Take();
                continue;
            }
            break;
        }
        a.value = value;
        Token end = Take();
        if (!IsPunct(end, ';')) Fail(end.line, what + ": expected ';' after the value, found " + Describe(end));
        return a;
    }

    DWORD ParseValue(const StateInfo& info, const ValueTable& table, const std::string& what) {
        Token t = Take();
        if (info.kind == Kind::Float) {
            bool negative = false;
            if (IsPunct(t, '-')) {
                negative = true;
                t = Take();
            }
            if (t.kind != Tok::Number) Fail(t.line, what + " needs " + table.description + ", found " + Describe(t));
            float f = static_cast<float>(negative ? -t.value : t.value);
            DWORD bits;
            std::memcpy(&bits, &f, 4);
            return bits;
        }
        if (t.kind == Tok::Number) {
            if (!t.integer || t.value > 0xFFFFFFFFu)
                Fail(t.line, what + " needs " + table.description + ", found '" + t.text + "'");
            return static_cast<DWORD>(t.value);
        }
        if (t.kind == Tok::Ident) {
            for (const auto& n : table.names)
                if (SameName(n.name, t.text)) return n.value;
            // TRUE/FALSE also for the integer-valued flag states.
            if (info.kind == Kind::Dword && (SameName(t.text, "true") || SameName(t.text, "false")))
                return SameName(t.text, "true") ? 1 : 0;
            Fail(t.line, what + ": unknown value '" + t.text + "' (expected " + table.description + ")");
        }
        Fail(t.line, what + " needs " + table.description + ", found " + Describe(t));
    }

    Lexer lex_;
    EffectDesc& out_;
    Token look_;
    bool hasLook_ = false;
    int lex_line_ = 1;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

uint32_t ComponentCount(ParamType type) {
    switch (type) {
        case ParamType::Float: return 1;
        case ParamType::Float2: return 2;
        case ParamType::Float3: return 3;
        case ParamType::Float4: return 4;
        case ParamType::Matrix: return 16;
        case ParamType::Texture: return 0;
    }
    return 0;
}

const char* TypeName(ParamType type) {
    switch (type) {
        case ParamType::Float: return "float";
        case ParamType::Float2: return "float2";
        case ParamType::Float3: return "float3";
        case ParamType::Float4: return "float4";
        case ParamType::Matrix: return "matrix";
        case ParamType::Texture: return "texture";
    }
    return "?";
}

const char* GlslTypeName(ParamType type) {
    switch (type) {
        case ParamType::Float: return "float";
        case ParamType::Float2: return "vec2";
        case ParamType::Float3: return "vec3";
        case ParamType::Float4: return "vec4";
        case ParamType::Matrix: return "mat4";
        case ParamType::Texture: return "sampler2D";
    }
    return "?";
}

const Parameter* EffectDesc::FindParameter(std::string_view n) const {
    for (const auto& p : parameters)
        if (p.name == n) return &p;
    return nullptr;
}

const Technique* EffectDesc::FindTechnique(std::string_view n) const {
    for (const auto& t : techniques)
        if (t.name == n) return &t;
    return nullptr;
}

Result Parse(const void* data, size_t size, const std::string& effectName, EffectDesc& out) {
    out = EffectDesc{};
    out.name = effectName;
    Result result;
    std::string prefix = "effect " + Quote(effectName);
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (data == nullptr || size == 0) {
        result.error = prefix + ": no data";
        return result;
    }
    if (size > kMaxEffectSize) {
        result.error = prefix + ": " + std::to_string(size) + " bytes is too large for effect text";
        return result;
    }
    // A compiled D3D effect starts with its version token 0xFEFF0901 (fx_2_0).
    if (size >= 4 && bytes[0] == 0x01 && bytes[1] == 0x09 && bytes[2] == 0xFF && bytes[3] == 0xFE) {
        result.error = prefix + ": this is a compiled Direct3D effect (fx_2_0 binary); effects here are text "
                                "with GLSL code (see docs/effects.md)";
        return result;
    }
    size_t start = 0;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;  // UTF-8 BOM
    int line = 1;
    for (size_t i = start; i < size; ++i) {
        unsigned char c = bytes[i];
        if (c == '\n') ++line;
        if (c < 32 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v') {
            char buf[96];
            std::snprintf(buf, sizeof buf, ", line %d: binary data (byte 0x%02X at offset %zu), not effect text", line,
                          c, i);
            result.error = prefix + buf;
            return result;
        }
    }
    std::string_view text(reinterpret_cast<const char*>(bytes) + start, size - start);
    try {
        Parser parser(text, out);
        parser.ParseFile();
    } catch (const ParseError& e) {
        result.error = prefix + ", line " + std::to_string(e.line) + ": " + e.message;
        out = EffectDesc{};
        out.name = effectName;
        return result;
    }
    result.ok = true;
    return result;
}

// ---------------------------------------------------------------------------
// GLSL

const std::array<VertexInput, 12> kVertexInputs = {{
    {"d3d_Position", "vec4"},
    {"d3d_Normal", "vec3"},
    {"d3d_Diffuse", "vec4"},
    {"d3d_Specular", "vec4"},
    {"d3d_TexCoord0", "vec4"},
    {"d3d_TexCoord1", "vec4"},
    {"d3d_TexCoord2", "vec4"},
    {"d3d_TexCoord3", "vec4"},
    {"d3d_TexCoord4", "vec4"},
    {"d3d_TexCoord5", "vec4"},
    {"d3d_TexCoord6", "vec4"},
    {"d3d_TexCoord7", "vec4"},
}};

const std::array<const char*, 10> kFixedFunctionVaryings = {
    "d3d_ffDiffuse",   "d3d_ffSpecular",  "d3d_ffTexCoord0", "d3d_ffTexCoord1", "d3d_ffTexCoord2",
    "d3d_ffTexCoord3", "d3d_ffTexCoord4", "d3d_ffTexCoord5", "d3d_ffTexCoord6", "d3d_ffTexCoord7",
};

std::string BuildGlsl(const EffectDesc& effect, const Pass& pass, Stage stage, int* preludeLines) {
    std::string s = "#version 330 core\n";
    for (const char* m : {kWorldUniform, kViewUniform, kProjectionUniform, kWorldViewProjectionUniform})
        s += std::string("uniform mat4 ") + m + ";\n";
    for (const auto& p : effect.parameters) s += std::string("uniform ") + GlslTypeName(p.type) + " " + p.name + ";\n";
    if (stage == Stage::Vertex) {
        for (const auto& in : kVertexInputs) s += std::string("in ") + in.glslType + " " + in.name + ";\n";
    } else {
        if (!pass.vertex.present)
            for (const char* v : kFixedFunctionVaryings) s += std::string("in vec4 ") + v + ";\n";
        s += std::string("out vec4 ") + kFragmentOutput + ";\n";
    }
    int lines = 0;
    for (char c : s)
        if (c == '\n') ++lines;
    if (preludeLines) *preludeLines = lines;
    const ShaderCode& code = stage == Stage::Vertex ? pass.vertex : pass.fragment;
    s += code.code;
    return s;
}

std::string MapCompilerLog(const EffectDesc& effect, const Technique& technique, const Pass& pass, Stage stage,
                           std::string_view log, int preludeLines) {
    const ShaderCode& code = stage == Stage::Vertex ? pass.vertex : pass.fragment;
    std::string prefix = "effect " + Quote(effect.name) + ", technique " + Quote(technique.name) + ", pass " +
                         (pass.name.empty() ? std::string("at line ") + std::to_string(pass.line) : Quote(pass.name)) +
                         ", " + (stage == Stage::Vertex ? "vertex" : "fragment") + " code";
    std::string out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t nl = log.find('\n', pos);
        std::string_view line = log.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? log.size() : nl + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.empty()) continue;
        // Locations: "0:12(5): ..." (Mesa) or "ERROR: 0:12: ..." (others).
        std::string_view rest = line;
        if (rest.substr(0, 7) == "ERROR: ") rest.remove_prefix(7);
        long glslLine = -1;
        size_t colon = rest.find(':');
        if (colon != std::string_view::npos && colon > 0) {
            bool digits = true;
            for (size_t i = 0; i < colon; ++i) digits &= rest[i] >= '0' && rest[i] <= '9';
            size_t i = colon + 1, j = i;
            while (j < rest.size() && rest[j] >= '0' && rest[j] <= '9') ++j;
            if (digits && j > i) {
                std::from_chars(rest.data() + i, rest.data() + j, glslLine);
                if (j < rest.size() && rest[j] == '(') {
                    size_t close = rest.find(')', j);
                    if (close != std::string_view::npos) j = close + 1;
                }
                if (j < rest.size() && rest[j] == ':') ++j;
                while (j < rest.size() && rest[j] == ' ') ++j;
                rest = rest.substr(j);
            } else {
                glslLine = -1;
                rest = line;
            }
        } else {
            rest = line;
        }
        out += prefix;
        if (glslLine > preludeLines && code.present)
            out += ", line " + std::to_string(glslLine - preludeLines - 1 + code.firstLine);
        out += ": ";
        out += rest;
        out += '\n';
    }
    return out;
}

}  // namespace fx
