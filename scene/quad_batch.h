// DS_QuadBatch: many textured screen-space quads drawn with as few draw
// calls as 16-bit indices allow, in chunks of at most 16383 quads (65532
// vertices).  Resize once; then each frame Lock, write corners and colours
// per quad, Unlock and Draw.
#pragma once

#include <vector>

#include "platform/d3dx9/d3dx9math.h"
#include "scene/mesh.h"

class DS_QuadBatch {
public:
    static constexpr int kQuadsPerChunk = 16383;

    // One empty chunk, quad count 0.
    DS_QuadBatch();

    // Chunks for n quads, each with its buffers, indices and initial
    // vertices, and chunk 0's texture; returns the chunk count.  A chunk
    // that would hold no quads (n a multiple of 16383, or 0) is not made.
    int Resize(int n);
    // Locks every chunk's vertex buffer whole.
    void Lock();
    void Unlock();
    // Between Lock and Unlock: vertex 0 := P - U + V, 1 := P - U - V,
    // 2 := P + U + V, 3 := P + U - V, rhw 1.
    void SetQuadCorners(int k, const D3DXVECTOR3& p, const D3DXVECTOR3& u, const D3DXVECTOR3& v);
    void SetQuadColor(int k, D3DCOLOR color);
    // Every chunk's texture := texture (reference added).
    void SetTexture(IDirect3DTexture9* texture);
    // One indexed draw per chunk; the caller sets the blending before.
    void Draw() const;
    static bool CreateChunkBuffers(DS_TexturedMesh<DX_V::TPCT>& chunk, UINT vertices, UINT indices);

    // Quad k's vertices (null outside a lock or beyond the count).
    DX_V::TPCT* QuadVertices(int k);

    int quadCount = 0;
    std::vector<DS_TexturedMesh<DX_V::TPCT>> chunks;
};
