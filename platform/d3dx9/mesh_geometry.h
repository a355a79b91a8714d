// Geometry over vertex data, as D3DX computes it for meshes; used by the
// D3DX mesh functions and usable on the neutral .x mesh directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

namespace meshgeom {

// ---------------------------------------------------------------------------
// Building blocks of the D3DX mesh object, on plain arrays.

// Face adjacency as D3DX keeps it: three entries per face, entry 3f + i the
// face across the edge from corner i to corner i + 1 (mod 3), 0xFFFFFFFF when
// there is none.  Vertices at exactly the same position count as one, so
// faces of a mesh whose vertices were split by normal still meet.  Two faces
// meet across an edge they run through in opposite directions; an edge used
// by more faces pairs the first two that match.
constexpr uint32_t kNoNeighbour = 0xFFFFFFFFu;
std::vector<uint32_t> Adjacency(const void* positions, uint32_t vertexCount, uint32_t stride, const uint32_t* indices,
                                uint32_t faceCount);

struct AttributeRange {  // D3DXATTRIBUTERANGE
    uint32_t attribId, faceStart, faceCount, vertexStart, vertexCount;
};

struct Reordering {
    std::vector<uint32_t> faceRemap;    // new face -> original face
    std::vector<uint32_t> vertexRemap;  // new vertex -> original vertex
    std::vector<AttributeRange> table;  // one range per attribute, in attribute order
};

// Reorders faces by attribute (stable, so each attribute keeps its faces'
// order) and vertices in the order the new faces first use them (vertices no
// face uses go last, in their old order), rewriting `indices`, `attributes`
// and, when given, `adjacency` (3 per face) to the new numbering.  The
// vertex data itself is moved with ApplyVertexRemap.  Returns false (nothing
// changed) when an index is out of range or the arrays disagree in size.
bool SortByAttribute(std::vector<uint32_t>& indices, std::vector<uint32_t>& attributes, uint32_t vertexCount,
                     std::vector<uint32_t>* adjacency, Reordering& out);

// Moves vertices of `stride` bytes so that new vertex i is old vertex remap[i].
void ApplyVertexRemap(void* vertices, uint32_t stride, const std::vector<uint32_t>& remap);

// Interleaves the neutral mesh's vertices in the layout of a flexible vertex
// format: D3DFVF_XYZ (0x002) required, optional D3DFVF_NORMAL (0x010),
// D3DFVF_DIFFUSE (0x040, a D3DCOLOR from the vertex colours, opaque white
// without them), D3DFVF_SPECULAR (0x080, black), and 0 to 8 two-component
// texture coordinate sets (count in bits 8-11; set 0 from the mesh, the
// others zero).  Components the mesh lacks are zero.  Returns false for any
// other format bits (positions other than XYZ, texture sizes other than 2).
bool PackVertices(const xfile::Mesh& mesh, DWORD fvf, std::vector<uint8_t>& out, uint32_t* stride);

}  // namespace meshgeom
