// Reader of DirectX .x mesh data (text and binary, uncompressed) into a
// neutral mesh that the D3DX mesh object is later built from.
//
// What it reads, as D3DX does when it loads one mesh from a file:
//  - every Mesh of the file, inside Frames or at the top level, merged into
//    one mesh; each Frame's FrameTransformMatrix is applied (row vectors,
//    child transform first, then its parents') to positions and normals;
//  - faces with more than three corners are split into a fan of triangles;
//  - MeshNormals with their own per-face indices: a vertex whose corners use
//    different normals is split, the copies appended after the original
//    vertices (texture coordinates and colours follow the original vertex);
//  - MeshTextureCoords, MeshVertexColors, MeshMaterialList with Material and
//    TextureFilename (inline or as a reference to a top-level Material).
// Template declarations and data objects of other templates are skipped.
//
// Damaged data never crashes the reader: counts are checked against the
// bytes that are left, nesting depth and name lengths are capped, indices
// are checked against their arrays, and a failure names where it happened
// (text line or binary offset) and what was wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9types.h"

namespace xfile {

// Limits of the reader.
constexpr size_t kMaxNameLength = 256;     // template, object and reference names
constexpr size_t kMaxStringLength = 1024;  // texture file names
constexpr int kMaxDepth = 64;              // nesting of data objects
constexpr uint32_t kMaxElements = 1u << 24;  // vertices, faces, corners per mesh and in total

struct TexCoord {
    float u, v;
};

struct Material {
    D3DCOLORVALUE diffuse{1, 1, 1, 1};  // the "faceColor" of the .x Material
    float power = 0;
    D3DCOLORVALUE specular{0, 0, 0, 1};
    D3DCOLORVALUE emissive{0, 0, 0, 1};
    std::string textureFilename;  // bytes as stored; empty when there is none
};

// Every array of vertex data has positions.size() entries when present.
// The presence flags tell which optional components the file had; merging a
// mesh that lacks one with a mesh that has it fills zeros (white for colours).
struct Mesh {
    std::vector<D3DVECTOR> positions;
    std::vector<D3DVECTOR> normals;     // as stored; renormalised when a frame transform applies
    std::vector<TexCoord> texcoords;
    std::vector<D3DCOLORVALUE> colors;  // MeshVertexColors, r g b a in 0..1
    bool hasNormals = false;
    bool hasTexcoords = false;
    bool hasColors = false;

    std::vector<uint32_t> indices;     // three per triangle, clockwise as stored
    std::vector<uint32_t> attributes;  // one material index per triangle
    std::vector<Material> materials;   // empty when the file has no material list

    uint32_t VertexCount() const { return static_cast<uint32_t>(positions.size()); }
    uint32_t FaceCount() const { return static_cast<uint32_t>(indices.size() / 3); }
    // True when every index fits a 16-bit index buffer.
    bool FitsSixteenBitIndices() const { return positions.size() <= 0x10000; }
};

struct Result {
    bool ok = false;
    std::string error;  // e.g. "line 12: Mesh: face 3 uses vertex 9 of 8"
};

// Reads .x data from memory.  On failure `mesh` is left empty.
Result Read(const void* data, size_t size, Mesh& mesh);

// Reads a .x file (path in UTF-8).
Result ReadFile(const std::string& path, Mesh& mesh);

}  // namespace xfile
