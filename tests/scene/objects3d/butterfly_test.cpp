// Butterflies without a device: the ramps, the first flight steps worked by
// hand from the runtime's sequence, banking and pitch, the flock's nodes and
// the record's versions.
#include <cmath>

#include "scene/objects3d/butterfly.h"
#include "tests/scene/objects3d/objects3d_fixture.h"

namespace {

using namespace objects3d_test;
using Butterflies = Objects3D;

constexpr float kPi = 3.1415927f;
float Rad(float d) { return d * 2.0f * kPi / 360.0f; }

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-3f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r << c;
}

AC_Butterfly& FlightOf(DS_Frame* root) { return *static_cast<AC_Butterfly*>(root->Controller()); }

TEST(Ramp, StepAndRetarget) {
    struct Case {
        DS_Ramp start;
        float target, rate;  // Retarget(target, rate)
        float dt;
        DS_Ramp after;       // after Retarget, then Step(dt)
    };
    const Case cases[] = {
        {{0, 0, 50}, 25, 0, 0.1f, {5, 25, 50}},          // a rate of 0 keeps the rate
        {{0, 0, 50}, -25, 0, 0.1f, {-5, -25, -50}},      // the sign turns toward the target
        {{10, 10, 50}, 10, 0, 0.1f, {10, 10, -50}},      // target = value: negative, and no step
        {{20, 0, 50}, 25, 100, 0.1f, {25, 25, 100}},     // clamped at the target
        {{20, 0, 50}, 15, 100, 0.1f, {15, 15, -100}},    // from above, clamped too
        {{0, 0, -350}, 180, 350, 0.2f, {70, 180, 350}},
    };
    for (const Case& c : cases) {
        DS_Ramp r = c.start;
        r.Retarget(c.target, c.rate);
        r.Step(c.dt);
        EXPECT_FLOAT_EQ(r.value, c.after.value);
        EXPECT_FLOAT_EQ(r.target, c.after.target);
        EXPECT_FLOAT_EQ(r.rate, c.after.rate);
    }
}

