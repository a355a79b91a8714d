#include "tools/rc/rc_compiler.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace tessaloom::rc {

namespace {

// ---------------------------------------------------------------------------
// Predefined names: the documented values of the window, dialog and control
// styles and of the few other constants a dialog script uses.
struct Constant {
    const char* name;
    uint32_t value;
};
constexpr Constant kConstants[] = {
    // Window styles.
    {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000}, {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000},
    {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000},
    {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000}, {"WS_DLGFRAME", 0x00400000},
    {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000}, {"WS_SYSMENU", 0x00080000},
    {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
    {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
    // Extended window styles.
    {"WS_EX_DLGMODALFRAME", 0x1}, {"WS_EX_NOPARENTNOTIFY", 0x4}, {"WS_EX_TOPMOST", 0x8},
    {"WS_EX_ACCEPTFILES", 0x10}, {"WS_EX_TRANSPARENT", 0x20}, {"WS_EX_TOOLWINDOW", 0x80},
    {"WS_EX_WINDOWEDGE", 0x100}, {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_CONTEXTHELP", 0x400},
    {"WS_EX_RIGHT", 0x1000}, {"WS_EX_CONTROLPARENT", 0x10000}, {"WS_EX_STATICEDGE", 0x20000},
    {"WS_EX_APPWINDOW", 0x40000},
    // Dialog styles.
    {"DS_ABSALIGN", 0x1}, {"DS_SYSMODAL", 0x2}, {"DS_3DLOOK", 0x4}, {"DS_FIXEDSYS", 0x8},
    {"DS_NOFAILCREATE", 0x10}, {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40}, {"DS_MODALFRAME", 0x80},
    {"DS_NOIDLEMSG", 0x100}, {"DS_SETFOREGROUND", 0x200}, {"DS_CONTROL", 0x400}, {"DS_CENTER", 0x800},
    {"DS_CENTERMOUSE", 0x1000}, {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
    // Button styles.
    {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
    {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
    {"BS_USERBUTTON", 0x8}, {"BS_AUTORADIOBUTTON", 0x9}, {"BS_PUSHBOX", 0xA}, {"BS_OWNERDRAW", 0xB},
    {"BS_LEFTTEXT", 0x20}, {"BS_TEXT", 0x0}, {"BS_ICON", 0x40}, {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100},
    {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300}, {"BS_TOP", 0x400}, {"BS_BOTTOM", 0x800},
    {"BS_VCENTER", 0xC00}, {"BS_PUSHLIKE", 0x1000}, {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000},
    {"BS_FLAT", 0x8000},
    // Static styles.
    {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1}, {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BLACKRECT", 0x4},
    {"SS_GRAYRECT", 0x5}, {"SS_WHITERECT", 0x6}, {"SS_BLACKFRAME", 0x7}, {"SS_GRAYFRAME", 0x8},
    {"SS_WHITEFRAME", 0x9}, {"SS_SIMPLE", 0xB}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_OWNERDRAW", 0xD},
    {"SS_BITMAP", 0xE}, {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11}, {"SS_ETCHEDFRAME", 0x12},
    {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200}, {"SS_RIGHTJUST", 0x400},
    {"SS_SUNKEN", 0x1000}, {"SS_ENDELLIPSIS", 0x4000}, {"SS_PATHELLIPSIS", 0x8000},
    {"SS_WORDELLIPSIS", 0xC000},
    // Edit styles.
    {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4}, {"ES_UPPERCASE", 0x8},
    {"ES_LOWERCASE", 0x10}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40}, {"ES_AUTOHSCROLL", 0x80},
    {"ES_NOHIDESEL", 0x100}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000}, {"ES_NUMBER", 0x2000},
    // Combo box styles.
    {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_OWNERDRAWFIXED", 0x10},
    {"CBS_OWNERDRAWVARIABLE", 0x20}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_OEMCONVERT", 0x80},
    {"CBS_SORT", 0x100}, {"CBS_HASSTRINGS", 0x200}, {"CBS_NOINTEGRALHEIGHT", 0x400},
    {"CBS_DISABLENOSCROLL", 0x800},
    // List box and scroll bar styles.
    {"LBS_NOTIFY", 0x1}, {"LBS_SORT", 0x2}, {"LBS_NOREDRAW", 0x4}, {"LBS_MULTIPLESEL", 0x8},
    {"LBS_HASSTRINGS", 0x40}, {"LBS_USETABSTOPS", 0x80}, {"LBS_NOINTEGRALHEIGHT", 0x100},
    {"LBS_WANTKEYBOARDINPUT", 0x400}, {"LBS_EXTENDEDSEL", 0x800}, {"LBS_DISABLENOSCROLL", 0x1000},
    {"LBS_STANDARD", 0x00A00003}, {"SBS_HORZ", 0x0}, {"SBS_VERT", 0x1},
    // Trackbar styles.
    {"TBS_AUTOTICKS", 0x1}, {"TBS_VERT", 0x2}, {"TBS_HORZ", 0x0}, {"TBS_TOP", 0x4}, {"TBS_BOTTOM", 0x0},
    {"TBS_LEFT", 0x4}, {"TBS_RIGHT", 0x0}, {"TBS_BOTH", 0x8}, {"TBS_NOTICKS", 0x10},
    {"TBS_ENABLESELRANGE", 0x20}, {"TBS_FIXEDLENGTH", 0x40}, {"TBS_NOTHUMB", 0x80}, {"TBS_TOOLTIPS", 0x100},
    // Tab control styles.
    {"TCS_TABS", 0x0}, {"TCS_SINGLELINE", 0x0}, {"TCS_BUTTONS", 0x100}, {"TCS_MULTILINE", 0x200},
    {"TCS_FIXEDWIDTH", 0x400}, {"TCS_RAGGEDRIGHT", 0x800}, {"TCS_FOCUSONBUTTONDOWN", 0x1000},
    {"TCS_TOOLTIPS", 0x4000}, {"TCS_FOCUSNEVER", 0x8000},
    // Dialog results, the static id, fonts, languages.
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7},
    {"IDCLOSE", 8}, {"IDHELP", 9}, {"IDC_STATIC", 0xFFFFFFFF}, {"FW_NORMAL", 400}, {"FW_BOLD", 700},
    {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 0x09},
    {"SUBLANG_NEUTRAL", 0}, {"SUBLANG_DEFAULT", 1}, {"SUBLANG_ENGLISH_US", 1},
};
struct StringConstant {
    const char* name;
    const char* value;
};
constexpr StringConstant kStringConstants[] = {
    {"WC_TABCONTROL", "SysTabControl32"},
    {"TRACKBAR_CLASS", "msctls_trackbar32"},
};

constexpr uint32_t kWsChild = 0x40000000, kWsVisible = 0x10000000, kWsPopup = 0x80000000;
constexpr uint32_t kWsBorder = 0x00800000, kWsSysMenu = 0x00080000, kWsCaption = 0x00C00000;
constexpr uint32_t kWsGroup = 0x00020000, kWsTabStop = 0x00010000, kDsSetFont = 0x40;

// ---------------------------------------------------------------------------
struct CompileError {
    std::string text;
};

struct Location {
    std::shared_ptr<const std::string> file;
    int line = 0;
    std::string Text() const { return (file ? *file : std::string("?")) + ":" + std::to_string(line); }
};

[[noreturn]] void Throw(const Location& where, const std::string& what) {
    throw CompileError{where.Text() + ": error: " + what};
}

enum class Tok { End, Number, String, Ident, Punct, Directive };

struct Token {
    Tok kind = Tok::End;
    std::string text;      // identifier or punctuation
    uint32_t number = 0;
    bool isLong = false;   // number with an L suffix
    std::u16string str;    // string contents, decoded
    bool wide = false;     // L"..."
    bool spaceBefore = false;
    Location loc;
    std::vector<std::string> hide;  // macros this token came out of

    bool Is(const char* punct) const { return kind == Tok::Punct && text == punct; }
};

std::string Upper(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::End: return "the end of the file";
        case Tok::Number: return "number " + std::to_string(t.number);
        case Tok::String: return "a string";
        case Tok::Ident: return "'" + t.text + "'";
        case Tok::Punct: return "'" + t.text + "'";
        case Tok::Directive: return "a directive";
    }
    return "?";
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// ---------------------------------------------------------------------------
// Tokens of one file.
class FileLexer {
public:
    FileLexer(std::string name, std::string text)
        : file_(std::make_shared<const std::string>(std::move(name))), text_(std::move(text)) {}

    const std::string& File() const { return *file_; }
    Location Here() const { return Location{file_, line_}; }

    // In a directive (`inDirective`), the end of the line ends the token stream.
    Token Lex(bool inDirective) {
        bool space = false;
        Token t = LexOne(inDirective, space);
        t.spaceBefore = space;
        return t;
    }

private:
    Token LexOne(bool inDirective, bool& space) {
        for (;;) {
            if (pos_ >= text_.size()) return Make(Tok::End);
            char c = text_[pos_];
            if (c == '\n') {
                if (inDirective) return Make(Tok::End);
                ++pos_;
                ++line_;
                lineStart_ = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
                space = true;
                continue;
            }
            if (c == '\\' && inDirective && Peek(1) == '\n') {  // line continuation
                pos_ += 2;
                ++line_;
                continue;
            }
            if (c == '\\' && inDirective && Peek(1) == '\r' && Peek(2) == '\n') {
                pos_ += 3;
                ++line_;
                continue;
            }
            if (c == '/' && Peek(1) == '/') {
                space = true;
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            if (c == '/' && Peek(1) == '*') {
                space = true;
                Location start = Here();
                pos_ += 2;
                for (;;) {
                    if (pos_ >= text_.size()) Throw(start, "comment is not closed");
                    if (text_[pos_] == '*' && Peek(1) == '/') {
                        pos_ += 2;
                        break;
                    }
                    if (text_[pos_] == '\n') {
                        if (inDirective) Throw(start, "a comment in a directive must end on its line");
                        ++line_;
                    }
                    ++pos_;
                }
                continue;
            }
            if (c == '#' && lineStart_ && !inDirective) {
                ++pos_;
                lineStart_ = false;
                return Make(Tok::Directive);
            }
            lineStart_ = false;
            return LexToken();
        }
    }

public:
    // The file name of an #include: "name" or <name>.
    std::string LexIncludeName() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '<') {
            size_t end = text_.find('>', pos_);
            size_t nl = text_.find('\n', pos_);
            if (end == std::string::npos || (nl != std::string::npos && nl < end))
                Throw(Here(), "expected '>' after the #include file name");
            std::string name = text_.substr(pos_ + 1, end - pos_ - 1);
            pos_ = end + 1;
            return name;
        }
        Token t = Lex(true);
        if (t.kind != Tok::String) Throw(t.loc, "expected a file name after #include, found " + Describe(t));
        return Utf16ToUtf8(t.str);
    }

    // Skips the rest of a directive line.
    void SkipLine() {
        while (Lex(true).kind != Tok::End) {
        }
    }

private:
    char Peek(size_t ahead) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

    Token Make(Tok kind) {
        Token t;
        t.kind = kind;
        t.loc = Here();
        return t;
    }

    static bool IdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }

    Token LexToken() {
        Token t = Make(Tok::Punct);
        char c = text_[pos_];
        if ((c == 'L' || c == 'l') && Peek(1) == '"') {
            ++pos_;
            t = LexString();
            t.wide = true;
            return t;
        }
        if (c == '"') return LexString();
        if (IdentStart(c)) {
            size_t start = pos_;
            while (pos_ < text_.size() && IdentChar(text_[pos_])) ++pos_;
            t.kind = Tok::Ident;
            t.text = text_.substr(start, pos_ - start);
            return t;
        }
        if (c >= '0' && c <= '9') {
            uint64_t value = 0;
            bool hex = c == '0' && (Peek(1) == 'x' || Peek(1) == 'X');
            if (hex) {
                pos_ += 2;
                size_t digits = 0;
                while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) {
                    char d = text_[pos_++];
                    int v = d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10;
                    value = value * 16 + static_cast<uint64_t>(v);
                    if (value > 0xFFFFFFFFu) Throw(t.loc, "number does not fit in 32 bits");
                    ++digits;
                }
                if (digits == 0) Throw(t.loc, "expected hexadecimal digits after 0x");
            } else {
                while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
                    value = value * 10 + static_cast<uint64_t>(text_[pos_++] - '0');
                    if (value > 0xFFFFFFFFu) Throw(t.loc, "number does not fit in 32 bits");
                }
            }
            while (pos_ < text_.size() && (text_[pos_] == 'L' || text_[pos_] == 'l' || text_[pos_] == 'U' ||
                                           text_[pos_] == 'u')) {
                if (text_[pos_] == 'L' || text_[pos_] == 'l') t.isLong = true;
                ++pos_;
            }
            if (pos_ < text_.size() && IdentChar(text_[pos_])) Throw(t.loc, "malformed number");
            t.kind = Tok::Number;
            t.number = static_cast<uint32_t>(value);
            return t;
        }
        static const char* const kTwo[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
        for (const char* two : kTwo) {
            if (c == two[0] && Peek(1) == two[1]) {
                pos_ += 2;
                t.text = two;
                return t;
            }
        }
        if (std::string(",|&+-*/%~(){}!<>=^").find(c) != std::string::npos) {
            ++pos_;
            t.text = std::string(1, c);
            return t;
        }
        std::string shown = (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F)
                                ? std::string("'") + c + "'"
                                : "byte " + std::to_string(static_cast<unsigned char>(c));
        Throw(t.loc, "unexpected character " + shown);
    }

    // Decodes one UTF-8 character at pos_.
    char32_t Utf8Char(const Location& loc) {
        auto b = static_cast<unsigned char>(text_[pos_]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || pos_ + static_cast<size_t>(extra) >= text_.size() + (extra == 0 ? 1 : 0))
            Throw(loc, "string is not valid UTF-8");
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int i = 1; i <= extra; ++i) {
            auto n = static_cast<unsigned char>(text_[pos_ + static_cast<size_t>(i)]);
            if ((n & 0xC0) != 0x80) Throw(loc, "string is not valid UTF-8");
            c = (c << 6) | (n & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) Throw(loc, "string is not valid UTF-8");
        pos_ += static_cast<size_t>(extra) + 1;
        return c;
    }

    Token LexString() {
        Token t = Make(Tok::String);
        ++pos_;  // opening quote
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') Throw(t.loc, "string is not closed on its line");
            char c = text_[pos_];
            if (c == '"') {
                if (Peek(1) == '"') {  // "" stands for one quote
                    t.str.push_back(u'"');
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return t;
            }
            if (c == '\\') {
                char e = Peek(1);
                pos_ += 2;
                switch (e) {
                    case 'n': t.str.push_back(u'\n'); break;
                    case 't': t.str.push_back(u'\t'); break;
                    case 'r': t.str.push_back(u'\r'); break;
                    case 'a': t.str.push_back(u'\a'); break;
                    case '\\': t.str.push_back(u'\\'); break;
                    case '"': t.str.push_back(u'"'); break;
                    case '\'': t.str.push_back(u'\''); break;
                    case 'x': {
                        uint32_t v = 0;
                        int n = 0;
                        while (n < 4 && pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) {
                            char d = text_[pos_++];
                            v = v * 16 + static_cast<uint32_t>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
                            ++n;
                        }
                        if (n == 0) Throw(t.loc, "expected hexadecimal digits after \\x");
                        t.str.push_back(static_cast<char16_t>(v));
                        break;
                    }
                    default:
                        if (e >= '0' && e <= '7') {
                            uint32_t v = static_cast<uint32_t>(e - '0');
                            int n = 1;
                            while (n < 3 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7') {
                                v = v * 8 + static_cast<uint32_t>(text_[pos_++] - '0');
                                ++n;
                            }
                            t.str.push_back(static_cast<char16_t>(v));
                        } else {
                            Throw(t.loc, std::string("unknown escape '\\") + (e ? std::string(1, e) : "") + "' in string");
                        }
                }
                continue;
            }
            AppendUtf16(t.str, Utf8Char(t.loc));
        }
    }

    std::shared_ptr<const std::string> file_;
    std::string text_;
    size_t pos_ = 0;
    int line_ = 1;
    bool lineStart_ = true;
};

// ---------------------------------------------------------------------------
// Expression evaluation over a token source.
class TokenSource {
public:
    virtual ~TokenSource() = default;
    virtual const Token& Peek() = 0;
    virtual Token Take() = 0;
};

class VectorSource : public TokenSource {
public:
    VectorSource(std::vector<Token> tokens, Location end) : tokens_(std::move(tokens)) {
        end_.kind = Tok::End;
        end_.loc = std::move(end);
    }
    const Token& Peek() override { return at_ < tokens_.size() ? tokens_[at_] : end_; }
    Token Take() override { return at_ < tokens_.size() ? tokens_[at_++] : end_; }

private:
    std::vector<Token> tokens_;
    size_t at_ = 0;
    Token end_;
};

// Precedence climbing.  In a script only | & + - * / and unary - ~ are
// allowed; #if also has the comparisons and the logical operators.
class Evaluator {
public:
    Evaluator(TokenSource& src, bool preprocessor) : src_(src), pp_(preprocessor) {}

    int64_t Expression(int minLevel = 0) {
        int64_t left = Unary();
        for (;;) {
            const Token& t = src_.Peek();
            int level = t.kind == Tok::Punct ? Level(t.text) : -1;
            if (level < 0 || level < minLevel) return left;
            Token op = src_.Take();
            int64_t right = Expression(level + 1);
            left = Apply(op, left, right);
        }
    }

    // A style: terms joined by '|'; NOT term clears bits from `base`.
    uint32_t Style(uint32_t base) {
        uint32_t set = 0, clear = 0;
        for (;;) {
            const Token& t = src_.Peek();
            if (t.kind == Tok::Ident && Upper(t.text) == "NOT") {
                src_.Take();
                clear |= static_cast<uint32_t>(Expression(Level("&")));
            } else {
                set |= static_cast<uint32_t>(Expression(Level("&")));
            }
            if (!src_.Peek().Is("|")) break;
            src_.Take();
        }
        return (base | set) & ~clear;
    }

private:
    int Level(const std::string& op) const {
        static const std::map<std::string, int> kScript = {{"|", 1}, {"&", 2}, {"+", 3}, {"-", 3}, {"*", 4}, {"/", 4}};
        static const std::map<std::string, int> kPre = {
            {"||", 0}, {"&&", 1}, {"|", 2}, {"^", 3}, {"&", 4}, {"==", 5}, {"!=", 5}, {"<", 6}, {">", 6},
            {"<=", 6}, {">=", 6}, {"<<", 7}, {">>", 7}, {"+", 8}, {"-", 8}, {"*", 9}, {"/", 9}, {"%", 9}};
        const auto& table = pp_ ? kPre : kScript;
        auto it = table.find(op);
        return it == table.end() ? -1 : it->second;
    }

    int64_t Apply(const Token& op, int64_t a, int64_t b) {
        // Script values are 32-bit and wrap, as unsigned resource values do.
        auto wrap = [this](int64_t v) { return pp_ ? v : static_cast<int64_t>(static_cast<int32_t>(v)); };
        const std::string& o = op.text;
        if (o == "|") return a | b;
        if (o == "&") return a & b;
        if (o == "^") return a ^ b;
        if (o == "+") return wrap(a + b);
        if (o == "-") return wrap(a - b);
        if (o == "*") return wrap(a * b);
        if (o == "/" || o == "%") {
            if (b == 0) Throw(op.loc, "division by zero");
            if (a == INT64_MIN && b == -1) return a;
            return o == "/" ? a / b : a % b;
        }
        if (o == "<<") return b < 0 || b > 62 ? 0 : a << b;
        if (o == ">>") return b < 0 || b > 62 ? 0 : a >> b;
        if (o == "==") return a == b;
        if (o == "!=") return a != b;
        if (o == "<") return a < b;
        if (o == ">") return a > b;
        if (o == "<=") return a <= b;
        if (o == ">=") return a >= b;
        if (o == "&&") return a && b;
        if (o == "||") return a || b;
        Throw(op.loc, "unexpected '" + o + "'");
    }

    int64_t Unary() {
        if (++depth_ > 200) Throw(src_.Peek().loc, "expression nested too deeply");
        struct Leave {
            int& d;
            ~Leave() { --d; }
        } leave{depth_};
        Token t = src_.Take();
        if (t.Is("-")) return pp_ ? -Unary() : static_cast<int32_t>(0u - static_cast<uint32_t>(Unary()));
        if (t.Is("~")) return pp_ ? ~Unary() : static_cast<int32_t>(~static_cast<uint32_t>(Unary()));
        if (t.Is("+")) return Unary();
        if (t.Is("!") && pp_) return !Unary();
        if (t.Is("(")) {
            int64_t v = Expression();
            Token close = src_.Take();
            if (!close.Is(")")) Throw(close.loc, "expected ')', found " + Describe(close));
            return v;
        }
        if (t.kind == Tok::Number) return pp_ ? static_cast<int64_t>(t.number) : static_cast<int32_t>(t.number);
        if (t.kind == Tok::Ident) {
            if (pp_) return 0;  // an unknown name in #if is 0
            Throw(t.loc, "'" + t.text + "' is not defined");
        }
        Throw(t.loc, "expected a number, found " + Describe(t));
    }

    TokenSource& src_;
    bool pp_;
    int depth_ = 0;
};

// ---------------------------------------------------------------------------
// The preprocessor: files, macros and conditionals; hands out script tokens.
class Preprocessor : public TokenSource {
public:
    Preprocessor(const Options& options, std::vector<std::string>& deps) : options_(options), deps_(deps) {
        for (const auto& c : kConstants) {
            Token t;
            t.kind = Tok::Number;
            t.number = c.value;
            macros_[c.name] = {t};
        }
        for (const auto& c : kStringConstants) {
            Token t;
            t.kind = Tok::String;
            t.str = Utf8ToUtf16(c.value);
            macros_[c.name] = {t};
        }
        for (const auto& [name, value] : options.defines) {
            FileLexer lexer("<command line>", value);
            std::vector<Token> body;
            for (Token t = lexer.Lex(true); t.kind != Tok::End; t = lexer.Lex(true)) body.push_back(t);
            macros_[name] = body;
        }
        for (const auto& [name, value] : options.stringDefines) {
            Token t;
            t.kind = Tok::String;
            t.str = Utf8ToUtf16(value);
            macros_[name] = {t};
        }
    }

    void PushFile(const std::string& path, std::string text) {
        if (files_.size() >= 32) Throw(Location{}, "#include nested too deeply at " + path);
        files_.push_back({std::make_unique<FileLexer>(path, std::move(text)), conditions_.size()});
    }

    const Token& Peek() override {
        if (!peeked_) {
            next_ = Next();
            peeked_ = true;
        }
        return next_;
    }
    Token Take() override {
        Peek();
        peeked_ = false;
        return next_;
    }

    // Reads a file the script names (relative to the naming file, then the
    // include folders); throws when it cannot be found.
    std::string LoadNamedFile(const std::string& name, const Location& where, std::string* resolved) {
        std::string n = name;
        for (auto& c : n)
            if (c == '\\') c = '/';
        std::vector<std::string> candidates;
        if (!n.empty() && n[0] == '/') {
            candidates.push_back(n);
        } else {
            // Beside the file that names it (a bare file name: the current folder).
            bool bare = !where.file || where.file->find('/') == std::string::npos;
            candidates.push_back(bare ? n : DirName(*where.file) + "/" + n);
            for (const auto& dir : options_.includeDirs) candidates.push_back(dir + "/" + n);
        }
        for (const auto& path : candidates) {
            std::string contents;
            if (options_.loader && options_.loader(path, contents)) {
                deps_.push_back(path);
                if (resolved) *resolved = path;
                return contents;
            }
        }
        Throw(where, "cannot open file '" + name + "'");
    }

private:
    struct OpenFile {
        std::unique_ptr<FileLexer> lexer;
        size_t conditionDepth;
    };
    struct Condition {
        bool parentActive;
        bool active;
        bool taken;
        bool seenElse;
        Location where;
    };

    bool Active() const { return conditions_.empty() || conditions_.back().active; }

    Token Next() {
        for (;;) {
            if (!pending_.empty()) {
                Token t = std::move(pending_.front());
                pending_.pop_front();
                if (Expand(t)) continue;
                return t;
            }
            if (files_.empty()) {
                Token end;
                end.kind = Tok::End;
                end.loc = lastLoc_;
                return end;
            }
            FileLexer& lexer = *files_.back().lexer;
            Token t = lexer.Lex(false);
            lastLoc_ = t.loc;
            if (t.kind == Tok::End) {
                if (conditions_.size() > files_.back().conditionDepth)
                    Throw(conditions_.back().where, "#if without #endif");
                files_.pop_back();
                continue;
            }
            if (t.kind == Tok::Directive) {
                Directive(lexer, t.loc);
                continue;
            }
            if (!Active()) continue;
            if (Expand(t)) continue;
            return t;
        }
    }

    // Puts a macro's body in front of the pending tokens; false when `t` is no macro.
    bool Expand(const Token& t) {
        if (t.kind != Tok::Ident) return false;
        auto it = macros_.find(t.text);
        if (it == macros_.end()) return false;
        for (const auto& h : t.hide)
            if (h == t.text) return false;
        if (++expansions_ > 100000 || pending_.size() > 100000) Throw(t.loc, "macro expansion does not end");
        std::vector<Token> body = it->second;
        for (auto& b : body) {
            b.loc = t.loc;
            b.hide = t.hide;
            b.hide.push_back(t.text);
        }
        pending_.insert(pending_.begin(), body.begin(), body.end());
        return true;
    }

    std::vector<Token> LineTokens(FileLexer& lexer) {
        std::vector<Token> out;
        for (Token t = lexer.Lex(true); t.kind != Tok::End; t = lexer.Lex(true)) out.push_back(t);
        return out;
    }

    std::string DirectiveName(FileLexer& lexer, const Location& where) {
        Token name = lexer.Lex(true);
        if (name.kind == Tok::End) return {};  // a lone '#'
        if (name.kind != Tok::Ident) Throw(where, "expected a directive name after '#'");
        return name.text;
    }

    bool EvaluateIf(FileLexer& lexer, const Location& where) {
        std::vector<Token> raw = LineTokens(lexer);
        if (raw.empty()) Throw(where, "#if needs an expression");
        // defined NAME / defined(NAME) first, then macros.
        std::vector<Token> replaced;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i].kind == Tok::Ident && raw[i].text == "defined") {
                size_t j = i + 1;
                bool paren = j < raw.size() && raw[j].Is("(");
                if (paren) ++j;
                if (j >= raw.size() || raw[j].kind != Tok::Ident) Throw(where, "expected a name after 'defined'");
                Token v;
                v.kind = Tok::Number;
                v.number = macros_.count(raw[j].text) ? 1 : 0;
                v.loc = raw[i].loc;
                replaced.push_back(v);
                if (paren) {
                    if (j + 1 >= raw.size() || !raw[j + 1].Is(")")) Throw(where, "expected ')' after 'defined('");
                    ++j;
                }
                i = j;
                continue;
            }
            replaced.push_back(raw[i]);
        }
        std::vector<Token> expanded;
        std::deque<Token> work(replaced.begin(), replaced.end());
        size_t steps = 0;
        while (!work.empty()) {
            Token t = std::move(work.front());
            work.pop_front();
            auto it = t.kind == Tok::Ident ? macros_.find(t.text) : macros_.end();
            bool hidden = false;
            for (const auto& h : t.hide) hidden = hidden || h == t.text;
            if (it != macros_.end() && !hidden) {
                if (++steps > 100000 || work.size() > 100000) Throw(where, "macro expansion does not end");
                std::vector<Token> body = it->second;
                for (auto& b : body) {
                    b.loc = t.loc;
                    b.hide = t.hide;
                    b.hide.push_back(t.text);
                }
                work.insert(work.begin(), body.begin(), body.end());
                continue;
            }
            expanded.push_back(std::move(t));
        }
        VectorSource src(std::move(expanded), where);
        Evaluator eval(src, true);
        int64_t v = eval.Expression();
        if (src.Peek().kind != Tok::End) Throw(where, "unexpected " + Describe(src.Peek()) + " in #if");
        return v != 0;
    }

