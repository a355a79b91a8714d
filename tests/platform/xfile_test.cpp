// The .x reader: the cube fixture in both encodings, frames, normals,
// materials, and damaged data failing with a message.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3dx9/mesh_geometry.h"
#include "platform/d3dx9/xfile.h"

namespace {

std::string MeshPath(const char* name) { return std::string(TESSALOOM_SOURCE_DIR) + "/demo/meshes/" + name; }

xfile::Result ReadText(const std::string& body, xfile::Mesh& mesh) {
    std::string data = "xof 0303txt 0032\n" + body;
    return xfile::Read(data.data(), data.size(), mesh);
}

// Builds binary .x data token by token.
struct Binary {
    std::vector<uint8_t> bytes;
    Binary() { Raw("xof 0303bin 0032"); }
    void Raw(const char* s) { bytes.insert(bytes.end(), s, s + std::strlen(s)); }
    void Word(uint16_t v) { Put(&v, 2); }
    void Dword(uint32_t v) { Put(&v, 4); }
    void Put(const void* p, size_t n) {
        auto b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Name(const std::string& s) {
        Word(1);
        Dword(static_cast<uint32_t>(s.size()));
        Put(s.data(), s.size());
    }
    void Ints(std::initializer_list<uint32_t> v) {
        Word(6);
        Dword(static_cast<uint32_t>(v.size()));
        for (uint32_t x : v) Dword(x);
    }
    void Floats(std::initializer_list<float> v) {
        Word(7);
        Dword(static_cast<uint32_t>(v.size()));
        for (float x : v) Put(&x, 4);
    }
    void Open() { Word(10); }
    void Close() { Word(11); }
    xfile::Result Read(xfile::Mesh& mesh) const { return xfile::Read(bytes.data(), bytes.size(), mesh); }
};

constexpr const char* kTriangle =
    "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n";

TEST(XFile, CubeTextAndBinaryReadToTheSameMesh) {
    xfile::Mesh text, binary;
    xfile::Result rt = xfile::ReadFile(MeshPath("cube.x"), text);
    ASSERT_TRUE(rt.ok) << rt.error;
    xfile::Result rb = xfile::ReadFile(MeshPath("cube_bin.x"), binary);
    ASSERT_TRUE(rb.ok) << rb.error;

    // Eight corners, each on three faces with three different normals.
    EXPECT_EQ(text.VertexCount(), 24u);
    EXPECT_EQ(text.FaceCount(), 12u);
    EXPECT_TRUE(text.hasNormals);
    EXPECT_TRUE(text.hasTexcoords);
    EXPECT_FALSE(text.hasColors);
    EXPECT_TRUE(text.FitsSixteenBitIndices());
    // The first face keeps the original vertices, fanned 0-1-2, 0-2-3.
    std::vector<uint32_t> firstFace(text.indices.begin(), text.indices.begin() + 6);
    EXPECT_EQ(firstFace, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(text.attributes, (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
    ASSERT_EQ(text.materials.size(), 2u);
    EXPECT_FLOAT_EQ(text.materials[0].diffuse.r, 0.8f);
    EXPECT_FLOAT_EQ(text.materials[0].diffuse.g, 0.6f);
    EXPECT_FLOAT_EQ(text.materials[0].power, 8.0f);
    EXPECT_EQ(text.materials[0].textureFilename, "");
    EXPECT_EQ(text.materials[1].textureFilename, "cube.png");
    EXPECT_FLOAT_EQ(text.materials[1].specular.g, 0.5f);

    EXPECT_EQ(binary.indices, text.indices);
    EXPECT_EQ(binary.attributes, text.attributes);
    ASSERT_EQ(binary.VertexCount(), text.VertexCount());
    for (size_t i = 0; i < text.positions.size(); ++i) {
        EXPECT_EQ(std::memcmp(&binary.positions[i], &text.positions[i], sizeof(D3DVECTOR)), 0) << i;
        EXPECT_EQ(std::memcmp(&binary.normals[i], &text.normals[i], sizeof(D3DVECTOR)), 0) << i;
        EXPECT_EQ(binary.texcoords[i].u, text.texcoords[i].u) << i;
        EXPECT_EQ(binary.texcoords[i].v, text.texcoords[i].v) << i;
    }
    ASSERT_EQ(binary.materials.size(), 2u);
    EXPECT_EQ(binary.materials[1].textureFilename, "cube.png");
    EXPECT_EQ(binary.materials[0].diffuse.b, text.materials[0].diffuse.b);

    D3DVECTOR centre;
    float radius;
    meshgeom::BoundingSphere(text, &centre, &radius);
    EXPECT_NEAR(centre.x, 0, 1e-6);
    EXPECT_NEAR(centre.y, 0, 1e-6);
    EXPECT_NEAR(centre.z, 0, 1e-6);
    EXPECT_NEAR(radius, std::sqrt(3.0f), 1e-6);
}

TEST(XFile, ComputedNormalsOfTheCubeMatchTheStoredOnes) {
    // Proves the fixture's faces are all clockwise seen from outside and the
    // normal computation uses D3D's winding.
    xfile::Mesh cube;
    ASSERT_TRUE(xfile::ReadFile(MeshPath("cube.x"), cube).ok);
    std::vector<D3DVECTOR> stored = cube.normals;
    meshgeom::ComputeNormals(cube);
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_NEAR(cube.normals[i].x, stored[i].x, 1e-6) << i;
        EXPECT_NEAR(cube.normals[i].y, stored[i].y, 1e-6) << i;
        EXPECT_NEAR(cube.normals[i].z, stored[i].z, 1e-6) << i;
    }
}

TEST(XFile, FrameTransformsApplyChildFirstThenParents) {
    // Outer frame: scale x by 2 then move +10 in x; inner: move +1 in y.
    // A point p ends at ((p + (0,1,0)) scaled) + (10,0,0).
    xfile::Mesh mesh;
    xfile::Result r = ReadText(
        "Frame Outer {\n"
        " FrameTransformMatrix { 2,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }\n"
        " Frame Inner {\n"
        "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; }\n"
        "  Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;;\n"
        "   MeshNormals { 1; 1;1;0;; 1; 3;0,0,0;; }\n"
        "  }\n"
        " }\n"
        "}\n",
        mesh);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(mesh.VertexCount(), 3u);
    EXPECT_FLOAT_EQ(mesh.positions[0].x, 12);
    EXPECT_FLOAT_EQ(mesh.positions[0].y, 1);
    EXPECT_FLOAT_EQ(mesh.positions[1].x, 10);
    EXPECT_FLOAT_EQ(mesh.positions[1].y, 2);
    EXPECT_FLOAT_EQ(mesh.positions[2].z, 1);
    // Normals take the inverse transpose: (1,1,0) under x-scale 2 becomes
    // (0.5,1,0), renormalised.
    float len = std::sqrt(0.25f + 1.0f);
    EXPECT_NEAR(mesh.normals[0].x, 0.5f / len, 1e-6);
    EXPECT_NEAR(mesh.normals[0].y, 1.0f / len, 1e-6);
    EXPECT_NEAR(mesh.normals[0].z, 0, 1e-6);
}

TEST(XFile, AMirroringFrameKeepsNormalsPointingOut) {
    // x -> -x: a surface facing +x faces -x afterwards.
    xfile::Mesh mesh;
    xfile::Result r = ReadText(
        "Frame { FrameTransformMatrix { -1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
        " Mesh { 3; 1;0;0;, 1;1;0;, 1;0;1;; 1; 3;0,1,2;; MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; } } }\n",
        mesh);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FLOAT_EQ(mesh.positions[0].x, -1);
    EXPECT_NEAR(mesh.normals[0].x, -1, 1e-6);
    EXPECT_NEAR(mesh.normals[0].y, 0, 1e-6);
}

TEST(XFile, MeshesOfSeveralFramesMergeWithOffsetIndicesAndMaterials) {
    // The first mesh has a textured material list, the second nothing: the
    // second gets a default material of its own and zero texture coordinates.
    xfile::Mesh mesh;
    xfile::Result r = ReadText(
        "Frame A { Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;;\n"
        "  MeshTextureCoords { 3; 0;0;, 0;1;, 1;0;; }\n"
        "  MeshMaterialList { 1; 1; 0;; Material { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; TextureFilename { \"a.png\"; } } }\n"
        "} }\n"
        "Frame B { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }\n"
        "  Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n",
        mesh);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(mesh.VertexCount(), 6u);
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(mesh.attributes, (std::vector<uint32_t>{0, 1}));
    ASSERT_EQ(mesh.materials.size(), 2u);
    EXPECT_EQ(mesh.materials[0].textureFilename, "a.png");
    EXPECT_FLOAT_EQ(mesh.materials[1].diffuse.g, 1.0f);
    EXPECT_TRUE(mesh.hasTexcoords);
    ASSERT_EQ(mesh.texcoords.size(), 6u);
    EXPECT_FLOAT_EQ(mesh.texcoords[1].v, 1);
    EXPECT_FLOAT_EQ(mesh.texcoords[4].v, 0);
    EXPECT_FLOAT_EQ(mesh.positions[5].z, 5);
}

TEST(XFile, PolygonsFanAndSharedNormalsDoNotSplit) {
    // A pentagon with one normal for every corner: five vertices, three
    // triangles; a one-entry face-index list applies to every face.
    xfile::Mesh mesh;
    xfile::Result r = ReadText(
        "Mesh { 5; 0;0;0;, 0;1;0;, 1;1;0;, 2;0;0;, 1;-1;0;;\n"
        " 1; 5;0,1,2,3,4;;\n"
        " MeshNormals { 1; 0;0;-1;; 1; 5;0,0,0,0,0;; }\n"
        " MeshVertexColors { 2; 0;1;0;0;1;;, 3;0;0;1;0.5;;; }\n"
        " MeshMaterialList { 2; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n"
        "                          Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; } }\n"
        "}\n",
        mesh);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(mesh.VertexCount(), 5u);
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
    EXPECT_EQ(mesh.attributes, (std::vector<uint32_t>{1, 1, 1}));
    ASSERT_TRUE(mesh.hasColors);
    EXPECT_FLOAT_EQ(mesh.colors[0].r, 1);
    EXPECT_FLOAT_EQ(mesh.colors[0].g, 0);
    EXPECT_FLOAT_EQ(mesh.colors[1].g, 1);  // not listed: white
    EXPECT_FLOAT_EQ(mesh.colors[3].a, 0.5f);
}

TEST(XFile, UnknownTemplatesDeclarationsAndReferencesAreSkipped) {
    xfile::Mesh mesh;
    xfile::Result r = ReadText(
        "# a comment\n"
        "template Custom { <11111111-2222-3333-4444-555555555555> DWORD n; array FLOAT v[n]; [...] }\n"
        "Header { 1; 0; 1; }\n"
        "AnimTicksPerSecond { 4800; }\n"
        "Frame F { Custom { 2; 1.0; 2.0; Nested { \"x\"; } }\n"
        " Mesh M { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;;\n"
        "  VertexDuplicationIndices { 3; 3; 0, 1, 2; }\n"
        "  DeclData { 1; 0;0;0;0;; 3; 1, 2, 3; }\n"
        " }\n"
        "}\n"
        "AnimationSet { Animation { { M } AnimationKey { 0; 1; 0; 4; 1,0,0,0;;; } } }\n",
        mesh);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(mesh.FaceCount(), 1u);
}

TEST(XFile, BinaryWithDoublesAndSingleIntegers) {
    // 64-bit floats, counts as single TOKEN_INTEGER records.
    Binary b;
    b.bytes.clear();
    b.Raw("xof 0302bin 0064");
    b.Name("Mesh");
    b.Open();
    b.Word(3);
    b.Dword(3);
    b.Word(7);
    b.Dword(9);
    for (double d : {0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.5}) b.Put(&d, 8);
    b.Ints({1, 3, 0, 1, 2});
    b.Close();
    xfile::Mesh mesh;
    xfile::Result r = b.Read(mesh);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(mesh.FaceCount(), 1u);
    EXPECT_FLOAT_EQ(mesh.positions[2].z, 0.5f);
}

struct DamagedText {
    const char* what;
    std::string body;
    const char* message;  // part of the expected error
};

class XFileDamagedText : public testing::TestWithParam<DamagedText> {};

TEST_P(XFileDamagedText, FailsWithAMessage) {
    const DamagedText& c = GetParam();
    xfile::Mesh mesh;
    xfile::Result r = ReadText(c.body, mesh);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.message), std::string::npos) << "error was: " << r.error;
    EXPECT_EQ(mesh.VertexCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XFileDamagedText,
    testing::Values(
        DamagedText{"huge vertex count", "Mesh { 4000000000; 0;0;0;; }", "above the limit"},
        DamagedText{"count beyond the data", "Mesh { 1000; 0;0;0;, 1;1;1;; }", "more than the data left"},
        DamagedText{"index out of range", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,3;; }", "uses vertex 3 of 3"},
        DamagedText{"face with two corners", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 2;0,1;; }", "has 2 corners"},
        DamagedText{"negative count", "Mesh { -3; 0;0;0;; }", "out of range"},
        DamagedText{"float count", "Mesh { 3.5; 0;0;0;; }", "expected an integer"},
        DamagedText{"huge number", "Mesh { 3; 1e39;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }", "out of range"},
        DamagedText{"truncated", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,", "data ends inside"},
        DamagedText{"unclosed", std::string(kTriangle).substr(0, std::string(kTriangle).size() - 3),
                    "data ends inside Mesh"},
        DamagedText{"string without quote", "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"abc; } }",
                    "closing quote"},
        DamagedText{"long name", "Frame " + std::string(300, 'a') + " { }", "name longer than 256"},
        DamagedText{"long string",
                    "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" + std::string(2000, 'a') + "\"; } }",
                    "string longer than 1024"},
        DamagedText{"deep frames", [] {
                        std::string s;
                        for (int i = 0; i < 100; ++i) s += "Frame {";
                        return s;
                    }(),
                    "nested deeper than 64"},
        DamagedText{"deep unknown objects", [] {
                        std::string s;
                        for (int i = 0; i < 100; ++i) s += "Thing {";
                        return s;
                    }(),
                    "nested deeper than 64"},
        DamagedText{"normals face count", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }",
                    "2 faces for a mesh of 1"},
        DamagedText{"normal index", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; } }",
                    "uses normal 1 of 1"},
        DamagedText{"normal corners", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }",
                    "has 4 corners"},
        DamagedText{"texcoord count", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }",
                    "2 coordinates for 3 vertices"},
        DamagedText{"colour index", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshVertexColors { 1; 7;1;1;1;1;;; } }",
                    "vertex 7 of 3"},
        DamagedText{"material index", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 4;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
                    "uses material 4 of 1"},
        DamagedText{"missing materials", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshMaterialList { 2; 1; 0;; } }",
                    "2 materials declared, 0 given"},
        DamagedText{"unknown material reference", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { Nope } } }",
                    "unknown material 'Nope'"},
        DamagedText{"no faces", "Frame { Mesh { 0; 0; } }", "no mesh with faces"},
        DamagedText{"stray character", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; @ }", "unexpected character '@'"},
        DamagedText{"binary byte", "Mesh \x01 { }", "unexpected character '\\x01'"}),
    [](const testing::TestParamInfo<DamagedText>& info) {
        std::string n = info.param.what;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(XFile, ErrorsNameTheLine) {
    xfile::Mesh mesh;
    xfile::Result r = ReadText("Mesh {\n 3;\n 0;0;0;,\n 0;1;0;,\n 1;0;0;;\n 1;\n 3;0,1,9;;\n}\n", mesh);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("line 8:", 0), 0u) << r.error;  // the header is line 1
}

