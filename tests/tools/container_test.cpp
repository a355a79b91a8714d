// The resource container: written by the tools' writer, read back through
// LoadLibraryW and FindResourceW from a folder of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/resource_container.h"
#include "platform/win32/resource_container_format.h"
#include "platform/win32/resources.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/strings.h"
#include "tools/container/container_writer.h"

namespace fs = std::filesystem;
using tessaloom::container::Item;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<Item> SampleItems() {
    return {
        {0, "DDS", 7, Bytes("picture seven")},
        {0, "dds", 8, Bytes("picture eight!")},
        {10, "", 63, Bytes("effect sixty-three")},
        {0, "DDS", 9, {}},
    };
}

std::vector<uint8_t> SampleContainer() {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(tessaloom::container::WriteContainer(SampleItems(), bytes, &error)) << error;
    return bytes;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Fixes the checksum after a deliberate change, so the structural check is what fails.
void Reseal(std::vector<uint8_t>& b) {
    Put32(b, 24, tessaloom::container::Crc32(b.data() + 32, b.size() - 32));
}

class ModuleFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tessaloom-modules-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        tessaloom::testing::SetModuleFolder(folder_.string());
    }
    void TearDown() override {
        tessaloom::testing::SetModuleFolder("");
        fs::remove_all(folder_);
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string Resource(HMODULE module, WORD id, LPCWSTR type) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (!found) return "<missing>";
        DWORD size = SizeofResource(module, found);
        const void* data = LockResource(LoadResource(module, found));
        return data ? std::string(static_cast<const char*>(data), size) : "<null>";
    }
    fs::path folder_;
};

}  // namespace

TEST_F(ModuleFolder, PresentContainerServesItsResources) {
    Write("common_res.dll", SampleContainer());
    HMODULE module = LoadLibraryW(u"common_res.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Resource(module, 7, u"DDS"), "picture seven");
    EXPECT_EQ(Resource(module, 8, u"Dds"), "picture eight!");
    EXPECT_EQ(Resource(module, 63, RT_RCDATA), "effect sixty-three");
    EXPECT_EQ(Resource(module, 9, u"DDS"), "");
    EXPECT_EQ(Resource(module, 63, u"DDS"), "<missing>");
    EXPECT_EQ(Resource(module, 5, u"DDS"), "<missing>");
    // The executable's table is a different module.
    EXPECT_EQ(Resource(nullptr, 7, u"DDS"), "<missing>");
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);

    // Names are compared without regard to case, and ".dll" is implied.
    EXPECT_EQ(LoadLibraryW(u"COMMON_RES.DLL"), module);
    EXPECT_EQ(LoadLibraryExW(u"common_res", nullptr, 0x2), module);
    EXPECT_EQ(GetModuleHandleW(u"Common_Res.dll"), module);
    WCHAR path[1024];
    DWORD n = GetModuleFileNameW(module, path, 1024);
    EXPECT_EQ(std::u16string(path, n), tessaloom::Utf8ToUtf16((folder_ / "common_res.dll").string()));

    // Three loads, three frees; then the handle is gone.
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(GetModuleHandleW(u"common_res.dll"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(u"common_res.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(module));
}

TEST_F(ModuleFolder, AbsentContainerFails) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"common_res.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // A folder of that name is no container either.
    fs::create_directories(folder_ / "common_res.dll");
    EXPECT_EQ(LoadLibraryW(u"common_res.dll"), nullptr);
}

TEST_F(ModuleFolder, DamagedContainerFailsLikeAMissingModule) {
    std::vector<uint8_t> good = SampleContainer();
    std::vector<std::vector<uint8_t>> damaged;
    damaged.push_back({});                                            // empty file
    damaged.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));  // cut short
    auto flipped = good;
    flipped.back() ^= 0x40;                                           // a resource byte changed
    damaged.push_back(flipped);
    for (size_t i = 0; i < damaged.size(); ++i) {
        Write("common_res.dll", damaged[i]);
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(u"common_res.dll"), nullptr) << i;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << i;
    }
}

