// The tests' fake Direct3D objects, one set: stubs of every interface that
// fail with E_NOTIMPL, and fakes that override what their tests need.
//  - fake::Device, Texture, Surface, Direct3D: a CPU-only device for the D3DX
//    texture tests: textures, surfaces, format checks and caps as configured,
//    with the D3D9 rules the D3DX calls must respect (render-target textures
//    cannot be locked; a render target is read with GetRenderTargetData and
//    written with StretchRect).
//  - fake::AdapterDirect3D: adapters with the modes, formats, device types and
//    caps a test gives, CreateDevice calls recorded and refused by back-buffer
//    size; the devices it hands out are real offscreen devices of the
//    Direct3D stand-in, so they can be lost, reset and counted.
//  - fake::TextureStubs, BufferStubs<>: bases for resources that only count.
#pragma once

#include <algorithm>
#include <cstring>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/pixel_format.h"
#include "tests/support/offscreen_device.h"

namespace fake {

// clang-format off
// Every method fails with E_NOTIMPL (or answers 0) unless the fake overrides it.
struct DeviceStubs : IDirect3DDevice9 {
    HRESULT TestCooperativeLevel() override { return E_NOTIMPL; }
    UINT GetAvailableTextureMem() override { return 0; }
    HRESULT EvictManagedResources() override { return E_NOTIMPL; }
    HRESULT GetDirect3D(IDirect3D9**) override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(D3DCAPS9*) override { return E_NOTIMPL; }
    HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return E_NOTIMPL; }
    HRESULT GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*) override { return E_NOTIMPL; }
    HRESULT GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*) override { return E_NOTIMPL; }
    HRESULT StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*, D3DTEXTUREFILTERTYPE) override { return E_NOTIMPL; }
    HRESULT ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR) override { return E_NOTIMPL; }
    HRESULT SetRenderTarget(DWORD, IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT GetRenderTarget(DWORD, IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT SetDepthStencilSurface(IDirect3DSurface9*) override { return E_NOTIMPL; }
    HRESULT GetDepthStencilSurface(IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT BeginScene() override { return E_NOTIMPL; }
    HRESULT EndScene() override { return E_NOTIMPL; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return E_NOTIMPL; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT SetViewport(const D3DVIEWPORT9*) override { return E_NOTIMPL; }
    HRESULT GetViewport(D3DVIEWPORT9*) override { return E_NOTIMPL; }
    HRESULT SetMaterial(const D3DMATERIAL9*) override { return E_NOTIMPL; }
    HRESULT GetMaterial(D3DMATERIAL9*) override { return E_NOTIMPL; }
    HRESULT SetLight(DWORD, const D3DLIGHT9*) override { return E_NOTIMPL; }
    HRESULT GetLight(DWORD, D3DLIGHT9*) override { return E_NOTIMPL; }
    HRESULT LightEnable(DWORD, BOOL) override { return E_NOTIMPL; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
    HRESULT GetTexture(DWORD, IDirect3DBaseTexture9**) override { return E_NOTIMPL; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetScissorRect(const RECT*) override { return E_NOTIMPL; }
    HRESULT GetScissorRect(RECT*) override { return E_NOTIMPL; }
    HRESULT SetFVF(DWORD) override { return E_NOTIMPL; }
    HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetVertexShader(IDirect3DVertexShader9*) override { return E_NOTIMPL; }
    HRESULT GetVertexShader(IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT SetPixelShader(IDirect3DPixelShader9*) override { return E_NOTIMPL; }
    HRESULT GetPixelShader(IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer9**, UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT SetIndices(IDirect3DIndexBuffer9*) override { return E_NOTIMPL; }
    HRESULT GetIndices(IDirect3DIndexBuffer9**) override { return E_NOTIMPL; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, INT, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return E_NOTIMPL; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*, UINT) override { return E_NOTIMPL; }
};

// Every method fails with E_NOTIMPL (or answers 0) unless the fake overrides it.
struct Direct3DStubs : IDirect3D9 {
    UINT GetAdapterCount() override { return 0; }
    HRESULT GetAdapterIdentifier(UINT, DWORD, D3DADAPTER_IDENTIFIER9*) override { return E_NOTIMPL; }
    UINT GetAdapterModeCount(UINT, D3DFORMAT) override { return 0; }
    HRESULT EnumAdapterModes(UINT, D3DFORMAT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return E_NOTIMPL; }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override { return E_NOTIMPL; }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override { return E_NOTIMPL; }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return E_NOTIMPL; }
    HMONITOR GetAdapterMonitor(UINT) override { return nullptr; }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) override { return E_NOTIMPL; }
};

// Every method fails with E_NOTIMPL (or answers 0) unless the fake overrides it.
struct TextureStubs : IDirect3DTexture9 {
    HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD) override { return 0; }
    DWORD GetLOD() override { return 0; }
    DWORD GetLevelCount() override { return 1; }
    HRESULT GetLevelDesc(UINT, D3DSURFACE_DESC*) override { return E_NOTIMPL; }
    HRESULT GetSurfaceLevel(UINT, IDirect3DSurface9**) override { return E_NOTIMPL; }
    HRESULT LockRect(UINT, D3DLOCKED_RECT*, const RECT*, DWORD) override { return E_NOTIMPL; }
    HRESULT UnlockRect(UINT) override { return E_NOTIMPL; }
    HRESULT AddDirtyRect(const RECT*) override { return E_NOTIMPL; }
};

// A vertex buffer (Base IDirect3DVertexBuffer9) or an index buffer
// (IDirect3DIndexBuffer9): every method fails with E_NOTIMPL.
template <class Base>
struct BufferStubs : Base {
    using Desc = std::conditional_t<std::is_same_v<Base, IDirect3DVertexBuffer9>, D3DVERTEXBUFFER_DESC, D3DINDEXBUFFER_DESC>;
    HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override {
        return std::is_same_v<Base, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
    }
    HRESULT Lock(UINT, UINT, void**, DWORD) override { return E_NOTIMPL; }
    HRESULT Unlock() override { return E_NOTIMPL; }
    HRESULT GetDesc(Desc*) override { return E_NOTIMPL; }
};

// clang-format on

// A fake the test owns (on its stack or in its fixture): it counts references
// and never deletes itself; QueryInterface knows no interface.
template <class Base>
struct Unowned : Base {
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

// A fake made with new that deletes itself at its last Release, counting the
// live ones in `*live`.
template <class Base>
struct Counted : Base {
    explicit Counted(int* live) : live_(live) { ++*live_; }
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        ULONG r = --refs;
        if (r == 0) {
            --*live_;
            delete this;
        }
        return r;
    }
    ULONG refs = 1;
    int* live_;

protected:
    virtual ~Counted() = default;
};

}  // namespace fake

template <>
struct ComInterfaceIds<fake::TextureStubs>
    : ComIds<IID_IDirect3DResource9, IID_IDirect3DBaseTexture9, IID_IDirect3DTexture9> {};
template <>
struct ComInterfaceIds<IDirect3DSurface9> : ComIds<IID_IDirect3DResource9, IID_IDirect3DSurface9> {};

namespace fake {

inline int& LiveObjects() {
    static int count = 0;
    return count;
}

class Device;
class Texture;

class Surface final : public ComObject<IDirect3DSurface9> {
public:
    // A level of `owner` (reference count shared with it), or standalone.
    Surface(Device* device, Texture* owner, UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool)
        : device_(device), owner_(owner) {
        desc_ = D3DSURFACE_DESC{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, width, height};
        bytes.assign(tessaloom::d3dx::RowBytes(format, width) * height, 0);
        if (!owner_) ++LiveObjects();
    }
    ~Surface() override {
        if (!owner_) --LiveObjects();
    }
    // A level counts on its texture.
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetDesc(D3DSURFACE_DESC* d) override {
        *d = desc_;
        return S_OK;
    }
    HRESULT LockRect(D3DLOCKED_RECT* lr, const RECT* rect, DWORD) override {
        if (desc_.Usage & D3DUSAGE_RENDERTARGET) {
            ++refusedLocks;
            return D3DERR_INVALIDCALL;
        }
        if (locked_) return D3DERR_INVALIDCALL;
        RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(desc_.Width), static_cast<LONG>(desc_.Height)};
        if (r.left < 0 || r.top < 0 || r.right > static_cast<LONG>(desc_.Width) ||
            r.bottom > static_cast<LONG>(desc_.Height) || r.left >= r.right || r.top >= r.bottom)
            return D3DERR_INVALIDCALL;
        lr->Pitch = static_cast<INT>(Pitch());
        lr->pBits = bytes.data() + static_cast<size_t>(r.top) * Pitch() +
                    static_cast<size_t>(r.left) * tessaloom::d3dx::FindPixelFormat(desc_.Format)->bytesPerPixel;
        locked_ = true;
        return S_OK;
    }
    HRESULT UnlockRect() override {
        if (!locked_) return D3DERR_INVALIDCALL;
        locked_ = false;
        return S_OK;
    }

    UINT Pitch() const { return static_cast<UINT>(tessaloom::d3dx::RowBytes(desc_.Format, desc_.Width)); }
    const D3DSURFACE_DESC& desc() const { return desc_; }
    bool locked() const { return locked_; }
    std::vector<BYTE> bytes;
    int refusedLocks = 0;

private:
    Device* device_;
    Texture* owner_;
    D3DSURFACE_DESC desc_{};
    ULONG refs_ = 1;
    bool locked_ = false;
};

class Texture final : public ComObject<TextureStubs> {
public:
    Texture(Device* device, UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : device_(device), usage_(usage), pool_(pool), format_(format) {
        for (UINT i = 0; i < levels; ++i) {
            levels_.push_back(new Surface(device, this, w, h, format, usage, pool));
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
        }
        ++LiveObjects();
    }
    ~Texture() override {
        for (Surface* s : levels_) delete s;
        --LiveObjects();
    }
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* d) override {
        if (level >= levels_.size()) return D3DERR_INVALIDCALL;
        return levels_[level]->GetDesc(d);
    }
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** s) override {
        if (level >= levels_.size()) return D3DERR_INVALIDCALL;
        levels_[level]->AddRef();
        *s = levels_[level];
        return S_OK;
    }
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lr, const RECT* rect, DWORD flags) override {
        if (level >= levels_.size()) return D3DERR_INVALIDCALL;
        return levels_[level]->LockRect(lr, rect, flags);
    }
    HRESULT UnlockRect(UINT level) override {
        if (level >= levels_.size()) return D3DERR_INVALIDCALL;
        return levels_[level]->UnlockRect();
    }
    HRESULT AddDirtyRect(const RECT*) override { return S_OK; }

    Surface* level(UINT i) { return levels_[i]; }
    DWORD usage() const { return usage_; }
    D3DPOOL pool() const { return pool_; }
    D3DFORMAT format() const { return format_; }

private:
    Device* device_;
    DWORD usage_;
    D3DPOOL pool_;
    D3DFORMAT format_;
    std::vector<Surface*> levels_;
};

inline ULONG Surface::AddRef() { return owner_ ? owner_->AddRef() : ++refs_; }
inline ULONG Surface::Release() {
    if (owner_) return owner_->Release();
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

class Direct3D final : public Unowned<Direct3DStubs> {
public:
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE type,
                              D3DFORMAT format) override {
        if (adapterFormat != D3DFMT_X8R8G8B8 || type != D3DRTYPE_TEXTURE) return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET) return renderTargetFormats.count(format) ? S_OK : D3DERR_NOTAVAILABLE;
        return textureFormats.count(format) ? S_OK : D3DERR_NOTAVAILABLE;
    }
    std::set<D3DFORMAT> textureFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_R5G6B5,
                                          D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8,
                                          D3DFMT_L8,       D3DFMT_A8L8,     D3DFMT_V8U8,     D3DFMT_V16U16};
    std::set<D3DFORMAT> renderTargetFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
};

