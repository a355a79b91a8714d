// Starting programs: CreateProcessW over posix_spawn.
#pragma once

#include "platform/win32/types.h"

struct SECURITY_ATTRIBUTES;

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

constexpr LONG ERROR_BAD_EXE_FORMAT = 193;

// Starts a program and returns at once (the program is not waited for).
//
// Only what the system uses is implemented: no application name, a command
// line whose first token names the program (a path, or a name looked up in
// PATH as CreateProcess does), the arguments split by CommandLineToArgvW's
// rules.  The program is started directly with posix_spawn, never through a
// shell, so nothing in the line is interpreted.  No handle is inherited
// (descriptors from 3 on are closed in the child, stdin reads /dev/null;
// stdout and stderr stay the saver's), no creation flags, the environment
// and the folder of the caller, the start-up structure ignored.  On success
// the process and thread handles are filled and must be closed with
// CloseHandle; dwProcessId is the child's pid.  Failure: FALSE with
// ERROR_INVALID_PARAMETER (an application name, handle inheritance, flags,
// an environment or folder given, an empty line), ERROR_FILE_NOT_FOUND (no
// such program) or the error of the spawn.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);

namespace tessaloom::win32 {
// For CloseHandle: closes a process or thread handle of CreateProcessW;
// false when the handle is not one.  A process that has ended is reaped.
bool CloseProcessHandle(HANDLE handle);
}  // namespace tessaloom::win32
