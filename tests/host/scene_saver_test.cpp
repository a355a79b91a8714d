// The application: the per-unit switch of the current globals, the scene
// loaded once per screen, restore failures, drawing, and the sound playlist
// played through the real music graph with its fast clock.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "document/load_error.h"
#include "document/res_device.h"
#include "document/res_manager.h"
#include "host/audio_graph.h"
#include "host/registry_settings.h"
#include "host/scene_saver.h"
#include "scene/current_device.h"
#include "scene/slide_show.h"
#include "scene/view_2d.h"
#include "platform/d3d9/d3d9_testing.h"
#include "tests/support/d3d_harness.h"
#include "platform/dshow/dshow_test.h"
#include "tests/support/dshow_sound_files.h"
#include "platform/win32/strings.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/test_hooks.h"
#include "tests/host/saver_test_support.h"
#include "tests/support/doc_fixture.h"
#include "tests/support/saver_resources.h"
#include "platform/win32/dialog_hooks.h"
#include "resources/resource.h"

namespace {

namespace fs = std::filesystem;

// A scene root that records what the application asks of it.
struct FakeRoot : ScreenSceneRoot {
    std::vector<std::string>* log;
    std::vector<std::u16string> sounds;
    bool throwOnInit = false;
    bool throwOnRestore = false;
    int picturePosition = -1;
    std::vector<double> frameTimes;
    int renders = 0;
    IDirect3DDevice9* deviceAtRender = nullptr;

    explicit FakeRoot(std::vector<std::string>* l) : log(l) {}
    void InitSlides() override {
        log->push_back("init");
        if (throwOnInit) throw std::runtime_error("slide");
    }
    void ExtractSounds() override { log->push_back("extract"); }
    void SetPicturePosition(int mode) override { picturePosition = mode; }
    int FrameMove(double t) override {
        frameTimes.push_back(t);
        return 0;
    }
    int Render() override;
    int InvalidateDeviceObjects() override {
        log->push_back("invalidate");
        return 0;
    }
    int RestoreDeviceObjects() override {
        log->push_back("restore");
        if (throwOnRestore) throw std::runtime_error("restore");
        return 0;
    }
    size_t SoundCount() const override { return sounds.size(); }
    std::u16string SoundPath(size_t i) const override { return sounds.at(i); }
};

// The globals as the scene side would hold them.
struct FakeBackend : SceneBackend {
    IDirect3DDevice9* device = nullptr;
    DS_DocResManager* manager = nullptr;
    int viewUnit = -1;
    int loads = 0;
    bool failNextLoad = false;
    std::vector<std::u16string> sounds;
    std::vector<std::string> log;
    std::vector<FakeRoot*> roots;  // owned by the records
    char managers[10] = {};        // distinct addresses, never read

    std::unique_ptr<ScreenSceneRoot> LoadSceneDocument() override {
        if (failNextLoad) {
            failNextLoad = false;
            throw std::runtime_error("no document");
        }
        auto root = std::make_unique<FakeRoot>(&log);
        root->sounds = sounds;
        roots.push_back(root.get());
        manager = reinterpret_cast<DS_DocResManager*>(&managers[loads++]);
        log.push_back("load");
        return root;
    }
    DS_DocResManager* CurrentResourceManager() override { return manager; }
    void SetCurrentResourceManager(DS_DocResManager* m) override { manager = m; }
    void SetCurrentDevice(IDirect3DDevice9* d) override { device = d; }
    void SetCurrentViewState(int unit) override { viewUnit = unit; }
    void ReleaseUnitDeviceObjects(int unit) override { log.push_back("release view " + std::to_string(unit)); }

    DS_DocResManager* Manager(int i) { return reinterpret_cast<DS_DocResManager*>(&managers[i]); }
};

FakeBackend* g_fake = nullptr;

int FakeRoot::Render() {
    ++renders;
    deviceAtRender = g_fake ? g_fake->device : nullptr;
    return 0;
}

IDirect3DDevice9* Device(intptr_t v) { return reinterpret_cast<IDirect3DDevice9*>(v); }

class SceneSaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::test::ResetWindowState();
        char tmpl[] = "/tmp/tessaloom-scene-saver-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        regDir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", regDir_.c_str(), 1);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        g_SoundVolume = 100;
        g_MuteSound = 0;
        g_fake = &backend;
        previous_ = SetSceneBackend(&backend);
    }
    void TearDown() override {
        ReleaseAudioGraph();
        SetSceneBackend(previous_);
        g_fake = nullptr;
        tessaloom::test::ResetWindowState();
        fs::remove_all(regDir_);
    }

    // Select unit i the way the frame loop does: its device first.
    static void Select(CSceneSaver& saver, int unit, IDirect3DDevice9* device) {
        saver.currentDevice = device;
        saver.OnRenderUnitSelected(unit);
    }

    static void PutDword(const char16_t* name, DWORD value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSaverRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    FakeBackend backend;
    SceneBackend* previous_ = nullptr;
    std::string regDir_;
};

