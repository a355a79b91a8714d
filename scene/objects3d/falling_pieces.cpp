#include "scene/objects3d/falling_pieces.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "document/res_cache.h"
#include "platform/crt/rand.h"
#include "scene/picture_layer.h"
#include "scene/population_budget.h"
#include "scene/view_2d.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_3D_in_2D_array_Constructor, DS_ABObj_Constructor)

float SceneTime = 0.0f;

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kMaxStep = 0.2f;      // seconds
constexpr float kSwayArm = 50.0f;     // pixels between a piece and the point it sways about
// The most pieces one object keeps, whatever its stored count; fewer when the
// slide's budgets run out.
constexpr unsigned int kMaxPieces = 96;
// A piece is drawn twice (both sides), blended.
constexpr uint32_t kDrawsPerPiece = 2;
constexpr double kPassesPerPiece = 2.0;

float Rad(float degrees) { return degrees * 2.0f * kPi / 360.0f; }
float Draw01() { return static_cast<float>(crt::rand()) / 32767.0f; }
float RandomRange(float a, float b) { return a + Draw01() * (b - a); }
float SignDraw() { return crt::rand() % 2 != 0 ? -1.0f : 1.0f; }

float LogicalWidth() { return static_cast<float>(DS_ScreenMapping::Current().logicalWidth); }
float LogicalHeight() { return static_cast<float>(DS_ScreenMapping::Current().logicalHeight); }

// m := m x next (next applied after).
void PostMultiply(D3DXMATRIX& m, const D3DXMATRIX& next) {
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, &m, &next);
    m = product;
}

}  // namespace

// ------------------------------------------------------- DS_FlowDirection --

void DS_FlowDirection::SetAngle(unsigned int degrees) {
    angle = degrees;
    const float a = static_cast<float>(degrees) * kPi / 180.0f;
    const float b = a + Rad(90.0f);
    flow[0] = std::cos(a);
    flow[1] = -std::sin(a);
    flow[2] = flow[3] = 0.0f;
    lateral[0] = std::cos(b);
    lateral[1] = -std::sin(b);
    lateral[2] = lateral[3] = 0.0f;
}

// ----------------------------------------------------------- DS_SreamAnim --

DS_SreamAnim::DS_SreamAnim(const DS_StreamMotionParams* m) : motion(m) {
    const float x = Draw01() * LogicalWidth();
    const float y = Draw01() * LogicalHeight();
    deviationFactor = Draw01() * 2.0f - 1.0f;
    D3DXMatrixTranslation(&position, x, y, 0.0f);
    speedFactor = Draw01() * 0.059999995f + 0.07f;
}

void DS_SreamAnim::Animate(DS_Frame*) {
    dt = std::fabs(SceneTime - lastTime);
    if (dt > kMaxStep) dt = kMaxStep;
    lastTime = SceneTime;

    const float W = LogicalWidth(), H = LogicalHeight();
    const float size = static_cast<float>(motion->size.value);
    const float speed = static_cast<float>(motion->speed.value);
    const float half = size * 0.5f;
    const float dev = static_cast<float>(motion->deviation.value) * 0.02f * deviationFactor;
    const float k = speed * speedFactor * dt * 50.0f;
    const float* A = motion->direction.flow;
    const float* B = motion->direction.lateral;
    const float vx = (A[0] + dev * B[0]) * k;
    const float vy = (A[1] + dev * B[1]) * k;

    float x = position._41, y = position._42;
    if (vy > 0.0f && y > H + half) {
        x = RandomRange(0.0f, W);
        y = -half;
    } else if (vy < 0.0f && y < -half) {
        x = RandomRange(0.0f, W);
        y = H + half;
    } else if (vx > 0.0f && x > W + half) {
        x = -half;
        y = RandomRange(0.0f, H);
    } else if (vx < 0.0f && x < -half) {
        x = W + half;
        y = RandomRange(0.0f, H);
    } else {
        x += vx;
        y += vy;
    }
    D3DXMatrixTranslation(&position, x, y, 0.0f);

    // A rate of 0 makes the bound infinite: the factor then stays for good.
    const UINT rate = motion->deviationRate.value;
    const float bound = rate != 0 ? 100.0f / static_cast<float>(rate) : std::numeric_limits<float>::infinity();
    if ((SceneTime - lastDeviationTime) * speed * 0.1f > bound) {
        lastDeviationTime = SceneTime;
        if (crt::rand() % 2 != 0) deviationFactor = Draw01() * 2.0f - 1.0f;
    }
}

