#include "document/guid_text.h"

#include <string>

#include "platform/com/objbase.h"

void WriteGuid(DS_IOF_Virtual& archive, const GUID& guid) {
    WCHAR text[39] = {};
    StringFromGUID2(guid, text, 39);
    archive.WriteString(std::u16string(text));
}

void ReadGuid(DS_IOF_Virtual& archive, GUID& guid) {
    std::u16string text;
    archive.ReadString(text);
    // The result is deliberately not checked: bad text leaves all zeros.
    CLSIDFromString(text.c_str(), &guid);
}
