#include "scene/mesh.h"

D3DSURFACE_DESC GetBackBufferDesc() {
    D3DSURFACE_DESC desc{};
    if (!CurrentDevice) return desc;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(CurrentDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back) return D3DSURFACE_DESC{};
    if (FAILED(back->GetDesc(&desc))) desc = D3DSURFACE_DESC{};
    back->Release();
    return desc;
}

void FillGridIndices(WORD* out) {
    WORD* p = out;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const WORD v = static_cast<WORD>(9 * r + c);
            *p++ = v;
            *p++ = static_cast<WORD>(v + 1);
            *p++ = static_cast<WORD>(v + 9);
            *p++ = static_cast<WORD>(v + 9);
            *p++ = static_cast<WORD>(v + 1);
            *p++ = static_cast<WORD>(v + 10);
        }
}

bool CreateGridIndexBuffer(DS_GridIndices& grid) {
    grid.indexBuffer.Release();
    grid.locked = nullptr;
    grid.triangleCount = 128;
    if (!CurrentDevice) return false;
    if (FAILED(CurrentDevice->CreateIndexBuffer(kGridIndexBufferBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                D3DPOOL_MANAGED, grid.indexBuffer.Out(), nullptr))) {
        grid.indexBuffer.Release();
        return false;
    }
    void* data = nullptr;
    if (FAILED(grid.indexBuffer->Lock(0, 0, &data, 0)) || !data) return false;
    FillGridIndices(static_cast<WORD*>(data));
    grid.indexBuffer->Unlock();
    return true;
}

void FillGridVertices(DX_V::PT* out, int across, int down, const DX_V::PT (&p)[4]) {
    auto lerp = [](const DX_V::PT& a, const DX_V::PT& b, float t) {
        return DX_V::PT{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z), a.u + t * (b.u - a.u),
                        a.v + t * (b.v - a.v)};
    };
    for (int j = 0; j <= down; ++j) {
        const float tj = down != 0 ? static_cast<float>(j) / static_cast<float>(down) : 0.0f;
        const DX_V::PT s = lerp(p[0], p[2], tj);
        const DX_V::PT e = lerp(p[1], p[3], tj);
        for (int i = 0; i <= across; ++i) {
            const float ti = across != 0 ? static_cast<float>(i) / static_cast<float>(across) : 0.0f;
            out[i + (across + 1) * j] = lerp(s, e, ti);
        }
    }
}

bool FillGridMesh(DS_GridMesh& grid, const DX_V::PT (&corners)[4]) {
    if (grid.across < 0 || grid.down < 0) return false;
    const UINT needed = static_cast<UINT>((grid.across + 1) * (grid.down + 1));
    if (grid.vertexCount < needed) return false;
    DX_V::PT* v = grid.Lock();
    if (!v) return false;
    FillGridVertices(v, grid.across, grid.down, corners);
    grid.Unlock();
    return true;
}