    void Directive(FileLexer& lexer, const Location& where) {
        std::string name = DirectiveName(lexer, where);
        if (name.empty()) return;
        // Conditionals are followed even where text is skipped.
        if (name == "if" || name == "ifdef" || name == "ifndef") {
            Condition c{Active(), false, false, false, where};
            if (c.parentActive) {
                if (name == "if") {
                    c.active = EvaluateIf(lexer, where);
                } else {
                    Token n = lexer.Lex(true);
                    if (n.kind != Tok::Ident) Throw(where, "expected a name after #" + name);
                    bool defined = macros_.count(n.text) != 0;
                    c.active = name == "ifdef" ? defined : !defined;
                    if (lexer.Lex(true).kind != Tok::End) Throw(where, "unexpected text after #" + name + " " + n.text);
                }
                c.taken = c.active;
            } else {
                lexer.SkipLine();
            }
            conditions_.push_back(c);
            return;
        }
        if (name == "elif" || name == "else" || name == "endif") {
            if (conditions_.size() <= files_.back().conditionDepth) Throw(where, "#" + name + " without #if");
            Condition& c = conditions_.back();
            if (name == "endif") {
                lexer.SkipLine();
                conditions_.pop_back();
                return;
            }
            if (c.seenElse) Throw(where, "#" + name + " after #else");
            if (name == "else") {
                lexer.SkipLine();
                c.seenElse = true;
                c.active = c.parentActive && !c.taken;
                c.taken = c.taken || c.active;
                return;
            }
            if (c.parentActive && !c.taken) {
                c.active = EvaluateIf(lexer, where);
                c.taken = c.active;
            } else {
                lexer.SkipLine();
                c.active = false;
            }
            return;
        }
        if (!Active()) {
            lexer.SkipLine();
            return;
        }
        if (name == "define") {
            Token n = lexer.Lex(true);
            if (n.kind != Tok::Ident) Throw(where, "expected a name after #define");
            std::vector<Token> body = LineTokens(lexer);
            // A '(' right after the name would make a function-like macro.
            if (!body.empty() && body[0].Is("(") && !body[0].spaceBefore)
                Throw(where, "function-like macro '" + n.text + "' is not supported");
            macros_[n.text] = body;
            return;
        }
        if (name == "undef") {
            Token n = lexer.Lex(true);
            if (n.kind != Tok::Ident) Throw(where, "expected a name after #undef");
            macros_.erase(n.text);
            lexer.SkipLine();
            return;
        }
        if (name == "include") {
            std::string file = lexer.LexIncludeName();
            lexer.SkipLine();
            std::string resolved;
            std::string text = LoadNamedFile(file, where, &resolved);
            if (onceFiles_.count(resolved)) return;
            PushFile(resolved, std::move(text));
            return;
        }
        if (name == "pragma") {
            std::vector<Token> rest = LineTokens(lexer);
            if (!rest.empty() && rest[0].kind == Tok::Ident && rest[0].text == "once") {
                onceFiles_.insert(lexer.File());
                return;
            }
            if (!rest.empty() && rest[0].kind == Tok::Ident && rest[0].text == "code_page") {
                if (rest.size() != 4 || !rest[1].Is("(") || rest[2].kind != Tok::Number || rest[2].number != 65001 ||
                    !rest[3].Is(")"))
                    Throw(where, "only #pragma code_page(65001) is supported: scripts are UTF-8");
                return;
            }
            Throw(where, "unsupported #pragma");
        }
        if (name == "error") {
            std::vector<Token> rest = LineTokens(lexer);
            std::string text;
            for (const auto& t : rest) text += (text.empty() ? "" : " ") + (t.kind == Tok::String ? Utf16ToUtf8(t.str) : t.text.empty() ? std::to_string(t.number) : t.text);
            Throw(where, "#error " + text);
        }
        Throw(where, "unsupported directive #" + name);
    }

