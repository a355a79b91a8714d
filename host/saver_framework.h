// CSaverFramework: the screen saver's host framework.  It reads the run mode
// from the command line, finds the monitors, opens the saver windows, starts
// Direct3D, runs the mode and ends the saver on user input.  The application
// derives from it and fills in the hooks.
#pragma once

#include <exception>

#include "document/load_error.h"
#include "document/result_codes.h"
#include "host/saver_records.h"
#include "platform/win32/windows.h"

// Writes "tessaloom: <hook>: <kind><text>" to stderr: why a hook of the
// scene failed.
void ReportSceneFailure(const char* hook, const char* kind, const char* text);

class CSaverFramework {
public:
    CSaverFramework();
    virtual ~CSaverFramework();

    // Virtual operations, in their fixed order.
    virtual HRESULT Create(HINSTANCE instance);  // always 0; failures set the error mode
    // 0, or kExitNoSaverWindow when a saver mode failed before any of its
    // windows existed (the error is then written to stderr).
    virtual HRESULT Run();
    // The settings dialog of the Config mode; the application provides it.
    virtual void ShowConfigDialog() = 0;
    virtual void LoadSettings() {}
    virtual void PaintErrorBox(HWND window, HDC dc);
    virtual LRESULT HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual INT_PTR SoundDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
    virtual void BuildDeviceStatsText();
    virtual void UpdateFpsText();
    // False only when the generic text was chosen.
    virtual bool GetErrorText(HRESULT code, WCHAR* buffer, int capacity);
    virtual void OnRenderUnitSelected(int) {}
    virtual HRESULT PrepareDeviceEnumeration() { return S_OK; }
    virtual HRESULT AcceptDevice(const D3DCAPS9&, DWORD, D3DFORMAT) { return S_OK; }
    virtual HRESULT AcceptCreatedDevice(IDirect3DDevice9*) { return S_OK; }
    virtual HRESULT InitScene() { return S_OK; }
    virtual HRESULT CreateDeviceResources() { return S_OK; }
    virtual HRESULT RestoreDeviceResources() { return S_OK; }
    virtual HRESULT FrameMove() { return S_OK; }
    virtual HRESULT Render() { return S_OK; }
    virtual HRESULT LoseDeviceResources() { return S_OK; }
    virtual HRESULT DestroyDeviceResources() { return S_OK; }
    virtual HRESULT ShutdownScene() { return S_OK; }
    virtual void OnMediaEvent(LONG) {}

    // The run mode of a command line (program name first); sets the parent window.
    SaverRunMode ParseCommandLine(const WCHAR* commandLine);
    void EnumerateMonitors();
    HRESULT CreateSaverWindows();
    void InterruptSaver();
    void ShutdownSaver();
    void ChangePassword();
    // The per-monitor settings and the reverse-order flag under an open key.
    void LoadScreenSettings(HKEY key);
    void SaveScreenSettings(HKEY key);

    // The display settings dialog: 200 with at most one adapter, else 201
    // with a tab per monitor record.  Returns the dialog's result.
    INT_PTR ShowDisplaySettingsDialog(HWND owner);
    // 1 for WM_INITDIALOG, WM_COMMAND and WM_NOTIFY, 0 otherwise.
    INT_PTR HandleDisplaySettingsMessage(WPARAM wParam, HWND dialog, UINT message, LPARAM lParam);
    // Fills the page of the selected monitor.
    void UpdateMonitorPage(HWND dialog);

