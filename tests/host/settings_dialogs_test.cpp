// The settings, display settings and sound settings dialogs, run from the
// saver's own templates on the headless dialog view: the controls each
// dialog opens with for a given registry and adapter table, what every
// command does to the adapter records and the registry, and the nesting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/registry_settings.h"
#include "host/scene_saver.h"
#include "platform/win32/dialog_hooks.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/strings.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/windows.h"
#include "resources/resource.h"
#include "tests/support/arg_record.h"
#include "tests/support/saver_resources.h"

namespace fs = std::filesystem;
using tessaloom::test::SetDialogDriver;

namespace {

const GUID kGuidA = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kGuidB = {0x99999999, 0x8888, 0x7777, {8, 7, 6, 5, 4, 3, 2, 1}};

const std::u16string kStatusHardware = u"The screen saver can use hardware 3D rendering on this monitor.";
const std::u16string kStatusSoftware = u"The screen saver can use software 3D rendering on this monitor.";
const std::u16string kStatusNone = u"The screen saver cannot be displayed on this monitor.";

struct Capability {
    bool hal, compatibleHal, software, compatibleSoftware;
};
constexpr Capability kFullHardware{true, true, true, false};

std::u16string ItemText(HWND dialog, int id) {
    WCHAR text[600] = {};
    GetDlgItemTextW(dialog, id, text, 600);
    return text;
}

bool Enabled(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    EXPECT_NE(item, nullptr) << "control " << id;
    return item && IsWindowEnabled(item);
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// What the display dialog's page shows.
struct Page {
    std::u16string name, status;
    bool disableEnabled = false, disableChecked = false;
    std::vector<std::u16string> modes;
    std::vector<LPARAM> data;
    LRESULT selection = -2;
    bool modeListEnabled = false;
};

Page ReadPage(HWND dialog) {
    Page p;
    p.name = ItemText(dialog, IDC_ADAPTER_NAME);
    p.status = ItemText(dialog, IDC_RENDERING_STATUS);
    p.disableEnabled = Enabled(dialog, IDC_DISABLE_HARDWARE);
    p.disableChecked = Checked(dialog, IDC_DISABLE_HARDWARE);
    const LRESULT count = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[100] = {};
        SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        p.modes.push_back(text);
        p.data.push_back(SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETITEMDATA, i, 0));
    }
    p.selection = SendDlgItemMessageW(dialog, IDC_MODE_LIST, CB_GETCURSEL, 0, 0);
    p.modeListEnabled = Enabled(dialog, IDC_MODE_LIST);
    return p;
}

// The value lines of the registry file.  Reading a setting opens its key
// with RegCreateKeyExW, which may add empty keys; values are what counts.
std::vector<std::string> StoredValues(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> values;
    for (std::string line; std::getline(in, line);)
        if (line.find('=') != std::string::npos) values.push_back(line);
    return values;
}
const std::vector<std::string> kNothing;

class SettingsDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessaloom-dialogs-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", dir_.c_str(), 1);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        tessaloom::host::ResetSoundDialogValues();
        tessaloom::test::SetHeadlessDialogs(true);
        tessaloom::test::SetHeadlessMessageBoxes(true);
        tessaloom::test::ShownMessageBoxes().clear();
        saver_ = std::make_unique<CSceneSaver>();
    }
    void TearDown() override {
        SetDialogDriver(nullptr);
        saver_.reset();
        fs::remove_all(dir_);
    }

    // A monitor record with an adapter (or none when `caps` is null); the
    // adapter's current device keeps `modes`.
    AdapterRecord* AddMonitor(const char16_t* description, const Capability* caps = &kFullHardware,
                              std::vector<DisplayModeRecord> modes = {}) {
        CSceneSaver& s = *saver_;
        ScreenRecord& m = s.monitors[s.monitorCount];
        m = ScreenRecord{};
        std::u16string d(description);
        std::copy(d.begin(), d.end(), m.adapterDescription);
        m.monitor = reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(s.monitorCount + 1));
        m.adapterIndex = -1;
        ++s.monitorCount;
        if (!caps) return nullptr;
        auto* a = new AdapterRecord{};  // the saver deletes its adapter records
        a->monitorIndex = static_cast<int32_t>(s.monitorCount - 1);
        a->deviceIdentifier = s.adapterCount == 0 ? kGuidA : kGuidB;
        a->hasHardware = caps->hal;
        a->compatibleHardware = caps->compatibleHal;
        a->hasSoftware = caps->software;
        a->compatibleSoftware = caps->compatibleSoftware;
        a->deviceCount = 1;
        a->devices[0].type = D3DDEVTYPE_HAL;
        a->devices[0].modeCount = static_cast<uint32_t>(modes.size());
        std::copy(modes.begin(), modes.end(), a->devices[0].modes);
        m.adapterIndex = static_cast<int32_t>(s.adapterCount);
        s.adapters[s.adapterCount++] = a;
        return a;
    }

    INT_PTR RunDisplayDialog(std::function<void(HWND)> act) {
        SetDialogDriver([act](HWND dialog, int) { act(dialog); });
        return saver_->ShowDisplaySettingsDialog(nullptr);
    }
    // The settings dialog opened, its sound button pressed and `act` run on the
    // sound dialog; the settings dialog is then cancelled.
    void RunSoundDialog(std::function<void(HWND)> act) {
        SetDialogDriver([act](HWND dialog, int id) {
            if (id == IDD_SETTINGS) {
                tessaloom::test::ClickDialogItem(dialog, IDC_SOUND_SETTINGS);
                tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
                return;
            }
            act(dialog);
        });
        saver_->ShowConfigDialog();
    }

    void PutDword(const char16_t* name, DWORD value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSaverRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // -1 when the value is not stored.
    static int64_t StoredDword(const char16_t* sub, const char16_t* name) {
        std::u16string path = kSaverRegistryKey;
        if (sub) path += sub;
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
        DWORD value = 0, size = 4, type = 0;
        LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return r == ERROR_SUCCESS ? static_cast<int64_t>(value) : -1;
    }
    std::vector<std::string> RegistryValues() const { return StoredValues(tessaloom::test::RegistryFilePath()); }

    std::string dir_;
    tessaloom::testing::ScopedExecutableResources table_{tessaloom::testing::SaverResourceEntries()};
    std::unique_ptr<CSceneSaver> saver_;
};

const std::vector<DisplayModeRecord> kModes = {
    {640, 480, D3DFMT_X8R8G8B8, 0, D3DFMT_D24S8},
    {800, 600, D3DFMT_R5G6B5, 0, D3DFMT_D16},
    {1024, 768, D3DFMT_A8R8G8B8, 0, D3DFMT_D24S8},
};

// --- the settings dialog ---------------------------------------------------------

TEST_F(SettingsDialogs, SettingsDialogOpensOnTheStoredPictureAndWritesNothingUntilOk) {
    AddMonitor(u"Adapter A");
    struct Case {
        int64_t stored;  // -1: nothing stored
        LRESULT shown;
        DWORD savedOnOk;
    };
    // A position outside 0-2 opens on Fill, and OK on Fill keeps it as stored.
    for (const Case& c : {Case{-1, 2, 2}, Case{0, 0, 0}, Case{1, 1, 1}, Case{7, 2, 7}}) {
        SCOPED_TRACE(c.stored);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        if (c.stored >= 0) PutDword(kValuePicturePosition, static_cast<DWORD>(c.stored));
        const std::vector<std::string> before = RegistryValues();
        std::vector<std::u16string> entries;
        LRESULT shown = -2;
        std::u16string caption;
        std::vector<std::string> duringOpen;
        SetDialogDriver([&](HWND dialog, int id) {
            ASSERT_EQ(id, IDD_SETTINGS);
            WCHAR text[200] = {};
            GetWindowTextW(dialog, text, 200);
            caption = text;
            for (LRESULT i = 0; i < SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_GETCOUNT, 0, 0); ++i) {
                WCHAR entry[40] = {};
                SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
                entries.push_back(entry);
            }
            shown = SendDlgItemMessageW(dialog, IDC_PICTURE_POSITION, CB_GETCURSEL, 0, 0);
            duringOpen = RegistryValues();
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        });
        saver_->ShowConfigDialog();
        EXPECT_EQ(caption, u"Tessaloom");
        EXPECT_EQ(entries, (std::vector<std::u16string>{u"Stretch", u"Fit", u"Fill"}));
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(duringOpen, before) << "opening the dialog wrote to the registry";
        EXPECT_EQ(StoredDword(nullptr, kValuePicturePosition), c.savedOnOk);
    }
}

