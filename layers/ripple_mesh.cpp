#include "layers/ripple_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/crt/rand.h"
#include "scene/current_device.h"
#include "scene/noise.h"
#include "scene/population_budget.h"

namespace {

constexpr float kRefractiveIndex = 1.333f;
// The refracted ray ends on a sphere of radius 35 about a point 20 units
// below the surface's centre.
constexpr float kFloorDrop = 20.0f;
constexpr float kFloorRadiusSquared = 1225.0f;
// The picture is shrunk a little with the depth so the bent rays stay on it.
constexpr float kDepthShrink = 0.05f;
constexpr int kSubSteps = 4;

}  // namespace

// ------------------------------------------------------------------ table --

DS_RefractionTable& DS_RefractionTable::Shared() {
    static DS_RefractionTable table;
    return table;
}

void DS_RefractionTable::Fill() {
    Entry* zero = entries + 256;
    for (int i = 0; i < 256; ++i) {
        const float a = static_cast<float>(i) * 0.00390625f;  // cosine of the angle of incidence
        const float b = std::sin(std::acos(a));
        const float c = b / kRefractiveIndex;
        const float d = std::cos(std::asin(c));
        zero[i].offset = (b / c) * d - a;
        zero[i].scale = -c / b;
        const uint32_t k = static_cast<uint32_t>(255 - i);
        zero[i].color = ((k * k * k) & 0xFFFF0000u) << 8;
    }
    for (int i = -256; i < 0; ++i) zero[i] = zero[0];
}

// ------------------------------------------------------------------- mesh --

void DS_RippleMesh::BuildRefractionTable() {
    if (table) return;
    DS_RefractionTable& shared = DS_RefractionTable::Shared();
    table = shared.Zero();
    shared.Fill();
}

void DS_RippleMesh::Resize(float newWidth, float newHeight, float rowsFactor, float columnsFactor) {
    // Sizes in 64 bits: huge factors saturate instead of wrapping.
    int64_t c = TruncateToInt(static_cast<double>(columnsFactor * 128.0f));
    int64_t r = TruncateToInt(static_cast<double>(static_cast<float>(c) * newHeight / newWidth * rowsFactor));
    c &= ~int64_t{1};
    r &= ~int64_t{1};
    const int64_t wanted = c * r;
    if (c * r > static_cast<int64_t>(maxCells) && r > 0) c = (static_cast<int64_t>(maxCells) / r) & ~int64_t{1};
    // At least 4 x 4 whatever the aspect or the factors; rows give way when
    // the minimum of columns would pass the cell limit.
    c = std::max<int64_t>(c, kMinSide);
    if (c * r > static_cast<int64_t>(maxCells)) r = (static_cast<int64_t>(maxCells) / c) & ~int64_t{1};
    r = std::max<int64_t>(r, kMinSide);
    columns = static_cast<uint32_t>(c);
    rows = static_cast<uint32_t>(r);
    cellCount = columns * rows;
    if (wanted > static_cast<int64_t>(maxCells))
        DS_SayCountReduced("water-ring grid cell count", static_cast<uint64_t>(wanted), cellCount);

    width = newWidth;
    height = newHeight;
    inverseWidth = 1.0f / newWidth;
    inverseHeight = 1.0f / newHeight;
    vertexCount = cellCount;
    indexCount = 2 * cellCount;
    grid.assign(cellCount, Cell{0.0f, 0.0f});

    ReleaseBuffers();
    CreateBuffers();
}

std::vector<WORD> DS_RippleMesh::StripIndices() const {
    std::vector<WORD> out(indexCount, 0);
    const int C = static_cast<int>(columns);
    size_t n = 0;
    // Writes past the count (odd sizes only) are dropped.
    auto pair = [&](int a, int b) {
        if (n < out.size()) out[n] = static_cast<WORD>(a >= 0 && a < static_cast<int>(vertexCount) ? a : 0);
        ++n;
        if (n < out.size()) out[n] = static_cast<WORD>(b >= 0 && b < static_cast<int>(vertexCount) ? b : 0);
        ++n;
    };
    int w = C, h = static_cast<int>(rows), c = 0, r = 0;
    while (n < indexCount && (w > 0 || h > 1)) {
        if (w > 0) {
            for (int i = 0; i < w; ++i, ++c) pair(r * C + c, (r + 1) * C + c);
            c -= 1;
            r += 1;
        }
        if (h > 1) {
            for (int i = 0; i < h - 1; ++i, ++r) pair(r * C + c, r * C + c - 1);
            r -= 1;
            c -= 1;
        }
        if (w > 1) {
            for (int i = 0; i < w - 1; ++i, --c) pair(r * C + c, (r - 1) * C + c);
            c += 1;
            r -= 1;
        }
        if (h > 2) {
            for (int i = 0; i < h - 2; ++i, --r) pair(r * C + c, r * C + c + 1);
        }
        w -= 2;
        h -= 2;
        r += 1;
        c += 1;
    }
    return out;
}

