#include "document/res_device.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

DS_CurrentDeviceGetter g_deviceGetter = nullptr;

void SayOnce(bool& said, const char* what) {
    if (!said) std::fprintf(stderr, "resource manager: %s\n", what);
    said = true;
}

IDirect3DDevice9* Device() {
    static bool said = false;
    IDirect3DDevice9* device = g_deviceGetter ? g_deviceGetter() : nullptr;
    if (!device) SayOnce(said, "no current Direct3D device: textures are not made");
    return device;
}

// Textures through D3DX on the current device.  Meshes and effects need the
// D3DX mesh and effect makers, which this program does not have: they fail.
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
    HRESULT CreateMesh(const void*, UINT, DS_MeshData& mesh) override {
        mesh.Release();
        return Unavailable("meshes");
    }
    HRESULT CreateEffect(const void*, UINT, ID3DXEffect** effect) override {
        *effect = nullptr;
        return Unavailable("effects");
    }
    // No effect is ever made here, so there is none to count or notify.
    void AddRefEffect(ID3DXEffect*) override {}
    void ReleaseEffect(ID3DXEffect*) override {}
    void EffectLostDevice(ID3DXEffect*) override {}
    void EffectResetDevice(ID3DXEffect*) override {}
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

private:
    static HRESULT Unavailable(const char* what) {
        static bool said = false;
        std::string text = std::string("this program cannot make ") + what + " (nothing is made)";
        SayOnce(said, text.c_str());
        return E_NOTIMPL;
    }
};

D3DXDevice g_default;
DS_ResDevice* g_device = &g_default;

}  // namespace

void SetResCurrentDeviceGetter(DS_CurrentDeviceGetter getter) { g_deviceGetter = getter; }

DS_ResDevice& GetResDevice() { return *g_device; }

DS_ResDevice* SetResDevice(DS_ResDevice* device) {
    DS_ResDevice* previous = g_device;
    g_device = device ? device : &g_default;
    return previous;
}
