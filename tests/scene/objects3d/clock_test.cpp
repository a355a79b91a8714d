// The clock without a device: hand angles from the local time, a failed time
// conversion, the body's placement, the trees and nodes, and its record.
#include <cmath>

#include "scene/objects3d/clock.h"
#include "tests/scene/objects3d/objects3d_fixture.h"

namespace {

using namespace objects3d_test;
using Clock = Objects3D;

constexpr float kPi = 3.1415927f;

// The calendar time of a local time of day (on 2026-06-15, the zone's own rules).
__time64_t LocalTime(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 5;
    t.tm_mday = 15;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<__time64_t>(std::mktime(&t));
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-4f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r << c;
}

TEST(ClockHands, AnglesOfTheLocalTime) {
    struct Case {
        int h, m, s;
        float minute, hour;
    };
    const Case cases[] = {
        {12, 30, 0, 180.0f, 15.0f},  // 0.5 x 30
        {0, 0, 1, 0.1f, 0.0f},       // the minute hand: 0.1 degree a second
        {0, 0, 59, 5.9f, 0.0f},
        {0, 1, 0, 6.0f, 0.5f},       // the hour hand: 0.5 degree a minute
        {3, 0, 0, 0.0f, 90.0f},
        {15, 45, 30, 273.0f, 112.5f},
        {23, 59, 59, 359.9f, 359.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.h) + ":" + std::to_string(c.m) + ":" + std::to_string(c.s));
        EXPECT_NEAR(AC_ClockArrow::AngleFor(AC_ClockArrow::kMinute, c.h, c.m, c.s), c.minute, 1e-4f);
        EXPECT_NEAR(AC_ClockArrow::AngleFor(AC_ClockArrow::kHour, c.h, c.m, c.s), c.hour, 1e-4f);
    }
}

// A hand's world is its local matrix turned by the time's angle, then its
// parent's.  When the time cannot be converted the hand keeps its last good
// angle and stays where it was frame after frame.
TEST_F(Clock, HandFollowsTheTimeAndKeepsItWhenTheConversionFails) {
    DS_Frame parent;
    D3DXMatrixTranslation(&parent.local, 10.0f, 20.0f, 0.0f);
    auto* hand = new DS_Frame;
    D3DXMatrixScaling(&hand->local, 0.01f, 1.0f, 0.3f);
    hand->SetController(new AC_ClockArrow(AC_ClockArrow::kHour));
    parent.children.push_back(hand);

    const __time64_t t = LocalTime(12, 30, 0);
    crt::SetTime64ForTests(&t);
    parent.Update(nullptr);
    D3DXMATRIX turn, expected;
    D3DXMatrixRotationY(&turn, 15.0f * 2.0f * kPi / 360.0f);
    D3DXMatrixMultiply(&expected, &hand->local, &turn);
    D3DXMatrixMultiply(&expected, &expected, &parent.local);
    ExpectMatrixNear(hand->world, expected);

    const __time64_t failing = -1;  // what a clock that cannot be read answers
    crt::SetTime64ForTests(&failing);
    for (int frame = 0; frame < 3; ++frame) {
        parent.Update(nullptr);
        ExpectMatrixNear(hand->world, expected);
    }
    parent.DestroyTree();
}

TEST_F(Clock, NewDescriptionAndItsPlacement) {
    DS_ClockConstructor d;
    EXPECT_EQ(d.clockRect.x.value, kWidth / 2);
    EXPECT_EQ(d.clockRect.y.value, kHeight / 2);
    EXPECT_EQ(d.clockRect.left.value, 0);
    EXPECT_EQ(d.clockRect.bottom.value, 0);
    EXPECT_EQ(d.size.value, 400u);
    EXPECT_EQ(d.meshLink.key.path, u"common_res.dll");
    EXPECT_EQ(d.meshLink.key.stamp, 70);
    EXPECT_EQ(d.textureLink.key.stamp, 71);
    EXPECT_EQ(d.handsLink.key.stamp, 72);

    struct Case {
        unsigned size;
        int x, y;
        int left, right, top, bottom;
    };
    for (const Case c : {Case{400, 400, 300, 200, 600, 100, 500}, Case{401, 123, 77, -77, 323, -123, 277}}) {
        SCOPED_TRACE(c.size);
        DS_ClockConstructor clock;
        clock.size.value = c.size;
        clock.clockRect.x.value = c.x;
        clock.clockRect.y.value = c.y;
        std::unique_ptr<DS_ABObj> object(clock.CreateObject());
        auto& group = static_cast<DS_3DObjArray&>(*object);
        const MediaRectangle& r = static_cast<DS_ClockConstructor*>(group.description)->clockRect;
        EXPECT_EQ(r.left.value, c.left);
        EXPECT_EQ(r.right.value, c.right);
        EXPECT_EQ(r.top.value, c.top);
        EXPECT_EQ(r.bottom.value, c.bottom);
        // The body stands on the point from the first frame on, scaled by the size.
        group.FrameMove(0.0f);
        const DS_Frame& body = *group.instances.front();
        EXPECT_FLOAT_EQ(body.world._41, static_cast<float>(c.x));
        EXPECT_FLOAT_EQ(body.world._42, static_cast<float>(c.y));
        D3DXMATRIX s, expected;
        D3DXMatrixScaling(&s, static_cast<float>(c.size), static_cast<float>(c.size), static_cast<float>(c.size));
        D3DXMatrixMultiply(&expected, &s, &body.local);
        expected._41 = static_cast<float>(c.x);
        expected._42 = static_cast<float>(c.y);
        ExpectMatrixNear(body.world, expected);
    }
}