HRESULT DS_RippleMesh::CreateBuffers() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return D3DERR_INVALIDCALL;
    if (!indexBuffer) {
        const HRESULT hr = d->CreateIndexBuffer(indexCount * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                                indexBuffer.Out(), nullptr);
        if (FAILED(hr)) {
            indexBuffer.Release();
            return hr;
        }
        void* data = nullptr;
        const HRESULT locked = indexBuffer->Lock(0, 0, &data, 0);
        if (FAILED(locked)) {
            indexBuffer.Release();
            return locked;
        }
        const std::vector<WORD> indices = StripIndices();
        std::memcpy(data, indices.data(), indices.size() * sizeof(WORD));
        indexBuffer->Unlock();
    }
    if (!vertexBuffer) {
        const HRESULT hr = d->CreateVertexBuffer(vertexCount * sizeof(Vertex), D3DUSAGE_DYNAMIC, Vertex::FVF,
                                                 D3DPOOL_DEFAULT, vertexBuffer.Out(), nullptr);
        if (FAILED(hr)) {
            vertexBuffer.Release();
            return hr;
        }
    }
    return D3D_OK;
}

void DS_RippleMesh::ReleaseBuffers() {
    indexBuffer.Release();
    vertexBuffer.Release();
}

void DS_RippleMesh::AddDrop() {
    if (grid.size() != cellCount || columns < 3 || rows < 3) return;
    const uint32_t c = static_cast<uint32_t>(crt::rand()) % (columns - 2) + 1;
    const uint32_t r = static_cast<uint32_t>(crt::rand()) % (rows - 2) + 1;
    const float s = dropStrength;
    At(c, r).velocity -= s / 4.0f;
    At(c - 1, r).velocity -= s / 8.0f;
    At(c + 1, r).velocity -= s / 8.0f;
    At(c, r - 1).velocity -= s / 8.0f;
    At(c, r + 1).velocity -= s / 8.0f;
    At(c - 1, r - 1).velocity -= s / 16.0f;
    At(c + 1, r - 1).velocity -= s / 16.0f;
    At(c - 1, r + 1).velocity -= s / 16.0f;
    At(c + 1, r + 1).velocity -= s / 16.0f;
}

void DS_RippleMesh::Simulate() {
    for (int step = 0; step < kSubSteps; ++step) SubStep();
}

void DS_RippleMesh::SubStep() {
    if (grid.size() != cellCount || cellCount == 0) return;
    const uint32_t C = columns, R = rows;
    Cell* g = grid.data();
    {
        float sum = 0.0f;
        for (uint32_t r = 0; r < R; ++r) {
            Cell* row = g + static_cast<size_t>(r) * C;
            // Rows and columns in order: a rim cell is zeroed before the
            // cells after it read it.
            if (r == 0 || r == R - 1) {
                for (uint32_t c = 0; c < C; ++c) row[c] = Cell{0.0f, 0.0f};
                continue;
            }
            const Cell* up = row - C;
            const Cell* down = row + C;
            row[0] = Cell{0.0f, 0.0f};
            for (uint32_t c = 1; c + 1 < C; ++c) {
                const float diagonal = up[c - 1].height + up[c + 1].height + down[c - 1].height + down[c + 1].height;
                const float edge = up[c].height + down[c].height + row[c - 1].height + row[c + 1].height;
                const float a = diagonal / 12.0f + edge / 6.0f;
                Cell& cell = row[c];
                cell.velocity = cell.velocity * damping + (a - cell.height) / 4.0f;
                sum += cell.height + cell.velocity;
            }
            row[C - 1] = Cell{0.0f, 0.0f};
        }
        mean = sum / static_cast<float>(cellCount);
        for (uint32_t i = 0; i < cellCount; ++i) g[i].height += g[i].velocity * heightGain - mean;
    }
}

