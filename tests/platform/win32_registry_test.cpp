// The registry file: round trips, the query rules, damaged files, failed
// writes and the classes root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/win32/registry.h"
#include "platform/win32/test_hooks.h"

namespace fs = std::filesystem;

namespace {

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessaloom-registry-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", (dir_ + "/sub").c_str(), 1);
        tessaloom::test::ReloadRegistry();
    }
    void TearDown() override {
        tessaloom::test::FailNextRegistryWrite(-1, false);
        fs::remove_all(dir_);
    }

    HKEY Open(const char16_t* path = u"Software\\Test\\Key\\") {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG SetDword(HKEY key, const char16_t* name, DWORD v) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    }
    static bool GetDword(HKEY key, const char16_t* name, DWORD* v) {
        DWORD type = 0, size = 4;
        return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(v), &size) == ERROR_SUCCESS &&
               type == REG_DWORD && size == 4;
    }
    std::string FileText() {
        std::ifstream in(tessaloom::test::RegistryFilePath());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteFile(const std::string& text) {
        fs::create_directories(dir_ + "/sub");
        std::ofstream(tessaloom::test::RegistryFilePath()) << text;
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        if (!fs::exists(dir_ + "/sub")) return names;
        for (auto& e : fs::directory_iterator(dir_ + "/sub")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

TEST_F(Win32Registry, ValuesRoundTripThroughTheFile) {
    HKEY key = Open();
    ASSERT_EQ(SetDword(key, u"\"PicPos\"", 2), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"AllScreensSame", 0xDEADBEEF), ERROR_SUCCESS);
    const char16_t text[] = u"C:\\path \"quoted\" \u00e9";
    ASSERT_EQ(RegSetValueExW(key, u"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
    std::vector<BYTE> blob(40);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueExW(key, u"Adapter ID", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    const BYTE odd[3] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(key, u"OddString", 0, REG_SZ, odd, 3), ERROR_SUCCESS);
    HKEY sub = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(key, u"Screen 1", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetDword(sub, u"Width", 1024), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(key);

    std::string file = FileText();
    EXPECT_EQ(file.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Test\\Key]\n"), std::string::npos);
    EXPECT_NE(file.find("\"\\\"PicPos\\\"\"=dword:00000002\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Text\"=\"C:\\\\path \\\"quoted\\\" \xc3\xa9\"\n"), std::string::npos) << file;

    tessaloom::test::ReloadRegistry();
    key = Open();
    DWORD v = 0;
    ASSERT_TRUE(GetDword(key, u"\"picpos\"", &v));  // names compare without case
    EXPECT_EQ(v, 2u);
    EXPECT_FALSE(GetDword(key, u"PicPos", &v));  // the quotes are part of the name
    ASSERT_TRUE(GetDword(key, u"AllScreensSame", &v));
    EXPECT_EQ(v, 0xDEADBEEFu);
    char16_t back[64] = {};
    DWORD type = 0, size = sizeof back;
    ASSERT_EQ(RegQueryValueExW(key, u"Text", nullptr, &type, reinterpret_cast<BYTE*>(back), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(std::u16string(back), text);
    std::vector<BYTE> blobBack(64);
    size = 64;
    ASSERT_EQ(RegQueryValueExW(key, u"Adapter ID", nullptr, &type, blobBack.data(), &size), ERROR_SUCCESS);
    blobBack.resize(size);
    EXPECT_EQ(blobBack, blob);
    size = 8;
    ASSERT_EQ(RegQueryValueExW(key, u"Empty", nullptr, &type, blobBack.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    BYTE oddBack[8];
    size = 8;
    ASSERT_EQ(RegQueryValueExW(key, u"OddString", nullptr, &type, oddBack, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(oddBack, odd, 3), 0);
    ASSERT_EQ(RegOpenKeyExW(key, u"Screen 1", 0, KEY_READ, &sub), ERROR_SUCCESS);
    ASSERT_TRUE(GetDword(sub, u"Width", &v));
    EXPECT_EQ(v, 1024u);
    RegCloseKey(sub);
    RegCloseKey(key);
}

TEST_F(Win32Registry, QueryRules) {
    HKEY key = Open();
    const BYTE two[2] = {5, 6};
    ASSERT_EQ(RegSetValueExW(key, u"Short", 0, REG_DWORD, two, 2), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"Short", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(type, REG_DWORD);
    ASSERT_EQ(SetDword(key, u"Four", 4), ERROR_SUCCESS);
    BYTE small[2];
    size = 2;
    EXPECT_EQ(RegQueryValueExW(key, u"Four", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    size = 4;
    DWORD v;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_FILE_NOT_FOUND);
    HKEY none;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Nothing", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x999)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueW(key, u"Four"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"Four"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Win32Registry, ClassesRootAnswersTheBrowserCommand) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"http\\shell\\open\\command", 0, KEY_READ, &key), ERROR_SUCCESS);
    char16_t text[64] = {};
    DWORD type = 0, size = sizeof text;
    ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::u16string(text), u"xdg-open \"%1\"");
    DWORD v = 1;
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"ftp\\shell", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// A line that does not read loses only itself: the values before and after
// it are kept, the damaged file is kept aside as it was, and a clean file of
// the values that read takes its place.
TEST_F(Win32Registry, ADamagedLineLosesOnlyItself) {
    struct Case {
        const char* bad;
        bool replacesHeader;  // stands where the header should be
        bool atEnd;           // the file's last line (nothing read after it)
    };
    const Case cases[] = {
        {"not a registry file", true, false},
        {"[HKEY_CURRENT_USER\\A]\n\"V\"=dword:123", false, false},            // short dword
        {"\"V\"=dword:0000000g", false, false},                               // not hex
        {"\"V\"=hex:1,02", false, false},                                     // bad byte
        {"\"V\"=\"unterminated", false, false},
        {"\"V\"=hex(b:01", false, false},
        {"\"V\" dword:00000001", false, false},                               // no '='
        {"V=dword:00000001", false, false},                                   // unquoted name
        {"\"V\\q\"=dword:00000001", false, false},                            // unknown escape
        {"\"V\"=hex:01,\\", false, true},                                     // continues past the end
        {"[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:00000001", false, false},      // its value has no key
        {"[HKEY_CURRENT_USER\\A\n\"V\"=dword:00000001", false, false},        // unterminated key name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        fs::remove_all(dir_ + "/sub");
        const std::string bad = std::string(c.bad) + "\n";
        const std::string good = "[HKEY_CURRENT_USER\\A]\n\"Good\"=dword:00000007\n" + (c.replacesHeader ? "" : bad);
        const std::string after = "[HKEY_CURRENT_USER\\B]\n\"After\"=dword:00000008\n";
        const std::string text = (c.replacesHeader ? bad : "REGEDIT4\n") + (c.atEnd ? after + good : good + after);
        WriteFile(text);
        tessaloom::test::ReloadRegistry();

        testing::internal::CaptureStderr();
        HKEY a = nullptr, b = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &a), ERROR_SUCCESS);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("damaged"), std::string::npos) << err;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"B", 0, KEY_READ, &b), ERROR_SUCCESS);
        DWORD v = 0;
        EXPECT_TRUE(GetDword(a, u"Good", &v));
        EXPECT_EQ(v, 7u);
        v = 0;
        EXPECT_TRUE(GetDword(b, u"After", &v));
        EXPECT_EQ(v, 8u);
        EXPECT_FALSE(GetDword(a, u"V", &v)) << "the damaged line was taken";
        RegCloseKey(a);
        RegCloseKey(b);

        // The damaged file is kept aside byte for byte, and a clean one stands
        // in its place.
        auto names = Entries();
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0], "user.reg");
        EXPECT_EQ(names[1].rfind("user.reg.damaged-", 0), 0u);
        std::ifstream in(dir_ + "/sub/" + names[1]);
        std::stringstream kept;
        kept << in.rdbuf();
        EXPECT_EQ(kept.str(), text);

        // Another process reads the clean file whole: nothing more is set aside.
        tessaloom::test::ReloadRegistry();
        testing::internal::CaptureStderr();
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"B", 0, KEY_READ, &b), ERROR_SUCCESS);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        v = 0;
        EXPECT_TRUE(GetDword(b, u"After", &v));
        EXPECT_EQ(v, 8u);
        RegCloseKey(b);
        HKEY key = Open(u"A");
        EXPECT_EQ(SetDword(key, u"V", 9), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(Entries().size(), 2u);
    }
}

TEST_F(Win32Registry, AFileOfNothingButDamageIsKeptAsideAndDefaultsApply) {
    for (const char* text : {"", "\n\n", "not a registry file\n", "REGEDIT4\n\"Value\"=dword:00000001\n"}) {
        SCOPED_TRACE(text);
        fs::remove_all(dir_ + "/sub");
        WriteFile(text);
        tessaloom::test::ReloadRegistry();
        testing::internal::CaptureStderr();
        HKEY key;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        testing::internal::GetCapturedStderr();
        auto names = Entries();
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[1].rfind("user.reg.damaged-", 0), 0u);
        EXPECT_EQ(fs::file_size(dir_ + "/sub/" + names[1]), std::strlen(text));
    }
}

// The save writes a temporary file of its own beside the registry file: a
// link planted under the temporary name is neither followed nor removed, the
// file it points to stays as it was, and the settings still reach the
// registry file, readable by the user alone.
TEST_F(Win32Registry, TheSaveNeverWritesThroughAPlantedLink) {
    const std::string target = dir_ + "/precious";
    std::ofstream(target) << "not yours";
    fs::create_directories(dir_ + "/sub");
    const std::string temp = tessaloom::test::RegistryFilePath() + ".tmp-" + std::to_string(getpid());
    fs::create_symlink(target, temp);
    // A second name taken too, by a plain file of someone else's.
    std::ofstream(temp + "-1") << "taken";

    HKEY key = Open();
    ASSERT_EQ(SetDword(key, u"V", 5), ERROR_SUCCESS);
    RegCloseKey(key);

    std::ifstream in(target);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "not yours");
    EXPECT_TRUE(fs::is_symlink(temp));
    EXPECT_EQ(fs::file_size(temp + "-1"), 5u);
    EXPECT_NE(FileText().find("\"V\"=dword:00000005"), std::string::npos) << FileText();
    const auto perms = fs::status(tessaloom::test::RegistryFilePath()).permissions();
    EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    tessaloom::test::ReloadRegistry();
    key = Open();
    DWORD v = 0;
    EXPECT_TRUE(GetDword(key, u"V", &v));
    EXPECT_EQ(v, 5u);
    RegCloseKey(key);
}

TEST_F(Win32Registry, WellFormedVariantsAreRead) {
    WriteFile("\xEF\xBB\xBFREGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\A\\B]\r\n"
              "@=\"default\"\r\n\"Bin\"=hex:01,02,\\\r\n  03\r\n\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    tessaloom::test::ReloadRegistry();
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"a\\b", 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE data[16];
    DWORD type, size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"Bin", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(data[2], 3);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"Q", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(size, 8u);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &key), ERROR_SUCCESS);  // the parent exists
    RegCloseKey(key);
    EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(Win32Registry, AFailedWriteKeepsThePreviousSettings) {
    for (bool crashLeavesTemporary : {false, true}) {
        HKEY key = Open();
        ASSERT_EQ(SetDword(key, u"Volume", 40), ERROR_SUCCESS);
        std::string before = FileText();
        tessaloom::test::FailNextRegistryWrite(25, crashLeavesTemporary);
        EXPECT_EQ(SetDword(key, u"Volume", 70), ERROR_WRITE_FAULT);
        EXPECT_EQ(FileText(), before);
        DWORD v = 0;
        ASSERT_TRUE(GetDword(key, u"Volume", &v));
        EXPECT_EQ(v, 40u);  // the failed change is not kept in memory either
        RegCloseKey(key);
        tessaloom::test::ReloadRegistry();
        key = Open();
        ASSERT_TRUE(GetDword(key, u"Volume", &v));
        EXPECT_EQ(v, 40u);
        RegCloseKey(key);
        bool temporaryLeft = false;
        for (auto& n : Entries()) temporaryLeft |= n.find(".tmp-") != std::string::npos;
        EXPECT_EQ(temporaryLeft, crashLeavesTemporary);
    }
}

TEST_F(Win32Registry, AFileReplacedByAnotherProcessIsReadAgain) {
    HKEY key = Open(u"A");
    ASSERT_EQ(SetDword(key, u"V", 1), ERROR_SUCCESS);
    // Another process writes its own file and renames it into place.
    std::string other = tessaloom::test::RegistryFilePath() + ".other";
    std::ofstream(other) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"V\"=dword:00000005\n";
    fs::rename(other, tessaloom::test::RegistryFilePath());
    DWORD v = 0;
    RegCloseKey(key);
    key = Open(u"A");
    ASSERT_TRUE(GetDword(key, u"V", &v));
    EXPECT_EQ(v, 5u);
    RegCloseKey(key);
}

}  // namespace
