#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "document/archive.h"
#include "platform/win32/resource_container_format.h"
#include "platform/win32/resources_hooks.h"

namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); }

// A resource container holding one "DDS" resource.
std::vector<uint8_t> Container(uint32_t number, const std::string& bytes) {
    namespace c = tessaloom::container;
    std::vector<uint8_t> out(c::kHeaderSize, 0);
    std::memcpy(out.data(), c::kMagic, 8);
    const uint32_t nameOffset = static_cast<uint32_t>(out.size());
    for (char ch : std::string("DDS")) {
        out.push_back(static_cast<uint8_t>(ch));
        out.push_back(0);
    }
    const uint32_t dataOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), bytes.begin(), bytes.end());
    const uint32_t tableOffset = static_cast<uint32_t>(out.size());
    out.resize(out.size() + c::kEntrySize, 0);
    Put32(out, tableOffset + 0, 0);
    Put32(out, tableOffset + 4, nameOffset);
    Put32(out, tableOffset + 8, 3);
    Put32(out, tableOffset + 12, number);
    Put32(out, tableOffset + 16, dataOffset);
    Put32(out, tableOffset + 20, static_cast<uint32_t>(bytes.size()));
    Put32(out, 8, c::kVersion);
    Put32(out, 12, 1);
    Put32(out, 16, tableOffset);
    Put32(out, 20, static_cast<uint32_t>(out.size()));
    Put32(out, 24, c::Crc32(out.data() + c::kHeaderSize, out.size() - c::kHeaderSize));
    return out;
}

class ModuleFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("tessaloom-doc-module-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder_);
        std::vector<uint8_t> bytes = Container(44, "TGA picture");
        std::ofstream(folder_ / "doc_test_res.dll", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        tessaloom::testing::SetModuleFolder(folder_.string());
    }
    void TearDown() override {
        tessaloom::testing::SetModuleFolder("");
        std::filesystem::remove_all(folder_);
    }
    std::filesystem::path folder_;
};

TEST_F(ModuleFolder, LoadFromModuleCopiesTheWholeResource) {
    DS_ResFileData record(44, u"doc_test_res.dll");
    record.SetBytes(3, "old");
    ASSERT_TRUE(record.LoadFromModule());
    ASSERT_EQ(record.GetSize(), 11u);
    EXPECT_EQ(std::memcmp(record.GetBytes(), "TGA picture", 11), 0);

    // A number the module lacks: false, record unchanged.
    DS_ResFileData missing(45, u"doc_test_res.dll");
    missing.SetBytes(3, "old");
    EXPECT_FALSE(missing.LoadFromModule());
    ASSERT_EQ(missing.GetSize(), 3u);
    EXPECT_EQ(std::memcmp(missing.GetBytes(), "old", 3), 0);
}

// A module that does not load means the resource is missing: the
// executable's own table (whose resource 107 is the scene document) is never
// searched in its place.
TEST_F(ModuleFolder, MissingModuleFindsNothing) {
    const char picture[] = "own";
    tessaloom::testing::ScopedExecutableResources table{{
        {u"DDS", 0, nullptr, 62, picture, 3},
    }};
    DS_ResFileData fromExe(62, u"no_such_module.dll");
    EXPECT_FALSE(fromExe.LoadFromModule());
    EXPECT_EQ(fromExe.GetBytes(), nullptr);
}

// A resource read through a ResourceBuffer that knows the resource's size.
TEST_F(ModuleFolder, ResourceBytesReadBounded) {
    DS_ResFileData record(44, u"doc_test_res.dll");
    ASSERT_TRUE(record.LoadFromModule());
    ResourceBuffer buffer(record.GetBytes(), record.GetSize());
    std::vector<float> values;
    // "TGA " as a count is far more floats than 11 bytes hold.
    EXPECT_THROW(buffer.ReadFloatList(values), DS_LoadError);
}

}  // namespace
