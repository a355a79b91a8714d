// The resource compiler on small scripts, in memory: a map stands in for the
// file system, so each test shows every byte the compiler reads.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/win32/rc_dialog.h"
#include "platform/win32/resources.h"
#include "platform/win32/resources_hooks.h"
#include "tools/rc/rc_compiler.h"

using tessaloom::rc::CompileText;
using tessaloom::rc::Key;
using tessaloom::rc::Options;
using tessaloom::rc::Resource;
using tessaloom::rc::Result;

namespace {

Options InMemory(std::map<std::string, std::string> files) {
    Options o;
    o.loader = [files = std::move(files)](const std::string& path, std::string& out) {
        auto it = files.find(path);
        if (it == files.end()) return false;
        out = it->second;
        return true;
    };
    return o;
}

const Resource* Find(const Result& r, Key type, Key name) {
    for (const auto& res : r.resources)
        if (res.type == type && res.name == name) return &res;
    return nullptr;
}

// Registers the compiled resources as the executable's table for one test.
class Registered {
public:
    explicit Registered(const Result& r) : table_(Rows(r)) {}

private:
    static std::vector<tessaloom::ResourceTableEntry> Rows(const Result& r) {
        std::vector<tessaloom::ResourceTableEntry> rows;
        for (const auto& res : r.resources)
            rows.push_back({res.type.id ? nullptr : res.type.name.c_str(), res.type.id,
                            res.name.id ? nullptr : res.name.name.c_str(), res.name.id, res.data.data(),
                            static_cast<DWORD>(res.data.size())});
        return rows;
    }
    tessaloom::testing::ScopedExecutableResources table_;
};

// A minimal icon file: one 2x2 32-bit image.
std::string TinyIcon() {
    std::string image(40 + 16 + 8, '\0');
    image[0] = 40;
    image[4] = 2;
    image[8] = 4;
    image[12] = 1;
    image[14] = 32;
    std::string file = std::string("\0\0\1\0\1\0", 6);
    std::string entry(16, '\0');
    entry[0] = 2;
    entry[1] = 2;
    entry[4] = 1;
    entry[6] = 32;
    entry[8] = static_cast<char>(image.size());
    entry[12] = 22;
    return file + entry + image;
}

const char* const kScript = R"rc(
// A small script with each statement kind.
#include "ids.h"
#define GREETING "Hello, " "world"
#ifdef MISSING
#error not taken
#else
#define TAKEN 1
#endif
#if TAKEN && defined(IDD_MAIN) && IDD_MAIN == 106
#define CHECKED 3
#endif

LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
IDI_MAIN ICON "art\\tiny.ico"
107 DDS "doc.bin"
7 RCDATA BEGIN 0x4241, "CD", L"E", 1L END

STRINGTABLE
BEGIN
    IDS_TITLE, "Tessaloom"
    1001 GREETING
    17 "quote "" and \t tab \x00e9"
END

IDD_MAIN DIALOGEX 0, 0, 240, 191
STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Settings"
FONT 8, "MS Shell Dlg", 400, 0, 0x1
BEGIN
    DEFPUSHBUTTON "OK", IDOK, 184, 9, 50, 14
    LTEXT "Hidden", 2001, 214, 8, 32, 8, NOT WS_VISIBLE
    COMBOBOX IDC_LIST, 97, 20, 54, 12, CBS_DROPDOWNLIST | WS_VSCROLL
    CONTROL "", 2000, "SysTabControl32", WS_TABSTOP, 7, 7, 256, 201, WS_EX_CLIENTEDGE
    GROUPBOX "Group", IDC_STATIC, 6, 6, 168, 36
    AUTORADIOBUTTON "Radio", 2007, -1, (10 + 2) * CHECKED, 200, 10, WS_GROUP
END

OLD DIALOG 10, 20, 100, 50
CAPTION "Old"
FONT 9, "Tahoma"
BEGIN
    PUSHBUTTON "Go", 5, 1, 2, 3, 4
END
)rc";

Options ScriptFiles() {
    return InMemory({{"mem/ids.h", "#pragma once\n#define IDD_MAIN 106\n#define IDS_TITLE 1000\n#define IDC_LIST 1023\n"
                                   "#define IDI_MAIN 101 /* the icon */\n"},
                     {"mem/art/tiny.ico", TinyIcon()},
                     {"mem/doc.bin", std::string("DOC\0", 4)}});
}

}  // namespace

