// Meshes: a frame with a vertex buffer (DS_SimpleMesh<V>), with an index
// buffer (DS_IndexedMesh<V>), with a texture (DS_TexturedMesh<V>), textured
// quads, the 8 x 8 grid, and a few device helpers.  All device work goes to
// CurrentDevice; with no device nothing is created (the creation calls
// return false) and nothing is drawn.  Buffers are write-only and managed
// unless a caller asks otherwise; indices are 16-bit.
#pragma once

#include <type_traits>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9core.h"
#include "scene/com_ref.h"
#include "scene/current_device.h"
#include "scene/frame.h"
#include "scene/quad_verts.h"
#include "scene/vertex_formats.h"

// The description of back buffer 0 of CurrentDevice; all zeros when there is
// no device or no back buffer.
D3DSURFACE_DESC GetBackBufferDesc();

template <class V>
class DS_SimpleMesh : public DS_Frame {
public:
    DS_SimpleMesh() = default;
    // Copies share the buffer (a reference is added); the locked pointer is
    // copied as it is.
    DS_SimpleMesh(const DS_SimpleMesh&) = default;
    DS_SimpleMesh& operator=(const DS_SimpleMesh&) = default;
    ~DS_SimpleMesh() = default;

    // Releases the old buffer and makes one of n vertices.  False (and no
    // buffer) when there is no device or the creation fails.
    bool CreateVertexBuffer(UINT n, DWORD usage = D3DUSAGE_WRITEONLY, D3DPOOL pool = D3DPOOL_MANAGED) {
        vertexBuffer.Release();
        vertexCount = n;
        if (!CurrentDevice || n == 0) return false;
        if (FAILED(CurrentDevice->CreateVertexBuffer(n * sizeof(V), usage, V::FVF, pool, vertexBuffer.Out(), nullptr))) {
            vertexBuffer.Release();
            return false;
        }
        return true;
    }
    // A new 4-vertex strip of 2 primitives.
    bool CreateQuad() {
        primitiveType = D3DPT_TRIANGLESTRIP;
        primitiveCount = 2;
        return CreateVertexBuffer(4);
    }

    // Locks the whole buffer; null when there is none or the lock fails.
    // The colours may be written through it, so the quad is no longer known
    // to be clear.
    V* Lock(DWORD flags = 0) {
        locked = nullptr;
        clear = false;
        if (!vertexBuffer) return nullptr;
        void* data = nullptr;
        if (FAILED(vertexBuffer->Lock(0, 0, &data, flags))) return nullptr;
        locked = static_cast<V*>(data);
        return locked;
    }
    void Unlock() {
        if (vertexBuffer && locked) vertexBuffer->Unlock();
        locked = nullptr;
    }

    // Binds the buffer on stream 0 with the format's FVF and no vertex shader.
    void BindStream() const {
        CurrentDevice->SetVertexShader(nullptr);
        CurrentDevice->SetFVF(V::FVF);
        CurrentDevice->SetStreamSource(0, vertexBuffer.Get(), 0, sizeof(V));
    }

    // ---- PT quads
    // CreateQuad, then x, y, z, u, v of the 4 vertices from 20 floats.
    bool BuildQuad(const float (&f)[20])
        requires std::is_same_v<V, DX_V::PT>;
    // x, y, z of the 4 vertices from 12 floats; texture coordinates kept.
    bool SetQuadPositions(const float (&f)[12])
        requires std::is_same_v<V, DX_V::PT>;

