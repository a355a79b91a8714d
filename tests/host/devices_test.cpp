// Adapters, device types and modes: the enumeration, the mode order, the
// full-screen mode choice with its fall-back and registry write, the windowed
// unit, the best adapter and the device texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/fake_direct3d.h"
#include "host/devices.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/win32/strings.h"
#include "tests/host/saver_test_support.h"

namespace {

HMONITOR Monitor(intptr_t v) { return reinterpret_cast<HMONITOR>(v); }
HWND Window(intptr_t v) { return reinterpret_cast<HWND>(v); }

D3DDISPLAYMODE Mode(UINT w, UINT h, UINT refresh = 60, D3DFORMAT f = D3DFMT_X8R8G8B8) { return {w, h, refresh, f}; }

// A saver whose device test a test can steer.
class DeviceSaver : public TestSaver {
public:
    std::function<HRESULT(const D3DCAPS9&, DWORD, D3DFORMAT)> accept;
    std::function<HRESULT(IDirect3DDevice9*)> acceptCreated;
    std::function<HRESULT()> create, restore;
    HRESULT AcceptDevice(const D3DCAPS9& caps, DWORD flags, D3DFORMAT format) override {
        return accept ? accept(caps, flags, format) : S_OK;
    }
    HRESULT AcceptCreatedDevice(IDirect3DDevice9* device) override {
        return acceptCreated ? acceptCreated(device) : S_OK;
    }
    HRESULT CreateDeviceResources() override { return create ? create() : S_OK; }
    HRESULT RestoreDeviceResources() override { return restore ? restore() : S_OK; }
};

// A saver over a fake Direct3D object with one monitor per adapter.
struct FakeSaver {
    fake::AdapterDirect3D d3d;
    DeviceSaver saver;

