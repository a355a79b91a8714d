// Error reporting: the texts of the result codes, the message box, the error
// box's layout and motion pass by pass, and its painting.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "host/error_box.h"
#include "platform/win32/gdi_hooks.h"
#include "platform/win32/resources_hooks.h"
#include "tests/host/saver_test_support.h"

namespace {

using tessaloom::host::ErrorBoxRect;
using tessaloom::host::LayOutErrorBox;
using tessaloom::host::StepErrorBox;

const std::vector<std::pair<UINT, std::u16string>> kTexts = {
    {2100, u"There was an unspecified problem with this screen saver."},
    {2101, u"Direct3D 8.0 could not be initialized.  Please install the latest version of DirectX."},
    {2102, u"Could not initialize the screen saver."},
    {2103, u"Could not create the Direct3D device."},
    {2104, u"Could not find any compatible Direct3D devices."},
    {2105, u"No hardware-accelerated Direct3D devices were found."},
    {2106, u"This screen saver requires functionality that is not available on your Direct3D hardware accelerator."},
    {2107, u"This screen saver requires functionality that is not available on your Direct3D hardware accelerator "
           u"with the current desktop display settings."},
    {2108, u"Could not load required media."},
    {2109, u"Could not reset the Direct3D device."},
    {2110, u"Not enough memory."},
    {2111, u"Not enough video memory."},
    {2112, u"No preview available"},
};

std::u16string TextOf(UINT id) {
    for (const auto& [i, t] : kTexts)
        if (i == id) return t;
    return u"";
}

// String blocks as an executable stores them: block n holds ids 16(n-1)..16n-1.
std::vector<uint8_t> Block(UINT block) {
    std::vector<uint8_t> out;
    for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
        std::u16string s = TextOf(id);
        out.push_back(static_cast<uint8_t>(s.size() & 0xFF));
        out.push_back(static_cast<uint8_t>(s.size() >> 8));
        for (char16_t c : s) {
            out.push_back(static_cast<uint8_t>(c & 0xFF));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    return out;
}

class ErrorTexts : public ::testing::Test {
protected:
    std::vector<uint8_t> block132_ = Block(132);
    std::vector<uint8_t> block133_ = Block(133);
    tessaloom::testing::ScopedExecutableResources table_{{
        {nullptr, 6, nullptr, 132, block132_.data(), static_cast<DWORD>(block132_.size())},
        {nullptr, 6, nullptr, 133, block133_.data(), static_cast<DWORD>(block133_.size())},
    }};
};

TEST_F(ErrorTexts, EveryCodeHasItsTextAndUnknownCodesTheGenericOne) {
    struct Case {
        uint32_t code;
        UINT id;
    };
    const std::vector<Case> cases = {
        {0x80004005u, 2100}, {0x82000001u, 2101}, {0x82000007u, 2102}, {0x8200000Eu, 2103}, {0x82000003u, 2104},
        {0x82000005u, 2105}, {0x82000006u, 2106}, {0x82000009u, 2107}, {0x8200000Bu, 2108}, {0x8200000Cu, 2109},
        {0x8007000Eu, 2110}, {0x8876017Cu, 2111}, {0x8200000Fu, 2112},
        // Not in the table: the device-object hooks' code, a failed reset's 0, others.
        {0x8200000Du, 2100}, {0u, 2100}, {0x80070057u, 2100}, {1u, 2100},
    };
    TestSaver saver;
    for (const auto& c : cases) {
        WCHAR buffer[400] = {};
        bool own = saver.GetErrorText(static_cast<HRESULT>(c.code), buffer, 400);
        EXPECT_EQ(std::u16string(buffer), TextOf(c.id)) << std::hex << c.code;
        EXPECT_EQ(own, c.id != 2100) << std::hex << c.code;
    }
    // The capacity bounds the copy.
    WCHAR small[8];
    saver.GetErrorText(static_cast<HRESULT>(0x82000003u), small, 8);
    EXPECT_EQ(std::u16string(small), u"Could n");
}

TEST_F(ErrorTexts, ShowErrorUsesTheTitleAndOwnerAndReturnsTheCode) {
    tessaloom::test::ResetWindowState();
    tessaloom::test::SetHeadlessMessageBoxes(true);
    auto& shown = tessaloom::test::ShownMessageBoxes();
    shown.clear();
    TestSaver saver;
    saver.runMode = Config;
    saver.mainWindow = reinterpret_cast<HWND>(0x1234);
    testing::internal::CaptureStderr();
    EXPECT_EQ(saver.ShowError(static_cast<HRESULT>(0x82000001u)), static_cast<HRESULT>(0x82000001u));
    saver.runMode = TestWindow;
    saver.ShowError(0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].owner, nullptr);  // no owner in Config
    EXPECT_EQ(shown[0].text, TextOf(2101));
    EXPECT_EQ(shown[0].caption, u"Screen Saver");
    EXPECT_EQ(shown[0].type, MB_ICONERROR);
    EXPECT_EQ(shown[1].owner, saver.mainWindow);
    // A failed reset leaves the code at 0: the generic text.
    EXPECT_EQ(shown[1].text, TextOf(2100));
    tessaloom::test::SetHeadlessMessageBoxes(false);
}

// --- motion, pass by pass ------------------------------------------------------

struct Box {
    float x, y, vx, vy;
};

Box Of(const ScreenRecord& r) { return {r.errorX, r.errorY, r.errorVelocityX, r.errorVelocityY}; }

TEST(ErrorBoxMotion, LayoutCentresTheBoxAndSetsItsSpeedFromTheBounds) {
    struct Case {
        RECT bounds;
        bool preview;
        float x, y, width, height, vx, vy;
    };
    const std::vector<Case> cases = {
        {{0, 0, 600, 400}, false, 150, 125, 300, 150, 60, 20},       // the test window
        {{0, 0, 1920, 1080}, false, 810, 465, 300, 150, 192, 54},    // a monitor
        {{-1280, 0, 0, 1024}, false, -790, 437, 300, 150, 128, 51.2f},  // a monitor left of the primary
        {{0, 0, 152, 112}, true, 0, 0, 152, 112, 0, 0},               // a preview fills and stands still
    };
    for (const auto& c : cases) {
        ScreenRecord r{};
        LayOutErrorBox(r, c.bounds, c.preview);
        EXPECT_FLOAT_EQ(r.errorX, c.x);
        EXPECT_FLOAT_EQ(r.errorY, c.y);
        EXPECT_FLOAT_EQ(r.errorWidth, c.width);
        EXPECT_FLOAT_EQ(r.errorHeight, c.height);
        EXPECT_FLOAT_EQ(r.errorVelocityX, c.vx);
        EXPECT_FLOAT_EQ(r.errorVelocityY, c.vy);
    }
}

TEST(ErrorBoxMotion, StepsBounceOffEachEdgeOfTheTestWindow) {
    const RECT bounds{0, 0, 600, 400};
    ScreenRecord r{};
    LayOutErrorBox(r, bounds, false);
    struct Step {
        float dt;
        Box after;
        bool repaint;
    };
    // From (150, 125) at (60, 20): after 2.5 s the right edge touches 600
    // (not past it: no bounce); the next step would pass it and turns back.
    const std::vector<Step> steps = {
        {0.0f, {150, 125, 60, 20}, false},
        {1.0f, {210, 145, 60, 20}, true},
        {1.5f, {300, 175, 60, 20}, true},
        {0.5f, {270, 185, -60, 20}, true},  // 300 + 30 + 300 > 600: bounce first
        {3.0f, {90, 245, -60, 20}, true},   // bottom edge at 395: not yet
        {1.0f, {30, 225, -60, -20}, true},  // 245 + 20 + 150 > 400: back up
        {1.0f, {90, 205, 60, -20}, true},   // 30 - 60 < 0: back to the right
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        RECT before, after;
        bool repaint = StepErrorBox(r, bounds, steps[i].dt, &before, &after);
        Box b = Of(r);
        EXPECT_FLOAT_EQ(b.x, steps[i].after.x) << "step " << i;
        EXPECT_FLOAT_EQ(b.y, steps[i].after.y) << "step " << i;
        EXPECT_FLOAT_EQ(b.vx, steps[i].after.vx) << "step " << i;
        EXPECT_FLOAT_EQ(b.vy, steps[i].after.vy) << "step " << i;
        EXPECT_EQ(repaint, steps[i].repaint) << "step " << i;
        EXPECT_EQ(after.left, static_cast<LONG>(b.x));
        EXPECT_EQ(after.right, static_cast<LONG>(b.x + 300.0f));
    }
}

TEST(ErrorBoxMotion, TopEdgeAndAMonitorOfItsOwn) {
    // A 1920 x 1080 monitor: 192 and 54 pixels per second from the centre.
    const RECT bounds{0, 0, 1920, 1080};
    ScreenRecord r{};
    LayOutErrorBox(r, bounds, false);
    EXPECT_FLOAT_EQ(r.errorVelocityX, 192.0f);
    r.errorVelocityX = 0.0f;
    r.errorVelocityY = -54.0f;
    RECT before, after;
    StepErrorBox(r, bounds, 8.0f, &before, &after);  // 465 - 432 = 33
    EXPECT_FLOAT_EQ(r.errorY, 33.0f);
    EXPECT_FLOAT_EQ(r.errorX, 810.0f);
    StepErrorBox(r, bounds, 1.0f, &before, &after);  // 33 - 54 < 0: back down
    EXPECT_FLOAT_EQ(r.errorVelocityY, 54.0f);
    EXPECT_FLOAT_EQ(r.errorY, 87.0f);
    EXPECT_EQ(before.top, 33);
    EXPECT_EQ(after.top, 87);
}

TEST(ErrorBoxMotion, SubPixelMovesRepaintNothing) {
    const RECT bounds{0, 0, 600, 400};
    ScreenRecord r{};
    LayOutErrorBox(r, bounds, false);
    RECT before, after;
    // 60 px/s x 0.01 s = 0.6 px: the truncated corner stays at 150.
    EXPECT_FALSE(StepErrorBox(r, bounds, 0.01f, &before, &after));
    EXPECT_FLOAT_EQ(r.errorX, 150.6f);
    EXPECT_EQ(after.left, 150);
    // The next 0.6 px crosses 151: the box repaints.
    EXPECT_TRUE(StepErrorBox(r, bounds, 0.01f, &before, &after));
    EXPECT_EQ(before.left, 150);
    EXPECT_EQ(after.left, 151);
}

TEST(ErrorBoxMotion, TruncationIsTowardZero) {
    ScreenRecord r{};
    r.errorX = -10.7f;
    r.errorY = 3.9f;
    r.errorWidth = 300.0f;
    r.errorHeight = 150.0f;
    RECT box = ErrorBoxRect(r);
    EXPECT_EQ(box.left, -10);
    EXPECT_EQ(box.top, 3);
    EXPECT_EQ(box.right, 289);
    EXPECT_EQ(box.bottom, 153);
}

// --- the framework's passes and the painting -----------------------------------

class ErrorBoxWindows : public ErrorTexts {
protected:
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        tessaloom::host::ResetErrorBoxClock();
    }
    void TearDown() override {
        tessaloom::test::ResetWindowState();
        tessaloom::host::ResetErrorBoxClock();
    }
};

