// The web link of the settings dialog: the default browser's command line,
// from HKEY_CLASSES_ROOT, with the link put in, started as a process.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/types.h"

namespace tessaloom::host {

// Room for the browser's command line, with the link put in: 260 wide
// characters with the terminator, so at most 259.
constexpr size_t kBrowserCommandCapacity = 260;

enum class BrowserCommand {
    Built,
    // The link holds a blank, a double quote or a control character: it
    // would not reach the browser as one argument (a URL has them
    // percent-encoded).
    LinkNotOneArgument,
    // The command with the link would not fit kBrowserCommandCapacity: it is
    // refused, never cut, since a cut link opens another page.
    TooLong,
};

// The command line that opens `link` with the browser command `command`:
// a quoted "%1" is replaced by the link (which ends up in the quotes), else a
// bare %1, else a blank and the link are appended.  Only the first %1 is
// replaced.  `out` is set only when the answer is Built.
BrowserCommand BuildBrowserCommand(std::u16string_view command, std::u16string_view link, std::u16string* out);

}  // namespace tessaloom::host

// Starts the default web browser with `link`: the command of
// "http\shell\open\command" under HKEY_CLASSES_ROOT with the link put in
// (BuildBrowserCommand), started with CreateProcessW and not waited for; both
// process handles are closed.  Returns whether the browser process started.
// A command that cannot be read opens nothing; a link that cannot be put in
// opens nothing and says why on stderr.
bool OpenLinkInBrowser(const WCHAR* link);