    explicit FakeSaver(std::vector<fake::Adapter> adapters, SaverRunMode mode = FullScreen) : d3d(std::move(adapters)) {
        saver.runMode = mode;
        saver.direct3D = &d3d;
        saver.monitorCount = static_cast<uint32_t>(d3d.adapters.size());
        for (uint32_t i = 0; i < saver.monitorCount; ++i) {
            d3d.adapters[i].monitor = Monitor(0x100 + i);
            saver.monitors[i].monitor = Monitor(0x100 + i);
            saver.monitors[i].adapterIndex = -1;
            saver.monitors[i].window = Window(0x200 + i);
        }
    }
    ~FakeSaver() {
        saver.Cleanup3D();
        for (auto*& a : saver.adapters) {
            delete a;
            a = nullptr;
        }
        saver.direct3D = nullptr;
    }
    AdapterRecord& adapter(int i) { return *saver.adapters[i]; }
};

std::vector<std::pair<UINT, UINT>> Sizes(const DeviceRecord& d) {
    std::vector<std::pair<UINT, UINT>> out;
    for (uint32_t i = 0; i < d.modeCount; ++i) out.emplace_back(d.modes[i].width, d.modes[i].height);
    return out;
}

TEST(Devices, EnumerationKeepsSortsAndFlagsModes) {
    struct Case {
        const char* name;
        fake::Adapter adapter;
        int32_t useDepth;
        std::function<HRESULT(const D3DCAPS9&, DWORD, D3DFORMAT)> accept;
        uint32_t deviceCount;
        D3DDEVTYPE type;
        std::vector<std::pair<UINT, UINT>> sizes;
        uint32_t currentMode;
        DWORD behavior;
        D3DFORMAT depth;
        int32_t canDoWindowed;
        int32_t hasHardware, compatibleHardware, compatibleSoftware;
    };
    const DWORD pure = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
    fake::Adapter typical;
    typical.modes = {Mode(1024, 768), Mode(800, 600, 60), Mode(800, 600, 75), Mode(640, 480), Mode(640, 350),
                     Mode(320, 200), Mode(1280, 400), Mode(800, 600, 60, D3DFMT_R5G6B5)};
    fake::Adapter small;
    small.modes = {Mode(320, 240), Mode(640, 399), Mode(639, 480)};
    fake::Adapter noTnl = typical;
    noTnl.devCaps = 0;
    fake::Adapter tnlNoPure = typical;
    tnlNoPure.devCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    fake::Adapter softwareOnly = typical;
    softwareOnly.hal = false;
    softwareOnly.sw = true;
    fake::Adapter sixteenBitDesktop = typical;
    sixteenBitDesktop.desktop.Format = D3DFMT_R5G6B5;  // with no 16-bit full-screen mode
    sixteenBitDesktop.modes.pop_back();
    fake::Adapter noDepth = typical;
    noDepth.depthFormats = {};
    fake::Adapter depth24 = typical;
    depth24.depthFormats = {D3DFMT_D24S8};
    fake::Adapter no640 = typical;
    no640.modes = {Mode(1024, 768), Mode(800, 600)};
    auto rejectPureAndHw = [](const D3DCAPS9&, DWORD f, D3DFORMAT) {
        return f & D3DCREATE_HARDWARE_VERTEXPROCESSING ? E_FAIL : S_OK;
    };
    auto rejectAll = [](const D3DCAPS9&, DWORD, D3DFORMAT) { return E_FAIL; };
    const std::vector<std::pair<UINT, UINT>> sorted = {{640, 480}, {800, 600}, {1024, 768}, {1280, 400}};
    const std::vector<Case> cases = {
        {"typical", typical, 0, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0, pure, D3DFMT_UNKNOWN, 1, 1, 1, 0},
        {"all below 640x400", small, 0, nullptr, 0, D3DDEVTYPE_HAL, {}, 0, 0, D3DFMT_UNKNOWN, 0, 1, 0, 0},
        {"no hardware T&L", noTnl, 0, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         D3DFMT_UNKNOWN, 1, 1, 1, 0},
        {"T&L without pure", tnlNoPure, 0, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0,
         D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DFMT_UNKNOWN, 1, 1, 1, 0},
        {"application refuses hw vp", typical, 0, rejectPureAndHw, 1, D3DDEVTYPE_HAL, sorted, 0,
         D3DCREATE_MIXED_VERTEXPROCESSING, D3DFMT_UNKNOWN, 1, 1, 1, 0},
        {"application refuses all", typical, 0, rejectAll, 0, D3DDEVTYPE_HAL, {}, 0, 0, D3DFMT_UNKNOWN, 0, 1, 0, 0},
        {"software only", softwareOnly, 0, nullptr, 1, D3DDEVTYPE_SW, sorted, 0, pure, D3DFMT_UNKNOWN, 1, 0, 0, 1},
        {"16-bit desktop", sixteenBitDesktop, 0, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0, pure, D3DFMT_UNKNOWN, 0, 1,
         1, 0},
        {"depth D16", typical, 1, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0, pure, D3DFMT_D16, 1, 1, 1, 0},
        {"depth D24S8 only", depth24, 1, nullptr, 1, D3DDEVTYPE_HAL, sorted, 0, pure, D3DFMT_D24S8, 1, 1, 1, 0},
        {"no depth format", noDepth, 1, nullptr, 0, D3DDEVTYPE_HAL, {}, 0, 0, D3DFMT_UNKNOWN, 0, 1, 0, 0},
        {"no 640x480", no640, 0, nullptr, 1, D3DDEVTYPE_HAL, {{800, 600}, {1024, 768}}, 0, pure, D3DFMT_UNKNOWN, 1,
         1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSaver s({c.adapter});
        s.saver.useDepthBuffer = c.useDepth;
        s.saver.accept = c.accept;
        ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
        ASSERT_EQ(s.saver.adapterCount, 1u);
        AdapterRecord& a = s.adapter(0);
        EXPECT_EQ(a.monitorIndex, 0);
        EXPECT_EQ(s.saver.monitors[0].adapterIndex, 0);
        EXPECT_EQ(a.deviceIdentifier, c.adapter.id);
        EXPECT_EQ(a.desktopMode.Width, 1024u);
        EXPECT_EQ(a.hasHardware, c.hasHardware);
        EXPECT_EQ(a.compatibleHardware, c.compatibleHardware);
        EXPECT_EQ(a.compatibleSoftware, c.compatibleSoftware);
        ASSERT_EQ(a.deviceCount, c.deviceCount);
        if (!c.deviceCount) continue;
        const DeviceRecord& d = a.devices[0];
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(Sizes(d), c.sizes);
        EXPECT_EQ(d.currentMode, c.currentMode);
        EXPECT_EQ(d.canDoWindowed, c.canDoWindowed);
        for (uint32_t i = 0; i < d.modeCount; ++i) {
            EXPECT_EQ(d.modes[i].format, D3DFMT_X8R8G8B8);
            EXPECT_EQ(d.modes[i].behaviorFlags, c.behavior);
            EXPECT_EQ(d.modes[i].depthStencilFormat, c.depth);
        }
    }
}

TEST(Devices, AdaptersFindTheirMonitors) {
    fake::Adapter a, b, c;
    a.modes = b.modes = c.modes = {Mode(800, 600)};
    FakeSaver s({a, b, c});
    // The second adapter drives the third monitor, the third none.
    s.d3d.adapters[1].monitor = Monitor(0x102);
    s.d3d.adapters[2].monitor = Monitor(0x999);
    s.saver.monitors[1].monitor = nullptr;
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    EXPECT_EQ(s.saver.adapterCount, 3u);
    EXPECT_EQ(s.adapter(0).monitorIndex, 0);
    EXPECT_EQ(s.adapter(1).monitorIndex, 2);
    EXPECT_EQ(s.adapter(2).monitorIndex, -1);
    EXPECT_EQ(s.saver.monitors[2].adapterIndex, 1);
    EXPECT_EQ(s.saver.monitors[1].adapterIndex, -1);
}

TEST(Devices, ModeOrderAndNextLowerMode) {
    EXPECT_LT(CompareDisplayModes(Mode(640, 480), Mode(800, 400)), 0);
    EXPECT_LT(CompareDisplayModes(Mode(800, 480), Mode(800, 600)), 0);
    // The larger format value first: R5G6B5 (23) before X8R8G8B8 (22).
    EXPECT_LT(CompareDisplayModes(Mode(800, 600, 0, D3DFMT_R5G6B5), Mode(800, 600, 0, D3DFMT_X8R8G8B8)), 0);
    EXPECT_EQ(CompareDisplayModes(Mode(800, 600, 60), Mode(800, 600, 75)), 0);

    struct Case {
        std::vector<std::pair<UINT, UINT>> modes;
        uint32_t current;
        bool found;
        uint32_t next;
    };
    const std::vector<Case> cases = {
        {{{640, 480}, {800, 600}, {1024, 768}}, 2, true, 1},
        {{{640, 480}, {800, 600}, {1024, 768}}, 0, false, 0},
        // Equal pixel counts: the earliest; the largest smaller count wins.
        {{{640, 480}, {600, 512}, {1280, 240}, {800, 600}}, 3, true, 0},
        {{{1280, 400}, {800, 640}, {1024, 768}}, 2, true, 0},
        {{{800, 600}, {800, 600}}, 1, false, 1},
    };
    for (const Case& c : cases) {
        DeviceRecord d{};
        for (auto [w, h] : c.modes) d.modes[d.modeCount++] = {w, h, D3DFMT_X8R8G8B8, 0, D3DFMT_UNKNOWN};
        d.currentMode = c.current;
        EXPECT_EQ(FindNextLowerMode(d), c.found);
        EXPECT_EQ(d.currentMode, c.next);
    }
}

class DevicesWithRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessaloom-devices-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", dir_.c_str(), 1);
        tessaloom::test::ReloadRegistry();
        baseline_ = tessaloom::d3d9::LiveObjectCount();
    }
    void TearDown() override {
        EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), baseline_);
        std::filesystem::remove_all(dir_);
    }
    static bool ReadDword(const WCHAR* key, const WCHAR* name, DWORD* value) {
        HKEY k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
        DWORD type = 0, size = 4;
        LONG r = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(k);
        return r == ERROR_SUCCESS && type == REG_DWORD;
    }
    std::string dir_;
    int baseline_ = 0;
};