// The flock's first butterfly over an 800 x 600 area, five frames 0.1 s apart
// (speed 50: the clock counts seconds).  Start: x = 41/32767 x 800,
// y = 18467/32767 x 600, heading 6334/32767 x 360 = 69.59 degrees.
//   frame 1: wings 0 + 0.1 x 7 x 100 = 70 > 55, so the beat turns (speed -160);
//            the position moves by (50 cos h, 50) x 0.1.
//   frame 2: wings 70 - 112 = -42.
//   frame 3: wings -154 < -55, speed 100; clock 0.3 > 0.25: the first decision,
//            26500 % 5 = 0: vertical target -190 + 19169/32767 x 190, rate -250.
//   frame 4: the position moved with the vertical value 50 once more, then the
//            vertical ramp steps to 25; wings -84 < -55 again.
//   frame 5: y moves by 2.5; wings -14.
TEST_F(Butterflies, FirstFlightStepsFromTheRuntimeSequence) {
    DS_ButterflyConstructor d;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    ASSERT_EQ(group.instances.size(), 1u);
    DS_Frame* root = group.instances.front();
    AC_Butterfly& flight = FlightOf(root);
    const float x0 = R01(0) * 800.0f, y0 = R01(1) * 600.0f, h = R01(2) * 360.0f;
    EXPECT_FLOAT_EQ(flight.position.x, x0);
    EXPECT_FLOAT_EQ(flight.position.y, y0);
    EXPECT_FLOAT_EQ(flight.heading.value, h);
    EXPECT_FLOAT_EQ(flight.heading.target, h);

    group.FrameMove(0.1f);
    EXPECT_NEAR(flight.wingAngle, 70.0f, 1e-4f);
    EXPECT_FLOAT_EQ(flight.wingSpeed, -160.0f);
    const float dx = 5.0f * std::cos(Rad(h));
    EXPECT_NEAR(flight.position.x, x0 + dx, 1e-3f);
    EXPECT_NEAR(flight.position.y, y0 + 5.0f, 1e-3f);
    EXPECT_EQ(flight.wingA->frontFace, 1);
    EXPECT_EQ(flight.wingB->frontFace, 0);
    // The bank was at its target (0) and is sent back to 0: rate -50.
    EXPECT_FLOAT_EQ(flight.bank.rate, -50.0f);

    // The world matrix of frame 1 from the formula:
    // size x Translation(0, -w/15, 0) x RotZ(bank) x tilt x pitch x RotY(h) x local x Translation(position).
    D3DXMATRIX m, r;
    D3DXMatrixTranslation(&m, 0.0f, 70.0f * -3.0f / 45.0f, 0.0f);
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationZ(&r, 0.0f));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationX(&r, 0.17453294f));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationX(&r, Rad(7.5f)));  // speed 50: half of 15 degrees
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationY(&r, Rad(h)));
    D3DXMatrixMultiply(&m, &m, &root->local);
    D3DXMatrixMultiply(&m, &m, D3DXMatrixTranslation(&r, x0 + dx, y0 + 5.0f, 0.0f));
    ExpectMatrixNear(root->world, m);
    // Wing A: its local x RotZ(70) x the body's world; wing B mirrored in x first.
    DS_Frame* wingA = root->children.front();
    DS_Frame* wingB = root->children.back();
    D3DXMATRIX wa;
    D3DXMatrixMultiply(&wa, D3DXMatrixRotationZ(&r, Rad(70.0f)), &root->world);
    ExpectMatrixNear(wingA->world, wa);
    D3DXMATRIX mirror, wb;
    D3DXMatrixScaling(&mirror, -1.0f, 1.0f, 1.0f);
    D3DXMatrixMultiply(&wb, D3DXMatrixRotationZ(&r, Rad(70.0f)), &mirror);
    D3DXMatrixMultiply(&wb, &wb, &root->world);
    ExpectMatrixNear(wingB->world, wb);
    EXPECT_EQ(wingA->frontFace, 1);
    EXPECT_EQ(wingB->frontFace, 0);

    group.FrameMove(0.2f);
    EXPECT_NEAR(flight.wingAngle, -42.0f, 1e-3f);
    EXPECT_EQ(wingA->frontFace, 0);
    EXPECT_EQ(wingB->frontFace, 1);
    EXPECT_FLOAT_EQ(flight.vertical.target, 50.0f);  // no decision yet

    group.FrameMove(0.3f);
    EXPECT_NEAR(flight.wingAngle, -154.0f, 1e-3f);
    EXPECT_FLOAT_EQ(flight.wingSpeed, 100.0f);
    EXPECT_NEAR(flight.vertical.target, -190.0f + R01(4) * 190.0f, 1e-3f);
    EXPECT_FLOAT_EQ(flight.vertical.rate, -250.0f);
    EXPECT_FLOAT_EQ(flight.vertical.value, 50.0f);
    EXPECT_EQ(flight.requestedMode, 0);
    EXPECT_NEAR(flight.lastDecision, 0.3f, 1e-5f);

    group.FrameMove(0.4f);
    EXPECT_NEAR(flight.position.y, y0 + 20.0f, 1e-3f);
    EXPECT_FLOAT_EQ(flight.vertical.value, 25.0f);
    EXPECT_NEAR(flight.wingAngle, -84.0f, 1e-3f);

    group.FrameMove(0.5f);
    EXPECT_NEAR(flight.position.y, y0 + 22.5f, 1e-3f);
    EXPECT_NEAR(flight.position.x, x0 + 5.0f * dx, 1e-3f);
    EXPECT_NEAR(flight.wingAngle, -14.0f, 1e-3f);
    EXPECT_NEAR(flight.vertical.value, 0.0f, 1e-4f);
    // Five draws so far: the next is the sixth of the sequence.
    EXPECT_EQ(crt::rand(), kRand[5]);
}

