// Lookup in the executable's table.  Test binaries link no table of their own;
// each test registers the rows it needs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/resources.h"
#include "platform/win32/resources_hooks.h"

using tessaloom::ResourceTableEntry;
using tessaloom::testing::ScopedExecutableResources;

namespace {

// A string block as a Windows executable stores it: 16 counted strings.
std::vector<uint8_t> StringBlock(const std::vector<std::pair<int, std::u16string>>& strings) {
    std::u16string slot[16];
    for (const auto& [index, text] : strings) slot[index] = text;
    std::vector<uint8_t> out;
    for (const auto& s : slot) {
        auto n = static_cast<uint16_t>(s.size());
        out.push_back(static_cast<uint8_t>(n & 0xFF));
        out.push_back(static_cast<uint8_t>(n >> 8));
        for (char16_t c : s) {
            out.push_back(static_cast<uint8_t>(c & 0xFF));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    return out;
}

class ExecutableTable : public ::testing::Test {
protected:
    // Strings 1000 (block 63, slot 8) and 2104 (block 132, slot 8).
    std::vector<uint8_t> block63_ = StringBlock({{8, u"Tessaloom"}});
    std::vector<uint8_t> block132_ = StringBlock({{8, u"Could not find any compatible Direct3D devices."}, {9, u""}});
    const char document_[6] = "scene";
    const char named_[4] = "abc";
    ScopedExecutableResources table_{{
        {nullptr, 6, nullptr, 63, block63_.data(), static_cast<DWORD>(block63_.size())},
        {nullptr, 6, nullptr, 132, block132_.data(), static_cast<DWORD>(block132_.size())},
        {u"DDS", 0, nullptr, 107, document_, 5},
        {u"DDS", 0, nullptr, 108, document_, 0},
        {nullptr, 10, u"SHADER", 0, named_, 3},
    }};
};

std::string Bytes(HMODULE module, HRSRC found) {
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = LockResource(loaded);
    if (!data) return "<null>";
    return std::string(static_cast<const char*>(data), size);
}

}  // namespace

TEST_F(ExecutableTable, FindsByNumberAndByNameWithoutRegardToCase) {
    for (HMODULE module : {static_cast<HMODULE>(nullptr), GetModuleHandleW(nullptr)}) {
        HRSRC byNumber = FindResourceW(module, MAKEINTRESOURCEW(107), u"DDS");
        ASSERT_NE(byNumber, nullptr);
        EXPECT_EQ(Bytes(module, byNumber), "scene");
        EXPECT_EQ(FindResourceW(module, u"#107", u"dds"), byNumber);
        HRSRC byName = FindResourceW(module, u"shader", RT_RCDATA);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(Bytes(module, byName), "abc");
    }
}

TEST_F(ExecutableTable, MissingResourcesFail) {
    SetLastError(0);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(109), u"DDS"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(107), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(107), u"PNG"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceW(nullptr, u"#x", u"DDS"), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, nullptr, u"DDS"), nullptr);
    // A zero-sized document is found; its size says it is empty.
    HRSRC empty = FindResourceW(nullptr, MAKEINTRESOURCEW(108), u"DDS");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, empty), 0u);
    // A handle from elsewhere is refused, not followed.
    int stranger = 0;
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(&stranger)), 0u);
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&stranger)), nullptr);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(&stranger), MAKEINTRESOURCEW(107), u"DDS"), nullptr);
}

TEST_F(ExecutableTable, LoadStringCopiesTruncatesAndFails) {
    WCHAR buffer[64];
    EXPECT_EQ(LoadStringW(nullptr, 1000, buffer, 64), 9);
    EXPECT_EQ(std::u16string(buffer), u"Tessaloom");
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 2104, buffer, 64), 47);

    // Cut to the buffer, always terminated.
    EXPECT_EQ(LoadStringW(nullptr, 1000, buffer, 5), 4);
    EXPECT_EQ(std::u16string(buffer), u"Tess");
    EXPECT_EQ(LoadStringW(nullptr, 1000, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);

    // Missing: an unused slot, an empty string, a block that does not exist.
    for (UINT id : {1001u, 2105u, 5000u}) {
        buffer[0] = u'x';
        EXPECT_EQ(LoadStringW(nullptr, id, buffer, 64), 0) << id;
        EXPECT_EQ(buffer[0], 0) << id;
    }

    // A capacity of 0 hands out a read-only pointer to the stored text.
    const WCHAR* direct = nullptr;
    int n = LoadStringW(nullptr, 1000, reinterpret_cast<LPWSTR>(&direct), 0);
    ASSERT_EQ(n, 9);
    EXPECT_EQ(std::u16string(direct, 9), u"Tessaloom");
}

TEST(ExecutableTableDamage, CutStringBlockIsMissingNotOverread) {
    // Slot 0 claims 200 units in a block of 6 bytes.
    const uint8_t block[6] = {200, 0, 'a', 0, 'b', 0};
    ScopedExecutableResources table({{nullptr, 6, nullptr, 1, block, sizeof block}});
    WCHAR buffer[8];
    EXPECT_EQ(LoadStringW(nullptr, 0, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 3, buffer, 8), 0);
}

TEST(ExecutableTableDamage, NoTableMeansNoDocument) {
    ScopedExecutableResources table({});
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(107), u"DDS"), nullptr);
    WCHAR buffer[8];
    EXPECT_EQ(LoadStringW(nullptr, 1000, buffer, 8), 0);
}

TEST(Modules, NamesThatAreNoContainerFailLikeMissingModules) {
    const char16_t* names[] = {u"MPR.DLL", u"C:\\Windows\\system32\\common_res.dll", u"../common_res.dll",
                               u"/tmp/common_res.dll", u"", u"."};
    for (const char16_t* name : names) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "PwdChangePasswordA"), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"MPR.DLL"), nullptr);
    EXPECT_TRUE(FreeLibrary(GetModuleHandleW(nullptr)));
    int stranger = 0;
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&stranger)));
}