const WCHAR kKey[] = u"Software\\Test\\Saver";
const WCHAR kScreen2[] = u"Software\\Test\\Saver\\Screen 2";

fake::Adapter FourModes() {
    fake::Adapter a;
    a.modes = {Mode(640, 480), Mode(800, 600), Mode(1024, 768), Mode(1280, 1024)};
    return a;
}

TEST_F(DevicesWithRegistry, FullScreenFallsBackToSmallerModesAndRemembersTheOneThatWorked) {
    fake::Adapter first = FourModes(), second = FourModes();
    second.refusedSizes = {{1024, 768}, {800, 600}};
    second.id = {0xfeedface, 1, 2, {9, 9, 9, 9, 9, 9, 9, 9}};
    FakeSaver s({first, second});
    std::copy(kKey, kKey + lstrlenW(kKey) + 1, s.saver.registryKeyPath);
    s.saver.mainWindow = Window(0x200);
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    ASSERT_EQ(s.saver.Initialize3D(), 0);
    EXPECT_FALSE(s.saver.errorMode);
    ASSERT_EQ(s.saver.renderUnitCount, 2u);

    // The desktop size is chosen; the second adapter goes down to 640x480.
    std::vector<std::pair<UINT, UINT>> tried;
    for (const auto& c : s.d3d.creates) tried.emplace_back(c.params.BackBufferWidth, c.params.BackBufferHeight);
    EXPECT_EQ(tried, (std::vector<std::pair<UINT, UINT>>{{1024, 768}, {1024, 768}, {800, 600}, {640, 480}}));
    for (size_t i = 0; i < s.d3d.creates.size(); ++i) {
        const auto& c = s.d3d.creates[i];
        EXPECT_EQ(c.focus, Window(0x200));
        EXPECT_EQ(c.type, D3DDEVTYPE_HAL);
        EXPECT_EQ(c.behavior, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
        EXPECT_FALSE(c.params.Windowed);
        EXPECT_EQ(c.params.SwapEffect, D3DSWAPEFFECT_DISCARD);
        EXPECT_EQ(c.params.BackBufferCount, 1u);
        EXPECT_EQ(c.params.hDeviceWindow, Window(i == 0 ? 0x200 : 0x201));
        // Only the first unit's presents wait for the display.
        EXPECT_EQ(c.params.PresentationInterval, i == 0 ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE);
    }
    EXPECT_EQ(s.saver.renderUnits[1].presentParams.BackBufferWidth, 640u);
    EXPECT_EQ(s.saver.renderUnits[1].monitorIndex, 1);
    EXPECT_EQ(s.adapter(1).storedWidth, 640u);
    EXPECT_EQ(s.adapter(1).storedHeight, 480u);
    EXPECT_EQ(s.adapter(0).storedWidth, 0u);  // the first mode worked: nothing stored

    DWORD w = 0, h = 0, f = 0;
    ASSERT_TRUE(ReadDword(kScreen2, u"Width", &w));
    ASSERT_TRUE(ReadDword(kScreen2, u"Height", &h));
    ASSERT_TRUE(ReadDword(kScreen2, u"Format", &f));
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
    EXPECT_EQ(f, static_cast<DWORD>(D3DFMT_X8R8G8B8));
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kScreen2, 0, KEY_READ, &k), ERROR_SUCCESS);
    GUID id{};
    DWORD type = 0, size = sizeof id;
    EXPECT_EQ(RegQueryValueExW(k, u"Adapter ID", nullptr, &type, reinterpret_cast<BYTE*>(&id), &size), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(id, second.id);
    EXPECT_FALSE(ReadDword(u"Software\\Test\\Saver\\Screen 1", u"Width", &w));

    // Device objects were made and restored once per unit.
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(s.saver.renderUnits[i].objectsCreated, 1);
        EXPECT_EQ(s.saver.renderUnits[i].objectsRestored, 1);
    }
    s.saver.Cleanup3D();
    EXPECT_EQ(s.saver.renderUnitCount, 0u);
    EXPECT_EQ(s.saver.direct3D, nullptr);
    EXPECT_EQ(s.d3d.refs, 0u);
}

