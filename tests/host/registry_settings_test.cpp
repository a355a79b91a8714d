// The saver's registry settings: every value through the file, the adapter
// match, values of the wrong type or size, the picture-position cache, a
// damaged file and a write that fails half-way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "host/registry_settings.h"
#include "platform/win32/strings.h"
#include "tests/host/saver_test_support.h"

namespace fs = std::filesystem;

namespace {

const GUID kAdapterA = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kAdapterB = {0x99999999, 0x8888, 0x7777, {8, 7, 6, 5, 4, 3, 2, 1}};

// Three monitors; the first and third have adapters 0 and 1.
struct SaverWithAdapters {
    TestSaver saver;
    std::unique_ptr<AdapterRecord> records[2];

    explicit SaverWithAdapters(GUID first = kAdapterA, GUID second = kAdapterB) {
        std::copy(kSaverRegistryKey, kSaverRegistryKey + lstrlenW(kSaverRegistryKey) + 1, saver.registryKeyPath);
        saver.monitorCount = 3;
        saver.monitors[0].adapterIndex = 0;
        saver.monitors[1].adapterIndex = -1;
        saver.monitors[2].adapterIndex = 1;
        for (int i = 0; i < 2; ++i) {
            records[i] = std::make_unique<AdapterRecord>();
            records[i]->deviceIdentifier = i == 0 ? first : second;
            saver.adapters[i] = records[i].get();
        }
        saver.adapterCount = 2;
    }
    ~SaverWithAdapters() {
        for (auto*& a : saver.adapters) a = nullptr;
    }
};

class RegistrySettings : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tessaloom-settings-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TESSALOOM_REGISTRY_DIR", dir_.c_str(), 1);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        std::copy(kSaverRegistryKey, kSaverRegistryKey + lstrlenW(kSaverRegistryKey) + 1, g_registryKeyPath);
    }
    void TearDown() override {
        tessaloom::test::FailNextRegistryWrite(-1, false);
        fs::remove_all(dir_);
    }

    static HKEY Key(const char16_t* sub = nullptr) {
        HKEY key = nullptr, subKey = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSaverRegistryKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        if (!sub) return key;
        EXPECT_EQ(RegOpenKeyExW(key, sub, 0, KEY_READ, &subKey), ERROR_SUCCESS);
        RegCloseKey(key);
        return subKey;
    }
    static void Put(const char16_t* sub, const char16_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key, subKey;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSaverRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        subKey = key;
        if (sub) {
            ASSERT_EQ(RegCreateKeyExW(key, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &subKey, nullptr), ERROR_SUCCESS);
        }
        ASSERT_EQ(RegSetValueExW(subKey, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        if (sub) RegCloseKey(subKey);
        RegCloseKey(key);
    }
    static void PutDword(const char16_t* sub, const char16_t* name, DWORD v) { Put(sub, name, REG_DWORD, &v, 4); }
    std::string FileText() {
        std::ifstream in(tessaloom::test::RegistryFilePath());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_;
};

TEST_F(RegistrySettings, AFreshUserGetsTheKeysAndTheDefaults) {
    SaverWithAdapters s;
    EXPECT_EQ(LoadAppSettings(s.saver), 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Velcrest\\Tessaloom Maker\\Screensaver", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    HKEY sub;
    EXPECT_EQ(RegOpenKeyExW(key, u"Screen 1", 0, KEY_READ, &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    EXPECT_EQ(RegOpenKeyExW(key, u"Screen 2", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);  // no adapter there
    EXPECT_EQ(RegOpenKeyExW(key, u"Screen 3", 0, KEY_READ, &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(key);
    for (auto& a : s.records) {
        EXPECT_EQ(a->storedWidth, 0u);
        EXPECT_EQ(a->leaveBlack, 0);
        EXPECT_EQ(a->disableHardware, 0);
    }
    EXPECT_EQ(s.saver.reverseOrder, 0);
    EXPECT_EQ(LoadPicturePosition(), 2u);
    DWORD volume = 100, mute = 0;
    ReadRegistryDword(&volume, kValueSoundVolume);
    ReadRegistryDword(&mute, kValueMuteSound);
    EXPECT_EQ(volume, 100u);
    EXPECT_EQ(mute, 0u);
}

TEST_F(RegistrySettings, EveryValueRoundTripsThroughTheFile) {
    {
        SaverWithAdapters s;
        s.saver.reverseOrder = 1;
        *s.records[0] = AdapterRecord{0, kAdapterA, 0, 0, 0, 0, 1280, 1024, 22, 0, 1, 0, nullptr};
        *s.records[1] = AdapterRecord{2, kAdapterB, 0, 0, 0, 0, 800, 600, 21, 1, 0, 0, nullptr};
        EXPECT_EQ(SaveAppSettings(s.saver), 0);
        SaveSoundVolume(35);
        SaveMuteSound(1);
        EXPECT_EQ(SavePicturePosition(1), 1u);
    }
    std::string file = FileText();
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Velcrest\\Tessaloom Maker\\Screensaver\\Screen 3]"), std::string::npos);
    EXPECT_NE(file.find("\"\\\"SoundVolume\\\"\"=dword:00000023"), std::string::npos) << file;
    EXPECT_NE(file.find("\"\\\"MuteSound\\\"\"=dword:00000001"), std::string::npos);
    EXPECT_NE(file.find("\"\\\"PicPos\\\"\"=dword:00000001"), std::string::npos);
    EXPECT_NE(file.find("\"AllScreensSame\"=dword:00000001"), std::string::npos);
    EXPECT_NE(file.find("\"Adapter ID\"=hex:11,11,11,11,22,22,33,33,01,02,03,04,05,06,07,08"), std::string::npos);

    // A new process reads them.
    tessaloom::test::ReloadRegistry();
    tessaloom::host::ResetPicturePositionCache();
    SaverWithAdapters s;
    LoadAppSettings(s.saver);
    EXPECT_EQ(s.saver.reverseOrder, 1);
    EXPECT_EQ(s.records[0]->storedWidth, 1280u);
    EXPECT_EQ(s.records[0]->storedHeight, 1024u);
    EXPECT_EQ(s.records[0]->storedFormat, 22u);
    EXPECT_EQ(s.records[0]->disableHardware, 1);
    EXPECT_EQ(s.records[0]->leaveBlack, 0);
    EXPECT_EQ(s.records[1]->storedWidth, 800u);
    EXPECT_EQ(s.records[1]->leaveBlack, 1);
    EXPECT_EQ(s.records[1]->disableHardware, 0);
    DWORD volume = 100, mute = 0;
    ReadRegistryDword(&volume, kValueSoundVolume);
    ReadRegistryDword(&mute, kValueMuteSound);
    EXPECT_EQ(volume, 35u);
    EXPECT_EQ(mute, 1u);
    EXPECT_EQ(LoadPicturePosition(), 1u);
}

TEST_F(RegistrySettings, SettingsOfAnotherAdapterApplyOnlyLeaveBlack) {
    {
        SaverWithAdapters s(kAdapterA);
        *s.records[0] = AdapterRecord{0, kAdapterA, 0, 0, 0, 0, 1280, 1024, 22, 1, 1, 0, nullptr};
        SaveAppSettings(s.saver);
    }
    SaverWithAdapters s(kAdapterB);
    LoadAppSettings(s.saver);
    EXPECT_EQ(s.records[0]->leaveBlack, 1);
    EXPECT_EQ(s.records[0]->disableHardware, 0);
    EXPECT_EQ(s.records[0]->storedWidth, 0u);
    EXPECT_EQ(s.records[0]->storedFormat, 0u);
}

TEST_F(RegistrySettings, ASubkeyWithoutAdapterIdAppliesToAnyAdapter) {
    PutDword(u"Screen 1", u"Width", 1600);
    PutDword(u"Screen 1", u"Height", 1200);
    PutDword(u"Screen 1", u"Format", 22);
    PutDword(u"Screen 1", u"Disable Hardware", 1);
    SaverWithAdapters s;
    LoadAppSettings(s.saver);
    EXPECT_EQ(s.records[0]->storedWidth, 1600u);
    EXPECT_EQ(s.records[0]->storedHeight, 1200u);
    EXPECT_EQ(s.records[0]->disableHardware, 1);
}

TEST_F(RegistrySettings, AValueOfAnotherTypeOrSizeIsNotTaken) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Case> cases = {
        {"2-byte dword", REG_DWORD, {0x40, 0x06}},
        {"8-byte dword", REG_DWORD, {0x40, 0x06, 0, 0, 0, 0, 0, 0}},
        {"4-byte binary", REG_BINARY, {0x40, 0x06, 0, 0}},
        {"string", REG_SZ, {'1', 0, 0, 0}},
        {"empty", REG_DWORD, {}},
    };
    for (const auto& c : cases) {
        tessaloom::test::ReloadRegistry();
        fs::remove(tessaloom::test::RegistryFilePath());
        Put(u"Screen 1", u"Width", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        Put(nullptr, u"\"SoundVolume\"", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        Put(nullptr, u"AllScreensSame", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        SaverWithAdapters s;
        s.records[0]->storedWidth = 77;
        s.saver.reverseOrder = 0;
        LoadAppSettings(s.saver);
        EXPECT_EQ(s.records[0]->storedWidth, 77u) << c.what;
        EXPECT_EQ(s.saver.reverseOrder, 0) << c.what;
        DWORD volume = 100;
        ReadRegistryDword(&volume, kValueSoundVolume);
        EXPECT_EQ(volume, 100u) << c.what;
    }
    // An adapter id of the wrong size counts as no id: the values apply.
    fs::remove(tessaloom::test::RegistryFilePath());
    tessaloom::test::ReloadRegistry();
    const BYTE shortId[8] = {0x99, 0x99, 0x99, 0x99, 0x88, 0x88, 0x77, 0x77};
    Put(u"Screen 1", u"Adapter ID", REG_BINARY, shortId, 8);
    PutDword(u"Screen 1", u"Width", 640);
    SaverWithAdapters s;
    LoadAppSettings(s.saver);
    EXPECT_EQ(s.records[0]->storedWidth, 640u);
}

TEST_F(RegistrySettings, ThePicturePositionIsReadOncePerProcess) {
    PutDword(nullptr, u"\"PicPos\"", 0);
    EXPECT_EQ(LoadPicturePosition(), 0u);
    WritePicturePosition(1);  // another writer after the first read
    EXPECT_EQ(LoadPicturePosition(), 0u);
    tessaloom::host::ResetPicturePositionCache();
    EXPECT_EQ(LoadPicturePosition(), 1u);
    // Saving before any read replaces the stored value at once.
    tessaloom::host::ResetPicturePositionCache();
    PutDword(nullptr, u"\"PicPos\"", 0);
    EXPECT_EQ(SavePicturePosition(7), 7u);  // stored as given
    EXPECT_EQ(StoredPicturePosition(), 7u);
    EXPECT_EQ(LoadPicturePosition(), 2u) << "out of range: Fill";
}

TEST_F(RegistrySettings, ADamagedFileIsKeptAsideAndDefaultsApply) {
    {
        std::ofstream(tessaloom::test::RegistryFilePath()) << "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Velcrest\n\"x\n";
    }
    SaverWithAdapters s;
    s.records[0]->storedWidth = 0;
    testing::internal::CaptureStderr();
    LoadAppSettings(s.saver);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.records[0]->storedWidth, 0u);
    EXPECT_EQ(LoadPicturePosition(), 2u);
    int damaged = 0;
    for (auto& e : fs::directory_iterator(dir_)) damaged += e.path().filename().string().find(".damaged-") != std::string::npos;
    EXPECT_EQ(damaged, 1);
}

// One line of the saver's settings that does not read loses that value alone:
// the picture position, the sound values and the monitor's display settings
// around it are all read, also by the next process.
TEST_F(RegistrySettings, ADamagedLineLosesOnlyItself) {
    {
        std::ofstream(tessaloom::test::RegistryFilePath())
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velcrest\\Tessaloom Maker\\Screensaver]\n"
               "\"\\\"PicPos\\\"\"=dword:00000001\n"
               "\"\\\"SoundVolume\\\"\"=dword:0000001e\n"
               "\"\\\"MuteSound\\\"\"=dword:000001\n"  // short: the damaged line
               "\"AllScreensSame\"=dword:00000001\n"
               "\n[HKEY_CURRENT_USER\\Software\\Velcrest\\Tessaloom Maker\\Screensaver\\Screen 1]\n"
               "\"Width\"=dword:00000280\n\"Height\"=dword:000001e0\n";
    }
    for (int process = 0; process < 2; ++process) {
        SCOPED_TRACE(process);
        tessaloom::test::ReloadRegistry();
        tessaloom::host::ResetPicturePositionCache();
        SaverWithAdapters s;
        testing::internal::CaptureStderr();
        LoadAppSettings(s.saver);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("damaged") != std::string::npos, process == 0) << err;
        EXPECT_EQ(s.saver.reverseOrder, 1);
        EXPECT_EQ(s.records[0]->storedWidth, 640u);
        EXPECT_EQ(s.records[0]->storedHeight, 480u);
        EXPECT_EQ(LoadPicturePosition(), 1u);
        DWORD volume = 100, mute = 7;
        ReadRegistryDword(&volume, kValueSoundVolume);
        ReadRegistryDword(&mute, kValueMuteSound);
        EXPECT_EQ(volume, 30u);
        EXPECT_EQ(mute, 7u) << "the damaged value is not taken";
    }
}

TEST_F(RegistrySettings, SettingsSurviveAWriteThatFailsHalfWay) {
    SaveSoundVolume(50);
    SaveMuteSound(1);
    tessaloom::test::FailNextRegistryWrite(30, true);
    SaveSoundVolume(70);  // silent, as every registry failure
    tessaloom::test::ReloadRegistry();
    DWORD volume = 100, mute = 0;
    ReadRegistryDword(&volume, kValueSoundVolume);
    ReadRegistryDword(&mute, kValueMuteSound);
    EXPECT_EQ(volume, 50u);
    EXPECT_EQ(mute, 1u);
    SaveSoundVolume(80);  // the next write works again
    tessaloom::test::ReloadRegistry();
    ReadRegistryDword(&volume, kValueSoundVolume);
    EXPECT_EQ(volume, 80u);
}

}  // namespace
