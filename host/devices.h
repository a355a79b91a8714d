// Adapters, device types and full-screen modes: the helpers of the device
// work that stand outside the framework class.
#pragma once

#include "host/saver_records.h"

// The sort order of candidate modes: width ascending, then height ascending,
// then the larger D3DFORMAT value first.  Negative, zero or positive.
int CompareDisplayModes(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b);

// Moves the device's current mode to the largest mode with fewer pixels (the
// earliest on equal counts); false when there is none.
bool FindNextLowerMode(DeviceRecord& device);

// Result codes of the device work.
constexpr HRESULT kNoUsableDeviceType = static_cast<HRESULT>(0x82000005u);
constexpr HRESULT kDeviceObjectsFailed = static_cast<HRESULT>(0x8200000Du);
constexpr HRESULT kCouldNotCreateDevice = static_cast<HRESULT>(0x8200000Eu);
constexpr HRESULT kNoPreview = static_cast<HRESULT>(0x8200000Fu);
constexpr HRESULT kSceneException = static_cast<HRESULT>(0x8200000Bu);