TEST(XFile, BadHeadersFail) {
    struct Case {
        std::string data;
        const char* message;
    } cases[] = {
        {"", "no \"xof \" header"},
        {"xof 0303txt", "no \"xof \" header"},
        {"xof 0303tzip0032xxxxxxxx", "compressed .x data (\"tzip\") is not supported"},
        {"xof 0303bzip0032xxxxxxxx", "not supported"},
        {"xof 0303abc 0032", "unknown .x format"},
        {"xof 0303txt 0016", "unknown .x float size"},
        {"\x44\x44\x42\x44xxxxxxxxxxxxxxxxxxx", "no \"xof \" header"},
    };
    for (const Case& c : cases) {
        xfile::Mesh mesh;
        xfile::Result r = xfile::Read(c.data.data(), c.data.size(), mesh);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
    }
    xfile::Mesh mesh;
    EXPECT_FALSE(xfile::Read(nullptr, 0, mesh).ok);
    xfile::Result missing = xfile::ReadFile("/nonexistent/mesh.x", mesh);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos);
}

TEST(XFile, DamagedBinaryFails) {
    struct Case {
        const char* what;
        Binary data;
        const char* message;
    };
    std::vector<Case> cases;
    {
        Case c{"list longer than the data", {}, "longer than the data left"};
        c.data.Name("Mesh");
        c.data.Open();
        c.data.Word(6);
        c.data.Dword(0x40000000);
        c.data.Dword(3);
        cases.push_back(c);
    }
    {
        Case c{"name longer than the limit", {}, "name longer than 256"};
        c.data.Word(1);
        c.data.Dword(0xFFFFFFFF);
        cases.push_back(c);
    }
    {
        Case c{"truncated name", {}, "truncated name"};
        c.data.Word(1);
        c.data.Dword(10);
        c.data.Raw("Mes");
        cases.push_back(c);
    }
    {
        Case c{"unknown token", {}, "unknown binary token 99"};
        c.data.Word(99);
        cases.push_back(c);
    }
    {
        Case c{"half a token", {}, "truncated token"};
        c.data.bytes.push_back(1);
        cases.push_back(c);
    }
    {
        Case c{"floats where a count belongs", {}, "expected an integer"};
        c.data.Name("Mesh");
        c.data.Open();
        c.data.Floats({3, 0, 0, 0});
        cases.push_back(c);
    }
    {
        Case c{"count beyond the data", {}, "more than the data left"};
        c.data.Name("Mesh");
        c.data.Open();
        c.data.Ints({1000000});
        c.data.Floats({0, 0, 0});
        c.data.Close();
        cases.push_back(c);
    }
    {
        Case c{"not finite", {}, "not finite"};
        c.data.Name("Mesh");
        c.data.Open();
        c.data.Ints({1});
        c.data.Floats({0, INFINITY, 0});
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        xfile::Mesh mesh;
        xfile::Result r = c.data.Read(mesh);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.message), std::string::npos) << c.what << ": " << r.error;
        EXPECT_EQ(r.error.rfind("offset ", 0), 0u) << c.what << ": " << r.error;
    }
}

