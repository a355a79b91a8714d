// Meshes and effects of a document made by the default device side on a real
// device: the demo cube becomes managed buffers of 32-byte vertices and
// 16-bit indices with its bounding sphere, a demo effect becomes a counted
// ID3DXEffect that hears of device loss, and data that cannot be made gives
// an empty mesh or a null effect every time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "document/archive_writer.h"
#include "document/res_manager.h"
#include "platform/d3dx9/effect.h"
#include "platform/win32/strings.h"
#include "tests/support/res_fixture.h"
#include "tests/support/d3d_harness.h"

namespace {

IDirect3DDevice9* g_device = nullptr;
IDirect3DDevice9* Current() { return g_device; }

std::vector<BYTE> ReadDemo(const std::string& name) {
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/" + name, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

ULONG Refs(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

struct SavedFile {
    std::u16string path;
    INT64 stamp;
    std::vector<BYTE> bytes;
};

// One manager read from a document whose saved-files table holds `files`
// (authoring files: a path and their bytes), on the harness's device.
class ResDeviceRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness_.ok());
        g_device = harness_.device;
        previousGetter_ = SetResCurrentDeviceGetter(&Current);
    }
    void TearDown() override {
        manager_.reset();  // every buffer and effect goes before the device
        SetResCurrentDeviceGetter(previousGetter_);
        g_device = nullptr;
    }
    DS_CurrentDeviceGetter previousGetter_ = nullptr;

