#include "host/browser_link.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <string>
#include <vector>

#include "platform/win32/strings.h"
#include "tests/support/arg_record.h"

using tessaloom::host::BrowserCommand;
using tessaloom::host::BuildBrowserCommand;
using tessaloom::host::kBrowserCommandCapacity;

namespace {

const std::u16string kLink = u"https://www.example.com/?utm_source=screensaver&utm_medium=website";

}  // namespace

TEST(BrowserCommand, PutsTheLinkInTheCommand) {
    struct Case {
        std::u16string command;
        std::u16string expected;
    };
    const Case cases[] = {
        // A quoted %1: the link ends up inside the quotes.
        {u"xdg-open \"%1\"", u"xdg-open \"" + kLink + u"\""},
        {u"\"/opt/Web Browser/browser\" -osint -url \"%1\" --new", u"\"/opt/Web Browser/browser\" -osint -url \"" + kLink + u"\" --new"},
        // A bare %1 is replaced too, in place.
        {u"firefox %1 --new-window", u"firefox " + kLink + u" --new-window"},
        {u"browser --url=%1", u"browser --url=" + kLink},
        // Only the first %1 (the quoted one when there is one).
        {u"b %1 \"%1\"", u"b %1 \"" + kLink + u"\""},
        // No %1: a blank and the link are appended.
        {u"/usr/bin/browser", u"/usr/bin/browser " + kLink},
        {u"", u" " + kLink},
    };
    for (const Case& c : cases) {
        std::u16string out = u"untouched";
        EXPECT_EQ(BuildBrowserCommand(c.command, kLink, &out), BrowserCommand::Built) << tessaloom::Utf16ToUtf8(c.command);
        EXPECT_EQ(out, c.expected) << tessaloom::Utf16ToUtf8(c.command);
    }
}

// The result holds at most 259 characters (260 with the terminator): one more
// and the link is refused, not cut to another page.
TEST(BrowserCommand, ALinkThatDoesNotFitIsRefusedNotCut) {
    const std::u16string command = u"xdg-open \"%1\"";  // 11 characters besides the link
    const std::u16string fits(kBrowserCommandCapacity - 1 - 11, u'a');
    std::u16string out;
    ASSERT_EQ(BuildBrowserCommand(command, fits, &out), BrowserCommand::Built);
    EXPECT_EQ(out.size(), kBrowserCommandCapacity - 1);
    out = u"untouched";
    EXPECT_EQ(BuildBrowserCommand(command, fits + u"a", &out), BrowserCommand::TooLong);
    EXPECT_EQ(out, u"untouched");
    // The same bound when the link is appended.
    const std::u16string appended(kBrowserCommandCapacity - 1 - 8, u'b');
    EXPECT_EQ(BuildBrowserCommand(u"browser", appended, &out), BrowserCommand::Built);
    EXPECT_EQ(BuildBrowserCommand(u"browser", appended + u"b", &out), BrowserCommand::TooLong);
}

TEST(BrowserCommand, ALinkThatWouldNotStayOneArgumentIsRefused) {
    for (const std::u16string bad : {u"https://a.example/x y", u"https://a.example/\" --evil \"", u"https://a\tb",
                                     u"https://a.example/\n"}) {
        std::u16string out = u"untouched";
        EXPECT_EQ(BuildBrowserCommand(u"xdg-open \"%1\"", bad, &out), BrowserCommand::LinkNotOneArgument);
        EXPECT_EQ(out, u"untouched");
    }
}

// The whole path with the registry's own browser command, `xdg-open "%1"`:
// an "xdg-open" first on PATH records what it was started with.
TEST(OpenLinkInBrowser, StartsTheRegistrysBrowserCommandWithTheLink) {
    tessaloom::test::RecorderOnPath onPath("xdg-open");
    const std::string path = tessaloom::test::ArmArgRecord("browser");
    ASSERT_TRUE(OpenLinkInBrowser(kLink.c_str()));
    const auto record = tessaloom::test::WaitForArgRecord(path);
    ASSERT_TRUE(record.found);
    EXPECT_EQ(record.args, (std::vector<std::string>{"xdg-open", tessaloom::Utf16ToUtf8(kLink)}));
    EXPECT_EQ(record.openDescriptors, 0);
}

// In a process of its own, which has no children before: a refused link
// leaves it without any, so the check looks at the process table itself
// instead of waiting for something not to happen.
TEST(OpenLinkInBrowser, ARefusedLinkStartsNothing) {
    tessaloom::test::RecorderOnPath onPath("xdg-open");
    const std::u16string tooLong = u"https://a.example/" + std::u16string(kBrowserCommandCapacity, u'x');
    EXPECT_EXIT(
        {
            const bool opened = OpenLinkInBrowser(tooLong.c_str()) || OpenLinkInBrowser(u"https://a.example/a b") ||
                                OpenLinkInBrowser(nullptr);
            const pid_t child = waitpid(-1, nullptr, WNOHANG);
            const bool noChild = child < 0 && errno == ECHILD;
            std::fprintf(stderr, "opened %d, no child %d\n", opened, noChild);
            _exit(!opened && noChild ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "opened 0, no child 1");
    // The same check sees a link that is opened.
    const std::string path = tessaloom::test::ArmArgRecord("refused-link-control");
    EXPECT_EXIT(
        {
            OpenLinkInBrowser(kLink.c_str());
            _exit(waitpid(-1, nullptr, 0) > 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(tessaloom::test::WaitForArgRecord(path).found);
}
