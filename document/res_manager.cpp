#include "document/res_manager.h"

#include <cstdio>
#include <string>

#include "document/guid_text.h"
#include "document/res_module.h"
#include "platform/com/objbase.h"
#include "platform/d3dx9/d3dx9tex.h"
#include "platform/win32/strings.h"

namespace {

DS_DocResManager* g_currentManager = nullptr;

// The fewest bytes a stored value can take.
constexpr uint64_t kMinString = 4;
constexpr uint64_t kMinKey = kMinString + 8;
constexpr uint64_t kMinResFile = 4 + kMinString + 4 + kMinString;
constexpr uint64_t kMinListEntry = kMinKey + 4;
constexpr uint64_t kMinGuidEntry = kMinString + kMinString + 1 + 4 + kMinString;

const std::u16string kClassName = u"DS_DocResManager";

// Texture bytes that the pictures one document carries may take together
// on one device (each screen loads its own copy of the document): two of the
// largest pictures a decoder accepts, at four bytes a pixel.  Past it the
// load fails before anything is decoded, so a few small compressed files
// cannot make a screen take gigabytes.
constexpr uint64_t kDocumentTextureBudget = uint64_t{512} * 1024 * 1024;
constexpr uint64_t kTextureBytesPerPixel = 4;

// Counts the pictures' texture bytes from their file headers (nothing is decoded).
class PixelBudget {
public:
    void Add(const DS_FileData& file, const std::string& name) {
        if (!file.GetBytes() || file.GetSize() == 0) return;
        D3DXIMAGE_INFO info{};
        if (FAILED(D3DXGetImageInfoFromFileInMemory(file.GetBytes(), file.GetSize(), &info))) return;
        total_ += uint64_t{info.Width} * info.Height * kTextureBytesPerPixel;
        if (total_ > kDocumentTextureBudget)
            throw DS_LoadError("scene document: picture " + name + " (" + std::to_string(info.Width) + " x " +
                               std::to_string(info.Height) + ") takes the document's textures past " +
                               std::to_string(kDocumentTextureBudget >> 20) + " MB");
    }

private:
    uint64_t total_ = 0;
};

std::string GuidText(const GUID& guid) {
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return tessaloom::Utf16ToUtf8(text);
}

std::string KeyText(const DS_LinkKey& key) {
    return "\"" + tessaloom::Utf16ToUtf8(key.path) + "\" " + std::to_string(key.stamp);
}

// A count read from the document must leave room for `count` values of at
// least `minBytes` each, or the document is damaged.  Archives that do not
// know their end are read value by value, each read checking for itself.
UINT ReadCount(DS_IOF_Virtual& archive, uint64_t minBytes, const char* what) {
    UINT count = 0;
    archive.ReadUInt(count);
    if (auto* reader = dynamic_cast<DS_DocumentReader*>(&archive)) {
        if (static_cast<uint64_t>(count) * minBytes > reader->Buffer()->Remaining())
            throw DS_LoadError(std::string("scene document: ") + what + " count " + std::to_string(count) +
                               " at offset " + std::to_string(reader->Buffer()->Offset()) +
                               " does not fit in the bytes left");
    }
    return count;
}

DS_LinkKey ReadKey(DS_IOF_Virtual& archive) {
    DS_LinkKey key;
    archive.ReadString(key.path);
    archive.ReadInt64(key.stamp);
    return key;
}

void WriteKey(DS_IOF_Virtual& archive, const DS_LinkKey& key) {
    archive.WriteString(key.path);
    archive.WriteInt64(key.stamp);
}

void ReadFileTable(DS_IOF_Virtual& archive, std::map<DS_LinkKey, DS_ResFileList>& table) {
    UINT count = ReadCount(archive, kMinListEntry, "file table");
    for (UINT i = 0; i < count; ++i) {
        DS_LinkKey key = ReadKey(archive);
        UINT n = ReadCount(archive, kMinResFile, "file list");
        DS_ResFileList records;
        for (UINT j = 0; j < n; ++j) records.push_back(DS_ResFileData::Read(archive));
        table.emplace(std::move(key), std::move(records));  // a key already present keeps its entry
    }
}

void WriteFileTable(DS_IOF_Virtual& archive, const std::map<DS_LinkKey, DS_ResFileList>& table) {
    archive.WriteUInt(static_cast<UINT>(table.size()));
    for (const auto& [key, records] : table) {
        WriteKey(archive, key);
        archive.WriteUInt(static_cast<UINT>(records.size()));
        for (const DS_ResFileData& record : records) archive.WriteResFile(record);
    }
}

void ReadFrameValueTable(DS_IOF_Virtual& archive, std::map<DS_LinkKey, std::vector<float>>& table) {
    UINT count = ReadCount(archive, kMinListEntry, "frame-value table");
    for (UINT i = 0; i < count; ++i) {
        DS_LinkKey key = ReadKey(archive);
        UINT n = ReadCount(archive, 4, "frame-value list");
        std::vector<float> values(n);
        for (float& v : values) archive.ReadFloat(v);
        table.emplace(std::move(key), std::move(values));
    }
}

void ReadGuidTable(DS_IOF_Virtual& archive, std::map<GUID, DS_GuidData, DS_GuidLess>& table) {
    UINT count = ReadCount(archive, kMinGuidEntry, "GUID table");
    for (UINT i = 0; i < count; ++i) {
        DS_GuidData data;
        ReadGuid(archive, data.guid);
        archive.ReadString(data.name);
        archive.ReadBool(data.isNew);
        archive.ReadFileData(data.file);
        GUID guid = data.guid;
        table.emplace(guid, std::move(data));
    }
}

DS_ResFileData RecordForLink(const DS_FileLink3& link) {
    return DS_ResFileData(DS_ResourceNumberFromStamp(link.key.stamp), link.key.path);
}

}  // namespace

