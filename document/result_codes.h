// The saver's own result codes, 0x82000001 to 0x8200000F: each has one name
// here.  The host reports them (the error box shows the text the string
// table gives each one, 2100 for a code it does not list); a failed scene
// document load carries kMediaLoadFailed.
#pragma once

#include "platform/win32/types.h"

// "Direct3D 8.0 could not be initialized." (text 2101): Direct3DCreate9 failed.
constexpr HRESULT kDirect3DNotInitialized = static_cast<HRESULT>(0x82000001u);
// "Could not find any compatible Direct3D devices." (2104): no adapter has a
// device the saver accepts.
constexpr HRESULT kNoCompatibleDevices = static_cast<HRESULT>(0x82000003u);
// "No hardware-accelerated Direct3D devices were found." (2105): an adapter
// has no device type the unit can use; becomes kCouldNotCreateDevice or
// kNoPreview when the unit is made.
constexpr HRESULT kNoUsableDeviceType = static_cast<HRESULT>(0x82000005u);
// "... functionality that is not available on your Direct3D hardware
// accelerator." (2106); not produced.
constexpr HRESULT kHardwareLacksFunctionality = static_cast<HRESULT>(0x82000006u);
// "Could not initialize the screen saver." (2102); not produced.
constexpr HRESULT kSaverNotInitialized = static_cast<HRESULT>(0x82000007u);
// "... not available on your Direct3D hardware accelerator with the current
// desktop display settings." (2107); not produced.
constexpr HRESULT kModeLacksFunctionality = static_cast<HRESULT>(0x82000009u);
// "Could not load required media." (2108): the scene could not be loaded or
// restored.
constexpr HRESULT kMediaLoadFailed = static_cast<HRESULT>(0x8200000Bu);
// "Could not reset the Direct3D device." (2109); not produced.
constexpr HRESULT kCouldNotResetDevice = static_cast<HRESULT>(0x8200000Cu);
// The application's device-object hooks failed; no text of its own (2100).
constexpr HRESULT kDeviceObjectsFailed = static_cast<HRESULT>(0x8200000Du);
// "Could not create the Direct3D device." (2103): a render unit could not be made.
constexpr HRESULT kCouldNotCreateDevice = static_cast<HRESULT>(0x8200000Eu);
// "No preview available" (2112): the preview's windowed device could not be made.
constexpr HRESULT kNoPreview = static_cast<HRESULT>(0x8200000Fu);
