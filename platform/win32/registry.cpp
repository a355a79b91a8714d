// The registry: HKEY_CURRENT_USER in one REGEDIT4 text file, HKEY_CLASSES_ROOT
// with the browser command only.
#include "platform/win32/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/strings.h"
#include "platform/win32/test_hooks.h"

namespace tessaloom::win32 {
namespace {

struct Value {
    std::u16string name;  // as given; empty is the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
struct Key {
    std::u16string path;  // as first given, without the root
    std::vector<Value> values;
};
// Keys by folded path.
using Hive = std::map<std::u16string, Key>;

enum class Root { CurrentUser, ClassesRoot };

struct OpenKey {
    Root root;
    std::u16string path;
};

std::mutex g_mutex;
Hive g_user;
bool g_loaded = false;
bool g_damagedInPlace = false;  // a damaged file could not be moved aside: writes refused
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
} g_stamp;
std::map<uintptr_t, OpenKey> g_open;
uintptr_t g_nextHandle = 0x1000;
long long g_failAfterBytes = -1;
bool g_failLeavesTemporary = false;

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }
std::u16string Folded(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = Fold(c);
    return out;
}
bool EqualNoCase(std::u16string_view a, std::u16string_view b) { return Folded(a) == Folded(b); }

// Joins and tidies a key path: no empty segments, no leading or trailing '\'.
std::u16string JoinPath(std::u16string_view base, std::u16string_view sub) {
    std::u16string all(base);
    all += u'\\';
    all += sub;
    std::u16string out, segment;
    for (char16_t c : all) {
        if (c == u'\\') {
            if (!segment.empty()) {
                if (!out.empty()) out += u'\\';
                out += segment;
                segment.clear();
            }
        } else {
            segment += c;
        }
    }
    if (!segment.empty()) {
        if (!out.empty()) out += u'\\';
        out += segment;
    }
    return out;
}

void AddKeyWithParents(Hive& hive, const std::u16string& path) {
    size_t pos = 0;
    while (true) {
        size_t next = path.find(u'\\', pos);
        std::u16string prefix = path.substr(0, next);
        std::u16string f = Folded(prefix);
        if (!hive.count(f)) hive[f] = Key{prefix, {}};
        if (next == std::u16string::npos) break;
        pos = next + 1;
    }
}

// --- where the file lives -------------------------------------------------------
std::string RegistryDir() {
    if (const char* d = std::getenv("TESSALOOM_REGISTRY_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/tessaloom";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/tessaloom";
}
std::string RegistryFile() { return RegistryDir() + "/user.reg"; }

FileStamp StampOf(const std::string& path) {
    FileStamp s;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}
bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.exists == b.exists && a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtimeNs == b.mtimeNs;
}

// --- the text form -----------------------------------------------------------------
void AppendEscaped(std::string& out, const std::u16string& text) {
    for (char c : Utf16ToUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
    static const char* digits = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) out += ',';
        if (i && i % 24 == 0) out += "\\\n  ";
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
}

// A REG_SZ that can be written as a quoted string: whole UTF-16 units, one
// terminator at the end and no control characters.
std::optional<std::u16string> PlainString(const Value& v) {
    if (v.type != REG_SZ || v.data.size() < 2 || v.data.size() % 2) return std::nullopt;
    std::u16string s(v.data.size() / 2, u'\0');
    std::memcpy(s.data(), v.data.data(), v.data.size());
    if (s.back() != 0) return std::nullopt;
    s.pop_back();
    for (char16_t c : s)
        if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return s;
}

std::string Serialize(const Hive& hive) {
    std::string out = "REGEDIT4\n";
    for (const auto& [folded, key] : hive) {
        out += "\n[HKEY_CURRENT_USER\\";
        out += Utf16ToUtf8(key.path);
        out += "]\n";
        for (const auto& v : key.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                out += '"';
                AppendEscaped(out, v.name);
                out += '"';
            }
            out += '=';
            if (auto s = PlainString(v)) {
                out += '"';
                AppendEscaped(out, *s);
                out += '"';
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                DWORD d;
                std::memcpy(&d, v.data.data(), 4);
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", d);
                out += buf;
            } else if (v.type == REG_BINARY) {
                out += "hex:";
                AppendHex(out, v.data);
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                out += buf;
                AppendHex(out, v.data);
            }
            out += '\n';
        }
    }
    return out;
}

struct Parser {
    std::string text;
    size_t pos = 0;
    std::string error;
    int line = 1;
    int badLines = 0;

