// Dialog templates as the executable stores them (RT_DIALOG, in DLGTEMPLATE or
// DLGTEMPLATEEX form), read into plain structs for the dialog manager.
//
//   tessaloom::DialogTemplate dialog;
//   if (tessaloom::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(106), dialog)) ...
//
// Coordinates are dialog units, exactly as the script gives them.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace tessaloom {

// A name-or-number field of a template (menu, class, title): `ordinal` is set
// (and `text` empty) when the template gives a number.
struct TemplateName {
    WORD ordinal = 0;
    std::u16string text;
    bool IsOrdinal() const { return ordinal != 0; }
};

struct DialogControl {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;                 // a WORD in DLGTEMPLATE form
    TemplateName windowClass;     // ordinal 0x80.. for the predefined classes
    TemplateName title;           // ordinal for an icon or bitmap resource
    std::vector<BYTE> creationData;

    // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the
    // predefined class numbers, else the class name as stored.
    std::u16string ClassName() const;
};

struct DialogTemplate {
    bool extended = false;        // DLGTEMPLATEEX
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::u16string title;
    // Present when the style has DS_SETFONT (0x40).
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogControl> controls;

    const DialogControl* FindControl(DWORD id) const;
};

// Every field is read within `size`; false (and `error`) for a template that is
// cut short or malformed.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate& out, std::string* error = nullptr);

// FindResourceW(module, name, RT_DIALOG) and ParseDialogTemplate; module null
// is the executable.
bool LoadDialogTemplate(HMODULE module, LPCWSTR name, DialogTemplate& out, std::string* error = nullptr);

}  // namespace tessaloom
