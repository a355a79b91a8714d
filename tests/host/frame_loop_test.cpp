// The frame loop: the frame timer, the frame-rate texts, drawing every unit
// before any presents, lost devices and their reset, the error mode from a
// failed reset or a throwing scene, and releasing every device.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/fake_direct3d.h"
#include "host/devices.h"
#include "host/frame_loop.h"
#include "platform/d3d9/d3d9_testing.h"
#include "platform/win32/strings.h"
#include "tests/host/saver_test_support.h"

namespace {

using tessaloom::host::FrameClock;

// An injected clock: the counter and the millisecond timer read these.
int64_t g_counter = 0;
bool g_hasCounter = true;
DWORD g_milliseconds = 0;
BOOL Frequency(LARGE_INTEGER* f) {
    f->QuadPart = g_hasCounter ? 1000 : 0;
    return g_hasCounter;
}
BOOL Counter(LARGE_INTEGER* c) {
    c->QuadPart = g_counter;
    return TRUE;
}
DWORD Milliseconds() { return g_milliseconds; }
const FrameClock kTestClock = {Frequency, Counter, Milliseconds};

struct ClockScope {
    ClockScope() { tessaloom::host::SetFrameClock(&kTestClock); }
    ~ClockScope() {
        tessaloom::host::SetFrameClock(nullptr);
        g_hasCounter = true;
        g_counter = 0;
        g_milliseconds = 0;
    }
};

// A saver that logs its hooks, with the unit each ran for.
class LoopSaver : public TestSaver {
public:
    std::vector<std::string> log;
    std::vector<int> selections;
    std::vector<double> renderTimes;
    std::function<HRESULT()> onRestore, onFrameMove, onRender, onLose;
    int selected = -1;

    void Log(const char* what) { log.push_back(std::string(what) + std::to_string(selected)); }
    void OnRenderUnitSelected(int i) override {
        selected = i;
        selections.push_back(i);
    }
    HRESULT CreateDeviceResources() override {
        Log("create");
        return S_OK;
    }
    HRESULT RestoreDeviceResources() override {
        Log("restore");
        return onRestore ? onRestore() : S_OK;
    }
    HRESULT LoseDeviceResources() override {
        Log("lose");
        return onLose ? onLose() : S_OK;
    }
    HRESULT DestroyDeviceResources() override {
        Log("destroy");
        return S_OK;
    }
    HRESULT FrameMove() override {
        log.push_back("move");
        return onFrameMove ? onFrameMove() : S_OK;
    }
    HRESULT Render() override {
        Log("render");
        renderTimes.push_back(appTime);
        return onRender ? onRender() : S_OK;
    }
};

TEST(FrameLoop, FrameTimerReadsTheCounterOrTheMillisecondTimer) {
    ClockScope clock;
    // The counter: 1000 ticks a second.
    g_counter = 5000;
    tessaloom::host::StartFrameTimer();
    g_counter = 7500;
    EXPECT_DOUBLE_EQ(tessaloom::host::FrameTimerTime(), 2.5);
    EXPECT_DOUBLE_EQ(tessaloom::host::FrameTimerAbsoluteTime(), 7.5);
    // Six days in, a millisecond still shows.
    g_counter = 5000 + 6ll * 86400 * 1000;
    const double sixDays = tessaloom::host::FrameTimerTime();
    ++g_counter;
    EXPECT_NEAR(tessaloom::host::FrameTimerTime() - sixDays, 0.001, 1e-9);

    // No counter: the millisecond timer, taken as unsigned.
    tessaloom::host::SetFrameClock(&kTestClock);
    g_hasCounter = false;
    g_milliseconds = 0xF0000000u;
    tessaloom::host::StartFrameTimer();
    g_milliseconds += 1234;
    EXPECT_NEAR(tessaloom::host::FrameTimerTime(), 1.234, 1e-6);
    EXPECT_NEAR(tessaloom::host::FrameTimerAbsoluteTime(), (0xF0000000u + 1234) * 0.001, 1e-6);
}

// A full-screen saver over fake adapters whose devices are real offscreen ones.
struct FakeLoop {
    fake::AdapterDirect3D d3d;
    LoopSaver saver;
    int baseline = tessaloom::d3d9::LiveObjectCount();