TEST_F(SceneSaverTest, ConstructorSetsKeyPathTitleAndDepthBuffer) {
    // String 1000 is slot 8 of string block 63: the title comes from the table.
    std::vector<uint8_t> block(16 * 2, 0);
    const std::u16string title = u"Tessaloom";
    std::vector<uint8_t> slot8 = {static_cast<uint8_t>(title.size()), 0};
    for (char16_t c : title) {
        slot8.push_back(static_cast<uint8_t>(c & 0xFF));
        slot8.push_back(static_cast<uint8_t>(c >> 8));
    }
    block.insert(block.begin() + 16, slot8.begin(), slot8.end());
    tessaloom::testing::ScopedExecutableResources table{
        {{nullptr, 6, nullptr, 63, block.data(), static_cast<DWORD>(block.size())}}};
    CSceneSaver saver;
    EXPECT_EQ(g_sceneSaver, &saver);
    EXPECT_EQ(g_saver, &saver);
    EXPECT_EQ(std::u16string(saver.registryKeyPath), std::u16string(kSaverRegistryKey));
    EXPECT_EQ(std::u16string(g_registryKeyPath), std::u16string(kSaverRegistryKey));
    EXPECT_EQ(std::u16string(saver.windowTitle), u"Tessaloom");
    EXPECT_EQ(saver.useDepthBuffer, 1);
    EXPECT_EQ(saver.currentScreen, nullptr);
}

// Every switch sets the record, the device and the view together; the
// manager follows once the unit has loaded its document, and the two
// screens' managers stay apart.
TEST_F(SceneSaverTest, UnitSwitchSetsEveryCurrentGlobalTogether) {
    CSceneSaver saver;
    Select(saver, 0, Device(0x100));
    EXPECT_EQ(saver.currentScreen, &saver.screens[0]);
    EXPECT_EQ(backend.device, Device(0x100));
    EXPECT_EQ(backend.viewUnit, 0);
    EXPECT_EQ(backend.manager, nullptr);  // nothing loaded: left as it is
    ASSERT_EQ(saver.RestoreDeviceResources(), S_OK);
    EXPECT_EQ(backend.manager, backend.Manager(0));
    EXPECT_EQ(saver.screens[0].resourceManager, backend.Manager(0));

    // Unit 1 before its first restore: its device and view, and the manager
    // the previous unit left, until its own load makes its manager current.
    Select(saver, 1, Device(0x200));
    EXPECT_EQ(saver.currentScreen, &saver.screens[1]);
    EXPECT_EQ(backend.device, Device(0x200));
    EXPECT_EQ(backend.viewUnit, 1);
    EXPECT_EQ(backend.manager, backend.Manager(0));
    ASSERT_EQ(saver.RestoreDeviceResources(), S_OK);
    EXPECT_EQ(saver.screens[1].resourceManager, backend.Manager(1));

    struct Step {
        int unit;
        intptr_t device;
        int manager;
    };
    const Step steps[] = {{0, 0x100, 0}, {1, 0x200, 1}, {1, 0x200, 1}, {0, 0x100, 0}};
    for (const Step& s : steps) {
        Select(saver, s.unit, Device(s.device));
        EXPECT_EQ(saver.currentScreen, &saver.screens[s.unit]);
        EXPECT_EQ(backend.device, Device(s.device));
        EXPECT_EQ(backend.viewUnit, s.unit);
        EXPECT_EQ(backend.manager, backend.Manager(s.manager)) << "unit " << s.unit;
    }
    EXPECT_EQ(saver.errorMode, 0);
}

// Two screens read the document twice, each into its own root; a later
// restore restores, never reloads.
TEST_F(SceneSaverTest, DocumentLoadedOncePerScreenThenRestored) {
    PutDword(kValuePicturePosition, 0);
    CSceneSaver saver;
    for (int unit : {0, 1}) {
        Select(saver, unit, Device(0x100 * (unit + 1)));
        saver.RestoreDeviceResources();
    }
    ASSERT_EQ(backend.loads, 2);
    ASSERT_EQ(backend.roots.size(), 2u);
    EXPECT_EQ(saver.screens[0].root.get(), backend.roots[0]);
    EXPECT_EQ(saver.screens[1].root.get(), backend.roots[1]);
    EXPECT_NE(saver.screens[0].resourceManager, saver.screens[1].resourceManager);
    EXPECT_EQ(backend.roots[0]->picturePosition, 0);
    EXPECT_EQ(backend.roots[1]->picturePosition, 0);
    EXPECT_EQ(backend.log, (std::vector<std::string>{"load", "init", "extract", "load", "init", "extract"}));

    // A device reset of screen 0: lost, then restored, not loaded again.
    backend.log.clear();
    Select(saver, 0, Device(0x100));
    saver.LoseDeviceResources();
    saver.RestoreDeviceResources();
    EXPECT_EQ(backend.loads, 2);
    EXPECT_EQ(backend.log, (std::vector<std::string>{"invalidate", "restore"}));
    EXPECT_EQ(saver.errorMode, 0);

    // Before a unit's device goes, its view state lets go of that device.
    backend.log.clear();
    Select(saver, 1, Device(0x200));
    saver.DestroyDeviceResources();
    EXPECT_EQ(backend.log, std::vector<std::string>{"release view 1"});
}

