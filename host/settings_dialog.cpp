// The settings dialog of the Config mode (picture position, the display and
// sound settings dialogs, the web link) and the sound settings dialog.
#include <string>

#include "host/browser_link.h"
#include "host/registry_settings.h"
#include "host/scene_saver.h"
#include "platform/win32/windows.h"
#include "resources/resource.h"

const WCHAR kWebLink[] =
    u"https://velcrest.example/?utm_source=screensaver&utm_medium=website&utm_campaign=customer_content"
    u"&utm_nooverride=1";

namespace {

// The picture-position entries in the order of the setting's values.
const WCHAR* const kPicturePositions[] = {u"Stretch", u"Fit", u"Fill"};
constexpr DWORD kFill = 2;

const WCHAR kLinkNotOpened[] =
    u"The web site could not be opened: no program that opens web links could be started on this computer.\n\n"
    u"Its address is ";

// The sound dialog's own copies, separate from those the playing reads.
DWORD g_dialogSoundVolume = 100;
DWORD g_dialogMuteSound = 0;

}  // namespace

namespace tessaloom::host {
void ResetSoundDialogValues() {
    g_dialogSoundVolume = 100;
    g_dialogMuteSound = 0;
}
}  // namespace tessaloom::host

INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return g_sceneSaver ? g_sceneSaver->HandleSettingsMessage(wParam, dialog, message) : 0;
}

INT_PTR SoundSettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_saver ? g_saver->SoundDialogProc(dialog, message, wParam, lParam) : 0;
}

void CSceneSaver::ShowConfigDialog() {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), parentWindow, SettingsDialogProc, 0);
}

INT_PTR CSceneSaver::HandleSettingsMessage(WPARAM wParam, HWND dialog, UINT message) {
    switch (message) {
        case WM_INITDIALOG: {
            // Nothing is written here: what is stored for a monitor changes
            // only on OK, so opening and cancelling leaves the settings of
            // adapters not present now as they were.
            SetWindowTextW(dialog, windowTitle);
            for (const WCHAR* entry : kPicturePositions)
                SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
            SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_SETCURSEL, LoadPicturePosition(), 0);
            return 1;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: {
                    const LRESULT entry = SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_GETCURSEL, 0, 0);
                    const DWORD chosen =
                        entry >= 0 && entry <= static_cast<LRESULT>(kFill) ? static_cast<DWORD>(entry) : kFill;
                    // The entry the stored value opened on keeps that value as stored.
                    SavePicturePosition(chosen == LoadPicturePosition() ? StoredPicturePosition() : chosen);
                    SaveAppSettings(*this);
                    EndDialog(dialog, IDOK);
                    break;
                }
                case IDCANCEL:
                    // The display dialog's changes are read back from what is stored.
                    LoadAppSettings(*this);
                    EndDialog(dialog, IDCANCEL);
                    break;
                case IDC_DISPLAY_SETTINGS:
                    ShowDisplaySettingsDialog(dialog);
                    break;
                case IDC_SOUND_SETTINGS:
                    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SOUND_SETTINGS), dialog, SoundSettingsDialogProc, 0);
                    break;
                case IDC_WEBSITE:
                    // Clicking a link that opens nothing must not look like a
                    // click that was not taken.
                    if (!OpenLinkInBrowser(kWebLink)) {
                        const std::u16string text = std::u16string(kLinkNotOpened) + kWebLink;
                        MessageBoxW(dialog, text.c_str(), windowTitle, MB_OK | MB_ICONEXCLAMATION);
                    }
                    break;
                default:
                    break;
            }
            return 1;
        default:
            return 0;
    }
}

INT_PTR CSceneSaver::SoundDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            ReadRegistryDword(&g_dialogSoundVolume, kValueSoundVolume);
            ReadRegistryDword(&g_dialogMuteSound, kValueMuteSound);
            // The top of the vertical trackbar (position 0) is full volume.
            SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_SETTICFREQ, 10, 0);
            SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
            SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_SETPOS, TRUE,
                                100 - static_cast<LPARAM>(EffectiveSoundVolume(g_dialogSoundVolume)));
            CheckDlgButton(dialog, IDC_MUTE, g_dialogMuteSound != 0 ? BST_CHECKED : BST_UNCHECKED);
            return 1;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: {
                    // A control left where the stored value put it keeps that value as stored.
                    const LRESULT position = SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_GETPOS, 0, 0);
                    const DWORD volume = static_cast<DWORD>(100 - position);
                    SaveSoundVolume(volume == EffectiveSoundVolume(g_dialogSoundVolume) ? g_dialogSoundVolume : volume);
                    const DWORD mute = SendDlgItemMessageW(dialog, IDC_MUTE, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
                    SaveMuteSound(mute == (g_dialogMuteSound != 0 ? 1u : 0u) ? g_dialogMuteSound : mute);
                    EndDialog(dialog, IDOK);
                    break;
                }
                case IDCANCEL:
                    EndDialog(dialog, IDCANCEL);
                    break;
                default:
                    break;
            }
            return 1;
        default:
            return 0;
    }
}