    DS_DocResManager& Read(const std::vector<SavedFile>& files) {
        DS_IOF_W w;
        w.WriteUInt(0);  // no saved pictures
        w.WriteUInt(0);  // no frame values
        w.WriteUInt(static_cast<UINT>(files.size()));
        for (const SavedFile& f : files) {
            w.WriteString(f.path);
            w.WriteInt64(f.stamp);
            w.WriteUInt(1);
            w.WriteResFile(resfix::Record(0, u"", f.path, f.bytes));
        }
        w.WriteUInt(0);  // no painted masks
        bytes_ = w.TakeBytes();
        ResourceBuffer buffer(bytes_.data(), bytes_.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        manager_ = std::make_unique<DS_DocResManager>();
        EXPECT_TRUE(manager_->ReadFields(reader, 3));
        return *manager_;
    }

    tessaloom::testing::D3DHarness harness_{16, 16};
    resfix::FakeModules modules_;  // no module: only the document's bytes serve
    std::vector<BYTE> bytes_;
    std::unique_ptr<DS_DocResManager> manager_;
};

struct PntVertex {
    float x, y, z, nx, ny, nz, u, v;
};

TEST_F(ResDeviceRealTest, TheDemoCubeBecomesADrawableMesh) {
    const std::vector<BYTE> cube = ReadDemo("meshes/cube.x");
    ASSERT_FALSE(cube.empty());
    DS_DocResManager& m = Read({{u"C:\\art\\cube.x", 3, cube}});
    DS_MeshData& mesh = m.GetMesh(DS_MeshFile(DS_LinkKey{u"C:\\art\\cube.x", 3}), DS_MESH_VERTEX_SIZE);
    ASSERT_FALSE(mesh.IsEmpty());
    EXPECT_EQ(mesh.vertexCount, 24u);  // eight corners on three faces each
    EXPECT_EQ(mesh.faceCount, 12u);
    for (float c : mesh.center) EXPECT_NEAR(c, 0.0f, 1e-6f);
    EXPECT_NEAR(mesh.radius, std::sqrt(3.0f), 1e-5f);

    D3DINDEXBUFFER_DESC ib{};
    ASSERT_EQ(mesh.indexBuffer.Get()->GetDesc(&ib), D3D_OK);
    EXPECT_EQ(ib.Format, D3DFMT_INDEX16);
    EXPECT_EQ(ib.Size, 12u * 6);
    EXPECT_EQ(ib.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(ib.Usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY));
    D3DVERTEXBUFFER_DESC vb{};
    ASSERT_EQ(mesh.vertexBuffer.Get()->GetDesc(&vb), D3D_OK);
    EXPECT_EQ(vb.Size, 24u * DS_MESH_VERTEX_SIZE);
    EXPECT_EQ(vb.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(vb.FVF, 0u);

    // What the buffers hold: every face's corners are cube corners, and the
    // computed normal of each corner is its face's outward axis.
    void* data = nullptr;
    ASSERT_EQ(mesh.indexBuffer.Get()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    std::vector<WORD> indices(static_cast<const WORD*>(data), static_cast<const WORD*>(data) + 36);
    mesh.indexBuffer.Get()->Unlock();
    ASSERT_EQ(mesh.vertexBuffer.Get()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    std::vector<PntVertex> vertices(static_cast<const PntVertex*>(data), static_cast<const PntVertex*>(data) + 24);
    mesh.vertexBuffer.Get()->Unlock();
    for (WORD i : indices) ASSERT_LT(i, 24u);
    for (const PntVertex& v : vertices) {
        EXPECT_EQ(std::fabs(v.x), 1.0f);
        EXPECT_EQ(std::fabs(v.y), 1.0f);
        EXPECT_EQ(std::fabs(v.z), 1.0f);
        // Outward: along the normal the corner sits at +1.
        EXPECT_NEAR(v.x * v.nx + v.y * v.ny + v.z * v.nz, 1.0f, 1e-5f);
        EXPECT_NEAR(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, 1.0f, 1e-5f);
    }

    // Asked again, the same record; a vertex size other than the cloned
    // stride makes nothing.
    EXPECT_EQ(&m.GetMesh(DS_MeshFile(DS_LinkKey{u"C:\\art\\cube.x", 3}), DS_MESH_VERTEX_SIZE), &mesh);
    m.Tables().allFiles[{u"C:\\art\\copy.x", 4}].push_back(resfix::Record(0, u"", u"C:\\art\\copy.x", cube));
    EXPECT_TRUE(m.GetMesh(DS_MeshFile(DS_LinkKey{u"C:\\art\\copy.x", 4}), 28).IsEmpty());
}

// Text .x data of `vertices` positions and one triangle per three of them.
std::string ManyVertexMesh(UINT vertices) {
    std::string s = "xof 0303txt 0032\nMesh Big {\n" + std::to_string(vertices) + ";\n";
    for (UINT i = 0; i < vertices; ++i)
        s += std::to_string(i % 7) + ";" + std::to_string(i / 7) + ";0;" + (i + 1 < vertices ? "," : ";") + "\n";
    const UINT faces = vertices / 3;
    s += std::to_string(faces) + ";\n";
    for (UINT f = 0; f < faces; ++f)
        s += "3;" + std::to_string(3 * f) + "," + std::to_string(3 * f + 1) + "," + std::to_string(3 * f + 2) + ";" +
             (f + 1 < faces ? "," : ";") + "\n";
    return s + "}\n";
}

TEST_F(ResDeviceRealTest, DataThatMakesNoMeshLeavesTheRecordEmpty) {
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
        const char* said;  // part of the reason given on stderr
    };
    const std::vector<BYTE> cube = ReadDemo("meshes/cube.x");
    const std::vector<Case> cases = {
        {"not .x data", Bytes("this is not a mesh"), ".x data"},
        {"a truncated cube",
         std::vector<BYTE>(cube.begin(), cube.begin() + static_cast<std::ptrdiff_t>(cube.size() / 2)), ".x data"},
        {"indices beyond 16 bits", Bytes(ManyVertexMesh(65538)), "32-bit indices"},
    };
    std::vector<SavedFile> files;
    for (size_t i = 0; i < cases.size(); ++i)
        files.push_back({u"C:\\art\\bad.x", static_cast<INT64>(i + 1), cases[i].bytes});
    DS_DocResManager& m = Read(files);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const DS_MeshFile link(DS_LinkKey{u"C:\\art\\bad.x", static_cast<INT64>(i + 1)});
        for (int attempt = 0; attempt < 2; ++attempt) {
            ::testing::internal::CaptureStderr();
            const DS_MeshData& mesh = m.GetMesh(link, DS_MESH_VERTEX_SIZE);
            const std::string said = ::testing::internal::GetCapturedStderr();
            EXPECT_NE(said.find(cases[i].said), std::string::npos) << said;
            EXPECT_TRUE(mesh.IsEmpty());
            EXPECT_FALSE(mesh.vertexBuffer);
            EXPECT_FALSE(mesh.indexBuffer);
            EXPECT_EQ(mesh.faceCount, 0u);
        }
    }
    // A link with no bytes anywhere (no module, nothing saved).
    EXPECT_TRUE(m.GetMesh(DS_MeshFile(68, u"common_res.dll"), DS_MESH_VERTEX_SIZE).IsEmpty());
}

TEST_F(ResDeviceRealTest, ADemoEffectIsCountedAndHearsOfDeviceLoss) {
    const std::vector<BYTE> light = ReadDemo("effects/light.fx");
    ASSERT_FALSE(light.empty());
    DS_DocResManager& m = Read({{u"C:\\fx\\light.fx", 11, light}});
    const DS_HLSLEffectFile link(DS_LinkKey{u"C:\\fx\\light.fx", 11});
    ID3DXEffect* effect = m.GetEffect(link);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(Refs(effect), 2u);  // the manager's entry and ours
    ID3DXEffect* again = m.GetEffect(link);
    EXPECT_EQ(again, effect);
    EXPECT_EQ(Refs(effect), 3u);
    {
        DS_EffectRef copy = DS_EffectRef::Adopt(again);  // released through the device side
        DS_EffectRef second = copy;
        EXPECT_EQ(Refs(effect), 4u);
    }
    EXPECT_EQ(Refs(effect), 2u);
    float multiplier = -1.0f;
    EXPECT_EQ(effect->GetFloat("multiplier", &multiplier), D3D_OK);
    EXPECT_EQ(multiplier, 0.0f);

    // Lost, the effect cannot begin; reset, it can again.
    UINT passes = 0;
    m.OnLostDevice();
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(FAILED(effect->Begin(&passes, 0)));
    ::testing::internal::GetCapturedStderr();
    m.OnResetDevice();
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    EXPECT_EQ(effect->End(), D3D_OK);

    effect->Release();
    EXPECT_EQ(Refs(effect), 1u);  // only the manager's entry: dropped with the manager
}

TEST_F(ResDeviceRealTest, AnEffectThatCannotBeMadeIsNullEveryTimeAndSaidOnce) {
    DS_DocResManager& m = Read({{u"C:\\fx\\broken.fx", 12, Bytes("technique Main { pass P0 { fragment \"\"\" oops")},
                                {u"C:\\fx\\empty.fx", 13, Bytes("float x = 0;")}});
    for (const DS_HLSLEffectFile& link :
         {DS_HLSLEffectFile(DS_LinkKey{u"C:\\fx\\broken.fx", 12}),
          DS_HLSLEffectFile(DS_LinkKey{u"C:\\fx\\empty.fx", 13}), DS_HLSLEffectFile(76, u"common_res.dll")}) {
        SCOPED_TRACE(tessaloom::Utf16ToUtf8(link.key.path));
        for (int attempt = 0; attempt < 3; ++attempt) {
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(m.GetEffect(link), nullptr);
            const std::string said = ::testing::internal::GetCapturedStderr();
            // What is said names the link the effect was asked for, once:
            // a failed effect is not built again.
            if (link.key.stamp != 76) {
                const bool named = said.find(tessaloom::Utf16ToUtf8(link.key.path)) != std::string::npos;
                EXPECT_EQ(named, attempt == 0) << said;
            }
        }
        EXPECT_EQ(m.Tables().allFiles.at(link.key).size(), 1u);
    }
    EXPECT_TRUE(m.Tables().effectCache.at({u"C:\\fx\\broken.fx", 12}).Get() == nullptr);
}

}  // namespace
