// The resource compiler's parser: statements into resources laid out as a
// Windows executable stores them.
// Included by rc_compiler.cpp.
#pragma once

#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "tools/rc/rc_compiler.h"
#include "tools/rc/rc_preprocessor.h"

namespace tessaloom::rc::detail {

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

inline void WriteNameOrOrdinal(Bytes& b, const NameOrOrdinal& n) {
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

inline uint16_t PredefinedClass(const std::string& upper) {
    if (upper == "BUTTON") return 0x80;
    if (upper == "EDIT") return 0x81;
    if (upper == "STATIC") return 0x82;
    if (upper == "LISTBOX") return 0x83;
    if (upper == "SCROLLBAR") return 0x84;
    if (upper == "COMBOBOX") return 0x85;
    return 0;
}

inline bool IsMemoryOption(const std::string& upper) {
    static const std::set<std::string> k = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE",
                                           "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};
    return k.count(upper) != 0;
}

inline bool IsUnsupportedType(const std::string& upper) {
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

}  // namespace tessaloom::rc::detail
