#include "document/res_device.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/d3dx9/effect.h"
#include "platform/d3dx9/mesh.h"

namespace {

DS_CurrentDeviceGetter g_deviceGetter = nullptr;

void SayOnce(bool& said, const char* what) {
    if (!said) std::fprintf(stderr, "resource manager: %s\n", what);
    said = true;
}

IDirect3DDevice9* Device() {
    static bool said = false;
    IDirect3DDevice9* device = g_deviceGetter ? g_deviceGetter() : nullptr;
    if (!device) SayOnce(said, "no current Direct3D device: textures, meshes and effects are not made");
    return device;
}

// The vertex format every mesh is cloned to: position, normal, one texture
// coordinate (DS_MESH_VERTEX_SIZE bytes).
constexpr DWORD kMeshFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// Releases a COM pointer, if any, and clears it.
template <class T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Copies `bytes` bytes of a locked source into a new managed, write-only
// buffer made by `create`.
template <class Buffer, class Create>
HRESULT CopyIntoNewBuffer(const void* source, UINT bytes, Create&& create, Buffer** out) {
    *out = nullptr;
    Buffer* buffer = nullptr;
    HRESULT hr = create(&buffer);
    if (FAILED(hr)) return hr;
    void* target = nullptr;
    if (FAILED(hr = buffer->Lock(0, bytes, &target, 0))) {
        buffer->Release();
        return hr;
    }
    std::memcpy(target, source, bytes);
    buffer->Unlock();
    *out = buffer;
    return S_OK;
}

// The ready-to-draw record of a loaded, cloned and optimised mesh: its
// indices and vertices in new managed buffers and its bounding sphere.
HRESULT FillMeshData(IDirect3DDevice9* device, ID3DXMesh* clone, DS_MeshData& mesh) {
    const UINT vertices = clone->GetNumVertices();
    const UINT faces = clone->GetNumFaces();
    if (vertices == 0 || faces == 0) return D3DXERR_INVALIDDATA;
    // Meshes are drawn as 32-byte vertices with 16-bit indices: anything else
    // would be read wrongly by every draw.
    if (clone->GetNumBytesPerVertex() != DS_MESH_VERTEX_SIZE || (clone->GetOptions() & D3DXMESH_32BIT) ||
        vertices > 0x10000u)
        return D3DXERR_INVALIDDATA;

    const UINT indexBytes = faces * 3 * sizeof(WORD);
    const UINT vertexBytes = vertices * DS_MESH_VERTEX_SIZE;
    void* indices = nullptr;
    HRESULT hr = clone->LockIndexBuffer(D3DLOCK_READONLY, &indices);
    if (FAILED(hr)) return hr;
    IDirect3DIndexBuffer9* ib = nullptr;
    hr = CopyIntoNewBuffer(
        indices, indexBytes,
        [&](IDirect3DIndexBuffer9** b) {
            return device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, b,
                                             nullptr);
        },
        &ib);
    clone->UnlockIndexBuffer();
    if (FAILED(hr)) return hr;

    void* vertexData = nullptr;
    if (FAILED(hr = clone->LockVertexBuffer(D3DLOCK_READONLY, &vertexData))) {
        ib->Release();
        return hr;
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    hr = CopyIntoNewBuffer(
        vertexData, vertexBytes,
        [&](IDirect3DVertexBuffer9** b) {
            return device->CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, b, nullptr);
        },
        &vb);
    D3DXVECTOR3 center(0.0f, 0.0f, 0.0f);
    FLOAT radius = 0.0f;
    if (SUCCEEDED(hr))
        hr = D3DXComputeBoundingSphere(static_cast<const D3DXVECTOR3*>(vertexData), vertices, DS_MESH_VERTEX_SIZE,
                                       &center, &radius);
    clone->UnlockVertexBuffer();
    if (FAILED(hr)) {
        SafeRelease(vb);
        ib->Release();
        return hr;
    }
    mesh.indexBuffer = DS_ResRef<IDirect3DIndexBuffer9>::Adopt(ib);
    mesh.vertexBuffer = DS_ResRef<IDirect3DVertexBuffer9>::Adopt(vb);
    mesh.vertexCount = vertices;
    mesh.faceCount = faces;
    mesh.radius = radius;
    mesh.center[0] = center.x;
    mesh.center[1] = center.y;
    mesh.center[2] = center.z;
    return S_OK;
}

