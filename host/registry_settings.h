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
// The picture position the saver lays out by and the settings dialog shows:
// 0 Stretch, 1 Fit, 2 Fill, from the stored value read once per process
// (default 2).  A stored value outside 0 to 2 means Fill.
DWORD LoadPicturePosition();
// The stored value itself, as read with LoadPicturePosition's one read,
// out of range or not (what a save that changes nothing writes back).
DWORD StoredPicturePosition();
DWORD SavePicturePosition(DWORD value);
// A stored "SoundVolume" as the music plays it and the sound dialog shows
// it: 0 to 100, a larger value at full volume.
DWORD EffectiveSoundVolume(DWORD stored);

namespace tessaloom::host {
// Forgets the cached picture position (tests model a new process with it).
void ResetPicturePositionCache();
}  // namespace tessaloom::host
