// The resource compiler's lexer: the tokens of one file.
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
#include "tools/rc/rc_tokens.h"

namespace tessaloom::rc::detail {

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

}  // namespace tessaloom::rc::detail
