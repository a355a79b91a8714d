// The display settings dialog: per monitor, what its adapter can do, whether
// hardware rendering is turned off, whether the monitor stays black and which
// full-screen mode it uses.  It edits the adapter records and the
// reverse-order flag in memory; Cancel puts back what they held when it
// opened.
#include <memory>
#include <vector>

#include "host/saver_framework.h"
#include "platform/win32/strings.h"
#include "platform/win32/windows.h"
#include "resources/resource.h"

namespace {

// The adapter records and the reverse-order flag as the open dialog found
// them; empty while no display dialog is open.
struct DisplaySnapshot {
    std::vector<std::pair<AdapterRecord*, std::unique_ptr<AdapterRecord>>> adapters;
    int32_t reverseOrder = 0;
};
std::unique_ptr<DisplaySnapshot> g_displaySnapshot;

void TakeSnapshot(CSaverFramework& saver) {
    auto snapshot = std::make_unique<DisplaySnapshot>();
    for (uint32_t i = 0; i < saver.adapterCount && i < kMaxAdapters; ++i)
        if (AdapterRecord* a = saver.adapters[i]) snapshot->adapters.emplace_back(a, std::make_unique<AdapterRecord>(*a));
    snapshot->reverseOrder = saver.reverseOrder;
    g_displaySnapshot = std::move(snapshot);
}

void RestoreSnapshot(CSaverFramework& saver) {
    if (!g_displaySnapshot) return;
    for (auto& [record, copy] : g_displaySnapshot->adapters) *record = *copy;
    saver.reverseOrder = g_displaySnapshot->reverseOrder;
}

const DeviceRecord* CurrentDeviceOf(const AdapterRecord& adapter) {
    if (adapter.currentDevice < 0 || static_cast<uint32_t>(adapter.currentDevice) >= adapter.deviceCount ||
        adapter.currentDevice >= kMaxDevicesPerAdapter)
        return nullptr;
    return &adapter.devices[adapter.currentDevice];
}

int BitsOf(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R8G8B8 ? 32 : 16;
}

bool CanShowSaver(const AdapterRecord& a) {
    return (a.hasHardware && a.compatibleHardware && !a.disableHardware) || a.compatibleSoftware;
}

// Help text by the software means: compatible, present but not compatible,
// absent.
UINT BySoftware(const AdapterRecord& a, UINT compatible, UINT lacking, UINT none) {
    if (a.compatibleSoftware) return compatible;
    return a.hasSoftware ? lacking : none;
}

void EnableItem(HWND dialog, int id, bool enable) {
    if (HWND item = GetDlgItem(dialog, id)) EnableWindow(item, enable ? TRUE : FALSE);
}

void EnableModeControls(HWND dialog, bool enable) {
    for (int id : {IDC_MODE_LIST, IDC_MODE_LABEL, IDC_MODE_GROUP, IDC_MODE_NOTE}) EnableItem(dialog, id, enable);
}

}  // namespace

INT_PTR DisplaySettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_saver ? g_saver->HandleDisplaySettingsMessage(wParam, dialog, message, lParam) : 0;
}

INT_PTR CSaverFramework::ShowDisplaySettingsDialog(HWND owner) {
    const int templateId = adapterCount <= 1 ? IDD_DISPLAY_SINGLE : IDD_DISPLAY_MULTI;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, DisplaySettingsDialogProc, 0);
}

int32_t CSaverFramework::DisplayDialogMonitor(HWND dialog, UINT tabQuery) const {
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(monitorCount, kMaxMonitors));
    if (HWND tabs = GetDlgItem(dialog, IDC_MONITOR_TABS)) {
        const LRESULT tab = SendMessageW(tabs, tabQuery, 0, 0);
        return tab >= 0 && tab < count ? static_cast<int32_t>(tab) : -1;
    }
    // One page: the first monitor record driven by an adapter; record 0 may
    // be a display device outside the desktop.
    for (int32_t i = 0; i < count; ++i)
        if (AdapterOfMonitor(i)) return i;
    return count > 0 ? 0 : -1;
}

