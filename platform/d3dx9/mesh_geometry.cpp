#include "platform/d3dx9/mesh_geometry.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace meshgeom {
namespace {

D3DVECTOR LoadVector(const uint8_t* p) {
    D3DVECTOR v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t LoadIndex(const void* indices, bool sixteen, size_t i) {
    if (sixteen) {
        uint16_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(indices) + i * 2, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(indices) + i * 4, 4);
    return v;
}

}  // namespace

void BoundingSphere(const void* positions, uint32_t count, uint32_t stride, D3DVECTOR* centre, float* radius) {
    D3DVECTOR c{0, 0, 0};
    float r = 0;
    const auto* base = static_cast<const uint8_t*>(positions);
    if (count > 0 && base != nullptr) {
        // Sums in double so that large meshes do not lose the small parts.
        double sx = 0, sy = 0, sz = 0;
        for (uint32_t i = 0; i < count; ++i) {
            D3DVECTOR p = LoadVector(base + size_t(i) * stride);
            sx += p.x;
            sy += p.y;
            sz += p.z;
        }
        c.x = static_cast<float>(sx / count);
        c.y = static_cast<float>(sy / count);
        c.z = static_cast<float>(sz / count);
        float best = 0;
        for (uint32_t i = 0; i < count; ++i) {
            D3DVECTOR p = LoadVector(base + size_t(i) * stride);
            float dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
            float d2 = dx * dx + dy * dy + dz * dz;
            if (d2 > best) best = d2;
        }
        r = std::sqrt(best);
    }
    if (centre) *centre = c;
    if (radius) *radius = r;
}

void BoundingSphere(const xfile::Mesh& mesh, D3DVECTOR* centre, float* radius) {
    BoundingSphere(mesh.positions.data(), mesh.VertexCount(), sizeof(D3DVECTOR), centre, radius);
}

bool ComputeNormals(void* vertices, uint32_t vertexCount, uint32_t stride, uint32_t normalOffset, const void* indices,
                    bool sixteenBitIndices, uint32_t faceCount) {
    auto* base = static_cast<uint8_t*>(vertices);
    size_t indexCount = size_t(faceCount) * 3;
    for (size_t i = 0; i < indexCount; ++i)
        if (LoadIndex(indices, sixteenBitIndices, i) >= vertexCount) return false;

    std::vector<D3DVECTOR> sums(vertexCount, D3DVECTOR{0, 0, 0});
    for (uint32_t f = 0; f < faceCount; ++f) {
        uint32_t i0 = LoadIndex(indices, sixteenBitIndices, size_t(f) * 3);
        uint32_t i1 = LoadIndex(indices, sixteenBitIndices, size_t(f) * 3 + 1);
        uint32_t i2 = LoadIndex(indices, sixteenBitIndices, size_t(f) * 3 + 2);
        D3DVECTOR p0 = LoadVector(base + size_t(i0) * stride);
        D3DVECTOR p1 = LoadVector(base + size_t(i1) * stride);
        D3DVECTOR p2 = LoadVector(base + size_t(i2) * stride);
        float ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
        float bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
        float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
        float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (!(len > 0)) continue;
        nx /= len;
        ny /= len;
        nz /= len;
        for (uint32_t v : {i0, i1, i2}) {
            sums[v].x += nx;
            sums[v].y += ny;
            sums[v].z += nz;
        }
    }
    for (uint32_t v = 0; v < vertexCount; ++v) {
        D3DVECTOR n = sums[v];
        float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (len > 0) {
            n.x /= len;
            n.y /= len;
            n.z /= len;
        } else {
            n = D3DVECTOR{0, 0, 0};
        }
        std::memcpy(base + size_t(v) * stride + normalOffset, &n, sizeof n);
    }
    return true;
}

void ComputeNormals(xfile::Mesh& mesh) {
    // The neutral mesh keeps normals in an array of their own: build a
    // position+normal array, compute, copy back.
    struct PN {
        D3DVECTOR p{}, n{};
    };
    std::vector<PN> v(mesh.positions.size());
    for (size_t i = 0; i < v.size(); ++i) v[i].p = mesh.positions[i];
    ComputeNormals(v.data(), mesh.VertexCount(), sizeof(PN), offsetof(PN, n), mesh.indices.data(), false, mesh.FaceCount());
    mesh.normals.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i) mesh.normals[i] = v[i].n;
    mesh.hasNormals = true;
}

}  // namespace meshgeom
