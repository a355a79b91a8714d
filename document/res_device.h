// The device side of the resource manager: how textures, meshes and effects
// are made from file bytes on the current device, and how an effect is told
// of a device reset.
//
// The manager calls these through one process-wide object, so that tests can
// count, fail and inspect what would reach the device.  The default one makes
// textures, meshes and effects through D3DX on the current device.
#pragma once

#include <string>
#include <vector>

#include "document/res_types.h"
#include "platform/d3dx9/d3dx9tex.h"

class DS_ResDevice {
public:
    virtual ~DS_ResDevice() = default;

    // A texture from an image file in memory: size D3DX_DEFAULT, one level, no
    // usage, the file's format, managed pool, triangle filter, no mip filter,
    // no colour key.  `info` gets the file's image information.
    virtual HRESULT CreateTexture(const void* bytes, UINT size, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) = 0;
    // The same with no filter and either a full mip chain with the default
    // mip filter or one level with none; no image information.
    virtual HRESULT CreateTextureNoFilter(const void* bytes, UINT size, bool fullMipChain,
                                          IDirect3DTexture9** texture) = 0;

    // A mesh from .x data: loaded in system memory, cloned to position +
    // normal + one texture coordinate, normals computed, optimised in place,
    // copied into write-only managed buffers with 16-bit indices, with its
    // bounding sphere.  Fails, leaving `mesh` empty, for data that cannot be
    // loaded or a mesh whose indices do not fit 16 bits.
    virtual HRESULT CreateMesh(const void* bytes, UINT size, DS_MeshData& mesh) = 0;

    // A compiled effect (no macros, no include handler, flags 0, no pool).
    virtual HRESULT CreateEffect(const void* bytes, UINT size, ID3DXEffect** effect) = 0;
    // The same, with the name messages about the effect give it (the link it
    // was asked for); a device side without names makes it unnamed.
    virtual HRESULT CreateNamedEffect(const void* bytes, UINT size, const std::string& name, ID3DXEffect** effect) {
        (void)name;
        return CreateEffect(bytes, size, effect);
    }
    virtual void AddRefEffect(ID3DXEffect* effect) = 0;
    virtual void ReleaseEffect(ID3DXEffect* effect) = 0;
    virtual void EffectLostDevice(ID3DXEffect* effect) = 0;
    virtual void EffectResetDevice(ID3DXEffect* effect) = 0;

    // The texture saved as a DDS file in memory.
    virtual HRESULT SaveTextureAsDDS(IDirect3DTexture9* texture, std::vector<BYTE>& bytes) = 0;
};

// The device the default device side makes everything on: the host's current
// device, which it switches per render unit.  The host installs the getter;
// without one (or with no current device) nothing is made.  Returns the
// getter it replaces (the scene library installs one when it is linked), so
// that a caller can put it back.
using DS_CurrentDeviceGetter = IDirect3DDevice9* (*)();
// Returns the getter installed before, so that a test can put it back.
DS_CurrentDeviceGetter SetResCurrentDeviceGetter(DS_CurrentDeviceGetter getter);

// The process-wide device side; never null.
DS_ResDevice& GetResDevice();
// Replaces it (null puts the default back); returns the previous one.
DS_ResDevice* SetResDevice(DS_ResDevice* device);

// An effect interface with a reference of its own, released through the
// device side.
class DS_EffectRef {
public:
    DS_EffectRef() = default;
    static DS_EffectRef Adopt(ID3DXEffect* e) {
        DS_EffectRef r;
        r.p_ = e;
        return r;
    }
    DS_EffectRef(const DS_EffectRef& o) : p_(o.p_) {
        if (p_) GetResDevice().AddRefEffect(p_);
    }
    DS_EffectRef& operator=(const DS_EffectRef& o) {
        if (o.p_) GetResDevice().AddRefEffect(o.p_);
        Reset();
        p_ = o.p_;
        return *this;
    }
    ~DS_EffectRef() { Reset(); }
    void Reset() {
        if (p_) {
            ID3DXEffect* e = p_;
            p_ = nullptr;
            GetResDevice().ReleaseEffect(e);
        }
    }
    ID3DXEffect* Get() const { return p_; }
    // The address of the held pointer itself (the drawing services take it so).
    ID3DXEffect* const* Address() const { return &p_; }
    ID3DXEffect* AddRefed() const {
        if (p_) GetResDevice().AddRefEffect(p_);
        return p_;
    }

private:
    ID3DXEffect* p_ = nullptr;
};
