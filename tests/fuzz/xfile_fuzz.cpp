// Fuzz target of the .x reader: any bytes either fail with a message or give
// a mesh whose arrays and indices are consistent.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/d3dx9/mesh_geometry.h"
#include "platform/d3dx9/xfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xfile::Mesh mesh;
    xfile::Result r = xfile::Read(data, size, mesh);
    if (!r.ok) {
        if (r.error.empty() || mesh.VertexCount() != 0) std::abort();
        return 0;
    }
    uint32_t n = mesh.VertexCount();
    if (mesh.hasNormals && mesh.normals.size() != n) std::abort();
    if (mesh.hasTexcoords && mesh.texcoords.size() != n) std::abort();
    if (mesh.hasColors && mesh.colors.size() != n) std::abort();
    if (mesh.indices.size() % 3 != 0 || mesh.attributes.size() != mesh.FaceCount()) std::abort();
    for (uint32_t i : mesh.indices)
        if (i >= n) std::abort();
    for (uint32_t a : mesh.attributes)
        if (!mesh.materials.empty() && a >= mesh.materials.size()) std::abort();
    D3DVECTOR centre;
    float radius;
    meshgeom::BoundingSphere(mesh, &centre, &radius);
    meshgeom::ComputeNormals(mesh);
    std::vector<uint32_t> adjacency =
        meshgeom::Adjacency(mesh.positions.data(), n, sizeof(D3DVECTOR), mesh.indices.data(), mesh.FaceCount());
    meshgeom::Reordering order;
    if (!meshgeom::SortByAttribute(mesh.indices, mesh.attributes, n, &adjacency, order)) std::abort();
    for (uint32_t a : adjacency)
        if (a != meshgeom::kNoNeighbour && a >= mesh.FaceCount()) std::abort();
    std::vector<uint8_t> packed;
    uint32_t stride = 0;
    if (!meshgeom::PackVertices(mesh, 0x152, packed, &stride)) std::abort();
    meshgeom::ApplyVertexRemap(packed.data(), stride, order.vertexRemap);
    return 0;
}
