// The saver's settings in the registry: the per-monitor display settings, the
// reverse-order flag, the picture position and the sound volume and mute.
#pragma once

#include "platform/win32/windows.h"

class CSaverFramework;

// "Software\Velcrest\Tessaloom Maker\Screensaver\" under HKEY_CURRENT_USER.
extern const WCHAR kSaverRegistryKey[];
// The key path of the single-value operations (set by the application).
extern WCHAR g_registryKeyPath[200];

// Value names.  The last three hold double quotes as part of the name.
extern const WCHAR kValueAllScreensSame[];
extern const WCHAR kValuePicturePosition[];  // "PicPos" with its quotes
extern const WCHAR kValueSoundVolume[];
extern const WCHAR kValueMuteSound[];

HRESULT LoadAppSettings(CSaverFramework& saver);
HRESULT SaveAppSettings(CSaverFramework& saver);

// Reads a 4-byte REG_DWORD into the target; a missing value, or one of
// another type or size, leaves it as it is.
void ReadRegistryDword(DWORD* target, const WCHAR* name);
void SaveSoundVolume(DWORD value);
void SaveMuteSound(DWORD value);
void WritePicturePosition(DWORD value);
// Cached after the first read: default 2 (Fill).
DWORD LoadPicturePosition();
DWORD SavePicturePosition(DWORD value);

namespace tessaloom::host {
// Forgets the cached picture position (tests model a new process with it).
void ResetPicturePositionCache();
}  // namespace tessaloom::host
