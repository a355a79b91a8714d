#include "platform/win32/resource_container.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include "platform/win32/resource_container_format.h"

namespace tessaloom {

namespace {

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[offset + static_cast<size_t>(i)];
    return v;
}

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// True when [offset, offset + size) lies inside the file and after the header.
bool InFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset >= container::kHeaderSize && offset <= fileSize && size <= fileSize - offset;
}

}  // namespace

std::u16string UpperResourceName(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

std::unique_ptr<ResourceContainer> ResourceContainer::Parse(std::vector<uint8_t> bytes, std::string* error) {
    using namespace container;
    const uint64_t fileSize = bytes.size();
    if (fileSize < kHeaderSize) {
        Fail(error, "resource container: file of " + std::to_string(fileSize) + " bytes is shorter than the header");
        return nullptr;
    }
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        Fail(error, "resource container: not a resource container (bad magic)");
        return nullptr;
    }
    const uint32_t version = ReadU32(bytes, 8);
    const uint32_t count = ReadU32(bytes, 12);
    const uint32_t tableOffset = ReadU32(bytes, 16);
    const uint32_t storedSize = ReadU32(bytes, 20);
    const uint32_t storedCrc = ReadU32(bytes, 24);
    if (version != kVersion) {
        Fail(error, "resource container: format version " + std::to_string(version) + " is not 1");
        return nullptr;
    }
    if (ReadU32(bytes, 28) != 0) {
        Fail(error, "resource container: reserved header field is not 0");
        return nullptr;
    }
    if (storedSize != fileSize) {
        Fail(error, "resource container: header says " + std::to_string(storedSize) + " bytes, file has " +
                        std::to_string(fileSize));
        return nullptr;
    }
    if (!InFile(tableOffset, static_cast<uint64_t>(count) * kEntrySize, fileSize)) {
        Fail(error, "resource container: entry table of " + std::to_string(count) + " entries at " +
                        std::to_string(tableOffset) + " lies outside the file");
        return nullptr;
    }
    auto result = std::unique_ptr<ResourceContainer>(new ResourceContainer());
    std::set<std::tuple<WORD, std::u16string, WORD>> seen;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = tableOffset + static_cast<size_t>(i) * kEntrySize;
        const uint32_t typeId = ReadU32(bytes, at);
        const uint32_t nameOffset = ReadU32(bytes, at + 4);
        const uint32_t nameUnits = ReadU32(bytes, at + 8);
        const uint32_t id = ReadU32(bytes, at + 12);
        const uint32_t dataOffset = ReadU32(bytes, at + 16);
        const uint32_t dataSize = ReadU32(bytes, at + 20);
        const std::string where = "resource container: entry " + std::to_string(i) + ": ";
        ContainerEntry entry;
        if (typeId != 0) {
            if (typeId > 0xFFFF || nameOffset != 0 || nameUnits != 0) {
                Fail(error, where + "bad numbered type");
                return nullptr;
            }
            entry.typeId = static_cast<WORD>(typeId);
        } else {
            if (nameUnits == 0 || nameUnits > kMaxTypeNameUnits ||
                !InFile(nameOffset, static_cast<uint64_t>(nameUnits) * 2, fileSize)) {
                Fail(error, where + "type name outside the file or of a bad length");
                return nullptr;
            }
            for (uint32_t u = 0; u < nameUnits; ++u) {
                char16_t c = static_cast<char16_t>(bytes[nameOffset + 2 * u] | (bytes[nameOffset + 2 * u + 1] << 8));
                if (c == 0) {
                    Fail(error, where + "type name holds a zero unit");
                    return nullptr;
                }
                entry.typeName.push_back(c);
            }
            entry.typeName = UpperResourceName(entry.typeName);
        }
        if (id == 0 || id > 0xFFFF) {
            Fail(error, where + "resource number " + std::to_string(id) + " is not in 1..65535");
            return nullptr;
        }
        entry.id = static_cast<WORD>(id);
        if (!InFile(dataOffset, dataSize, fileSize)) {
            Fail(error, where + "bytes at " + std::to_string(dataOffset) + " (size " + std::to_string(dataSize) +
                            ") lie outside the file");
            return nullptr;
        }
        entry.offset = dataOffset;
        entry.size = dataSize;
        if (!seen.emplace(entry.typeId, entry.typeName, entry.id).second) {
            Fail(error, where + "a second resource with the same type and number");
            return nullptr;
        }
        result->entries_.push_back(std::move(entry));
    }
    // The checksum last, so the structural checks above see every input.
    if (Crc32(bytes.data() + kHeaderSize, bytes.size() - kHeaderSize) != storedCrc) {
        Fail(error, "resource container: checksum mismatch (damaged bytes)");
        return nullptr;
    }
    result->bytes_ = std::move(bytes);
    return result;
}

std::unique_ptr<ResourceContainer> ResourceContainer::Open(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail(error, "resource container: cannot open " + path);
        return nullptr;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        Fail(error, "resource container: cannot read " + path);
        return nullptr;
    }
    std::string why;
    auto container = Parse(std::move(bytes), &why);
    if (!container) Fail(error, path + ": " + why);
    return container;
}

const ContainerEntry* ResourceContainer::Find(WORD typeId, const char16_t* typeName, WORD id) const {
    std::u16string upper = typeName ? UpperResourceName(typeName) : std::u16string();
    for (const auto& e : entries_) {
        if (e.id != id) continue;
        if (typeName ? e.typeName == upper : (e.typeName.empty() && e.typeId == typeId)) return &e;
    }
    return nullptr;
}

}  // namespace tessaloom
