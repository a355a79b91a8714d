// ID3DXMesh on the device: the cube fixture loaded from text and binary .x
// data, the load-clone-normals-optimise-bounds sequence the scene's mesh
// cache runs, clones, compaction, drawing one subset, and damaged data.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3dx9/mesh.h"
#include "platform/win32/strings.h"
#include "tests/support/d3d_harness.h"

namespace {

using tessaloom::testing::D3DHarness;
using tessaloom::testing::Probe;

std::string MeshPath(const char* name) { return std::string(TESSALOOM_SOURCE_DIR) + "/demo/meshes/" + name; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct PntVertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    float x, y, z, nx, ny, nz, u, v;
};

std::vector<uint16_t> Indices(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    std::vector<uint16_t> out(static_cast<const uint16_t*>(data), static_cast<const uint16_t*>(data) + mesh->GetNumFaces() * 3);
    mesh->UnlockIndexBuffer();
    return out;
}

std::vector<uint8_t> VertexBytes(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    const auto* b = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> out(b, b + mesh->GetNumVertices() * mesh->GetNumBytesPerVertex());
    mesh->UnlockVertexBuffer();
    return out;
}

TEST(D3DXMesh, CubeFromTextAndBinaryData) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    std::vector<std::vector<uint8_t>> vertexData;
    std::vector<std::vector<uint16_t>> indexData;
    for (const char* name : {"cube.x", "cube_bin.x"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadAll(MeshPath(name));
        ASSERT_FALSE(bytes.empty());
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer *adjacency = nullptr, *materials = nullptr, *effects = nullptr;
        DWORD count = 0;
        ASSERT_EQ(D3DXLoadMeshFromXInMemory(bytes.data(), static_cast<DWORD>(bytes.size()), D3DXMESH_SYSTEMMEM, h.device,
                                            &adjacency, &materials, &effects, &count, &mesh),
                  D3D_OK);
        EXPECT_EQ(mesh->GetNumVertices(), 24u);  // eight corners on three faces each
        EXPECT_EQ(mesh->GetNumFaces(), 12u);
        EXPECT_EQ(mesh->GetFVF(), static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
        EXPECT_EQ(mesh->GetNumBytesPerVertex(), 32u);
        EXPECT_EQ(mesh->GetOptions(), D3DXMESH_SYSTEMMEM);
        std::vector<uint16_t> idx = Indices(mesh);
        EXPECT_EQ(std::vector<uint16_t>(idx.begin(), idx.begin() + 6), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
        for (uint16_t i : idx) EXPECT_LT(i, 24u);

        // Attributes as the material list gives them.
        DWORD* attributes = nullptr;
        ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
        EXPECT_EQ(std::vector<DWORD>(attributes, attributes + 12), (std::vector<DWORD>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
        mesh->UnlockAttributeBuffer();

        // The cube is closed: every edge has a neighbour.
        ASSERT_NE(adjacency, nullptr);
        ASSERT_EQ(adjacency->GetBufferSize(), 12u * 3 * sizeof(DWORD));
        const auto* adj = static_cast<const DWORD*>(adjacency->GetBufferPointer());
        for (int i = 0; i < 36; ++i) EXPECT_LT(adj[i], 12u) << i;

        ASSERT_EQ(count, 2u);
        ASSERT_NE(materials, nullptr);
        const auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
        EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.g, 0.6f);
        EXPECT_FLOAT_EQ(m[0].MatD3D.Power, 8.0f);
        EXPECT_EQ(m[0].pTextureFilename, nullptr);
        ASSERT_NE(m[1].pTextureFilename, nullptr);
        EXPECT_STREQ(m[1].pTextureFilename, "cube.png");
        ASSERT_NE(effects, nullptr);
        EXPECT_EQ(static_cast<const D3DXEFFECTINSTANCE*>(effects->GetBufferPointer())[1].pEffectFilename, nullptr);

        void* vertices = nullptr;
        ASSERT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices), D3D_OK);
        D3DXVECTOR3 centre;
        float radius = 0;
        EXPECT_EQ(D3DXComputeBoundingSphere(static_cast<const D3DXVECTOR3*>(vertices), 24, 32, &centre, &radius), D3D_OK);
        mesh->UnlockVertexBuffer();
        EXPECT_NEAR(centre.x, 0, 1e-6);
        EXPECT_NEAR(centre.y, 0, 1e-6);
        EXPECT_NEAR(centre.z, 0, 1e-6);
        EXPECT_NEAR(radius, std::sqrt(3.0f), 1e-6);

        vertexData.push_back(VertexBytes(mesh));
        indexData.push_back(idx);
        adjacency->Release();
        materials->Release();
        effects->Release();
        mesh->Release();
    }
    EXPECT_EQ(vertexData[0], vertexData[1]);
    EXPECT_EQ(indexData[0], indexData[1]);

    // The same through a file name.
    ID3DXMesh* mesh = nullptr;
    const std::u16string path = tessaloom::Utf8ToUtf16(MeshPath("cube_bin.x"));
    ASSERT_EQ(D3DXLoadMeshFromXW(path.c_str(), D3DXMESH_MANAGED, h.device, nullptr, nullptr, nullptr, nullptr, &mesh), D3D_OK);
    EXPECT_EQ(VertexBytes(mesh), vertexData[0]);
    mesh->Release();
}

// Load with adjacency, clone to position + normal + texture coordinates,
// compute normals, optimise with the adjacency, read counts, indices and
// the bounding sphere: what the scene's mesh cache does.
TEST(D3DXMesh, CacheSequenceOnTheCube) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    const std::string bytes = ReadAll(MeshPath("cube.x"));
    ID3DXMesh* loaded = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXInMemory(bytes.data(), static_cast<DWORD>(bytes.size()), D3DXMESH_SYSTEMMEM, h.device,
                                        &adjacency, nullptr, nullptr, nullptr, &loaded),
              D3D_OK);
    ID3DXMesh* clone = nullptr;
    ASSERT_EQ(loaded->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, h.device, &clone), D3D_OK);
    loaded->Release();
    const std::vector<uint8_t> before = VertexBytes(clone);
    ASSERT_EQ(D3DXComputeNormals(clone, nullptr), D3D_OK);
    // Flat faces: the computed normals are the stored ones.
    const std::vector<uint8_t> after = VertexBytes(clone);
    for (size_t v = 0; v < 24; ++v) {
        PntVertex a, b;
        std::memcpy(&a, before.data() + v * 32, 32);
        std::memcpy(&b, after.data() + v * 32, 32);
        EXPECT_NEAR(a.nx, b.nx, 1e-6) << v;
        EXPECT_NEAR(a.ny, b.ny, 1e-6) << v;
        EXPECT_NEAR(a.nz, b.nz, 1e-6) << v;
    }
    ASSERT_EQ(clone->OptimizeInplace(D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                     static_cast<const DWORD*>(adjacency->GetBufferPointer()), nullptr, nullptr, nullptr),
              D3D_OK);
    EXPECT_EQ(clone->GetNumVertices(), 24u);
    EXPECT_EQ(clone->GetNumFaces(), 12u);
    DWORD size = 0;
    clone->GetAttributeTable(nullptr, &size);
    ASSERT_EQ(size, 2u);
    D3DXATTRIBUTERANGE table[2];
    clone->GetAttributeTable(table, &size);
    EXPECT_EQ(table[0].AttribId, 0u);
    EXPECT_EQ(table[0].FaceStart, 0u);
    EXPECT_EQ(table[0].FaceCount, 8u);
    EXPECT_EQ(table[1].FaceStart, 8u);
    EXPECT_EQ(table[1].FaceCount, 4u);
    // Vertices renumbered in the order the faces use them.
    const std::vector<uint16_t> idx = Indices(clone);
    uint16_t next = 0;
    for (uint16_t i : idx) {
        EXPECT_LE(i, next);
        if (i == next) ++next;
    }
    EXPECT_EQ(next, 24);
    // Every face still has a unit normal pointing away from the centre.
    const std::vector<uint8_t> vertices = VertexBytes(clone);
    for (size_t v = 0; v < 24; ++v) {
        PntVertex p;
        std::memcpy(&p, vertices.data() + v * 32, 32);
        EXPECT_NEAR(p.x * p.nx + p.y * p.ny + p.z * p.nz, 1.0f, 1e-5) << v;
    }
    D3DXVECTOR3 centre;
    float radius = 0;
    EXPECT_EQ(D3DXComputeBoundingSphere(reinterpret_cast<const D3DXVECTOR3*>(vertices.data()), 24, 32, &centre, &radius), D3D_OK);
    EXPECT_NEAR(radius, std::sqrt(3.0f), 1e-6);
    // The clone's own adjacency agrees: the cube stays closed.
    std::vector<DWORD> adj(36);
    ASSERT_EQ(clone->GenerateAdjacency(0.0f, adj.data()), D3D_OK);
    for (DWORD a : adj) EXPECT_LT(a, 12u);
    adjacency->Release();
    clone->Release();
}