TEST(XFile, EveryPrefixOfTheCubesFailsCleanly) {
    for (const char* name : {"cube.x", "cube_bin.x"}) {
        xfile::Mesh whole;
        ASSERT_TRUE(xfile::ReadFile(MeshPath(name), whole).ok);
        FILE* f = std::fopen(MeshPath(name).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<char> bytes(8192);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        // Cutting anywhere before the last closing brace must fail, never
        // yield a partial mesh.
        size_t lastBrace = std::string(bytes.begin(), bytes.end()).find_last_of('}');
        size_t end = std::string(name) == "cube.x" ? lastBrace : bytes.size() - 2;
        for (size_t n = 0; n < end; ++n) {
            xfile::Mesh mesh;
            xfile::Result r = xfile::Read(bytes.data(), n, mesh);
            EXPECT_FALSE(r.ok) << name << " cut at " << n;
            EXPECT_FALSE(r.error.empty());
        }
    }
}

TEST(XFileGeometry, BoundingSphereUsesTheMeanAndTheStride) {
    // Positions inside 32-byte vertices (position, normal, texcoord).
    struct V {
        float p[3], n[3], t[2];
    };
    V v[4] = {{{0, 0, 0}, {}, {}}, {{4, 0, 0}, {}, {}}, {{0, 0, 0}, {}, {}}, {{0, 0, 0}, {}, {}}};
    D3DVECTOR c;
    float r;
    meshgeom::BoundingSphere(v, 4, sizeof(V), &c, &r);
    EXPECT_FLOAT_EQ(c.x, 1);  // the mean, not the middle of the box
    EXPECT_FLOAT_EQ(r, 3);
    meshgeom::BoundingSphere(v, 0, sizeof(V), &c, &r);
    EXPECT_FLOAT_EQ(r, 0);
}

TEST(XFileGeometry, ComputeNormalsAveragesUnitFaceNormals) {
    // Two triangles sharing an edge: one in the z=0 plane (normal -z),
    // one folded down (normal -y); a big one and a small one, so weighting
    // by area would tip the shared normal.  16-bit indices; vertex 4 unused.
    struct V {
        float p[3], n[3], t[2];
    };
    V v[5] = {{{0, 0, 0}, {9, 9, 9}, {}},
              {{0, 10, 0}, {}, {}},
              {{10, 0, 0}, {}, {}},
              {{0, 0, 1}, {}, {}},
              {{5, 5, 5}, {9, 9, 9}, {}}};
    uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_TRUE(meshgeom::ComputeNormals(v, 5, sizeof(V), 12, idx, true, 2));
    float s = 1 / std::sqrt(2.0f);
    EXPECT_NEAR(v[0].n[0], 0, 1e-6);
    EXPECT_NEAR(v[0].n[1], -s, 1e-6);
    EXPECT_NEAR(v[0].n[2], -s, 1e-6);
    EXPECT_NEAR(v[1].n[2], -1, 1e-6);
    EXPECT_NEAR(v[3].n[1], -1, 1e-6);
    EXPECT_EQ(v[4].n[0], 0);  // on no triangle
    uint16_t bad[3] = {0, 1, 5};
    EXPECT_FALSE(meshgeom::ComputeNormals(v, 5, sizeof(V), 12, bad, true, 1));
}

}  // namespace