    // ---- TPC and PC quads
    // CreateQuad, corners copied, all four colours := colour.
    bool SetQuad(D3DCOLOR color, const DS_QuadVerts& corners)
        requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>);
    // x, y from the corners, z 0 (and rhw := the corner's z for TPC).
    bool CopyCorners(const DS_QuadVerts& corners)
        requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>);
    // Alpha byte of vertex 0 := a, 2 := b, 1 := c, 3 := d, each value x 255
    // truncated (clamped to 0..255); colour bytes kept.
    bool SetCornerAlpha(float a, float b, float c, float d)
        requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>);
    // The same with the four alpha bytes given as they are.
    bool SetCornerAlphaBytes(BYTE a, BYTE b, BYTE c, BYTE d)
        requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>);
    // The low 24 bits of every vertex colour := colour's; alpha kept.
    bool SetRGB(D3DCOLOR color)
        requires std::is_same_v<V, DX_V::PC>;
    // Blended draw of a colour quad with the vertex colour and alpha.
    void DrawBlended() const
        requires std::is_same_v<V, DX_V::PC>;
    // True when SetQuad or SetCornerAlpha last left every vertex alpha at 0
    // (and nothing has locked the buffer since): blended with SRCALPHA and
    // INVSRCALPHA the quad leaves every pixel as it is.
    bool KnownClear() const { return clear && vertexBuffer; }

    DS_ComRef<IDirect3DVertexBuffer9> vertexBuffer;
    V* locked = nullptr;
    bool clear = false;
    UINT vertexCount = 0;
    D3DPRIMITIVETYPE primitiveType = D3DPT_TRIANGLESTRIP;
    UINT primitiveCount = 0;
};

template <class V>
class DS_IndexedMesh : public DS_SimpleMesh<V> {
public:
    // Releases the old buffer and makes one of n 16-bit indices.
    bool CreateIndexBuffer(UINT n, DWORD usage = D3DUSAGE_WRITEONLY, D3DPOOL pool = D3DPOOL_MANAGED) {
        indexBuffer.Release();
        if (!CurrentDevice || n == 0) return false;
        if (FAILED(CurrentDevice->CreateIndexBuffer(n * 2, usage, D3DFMT_INDEX16, pool, indexBuffer.Out(), nullptr))) {
            indexBuffer.Release();
            return false;
        }
        return true;
    }
    WORD* LockIndices(DWORD flags = 0) {
        lockedIndices = nullptr;
        if (!indexBuffer) return nullptr;
        void* data = nullptr;
        if (FAILED(indexBuffer->Lock(0, 0, &data, flags))) return nullptr;
        lockedIndices = static_cast<WORD*>(data);
        return lockedIndices;
    }
    void UnlockIndices() {
        if (indexBuffer && lockedIndices) indexBuffer->Unlock();
        lockedIndices = nullptr;
    }
    // Indices, no vertex shader, the format's FVF, stream 0.
    void BindStream() const {
        CurrentDevice->SetIndices(indexBuffer.Get());
        DS_SimpleMesh<V>::BindStream();
    }
    void DrawIndexed() const {
        CurrentDevice->DrawIndexedPrimitive(this->primitiveType, 0, 0, this->vertexCount, 0, indexedPrimitiveCount);
    }

    DS_ComRef<IDirect3DIndexBuffer9> indexBuffer;
    UINT indexedPrimitiveCount = 0;
    WORD* lockedIndices = nullptr;
};

template <class V>
class DS_TexturedMesh : public DS_IndexedMesh<V> {
public:
    DS_ComRef<IDirect3DTexture9> texture;
    unsigned char flag = 0;  // mesh nodes: draw two-sided
};

// A four-vertex strip with a texture of its own.
template <class V>
class DS_TexturedQuadT : public DS_SimpleMesh<V> {
public:
    // texture := texture (reference added), CreateQuad, CopyCornersUV, colours white.
    bool SetTexturedQuad(IDirect3DTexture9* tex, const DS_QuadVerts& corners)
        requires std::is_same_v<V, DX_V::TPCT>;
    // The program's own picture resource 0, of which there is none: the
    // texture stays empty; then as SetTexturedQuad.
    bool InitFromResource(const DS_QuadVerts& corners)
        requires std::is_same_v<V, DX_V::TPCT>;
    // CopyCornersUV only; texture and colours kept.
    bool SetCorners(const DS_QuadVerts& corners)
        requires std::is_same_v<V, DX_V::TPCT> {
        return CopyCornersUV(corners);
    }
    // x, y, u, v from the corners, z 0, rhw := the corner's z.
    bool CopyCornersUV(const DS_QuadVerts& corners)
        requires std::is_same_v<V, DX_V::TPCT>;