class Device final : public Unowned<DeviceStubs> {
public:
    HRESULT GetDirect3D(IDirect3D9** out) override {
        d3d.AddRef();
        *out = &d3d;
        return S_OK;
    }
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override {
        *caps = D3DCAPS9{};
        caps->DeviceType = D3DDEVTYPE_HAL;
        caps->TextureCaps = textureCaps;
        caps->MaxTextureWidth = caps->MaxTextureHeight = maxTexture;
        return S_OK;
    }
    HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE* mode) override {
        *mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
        return S_OK;
    }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) override {
        *p = D3DDEVICE_CREATION_PARAMETERS{0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING};
        return S_OK;
    }
    HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** out, HANDLE*) override {
        ++createdTextures;
        if (!out || w == 0 || h == 0 || !tessaloom::d3dx::FindPixelFormat(format)) return D3DERR_INVALIDCALL;
        if (d3d.CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE, format) != S_OK)
            return D3DERR_INVALIDCALL;
        UINT full = 1;
        for (UINT s = std::max(w, h); s > 1; s >>= 1) ++full;
        if (levels == 0 || levels > full) levels = full;
        last = new Texture(this, w, h, levels, usage, format, pool);
        *out = last;
        return S_OK;
    }
    HRESULT CreateOffscreenPlainSurface(UINT w, UINT h, D3DFORMAT format, D3DPOOL pool, IDirect3DSurface9** out,
                                        HANDLE*) override {
        if (!tessaloom::d3dx::FindPixelFormat(format)) return D3DERR_INVALIDCALL;
        *out = new Surface(this, nullptr, w, h, format, 0, pool);
        return S_OK;
    }
    // Same size and format only, as D3D9 asks.
    HRESULT GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dest) override {
        auto* s = static_cast<Surface*>(rt);
        auto* d = static_cast<Surface*>(dest);
        if (!(s->desc().Usage & D3DUSAGE_RENDERTARGET) || d->desc().Pool != D3DPOOL_SYSTEMMEM ||
            s->desc().Width != d->desc().Width || s->desc().Height != d->desc().Height ||
            s->desc().Format != d->desc().Format)
            return D3DERR_INVALIDCALL;
        d->bytes = s->bytes;
        ++readBacks;
        return S_OK;
    }
    // Unscaled copies into a render target from a default-pool surface.
    HRESULT StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dest, const RECT* destRect,
                        D3DTEXTUREFILTERTYPE) override {
        auto* s = static_cast<Surface*>(src);
        auto* d = static_cast<Surface*>(dest);
        if (s->desc().Pool != D3DPOOL_DEFAULT || !(d->desc().Usage & D3DUSAGE_RENDERTARGET) ||
            s->desc().Format != d->desc().Format || srcRect)
            return D3DERR_INVALIDCALL;
        RECT r = destRect ? *destRect : RECT{0, 0, static_cast<LONG>(d->desc().Width), static_cast<LONG>(d->desc().Height)};
        if (static_cast<UINT>(r.right - r.left) != s->desc().Width || static_cast<UINT>(r.bottom - r.top) != s->desc().Height)
            return D3DERR_INVALIDCALL;
        const UINT bpp = tessaloom::d3dx::FindPixelFormat(s->desc().Format)->bytesPerPixel;
        for (UINT y = 0; y < s->desc().Height; ++y)
            std::memcpy(d->bytes.data() + (r.top + y) * d->Pitch() + r.left * bpp, s->bytes.data() + y * s->Pitch(),
                        s->Pitch());
        ++stretches;
        return S_OK;
    }

    Direct3D d3d;
    DWORD textureCaps = D3DPTEXTURECAPS_MIPMAP;
    DWORD maxTexture = 4096;
    Texture* last = nullptr;
    int createdTextures = 0;
    int readBacks = 0;
    int stretches = 0;
};

