// Monitors and display devices over SDL's displays (or the test interface's).
#include "platform/win32/monitors.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/win32/sdl_backend.h"
#include "platform/win32/strings.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/window_bridge.h"

namespace tessaloom::win32 {
namespace {

struct Mode {
    int width, height, refresh, bits;
};
struct Display {
    std::string adapterName;
    std::string monitorName;
    RECT bounds;
    RECT work;
    std::vector<Mode> modes;
    Mode current;
    bool attached;
    bool mirroring;
};

bool g_useFakes = false;
std::vector<test::FakeDisplay> g_fakes;

std::vector<Display> Displays() {
    std::vector<Display> out;
    if (g_useFakes) {
        for (size_t i = 0; i < g_fakes.size(); ++i) {
            const auto& f = g_fakes[i];
            Display d;
            d.adapterName = "Tessaloom display adapter " + std::to_string(i + 1);
            d.monitorName = f.name;
            d.bounds = f.bounds;
            d.work = f.bounds;
            for (auto s : f.modes) d.modes.push_back(Mode{s.cx, s.cy, 60, 32});
            d.current = Mode{f.bounds.right - f.bounds.left, f.bounds.bottom - f.bounds.top, 60, 32};
            d.attached = f.attachedToDesktop;
            d.mirroring = f.mirroring;
            if (!d.attached) d.bounds = d.work = RECT{};
            out.push_back(d);
        }
        return out;
    }
    for (auto& n : QueryNativeDisplays()) {
        Display d;
        d.adapterName = n.adapterName;
        d.monitorName = n.monitorName;
        d.bounds = n.bounds;
        d.work = n.work;
        for (auto& m : n.modes) d.modes.push_back(Mode{m.width, m.height, m.refresh, m.bits});
        d.current = Mode{n.current.width, n.current.height, n.current.refresh, n.current.bits};
        d.attached = true;
        d.mirroring = false;
        out.push_back(d);
    }
    return out;
}

LONG Overlap(const RECT& a, const RECT& b) {
    LONG w = std::min(a.right, b.right) - std::max(a.left, b.left);
    LONG h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return (w > 0 && h > 0) ? w * h : 0;
}

LONG DistanceSquared(const RECT& a, const RECT& b) {
    LONG dx = std::max<LONG>({0, b.left - a.right, a.left - b.right});
    LONG dy = std::max<LONG>({0, b.top - a.bottom, a.top - b.bottom});
    return dx * dx + dy * dy;
}

HMONITOR FromRect(const RECT& r, DWORD flags) {
    auto displays = Displays();
    int best = -1;
    LONG bestArea = 0;
    for (size_t i = 0; i < displays.size(); ++i) {
        if (!displays[i].attached) continue;
        LONG a = Overlap(r, displays[i].bounds);
        if (a > bestArea) bestArea = a, best = static_cast<int>(i);
    }
    if (best >= 0) return MonitorFromDisplayIndex(best);
    if (flags == MONITOR_DEFAULTTONULL || displays.empty()) return nullptr;
    if (flags == MONITOR_DEFAULTTOPRIMARY) return MonitorFromDisplayIndex(0);
    LONG bestDistance = 0;
    for (size_t i = 0; i < displays.size(); ++i) {
        if (!displays[i].attached) continue;
        LONG d = DistanceSquared(r, displays[i].bounds);
        if (best < 0 || d < bestDistance) bestDistance = d, best = static_cast<int>(i);
    }
    return best >= 0 ? MonitorFromDisplayIndex(best) : nullptr;
}

void CopyName(WCHAR* dest, size_t capacity, const std::string& text) {
    std::u16string w = Utf8ToUtf16(text);
    size_t n = std::min(w.size(), capacity - 1);
    std::copy(w.begin(), w.begin() + n, dest);
    dest[n] = 0;
}

std::string DeviceName(size_t i) { return "\\\\.\\DISPLAY" + std::to_string(i + 1); }

// The display index named by "\\.\DISPLAYn", or -1.
int IndexFromDeviceName(LPCWSTR name) {
    if (!name) return 0;  // null: the display of the calling thread, the primary
    std::string n = Utf16ToUtf8(name);
    const std::string prefix = "\\\\.\\DISPLAY";
    if (n.compare(0, prefix.size(), prefix) != 0) return -1;
    std::string digits = n.substr(prefix.size());
    if (digits.empty() || digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return -1;
    return std::stoi(digits) - 1;
}

}  // namespace
}  // namespace tessaloom::win32

using namespace tessaloom;
using namespace tessaloom::win32;

BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data) {
    if (dc || !proc) return FALSE;
    auto displays = Displays();
    for (size_t i = 0; i < displays.size(); ++i) {
        if (!displays[i].attached) continue;
        RECT r = displays[i].bounds;
        if (clip && Overlap(r, *clip) == 0) continue;
        if (!proc(MonitorFromDisplayIndex(static_cast<int>(i)), nullptr, &r, data)) break;
    }
    return TRUE;
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info) {
    if (!info || (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXW))) return FALSE;
    auto displays = Displays();
    int i = DisplayIndexFromMonitor(monitor);
    if (i < 0 || i >= static_cast<int>(displays.size()) || !displays[i].attached) return FALSE;
    info->rcMonitor = displays[i].bounds;
    info->rcWork = displays[i].work;
    info->dwFlags = i == 0 ? MONITORINFOF_PRIMARY : 0;
    if (info->cbSize == sizeof(MONITORINFOEXW))
        CopyName(static_cast<MONITORINFOEXW*>(info)->szDevice, CCHDEVICENAME, DeviceName(i));
    return TRUE;
}

