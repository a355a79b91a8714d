#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32/strings.h"
#include "platform/win32/windows.h"
#include "tests/support/arg_record.h"

using tessaloom::test::ArmArgRecord;
using tessaloom::test::RecorderOnPath;
using tessaloom::test::WaitForArgRecord;

namespace {

BOOL Start(std::u16string line, PROCESS_INFORMATION* process, BOOL inherit = FALSE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup, process);
}

std::u16string Recorder() { return tessaloom::Utf8ToUtf16(TESSALOOM_ARG_RECORDER); }

}  // namespace

// The line is split by the Windows rules and handed over as it is: no shell
// sees it, so quotes group, backslashes escape only before a quote, and
// shell syntax stays text.  No descriptor of the caller reaches the program.
TEST(CreateProcess, StartsTheProgramWithTheSplitArgumentVectorAndNoShell) {
    const std::string path = ArmArgRecord("split");
    const std::string marker = "/tmp/tessaloom-argrec-" + std::to_string(getpid()) + "-shell-ran";
    std::remove(marker.c_str());
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    PROCESS_INFORMATION process{};
    const std::u16string line = u"\"" + Recorder() + u"\" plain \"two words\" quo\\\"te back\\slash "
                                u"$(touch " + tessaloom::Utf8ToUtf16(marker) + u") ;|* \"\" https://a.example/?x=1&y=2";
    ASSERT_TRUE(Start(line, &process)) << GetLastError();
    close(leaked);
    EXPECT_NE(process.hProcess, nullptr);
    EXPECT_NE(process.hThread, process.hProcess);
    EXPECT_GT(process.dwProcessId, 0u);
    const auto record = WaitForArgRecord(path);
    ASSERT_TRUE(record.found);
    const std::vector<std::string> expected = {TESSALOOM_ARG_RECORDER, "plain", "two words", "quo\"te", "back\\slash",
                                               "$(touch", marker + ")", ";|*", "", "https://a.example/?x=1&y=2"};
    EXPECT_EQ(record.args, expected);
    EXPECT_EQ(record.openDescriptors, 0);
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "a shell ran the line";
    // Both handles close once; a closed handle is no handle.
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(process.hProcess));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(CreateProcess, APlainProgramNameIsLookedUpInPath) {
    RecorderOnPath onPath("tessaloom-fake-browser");
    const std::string path = ArmArgRecord("path");
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(Start(u"tessaloom-fake-browser \"https://b.example/\"", &process)) << GetLastError();
    const auto record = WaitForArgRecord(path);
    ASSERT_TRUE(record.found);
    EXPECT_EQ(record.args, (std::vector<std::string>{"tessaloom-fake-browser", "https://b.example/"}));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

TEST(CreateProcess, FailuresStartNothing) {
    PROCESS_INFORMATION process{};
    SetLastError(0);
    EXPECT_FALSE(Start(u"tessaloom-no-such-program-anywhere x", &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Start(u"/nonexistent/folder/program", &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // What is not implemented is refused, never half done.
    const std::string path = ArmArgRecord("refused");
    EXPECT_FALSE(Start(Recorder(), &process, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Start(u"", &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(process.hProcess, nullptr);
}