inline HRESULT Surface::GetDevice(IDirect3DDevice9** out) {
    device_->AddRef();
    *out = device_;
    return S_OK;
}
inline HRESULT Texture::GetDevice(IDirect3DDevice9** out) {
    device_->AddRef();
    *out = device_;
    return S_OK;
}

struct Adapter {
    HMONITOR monitor = nullptr;
    D3DDISPLAYMODE desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> modes;
    bool hal = true;
    bool sw = false;
    DWORD devCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE;
    GUID id = {0x1234abcd, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
    const char* description = "Fake adapter";
    // Back-buffer formats a window can take (empty: every format).
    std::vector<D3DFORMAT> windowedFormats;
    std::vector<D3DFORMAT> depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8};
    std::vector<std::pair<UINT, UINT>> refusedSizes;
};

class AdapterDirect3D : public Unowned<Direct3DStubs> {
public:
    struct CreateCall {
        UINT adapter;
        D3DDEVTYPE type;
        HWND focus;
        DWORD behavior;
        D3DPRESENT_PARAMETERS params;
    };
    struct FormatCheck {
        D3DFORMAT adapterFormat;
        D3DFORMAT checked;
    };
    std::vector<Adapter> adapters;
    std::vector<CreateCall> creates;
    std::vector<FormatCheck> depthChecks;
    IDirect3D9* real = nullptr;

