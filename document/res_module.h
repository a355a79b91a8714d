// Numbered resources of resource modules and of the executable.
//
// A resource module ("common_res.dll") holds numbered pictures, picture sets
// and meshes (type "DDS") and compiled effects (RT_RCDATA).  A module name
// maps only to one of our resource container files; a name that names no
// container, or a container that cannot be opened, is a missing module, and
// a resource of a missing module is missing: the executable's own table is
// never searched in its place.
//
// Picture-set resource: int32 n, n floats (frame values), int32 m, then m
// resource-file records (one per frame).
#pragma once

#include <string>
#include <vector>

#include "document/archive.h"
#include "platform/win32/types.h"

// The bytes of one resource, valid until the process ends.
struct DS_ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
    explicit operator bool() const { return data != nullptr && size != 0; }
};

// Resource type "DDS" and RT_RCDATA.
enum class DS_ResourceType { DDS, RCData };

// How the resource manager reaches modules and the executable's table; one
// process-wide object, replaceable by tests.
class DS_ResModules {
public:
    virtual ~DS_ResModules() = default;
    // The module's handle, or null when it cannot be loaded.
    virtual HMODULE LoadModule(const std::u16string& name) = 0;
    // The resource `number` of `type` in a loaded module; empty when the
    // module handle is null or the resource is missing or empty.
    virtual DS_ResourceBytes FindInModule(HMODULE module, WORD number, DS_ResourceType type) = 0;
    // The same in the executable's own table.
    virtual DS_ResourceBytes FindInExecutable(WORD number, DS_ResourceType type) = 0;
};

DS_ResModules& GetResModules();
// Null puts the default (the platform's resource lookup) back; returns the
// previous one.
DS_ResModules* SetResModules(DS_ResModules* modules);

// A picture-set resource: frame values, then frame records.  Every count is
// checked against the bytes left (DS_LoadError otherwise).
struct DS_PictureSetResource {
    std::vector<float> frameValues;
    std::vector<DS_ResFileData> frames;
};
DS_PictureSetResource ReadPictureSetResource(const DS_ResourceBytes& bytes);
