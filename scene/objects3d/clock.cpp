#include "scene/objects3d/clock.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "platform/crt/time.h"
#include "scene/view_2d.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_ClockConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kPi = 3.1415927f;
constexpr INT kClockMesh = 70;
constexpr INT kFacePicture = 71;
constexpr INT kHandsPicture = 72;

float Rad(float degrees) { return degrees * 2.0f * kPi / 360.0f; }

int SaturateToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

// -------------------------------------------------------------- AC_Static --

AC_Static::AC_Static(DS_ClockConstructor* d) : description(d) {
    D3DXMatrixIdentity(&scale);
    // The group binding below is told only of changes of the rectangle as a
    // whole, never of one member's: the translation starts from the point.
    D3DXMatrixTranslation(&translation, static_cast<float>(d->clockRect.x.value),
                          static_cast<float>(d->clockRect.y.value), 0.0f);
    bindings.SetOwner(this);
    DS_FunLightCtrl<unsigned int, AC_Static>::Bind(d->size, &AC_Static::OnSizeChanged, bindings);
    DS_FunLightCtrl2<AC_Static>::Bind(&AC_Static::OnPositionChanged, bindings, d->clockRect);
}

AC_Static::~AC_Static() = default;

void AC_Static::SetEdges(unsigned int size) {
    // In 64 bits: a point and a size near the int range's ends give edges
    // held at its ends instead of wrapping round.
    const int64_t half = size / 2u;
    MediaRectangle& r = description->clockRect;
    const int64_t x = r.x.value, y = r.y.value;
    r.left.SetValue(SaturateToInt(x - half));
    r.right.SetValue(SaturateToInt(x + half));
    r.top.SetValue(SaturateToInt(y - half));
    r.bottom.SetValue(SaturateToInt(y + half));
}

void AC_Static::OnSizeChanged(unsigned int size) {
    SetEdges(size);
    const float s = static_cast<float>(size);
    D3DXMatrixScaling(&scale, s, s, s);
}

void AC_Static::OnPositionChanged() {
    SetEdges(description->size.value);
    const MediaRectangle& r = description->clockRect;
    D3DXMatrixTranslation(&translation, static_cast<float>(r.x.value), static_cast<float>(r.y.value), 0.0f);
}

void AC_Static::Animate(DS_Frame* frame) {
    D3DXMATRIX scaled;
    D3DXMatrixMultiply(&scaled, &scale, &frame->local);
    D3DXMatrixMultiply(&frame->world, &scaled, &translation);
}

// ---------------------------------------------------------- AC_ClockArrow --

float AC_ClockArrow::AngleFor(unsigned char kind, int hours, int minutes, int seconds) {
    if (kind == kMinute) return (static_cast<float>(seconds) / 60.0f + static_cast<float>(minutes)) * 6.0f;
    return (static_cast<float>(hours % 12) + static_cast<float>(minutes) / 60.0f) * 30.0f;
}

void AC_ClockArrow::Animate(DS_Frame* frame) {
    __time64_t now = 0;
    _time64(&now);
    std::tm local{};
    // A time that cannot be converted keeps the last angle.  The world matrix
    // is still written from the local one: left as it was, the parent's world
    // would be multiplied into it once more every frame.
    if (_localtime64_s(&local, &now) == 0) lastAngle = AngleFor(kind, local.tm_hour, local.tm_min, local.tm_sec);
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, Rad(lastAngle));
    D3DXMatrixMultiply(&frame->world, &frame->local, &turn);
}

// ---------------------------------------------------- DS_ClockConstructor --

DS_ClockConstructor::DS_ClockConstructor() : handsLink(kHandsPicture, kCommonResModule) {
    meshLink.ConstructFromResource(kClockMesh, kCommonResModule);
    textureLink.ConstructFromResource(kFacePicture, kCommonResModule);
    size.Assign(400u);
    const DS_ScreenMapping& mapping = DS_ScreenMapping::Current();
    clockRect.x.value = mapping.logicalWidth / 2;
    clockRect.y.value = mapping.logicalHeight / 2;
    AttachFaceControl();
}

DS_ClockConstructor::DS_ClockConstructor(const DS_ClockConstructor& other)
    : DS_3D_Obj_Ctrl(other), clockRect(other.clockRect), handsLink(other.handsLink) {
    size.Assign(other.size.value);
    AttachFaceControl();
}

DS_ClockConstructor::~DS_ClockConstructor() = default;

void DS_ClockConstructor::AttachFaceControl() {
    clockBindings.SetOwner(this);
    DS_FunLightCtrl2<DS_ClockConstructor>::Bind(&DS_ClockConstructor::OnFaceImageChanged, clockBindings, textureLink);
}

void DS_ClockConstructor::OnFaceImageChanged() {
    if (nodes && !nodes->empty()) DS_MeshNode::BindTexture(textureLink, (*nodes)[0], meshLink);
}

void DS_ClockConstructor::BuildMeshNodes(std::vector<DS_MeshNode>& out) {
    out.resize(2);
    DS_MeshNode::BindTexture(textureLink, out[0], meshLink);
    out[0].flag = 1;
    DS_MeshNode::BindTexture(handsLink, out[1], meshLink);
    out[1].flag = 1;
    nodes = &out;
}

void DS_ClockConstructor::BindInstances(std::list<DS_Frame*>& instances, std::vector<DS_MeshNode>& out) {
    if (out.size() < 2) return;
    out[0].frames.clear();
    out[1].frames.clear();
    for (DS_Frame* root : instances) {
        for (DS_Frame* hand : root->children) out[1].frames.push_back(hand);
        out[0].frames.push_back(root);
    }
}

DS_Frame* DS_ClockConstructor::CreateInstance() {
    auto root = std::make_unique<DS_Frame>();
    D3DXMATRIX a, b;
    D3DXMatrixScaling(&a, 0.01f, 0.01f, 0.01f);
    D3DXMatrixRotationX(&b, kPi / 2.0f);
    D3DXMatrixMultiply(&root->local, &a, &b);
    root->SetController(new AC_Static(this));
    struct Hand {
        unsigned char kind;
        float length;  // z scale of the clock mesh
        float offset;  // z of the hand's centre: its tail reaches a little past the pivot
    };
    for (const Hand h : {Hand{AC_ClockArrow::kHour, 0.3f, 10.0f}, Hand{AC_ClockArrow::kMinute, 0.38f, 13.0f}}) {
        auto* hand = new DS_Frame;
        D3DXMatrixScaling(&a, 0.01f, 1.0f, h.length);
        D3DXMatrixTranslation(&b, 0.0f, 0.0f, h.offset);
        D3DXMatrixMultiply(&hand->local, &a, &b);
        hand->SetController(new AC_ClockArrow(h.kind));
        root->children.push_back(hand);
    }
    return root.release();
}

void DS_ClockConstructor::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_ClockConstructor", 1);
    clockRect.Write(archive);
    WriteFileLink(archive, handsLink);
    DS_3D_Obj_Ctrl::WriteRecord(archive);
}

DS_ClockConstructor* DS_ClockConstructor::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto d = std::make_unique<DS_ClockConstructor>();
    d->clockRect.ReadFields(archive);
    ReadFileLink(archive, d->handsLink);
    DS_3D_Obj_Ctrl::ReadRecord(archive, *d);
    return d.release();
}