// The saver and its settings dialogs read every stored value alike, in range
// or not: the position the scene is laid out by is the entry the dialog
// shows, the volume that plays is the one the trackbar shows, and so is the
// mute.  OK with nothing changed keeps what was stored, out of range or not.
TEST_F(SceneSaverTest, TheSaverAndItsDialogsReadEveryStoredValueAlike) {
    constexpr int64_t kMissing = -1;
    struct Case {
        int64_t position, volume, mute;
        int laidOut;         // the picture position, by hand: 0 to 2, else Fill
        int plays;           // the volume: 0 to 100, a larger value 100
        bool muted;
    };
    const Case cases[] = {
        {kMissing, kMissing, kMissing, 2, 100, false},
        {0, 0, 0, 0, 0, false},
        {1, 30, 1, 1, 30, true},
        {2, 100, 5, 2, 100, true},
        {3, 101, 0, 2, 100, false},
        {7, 150, 1, 2, 100, true},
        {0x80000000, 0x80000000, 0x80000000, 2, 100, true},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 2, 100, true},
    };
    tessaloom::testing::ScopedExecutableResources resources(tessaloom::testing::SaverResourceEntries());
    tessaloom::test::SetHeadlessDialogs(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.position << " " << c.volume << " " << c.mute);
        fs::remove_all(regDir_);
        fs::create_directories(regDir_);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        tessaloom::host::ResetSoundDialogValues();
        g_SoundVolume = 100;
        g_MuteSound = 0;
        if (c.position != kMissing) PutDword(kValuePicturePosition, static_cast<DWORD>(c.position));
        if (c.volume != kMissing) PutDword(kValueSoundVolume, static_cast<DWORD>(c.volume));
        if (c.mute != kMissing) PutDword(kValueMuteSound, static_cast<DWORD>(c.mute));

        // The saver: a screen loads its scene and starts its first sound.
        backend.sounds = {u"/nonexistent/a.wav"};
        CSceneSaver saver;
        Select(saver, 0, Device(0x100));
        testing::internal::CaptureStderr();
        saver.RestoreDeviceResources();
        testing::internal::GetCapturedStderr();
        ASSERT_FALSE(backend.roots.empty());
        EXPECT_EQ(backend.roots.back()->picturePosition, c.laidOut);
        EXPECT_EQ(g_SoundVolume, c.plays);
        EXPECT_EQ(g_MuteSound != 0, c.muted);

        // The dialogs, in a process of their own: what they show, then OK in both.
        tessaloom::host::ResetPicturePositionCache();
        LRESULT shownPosition = -2, trackbar = -2;
        bool checked = false;
        tessaloom::test::SetDialogDriver([&](HWND dialog, int id) {
            if (id == IDD_SETTINGS) {
                shownPosition = SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_GETCURSEL, 0, 0);
                tessaloom::test::ClickDialogItem(dialog, IDC_SOUND_SETTINGS);
            } else {
                trackbar = SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_GETPOS, 0, 0);
                checked = IsDlgButtonChecked(dialog, IDC_MUTE) == BST_CHECKED;
            }
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        });
        CSceneSaver configuring;
        configuring.ShowConfigDialog();
        tessaloom::test::SetDialogDriver(nullptr);
        EXPECT_EQ(shownPosition, backend.roots.back()->picturePosition);
        EXPECT_EQ(100 - trackbar, g_SoundVolume);
        EXPECT_EQ(checked, g_MuteSound != 0);

        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        EXPECT_EQ(StoredPicturePosition(), c.position == kMissing ? 2u : static_cast<DWORD>(c.position));
        DWORD volume = 12345, mute = 12345;
        ReadRegistryDword(&volume, kValueSoundVolume);
        ReadRegistryDword(&mute, kValueMuteSound);
        EXPECT_EQ(volume, c.volume == kMissing ? 100u : static_cast<DWORD>(c.volume));
        EXPECT_EQ(mute, c.mute == kMissing ? 0u : static_cast<DWORD>(c.mute));
    }
    tessaloom::test::SetHeadlessDialogs(false);
}

TEST_F(SceneSaverTest, RestoreFailuresSetTheMediaErrorAndReturnSuccess) {
    {
        // The second screen's document fails: the whole saver goes to the error box.
        CSceneSaver saver;
        Select(saver, 0, Device(0x100));
        saver.RestoreDeviceResources();
        Select(saver, 1, Device(0x200));
        backend.failNextLoad = true;
        EXPECT_EQ(saver.RestoreDeviceResources(), S_OK);
        EXPECT_EQ(saver.errorMode, 1);
        EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
        EXPECT_EQ(saver.screens[1].root, nullptr);
        EXPECT_NE(saver.screens[0].root, nullptr);
    }
    {
        // A slide that fails to initialise: the root already read stays.
        CSceneSaver saver;
        Select(saver, 0, Device(0x100));
        backend.sounds.clear();
        backend.failNextLoad = false;
        saver.RestoreDeviceResources();  // loads fine
        backend.roots.back()->throwOnRestore = true;
        saver.RestoreDeviceResources();
        EXPECT_EQ(saver.errorMode, 1);
        EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
        EXPECT_NE(saver.screens[0].root, nullptr);
    }
    {
        // Without a scene backend nothing can load: the error, loudly.
        SetSceneBackend(nullptr);
        CSceneSaver saver;
        Select(saver, 0, Device(0x100));
        EXPECT_EQ(saver.RestoreDeviceResources(), S_OK);
        EXPECT_EQ(saver.errorMode, 1);
        EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
        SetSceneBackend(&backend);
    }
}