TEST_F(DevicesWithRegistry, StoredModeComesFirstAndFallBackStartsFromIt) {
    fake::Adapter a = FourModes();
    a.refusedSizes = {{1280, 1024}};
    FakeSaver s({a});
    std::copy(kKey, kKey + lstrlenW(kKey) + 1, s.saver.registryKeyPath);
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    s.adapter(0).storedWidth = 1280;
    s.adapter(0).storedHeight = 1024;
    s.adapter(0).storedFormat = D3DFMT_X8R8G8B8;
    s.saver.Initialize3D();
    ASSERT_EQ(s.saver.renderUnitCount, 1u);
    ASSERT_EQ(s.d3d.creates.size(), 2u);
    EXPECT_EQ(s.d3d.creates[0].params.BackBufferWidth, 1280u);
    EXPECT_EQ(s.d3d.creates[1].params.BackBufferWidth, 1024u);
    EXPECT_EQ(s.adapter(0).storedWidth, 1024u);
    const DeviceRecord& d = s.adapter(0).devices[0];
    EXPECT_EQ(d.modes[d.currentMode].width, 1024u);
}

TEST_F(DevicesWithRegistry, FailuresOnOneMonitorLeaveTheOthersTheirUnits) {
    fake::Adapter refusesAll = FourModes();
    refusesAll.refusedSizes = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    fake::Adapter disabled = FourModes();
    fake::Adapter fine = FourModes();
    FakeSaver s({refusesAll, disabled, fine});
    int created = 0;
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    s.adapter(1).disableHardware = 1;
    s.saver.Initialize3D();
    // All four modes of the first adapter tried, down from the desktop size.
    EXPECT_EQ(s.d3d.creates.size(), 4u);
    EXPECT_TRUE(s.saver.errorMode);
    EXPECT_EQ(s.saver.errorCode, kCouldNotCreateDevice);
    EXPECT_EQ(s.adapter(1).leaveBlack, 1);
    ASSERT_EQ(s.saver.renderUnitCount, 1u);
    EXPECT_EQ(s.saver.renderUnits[0].adapterIndex, 2);
    // In error mode no unit gets device objects.
    EXPECT_EQ(s.saver.renderUnits[0].objectsCreated, 0);
    (void)created;
}

