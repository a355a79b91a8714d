// The resource compiler's preprocessor: expression evaluation over a token
// source, then files, macros and conditionals.
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
#include "tools/rc/rc_lexer.h"

namespace tessaloom::rc::detail {

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

}  // namespace tessaloom::rc::detail