TEST_F(SettingsDialogs, SettingsOkWritesPositionAndDisplaySettingsCancelWritesNothing) {
    AdapterRecord* a = AddMonitor(u"Adapter A", &kFullHardware, kModes);
    a->storedWidth = 800, a->storedHeight = 600, a->storedFormat = D3DFMT_R5G6B5;
    // Cancel, Esc and the close box: nothing written, not even on a fresh
    // account; the records are read back from the registry.
    for (int way = 0; way < 3; ++way) {
        SetDialogDriver([&](HWND dialog, int) {
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_PICTURE_POSITION, 0);
            if (way == 0) tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
            if (way == 1) tessaloom::test::PressDialogKey(dialog, VK_ESCAPE);
            if (way == 2) tessaloom::test::PressDialogCloseBox(dialog);
        });
        saver_->ShowConfigDialog();
        EXPECT_EQ(RegistryValues(), kNothing) << "way " << way;
    }
    // Enter presses the default button, OK.
    SetDialogDriver([&](HWND dialog, int) {
        tessaloom::test::ChooseDialogComboItem(dialog, IDC_PICTURE_POSITION, 1);
        tessaloom::test::PressDialogKey(dialog, VK_RETURN);
    });
    saver_->ShowConfigDialog();
    EXPECT_EQ(StoredDword(nullptr, kValuePicturePosition), 1);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Width"), 800);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Height"), 600);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Format"), D3DFMT_R5G6B5);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Leave Black"), 0);
}

TEST_F(SettingsDialogs, DisplayChangesReachTheRegistryOnlyThroughTheSettingsOk) {
    AdapterRecord* a = AddMonitor(u"Adapter A", &kFullHardware, kModes);
    // The display dialog's OK, then the settings dialog's Cancel or OK.
    int settingsButton = IDCANCEL;
    SetDialogDriver([&](HWND dialog, int id) {
        if (id == IDD_SETTINGS) {
            tessaloom::test::ClickDialogItem(dialog, IDC_DISPLAY_SETTINGS);
            tessaloom::test::ClickDialogItem(dialog, settingsButton);
        } else {
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 3);
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        }
    });
    saver_->ShowConfigDialog();
    EXPECT_EQ(RegistryValues(), kNothing);
    settingsButton = IDOK;
    saver_->ShowConfigDialog();
    EXPECT_EQ(a->storedWidth, 1024u);
    // Now 1024x768 is stored: 640x480 and hardware off kept by the display
    // dialog's OK, then the settings dialog's Cancel reads the stored values
    // back into the records.
    settingsButton = IDCANCEL;
    SetDialogDriver([&](HWND dialog, int id) {
        if (id == IDD_SETTINGS) {
            tessaloom::test::ClickDialogItem(dialog, IDC_DISPLAY_SETTINGS);
            EXPECT_EQ(a->storedWidth, 640u) << "the display dialog's OK keeps its changes";
            EXPECT_EQ(a->disableHardware, 1);
            tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
        } else {
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 1);
            tessaloom::test::ClickDialogItem(dialog, IDC_DISABLE_HARDWARE);
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        }
    });
    saver_->ShowConfigDialog();
    EXPECT_EQ(a->storedWidth, 1024u);
    EXPECT_EQ(a->storedHeight, 768u);
    EXPECT_EQ(a->storedFormat, static_cast<DWORD>(D3DFMT_A8R8G8B8));
    EXPECT_EQ(a->disableHardware, 0);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Width"), 1024);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Width"), 1024);
    EXPECT_EQ(StoredDword(u"Screen 1", u"Format"), D3DFMT_A8R8G8B8);
}

