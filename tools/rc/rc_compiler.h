// The resource compiler: the subset of resource-script syntax the saver uses,
// compiled into resources laid out as a Windows executable stores them (see
// platform/win32/rc_table.h), and from there into a C++ table.
//
// Accepted:
//   preprocessor  #include "file" / <file>, #define NAME tokens (object-like),
//                 #undef, #if / #ifdef / #ifndef / #elif / #else / #endif,
//                 #error, #pragma once, #pragma code_page(65001); comments.
//   statements    STRINGTABLE, DIALOG, DIALOGEX (STYLE, EXSTYLE, CAPTION, FONT,
//                 CLASS, MENU, LANGUAGE, CHARACTERISTICS, VERSION), the control
//                 statements CONTROL, LTEXT, RTEXT, CTEXT, PUSHBUTTON,
//                 DEFPUSHBUTTON, PUSHBOX, GROUPBOX, CHECKBOX, AUTOCHECKBOX,
//                 RADIOBUTTON, AUTORADIOBUTTON, STATE3, AUTO3STATE, EDITTEXT,
//                 COMBOBOX, LISTBOX, SCROLLBAR, ICON; ICON "file"; RCDATA and
//                 user-defined types with a file or a BEGIN..END block of
//                 numbers and strings; LANGUAGE.
//   expressions   numbers (decimal, 0x hex, L suffix), names from #define or
//                 the predefined window, dialog and control style constants,
//                 | & + - * / ~ ( ) and NOT (clears bits in a style).
// Scripts are UTF-8.  Anything else stops with "file:line: error: ...".
// A control statement's style is its default style, ORed with the style it
// gives (NOT removes bits); every control has WS_CHILD | WS_VISIBLE.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/strings.h"

namespace tessaloom::rc {

// A resource type or name: a number (id != 0) or an upper-case name.
struct Key {
    uint16_t id = 0;
    std::u16string name;
    bool operator==(const Key& o) const { return id == o.id && name == o.name; }
};

struct Resource {
    Key type;
    Key name;
    std::vector<uint8_t> data;
    std::string origin;  // "file:line" of the statement
};

// Reads a whole file; false when it cannot be read.
using FileLoader = std::function<bool(const std::string& path, std::string& contents)>;
bool ReadFileFromDisk(const std::string& path, std::string& contents);

struct Options {
    std::vector<std::string> includeDirs;
    // NAME -> replacement text (tokenised like a #define body).
    std::vector<std::pair<std::string, std::string>> defines;
    // NAME -> a string literal holding the text as it stands (for file paths).
    std::vector<std::pair<std::string, std::string>> stringDefines;
    FileLoader loader = ReadFileFromDisk;
};

struct Result {
    bool ok = false;
    std::string error;                      // "file:line: error: what"
    std::vector<Resource> resources;        // in script order, string blocks last
    std::vector<std::string> dependencies;  // every file read, the script first
};

Result CompileFile(const std::string& path, const Options& options);
// `name` is the file name used in messages and for relative paths.
Result CompileText(const std::string& name, const std::string& text, const Options& options);

// C++ source defining the executable's resource table (rc_table.h).
std::string EmitTable(const std::vector<Resource>& resources, const std::string& sourceName);

}  // namespace tessaloom::rc
