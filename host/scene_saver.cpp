#include "host/scene_saver.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "document/doc_loader.h"
#include "document/res_manager.h"
#include "document/result_codes.h"
#include "document/sound_item.h"
#include "host/audio_graph.h"
#include "host/registry_settings.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/strings.h"
#include "scene/current_device.h"
#include "scene/slide_show.h"
#include "scene/view_2d.h"

namespace {

SceneBackend* g_backend = nullptr;

constexpr UINT kTitleString = 1000;

// A value that is not stored keeps the last one read (100 and 0 at start).
void ReadSoundSettings() {
    DWORD volume = static_cast<DWORD>(g_SoundVolume);
    DWORD mute = static_cast<DWORD>(g_MuteSound);
    ReadRegistryDword(&volume, kValueSoundVolume);
    ReadRegistryDword(&mute, kValueMuteSound);
    g_SoundVolume = static_cast<int>(EffectiveSoundVolume(volume));
    g_MuteSound = static_cast<int>(mute);
}

}  // namespace

int g_MuteSound = 0;
CSceneSaver* g_sceneSaver = nullptr;

SceneBackend* SetSceneBackend(SceneBackend* backend) {
    SceneBackend* previous = g_backend;
    g_backend = backend;
    return previous;
}

SceneBackend* GetSceneBackend() { return g_backend; }

// --- DocumentSceneBackend ---------------------------------------------------

namespace {

// Roots and managers live until the process ends; these lists keep the ones
// no record or global names any more in reach.
template <class T>
void KeepForTheProcess(T* object) {
    static auto* const kept = new std::vector<T*>();
    kept->push_back(object);
}

class SlideShowRoot final : public ScreenSceneRoot {
public:
    explicit SlideShowRoot(DS_SlideShow_Light* root) : root_(root) { KeepForTheProcess(root); }
    void InitSlides() override {
        for (auto& slide : root_->slides)
            if (slide) slide->Init();
    }
    void ExtractSounds() override {
        // A failed write is not reported: that sound fails to play later.
        for (auto& item : root_->sounds)
            if (auto* sound = dynamic_cast<DS_AudioFile*>(item.Get())) sound->ExtractToTemp();
    }
    void SetPicturePosition(int mode) override { root_->SetPicturePosition(mode); }
    int FrameMove(double time) override { return root_->FrameMove(time); }
    int Render() override { return root_->Render(); }
    int InvalidateDeviceObjects() override { return root_->InvalidateDeviceObjects(); }
    int RestoreDeviceObjects() override { return root_->RestoreDeviceObjects(); }
    size_t SoundCount() const override { return root_->sounds.size(); }
    std::u16string SoundPath(size_t index) const override {
        auto* sound = dynamic_cast<DS_AudioFile*>(root_->sounds.at(index).Get());
        return sound ? sound->GetPath() : std::u16string();  // an empty path fails to play
    }

private:
    DS_SlideShow_Light* root_;
};

}  // namespace

DocumentSceneBackend::DocumentSceneBackend() : views_(new DS_ViewState[CSceneSaver::kScreenRecords]) {}

DocumentSceneBackend::~DocumentSceneBackend() {
    DS_SetCurrentViewState(nullptr);
    for (int i = 0; i < CSceneSaver::kScreenRecords; ++i) views_[i].ReleaseDeviceObjects();
}

std::unique_ptr<ScreenSceneRoot> DocumentSceneBackend::LoadSceneDocument() {
    std::unique_ptr<DS_IOF_Item> root(::LoadSceneDocument());
    KeepForTheProcess(GetCurrentDocResManager());
    if (!root) throw std::runtime_error("the scene document gave no root");
    return WrapRoot(root.release());
}

std::unique_ptr<ScreenSceneRoot> DocumentSceneBackend::WrapRoot(DS_IOF_Item* root) {
    auto* slideShow = dynamic_cast<DS_SlideShow_Light*>(root);
    if (!slideShow) {
        delete root;
        std::fprintf(stderr, "tessaloom: the scene document's root is not a slide show\n");
        throw std::runtime_error("the root is not a slide show");
    }
    return std::make_unique<SlideShowRoot>(slideShow);
}

DS_DocResManager* DocumentSceneBackend::CurrentResourceManager() { return GetCurrentDocResManager(); }

void DocumentSceneBackend::SetCurrentResourceManager(DS_DocResManager* manager) {
    SetCurrentDocResManager(manager);
}

void DocumentSceneBackend::SetCurrentDevice(IDirect3DDevice9* device) { CurrentDevice = device; }

void DocumentSceneBackend::SetCurrentViewState(int unit) {
    if (unit >= 0 && unit < CSceneSaver::kScreenRecords) DS_SetCurrentViewState(&views_[unit]);
}

void DocumentSceneBackend::ReleaseUnitDeviceObjects(int unit) {
    if (unit >= 0 && unit < CSceneSaver::kScreenRecords) views_[unit].ReleaseDeviceObjects();
}

// --- CScreenScene --------------------------------------------------------------

