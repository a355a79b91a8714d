#include "platform/win32/strings.h"

#include <cstdarg>
#include <cstdint>

namespace tessaloom {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
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
}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<uint8_t>(text[i]);
        int extra;
        char32_t c;
        char32_t min;
        if (b0 < 0x80) {
            extra = 0, c = b0, min = 0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1, c = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, c = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, c = b0 & 0x07, min = 0x10000;
        } else {
            AppendUtf16(out, kReplacement);
            ++i;
            continue;
        }
        // Take the continuation bytes that are there; a sequence cut short by
        // the end of the text or by a non-continuation byte is one U+FFFD.
        int taken = 0;
        while (taken < extra && i + 1 + static_cast<size_t>(taken) < text.size()) {
            const auto b = static_cast<uint8_t>(text[i + 1 + static_cast<size_t>(taken)]);
            if ((b & 0xC0) != 0x80) break;
            c = (c << 6) | (b & 0x3F);
            ++taken;
        }
        const bool ok = taken == extra;
        extra = taken;
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        AppendUtf16(out, c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

size_t WStrLen(const WCHAR* text) {
    size_t n = 0;
    if (!text) return 0;
    while (text[n]) ++n;
    return n;
}

}  // namespace tessaloom

namespace {

// Formats into `out` (at most `cap` units, terminator excluded); returns false
// when the text did not fit.
bool FormatW(std::u16string& out, size_t cap, const WCHAR* format, va_list args) {
    auto put = [&](char16_t c) {
        if (out.size() >= cap) return false;
        out.push_back(c);
        return true;
    };
    auto putPadded = [&](const std::u16string& body, int width, bool left, char16_t pad) {
        int fill = width - static_cast<int>(body.size());
        if (!left)
            for (int k = 0; k < fill; ++k)
                if (!put(pad)) return false;
        for (char16_t c : body)
            if (!put(c)) return false;
        if (left)
            for (int k = 0; k < fill; ++k)
                if (!put(u' ')) return false;
        return true;
    };
    for (const WCHAR* p = format; *p; ++p) {
        if (*p != u'%') {
            if (!put(*p)) return false;
            continue;
        }
        ++p;
        if (*p == u'%') {
            if (!put(u'%')) return false;
            continue;
        }
        bool left = false;
        char16_t pad = u' ';
        for (;; ++p) {
            if (*p == u'-') left = true;
            else if (*p == u'0') pad = u'0';
            else break;
        }
        int width = 0;
        while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
        bool wideStr = false;
        if (*p == u'l') {
            wideStr = true;
            ++p;
        }
        (void)wideStr;
        std::u16string body;
        switch (*p) {
            case u'd':
            case u'i': {
                const int v = va_arg(args, int);
                const int64_t w = v;
                const uint64_t mag = w < 0 ? static_cast<uint64_t>(-w) : static_cast<uint64_t>(w);
                std::u16string digits;
                uint64_t m = mag;
                do {
                    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + m % 10));
                    m /= 10;
                } while (m);
                if (w < 0) {
                    if (pad == u'0') {
                        if (!put(u'-')) return false;
                        --width;
                    } else {
                        digits.insert(digits.begin(), u'-');
                    }
                }
                body = digits;
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                unsigned v = va_arg(args, unsigned);
                const unsigned base = *p == u'u' ? 10 : 16;
                const char* digitsSet = *p == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
                do {
                    body.insert(body.begin(), static_cast<char16_t>(digitsSet[v % base]));
                    v /= base;
                } while (v);
                break;
            }
            case u'c':
                body.push_back(static_cast<char16_t>(va_arg(args, int)));
                pad = u' ';
                break;
            case u's':
            case u'S': {
                const WCHAR* s = va_arg(args, const WCHAR*);
                body = s ? std::u16string(s) : std::u16string(u"(null)");
                pad = u' ';
                break;
            }
            default:
                // An unknown conversion is copied as it stands.
                if (!put(u'%')) return false;
                if (!*p) return true;
                if (!put(*p)) return false;
                continue;
        }
        if (!putPadded(body, width, left, pad)) return false;
        if (!*p) break;
    }
    return true;
}

}  // namespace

int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    if (!buffer || count == 0) return -1;
    std::u16string out;
    va_list args;
    va_start(args, format);
    const bool fit = FormatW(out, count - 1, format, args);
    va_end(args);
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return fit ? static_cast<int>(out.size()) : -1;
}

int wsprintfW(WCHAR* buffer, const WCHAR* format, ...) {
    constexpr size_t kWsprintfMax = 1024;  // Windows' own limit for wsprintf
    std::u16string out;
    va_list args;
    va_start(args, format);
    FormatW(out, kWsprintfMax - 1, format, args);
    va_end(args);
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return static_cast<int>(out.size());
}

int lstrlenW(const WCHAR* text) { return static_cast<int>(tessaloom::WStrLen(text)); }

WCHAR* lstrcpyW(WCHAR* dest, const WCHAR* src) {
    size_t i = 0;
    for (; src[i]; ++i) dest[i] = src[i];
    dest[i] = 0;
    return dest;
}

WCHAR* lstrcpynW(WCHAR* dest, const WCHAR* src, int count) {
    if (!dest || count <= 0) return dest;
    int i = 0;
    for (; src && i < count - 1 && src[i]; ++i) dest[i] = src[i];
    dest[i] = 0;
    return dest;
}

WCHAR* lstrcatW(WCHAR* dest, const WCHAR* src) {
    lstrcpyW(dest + tessaloom::WStrLen(dest), src);
    return dest;
}

int lstrcmpW(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (!*a) return 0;
    }
}

int lstrcmpiW(const WCHAR* a, const WCHAR* b) {
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    for (;; ++a, ++b) {
        const char16_t x = lower(*a), y = lower(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}