namespace {

TEST(XFileGeometry, AdjacencyJoinsFacesAcrossSplitVertices) {
    // Two triangles of a quad: 0-1-2 and 0-2-3 share the edge 2-0 / 0-2.
    float quad[4][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    uint32_t idx[6] = {0, 1, 2, 0, 2, 3};
    std::vector<uint32_t> adj = meshgeom::Adjacency(quad, 4, 12, idx, 2);
    const uint32_t N = meshgeom::kNoNeighbour;
    EXPECT_EQ(adj, (std::vector<uint32_t>{N, N, 1, 0, N, N}));

    // The cube's vertices are split by normal, yet it is closed: every edge
    // has a neighbour, and neighbours point back.
    xfile::Mesh cube;
    ASSERT_TRUE(xfile::ReadFile(MeshPath("cube.x"), cube).ok);
    adj = meshgeom::Adjacency(cube.positions.data(), cube.VertexCount(), sizeof(D3DVECTOR), cube.indices.data(),
                              cube.FaceCount());
    ASSERT_EQ(adj.size(), 36u);
    for (uint32_t f = 0; f < 12; ++f)
        for (int i = 0; i < 3; ++i) {
            uint32_t g = adj[f * 3 + i];
            ASSERT_LT(g, 12u) << f << " edge " << i;
            EXPECT_TRUE(adj[g * 3] == f || adj[g * 3 + 1] == f || adj[g * 3 + 2] == f) << f << " <-> " << g;
        }
}

TEST(XFileGeometry, SortByAttributeReordersFacesVerticesAndAdjacency) {
    // Four triangles in a strip, attributes 1, 0, 1, 0; vertex 6 is unused.
    float pos[7][3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}, {9, 9, 9}};
    std::vector<uint32_t> indices = {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5};
    std::vector<uint32_t> attributes = {1, 0, 1, 0};
    std::vector<uint32_t> adjacency = meshgeom::Adjacency(pos, 7, 12, indices.data(), 4);
    meshgeom::Reordering r;
    ASSERT_TRUE(meshgeom::SortByAttribute(indices, attributes, 7, &adjacency, r));
    EXPECT_EQ(r.faceRemap, (std::vector<uint32_t>{1, 3, 0, 2}));
    EXPECT_EQ(attributes, (std::vector<uint32_t>{0, 0, 1, 1}));
    // First use in the new face order: 2 1 3 | 4 5 | 0 | then the unused 6.
    EXPECT_EQ(r.vertexRemap, (std::vector<uint32_t>{2, 1, 3, 4, 5, 0, 6}));
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 3, 2, 4, 5, 1, 0, 0, 2, 3}));
    // The adjacency of the reordered faces, recomputed, equals the remapped one.
    float moved[7][3];
    std::memcpy(moved, pos, sizeof pos);
    meshgeom::ApplyVertexRemap(moved, 12, r.vertexRemap);
    EXPECT_EQ(moved[0][0], 1);
    EXPECT_EQ(moved[6][2], 9);
    EXPECT_EQ(adjacency, meshgeom::Adjacency(moved, 7, 12, indices.data(), 4));
    ASSERT_EQ(r.table.size(), 2u);
    EXPECT_EQ(r.table[0].attribId, 0u);
    EXPECT_EQ(r.table[0].faceStart, 0u);
    EXPECT_EQ(r.table[0].faceCount, 2u);
    EXPECT_EQ(r.table[0].vertexStart, 0u);
    EXPECT_EQ(r.table[0].vertexCount, 5u);
    EXPECT_EQ(r.table[1].attribId, 1u);
    EXPECT_EQ(r.table[1].faceStart, 2u);
    EXPECT_EQ(r.table[1].vertexStart, 0u);
    EXPECT_EQ(r.table[1].vertexCount, 6u);

    std::vector<uint32_t> bad = {0, 1, 7};
    std::vector<uint32_t> one = {0};
    EXPECT_FALSE(meshgeom::SortByAttribute(bad, one, 7, nullptr, r));
    EXPECT_EQ(bad[2], 7u);
}

