#include "document/archive.h"
#include "platform/win32/resources.h"

bool DS_ResFileData::LoadFromModule() {
    // A module that fails to load gives a null handle, with which the lookup
    // searches the executable's own table, where these numbers are absent.
    // The handle is kept: modules stay loaded for the life of the process.
    HMODULE module = LoadLibraryW(this->module.c_str());
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), u"DDS");
    if (!resource) return false;
    DWORD size = SizeofResource(module, resource);
    if (size == 0) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return false;
    const void* data = LockResource(loaded);
    if (!data) return false;
    SetBytes(size, data);
    return true;
}