// Moving the point as a whole moves the body and keeps the square around it.
TEST_F(Clock, RectangleChangeMovesTheBody) {
    DS_ClockConstructor d;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    auto& clock = static_cast<DS_ClockConstructor&>(*group.description);
    clock.clockRect.x.value = 250;
    clock.clockRect.y.value = 260;
    clock.clockRect.NotifyControls(nullptr);
    group.FrameMove(0.0f);
    EXPECT_FLOAT_EQ(group.instances.front()->world._41, 250.0f);
    EXPECT_FLOAT_EQ(group.instances.front()->world._42, 260.0f);
    EXPECT_EQ(clock.clockRect.left.value, 50);
    EXPECT_EQ(clock.clockRect.bottom.value, 460);
}

// Hands after bodies, hour before minute; count changes keep two hands an instance.
TEST_F(Clock, NodesFollowTheCount) {
    DS_ClockConstructor d;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    ASSERT_EQ(group.nodes.size(), 2u);
    EXPECT_EQ(group.nodes[0].flag, 1);
    EXPECT_EQ(group.nodes[1].flag, 1);
    EXPECT_EQ(static_cast<DS_ClockConstructor*>(group.description)->nodes, &group.nodes);
    for (unsigned n : {3u, 2u}) {
        group.description->count.SetValue(n);
        ASSERT_EQ(group.instances.size(), n);
        EXPECT_EQ(group.nodes[0].frames.size(), n);
        ASSERT_EQ(group.nodes[1].frames.size(), 2 * n);
        auto hand = group.nodes[1].frames.begin();
        for (DS_Frame* body : group.instances) {
            EXPECT_EQ(*hand++, body->children.front());
            EXPECT_EQ(static_cast<AC_ClockArrow*>((*std::prev(hand))->Controller())->kind, AC_ClockArrow::kHour);
            EXPECT_EQ(*hand++, body->children.back());
        }
    }
}

TEST_F(Clock, RecordRoundTripAnyVersionAndPrefixes) {
    DS_ClockConstructor d;
    d.clockRect.left.value = -1;
    d.clockRect.right.value = 2;
    d.clockRect.top.value = -3;
    d.clockRect.bottom.value = 4;
    d.clockRect.x.value = 321;
    d.clockRect.y.value = 123;
    d.handsLink.key = {u"C:\\hands.tga", 77};
    d.count.value = 2;
    d.size.value = 250;
    d.name = u"kitchen clock";
    const std::vector<BYTE> bytes = Bytes([&](DS_IOF_W& w) { d.Write(w); });
    auto read = ReadDescription<DS_ClockConstructor>(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->clockRect.left.value, -1);
    EXPECT_EQ(read->clockRect.right.value, 2);
    EXPECT_EQ(read->clockRect.top.value, -3);
    EXPECT_EQ(read->clockRect.bottom.value, 4);
    EXPECT_EQ(read->clockRect.x.value, 321);
    EXPECT_EQ(read->clockRect.y.value, 123);
    EXPECT_EQ(read->handsLink.key, d.handsLink.key);
    EXPECT_EQ(read->count.value, 2u);
    EXPECT_EQ(read->size.value, 250u);
    EXPECT_EQ(read->meshLink.key.stamp, 70);
    EXPECT_EQ(read->name, u"kitchen clock");
    EXPECT_EQ(Bytes([&](DS_IOF_W& w) { read->Write(w); }), bytes);

    // Another version number reads the same fields.
    std::vector<BYTE> other = bytes;
    const size_t versionAt = 4 + 2 * std::u16string(u"DS_ClockConstructor").size();
    other[versionAt] = 9;
    auto nine = ReadDescription<DS_ClockConstructor>(other);
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(nine->clockRect.x.value, 321);
    EXPECT_EQ(nine->size.value, 250u);
    ExpectEveryPrefixFails(bytes);
}

}  // namespace