DS_DocResManager::DS_DocResManager() : cacheHolder_(std::make_unique<DS_ResCacheRef>()) {
    SetResCacheHolder(cacheHolder_.get());
}

DS_DocResManager::~DS_DocResManager() {
    if (g_currentManager == this) g_currentManager = nullptr;
    if (GetResCacheHolder() == cacheHolder_.get()) SetResCacheHolder(nullptr);
    if (GetCurrentLinkFileStore() == this) SetCurrentLinkFileStore(nullptr);
}

bool DS_DocResManager::ReadFields(DS_IOF_Virtual& archive, INT version) {
    ReadFileTable(archive, tables_.savedImages);
    ReadFrameValueTable(archive, tables_.frameValues);

    PixelBudget budget;
    for (const auto& [key, records] : tables_.savedImages)
        for (const DS_ResFileData& record : records) budget.Add(record, KeyText(key));
    for (auto& [key, records] : tables_.savedImages) {
        DS_ImageSet& set = tables_.imageCache[key];
        DS_ResFileList& all = tables_.allFiles[key];
        // Moved, not copied: the saved-images table is emptied below, and
        // each picture's bytes are then held once.
        all = std::move(records);
        set.ResizeFrames(all.size());
        for (size_t i = 0; i < all.size(); ++i) set.SetFrame(i, DS_LoadTexture(all[i], Cache()));
        if (all.size() >= 2) {
            auto values = tables_.frameValues.find(key);
            set.SetFrameValues(values != tables_.frameValues.end() ? values->second : std::vector<float>());
        }
    }
    tables_.savedImages.clear();

    if (version != 1) {
        ReadFileTable(archive, tables_.savedFiles);
        for (const auto& [key, records] : tables_.savedFiles) tables_.allFiles.emplace(key, records);
    }
    if (version != 1 && version != 2) {
        ReadGuidTable(archive, tables_.guidData);
        for (const auto& [guid, data] : tables_.guidData) budget.Add(data.file, "mask " + GuidText(guid));
        for (auto& [guid, data] : tables_.guidData) {
            DS_TextureInfo info = CreateTextureInfoFromMemory(data.file.GetBytes(), data.file.GetSize());
            tables_.guidTextures[guid] = info.texture;
        }
        tables_.guidData.clear();
    }
    return true;
}