    bool Fail(const std::string& why) {
        if (error.empty()) error = "line " + std::to_string(line) + ": " + why;
        return false;
    }
    bool AtEnd() const { return pos >= text.size(); }
    char Peek() const { return AtEnd() ? '\0' : text[pos]; }
    std::string ReadLine() {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(pos, end - pos);
        pos = end < text.size() ? end + 1 : end;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        return l;
    }
    // A quoted string starting at l[i] == '"'; i ends after the closing quote.
    bool Quoted(const std::string& l, size_t& i, std::string& out) {
        ++i;
        while (i < l.size()) {
            char c = l[i++];
            if (c == '"') return true;
            if (c == '\\') {
                if (i >= l.size()) return Fail("escape at end of line");
                char e = l[i++];
                if (e != '\\' && e != '"') return Fail("unknown escape");
                out += e;
            } else {
                out += c;
            }
        }
        return Fail("unterminated string");
    }
    bool HexList(std::string rest, std::vector<BYTE>& out) {
        // Continued on following lines while a line ends with '\'.
        std::string all;
        for (;;) {
            while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
            if (!rest.empty() && rest.back() == '\\') {
                rest.pop_back();
                all += rest;
                if (AtEnd()) return Fail("hex list continues past the end");
                rest = ReadLine();
                ++line;
                continue;
            }
            all += rest;
            break;
        }
        std::string digits;
        for (char c : all) {
            if (c == ' ' || c == '\t') continue;
            if (c == ',') {
                if (digits.size() != 2) return Fail("bad hex byte");
                out.push_back(static_cast<BYTE>(std::strtoul(digits.c_str(), nullptr, 16)));
                digits.clear();
            } else if (std::isxdigit(static_cast<unsigned char>(c))) {
                digits += c;
            } else {
                return Fail("bad character in hex list");
            }
        }
        if (!digits.empty()) {
            if (digits.size() != 2) return Fail("bad hex byte");
            out.push_back(static_cast<BYTE>(std::strtoul(digits.c_str(), nullptr, 16)));
        } else if (!out.empty() || all.find(',') != std::string::npos) {
            return Fail("hex list ends with a comma");
        }
        return true;
    }

    // One line (with the lines a hex list continues on) into the hive, under
    // the key named last.  False for a line that does not read: it is left
    // out and the lines after it are read all the same.
    bool Line(const std::string& l, Hive& hive, Key*& current) {
        static const std::string root = "HKEY_CURRENT_USER";
        size_t i = 0;
        while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
        if (i == l.size() || l[i] == ';') return true;
        if (l[i] == '[') {
            size_t close = l.rfind(']');
            // The values after a key name that does not read have no key to go to.
            current = nullptr;
            if (close == std::string::npos || close < i) return Fail("unterminated key name");
            std::string name = l.substr(i + 1, close - i - 1);
            if (name.compare(0, root.size(), root) != 0 || (name.size() > root.size() && name[root.size()] != '\\'))
                return Fail("key outside HKEY_CURRENT_USER");
            std::u16string path = JoinPath(u"", Utf8ToUtf16(name.substr(root.size())));
            if (path.empty()) return Fail("values directly under the root are not kept");
            AddKeyWithParents(hive, path);
            current = &hive[Folded(path)];
            return true;
        }
        if (!current) return Fail("value outside a key");
        std::string name;
        if (l[i] == '@') {
            ++i;
        } else if (l[i] == '"') {
            if (!Quoted(l, i, name)) return false;
            if (name.empty()) return Fail("empty value name");
        } else {
            return Fail("unexpected text");
        }
        if (i >= l.size() || l[i] != '=') return Fail("missing '='");
        ++i;
        std::string data = l.substr(i);
        Value v;
        v.name = Utf8ToUtf16(name);
        if (!data.empty() && data[0] == '"') {
            size_t j = 0;
            std::string s;
            if (!Quoted(data, j, s)) return false;
            if (j != data.size()) return Fail("text after a string");
            std::u16string w = Utf8ToUtf16(s);
            w.push_back(0);
            v.type = REG_SZ;
            v.data.resize(w.size() * 2);
            std::memcpy(v.data.data(), w.data(), v.data.size());
        } else if (data.compare(0, 6, "dword:") == 0) {
            std::string hex = data.substr(6);
            if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return Fail("bad dword");
            DWORD d = static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16));
            v.type = REG_DWORD;
            v.data.resize(4);
            std::memcpy(v.data.data(), &d, 4);
        } else if (data.compare(0, 4, "hex:") == 0) {
            v.type = REG_BINARY;
            if (!HexList(data.substr(4), v.data)) return false;
        } else if (data.compare(0, 4, "hex(") == 0) {
            size_t close = data.find("):");
            if (close == std::string::npos || close == 4) return Fail("bad hex type");
            std::string t = data.substr(4, close - 4);
            if (t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos || t.size() > 8)
                return Fail("bad hex type");
            v.type = static_cast<DWORD>(std::strtoul(t.c_str(), nullptr, 16));
            if (!HexList(data.substr(close + 2), v.data)) return false;
        } else {
            return Fail("unknown value data");
        }
        bool replaced = false;
        for (auto& old : current->values)
            if (EqualNoCase(old.name, v.name)) old = v, replaced = true;
        if (!replaced) current->values.push_back(std::move(v));
        return true;
    }

    // Reads every line that reads; each one that does not is left out and
    // counted in `badLines`, the first fault's reason kept in `error`.  True
    // when the header and every line read.
    bool Parse(Hive& hive) {
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
        // Header: the first non-empty line.  Without it the lines are still
        // read as a registry file's.
        bool header = false;
        while (!AtEnd()) {
            const size_t lineStart = pos;
            std::string l = ReadLine();
            if (l.empty()) {
                ++line;
                continue;
            }
            if (l == "REGEDIT4") {
                header = true;
                ++line;
            } else {
                pos = lineStart;
            }
            break;
        }
        if (!header) Fail("no REGEDIT4 header");
        Key* current = nullptr;
        while (!AtEnd()) {
            const std::string l = ReadLine();
            if (!Line(l, hive, current)) ++badLines;
            ++line;
        }
        return header && badLines == 0;
    }
};