// A user with a damaged document learns why from stderr: the load error's
// text, any other exception's, and a last-resort line for an unknown type.
TEST_F(SceneSaverTest, ALoadFailureWritesWhyToStderr) {
    struct Throws : FakeBackend {
        int kind = 0;
        std::unique_ptr<ScreenSceneRoot> LoadSceneDocument() override {
            if (kind == 0) throw DS_LoadError("scene document ends early at offset 12: 4 bytes wanted, 1 left");
            if (kind == 1) throw std::runtime_error("no document");
            throw 42;
        }
    } throws;
    const char* const said[] = {
        "tessaloom: loading the scene: the scene document is damaged: scene document ends early at offset 12: 4 "
        "bytes wanted, 1 left\n",
        "tessaloom: loading the scene: no document\n",
        "tessaloom: loading the scene: an exception of unknown type\n",
    };
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        throws.kind = kind;
        SetSceneBackend(&throws);
        CSceneSaver saver;
        Select(saver, 0, Device(0x100));
        testing::internal::CaptureStderr();
        const HRESULT hr = saver.RestoreDeviceResources();
        const std::string err = testing::internal::GetCapturedStderr();
        SetSceneBackend(&backend);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
        EXPECT_NE(err.find(said[kind]), std::string::npos) << err;
    }
}

TEST_F(SceneSaverTest, InitFailureKeepsTheRootRead) {
    CSceneSaver saver;
    Select(saver, 0, Device(0x100));
    struct InitFails : FakeBackend {
        std::unique_ptr<ScreenSceneRoot> LoadSceneDocument() override {
            auto root = FakeBackend::LoadSceneDocument();
            static_cast<FakeRoot*>(root.get())->throwOnInit = true;
            return root;
        }
    } failing;
    SetSceneBackend(&failing);
    saver.RestoreDeviceResources();
    SetSceneBackend(&backend);
    EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
    EXPECT_NE(saver.screens[0].root, nullptr);
    EXPECT_EQ(saver.screens[0].resourceManager, nullptr);
}

// Drawing: the frame's time reaches the root, and the root draws between
// BeginScene and EndScene on the unit's device.
TEST_F(SceneSaverTest, RenderMovesAndDrawsTheCurrentScreen) {
    tessaloom::testing::D3DHarness harness;
    ASSERT_TRUE(harness.ok());
    CSceneSaver saver;
    Select(saver, 0, harness.device);
    saver.RestoreDeviceResources();
    saver.appTime = 2.5f;
    EXPECT_EQ(saver.Render(), S_OK);
    FakeRoot* root = backend.roots.at(0);
    EXPECT_EQ(root->frameTimes, std::vector<double>{2.5});
    EXPECT_EQ(root->renders, 1);
    EXPECT_EQ(root->deviceAtRender, harness.device);
    // EndScene ran: a new scene can begin.
    EXPECT_EQ(harness.device->BeginScene(), D3D_OK);
    EXPECT_EQ(harness.device->EndScene(), D3D_OK);
    saver.currentDevice = nullptr;
}

TEST_F(SceneSaverTest, AcceptDeviceNeedsBumpMappingAndV8U8) {
    CSceneSaver saver;
    saver.direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(saver.direct3D, nullptr);
    D3DCAPS9 caps{};
    ASSERT_EQ(saver.direct3D->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    ASSERT_NE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP, 0u);
    EXPECT_EQ(saver.AcceptDevice(caps, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DFMT_X8R8G8B8), S_OK);
    D3DCAPS9 noBump = caps;
    noBump.TextureOpCaps &= ~D3DTEXOPCAPS_BUMPENVMAP;
    EXPECT_EQ(saver.AcceptDevice(noBump, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DFMT_X8R8G8B8), E_FAIL);
    saver.direct3D->Release();
    saver.direct3D = nullptr;
}

// --- The document backend: the real loader and resource managers -----------

// The tests' own root, driven the way the scene root is.
struct DocRoot : ScreenSceneRoot {
    std::unique_ptr<docfix::TestRoot> root;
    void InitSlides() override {}
    void ExtractSounds() override {
        // A failed write is not reported: that sound fails to play later.
        for (auto& s : root->sounds) s->ExtractToTemp();
    }
    void SetPicturePosition(int) override {}
    int FrameMove(double) override { return 0; }
    int Render() override { return 0; }
    int InvalidateDeviceObjects() override { return 0; }
    int RestoreDeviceObjects() override { return 0; }
    size_t SoundCount() const override { return root->sounds.size(); }
    std::u16string SoundPath(size_t i) const override { return root->sounds.at(i)->GetPath(); }
};

struct TestDocumentBackend : DocumentSceneBackend {
    std::unique_ptr<ScreenSceneRoot> WrapRoot(DS_IOF_Item* item) override {
        auto wrapped = std::make_unique<DocRoot>();
        wrapped->root.reset(static_cast<docfix::TestRoot*>(item));
        return wrapped;
    }
};