// The flight modes over ten frames 0.1 s apart, from the middle of the area,
// with the generator started afresh after the butterfly was made.
//   frame 3: wings -154, speed 100; the first decision: 41 % 5 = 1, gliding
//            asked for, vertical target 100 + 18467/32767 x 50.
//   frame 4: wings -84 < -55 x 0.5: gliding (mode 1), upper limit 0, wing
//            speed -|100| / 100 = -1.
//   frame 5: wings -84.7 < -55: speed 100.
//   frame 6: wings -14.7; decision 6334 % 5 = 4, a turn, skipped while gliding.
//   frame 7: wings 55.3 > 0: speed -160.  frame 8: -56.7, speed 100.
//   frame 9: wings 13.3 > 0 (the upper limit 0 turns the beat): speed -160;
//            decision 26500 % 5 = 0: flapping asked for, vertical target
//            -190 + 19169/32767 x 190.
//   frame 10: wings -98.7, speed 100, then back to flapping (mode 0), upper
//            limit 55, wing speed RandomRange(-160, 50 / 3 - 50) from 15724;
//            at a speed of 20 or less the wing speed is 160 and nothing is drawn.
TEST_F(Butterflies, GlidingIsReachedAndLeftByTheDecisions) {
    for (const float flightSpeed : {50.0f, 10.0f}) {
        SCOPED_TRACE(flightSpeed);
        crt::ResetRandForTests();
        DS_ButterflyConstructor d;
        std::unique_ptr<DS_ABObj> object(d.CreateObject());
        auto& group = static_cast<DS_3DObjArray&>(*object);
        AC_Butterfly& flight = FlightOf(group.instances.front());
        flight.position = D3DXVECTOR3(400.0f, 300.0f, 0.0f);
        flight.speed.value = flight.speed.target = flightSpeed;
        crt::ResetRandForTests();
        struct Step {
            float wings, wingSpeed, upper;
            int mode, requested;
        };
        const Step steps[] = {
            {70.0f, -160.0f, 55.0f, 0, 0},  {-42.0f, -160.0f, 55.0f, 0, 0}, {-154.0f, 100.0f, 55.0f, 0, 1},
            {-84.0f, -1.0f, 0.0f, 1, 1},    {-84.7f, 100.0f, 0.0f, 1, 1},   {-14.7f, 100.0f, 0.0f, 1, 1},
            {55.3f, -160.0f, 0.0f, 1, 1},   {-56.7f, 100.0f, 0.0f, 1, 1},   {13.3f, -160.0f, 0.0f, 1, 0},
        };
        for (int i = 0; i < 9; ++i) {
            SCOPED_TRACE(i + 1);
            group.FrameMove(0.1 * (i + 1));
            EXPECT_NEAR(flight.wingAngle, steps[i].wings, 1e-3f);
            EXPECT_FLOAT_EQ(flight.wingSpeed, steps[i].wingSpeed);
            EXPECT_FLOAT_EQ(flight.wingUpper, steps[i].upper);
            EXPECT_EQ(flight.flightMode, steps[i].mode);
            EXPECT_EQ(flight.requestedMode, steps[i].requested);
            if (i == 2) {
                EXPECT_NEAR(flight.vertical.target, 100.0f + R01(1) * 50.0f, 1e-3f);
            }
        }
        EXPECT_NEAR(flight.vertical.target, -190.0f + R01(4) * 190.0f, 1e-3f);
        EXPECT_FLOAT_EQ(flight.heading.value, flight.heading.target);  // the turn was skipped

        group.FrameMove(1.0);
        EXPECT_NEAR(flight.wingAngle, -98.7f, 1e-3f);
        EXPECT_EQ(flight.flightMode, 0);
        EXPECT_FLOAT_EQ(flight.wingUpper, 55.0f);
        if (flightSpeed > 20.0f) {
            EXPECT_NEAR(flight.wingSpeed, -160.0f + R01(5) * (50.0f / 3.0f - 50.0f + 160.0f), 1e-3f);
            EXPECT_EQ(crt::rand(), kRand[6]);
        } else {
            EXPECT_FLOAT_EQ(flight.wingSpeed, 160.0f);
            EXPECT_EQ(crt::rand(), kRand[5]);
        }
    }

    // Gliding begins once the wings are below half the lower limit (-27.5);
    // until then only the upper limit drops to 0.
    for (const float wings : {-40.0f, -20.0f}) {
        SCOPED_TRACE(wings);
        DS_ButterflyConstructor d;
        std::unique_ptr<DS_Frame> root(d.CreateInstance());
        AC_Butterfly& flight = FlightOf(root.get());
        flight.requestedMode = 1;
        flight.wingAngle = wings;
        flight.wingSpeed = 100.0f;
        flight.StepFlightMode();
        EXPECT_FLOAT_EQ(flight.wingUpper, 0.0f);
        EXPECT_EQ(flight.flightMode, wings < -27.5f ? 1 : 0);
        EXPECT_FLOAT_EQ(flight.wingSpeed, wings < -27.5f ? -1.0f : 100.0f);
        root->DestroyTree();
    }
}