    const Options& options_;
    std::vector<std::string>& deps_;
    std::vector<OpenFile> files_;
    std::vector<Condition> conditions_;
    std::map<std::string, std::vector<Token>> macros_;
    std::set<std::string> onceFiles_;
    std::deque<Token> pending_;
    Token next_;
    bool peeked_ = false;
    Location lastLoc_;
    size_t expansions_ = 0;
};

// ---------------------------------------------------------------------------
class Bytes {
public:
    void U8(uint32_t v) { data.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Str(const std::u16string& s) {
        for (char16_t c : s) U16(c);
        U16(0);
    }
    void Align4() {
        while (data.size() % 4) U8(0);
    }
    std::vector<uint8_t> data;
};

struct NameOrOrdinal {
    uint16_t ordinal = 0;
    std::u16string text;
    bool present = false;
};

void WriteNameOrOrdinal(Bytes& b, const NameOrOrdinal& n) {
    if (!n.present) {
        b.U16(0);
    } else if (n.ordinal) {
        b.U16(0xFFFF);
        b.U16(n.ordinal);
    } else {
        b.Str(n.text);
    }
}

struct ControlKind {
    const char* keyword;
    uint16_t classAtom;  // 0 for CONTROL (class given)
    uint32_t style;
    bool hasText;
};
constexpr ControlKind kControls[] = {
    {"LTEXT", 0x82, 0x0 | kWsGroup, true},           {"RTEXT", 0x82, 0x2 | kWsGroup, true},
    {"CTEXT", 0x82, 0x1 | kWsGroup, true},           {"PUSHBUTTON", 0x80, 0x0 | kWsTabStop, true},
    {"DEFPUSHBUTTON", 0x80, 0x1 | kWsTabStop, true}, {"PUSHBOX", 0x80, 0xA | kWsTabStop, true},
    {"GROUPBOX", 0x80, 0x7, true},                   {"CHECKBOX", 0x80, 0x2 | kWsTabStop, true},
    {"AUTOCHECKBOX", 0x80, 0x3 | kWsTabStop, true},  {"RADIOBUTTON", 0x80, 0x4 | kWsTabStop, true},
    {"AUTORADIOBUTTON", 0x80, 0x9 | kWsTabStop, true}, {"STATE3", 0x80, 0x5 | kWsTabStop, true},
    {"AUTO3STATE", 0x80, 0x6 | kWsTabStop, true},    {"EDITTEXT", 0x81, 0x0 | kWsBorder | kWsTabStop, false},
    {"COMBOBOX", 0x85, 0x1 | kWsTabStop, false},     {"LISTBOX", 0x83, 0x1 | kWsBorder, false},
    {"SCROLLBAR", 0x84, 0x0, false},
};

uint16_t PredefinedClass(const std::string& upper) {
    if (upper == "BUTTON") return 0x80;
    if (upper == "EDIT") return 0x81;
    if (upper == "STATIC") return 0x82;
    if (upper == "LISTBOX") return 0x83;
    if (upper == "SCROLLBAR") return 0x84;
    if (upper == "COMBOBOX") return 0x85;
    return 0;
}

bool IsMemoryOption(const std::string& upper) {
    static const std::set<std::string> k = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE",
                                           "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};
    return k.count(upper) != 0;
}

bool IsUnsupportedType(const std::string& upper) {
    static const std::set<std::string> k = {"MENU",       "MENUEX",      "ACCELERATORS", "BITMAP",   "CURSOR",
                                           "VERSIONINFO", "TEXTINCLUDE", "DLGINIT",      "TOOLBAR",  "FONT",
                                           "HTML",        "MESSAGETABLE", "ANICURSOR",   "ANIICON",  "DLGINCLUDE",
                                           "PLUGPLAY",    "VXD"};
    return k.count(upper) != 0;
}

class Parser {
public:
    Parser(Preprocessor& pp, std::vector<Resource>& out) : pp_(pp), out_(out) {}

