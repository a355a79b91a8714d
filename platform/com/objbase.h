// COM start-up and GUID services.
#pragma once

#include "platform/com/unknwn.h"

HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
void CoUninitialize();
// A random (version 4) GUID.
HRESULT CoCreateGuid(GUID* guid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 upper-case characters and the
// terminator.  Returns the units written including the terminator, or 0 when
// `cchMax` is smaller than 39.
int StringFromGUID2(REFGUID guid, WCHAR* text, int cchMax);
// Parses the braced form.  Bad text gives CO_E_CLASSSTRING and all zeros.
HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid);
HRESULT IIDFromString(const WCHAR* text, IID* iid);

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
