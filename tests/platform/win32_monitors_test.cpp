// Monitors and display devices from SDL's displays, and from a stand-in
// display list that gives the offscreen driver several monitors.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3d9/gl_context.h"
#include "platform/win32/strings.h"

#include "platform/win32/test_hooks.h"
#include "platform/win32/window_bridge.h"
#include "platform/win32/windows.h"

namespace {

class Win32Monitors : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        tessaloom::test::SetFakeDisplays({
            {"Left", {0, 0, 1024, 768}, {{640, 480}, {1024, 768}}},
            {"Right", {1024, 0, 2304, 1024}, {{1280, 1024}}},
            {"Mirror", {0, 0, 1024, 768}, {{1024, 768}}, true, true},
            {"Off", {0, 0, 800, 600}, {{800, 600}}, false},
        });
    }
    void TearDown() override { tessaloom::test::ResetWindowState(); }
};

TEST_F(Win32Monitors, DisplayDevicesWithFlagsNamesAndMonitors) {
    struct Case {
        DWORD index;
        const char16_t* name;
        DWORD flags;
        const char16_t* monitor;
    };
    const std::vector<Case> cases = {
        {0, u"\\\\.\\DISPLAY1", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE, u"Left"},
        {1, u"\\\\.\\DISPLAY2", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, u"Right"},
        {2, u"\\\\.\\DISPLAY3", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_MIRRORING_DRIVER, u"Mirror"},
        {3, u"\\\\.\\DISPLAY4", 0, u"Off"},
    };
    for (const auto& c : cases) {
        DISPLAY_DEVICEW d{};
        d.cb = sizeof d;
        ASSERT_TRUE(EnumDisplayDevicesW(nullptr, c.index, &d, 0)) << c.index;
        EXPECT_EQ(std::u16string(d.DeviceName), c.name);
        EXPECT_EQ(d.StateFlags, c.flags) << c.index;
        DISPLAY_DEVICEW m{};
        m.cb = sizeof m;
        ASSERT_TRUE(EnumDisplayDevicesW(d.DeviceName, 0, &m, 0));
        EXPECT_EQ(std::u16string(m.DeviceString), c.monitor);
        EXPECT_FALSE(EnumDisplayDevicesW(d.DeviceName, 1, &m, 0));
    }
    DISPLAY_DEVICEW d{};
    d.cb = sizeof d;
    EXPECT_FALSE(EnumDisplayDevicesW(nullptr, 4, &d, 0));
    EXPECT_FALSE(EnumDisplayDevicesW(u"\\\\.\\DISPLAY9", 0, &d, 0));
}

TEST_F(Win32Monitors, CurrentAndListedModes) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 1280u);
    EXPECT_EQ(mode.dmPelsHeight, 1024u);
    EXPECT_EQ(mode.dmPosition.x, 1024);
    ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY1", 0, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 640u);
    ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY1", 1, &mode));
    EXPECT_FALSE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY1", 2, &mode));
    EXPECT_FALSE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY4", ENUM_CURRENT_SETTINGS, &mode));  // not on the desktop
}

TEST_F(Win32Monitors, MonitorHandlesAreDisplayIndexPlusOne) {
    RECT right{1100, 10, 1200, 100};
    EXPECT_EQ(MonitorFromRect(&right, MONITOR_DEFAULTTONULL), tessaloom::MonitorFromDisplayIndex(1));
    RECT straddling{1000, 0, 1100, 10};  // more on the right one
    EXPECT_EQ(MonitorFromRect(&straddling, MONITOR_DEFAULTTONULL), tessaloom::MonitorFromDisplayIndex(1));
    RECT outside{5000, 5000, 5010, 5010};
    EXPECT_EQ(MonitorFromRect(&outside, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(MonitorFromRect(&outside, MONITOR_DEFAULTTONEAREST), tessaloom::MonitorFromDisplayIndex(1));
    EXPECT_EQ(MonitorFromRect(&outside, MONITOR_DEFAULTTOPRIMARY), tessaloom::MonitorFromDisplayIndex(0));

    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(tessaloom::MonitorFromDisplayIndex(1), &info));
    EXPECT_EQ(info.rcMonitor.left, 1024);
    EXPECT_EQ(info.rcMonitor.bottom, 1024);
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(std::u16string(info.szDevice), u"\\\\.\\DISPLAY2");
    EXPECT_FALSE(GetMonitorInfoW(tessaloom::MonitorFromDisplayIndex(3), &info));
    EXPECT_EQ(tessaloom::DisplayIndexFromMonitor(tessaloom::MonitorFromDisplayIndex(2)), 2);

    std::vector<HMONITOR> listed;
    EnumDisplayMonitors(nullptr, nullptr, [](HMONITOR m, HDC, LPRECT, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(m);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&listed));
    EXPECT_EQ(listed.size(), 3u);  // the one off the desktop is not a monitor
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 3);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 2304);
}

TEST_F(Win32Monitors, SdlDisplaysWhenNoStandInList) {
    tessaloom::test::SetFakeDisplays({});
    DISPLAY_DEVICEW d{};
    d.cb = sizeof d;
    ASSERT_TRUE(EnumDisplayDevicesW(nullptr, 0, &d, 0));
    EXPECT_TRUE(d.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(d.DeviceName, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_GT(mode.dmPelsWidth, 0u);
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(MonitorFromRect(&r, MONITOR_DEFAULTTONULL), tessaloom::MonitorFromDisplayIndex(0));
}

// The adapter is named as a person knows it: the renderer OpenGL names
// (its first word at least, before Mesa's details) on the monitor's name;
// nothing of SDL or its video driver.
TEST_F(Win32Monitors, SdlAdapterIsNamedByItsRendererAndMonitor) {
    tessaloom::test::SetFakeDisplays({});
    std::string renderer;
    std::thread([&renderer] {
        std::string error;
        if (auto context = tessaloom::d3d9::CreateSurfacelessContext(&error))
            renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    }).join();
    ASSERT_FALSE(renderer.empty()) << "no OpenGL renderer to name";
    DISPLAY_DEVICEW adapter{}, monitor{};
    adapter.cb = monitor.cb = sizeof adapter;
    ASSERT_TRUE(EnumDisplayDevicesW(nullptr, 0, &adapter, 0));
    ASSERT_TRUE(EnumDisplayDevicesW(adapter.DeviceName, 0, &monitor, 0));
    const std::string name = tessaloom::Utf16ToUtf8(adapter.DeviceString);
    const std::string monitorName = tessaloom::Utf16ToUtf8(monitor.DeviceString);
    ASSERT_FALSE(monitorName.empty());
    EXPECT_EQ(name.rfind(renderer.substr(0, renderer.find(' ')), 0), 0u) << name << " / " << renderer;
    EXPECT_EQ(name.substr(name.size() - std::min(name.size(), monitorName.size() + 4)), " on " + monitorName);
    EXPECT_EQ(name.find("SDL"), std::string::npos) << name;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver) EXPECT_EQ(name.find(driver), std::string::npos) << name;
}

}  // namespace
