// Kernel, time and shell services: clocks, sleeping, thread priority, the
// command line, the temporary folder, file existence, the module path and the
// thread's last error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/types.h"

// Win32 error code of a buffer that was too small (GetModuleFileNameW).
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;

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
}  // namespace tessaloom