TEST_F(SettingsDialogs, NestedDialogsAreOwnedByTheSettingsDialogWhichWaitsDisabled) {
    AddMonitor(u"Adapter A");
    HWND settings = nullptr;
    std::vector<int> opened;
    bool ownedBySettings = true, settingsDisabled = true, clickIgnored = true;
    SetDialogDriver([&](HWND dialog, int id) {
        opened.push_back(id);
        if (id == IDD_SETTINGS) {
            settings = dialog;
            EXPECT_EQ(GetParent(dialog), nullptr);
            tessaloom::test::ClickDialogItem(dialog, IDC_DISPLAY_SETTINGS);
            tessaloom::test::ClickDialogItem(dialog, IDC_SOUND_SETTINGS);
            EXPECT_TRUE(IsWindowEnabled(dialog));
            tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
            return;
        }
        ownedBySettings = ownedBySettings && GetParent(dialog) == settings;
        settingsDisabled = settingsDisabled && !IsWindowEnabled(settings);
        // A click on the waiting owner does nothing.
        tessaloom::test::ClickDialogItem(settings, IDOK);
        clickIgnored = clickIgnored && tessaloom::test::IsDialogOpen(settings);
        tessaloom::test::PressDialogKey(dialog, VK_ESCAPE);
    });
    saver_->ShowConfigDialog();
    EXPECT_EQ(opened, (std::vector<int>{IDD_SETTINGS, IDD_DISPLAY_SINGLE, IDD_SOUND_SETTINGS}));
    EXPECT_TRUE(ownedBySettings);
    EXPECT_TRUE(settingsDisabled);
    EXPECT_TRUE(clickIgnored);
}

TEST_F(SettingsDialogs, WebsiteStartsTheBrowserWithTheLinkOrSaysItCannot) {
    AddMonitor(u"Adapter A");
    const std::string link =
        "https://velcrest.example/?utm_source=screensaver&utm_medium=website&utm_campaign=customer_content"
        "&utm_nooverride=1";
    HWND settings = nullptr;
    SetDialogDriver([&](HWND dialog, int) {
        settings = dialog;
        tessaloom::test::ClickDialogItem(dialog, IDC_WEBSITE);
        tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
    });
    {
        // The registry's browser command, `xdg-open "%1"`, reaches a recorder.
        tessaloom::test::RecorderOnPath onPath("xdg-open");
        const std::string record = tessaloom::test::ArmArgRecord("website");
        saver_->ShowConfigDialog();
        const auto started = tessaloom::test::WaitForArgRecord(record);
        ASSERT_TRUE(started.found) << "the Website button started nothing";
        EXPECT_EQ(started.args, (std::vector<std::string>{"xdg-open", link}));
        EXPECT_TRUE(tessaloom::test::ShownMessageBoxes().empty());
    }
    // No program on PATH opens links: the person is told, in a box of the
    // settings dialog, with the address.
    char empty[] = "/tmp/tessaloom-no-opener.XXXXXX";
    ASSERT_NE(mkdtemp(empty), nullptr);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", empty, 1);
    saver_->ShowConfigDialog();
    setenv("PATH", oldPath.c_str(), 1);
    rmdir(empty);
    ASSERT_EQ(tessaloom::test::ShownMessageBoxes().size(), 1u);
    const auto& box = tessaloom::test::ShownMessageBoxes()[0];
    EXPECT_EQ(box.owner, settings);
    EXPECT_TRUE(box.ownerDisabled);
    EXPECT_EQ(box.caption, u"Tessaloom");
    EXPECT_NE(tessaloom::Utf16ToUtf8(box.text).find("could not be opened"), std::string::npos);
    EXPECT_NE(tessaloom::Utf16ToUtf8(box.text).find(link), std::string::npos);
}

// --- the display settings dialog ------------------------------------------------