void DS_RippleMesh::WriteVertices(const D3DXVECTOR3& eye, Vertex* out) const {
    if (grid.size() != cellCount || !table || columns < 2 || rows < 2) return;
    const uint32_t C = columns, R = rows;
    const float dx = width / static_cast<float>(C - 1), dz = height / static_cast<float>(R - 1);
    const float shrink = 1.0f - kDepthShrink * depth;
    const Cell* g = grid.data();
    float z = -height / 2.0f;
    for (uint32_t r = 0; r < R; ++r, z += dz) {
        // Neighbours wrap at the edges.
        const Cell* up = g + static_cast<size_t>(r == 0 ? R - 1 : r - 1) * C;
        const Cell* row = g + static_cast<size_t>(r) * C;
        const Cell* down = g + static_cast<size_t>(r + 1 == R ? 0 : r + 1) * C;
        float x = -width / 2.0f;
        for (uint32_t c = 0; c < C; ++c, x += dx) {
            const uint32_t cp = c == 0 ? C - 1 : c - 1, cn = c + 1 == C ? 0 : c + 1;
            const float y = row[c].height;
            const float left = up[cp].height + row[cp].height + down[cp].height;
            const float right = up[cn].height + row[cn].height + down[cn].height;
            const float previous = up[cp].height + up[c].height + up[cn].height;
            const float next = down[cp].height + down[c].height + down[cn].height;
            D3DXVECTOR3 n(left - right, 1.0f, previous - next);
            D3DXVec3Normalize(&n, &n);
            D3DXVECTOR3 e(eye.x - x, eye.y - y, eye.z - z);
            D3DXVec3Normalize(&e, &e);
            const float k = e.x * n.x + e.y * n.y + e.z * n.z;
            // round(255 x cosine), rounded to nearest, although entry i was
            // built at cosine i / 256: the look of the water depends on this
            // pairing, so it stays.  A normal facing away reads a copy of
            // entry 0.
            const long index = std::clamp(std::lrint(255.0f * k), -256L, 255L);
            const DS_RefractionTable::Entry& entry = table[index];
            const D3DXVECTOR3 D((entry.offset * n.x + e.x) * entry.scale, (entry.offset * n.y + e.y) * entry.scale,
                                (entry.offset * n.z + e.z) * entry.scale);
            const float qx = x, qy = y - kFloorDrop, qz = z;
            const float p = 2.0f * (D.x * qx + D.y * qy + D.z * qz);
            const float q = qx * qx + qy * qy + qz * qz - kFloorRadiusSquared;
            // A ray that misses the sphere (a surface wider than about
            // 2.55:1) takes the nearest approach, not a NaN.
            const float discriminant = std::max(p * p - 4.0f * q, 0.0f);
            const float t = (std::sqrt(discriminant) - p) * 0.5f * depth;
            Vertex& v = out[static_cast<size_t>(r) * C + c];
            v.x = x;
            v.y = y;
            v.z = z;
            v.nx = n.x;
            v.ny = n.y;
            v.nz = n.z;
            v.color = entry.color;
            v.u = shrink * (x + D.x * t) * inverseWidth + 0.5f;
            v.v = shrink * (z + D.z * t) * inverseHeight + 0.5f;
        }
    }
}

HRESULT DS_RippleMesh::Update(const D3DXVECTOR3& eye) {
    Simulate();
    if (!vertexBuffer) return D3DERR_INVALIDCALL;
    void* data = nullptr;
    const HRESULT hr = vertexBuffer->Lock(0, 0, &data, 0);
    if (FAILED(hr)) return hr;
    WriteVertices(eye, static_cast<Vertex*>(data));
    vertexBuffer->Unlock();
    return D3D_OK;
}

void DS_RippleMesh::Draw() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !vertexBuffer || !indexBuffer || indexCount < 3) return;
    d->SetVertexShader(nullptr);
    d->SetFVF(Vertex::FVF);
    d->SetStreamSource(0, vertexBuffer.Get(), 0, sizeof(Vertex));
    d->SetIndices(indexBuffer.Get());
    d->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, vertexCount, 0, indexCount - 2);
}