    explicit FakeLoop(size_t adapters, int32_t depth = 0) : d3d(std::vector<fake::Adapter>(adapters)) {
        baseline = tessaloom::d3d9::LiveObjectCount() - 1;  // the fake holds a real Direct3D object
        saver.runMode = FullScreen;
        saver.direct3D = &d3d;
        saver.useDepthBuffer = depth;
        saver.monitorCount = static_cast<uint32_t>(adapters);
        for (uint32_t i = 0; i < adapters; ++i) {
            d3d.adapters[i].modes = {{640, 480, 60, D3DFMT_X8R8G8B8}, {1024, 768, 60, D3DFMT_X8R8G8B8}};
            d3d.adapters[i].monitor = reinterpret_cast<HMONITOR>(0x100 + i);
            saver.monitors[i].monitor = d3d.adapters[i].monitor;
            saver.monitors[i].adapterIndex = -1;
        }
        saver.EnumerateDevices();
        saver.Initialize3D();
        saver.log.clear();
        saver.selections.clear();
    }
    ~FakeLoop() {
        saver.Cleanup3D();
        for (auto*& a : saver.adapters) {
            delete a;
            a = nullptr;
        }
    }
};

TEST(FrameLoop, AllUnitsDrawWithOneTimeBeforeAnyPresents) {
    ClockScope clock;
    FakeLoop f(2);
    ASSERT_EQ(f.saver.renderUnitCount, 2u);
    tessaloom::host::StartFrameTimer();
    g_counter = 250;
    f.saver.Render3D();
    EXPECT_EQ(f.saver.log, (std::vector<std::string>{"move", "render0", "render1"}));
    // Selected to draw, then selected to present.
    EXPECT_EQ(f.saver.selections, (std::vector<int>{0, 1, 0, 1}));
    ASSERT_EQ(f.saver.renderTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(f.saver.renderTimes[0], 0.25);
    EXPECT_DOUBLE_EQ(f.saver.renderTimes[1], 0.25);
}

TEST(FrameLoop, ALostDeviceOnTheSecondUnitSkipsEveryPresent) {
    FakeLoop f(2);
    tessaloom::d3d9::LoseDevice(f.saver.renderUnits[1].device, 1);
    f.saver.Render3D();
    EXPECT_EQ(f.saver.log, (std::vector<std::string>{"move", "render0"}));
    EXPECT_EQ(f.saver.selections, (std::vector<int>{0, 1}));  // no present pass
    EXPECT_FALSE(f.saver.errorMode);
}

TEST(FrameLoop, RateTextsFollowTheInjectedClock) {
    ClockScope clock;
    FakeLoop f(1, 1);
    ASSERT_EQ(f.saver.renderUnitCount, 1u);
    tessaloom::host::StartFrameTimer();
    g_counter = 500;
    f.saver.Render3D();
    EXPECT_STREQ(tessaloom::Utf16ToUtf8(f.saver.renderUnits[0].rateText).c_str(), "");
    g_counter = 1500;  // more than a second after the last update (0)
    f.saver.Render3D();
    EXPECT_EQ(tessaloom::Utf16ToUtf8(f.saver.renderUnits[0].rateText), "1.33 fps (1024x768x32) (D16)");
    g_counter = 2500;  // exactly one second: no update
    f.saver.Render3D();
    EXPECT_EQ(tessaloom::Utf16ToUtf8(f.saver.renderUnits[0].rateText), "1.33 fps (1024x768x32) (D16)");
    g_counter = 2600;
    f.saver.Render3D();
    EXPECT_EQ(tessaloom::Utf16ToUtf8(f.saver.renderUnits[0].rateText), "1.82 fps (1024x768x32) (D16)");
    EXPECT_NEAR(f.saver.framesPerSecond, 2 / 1.1, 1e-4);
    // Published through the selection.
    f.saver.SelectRenderUnit(0);
    EXPECT_EQ(tessaloom::Utf16ToUtf8(f.saver.frameStatsText), "1.82 fps (1024x768x32) (D16)");
}

TEST(FrameLoop, AThrowingSceneEntersTheErrorMode) {
    for (int where = 0; where < 2; ++where) {
        FakeLoop f(1);
        auto thrower = []() -> HRESULT { throw std::runtime_error("scene"); };
        if (where == 0)
            f.saver.onFrameMove = thrower;
        else
            f.saver.onRender = thrower;
        EXPECT_EQ(f.saver.Render3D(), 0);
        EXPECT_TRUE(f.saver.errorMode);
        EXPECT_EQ(f.saver.errorCode, kSceneException);
    }
}

// The test window (or full screen) with a real device of the Direct3D stand-in.
class RealWindow : public ::testing::Test {
protected:
    virtual const char16_t* CommandLine() const { return u"saver /t"; }
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        tessaloom::test::SetFakeDisplays({});
        baseline_ = tessaloom::d3d9::LiveObjectCount();
        SetCommandLine(CommandLine());
        saver_.Create(nullptr);
        ASSERT_FALSE(saver_.errorMode) << std::hex << saver_.errorCode;
        ASSERT_EQ(saver_.Initialize3D(), 0);
        ASSERT_FALSE(saver_.errorMode) << std::hex << saver_.errorCode;
        ASSERT_EQ(saver_.renderUnitCount, 1u);
        saver_.log.clear();
    }
    void TearDown() override {
        saver_.Cleanup3D();
        EXPECT_EQ(tessaloom::d3d9::LiveObjectCount(), baseline_);
        tessaloom::test::ResetWindowState();
    }
    LoopSaver saver_;
    int baseline_ = 0;
};

TEST_F(RealWindow, LostThenNotResetThenResetRestoresOnce) {
    RenderUnitRecord& unit = saver_.renderUnits[0];
    EXPECT_EQ(saver_.windowed, 1);
    EXPECT_TRUE(unit.presentParams.Windowed);
    tessaloom::d3d9::LoseDevice(unit.device, 2);
    saver_.adapters[unit.adapterIndex]->desktopMode.Width = 1;  // read again before the reset
    saver_.Render3D();
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "move"}));  // lost: nothing drawn
    saver_.log.clear();
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "lose0", "restore0", "render0"}));
    EXPECT_EQ(unit.objectsRestored, 1);
    EXPECT_GT(saver_.adapters[unit.adapterIndex]->desktopMode.Width, 1u);
    saver_.log.clear();
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "render0"}));
    EXPECT_FALSE(saver_.errorMode);

    // Cleanup releases every device once; a second call does nothing.
    saver_.log.clear();
    saver_.Cleanup3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"lose0", "destroy0"}));
    EXPECT_EQ(saver_.renderUnitCount, 0u);
    EXPECT_EQ(saver_.direct3D, nullptr);
    EXPECT_EQ(saver_.currentDevice, nullptr);
    saver_.log.clear();
    saver_.Cleanup3D();
    EXPECT_TRUE(saver_.log.empty());
}