// Banking follows the heading error; a bank that reached its target goes back to 0.
TEST_F(Butterflies, BankFollowsTheHeadingError) {
    DS_ButterflyConstructor d;
    struct Case {
        float error;        // heading value - target
        float bankValue, bankTarget;
        float expectedTarget;
    };
    const Case cases[] = {
        {-10.0f, 0.0f, 3.0f, 25.0f}, {10.0f, 0.0f, 3.0f, -25.0f}, {5.0f, 0.0f, 3.0f, 3.0f},
        {-5.0f, 0.0f, 3.0f, 3.0f},   {0.0f, 25.0f, 25.0f, 0.0f},  {-10.0f, 25.0f, 25.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::unique_ptr<DS_Frame> root(d.CreateInstance());
        AC_Butterfly& flight = FlightOf(root.get());
        flight.position = D3DXVECTOR3(400.0f, 300.0f, 0.0f);
        flight.heading.target = 90.0f;
        flight.heading.value = 90.0f + c.error;
        flight.bank.value = c.bankValue;
        flight.bank.target = c.bankTarget;
        flight.Animate(root.get());  // no clock step: nothing moves
        EXPECT_FLOAT_EQ(flight.bank.target, c.expectedTarget);
        root->DestroyTree();
    }
}

// No pitch at speed 100 or more; 15 degrees at speed 0.
TEST_F(Butterflies, PitchFollowsTheSpeed) {
    DS_ButterflyConstructor d;
    for (const float speed : {0.0f, 100.0f, 250.0f}) {
        SCOPED_TRACE(speed);
        std::unique_ptr<DS_Frame> root(d.CreateInstance());
        AC_Butterfly& flight = FlightOf(root.get());
        flight.position = D3DXVECTOR3(400.0f, 300.0f, 0.0f);
        flight.speed.value = flight.speed.target = speed;
        const float h = flight.heading.value;
        flight.Animate(root.get());
        D3DXMATRIX m, r;
        D3DXMatrixRotationX(&m, 0.17453294f);
        if (speed < 100.0f) D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationX(&r, Rad(15.0f)));
        D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationY(&r, Rad(h)));
        D3DXMatrixMultiply(&m, &m, &root->local);
        D3DXMatrixMultiply(&m, &m, D3DXMatrixTranslation(&r, 400.0f, 300.0f, 0.0f));
        ExpectMatrixNear(root->world, m);
        root->DestroyTree();
    }
}

// Leaving the area turns the butterfly back and speeds it up.
TEST_F(Butterflies, KeepInArea) {
    DS_ButterflyConstructor d;
    std::unique_ptr<DS_Frame> root(d.CreateInstance());
    AC_Butterfly& flight = FlightOf(root.get());
    flight.position = D3DXVECTOR3(-1.0f, -1.0f, 0.0f);
    flight.KeepInArea();
    EXPECT_EQ(flight.requestedMode, 1);
    EXPECT_FLOAT_EQ(flight.vertical.target, 100.0f);
    EXPECT_FLOAT_EQ(flight.heading.target, 0.0f);
    EXPECT_FLOAT_EQ(flight.speed.target, 300.0f);
    flight.position = D3DXVECTOR3(801.0f, 601.0f, 0.0f);
    flight.KeepInArea();
    EXPECT_EQ(flight.requestedMode, 0);
    EXPECT_FLOAT_EQ(flight.vertical.target, -190.0f);
    EXPECT_FLOAT_EQ(flight.heading.target, -180.0f);
    EXPECT_FLOAT_EQ(flight.heading.rate, -350.0f);
    root->DestroyTree();
}

