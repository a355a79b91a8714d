// Resource lookup in the executable's own table and in resource modules.
// A module is never code: LoadLibraryW maps a module name to one of our
// resource container files found beside the executable.
#pragma once

#include "platform/win32/types.h"

HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
// Always absent: nothing a document names can make the saver run code.
void* GetProcAddress(HMODULE module, LPCSTR name);
HMODULE GetModuleHandleW(LPCWSTR name);

// `module` null searches the executable's own table.  `name` and `type` are
// either MAKEINTRESOURCEW numbers or strings ("DDS").
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
