#include "document/archive.h"

#include <cstdint>
#include <string>

static_assert(sizeof(float) == 4);
static_assert(sizeof(POINT) == 8);

namespace {

// The smallest stored resource-file record: id, empty module, size 0, empty path.
constexpr size_t kMinResFileRecord = 4 + 4 + 4 + 4;

}  // namespace

void DS_FileData::SetBytes(DWORD size, const void* bytes) {
    if (size == 0 || bytes == nullptr) {
        ClearBytes();
        return;
    }
    const BYTE* p = static_cast<const BYTE*>(bytes);
    bytes_.assign(p, p + size);
}

void DS_FileData::SetPath(const std::u16string& newPath) {
    if (newPath == path) return;
    ClearBytes();
    path = newPath;
}

std::u16string DS_FileData::GetFileName() const {
    size_t slash = path.rfind(u'\\');
    if (slash == std::u16string::npos) return std::u16string();
    return path.substr(slash + 1);
}

DS_ResFileData DS_ResFileData::Read(DS_IOF_Virtual& archive) {
    DS_ResFileData record;
    archive.ReadResFile(record);
    return record;
}

void ResourceBuffer::ThrowPastEnd(size_t wanted) const {
    throw DS_LoadError("scene document ends early at offset " + std::to_string(Offset()) + ": " +
                       std::to_string(wanted) + " bytes wanted, " + std::to_string(Remaining()) + " left");
}

void ResourceBuffer::ReadString(std::u16string& value) {
    // Three marker bytes, skipped unread, then the length byte.
    const BYTE* prefix = Take(4);
    uint64_t n = prefix[3];
    if (n == 0xFF) {
        WORD w = ReadValue<WORD>();
        n = w;
        if (w == 0xFFFF) n = ReadValue<DWORD>();
    }
    // The length is checked before anything is allocated: a damaged length
    // in the billions must fail here, not in an allocation or a copy.
    if (n * 2 > Remaining()) ThrowPastEnd(static_cast<size_t>(n * 2));
    const BYTE* units = Take(static_cast<size_t>(n * 2));
    if (n == 0) return;  // an empty stored string keeps the earlier text
    size_t length = 0;
    while (length < n && (units[2 * length] | units[2 * length + 1]) != 0) ++length;
    value.resize(length);
    std::memcpy(value.data(), units, length * 2);
}

void ResourceBuffer::ReadBlob(DS_FileData& value) {
    DWORD size = ReadValue<DWORD>();
    if (size > Remaining()) ThrowPastEnd(size);
    value.SetBytes(size, Take(size));
    ReadString(value.path);
}

void ResourceBuffer::ReadFileData(DS_FileData& value) { ReadBlob(value); }

void ResourceBuffer::ReadResFile(DS_ResFileData& value) {
    Read(&value.resourceId, 4);
    ReadString(value.module);
    ReadBlob(value);
}

void ResourceBuffer::ReadFloatList(std::vector<float>& values) {
    INT count = ReadValue<INT>();
    if (count < 0 || static_cast<uint64_t>(count) * 4 > Remaining())
        throw DS_LoadError("scene document: float list of " + std::to_string(count) + " values at offset " +
                           std::to_string(Offset()) + " does not fit");
    values.resize(static_cast<size_t>(count));
    if (count > 0) Read(values.data(), static_cast<size_t>(count) * 4);
}

void ReadResFileListFromBuffer(ResourceBuffer& buffer, std::vector<DS_ResFileData>& records) {
    INT count = buffer.ReadValue<INT>();
    if (count < 0 || static_cast<uint64_t>(count) * kMinResFileRecord > buffer.Remaining())
        throw DS_LoadError("scene document: record list of " + std::to_string(count) + " records at offset " +
                           std::to_string(buffer.Offset()) + " does not fit");
    records.resize(static_cast<size_t>(count));
    for (DS_ResFileData& record : records) {
        record = DS_ResFileData();
        buffer.ReadResFile(record);
    }
}
