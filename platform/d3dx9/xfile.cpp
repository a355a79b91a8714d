// .x reader: a lexer per encoding (text, binary) that yields the same tokens,
// and one parser over them that knows the mesh templates and skips the rest.
#include "platform/d3dx9/xfile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace xfile {
namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxFileSize = size_t(256) << 20;

struct ParseError {
    size_t pos;
    std::string message;
};

enum class Tok { End, Name, String, Number, Guid, OBrace, CBrace, Comma, Semicolon, Template, Other };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // name or string contents
    bool integer = false;
    double value = 0;  // numbers (integers are exact in a double)
    size_t pos = 0;    // where the token starts, for messages
};

class Lexer {
public:
    virtual ~Lexer() = default;
    virtual Token Next() = 0;
    // Bytes not yet consumed; every number still to come needs at least one.
    virtual size_t Remaining() const = 0;
    virtual std::string Where(size_t pos) const = 0;
};

// ---------------------------------------------------------------------------
// Text encoding: names, numbers, "strings", <GUIDs>, punctuation, // and # comments.
class TextLexer final : public Lexer {
public:
    TextLexer(const char* data, size_t size, size_t start) : data_(data), size_(size), pos_(start) {}

    Token Next() override {
        SkipSpaceAndComments();
        Token t;
        t.pos = pos_;
        if (pos_ >= size_) return t;
        char c = data_[pos_];
        switch (c) {
            case '{': ++pos_; t.kind = Tok::OBrace; return t;
            case '}': ++pos_; t.kind = Tok::CBrace; return t;
            case ',': ++pos_; t.kind = Tok::Comma; return t;
            case ';': ++pos_; t.kind = Tok::Semicolon; return t;
            case '[': case ']': case '(': case ')': ++pos_; t.kind = Tok::Other; t.text = std::string(1, c); return t;
            default: break;
        }
        if (c == '"') return ReadString(t);
        if (c == '<') return ReadGuid(t);
        if (IsDigit(c) || c == '-' || c == '+' || (c == '.' && pos_ + 1 < size_ && IsDigit(data_[pos_ + 1])))
            return ReadNumber(t);
        if (IsNameStart(c)) return ReadName(t);
        if (c == '.') {  // "[...]" of an open template declaration
            ++pos_;
            t.kind = Tok::Other;
            return t;
        }
        throw ParseError{pos_, "unexpected character '" + Printable(c) + "'"};
    }

    size_t Remaining() const override { return size_ - pos_; }

    std::string Where(size_t pos) const override {
        size_t line = 1;
        for (size_t i = 0; i < pos && i < size_; ++i)
            if (data_[i] == '\n') ++line;
        return "line " + std::to_string(line);
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.'; }
    static std::string Printable(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127) return std::string(1, c);
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", u);
        return buf;
    }

