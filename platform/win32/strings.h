// UTF-16 strings: WCHAR is char16_t and strings are std::u16string.
// Conversions to UTF-8 happen only where a Linux call takes a string.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/types.h"

namespace tessaloom {

// Invalid sequences (lone surrogates, bad UTF-8) become U+FFFD; never throws.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Length of a zero-terminated UTF-16 string (wcslen).
size_t WStrLen(const WCHAR* text);

}  // namespace tessaloom

// wsprintfW / swprintf for the patterns the system formats: %d %i %u %x %X
// %s (a WCHAR string) %c %ls %%, with optional width, zero padding and '-'.
// Writes at most `count` units including the terminator; returns the units
// written without the terminator, or -1 when the text was cut.
int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
// wsprintfW writes into a buffer the caller sized (Windows caps it at 1024 units).
int wsprintfW(WCHAR* buffer, const WCHAR* format, ...);
int lstrlenW(const WCHAR* text);
WCHAR* lstrcpyW(WCHAR* dest, const WCHAR* src);
// Copies at most count - 1 units and always terminates; a null source copies nothing.
WCHAR* lstrcpynW(WCHAR* dest, const WCHAR* src, int count);
WCHAR* lstrcatW(WCHAR* dest, const WCHAR* src);
int lstrcmpW(const WCHAR* a, const WCHAR* b);
int lstrcmpiW(const WCHAR* a, const WCHAR* b);