TEST_F(DevicesWithRegistry, SoftwareDevicePicksTheLowestModeOtherThan400Lines) {
    fake::Adapter a;
    a.hal = false;
    a.sw = true;
    a.modes = {Mode(1024, 768), Mode(640, 400), Mode(640, 480), Mode(720, 480), Mode(800, 600)};
    FakeSaver s({a});
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    s.saver.Initialize3D();
    ASSERT_EQ(s.d3d.creates.size(), 1u);
    EXPECT_EQ(s.d3d.creates[0].type, D3DDEVTYPE_SW);
    EXPECT_EQ(s.d3d.creates[0].params.BackBufferWidth, 720u);
    EXPECT_EQ(s.d3d.creates[0].params.BackBufferHeight, 480u);
}

TEST_F(DevicesWithRegistry, WindowedUnitForPreviewAndTestWindow) {
    struct Case {
        const char* name;
        SaverRunMode mode;
        std::vector<D3DFORMAT> windowedFormats;
        bool desktopUsable;
        HRESULT error;
        D3DFORMAT backBuffer;
    };
    const std::vector<Case> cases = {
        {"test window", TestWindow, {}, true, 0, D3DFMT_X8R8G8B8},
        {"preview takes A8R8G8B8", Preview, {D3DFMT_A8R8G8B8}, true, 0, D3DFMT_A8R8G8B8},
        {"preview, no window format", Preview, {D3DFMT_A2R10G10B10}, true, kNoPreview, D3DFMT_UNKNOWN},
        {"test window, no window format", TestWindow, {D3DFMT_A2R10G10B10}, true, kCouldNotCreateDevice,
         D3DFMT_UNKNOWN},
        {"preview, desktop format unusable", Preview, {}, false, kNoPreview, D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Adapter a = FourModes();
        a.windowedFormats = c.windowedFormats;
        if (!c.desktopUsable) a.desktop.Format = D3DFMT_R5G6B5;
        FakeSaver s({a}, c.mode);
        s.saver.useDepthBuffer = 1;
        s.saver.mainWindow = Window(0x300);
        ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
        s.d3d.depthChecks.clear();
        s.saver.Initialize3D();
        EXPECT_EQ(s.saver.windowed, 1);
        EXPECT_EQ(s.saver.errorCode, c.error);
        if (c.error) {
            EXPECT_EQ(s.saver.renderUnitCount, 0u);
            continue;
        }
        ASSERT_EQ(s.saver.renderUnitCount, 1u);
        ASSERT_EQ(s.d3d.creates.size(), 1u);
        const D3DPRESENT_PARAMETERS& p = s.d3d.creates[0].params;
        EXPECT_TRUE(p.Windowed);
        EXPECT_EQ(p.BackBufferWidth, 0u);
        EXPECT_EQ(p.BackBufferHeight, 0u);
        EXPECT_EQ(p.BackBufferFormat, c.backBuffer);
        EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_COPY);
        EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
        EXPECT_EQ(p.hDeviceWindow, Window(0x300));
        EXPECT_EQ(s.d3d.creates[0].focus, Window(0x300));
        EXPECT_TRUE(p.EnableAutoDepthStencil);
        EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
        // The depth format was looked for with the back-buffer format as the adapter format.
        ASSERT_FALSE(s.d3d.depthChecks.empty());
        EXPECT_EQ(s.d3d.depthChecks.back().adapterFormat, c.backBuffer);
    }
}