    void SkipSpaceAndComments() {
        while (pos_ < size_) {
            char c = data_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '#' || (c == '/' && pos_ + 1 < size_ && data_[pos_ + 1] == '/')) {
                while (pos_ < size_ && data_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    Token ReadString(Token& t) {
        size_t start = ++pos_;
        while (pos_ < size_ && data_[pos_] != '"') {
            if (pos_ - start >= kMaxStringLength)
                throw ParseError{t.pos, "string longer than " + std::to_string(kMaxStringLength) + " characters"};
            ++pos_;
        }
        if (pos_ >= size_) throw ParseError{t.pos, "string without its closing quote"};
        t.kind = Tok::String;
        t.text.assign(data_ + start, pos_ - start);
        ++pos_;
        return t;
    }

    Token ReadGuid(Token& t) {
        size_t start = ++pos_;
        while (pos_ < size_ && data_[pos_] != '>') {
            if (pos_ - start > 64) throw ParseError{t.pos, "GUID without its closing '>'"};
            ++pos_;
        }
        if (pos_ >= size_) throw ParseError{t.pos, "GUID without its closing '>'"};
        ++pos_;
        t.kind = Tok::Guid;
        return t;
    }

    Token ReadNumber(Token& t) {
        size_t start = pos_;
        bool integer = true;
        if (data_[pos_] == '-' || data_[pos_] == '+') ++pos_;
        while (pos_ < size_ && IsDigit(data_[pos_])) ++pos_;
        if (pos_ < size_ && data_[pos_] == '.') {
            integer = false;
            ++pos_;
            while (pos_ < size_ && IsDigit(data_[pos_])) ++pos_;
        }
        if (pos_ < size_ && (data_[pos_] == 'e' || data_[pos_] == 'E')) {
            integer = false;
            ++pos_;
            if (pos_ < size_ && (data_[pos_] == '-' || data_[pos_] == '+')) ++pos_;
            while (pos_ < size_ && IsDigit(data_[pos_])) ++pos_;
        }
        const char* first = data_ + start;
        if (*first == '+') ++first;
        const char* last = data_ + pos_;
        double v = 0;
        auto [end, ec] = std::from_chars(first, last, v);
        if (ec != std::errc() || end != last || !std::isfinite(v))
            throw ParseError{t.pos, "bad number '" + std::string(data_ + start, pos_ - start) + "'"};
        t.kind = Tok::Number;
        t.integer = integer;
        t.value = v;
        return t;
    }

    Token ReadName(Token& t) {
        size_t start = pos_;
        while (pos_ < size_ && IsNameChar(data_[pos_])) {
            if (pos_ - start >= kMaxNameLength)
                throw ParseError{t.pos, "name longer than " + std::to_string(kMaxNameLength) + " characters"};
            ++pos_;
        }
        t.text.assign(data_ + start, pos_ - start);
        t.kind = t.text == "template" ? Tok::Template : Tok::Name;
        return t;
    }

    const char* data_;
    size_t size_;
    size_t pos_;
};

// ---------------------------------------------------------------------------
// Binary encoding: little-endian WORD tokens, some followed by a record.
class BinaryLexer final : public Lexer {
public:
    BinaryLexer(const uint8_t* data, size_t size, size_t start, bool doubles)
        : data_(data), size_(size), pos_(start), doubles_(doubles) {}

    enum : uint16_t {
        kName = 1, kString = 2, kInteger = 3, kGuid = 5, kIntegerList = 6, kFloatList = 7,
        kOBrace = 10, kCBrace = 11, kComma = 19, kSemicolon = 20, kTemplate = 31,
    };

    Token Next() override {
        Token t;
        t.pos = pos_;
        if (listLeft_ > 0) {
            --listLeft_;
            t.kind = Tok::Number;
            if (listFloats_) {
                if (doubles_) {
                    double d;
                    std::memcpy(&d, Take(8, "float list"), 8);
                    t.value = d;
                } else {
                    float f;
                    std::memcpy(&f, Take(4, "float list"), 4);
                    t.value = f;
                }
                if (!std::isfinite(t.value)) throw ParseError{t.pos, "number is not finite"};
            } else {
                t.integer = true;
                t.value = TakeDword("integer list");
            }
            return t;
        }
        for (;;) {
            t.pos = pos_;
            if (pos_ >= size_) return t;
            if (size_ - pos_ < 2) throw ParseError{pos_, "truncated token"};
            uint16_t token;
            std::memcpy(&token, data_ + pos_, 2);
            pos_ += 2;
            switch (token) {
                case kName: {
                    uint32_t n = TakeDword("name length");
                    if (n > kMaxNameLength)
                        throw ParseError{t.pos, "name longer than " + std::to_string(kMaxNameLength) + " characters"};
                    t.text.assign(reinterpret_cast<const char*>(Take(n, "name")), n);
                    t.kind = Tok::Name;
                    return t;
                }
                case kString: {
                    uint32_t n = TakeDword("string length");
                    if (n > kMaxStringLength)
                        throw ParseError{t.pos, "string longer than " + std::to_string(kMaxStringLength) + " characters"};
                    t.text.assign(reinterpret_cast<const char*>(Take(n, "string")), n);
                    // The terminator is a separator token; it is documented as a
                    // DWORD, so a zero high word after it is consumed as well.
                    if (size_ - pos_ >= 2) {
                        uint16_t term;
                        std::memcpy(&term, data_ + pos_, 2);
                        if (term == kComma || term == kSemicolon) {
                            pos_ += 2;
                            if (size_ - pos_ >= 2 && data_[pos_] == 0 && data_[pos_ + 1] == 0) pos_ += 2;
                        }
                    }
                    t.kind = Tok::String;
                    return t;
                }
                case kInteger:
                    t.kind = Tok::Number;
                    t.integer = true;
                    t.value = TakeDword("integer");
                    return t;
                case kGuid:
                    Take(16, "GUID");
                    t.kind = Tok::Guid;
                    return t;
                case kIntegerList:
                case kFloatList: {
                    uint32_t n = TakeDword("list length");
                    size_t each = token == kFloatList && doubles_ ? 8 : 4;
                    if (uint64_t(n) * each > size_ - pos_)
                        throw ParseError{t.pos, "list of " + std::to_string(n) + " numbers is longer than the data left"};
                    listLeft_ = n;
                    listFloats_ = token == kFloatList;
                    if (n == 0) continue;
                    return Next();
                }
                case kOBrace: t.kind = Tok::OBrace; return t;
                case kCBrace: t.kind = Tok::CBrace; return t;
                case kComma: t.kind = Tok::Comma; return t;
                case kSemicolon: t.kind = Tok::Semicolon; return t;
                case kTemplate: t.kind = Tok::Template; return t;
                default:
                    // Punctuation and type keywords only appear in template declarations.
                    if ((token >= 12 && token <= 18) || (token >= 40 && token <= 52)) {
                        t.kind = Tok::Other;
                        return t;
                    }
                    throw ParseError{t.pos, "unknown binary token " + std::to_string(token)};
            }
        }
    }

    size_t Remaining() const override { return size_ - pos_; }
    std::string Where(size_t pos) const override { return "offset " + std::to_string(pos); }

private:
    const uint8_t* Take(size_t n, const char* what) {
        if (n > size_ - pos_) throw ParseError{pos_, std::string("truncated ") + what};
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    uint32_t TakeDword(const char* what) {
        uint32_t v;
        std::memcpy(&v, Take(4, what), 4);
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    bool doubles_;
    uint32_t listLeft_ = 0;
    bool listFloats_ = false;
};

// ---------------------------------------------------------------------------
// One Mesh object as stored, in its frame's space, with faces triangulated
// and vertices split by normal.
struct MeshPart {
    Mesh mesh;
};

struct FrameNode {
    D3DMATRIX local{};  // identity set on creation
    std::vector<MeshPart> meshes;
    std::vector<std::unique_ptr<FrameNode>> children;
};

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

bool IsIdentity(const D3DMATRIX& m) {
    D3DMATRIX id = Identity();
    return std::memcmp(&m, &id, sizeof m) == 0;
}

class Parser {
public:
    explicit Parser(Lexer& lex) : lex_(lex) {}

    void ParseFile(FrameNode& root) {
        for (;;) {
            const Token& t = Peek();
            switch (t.kind) {
                case Tok::End: return;
                case Tok::Template: SkipTemplate(); break;
                case Tok::Name: ParseObject(root, 1); break;
                case Tok::OBrace: SkipReference(); break;
                case Tok::Comma: case Tok::Semicolon: Take(); break;
                default: Fail(t.pos, "expected a template or a data object");
            }
        }
    }

    [[noreturn]] void Fail(size_t pos, const std::string& message) { throw ParseError{pos, message}; }

private:
    const Token& Peek() {
        if (!hasLook_) {
            look_ = lex_.Next();
            hasLook_ = true;
        }
        return look_;
    }
    Token Take() {
        Peek();
        hasLook_ = false;
        return std::move(look_);
    }
    Token Expect(Tok kind, const char* what) {
        Token t = Take();
        if (t.kind != kind) {
            if (t.kind == Tok::End) Fail(t.pos, std::string("data ends where ") + what + " was expected");
            Fail(t.pos, std::string("expected ") + what);
        }
        return t;
    }
    void SkipSeparators() {
        while (Peek().kind == Tok::Comma || Peek().kind == Tok::Semicolon) Take();
    }

    uint32_t ReadUInt(const std::string& what) {
        SkipSeparators();
        Token t = Take();
        if (t.kind == Tok::End) Fail(t.pos, "data ends inside " + what);
        if (t.kind != Tok::Number || !t.integer) Fail(t.pos, what + ": expected an integer");
        if (t.value < 0 || t.value > double(std::numeric_limits<uint32_t>::max()))
            Fail(t.pos, what + ": integer out of range");
        return static_cast<uint32_t>(t.value);
    }

    float ReadFloat(const std::string& what) {
        SkipSeparators();
        Token t = Take();
        if (t.kind == Tok::End) Fail(t.pos, "data ends inside " + what);
        if (t.kind != Tok::Number) Fail(t.pos, what + ": expected a number");
        if (std::fabs(t.value) > double(std::numeric_limits<float>::max())) Fail(t.pos, what + ": number out of range");
        return static_cast<float>(t.value);
    }

    std::string ReadString(const std::string& what) {
        SkipSeparators();
        Token t = Take();
        if (t.kind != Tok::String) Fail(t.pos, what + ": expected a string");
        return t.text;
    }

    // A count must be backed by data: each of its elements holds `numbers`
    // values and every value takes at least one byte.
    uint32_t ReadCount(const std::string& what, uint32_t numbers) {
        size_t pos = Peek().pos;
        uint32_t n = ReadUInt(what);
        if (n > kMaxElements) Fail(pos, what + " " + std::to_string(n) + " is above the limit of " + std::to_string(kMaxElements));
        if (uint64_t(n) * numbers > lex_.Remaining())
            Fail(pos, what + " " + std::to_string(n) + " is more than the data left can hold");
        return n;
    }

    // Header of a data object: template name, optional object name, '{',
    // optional GUID.  Returns the template name.
    Token OpenObject(std::string* objectName) {
        Token tmpl = Expect(Tok::Name, "a template name");
        if (Peek().kind == Tok::Name) {
            Token n = Take();
            if (objectName) *objectName = n.text;
        }
        Expect(Tok::OBrace, ("'{' opening " + tmpl.text).c_str());
        if (Peek().kind == Tok::Guid) Take();
        return tmpl;
    }

    void CheckDepth(int depth, size_t pos) {
        if (depth > kMaxDepth) Fail(pos, "data objects nested deeper than " + std::to_string(kMaxDepth));
    }

    // Skips to the '}' that closes an object whose '{' has been read.
    void SkipBody(int depth) {
        int open = 1;
        while (open > 0) {
            Token t = Take();
            if (t.kind == Tok::End) Fail(t.pos, "data ends inside a data object");
            if (t.kind == Tok::OBrace) CheckDepth(depth + open++, t.pos);
            if (t.kind == Tok::CBrace) --open;
        }
    }

    void SkipTemplate() {
        Take();  // template
        Expect(Tok::Name, "a template name");
        Expect(Tok::OBrace, "'{' after the template name");
        SkipBody(1);
    }

    // "{ name }" or "{ name <guid> }"; returns the name.
    std::string SkipReference() {
        Take();  // {
        std::string name;
        if (Peek().kind == Tok::Name) name = Take().text;
        if (Peek().kind == Tok::Guid) Take();
        Expect(Tok::CBrace, "'}' closing a reference");
        return name;
    }

    // A data object inside a frame (or at the top level, in the root frame).
    void ParseObject(FrameNode& frame, int depth) {
        size_t pos = Peek().pos;
        CheckDepth(depth, pos);
        std::string objectName;
        Token tmpl = OpenObject(&objectName);
        if (tmpl.text == "Frame") {
            auto child = std::make_unique<FrameNode>();
            child->local = Identity();
            ParseFrameBody(*child, depth);
            frame.children.push_back(std::move(child));
        } else if (tmpl.text == "Mesh") {
            frame.meshes.push_back(ParseMeshBody(depth));
        } else if (tmpl.text == "Material") {
            Material m = ParseMaterialBody(depth);
            if (!objectName.empty()) namedMaterials_[objectName] = std::move(m);
        } else if (tmpl.text == "FrameTransformMatrix") {
            D3DMATRIX m = ParseMatrixBody();
            frame.local = m;
        } else {
            SkipBody(depth);
        }
    }

    void ParseFrameBody(FrameNode& frame, int depth) {
        for (;;) {
            const Token& t = Peek();
            switch (t.kind) {
                case Tok::CBrace: Take(); return;
                case Tok::Name: ParseObject(frame, depth + 1); break;
                case Tok::OBrace: SkipReference(); break;
                case Tok::Comma: case Tok::Semicolon: Take(); break;
                case Tok::End: Fail(t.pos, "data ends inside Frame");
                default: Fail(t.pos, "Frame: expected a data object or '}'");
            }
        }
    }

    D3DMATRIX ParseMatrixBody() {
        D3DMATRIX m;
        for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = ReadFloat("FrameTransformMatrix");
        CloseObject("FrameTransformMatrix");
        return m;
    }

    // After the members of a template with no children we know: '}' (any
    // nested object is skipped).
    void CloseObject(const std::string& what) {
        while (NextChild(what, "its members")) {
            OpenObject(nullptr);
            SkipBody(1);
        }
    }

    // Among the children of an object after its members: skips references,
    // consumes the closing '}' and answers false there, or answers true with
    // a child template's name as the next token.
    bool NextChild(const std::string& what, const char* after) {
        for (;;) {
            SkipSeparators();
            const Token& t = Peek();
            if (t.kind == Tok::CBrace) {
                Take();
                return false;
            }
            if (t.kind == Tok::End) Fail(t.pos, "data ends inside " + what);
            if (t.kind == Tok::OBrace) {
                SkipReference();
                continue;
            }
            if (t.kind != Tok::Name) Fail(t.pos, what + ": unexpected data after " + after);
            return true;
        }
    }

    struct RawMesh {
        std::vector<D3DVECTOR> positions;
        std::vector<std::vector<uint32_t>> faces;
        std::vector<size_t> facePos;  // where each face starts, for messages
        std::vector<D3DVECTOR> normals;
        std::vector<std::vector<uint32_t>> faceNormals;
        bool hasNormals = false;
        std::vector<TexCoord> texcoords;
        bool hasTexcoords = false;
        std::vector<D3DCOLORVALUE> colors;
        std::vector<uint32_t> faceMaterials;
        std::vector<Material> materials;
        bool hasMaterials = false;
    };

    std::vector<std::vector<uint32_t>> ReadFaces(const std::string& what, uint32_t count, uint32_t range,
                                                 const char* rangeName, std::vector<size_t>* positions) {
        std::vector<std::vector<uint32_t>> faces;
        for (uint32_t f = 0; f < count; ++f) {
            size_t pos = Peek().pos;
            uint32_t n = ReadCount(what + " corner count", 1);
            if (n < 3) Fail(pos, what + ": face " + std::to_string(f) + " has " + std::to_string(n) + " corners");
            std::vector<uint32_t> face;
            face.reserve(n);
            for (uint32_t k = 0; k < n; ++k) {
                size_t ipos = Peek().pos;
                uint32_t index = ReadUInt(what);
                if (index >= range)
                    Fail(ipos, what + ": face " + std::to_string(f) + " uses " + rangeName + " " + std::to_string(index) +
                                   " of " + std::to_string(range));
                face.push_back(index);
            }
            totalCorners_ += n;
            if (totalCorners_ > kMaxElements) Fail(pos, what + ": more face corners than the limit");
            faces.push_back(std::move(face));
            if (positions) positions->push_back(pos);
        }
        return faces;
    }

    MeshPart ParseMeshBody(int depth) {
        RawMesh raw;
        uint32_t nv = ReadCount("Mesh vertex count", 3);
        raw.positions.reserve(nv);
        for (uint32_t i = 0; i < nv; ++i) {
            D3DVECTOR v;
            v.x = ReadFloat("Mesh vertices");
            v.y = ReadFloat("Mesh vertices");
            v.z = ReadFloat("Mesh vertices");
            raw.positions.push_back(v);
        }
        uint32_t nf = ReadCount("Mesh face count", 4);
        raw.faces = ReadFaces("Mesh", nf, nv, "vertex", &raw.facePos);

        while (NextChild("Mesh", "its faces")) {
            size_t pos = Peek().pos;
            CheckDepth(depth + 1, pos);
            Token tmpl = OpenObject(nullptr);
            if (tmpl.text == "MeshNormals") {
                ParseNormals(raw, pos);
            } else if (tmpl.text == "MeshTextureCoords") {
                ParseTexcoords(raw, pos);
            } else if (tmpl.text == "MeshVertexColors") {
                ParseColors(raw);
            } else if (tmpl.text == "MeshMaterialList") {
                ParseMaterialList(raw, pos, depth + 1);
            } else {
                SkipBody(depth + 1);
            }
        }
        return Build(raw);
    }

    void ParseNormals(RawMesh& raw, size_t pos) {
        uint32_t n = ReadCount("MeshNormals normal count", 3);
        raw.normals.clear();
        raw.normals.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            D3DVECTOR v;
            v.x = ReadFloat("MeshNormals normals");
            v.y = ReadFloat("MeshNormals normals");
            v.z = ReadFloat("MeshNormals normals");
            raw.normals.push_back(v);
        }
        size_t fpos = Peek().pos;
        uint32_t nf = ReadCount("MeshNormals face count", 4);
        if (nf != raw.faces.size())
            Fail(fpos, "MeshNormals: " + std::to_string(nf) + " faces for a mesh of " + std::to_string(raw.faces.size()));
        raw.faceNormals = ReadFaces("MeshNormals", nf, n, "normal", nullptr);
        for (size_t f = 0; f < nf; ++f)
            if (raw.faceNormals[f].size() != raw.faces[f].size())
                Fail(pos, "MeshNormals: face " + std::to_string(f) + " has " + std::to_string(raw.faceNormals[f].size()) +
                              " corners, the mesh face " + std::to_string(raw.faces[f].size()));
        raw.hasNormals = true;
        CloseObject("MeshNormals");
    }

    void ParseTexcoords(RawMesh& raw, size_t pos) {
        uint32_t n = ReadCount("MeshTextureCoords count", 2);
        if (n != raw.positions.size())
            Fail(pos, "MeshTextureCoords: " + std::to_string(n) + " coordinates for " + std::to_string(raw.positions.size()) +
                          " vertices");
        raw.texcoords.clear();
        raw.texcoords.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            TexCoord t;
            t.u = ReadFloat("MeshTextureCoords");
            t.v = ReadFloat("MeshTextureCoords");
            raw.texcoords.push_back(t);
        }
        raw.hasTexcoords = true;
        CloseObject("MeshTextureCoords");
    }

    void ParseColors(RawMesh& raw) {
        uint32_t n = ReadCount("MeshVertexColors count", 5);
        raw.colors.assign(raw.positions.size(), D3DCOLORVALUE{1, 1, 1, 1});
        for (uint32_t i = 0; i < n; ++i) {
            size_t ipos = Peek().pos;
            uint32_t index = ReadUInt("MeshVertexColors index");
            if (index >= raw.positions.size())
                Fail(ipos, "MeshVertexColors: colour for vertex " + std::to_string(index) + " of " +
                               std::to_string(raw.positions.size()));
            D3DCOLORVALUE c;
            c.r = ReadFloat("MeshVertexColors");
            c.g = ReadFloat("MeshVertexColors");
            c.b = ReadFloat("MeshVertexColors");
            c.a = ReadFloat("MeshVertexColors");
            raw.colors[index] = c;
        }
        CloseObject("MeshVertexColors");
    }

    void ParseMaterialList(RawMesh& raw, size_t pos, int depth) {
        uint32_t nm = ReadCount("MeshMaterialList material count", 1);
        uint32_t ni = ReadCount("MeshMaterialList face index count", 1);
        raw.faceMaterials.clear();
        for (uint32_t i = 0; i < ni; ++i) {
            size_t ipos = Peek().pos;
            uint32_t m = ReadUInt("MeshMaterialList face indices");
            if (m >= nm)
                Fail(ipos, "MeshMaterialList: face " + std::to_string(i) + " uses material " + std::to_string(m) + " of " +
                               std::to_string(nm));
            if (i < raw.faces.size()) raw.faceMaterials.push_back(m);
        }
        raw.materials.clear();
        for (;;) {
            SkipSeparators();
            const Token& t = Peek();
            if (t.kind == Tok::CBrace) {
                Take();
                break;
            }
            if (t.kind == Tok::End) Fail(t.pos, "data ends inside MeshMaterialList");
            size_t mpos = t.pos;
            if (t.kind == Tok::OBrace) {
                std::string name = SkipReference();
                auto it = namedMaterials_.find(name);
                if (it == namedMaterials_.end()) Fail(mpos, "MeshMaterialList: reference to unknown material '" + name + "'");
                raw.materials.push_back(it->second);
                continue;
            }
            if (t.kind != Tok::Name) Fail(t.pos, "MeshMaterialList: expected a Material");
            CheckDepth(depth + 1, mpos);
            std::string objectName;
            Token tmpl = OpenObject(&objectName);
            if (tmpl.text == "Material") {
                Material m = ParseMaterialBody(depth + 1);
                if (!objectName.empty()) namedMaterials_[objectName] = m;
                raw.materials.push_back(std::move(m));
            } else {
                SkipBody(depth + 1);
            }
        }
        if (raw.materials.size() != nm)
            Fail(pos, "MeshMaterialList: " + std::to_string(nm) + " materials declared, " +
                          std::to_string(raw.materials.size()) + " given");
        raw.hasMaterials = true;
    }

    Material ParseMaterialBody(int depth) {
        Material m;
        m.diffuse.r = ReadFloat("Material");
        m.diffuse.g = ReadFloat("Material");
        m.diffuse.b = ReadFloat("Material");
        m.diffuse.a = ReadFloat("Material");
        m.power = ReadFloat("Material");
        m.specular.r = ReadFloat("Material");
        m.specular.g = ReadFloat("Material");
        m.specular.b = ReadFloat("Material");
        m.emissive.r = ReadFloat("Material");
        m.emissive.g = ReadFloat("Material");
        m.emissive.b = ReadFloat("Material");
        while (NextChild("Material", "its members")) {
            CheckDepth(depth + 1, Peek().pos);
            Token tmpl = OpenObject(nullptr);
            // Exporters write both spellings.
            if (tmpl.text == "TextureFilename" || tmpl.text == "TextureFileName") {
                m.textureFilename = ReadString("TextureFilename");
                CloseObject("TextureFilename");
            } else {
                SkipBody(depth + 1);
            }
        }
        return m;
    }

    // Triangulates, splits vertices whose corners use different normals and
    // spreads the per-face materials over the triangles.
    MeshPart Build(const RawMesh& raw) {
        MeshPart part;
        Mesh& m = part.mesh;
        m.positions = raw.positions;
        m.hasNormals = raw.hasNormals;
        m.hasTexcoords = raw.hasTexcoords;
        m.hasColors = !raw.colors.empty();
        if (m.hasTexcoords) m.texcoords = raw.texcoords;
        if (m.hasColors) m.colors = raw.colors;

        // Corner -> output vertex.  The first normal a vertex is used with
        // keeps the vertex; other normals get appended copies.
        std::vector<std::vector<uint32_t>> corners = raw.faces;
        if (raw.hasNormals) {
            m.normals.assign(m.positions.size(), D3DVECTOR{0, 0, 0});
            constexpr uint32_t kUnset = std::numeric_limits<uint32_t>::max();
            std::vector<uint32_t> first(m.positions.size(), kUnset);
            std::unordered_map<uint64_t, uint32_t> copies;
            for (size_t f = 0; f < raw.faces.size(); ++f) {
                for (size_t k = 0; k < raw.faces[f].size(); ++k) {
                    uint32_t v = raw.faces[f][k];
                    uint32_t n = raw.faceNormals[f][k];
                    if (first[v] == kUnset) {
                        first[v] = n;
                        m.normals[v] = raw.normals[n];
                        continue;
                    }
                    if (first[v] == n) continue;
                    uint64_t key = (uint64_t(v) << 32) | n;
                    auto it = copies.find(key);
                    uint32_t out;
                    if (it != copies.end()) {
                        out = it->second;
                    } else {
                        if (m.positions.size() >= kMaxElements) Fail(0, "Mesh: too many vertices after splitting by normal");
                        out = static_cast<uint32_t>(m.positions.size());
                        copies.emplace(key, out);
                        m.positions.push_back(m.positions[v]);
                        m.normals.push_back(raw.normals[n]);
                        if (m.hasTexcoords) m.texcoords.push_back(m.texcoords[v]);
                        if (m.hasColors) m.colors.push_back(m.colors[v]);
                    }
                    corners[f][k] = out;
                }
            }
        }

        for (size_t f = 0; f < corners.size(); ++f) {
            uint32_t material = 0;
            if (!raw.faceMaterials.empty()) material = raw.faceMaterials[std::min(f, raw.faceMaterials.size() - 1)];
            const auto& c = corners[f];
            for (size_t k = 1; k + 1 < c.size(); ++k) {
                m.indices.push_back(c[0]);
                m.indices.push_back(c[k]);
                m.indices.push_back(c[k + 1]);
                m.attributes.push_back(material);
            }
        }
        if (raw.hasMaterials) m.materials = raw.materials;
        return part;
    }

    Lexer& lex_;
    Token look_;
    bool hasLook_ = false;
    uint64_t totalCorners_ = 0;
    std::map<std::string, Material> namedMaterials_;
};

// ---------------------------------------------------------------------------
// Frames flattened into one mesh.

void TransformPart(Mesh& m, const D3DMATRIX& w) {
    for (auto& p : m.positions) {
        D3DVECTOR r;
        r.x = p.x * w._11 + p.y * w._21 + p.z * w._31 + w._41;
        r.y = p.x * w._12 + p.y * w._22 + p.z * w._32 + w._42;
        r.z = p.x * w._13 + p.y * w._23 + p.z * w._33 + w._43;
        p = r;
    }
    if (!m.hasNormals) return;
    // Normals go through the inverse transpose of the upper 3x3, which is the
    // cofactor matrix over the determinant; only the sign of the determinant
    // matters since the result is renormalised.
    float a = w._11, b = w._12, c = w._13, d = w._21, e = w._22, f = w._23, g = w._31, h = w._32, i = w._33;
    float c11 = e * i - f * h, c12 = -(d * i - f * g), c13 = d * h - e * g;
    float c21 = -(b * i - c * h), c22 = a * i - c * g, c23 = -(a * h - b * g);
    float c31 = b * f - c * e, c32 = -(a * f - c * d), c33 = a * e - b * d;
    float det = a * c11 + b * c12 + c * c13;
    float s = det < 0 ? -1.0f : 1.0f;
    for (auto& n : m.normals) {
        D3DVECTOR r;
        r.x = s * (n.x * c11 + n.y * c21 + n.z * c31);
        r.y = s * (n.x * c12 + n.y * c22 + n.z * c32);
        r.z = s * (n.x * c13 + n.y * c23 + n.z * c33);
        float len = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
        if (len > 0) {
            r.x /= len;
            r.y /= len;
            r.z /= len;
        }
        n = r;
    }
}

void Collect(FrameNode& node, const D3DMATRIX& parent, std::vector<Mesh>& out) {
    D3DMATRIX world = Multiply(node.local, parent);
    for (auto& part : node.meshes) {
        if (!IsIdentity(world)) TransformPart(part.mesh, world);
        out.push_back(std::move(part.mesh));
    }
    for (auto& child : node.children) Collect(*child, world, out);
}

bool Merge(std::vector<Mesh>& parts, Mesh& out, std::string& error) {
    out = Mesh{};
    bool anyMaterials = false;
    uint64_t vertices = 0, faces = 0;
    for (const auto& p : parts) {
        out.hasNormals |= p.hasNormals;
        out.hasTexcoords |= p.hasTexcoords;
        out.hasColors |= p.hasColors;
        anyMaterials |= !p.materials.empty();
        vertices += p.positions.size();
        faces += p.FaceCount();
    }
    if (faces == 0) {
        error = "no mesh with faces in the data";
        return false;
    }
    if (vertices > kMaxElements || faces > kMaxElements) {
        error = "meshes together exceed the limit of " + std::to_string(kMaxElements) + " vertices or faces";
        return false;
    }
    for (auto& p : parts) {
        uint32_t base = out.VertexCount();
        uint32_t materialBase = static_cast<uint32_t>(out.materials.size());
        size_t n = p.positions.size();
        out.positions.insert(out.positions.end(), p.positions.begin(), p.positions.end());
        if (out.hasNormals) {
            if (p.hasNormals) out.normals.insert(out.normals.end(), p.normals.begin(), p.normals.end());
            else out.normals.resize(out.normals.size() + n, D3DVECTOR{0, 0, 0});
        }
        if (out.hasTexcoords) {
            if (p.hasTexcoords) out.texcoords.insert(out.texcoords.end(), p.texcoords.begin(), p.texcoords.end());
            else out.texcoords.resize(out.texcoords.size() + n, TexCoord{0, 0});
        }
        if (out.hasColors) {
            if (p.hasColors) out.colors.insert(out.colors.end(), p.colors.begin(), p.colors.end());
            else out.colors.resize(out.colors.size() + n, D3DCOLORVALUE{1, 1, 1, 1});
        }
        for (uint32_t i : p.indices) out.indices.push_back(base + i);
        // A mesh without a material list gets a plain white material of its
        // own when it is merged with meshes that have materials.
        if (anyMaterials && p.materials.empty()) p.materials.push_back(Material{});
        for (uint32_t a : p.attributes) out.attributes.push_back(materialBase + a);
        out.materials.insert(out.materials.end(), p.materials.begin(), p.materials.end());
    }
    return true;
}

}  // namespace

Result Read(const void* data, size_t size, Mesh& mesh) {
    mesh = Mesh{};
    Result result;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (data == nullptr || size < kHeaderSize || std::memcmp(bytes, "xof ", 4) != 0) {
        result.error = "not .x data (no \"xof \" header)";
        return result;
    }
    std::string format(reinterpret_cast<const char*>(bytes + 8), 4);
    std::string floatSize(reinterpret_cast<const char*>(bytes + 12), 4);
    if (format == "tzip" || format == "bzip") {
        result.error = "compressed .x data (\"" + format + "\") is not supported";
        return result;
    }
    if (format != "txt " && format != "bin ") {
        result.error = "unknown .x format \"" + format + "\"";
        return result;
    }
    if (floatSize != "0032" && floatSize != "0064") {
        result.error = "unknown .x float size \"" + floatSize + "\"";
        return result;
    }

    std::unique_ptr<Lexer> lexer;
    if (format == "txt ")
        lexer = std::make_unique<TextLexer>(reinterpret_cast<const char*>(bytes), size, kHeaderSize);
    else
        lexer = std::make_unique<BinaryLexer>(bytes, size, kHeaderSize, floatSize == "0064");

    FrameNode root;
    root.local = Identity();
    std::vector<Mesh> parts;
    try {
        Parser parser(*lexer);
        parser.ParseFile(root);
        Collect(root, Identity(), parts);
    } catch (const ParseError& e) {
        result.error = lexer->Where(e.pos) + ": " + e.message;
        return result;
    } catch (const std::bad_alloc&) {
        result.error = "out of memory";
        return result;
    }
    Mesh merged;
    if (!Merge(parts, merged, result.error)) return result;
    mesh = std::move(merged);
    result.ok = true;
    return result;
}

Result ReadFile(const std::string& path, Mesh& mesh) {
    mesh = Mesh{};
    Result result;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = path + ": cannot open";
        return result;
    }
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || static_cast<uint64_t>(length) > kMaxFileSize) {
        result.error = path + ": file too large";
        return result;
    }
    std::vector<char> bytes(static_cast<size_t>(length));
    if (length > 0 && !in.read(bytes.data(), length)) {
        result.error = path + ": cannot read";
        return result;
    }
    result = Read(bytes.data(), bytes.size(), mesh);
    if (!result.ok) result.error = path + ": " + result.error;
    return result;
}

}  // namespace xfile
