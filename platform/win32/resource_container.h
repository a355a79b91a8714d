// Reader of the resource container format (resource_container_format.h).
// Every offset and size is checked against the file before anything is used;
// a damaged container is rejected whole with a message saying what is wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace tessaloom {

struct ContainerEntry {
    WORD typeId = 0;           // 0 when the type has a name
    std::u16string typeName;   // upper case; empty for a numbered type
    WORD id = 0;
    uint32_t offset = 0;       // into ResourceContainer::Bytes()
    uint32_t size = 0;
};

class ResourceContainer {
public:
    // Null with `error` set when the bytes are not a valid resource container.
    static std::unique_ptr<ResourceContainer> Parse(std::vector<uint8_t> bytes, std::string* error);
    // Reads a whole file and parses it; a missing or unreadable file is an error too.
    static std::unique_ptr<ResourceContainer> Open(const std::string& path, std::string* error);

    const std::vector<ContainerEntry>& Entries() const { return entries_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Type by number (typeName null) or by name, compared without regard to case.
    const ContainerEntry* Find(WORD typeId, const char16_t* typeName, WORD id) const;

private:
    std::vector<uint8_t> bytes_;
    std::vector<ContainerEntry> entries_;
};

// Upper-cases ASCII letters, as resource names and types are compared.
std::u16string UpperResourceName(std::u16string_view name);

}  // namespace tessaloom