HMONITOR MonitorFromWindow(HWND window, DWORD flags) {
    RECT r;
    if (!GetWindowRect(window, &r)) {
        if (flags == MONITOR_DEFAULTTONULL) return nullptr;
        r = RECT{0, 0, 1, 1};
    }
    if (r.right <= r.left) r.right = r.left + 1;
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    return FromRect(r, flags);
}

HMONITOR MonitorFromRect(LPCRECT rect, DWORD flags) {
    if (!rect) return nullptr;
    RECT r = *rect;
    if (r.right <= r.left) r.right = r.left + 1;
    if (r.bottom <= r.top) r.bottom = r.top + 1;
    return FromRect(r, flags);
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
    RECT r{point.x, point.y, point.x + 1, point.y + 1};
    return FromRect(r, flags);
}

BOOL EnumDisplayDevicesW(LPCWSTR device, DWORD index, DISPLAY_DEVICEW* info, DWORD) {
    if (!info) return FALSE;
    auto displays = Displays();
    DWORD cb = info->cb;
    if (!device) {
        if (index >= displays.size()) return FALSE;
        *info = DISPLAY_DEVICEW{};
        info->cb = cb;
        const Display& d = displays[index];
        CopyName(info->DeviceName, 32, DeviceName(index));
        CopyName(info->DeviceString, 128, d.adapterName);
        if (d.attached) info->StateFlags |= DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
        if (index == 0 && d.attached) info->StateFlags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
        if (d.mirroring) info->StateFlags |= DISPLAY_DEVICE_MIRRORING_DRIVER;
        CopyName(info->DeviceID, 128, "TESSALOOM\\DISPLAY");
        return TRUE;
    }
    int i = IndexFromDeviceName(device);
    if (i < 0 || i >= static_cast<int>(displays.size()) || index != 0) return FALSE;
    *info = DISPLAY_DEVICEW{};
    info->cb = cb;
    CopyName(info->DeviceName, 32, DeviceName(i) + "\\Monitor0");
    CopyName(info->DeviceString, 128, displays[i].monitorName);
    info->StateFlags = displays[i].attached ? DISPLAY_DEVICE_ACTIVE : 0;
    CopyName(info->DeviceID, 128, "MONITOR\\TESSALOOM");
    return TRUE;
}

BOOL EnumDisplaySettingsW(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode) {
    if (!mode) return FALSE;
    auto displays = Displays();
    int i = IndexFromDeviceName(device);
    if (i < 0 || i >= static_cast<int>(displays.size())) return FALSE;
    const Display& d = displays[i];
    Mode m;
    if (modeIndex == ENUM_CURRENT_SETTINGS || modeIndex == ENUM_REGISTRY_SETTINGS) {
        if (!d.attached) return FALSE;
        m = d.current;
    } else {
        if (modeIndex >= d.modes.size()) return FALSE;
        m = d.modes[modeIndex];
    }
    WORD size = mode->dmSize;
    *mode = DEVMODEW{};
    mode->dmSize = size;
    CopyName(mode->dmDeviceName, CCHDEVICENAME, DeviceName(i));
    mode->dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    mode->dmPosition = POINT{d.bounds.left, d.bounds.top};
    mode->dmBitsPerPel = static_cast<DWORD>(m.bits);
    mode->dmPelsWidth = static_cast<DWORD>(m.width);
    mode->dmPelsHeight = static_cast<DWORD>(m.height);
    mode->dmDisplayFrequency = static_cast<DWORD>(m.refresh);
    return TRUE;
}

int GetSystemMetrics(int index) {
    auto displays = Displays();
    RECT primary = displays.empty() ? RECT{} : displays[0].bounds;
    RECT all{};
    bool any = false;
    for (auto& d : displays) {
        if (!d.attached) continue;
        if (!any) all = d.bounds, any = true;
        all.left = std::min(all.left, d.bounds.left);
        all.top = std::min(all.top, d.bounds.top);
        all.right = std::max(all.right, d.bounds.right);
        all.bottom = std::max(all.bottom, d.bounds.bottom);
    }
    switch (index) {
        case SM_CXSCREEN: return primary.right - primary.left;
        case SM_CYSCREEN: return primary.bottom - primary.top;
        case SM_XVIRTUALSCREEN: return all.left;
        case SM_YVIRTUALSCREEN: return all.top;
        case SM_CXVIRTUALSCREEN: return all.right - all.left;
        case SM_CYVIRTUALSCREEN: return all.bottom - all.top;
        case SM_CMONITORS:
            return static_cast<int>(std::count_if(displays.begin(), displays.end(), [](auto& d) { return d.attached; }));
        default:
            std::fprintf(stderr, "tessaloom: GetSystemMetrics(%d) is not provided\n", index);
            return 0;
    }
}

namespace tessaloom::test {

void SetFakeDisplays(const std::vector<FakeDisplay>& displays) {
    win32::g_fakes = displays;
    win32::g_useFakes = !displays.empty();
}

}  // namespace tessaloom::test
