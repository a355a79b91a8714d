// The saver's own resource script, compiled here the way the build compiles it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win32/rc_dialog.h"
#include "platform/win32/rc_icon.h"
#include "platform/win32/resources.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/sdl_backend.h"
#include "platform/win32/windows.h"
#include "resources/resource.h"
#include "tools/rc/rc_compiler.h"

namespace {

const std::string kScript = std::string(TESSALOOM_SOURCE_DIR) + "/resources/saver.rc";

tessaloom::rc::Result CompileSaver(const std::string& document = {}) {
    tessaloom::rc::Options options;
    options.includeDirs.push_back(std::string(TESSALOOM_SOURCE_DIR) + "/resources");
    if (!document.empty()) options.stringDefines.emplace_back("TESSALOOM_SCENE_DOCUMENT", document);
    return tessaloom::rc::CompileFile(kScript, options);
}

class SaverResources : public ::testing::Test {
protected:
    void SetUp() override {
        result_ = CompileSaver();
        ASSERT_TRUE(result_.ok) << result_.error;
        for (const auto& r : result_.resources)
            rows_.push_back({r.type.id ? nullptr : r.type.name.c_str(), r.type.id,
                             r.name.id ? nullptr : r.name.name.c_str(), r.name.id, r.data.data(),
                             static_cast<DWORD>(r.data.size())});
        table_ = std::make_unique<tessaloom::testing::ScopedExecutableResources>(rows_);
    }

    std::u16string String(UINT id) {
        WCHAR buffer[512];
        int n = LoadStringW(nullptr, id, buffer, 512);
        return std::u16string(buffer, static_cast<size_t>(n));
    }

    tessaloom::rc::Result result_;
    std::vector<tessaloom::ResourceTableEntry> rows_;
    std::unique_ptr<tessaloom::testing::ScopedExecutableResources> table_;
};

}  // namespace

TEST_F(SaverResources, StringTableHoldsTheTitleErrorAndDisplayTexts) {
    EXPECT_EQ(String(IDS_TITLE), u"Tessaloom");
    EXPECT_EQ(String(2100), u"There was an unspecified problem with this screen saver.");
    EXPECT_EQ(String(2101), u"Direct3D 8.0 could not be initialized.  Please install the latest version of DirectX.");
    EXPECT_EQ(String(2108), u"Could not load required media.");
    EXPECT_EQ(String(2112), u"No preview available");
    EXPECT_EQ(String(2210), u"The screen saver can use hardware 3D rendering on this monitor.");
    EXPECT_EQ(String(2212), u"The screen saver cannot be displayed on this monitor.");
    for (UINT id = 2100; id <= 2112; ++id) EXPECT_FALSE(String(id).empty()) << id;
    for (UINT id = 2200; id <= 2212; ++id) EXPECT_FALSE(String(id).empty()) << id;
    EXPECT_TRUE(String(2113).empty());
}