AdapterRecord* CSaverFramework::AdapterOfMonitor(int32_t monitor) const {
    if (monitor < 0 || monitor >= kMaxMonitors || static_cast<uint32_t>(monitor) >= monitorCount) return nullptr;
    const int32_t a = monitors[monitor].adapterIndex;
    if (a < 0 || a >= kMaxAdapters || static_cast<uint32_t>(a) >= adapterCount) return nullptr;
    return adapters[a];
}

void CSaverFramework::UpdateMonitorPage(HWND dialog) {
    const int32_t monitor = DisplayDialogMonitor(dialog, TCM_GETCURFOCUS);
    AdapterRecord* adapter = AdapterOfMonitor(monitor);

    SetDlgItemTextW(dialog, IDC_ADAPTER_NAME, monitor >= 0 ? monitors[monitor].adapterDescription : u"");
    UINT status = IDS_STATUS_NONE;
    if (adapter && adapter->hasHardware && adapter->compatibleHardware && !adapter->disableHardware)
        status = IDS_STATUS_HARDWARE;
    else if (adapter && adapter->compatibleSoftware)
        status = IDS_STATUS_SOFTWARE;
    WCHAR text[512] = {};
    LoadStringW(nullptr, status, text, 512);
    SetDlgItemTextW(dialog, IDC_RENDERING_STATUS, text);

    if (adapter && adapter->hasHardware && adapter->compatibleHardware) {
        EnableItem(dialog, IDC_DISABLE_HARDWARE, true);
        CheckDlgButton(dialog, IDC_DISABLE_HARDWARE, adapter->disableHardware ? BST_CHECKED : BST_UNCHECKED);
    } else {
        EnableItem(dialog, IDC_DISABLE_HARDWARE, false);
        CheckDlgButton(dialog, IDC_DISABLE_HARDWARE, BST_UNCHECKED);
    }

    const bool canShow = adapter && CanShowSaver(*adapter);
    CheckRadioButton(dialog, IDC_SHOW_SAVER, IDC_SHOW_NOTHING,
                     canShow && !adapter->leaveBlack ? IDC_SHOW_SAVER : IDC_SHOW_NOTHING);
    for (int id : {IDC_SHOW_SAVER, IDC_SHOW_NOTHING, IDC_USAGE_GROUP}) EnableItem(dialog, id, canShow);
    EnableModeControls(dialog, IsDlgButtonChecked(dialog, IDC_SHOW_NOTHING) != BST_CHECKED);

    SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_RESETCONTENT, 0, 0);
    if (!adapter) return;
    GetDlgItemTextW(dialog, IDC_MODE_AUTOMATIC, text, 512);
    LRESULT entry = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_SETITEMDATA, static_cast<WPARAM>(entry), -1);
    LRESULT selected = 0;
    if (const DeviceRecord* device = CurrentDeviceOf(*adapter)) {
        WCHAR format[128] = {};
        GetDlgItemTextW(dialog, IDC_MODE_FORMAT, format, 128);
        const uint32_t modes = std::min<uint32_t>(device->modeCount, kMaxModesPerDevice);
        for (uint32_t m = 0; m < modes; ++m) {
            const DisplayModeRecord& mode = device->modes[m];
            swprintf(text, 512, format, static_cast<int>(mode.width), static_cast<int>(mode.height),
                     BitsOf(mode.format));
            entry = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_SETITEMDATA, static_cast<WPARAM>(entry),
                                static_cast<LPARAM>(m));
            if (mode.width == adapter->storedWidth && mode.height == adapter->storedHeight &&
                static_cast<DWORD>(mode.format) == adapter->storedFormat)
                selected = entry;
        }
    }
    SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CSaverFramework::ShowDisplayHelp(HWND dialog) {
    const int32_t monitor = DisplayDialogMonitor(dialog, TCM_GETCURSEL);
    const AdapterRecord* a = AdapterOfMonitor(monitor);
    UINT id = IDS_HELP_NO_HAL_NO_SOFTWARE;
    if (a && monitors[monitor].monitor) {
        if (!a->hasHardware)
            id = BySoftware(*a, IDS_HELP_NO_HAL_SOFTWARE, IDS_HELP_NO_HAL_SOFTWARE_LACKS, IDS_HELP_NO_HAL_NO_SOFTWARE);
        else if (a->disableHardware)
            id = BySoftware(*a, IDS_HELP_DISABLED_SOFTWARE, IDS_HELP_DISABLED_SOFTWARE_LACKS,
                            IDS_HELP_DISABLED_NO_SOFTWARE);
        else if (a->compatibleHardware)
            id = IDS_HELP_HAL;
        else
            id = BySoftware(*a, IDS_HELP_HAL_NEEDS_SOFTWARE, IDS_HELP_HAL_SOFTWARE_LACKS, IDS_HELP_HAL_NO_SOFTWARE);
    }
    WCHAR text[501] = {};
    LoadStringW(nullptr, id, text, 501);
    MessageBoxW(dialog, text, monitor >= 0 ? monitors[monitor].adapterDescription : u"", MB_ICONINFORMATION);
}