TEST_F(SettingsDialogs, SingleAdapterPageShowsTheFirstMonitorWithAnAdapter) {
    AddMonitor(u"Off-desktop device", nullptr);
    AdapterRecord* a = AddMonitor(u"Adapter A", &kFullHardware, kModes);
    a->storedWidth = 1024, a->storedHeight = 768, a->storedFormat = D3DFMT_A8R8G8B8;
    AddMonitor(u"Adapter A, second output", nullptr);
    int templateId = 0;
    Page page;
    SetDialogDriver([&](HWND dialog, int id) {
        templateId = id;
        page = ReadPage(dialog);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    EXPECT_EQ(saver_->ShowDisplaySettingsDialog(nullptr), IDOK);
    EXPECT_EQ(templateId, IDD_DISPLAY_SINGLE);
    EXPECT_EQ(page.name, u"Adapter A");
    EXPECT_EQ(page.status, kStatusHardware);
    EXPECT_TRUE(page.disableEnabled);
    EXPECT_FALSE(page.disableChecked);
    EXPECT_EQ(page.modes, (std::vector<std::u16string>{u"Automatic", u"640 by 480, 32 bit color",
                                                       u"800 by 600, 16 bit color", u"1024 by 768, 32 bit color"}));
    EXPECT_EQ(page.data, (std::vector<LPARAM>{-1, 0, 1, 2}));
    EXPECT_EQ(page.selection, 3);
    EXPECT_TRUE(page.modeListEnabled);
}

TEST_F(SettingsDialogs, PageFollowsTheAdaptersCapabilities) {
    struct Case {
        Capability caps;
        bool disabled, leaveBlack;
        std::u16string status;
        bool disableEnabled, disableChecked, canShow, nothingChecked;
    };
    const Case cases[] = {
        {{true, true, true, false}, false, false, kStatusHardware, true, false, true, false},
        {{true, true, true, false}, false, true, kStatusHardware, true, false, true, true},
        // Hardware turned off, no usable software device: nothing can show.
        {{true, true, true, false}, true, false, kStatusNone, true, true, false, true},
        {{true, true, true, true}, true, false, kStatusSoftware, true, true, true, false},
        {{true, false, true, true}, false, false, kStatusSoftware, false, false, true, false},
        {{false, false, false, false}, false, false, kStatusNone, false, false, false, true},
    };
    for (const Case& c : cases) {
        saver_ = std::make_unique<CSceneSaver>();
        AdapterRecord* a = AddMonitor(u"Adapter A", &c.caps, kModes);
        AddMonitor(u"Adapter B", &kFullHardware, kModes);
        a->disableHardware = c.disabled;
        a->leaveBlack = c.leaveBlack;
        Page page;
        bool saverChecked = false, radiosEnabled = false, groupEnabled = false;
        RunDisplayDialog([&](HWND dialog) {
            page = ReadPage(dialog);
            saverChecked = Checked(dialog, IDC_SHOW_SAVER);
            radiosEnabled = Enabled(dialog, IDC_SHOW_SAVER) && Enabled(dialog, IDC_SHOW_NOTHING);
            groupEnabled = Enabled(dialog, IDC_USAGE_GROUP);
            tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
        });
        SCOPED_TRACE(::testing::Message() << "hal " << c.caps.hal << " compatible " << c.caps.compatibleHal
                                          << " software " << c.caps.compatibleSoftware << " disabled " << c.disabled
                                          << " black " << c.leaveBlack);
        EXPECT_EQ(page.status, c.status);
        EXPECT_EQ(page.disableEnabled, c.disableEnabled);
        EXPECT_EQ(page.disableChecked, c.disableChecked);
        EXPECT_EQ(radiosEnabled, c.canShow);
        EXPECT_EQ(groupEnabled, c.canShow);
        EXPECT_EQ(saverChecked, !c.nothingChecked);
        EXPECT_EQ(page.modeListEnabled, !c.nothingChecked);
        EXPECT_EQ(a->leaveBlack, c.leaveBlack) << "filling the page changed the flag";
    }
}

TEST_F(SettingsDialogs, TabsAreLabelledPerMonitorAndSwitchingRefillsThePage) {
    AddMonitor(u"Adapter A", &kFullHardware, kModes);
    AddMonitor(u"No adapter here", nullptr);
    AdapterRecord* b = AddMonitor(u"Adapter B", &kFullHardware, {{1280, 1024, D3DFMT_X8R8G8B8, 0, D3DFMT_D24S8}});
    b->storedWidth = 1280, b->storedHeight = 1024, b->storedFormat = D3DFMT_X8R8G8B8;
    std::vector<std::u16string> labels;
    Page first, middle, third;
    int templateId = 0;
    SetDialogDriver([&](HWND dialog, int id) {
        templateId = id;
        HWND tabs = GetDlgItem(dialog, IDC_MONITOR_TABS);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
        first = ReadPage(dialog);
        tessaloom::test::ChooseDialogTab(dialog, IDC_MONITOR_TABS, 1);
        middle = ReadPage(dialog);
        tessaloom::test::ChooseDialogTab(dialog, IDC_MONITOR_TABS, 2);
        third = ReadPage(dialog);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    saver_->ShowDisplaySettingsDialog(nullptr);
    EXPECT_EQ(templateId, IDD_DISPLAY_MULTI);
    EXPECT_EQ(first.name, u"Adapter A");
    EXPECT_EQ(first.modes.size(), 4u);
    EXPECT_EQ(first.selection, 0) << "no stored mode: Automatic";
    // A record without an adapter: its name, nothing to show, an empty list.
    EXPECT_EQ(middle.name, u"No adapter here");
    EXPECT_EQ(middle.status, kStatusNone);
    EXPECT_TRUE(middle.modes.empty());
    EXPECT_FALSE(middle.disableEnabled);
    EXPECT_EQ(third.name, u"Adapter B");
    EXPECT_EQ(third.modes, (std::vector<std::u16string>{u"Automatic", u"1280 by 1024, 32 bit color"}));
    EXPECT_EQ(third.selection, 1);
}

// The saver's resource rows with the multi-monitor template's hidden tab
// format "Monitor %d" replaced by `format` (as long, so the template's layout
// stays as compiled).
std::vector<tessaloom::ResourceTableEntry> WithTabFormat(const std::u16string& format,
                                                        std::vector<uint8_t>& storage) {
    const std::u16string original = u"Monitor %d";
    EXPECT_EQ(format.size(), original.size());
    std::vector<tessaloom::ResourceTableEntry> rows = tessaloom::testing::SaverResourceEntries();
    for (auto& row : rows) {
        if (row.typeName || row.typeId != 5 || row.name || row.id != IDD_DISPLAY_MULTI) continue;  // RT_DIALOG
        const auto* bytes = static_cast<const uint8_t*>(row.data);
        storage.assign(bytes, bytes + row.size);
        const size_t n = original.size() * 2;
        bool replaced = false;
        for (size_t at = 0; at + n <= storage.size() && !replaced; at += 2)
            if (std::memcmp(&storage[at], original.data(), n) == 0) {
                std::memcpy(&storage[at], format.data(), n);
                replaced = true;
            }
        EXPECT_TRUE(replaced) << "the template holds no \"Monitor %d\"";
        row.data = storage.data();
    }
    return rows;
}

TEST_F(SettingsDialogs, TabLabelsComeFromTheHiddenFormat) {
    AddMonitor(u"Adapter A");
    AddMonitor(u"Adapter B");
    AddMonitor(u"No adapter", nullptr);
    struct Case {
        std::u16string format;
        std::vector<std::u16string> labels;
    };
    const Case cases[] = {
        {u"Monitor %d", {u"Monitor 1", u"Monitor 2", u"Monitor 3"}},
        // Another language's template: the labels follow it.
        {u"%d: Screen", {u"1: Screen", u"2: Screen", u"3: Screen"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tessaloom::Utf16ToUtf8(c.format));
        std::vector<uint8_t> storage;
        tessaloom::testing::ScopedExecutableResources table(WithTabFormat(c.format, storage));
        std::vector<std::u16string> labels;
        bool formatHidden = false;
        LRESULT selected = -2, focused = -2;
        RunDisplayDialog([&](HWND dialog) {
            formatHidden = !IsWindowVisible(GetDlgItem(dialog, IDC_MONITOR_TAB_FORMAT));
            HWND tabs = GetDlgItem(dialog, IDC_MONITOR_TABS);
            for (int i = 0; i < SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0); ++i) {
                WCHAR text[40] = {};
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text;
                item.cchTextMax = 40;
                SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
                labels.push_back(text);
            }
            selected = SendMessageW(tabs, TCM_GETCURSEL, 0, 0);
            focused = SendMessageW(tabs, TCM_GETCURFOCUS, 0, 0);
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        });
        EXPECT_TRUE(formatHidden);
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(selected, 0);
        EXPECT_EQ(focused, 0);
    }
}

TEST_F(SettingsDialogs, CommandsEditTheRecordsAndCancelRestoresEveryAdapter) {
    static const Capability kBoth{true, true, true, true};
    AdapterRecord* a = AddMonitor(u"Adapter A", &kBoth, kModes);
    AdapterRecord* b = AddMonitor(u"Adapter B", &kFullHardware, kModes);
    a->storedWidth = 640, a->storedHeight = 480, a->storedFormat = D3DFMT_X8R8G8B8;
    const AdapterRecord aBefore = *a, bBefore = *b;
    for (int finish : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(finish);
        *a = aBefore, *b = bBefore;
        saver_->reverseOrder = 0;
        Page afterDisable, afterBlack, afterShow;
        RunDisplayDialog([&](HWND dialog) {
            // Monitor 1: hardware off refills the page (software now).
            tessaloom::test::ClickDialogItem(dialog, IDC_DISABLE_HARDWARE);
            afterDisable = ReadPage(dialog);
            // Display nothing disables the mode controls without a refill.
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 2);
            tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_NOTHING);
            afterBlack = ReadPage(dialog);
            EXPECT_FALSE(Enabled(dialog, IDC_MODE_LABEL));
            EXPECT_FALSE(Enabled(dialog, IDC_MODE_NOTE));
            EXPECT_FALSE(Enabled(dialog, IDC_MODE_GROUP));
            tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_SAVER);
            afterShow = ReadPage(dialog);
            tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_NOTHING);
            // Monitor 2: Automatic clears the stored mode.
            tessaloom::test::ChooseDialogTab(dialog, IDC_MONITOR_TABS, 1);
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 3);
            tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 0);
            tessaloom::test::ClickDialogItem(dialog, IDC_REVERSE_ORDER);
            tessaloom::test::ClickDialogItem(dialog, finish);
        });
        EXPECT_EQ(afterDisable.status, kStatusSoftware);
        EXPECT_TRUE(afterDisable.disableChecked);
        EXPECT_FALSE(afterBlack.modeListEnabled);
        EXPECT_EQ(afterBlack.selection, 2) << "the page was refilled";
        EXPECT_TRUE(afterShow.modeListEnabled);
        if (finish == IDOK) {
            EXPECT_EQ(a->disableHardware, 1);
            EXPECT_EQ(a->leaveBlack, 1);
            EXPECT_EQ(a->storedWidth, 800u);
            EXPECT_EQ(a->storedHeight, 600u);
            EXPECT_EQ(a->storedFormat, static_cast<DWORD>(D3DFMT_R5G6B5));
            EXPECT_EQ(b->storedWidth, 0u);
            EXPECT_EQ(b->storedFormat, 0u);
            EXPECT_EQ(saver_->reverseOrder, 1);
        } else {
            EXPECT_EQ(a->disableHardware, 0);
            EXPECT_EQ(a->leaveBlack, 0);
            EXPECT_EQ(a->storedWidth, 640u);
            EXPECT_EQ(a->storedFormat, static_cast<DWORD>(D3DFMT_X8R8G8B8));
            EXPECT_EQ(b->storedWidth, 0u);
            EXPECT_EQ(saver_->reverseOrder, 0);
        }
    }
    EXPECT_EQ(RegistryValues(), kNothing) << "the display dialog writes nothing itself";
}

