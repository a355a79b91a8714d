// Frames, the grid layout and the COM holder, without a device.
#include <gtest/gtest.h>

#include "scene/com_ref.h"
#include "scene/frame.h"
#include "scene/mesh.h"

namespace {

struct CountingAnimation : DS_AnimationBase {
    explicit CountingAnimation(int* deaths) : deaths(deaths) {}
    ~CountingAnimation() override { ++*deaths; }
    void Animate(DS_Frame* frame) override {
        D3DXMatrixTranslation(&frame->world, 7.0f, 0.0f, 0.0f);
        frame->frontFace = 0;
    }
    int* deaths;
};

// A COM object that counts its references.
struct FakeUnknown : IUnknown {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

}  // namespace

TEST(Frame, UpdateWithAndWithoutController) {
    DS_Frame root;
    D3DXMatrixTranslation(&root.local, 1.0f, 2.0f, 3.0f);
    root.Update(nullptr);
    EXPECT_EQ(root.world, root.local);

    int deaths = 0;
    auto* child = new DS_Frame;
    D3DXMatrixScaling(&child->local, 5.0f, 5.0f, 5.0f);  // ignored: the controller writes world
    child->SetController(new CountingAnimation(&deaths));
    root.children.push_back(child);
    root.Update(nullptr);
    EXPECT_FLOAT_EQ(child->world._41, 8.0f);  // 7 then the parent's 1
    EXPECT_FLOAT_EQ(child->world._42, 2.0f);
    EXPECT_EQ(child->world._11, 1.0f);
    EXPECT_EQ(child->frontFace, 0);
    root.DeleteChildren();
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(root.children.empty());
}

// A copy never becomes a second owner of the controller, and DestroyTree
// followed by the frame's own destruction frees everything exactly once.
TEST(Frame, OneOwnerOfTheController) {
    int deaths = 0;
    {
        auto* root = new DS_Frame;
        root->SetController(new CountingAnimation(&deaths));
        DS_Frame copy(*root);
        EXPECT_EQ(copy.Controller(), nullptr);
        DS_Frame assigned;
        assigned = *root;
        EXPECT_EQ(assigned.Controller(), nullptr);
        auto* child = new DS_Frame;
        child->SetController(new CountingAnimation(&deaths));
        root->children.push_back(child);
        root->DestroyTree();
        EXPECT_EQ(deaths, 2);
        delete root;
    }
    EXPECT_EQ(deaths, 2);
}

TEST(Grid, IndicesAndBilinearVertices) {
    std::vector<WORD> idx(kGridIndexCount + 1, 0xFFFF);
    FillGridIndices(idx.data());
    EXPECT_EQ(idx[kGridIndexCount], 0xFFFF);  // 384 indices, nothing beyond
    const WORD first[6] = {0, 1, 9, 9, 1, 10};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(idx[i], first[i]);
    // the last cell: row 7, column 7, v = 70
    const WORD last[6] = {70, 71, 79, 79, 71, 80};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(idx[kGridIndexCount - 6 + i], last[i]);
    EXPECT_LE(kGridIndexCount * 2, kGridIndexBufferBytes);

    const DX_V::PT p[4] = {{0, 100, 0, 0, 1}, {0, 0, 0, 0, 0}, {200, 100, 0, 1, 1}, {200, 0, 0, 1, 0}};
    std::vector<DX_V::PT> v(81);
    FillGridVertices(v.data(), 8, 8, p);
    auto same = [](const DX_V::PT& a, const DX_V::PT& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.u == b.u && a.v == b.v;
    };
    EXPECT_TRUE(same(v[0], p[0]));
    EXPECT_TRUE(same(v[8], p[1]));
    EXPECT_TRUE(same(v[72], p[2]));
    EXPECT_TRUE(same(v[80], p[3]));
    EXPECT_FLOAT_EQ(v[40].x, 100.0f);  // the centre
    EXPECT_FLOAT_EQ(v[40].v, 0.5f);
}

TEST(ComRef, CopyAssignSelfAssignAndRelease) {
    FakeUnknown object;
    {
        DS_ComRef<FakeUnknown> a(&object);  // takes the creation reference
        EXPECT_EQ(object.refs, 1u);
        DS_ComRef<FakeUnknown> b(a);
        EXPECT_EQ(object.refs, 2u);
        b = b;  // self-assignment keeps the reference
        EXPECT_EQ(object.refs, 2u);
        EXPECT_EQ(b.Get(), &object);
        DS_ComRef<FakeUnknown> c;
        c = a;
        EXPECT_EQ(object.refs, 3u);
        c.Release();
        EXPECT_EQ(c.Get(), nullptr);
        EXPECT_EQ(object.refs, 2u);
    }
    EXPECT_EQ(object.refs, 0u);
    FakeUnknown other;
    FakeUnknown* bare = &other;
    SafeRelease(bare);
    EXPECT_EQ(bare, nullptr);
    EXPECT_EQ(other.refs, 0u);
}

TEST(Mesh, NothingIsCreatedWithoutADevice) {
    ASSERT_EQ(CurrentDevice, nullptr);
    DS_SimpleMesh<DX_V::TPC> quad;
    EXPECT_FALSE(quad.SetQuad(0xFF000000u, DS_QuadVerts()));
    EXPECT_FALSE(quad.vertexBuffer);
    EXPECT_FALSE(quad.SetCornerAlpha(1, 1, 1, 1));
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    EXPECT_EQ(desc.Width, 0u);
    EXPECT_EQ(desc.Height, 0u);
}