// Keeps a damaged file aside under a name of its own.  True when it was moved;
// otherwise it stays in place and no write may replace it.
bool MoveAside(const std::string& file, const std::string& why, int badLines) {
    std::string aside = file + ".damaged-" + std::to_string(static_cast<long long>(std::time(nullptr)));
    std::string candidate = aside;
    for (int n = 1; ::access(candidate.c_str(), F_OK) == 0 && n < 1000; ++n) candidate = aside + "-" + std::to_string(n);
    if (::rename(file.c_str(), candidate.c_str()) == 0) {
        std::fprintf(stderr,
                     "tessaloom: warning: the registry file %s is damaged (%s; %d line%s left out); kept as %s, "
                     "the values that read are kept\n",
                     file.c_str(), why.c_str(), badLines, badLines == 1 ? "" : "s", candidate.c_str());
        g_damagedInPlace = false;
        return true;
    }
    std::fprintf(stderr, "tessaloom: warning: the registry file %s is damaged (%s) and cannot be moved aside (%s); "
                 "the values that read are kept, settings will not be saved\n", file.c_str(), why.c_str(),
                 std::strerror(errno));
    g_damagedInPlace = true;
    return false;
}

bool WriteHive(const Hive& hive);

// Reads the file when it was never read or another process replaced it.
void EnsureLoaded() {
    std::string file = RegistryFile();
    FileStamp now = StampOf(file);
    if (g_loaded && SameStamp(now, g_stamp)) return;
    g_loaded = true;
    g_stamp = now;
    g_user.clear();
    g_damagedInPlace = false;
    if (!now.exists) return;
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "tessaloom: warning: cannot read the registry file %s: %s\n", file.c_str(), std::strerror(errno));
        g_damagedInPlace = true;
        return;
    }
    Parser p;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) p.text.append(buf, n);
    std::fclose(f);
    Hive hive;
    const bool whole = p.Parse(hive);
    g_user = std::move(hive);
    if (whole) return;
    // The lines that did not read are left out; every other value stays.  A
    // clean file of those values takes the damaged one's place at once, so
    // that the next run reads them too; the damaged file is kept aside.
    if (MoveAside(file, p.error, p.badLines)) WriteHive(g_user);
    g_stamp = StampOf(file);
}

bool MakeDirs(const std::string& dir) {
    std::string partial;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
        if (i < dir.size()) partial += dir[i];
    }
    return true;
}

