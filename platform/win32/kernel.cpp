#include "platform/win32/kernel.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/win32/strings.h"

namespace {

thread_local DWORD g_lastError = 0;
thread_local int g_threadPriority = THREAD_PRIORITY_NORMAL;

// The one thread handle: Windows' pseudo-handle value for the current thread.
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

int64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::mutex g_commandLineMutex;
std::u16string g_commandLine;
bool g_commandLineSet = false;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool NeedsQuotes(const std::u16string& arg) {
    if (arg.empty()) return true;
    for (char16_t c : arg)
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'"') return true;
    return false;
}

void AppendQuotedArgument(std::u16string& out, const std::u16string& arg) {
    if (!NeedsQuotes(arg)) {
        out += arg;
        return;
    }
    out.push_back(u'"');
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            // Backslashes before a quote are doubled, and the quote escaped.
            out.append(backslashes * 2 + 1, u'\\');
        } else {
            out.append(backslashes, u'\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    // Backslashes before the closing quote are doubled so they stay literal.
    out.append(backslashes * 2, u'\\');
    out.push_back(u'"');
}

std::u16string CommandLineFromProc() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> args;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') {
            args.push_back(tessaloom::Utf8ToUtf16(std::string_view(bytes).substr(start, i - start)));
            start = i + 1;
        }
    }
    if (start < bytes.size()) args.push_back(tessaloom::Utf8ToUtf16(std::string_view(bytes).substr(start)));
    return tessaloom::BuildCommandLine(args);
}

int NiceForPriority(int priority) {
    if (priority <= THREAD_PRIORITY_IDLE) return 19;
    if (priority <= THREAD_PRIORITY_LOWEST) return 10;
    if (priority == THREAD_PRIORITY_BELOW_NORMAL) return 5;
    return 0;
}

bool IsWindowsPath(std::u16string_view path) {
    if (path.find(u'\\') != std::u16string_view::npos) return true;
    // A drive letter: "C:", "C:\\dir" or "C:name".
    if (path.size() >= 2 && path[1] == u':' && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')))
        return true;
    return false;
}

}  // namespace

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD code) { g_lastError = code; }

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = 1000000000;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    count->QuadPart = MonotonicNanoseconds();
    return TRUE;
}

DWORD timeGetTime() { return static_cast<DWORD>(static_cast<uint64_t>(MonotonicNanoseconds() / 1000000)); }
DWORD GetTickCount() { return timeGetTime(); }

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

HANDLE GetCurrentThread() { return kCurrentThread; }

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread != kCurrentThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (priority > THREAD_PRIORITY_NORMAL) {
        g_threadPriority = priority;
        return TRUE;
    }
    // On Linux the nice value of a thread id affects that thread alone.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    if (setpriority(PRIO_PROCESS, tid, NiceForPriority(priority)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    g_threadPriority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE thread) {
    if (thread != kCurrentThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return g_threadPriority;
}

namespace tessaloom {

std::u16string BuildCommandLine(const std::vector<std::u16string>& argv) {
    std::u16string out;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i == 0) {
            // The program name is split without escapes (up to the next quote),
            // so it cannot carry a quote; a Windows file name never does.
            std::u16string name;
            for (char16_t c : argv[0])
                if (c != u'"') name.push_back(c);
            bool quote = name.empty() || name.find_first_of(u" \t") != std::u16string::npos;
            if (quote) out.push_back(u'"');
            out += name;
            if (quote) out.push_back(u'"');
        } else {
            out.push_back(u' ');
            AppendQuotedArgument(out, argv[i]);
        }
    }
    return out;
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    size_t i = 0;
    // The program name.
    std::u16string name;
    if (i < line.size() && line[i] == u'"') {
        ++i;
        while (i < line.size() && line[i] != u'"') name.push_back(line[i++]);
        if (i < line.size()) ++i;
    } else {
        while (i < line.size() && !IsBlank(line[i])) name.push_back(line[i++]);
    }
    args.push_back(std::move(name));
    // The arguments.
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::u16string arg;
        bool quoted = false;
        while (i < line.size()) {
            char16_t c = line[i];
            if (!quoted && IsBlank(c)) break;
            if (c == u'\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == u'\\') ++n, ++i;
                if (i < line.size() && line[i] == u'"') {
                    arg.append(n / 2, u'\\');
                    if (n % 2 == 1) {
                        arg.push_back(u'"');
                        ++i;
                    }
                    // An even count leaves the quote to the branch below.
                } else {
                    arg.append(n, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    // "" inside quotes is one literal quote; the quotes go on.
                    arg.push_back(u'"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg.push_back(c);
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

void SetCommandLineFromArgv(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i] ? argv[i] : ""));
    std::lock_guard<std::mutex> lock(g_commandLineMutex);
    g_commandLine = BuildCommandLine(args);
    g_commandLineSet = true;
}

std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ExecutableFolder() {
    std::string path = ExecutablePath();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace tessaloom

LPWSTR GetCommandLineW() {
    std::lock_guard<std::mutex> lock(g_commandLineMutex);
    if (!g_commandLineSet) {
        g_commandLine = CommandLineFromProc();
        g_commandLineSet = true;
    }
    return g_commandLine.data();
}

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
    if (!count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<std::u16string> args;
    if (!commandLine || *commandLine == 0) {
        // An empty line gives the executable's path alone.
        args.push_back(tessaloom::Utf8ToUtf16(tessaloom::ExecutablePath()));
    } else {
        args = tessaloom::SplitCommandLine(std::u16string_view(commandLine, tessaloom::WStrLen(commandLine)));
    }
    // One block: the pointer array (null-terminated), then the strings.
    size_t units = 0;
    for (const auto& a : args) units += a.size() + 1;
    size_t pointerBytes = (args.size() + 1) * sizeof(LPWSTR);
    auto* block = static_cast<unsigned char*>(std::malloc(pointerBytes + units * sizeof(WCHAR)));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* table = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + pointerBytes);
    for (size_t i = 0; i < args.size(); ++i) {
        table[i] = text;
        std::memcpy(text, args[i].data(), args[i].size() * sizeof(WCHAR));
        text[args[i].size()] = 0;
        text += args[i].size() + 1;
    }
    table[args.size()] = nullptr;
    *count = static_cast<int>(args.size());
    return table;
}

HANDLE LocalFree(HANDLE memory) {
    std::free(memory);
    return nullptr;
}

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    std::string folder = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env) {
        struct stat info{};
        if (stat(env, &info) == 0 && S_ISDIR(info.st_mode)) folder = env;
    }
    if (folder.back() != '/') folder.push_back('/');
    std::u16string wide = tessaloom::Utf8ToUtf16(folder);
    const auto needed = static_cast<DWORD>(wide.size() + 1);
    if (!buffer || bufferLength < needed) return needed;
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    buffer[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

BOOL PathFileExistsW(LPCWSTR path) {
    if (!path || *path == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view view(path, tessaloom::WStrLen(path));
    if (IsWindowsPath(view)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    struct stat info{};
    if (stat(tessaloom::Utf16ToUtf8(view).c_str(), &info) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}
