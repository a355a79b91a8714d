// Windows base types with their Windows sizes, handles, result codes and the
// few macros every layer above the platform uses.
//
// `long` is 64-bit on Linux, so LONG/DWORD/ULONG are fixed-width 32-bit types.
// Wide characters are UTF-16: WCHAR is char16_t (never wchar_t).
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int32_t;
using BYTE = uint8_t;
using UCHAR = uint8_t;
using CHAR = char;
using WORD = uint16_t;
using USHORT = uint16_t;
using SHORT = int16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using INT64 = int64_t;
using UINT64 = uint64_t;
using DWORD64 = uint64_t;
using FLOAT = float;
using WCHAR = char16_t;
using HRESULT = int32_t;
using LRESULT = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using SIZE_T = size_t;
using ATOM = WORD;
using COLORREF = DWORD;
using LCID = DWORD;

using VOID = void;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PCWSTR = const WCHAR*;

static_assert(sizeof(BOOL) == 4);
static_assert(sizeof(BYTE) == 1);
static_assert(sizeof(WORD) == 2);
static_assert(sizeof(DWORD) == 4);
static_assert(sizeof(LONG) == 4);
static_assert(sizeof(ULONG) == 4);
static_assert(sizeof(UINT) == 4);
static_assert(sizeof(INT64) == 8);
static_assert(sizeof(HRESULT) == 4);
static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(WPARAM) == sizeof(void*));
static_assert(sizeof(LPARAM) == sizeof(void*));
static_assert(sizeof(LRESULT) == sizeof(void*));

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calling-convention and annotation words of the Windows headers mean nothing here.
#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define CONST const

// Handles are distinct opaque pointer types, as with STRICT.
#define TESSALOOM_DECLARE_HANDLE(name) \
    struct name##__ { int unused; };   \
    using name = name##__*
TESSALOOM_DECLARE_HANDLE(HWND);
TESSALOOM_DECLARE_HANDLE(HINSTANCE);
TESSALOOM_DECLARE_HANDLE(HRSRC);
TESSALOOM_DECLARE_HANDLE(HKEY);
TESSALOOM_DECLARE_HANDLE(HMONITOR);
TESSALOOM_DECLARE_HANDLE(HDC);
TESSALOOM_DECLARE_HANDLE(HBRUSH);
TESSALOOM_DECLARE_HANDLE(HFONT);
TESSALOOM_DECLARE_HANDLE(HPEN);
TESSALOOM_DECLARE_HANDLE(HBITMAP);
TESSALOOM_DECLARE_HANDLE(HICON);
TESSALOOM_DECLARE_HANDLE(HMENU);
TESSALOOM_DECLARE_HANDLE(HRGN);
#undef TESSALOOM_DECLARE_HANDLE
using HMODULE = HINSTANCE;
using HGLOBAL = void*;
using HCURSOR = HICON;
using HGDIOBJ = void*;
using HANDLE = void*;

struct POINT {
    LONG x;
    LONG y;
};
struct SIZE {
    LONG cx;
    LONG cy;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;
using LPPOINT = POINT*;
static_assert(sizeof(POINT) == 8);
static_assert(sizeof(RECT) == 16);

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
static_assert(sizeof(LARGE_INTEGER) == 8);

// Result codes.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) | (static_cast<uint32_t>(fac) << 16) | static_cast<uint32_t>(code))

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

// Win32 error codes (GetLastError, registry results).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr LONG ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr LONG ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr LONG ERROR_BADDB = 1009;

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<DWORD_PTR>(w) >> 8) & 0xff))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<WORD>(a)) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))
#define RGB(r, g, b) (static_cast<COLORREF>((static_cast<BYTE>(r)) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (LOBYTE(c))
#define GetGValue(c) (LOBYTE(static_cast<WORD>(c) >> 8))
#define GetBValue(c) (LOBYTE((c) >> 16))

// Resource names and types given by number.
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)

#define MAX_PATH 260
