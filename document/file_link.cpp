#include "document/file_link.h"

#include <cstdint>

namespace {

// Kept as unsigned so that wrapping after 2^31 links is defined; read back
// as the signed value it stands for.
uint32_t g_inMemoryLinkCounter = 0;

DS_LinkFileStore* g_currentLinkFileStore = nullptr;

}  // namespace

INT DS_PeekInMemoryLinkCounter() { return static_cast<INT>(g_inMemoryLinkCounter); }

void DS_FileLink3::ConstructFromResource(INT resource, const std::u16string& module) {
    key.path = module;
    key.stamp = static_cast<INT64>(resource);
}

void DS_FileLink3::ConstructFromFileData(const DS_ResFileData& record) {
    if (record.resourceId != 0) {
        key.path = record.module;
        key.stamp = static_cast<INT64>(static_cast<uint32_t>(record.resourceId));
    } else {
        key.path = record.path;
        key.stamp = static_cast<INT64>(static_cast<INT>(g_inMemoryLinkCounter));
        ++g_inMemoryLinkCounter;
    }
}

std::u16string DS_FileLink3::GetExtension() const {
    size_t dot = key.path.rfind(u'.');
    if (dot == std::u16string::npos) return std::u16string();
    std::u16string ext = key.path.substr(dot);
    for (char16_t& c : ext)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return ext;
}

DS_LinkFileStore* GetCurrentLinkFileStore() { return g_currentLinkFileStore; }
void SetCurrentLinkFileStore(DS_LinkFileStore* store) { g_currentLinkFileStore = store; }

void WriteFileLink(DS_IOF_Virtual& archive, const DS_FileLink3& link) {
    if (!link.key.path.empty() && g_currentLinkFileStore) g_currentLinkFileStore->SaveLinkFiles(link.key);
    archive.WriteString(link.key.path);
    archive.WriteInt64(link.key.stamp);
}

void ReadFileLink(DS_IOF_Virtual& archive, DS_FileLink3& link) {
    std::u16string path;
    INT64 stamp = 0;
    archive.ReadString(path);
    archive.ReadInt64(stamp);
    link.key.path = std::move(path);
    link.key.stamp = stamp;
}
