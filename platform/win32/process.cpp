// CreateProcessW: not provided in this build.  It fails loudly, so a caller
// never takes a program for started.
#include "platform/win32/process.h"

#include <cstdio>

#include "platform/win32/kernel.h"

BOOL CreateProcessW(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                    LPSTARTUPINFOW, LPPROCESS_INFORMATION processInformation) {
    std::fprintf(stderr, "tessaloom: CreateProcessW: starting programs is not provided in this build\n");
    if (processInformation) *processInformation = PROCESS_INFORMATION{};
    SetLastError(120);  // ERROR_CALL_NOT_IMPLEMENTED
    return FALSE;
}

namespace tessaloom::win32 {
bool CloseProcessHandle(HANDLE) { return false; }
}  // namespace tessaloom::win32
