#include "platform/win32/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/kernel.h"
#include "platform/win32/strings.h"

extern char** environ;

namespace {

// Process and thread handles: numbers of their own range, never reused, so a
// closed handle is not mistaken for a later one (file handles count from
// 0x1000).
struct Child {
    pid_t pid;
};
std::mutex g_mutex;
std::map<uintptr_t, Child> g_handles;
uintptr_t g_nextHandle = 0x40000000u;
// Children whose handles are closed but which had not ended then: reaped
// whenever a process handle is created or closed, so none stays a zombie for
// long.
std::vector<pid_t> g_unreaped;

void ReapEnded() {
    for (auto it = g_unreaped.begin(); it != g_unreaped.end();) {
        int status = 0;
        const pid_t r = waitpid(*it, &status, WNOHANG);
        if (r == *it || (r < 0 && errno == ECHILD)) it = g_unreaped.erase(it);
        else ++it;
    }
}

bool PidHasHandle(pid_t pid) {
    for (const auto& [handle, child] : g_handles)
        if (child.pid == pid) return true;
    return false;
}

}  // namespace

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                    LPSTARTUPINFOW, LPPROCESS_INFORMATION processInformation) {
    if (applicationName || inheritHandles || creationFlags || environment || currentDirectory || !commandLine ||
        !processInformation) {
        std::fprintf(stderr, "CreateProcessW: only a command line with no application name, no inherited handles, "
                             "no flags, environment or folder is implemented\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::vector<std::u16string> args = tessaloom::SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> utf8;
    utf8.reserve(args.size());
    for (const auto& a : args) utf8.push_back(tessaloom::Utf16ToUtf8(a));
    std::vector<char*> argv;
    for (auto& a : utf8) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        SetLastError(error == ENOENT ? ERROR_FILE_NOT_FOUND
                     : error == EACCES ? ERROR_ACCESS_DENIED
                     : error == ENOEXEC ? ERROR_BAD_EXE_FORMAT
                     : error == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY
                                       : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    ReapEnded();
    const uintptr_t process = g_nextHandle++;
    const uintptr_t thread = g_nextHandle++;
    g_handles[process] = {pid};
    g_handles[thread] = {pid};
    processInformation->hProcess = reinterpret_cast<HANDLE>(process);
    processInformation->hThread = reinterpret_cast<HANDLE>(thread);
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

namespace tessaloom::win32 {

bool CloseProcessHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_handles.end()) return false;
    const pid_t pid = it->second.pid;
    g_handles.erase(it);
    if (!PidHasHandle(pid)) g_unreaped.push_back(pid);
    ReapEnded();
    return true;
}

}  // namespace tessaloom::win32