TEST_F(SceneSaverTest, TwoScreensReadTheEmbeddedDocumentIntoManagersOfTheirOwn) {
    const std::vector<BYTE> document = docfix::MakeDocument(u"header", u"DS_SlideShow_Light");
    tessaloom::testing::ScopedExecutableResources table{
        {{u"DDS", 0, nullptr, 107, document.data(), static_cast<DWORD>(document.size())}}};
    const DS_SceneRootReader previousReader = SetSceneRootReader(&docfix::TestRootReader::Read);
    DS_DocResManager* const before = GetCurrentDocResManager();
    tessaloom::testing::D3DHarness harness;
    ASSERT_TRUE(harness.ok());
    {
        TestDocumentBackend documents;
        SetSceneBackend(&documents);
        CSceneSaver saver;
        for (int unit : {0, 1}) {
            Select(saver, unit, harness.device);
            saver.RestoreDeviceResources();
            ASSERT_EQ(saver.errorMode, 0) << "unit " << unit;
        }
        DS_DocResManager* m0 = saver.screens[0].resourceManager;
        DS_DocResManager* m1 = saver.screens[1].resourceManager;
        ASSERT_NE(m0, nullptr);
        ASSERT_NE(m1, nullptr);
        EXPECT_NE(m0, m1);
        EXPECT_NE(saver.screens[0].root.get(), saver.screens[1].root.get());
        // Each manager read its own copy of the document's tables.
        EXPECT_NE(&m0->Tables(), &m1->Tables());
        EXPECT_EQ(m0->Tables().allFiles.size(), m1->Tables().allFiles.size());
        Select(saver, 0, harness.device);
        EXPECT_EQ(GetCurrentDocResManager(), m0);
        Select(saver, 1, harness.device);
        EXPECT_EQ(GetCurrentDocResManager(), m1);
        // Both screens' sound items were written to files that exist.
        for (int unit : {0, 1}) {
            ASSERT_EQ(saver.screens[unit].root->SoundCount(), 1u);
            EXPECT_TRUE(fs::exists(tessaloom::Utf16ToUtf8(saver.screens[unit].root->SoundPath(0))));
        }

        // The document side makes its textures on the device selected last.
        const std::vector<BYTE> tga = resfix::MakeTga(4, 4);
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(GetResDevice().CreateTexture(tga.data(), static_cast<UINT>(tga.size()), &texture, nullptr), D3D_OK);
        ASSERT_NE(texture, nullptr);
        texture->Release();
        Select(saver, 0, nullptr);
        texture = nullptr;
        EXPECT_TRUE(FAILED(GetResDevice().CreateTexture(tga.data(), static_cast<UINT>(tga.size()), &texture, nullptr)));
        EXPECT_EQ(texture, nullptr);

        SetCurrentDocResManager(before);
        SetSceneBackend(&backend);
        delete m0;
        delete m1;
    }
    SetSceneRootReader(previousReader);
}

TEST_F(SceneSaverTest, ARootThatIsNotASlideShowFailsAsMedia) {
    const std::vector<BYTE> document = docfix::MakeDocument(u"header", u"DS_SlideShow_Light");
    tessaloom::testing::ScopedExecutableResources table{
        {{u"DDS", 0, nullptr, 107, document.data(), static_cast<DWORD>(document.size())}}};
    const DS_SceneRootReader previousReader = SetSceneRootReader(&docfix::TestRootReader::Read);
    DS_DocResManager* const before = GetCurrentDocResManager();
    {
        DocumentSceneBackend documents;
        SetSceneBackend(&documents);
        CSceneSaver saver;
        Select(saver, 0, nullptr);
        EXPECT_EQ(saver.RestoreDeviceResources(), S_OK);
        EXPECT_EQ(saver.errorCode, static_cast<HRESULT>(0x8200000B));
        EXPECT_EQ(saver.screens[0].root, nullptr);
        DS_DocResManager* read = GetCurrentDocResManager();
        SetCurrentDocResManager(before);
        if (read != before) delete read;
        SetSceneBackend(&backend);
    }
    SetSceneRootReader(previousReader);
}