TEST(D3DXMesh, OptimizeDropsUnusedVerticesAndReportsTheRemap) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 6, D3DXMESH_MANAGED, D3DFVF_XYZ, h.device, &mesh), D3D_OK);
    float* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (int i = 0; i < 6; ++i) v[i * 3] = static_cast<float>(i), v[i * 3 + 1] = 0, v[i * 3 + 2] = 0;
    mesh->UnlockVertexBuffer();
    uint16_t* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    const uint16_t faces[6] = {5, 3, 1, 1, 3, 0};  // vertices 2 and 4 unused
    std::memcpy(idx, faces, sizeof(faces));
    mesh->UnlockIndexBuffer();
    DWORD* attributes = nullptr;
    mesh->LockAttributeBuffer(0, &attributes);
    attributes[0] = 1, attributes[1] = 0;
    mesh->UnlockAttributeBuffer();

    DWORD faceRemap[2] = {};
    ID3DXBuffer* vertexRemap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_COMPACT, nullptr, nullptr, faceRemap, &vertexRemap),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 4u);
    EXPECT_EQ(faceRemap[0], 1u);  // attribute 0 first
    EXPECT_EQ(faceRemap[1], 0u);
    ASSERT_NE(vertexRemap, nullptr);
    ASSERT_EQ(vertexRemap->GetBufferSize(), 6 * sizeof(DWORD));
    const auto* remap = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
    EXPECT_EQ(std::vector<DWORD>(remap, remap + 6), (std::vector<DWORD>{1, 3, 0, 5, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(Indices(mesh), (std::vector<uint16_t>{0, 1, 2, 3, 1, 0}));
    mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    EXPECT_EQ(v[0], 1.0f);  // new vertex 0 is old vertex 1
    EXPECT_EQ(v[9], 5.0f);
    mesh->UnlockVertexBuffer();
    vertexRemap->Release();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(mesh->OptimizeInplace(0x80000000u, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    ::testing::internal::GetCapturedStderr();
    mesh->Release();
}

TEST(D3DXMesh, CloneCopiesSharedElementsAndZeroesNewOnes) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    const std::string bytes = ReadAll(MeshPath("cube.x"));
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXInMemory(bytes.data(), static_cast<DWORD>(bytes.size()), D3DXMESH_MANAGED, h.device,
                                        nullptr, nullptr, nullptr, nullptr, &mesh),
              D3D_OK);
    ID3DXMesh* clone = nullptr;
    // Position + diffuse + two texture sets, 32-bit indices.
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX2;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, fvf, h.device, &clone), D3D_OK);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), 12u + 4 + 16);
    const std::vector<uint8_t> a = VertexBytes(mesh), b = VertexBytes(clone);
    for (size_t v = 0; v < 24; ++v) {
        EXPECT_EQ(std::memcmp(&a[v * 32], &b[v * 32], 12), 0) << v;           // position
        uint32_t diffuse = 1;
        std::memcpy(&diffuse, &b[v * 32 + 12], 4);
        EXPECT_EQ(diffuse, 0u) << v;                                          // new: zero
        EXPECT_EQ(std::memcmp(&a[v * 32 + 24], &b[v * 32 + 16], 8), 0) << v;  // texture set 0
    }
    void* data = nullptr;
    clone->LockIndexBuffer(D3DLOCK_READONLY, &data);
    const auto* wide = static_cast<const uint32_t*>(data);
    const std::vector<uint16_t> narrow = Indices(mesh);
    for (size_t i = 0; i < narrow.size(); ++i) EXPECT_EQ(wide[i], narrow[i]) << i;
    clone->UnlockIndexBuffer();
    clone->Release();

    // Formats a mesh cannot have fail.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(mesh->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZRHW, h.device, &clone), D3DERR_INVALIDCALL);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(D3DXComputeNormals(nullptr, nullptr), D3DERR_INVALIDCALL);
    ID3DXMesh* flat = nullptr;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZ, h.device, &flat), D3D_OK);
    EXPECT_EQ(D3DXComputeNormals(flat, nullptr), D3DERR_INVALIDCALL);  // no normals to compute
    ::testing::internal::GetCapturedStderr();
    flat->Release();
    mesh->Release();
}

