// ID3DXMesh over the Direct3D 9 stand-in's vertex and index buffers, meshes
// from .x data (xfile.h), and the D3DX mesh helpers.
//
// A mesh is triangles in a vertex buffer of one flexible vertex format
// (D3DFVF_XYZ positions, with optional normal, point size, diffuse,
// specular and texture coordinate sets of 1 to 4 floats), a 16-bit index
// buffer (32-bit with D3DXMESH_32BIT), and one attribute (a material index)
// per face kept in system memory.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9core.h"
#include "platform/d3dx9/d3dx9math.h"

// Mesh options (D3DXMESH).
constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_DONOTCLIP = 0x002;
constexpr DWORD D3DXMESH_POINTS = 0x004;
constexpr DWORD D3DXMESH_RTPATCHES = 0x008;
constexpr DWORD D3DXMESH_NPATCHES = 0x4000;
constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010;
constexpr DWORD D3DXMESH_VB_MANAGED = 0x020;
constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040;
constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080;
constexpr DWORD D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000;
constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100;
constexpr DWORD D3DXMESH_IB_MANAGED = 0x200;
constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400;
constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800;
constexpr DWORD D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000;
constexpr DWORD D3DXMESH_VB_SHARE = 0x1000;
constexpr DWORD D3DXMESH_USEHWONLY = 0x2000;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
constexpr DWORD D3DXMESH_MANAGED = 0x220;
constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
constexpr DWORD D3DXMESH_DYNAMIC = 0x880;
constexpr DWORD D3DXMESH_SOFTWAREPROCESSING = 0x18000;

// Optimisations (D3DXMESHOPT).
constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000;
constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000;
constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000;
constexpr DWORD D3DXMESHOPT_STRIPREORDER = 0x08000000;
constexpr DWORD D3DXMESHOPT_IGNOREVERTS = 0x10000000;
constexpr DWORD D3DXMESHOPT_DONOTSPLIT = 0x20000000;
constexpr DWORD D3DXMESHOPT_DEVICEINDEPENDENT = 0x40000000;

struct D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
};

// One material of a loaded mesh; the file name points into the same buffer
// (null when the material has none).
struct D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
};

struct D3DXEFFECTDEFAULT;
// .x files here carry no effect instances: one entry per material with no
// effect file and no defaults.
struct D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    D3DXEFFECTDEFAULT* pDefaults;
};

// {7ED943DD-52E8-40B5-A8D8-76685C406330}
inline constexpr IID IID_ID3DXBaseMesh = {0x7ed943dd, 0x52e8, 0x40b5, {0xa8, 0xd8, 0x76, 0x68, 0x5c, 0x40, 0x63, 0x30}};
// {4020E5C2-1403-4929-883F-E2E849FAC195}
inline constexpr IID IID_ID3DXMesh = {0x4020e5c2, 0x1403, 0x4929, {0x88, 0x3f, 0xe2, 0xe8, 0x49, 0xfa, 0xc1, 0x95}};

struct ID3DXMesh;

struct ID3DXBaseMesh : IUnknown {
    // Draws the faces whose attribute is AttribId: with the attribute table
    // (after OptimizeInplace with ATTRSORT) its range, else every run of
    // such faces.  Sets stream 0, the indices and the FVF on the device.
    virtual HRESULT DrawSubset(DWORD AttribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual DWORD GetNumBytesPerVertex() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;
    // A copy with other options and vertex format: elements both formats
    // have are copied, new ones are zero.
    virtual HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, IDirect3DDevice9* pD3DDevice, ID3DXMesh** ppCloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** ppVB) = 0;
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** ppIB) = 0;
    virtual HRESULT LockVertexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    // With a null table, *pAttribTableSize receives the number of entries.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) = 0;
    // Three DWORDs per face: the neighbour across each edge, 0xFFFFFFFF for
    // none.  Positions closer than Epsilon in every coordinate count as one.
    virtual HRESULT GenerateAdjacency(FLOAT Epsilon, DWORD* pAdjacency) = 0;

protected:
    ~ID3DXBaseMesh() = default;
};

struct ID3DXMesh : ID3DXBaseMesh {
    virtual HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    // Reorders faces and vertices: ATTRSORT sorts faces by attribute
    // (stable) and builds the attribute table; vertices are renumbered in
    // the order the faces first use them unless IGNOREVERTS; COMPACT, and
    // every vertex-optimising flag, drops vertices no face uses.
    // VERTEXCACHE and STRIPREORDER keep each attribute's face order, which
    // D3DX permits (the result is a valid reordering).  The outputs are
    // optional: adjacency (3 per face), face remap (new face -> old face)
    // and a buffer with one DWORD per original vertex (new vertex -> old
    // vertex, 0xFFFFFFFF past the new count).
    virtual HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                                    ID3DXBuffer** ppVertexRemap) = 0;

protected:
    ~ID3DXMesh() = default;
};
using LPD3DXMESH = ID3DXMesh*;
using LPD3DXBASEMESH = ID3DXBaseMesh*;

HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF, IDirect3DDevice9* pD3DDevice,
                          ID3DXMesh** ppMesh);

// Every mesh of the .x data merged into one (xfile.h); vertex format
// D3DFVF_XYZ plus D3DFVF_NORMAL, D3DFVF_DIFFUSE and D3DFVF_TEX1 for what the
// file has.  The optional outputs: adjacency (3 DWORDs per face),
// materials (D3DXMATERIAL each), effect instances, the material count.
// Damaged data fails with D3DXERR_INVALIDDATA and a message on stderr.
HRESULT D3DXLoadMeshFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD Options, IDirect3DDevice9* pD3DDevice,
                                  ID3DXBuffer** ppAdjacency, ID3DXBuffer** ppMaterials,
                                  ID3DXBuffer** ppEffectInstances, DWORD* pNumMaterials, ID3DXMesh** ppMesh);
HRESULT D3DXLoadMeshFromXW(LPCWSTR pFilename, DWORD Options, IDirect3DDevice9* pD3DDevice, ID3DXBuffer** ppAdjacency,
                           ID3DXBuffer** ppMaterials, ID3DXBuffer** ppEffectInstances, DWORD* pNumMaterials,
                           ID3DXMesh** ppMesh);

// Vertex normals from the faces (mesh_geometry.h): the mesh needs
// D3DFVF_NORMAL.  The adjacency is optional and not needed for that.
HRESULT D3DXComputeNormals(ID3DXBaseMesh* pMesh, const DWORD* pAdjacency);

// Centre = mean of the positions, radius = largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                  D3DXVECTOR3* pCenter, FLOAT* pRadius);