    // Frame loop (the message loop of the saver modes) and the device work.
    HRESULT RunSaverLoop();
    HRESULT EnumerateDevices();
    HRESULT Initialize3D();
    HRESULT Render3D();
    void Cleanup3D();
    void SelectRenderUnit(uint32_t unit);
    bool FindDepthStencilFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT* format);
    HRESULT CheckWindowedDevice(DisplayModeRecord* candidate, int32_t adapter);
    bool FindBestAdapter(int32_t* adapter);
    HRESULT CreateFullscreenRenderUnit(RenderUnitRecord& unit);
    HRESULT CreateWindowedRenderUnit(RenderUnitRecord& unit);
    void AnimateErrorBox();
    HRESULT ShowError(HRESULT code);  // returns the code

    void SetErrorMode(HRESULT code) {
        errorMode = 1;
        errorCode = code;
    }
    // Calls a hook of the application; the scene behind it reports its
    // failures as exceptions.  One that leaves the hook is written to stderr
    // (a load error says what it found damaged and where) and sets the error
    // mode with kMediaLoadFailed, which is then the result.
    template <typename Hook>
    HRESULT CallSceneHook(const char* hook, Hook&& call) {
        try {
            return call();
        } catch (const DS_LoadError& e) {
            ReportSceneFailure(hook, "the scene document is damaged: ", e.what());
        } catch (const std::exception& e) {
            ReportSceneFailure(hook, "", e.what());
        } catch (...) {
            // The scene throws nothing else; this is the last resort.
            ReportSceneFailure(hook, "", "an exception of unknown type");
        }
        SetErrorMode(kMediaLoadFailed);
        return kMediaLoadFailed;
    }

    // State.
    SaverRunMode runMode = Config;
    int32_t reverseOrder = 0;  // "AllScreensSame"
    HWND mainWindow = nullptr;
    HWND parentWindow = nullptr;
    HINSTANCE instance = nullptr;
    int32_t previewWait = 0;
    uint32_t mouseMoveCount = 0;
    int32_t windowed = 0;
    int32_t errorMode = 0;
    HRESULT errorCode = 0;
    WCHAR errorText[400] = {};
    ScreenRecord monitors[kMaxMonitors] = {};
    uint32_t monitorCount = 0;
    RenderUnitRecord renderUnits[kMaxRenderUnits] = {};
    uint32_t renderUnitCount = 0;
    AdapterRecord* adapters[kMaxAdapters] = {};
    uint32_t adapterCount = 0;
    IDirect3D9* direct3D = nullptr;
    IDirect3DDevice9* currentDevice = nullptr;
    RECT totalRect = {};
    WCHAR windowTitle[200] = {};
    int32_t useDepthBuffer = 0;
    WCHAR registryKeyPath[200] = {};
    uint32_t minDepthBits = 16;
    uint32_t minStencilBits = 0;
    uint32_t fullScreenSwapEffect = 1;  // D3DSWAPEFFECT_DISCARD
    uint32_t windowedSwapEffect = 3;    // D3DSWAPEFFECT_COPY
    double appTime = 0.0;  // seconds since the frame loop started
    float framesPerSecond = 0.0f;
    WCHAR deviceStatsText[90] = {};
    WCHAR frameStatsText[40] = {};

    // Window creation and device creation can send messages synchronously;
    // an interrupt that arrives then is kept and carried out once the
    // building is done, so nothing is torn down under the code building it.
    bool buildingWindowsOrUnits = false;
    bool endPending = false;
    bool endPendingClearsFlag = false;
    bool endPendingHides = false;

private:
    void EndSaver(bool clearRunningFlag, bool hideWindows);
    void HideSaverWindows();
    void RunPendingEnd();
    // Releases the Direct3D object and the adapter records.
    void ReleaseDirect3D();
    bool PreviewSettle();
    bool HasCompatibleAdapter() const;
    // The monitor record the display dialog shows: in dialog 201 the tab
    // that `tabQuery` (TCM_GETCURFOCUS or TCM_GETCURSEL) names, in dialog 200
    // the first record with an adapter; -1 for none.
    int32_t DisplayDialogMonitor(HWND dialog, UINT tabQuery) const;
    AdapterRecord* AdapterOfMonitor(int32_t monitor) const;
    void ShowDisplayHelp(HWND dialog);
    // Whether any saver window of the mode exists.
    bool HasSaverWindow() const;
};

// Posted to the main window when the console or the session ends the process
// (SIGINT, SIGHUP, SIGTERM); wParam is the control event.  In the saver modes
// it ends the saver as a key ends the full-screen one.
constexpr UINT kEndSaverMessage = WM_APP + 1;

// The exit status of a saver mode that could not make any of its windows.
constexpr HRESULT kExitNoSaverWindow = 1;

// The one saver object of the process (set by the constructor).
extern CSaverFramework* g_saver;

LRESULT SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedures of the display and sound settings dialogs: they pass the
// messages to the saver object.
INT_PTR DisplaySettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR SoundSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The Direct3D object (the Direct3D stand-in supplies the real one).
IDirect3D9* CreateDirect3DObject();