    void Script() {
        for (;;) {
            const Token& t = pp_.Peek();
            if (t.kind == Tok::End) break;
            if (t.kind == Tok::Ident && Upper(t.text) == "STRINGTABLE") {
                StringTable();
                continue;
            }
            if (t.kind == Tok::Ident && Upper(t.text) == "LANGUAGE") {
                pp_.Take();
                Language();
                continue;
            }
            Statement();
        }
        EmitStringBlocks();
        for (size_t i = 0; i < out_.size(); ++i)
            for (size_t j = 0; j < i; ++j)
                if (out_[i].type == out_[j].type && out_[i].name == out_[j].name)
                    throw CompileError{out_[i].origin + ": error: resource defined twice (first at " + out_[j].origin +
                                       ")"};
    }

private:
    Token Expect(Tok kind, const std::string& what) {
        Token t = pp_.Take();
        if (t.kind != kind) Throw(t.loc, "expected " + what + ", found " + Describe(t));
        return t;
    }
    void ExpectPunct(const char* p, const std::string& context) {
        Token t = pp_.Take();
        if (!t.Is(p)) Throw(t.loc, std::string("expected '") + p + "' " + context + ", found " + Describe(t));
    }
    bool TakePunct(const char* p) {
        if (pp_.Peek().Is(p)) {
            pp_.Take();
            return true;
        }
        return false;
    }
    bool PeekWord(const char* word) {
        const Token& t = pp_.Peek();
        return t.kind == Tok::Ident && Upper(t.text) == word;
    }
    bool TakeBegin() {
        if (pp_.Peek().Is("{") || PeekWord("BEGIN")) {
            pp_.Take();
            return true;
        }
        return false;
    }
    bool AtEnd() { return pp_.Peek().Is("}") || PeekWord("END"); }