// Two quads, attribute 0 on the left half (red), 1 on the right (green);
// drawing subset 1 fills only the right half.
TEST(D3DXMesh, DrawSubsetDrawsOneAttribute) {
    D3DHarness h(16, 16);
    ASSERT_TRUE(h.ok());
    IDirect3DDevice9* d = h.device;
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(4, 8, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE, d, &mesh), D3D_OK);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    const V vertices[8] = {{-1, 1, 0.5f, 0xffff0000}, {0, 1, 0.5f, 0xffff0000}, {-1, -1, 0.5f, 0xffff0000}, {0, -1, 0.5f, 0xffff0000},
                           {0, 1, 0.5f, 0xff00ff00},  {1, 1, 0.5f, 0xff00ff00}, {0, -1, 0.5f, 0xff00ff00},  {1, -1, 0.5f, 0xff00ff00}};
    void* data = nullptr;
    mesh->LockVertexBuffer(0, &data);
    std::memcpy(data, vertices, sizeof(vertices));
    mesh->UnlockVertexBuffer();
    const uint16_t indices[12] = {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7};
    mesh->LockIndexBuffer(0, &data);
    std::memcpy(data, indices, sizeof(indices));
    mesh->UnlockIndexBuffer();
    DWORD* attributes = nullptr;
    mesh->LockAttributeBuffer(0, &attributes);
    attributes[2] = attributes[3] = 1;
    mesh->UnlockAttributeBuffer();

    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (bool sorted : {false, true}) {
        SCOPED_TRACE(sorted ? "with the attribute table" : "from the attribute buffer");
        if (sorted) {
            ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
        }
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
        d->BeginScene();
        EXPECT_EQ(mesh->DrawSubset(1), D3D_OK);
        d->EndScene();
        auto img = h.ReadBackBuffer();
        EXPECT_TRUE(Probe(img, 12, 8, 0xff00ff00));
        EXPECT_TRUE(Probe(img, 4, 8, 0xff000000));
    }
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    mesh->Release();
}