TEST_F(ErrorBoxWindows, TestWindowShowsTheBoxWithCentredTextOnBlack) {
    tessaloom::test::SetFakeDisplays({{"Main", {0, 0, 1024, 768}, {{1024, 768}}}});
    TestSaver saver;
    saver.runMode = TestWindow;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    HWND w = saver.mainWindow;
    DrainMessages();
    saver.SetErrorMode(static_cast<HRESULT>(0x8200000Bu));

    saver.AnimateErrorBox();  // the first pass: text and layout, nothing moves
    EXPECT_EQ(std::u16string(saver.errorText), TextOf(2108));
    const ScreenRecord& m = saver.monitors[0];
    EXPECT_FLOAT_EQ(m.errorX, 150.0f);
    EXPECT_FLOAT_EQ(m.errorY, 125.0f);
    EXPECT_FLOAT_EQ(m.errorVelocityX, 60.0f);
    EXPECT_FLOAT_EQ(m.errorVelocityY, 20.0f);

    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    tessaloom::test::WindowPixels p = tessaloom::test::ReadWindowPixels(w);
    ASSERT_EQ(p.width, 600);
    ASSERT_EQ(p.height, 400);
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
    // Frame on the box's outer pixels, white inside, black everywhere else.
    EXPECT_EQ(p.At(150, 125), black);
    EXPECT_EQ(p.At(449, 274), black);
    EXPECT_EQ(p.At(151, 126), white);
    EXPECT_EQ(p.At(448, 273), white);
    EXPECT_EQ(p.At(149, 200), black);
    EXPECT_EQ(p.At(450, 200), black);
    EXPECT_EQ(p.At(0, 0), black);
    EXPECT_EQ(p.At(599, 399), black);
    // The text: dark ink inside the box, centred both ways.
    int minX = 600, maxX = -1, minY = 400, maxY = -1;
    for (int y = 127; y < 273; ++y)
        for (int x = 152; x < 448; ++x)
            if (p.At(x, y) != white) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "no text in the box";
    EXPECT_NEAR((minX + maxX) / 2.0, 299.5, 3.0);
    EXPECT_NEAR((minY + maxY) / 2.0, 199.5, 5.0);
    // The window shows the same picture.
    EXPECT_EQ(tessaloom::test::ReadWindowSurface(w).colors, p.colors);
}