TEST_F(RealWindow, AFailedResetOrRestoreEntersTheErrorModeWithTheCodeItHad) {
    RenderUnitRecord& unit = saver_.renderUnits[0];
    // A restore that fails: the restored flag stays clear, and a later reset
    // does not lose the objects again.
    saver_.onRestore = [] { return E_FAIL; };
    tessaloom::d3d9::LoseDevice(unit.device, 0);
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "lose0", "restore0"}));  // no render
    EXPECT_TRUE(saver_.errorMode);
    EXPECT_EQ(saver_.errorCode, 0);
    EXPECT_EQ(unit.objectsRestored, 0);
}

TEST_F(RealWindow, AResetRefusedByAHeldResourceEntersTheErrorMode) {
    RenderUnitRecord& unit = saver_.renderUnits[0];
    // The scene keeps a default-pool render target over the reset.
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(unit.device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                         nullptr),
              D3D_OK);
    tessaloom::d3d9::LoseDevice(unit.device, 0);
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "lose0"}));
    EXPECT_TRUE(saver_.errorMode);
    EXPECT_EQ(saver_.errorCode, 0);
    target->Release();
}

TEST_F(RealWindow, TheLoopDrawsAfterThirtyMillisecondSleepsUntilTheWindowCloses) {
    saver_.Cleanup3D();  // the loop builds the units itself
    saver_.direct3D = CreateDirect3DObject();
    ASSERT_NE(saver_.direct3D, nullptr);
    saver_.onRender = [this] {
        if (saver_.renderTimes.size() == 4) tessaloom::test::InjectWindowClose(saver_.mainWindow);
        return S_OK;
    };
    EXPECT_EQ(saver_.RunSaverLoop(), 0);
    ASSERT_GE(saver_.renderTimes.size(), 4u);
    for (size_t i = 1; i < saver_.renderTimes.size(); ++i)
        EXPECT_GE(saver_.renderTimes[i] - saver_.renderTimes[i - 1], 0.029);
    EXPECT_EQ(saver_.renderUnitCount, 0u);  // the window's end released the devices
}

class RealFullScreen : public RealWindow {
protected:
    const char16_t* CommandLine() const override { return u"saver /s"; }
};

TEST_F(RealFullScreen, OneUnitPerMonitorDrawsAndIsReset) {
    RenderUnitRecord& unit = saver_.renderUnits[0];
    EXPECT_EQ(saver_.windowed, 0);
    EXPECT_FALSE(unit.presentParams.Windowed);
    EXPECT_EQ(unit.presentParams.PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(unit.presentParams.hDeviceWindow, saver_.monitors[0].window);
    EXPECT_EQ(unit.monitorIndex, 0);
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "render0"}));
    tessaloom::d3d9::LoseDevice(unit.device, 0);
    saver_.log.clear();
    saver_.Render3D();
    EXPECT_EQ(saver_.log, (std::vector<std::string>{"move", "lose0", "restore0", "render0"}));
    EXPECT_FALSE(saver_.errorMode);
}

TEST_F(RealFullScreen, AThrowingSceneInTheLoopShowsTheErrorAndTheEndClearsTheRunningFlag) {
    saver_.Cleanup3D();  // the loop builds the units itself
    saver_.direct3D = CreateDirect3DObject();
    ASSERT_NE(saver_.direct3D, nullptr);
    bool flagWhileRunning = false;
    saver_.onRender = [this, &flagWhileRunning]() -> HRESULT {
        flagWhileRunning = tessaloom::test::ScreenSaverRunningFlag();
        tessaloom::test::InjectKey(saver_.mainWindow, 'K');
        throw std::runtime_error("scene");
    };
    EXPECT_EQ(saver_.RunSaverLoop(), 0);
    EXPECT_TRUE(flagWhileRunning);
    EXPECT_TRUE(saver_.errorMode);
    EXPECT_EQ(saver_.errorCode, kSceneException);
    EXPECT_FALSE(tessaloom::test::ScreenSaverRunningFlag());
    EXPECT_EQ(saver_.renderUnitCount, 0u);
}

}  // namespace