TEST_F(SaverResources, DialogsHoldEveryControlWithItsPlace) {
    struct Expect {
        int dialog;
        DWORD id;
        std::u16string cls;
        std::u16string text;
        SHORT x, y, cx, cy;
        bool visible;
    };
    const Expect expected[] = {
        {106, 1, u"Button", u"OK", 184, 9, 50, 14, true},
        {106, 2, u"Button", u"Cancel", 184, 32, 50, 14, true},
        {106, 1006, u"Button", u"&Display Settings...", 42, 60, 102, 14, true},
        {106, 1007, u"Button", u"&Sound Settings...", 42, 102, 102, 14, true},
        {106, 1017, u"Button", u"Website", 184, 55, 50, 14, true},
        {106, 1023, u"ComboBox", u"", 97, 20, 54, 12, true},
        {2214, 1, u"Button", u"OK", 77, 9, 50, 14, true},
        {2214, 2, u"Button", u"Cancel", 77, 32, 50, 14, true},
        {2214, 1021, u"msctls_trackbar32", u"", 25, 12, 29, 82, true},
        {2214, 1022, u"Button", u"Mute", 87, 87, 36, 13, true},
        {201, 2000, u"SysTabControl32", u"", 7, 7, 256, 201, true},
        {201, 2001, u"Static", u"Monitor %d", 214, 8, 32, 8, false},
        {201, 2002, u"Static", u"", 65, 35, 168, 8, true},
        {201, 2003, u"Static", u"", 65, 48, 132, 17, true},
        {201, 2004, u"Button", u"&Help", 202, 49, 50, 14, true},
        {201, 2005, u"Button", u"&Disable hardware 3D rendering on this monitor", 19, 71, 215, 10, true},
        {201, 2006, u"Button", u"Monitor usage", 13, 94, 244, 44, true},
        {201, 2007, u"Button", u"Display &screen saver on this monitor", 19, 107, 200, 10, true},
        {201, 2008, u"Button", u"Display &nothing on this monitor", 19, 120, 200, 10, true},
        {201, 2009, u"Button", u"Display mode", 13, 146, 244, 55, true},
        {201, 2010, u"Static", u"Display &mode for this video adapter:", 19, 158, 126, 8, true},
        {201, 2011, u"ComboBox", u"", 152, 156, 100, 133, true},
        {201, 2012, u"Static", u"Automatic", 193, 182, 32, 8, false},
        {201, 2013, u"Static",
         u"Note: The Automatic display mode finds a mode that works well with your current screen saver settings and "
         u"video adapter.",
         19, 173, 232, 22, true},
        {201, 2014, u"Button", u"Dual Monitor Settings", 7, 214, 256, 32, true},
        {201, 2015, u"Button", u"Show &images in reverse order", 22, 227, 210, 10, true},
        {201, 2016, u"Static", u"%d by %d, %d bit color", 7, 265, 71, 8, false},
        {201, 1, u"Button", u"OK", 159, 259, 50, 14, true},
        {201, 2, u"Button", u"Cancel", 213, 259, 50, 14, true},
        {200, 2002, u"Static", u"", 57, 18, 159, 8, true},
        {200, 2003, u"Static", u"", 57, 31, 130, 17, true},
        {200, 2004, u"Button", u"&Help", 194, 33, 50, 14, true},
        {200, 2005, u"Button", u"&Disable hardware 3D rendering", 14, 54, 215, 10, true},
        {200, 2009, u"Button", u"Display Mode", 7, 84, 241, 55, true},
        {200, 2010, u"Static", u"Display &mode for this video adapter:", 13, 95, 126, 8, true},
        {200, 2011, u"ComboBox", u"", 144, 93, 100, 133, true},
        {200, 2012, u"Static", u"Automatic", 184, 126, 32, 8, false},
        {200, 2013, u"Static",
         u"Note: The Automatic display mode finds a mode that works well with your current screen saver settings and "
         u"video adapter.",
         13, 109, 227, 27, true},
        {200, 2016, u"Static", u"%d by %d, %d bit color", 13, 152, 71, 8, false},
        {200, 1, u"Button", u"OK", 143, 148, 50, 14, true},
        {200, 2, u"Button", u"Cancel", 197, 148, 50, 14, true},
    };
    for (const auto& e : expected) {
        tessaloom::DialogTemplate d;
        std::string error;
        ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(e.dialog), d, &error)) << error;
        const tessaloom::DialogControl* c = d.FindControl(e.id);
        ASSERT_NE(c, nullptr) << e.dialog << "/" << e.id;
        EXPECT_EQ(c->ClassName(), e.cls) << e.dialog << "/" << e.id;
        EXPECT_EQ(c->title.text, e.text) << e.dialog << "/" << e.id;
        EXPECT_EQ((std::vector<int>{c->x, c->y, c->cx, c->cy}), (std::vector<int>{e.x, e.y, e.cx, e.cy}))
            << e.dialog << "/" << e.id;
        EXPECT_EQ((c->style & 0x10000000u) != 0, e.visible) << e.dialog << "/" << e.id;
    }
}

TEST_F(SaverResources, DialogFramesFontsAndStyles) {
    struct Frame {
        int id;
        SHORT cx, cy;
        std::u16string title;
        size_t controls;
    };
    const Frame frames[] = {{106, 240, 191, u"Tessaloom", 12},
                            {200, 255, 170, u"Display Settings", 15},
                            {201, 270, 281, u"Display Settings", 22},
                            {2214, 134, 107, u"Sound Settings", 5}};
    for (const auto& f : frames) {
        tessaloom::DialogTemplate d;
        ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(f.id), d)) << f.id;
        EXPECT_EQ(d.cx, f.cx) << f.id;
        EXPECT_EQ(d.cy, f.cy) << f.id;
        EXPECT_EQ(d.title, f.title) << f.id;
        EXPECT_EQ(d.typeface, u"MS Shell Dlg") << f.id;
        EXPECT_EQ(d.pointSize, 8) << f.id;
        EXPECT_EQ(d.controls.size(), f.controls) << f.id;
        EXPECT_EQ(d.style & 0x80u, 0x80u) << f.id;             // DS_MODALFRAME
        EXPECT_EQ(d.style & 0x00C80000u, 0x00C80000u) << f.id;  // WS_CAPTION | WS_SYSMENU
    }
    tessaloom::DialogTemplate sound;
    ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(2214), sound));
    // Vertical, ticks on both sides, automatic ticks.
    EXPECT_EQ(sound.FindControl(1021)->style & 0xFu, 0x2u | 0x8u | 0x1u);
    EXPECT_EQ(sound.FindControl(1022)->style & 0xFu, 0x3u);  // BS_AUTOCHECKBOX
    tessaloom::DialogTemplate settings;
    ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(106), settings));
    EXPECT_EQ(settings.FindControl(1023)->style & 0x00200003u, 0x00200003u);  // drop-down list, vertical scroll
    EXPECT_EQ(settings.FindControl(1)->style & 0xFu, 0x1u);                    // the default button
}

