// The framework's tables: monitors (ScreenRecord), adapters and render units.
// The adapter and render-unit records hold what the framework and the
// settings use so far; the device work completes them.
#pragma once

#include "platform/com/guid.h"
#include "platform/d3d9/d3d9types.h"
#include "platform/win32/types.h"

struct IDirect3D9;
struct IDirect3DDevice9;
struct D3DCAPS9;

enum SaverRunMode : int32_t {
    Config = 0,
    Preview = 1,
    FullScreen = 2,
    TestWindow = 3,
    ChangePassword = 4,
    NoAction = 5,
};

constexpr int kMaxMonitors = 9;
constexpr int kMaxRenderUnits = 9;
constexpr int kMaxAdapters = 9;

// One display device found at start-up.
struct ScreenRecord {
    WCHAR adapterDescription[128];
    WCHAR monitorDescription[128];
    HMONITOR monitor;  // null when the device is not part of the desktop
    RECT monitorRect;  // virtual-screen coordinates
    int32_t adapterIndex;  // the Direct3D adapter driving it, -1 when none
    HWND window;           // the saver window on this monitor
    // The error box: position, size, velocity in pixels per second.
    float errorX, errorY, errorWidth, errorHeight, errorVelocityX, errorVelocityY;
};

// One Direct3D adapter.
struct AdapterRecord {
    int32_t monitorIndex;
    GUID deviceIdentifier;  // of the adapter identifier
    int32_t hasHardware;
    int32_t compatibleHardware;
    int32_t hasSoftware;
    int32_t compatibleSoftware;
    // Stored full-screen mode; 0, 0, 0 = automatic.
    DWORD storedWidth;
    DWORD storedHeight;
    DWORD storedFormat;  // D3DFORMAT
    int32_t leaveBlack;
    int32_t disableHardware;
    int32_t currentDevice;
    HWND deviceWindow;
};

// One Direct3D device in use.
struct RenderUnitRecord {
    int32_t adapterIndex;
    int32_t monitorIndex;
    IDirect3DDevice9* device;
    int32_t objectsCreated;
    int32_t objectsRestored;
    WCHAR deviceText[90];
    WCHAR rateText[40];
};
