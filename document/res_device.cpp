#include "document/res_device.h"

#include <cstdio>

namespace {

// The device side until the program links the D3DX texture, mesh and effect
// makers and a current device: every creation fails, and says so once.
class UnavailableDevice final : public DS_ResDevice {
public:
    HRESULT CreateTexture(const void*, UINT, IDirect3DTexture9** texture, D3DXIMAGE_INFO*) override {
        if (texture) *texture = nullptr;
        return Fail("texture");
    }
    HRESULT CreateTextureNoFilter(const void*, UINT, bool, IDirect3DTexture9** texture) override {
        if (texture) *texture = nullptr;
        return Fail("texture");
    }
    HRESULT CreateMesh(const void*, UINT, DS_MeshData& mesh) override {
        mesh.Release();
        return Fail("mesh");
    }
    HRESULT CreateEffect(const void*, UINT, ID3DXEffect** effect) override {
        if (effect) *effect = nullptr;
        return Fail("effect");
    }
    // No effect is ever made here, so there is none to count or notify.
    void AddRefEffect(ID3DXEffect*) override {}
    void ReleaseEffect(ID3DXEffect*) override {}
    void EffectLostDevice(ID3DXEffect*) override {}
    void EffectResetDevice(ID3DXEffect*) override {}
    HRESULT SaveTextureAsDDS(IDirect3DTexture9*, std::vector<BYTE>& bytes) override {
        bytes.clear();
        return Fail("DDS save");
    }

private:
    static HRESULT Fail(const char* what) {
        static bool said = false;
        if (!said)
            std::fprintf(stderr, "resource manager: no Direct3D resource maker in this program (%s not made)\n", what);
        said = true;
        return E_NOTIMPL;
    }
};

UnavailableDevice g_unavailable;
DS_ResDevice* g_device = &g_unavailable;

}  // namespace

DS_ResDevice& GetResDevice() { return *g_device; }

DS_ResDevice* SetResDevice(DS_ResDevice* device) {
    DS_ResDevice* previous = g_device;
    g_device = device ? device : &g_unavailable;
    return previous;
}
