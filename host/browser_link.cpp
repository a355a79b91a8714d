#include "host/browser_link.h"

#include <cstdio>

#include "platform/win32/strings.h"
#include "platform/win32/windows.h"

namespace tessaloom::host {

BrowserCommand BuildBrowserCommand(std::u16string_view command, std::u16string_view link, std::u16string* out) {
    for (char16_t c : link)
        if (c <= u' ' || c == u'"' || c == 0x7f) return BrowserCommand::LinkNotOneArgument;
    std::u16string result;
    size_t at = command.find(u"\"%1\"");
    if (at != std::u16string_view::npos) {
        ++at;  // the %1 inside the quotes
    } else {
        at = command.find(u"%1");
    }
    if (at != std::u16string_view::npos) {
        result.reserve(command.size() - 2 + link.size());
        result.append(command.substr(0, at));
        result.append(link);
        result.append(command.substr(at + 2));
    } else {
        result.reserve(command.size() + 1 + link.size());
        result.append(command);
        result.push_back(u' ');
        result.append(link);
    }
    if (result.size() >= kBrowserCommandCapacity) return BrowserCommand::TooLong;
    *out = std::move(result);
    return BrowserCommand::Built;
}

}  // namespace tessaloom::host

bool OpenLinkInBrowser(const WCHAR* link) {
    using tessaloom::host::BrowserCommand;
    if (!link) return false;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"http\\shell\\open\\command", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    WCHAR buffer[tessaloom::host::kBrowserCommandCapacity] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG read = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    std::u16string_view command(buffer, size / sizeof(WCHAR));
    while (!command.empty() && command.back() == 0) command.remove_suffix(1);

    std::u16string line;
    switch (tessaloom::host::BuildBrowserCommand(command, link, &line)) {
        case BrowserCommand::Built: break;
        case BrowserCommand::LinkNotOneArgument:
            std::fprintf(stderr, "tessaloom: the web link is not opened: it holds a blank, a quote or a control "
                                 "character\n");
            return false;
        case BrowserCommand::TooLong:
            std::fprintf(stderr, "tessaloom: the web link is not opened: with it the browser command would be "
                                 "longer than %zu characters\n",
                         tessaloom::host::kBrowserCommandCapacity - 1);
            return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "tessaloom: the browser could not be started (%s): error %u\n",
                     tessaloom::Utf16ToUtf8(line).c_str(), static_cast<unsigned>(GetLastError()));
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
