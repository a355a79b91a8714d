// GUIDs: the 16-byte layout of Windows (Data1..Data4), compared and ordered
// bytewise, as memcmp orders them.
#pragma once

#include <cstring>

#include "platform/win32/types.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
inline bool operator<(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
#define IsEqualIID IsEqualGUID
#define IsEqualCLSID IsEqualGUID

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
