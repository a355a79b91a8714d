// DS_RippleMesh: the water surface of the water-ring layer.  A grid of cells,
// each with a height and a vertical velocity, on which drops make rings that
// spread, reflect at the fixed rim and fade.  Every frame the simulation runs
// four sub-steps and a dynamic vertex buffer is rewritten: each grid point
// carries its position, its normal, a colour from the refraction table and
// texture coordinates bent by refraction, so that the picture under the water
// shows displaced by the waves.
//
// DS_RefractionTable: the process-wide lookup of refraction and transparency
// terms by the cosine between a vertex normal and the direction to the eye.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9math.h"
#include "scene/com_ref.h"

class DS_RefractionTable {
public:
    struct Entry {
        float offset;    // n cos(refraction angle) - cos(incidence angle)
        float scale;     // -1 / n
        D3DCOLOR color;  // black, alpha from (255 - i)^3
    };
    static constexpr int kSize = 512;  // indices -256 .. 255

    // The one table of the process (filled by DS_RippleMesh::BuildRefractionTable).
    static DS_RefractionTable& Shared();

    // Entries 0 .. 255 at cosine i / 256 with n = 1.333; -256 .. -1 copy entry 0.
    void Fill();
    // Entry 0: indices -256 .. 255 are valid from here.
    const Entry* Zero() const { return entries + 256; }

    Entry entries[kSize] = {};
};

class DS_RippleMesh {
public:
    // Position, normal, diffuse, one texture-coordinate set: FVF 0x152, 36 bytes.
    struct Vertex {
        float x, y, z;
        float nx, ny, nz;
        D3DCOLOR color;
        float u, v;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    };
    struct Cell {
        float height;
        float velocity;
    };
    // Fewer columns or rows leave a drop no interior cell to land on.
    static constexpr uint32_t kMinSide = 4;
    // 16-bit indices reach every vertex.
    static constexpr uint32_t kMaxCells = 65536;

    DS_RippleMesh() = default;
    DS_RippleMesh(const DS_RippleMesh&) = delete;
    DS_RippleMesh& operator=(const DS_RippleMesh&) = delete;
    ~DS_RippleMesh() = default;

    // Points the mesh at the shared table and fills it, once per mesh.
    void BuildRefractionTable();
    // A zeroed grid for a surface of width x height units, its buffers remade.
    // At least 4 x 4 cells and at most 65536, whatever the size or factors.
    void Resize(float width, float height, float rowsFactor, float columnsFactor);
    // Creates whichever buffer is missing; the first failing device result, else D3D_OK.
    HRESULT CreateBuffers();
    // Both buffers released (before a device reset).
    void ReleaseBuffers();
    // A drop at a random interior cell (column drawn first).
    void AddDrop();
    // Four sub-steps, then the vertices rewritten for the eye point.  The
    // failing result of the buffer lock, else D3D_OK.
    HRESULT Update(const D3DXVECTOR3& eye);
    // One indexed triangle strip with the current device states and transforms.
    void Draw();

    // The simulation alone: the four sub-steps.
    void Simulate();
    // One sub-step: every interior cell's velocity from its neighbours'
    // heights (the rim held at rest), then every height moved by its velocity
    // less the mean level.
    void SubStep();
    // The vertices for `eye` into `out` (vertex count entries).
    void WriteVertices(const D3DXVECTOR3& eye, Vertex* out) const;
    // The strip's indices, winding around the grid in rings from the rim inward.
    std::vector<WORD> StripIndices() const;

    Cell& At(uint32_t column, uint32_t row) { return grid[row * columns + column]; }
    const Cell& At(uint32_t column, uint32_t row) const { return grid[row * columns + column]; }

    float width = 0.0f, height = 0.0f;
    float inverseWidth = 1.0f, inverseHeight = 1.0f;
    float mean = 0.0f;
    uint32_t indexCount = 0, vertexCount = 0;
    std::vector<Cell> grid;
    const DS_RefractionTable::Entry* table = nullptr;
    uint32_t columns = 4, rows = 4, cellCount = 16;
    // The most cells Resize makes: kMaxCells, or fewer as the owner sets it.
    uint32_t maxCells = kMaxCells;
    DS_ComRef<IDirect3DIndexBuffer9> indexBuffer;
    DS_ComRef<IDirect3DVertexBuffer9> vertexBuffer;
    float heightGain = 1.0f;
    float dropStrength = 0.5f;
    float damping = 0.99f;
    float depth = 0.2f;
};
static_assert(sizeof(DS_RippleMesh::Vertex) == 36 && DS_RippleMesh::Vertex::FVF == 0x152);
