// The executable's own resource table.  The resource compiler (tools/rc)
// turns resources/saver.rc into a C++ source of ResourceTableEntry rows and one
// ExecutableResourceRegistration object; that source is the `exe_resources`
// library, which the saver links whole, so the table registers itself before
// main runs.  FindResourceW with a null module (or the executable's handle)
// searches it.  A program that links no table has an empty one: every lookup
// fails as for a missing resource.
//
// Data layouts are those of a Windows executable's resources:
//   RT_STRING     block n (= string id / 16 + 1) holds 16 strings, each a WORD
//                 length and that many UTF-16 units (no terminator).
//   RT_DIALOG     a DLGTEMPLATE or DLGTEMPLATEEX with its items; read it with
//                 tessaloom::ParseDialogTemplate (rc_dialog.h).
//   RT_ICON       one image of an icon file (a BITMAPINFOHEADER bitmap or a PNG).
//   RT_GROUP_ICON the icon directory naming its RT_ICON images by number.
//   other types   the bytes of the file the script names.
#pragma once

#include <cstddef>

#include "platform/win32/types.h"

namespace tessaloom {

struct ResourceTableEntry {
    const WCHAR* typeName;  // upper case, or null for a numbered type
    WORD typeId;            // when typeName is null
    const WCHAR* name;      // upper case, or null for a numbered resource
    WORD id;                // when name is null
    const void* data;
    DWORD size;
};

// Replaces the executable's table with `count` rows (kept by pointer, not copied).
void RegisterExecutableResources(const ResourceTableEntry* entries, size_t count);

struct ExecutableResourceRegistration {
    ExecutableResourceRegistration(const ResourceTableEntry* entries, size_t count) {
        RegisterExecutableResources(entries, count);
    }
};

}  // namespace tessaloom