TEST_F(DevicesWithRegistry, ARefusedCreatedDeviceIsReleasedAndTheNextModeTried) {
    FakeSaver s({FourModes()});
    int calls = 0;
    s.saver.acceptCreated = [&](IDirect3DDevice9*) { return ++calls == 1 ? E_FAIL : S_OK; };
    ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
    s.saver.Initialize3D();
    EXPECT_FALSE(s.saver.errorMode);
    ASSERT_EQ(s.d3d.creates.size(), 2u);
    EXPECT_EQ(s.d3d.creates[1].params.BackBufferWidth, 800u);
    EXPECT_EQ(s.saver.renderUnitCount, 1u);
    // TearDown checks that the refused device was released.
}

TEST_F(DevicesWithRegistry, FailingDeviceObjectsGiveTheirCodeAndTheOtherUnitsGoOn) {
    struct Case {
        bool createFails;
        bool restoreFails;
        int32_t created, restored;  // of the first unit
    };
    for (const Case& c : std::vector<Case>{{true, false, 0, 0}, {false, true, 1, 0}}) {
        FakeSaver s({FourModes(), FourModes()});
        int creates = 0, restores = 0;
        s.saver.create = [&] { return ++creates == 1 && c.createFails ? E_FAIL : S_OK; };
        s.saver.restore = [&] { return ++restores == 1 && c.restoreFails ? E_FAIL : S_OK; };
        ASSERT_EQ(s.saver.EnumerateDevices(), S_OK);
        s.saver.Initialize3D();
        EXPECT_TRUE(s.saver.errorMode);
        EXPECT_EQ(s.saver.errorCode, kDeviceObjectsFailed);
        ASSERT_EQ(s.saver.renderUnitCount, 2u);
        EXPECT_EQ(s.saver.renderUnits[0].objectsCreated, c.created);
        EXPECT_EQ(s.saver.renderUnits[0].objectsRestored, c.restored);
        EXPECT_EQ(s.saver.renderUnits[1].objectsCreated, 1);
        EXPECT_EQ(s.saver.renderUnits[1].objectsRestored, 1);
    }
}

