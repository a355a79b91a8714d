#include "scene/object_model.h"

#include <cmath>

#include "platform/crt/rand.h"
#include "scene/noise.h"
#include "scene/view_2d.h"

namespace {

float LogicalWidth() { return static_cast<float>(DS_ScreenMapping::Current().logicalWidth); }
float LogicalHeight() { return static_cast<float>(DS_ScreenMapping::Current().logicalHeight); }

// fraction := edge / size.  Without a logical size (no layer resized yet)
// the quotient would not be a number: the fraction is kept instead.
void DeriveFraction(float& fraction, int edge, float size) {
    if (size != 0.0f) fraction = static_cast<float>(edge) / size;
}

// The edge for a fraction; a fraction that is not a finite number (a damaged
// document) gives a defined edge instead of an undefined conversion.
int EdgeFor(float fraction, float size) {
    const float v = fraction * size;
    return TruncateToInt(static_cast<double>(v));
}

float Draw01() { return static_cast<float>(crt::rand()) / 32767.0f; }

}  // namespace

void DS_ABObj_Constructor::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_ABObj_Constructor", 1);
    archive.WriteString(name);
}

void DS_ABObj_Constructor::ReadRecord(DS_IOF_Virtual& archive, DS_ABObj_Constructor& description) {
    ReadRecordHeader(archive);
    archive.ReadString(description.name);
}

DS_ViewObjCtrl::DS_ViewObjCtrl() {
    speed.Assign(50u);
    BindEdgeControls();
}

DS_ViewObjCtrl::DS_ViewObjCtrl(const DS_ViewObjCtrl& other)
    : DS_ABObj_Constructor(other),
      flag(other.flag),
      leftFraction(other.leftFraction),
      rightFraction(other.rightFraction),
      topFraction(other.topFraction),
      bottomFraction(other.bottomFraction) {
    speed.Assign(other.speed.value);
    BindEdgeControls();
}

// The bindings go first (members are destroyed in reverse order, so the list
// declared after the area and speed is destroyed before them).
DS_ViewObjCtrl::~DS_ViewObjCtrl() = default;

void DS_ViewObjCtrl::BindEdgeControls() {
    SyncPixelsFromFractions();
    bindings.SetOwner(this);
    DS_FunLightCtrl<int, DS_ViewObjCtrl>::Bind(area.left, &DS_ViewObjCtrl::OnLeftChanged, bindings);
    DS_FunLightCtrl<int, DS_ViewObjCtrl>::Bind(area.right, &DS_ViewObjCtrl::OnRightChanged, bindings);
    DS_FunLightCtrl<int, DS_ViewObjCtrl>::Bind(area.top, &DS_ViewObjCtrl::OnTopChanged, bindings);
    DS_FunLightCtrl<int, DS_ViewObjCtrl>::Bind(area.bottom, &DS_ViewObjCtrl::OnBottomChanged, bindings);
}

void DS_ViewObjCtrl::SyncPixelsFromFractions() {
    const float w = LogicalWidth(), h = LogicalHeight();
    area.left.SetValue(EdgeFor(leftFraction, w));
    area.right.SetValue(EdgeFor(rightFraction, w));
    area.top.SetValue(EdgeFor(topFraction, h));
    area.bottom.SetValue(EdgeFor(bottomFraction, h));
}

void DS_ViewObjCtrl::OnLeftChanged(int v) { DeriveFraction(leftFraction, v, LogicalWidth()); }
void DS_ViewObjCtrl::OnRightChanged(int v) { DeriveFraction(rightFraction, v, LogicalWidth()); }
void DS_ViewObjCtrl::OnTopChanged(int v) { DeriveFraction(topFraction, v, LogicalHeight()); }
void DS_ViewObjCtrl::OnBottomChanged(int v) { DeriveFraction(bottomFraction, v, LogicalHeight()); }

float DS_ViewObjCtrl::GetLeft() const { return leftFraction * LogicalWidth(); }
float DS_ViewObjCtrl::GetRight() const { return rightFraction * LogicalWidth(); }
float DS_ViewObjCtrl::GetTop() const { return topFraction * LogicalHeight(); }
float DS_ViewObjCtrl::GetBottom() const { return bottomFraction * LogicalHeight(); }

D3DXVECTOR3 DS_ViewObjCtrl::RandomPoint() const {
    const float L = GetLeft(), R = GetRight(), T = GetTop(), B = GetBottom();
    const float r1 = Draw01();
    const float r2 = Draw01();
    const float dx = R - L;
    const float px = r1 * dx;
    const float x = L + px;
    const float dy = B - T;
    const float py = r2 * dy;
    const float y = T + py;
    return D3DXVECTOR3(x, y, 0.0f);
}

D3DXVECTOR3 DS_ViewObjCtrl::RandomPointInset(float hw, float hh) const {
    const float L = GetLeft() + hw, R = GetRight() - hw, T = GetTop() + hh, B = GetBottom() - hh;
    const float r1 = Draw01();
    const float r2 = Draw01();
    const float dx = R - L;
    const float px = r1 * dx;
    const float x = L + px;
    const float dy = B - T;
    const float py = r2 * dy;
    const float y = T + py;
    return D3DXVECTOR3(x, y, 0.0f);
}

void DS_ViewObjCtrl::AdvanceClock(double now) {
    float s = static_cast<float>(std::fabs(now - lastTime));
    if (s > 0.2f) s = 0.2f;
    s = static_cast<float>(speed.value) * 0.02f * s;
    step = s;
    clock = clock + step;
    lastTime = now;
}

void DS_ViewObjCtrl::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_ViewObjCtrl", 2);
    area.Write(archive);
    archive.WriteFloat(leftFraction);
    archive.WriteFloat(rightFraction);
    archive.WriteFloat(topFraction);
    archive.WriteFloat(bottomFraction);
    archive.WriteBool(flag);
    archive.WriteUInt(speed.value);
    DS_ABObj_Constructor::WriteRecord(archive);
}

void DS_ViewObjCtrl::ReadRecord(DS_IOF_Virtual& archive, DS_ViewObjCtrl& d) {
    const INT version = ReadRecordHeader(archive);
    d.area.ReadFields(archive);
    archive.ReadFloat(d.leftFraction);
    archive.ReadFloat(d.rightFraction);
    archive.ReadFloat(d.topFraction);
    archive.ReadFloat(d.bottomFraction);
    archive.ReadBool(d.flag);
    if (version >= 2) archive.ReadUInt(d.speed.value);
    DS_ABObj_Constructor::ReadRecord(archive, d);
}
