// The resource compiler's names and tokens: the predefined style
// constants, errors, source locations and the token kinds.
// Included by rc_compiler.cpp.
#pragma once

#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "tools/rc/rc_compiler.h"

namespace tessaloom::rc::detail {

// ---------------------------------------------------------------------------
// Predefined names: the documented values of the window, dialog and control
// styles and of the few other constants a dialog script uses.
struct Constant {
    const char* name;
    uint32_t value;
};
constexpr Constant kConstants[] = {
    // Window styles.
    {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000}, {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000},
    {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000},
    {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000}, {"WS_DLGFRAME", 0x00400000},
    {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000}, {"WS_SYSMENU", 0x00080000},
    {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
    {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
    // Extended window styles.
    {"WS_EX_DLGMODALFRAME", 0x1}, {"WS_EX_NOPARENTNOTIFY", 0x4}, {"WS_EX_TOPMOST", 0x8},
    {"WS_EX_ACCEPTFILES", 0x10}, {"WS_EX_TRANSPARENT", 0x20}, {"WS_EX_TOOLWINDOW", 0x80},
    {"WS_EX_WINDOWEDGE", 0x100}, {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_CONTEXTHELP", 0x400},
    {"WS_EX_RIGHT", 0x1000}, {"WS_EX_CONTROLPARENT", 0x10000}, {"WS_EX_STATICEDGE", 0x20000},
    {"WS_EX_APPWINDOW", 0x40000},
    // Dialog styles.
    {"DS_ABSALIGN", 0x1}, {"DS_SYSMODAL", 0x2}, {"DS_3DLOOK", 0x4}, {"DS_FIXEDSYS", 0x8},
    {"DS_NOFAILCREATE", 0x10}, {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40}, {"DS_MODALFRAME", 0x80},
    {"DS_NOIDLEMSG", 0x100}, {"DS_SETFOREGROUND", 0x200}, {"DS_CONTROL", 0x400}, {"DS_CENTER", 0x800},
    {"DS_CENTERMOUSE", 0x1000}, {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
    // Button styles.
    {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
    {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
    {"BS_USERBUTTON", 0x8}, {"BS_AUTORADIOBUTTON", 0x9}, {"BS_PUSHBOX", 0xA}, {"BS_OWNERDRAW", 0xB},
    {"BS_LEFTTEXT", 0x20}, {"BS_TEXT", 0x0}, {"BS_ICON", 0x40}, {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100},
    {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300}, {"BS_TOP", 0x400}, {"BS_BOTTOM", 0x800},
    {"BS_VCENTER", 0xC00}, {"BS_PUSHLIKE", 0x1000}, {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000},
    {"BS_FLAT", 0x8000},
    // Static styles.
    {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1}, {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BLACKRECT", 0x4},
    {"SS_GRAYRECT", 0x5}, {"SS_WHITERECT", 0x6}, {"SS_BLACKFRAME", 0x7}, {"SS_GRAYFRAME", 0x8},
    {"SS_WHITEFRAME", 0x9}, {"SS_SIMPLE", 0xB}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_OWNERDRAW", 0xD},
    {"SS_BITMAP", 0xE}, {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11}, {"SS_ETCHEDFRAME", 0x12},
    {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200}, {"SS_RIGHTJUST", 0x400},
    {"SS_SUNKEN", 0x1000}, {"SS_ENDELLIPSIS", 0x4000}, {"SS_PATHELLIPSIS", 0x8000},
    {"SS_WORDELLIPSIS", 0xC000},
    // Edit styles.
    {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4}, {"ES_UPPERCASE", 0x8},
    {"ES_LOWERCASE", 0x10}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40}, {"ES_AUTOHSCROLL", 0x80},
    {"ES_NOHIDESEL", 0x100}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000}, {"ES_NUMBER", 0x2000},
    // Combo box styles.
    {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_OWNERDRAWFIXED", 0x10},
    {"CBS_OWNERDRAWVARIABLE", 0x20}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_OEMCONVERT", 0x80},
    {"CBS_SORT", 0x100}, {"CBS_HASSTRINGS", 0x200}, {"CBS_NOINTEGRALHEIGHT", 0x400},
    {"CBS_DISABLENOSCROLL", 0x800},
    // List box and scroll bar styles.
    {"LBS_NOTIFY", 0x1}, {"LBS_SORT", 0x2}, {"LBS_NOREDRAW", 0x4}, {"LBS_MULTIPLESEL", 0x8},
    {"LBS_HASSTRINGS", 0x40}, {"LBS_USETABSTOPS", 0x80}, {"LBS_NOINTEGRALHEIGHT", 0x100},
    {"LBS_WANTKEYBOARDINPUT", 0x400}, {"LBS_EXTENDEDSEL", 0x800}, {"LBS_DISABLENOSCROLL", 0x1000},
    {"LBS_STANDARD", 0x00A00003}, {"SBS_HORZ", 0x0}, {"SBS_VERT", 0x1},
    // Trackbar styles.
    {"TBS_AUTOTICKS", 0x1}, {"TBS_VERT", 0x2}, {"TBS_HORZ", 0x0}, {"TBS_TOP", 0x4}, {"TBS_BOTTOM", 0x0},
    {"TBS_LEFT", 0x4}, {"TBS_RIGHT", 0x0}, {"TBS_BOTH", 0x8}, {"TBS_NOTICKS", 0x10},
    {"TBS_ENABLESELRANGE", 0x20}, {"TBS_FIXEDLENGTH", 0x40}, {"TBS_NOTHUMB", 0x80}, {"TBS_TOOLTIPS", 0x100},
    // Tab control styles.
    {"TCS_TABS", 0x0}, {"TCS_SINGLELINE", 0x0}, {"TCS_BUTTONS", 0x100}, {"TCS_MULTILINE", 0x200},
    {"TCS_FIXEDWIDTH", 0x400}, {"TCS_RAGGEDRIGHT", 0x800}, {"TCS_FOCUSONBUTTONDOWN", 0x1000},
    {"TCS_TOOLTIPS", 0x4000}, {"TCS_FOCUSNEVER", 0x8000},
    // Dialog results, the static id, fonts, languages.
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7},
    {"IDCLOSE", 8}, {"IDHELP", 9}, {"IDC_STATIC", 0xFFFFFFFF}, {"FW_NORMAL", 400}, {"FW_BOLD", 700},
    {"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 0x09},
    {"SUBLANG_NEUTRAL", 0}, {"SUBLANG_DEFAULT", 1}, {"SUBLANG_ENGLISH_US", 1},
};
struct StringConstant {
    const char* name;
    const char* value;
};
constexpr StringConstant kStringConstants[] = {
    {"WC_TABCONTROL", "SysTabControl32"},
    {"TRACKBAR_CLASS", "msctls_trackbar32"},
};

constexpr uint32_t kWsChild = 0x40000000, kWsVisible = 0x10000000, kWsPopup = 0x80000000;
constexpr uint32_t kWsBorder = 0x00800000, kWsSysMenu = 0x00080000, kWsCaption = 0x00C00000;
constexpr uint32_t kWsGroup = 0x00020000, kWsTabStop = 0x00010000, kDsSetFont = 0x40;

// ---------------------------------------------------------------------------
struct CompileError {
    std::string text;
};

struct Location {
    std::shared_ptr<const std::string> file;
    int line = 0;
    std::string Text() const { return (file ? *file : std::string("?")) + ":" + std::to_string(line); }
};

[[noreturn]] void Throw(const Location& where, const std::string& what) {
    throw CompileError{where.Text() + ": error: " + what};
}

enum class Tok { End, Number, String, Ident, Punct, Directive };

struct Token {
    Tok kind = Tok::End;
    std::string text;      // identifier or punctuation
    uint32_t number = 0;
    bool isLong = false;   // number with an L suffix
    std::u16string str;    // string contents, decoded
    bool wide = false;     // L"..."
    bool spaceBefore = false;
    Location loc;
    std::vector<std::string> hide;  // macros this token came out of

    bool Is(const char* punct) const { return kind == Tok::Punct && text == punct; }
};

inline std::string Upper(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

inline std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::End: return "the end of the file";
        case Tok::Number: return "number " + std::to_string(t.number);
        case Tok::String: return "a string";
        case Tok::Ident: return "'" + t.text + "'";
        case Tok::Punct: return "'" + t.text + "'";
        case Tok::Directive: return "a directive";
    }
    return "?";
}

inline void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

inline std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace tessaloom::rc::detail