    int64_t Expr() {
        Evaluator e(pp_, false);
        return e.Expression();
    }
    uint32_t Style(uint32_t base) {
        Evaluator e(pp_, false);
        return e.Style(base);
    }
    int16_t Coordinate(const char* what) {
        Location where = pp_.Peek().loc;
        int64_t v = Expr();
        if (v < -32768 || v > 32767) Throw(where, std::string(what) + " " + std::to_string(v) + " is out of range");
        return static_cast<int16_t>(v);
    }
    std::u16string String(const std::string& what) {
        Token t = Expect(Tok::String, what);
        std::u16string s = t.str;
        while (pp_.Peek().kind == Tok::String) s += pp_.Take().str;
        return s;
    }
    // Texts stored zero-terminated (names, captions, fonts, classes, control
    // texts) cannot hold a zero character.
    static void NoZero(const std::u16string& s, const Location& where, const std::string& what) {
        if (s.find(u'\0') != std::u16string::npos) Throw(where, what + " cannot hold a zero character");
    }
    std::u16string Text(const std::string& what) {
        Location where = pp_.Peek().loc;
        std::u16string s = String(what);
        NoZero(s, where, what);
        return s;
    }

    void Language() {
        Expr();
        ExpectPunct(",", "between the language and the sublanguage");
        Expr();
    }