TEST_F(ErrorBoxWindows, PreviewTextFillsTheWindowAndNothingMoves) {
    tessaloom::test::SetFakeDisplays({{"Main", {0, 0, 1024, 768}, {{1024, 768}}}});
    HWND parent = tessaloom::test::CreateForeignWindow(152, 112);
    TestSaver saver;
    saver.runMode = Preview;
    saver.parentWindow = parent;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    DrainMessages();
    saver.SetErrorMode(static_cast<HRESULT>(0x8200000Fu));
    saver.AnimateErrorBox();
    const ScreenRecord& m = saver.monitors[0];
    EXPECT_FLOAT_EQ(m.errorWidth, 152.0f);
    EXPECT_FLOAT_EQ(m.errorHeight, 112.0f);
    // Painted at once: the whole window is the box.
    tessaloom::test::WindowPixels p = tessaloom::test::ReadWindowPixels(saver.mainWindow);
    ASSERT_EQ(p.width, 152);
    EXPECT_EQ(p.At(0, 0), RGB(0, 0, 0));  // the frame
    EXPECT_EQ(p.At(1, 1), RGB(255, 255, 255));
    EXPECT_EQ(p.At(150, 110), RGB(255, 255, 255));
    SDL_Delay(50);
    saver.AnimateErrorBox();
    EXPECT_FLOAT_EQ(m.errorX, 0.0f);
    EXPECT_FLOAT_EQ(m.errorY, 0.0f);
}

