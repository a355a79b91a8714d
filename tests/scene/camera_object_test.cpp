// The camera's segments and the object model's clocks, areas and records.
#include <gtest/gtest.h>

#include <cmath>

#include "document/archive_writer.h"
#include "platform/crt/rand.h"
#include "scene/camera.h"
#include "scene/object_model.h"
#include "scene/view_2d.h"

namespace {

std::vector<BYTE> Bytes(const std::function<void(DS_IOF_W&)>& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

// A plain description for the tests.
class TestDescription : public DS_ViewObjCtrl {
public:
    TestDescription() = default;
    TestDescription(const TestDescription& other) = default;
    DS_ABObj* CreateObject() override { return nullptr; }
};

// Sets the current screen mapping's logical size.
void SetLogicalSize(int w, int h) {
    DS_ScreenMapping::Current().logicalWidth = w;
    DS_ScreenMapping::Current().logicalHeight = h;
}

class ObjectModel : public ::testing::Test {
protected:
    void SetUp() override {
        DS_SetCurrentViewState(&state_);
        crt::ResetRandForTests();
    }
    void TearDown() override { DS_SetCurrentViewState(nullptr); }
    DS_ViewState state_;
};

using Camera = ObjectModel;

}  // namespace

TEST_F(Camera, DefaultsRecordAndRoundTrip) {
    DSM_Camera c;
    EXPECT_EQ(c.enabled.value, 0);
    EXPECT_EQ(c.zoom.value, 120u);
    EXPECT_FLOAT_EQ(c.zoom.Converted(), 1.2f);
    EXPECT_FLOAT_EQ(c.speed.Converted(), 1.0f);

    c.enabled.value = 1;
    c.zoom.SetValue(150);
    c.speed.SetValue(100);
    const auto bytes = Bytes([&](DS_IOF_W& w) { c.WriteRecord(w); });
    // name (4 + 2 x 10), version, enabled, zoom, speed
    EXPECT_EQ(bytes.size(), 24u + 16u);
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DSM_Camera> read(DSM_Camera::ReadNew(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    EXPECT_EQ(read->enabled.value, 1);
    EXPECT_FLOAT_EQ(read->zoom.Converted(), 1.5f);  // scaled values follow the raw value read
    EXPECT_FLOAT_EQ(read->speed.Converted(), 2.0f);
    EXPECT_EQ(read->motionMode.value, 0);
}

TEST_F(Camera, StaysUnzoomedUnlessEnabledAndInMotion) {
    DSM_Camera c;
    float z, x, y;
    c.motionMode.value = 1;
    c.Evaluate(1.0f, &z, &x, &y);  // disabled
    EXPECT_EQ(z, 1.0f);
    c.enabled.value = 1;
    c.motionMode.value = 0;  // slide never current
    c.Evaluate(2.0f, &z, &x, &y);
    EXPECT_EQ(z, 1.0f);
    EXPECT_EQ(x, 0.0f);
    // The clock runs in either case.
    EXPECT_FLOAT_EQ(c.speed.time, 0.4f);
}

TEST_F(Camera, SegmentsFollowTheRuntimeSequence) {
    DSM_Camera c;
    c.enabled.value = 1;
    c.motionMode.value = 1;
    float z, x, y;
    // First draw 41 is odd: a glide to (2*18467/32767 - 1, 2*6334/32767 - 1)
    // lasting 2*r/32767 + 5 with the fourth draw.
    crt::ResetRandForTests();
    c.Evaluate(0.0f, &z, &x, &y);
    EXPECT_FLOAT_EQ(z, 1.2f);
    EXPECT_EQ(x, 0.0f);  // e = 0 at the segment start
    EXPECT_EQ(y, 0.0f);
    const float toX = 2.0f * 18467.0f / 32767.0f - 1.0f, toY = 2.0f * 6334.0f / 32767.0f - 1.0f;
    EXPECT_FLOAT_EQ(c.panXTo, toX);
    EXPECT_FLOAT_EQ(c.panYTo, toY);
    // Fourth draw 26500: 2 * 26500 / 32767 + 5 = 6.6174812 clock units from 0.
    EXPECT_FLOAT_EQ(c.segmentEnd, 6.6174812f);
    // Halfway through the glide the pan is halfway.
    const float half = c.segmentEnd / 2.0f;
    c.Evaluate(0.1f, &z, &x, &y);  // clock steps are capped at 0.2 s: walk there
    float now = 0.1f;
    while (c.speed.time + 0.1f < half) c.Evaluate(now += 0.1f, &z, &x, &y);
    c.speed.time = half;  // place the clock exactly
    c.speed.lastTime = now;
    c.Evaluate(now, &z, &x, &y);
    EXPECT_NEAR(x, toX / 2.0f, 1e-5);
    EXPECT_NEAR(y, toY / 2.0f, 1e-5);

    // An even draw gives a rest of 0.5 units with the targets kept.
    DSM_Camera rest;
    rest.panXTo = 0.25f;
    crt::srand(0);  // first draw 38: even
    rest.PickNextSegment(3.0f);
    EXPECT_FLOAT_EQ(rest.segmentEnd, 3.5f);
    EXPECT_EQ(rest.panXFrom, 0.25f);
    EXPECT_EQ(rest.panXTo, 0.25f);
}

TEST_F(Camera, FrameMoveSetsTheCurrentViewsZoom) {
    DS_2DView::Current().Compute(800, 600, 800, 600, DS_POS_FIT, true, 800, 600);
    DSM_Camera c;
    c.enabled.value = 1;
    c.motionMode.value = 1;
    c.FrameMove(0.0f);
    EXPECT_FLOAT_EQ(DS_2DView::Current().zoom._11, 1.2f);
    // Zoom raw 100: the camera moves but nothing zooms.
    c.zoom.SetValue(100);
    c.FrameMove(0.1f);
    EXPECT_FLOAT_EQ(DS_2DView::Current().zoom._11, 1.0f);
    EXPECT_NEAR(DS_2DView::Current().zoom._41, 0.0f, 1e-6);
}

TEST_F(ObjectModel, ClockUsesTheAbsoluteDifference) {
    TestDescription d;
    d.AdvanceClock(5.0f);
    EXPECT_FLOAT_EQ(d.step, 0.2f);  // capped, speed 50 x 0.02 = 1
    d.AdvanceClock(4.9f);
    EXPECT_NEAR(d.step, 0.1f, 1e-6);
    EXPECT_NEAR(d.clock, 0.3f, 1e-6);
    d.speed.value = 100;
    d.AdvanceClock(5.0f);
    EXPECT_NEAR(d.step, 0.2f, 1e-5);  // 0.1 s of scene time, twice as fast

    // The speed parameter's clock, by contrast, does not run backwards.
    MediaSpeedParam s;
    s.SetFactor(0.02f, 0.0f);
    s.SetValue(50);
    s.Advance(5.0f);
    s.Advance(4.9f);
    EXPECT_EQ(s.step, 0.0f);
    EXPECT_FLOAT_EQ(s.time, 0.2f);
}

TEST_F(ObjectModel, EdgesFollowFractionsForTheLogicalSize) {
    SetLogicalSize(800, 600);
    TestDescription d;
    d.leftFraction = 0.25f, d.rightFraction = 0.75f, d.topFraction = 0.1f, d.bottomFraction = 0.9f;
    d.SyncPixelsFromFractions();
    EXPECT_EQ(d.area.left.value, 200);
    EXPECT_EQ(d.area.right.value, 600);
    EXPECT_EQ(d.area.top.value, 60);
    EXPECT_EQ(d.area.bottom.value, 540);
    for (int i = 0; i < 50; ++i) {
        const D3DXVECTOR3 p = d.RandomPoint();
        EXPECT_GE(p.x, 200.0f);
        EXPECT_LE(p.x, 600.0f);
        EXPECT_GE(p.y, 60.0f);
        EXPECT_LE(p.y, 540.0f);
        EXPECT_EQ(p.z, 0.0f);
    }
    // The first point uses draws 41 then 18467 of the runtime sequence.
    crt::ResetRandForTests();
    const D3DXVECTOR3 first = d.RandomPoint();
    EXPECT_FLOAT_EQ(first.x, 200.0f + 41.0f / 32767.0f * 400.0f);
    EXPECT_FLOAT_EQ(first.y, 60.0f + 18467.0f / 32767.0f * 480.0f);

    SetLogicalSize(1000, 1000);
    d.leftFraction = 0.3333f;
    d.SyncPixelsFromFractions();
    EXPECT_EQ(d.area.left.value, 333);
    EXPECT_FLOAT_EQ(d.leftFraction, 0.333f);  // the binding re-derived it
}

TEST_F(ObjectModel, InsetPointsAndReversedRanges) {
    SetLogicalSize(1000, 1000);
    TestDescription d;
    d.leftFraction = 0.1f, d.rightFraction = 0.2f, d.topFraction = 0.0f, d.bottomFraction = 0.5f;
    for (int i = 0; i < 50; ++i) {
        const D3DXVECTOR3 p = d.RandomPointInset(10.0f, 20.0f);
        EXPECT_GE(p.x, 110.0f - 1e-3f);
        EXPECT_LE(p.x, 190.0f + 1e-3f);
        EXPECT_GE(p.y, 20.0f - 1e-3f);
        EXPECT_LE(p.y, 480.0f + 1e-3f);
    }
    // Narrower than twice the half width: x lies between R - hw and L + hw.
    const D3DXVECTOR3 p = d.RandomPointInset(80.0f, 0.0f);
    EXPECT_GE(p.x, 120.0f - 1e-3f);
    EXPECT_LE(p.x, 180.0f + 1e-3f);
}

TEST_F(ObjectModel, CopyRebuildsEdgesAndStartsAFreshClock) {
    SetLogicalSize(800, 600);
    TestDescription d;
    d.leftFraction = 0.5f;
    d.flag = true;
    d.speed.value = 75;
    d.AdvanceClock(1.0f);
    d.name = u"fish";
    TestDescription copy(d);
    EXPECT_EQ(copy.name, u"fish");
    EXPECT_TRUE(copy.flag);
    EXPECT_EQ(copy.speed.value, 75u);
    EXPECT_EQ(copy.clock, 0.0f);
    EXPECT_EQ(copy.lastTime, 0.0f);
    EXPECT_EQ(copy.area.left.value, 400);
    EXPECT_EQ(copy.area.right.value, 800);
    // Each has its own bindings: moving the copy's edge leaves the source alone.
    copy.area.left.SetValue(200);
    EXPECT_FLOAT_EQ(copy.leftFraction, 0.25f);
    EXPECT_FLOAT_EQ(d.leftFraction, 0.5f);
}

// Before any layer was resized the logical size is 0: fractions are kept, and
// a fraction that is not a number still gives a defined edge.
TEST_F(ObjectModel, NoLogicalSizeKeepsFractionsFinite) {
    SetLogicalSize(0, 0);
    TestDescription d;
    EXPECT_EQ(d.leftFraction, 0.0f);
    EXPECT_EQ(d.rightFraction, 1.0f);
    EXPECT_EQ(d.bottomFraction, 1.0f);
    d.area.right.SetValue(50);
    EXPECT_EQ(d.rightFraction, 1.0f);
    SetLogicalSize(640, 480);
    d.rightFraction = std::nanf("");
    d.SyncPixelsFromFractions();
    EXPECT_EQ(d.area.right.value, 0);
}

struct ViewRecordCase {
    int version;
    bool hasSpeed;
};

TEST_F(ObjectModel, ViewObjCtrlRecordVersions) {
    SetLogicalSize(800, 600);
    for (const ViewRecordCase c : {ViewRecordCase{1, false}, ViewRecordCase{2, true}}) {
        SCOPED_TRACE(c.version);
        const auto bytes = Bytes([&](DS_IOF_W& w) {
            WriteRecordHeader(w, u"DS_ViewObjCtrl", c.version);
            for (INT v : {10, 20, 30, 40, 5, 6}) w.WriteLong(v);
            for (float f : {0.1f, 0.6f, 0.2f, 0.7f}) w.WriteFloat(f);
            w.WriteBool(true);
            if (c.hasSpeed) w.WriteUInt(100);
            WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
            w.WriteString(u"birds");
        });
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_DocumentReader reader(&buffer);
        TestDescription d;
        DS_ViewObjCtrl::ReadRecord(reader, d);
        EXPECT_EQ(buffer.Remaining(), 0u);
        EXPECT_EQ(d.speed.value, c.hasSpeed ? 100u : 50u);
        EXPECT_EQ(d.area.left.value, 10);  // stored as read: no binding fired
        EXPECT_FLOAT_EQ(d.leftFraction, 0.1f);
        EXPECT_EQ(d.area.y.value, 6);
        EXPECT_TRUE(d.flag);
        EXPECT_EQ(d.name, u"birds");

        // Written back, the record is version 2 and reads to the same values.
        const auto again = Bytes([&](DS_IOF_W& w) { d.Write(w); });
        ResourceBuffer b2(again.data(), again.size());
        DS_DocumentReader r2(&b2);
        TestDescription e;
        DS_ViewObjCtrl::ReadRecord(r2, e);
        EXPECT_EQ(b2.Remaining(), 0u);
        EXPECT_EQ(e.speed.value, d.speed.value);
        EXPECT_EQ(e.area.bottom.value, 40);
        EXPECT_FLOAT_EQ(e.bottomFraction, 0.7f);
        EXPECT_EQ(e.name, u"birds");
    }
}
