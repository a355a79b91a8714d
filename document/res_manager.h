// The resources of one loaded scene document: the bytes of the files it
// carries, the textures, picture sets, meshes and effects made from them, and
// the painted masks named by GUID.  Its section is the last record of the
// document; reading it turns the document's pictures into textures at once,
// while meshes, effects and module pictures are made on first use.
//
// Section (after the class name and the int32 version):
//   1. saved images:  u32 count; count x {string path; int64 stamp; u32 n; n resource-file records}
//   2. frame values:  u32 count; count x {string path; int64 stamp; u32 n; n floats}
//   3. saved files (version != 1): as table 1
//   4. GUID data (version != 1, 2): u32 count; count x {string GUID text; string name;
//      bool flag; file blob}
// Every count is checked against the bytes left before anything is made; an
// entry whose key is already present is dropped (the first read stays).
#pragma once

#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "document/file_link.h"
#include "document/item.h"
#include "document/res_cache.h"
#include "document/res_device.h"
#include "document/res_types.h"

struct DS_GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

using DS_ResFileList = std::vector<DS_ResFileData>;

// Three device objects a painted mask can be drawn through.  No operation of
// this system makes one; the table and its lost/reset handling are kept.
struct DS_GuidRenderEntry {
    DS_TextureRef texture;
    DS_ResRef<IDirect3DSurface9> surface;
    DS_ResRef<IDirect3DSurface9> depth;
};

struct DS_DocResTables {
    std::map<DS_LinkKey, DS_ResFileList> savedFiles;
    std::map<DS_LinkKey, DS_ResFileList> savedImages;
    std::map<DS_LinkKey, std::vector<float>> frameValues;
    std::map<GUID, DS_GuidData, DS_GuidLess> guidData;
    std::map<DS_LinkKey, DS_ImageSet> imageCache;
    std::map<DS_LinkKey, DS_MeshData> meshCache;
    std::map<GUID, DS_GuidRenderEntry, DS_GuidLess> guidRenderEntries;
    std::map<DS_LinkKey, DS_EffectRef> effectCache;
    // Links whose bytes did not make an effect on this manager's device (one
    // manager per screen): they are not built again, nor reported again.
    std::set<DS_LinkKey> failedEffects;
    std::map<DS_LinkKey, DS_ResFileList> allFiles;
    std::map<GUID, DS_TextureRef, DS_GuidLess> guidTextures;
};

class DS_DocResManager final : public DS_IOF_Item, public DS_LinkFileStore {
public:
    static constexpr INT kVersion = 3;

    // Makes its cache and makes it the process-wide cache holder.
    DS_DocResManager();
    // Hands the holder, the current-manager and the link-store pointers back
    // (to null) when they name this manager.
    ~DS_DocResManager() override;
    DS_DocResManager(const DS_DocResManager&) = delete;
    DS_DocResManager& operator=(const DS_DocResManager&) = delete;

    // Reads the section's tables for `version` and makes the pictures.
    bool ReadFields(DS_IOF_Virtual& archive, INT version);
    // The whole section, version 3: class name, version, the four tables.
    void Write(DS_IOF_Virtual& archive) override;

    void OnLostDevice();
    void OnResetDevice();

    // The texture slot of a painted mask; an unknown GUID gets an empty slot.
    DS_TextureRef& GetGuidTexture(const GUID& guid) { return tables_.guidTextures[guid]; }

    // Picture sets, meshes and effects by link.  Sets and meshes stay owned by
    // the manager; an effect comes with a reference the caller releases
    // (through GetResDevice().ReleaseEffect), or null.
    DS_ImageSet& GetImage(const DS_FileLink3& link);
    bool LoadDllImage(DS_ImageSet& set, const DS_FileLink3& link);
    DS_ImageSet& LoadDllImageSet(const DS_FileLink3& link);
    DS_MeshData& GetMesh(const DS_FileLink3& link, UINT vertexSize);
    ID3DXEffect* GetEffect(const DS_FileLink3& link);

    // In-memory links for files a record carries.
    DS_ImageFileLink AddImageFile(const DS_ResFileData& record);
    // An empty list gives an empty link.
    DS_ImageFileLink AddImageSequence(const std::vector<float>& frameValues, const std::vector<DS_ResFileData>& records);

    // Before a picture link is written: its frame values and records go into
    // the tables that are written.
    bool PrepareLinkForSave(const DS_FileLink3& link);
    // Before a mask is written: its texture as a DDS file into its entry.
    bool RefreshGuidData(const GUID& guid);
    // Before any link is written: its all-files records travel as saved files.
    void SaveLinkFiles(const DS_LinkKey& key) override;

    DS_DocResTables& Tables() { return tables_; }
    const DS_DocResTables& Tables() const { return tables_; }
    DS_ResCacheRef& CacheHolder() { return *cacheHolder_; }
    DS_ResCache& Cache() { return cacheHolder_->Cache(); }

private:
    std::unique_ptr<DS_ResCacheRef> cacheHolder_;
    DS_DocResTables tables_;
};

// The current manager: the one of the document read last, switched by the
// host per screen.  Switching it switches the process-wide cache holder and
// the store that writing links use.
DS_DocResManager* GetCurrentDocResManager();
void SetCurrentDocResManager(DS_DocResManager* manager);
