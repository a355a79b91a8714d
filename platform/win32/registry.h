// The registry.
//
// HKEY_CURRENT_USER lives in one text file in REGEDIT4 syntax (UTF-8):
// $TESSALOOM_REGISTRY_DIR/user.reg, else $XDG_CONFIG_HOME/tessaloom/user.reg,
// else ~/.config/tessaloom/user.reg.  Every change rewrites the file through
// a temporary file and a rename, so a crash or a full disk leaves the last
// complete file in place; a change that cannot be written fails and is not
// kept.  A file that cannot be read is renamed aside with a warning and the
// registry starts empty.  The file is read again when another process
// replaced it.
//
// HKEY_CLASSES_ROOT is read-only and holds one key: the browser command
// "http\shell\open\command" whose default value is `xdg-open "%1"`.
// Value and key names compare without case (ASCII) and are stored as given.
#pragma once

#include "platform/win32/types.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

using REGSAM = DWORD;
using PHKEY = HKEY*;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

struct SECURITY_ATTRIBUTES;

// Creates the key and the keys above it when missing (and writes the file).
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                     SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition);
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCloseKey(HKEY key);
// `name` null or empty: the default value.  With `data` null only the type
// and size are returned; a buffer too small gives ERROR_MORE_DATA and the
// size needed, and nothing is copied.
LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteValueW(HKEY key, LPCWSTR name);
