#include "host/registry_settings.h"

#include <cstring>

#include "host/saver_framework.h"
#include "platform/win32/strings.h"

const WCHAR kSaverRegistryKey[] = u"Software\\Velcrest\\Tessaloom Maker\\Screensaver\\";
WCHAR g_registryKeyPath[200] = {};

const WCHAR kValueAllScreensSame[] = u"AllScreensSame";
const WCHAR kValuePicturePosition[] = u"\"PicPos\"";
const WCHAR kValueSoundVolume[] = u"\"SoundVolume\"";
const WCHAR kValueMuteSound[] = u"\"MuteSound\"";

namespace {

const WCHAR kLeaveBlack[] = u"Leave Black";
const WCHAR kDisableHardware[] = u"Disable Hardware";
const WCHAR kWidth[] = u"Width";
const WCHAR kHeight[] = u"Height";
const WCHAR kFormat[] = u"Format";
const WCHAR kAdapterId[] = u"Adapter ID";

constexpr DWORD kDefaultPicturePosition = 2;  // Fill
constexpr DWORD kLastPicturePosition = 2;
constexpr DWORD kFullVolume = 100;

DWORD g_picturePosition = kDefaultPicturePosition;  // as stored
bool g_picturePositionRead = false;

bool OpenKey(HKEY parent, const WCHAR* path, HKEY* key) {
    return RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key, nullptr) ==
           ERROR_SUCCESS;
}

// Takes a value only when it has exactly the expected type and size: the
// query alone would fill part of the target from a shorter value.
bool ReadExact(HKEY key, const WCHAR* name, DWORD expectedType, void* target, DWORD expectedSize) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != expectedType || size != expectedSize) return false;
    BYTE buffer[16];
    size = expectedSize;
    if (RegQueryValueExW(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS || size != expectedSize) return false;
    std::memcpy(target, buffer, expectedSize);
    return true;
}

template <typename T>
void ReadDword(HKEY key, const WCHAR* name, T* target) {
    static_assert(sizeof(T) == 4);
    ReadExact(key, name, REG_DWORD, target, 4);
}

template <typename T>
void WriteDword(HKEY key, const WCHAR* name, T value) {
    static_assert(sizeof(T) == 4);
    DWORD d;
    std::memcpy(&d, &value, 4);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
}

void ScreenKeyName(WCHAR* name, size_t capacity, uint32_t monitorIndex) {
    swprintf(name, capacity, u"Screen %d", static_cast<int>(monitorIndex + 1));
}

void WriteSingleDword(const WCHAR* name, DWORD value) {
    HKEY key;
    if (!OpenKey(HKEY_CURRENT_USER, g_registryKeyPath, &key)) return;
    WriteDword(key, name, value);
    RegCloseKey(key);
}

}  // namespace

void CSaverFramework::LoadScreenSettings(HKEY key) {
    ReadDword(key, kValueAllScreensSame, &reverseOrder);
    for (uint32_t i = 0; i < monitorCount; ++i) {
        int32_t a = monitors[i].adapterIndex;
        if (a < 0 || a >= kMaxAdapters || !adapters[a]) continue;
        AdapterRecord& adapter = *adapters[a];
        WCHAR name[32];
        ScreenKeyName(name, 32, i);
        HKEY screen;
        if (!OpenKey(key, name, &screen)) continue;
        GUID stored = GUID_NULL;
        ReadExact(screen, kAdapterId, REG_BINARY, &stored, sizeof stored);
        ReadDword(screen, kLeaveBlack, &adapter.leaveBlack);
        // Settings saved for another adapter apply only their leave-black flag.
        if (stored == adapter.deviceIdentifier || stored == GUID_NULL) {
            ReadDword(screen, kDisableHardware, &adapter.disableHardware);
            ReadDword(screen, kWidth, &adapter.storedWidth);
            ReadDword(screen, kHeight, &adapter.storedHeight);
            ReadDword(screen, kFormat, &adapter.storedFormat);
        }
        RegCloseKey(screen);
    }
}

void CSaverFramework::SaveScreenSettings(HKEY key) {
    WriteDword(key, kValueAllScreensSame, reverseOrder);
    for (uint32_t i = 0; i < monitorCount; ++i) {
        int32_t a = monitors[i].adapterIndex;
        if (a < 0 || a >= kMaxAdapters || !adapters[a]) continue;
        const AdapterRecord& adapter = *adapters[a];
        WCHAR name[32];
        ScreenKeyName(name, 32, i);
        HKEY screen;
        if (!OpenKey(key, name, &screen)) continue;
        WriteDword(screen, kLeaveBlack, adapter.leaveBlack);
        WriteDword(screen, kDisableHardware, adapter.disableHardware);
        WriteDword(screen, kWidth, adapter.storedWidth);
        WriteDword(screen, kHeight, adapter.storedHeight);
        WriteDword(screen, kFormat, adapter.storedFormat);
        RegSetValueExW(screen, kAdapterId, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&adapter.deviceIdentifier),
                       sizeof(GUID));
        RegCloseKey(screen);
    }
}

HRESULT LoadAppSettings(CSaverFramework& saver) {
    HKEY key;
    if (OpenKey(HKEY_CURRENT_USER, saver.registryKeyPath, &key)) {
        saver.LoadScreenSettings(key);
        RegCloseKey(key);
    }
    return 0;
}

HRESULT SaveAppSettings(CSaverFramework& saver) {
    HKEY key;
    if (OpenKey(HKEY_CURRENT_USER, saver.registryKeyPath, &key)) {
        saver.SaveScreenSettings(key);
        RegCloseKey(key);
    }
    return 0;
}

void ReadRegistryDword(DWORD* target, const WCHAR* name) {
    HKEY key;
    if (!OpenKey(HKEY_CURRENT_USER, g_registryKeyPath, &key)) return;
    ReadDword(key, name, target);
    RegCloseKey(key);
}

void SaveSoundVolume(DWORD value) { WriteSingleDword(kValueSoundVolume, value); }
void SaveMuteSound(DWORD value) { WriteSingleDword(kValueMuteSound, value); }
void WritePicturePosition(DWORD value) { WriteSingleDword(kValuePicturePosition, value); }

DWORD StoredPicturePosition() {
    if (!g_picturePositionRead) {
        g_picturePosition = kDefaultPicturePosition;
        ReadRegistryDword(&g_picturePosition, kValuePicturePosition);
        g_picturePositionRead = true;
    }
    return g_picturePosition;
}

DWORD LoadPicturePosition() {
    const DWORD stored = StoredPicturePosition();
    return stored <= kLastPicturePosition ? stored : kDefaultPicturePosition;
}

DWORD EffectiveSoundVolume(DWORD stored) { return stored <= kFullVolume ? stored : kFullVolume; }

DWORD SavePicturePosition(DWORD value) {
    g_picturePositionRead = true;
    g_picturePosition = value;
    WritePicturePosition(value);
    return value;
}

namespace tessaloom::host {
void ResetPicturePositionCache() {
    g_picturePositionRead = false;
    g_picturePosition = 2;
}
}  // namespace tessaloom::host
