// Geometry over vertex data, as D3DX computes it for meshes; used by the
// D3DX mesh functions and usable on the neutral .x mesh directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3dx9/xfile.h"

namespace meshgeom {

// Centre = the mean of the positions, radius = the largest distance from it
// (D3DXComputeBoundingSphere).  `stride` is the byte distance between
// positions (three floats at the start of each vertex).  No positions: centre
// and radius 0.
void BoundingSphere(const void* positions, uint32_t count, uint32_t stride, D3DVECTOR* centre, float* radius);
void BoundingSphere(const xfile::Mesh& mesh, D3DVECTOR* centre, float* radius);

// Vertex normals as D3DXComputeNormals makes them: each triangle's unit
// normal (clockwise front faces, left-handed: cross(v1 - v0, v2 - v0)) is
// added to its three vertices, then every sum is normalised.  Degenerate
// triangles add nothing; a vertex on no triangle gets (0, 0, 0).
// `vertices` is the vertex data, `normalOffset` the byte offset of the normal
// inside a vertex; indices are 16-bit or 32-bit.  Returns false when an
// index is out of range (nothing written then).
bool ComputeNormals(void* vertices, uint32_t vertexCount, uint32_t stride, uint32_t normalOffset, const void* indices,
                    bool sixteenBitIndices, uint32_t faceCount);
void ComputeNormals(xfile::Mesh& mesh);

}  // namespace meshgeom