TEST_F(SettingsDialogs, HelpShowsTheTextForTheAdapterInAMessageBox) {
    struct Case {
        Capability caps;
        bool disabled;
        bool monitorHandle;
        UINT text;
    };
    const Case cases[] = {
        {{true, true, true, false}, false, true, IDS_HELP_HAL},
        {{true, false, true, true}, false, true, IDS_HELP_HAL_NEEDS_SOFTWARE},
        {{true, false, true, false}, false, true, IDS_HELP_HAL_SOFTWARE_LACKS},
        {{true, false, false, false}, false, true, IDS_HELP_HAL_NO_SOFTWARE},
        {{false, false, true, true}, false, true, IDS_HELP_NO_HAL_SOFTWARE},
        {{false, false, true, false}, true, true, IDS_HELP_NO_HAL_SOFTWARE_LACKS},
        {{false, false, false, false}, false, true, IDS_HELP_NO_HAL_NO_SOFTWARE},
        {{true, true, true, true}, true, true, IDS_HELP_DISABLED_SOFTWARE},
        {{true, false, true, false}, true, true, IDS_HELP_DISABLED_SOFTWARE_LACKS},
        {{true, true, false, false}, true, true, IDS_HELP_DISABLED_NO_SOFTWARE},
        {{true, true, true, true}, false, false, IDS_HELP_NO_HAL_NO_SOFTWARE},
    };
    for (const Case& c : cases) {
        saver_ = std::make_unique<CSceneSaver>();
        AdapterRecord* a = AddMonitor(u"Adapter A", &c.caps);
        a->disableHardware = c.disabled;
        if (!c.monitorHandle) saver_->monitors[0].monitor = nullptr;
        tessaloom::test::ShownMessageBoxes().clear();
        HWND display = nullptr;
        RunDisplayDialog([&](HWND dialog) {
            display = dialog;
            tessaloom::test::ClickDialogItem(dialog, IDC_RENDERING_HELP);
            EXPECT_TRUE(IsWindowEnabled(dialog)) << "the dialog stays disabled after the box";
            tessaloom::test::ClickDialogItem(dialog, IDOK);
        });
        WCHAR expected[600] = {};
        ASSERT_GT(LoadStringW(nullptr, c.text, expected, 600), 0);
        ASSERT_EQ(tessaloom::test::ShownMessageBoxes().size(), 1u) << c.text;
        const auto& box = tessaloom::test::ShownMessageBoxes()[0];
        EXPECT_EQ(box.text, std::u16string(expected)) << c.text;
        EXPECT_EQ(box.caption, u"Adapter A");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONINFORMATION));
        // The box belongs to the display dialog and keeps it waiting.
        EXPECT_EQ(box.owner, display);
        EXPECT_TRUE(box.ownerDisabled);
    }
}

