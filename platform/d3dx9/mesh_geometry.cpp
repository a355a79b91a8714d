#include "platform/d3dx9/mesh_geometry.h"

#include "platform/d3d9/d3d9.h"

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

#include <algorithm>
#include <unordered_map>

namespace meshgeom {
namespace {

// Position key: exact values, with -0 and +0 the same point.
struct PointKey {
    float x, y, z;
    bool operator==(const PointKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PointHash {
    size_t operator()(const PointKey& k) const {
        auto bits = [](float f) {
            if (f == 0) f = 0;  // folds -0 into +0
            uint32_t u;
            std::memcpy(&u, &f, 4);
            return u;
        };
        uint64_t h = bits(k.x);
        h = h * 0x9E3779B97F4A7C15ull ^ bits(k.y);
        h = h * 0x9E3779B97F4A7C15ull ^ bits(k.z);
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

DWORD ToColor(const D3DCOLORVALUE& c) {
    auto byte = [](float v) -> uint32_t {
        if (!(v > 0)) return 0;
        if (v >= 1) return 255;
        return static_cast<uint32_t>(v * 255.0f + 0.5f);
    };
    return D3DCOLOR_ARGB(byte(c.a), byte(c.r), byte(c.g), byte(c.b));
}

}  // namespace

std::vector<uint32_t> Adjacency(const void* positions, uint32_t vertexCount, uint32_t stride, const uint32_t* indices,
                                uint32_t faceCount) {
    std::vector<uint32_t> adjacency(size_t(faceCount) * 3, kNoNeighbour);
    const auto* base = static_cast<const uint8_t*>(positions);
    // Each vertex's representative: the first vertex at the same position.
    std::vector<uint32_t> rep(vertexCount);
    std::unordered_map<PointKey, uint32_t, PointHash> first;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        D3DVECTOR p = LoadVector(base + size_t(v) * stride);
        rep[v] = first.emplace(PointKey{p.x, p.y, p.z}, v).first->second;
    }
    // Open edges waiting for their partner, keyed by (from, to) representative.
    std::unordered_map<uint64_t, std::vector<uint32_t>> open;  // -> list of 3f + i
    for (uint32_t f = 0; f < faceCount; ++f) {
        for (uint32_t i = 0; i < 3; ++i) {
            uint32_t a = indices[size_t(f) * 3 + i], b = indices[size_t(f) * 3 + (i + 1) % 3];
            if (a >= vertexCount || b >= vertexCount) continue;
            uint32_t ra = rep[a], rb = rep[b];
            if (ra == rb) continue;  // degenerate edge
            auto reverse = open.find((uint64_t(rb) << 32) | ra);
            if (reverse != open.end() && !reverse->second.empty()) {
                uint32_t other = reverse->second.front();
                reverse->second.erase(reverse->second.begin());
                adjacency[size_t(f) * 3 + i] = other / 3;
                adjacency[other] = f;
            } else {
                open[(uint64_t(ra) << 32) | rb].push_back(f * 3 + i);
            }
        }
    }
    return adjacency;
}

bool SortByAttribute(std::vector<uint32_t>& indices, std::vector<uint32_t>& attributes, uint32_t vertexCount,
                     std::vector<uint32_t>* adjacency, Reordering& out) {
    size_t faces = attributes.size();
    if (indices.size() != faces * 3 || (adjacency && adjacency->size() != faces * 3)) return false;
    for (uint32_t i : indices)
        if (i >= vertexCount) return false;

    out = Reordering{};
    out.faceRemap.resize(faces);
    for (size_t f = 0; f < faces; ++f) out.faceRemap[f] = static_cast<uint32_t>(f);
    std::stable_sort(out.faceRemap.begin(), out.faceRemap.end(),
                     [&](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });

    constexpr uint32_t kUnset = 0xFFFFFFFFu;
    std::vector<uint32_t> newOfOld(vertexCount, kUnset);
    out.vertexRemap.reserve(vertexCount);
    for (uint32_t f : out.faceRemap)
        for (int k = 0; k < 3; ++k) {
            uint32_t v = indices[size_t(f) * 3 + k];
            if (newOfOld[v] == kUnset) {
                newOfOld[v] = static_cast<uint32_t>(out.vertexRemap.size());
                out.vertexRemap.push_back(v);
            }
        }
    for (uint32_t v = 0; v < vertexCount; ++v)
        if (newOfOld[v] == kUnset) {
            newOfOld[v] = static_cast<uint32_t>(out.vertexRemap.size());
            out.vertexRemap.push_back(v);
        }

    std::vector<uint32_t> newFaceOfOld(faces);
    for (size_t n = 0; n < faces; ++n) newFaceOfOld[out.faceRemap[n]] = static_cast<uint32_t>(n);
    std::vector<uint32_t> newIndices(indices.size()), newAttributes(faces);
    for (size_t n = 0; n < faces; ++n) {
        uint32_t f = out.faceRemap[n];
        for (int k = 0; k < 3; ++k) newIndices[n * 3 + k] = newOfOld[indices[size_t(f) * 3 + k]];
        newAttributes[n] = attributes[f];
    }
    if (adjacency) {
        std::vector<uint32_t> newAdjacency(faces * 3);
        for (size_t n = 0; n < faces; ++n)
            for (int k = 0; k < 3; ++k) {
                uint32_t a = (*adjacency)[size_t(out.faceRemap[n]) * 3 + k];
                newAdjacency[n * 3 + k] = a < faces ? newFaceOfOld[a] : kNoNeighbour;
            }
        *adjacency = std::move(newAdjacency);
    }
    indices = std::move(newIndices);
    attributes = std::move(newAttributes);

    for (size_t n = 0; n < faces;) {
        AttributeRange r{attributes[n], static_cast<uint32_t>(n), 0, 0, 0};
        uint32_t lo = kUnset, hi = 0;
        while (n < faces && attributes[n] == r.attribId) {
            for (int k = 0; k < 3; ++k) {
                lo = std::min(lo, indices[n * 3 + k]);
                hi = std::max(hi, indices[n * 3 + k]);
            }
            ++r.faceCount;
            ++n;
        }
        r.vertexStart = lo;
        r.vertexCount = hi - lo + 1;
        out.table.push_back(r);
    }
    return true;
}

void ApplyVertexRemap(void* vertices, uint32_t stride, const std::vector<uint32_t>& remap) {
    auto* base = static_cast<uint8_t*>(vertices);
    std::vector<uint8_t> copy(base, base + remap.size() * stride);
    for (size_t n = 0; n < remap.size(); ++n)
        std::memcpy(base + n * stride, copy.data() + size_t(remap[n]) * stride, stride);
}

bool PackVertices(const xfile::Mesh& mesh, DWORD fvf, std::vector<uint8_t>& out, uint32_t* stride) {
    constexpr DWORD kXyz = D3DFVF_XYZ, kNormal = D3DFVF_NORMAL, kDiffuse = D3DFVF_DIFFUSE, kSpecular = D3DFVF_SPECULAR;
    constexpr DWORD kPositionMask = D3DFVF_POSITION_MASK, kTexCountMask = D3DFVF_TEXCOUNT_MASK,
                    kTexCountShift = D3DFVF_TEXCOUNT_SHIFT;
    DWORD texCount = (fvf & kTexCountMask) >> kTexCountShift;
    DWORD known = kPositionMask | kNormal | kDiffuse | kSpecular | kTexCountMask;
    // Bits 16 and up give each set's size; 0 there means two components.
    if ((fvf & kPositionMask) != kXyz || (fvf & ~known) != 0 || texCount > 8) return false;

    uint32_t size = 12 + ((fvf & kNormal) ? 12 : 0) + ((fvf & kDiffuse) ? 4 : 0) + ((fvf & kSpecular) ? 4 : 0) +
                    8 * texCount;
    out.assign(size_t(size) * mesh.positions.size(), 0);
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        uint8_t* p = out.data() + v * size;
        std::memcpy(p, &mesh.positions[v], 12);
        p += 12;
        if (fvf & kNormal) {
            if (mesh.hasNormals) std::memcpy(p, &mesh.normals[v], 12);
            p += 12;
        }
        if (fvf & kDiffuse) {
            DWORD c = mesh.hasColors ? ToColor(mesh.colors[v]) : 0xFFFFFFFFu;
            std::memcpy(p, &c, 4);
            p += 4;
        }
        if (fvf & kSpecular) p += 4;
        if (texCount > 0 && mesh.hasTexcoords) std::memcpy(p, &mesh.texcoords[v], 8);
    }
    if (stride) *stride = size;
    return true;
}

}  // namespace meshgeom