// Defaults, the trees and the nodes: bodies in node 0, wings (A, B) in node 1.
TEST_F(Butterflies, FlockTreesAndNodes) {
    DS_ButterflyConstructor d;
    EXPECT_EQ(d.bodyImage.key.path, u"common_res.dll");
    EXPECT_EQ(d.bodyImage.key.stamp, 6);
    EXPECT_EQ(d.bodyMesh.key.stamp, 68);
    EXPECT_EQ(d.meshLink.key.stamp, 69);
    EXPECT_TRUE(d.textureLink.key.path.empty());
    EXPECT_EQ(d.size.value, 100u);
    EXPECT_TRUE(d.flag);
    EXPECT_EQ(d.speedA.value, 50u);
    EXPECT_FLOAT_EQ(d.speedB.Converted(), 50.0f);

    d.count.value = 3;
    d.wingScale = 1.5f;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    ASSERT_EQ(group.nodes.size(), 2u);
    EXPECT_EQ(group.nodes[0].flag, 0);
    EXPECT_EQ(group.nodes[1].flag, 1);
    ASSERT_EQ(group.instances.size(), 3u);
    std::vector<DS_Frame*> bodies, wings;
    for (DS_Frame* root : group.instances) {
        bodies.push_back(root);
        ASSERT_EQ(root->children.size(), 2u);
        for (DS_Frame* wing : root->children) {
            wings.push_back(wing);
            EXPECT_FLOAT_EQ(wing->local._11, 1.5f);
        }
    }
    EXPECT_EQ(std::vector<DS_Frame*>(group.nodes[0].frames.begin(), group.nodes[0].frames.end()), bodies);
    EXPECT_EQ(std::vector<DS_Frame*>(group.nodes[1].frames.begin(), group.nodes[1].frames.end()), wings);
    // Root: Scaling(0.5) x RotationY(pi/2) takes the head (+z) to +x.
    D3DXVECTOR3 head(0, 0, 1), turned;
    D3DXVec3TransformCoord(&turned, &head, &bodies[0]->local);
    EXPECT_NEAR(turned.x, 0.5f, 1e-6f);
    EXPECT_NEAR(turned.z, 0.0f, 1e-6f);
}

// Lowering the count removes the oldest instances; raising it appends.
TEST_F(Butterflies, CountChangesKeepTheNewest) {
    DS_ButterflyConstructor d;
    d.count.value = 5;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    const std::vector<DS_Frame*> first(group.instances.begin(), group.instances.end());
    ASSERT_EQ(first.size(), 5u);
    group.description->count.SetValue(2);
    EXPECT_EQ(std::vector<DS_Frame*>(group.instances.begin(), group.instances.end()),
              (std::vector<DS_Frame*>{first[3], first[4]}));
    group.description->count.SetValue(4);
    ASSERT_EQ(group.instances.size(), 4u);
    EXPECT_EQ(group.instances.front(), first[3]);
    EXPECT_EQ(*std::next(group.instances.begin()), first[4]);
    EXPECT_EQ(group.nodes[1].frames.size(), 8u);
    group.description->count.SetValue(0);
    EXPECT_TRUE(group.instances.empty());
    EXPECT_TRUE(group.nodes[0].frames.empty());
    EXPECT_TRUE(group.nodes[1].frames.empty());
    group.FrameMove(0.1f);  // nothing to move
}

TEST_F(Butterflies, RecordVersionsAndPrefixes) {
    DS_ButterflyConstructor d;
    d.bodyImage.key = {u"C:\\body.tga", 5};
    d.textureLink.key = {u"C:\\wing.tga", 6};
    d.speedA.SetValue(70);
    d.speedB.SetValue(20);
    d.wingScale = 0.75f;
    d.count.value = 4;
    d.speed.value = 80;
    const std::vector<BYTE> v2 = Bytes([&](DS_IOF_W& w) { d.Write(w); });
    auto read = ReadDescription<DS_ButterflyConstructor>(v2);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->bodyImage.key, d.bodyImage.key);
    EXPECT_EQ(read->textureLink.key, d.textureLink.key);
    EXPECT_EQ(read->speedA.value, 70u);
    EXPECT_FLOAT_EQ(read->speedA.Converted(), 70.0f);  // stored through SetValue
    EXPECT_FLOAT_EQ(read->speedB.Converted(), 20.0f);
    EXPECT_FLOAT_EQ(read->wingScale, 0.75f);
    EXPECT_EQ(read->count.value, 4u);
    EXPECT_EQ(read->speed.value, 80u);
    EXPECT_EQ(Bytes([&](DS_IOF_W& w) { read->Write(w); }), v2);
    ExpectEveryPrefixFails(v2);

    // Version 1 has no wing scale: it keeps 1.0.
    const std::vector<BYTE> v1 = Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_ButterflyConstructor", 1);
        WriteFileLink(w, d.bodyImage);
        WriteFileLink(w, d.bodyMesh);
        w.WriteUInt(60);
        w.WriteUInt(40);
        static_cast<const DS_3D_Obj_Ctrl&>(d).WriteRecord(w);
    });
    auto old = ReadDescription<DS_ButterflyConstructor>(v1);
    ASSERT_NE(old, nullptr);
    EXPECT_FLOAT_EQ(old->wingScale, 1.0f);
    EXPECT_EQ(old->speedA.value, 60u);
    EXPECT_EQ(old->count.value, 4u);
    ExpectEveryPrefixFails(v1);
}

}  // namespace
