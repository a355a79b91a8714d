// The frame trees of the 3D objects are torn down whole: every frame below
// a root, at any depth, with its controller, exactly once.
#include "scene/frame.h"
#include "tests/scene/objects3d/objects3d_fixture.h"

namespace {

class Counted : public DS_AnimationBase {
public:
    explicit Counted(int* deaths) : deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }
    void Animate(DS_Frame* frame) override { frame->world = frame->local; }

private:
    int* deaths_;
};

TEST(FrameTree, DestroyTreeFreesEveryDepthOnce) {
    int deaths = 0;
    auto* root = new DS_Frame;
    root->SetController(new Counted(&deaths));
    for (int i = 0; i < 2; ++i) {
        auto* child = new DS_Frame;
        child->SetController(new Counted(&deaths));
        auto* grandchild = new DS_Frame;
        grandchild->SetController(new Counted(&deaths));
        child->children.push_back(grandchild);
        root->children.push_back(child);
    }
    root->DestroyTree();
    EXPECT_EQ(deaths, 5);
    EXPECT_TRUE(root->children.empty());
    EXPECT_EQ(root->Controller(), nullptr);
    delete root;  // the owner frees the root once; the sanitizer build sees any double free
    EXPECT_EQ(deaths, 5);
}

}  // namespace