TEST_F(SaverResources, IconAndNoDocumentWithoutOne) {
    HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(IDI_SAVER), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, group)));
    int count = dir[4] | (dir[5] << 8);
    ASSERT_GE(count, 1);
    for (int i = 0; i < count; ++i) {
        int id = dir[6 + 14 * i + 12] | (dir[6 + 14 * i + 13] << 8);
        EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_ICON), nullptr) << id;
    }
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_SCENE_DOCUMENT), u"DDS"), nullptr);
}

TEST(SaverResourcesDocument, TheConfiguredDocumentBecomesDds107) {
    std::string path = std::filesystem::temp_directory_path() / "tessaloom rc doc test.bin";
    std::ofstream(path, std::ios::binary) << std::string("KVL\0doc", 7);
    tessaloom::rc::Result r = CompileSaver(path);
    std::remove(path.c_str());
    ASSERT_TRUE(r.ok) << r.error;
    bool found = false;
    for (const auto& res : r.resources) {
        if (res.type.name == u"DDS" && res.name.id == 107) {
            found = true;
            EXPECT_EQ(std::string(res.data.begin(), res.data.end()), std::string("KVL\0doc", 7));
        }
    }
    EXPECT_TRUE(found);

    tessaloom::rc::Result missing = CompileSaver("/nonexistent/scene.dds");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("cannot open file '/nonexistent/scene.dds'"), std::string::npos) << missing.error;
}

TEST_F(SaverResources, IconDecodesToPixels) {
    tessaloom::IconImage icon;
    std::string error;
    ASSERT_TRUE(tessaloom::LoadIconImage(nullptr, MAKEINTRESOURCEW(IDI_SAVER), 32, icon, &error)) << error;
    EXPECT_EQ(icon.width, 32);
    EXPECT_EQ(icon.height, 32);
    auto pixel = [&](int x, int y) { return &icon.rgba[static_cast<size_t>(y * icon.width + x) * 4]; };
    EXPECT_EQ(pixel(0, 0)[3], 0);       // the corner is outside the disc
    EXPECT_EQ(pixel(16, 20)[3], 255);   // the flame, low in the middle: opaque and red
    EXPECT_EQ(pixel(16, 20)[0], 255);
    ASSERT_TRUE(tessaloom::LoadIconImage(nullptr, MAKEINTRESOURCEW(IDI_SAVER), 16, icon, &error)) << error;
    EXPECT_EQ(icon.width, 16);

    // Every cut of an image is refused.
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_ICON);
    ASSERT_NE(image, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, image)));
    DWORD size = SizeofResource(nullptr, image);
    for (DWORD n = 0; n < size; n += 7) EXPECT_FALSE(tessaloom::DecodeIconImage(bytes, n, icon)) << n;
    EXPECT_FALSE(tessaloom::LoadIconImage(nullptr, MAKEINTRESOURCEW(102), 32, icon, &error));
}

// The table the build generated and linked, as the saver sees it before main.
TEST(LinkedExecutableTable, RegistersItselfBeforeMain) {
    WCHAR buffer[64];
    ASSERT_EQ(LoadStringW(GetModuleHandleW(nullptr), IDS_TITLE, buffer, 64), 9);
    EXPECT_EQ(std::u16string(buffer), u"Tessaloom");
    tessaloom::DialogTemplate d;
    EXPECT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(IDD_DISPLAY_MULTI), d));
    EXPECT_NE(d.FindControl(IDC_REVERSE_ORDER), nullptr);
    tessaloom::IconImage icon;
    EXPECT_TRUE(tessaloom::LoadIconImage(nullptr, MAKEINTRESOURCEW(IDI_SAVER), 32, icon));
}

// The class icon of the saver windows: LoadIconW decodes the executable's
// icon, and an icon that is not there gives no handle.
TEST_F(SaverResources, LoadIconDecodesTheSaverIcon) {
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_SAVER));
    ASSERT_NE(icon, nullptr);
    const tessaloom::IconImage* image = tessaloom::win32::IconImageOf(icon);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->rgba.size(), 32u * 32u * 4u);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(9999)), nullptr);
    EXPECT_EQ(tessaloom::win32::IconImageOf(nullptr), nullptr);
}