    void SkipMemoryOptions() {
        while (pp_.Peek().kind == Tok::Ident && IsMemoryOption(Upper(pp_.Peek().text))) pp_.Take();
    }

    Key ResourceName() {
        const Token& t = pp_.Peek();
        Key k;
        if (t.kind == Tok::Ident) {
            std::u16string upper = Utf8ToUtf16(Upper(pp_.Take().text));
            k.name = upper;
            return k;
        }
        if (t.kind == Tok::String) {
            Token s = pp_.Take();
            if (s.str.empty()) Throw(s.loc, "a resource name cannot be empty");
            NoZero(s.str, s.loc, "a resource name");
            for (auto& c : s.str)
                if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
            k.name = s.str;
            return k;
        }
        Location where = t.loc;
        int64_t v = Expr();
        if (v < 1 || v > 0xFFFF) Throw(where, "resource number " + std::to_string(v) + " is not in 1..65535");
        k.id = static_cast<uint16_t>(v);
        return k;
    }

    void Add(Key type, Key name, std::vector<uint8_t> data, const Location& where) {
        out_.push_back(Resource{std::move(type), std::move(name), std::move(data), where.Text()});
    }

    void Statement() {
        Location where = pp_.Peek().loc;
        if (pp_.Peek().kind != Tok::Ident && pp_.Peek().kind != Tok::Number && pp_.Peek().kind != Tok::String &&
            !pp_.Peek().Is("(") && !pp_.Peek().Is("-"))
            Throw(where, "expected a resource statement, found " + Describe(pp_.Peek()));
        Key name = ResourceName();
        Token type = pp_.Take();
        if (type.kind == Tok::Ident) {
            std::string upper = Upper(type.text);
            if (upper == "DIALOG" || upper == "DIALOGEX") return Dialog(name, upper == "DIALOGEX", where);
            if (upper == "ICON") return Icon(name, where);
            if (upper == "RCDATA") return Data(Key{10, {}}, name, where);
            if (upper == "STRINGTABLE" || upper == "LANGUAGE" || upper == "BEGIN" || upper == "END")
                Throw(type.loc, "expected a resource type after the resource name, found " + Describe(type));
            if (IsUnsupportedType(upper)) Throw(type.loc, "resources of type " + upper + " are not supported");
            return Data(Key{0, Utf8ToUtf16(upper)}, name, where);
        }
        if (type.kind == Tok::Number) {
            if (type.number < 1 || type.number > 0xFFFF) Throw(type.loc, "resource type number is not in 1..65535");
            return Data(Key{static_cast<uint16_t>(type.number), {}}, name, where);
        }
        if (type.kind == Tok::String && !type.str.empty()) {
            NoZero(type.str, type.loc, "a resource type");
            std::u16string upper = type.str;
            for (auto& c : upper)
                if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
            return Data(Key{0, upper}, name, where);
        }
        Throw(type.loc, "expected a resource type after the resource name, found " + Describe(type));
    }

    std::string LoadFile(const Token& fileToken) {
        return pp_.LoadNamedFile(Utf16ToUtf8(fileToken.str), fileToken.loc, nullptr);
    }

    void Data(Key type, Key name, const Location& where) {
        SkipMemoryOptions();
        if (pp_.Peek().kind == Tok::String) {
            Token file = pp_.Take();
            std::string bytes = LoadFile(file);
            Add(type, name, std::vector<uint8_t>(bytes.begin(), bytes.end()), where);
            return;
        }
        if (!TakeBegin())
            Throw(pp_.Peek().loc, "expected a file name in quotes or BEGIN, found " + Describe(pp_.Peek()));
        Bytes b;
        while (!AtEnd()) {
            const Token& t = pp_.Peek();
            if (t.kind == Tok::End) Throw(t.loc, "expected END to close the data block");
            if (t.kind == Tok::String) {
                Token s = pp_.Take();
                if (s.wide) {
                    for (char16_t c : s.str) b.U16(c);
                } else {
                    for (char c : Utf16ToUtf8(s.str)) b.U8(static_cast<unsigned char>(c));
                }
            } else {
                bool isLong = t.kind == Tok::Number && t.isLong;
                auto v = static_cast<uint32_t>(Expr());
                if (isLong) b.U32(v); else b.U16(v);
            }
            TakePunct(",");
        }
        pp_.Take();
        Add(type, name, std::move(b.data), where);
    }

    void StringTable() {
        Token head = pp_.Take();
        for (;;) {
            SkipMemoryOptions();
            if (PeekWord("LANGUAGE")) {
                pp_.Take();
                Language();
            } else if (PeekWord("CHARACTERISTICS") || PeekWord("VERSION")) {
                pp_.Take();
                Expr();
            } else {
                break;
            }
        }
        if (!TakeBegin()) Throw(pp_.Peek().loc, "expected BEGIN after STRINGTABLE, found " + Describe(pp_.Peek()));
        while (!AtEnd()) {
            Location where = pp_.Peek().loc;
            if (pp_.Peek().kind == Tok::End) Throw(where, "expected END to close the STRINGTABLE");
            int64_t id = Expr();
            if (id < 0 || id > 0xFFFF) Throw(where, "string id " + std::to_string(id) + " is not in 0..65535");
            TakePunct(",");
            std::u16string text = String("the text of string " + std::to_string(id));
            if (text.size() > 0xFFFF) Throw(where, "string " + std::to_string(id) + " is too long");
            auto key = static_cast<uint16_t>(id);
            if (strings_.count(key))
                Throw(where, "string " + std::to_string(id) + " is defined twice (first at " + stringOrigin_[key] + ")");
            strings_[key] = text;
            stringOrigin_[key] = where.Text();
        }
        pp_.Take();
        (void)head;
    }

    void EmitStringBlocks() {
        std::map<uint16_t, std::vector<std::pair<int, std::u16string>>> blocks;
        for (const auto& [id, text] : strings_) blocks[static_cast<uint16_t>((id >> 4) + 1)].push_back({id & 15, text});
        for (const auto& [block, items] : blocks) {
            std::u16string slot[16];
            for (const auto& [index, text] : items) slot[index] = text;
            Bytes b;
            for (const auto& s : slot) {
                b.U16(static_cast<uint32_t>(s.size()));
                for (char16_t c : s) b.U16(c);
            }
            std::string origin = stringOrigin_[static_cast<uint16_t>((block - 1) * 16 + items.front().first)];
            out_.push_back(Resource{Key{6, {}}, Key{block, {}}, std::move(b.data), origin});
        }
    }

