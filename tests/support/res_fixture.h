// Stand-ins for the device and module sides of the resource manager: textures
// that count their references and remember which bytes made them (decoded by
// the real picture decoders), effects and meshes that count too, and resource
// modules held in memory.  Pictures are small TGA files made here.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "document/res_device.h"
#include "document/res_module.h"
#include "platform/d3dx9/image.h"
#include "tests/support/fake_direct3d.h"

namespace resfix {

// An uncompressed 24-bit TGA of w x h pixels filled with one colour.
inline std::vector<BYTE> MakeTga(uint16_t w, uint16_t h, BYTE shade = 0x80) {
    std::vector<BYTE> f(18, 0);
    f[2] = 2;  // true-colour, uncompressed
    f[12] = static_cast<BYTE>(w);
    f[13] = static_cast<BYTE>(w >> 8);
    f[14] = static_cast<BYTE>(h);
    f[15] = static_cast<BYTE>(h >> 8);
    f[16] = 24;
    f[17] = 0x20;  // top-down
    f.resize(18 + static_cast<size_t>(w) * h * 3, shade);
    return f;
}

// A texture that only counts and remembers its size and first pixel.
class FakeTexture final : public fake::Counted<fake::TextureStubs> {
public:
    FakeTexture(int* live, UINT w, UINT h, BYTE firstPixel) : Counted(live), width(w), height(h), shade(firstPixel) {}
    UINT width, height;
    BYTE shade;  // the first pixel's blue byte: tells pictures apart
};

// A vertex or index buffer that only counts.
template <class Base>
class FakeBuffer final : public fake::Counted<fake::BufferStubs<Base>> {
public:
    explicit FakeBuffer(int* live) : fake::Counted<fake::BufferStubs<Base>>(live) {}
};

// An effect here is only a counted object; the manager never looks inside.
struct FakeEffect {
    std::string source;
    int refs = 1;
    int lost = 0;
    int reset = 0;
};

// A tiny mesh text the fake device accepts: "mesh <vertices> <faces>".
inline std::vector<BYTE> MakeMeshBytes(UINT vertices, UINT faces) {
    std::string s = "mesh " + std::to_string(vertices) + " " + std::to_string(faces);
    return std::vector<BYTE>(s.begin(), s.end());
}

class FakeDevice : public DS_ResDevice {
public:
    FakeDevice() { previous_ = SetResDevice(this); }
    ~FakeDevice() override {
        SetResDevice(previous_);
        for (FakeEffect* e : effects) delete e;
    }

    HRESULT CreateTexture(const void* bytes, UINT size, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) override {
        ++textureCalls;
        *texture = nullptr;
        tessaloom::d3dx::DecodedImage image;
        D3DXIMAGE_INFO decoded{};
        HRESULT hr = tessaloom::d3dx::DecodeImage(static_cast<const BYTE*>(bytes), size, &decoded, &image);
        if (FAILED(hr)) return hr;
        if (info) *info = decoded;
        *texture = new FakeTexture(&liveTextures, decoded.Width, decoded.Height,
                                   image.pixels.empty() ? 0 : image.pixels[0]);
        return S_OK;
    }
    HRESULT CreateTextureNoFilter(const void* bytes, UINT size, bool, IDirect3DTexture9** texture) override {
        return CreateTexture(bytes, size, texture, nullptr);
    }
    HRESULT CreateMesh(const void* bytes, UINT size, DS_MeshData& mesh) override {
        ++meshCalls;
        std::string text(static_cast<const char*>(bytes), size);
        unsigned v = 0, f = 0;
        if (std::sscanf(text.c_str(), "mesh %u %u", &v, &f) != 2 || v == 0) return E_FAIL;
        mesh.vertexBuffer = DS_ResRef<IDirect3DVertexBuffer9>::Adopt(new FakeBuffer<IDirect3DVertexBuffer9>(&liveBuffers));
        mesh.indexBuffer = DS_ResRef<IDirect3DIndexBuffer9>::Adopt(new FakeBuffer<IDirect3DIndexBuffer9>(&liveBuffers));
        mesh.vertexCount = v;
        mesh.faceCount = f;
        mesh.radius = 1.0f;
        return S_OK;
    }
    HRESULT CreateEffect(const void* bytes, UINT size, ID3DXEffect** effect) override {
        ++effectCalls;
        std::string text(static_cast<const char*>(bytes), size);
        if (text.rfind("effect", 0) != 0) {
            *effect = nullptr;
            return E_FAIL;
        }
        auto* e = new FakeEffect{text};
        effects.insert(e);
        *effect = reinterpret_cast<ID3DXEffect*>(e);
        return S_OK;
    }
    void AddRefEffect(ID3DXEffect* e) override { ++Of(e)->refs; }
    void ReleaseEffect(ID3DXEffect* e) override { --Of(e)->refs; }
    void EffectLostDevice(ID3DXEffect* e) override { ++Of(e)->lost; }
    void EffectResetDevice(ID3DXEffect* e) override { ++Of(e)->reset; }
    HRESULT SaveTextureAsDDS(IDirect3DTexture9*, std::vector<BYTE>& bytes) override {
        bytes = {'D', 'D', 'S', ' '};
        return S_OK;
    }

