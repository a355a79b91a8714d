#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/guid.h"
#include "platform/win32/resource_container_format.h"
#include "platform/win32/types.h"

TEST(TypeSizes, MatchWindows) {
    struct Case {
        const char* name;
        size_t size, expected;
    };
    const Case cases[] = {
        {"BOOL", sizeof(BOOL), 4},       {"BYTE", sizeof(BYTE), 1},         {"WORD", sizeof(WORD), 2},
        {"DWORD", sizeof(DWORD), 4},     {"LONG", sizeof(LONG), 4},         {"ULONG", sizeof(ULONG), 4},
        {"UINT", sizeof(UINT), 4},       {"INT64", sizeof(INT64), 8},       {"HRESULT", sizeof(HRESULT), 4},
        {"WCHAR", sizeof(WCHAR), 2},     {"WPARAM", sizeof(WPARAM), sizeof(void*)},
        {"LPARAM", sizeof(LPARAM), sizeof(void*)}, {"HWND", sizeof(HWND), sizeof(void*)},
        {"HMODULE", sizeof(HMODULE), sizeof(void*)}, {"HRSRC", sizeof(HRSRC), sizeof(void*)},
        {"RECT", sizeof(RECT), 16},      {"POINT", sizeof(POINT), 8},       {"SIZE", sizeof(SIZE), 8},
        {"LARGE_INTEGER", sizeof(LARGE_INTEGER), 8}, {"GUID", sizeof(GUID), 16},
    };
    for (const auto& c : cases) EXPECT_EQ(c.size, c.expected) << c.name;
    // LONG and DWORD keep their signedness: stored values are 32-bit, not `long`.
    EXPECT_LT(static_cast<LONG>(-1), 0);
    EXPECT_GT(static_cast<DWORD>(-1), 0u);
}

TEST(TypeSizes, ResourceNumbersAreWords) {
    LPCWSTR number = MAKEINTRESOURCEW(107);
    EXPECT_TRUE(IS_INTRESOURCE(number));
    EXPECT_FALSE(IS_INTRESOURCE(u"DDS"));
    EXPECT_EQ(LOWORD(reinterpret_cast<ULONG_PTR>(MAKEINTRESOURCEW(0x10007))), 7);  // cut to 16 bits
}

TEST(TypeSizes, ContainerChecksumIsTheIeeeCrc32) {
    const char text[] = "123456789";
    EXPECT_EQ(tessaloom::container::Crc32(reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
    EXPECT_EQ(tessaloom::container::Crc32(nullptr, 0), 0u);
}
