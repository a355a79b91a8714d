#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/strings.h"

using tessaloom::BuildCommandLine;
using tessaloom::SplitCommandLine;
using tessaloom::Utf16ToUtf8;
using tessaloom::Utf8ToUtf16;

namespace {

std::u16string TempPath() {
    WCHAR buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    return std::u16string(buffer, n);
}

}  // namespace

// First in this file: no test before it has set the command line.
TEST(CommandLine, WithoutArgvComesFromTheProcess) {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> expected;
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
        end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        expected.push_back(Utf8ToUtf16(bytes.substr(start, end - start)));
    }
    EXPECT_EQ(SplitCommandLine(GetCommandLineW()), expected);
}

TEST(CommandLine, QuotesArgumentsSoThatSplittingGivesThemBack) {
    struct Case {
        std::vector<std::u16string> argv;
        std::u16string line;
    };
    const Case cases[] = {
        {{u"saver"}, u"saver"},
        {{u"saver", u"/s"}, u"saver /s"},
        {{u"/opt/my saver/saver", u"/p", u"5678"}, u"\"/opt/my saver/saver\" /p 5678"},
        {{u"saver", u"-P:5678"}, u"saver -P:5678"},
        {{u"saver", u""}, u"saver \"\""},
        {{u"saver", u"a b"}, u"saver \"a b\""},
        {{u"saver", u"say \"hi\""}, u"saver \"say \\\"hi\\\"\""},
        {{u"saver", u"C:\\dir\\"}, u"saver C:\\dir\\"},               // no blank: backslashes stay as they are
        {{u"saver", u"C:\\my dir\\"}, u"saver \"C:\\my dir\\\\\""},  // doubled before the closing quote
        {{u"saver", u"a\\\"b"}, u"saver \"a\\\\\\\"b\""},
        {{u"saver", u"tab\there"}, u"saver \"tab\there\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildCommandLine(c.argv), c.line) << Utf16ToUtf8(c.line);
        EXPECT_EQ(SplitCommandLine(c.line), c.argv) << Utf16ToUtf8(c.line);
    }
}

TEST(CommandLine, SplitsByTheWindowsRules) {
    struct Case {
        std::u16string line;
        std::vector<std::u16string> argv;
    };
    const Case cases[] = {
        {u"p \"a b c\" d e", {u"p", u"a b c", u"d", u"e"}},
        {u"p \"ab\\\"c\" \"\\\\\" d", {u"p", u"ab\"c", u"\\", u"d"}},
        {u"p a\\\\\\b d\"e f\"g h", {u"p", u"a\\\\\\b", u"de fg", u"h"}},
        {u"p a\\\\\\\"b c d", {u"p", u"a\\\"b", u"c", u"d"}},
        {u"p a\\\\\\\\\"b c\" d e", {u"p", u"a\\\\b c", u"d", u"e"}},
        {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
        // The program name runs to the next quote, or to the first blank, without escapes.
        {u"\"C:\\a/b dir\\saver.scr\" /t", {u"C:\\a/b dir\\saver.scr", u"/t"}},
        {u"C:\\a-b\\saver.scr /t", {u"C:\\a-b\\saver.scr", u"/t"}},
        {u"\"unclosed name", {u"unclosed name"}},
        {u"p   \t  trailing   ", {u"p", u"trailing"}},
        {u"p \"unclosed arg", {u"p", u"unclosed arg"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.argv) << Utf16ToUtf8(c.line);
}

TEST(CommandLine, GetCommandLineFollowsArgv) {
    char a0[] = "/usr/bin/tessaloom saver";
    char a1[] = "/c:1234";
    char a2[] = "\xC3\xA9t\xC3\xA9";  // UTF-8 "été"
    char* argv[] = {a0, a1, a2, nullptr};
    tessaloom::SetCommandLineFromArgv(3, argv);
    EXPECT_EQ(std::u16string(GetCommandLineW()), u"\"/usr/bin/tessaloom saver\" /c:1234 \u00e9t\u00e9");

    int count = 0;
    LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::u16string(split[0]), u"/usr/bin/tessaloom saver");
    EXPECT_EQ(std::u16string(split[2]), u"\u00e9t\u00e9");
    EXPECT_EQ(split[3], nullptr);
    LocalFree(split);
    EXPECT_EQ(CommandLineToArgvW(u"x", nullptr), nullptr);
}

TEST(Files, TempPathIsAFolderWithATrailingSeparator) {
    std::u16string path = TempPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), u'/');
    EXPECT_TRUE(PathFileExistsW(path.c_str()));

    // Too small: the size needed, terminator included, and nothing written.
    WCHAR small[2] = {u'x', u'x'};
    EXPECT_EQ(GetTempPathW(2, small), path.size() + 1);
    EXPECT_EQ(small[0], u'x');
}

TEST(Files, TempPathFollowsTmpdir) {
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    std::string dir = Utf16ToUtf8(TempPath()) + "tessaloom-tmpdir-test";
    std::filesystem::create_directories(dir);
    setenv("TMPDIR", dir.c_str(), 1);
    EXPECT_EQ(TempPath(), Utf8ToUtf16(dir + "/"));
    setenv("TMPDIR", (dir + "/missing").c_str(), 1);  // not a folder: /tmp
    EXPECT_EQ(TempPath(), u"/tmp/");
    if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
    std::filesystem::remove_all(dir);
}

TEST(Files, WindowsPathsNeverNameLinuxFiles) {
    std::u16string file = TempPath() + u"tessaloom-exists-test.wav";
    std::ofstream(Utf16ToUtf8(file)) << "x";
    EXPECT_TRUE(PathFileExistsW(file.c_str()));
    EXPECT_FALSE(PathFileExistsW((file + u".missing").c_str()));
    const char16_t* windowsPaths[] = {u"C:\\Windows\\win.ini", u"c:/tmp", u"\\\\server\\share\\a.wav",
                                      u"music\\a.wav", u"\\tmp"};
    for (const char16_t* p : windowsPaths) EXPECT_FALSE(PathFileExistsW(p)) << Utf16ToUtf8(p);
    EXPECT_FALSE(PathFileExistsW(u""));
    EXPECT_FALSE(PathFileExistsW(nullptr));
    std::remove(Utf16ToUtf8(file).c_str());
}

// A fresh folder of its own under the temporary folder, removed at the end.
class FileCalls : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = Utf16ToUtf8(TempPath()) + "tessaloom-file-calls-" + std::to_string(getpid());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::u16string Path(const std::string& name) const { return Utf8ToUtf16(dir_ + "/" + name); }
    std::string Contents(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static HANDLE CreateNew(const std::u16string& path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string dir_;
};

TEST_F(FileCalls, CreateNewWritesAllBytesAndCloses) {
    HANDLE file = CreateNew(Path("a.wav"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(file, nullptr);
    DWORD written = 7;
    EXPECT_TRUE(WriteFile(file, "RIFF", 4, &written, nullptr));
    EXPECT_EQ(written, 4u);
    EXPECT_TRUE(WriteFile(file, "data", 4, &written, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(Contents("a.wav"), "RIFFdata");
    EXPECT_EQ(std::filesystem::status(dir_ + "/a.wav").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);

    // A closed handle is no handle any more.
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));  // the pseudo-handle: a no-op
}

TEST_F(FileCalls, CreateNewRefusesEveryExistingNameAndNeverFollowsALink) {
    std::ofstream(dir_ + "/file.wav") << "keep";
    std::filesystem::create_directory(dir_ + "/folder.wav");
    std::ofstream(dir_ + "/outside") << "outside";
    std::filesystem::create_symlink(dir_ + "/outside", dir_ + "/link.wav");
    std::filesystem::create_symlink(dir_ + "/missing", dir_ + "/dangling.wav");
    for (const char* name : {"file.wav", "folder.wav", "link.wav", "dangling.wav"}) {
        SetLastError(0);
        EXPECT_EQ(CreateNew(Path(name)), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS)) << name;
    }
    EXPECT_EQ(Contents("file.wav"), "keep");
    EXPECT_EQ(Contents("outside"), "outside");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/missing")) << "the dangling link's target stays uncreated";

    // What is not implemented fails, and creates nothing.
    struct Unsupported { DWORD access; DWORD disposition; };
    for (Unsupported u : {Unsupported{GENERIC_WRITE, CREATE_ALWAYS}, Unsupported{GENERIC_WRITE, OPEN_EXISTING},
                          Unsupported{GENERIC_READ, CREATE_NEW}, Unsupported{GENERIC_READ | GENERIC_WRITE, CREATE_NEW}}) {
        SetLastError(0);
        EXPECT_EQ(CreateFileW(Path("new.wav").c_str(), u.access, 0, nullptr, u.disposition, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/new.wav"));
    EXPECT_EQ(CreateNew(u"C:\\temp\\a.wav"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(CreateNew(Path("no-such-folder/a.wav")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileCalls, MoveReplacesOnlyWhenAskedAndReplacesALinkNotItsTarget) {
    std::ofstream(dir_ + "/a") << "a";
    std::ofstream(dir_ + "/b") << "b";
    SetLastError(0);
    EXPECT_FALSE(MoveFileExW(Path("a").c_str(), Path("b").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Contents("a"), "a");
    EXPECT_EQ(Contents("b"), "b");

    EXPECT_TRUE(MoveFileExW(Path("a").c_str(), Path("b").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/a"));
    EXPECT_EQ(Contents("b"), "a");

    std::ofstream(dir_ + "/outside") << "outside";
    std::filesystem::create_symlink(dir_ + "/outside", dir_ + "/link");
    EXPECT_TRUE(MoveFileExW(Path("b").c_str(), Path("link").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir_ + "/link")));
    EXPECT_EQ(Contents("link"), "a");
    EXPECT_EQ(Contents("outside"), "outside");

    EXPECT_TRUE(MoveFileExW(Path("link").c_str(), Path("c").c_str(), 0));  // to a free name
    EXPECT_EQ(Contents("c"), "a");
    std::filesystem::create_directory(dir_ + "/folder");
    EXPECT_FALSE(MoveFileExW(Path("c").c_str(), Path("folder").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Contents("c"), "a");
    EXPECT_FALSE(MoveFileExW(Path("missing").c_str(), Path("d").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileCalls, DeleteRemovesAFileOrALinkButNoFolder) {
    std::ofstream(dir_ + "/a") << "a";
    std::ofstream(dir_ + "/outside") << "outside";
    std::filesystem::create_symlink(dir_ + "/outside", dir_ + "/link");
    std::filesystem::create_directory(dir_ + "/folder");
    EXPECT_TRUE(DeleteFileW(Path("a").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/a"));
    EXPECT_TRUE(DeleteFileW(Path("link").c_str()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir_ + "/link")));
    EXPECT_EQ(Contents("outside"), "outside");
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(Path("folder").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/folder"));
    EXPECT_FALSE(DeleteFileW(Path("a").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileW(u"C:\\temp\\a"));
    EXPECT_FALSE(DeleteFileW(nullptr));
}

TEST(Environment, VariablesAreReadWithWindowsSizes) {
    const char* name = "TESSALOOM_KERNEL_TEST_VARIABLE";
    unsetenv(name);
    WCHAR buffer[8] = {u'x'};
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

    setenv(name, "a\xc3\xa9z", 1);  // UTF-8 in the environment: three units
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", nullptr, 0), 4u);
    WCHAR small[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", small, 3), 4u);
    EXPECT_EQ(small[0], u'x') << "too small: nothing written";
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", buffer, 4), 3u);
    EXPECT_EQ(std::u16string(buffer), u"a\u00e9z");

    setenv(name, "", 1);
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", nullptr, 0), 1u);
    EXPECT_EQ(GetEnvironmentVariableW(u"TESSALOOM_KERNEL_TEST_VARIABLE", buffer, 8), 0u);
    EXPECT_EQ(buffer[0], 0);
    unsetenv(name);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(Files, ModuleFileNameIsTheExecutable) {
    WCHAR buffer[1024];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(buffer, n)), std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_EQ(buffer[n], 0);

    WCHAR small[5];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(small), std::u16string(buffer, 4));
}

TEST(Clock, CountersRunForwardAndSleepWaits) {
    LARGE_INTEGER frequency{}, before{}, after{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000);
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    DWORD ticksBefore = timeGetTime();
    Sleep(20);
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    DWORD ticksAfter = timeGetTime();
    EXPECT_GE(after.QuadPart - before.QuadPart, 20 * frequency.QuadPart / 1000);
    EXPECT_GE(static_cast<DWORD>(ticksAfter - ticksBefore), 19u);  // whole milliseconds, truncated
    Sleep(0);
}

TEST(Threads, IdlePriorityRaisesTheThreadsNiceValue) {
    // On a thread of its own, so the rest of the tests keep their priority.
    std::thread worker([] {
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE));
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_IDLE);
        errno = 0;
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), 19);
    });
    worker.join();
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(1234), THREAD_PRIORITY_IDLE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Threads, LastErrorIsPerThread) {
    SetLastError(42);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(7);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 42u);
}
