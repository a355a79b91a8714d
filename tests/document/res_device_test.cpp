// The default device side on a real device: the document's pictures become
// managed textures of the picture's own size and colours, and every texture
// goes with its manager.
#include <gtest/gtest.h>

#include <cstring>

#include "document/archive_writer.h"
#include "document/res_manager.h"
#include "tests/support/d3d_harness.h"
#include "tests/support/res_fixture.h"
#include "tests/support/zero_png.h"

namespace {

IDirect3DDevice9* g_device = nullptr;
IDirect3DDevice9* Current() { return g_device; }

TEST(ResDeviceTest, SavedPicturesBecomeTexturesOnTheCurrentDevice) {
    tessaloom::testing::D3DHarness harness;
    ASSERT_TRUE(harness.ok());
    g_device = harness.device;
    SetResCurrentDeviceGetter(&Current);
    resfix::FakeModules modules;  // no module: the document's copies serve
    {
        DS_IOF_W w;
        w.WriteUInt(1);
        w.WriteString(u"common_res.dll");
        w.WriteInt64(7);
        w.WriteUInt(1);
        // 4 x 2, blue 0x30, green 0x60, red 0x90 in every pixel.
        std::vector<BYTE> tga = resfix::MakeTga(4, 2, 0);
        for (size_t i = 18; i < tga.size(); i += 3) tga[i] = 0x30, tga[i + 1] = 0x60, tga[i + 2] = 0x90;
        w.WriteResFile(resfix::Record(7, u"common_res.dll", u"", tga));
        w.WriteUInt(0);
        std::vector<BYTE> bytes = w.TakeBytes();
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        DS_DocResManager m;
        m.ReadFields(reader, 1);
        const DS_ImageSet& set = m.Tables().imageCache.at({u"common_res.dll", 7});
        if (!set.GetFrame(0)) {
            SetResCurrentDeviceGetter(nullptr);
            FAIL() << "the saved picture made no texture on the current device";
        }
        EXPECT_EQ(set.width, 4u);
        EXPECT_EQ(set.height, 2u);
        EXPECT_FLOAT_EQ(set.aspect, 0.5f);
        // A managed texture is read by locking it.
        IDirect3DTexture9* texture = set.GetFrame(0);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(0, &desc), S_OK);
        EXPECT_EQ(texture->GetLevelCount(), 1u);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        tessaloom::testing::Image image;
        EXPECT_TRUE(tessaloom::testing::ConvertPixels(desc.Format, locked, desc.Width, desc.Height, &image));
        texture->UnlockRect(0);
        EXPECT_TRUE(tessaloom::testing::Probe(image, 1, 1, 0xFF906030u));

        // A painted mask is saved as a DDS file of its texture.
        const GUID mask = {0xABCDEF01, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
        m.GetGuidTexture(mask) = set.GetFirst().texture;
        EXPECT_TRUE(m.RefreshGuidData(mask));
        const DS_FileData& blob = m.Tables().guidData.at(mask).file;
        ASSERT_GT(blob.GetSize(), 128u);
        EXPECT_EQ(std::memcmp(blob.GetBytes(), "DDS ", 4), 0);
    }
    SetResCurrentDeviceGetter(nullptr);
}

// A saved picture of 16384 x 4096 (a small PNG of zeros) on a device whose
// largest texture is 8192: the texture is reduced to what the device holds,
// while the picture set keeps the picture's own size for the layout.
TEST(ResDeviceTest, APictureLargerThanTheDeviceHoldsIsReducedToIt) {
    tessaloom::testing::D3DHarness harness;
    ASSERT_TRUE(harness.ok());
    g_device = harness.device;
    SetResCurrentDeviceGetter(&Current);
    resfix::FakeModules modules;
    D3DCAPS9 caps{};
    ASSERT_EQ(harness.device->GetDeviceCaps(&caps), D3D_OK);
    {
        DS_IOF_W w;
        w.WriteUInt(1);
        w.WriteString(u"C:\\wide.png");
        w.WriteInt64(3);
        w.WriteUInt(1);
        w.WriteResFile(resfix::Record(0, u"", u"C:\\wide.png", zeropng::Make(16384, 4096, 1)));
        w.WriteUInt(0);
        std::vector<BYTE> bytes = w.TakeBytes();
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        DS_DocResManager m;
        m.ReadFields(reader, 1);
        const DS_ImageSet& set = m.Tables().imageCache.at({u"C:\\wide.png", 3});
        IDirect3DTexture9* texture = set.GetFrame(0);
        if (!texture) {
            SetResCurrentDeviceGetter(nullptr);
            FAIL() << "the picture made no texture";
        }
        EXPECT_EQ(set.width, 16384u);
        EXPECT_EQ(set.height, 4096u);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(0, &desc), S_OK);
        EXPECT_EQ(desc.Width, caps.MaxTextureWidth);
        EXPECT_EQ(desc.Height, 4096u);
        EXPECT_EQ(texture->GetLevelCount(), 1u);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        tessaloom::testing::Image image;
        EXPECT_TRUE(tessaloom::testing::ConvertPixels(desc.Format, locked, desc.Width, desc.Height, &image));
        texture->UnlockRect(0);
        for (UINT x : {0u, 4095u, 8191u}) EXPECT_TRUE(tessaloom::testing::Probe(image, x, 2048, 0xFF000000u, 0));
    }
    SetResCurrentDeviceGetter(nullptr);
}

}  // namespace

namespace {

TEST(ResDeviceTest, WithoutACurrentDeviceNothingIsMade) {
    SetResCurrentDeviceGetter(nullptr);
    std::vector<BYTE> tga = resfix::MakeTga(4, 4);
    DS_TextureInfo info = CreateTextureInfoFromMemory(tga.data(), static_cast<UINT>(tga.size()));
    EXPECT_FALSE(info.texture);
    EXPECT_EQ(info.width, 0u);
    EXPECT_FLOAT_EQ(info.aspect, 1.0f);
    std::vector<BYTE> mesh = resfix::MakeMeshBytes(8, 12);
    EXPECT_TRUE(LoadMeshFromMemory(mesh.data(), static_cast<UINT>(mesh.size()), DS_MESH_VERTEX_SIZE).IsEmpty());
    ID3DXEffect* effect = reinterpret_cast<ID3DXEffect*>(1);
    EXPECT_TRUE(FAILED(GetResDevice().CreateEffect("effect", 6, &effect)));
    EXPECT_EQ(effect, nullptr);
}

}  // namespace