// -------------------------------------------------------- DS_LeafFallAnim --

DS_LeafFallAnim::DS_LeafFallAnim(const DS_StreamMotionParams* m) : DS_SreamAnim(m) {
    for (Pair& p : tumble) {
        const float sign = SignDraw();
        const float magnitude = Draw01() * 3.0f + 7.0f;
        p.rate = p.angle = sign * magnitude;
    }
    for (Pair& p : sway) {
        const float on = static_cast<float>(crt::rand() % 2);
        const float sign = SignDraw();
        const float magnitude = Draw01() * 4.0f + 3.0f;
        p.rate = p.angle = on * sign * magnitude;
    }
}

void DS_LeafFallAnim::Animate(DS_Frame* frame) {
    DS_SreamAnim::Animate(frame);
    // A mesh of no extent cannot be scaled to the piece size: it shrinks to
    // nothing instead of dividing by zero.
    const float size = static_cast<float>(motion->size.value);
    const float s = frame->radius > 0.0f ? size * 0.5f / frame->radius : 0.0f;
    const float tumbleSpeed = static_cast<float>(motion->tumbleSpeed.value);
    const float deviation = static_cast<float>(motion->deviation.value);
    for (Pair& p : tumble) p.angle += p.rate * dt * tumbleSpeed * 0.4f;
    for (Pair& p : sway) p.angle += p.rate * dt * deviation * 0.4f;

    D3DXMATRIX l, r;
    D3DXMatrixScaling(&l, s, s, s);
    PostMultiply(l, *D3DXMatrixRotationX(&r, Rad(tumble[0].angle)));
    PostMultiply(l, *D3DXMatrixRotationZ(&r, Rad(tumble[2].angle)));
    PostMultiply(l, *D3DXMatrixRotationY(&r, Rad(tumble[1].angle)));
    D3DXMATRIX arm;
    D3DXMatrixTranslation(&arm, 0.0f, 0.0f, kSwayArm);
    PostMultiply(arm, *D3DXMatrixRotationY(&r, Rad(sway[0].angle)));
    PostMultiply(l, arm);
    PostMultiply(l, *D3DXMatrixRotationX(&r, Rad(sway[1].angle)));
    PostMultiply(l, position);
    D3DXMatrixMultiply(&frame->world, &frame->local, &l);
}

// ------------------------------------------ DS_3D_in_2D_array_Constructor --

DS_3D_in_2D_array_Constructor::DS_3D_in_2D_array_Constructor(const DS_3D_in_2D_array_Constructor& other)
    : DS_ABObj_Constructor(other), meshFile(other.meshFile), imageFile(other.imageFile) {
    count.Assign(other.count.value);
    motion.size.Assign(other.motion.size.value);
    motion.direction = other.motion.direction;
    motion.speed.Assign(other.motion.speed.value);
    motion.deviation.Assign(other.motion.deviation.value);
    motion.deviationRate.Assign(other.motion.deviationRate.value);
    motion.tumbleSpeed.Assign(other.motion.tumbleSpeed.value);
}

DS_3D_in_2D_array_Constructor::~DS_3D_in_2D_array_Constructor() = default;

DS_ABObj* DS_3D_in_2D_array_Constructor::CreateObject() {
    return new DS_3D_in_2D_array(new DS_3D_in_2D_array_Constructor(*this));
}

void DS_3D_in_2D_array_Constructor::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_3D_in_2D_array_Constructor", 1);
    archive.WriteString(name);
    archive.WriteUInt(count.value);
    archive.WriteResFile(meshFile);
    archive.WriteResFile(imageFile);
    archive.WriteUInt(motion.size.value);
    archive.WriteUInt(motion.speed.value);
    archive.WriteUInt(motion.deviation.value);
    archive.WriteUInt(motion.deviationRate.value);
    archive.WriteUInt(motion.tumbleSpeed.value);
    archive.WriteUInt(motion.direction.angle);
    DS_ABObj_Constructor::WriteRecord(archive);
}

