// Fuzz target of the .x reader: any bytes either fail with a message or give
// a mesh whose arrays and indices are consistent.
#include <cstdint>
#include <cstdlib>

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
    return 0;
}