// The saver's own backend over a real slide show document: two screens on
// two devices, each with its own root, manager and view state.
TEST_F(SceneSaverTest, SlideShowDocumentOnTwoDevices) {
    dshow_test::TempFolder sounds;
    const std::string wav = sounds.File("tone.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(wav, 22050, 64, 0.2f));
    std::vector<BYTE> wavBytes;
    {
        FILE* f = std::fopen(wav.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        int c;
        while ((c = std::fgetc(f)) != EOF) wavBytes.push_back(static_cast<BYTE>(c));
        std::fclose(f);
    }
    DS_IOF_W w;
    w.WriteString(u"scene");
    {
        DS_SlideShow_Light root;
        auto* sound = new DS_AudioFile();
        sound->name = u"tone";
        sound->file.path = u"C:\\gone\\tone.wav";
        sound->file.SetBytes(static_cast<DWORD>(wavBytes.size()), wavBytes.data());
        root.sounds.emplace_back(sound);
        root.Write(w);
    }
    w.WriteString(u"DS_DocResManager");
    w.WriteInt(3);
    for (int table = 0; table < 4; ++table) w.WriteUInt(0);
    const std::vector<BYTE> document = w.TakeBytes();
    tessaloom::testing::ScopedExecutableResources table{
        {{u"DDS", 0, nullptr, 107, document.data(), static_cast<DWORD>(document.size())}}};

    DS_DocResManager* const before = GetCurrentDocResManager();
    tessaloom::testing::D3DHarness first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    IDirect3DDevice9* devices[2] = {first.device, second.device};
    {
        DocumentSceneBackend documents;
        SetSceneBackend(&documents);
        CSceneSaver saver;
        DS_ViewState* views[2] = {};
        for (int unit : {0, 1}) {
            Select(saver, unit, devices[unit]);
            EXPECT_EQ(CurrentDevice, devices[unit]);
            views[unit] = &DS_CurrentViewState();
            saver.RestoreDeviceResources();
            ASSERT_EQ(saver.errorMode, 0) << std::hex << saver.errorCode;
        }
        EXPECT_NE(views[0], views[1]);
        EXPECT_NE(saver.screens[0].resourceManager, saver.screens[1].resourceManager);
        for (int unit : {1, 0, 1}) {
            Select(saver, unit, devices[unit]);
            EXPECT_EQ(CurrentDevice, devices[unit]);
            EXPECT_EQ(&DS_CurrentViewState(), views[unit]);
            EXPECT_EQ(GetCurrentDocResManager(), saver.screens[unit].resourceManager);
            ASSERT_EQ(saver.screens[unit].root->SoundCount(), 1u);
            EXPECT_TRUE(fs::exists(tessaloom::Utf16ToUtf8(saver.screens[unit].root->SoundPath(0))));
            EXPECT_EQ(saver.Render(), S_OK);
        }
        // A root without slides draws black.
        Select(saver, 0, devices[0]);
        ASSERT_EQ(first.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
        saver.Render();
        EXPECT_TRUE(tessaloom::testing::Probe(first.ReadBackBuffer(), 1, 1, 0xFF000000));
        // The frame loop's end: every unit's objects go before its device.
        for (int unit : {0, 1}) {
            Select(saver, unit, devices[unit]);
            saver.LoseDeviceResources();
            saver.DestroyDeviceResources();
        }
        Select(saver, 0, nullptr);
        SetCurrentDocResManager(before);
        SetSceneBackend(&backend);
    }
}

// --- The playlist, through the real graph ------------------------------------

// What the graph mixed: the first sample of every block, and the thread the
// end-of-sound events were handled on.
struct Mixed {
    std::mutex mutex;
    std::vector<float> levels;
    static Mixed& Get() {
        static Mixed m;
        return m;
    }
    static void Tap(void*, const float* samples, UINT frames, UINT) {
        Mixed& m = Get();
        std::lock_guard<std::mutex> lock(m.mutex);
        if (frames) m.levels.push_back(samples[0]);
    }
    // The levels with repeats folded: one entry per sound played.
    std::vector<float> Runs() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<float> runs;
        for (float v : levels)
            if (runs.empty() || std::fabs(runs.back() - v) > 1e-4f) runs.push_back(v);
        return runs;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        levels.clear();
    }
};

class PlaylistSaver : public CSceneSaver {
public:
    std::vector<std::thread::id> eventThreads;
    std::vector<LONG> codes;
    void OnMediaEvent(LONG code) override {
        eventThreads.push_back(std::this_thread::get_id());
        codes.push_back(code);
        CSceneSaver::OnMediaEvent(code);
    }
};

class PlaylistTest : public SceneSaverTest {
protected:
    void SetUp() override {
        SceneSaverTest::SetUp();
        tessaloom::dshow::test::SetFastClock(true);
        tessaloom::dshow::test::SetOutputTap(&Mixed::Tap, nullptr);
        Mixed::Get().Clear();
        saver_ = std::make_unique<PlaylistSaver>();
        saver_->runMode = TestWindow;
        ASSERT_EQ(saver_->CreateSaverWindows(), S_OK);
        ASSERT_EQ(InitAudioGraph(saver_->mainWindow), 1);
    }
    void TearDown() override {
        ReleaseAudioGraph();
        saver_.reset();
        tessaloom::dshow::test::SetOutputTap(nullptr, nullptr);
        tessaloom::dshow::test::SetFastClock(false);
        EXPECT_EQ(tessaloom::dshow::test::LiveObjectCount(), 0);
        SceneSaverTest::TearDown();
    }
    std::u16string Sound(const std::string& name, float value) {
        const std::string path = folder_.File(name);
        EXPECT_TRUE(dshow_test::WriteConstantWav(path, 22050, 1024, value));
        return tessaloom::Utf8ToUtf16(path);
    }
    std::u16string Missing(const std::string& name) { return tessaloom::Utf8ToUtf16(folder_.File(name)); }
    // Starts the screen's scene and pumps the saver's messages until `runs`
    // sounds have played (or ten seconds passed).
    std::vector<float> PlayUntil(size_t runs) {
        Select(*saver_, 0, nullptr);
        saver_->RestoreDeviceResources();
        return PumpUntil(runs);
    }
    std::vector<float> PumpUntil(size_t runs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Mixed::Get().Runs().size() < runs && std::chrono::steady_clock::now() < end) {
            if (DrainMessages()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        auto r = Mixed::Get().Runs();
        if (r.size() > runs) r.resize(runs);
        return r;
    }
    static bool Near(const std::vector<float>& got, const std::vector<float>& want) {
        if (got.size() != want.size()) return false;
        for (size_t i = 0; i < got.size(); ++i)
            if (std::fabs(got[i] - want[i]) > 1e-3f) return false;
        return true;
    }
    static std::string Show(const std::vector<float>& v) {
        std::string s;
        for (float f : v) s += std::to_string(f) + " ";
        return s;
    }

    std::unique_ptr<PlaylistSaver> saver_;
    dshow_test::TempFolder folder_;
};

TEST_F(PlaylistTest, ThreeSoundsPlayInOrderAndWrapWithEventsOnTheSaverThread) {
    backend.sounds = {Sound("a.wav", 0.1f), Sound("b.wav", 0.2f), Sound("c.wav", 0.3f)};
    const auto runs = PlayUntil(5);
    EXPECT_TRUE(Near(runs, {0.1f, 0.2f, 0.3f, 0.1f, 0.2f})) << Show(runs);
    ASSERT_GE(saver_->codes.size(), 4u);
    for (size_t i = 0; i < saver_->codes.size(); ++i) {
        EXPECT_EQ(saver_->codes[i], EC_COMPLETE);
        EXPECT_EQ(saver_->eventThreads[i], std::this_thread::get_id());
    }
}

TEST_F(PlaylistTest, OneSoundReplaysItself) {
    backend.sounds = {Sound("only.wav", 0.4f)};
    PlayUntil(1);
    const size_t before = saver_->codes.size();
    // The same level again after each end: count the ends instead of runs.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (saver_->codes.size() < before + 3 && std::chrono::steady_clock::now() < end) {
        DrainMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(saver_->codes.size(), before + 3);
    EXPECT_EQ(saver_->screens[0].playlistPosition, 0u);
}

TEST_F(PlaylistTest, UnplayableItemsAreSkipped) {
    dshow_test::WriteBytes(folder_.File("bad.wav"), "RIFF....not a wave");
    // A named pipe at a stored path: opening it to read would wait for a writer.
    ASSERT_TRUE(dshow_test::MakeFifo(folder_.File("pipe.wav")));
    // Sounds at rates no sound device plays.
    for (int rate : {1, 100})
        ASSERT_TRUE(dshow_test::WriteConstantWav(folder_.File("slow" + std::to_string(rate) + ".wav"), rate, 4, 0.9f));
    backend.sounds = {Sound("a.wav", 0.1f), Missing("gone.wav"), tessaloom::Utf8ToUtf16(folder_.File("pipe.wav")),
                      tessaloom::Utf8ToUtf16(folder_.File("slow1.wav")), Sound("c.wav", 0.3f),
                      tessaloom::Utf8ToUtf16(folder_.File("bad.wav")), tessaloom::Utf8ToUtf16(folder_.File("slow100.wav"))};
    const auto runs = PlayUntil(4);
    EXPECT_TRUE(Near(runs, {0.1f, 0.3f, 0.1f, 0.3f})) << Show(runs);
}

TEST_F(PlaylistTest, NothingPlayableTriesEachItemOnceAndPlaysNothing) {
    backend.sounds = {Missing("x.wav"), Missing("y.wav")};
    Select(*saver_, 0, nullptr);
    saver_->RestoreDeviceResources();
    EXPECT_EQ(saver_->screens[0].playlistPosition, 0u);  // once around
    DrainMessagesFor(100);
    EXPECT_TRUE(Mixed::Get().Runs().empty());
    EXPECT_EQ(saver_->errorMode, 0);
}

TEST_F(PlaylistTest, VolumeAndMuteAreReadBeforeEachSound) {
    backend.sounds = {Sound("a.wav", 0.5f), Sound("b.wav", 0.25f)};
    // The registry is changed while a sound plays and before its end is
    // handled, so each sound has the settings stored when it started.  One
    // end at a time is handled: the fast clock can end the next sound before
    // a pump of every message returns.
    const auto handleOneEnd = [] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        MSG m;
        while (!PeekMessageW(&m, nullptr, WM_APP, WM_APP, PM_REMOVE) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(m.message, static_cast<UINT>(WM_APP));
        DispatchMessageW(&m);
    };
    // 50 -> (50 - 100) * 40 = -2000 hundredths of a decibel: a tenth.
    PutDword(kValueSoundVolume, 50);
    Select(*saver_, 0, nullptr);
    saver_->RestoreDeviceResources();
    EXPECT_EQ(g_SoundVolume, 50);
    PutDword(kValueMuteSound, 1);
    handleOneEnd();  // the first ended: the second starts muted
    EXPECT_EQ(g_MuteSound, 1);
    PutDword(kValueMuteSound, 0);
    PutDword(kValueSoundVolume, 100);
    handleOneEnd();  // the first again, at full volume
    const auto runs = PumpUntil(3);
    EXPECT_TRUE(Near(runs, {0.05f, 0.0f, 0.5f})) << Show(runs);
}

TEST_F(PlaylistTest, AfterADeviceResetNothingPlays) {
    backend.sounds = {Sound("a.wav", 0.1f), Sound("b.wav", 0.2f)};
    PlayUntil(1);
    Select(*saver_, 0, nullptr);
    saver_->LoseDeviceResources();
    EXPECT_FALSE(AudioGraphExists());
    saver_->RestoreDeviceResources();  // asks for the next sound: none plays
    Mixed::Get().Clear();
    DrainMessagesFor(100);
    EXPECT_TRUE(Mixed::Get().Runs().empty()) << Show(Mixed::Get().Runs());
    EXPECT_EQ(saver_->errorMode, 0);
}

TEST_F(PlaylistTest, ADocumentWithoutSoundsNeverMovesThePlaylist) {
    backend.sounds = {};
    Select(*saver_, 0, nullptr);
    saver_->RestoreDeviceResources();
    saver_->OnMediaEvent(EC_COMPLETE);
    DrainMessagesFor(50);
    EXPECT_EQ(saver_->screens[0].playlistPosition, 0u);
    EXPECT_TRUE(Mixed::Get().Runs().empty());
}

TEST_F(PlaylistTest, OnlyEndOfSoundAdvances) {
    backend.sounds = {Sound("a.wav", 0.1f), Sound("b.wav", 0.2f), Sound("c.wav", 0.3f)};
    tessaloom::dshow::test::SetFastClock(false);  // keep the first sound playing
    ReleaseAudioGraph();
    ASSERT_EQ(InitAudioGraph(saver_->mainWindow), 1);
    Select(*saver_, 0, nullptr);
    saver_->RestoreDeviceResources();
    EXPECT_EQ(saver_->screens[0].playlistPosition, 1u);
    saver_->CSceneSaver::OnMediaEvent(3);  // not EC_COMPLETE
    EXPECT_EQ(saver_->screens[0].playlistPosition, 1u);
    saver_->CSceneSaver::OnMediaEvent(EC_COMPLETE);
    EXPECT_EQ(saver_->screens[0].playlistPosition, 2u);
    // Without a current record an event does nothing.
    CSceneSaver fresh;
    fresh.OnMediaEvent(EC_COMPLETE);
    EXPECT_EQ(fresh.currentScreen, nullptr);
}

}  // namespace

namespace {

// The application in the real frame loop: the framework selects each unit
// before its hooks, and the scene sees that unit's device and manager.
class SceneSaverInTheLoop : public SceneSaverTest {
protected:
    void SetUp() override {
        SceneSaverTest::SetUp();
        tessaloom::test::SetFakeDisplays({});
        SetCommandLine(u"saver /s");
    }
    void TearDown() override {
        ReleaseAudioGraph();
        SceneSaverTest::TearDown();
    }
};

TEST_F(SceneSaverInTheLoop, EveryHookRunsWithItsUnitsGlobals) {
    CSceneSaver saver;
    saver.Create(nullptr);
    ASSERT_FALSE(saver.errorMode) << std::hex << saver.errorCode;
    ASSERT_EQ(saver.Initialize3D(), 0);
    ASSERT_FALSE(saver.errorMode) << std::hex << saver.errorCode;
    ASSERT_GE(saver.renderUnitCount, 1u);
    const uint32_t units = saver.renderUnitCount;
    EXPECT_EQ(backend.loads, static_cast<int>(units));  // one document per screen

    saver.Render3D();
    for (uint32_t i = 0; i < units; ++i) {
        FakeRoot* root = backend.roots.at(i);
        EXPECT_EQ(saver.screens[i].root.get(), root);
        EXPECT_EQ(root->renders, 1) << "unit " << i;
        EXPECT_EQ(root->deviceAtRender, saver.renderUnits[i].device) << "unit " << i;
        EXPECT_EQ(root->frameTimes.size(), 1u);
    }
    // Between frames the last unit is current: its record takes the music events.
    EXPECT_EQ(saver.currentScreen, &saver.screens[units - 1]);
    EXPECT_EQ(backend.manager, saver.screens[units - 1].resourceManager);
    EXPECT_EQ(backend.viewUnit, static_cast<int>(units - 1));

    // A device reset of the first unit: its scene is restored, not reloaded,
    // and the music graph is gone for good.
    EXPECT_TRUE(AudioGraphExists());
    backend.log.clear();
    tessaloom::d3d9::LoseDevice(saver.renderUnits[0].device, 0);
    saver.Render3D();
    EXPECT_EQ(backend.loads, static_cast<int>(units));
    EXPECT_EQ(backend.log, (std::vector<std::string>{"invalidate", "restore"}));
    EXPECT_FALSE(AudioGraphExists());
    EXPECT_FALSE(saver.errorMode);

    backend.log.clear();
    saver.Cleanup3D();
    std::vector<std::string> expected;
    for (uint32_t i = 0; i < units; ++i) {
        expected.push_back("invalidate");
        expected.push_back("release view " + std::to_string(i));
    }
    EXPECT_EQ(backend.log, expected);
}

}  // namespace
