// The texture and mesh cache behind the resource manager, the helpers that
// make textures and meshes from bytes, and the decision of where one stored
// file's picture comes from.
//
// Each resource manager owns one cache, and everything it makes goes through
// its own cache: a texture belongs to the device that was current when it was
// made, so one screen's textures are never handed to another screen.  The
// process-wide cache holder names the current manager's cache.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/archive.h"
#include "document/res_types.h"

class DS_ResCache {
public:
    DS_ResCache() = default;
    DS_ResCache(const DS_ResCache&) = delete;
    DS_ResCache& operator=(const DS_ResCache&) = delete;

    // The module's handle, loaded on first use and kept; false (and nothing
    // kept, so the next call tries again) when it cannot be loaded.
    bool GetModule(const std::u16string& name, HMODULE& handle);

    using ModuleKey = std::pair<HMODULE, WORD>;            // handle, resource number
    using NamedKey = std::pair<std::u16string, WORD>;      // module name, resource number

    std::map<std::u16string, DS_TextureInfo> filePictures;
    std::map<ModuleKey, DS_TextureInfo> modulePictures;
    std::map<NamedKey, DS_TextureInfo> fallbackPictures;
    std::map<NamedKey, std::vector<DS_MeshData>> meshes;
    std::map<std::u16string, HMODULE> modules;  // never freed
};

class DS_ResCacheRef {
public:
    DS_ResCacheRef() : cache_(std::make_unique<DS_ResCache>()) {}
    DS_ResCache& Cache() const { return *cache_; }

private:
    std::unique_ptr<DS_ResCache> cache_;
};

// The current manager's cache holder (null before any manager exists).
DS_ResCacheRef* GetResCacheHolder();
void SetResCacheHolder(DS_ResCacheRef* holder);

// Textures.  A picture that cannot be made gives no texture, width and height
// 0 and aspect 1.0.
DS_TextureInfo CreateTextureInfoFromMemory(const void* bytes, UINT size);
// Fails when the module lacks the resource or the texture cannot be made.
bool LoadTextureFromModuleResource(HMODULE module, WORD number, DS_TextureInfo& out);
// From bytes; `info` keeps its values when the bytes cannot be decoded.
bool CreateTextureFromMemory(DS_TextureInfo& info, const void* bytes, UINT size);
// From the executable's own "DDS" resource, unfiltered; no texture when missing.
DS_TextureRef LoadTextureFromOwnResource(WORD number, bool fullMipChain);

// Authoring files named by a document are never opened: the path is taken as
// a file that does not exist here, and gives no texture.
DS_TextureInfo LoadTextureFromFile(const DS_ResFileData& record, DS_ResCache& cache);

// Where one stored file's picture comes from:
//  - a record with a path: its bytes (not cached), else its file (never read);
//  - a record without a path whose module loads: the module's resource
//    (cached under handle and number), else the record's own bytes;
//  - a record without a path whose module does not load: its own bytes with
//    the size preset to 800 x 600 (cached under module name and number;
//    records with neither name nor number are not cached).
// Entries with no texture are tried again on the next lookup.
DS_TextureInfo DS_LoadTexture(const DS_ResFileData& record, DS_ResCache& cache);

// Meshes.  A mesh is made only from bytes that exist, with the vertex size
// of the cloned format (DS_MESH_VERTEX_SIZE); otherwise the record is empty.
DS_MeshData LoadMeshFromMemory(const void* bytes, UINT size, UINT vertexSize);
DS_MeshData LoadMeshFromModuleResource(HMODULE module, WORD number, UINT vertexSize);
// Never reads the file (see LoadTextureFromFile): an empty mesh.
DS_MeshData LoadMeshFromFile(const std::u16string& path, UINT vertexSize);

// One stored file's mesh: the cached mesh of its module and number, else the
// module's resource (cached), else its bytes, else its path.
DS_MeshData DS_LoadMesh(const DS_ResFileData& record, DS_ResCache& cache, UINT vertexSize);

// The same through the process-wide cache holder (the current manager's);
// with no manager yet, nothing is made.
DS_TextureInfo DS_LoadTexture(const DS_ResFileData& record);
DS_MeshData DS_LoadMesh(const DS_ResFileData& record, UINT vertexSize);