TEST(D3DXMesh, DamagedDataFailsCleanly) {
    D3DHarness h(8, 8);
    ASSERT_TRUE(h.ok());
    const std::string cube = ReadAll(MeshPath("cube_bin.x"));
    const std::string header = "xof 0303txt 0032\n";
    std::string manyVertices = header + "Mesh { 65537;";
    for (int i = 0; i < 65537; ++i) manyVertices += "0;0;0;" + std::string(i + 1 < 65537 ? "," : ";");
    manyVertices += " 1; 3;0,1,65536;; }";
    struct Case {
        const char* what;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not .x", "hello, world"},
        {"truncated binary", cube.substr(0, cube.size() / 2)},
        {"huge vertex count", header + "Mesh { 4000000000; 0;0;0;; 1; 3;0,0,0;; }"},
        {"index past the vertices", header + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }"},
        {"no faces", header + "Frame F { }"},
        {"compressed", "xof 0303bzip0032" + std::string(32, '\0')},
        {"16-bit indices cannot reach", manyVertices},
    };
    for (const Case& c : cases) {
        ID3DXMesh* mesh = reinterpret_cast<ID3DXMesh*>(1);
        ID3DXBuffer* adjacency = reinterpret_cast<ID3DXBuffer*>(1);
        DWORD count = 7;
        ::testing::internal::CaptureStderr();
        const HRESULT hr = D3DXLoadMeshFromXInMemory(c.data.data(), static_cast<DWORD>(c.data.size()), D3DXMESH_SYSTEMMEM,
                                                     h.device, &adjacency, nullptr, nullptr, &count, &mesh);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(FAILED(hr)) << c.what;
        EXPECT_EQ(mesh, nullptr) << c.what;
        EXPECT_EQ(adjacency, nullptr) << c.what;
        EXPECT_EQ(count, 0u) << c.what;
        EXPECT_FALSE(err.empty()) << c.what;
        if (SUCCEEDED(hr) && mesh) mesh->Release();
    }
    // The same many vertices load with 32-bit indices.
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXInMemory(manyVertices.data(), static_cast<DWORD>(manyVertices.size()),
                                        D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, h.device, nullptr, nullptr, nullptr, nullptr,
                                        &mesh),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 65537u);
    mesh->Release();
    // A missing file and null arguments.
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(FAILED(D3DXLoadMeshFromXW(u"/nonexistent/mesh.x", 0, h.device, nullptr, nullptr, nullptr, nullptr, &mesh)));
    EXPECT_EQ(D3DXLoadMeshFromXInMemory(cube.data(), static_cast<DWORD>(cube.size()), 0, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, &mesh),
              D3DERR_INVALIDCALL);
    D3DXVECTOR3 centre;
    float radius;
    EXPECT_EQ(D3DXComputeBoundingSphere(nullptr, 3, 12, &centre, &radius), D3DERR_INVALIDCALL);
    ::testing::internal::GetCapturedStderr();
}

}  // namespace
