#include "host/scene_saver.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "host/audio_graph.h"
#include "document/doc_loader.h"
#include "document/res_device.h"
#include "document/res_manager.h"
#include "host/registry_settings.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/strings.h"

namespace {

SceneBackend* g_backend = nullptr;
IDirect3DDevice9* g_resourceDevice = nullptr;

// "Could not load required media."
constexpr HRESULT kMediaLoadFailed = static_cast<HRESULT>(0x8200000B);
constexpr UINT kTitleString = 1000;

// A value that is not stored keeps the last one read (100 and 0 at start).
void ReadSoundSettings() {
    DWORD volume = static_cast<DWORD>(g_SoundVolume);
    DWORD mute = static_cast<DWORD>(g_MuteSound);
    ReadRegistryDword(&volume, kValueSoundVolume);
    ReadRegistryDword(&mute, kValueMuteSound);
    g_SoundVolume = static_cast<int>(volume);
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

DocumentSceneBackend::DocumentSceneBackend() { SetResCurrentDeviceGetter(&DocumentSceneBackend::DeviceForResources); }

DocumentSceneBackend::~DocumentSceneBackend() {
    SetResCurrentDeviceGetter(nullptr);
    g_resourceDevice = nullptr;
}

std::unique_ptr<ScreenSceneRoot> DocumentSceneBackend::LoadSceneDocument() {
    std::unique_ptr<DS_IOF_Item> root(::LoadSceneDocument());
    // Each screen's manager lives until the process ends; the list keeps the
    // ones no longer current in reach.
    static auto* const kept = new std::vector<DS_DocResManager*>();
    kept->push_back(GetCurrentDocResManager());
    if (!root) throw std::runtime_error("the scene document gave no root");
    return WrapRoot(root.release());
}

std::unique_ptr<ScreenSceneRoot> DocumentSceneBackend::WrapRoot(DS_IOF_Item* root) {
    delete root;
    std::fprintf(stderr, "tessaloom: the scene code is not linked in; a loaded scene cannot be shown\n");
    throw std::runtime_error("no scene root wrapper");
}

DS_DocResManager* DocumentSceneBackend::CurrentResourceManager() { return GetCurrentDocResManager(); }

void DocumentSceneBackend::SetCurrentResourceManager(DS_DocResManager* manager) {
    SetCurrentDocResManager(manager);
}

void DocumentSceneBackend::SetCurrentDevice(IDirect3DDevice9* device) { g_resourceDevice = device; }

void DocumentSceneBackend::SetCurrentViewState(int) {
    // Views are the scene code's; until it overrides this there are none to switch.
}

void DocumentSceneBackend::ReleaseUnitDeviceObjects(int) {}

IDirect3DDevice9* DocumentSceneBackend::DeviceForResources() { return g_resourceDevice; }

// --- CScreenScene --------------------------------------------------------------

CScreenScene::~CScreenScene() = default;

void CScreenScene::FrameMove(float time) {
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
    // The control classes the dialogs use are registered by the dialog
    // stand-in itself; there is nothing to initialise for them here.
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
    try {
        currentScreen->LoadOrRestore();
    } catch (...) {
        SetErrorMode(kMediaLoadFailed);
    }
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
