#include "scene/quad_batch.h"

DS_QuadBatch::DS_QuadBatch() : chunks(1) {}

bool DS_QuadBatch::CreateChunkBuffers(DS_TexturedMesh<DX_V::TPCT>& chunk, UINT vertices, UINT indices) {
    chunk.primitiveType = D3DPT_TRIANGLELIST;
    chunk.primitiveCount = 0;
    chunk.indexedPrimitiveCount = indices / 3;
    const bool vb = chunk.CreateVertexBuffer(vertices);
    const bool ib = chunk.CreateIndexBuffer(indices);
    return vb && ib;
}

int DS_QuadBatch::Resize(int n) {
    if (n < 0) n = 0;
    DS_ComRef<IDirect3DTexture9> texture = chunks.empty() ? DS_ComRef<IDirect3DTexture9>() : chunks[0].texture;
    // Only chunks that hold quads; with none, one empty chunk keeps the texture.
    const int count = (n + kQuadsPerChunk - 1) / kQuadsPerChunk;
    chunks.resize(count > 0 ? static_cast<size_t>(count) : 1);
    if (count == 0) {
        chunks[0] = DS_TexturedMesh<DX_V::TPCT>();
        chunks[0].texture = texture;
    }
    for (int i = 0; i < count; ++i) {
        DS_TexturedMesh<DX_V::TPCT>& chunk = chunks[static_cast<size_t>(i)];
        const int quads = std::min(n - kQuadsPerChunk * i, kQuadsPerChunk);
        chunk.texture = texture;
        if (!CreateChunkBuffers(chunk, static_cast<UINT>(quads * 4), static_cast<UINT>(quads * 6))) continue;
        if (WORD* idx = chunk.LockIndices()) {
            for (int j = 0; j < quads; ++j) {
                const WORD b = static_cast<WORD>(4 * j);
                WORD* q = idx + 6 * j;
                q[0] = b, q[1] = static_cast<WORD>(b + 1), q[2] = static_cast<WORD>(b + 2);
                q[3] = static_cast<WORD>(b + 2), q[4] = static_cast<WORD>(b + 1), q[5] = static_cast<WORD>(b + 3);
            }
            chunk.UnlockIndices();
        }
        if (DX_V::TPCT* v = chunk.Lock()) {
            const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
            for (int j = 0; j < quads * 4; ++j) v[j] = {0.0f, 0.0f, 0.0f, 1.0f, 0u, uv[j % 4][0], uv[j % 4][1]};
            chunk.Unlock();
        }
    }
    quadCount = n;
    return static_cast<int>(chunks.size());
}

void DS_QuadBatch::Lock() {
    for (auto& chunk : chunks)
        if (chunk.vertexBuffer) chunk.Lock();
}

void DS_QuadBatch::Unlock() {
    for (auto& chunk : chunks) chunk.Unlock();
}

DX_V::TPCT* DS_QuadBatch::QuadVertices(int k) {
    if (k < 0 || k >= quadCount) return nullptr;
    DS_TexturedMesh<DX_V::TPCT>& chunk = chunks[static_cast<size_t>(k / kQuadsPerChunk)];
    if (!chunk.locked) return nullptr;
    return chunk.locked + 4 * (k % kQuadsPerChunk);
}

void DS_QuadBatch::SetQuadCorners(int k, const D3DXVECTOR3& p, const D3DXVECTOR3& u, const D3DXVECTOR3& v) {
    DX_V::TPCT* q = QuadVertices(k);
    if (!q) return;
    // (P - U) and (P + U) rounded to float first, then plus or minus V.
    const float mx = p.x - u.x, my = p.y - u.y, mz = p.z - u.z;
    const float px = p.x + u.x, py = p.y + u.y, pz = p.z + u.z;
    auto put = [](DX_V::TPCT& vertex, float x, float y, float z) {
        vertex.x = x;
        vertex.y = y;
        vertex.z = z;
        vertex.rhw = 1.0f;
    };
    put(q[0], mx + v.x, my + v.y, mz + v.z);
    put(q[1], mx - v.x, my - v.y, mz - v.z);
    put(q[2], px + v.x, py + v.y, pz + v.z);
    put(q[3], px - v.x, py - v.y, pz - v.z);
}

void DS_QuadBatch::SetQuadColor(int k, D3DCOLOR color) {
    DX_V::TPCT* q = QuadVertices(k);
    if (!q) return;
    for (int i = 0; i < 4; ++i) q[i].color = color;
}

void DS_QuadBatch::SetTexture(IDirect3DTexture9* texture) {
    for (auto& chunk : chunks) chunk.texture.Set(texture);
}

void DS_QuadBatch::Draw() const {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    for (const auto& chunk : chunks) {
        if (!chunk.vertexBuffer || !chunk.indexBuffer) continue;
        d->SetTexture(0, chunk.texture.Get());
        d->SetIndices(chunk.indexBuffer.Get());
        d->SetVertexShader(nullptr);
        d->SetFVF(DX_V::TPCT::FVF);
        d->SetStreamSource(0, chunk.vertexBuffer.Get(), 0, sizeof(DX_V::TPCT));
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, chunk.vertexCount, 0, chunk.indexedPrimitiveCount);
    }
}