TEST_F(SettingsDialogs, NoTabsAndNoAdapterAreGuarded) {
    // Two adapters but no monitor records: dialog 201 with no tabs.
    AddMonitor(u"Adapter A");
    AddMonitor(u"Adapter B");
    saver_->monitorCount = 0;
    Page page;
    RunDisplayDialog([&](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_MONITOR_TABS, TCM_GETCURSEL, 0, 0), -1);
        page = ReadPage(dialog);
        tessaloom::test::ClickDialogItem(dialog, IDC_DISABLE_HARDWARE);
        tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_NOTHING);
        tessaloom::test::ClickDialogItem(dialog, IDC_RENDERING_HELP);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    EXPECT_EQ(page.name, u"");
    EXPECT_EQ(page.status, kStatusNone);
    EXPECT_TRUE(page.modes.empty());
    EXPECT_EQ(saver_->adapters[0]->leaveBlack, 0);
    EXPECT_EQ(saver_->adapters[1]->leaveBlack, 0);
}

// --- the sound settings dialog ---------------------------------------------------

TEST_F(SettingsDialogs, SoundTrackbarIsUpsideDownVolume) {
    AddMonitor(u"Adapter A");
    PutDword(kValueSoundVolume, 30);
    PutDword(kValueMuteSound, 1);
    LRESULT position = -1, rangeMax = -1;
    bool muted = false;
    int focus = 0;
    RunSoundDialog([&](HWND dialog) {
        position = SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_GETPOS, 0, 0);
        rangeMax = SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_GETRANGEMAX, 0, 0);
        muted = Checked(dialog, IDC_MUTE);
        focus = tessaloom::test::DialogFocusId(dialog);
        tessaloom::test::MoveDialogTrackbar(dialog, IDC_VOLUME, -5);  // the top, clamped
        tessaloom::test::ClickDialogItem(dialog, IDC_MUTE);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    EXPECT_EQ(position, 70);
    EXPECT_EQ(rangeMax, 100);
    EXPECT_TRUE(muted);
    EXPECT_EQ(focus, IDOK);
    // Stored by the sound dialog's own OK, though the settings were cancelled.
    EXPECT_EQ(StoredDword(nullptr, kValueSoundVolume), 100);
    EXPECT_EQ(StoredDword(nullptr, kValueMuteSound), 0);
}

TEST_F(SettingsDialogs, SoundCancelStoresNothingAndMissingValuesKeepTheCopies) {
    AddMonitor(u"Adapter A");
    LRESULT position = -1;
    RunSoundDialog([&](HWND dialog) {
        position = SendDlgItemMessageW(dialog, IDC_VOLUME, TBM_GETPOS, 0, 0);
        tessaloom::test::MoveDialogTrackbar(dialog, IDC_VOLUME, 40);
        tessaloom::test::PressDialogKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ(position, 0) << "no stored volume: the copy's 100";
    EXPECT_EQ(RegistryValues(), kNothing);
}

}  // namespace