TEST(RcCompiler, CompilesEachStatementKind) {
    Result r = CompileText("mem/saver.rc", kScript, ScriptFiles());
    ASSERT_TRUE(r.ok) << r.error;

    const Resource* doc = Find(r, Key{0, u"DDS"}, Key{107, {}});
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(std::string(doc->data.begin(), doc->data.end()), std::string("DOC\0", 4));

    const Resource* raw = Find(r, Key{10, {}}, Key{7, {}});
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->data, (std::vector<uint8_t>{0x41, 0x42, 'C', 'D', 'E', 0, 1, 0, 0, 0}));

    const Resource* image = Find(r, Key{3, {}}, Key{1, {}});
    const Resource* group = Find(r, Key{14, {}}, Key{101, {}});
    ASSERT_NE(image, nullptr);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(image->data.size(), 64u);
    ASSERT_EQ(group->data.size(), 6u + 14u);
    EXPECT_EQ(group->data[4], 1);   // one image
    EXPECT_EQ(group->data[18], 1);  // named RT_ICON 1

    // Dependencies: the include, the icon and the document.
    EXPECT_EQ(r.dependencies, (std::vector<std::string>{"mem/ids.h", "mem/art/tiny.ico", "mem/doc.bin"}));
}

TEST(RcCompiler, StringsReachLoadString) {
    Result r = CompileText("mem/saver.rc", kScript, ScriptFiles());
    ASSERT_TRUE(r.ok) << r.error;
    Registered table(r);
    WCHAR buffer[64];
    ASSERT_GT(LoadStringW(nullptr, 1000, buffer, 64), 0);
    EXPECT_EQ(std::u16string(buffer), u"Tessaloom");
    ASSERT_GT(LoadStringW(nullptr, 1001, buffer, 64), 0);
    EXPECT_EQ(std::u16string(buffer), u"Hello, world");
    ASSERT_GT(LoadStringW(nullptr, 17, buffer, 64), 0);
    EXPECT_EQ(std::u16string(buffer), u"quote \" and \t tab \u00e9");
    EXPECT_EQ(LoadStringW(nullptr, 1002, buffer, 64), 0);
}

TEST(RcCompiler, DialogTemplatesReadBack) {
    Result r = CompileText("mem/saver.rc", kScript, ScriptFiles());
    ASSERT_TRUE(r.ok) << r.error;
    Registered table(r);

    tessaloom::DialogTemplate d;
    std::string error;
    ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(106), d, &error)) << error;
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.style, 0x40u | 0x80u | 0x80000000u | 0x00C00000u | 0x00080000u);
    EXPECT_EQ(d.cx, 240);
    EXPECT_EQ(d.cy, 191);
    EXPECT_EQ(d.title, u"Settings");
    EXPECT_TRUE(d.hasFont);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.weight, 400);
    EXPECT_EQ(d.charset, 1);
    EXPECT_EQ(d.typeface, u"MS Shell Dlg");
    ASSERT_EQ(d.controls.size(), 6u);

    const uint32_t childVisible = 0x40000000u | 0x10000000u;
    struct Expect {
        DWORD id;
        std::u16string cls, title;
        DWORD style, exStyle;
        SHORT x, y, cx, cy;
    };
    const Expect expected[] = {
        {1, u"Button", u"OK", childVisible | 0x1 | 0x10000, 0, 184, 9, 50, 14},
        {2001, u"Static", u"Hidden", 0x40000000u | 0x20000, 0, 214, 8, 32, 8},
        {1023, u"ComboBox", u"", childVisible | 0x3 | 0x00200000 | 0x10000, 0, 97, 20, 54, 12},
        {2000, u"SysTabControl32", u"", childVisible | 0x10000, 0x200, 7, 7, 256, 201},
        {0xFFFFFFFF, u"Button", u"Group", childVisible | 0x7, 0, 6, 6, 168, 36},
        {2007, u"Button", u"Radio", childVisible | 0x9 | 0x10000 | 0x20000, 0, -1, 36, 200, 10},
    };
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const auto& c = d.controls[i];
        const auto& e = expected[i];
        EXPECT_EQ(c.id, e.id) << i;
        EXPECT_EQ(c.ClassName(), e.cls) << i;
        EXPECT_EQ(c.title.text, e.title) << i;
        EXPECT_EQ(c.style, e.style) << i;
        EXPECT_EQ(c.exStyle, e.exStyle) << i;
        EXPECT_EQ(c.x, e.x) << i;
        EXPECT_EQ(c.y, e.y) << i;
        EXPECT_EQ(c.cx, e.cx) << i;
        EXPECT_EQ(c.cy, e.cy) << i;
    }

    // The plain DIALOG form, named by text, with its default style.
    ASSERT_TRUE(tessaloom::LoadDialogTemplate(nullptr, u"old", d, &error)) << error;
    EXPECT_FALSE(d.extended);
    EXPECT_EQ(d.style, 0x80000000u | 0x00800000u | 0x00080000u | 0x00C00000u | 0x40u);
    EXPECT_EQ(d.x, 10);
    EXPECT_EQ(d.typeface, u"Tahoma");
    EXPECT_EQ(d.pointSize, 9);
    ASSERT_EQ(d.controls.size(), 1u);
    EXPECT_EQ(d.controls[0].id, 5u);
    EXPECT_EQ(d.controls[0].cy, 4);
    EXPECT_EQ(d.controls[0].title.text, u"Go");
}

