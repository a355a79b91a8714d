// GUIDs in the document: a 38-character string "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// upper-case hexadecimal, as StringFromGUID2 writes it.
#pragma once

#include "document/archive.h"
#include "platform/com/guid.h"

void WriteGuid(DS_IOF_Virtual& archive, const GUID& guid);
// Text that does not parse gives the null GUID; it does not stop the read.
void ReadGuid(DS_IOF_Virtual& archive, GUID& guid);
