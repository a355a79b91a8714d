// What the resource manager hands out: a texture with its picture's size, a
// picture set (the frames of one picture link), a mesh ready to draw, and a
// painted mask as the document stores it.
#pragma once

#include <string>
#include <vector>

#include "document/archive.h"
#include "platform/com/guid.h"
#include "platform/d3d9/d3d9.h"

struct ID3DXEffect;

// A numbered resource is looked up by the low 16 bits of its number, as
// MAKEINTRESOURCEW passes it; every lookup turns a link's stamp or a record's
// number into one through this.
inline WORD DS_ResourceNumberFromStamp(INT64 stamp) { return static_cast<WORD>(static_cast<UINT64>(stamp) & 0xFFFFu); }

// height / width; 1.0 for a picture of no width, so that nothing downstream
// divides by zero.
inline float DS_AspectOf(UINT width, UINT height) {
    return width != 0 ? static_cast<float>(height) / static_cast<float>(width) : 1.0f;
}

// Reference-counted holder of one interface pointer (AddRef on copy, Release
// on reset and destruction).
template <class T>
class DS_ResRef {
public:
    DS_ResRef() = default;
    // Takes over a reference the caller already holds.
    static DS_ResRef Adopt(T* p) {
        DS_ResRef r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static DS_ResRef Share(T* p) {
        if (p) p->AddRef();
        return Adopt(p);
    }
    DS_ResRef(const DS_ResRef& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    DS_ResRef(DS_ResRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    DS_ResRef& operator=(const DS_ResRef& o) {
        if (o.p_) o.p_->AddRef();
        Reset();
        p_ = o.p_;
        return *this;
    }
    DS_ResRef& operator=(DS_ResRef&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    ~DS_ResRef() { Reset(); }

    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    T* Get() const { return p_; }
    // A new reference for the caller, who releases it.
    T* AddRefed() const {
        if (p_) p_->AddRef();
        return p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    // The address of the held pointer itself, for readers that take the
    // pointer at the moment they use it.
    T* const* Address() const { return &p_; }

private:
    T* p_ = nullptr;
};

using DS_TextureRef = DS_ResRef<IDirect3DTexture9>;

// One picture made into a texture.  Width and height are the picture's own,
// before any rounding the texture got.
struct DS_TextureInfo {
    DS_TextureRef texture;  // may be empty
    UINT width = 0;
    UINT height = 0;
    float aspect = 1.0f;

    void SetSize(UINT w, UINT h) {
        width = w;
        height = h;
        aspect = DS_AspectOf(w, h);
    }
};

// What a picture link resolves to.
class DS_ImageSet {
public:
    // Replaces every frame by the info's one texture and takes its size.
    void SetSingle(const DS_TextureInfo& info);
    // Appends a frame and takes its size.
    void AddFrame(const DS_TextureInfo& info);
    // Frame i gets the info's texture (releasing the old one) and the set
    // takes its size.  Frames beyond the end are not made.
    void SetFrame(size_t i, const DS_TextureInfo& info);
    void ResizeFrames(size_t n) { frames_.resize(n); }

    // The first frame with the set's size; an empty set gives no texture,
    // width and height 0 and aspect 1.0.
    DS_TextureInfo GetFirst() const;

    size_t FrameCount() const { return frames_.size(); }
    // Frame i, or null past the end (a frame may also hold no texture).
    IDirect3DTexture9* GetFrame(size_t i) const { return i < frames_.size() ? frames_[i].Get() : nullptr; }
    bool HasFrame() const { return !frames_.empty(); }

    // The per-frame values: as many as stored, which need not match the
    // number of frames.  GetFrameValue answers `fallback` past the end.
    const std::vector<float>& FrameValues() const { return frameValues_; }
    void SetFrameValues(const std::vector<float>& values) { frameValues_ = values; }
    float GetFrameValue(size_t i, float fallback = 0.0f) const {
        return i < frameValues_.size() ? frameValues_[i] : fallback;
    }

    UINT width = 0;
    UINT height = 0;
    float aspect = 1.0f;

private:
    std::vector<DS_TextureRef> frames_;
    std::vector<float> frameValues_;
};

// One mesh ready to draw: position, normal, one texture coordinate (32 bytes
// a vertex), 16-bit indices.  An empty record has no buffers and zero counts.
struct DS_MeshData {
    DS_ResRef<IDirect3DVertexBuffer9> vertexBuffer;
    DS_ResRef<IDirect3DIndexBuffer9> indexBuffer;
    UINT vertexCount = 0;
    UINT faceCount = 0;
    float radius = 0.0f;
    float center[3] = {0.0f, 0.0f, 0.0f};

    bool IsEmpty() const { return vertexCount == 0; }
    void Release() { *this = DS_MeshData(); }
};

// The stride of the vertex format every mesh is cloned to.
constexpr UINT DS_MESH_VERTEX_SIZE = 32;

// One painted mask as stored: its GUID, a name, a "made new" flag and the
// mask as a DDS file.
struct DS_GuidData {
    // A new GUID (CoCreateGuid), empty name, flag set, no bytes.
    DS_GuidData();

    GUID guid{};
    std::u16string name;
    bool isNew = true;
    DS_FileData file;
};