TEST(RcCompiler, DamagedDialogTemplatesAreRefused) {
    Result r = CompileText("mem/saver.rc", kScript, ScriptFiles());
    ASSERT_TRUE(r.ok) << r.error;
    const Resource* dialog = Find(r, Key{5, {}}, Key{106, {}});
    ASSERT_NE(dialog, nullptr);
    tessaloom::DialogTemplate d;
    // Every cut of the template fails cleanly (the sanitizers watch the reads).
    for (size_t n = 0; n < dialog->data.size(); ++n) {
        std::vector<uint8_t> cut(dialog->data.begin(), dialog->data.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(tessaloom::ParseDialogTemplate(cut.data(), cut.size(), d)) << n;
    }
    EXPECT_TRUE(tessaloom::ParseDialogTemplate(dialog->data.data(), dialog->data.size(), d));
}

TEST(RcCompiler, BrokenScriptsSayWhereAndWhat) {
    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"STRINGTABLE\nBEGIN\n  1 \"a\"\n  1 \"b\"\nEND\n", "bad.rc:4: error: string 1 is defined twice (first at bad.rc:3)"},
        {"STRINGTABLE\nBEGIN\n  1 2\nEND\n", "bad.rc:3: error: expected the text of string 1, found number 2"},
        {"STRINGTABLE\nBEGIN\n  1 \"a\"\n", "bad.rc:4: error: expected END to close the STRINGTABLE"},
        {"STRINGTABLE\nBEGIN\n  1 \"open\nEND\n", "bad.rc:3: error: string is not closed on its line"},
        {"1 DIALOGEX 0, 0, 10\nBEGIN\nEND\n", "bad.rc:2: error: expected ',' after the dialog's width, found 'BEGIN'"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", 5, 1, 2, 3\nEND\n",
         "bad.rc:4: error: expected ',' after the control's width, found 'END'"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  SLIDER \"x\", 5, 1, 2, 3, 4\nEND\n",
         "bad.rc:3: error: expected a control statement or END, found 'SLIDER'"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", IDC_NOPE, 1, 2, 3, 4\nEND\n",
         "bad.rc:3: error: 'IDC_NOPE' is not defined"},
        {"1 DIALOGEX 0, 0, 10, 10\nSTYLE WS_POPUP\nBOGUS 3\nBEGIN\nEND\n",
         "bad.rc:3: error: expected a dialog option or BEGIN, found 'BOGUS'"},
        {"1 DIALOG 0, 0, 40000, 10\nBEGIN\nEND\n", "bad.rc:1: error: width 40000 is out of range"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", 70000, 1, 2, 3, 4\nEND\n",
         "bad.rc:3: error: control id 70000 does not fit in 16 bits"},
        {"1 DIALOGEX 0, 0, 10, 10\nBEGIN\n", "bad.rc:3: error: expected END to close the dialog"},
        {"1 MENU\nBEGIN\nEND\n", "bad.rc:1: error: resources of type MENU are not supported"},
        {"1 ICON \"missing.ico\"\n", "bad.rc:1: error: cannot open file 'missing.ico'"},
        {"1 ICON \"bad.ico\"\n", "bad.rc:1: error: 'bad.ico' is not an icon file: bad header"},
        {"1 DDS doc.bin\n", "bad.rc:1: error: expected a file name in quotes or BEGIN, found 'doc'"},
        {"0 DDS \"doc.bin\"\n", "bad.rc:1: error: resource number 0 is not in 1..65535"},
        {"1 DDS \"doc.bin\"\n1 dds \"doc.bin\"\n", "bad.rc:2: error: resource defined twice (first at bad.rc:1)"},
        {"#include \"nowhere.h\"\n", "bad.rc:1: error: cannot open file 'nowhere.h'"},
        {"#define F(x) x\n", "bad.rc:1: error: function-like macro 'F' is not supported"},
        {"#if 1\n1 DDS \"doc.bin\"\n", "bad.rc:1: error: #if without #endif"},
        {"#endif\n", "bad.rc:1: error: #endif without #if"},
        {"#if 1\n#else\n#else\n#endif\n", "bad.rc:3: error: #else after #else"},
        {"#frobnicate\n", "bad.rc:1: error: unsupported directive #frobnicate"},
        {"#pragma code_page(1252)\n", "bad.rc:1: error: only #pragma code_page(65001) is supported"},
        {"#error stop here\n", "bad.rc:1: error: #error stop here"},
        {"/* never closed\n", "bad.rc:1: error: comment is not closed"},
        {"1 DDS BEGIN 1 / 0 END\n", "bad.rc:1: error: division by zero"},
        {"1 DDS BEGIN 0x END\n", "bad.rc:1: error: expected hexadecimal digits after 0x"},
        {"1 DDS BEGIN 99999999999 END\n", "bad.rc:1: error: number does not fit in 32 bits"},
        {"\n\n@\n", "bad.rc:3: error: unexpected character '@'"},
        {"STRINGTABLE\nBEGIN\n 1 \"\xC3\x28\"\nEND\n", "bad.rc:3: error: string is not valid UTF-8"},
        {"#include \"inc.h\"\n", "inc.h:2: error: 'NOPE' is not defined"},
        {"#define A A\n1 DDS BEGIN A END\n", "bad.rc:2: error: 'A' is not defined"},
        {"#define A B B B B B B B B B B\n#define B C C C C C C C C C C\n#define C D D D D D D D D D D\n"
         "#define D E E E E E E E E E E\n#define E F F F F F F F F F F\n#define F 1 1 1 1 1 1 1 1 1 1\n"
         "1 DDS BEGIN A END\n",
         "bad.rc:7: error: macro expansion does not end"},
        {"1 DIALOGEX 0, 0, 1, 1\nFONT 8, \"MS\\0Shell\"\nBEGIN\nEND\n",
         "bad.rc:2: error: the font name cannot hold a zero character"},
    };
    Options files = InMemory({{"doc.bin", "x"}, {"bad.ico", "not an icon"},
                              {"inc.h", "#define X 1\n1 DDS BEGIN NOPE END\n"}});
    for (const auto& c : cases) {
        Result r = CompileText("bad.rc", c.script, files);
        EXPECT_FALSE(r.ok) << c.script;
        EXPECT_EQ(r.error.substr(0, std::string(c.error).size()), c.error) << "script:\n" << c.script << "\nerror: " << r.error;
        EXPECT_TRUE(r.resources.empty());
    }
}

TEST(RcCompiler, EmitsATableThatCompilesAsCpp) {
    Result r = CompileText("mem/saver.rc", kScript, ScriptFiles());
    ASSERT_TRUE(r.ok) << r.error;
    std::string cpp = tessaloom::rc::EmitTable(r.resources, "saver.rc");
    EXPECT_NE(cpp.find("#include \"platform/win32/rc_table.h\""), std::string::npos);
    EXPECT_NE(cpp.find("{u\"DDS\", 0, nullptr, 107, kData"), std::string::npos);
    EXPECT_NE(cpp.find("{nullptr, 5, u\"OLD\", 0, kData"), std::string::npos);
    // The empty table still makes a registration.
    EXPECT_NE(tessaloom::rc::EmitTable({}, "x.rc").find("kRegistration(nullptr, 0)"), std::string::npos);
}
