#include <gtest/gtest.h>

#include "platform/com/objbase.h"
#include "platform/crt/rand.h"
#include "platform/win32/strings.h"

using tessaloom::Utf16ToUtf8;
using tessaloom::Utf8ToUtf16;

TEST(Strings, RoundTripsAcrossPlanes) {
    const std::u16string cases[] = {u"", u"Tessaloom", u"\u00e9t\u00e9", u"\u6f22\u5b57", u"\U0001F525 fire"};
    for (const auto& s : cases) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F525"), "\xF0\x9F\x94\xA5");
}

TEST(Strings, DamagedInputBecomesReplacement) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");        // lone high surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\xDC00")), "a\xEF\xBF\xBD");         // lone low surrogate
    EXPECT_EQ(Utf8ToUtf16("\xE6\xBC"), u"\uFFFD");                               // cut-off sequence
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD");                               // overlong
    EXPECT_EQ(Utf8ToUtf16("\xFF" "a"), u"\uFFFDa");
    EXPECT_EQ(Utf8ToUtf16("\xE6" "a"), u"\uFFFDa");                              // bad continuation
}

TEST(Strings, FormatPatterns) {
    WCHAR buf[64];
    EXPECT_EQ(swprintf(buf, 64, u"Screen %d", 3), 8);
    EXPECT_EQ(std::u16string(buf), u"Screen 3");
    swprintf(buf, 64, u"%dx%d %u%% %s", 1024, -768, 7u, u"Hz");
    EXPECT_EQ(std::u16string(buf), u"1024x-768 7% Hz");
    swprintf(buf, 64, u"[%04X|%-3d|%5s]", 0xBEEFu, 7, u"ab");
    EXPECT_EQ(std::u16string(buf), u"[BEEF|7  |   ab]");
    swprintf(buf, 64, u"%03d", -5);
    EXPECT_EQ(std::u16string(buf), u"-05");
    // Cut to the buffer: the terminator always fits and the result says so.
    EXPECT_EQ(swprintf(buf, 5, u"%s", u"abcdefgh"), -1);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    wsprintfW(buf, u"%x", 255u);
    EXPECT_EQ(std::u16string(buf), u"ff");
    EXPECT_EQ(lstrcmpiW(u"Screen", u"SCREEN"), 0);
    EXPECT_LT(lstrcmpW(u"A", u"a"), 0);
    lstrcpynW(buf, u"abcdef", 4);
    EXPECT_EQ(std::u16string(buf), u"abc");
}

TEST(Guid, TextBothWays) {
    const GUID g = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    WCHAR text[39];
    ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);  // no room for the terminator
    GUID back;
    ASSERT_EQ(CLSIDFromString(u"{01234567-89ab-cdef-0123-456789abcdef}", &back), S_OK);
    EXPECT_EQ(back, g);
}

TEST(Guid, BadTextFailsWithZeros) {
    const char16_t* bad[] = {u"", u"{01234567-89AB-CDEF-0123-456789ABCDEF", u"01234567-89AB-CDEF-0123-456789ABCDEF}",
                             u"{01234567-89AB-CDEF-0123-456789ABCDEG}", u"{01234567+89AB-CDEF-0123-456789ABCDEF}",
                             u"{01234567-89AB-CDEF-0123-456789ABCDEF}x", u"{0123}"};
    for (const char16_t* t : bad) {
        GUID g;
        std::memset(&g, 0xAB, sizeof g);
        EXPECT_EQ(CLSIDFromString(t, &g), CO_E_CLASSSTRING) << tessaloom::Utf16ToUtf8(t);
        EXPECT_EQ(g, GUID_NULL);
    }
    GUID g;
    EXPECT_EQ(CLSIDFromString(nullptr, &g), CO_E_CLASSSTRING);
}

TEST(Guid, CreatedGuidsAreVersionFourAndDistinct) {
    GUID a, b;
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
}

TEST(Rand, RuntimeSequence) {
    crt::ResetRandForTests();
    const int first[] = {41, 18467, 6334, 26500, 19169};
    for (int v : first) EXPECT_EQ(crt::rand(), v);
    crt::srand(1);
    EXPECT_EQ(crt::rand(), 41);
    crt::ResetRandForTests();
}