    NameOrOrdinal ClassOrMenu(const char* what) {
        NameOrOrdinal n;
        n.present = true;
        const Token& t = pp_.Peek();
        if (t.kind == Tok::String) {
            Token st = pp_.Take();
            NoZero(st.str, st.loc, std::string("a ") + what + " name");
            n.text = st.str;
        } else if (t.kind == Tok::Ident) {
            n.text = Utf8ToUtf16(Upper(pp_.Take().text));
        } else {
            Location where = t.loc;
            int64_t v = Expr();
            if (v < 1 || v > 0xFFFF) Throw(where, std::string(what) + " number is not in 1..65535");
            n.ordinal = static_cast<uint16_t>(v);
        }
        return n;
    }

    void Dialog(const Key& name, bool ex, const Location& where) {
        SkipMemoryOptions();
        int16_t x = Coordinate("x");
        ExpectPunct(",", "after the dialog's x");
        int16_t y = Coordinate("y");
        ExpectPunct(",", "after the dialog's y");
        int16_t cx = Coordinate("width");
        ExpectPunct(",", "after the dialog's width");
        int16_t cy = Coordinate("height");
        uint32_t helpId = 0;
        if (TakePunct(",")) {
            if (!ex) Throw(pp_.Peek().loc, "a help id needs DIALOGEX");
            helpId = static_cast<uint32_t>(Expr());
        }
        bool hasStyle = false, hasCaption = false, hasFont = false;
        uint32_t style = 0, exStyle = 0;
        std::u16string caption, face;
        uint32_t pointSize = 0, weight = 0, italic = 0, charset = 1;
        NameOrOrdinal menu, cls;
        for (;;) {
            Token opt = pp_.Peek();
            if (opt.Is("{") || PeekWord("BEGIN")) break;
            if (opt.kind != Tok::Ident)
                Throw(opt.loc, "expected a dialog option or BEGIN, found " + Describe(opt));
            std::string word = Upper(opt.text);
            pp_.Take();
            if (word == "STYLE") {
                style = Style(0);
                hasStyle = true;
            } else if (word == "EXSTYLE") {
                exStyle = Style(0);
            } else if (word == "CAPTION") {
                caption = Text("the caption text");
                hasCaption = true;
            } else if (word == "FONT") {
                Location fw = pp_.Peek().loc;
                int64_t size = Expr();
                if (size < 0 || size > 0xFFFF) Throw(fw, "font size is out of range");
                pointSize = static_cast<uint32_t>(size);
                ExpectPunct(",", "after the font size");
                face = Text("the font name");
                if (TakePunct(",")) {
                    if (!ex) Throw(pp_.Peek().loc, "font weight, italic and charset need DIALOGEX");
                    weight = static_cast<uint32_t>(Expr());
                    if (TakePunct(",")) {
                        italic = static_cast<uint32_t>(Expr());
                        if (TakePunct(",")) charset = static_cast<uint32_t>(Expr());
                    }
                }
                hasFont = true;
            } else if (word == "CLASS") {
                cls = ClassOrMenu("class");
            } else if (word == "MENU") {
                menu = ClassOrMenu("menu");
            } else if (word == "LANGUAGE") {
                Language();
            } else if (word == "CHARACTERISTICS" || word == "VERSION") {
                Expr();
            } else {
                Throw(opt.loc, "expected a dialog option or BEGIN, found " + Describe(opt));
            }
        }
        pp_.Take();  // BEGIN
        if (!hasStyle) style = kWsPopup | kWsBorder | kWsSysMenu;
        if (hasCaption) style |= kWsCaption;
        if (hasFont) style |= kDsSetFont;

        Bytes items;  // written after the header, aligned from the template's start
        std::vector<std::vector<uint8_t>> controls;
        while (!AtEnd()) {
            if (pp_.Peek().kind == Tok::End) Throw(pp_.Peek().loc, "expected END to close the dialog");
            controls.push_back(Control(ex));
        }
        pp_.Take();  // END
        if (controls.size() > 0xFFFF) Throw(where, "too many controls");

        Bytes b;
        if (ex) {
            b.U16(1);
            b.U16(0xFFFF);
            b.U32(helpId);
            b.U32(exStyle);
            b.U32(style);
        } else {
            b.U32(style);
            b.U32(exStyle);
        }
        b.U16(static_cast<uint32_t>(controls.size()));
        b.U16(static_cast<uint16_t>(x));
        b.U16(static_cast<uint16_t>(y));
        b.U16(static_cast<uint16_t>(cx));
        b.U16(static_cast<uint16_t>(cy));
        WriteNameOrOrdinal(b, menu);
        WriteNameOrOrdinal(b, cls);
        b.Str(caption);
        if (style & kDsSetFont) {
            b.U16(pointSize);
            if (ex) {
                b.U16(weight);
                b.U8(italic);
                b.U8(charset);
            }
            b.Str(face);
        }
        for (const auto& c : controls) {
            b.Align4();
            b.data.insert(b.data.end(), c.begin(), c.end());
        }
        Add(Key{5, {}}, name, std::move(b.data), where);
    }

    NameOrOrdinal ControlText() {
        NameOrOrdinal n;
        n.present = true;
        if (pp_.Peek().kind == Tok::String) {
            n.text = Text("the control text");
            if (n.text.empty()) n.present = false;
        } else {
            Location where = pp_.Peek().loc;
            int64_t v = Expr();
            if (v < 0 || v > 0xFFFF) Throw(where, "control text number is not in 0..65535");
            n.ordinal = static_cast<uint16_t>(v);
            if (n.ordinal == 0) n.present = false;
        }
        return n;
    }

    std::vector<uint8_t> Control(bool ex) {
        Token kw = pp_.Take();
        if (kw.kind != Tok::Ident) Throw(kw.loc, "expected a control statement or END, found " + Describe(kw));
        std::string word = Upper(kw.text);
        NameOrOrdinal text, cls;
        uint32_t id = 0, style = kWsChild | kWsVisible, exStyle = 0, helpId = 0;
        int16_t x = 0, y = 0, cx = 0, cy = 0;
        Location idAt;
        auto parseId = [&]() {
            idAt = pp_.Peek().loc;
            int64_t v = Expr();
            if (!ex && !(v >= -32768 && v <= 0xFFFF) && !(v >= static_cast<int64_t>(0xFFFF8000u) && v <= 0xFFFFFFFFu))
                Throw(idAt, "control id " + std::to_string(v) + " does not fit in 16 bits (DIALOGEX allows 32)");
            id = static_cast<uint32_t>(v);
            if (!ex) id &= 0xFFFF;
        };
        auto rect = [&](bool size) {
            x = Coordinate("x");
            ExpectPunct(",", "after the control's x");
            y = Coordinate("y");
            if (!size) return;
            ExpectPunct(",", "after the control's y");
            cx = Coordinate("width");
            ExpectPunct(",", "after the control's width");
            cy = Coordinate("height");
        };
        auto tail = [&](bool withStyle) {
            if (withStyle && TakePunct(",")) style = Style(style);
            if (TakePunct(",")) exStyle = Style(0);
            if (TakePunct(",")) {
                if (!ex) Throw(pp_.Peek().loc, "a control help id needs DIALOGEX");
                helpId = static_cast<uint32_t>(Expr());
            }
        };
        if (word == "CONTROL") {
            text = ControlText();
            ExpectPunct(",", "after the control text");
            parseId();
            ExpectPunct(",", "after the control id");
            const Token& c = pp_.Peek();
            cls.present = true;
            if (c.kind == Tok::String || c.kind == Tok::Ident) {
                Token ct = pp_.Take();
                std::string name = ct.kind == Tok::String ? Utf16ToUtf8(ct.str) : ct.text;
                if (name.empty()) Throw(ct.loc, "a control class cannot be empty");
                if (ct.kind == Tok::String) NoZero(ct.str, ct.loc, "a control class");
                cls.ordinal = PredefinedClass(Upper(name));
                if (!cls.ordinal) cls.text = Utf8ToUtf16(name);
            } else {
                Throw(c.loc, "expected the control class, found " + Describe(c));
            }
            ExpectPunct(",", "after the control class");
            style = Style(style);
            ExpectPunct(",", "after the control style");
            rect(true);
            tail(false);
        } else if (word == "ICON") {
            text = ControlText();
            ExpectPunct(",", "after the icon name");
            parseId();
            ExpectPunct(",", "after the control id");
            rect(false);
            cls.present = true;
            cls.ordinal = 0x82;
            style |= 0x3;  // SS_ICON
            if (TakePunct(",")) {
                cx = Coordinate("width");
                ExpectPunct(",", "after the icon width");
                cy = Coordinate("height");
                tail(true);
            }
        } else {
            const ControlKind* kind = nullptr;
            for (const auto& k : kControls)
                if (word == k.keyword) kind = &k;
            if (!kind) Throw(kw.loc, "expected a control statement or END, found " + Describe(kw));
            style |= kind->style;
            cls.present = true;
            cls.ordinal = kind->classAtom;
            if (kind->hasText) {
                text = ControlText();
                ExpectPunct(",", "after the control text");
            }
            parseId();
            ExpectPunct(",", "after the control id");
            rect(true);
            tail(true);
        }
        Bytes b;
        if (ex) {
            b.U32(helpId);
            b.U32(exStyle);
            b.U32(style);
        } else {
            b.U32(style);
            b.U32(exStyle);
        }
        b.U16(static_cast<uint16_t>(x));
        b.U16(static_cast<uint16_t>(y));
        b.U16(static_cast<uint16_t>(cx));
        b.U16(static_cast<uint16_t>(cy));
        if (ex) b.U32(id); else b.U16(id);
        WriteNameOrOrdinal(b, cls);
        WriteNameOrOrdinal(b, text);
        b.U16(0);  // no creation data
        return std::move(b.data);
    }