TEST(XFileGeometry, PackVerticesInterleavesAnFvfLayout) {
    xfile::Mesh mesh;
    xfile::Result res = ReadText(
        "Mesh { 3; 1;2;3;, 4;5;6;, 7;8;9;; 1; 3;0,1,2;;\n"
        " MeshNormals { 1; 0;0;-1;; 1; 3;0,0,0;; }\n"
        " MeshTextureCoords { 3; 0.25;0.5;, 1;0;, 0;1;; }\n"
        " MeshVertexColors { 1; 0;1;0.5;0;0.25;;; }\n"
        "}\n",
        mesh);
    ASSERT_TRUE(res.ok) << res.error;
    std::vector<uint8_t> bytes;
    uint32_t stride = 0;
    // Position, normal, one texture coordinate: the layout the callers clone to.
    ASSERT_TRUE(meshgeom::PackVertices(mesh, 0x112, bytes, &stride));
    EXPECT_EQ(stride, 32u);
    ASSERT_EQ(bytes.size(), 96u);
    float f[8];
    std::memcpy(f, bytes.data(), 32);
    EXPECT_EQ(std::vector<float>(f, f + 8), (std::vector<float>{1, 2, 3, 0, 0, -1, 0.25f, 0.5f}));

    // Diffuse from the vertex colours (B, G, R, A bytes), white where none.
    ASSERT_TRUE(meshgeom::PackVertices(mesh, 0x042, bytes, &stride));
    EXPECT_EQ(stride, 16u);
    DWORD c0, c1;
    std::memcpy(&c0, bytes.data() + 12, 4);
    std::memcpy(&c1, bytes.data() + 16 + 12, 4);
    EXPECT_EQ(c0, 0x40FF8000u);
    EXPECT_EQ(c1, 0xFFFFFFFFu);

    // Two texture sets: the second is zero.
    ASSERT_TRUE(meshgeom::PackVertices(mesh, 0x202, bytes, &stride));
    EXPECT_EQ(stride, 28u);

    for (DWORD fvf : {0x004u, 0x112u | 0x020u, 0x102u | 0x10000u, 0x010u, 0x902u})
        EXPECT_FALSE(meshgeom::PackVertices(mesh, fvf, bytes, &stride)) << std::hex << fvf;
}

}  // namespace
