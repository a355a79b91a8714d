#include "document/res_cache.h"

#include <cstdio>
#include <set>
#include <string>

#include "document/res_device.h"
#include "document/res_module.h"
#include "platform/win32/strings.h"

namespace {

DS_ResCacheRef* g_cacheHolder = nullptr;

// The size a picture gets when its module is missing and its bytes are used.
constexpr UINT kFallbackWidth = 800;
constexpr UINT kFallbackHeight = 600;

// A resource module that cannot be loaded leaves out whatever a document
// takes from it and does not carry itself, the shader effects above all:
// said once in the process for each module name.  Other paths reach the
// lookup too (an authoring file's path names no module); only names of
// modules are said.
void SayModuleMissing(const std::u16string& name) {
    static std::set<std::u16string> said;
    const std::u16string suffix = u".dll";
    if (name.size() < suffix.size()) return;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char16_t c = name[name.size() - suffix.size() + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != suffix[i]) return;
    }
    if (!said.insert(name).second) return;
    std::fprintf(stderr,
                 "resource manager: the resource module \"%s\" cannot be loaded: the effects, pictures and meshes "
                 "taken from it are missing\n",
                 tessaloom::Utf16ToUtf8(name).c_str());
}

}  // namespace

DS_ResCacheRef* GetResCacheHolder() { return g_cacheHolder; }
void SetResCacheHolder(DS_ResCacheRef* holder) { g_cacheHolder = holder; }

bool DS_ResCache::GetModule(const std::u16string& name, HMODULE& handle) {
    auto it = modules.find(name);
    if (it != modules.end()) {
        handle = it->second;
        return true;
    }
    HMODULE loaded = GetResModules().LoadModule(name);
    if (!loaded) {
        SayModuleMissing(name);
        return false;
    }
    modules.emplace(name, loaded);
    handle = loaded;
    return true;
}

DS_TextureInfo CreateTextureInfoFromMemory(const void* bytes, UINT size) {
    DS_TextureInfo info;
    if (!bytes || size == 0) return info;
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO image{};
    if (FAILED(GetResDevice().CreateTexture(bytes, size, &texture, &image)) || !texture) {
        if (texture) texture->Release();
        return info;
    }
    info.texture = DS_TextureRef::Adopt(texture);
    info.SetSize(image.Width, image.Height);
    return info;
}

bool CreateTextureFromMemory(DS_TextureInfo& info, const void* bytes, UINT size) {
    DS_TextureInfo made = CreateTextureInfoFromMemory(bytes, size);
    if (!made.texture) return false;
    info = std::move(made);
    return true;
}

bool LoadTextureFromModuleResource(HMODULE module, WORD number, DS_TextureInfo& out) {
    DS_ResourceBytes bytes = GetResModules().FindInModule(module, number, DS_ResourceType::DDS);
    if (!bytes) return false;
    return CreateTextureFromMemory(out, bytes.data, bytes.size);
}

DS_TextureRef LoadTextureFromOwnResource(WORD number, bool fullMipChain) {
    DS_ResourceBytes bytes = GetResModules().FindInExecutable(number, DS_ResourceType::DDS);
    if (!bytes) return {};
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(GetResDevice().CreateTextureNoFilter(bytes.data, bytes.size, fullMipChain, &texture))) {
        if (texture) texture->Release();
        return {};
    }
    return DS_TextureRef::Adopt(texture);
}

DS_TextureInfo LoadTextureFromFile(const DS_ResFileData&, DS_ResCache&) { return DS_TextureInfo(); }

DS_TextureInfo DS_LoadTexture(const DS_ResFileData& record, DS_ResCache& cache) {
    if (!record.path.empty()) {
        if (record.GetBytes()) return CreateTextureInfoFromMemory(record.GetBytes(), record.GetSize());
        return LoadTextureFromFile(record, cache);
    }

    const WORD number = DS_ResourceNumberFromStamp(record.resourceId);
    HMODULE module = nullptr;
    if (cache.GetModule(record.module, module)) {
        DS_TextureInfo& entry = cache.modulePictures[{module, number}];
        if (entry.texture) return entry;
        DS_TextureInfo made;
        if (!LoadTextureFromModuleResource(module, number, made))
            CreateTextureFromMemory(made, record.GetBytes(), record.GetSize());
        entry = made;
        return entry;
    }

    DS_TextureInfo preset;
    preset.SetSize(kFallbackWidth, kFallbackHeight);
    // A record with neither module name nor number has no key of its own:
    // sharing one entry would show the first such picture for all of them.
    if (record.module.empty() && number == 0) {
        CreateTextureFromMemory(preset, record.GetBytes(), record.GetSize());
        return preset;
    }
    DS_TextureInfo& entry = cache.fallbackPictures[{record.module, number}];
    if (entry.texture) return entry;
    CreateTextureFromMemory(preset, record.GetBytes(), record.GetSize());
    entry = preset;
    return entry;
}

DS_MeshData LoadMeshFromMemory(const void* bytes, UINT size, UINT vertexSize) {
    DS_MeshData mesh;
    if (!bytes || size == 0 || vertexSize != DS_MESH_VERTEX_SIZE) return mesh;
    if (FAILED(GetResDevice().CreateMesh(bytes, size, mesh)) || !mesh.vertexBuffer || !mesh.indexBuffer ||
        mesh.vertexCount > 0x10000u) {
        mesh.Release();
    }
    return mesh;
}

DS_MeshData LoadMeshFromModuleResource(HMODULE module, WORD number, UINT vertexSize) {
    DS_ResourceBytes bytes = GetResModules().FindInModule(module, number, DS_ResourceType::DDS);
    if (!bytes) return {};
    return LoadMeshFromMemory(bytes.data, bytes.size, vertexSize);
}

DS_MeshData LoadMeshFromFile(const std::u16string&, UINT) { return {}; }

DS_MeshData DS_LoadMesh(const DS_ResFileData& record, DS_ResCache& cache, UINT vertexSize) {
    const WORD number = DS_ResourceNumberFromStamp(record.resourceId);
    const DS_ResCache::NamedKey key{record.module, number};
    auto cached = cache.meshes.find(key);
    if (cached != cache.meshes.end() && cached->second.size() == 1) return cached->second.front();

    HMODULE module = nullptr;
    if (cache.GetModule(record.module, module)) {
        DS_MeshData mesh = LoadMeshFromModuleResource(module, number, vertexSize);
        if (!mesh.IsEmpty()) {
            cache.meshes[key].push_back(mesh);
            return mesh;
        }
    }
    if (record.GetBytes()) return LoadMeshFromMemory(record.GetBytes(), record.GetSize(), vertexSize);
    return LoadMeshFromFile(record.path, vertexSize);
}

DS_TextureInfo DS_LoadTexture(const DS_ResFileData& record) {
    DS_ResCacheRef* holder = GetResCacheHolder();
    return holder ? DS_LoadTexture(record, holder->Cache()) : DS_TextureInfo();
}

DS_MeshData DS_LoadMesh(const DS_ResFileData& record, UINT vertexSize) {
    DS_ResCacheRef* holder = GetResCacheHolder();
    return holder ? DS_LoadMesh(record, holder->Cache(), vertexSize) : DS_MeshData();
}
