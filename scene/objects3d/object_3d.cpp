#include "scene/objects3d/object_3d.h"

#include <algorithm>

#include "document/res_manager.h"
#include "scene/picture_layer.h"
#include "scene/population_budget.h"

namespace {

// The most instances one group keeps, whatever its stored count; fewer when
// the slide's budgets run out.
constexpr unsigned int kMax3DInstances = 32;
// Draw calls one instance can make a frame: three frames, each drawn once
// or, on a two-sided node, twice.
constexpr uint32_t kDrawsPerInstance = 6;
// Blended passes over an instance's pixels (the two sides).
constexpr double kPassesPerInstance = 2.0;

}  // namespace

// ------------------------------------------------------------ DS_MeshNode --

void DS_MeshNode::BindTexture(const DS_ImageFileLink& image, DS_MeshNode& node, const DS_MeshFile& mesh) {
    IDirect3DTexture9* texture = nullptr;
    DS_DocResManager* manager = GetCurrentDocResManager();
    // A default link names nothing: it is not looked up at all.
    const bool isDefault = image.key.path.empty() && image.key.stamp == 0;
    if (manager && !isDefault) {
        const DS_ImageSet& set = manager->GetImage(image);
        if (set.HasFrame()) texture = set.GetFrame(0);
    }
    node.texture.Set(texture);
    LoadMesh(node, mesh);
}

void DS_MeshNode::LoadMesh(DS_MeshNode& node, const DS_MeshFile& link) {
    DS_MeshData empty;
    DS_DocResManager* manager = GetCurrentDocResManager();
    const DS_MeshData& mesh = manager ? manager->GetMesh(link, DS_MESH_VERTEX_SIZE) : empty;
    node.vertexBuffer.Set(mesh.vertexBuffer.Get());
    node.indexBuffer.Set(mesh.indexBuffer.Get());
    node.vertexCount = mesh.vertexCount;
    // Both counts: the indexed draw reads the second.
    node.primitiveCount = mesh.faceCount;
    node.indexedPrimitiveCount = mesh.faceCount;
    node.radius = mesh.radius;
    node.center = D3DXVECTOR3(mesh.center[0], mesh.center[1], mesh.center[2]);
    node.primitiveType = D3DPT_TRIANGLELIST;
}

// --------------------------------------------------------- DS_3D_Obj_Ctrl --

DS_3D_Obj_Ctrl::DS_3D_Obj_Ctrl() { speed.Assign(50u); }

DS_3D_Obj_Ctrl::DS_3D_Obj_Ctrl(const DS_3D_Obj_Ctrl& other)
    : DS_ViewObjCtrl(other), textureLink(other.textureLink), meshLink(other.meshLink) {
    count.Assign(other.count.value);
    size.Assign(other.size.value);
}

DS_3D_Obj_Ctrl::~DS_3D_Obj_Ctrl() = default;

DS_ABObj* DS_3D_Obj_Ctrl::CreateObject() { return new DS_3DObjArray(Clone()); }

void DS_3D_Obj_Ctrl::BindInstances(std::list<DS_Frame*>&, std::vector<DS_MeshNode>&) {}

double DS_3D_Obj_Ctrl::InstanceExtent(const std::vector<DS_MeshNode>& nodes) const {
    double radius = 0.0;
    for (const DS_MeshNode& node : nodes) radius = std::max(radius, static_cast<double>(node.radius));
    return 2.0 * radius * static_cast<double>(size.value) / 100.0;
}

void DS_3D_Obj_Ctrl::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_3D_Obj_Ctrl", 1);
    archive.WriteUInt(count.value);
    archive.WriteUInt(size.value);
    WriteFileLink(archive, textureLink);
    WriteFileLink(archive, meshLink);
    DS_ViewObjCtrl::WriteRecord(archive);
}

void DS_3D_Obj_Ctrl::ReadRecord(DS_IOF_Virtual& archive, DS_3D_Obj_Ctrl& d) {
    ReadRecordHeader(archive);
    archive.ReadUInt(d.count.value);
    archive.ReadUInt(d.size.value);
    ReadFileLink(archive, d.textureLink);
    ReadFileLink(archive, d.meshLink);
    DS_ViewObjCtrl::ReadRecord(archive, d);
}

// ---------------------------------------------------------- DS_3DObjArray --

DS_3DObjArray::DS_3DObjArray(DS_3D_Obj_Ctrl* d) : DS_ABObj(d), description(d) {
    description->BuildMeshNodes(nodes);
    FitCountToBudget();
    bindings.SetOwner(this);
    DS_FunLightCtrl<unsigned int, DS_3DObjArray>::Bind(description->count, &DS_3DObjArray::OnCountChanged, bindings);
}

DS_3DObjArray::~DS_3DObjArray() {
    for (DS_Frame* root : instances) {
        root->DestroyTree();
        delete root;
    }
    instances.clear();
    for (DS_MeshNode& node : nodes) node.frames.clear();
    delete description;
    description = nullptr;
    owner = nullptr;
    // The binding list, then the nodes, go with the members.
}

void DS_3DObjArray::FitCountToBudget() {
    const unsigned int stored = description->count.value;
    if (stored == 0) return;
    const double extent = description->InstanceExtent(nodes);
    DS_PopulationBudget::Cost each;
    each.cover = DS_CoverOfArea(extent * extent) * kPassesPerInstance;
    each.draws = kDrawsPerInstance;
    description->count.value = DS_PopulationBudget::Fit(stored, kMax3DInstances, each, "3D object count");
}

void DS_3DObjArray::OnCountChanged(unsigned int n) {
    // A count changed after the load is held to the cap as well.
    n = std::min(n, kMax3DInstances);
    while (instances.size() < n) instances.push_back(description->CreateInstance());
    while (instances.size() > n) {
        DS_Frame* oldest = instances.front();
        instances.pop_front();
        oldest->DestroyTree();
        delete oldest;
    }
    description->BindInstances(instances, nodes);
}

void DS_3DObjArray::Render(DS_2D_Light& layer) {
    for (DS_MeshNode& node : nodes) layer.DrawMeshList(node, node.frames);
}

void DS_3DObjArray::FrameMove(double time) {
    description->AdvanceClock(time);
    for (DS_Frame* root : instances) root->Update(nullptr);
}