    void Icon(const Key& name, const Location& where) {
        SkipMemoryOptions();
        Token file = pp_.Peek();
        if (file.kind != Tok::String) Throw(file.loc, "expected the icon file name in quotes, found " + Describe(file));
        pp_.Take();
        std::string bytes = LoadFile(file);
        auto u8 = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])); };
        auto u16 = [&](size_t at) { return u8(at) | (u8(at + 1) << 8); };
        auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
        const std::string bad = "'" + Utf16ToUtf8(file.str) + "' is not an icon file: ";
        if (bytes.size() < 6 || u16(0) != 0 || u16(2) != 1) Throw(file.loc, bad + "bad header");
        uint32_t count = u16(4);
        if (count == 0) Throw(file.loc, bad + "no images");
        if (bytes.size() < 6 + 16 * static_cast<size_t>(count)) Throw(file.loc, bad + "directory cut short");
        Bytes group;
        group.U16(0);
        group.U16(1);
        group.U16(count);
        for (uint32_t i = 0; i < count; ++i) {
            size_t e = 6 + 16 * static_cast<size_t>(i);
            uint32_t size = u32(e + 8), offset = u32(e + 12);
            if (size == 0 || offset > bytes.size() || size > bytes.size() - offset)
                Throw(file.loc, bad + "image " + std::to_string(i) + " lies outside the file");
            if (nextIconId_ > 0xFFFF) Throw(file.loc, "too many icon images");
            auto iconId = static_cast<uint16_t>(nextIconId_++);
            std::vector<uint8_t> image(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
            Add(Key{3, {}}, Key{iconId, {}}, std::move(image), where);
            for (size_t k = 0; k < 4; ++k) group.U8(u8(e + k));  // width, height, colours, reserved
            group.U16(u16(e + 4));                                // planes
            group.U16(u16(e + 6));                                // bits per pixel
            group.U32(size);
            group.U16(iconId);
        }
        Add(Key{14, {}}, name, std::move(group.data), where);
    }

    Preprocessor& pp_;
    std::vector<Resource>& out_;
    std::map<uint16_t, std::u16string> strings_;
    std::map<uint16_t, std::string> stringOrigin_;
    uint32_t nextIconId_ = 1;
};

Result Run(const std::string& name, const std::string& text, const Options& options) {
    Result result;
    try {
        Preprocessor pp(options, result.dependencies);
        pp.PushFile(name, text);
        Parser parser(pp, result.resources);
        parser.Script();
        result.ok = true;
    } catch (const CompileError& e) {
        result.ok = false;
        result.error = e.text;
        result.resources.clear();
    }
    return result;
}

void AppendWideLiteral(std::string& out, const std::u16string& s) {
    out += "u\"";
    char buf[8];
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out.push_back(static_cast<char>(c));
        } else {
            std::snprintf(buf, sizeof buf, "\\x%04X", static_cast<unsigned>(c));
            out += buf;
            out += "\" u\"";  // end the literal so a following hex digit is not swallowed
        }
    }
    out += "\"";
}

}  // namespace

bool ReadFileFromDisk(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

Result CompileFile(const std::string& path, const Options& options) {
    std::string text;
    if (!options.loader || !options.loader(path, text)) {
        Result r;
        r.error = path + ": error: cannot open the script";
        return r;
    }
    Result r = Run(path, text, options);
    r.dependencies.insert(r.dependencies.begin(), path);
    return r;
}

Result CompileText(const std::string& name, const std::string& text, const Options& options) {
    return Run(name, text, options);
}

std::string EmitTable(const std::vector<Resource>& resources, const std::string& sourceName) {
    std::string out;
    size_t total = 0;
    for (const auto& r : resources) total += r.data.size();
    out.reserve(total * 2 + 4096);
    out += "// Generated by tessaloom-rc from " + sourceName + "; do not edit.\n";
    out += "#include \"platform/win32/rc_table.h\"\n\nnamespace {\n\n";
    char buf[16];
    for (size_t i = 0; i < resources.size(); ++i) {
        const auto& d = resources[i].data;
        out += "// " + resources[i].origin + "\n";
        out += "alignas(8) const char kData" + std::to_string(i) + "[] =\n    \"";
        size_t column = 0;
        for (uint8_t byte : d) {
            if (column >= 100) {
                out += "\"\n    \"";
                column = 0;
            }
            // Octal escapes are at most three digits, so no following
            // character can be taken into one.
            if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\' && byte != '?') {
                out.push_back(static_cast<char>(byte));
                column += 1;
            } else {
                std::snprintf(buf, sizeof buf, "\\%03o", byte);
                out += buf;
                column += 4;
            }
        }
        out += "\";\n\n";
    }
    if (resources.empty()) {
        out += "const tessaloom::ExecutableResourceRegistration kRegistration(nullptr, 0);\n\n";
    } else {
        out += "const tessaloom::ResourceTableEntry kEntries[] = {\n";
        for (size_t i = 0; i < resources.size(); ++i) {
            const auto& r = resources[i];
            out += "    {";
            if (r.type.id) out += "nullptr, " + std::to_string(r.type.id);
            else AppendWideLiteral(out, r.type.name), out += ", 0";
            out += ", ";
            if (r.name.id) out += "nullptr, " + std::to_string(r.name.id);
            else AppendWideLiteral(out, r.name.name), out += ", 0";
            out += ", kData" + std::to_string(i) + ", " + std::to_string(r.data.size()) + "},\n";
        }
        out += "};\n\n";
        out += "const tessaloom::ExecutableResourceRegistration kRegistration(kEntries, sizeof kEntries / sizeof kEntries[0]);\n\n";
    }
    out += "}  // namespace\n";
    return out;
}

}  // namespace tessaloom::rc