TEST_F(DevicesWithRegistry, NoAcceptableDeviceStopsTheStartUp) {
    tessaloom::test::ResetWindowState();
    SetCommandLine(u"saver");
    DeviceSaver saver;
    saver.accept = [](const D3DCAPS9&, DWORD, D3DFORMAT) { return E_FAIL; };
    saver.Create(nullptr);
    EXPECT_GE(saver.adapterCount, 1u);
    EXPECT_TRUE(saver.errorMode);
    EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x82000003u));
    saver.Run();
    EXPECT_EQ(saver.direct3D, nullptr);
    EXPECT_EQ(saver.adapters[0], nullptr);
}

TEST(Devices, BestAdapterPrefersHardwareThenTheLastSoftware) {
    struct Case {
        std::vector<std::pair<int, int>> hwSw;  // per adapter: compatible hardware, software
        int32_t best;
    };
    const std::vector<Case> cases = {
        {{{0, 1}, {1, 0}, {1, 0}}, 1},
        {{{0, 1}, {0, 0}, {0, 1}}, 2},
        {{{0, 0}, {0, 0}}, -1},
        {{{1, 1}}, 0},
    };
    for (const Case& c : cases) {
        TestSaver saver;
        AdapterRecord records[3] = {};
        saver.monitorCount = static_cast<uint32_t>(c.hwSw.size());
        for (size_t i = 0; i < c.hwSw.size(); ++i) {
            records[i].compatibleHardware = c.hwSw[i].first;
            records[i].compatibleSoftware = c.hwSw[i].second;
            saver.adapters[i] = &records[i];
            saver.monitors[i].adapterIndex = static_cast<int32_t>(i);
        }
        int32_t best = 7;
        EXPECT_EQ(saver.FindBestAdapter(&best), c.best >= 0);
        EXPECT_EQ(best, c.best);
        for (auto*& a : saver.adapters) a = nullptr;
    }
}

TEST(Devices, DeviceTextsNameTypeProcessingAndAdapter) {
    struct Case {
        D3DDEVTYPE type;
        DWORD flags;
        const char* description;
        std::string text;
    };
    const std::string longName(200, 'x');
    const std::vector<Case> cases = {
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, "Card",
         "HAL (pure hw vp): Card"},
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, "Card", "HAL (hw vp): Card"},
        {D3DDEVTYPE_HAL, D3DCREATE_MIXED_VERTEXPROCESSING, "Card", "HAL (mixed vp): Card"},
        {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "Card", "HAL (sw vp): Card"},
        {D3DDEVTYPE_SW, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, "Card", "SW (simulated pure hw vp)"},
        {D3DDEVTYPE_SW, D3DCREATE_HARDWARE_VERTEXPROCESSING, "Card", "SW (simulated hw vp)"},
        {D3DDEVTYPE_SW, D3DCREATE_MIXED_VERTEXPROCESSING, "Card", "SW (simulated mixed vp)"},
        {D3DDEVTYPE_SW, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "Card", "SW (sw vp)"},
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, longName.c_str(),
         ("HAL (hw vp): " + longName).substr(0, 89)},
    };
    for (const Case& c : cases) {
        TestSaver saver;
        AdapterRecord record{};
        std::strncpy(record.identifier.Description, c.description, sizeof record.identifier.Description - 1);
        saver.adapters[0] = &record;
        saver.renderUnitCount = 1;
        saver.renderUnits[0].adapterIndex = 0;
        saver.renderUnits[0].deviceType = c.type;
        saver.renderUnits[0].behaviorFlags = c.flags;
        saver.BuildDeviceStatsText();
        EXPECT_EQ(tessaloom::Utf16ToUtf8(saver.renderUnits[0].deviceText), c.text);
        saver.SelectRenderUnit(0);
        EXPECT_EQ(tessaloom::Utf16ToUtf8(saver.deviceStatsText), c.text);
        saver.adapters[0] = nullptr;
        saver.renderUnitCount = 0;
    }
}

}  // namespace
