// The default scene in the saver: the flame document built from its source,
// read by the application from the executable's resources with the demo
// resource module beside it, drawn through the frame loop.  The fire
// flickers from frame to frame, and after an injected device loss the loop
// resets the device and the flame draws again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "document/res_manager.h"
#include "host/audio_graph.h"
#include "host/scene_saver.h"
#include "platform/d3d9/d3d9_testing.h"
#include "scene/current_device.h"
#include "scene/slide_show.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/test_hooks.h"
#include "tests/support/d3d_harness.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/scene_builder.h"

namespace {

namespace fs = std::filesystem;
using tessaloom::testing::Image;
using tessaloom::testing::ReadText;

// Pixels of the lower middle of the picture, where the fire burns, that are
// flame-coloured: bright red, some green, little blue.
int FirePixels(const Image& image) {
    int n = 0;
    for (UINT y = image.height * 2 / 3; y < image.height; ++y)
        for (UINT x = image.width / 3; x < image.width * 2 / 3; ++x) {
            const D3DCOLOR c = image.at(x, y);
            const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
            n += r > 200 && g > 60 && b < 120;
        }
    return n;
}

// Pixels of the fire region that differ between two frames.
int ChangedFirePixels(const Image& a, const Image& b) {
    int n = 0;
    for (UINT y = a.height * 2 / 3; y < a.height; ++y)
        for (UINT x = a.width / 3; x < a.width * 2 / 3; ++x) n += a.at(x, y) != b.at(x, y);
    return n;
}

// The application's own document backend, remembering the root it read so
// that the test can free it (the saver keeps roots until the process ends)
// before its device goes.
struct RememberingBackend : DocumentSceneBackend {
    std::unique_ptr<ScreenSceneRoot> WrapRoot(DS_IOF_Item* item) override {
        root = dynamic_cast<DS_SlideShow_Light*>(item);
        return DocumentSceneBackend::WrapRoot(item);
    }
    DS_SlideShow_Light* root = nullptr;
};

class DefaultScene : public ::testing::Test {
protected:
    DefaultScene() : harness(320, 180) {}

    void SetUp() override {
        const char* binary = std::getenv("TESSALOOM_TEST_BINARY_DIR");
        if (!binary) GTEST_SKIP() << "TESSALOOM_TEST_BINARY_DIR is not set (run through ctest)";
        ASSERT_TRUE(harness.ok());
        char tmpl[] = "/tmp/tessaloom-default-scene.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        regDir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", regDir_.c_str(), 1);
        tessaloom::test::ReloadRegistry();
        // The demo module the build packs: the fire's pictures and both effects.
        tessaloom::testing::SetModuleFolder(std::string(binary) + "/..");

        ASSERT_TRUE(tessaloom::testing::BuildSceneDocument(
            ReadText(std::string(TESSALOOM_SOURCE_DIR) + "/demo/scenes/flame.scene"), document_));
        before_ = GetCurrentDocResManager();
    }
    void TearDown() override {
        tessaloom::testing::SetModuleFolder("");
        SetCurrentDocResManager(before_);
        if (!regDir_.empty()) fs::remove_all(regDir_);
    }

    tessaloom::testing::D3DHarness harness;
    std::vector<BYTE> document_;
    DS_DocResManager* before_ = nullptr;
    std::string regDir_;
};

TEST_F(DefaultScene, TheFlameFlickersAndDrawsAgainAfterADeviceLoss) {
    tessaloom::testing::ScopedExecutableResources table{
        {{u"DDS", 0, nullptr, 107, document_.data(), static_cast<DWORD>(document_.size())}}};
    RememberingBackend documents;
    SceneBackend* const previous = SetSceneBackend(&documents);
    {
        CSceneSaver saver;
        // One render unit on the harness's device, its objects made as the
        // loop's start makes them.
        saver.renderUnitCount = 1;
        saver.renderUnits[0].device = harness.device;
        saver.renderUnits[0].presentParams = harness.params;
        harness.device->AddRef();  // the unit owns a reference
        saver.currentDevice = harness.device;
        saver.OnRenderUnitSelected(0);
        ASSERT_EQ(saver.RestoreDeviceResources(), S_OK);
        ASSERT_EQ(saver.errorMode, 0) << std::hex << saver.errorCode;
        saver.renderUnits[0].objectsCreated = 1;
        saver.renderUnits[0].objectsRestored = 1;
        DS_DocResManager* const manager = saver.screens[0].resourceManager;
        ASSERT_NE(manager, nullptr);

        auto frame = [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            saver.Render3D();
            return harness.ReadBackBuffer();
        };
        const Image first = frame();
        const Image second = frame();
        EXPECT_GT(FirePixels(first), 200);
        EXPECT_GT(ChangedFirePixels(first, second), 200) << "the flames move";

        tessaloom::d3d9::LoseDevice(harness.device, 1);
        saver.Render3D();  // lost: the frame is skipped
        EXPECT_EQ(saver.renderUnits[0].objectsRestored, 1);
        const Image reset = frame();  // ready to reset: reset, restore, draw
        ASSERT_EQ(saver.errorMode, 0) << "the reset or the restore failed";
        EXPECT_EQ(saver.renderUnits[0].objectsRestored, 1);
        EXPECT_EQ(saver.screens[0].resourceManager, manager) << "restored, not loaded again";
        const Image after = frame();
        EXPECT_GT(FirePixels(reset), 200) << "the fire after the reset";
        EXPECT_GT(FirePixels(after), 200);
        EXPECT_GT(ChangedFirePixels(reset, after), 200) << "the flames still move";

        saver.LoseDeviceResources();
        saver.DestroyDeviceResources();
        saver.renderUnits[0].device->Release();
        saver.renderUnits[0].device = nullptr;
        saver.renderUnitCount = 0;
        // The current device and manager go with the unit, as at the loop's end.
        saver.currentDevice = nullptr;
        saver.OnRenderUnitSelected(0);
        EXPECT_EQ(CurrentDevice, nullptr);
        ReleaseAudioGraph();
        delete documents.root;
        SetCurrentDocResManager(nullptr);
        delete manager;
    }
    SetSceneBackend(previous);
}

}  // namespace
