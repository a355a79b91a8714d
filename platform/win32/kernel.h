// Kernel, time and shell services: clocks, sleeping, thread priority, the
// command line, the environment, the temporary folder, files (create, write,
// move, delete), file existence, the module path and the thread's last error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/types.h"

// Win32 error code of a buffer that was too small (GetModuleFileNameW).
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_NOT_SAME_DEVICE = 17;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_ENVVAR_NOT_FOUND = 203;

// --- last error (per thread) ------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// --- clocks -------------------------------------------------------------------
// The high-resolution counter is the monotonic clock in nanoseconds: the
// frequency is always 1 000 000 000 and both calls always succeed.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
// Milliseconds of the monotonic clock, wrapping at 2^32 like the multimedia timer.
DWORD timeGetTime();
// Sleep(0) gives up the rest of the time slice.
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

// --- threads ------------------------------------------------------------------
constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;
constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7fffffff;

// The pseudo-handle of the calling thread; the only thread handle there is.
HANDLE GetCurrentThread();
// Below-normal priorities raise the calling thread's nice value (IDLE -> 19,
// LOWEST -> 10, BELOW_NORMAL -> 5).  Priorities above normal are accepted and
// leave the nice value alone: raising priority needs privileges a screen saver
// never has.  Going back to NORMAL from a lowered value fails the same way
// (FALSE, ERROR_ACCESS_DENIED) unless the process may lower its nice value.
BOOL SetThreadPriority(HANDLE thread, int priority);
// The priority last set successfully on the calling thread (NORMAL at first).
int GetThreadPriority(HANDLE thread);

// --- processes and the environment ---------------------------------------------
DWORD GetCurrentProcessId();
// The value of an environment variable.  Returns its length without the
// terminator; when the buffer is too small (or null), the size needed
// including the terminator and writes nothing; 0 with ERROR_ENVVAR_NOT_FOUND
// when the variable is not set.  Names and values are UTF-8 in the Linux
// environment.
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);

// --- console control events ---------------------------------------------------
// SIGINT, SIGHUP and SIGTERM arrive as the console's control events
// CTRL_C_EVENT, CTRL_CLOSE_EVENT and CTRL_SHUTDOWN_EVENT.  The signal handler
// only writes the signal's number to a pipe; a thread of its own reads it and
// calls the handler routines there, the last added first, until one returns
// TRUE, as Windows calls them on a thread it starts.  When none does, the
// process ends at once by the signal (the default disposition).  When one
// does, the application has taken the event and ends itself: the process
// then runs to its normal exit, the exit handlers included, and at the end
// is ended by that signal after all, so that the sender sees why it ended.
// A second such signal while the first is being taken ends the process at
// once.  A routine must be safe to call from that thread (PostMessageW is).
constexpr DWORD CTRL_C_EVENT = 0;
constexpr DWORD CTRL_BREAK_EVENT = 1;
constexpr DWORD CTRL_CLOSE_EVENT = 2;
constexpr DWORD CTRL_LOGOFF_EVENT = 5;
constexpr DWORD CTRL_SHUTDOWN_EVENT = 6;
using PHANDLER_ROUTINE = BOOL (*)(DWORD ctrlType);
// Adds or removes a routine (a null routine is not implemented: FALSE with
// ERROR_INVALID_PARAMETER).  The first addition installs the signal handlers.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add);

// --- command line -----------------------------------------------------------
// The process command line as Windows would hand it over: the program name
// (quoted when it holds a blank) and each argument quoted by the rules of
// CommandLineToArgvW, so that splitting the line gives the arguments back.
// Built from the arguments given to tessaloom::SetCommandLineFromArgv, or
// from /proc/self/cmdline when main never called it.  The pointer stays valid
// until the next SetCommandLineFromArgv.
LPWSTR GetCommandLineW();

// Splits a command line by the Windows rules (the first token is the program
// name: taken up to the next quote when it starts with one, else to the first
// blank).  Returns one allocation that LocalFree releases; null with
// ERROR_INVALID_PARAMETER when `count` is null.
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);
HANDLE LocalFree(HANDLE memory);

namespace tessaloom {

// Arguments are UTF-8 (invalid sequences become U+FFFD).
void SetCommandLineFromArgv(int argc, char** argv);
// The command line of a program name and its arguments, quoted as above.
std::u16string BuildCommandLine(const std::vector<std::u16string>& argv);
// The inverse of BuildCommandLine: CommandLineToArgvW's splitting rules.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

}  // namespace tessaloom

// --- files and folders ----------------------------------------------------------
// The Linux temporary folder ($TMPDIR when it names a folder, else /tmp) with a
// trailing '/'.  Returns the length without the terminator; when the buffer is
// too small, returns the size needed including the terminator and writes nothing.
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);

// Paths in Windows form (a backslash or a drive letter) name no file here: the
// file calls below fail on them with ERROR_PATH_NOT_FOUND.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Opens a file for writing.  Only what the system uses is implemented:
// GENERIC_WRITE with CREATE_NEW, which creates the file (mode 0644) and fails
// with ERROR_FILE_EXISTS when the name exists in any form, a symbolic link
// included: a link is never followed.  Share mode, security attributes,
// attributes and the template are ignored.  Any other access or disposition
// fails with ERROR_INVALID_PARAMETER.  INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Writes all `size` bytes (synchronous only: `overlapped` must be null).
// `written` receives the count written, also after a failure.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, OVERLAPPED* overlapped);
// Closes a file handle, or a process or thread handle of CreateProcessW
// (FALSE with ERROR_INVALID_HANDLE for an unknown or already closed one; the
// current-thread pseudo-handle closes as a no-op).
BOOL CloseHandle(HANDLE handle);
// Renames a file in one step.  Without MOVEFILE_REPLACE_EXISTING an existing
// target fails with ERROR_ALREADY_EXISTS; with it an existing file or link at
// the target is replaced (the link itself, never what it points to).  Across
// file systems: ERROR_NOT_SAME_DEVICE (copying is not implemented).
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
// Removes a file or a link (not what it points to); a folder fails with
// ERROR_ACCESS_DENIED.
BOOL DeleteFileW(LPCWSTR path);

// Paths in Windows form (a backslash, a drive letter "C:" or a UNC "\\\\" prefix)
// come from documents written on Windows and never name a file here: FALSE.
// Any other path is looked up in the file system (a file or a folder).
BOOL PathFileExistsW(LPCWSTR path);

// The path of the executable (module null or the executable's handle) or of a
// loaded resource container.  Returns the length copied; when the buffer is too
// small the path is cut to size - 1 units, terminated, the size is returned and
// the last error is ERROR_INSUFFICIENT_BUFFER.  0 for an unknown module.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

namespace tessaloom {
// The executable's path in UTF-8 (/proc/self/exe), empty when it cannot be read.
std::string ExecutablePath();
// The folder that holds the executable, without a trailing '/'.
std::string ExecutableFolder();
// Hands freed heap pages back to the system.  After megabytes of scratch were
// freed (a picture's decode, a window's backing picture): blocks under the
// mmap threshold (all of them, once glibc has raised a threshold nobody
// fixed) come from the heap and stay resident once freed.  Not for a
// per-frame path.
void GiveBackFreedHeap();
// Makes blocks of 512 KiB and more come straight from the system and go back
// to it when freed, for the rest of the process (the Windows heap does the
// same above its own threshold).  glibc's moving threshold would otherwise put
// frame-sized blocks, freed and remade at each device reset, into the heap,
// where the holes they leave grow it step by step.  Called once at start.
void MapLargeBlocksFromTheSystem();
}  // namespace tessaloom