    // The texture on stage 0, no vertex shader, the format's FVF and stride.
    void BindStreamWithTexture() const {
        CurrentDevice->SetTexture(0, texture.Get());
        DS_SimpleMesh<V>::BindStream();
    }
    void BindStreamPT() const
        requires std::is_same_v<V, DX_V::PT> {
        BindStreamWithTexture();
    }
    void BindStreamTPCT() const
        requires std::is_same_v<V, DX_V::TPCT> {
        BindStreamWithTexture();
    }

    DS_ComRef<IDirect3DTexture9> texture;
};
using DS_TexturedQuad = DS_TexturedQuadT<DX_V::TPCT>;

// A grid of (across + 1) x (down + 1) PT vertices.
class DS_GridMesh : public DS_IndexedMesh<DX_V::PT> {
public:
    int across = 8;
    int down = 8;
};

// The shared 9 x 9 grid indices: 2048 bytes, 128 triangles; for cell row r
// and column c (each 0..7), v = 9r + c: v, v+1, v+9, v+9, v+1, v+10.  That is
// 384 indices (768 bytes); the rest of the buffer is not written.
struct DS_GridIndices {
    DS_ComRef<IDirect3DIndexBuffer9> indexBuffer;
    UINT triangleCount = 0;
    WORD* locked = nullptr;
};
constexpr UINT kGridIndexCount = 384;
constexpr UINT kGridIndexBufferBytes = 2048;
// Writes the grid indices into `out` (at least kGridIndexCount entries).
void FillGridIndices(WORD* out);
bool CreateGridIndexBuffer(DS_GridIndices& grid);
// Bilinear interpolation of the four PT corners p (DS_QuadVerts order) over
// an across x down grid: vertex [i + (across + 1) j].
void FillGridVertices(DX_V::PT* out, int across, int down, const DX_V::PT (&p)[4]);
bool FillGridMesh(DS_GridMesh& grid, const DX_V::PT (&corners)[4]);

// result := a managed copy of level 0 of `source` at width x height with a
// full mip chain (the other levels as created); null without a source.
HRESULT CopyTextureResized(UINT width, UINT height, IDirect3DTexture9* source, IDirect3DTexture9** result,
                           D3DFORMAT format);
// A new buffer holding the texture as a DDS file; null on failure.
ID3DXBuffer* SaveTextureToMemory(IDirect3DTexture9* texture);

// ---------------------------------------------------------------- quads --

namespace ds_mesh_detail {
inline BYTE AlphaByte(float a) {
    float v = a * 255.0f;
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return static_cast<BYTE>(v);  // truncated
}
inline void SetAlphaByte(D3DCOLOR& c, BYTE a) { c = (c & 0x00FFFFFFu) | (static_cast<D3DCOLOR>(a) << 24); }
}  // namespace ds_mesh_detail

template <class V>
bool DS_SimpleMesh<V>::BuildQuad(const float (&f)[20])
    requires std::is_same_v<V, DX_V::PT>
{
    if (!CreateQuad()) return false;
    V* v = Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) v[i] = {f[i * 5], f[i * 5 + 1], f[i * 5 + 2], f[i * 5 + 3], f[i * 5 + 4]};
    Unlock();
    return true;
}

template <class V>
bool DS_SimpleMesh<V>::SetQuadPositions(const float (&f)[12])
    requires std::is_same_v<V, DX_V::PT>
{
    V* v = Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) {
        v[i].x = f[i * 3];
        v[i].y = f[i * 3 + 1];
        v[i].z = f[i * 3 + 2];
    }
    Unlock();
    return true;
}