TEST(ContainerReader, RejectsEachKindOfDamageWithAReason) {
    const std::vector<uint8_t> good = SampleContainer();
    std::string error;
    ASSERT_NE(tessaloom::ResourceContainer::Parse(good, &error), nullptr) << error;
    const size_t entry0 = 32;  // the first entry: "DDS" 7
    const size_t entry2 = 32 + 2 * 24;  // RT_RCDATA 63
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"short header", [](auto& b) { b.resize(31); }, "shorter than the header"},
        {"magic", [](auto& b) { b[0] = 'X'; }, "bad magic"},
        {"version", [](auto& b) { Put32(b, 8, 2); }, "version 2"},
        {"reserved", [](auto& b) { Put32(b, 28, 1); }, "reserved"},
        {"size field", [](auto& b) { Put32(b, 20, static_cast<uint32_t>(b.size() + 1)); }, "header says"},
        {"count", [](auto& b) { Put32(b, 12, 0x10000000); }, "lies outside the file"},
        {"table offset", [](auto& b) { Put32(b, 16, 0xFFFFFFF0u); }, "lies outside the file"},
        {"table in header", [](auto& b) { Put32(b, 16, 8); }, "lies outside the file"},
        {"data offset", [&](auto& b) { Put32(b, entry0 + 16, static_cast<uint32_t>(b.size())); }, "outside the file"},
        {"data size", [&](auto& b) { Put32(b, entry0 + 20, 0xFFFFFFFFu); }, "outside the file"},
        {"data in header", [&](auto& b) { Put32(b, entry0 + 16, 4); }, "outside the file"},
        {"name offset", [&](auto& b) { Put32(b, entry0 + 4, 0xFFFFFFFEu); }, "type name"},
        {"name length", [&](auto& b) { Put32(b, entry0 + 8, 1000); }, "type name"},
        {"number 0", [&](auto& b) { Put32(b, entry0 + 12, 0); }, "not in 1..65535"},
        {"number too big", [&](auto& b) { Put32(b, entry0 + 12, 70000); }, "not in 1..65535"},
        {"type too big", [&](auto& b) { Put32(b, entry2, 70000); }, "bad numbered type"},
        {"both kinds of type", [&](auto& b) { Put32(b, entry2 + 8, 3); }, "bad numbered type"},
        {"duplicate", [&](auto& b) { Put32(b, entry0 + 12, 8); }, "same type and number"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> b = good;
        c.damage(b);
        if (b.size() >= 32) Reseal(b);
        error.clear();
        EXPECT_EQ(tessaloom::ResourceContainer::Parse(b, &error), nullptr) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
    // Without resealing, any changed byte after the header is caught by the checksum.
    std::vector<uint8_t> b = good;
    b[b.size() - 3] ^= 1;
    EXPECT_EQ(tessaloom::ResourceContainer::Parse(b, &error), nullptr);
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;
}

TEST(ContainerWriter, RefusesBadItems) {
    struct Case {
        std::vector<Item> items;
        const char* reason;
    };
    const Case cases[] = {
        {{{0, "DDS", 0, {}}}, "number 0"},
        {{{0, "", 5, {}}}, "bad type"},
        {{{10, "DDS", 5, {}}}, "bad type"},
        {{{0, "DDS", 5, {}}, {0, "dds", 5, {}}}, "two resources"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(tessaloom::container::WriteContainer(c.items, out, &error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    // An empty container is valid.
    std::vector<uint8_t> out;
    ASSERT_TRUE(tessaloom::container::WriteContainer({}, out, nullptr));
    EXPECT_NE(tessaloom::ResourceContainer::Parse(out, nullptr), nullptr);
}

TEST(ContainerWriter, PacksAFolderOrAManifest) {
    fs::path root = fs::temp_directory_path() / "tessaloom-pack-test";
    fs::remove_all(root);
    fs::create_directories(root / "in" / "DDS");
    fs::create_directories(root / "in" / "RCDATA");
    std::ofstream(root / "in" / "DDS" / "7.tga") << "seven";
    std::ofstream(root / "in" / "RCDATA" / "63.fx") << "effect";
    std::vector<Item> items;
    std::string error;
    ASSERT_TRUE(tessaloom::container::ItemsFromFolder((root / "in").string(), items, &error)) << error;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].typeName, "DDS");
    EXPECT_EQ(items[0].id, 7);
    EXPECT_EQ(items[1].typeId, 10);
    EXPECT_EQ(items[1].id, 63);

    std::ofstream(root / "list.txt") << "# type number path\nDDS 7 in/DDS/7.tga\n10 63 in/RCDATA/63.fx\n";
    std::vector<Item> listed;
    ASSERT_TRUE(tessaloom::container::ItemsFromManifest((root / "list.txt").string(), listed, &error)) << error;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].bytes, Bytes("seven"));
    EXPECT_EQ(listed[1].bytes, Bytes("effect"));

    // Mistakes are named, not skipped.
    std::ofstream(root / "in" / "DDS" / "notes.txt") << "x";
    items.clear();
    EXPECT_FALSE(tessaloom::container::ItemsFromFolder((root / "in").string(), items, &error));
    EXPECT_NE(error.find("notes.txt"), std::string::npos) << error;
    std::ofstream(root / "bad.txt") << "DDS seven in/DDS/7.tga\n";
    EXPECT_FALSE(tessaloom::container::ItemsFromManifest((root / "bad.txt").string(), listed, &error));
    EXPECT_NE(error.find("bad.txt:1:"), std::string::npos) << error;
    fs::remove_all(root);
}