INT_PTR CSaverFramework::HandleDisplaySettingsMessage(WPARAM wParam, HWND dialog, UINT message, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            WCHAR format[64] = {};
            GetDlgItemTextW(dialog, IDC_MONITOR_TAB_FORMAT, format, 64);
            if (HWND tabs = GetDlgItem(dialog, IDC_MONITOR_TABS)) {
                for (uint32_t i = 0; i < monitorCount && i < kMaxMonitors; ++i) {
                    WCHAR label[80] = {};
                    swprintf(label, 80, format, static_cast<int>(i + 1));
                    TCITEMW item{};
                    item.mask = TCIF_TEXT | TCIF_IMAGE;
                    item.pszText = label;
                    item.iImage = -1;
                    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
                }
            }
            TakeSnapshot(*this);
            UpdateMonitorPage(dialog);
            if (reverseOrder) CheckDlgButton(dialog, IDC_REVERSE_ORDER, BST_CHECKED);
            return 1;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            AdapterRecord* adapter = AdapterOfMonitor(DisplayDialogMonitor(dialog, TCM_GETCURSEL));
            switch (id) {
                case IDC_RENDERING_HELP:
                    ShowDisplayHelp(dialog);
                    break;
                case IDC_DISABLE_HARDWARE:
                    if (adapter) adapter->disableHardware = IsDlgButtonChecked(dialog, IDC_DISABLE_HARDWARE) == BST_CHECKED;
                    UpdateMonitorPage(dialog);
                    break;
                case IDC_SHOW_SAVER:
                case IDC_SHOW_NOTHING: {
                    const bool black = IsDlgButtonChecked(dialog, IDC_SHOW_NOTHING) == BST_CHECKED;
                    if (adapter) adapter->leaveBlack = black;
                    EnableModeControls(dialog, !black);
                    break;
                }
                case IDC_MODE_LIST: {
                    if (HIWORD(wParam) != CBN_SELCHANGE || !adapter) break;
                    const LRESULT entry = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETCURSEL, 0, 0);
                    const LRESULT data = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETITEMDATA,
                                                             static_cast<WPARAM>(entry), 0);
                    const DeviceRecord* device = CurrentDeviceOf(*adapter);
                    if (entry <= 0 || !device || data < 0 || static_cast<uint32_t>(data) >= device->modeCount ||
                        data >= kMaxModesPerDevice) {
                        adapter->storedWidth = adapter->storedHeight = adapter->storedFormat = 0;
                    } else {
                        const DisplayModeRecord& mode = device->modes[data];
                        adapter->storedWidth = mode.width;
                        adapter->storedHeight = mode.height;
                        adapter->storedFormat = static_cast<DWORD>(mode.format);
                    }
                    break;
                }
                case IDC_REVERSE_ORDER:
                    reverseOrder = IsDlgButtonChecked(dialog, IDC_REVERSE_ORDER) == BST_CHECKED;
                    break;
                case IDOK:
                    g_displaySnapshot.reset();
                    EndDialog(dialog, IDOK);
                    break;
                case IDCANCEL:
                    RestoreSnapshot(*this);
                    g_displaySnapshot.reset();
                    EndDialog(dialog, IDCANCEL);
                    break;
                default:
                    break;
            }
            return 1;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header && header->code == TCN_SELCHANGE) UpdateMonitorPage(dialog);
            return 1;
        }
        default:
            return 0;
    }
}
