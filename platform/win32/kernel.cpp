#include "platform/win32/kernel.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include "platform/win32/process.h"
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

// Open files by handle.  Handles are small numbers of our own (never 0 or
// INVALID_HANDLE_VALUE), so a closed handle is not mistaken for a later file
// that reuses the descriptor.
std::mutex g_filesMutex;
std::map<uintptr_t, int> g_files;
uintptr_t g_nextFile = 0x1000;

int DescriptorOf(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_filesMutex);
    auto it = g_files.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_files.end() ? -1 : it->second;
}

DWORD ErrorOfErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EACCES: case EPERM: case EISDIR: case EROFS: case ELOOP: case ENOTEMPTY: return ERROR_ACCESS_DENIED;
    default: return ERROR_WRITE_FAULT;
    }
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

// The UTF-8 path of a file argument, or false (with the last error set) for a
// null, empty or Windows-form path.
bool LinuxPath(LPCWSTR path, std::string& out) {
    if (!path || *path == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::u16string_view view(path, tessaloom::WStrLen(path));
    if (IsWindowsPath(view)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    out = tessaloom::Utf16ToUtf8(view);
    return true;
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

void GiveBackFreedHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void MapLargeBlocksFromTheSystem() {
#if defined(__GLIBC__)
    // Setting the threshold also stops glibc from moving it.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif
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

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    if (!name || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* value = std::getenv(tessaloom::Utf16ToUtf8(std::u16string_view(name, tessaloom::WStrLen(name))).c_str());
    if (!value) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::u16string wide = tessaloom::Utf8ToUtf16(value);
    const auto needed = static_cast<DWORD>(wide.size() + 1);
    if (!buffer || size < needed) return needed;
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    buffer[wide.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD /*shareMode*/, SECURITY_ATTRIBUTES* /*security*/,
                   DWORD disposition, DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    if (access != GENERIC_WRITE || disposition != CREATE_NEW) {
        std::fprintf(stderr, "CreateFileW: access 0x%08X with disposition %u is not implemented\n",
                     static_cast<unsigned>(access), static_cast<unsigned>(disposition));
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string file;
    if (!LinuxPath(path, file)) return INVALID_HANDLE_VALUE;
    // O_EXCL refuses any existing name, a dangling link included; O_NOFOLLOW
    // says the same for links outright.
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        // With O_CREAT a missing name is made: ENOENT means a missing folder.
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> lock(g_filesMutex);
    const uintptr_t handle = g_nextFile++;
    g_files[handle] = fd;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, OVERLAPPED* overlapped) {
    if (written) *written = 0;
    if (overlapped || (!data && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int fd = DescriptorOf(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    DWORD done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n == 0 ? ERROR_WRITE_FAULT : ErrorOfErrno(errno));
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == kCurrentThread) return TRUE;
    if (tessaloom::win32::CloseProcessHandle(handle)) return TRUE;
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(g_filesMutex);
        auto it = g_files.find(reinterpret_cast<uintptr_t>(handle));
        if (it != g_files.end()) {
            fd = it->second;
            g_files.erase(it);
        }
    }
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The descriptor is gone even when close reports an error (a late write
    // failure): the error is reported, the handle is closed.
    if (close(fd) != 0) {
        SetLastError(ErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    std::string source;
    std::string target;
    if (!LinuxPath(from, source) || !LinuxPath(to, target)) return FALSE;
    const int result = (flags & MOVEFILE_REPLACE_EXISTING) != 0
                           ? std::rename(source.c_str(), target.c_str())
                           : renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (result != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
    std::string file;
    if (!LinuxPath(path, file)) return FALSE;
    if (unlink(file.c_str()) != 0) {
        SetLastError(ErrorOfErrno(errno));
        return FALSE;
    }
    return TRUE;
}
