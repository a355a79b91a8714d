// Writer of the resource container format (platform/win32/resource_container_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaloom::container {

struct Item {
    uint16_t typeId = 0;       // a numbered type (RT_RCDATA = 10), or 0 ...
    std::string typeName;      // ... for a named type ("DDS"); ASCII, upper-cased when written
    uint16_t id = 0;           // 1..65535
    std::vector<uint8_t> bytes;
};

// The container's bytes; false (and `error`) for an item with a bad type or
// number, or two items with the same type and number.
bool WriteContainer(const std::vector<Item>& items, std::vector<uint8_t>& out, std::string* error);

// Items from a folder laid out as <type>/<number>[.anything]: <type> is a
// number, RCDATA (10), or a type name such as DDS.  Files whose names do not
// start with a number are an error, so nothing is left out silently.
bool ItemsFromFolder(const std::string& folder, std::vector<Item>& items, std::string* error);

// Items from a manifest of lines "TYPE NUMBER PATH" (paths relative to the
// manifest's folder; '#' starts a comment line).
bool ItemsFromManifest(const std::string& manifest, std::vector<Item>& items, std::string* error);

}  // namespace tessaloom::container
