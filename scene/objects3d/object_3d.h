// 3D objects of a slide: a group of identical animated mesh trees drawn over
// the picture.  DS_3D_Obj_Ctrl is the saved description of such a group (the
// butterflies and the clock are its kinds), DS_3DObjArray the run-time group
// it creates, and DS_MeshNode one mesh with one texture and the instance
// frames drawn with it.
#pragma once

#include <list>
#include <vector>

#include "document/bindings.h"
#include "document/file_link.h"
#include "document/media_param.h"
#include "scene/mesh.h"
#include "scene/object_model.h"

// The module every default resource of the 3D objects comes from.
inline constexpr const char16_t* kCommonResModule = u"common_res.dll";

// One mesh and texture and the frames drawn with it (not owned).  The flag
// of the textured mesh makes the layer draw the frames blended from both
// sides.
class DS_MeshNode : public DS_TexturedMesh<DX_V::PNT> {
public:
    // The texture of the link's picture set (its first frame) on the node,
    // then LoadMesh.  A default link, or one whose set holds no frame, leaves
    // the node without a texture.
    static void BindTexture(const DS_ImageFileLink& image, DS_MeshNode& node, const DS_MeshFile& mesh);
    // The link's mesh (32-byte vertices) from the current resource manager:
    // buffers (references added), vertex and primitive counts, bounding
    // sphere; an indexed triangle list.  The two-sided flag and the frame
    // list are kept.  Without a manager or a mesh the node has no buffers.
    static void LoadMesh(DS_MeshNode& node, const DS_MeshFile& mesh);

    std::list<DS_Frame*> frames;
};

class DS_3DObjArray;

class DS_3D_Obj_Ctrl : public DS_ViewObjCtrl {
public:
    DS_3D_Obj_Ctrl();
    // The DS_ViewObjCtrl part, count, size and both links.
    DS_3D_Obj_Ctrl(const DS_3D_Obj_Ctrl& other);
    ~DS_3D_Obj_Ctrl() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A new DS_3DObjArray around Clone(); the caller owns it.
    DS_ABObj* CreateObject() override;

    // Fills the group's render nodes.
    virtual void BuildMeshNodes(std::vector<DS_MeshNode>& nodes) = 0;
    // Distributes the instance trees over the render nodes' frame lists.
    virtual void BindInstances(std::list<DS_Frame*>& instances, std::vector<DS_MeshNode>& nodes);
    // One new instance tree; the caller owns it.
    virtual DS_Frame* CreateInstance() = 0;
    // A heap copy of the most derived kind.
    virtual DS_3D_Obj_Ctrl* Clone() const = 0;
    // Logical pixels across one instance at the current size, for the
    // slide's cover budget: the largest node's diameter x size / 100 (the
    // clock's body scale; kinds that scale otherwise say so).
    virtual double InstanceExtent(const std::vector<DS_MeshNode>& nodes) const;

    // "DS_3D_Obj_Ctrl", version 1: count, size, texture link, mesh link,
    // then the DS_ViewObjCtrl record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Every version the same way; values stored without telling anyone.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_3D_Obj_Ctrl& description);

    MediaParamT<unsigned int> count{1u};
    MediaParamT<unsigned int> size{50u};
    DS_ImageFileLink textureLink;
    DS_MeshFile meshLink;
};

// The run-time group: N instance trees and the render nodes they are drawn
// with.  After every count change there are exactly `count` trees.
class DS_3DObjArray : public DS_ABObj {
public:
    // Takes ownership of `description` (a clone), builds the nodes and binds
    // the count, which makes the first instances at once.
    explicit DS_3DObjArray(DS_3D_Obj_Ctrl* description);
    // The trees, the description, the binding, then the nodes.
    ~DS_3DObjArray() override;

    void Render(DS_2D_Light& layer) override;
    // The description's clock, then every tree from its root.
    void FrameMove(double time) override;
    int NeedsSceneTexture() override { return 0; }

    // New trees at the back, or the oldest removed from the front; then the
    // kind rebinds the nodes.
    void OnCountChanged(unsigned int n);

    DS_3D_Obj_Ctrl* description;
    std::list<DS_Frame*> instances;
    std::vector<DS_MeshNode> nodes;
    DS_CtrlList bindings;

private:
    // Lowers the clone's count to what kMax3DInstances and the slide's
    // budgets allow (saying so once), before the count makes the trees.
    void FitCountToBudget();
};
