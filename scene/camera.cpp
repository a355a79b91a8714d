#include "scene/camera.h"

#include <cmath>
#include <memory>

#include "platform/crt/rand.h"
#include "scene/view_2d.h"

namespace {
constexpr float kPi = 3.1415927f;
}

DSM_Camera::DSM_Camera() {
    zoom.SetFactor(0.01f, 0.0f);
    speed.SetFactor(0.02f, 0.0f);
    enabled.Assign(0);
    zoom.SetValue(120);
    speed.SetValue(50);
    motionMode.value = 0;
}

void DSM_Camera::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DSM_Camera", 1);
    const LONG on = enabled.value;
    archive.WriteLong(on);
    archive.WriteUInt(zoom.value);
    archive.WriteUInt(speed.value);
}

DSM_Camera* DSM_Camera::ReadNew(DS_IOF_Virtual& archive) {
    ReadRecordHeader(archive);
    std::unique_ptr<DSM_Camera> camera(new DSM_Camera);
    camera->ReadFields(archive);
    return camera.release();
}

void DSM_Camera::ReadFields(DS_IOF_Virtual& archive) {
    LONG on = 0;
    archive.ReadLong(on);
    enabled.value = on;
    ReadParam(archive, zoom);
    ReadParam(archive, speed);
}

void DSM_Camera::CopySettings(const DSM_Camera& other) {
    if (&other == this) return;
    enabled.Assign(other.enabled);
    zoom.Assign(other.zoom);
    speed.Assign(other.speed);
    motionMode.value = other.motionMode.value;
    panXFrom = other.panXFrom;
    panXTo = other.panXTo;
    panYFrom = other.panYFrom;
    panYTo = other.panYTo;
    segmentStart = other.segmentStart;
    segmentEnd = other.segmentEnd;
}

void DSM_Camera::Evaluate(double now, float* z, float* panX, float* panY) {
    speed.Advance(now);
    const double t = speed.time;
    *z = 1.0f;
    *panX = 0.0f;
    *panY = 0.0f;
    if (enabled.value == 0 || motionMode.value != 1) return;
    if (t >= segmentEnd) PickNextSegment(t);
    *z = zoom.Converted();
    const float length = static_cast<float>(segmentEnd - segmentStart);
    // Segments always have length 0.5 or 5..7; the guard only keeps a
    // hand-set zero-length segment from producing NaN.
    const float a = length > 0.0f ? static_cast<float>(t - segmentStart) * kPi / length : 0.0f;
    const float c = std::cos(a);
    const float e = (1.0f - c) / 2.0f;
    *panX = panXFrom + e * (panXTo - panXFrom);
    *panY = panYFrom + e * (panYTo - panYFrom);
}

void DSM_Camera::FrameMove(double now) {
    float z, px, py;
    Evaluate(now, &z, &px, &py);
    DS_2DView::Current().SetZoom(z, px, py);
}

void DSM_Camera::PickNextSegment(double t) {
    segmentStart = t;
    panXFrom = panXTo;
    panYFrom = panYTo;
    const int r = crt::rand();
    if (r % 2 == 0) {
        segmentEnd = segmentStart + 0.5f;
        return;
    }
    // Single precision throughout: targets in [-1, 1], durations in [5, 7].
    panXTo = 2.0f * static_cast<float>(crt::rand()) / 32767.0f - 1.0f;
    panYTo = 2.0f * static_cast<float>(crt::rand()) / 32767.0f - 1.0f;
    segmentEnd = segmentStart + (2.0f * static_cast<float>(crt::rand()) / 32767.0f + 5.0f);
}
