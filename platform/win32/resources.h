// Resource lookup in the executable's own table and in resource modules.
// A module is never code: LoadLibraryW maps a module name to one of our
// resource container files found beside the executable.
#pragma once

#include "platform/win32/types.h"

// `name` is a file name beside the executable (or in $TESSALOOM_MODULE_DIR),
// compared without regard to case; ".dll" is implied when it has no extension.
// Only resource containers load (resource_container_format.h).  A path, an
// unknown name or a damaged container gives null with ERROR_MOD_NOT_FOUND
// (a damaged one also says why on stderr).  Loading a loaded module again
// returns the same handle and counts one more FreeLibrary.
HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
// Always absent: nothing a document names can make the saver run code.
void* GetProcAddress(HMODULE module, LPCSTR name);
HMODULE GetModuleHandleW(LPCWSTR name);

// `module` null (or GetModuleHandleW(nullptr)) searches the executable's own
// table (rc_table.h).  `name` and `type` are MAKEINTRESOURCEW numbers, "#123"
// or strings ("DDS"), compared without regard to case.  Dialog templates are
// read with rc_dialog.h, icons with rc_icon.h.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
// Copies at most bufferMax - 1 units and terminates; bufferMax 0 stores a
// read-only pointer to the text in `buffer` instead.  A missing or empty
// string returns 0 and leaves an empty string in the buffer.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