    static FakeEffect* Of(ID3DXEffect* e) { return reinterpret_cast<FakeEffect*>(e); }
    static FakeTexture* Of(IDirect3DTexture9* t) { return static_cast<FakeTexture*>(t); }

    int liveTextures = 0;
    int liveBuffers = 0;
    int textureCalls = 0;
    int meshCalls = 0;
    int effectCalls = 0;
    std::set<FakeEffect*> effects;

private:
    DS_ResDevice* previous_;
};

// Resource modules in memory, and the executable's own table.
class FakeModules final : public DS_ResModules {
public:
    FakeModules() { previous_ = SetResModules(this); }
    ~FakeModules() override { SetResModules(previous_); }

    void Add(const std::u16string& module, WORD number, DS_ResourceType type, std::vector<BYTE> bytes) {
        modules_.emplace(module, static_cast<int>(modules_.size()) + 1);
        resources_[{module, number, type}] = std::move(bytes);
    }
    void AddModule(const std::u16string& module) { modules_.emplace(module, static_cast<int>(modules_.size()) + 1); }
    void AddOwn(WORD number, std::vector<BYTE> bytes) { resources_[{u"", number, DS_ResourceType::DDS}] = std::move(bytes); }

    HMODULE LoadModule(const std::u16string& name) override {
        ++loads;
        auto it = modules_.find(name);
        if (it == modules_.end()) return nullptr;
        return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1000 * it->second));
    }
    DS_ResourceBytes FindInModule(HMODULE module, WORD number, DS_ResourceType type) override {
        ++finds;
        if (!module) return {};
        for (const auto& [name, id] : modules_)
            if (reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1000 * id)) == module) return Find(name, number, type);
        return {};
    }
    DS_ResourceBytes FindInExecutable(WORD number, DS_ResourceType type) override { return Find(u"", number, type); }

    int loads = 0;
    int finds = 0;

private:
    DS_ResourceBytes Find(const std::u16string& module, WORD number, DS_ResourceType type) {
        auto it = resources_.find({module, number, type});
        if (it == resources_.end() || it->second.empty()) return {};
        return DS_ResourceBytes{it->second.data(), static_cast<DWORD>(it->second.size())};
    }

    std::map<std::u16string, int> modules_;
    std::map<std::tuple<std::u16string, WORD, DS_ResourceType>, std::vector<BYTE>> resources_;
    DS_ResModules* previous_;
};

inline DS_ResFileData Record(INT id, const std::u16string& module, const std::u16string& path,
                             const std::vector<BYTE>& bytes) {
    DS_ResFileData r(id, module);
    r.path = path;
    r.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
    return r;
}

}  // namespace resfix