TEST_F(ErrorBoxWindows, EveryFullScreenMonitorHasItsOwnBox) {
    TwoMonitors();
    TestSaver saver;
    saver.runMode = FullScreen;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    DrainMessages();
    saver.SetErrorMode(static_cast<HRESULT>(0x8200000Eu));
    saver.AnimateErrorBox();
    // Each box is centred in its own window's client coordinates.
    EXPECT_FLOAT_EQ(saver.monitors[0].errorX, 362.0f);
    EXPECT_FLOAT_EQ(saver.monitors[0].errorY, 309.0f);
    EXPECT_FLOAT_EQ(saver.monitors[0].errorVelocityX, 102.4f);
    EXPECT_FLOAT_EQ(saver.monitors[1].errorX, 490.0f);
    EXPECT_FLOAT_EQ(saver.monitors[1].errorY, 437.0f);
    EXPECT_FLOAT_EQ(saver.monitors[1].errorVelocityY, 51.2f);
    // The box moves on a later pass and is repainted where it went.
    SDL_Delay(120);
    saver.AnimateErrorBox();
    EXPECT_GT(saver.monitors[1].errorX, 490.0f);
    HWND right = saver.monitors[1].window;
    tessaloom::test::WindowPixels p = tessaloom::test::ReadWindowPixels(right);
    ASSERT_EQ(p.width, 1280);
    RECT box = ErrorBoxRect(saver.monitors[1]);
    EXPECT_EQ(p.At(box.left, box.top), RGB(0, 0, 0));
    EXPECT_EQ(p.At(box.left + 1, box.top + 1), RGB(255, 255, 255));
    EXPECT_EQ(p.At(box.left - 1, box.top + 5), RGB(0, 0, 0));
}

}  // namespace

namespace {

// A test window moved to the second monitor still shows its own box: the
// window's record paints it, not the record of the monitor it stands on.
TEST_F(ErrorBoxWindows, TestWindowOnAnotherMonitorPaintsItsOwnRecord) {
    TwoMonitors();
    TestSaver saver;
    saver.runMode = TestWindow;
    saver.EnumerateMonitors();
    ASSERT_EQ(saver.CreateSaverWindows(), S_OK);
    HWND w = saver.mainWindow;
    SetWindowPos(w, nullptr, 1200, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    DrainMessages();
    ASSERT_EQ(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), saver.monitors[1].monitor);
    saver.SetErrorMode(static_cast<HRESULT>(0x8200000Bu));
    saver.AnimateErrorBox();
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    tessaloom::test::WindowPixels p = tessaloom::test::ReadWindowPixels(w);
    ASSERT_EQ(p.width, 600);
    EXPECT_EQ(p.At(151, 126), RGB(255, 255, 255));
    EXPECT_EQ(p.At(10, 10), RGB(0, 0, 0));
    EXPECT_EQ(p.At(590, 390), RGB(0, 0, 0));
}

// In Config a start-up failure shows the message box and no settings dialog.
TEST_F(ErrorBoxWindows, ConfigStartUpFailureShowsOnlyTheMessageBox) {
    tessaloom::test::SetHeadlessMessageBoxes(true);
    auto& shown = tessaloom::test::ShownMessageBoxes();
    shown.clear();
    TestSaver saver;
    saver.runMode = Config;
    saver.SetErrorMode(static_cast<HRESULT>(0x82000003u));
    testing::internal::CaptureStderr();
    EXPECT_EQ(saver.Run(), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(saver.configDialogCalls, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, TextOf(2104));
    EXPECT_NE(err.find("Could not find any compatible Direct3D devices."), std::string::npos) << err;
    tessaloom::test::SetHeadlessMessageBoxes(false);
}

}  // namespace
