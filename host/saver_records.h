// The framework's tables: monitors (ScreenRecord), adapters and render units.
// The adapter and render-unit records hold what the framework and the
// settings use so far; the device work completes them.
#pragma once

#include "platform/com/guid.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/types.h"

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
constexpr int kMaxDevicesPerAdapter = 3;
constexpr int kMaxModesPerDevice = 150;

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

// One usable full-screen mode of a device type.
struct DisplayModeRecord {
    UINT width;
    UINT height;
    D3DFORMAT format;
    DWORD behaviorFlags;  // for CreateDevice
    D3DFORMAT depthStencilFormat;
};

// One device type of an adapter.
struct DeviceRecord {
    D3DDEVTYPE type;
    D3DCAPS9 caps;
    const WCHAR* name;  // "HAL" or "SW"
    int32_t canDoWindowed;
    uint32_t modeCount;
    DisplayModeRecord modes[kMaxModesPerDevice];
    uint32_t currentMode;
};

// One Direct3D adapter.
struct AdapterRecord {
    int32_t monitorIndex;
    GUID deviceIdentifier;  // identifier.DeviceIdentifier, as the settings store it
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
    // From the enumeration (kept last so that the settings' records can be
    // written field by field without them).
    D3DADAPTER_IDENTIFIER9 identifier = {};
    D3DDISPLAYMODE desktopMode = {};  // read at enumeration and before a windowed reset
    uint32_t deviceCount = 0;
    DeviceRecord devices[kMaxDevicesPerAdapter] = {};
};

// One Direct3D device in use.
struct RenderUnitRecord {
    int32_t adapterIndex;
    int32_t monitorIndex;
    D3DDEVTYPE deviceType;
    DWORD behaviorFlags;
    IDirect3DDevice9* device;  // owned
    D3DPRESENT_PARAMETERS presentParams;  // kept for Reset
    int32_t objectsCreated;
    int32_t objectsRestored;
    WCHAR deviceText[90];
    WCHAR rateText[40];
};