template <class V>
bool DS_SimpleMesh<V>::SetQuad(D3DCOLOR color, const DS_QuadVerts& corners)
    requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>)
{
    if (!CreateQuad()) return false;
    V* v = Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) v[i].color = color;
    Unlock();
    if (!CopyCorners(corners)) return false;
    clear = (color >> 24) == 0;
    return true;
}

template <class V>
bool DS_SimpleMesh<V>::CopyCorners(const DS_QuadVerts& corners)
    requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>)
{
    const bool wasClear = clear;  // positions only: the colours stay as they are
    V* v = Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) {
        v[i].x = corners.c[i].x;
        v[i].y = corners.c[i].y;
        v[i].z = 0.0f;
        if constexpr (std::is_same_v<V, DX_V::TPC>) v[i].rhw = corners.c[i].z;
    }
    Unlock();
    clear = wasClear;
    return true;
}

template <class V>
bool DS_SimpleMesh<V>::SetCornerAlpha(float a, float b, float c, float d)
    requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>)
{
    using ds_mesh_detail::AlphaByte;
    return SetCornerAlphaBytes(AlphaByte(a), AlphaByte(b), AlphaByte(c), AlphaByte(d));
}

template <class V>
bool DS_SimpleMesh<V>::SetCornerAlphaBytes(BYTE a, BYTE b, BYTE c, BYTE d)
    requires(std::is_same_v<V, DX_V::TPC> || std::is_same_v<V, DX_V::PC>)
{
    V* v = Lock();
    if (!v) return false;
    ds_mesh_detail::SetAlphaByte(v[0].color, a);
    ds_mesh_detail::SetAlphaByte(v[2].color, b);
    ds_mesh_detail::SetAlphaByte(v[1].color, c);
    ds_mesh_detail::SetAlphaByte(v[3].color, d);
    clear = ((v[0].color | v[1].color | v[2].color | v[3].color) >> 24) == 0 && vertexCount == 4;
    Unlock();
    return true;
}

template <class V>
bool DS_SimpleMesh<V>::SetRGB(D3DCOLOR color)
    requires std::is_same_v<V, DX_V::PC>
{
    V* v = Lock();
    if (!v) return false;
    for (UINT i = 0; i < vertexCount; ++i) v[i].color = (v[i].color & 0xFF000000u) | (color & 0x00FFFFFFu);
    Unlock();
    return true;
}

template <class V>
void DS_SimpleMesh<V>::DrawBlended() const
    requires std::is_same_v<V, DX_V::PC>
{
    if (!CurrentDevice || !vertexBuffer) return;
    IDirect3DDevice9* d = CurrentDevice;
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    BindStream();
    d->DrawPrimitive(primitiveType, 0, primitiveCount);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
}

template <class V>
bool DS_TexturedQuadT<V>::SetTexturedQuad(IDirect3DTexture9* tex, const DS_QuadVerts& corners)
    requires std::is_same_v<V, DX_V::TPCT>
{
    texture.Set(tex);
    if (!this->CreateQuad()) return false;
    if (!CopyCornersUV(corners)) return false;
    V* v = this->Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) v[i].color = 0xFFFFFFFFu;
    this->Unlock();
    return true;
}

template <class V>
bool DS_TexturedQuadT<V>::InitFromResource(const DS_QuadVerts& corners)
    requires std::is_same_v<V, DX_V::TPCT>
{
    // The program carries no picture resource 0: the texture stays empty.
    return SetTexturedQuad(nullptr, corners);
}

template <class V>
bool DS_TexturedQuadT<V>::CopyCornersUV(const DS_QuadVerts& corners)
    requires std::is_same_v<V, DX_V::TPCT>
{
    V* v = this->Lock();
    if (!v) return false;
    for (int i = 0; i < 4; ++i) {
        v[i].x = corners.c[i].x;
        v[i].y = corners.c[i].y;
        v[i].z = 0.0f;
        v[i].rhw = corners.c[i].z;
        v[i].u = corners.c[i].u;
        v[i].v = corners.c[i].v;
    }
    this->Unlock();
    return true;
}