// Textures, meshes and effects through D3DX on the current device.
class D3DXDevice final : public DS_ResDevice {
public:
    HRESULT CreateTexture(const void* bytes, UINT size, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) override {
        *texture = nullptr;
        IDirect3DDevice9* device = Device();
        if (!device) return D3DERR_INVALIDCALL;
        return D3DXCreateTextureFromFileInMemoryEx(device, bytes, size, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                                   D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                                   D3DX_FILTER_NONE, 0, info, nullptr, texture);
    }
    HRESULT CreateTextureNoFilter(const void* bytes, UINT size, bool fullMipChain,
                                  IDirect3DTexture9** texture) override {
        *texture = nullptr;
        IDirect3DDevice9* device = Device();
        if (!device) return D3DERR_INVALIDCALL;
        return D3DXCreateTextureFromFileInMemoryEx(device, bytes, size, D3DX_DEFAULT, D3DX_DEFAULT,
                                                   fullMipChain ? D3DX_DEFAULT : 1, 0, D3DFMT_UNKNOWN,
                                                   D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                   fullMipChain ? D3DX_DEFAULT : D3DX_FILTER_NONE, 0, nullptr,
                                                   nullptr, texture);
    }
    HRESULT CreateMesh(const void* bytes, UINT size, DS_MeshData& mesh) override {
        mesh.Release();
        if (!bytes || size == 0) return E_INVALIDARG;
        IDirect3DDevice9* device = Device();
        if (!device) return D3DERR_INVALIDCALL;
        ID3DXBuffer* adjacency = nullptr;
        ID3DXBuffer* materials = nullptr;
        ID3DXBuffer* instances = nullptr;
        DWORD materialCount = 0;
        ID3DXMesh* loaded = nullptr;
        HRESULT hr = D3DXLoadMeshFromXInMemory(bytes, size, D3DXMESH_SYSTEMMEM, device, &adjacency, &materials,
                                               &instances, &materialCount, &loaded);
        ID3DXMesh* clone = nullptr;
        if (SUCCEEDED(hr)) hr = loaded->CloneMeshFVF(D3DXMESH_SYSTEMMEM, kMeshFVF, device, &clone);
        SafeRelease(loaded);
        const DWORD* adjacent = adjacency ? static_cast<const DWORD*>(adjacency->GetBufferPointer()) : nullptr;
        if (SUCCEEDED(hr)) hr = D3DXComputeNormals(clone, adjacent);
        if (SUCCEEDED(hr))
            hr = clone->OptimizeInplace(D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                        adjacent, nullptr, nullptr, nullptr);
        if (SUCCEEDED(hr)) hr = FillMeshData(device, clone, mesh);
        SafeRelease(clone);
        SafeRelease(adjacency);
        SafeRelease(materials);
        SafeRelease(instances);
        if (FAILED(hr)) {
            mesh.Release();
            static bool said = false;
            SayOnce(said, "a mesh could not be made from its .x data (the mesh is left empty)");
        }
        return hr;
    }
    HRESULT CreateEffect(const void* bytes, UINT size, ID3DXEffect** effect) override {
        *effect = nullptr;
        IDirect3DDevice9* device = Device();
        if (!device) return D3DERR_INVALIDCALL;
        return D3DXCreateEffect(device, bytes, size, nullptr, nullptr, 0, nullptr, effect, nullptr);
    }
    HRESULT CreateNamedEffect(const void* bytes, UINT size, const std::string& name, ID3DXEffect** effect) override {
        *effect = nullptr;
        IDirect3DDevice9* device = Device();
        if (!device) return D3DERR_INVALIDCALL;
        return tessaloom::d3dx9::CreateEffectNamed(device, bytes, size, name, effect, nullptr);
    }
    void AddRefEffect(ID3DXEffect* effect) override { effect->AddRef(); }
    void ReleaseEffect(ID3DXEffect* effect) override { effect->Release(); }
    void EffectLostDevice(ID3DXEffect* effect) override { effect->OnLostDevice(); }
    void EffectResetDevice(ID3DXEffect* effect) override { effect->OnResetDevice(); }
    HRESULT SaveTextureAsDDS(IDirect3DTexture9* texture, std::vector<BYTE>& bytes) override {
        bytes.clear();
        ID3DXBuffer* buffer = nullptr;
        HRESULT hr = D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_DDS, texture, nullptr);
        if (FAILED(hr) || !buffer) return FAILED(hr) ? hr : E_FAIL;
        const BYTE* p = static_cast<const BYTE*>(buffer->GetBufferPointer());
        bytes.assign(p, p + buffer->GetBufferSize());
        buffer->Release();
        return S_OK;
    }

};

D3DXDevice g_default;
DS_ResDevice* g_device = &g_default;

}  // namespace

DS_CurrentDeviceGetter SetResCurrentDeviceGetter(DS_CurrentDeviceGetter getter) {
    DS_CurrentDeviceGetter previous = g_deviceGetter;
    g_deviceGetter = getter;
    return previous;
}

DS_ResDevice& GetResDevice() { return *g_device; }

DS_ResDevice* SetResDevice(DS_ResDevice* device) {
    DS_ResDevice* previous = g_device;
    g_device = device ? device : &g_default;
    return previous;
}