DS_3D_in_2D_array_Constructor* DS_3D_in_2D_array_Constructor::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto d = std::make_unique<DS_3D_in_2D_array_Constructor>();
    // The name comes again in the base record; an empty string there leaves
    // this one standing.
    archive.ReadString(d->name);
    archive.ReadUInt(d->count.value);
    archive.ReadResFile(d->meshFile);
    archive.ReadResFile(d->imageFile);
    archive.ReadUInt(d->motion.size.value);
    archive.ReadUInt(d->motion.speed.value);
    archive.ReadUInt(d->motion.deviation.value);
    archive.ReadUInt(d->motion.deviationRate.value);
    archive.ReadUInt(d->motion.tumbleSpeed.value);
    UINT angle = 0;
    archive.ReadUInt(angle);
    d->motion.direction.SetAngle(angle);
    DS_ABObj_Constructor::ReadRecord(archive, *d);
    return d.release();
}

// ------------------------------------------------------ DS_3D_in_2D_array --

DS_3D_in_2D_array::DS_3D_in_2D_array(DS_3D_in_2D_array_Constructor* d) : DS_ABObj(d), description(d) {
    LoadMesh();
    FitCountToBudget();
    SyncItems();
}

void DS_3D_in_2D_array::FitCountToBudget() {
    const unsigned int stored = description->count.value;
    if (stored == 0) return;
    const double diameter = description->motion.size.value;
    DS_PopulationBudget::Cost each;
    each.cover = DS_CoverOfArea(diameter * diameter) * kPassesPerPiece;
    each.draws = kDrawsPerPiece;
    description->count.value = DS_PopulationBudget::Fit(stored, kMaxPieces, each, "falling piece count");
}

DS_3D_in_2D_array::~DS_3D_in_2D_array() {
    meshFrame.DeleteChildren();
    delete description;
    description = nullptr;
    owner = nullptr;
}

void DS_3D_in_2D_array::LoadMesh() {
    const DS_TextureInfo texture = DS_LoadTexture(description->imageFile);
    meshFrame.texture.Set(texture.texture.Get());
    const DS_MeshData mesh = DS_LoadMesh(description->meshFile, DS_MESH_VERTEX_SIZE);
    meshFrame.vertexBuffer.Set(mesh.vertexBuffer.Get());
    meshFrame.indexBuffer.Set(mesh.indexBuffer.Get());
    meshFrame.vertexCount = mesh.vertexCount;
    // Both counts: the indexed draw reads the second.
    meshFrame.primitiveCount = mesh.faceCount;
    meshFrame.indexedPrimitiveCount = mesh.faceCount;
    meshFrame.radius = mesh.radius;
    meshFrame.center = D3DXVECTOR3(mesh.center[0], mesh.center[1], mesh.center[2]);
    meshFrame.primitiveType = D3DPT_TRIANGLELIST;
}

void DS_3D_in_2D_array::SyncItems() {
    const size_t n = description->count.value;
    while (meshFrame.children.size() < n) {
        auto* piece = new DS_Frame;
        piece->radius = meshFrame.radius;
        piece->center = meshFrame.center;
        D3DXMatrixTranslation(&piece->local, -meshFrame.center.x, -meshFrame.center.y, -meshFrame.center.z);
        piece->SetController(new DS_LeafFallAnim(&description->motion));
        meshFrame.children.push_back(piece);
    }
    while (meshFrame.children.size() > n) {
        DS_Frame* first = meshFrame.children.front();
        meshFrame.children.pop_front();
        first->DestroyTree();
        delete first;
    }
}

void DS_3D_in_2D_array::Render(DS_2D_Light& layer) {
    if (meshFrame.children.empty() || !(meshFrame.radius > 0.0f)) return;
    layer.DrawMeshListBothSides(meshFrame);
}

void DS_3D_in_2D_array::FrameMove(double time) {
    SceneTime = time;
    meshFrame.world = meshFrame.local;
    for (DS_Frame* piece : meshFrame.children) piece->Update(&meshFrame.world);
}