// Creates a new temporary file beside the registry file, for this process
// alone to write: never an existing file and never through a link planted
// under its name (O_EXCL refuses both), readable by the user only.  A name
// that is taken gets a number after it.  Returns the descriptor, or -1 with
// errno set and `path` the last name tried.
int CreateTemporary(const std::string& file, std::string* path) {
    const std::string base = file + ".tmp-" + std::to_string(static_cast<long long>(::getpid()));
    constexpr int kTries = 100;
    for (int n = 0; n < kTries; ++n) {
        *path = n == 0 ? base : base + "-" + std::to_string(n);
        const int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // The mode is 0600 whatever the umask allowed.
            if (::fchmod(fd, 0600) != 0) {
                const int saved = errno;
                ::close(fd);
                ::unlink(path->c_str());
                errno = saved;
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Writes the hive to a temporary file and renames it over the registry file.
bool WriteHive(const Hive& hive) {
    if (g_damagedInPlace) {
        std::fprintf(stderr, "tessaloom: the registry file is damaged and was not moved aside; not writing\n");
        return false;
    }
    std::string dir = RegistryDir();
    std::string file = RegistryFile();
    if (!MakeDirs(dir)) {
        std::fprintf(stderr, "tessaloom: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    std::string text = Serialize(hive);
    std::string temp;
    int fd = CreateTemporary(file, &temp);
    if (fd < 0) {
        std::fprintf(stderr, "tessaloom: cannot write %s: %s\n", temp.c_str(), std::strerror(errno));
        return false;
    }
    size_t limit = text.size();
    bool injected = g_failAfterBytes >= 0;
    if (injected) limit = std::min<size_t>(limit, static_cast<size_t>(g_failAfterBytes));
    bool leaveTemp = injected && g_failLeavesTemporary;
    g_failAfterBytes = -1;
    size_t done = 0;
    bool ok = true;
    while (done < limit) {
        ssize_t w = ::write(fd, text.data() + done, limit - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (injected) {
        errno = ENOSPC;
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    int savedErrno = errno;
    if (::close(fd) != 0 && ok) ok = false, savedErrno = errno;
    if (ok && ::rename(temp.c_str(), file.c_str()) != 0) ok = false, savedErrno = errno;
    if (!ok) {
        std::fprintf(stderr, "tessaloom: the registry could not be written (%s); the previous settings stay\n",
                     std::strerror(savedErrno));
        if (!leaveTemp) ::unlink(temp.c_str());
        return false;
    }
    g_stamp = StampOf(file);
    return true;
}

// --- the classes root ----------------------------------------------------------
const Hive& ClassesRoot() {
    static const Hive hive = [] {
        Hive h;
        AddKeyWithParents(h, u"http\\shell\\open\\command");
        std::u16string cmd = u"xdg-open \"%1\"";
        Value v;
        v.type = REG_SZ;
        v.data.resize((cmd.size() + 1) * 2);
        std::memcpy(v.data.data(), cmd.c_str(), v.data.size());
        h[Folded(u"http\\shell\\open\\command")].values.push_back(v);
        return h;
    }();
    return hive;
}

bool Resolve(HKEY key, Root* root, std::u16string* path) {
    if (key == HKEY_CURRENT_USER) {
        *root = Root::CurrentUser;
        path->clear();
        return true;
    }
    if (key == HKEY_CLASSES_ROOT) {
        *root = Root::ClassesRoot;
        path->clear();
        return true;
    }
    auto it = g_open.find(reinterpret_cast<uintptr_t>(key));
    if (it == g_open.end()) return false;
    *root = it->second.root;
    *path = it->second.path;
    return true;
}

HKEY NewHandle(Root root, const std::u16string& path) {
    uintptr_t h = g_nextHandle;
    g_nextHandle += 4;
    g_open[h] = OpenKey{root, path};
    return reinterpret_cast<HKEY>(h);
}

const Key* FindKey(Root root, const std::u16string& path) {
    const Hive& hive = root == Root::CurrentUser ? g_user : ClassesRoot();
    auto it = hive.find(Folded(path));
    return it == hive.end() ? nullptr : &it->second;
}

const Value* FindValue(const Key& key, LPCWSTR name) {
    std::u16string_view n = name ? std::u16string_view(name) : std::u16string_view();
    for (const auto& v : key.values)
        if (EqualNoCase(v.name, n)) return &v;
    return nullptr;
}

}  // namespace
}  // namespace tessaloom::win32

using namespace tessaloom::win32;

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, SECURITY_ATTRIBUTES*, PHKEY result,
                     LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(g_mutex);
    Root root;
    std::u16string base;
    if (!Resolve(key, &root, &base)) return ERROR_INVALID_HANDLE;
    if (subKey && subKey[0] == u'\\') return ERROR_BADDB;
    std::u16string path = JoinPath(base, subKey ? subKey : u"");
    if (root == Root::ClassesRoot) {
        if (!FindKey(root, path)) return ERROR_ACCESS_DENIED;
        *result = NewHandle(root, path);
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    EnsureLoaded();
    bool existed = FindKey(root, path) != nullptr;
    if (!existed) {
        Hive next = g_user;
        AddKeyWithParents(next, path);
        // An empty key holds no settings: when it cannot be written it still
        // exists for this process, and is written with its first value.
        WriteHive(next);
        g_user = std::move(next);
    }
    *result = NewHandle(root, path);
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(g_mutex);
    Root root;
    std::u16string base;
    if (!Resolve(key, &root, &base)) return ERROR_INVALID_HANDLE;
    std::u16string path = JoinPath(base, subKey ? subKey : u"");
    if (root == Root::CurrentUser) EnsureLoaded();
    if (!path.empty() && !FindKey(root, path)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(root, path);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    return g_open.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Root root;
    std::u16string path;
    if (!Resolve(key, &root, &path)) return ERROR_INVALID_HANDLE;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    if (root == Root::CurrentUser) EnsureLoaded();
    const Key* k = FindKey(root, path);
    if (!k) return ERROR_FILE_NOT_FOUND;  // the key went away with a damaged file
    const Value* v = FindValue(*k, name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    DWORD needed = static_cast<DWORD>(v->data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, v->data.data(), needed);
    }
    if (size) *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Root root;
    std::u16string path;
    if (!Resolve(key, &root, &path)) return ERROR_INVALID_HANDLE;
    if (root != Root::CurrentUser) return ERROR_ACCESS_DENIED;
    if (path.empty()) return ERROR_ACCESS_DENIED;
    if (size && !data) return ERROR_INVALID_PARAMETER;
    std::u16string n = name ? std::u16string(name) : std::u16string();
    for (char16_t c : n)
        if (c < 0x20) return ERROR_INVALID_PARAMETER;  // not representable in the file
    EnsureLoaded();
    Hive next = g_user;
    AddKeyWithParents(next, path);
    Key& k = next[Folded(path)];
    Value v{n, type, std::vector<BYTE>(data, data + size)};
    bool replaced = false;
    for (auto& old : k.values)
        if (EqualNoCase(old.name, n)) old.type = type, old.data = v.data, replaced = true;
    if (!replaced) k.values.push_back(std::move(v));
    if (!WriteHive(next)) return ERROR_WRITE_FAULT;
    g_user = std::move(next);
    return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Root root;
    std::u16string path;
    if (!Resolve(key, &root, &path)) return ERROR_INVALID_HANDLE;
    if (root != Root::CurrentUser) return ERROR_ACCESS_DENIED;
    EnsureLoaded();
    Hive next = g_user;
    auto it = next.find(Folded(path));
    if (it == next.end()) return ERROR_FILE_NOT_FOUND;
    std::u16string_view n = name ? std::u16string_view(name) : std::u16string_view();
    auto& values = it->second.values;
    auto v = std::find_if(values.begin(), values.end(), [&](const Value& x) { return EqualNoCase(x.name, n); });
    if (v == values.end()) return ERROR_FILE_NOT_FOUND;
    values.erase(v);
    if (!WriteHive(next)) return ERROR_WRITE_FAULT;
    g_user = std::move(next);
    return ERROR_SUCCESS;
}

namespace tessaloom::test {

std::string RegistryFilePath() { return win32::RegistryFile(); }

void FailNextRegistryWrite(long long bytes, bool leaveTemporary) {
    std::lock_guard<std::mutex> lock(win32::g_mutex);
    win32::g_failAfterBytes = bytes;
    win32::g_failLeavesTemporary = leaveTemporary;
}

void ReloadRegistry() {
    std::lock_guard<std::mutex> lock(win32::g_mutex);
    win32::g_loaded = false;
}

}  // namespace tessaloom::test