    explicit AdapterDirect3D(std::vector<Adapter> a) : adapters(std::move(a)) { real = Direct3DCreate9(D3D_SDK_VERSION); }
    ~AdapterDirect3D() {
        if (real) real->Release();
    }

    UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
    HRESULT GetAdapterIdentifier(UINT a, DWORD, D3DADAPTER_IDENTIFIER9* id) override {
        std::memset(id, 0, sizeof *id);
        std::strncpy(id->Description, adapters[a].description, sizeof id->Description - 1);
        id->DeviceIdentifier = adapters[a].id;
        return D3D_OK;
    }
    UINT GetAdapterModeCount(UINT a, D3DFORMAT f) override {
        UINT n = 0;
        for (const auto& m : adapters[a].modes) n += m.Format == f;
        return n;
    }
    HRESULT EnumAdapterModes(UINT a, D3DFORMAT f, UINT i, D3DDISPLAYMODE* out) override {
        for (const auto& m : adapters[a].modes) {
            if (m.Format != f) continue;
            if (i-- == 0) {
                *out = m;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL;
    }
    HRESULT GetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* mode) override {
        *mode = adapters[a].desktop;
        return D3D_OK;
    }
    bool HasType(UINT a, D3DDEVTYPE t) const {
        return (t == D3DDEVTYPE_HAL && adapters[a].hal) || (t == D3DDEVTYPE_SW && adapters[a].sw);
    }
    HRESULT CheckDeviceType(UINT a, D3DDEVTYPE t, D3DFORMAT af, D3DFORMAT bf, BOOL windowed) override {
        if (!HasType(a, t)) return D3DERR_NOTAVAILABLE;
        if (windowed) {
            const auto& w = adapters[a].windowedFormats;
            if (w.empty()) return D3D_OK;
            for (D3DFORMAT f : w)
                if (f == bf) return D3D_OK;
            return D3DERR_NOTAVAILABLE;
        }
        if (af != bf || GetAdapterModeCount(a, af) == 0) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }
    HRESULT CheckDeviceFormat(UINT a, D3DDEVTYPE, D3DFORMAT af, DWORD usage, D3DRESOURCETYPE, D3DFORMAT f) override {
        if (!(usage & D3DUSAGE_DEPTHSTENCIL)) return D3D_OK;
        depthChecks.push_back({af, f});
        for (D3DFORMAT d : adapters[a].depthFormats)
            if (d == f) return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override {
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDepthStencilMatch(UINT a, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT d) override {
        for (D3DFORMAT f : adapters[a].depthFormats)
            if (f == d) return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT GetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* caps) override {
        std::memset(caps, 0, sizeof *caps);
        caps->DeviceType = t;
        caps->AdapterOrdinal = a;
        caps->DevCaps = adapters[a].devCaps;
        return HasType(a, t) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    HMONITOR GetAdapterMonitor(UINT a) override { return adapters[a].monitor; }
    HRESULT CreateDevice(UINT a, D3DDEVTYPE t, HWND focus, DWORD behavior, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** out) override {
        *out = nullptr;
        creates.push_back({a, t, focus, behavior, *pp});
        for (auto [w, h] : adapters[a].refusedSizes)
            if (w == pp->BackBufferWidth && h == pp->BackBufferHeight) return D3DERR_NOTAVAILABLE;
        // A real offscreen device stands in for the one asked for.
        D3DPRESENT_PARAMETERS offscreen = tessaloom::testing::OffscreenParameters();
        const DWORD vp = behavior & ~D3DCREATE_PUREDEVICE;
        return real->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, vp, &offscreen, out);
    }
};

}  // namespace fake