void DS_DocResManager::Write(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, kClassName, kVersion);
    WriteFileTable(archive, tables_.savedImages);
    archive.WriteUInt(static_cast<UINT>(tables_.frameValues.size()));
    for (const auto& [key, values] : tables_.frameValues) {
        WriteKey(archive, key);
        archive.WriteUInt(static_cast<UINT>(values.size()));
        for (const float& v : values) archive.WriteFloat(v);
    }
    WriteFileTable(archive, tables_.savedFiles);
    archive.WriteUInt(static_cast<UINT>(tables_.guidData.size()));
    for (auto& [guid, data] : tables_.guidData) {
        if (DS_DocResManager* current = GetCurrentDocResManager()) current->RefreshGuidData(guid);
        WriteGuid(archive, guid);
        archive.WriteString(data.name);
        archive.WriteBool(data.isNew);
        archive.WriteFileData(data.file);
    }
}

void DS_DocResManager::OnLostDevice() {
    for (auto& [key, effect] : tables_.effectCache)
        if (effect.Get()) GetResDevice().EffectLostDevice(effect.Get());
    for (auto& [guid, entry] : tables_.guidRenderEntries) {
        entry.texture.Reset();
        entry.surface.Reset();
        entry.depth.Reset();
    }
}

void DS_DocResManager::OnResetDevice() {
    for (auto& [key, effect] : tables_.effectCache)
        if (effect.Get()) GetResDevice().EffectResetDevice(effect.Get());
    for (auto& [guid, entry] : tables_.guidRenderEntries) {
        auto texture = tables_.guidTextures.find(guid);
        entry.texture = texture != tables_.guidTextures.end() ? texture->second : DS_TextureRef();
    }
}

DS_ImageSet& DS_DocResManager::GetImage(const DS_FileLink3& link) {
    DS_ImageSet& set = tables_.imageCache[link.key];
    if (set.HasFrame()) return set;
    if (link.GetExtension() == u".dll") LoadDllImage(set, link);
    return set;
}

bool DS_DocResManager::LoadDllImage(DS_ImageSet& set, const DS_FileLink3& link) {
    DS_ResFileList& all = tables_.allFiles[link.key];
    all.push_back(RecordForLink(link));
    set.SetSingle(DS_LoadTexture(all.back(), Cache()));
    return true;
}

DS_ImageSet& DS_DocResManager::LoadDllImageSet(const DS_FileLink3& link) {
    DS_ImageSet& set = tables_.imageCache[link.key];
    if (set.HasFrame()) return set;
    HMODULE module = nullptr;
    if (!Cache().GetModule(link.key.path, module)) return set;
    DS_ResourceBytes bytes =
        GetResModules().FindInModule(module, DS_ResourceNumberFromStamp(link.key.stamp), DS_ResourceType::DDS);
    if (!bytes) return set;
    DS_PictureSetResource resource;
    try {
        resource = ReadPictureSetResource(bytes);
    } catch (const DS_LoadError&) {
        return set;  // a damaged picture set counts as a missing one
    }
    DS_ResFileList& all = tables_.allFiles[link.key];
    const size_t first = all.size();
    for (DS_ResFileData& record : resource.frames) all.push_back(std::move(record));
    set.SetFrameValues(resource.frameValues);
    set.ResizeFrames(all.size() - first);
    for (size_t i = first; i < all.size(); ++i) set.SetFrame(i - first, DS_LoadTexture(all[i], Cache()));
    return set;
}

DS_MeshData& DS_DocResManager::GetMesh(const DS_FileLink3& link, UINT vertexSize) {
    DS_MeshData& mesh = tables_.meshCache[link.key];
    if (mesh.vertexCount != 0) return mesh;
    DS_ResFileList& all = tables_.allFiles[link.key];
    if (all.empty()) {
        all.push_back(RecordForLink(link));
        all.back().LoadFromModule();
    }
    mesh = LoadMeshFromMemory(all.front().GetBytes(), all.front().GetSize(), vertexSize);
    return mesh;
}

