// CSceneSaver: the application on top of the saver framework.  It keeps one
// CScreenScene record per render unit; each record loads its own copy of the
// embedded scene at its unit's first restore, drives the scene root every
// frame and walks the scene's sound playlist.  Whenever the framework makes a
// render unit current, the application switches the current record, the
// current Direct3D device, the current resource manager and the unit's own
// 2D view state together.
//
// The scene side is reached through SceneBackend, so that the application
// does not depend on how the scene root, the resource manager and the device
// globals are built.  The process installs the backend once at start-up;
// without one, loading a scene fails (and says so) and the saver shows its
// error box.
#pragma once

#include <memory>
#include <string>

#include "host/saver_framework.h"

class DS_DocResManager;
class DS_IOF_Item;
struct DS_ViewState;

// One loaded scene root, as the application drives it.  Failures of the
// scene engine leave these operations as exceptions.
class ScreenSceneRoot {
public:
    virtual ~ScreenSceneRoot() = default;
    // DS_SlideContainer::Init of every slide, in order.
    virtual void InitSlides() = 0;
    // DS_AudioFile::ExtractToTemp of every sound item, in order.
    virtual void ExtractSounds() = 0;
    virtual void SetPicturePosition(int mode) = 0;
    virtual int FrameMove(double time) = 0;
    virtual int Render() = 0;
    virtual int InvalidateDeviceObjects() = 0;
    virtual int RestoreDeviceObjects() = 0;
    // The root's list of sound items: how many, and the file each plays.
    virtual size_t SoundCount() const = 0;
    virtual std::u16string SoundPath(size_t index) const = 0;
};

// The process-wide scene state the application switches per unit, and the
// document loader.
class SceneBackend {
public:
    virtual ~SceneBackend() = default;
    // Reads the embedded document anew: a new root and a new resource
    // manager, which the load makes current.  Throws on any failure.
    virtual std::unique_ptr<ScreenSceneRoot> LoadSceneDocument() = 0;
    virtual DS_DocResManager* CurrentResourceManager() = 0;
    virtual void SetCurrentResourceManager(DS_DocResManager* manager) = 0;
    virtual void SetCurrentDevice(IDirect3DDevice9* device) = 0;
    // Makes render unit `unit`'s own 2D view and screen mapping current.
    virtual void SetCurrentViewState(int unit) = 0;
    // Before unit `unit`'s device is released: what the unit's own view
    // state holds on that device.
    virtual void ReleaseUnitDeviceObjects(int unit) = 0;
};

// The backend of the saver: the embedded document read by the document
// loader into a DS_SlideShow_Light, the document side's current resource
// manager, the scene's CurrentDevice (on which the document side also makes
// its textures) and one 2D view state per render unit.
class DocumentSceneBackend : public SceneBackend {
public:
    DocumentSceneBackend();
    ~DocumentSceneBackend() override;
    std::unique_ptr<ScreenSceneRoot> LoadSceneDocument() override;
    DS_DocResManager* CurrentResourceManager() override;
    void SetCurrentResourceManager(DS_DocResManager* manager) override;
    void SetCurrentDevice(IDirect3DDevice9* device) override;
    void SetCurrentViewState(int unit) override;
    void ReleaseUnitDeviceObjects(int unit) override;

    // The root the loader made, handed over: a DS_SlideShow_Light, which
    // is kept until the process ends.  Anything else fails the load.
    virtual std::unique_ptr<ScreenSceneRoot> WrapRoot(DS_IOF_Item* root);

private:
    std::unique_ptr<DS_ViewState[]> views_;
};

// The backend the application uses; null until one is installed.  Returns
// the previous one.  The backend is not owned.
SceneBackend* SetSceneBackend(SceneBackend* backend);
SceneBackend* GetSceneBackend();

// The last sound settings read from the registry ("MuteSound"; the volume is
// g_SoundVolume of the music graph).
extern int g_MuteSound;

class CScreenScene {
public:
    CScreenScene() = default;
    // The root and the manager are kept until the process ends; the record
    // frees nothing of the scene side.
    ~CScreenScene();
    CScreenScene(const CScreenScene&) = delete;
    CScreenScene& operator=(const CScreenScene&) = delete;

    void FrameMove(double time);
    // The first call loads the scene, later calls restore it; every call
    // then plays the next sound of the playlist.
    void LoadOrRestore();
    // EC_COMPLETE plays the next sound; every other code is ignored.
    void OnMediaEvent(LONG code);
    // Plays the sound at the playlist position with the volume and mute read
    // again, and moves the position on (back to the first at the end).
    void PlayNextSound();

    std::unique_ptr<ScreenSceneRoot> root;  // null until the first restore
    DS_DocResManager* resourceManager = nullptr;
    size_t playlistPosition = 0;
};

class CSceneSaver : public CSaverFramework {
public:
    static constexpr int kScreenRecords = 10;

    CSceneSaver();
    ~CSceneSaver() override;

    void LoadSettings() override;
    // The settings dialog (106), owned by the parent window the command line
    // named (none when it named none).
    void ShowConfigDialog() override;
    // The sound settings dialog (2214): 1 for WM_INITDIALOG and WM_COMMAND.
    INT_PTR SoundDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The settings dialog: 1 for WM_INITDIALOG and WM_COMMAND, 0 otherwise.
    INT_PTR HandleSettingsMessage(WPARAM wParam, HWND dialog, UINT message);
    void OnRenderUnitSelected(int unit) override;
    HRESULT AcceptDevice(const D3DCAPS9& caps, DWORD behaviorFlags, D3DFORMAT format) override;
    HRESULT RestoreDeviceResources() override;
    HRESULT Render() override;
    HRESULT LoseDeviceResources() override;
    // The unit's view state lets go of its device's buffers.
    HRESULT DestroyDeviceResources() override;
    void OnMediaEvent(LONG code) override;

    CScreenScene screens[kScreenRecords];
    CScreenScene* currentScreen = nullptr;
    int currentUnit = -1;
};

// The application object of the process (set by the constructor).
extern CSceneSaver* g_sceneSaver;

// The settings dialog's procedure: passes the messages to the application.
INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The maker's home page with the campaign query, opened by the settings
// dialog's Website button.
extern const WCHAR kWebLink[];

namespace tessaloom::host {
// The sound dialog's own copies of the volume and mute values, back to 100
// and 0 (tests model a new process with it).
void ResetSoundDialogValues();
}  // namespace tessaloom::host
