// Monitors and display devices of the window stand-in, from SDL's displays.
// Display i (SDL's order) is display device i, named "\\.\DISPLAYn" with
// n = i + 1, and monitor handle tessaloom::MonitorFromDisplayIndex(i), the
// same handle the Direct3D stand-in's GetAdapterMonitor gives.
#pragma once

#include "platform/win32/types.h"

constexpr DWORD MONITOR_DEFAULTTONULL = 0;
constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;
constexpr DWORD MONITORINFOF_PRIMARY = 1;

constexpr int CCHDEVICENAME = 32;
constexpr int CCHFORMNAME = 32;

struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
};
struct MONITORINFOEXW : MONITORINFO {
    WCHAR szDevice[CCHDEVICENAME];
};
using LPMONITORINFO = MONITORINFO*;

struct DISPLAY_DEVICEW {
    DWORD cb;
    WCHAR DeviceName[32];
    WCHAR DeviceString[128];
    DWORD StateFlags;
    WCHAR DeviceID[128];
    WCHAR DeviceKey[128];
};

constexpr DWORD DISPLAY_DEVICE_ATTACHED_TO_DESKTOP = 0x00000001;
constexpr DWORD DISPLAY_DEVICE_PRIMARY_DEVICE = 0x00000004;
constexpr DWORD DISPLAY_DEVICE_MIRRORING_DRIVER = 0x00000008;
constexpr DWORD DISPLAY_DEVICE_ACTIVE = 0x00000001;  // of a monitor entry

// The display-mode fields the system reads; the layout is our own.
struct DEVMODEW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSize;
    DWORD dmFields;
    POINT dmPosition;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFrequency;
};

constexpr DWORD ENUM_CURRENT_SETTINGS = 0xFFFFFFFFu;
constexpr DWORD ENUM_REGISTRY_SETTINGS = 0xFFFFFFFEu;
constexpr DWORD DM_POSITION = 0x00000020;
constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;

using MONITORENUMPROC = BOOL (*)(HMONITOR, HDC, LPRECT, LPARAM);

// `dc` must be null; `clip` null lists every monitor.
BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data);
// Accepts MONITORINFO and MONITORINFOEXW (by cbSize).  The work area is the
// SDL usable bounds.
BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info);
HMONITOR MonitorFromWindow(HWND window, DWORD flags);
HMONITOR MonitorFromRect(LPCRECT rect, DWORD flags);
HMONITOR MonitorFromPoint(POINT point, DWORD flags);
// `device` null enumerates display devices; a display device's name
// enumerates its monitor (one per display).
BOOL EnumDisplayDevicesW(LPCWSTR device, DWORD index, DISPLAY_DEVICEW* info, DWORD flags);
BOOL EnumDisplaySettingsW(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode);