ID3DXEffect* DS_DocResManager::GetEffect(const DS_FileLink3& link) {
    DS_EffectRef& entry = tables_.effectCache[link.key];
    if (entry.Get()) return entry.AddRefed();
    if (tables_.failedEffects.count(link.key)) return nullptr;
    DS_ResFileList& all = tables_.allFiles[link.key];
    if (all.empty()) {
        all.push_back(RecordForLink(link));
        HMODULE module = nullptr;
        if (Cache().GetModule(link.key.path, module)) {
            DS_ResourceBytes bytes = GetResModules().FindInModule(
                module, DS_ResourceNumberFromStamp(link.key.stamp), DS_ResourceType::RCData);
            if (bytes) all.back().SetBytes(bytes.size, bytes.data);
        }
    }
    const DS_ResFileData& record = all.back();
    ID3DXEffect* effect = nullptr;
    const std::string name =
        tessaloom::Utf16ToUtf8(link.key.path) + " #" + std::to_string(DS_ResourceNumberFromStamp(link.key.stamp));
    if (record.GetBytes() &&
        FAILED(GetResDevice().CreateNamedEffect(record.GetBytes(), record.GetSize(), name, &effect))) {
        if (effect) GetResDevice().ReleaseEffect(effect);
        effect = nullptr;  // stored as it is: callers cope with a null effect
        tables_.failedEffects.insert(link.key);
        std::fprintf(stderr, "resource manager: the effect %s could not be made: what uses it is drawn without it\n",
                     name.c_str());
    }
    entry = DS_EffectRef::Adopt(effect);
    return entry.AddRefed();
}

DS_ImageFileLink DS_DocResManager::AddImageFile(const DS_ResFileData& record) {
    DS_ImageFileLink link;
    link.ConstructFromFileData(record);
    DS_ResFileList& all = tables_.allFiles[link.key];
    if (all.empty()) all.push_back(record);
    tables_.imageCache[link.key].SetSingle(DS_LoadTexture(all.front(), Cache()));
    return link;
}

DS_ImageFileLink DS_DocResManager::AddImageSequence(const std::vector<float>& frameValues,
                                                    const std::vector<DS_ResFileData>& records) {
    DS_ImageFileLink link;
    if (records.empty()) return link;
    link.ConstructFromFileData(records.front());
    DS_ImageSet& set = tables_.imageCache[link.key];
    if (set.HasFrame()) return link;
    DS_ResFileList& all = tables_.allFiles[link.key];
    for (const DS_ResFileData& record : records) {
        set.AddFrame(DS_LoadTexture(record, Cache()));
        all.push_back(record);
    }
    set.SetFrameValues(frameValues);
    return link;
}

bool DS_DocResManager::PrepareLinkForSave(const DS_FileLink3& link) {
    if (link.key.path.empty()) return true;
    auto set = tables_.imageCache.find(link.key);
    if (set != tables_.imageCache.end() && set->second.HasFrame()) {
        tables_.frameValues[link.key] = set->second.FrameValues();
        tables_.savedImages[link.key] = tables_.allFiles[link.key];
    }
    return true;
}

bool DS_DocResManager::RefreshGuidData(const GUID& guid) {
    auto texture = tables_.guidTextures.find(guid);
    if (texture == tables_.guidTextures.end() || !texture->second) return true;
    std::vector<BYTE> bytes;
    if (FAILED(GetResDevice().SaveTextureAsDDS(texture->second.Get(), bytes))) return true;
    auto entry = tables_.guidData.find(guid);
    if (entry == tables_.guidData.end()) {
        DS_GuidData data;
        data.guid = guid;
        entry = tables_.guidData.emplace(guid, std::move(data)).first;
    }
    entry->second.file.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
    return true;
}

void DS_DocResManager::SaveLinkFiles(const DS_LinkKey& key) { tables_.savedFiles[key] = tables_.allFiles[key]; }

DS_DocResManager* GetCurrentDocResManager() { return g_currentManager; }

void SetCurrentDocResManager(DS_DocResManager* manager) {
    g_currentManager = manager;
    SetResCacheHolder(manager ? &manager->CacheHolder() : nullptr);
    SetCurrentLinkFileStore(manager);
}