CScreenScene::~CScreenScene() = default;

void CScreenScene::FrameMove(double time) {
    if (root) root->FrameMove(time);
}

void CScreenScene::LoadOrRestore() {
    if (!root) {
        SceneBackend* backend = GetSceneBackend();
        if (!backend) {
            std::fprintf(stderr, "tessaloom: no scene backend is installed; the scene cannot be loaded\n");
            throw std::runtime_error("no scene backend");
        }
        root = backend->LoadSceneDocument();
        if (!root) throw std::runtime_error("the scene document gave no root");
        root->InitSlides();
        resourceManager = backend->CurrentResourceManager();
        root->ExtractSounds();
        root->SetPicturePosition(static_cast<int>(LoadPicturePosition()));
        playlistPosition = 0;
    } else {
        root->RestoreDeviceObjects();
    }
    PlayNextSound();
}

void CScreenScene::OnMediaEvent(LONG code) {
    if (code == EC_COMPLETE) PlayNextSound();
}

void CScreenScene::PlayNextSound() {
    if (!root) return;
    const size_t count = root->SoundCount();
    if (count == 0) return;
    if (playlistPosition >= count) playlistPosition = 0;
    // A file that cannot be played does not silence the rest of the list:
    // the next one is tried, once around the list at most.  Without a graph
    // nothing can play, and one request moves the position by one.
    const size_t attempts = AudioGraphExists() ? count : 1;
    for (size_t i = 0; i < attempts; ++i) {
        // The settings are read before the sound starts, so that none of it
        // plays at the level of the one before; they are applied again once
        // it plays, for a renderer the fall-back way of playing made anew.
        ReadSoundSettings();
        SetAudioVolume(g_MuteSound != 0);
        const bool played = PlayAudioFile(root->SoundPath(playlistPosition));
        if (played) SetAudioVolume(g_MuteSound != 0);
        ++playlistPosition;
        if (playlistPosition >= count) playlistPosition = 0;
        if (played) break;
    }
}

// --- CSceneSaver ---------------------------------------------------------------

CSceneSaver::CSceneSaver() {
    g_sceneSaver = this;
    // The settings dialogs use the tab control and the trackbar.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    lstrcpynW(registryKeyPath, kSaverRegistryKey, 200);
    lstrcpynW(g_registryKeyPath, kSaverRegistryKey, 200);
    WCHAR title[200] = {};
    if (LoadStringW(nullptr, kTitleString, title, 200) > 0) lstrcpynW(windowTitle, title, 200);
    useDepthBuffer = 1;
}

CSceneSaver::~CSceneSaver() {
    if (g_sceneSaver == this) g_sceneSaver = nullptr;
}

void CSceneSaver::LoadSettings() { LoadAppSettings(*this); }

void CSceneSaver::OnRenderUnitSelected(int unit) {
    if (unit < 0 || unit >= kScreenRecords) return;
    CScreenScene& screen = screens[unit];
    currentScreen = &screen;
    currentUnit = unit;
    SceneBackend* backend = GetSceneBackend();
    if (!backend) return;
    backend->SetCurrentDevice(currentDevice);
    backend->SetCurrentViewState(unit);
    if (screen.resourceManager) backend->SetCurrentResourceManager(screen.resourceManager);
}

HRESULT CSceneSaver::AcceptDevice(const D3DCAPS9& caps, DWORD, D3DFORMAT format) {
    if ((caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP) == 0) return E_FAIL;
    if (!direct3D) return E_FAIL;
    if (FAILED(direct3D->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, format, 0, D3DRTYPE_TEXTURE,
                                           D3DFMT_V8U8)))
        return E_FAIL;
    return S_OK;
}

HRESULT CSceneSaver::RestoreDeviceResources() {
    if (!currentScreen) return S_OK;
    // A failure sets the error mode; the unit still counts as restored.
    CallSceneHook("loading the scene", [this] {
        currentScreen->LoadOrRestore();
        return S_OK;
    });
    return S_OK;
}

HRESULT CSceneSaver::Render() {
    if (!currentScreen) return S_OK;
    currentScreen->FrameMove(appTime);
    if (!currentDevice) return S_OK;
    if (SUCCEEDED(currentDevice->BeginScene())) {
        if (currentScreen->root) currentScreen->root->Render();
        currentDevice->EndScene();
    }
    return S_OK;
}

HRESULT CSceneSaver::LoseDeviceResources() {
    // The music stops at the first device loss and is not built again.
    ReleaseAudioGraph();
    if (currentScreen && currentScreen->root) currentScreen->root->InvalidateDeviceObjects();
    return S_OK;
}

HRESULT CSceneSaver::DestroyDeviceResources() {
    SceneBackend* backend = GetSceneBackend();
    if (backend && currentUnit >= 0) backend->ReleaseUnitDeviceObjects(currentUnit);
    return S_OK;
}

void CSceneSaver::OnMediaEvent(LONG code) {
    if (currentScreen) currentScreen->OnMediaEvent(code);
}
