// Falling pieces without a device: directions, the controllers' draws, the
// drift with its wrap-around and deviation changes, the leaf-fall matrix, a
// mesh of no extent, and the description's record.
#include <cmath>

#include "scene/objects3d/falling_pieces.h"
#include "tests/scene/objects3d/objects3d_fixture.h"

namespace {

using namespace objects3d_test;
using FallingPieces = Objects3D;

constexpr float kPi = 3.1415927f;
float Rad(float d) { return d * 2.0f * kPi / 360.0f; }

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-3f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r << c;
}

TEST(FlowDirection, Angles) {
    struct Case {
        unsigned angle;
        float fx, fy, lx, ly;
    };
    for (const Case c : {Case{0, 1, 0, 0, -1}, Case{90, 0, -1, -1, 0}, Case{180, -1, 0, 0, 1}, Case{270, 0, 1, 1, 0}}) {
        SCOPED_TRACE(c.angle);
        DS_FlowDirection d;
        d.SetAngle(c.angle);
        EXPECT_EQ(d.angle, c.angle);
        EXPECT_NEAR(d.flow[0], c.fx, 1e-6f);
        EXPECT_NEAR(d.flow[1], c.fy, 1e-6f);
        EXPECT_NEAR(d.lateral[0], c.lx, 1e-6f);
        EXPECT_NEAR(d.lateral[1], c.ly, 1e-6f);
        EXPECT_EQ(d.flow[2], 0.0f);
        EXPECT_EQ(d.lateral[3], 0.0f);
        DS_FlowDirection copy = d;
        EXPECT_EQ(copy.lateral[0], d.lateral[0]);
    }
}

// The draws of a new leaf, in order: x, y, deviation factor, speed factor;
// three tumble pairs (sign, magnitude); two sway pairs (on, sign, magnitude).
TEST_F(FallingPieces, LeafDrawsFromTheRuntimeSequence) {
    DS_StreamMotionParams motion;
    DS_LeafFallAnim leaf(&motion);
    EXPECT_FLOAT_EQ(leaf.position._41, R01(0) * 800.0f);
    EXPECT_FLOAT_EQ(leaf.position._42, R01(1) * 600.0f);
    EXPECT_FLOAT_EQ(leaf.deviationFactor, R01(2) * 2.0f - 1.0f);
    EXPECT_FLOAT_EQ(leaf.speedFactor, R01(3) * 0.059999995f + 0.07f);
    // 19169 odd: -1; 11478 even: +1; 26962 even: +1.
    const float tumble[3] = {-(R01(5) * 3.0f + 7.0f), R01(7) * 3.0f + 7.0f, R01(9) * 3.0f + 7.0f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(leaf.tumble[i].rate, tumble[i]);
        EXPECT_FLOAT_EQ(leaf.tumble[i].angle, tumble[i]);
    }
    // 5705 % 2 = 1 on, 28145 odd: -1; 16827 % 2 = 1 on, 9961 odd: -1.
    EXPECT_FLOAT_EQ(leaf.sway[0].rate, -(R01(12) * 4.0f + 3.0f));
    EXPECT_FLOAT_EQ(leaf.sway[1].angle, -(R01(15) * 4.0f + 3.0f));
    EXPECT_EQ(crt::rand(), kRand[16]);
}

// A piece leaving past an edge re-enters at the opposite one and does not
// move in that frame; the new coordinate is the next draw.
TEST_F(FallingPieces, WrapAtEachEdge) {
    struct Case {
        unsigned angle;
        float x, y;            // start, just outside
        bool randomX;          // which coordinate is drawn
        float fixed;           // the other one
    };
    const float half = 10.0f;
    const Case cases[] = {
        {270, 100, 600 + half + 1, true, -half},  // down and out of the bottom
        {90, 100, -half - 1, true, 600 + half},    // up and out of the top
        {0, 800 + half + 1, 300, false, -half},    // right
        {180, -half - 1, 300, false, 800 + half},  // left
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        crt::ResetRandForTests();
        DS_StreamMotionParams motion;
        motion.size.value = 20;
        motion.direction.SetAngle(c.angle);
        DS_SreamAnim piece(&motion);  // four draws
        D3DXMatrixTranslation(&piece.position, c.x, c.y, 0.0f);
        SceneTime = 0.1f;
        piece.Animate(nullptr);
        if (c.randomX) {
            EXPECT_FLOAT_EQ(piece.position._41, R01(4) * 800.0f);
            EXPECT_FLOAT_EQ(piece.position._42, c.fixed);
        } else {
            EXPECT_FLOAT_EQ(piece.position._41, c.fixed);
            EXPECT_FLOAT_EQ(piece.position._42, R01(4) * 600.0f);
        }
        SceneTime = 0.0f;
    }
}

// Inside the picture the piece moves by (A + dev x B) x speed x factor x dt x 50.
TEST_F(FallingPieces, DriftAndDeviationChanges) {
    DS_StreamMotionParams motion;
    motion.direction.SetAngle(270);
    motion.deviation.value = 10;
    DS_SreamAnim piece(&motion);
    const float x0 = piece.position._41, y0 = piece.position._42;
    SceneTime = 0.1f;
    piece.Animate(nullptr);
    const float dev = 10.0f * 0.02f * piece.deviationFactor;
    const float k = 50.0f * piece.speedFactor * 0.1f * 50.0f;
    EXPECT_NEAR(piece.position._41, x0 + (motion.direction.flow[0] + dev) * k, 1e-3f);
    EXPECT_NEAR(piece.position._42, y0 + motion.direction.flow[1] * k, 1e-3f);

    // Rate 0: the factor never changes and nothing more is drawn.
    const float factor = piece.deviationFactor;
    for (int i = 2; i < 200; ++i) {
        D3DXMatrixTranslation(&piece.position, 400.0f, 300.0f, 0.0f);  // never near an edge
        SceneTime = 0.1f * static_cast<float>(i);
        piece.Animate(nullptr);
    }
    EXPECT_EQ(piece.deviationFactor, factor);
    EXPECT_EQ(crt::rand(), kRand[4]);

    // Rate 10 at speed 50: a new draw once (t - last) x 5 > 10.  At t = 2.1
    // the odd draw 19169 lets the factor change to 15724 / 32767 x 2 - 1.
    crt::ResetRandForTests();
    motion.deviationRate.value = 10;
    DS_SreamAnim second(&motion);
    D3DXMatrixTranslation(&second.position, 400.0f, 300.0f, 0.0f);
    SceneTime = 2.0f;  // 2 x 50 x 0.1 = 10: not above the bound yet
    second.Animate(nullptr);
    EXPECT_FLOAT_EQ(second.deviationFactor, R01(2) * 2.0f - 1.0f);
    SceneTime = 2.1f;
    D3DXMatrixTranslation(&second.position, 400.0f, 300.0f, 0.0f);
    second.Animate(nullptr);
    EXPECT_FLOAT_EQ(second.lastDeviationTime, 2.1f);
    EXPECT_FLOAT_EQ(second.deviationFactor, R01(5) * 2.0f - 1.0f);
}

// The leaf's world after one step of 0.1 s, from the formula:
// local x S x RotX(t1) x RotZ(t3) x RotY(t2) x Translation(0, 0, 50) x RotY(s1) x RotX(s2) x P.
TEST_F(FallingPieces, LeafFallMatrix) {
    DS_StreamMotionParams motion;
    motion.size.value = 40;
    motion.direction.SetAngle(270);
    motion.deviation.value = 10;
    motion.tumbleSpeed.value = 100;
    DS_Frame piece;
    piece.radius = 8.0f;
    piece.center = D3DXVECTOR3(1.0f, 2.0f, 0.0f);
    D3DXMatrixTranslation(&piece.local, -1.0f, -2.0f, 0.0f);
    auto* leaf = new DS_LeafFallAnim(&motion);
    piece.SetController(leaf);
    float t[3], s[2];
    for (int i = 0; i < 3; ++i) t[i] = leaf->tumble[i].angle + leaf->tumble[i].rate * 0.1f * 100.0f * 0.4f;
    for (int i = 0; i < 2; ++i) s[i] = leaf->sway[i].angle + leaf->sway[i].rate * 0.1f * 10.0f * 0.4f;
    SceneTime = 0.1f;
    piece.Update(nullptr);
    const float x = leaf->position._41, y = leaf->position._42;

    D3DXMATRIX m, r;
    D3DXMatrixTranslation(&m, -1.0f, -2.0f, 0.0f);
    D3DXMatrixMultiply(&m, &m, D3DXMatrixScaling(&r, 2.5f, 2.5f, 2.5f));  // 40 x 0.5 / 8
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationX(&r, Rad(t[0])));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationZ(&r, Rad(t[2])));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationY(&r, Rad(t[1])));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixTranslation(&r, 0.0f, 0.0f, 50.0f));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationY(&r, Rad(s[0])));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixRotationX(&r, Rad(s[1])));
    D3DXMatrixMultiply(&m, &m, D3DXMatrixTranslation(&r, x, y, 0.0f));
    ExpectMatrixNear(piece.world, m);

    // A piece of a mesh with no extent: no division by zero, scaled to nothing.
    piece.radius = 0.0f;
    SceneTime = 0.2f;
    piece.Update(nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(piece.world.m[i][0], 0.0f);
    EXPECT_TRUE(std::isfinite(piece.world._41));
}

// Without a mesh the object still has its pieces (count read once), each on
// its own controller, and a size of 0 scales them to nothing.
TEST_F(FallingPieces, PiecesOfTheCount) {
    DS_3D_in_2D_array_Constructor d;
    d.count.value = 3;
    std::unique_ptr<DS_ABObj> object(d.CreateObject());
    auto& pieces = static_cast<DS_3D_in_2D_array&>(*object);
    EXPECT_EQ(pieces.meshFrame.children.size(), 3u);
    EXPECT_EQ(pieces.meshFrame.vertexBuffer.Get(), nullptr);
    pieces.description->count.value = 5;  // no binding: nothing changes
    EXPECT_EQ(pieces.meshFrame.children.size(), 3u);
    pieces.SyncItems();
    EXPECT_EQ(pieces.meshFrame.children.size(), 5u);
    pieces.FrameMove(0.1f);
    EXPECT_FLOAT_EQ(SceneTime, 0.1f);
    for (DS_Frame* piece : pieces.meshFrame.children) {
        EXPECT_NE(piece->Controller(), nullptr);
        EXPECT_EQ(piece->world._11, 0.0f);
    }
}

TEST_F(FallingPieces, RecordNamesAndPrefixes) {
    DS_3D_in_2D_array_Constructor d;
    d.name = u"leaves";
    d.count.value = 12;
    d.meshFile = DS_ResFileData(0, u"");
    d.meshFile.path = u"C:\\leaf.x";
    const BYTE meshBytes[] = {'x', 'o', 'f'};
    d.meshFile.SetBytes(3, meshBytes);
    d.imageFile = DS_ResFileData(9, u"common_res.dll");
    d.motion.size.value = 30;
    d.motion.speed.value = 40;
    d.motion.deviation.value = 5;
    d.motion.deviationRate.value = 2;
    d.motion.tumbleSpeed.value = 80;
    d.motion.direction.SetAngle(250);
    const std::vector<BYTE> bytes = Bytes([&](DS_IOF_W& w) { d.Write(w); });
    auto read = ReadDescription<DS_3D_in_2D_array_Constructor>(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->name, u"leaves");
    EXPECT_EQ(read->count.value, 12u);
    EXPECT_EQ(read->meshFile.path, u"C:\\leaf.x");
    EXPECT_EQ(read->meshFile.GetSize(), 3u);
    EXPECT_EQ(read->imageFile.resourceId, 9);
    EXPECT_EQ(read->imageFile.module, u"common_res.dll");
    EXPECT_EQ(read->motion.size.value, 30u);
    EXPECT_EQ(read->motion.speed.value, 40u);
    EXPECT_EQ(read->motion.deviation.value, 5u);
    EXPECT_EQ(read->motion.deviationRate.value, 2u);
    EXPECT_EQ(read->motion.tumbleSpeed.value, 80u);
    EXPECT_EQ(read->motion.direction.angle, 250u);
    EXPECT_NEAR(read->motion.direction.flow[0], std::cos(250.0f * kPi / 180.0f), 1e-6f);
    EXPECT_EQ(Bytes([&](DS_IOF_W& w) { read->Write(w); }), bytes);
    ExpectEveryPrefixFails(bytes);

    // The base record's name stands, unless it is empty.
    for (const auto& [last, expected] : {std::pair<std::u16string, std::u16string>{u"later", u"later"},
                                         std::pair<std::u16string, std::u16string>{u"", u"first"}}) {
        const std::vector<BYTE> named = Bytes([&](DS_IOF_W& w) {
            WriteRecordHeader(w, u"DS_3D_in_2D_array_Constructor", 3);  // any version
            w.WriteString(u"first");
            for (int i = 0; i < 1; ++i) w.WriteUInt(0);
            w.WriteResFile(DS_ResFileData());
            w.WriteResFile(DS_ResFileData());
            for (int i = 0; i < 6; ++i) w.WriteUInt(0);
            WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
            w.WriteString(last);
        });
        auto description = ReadDescription<DS_3D_in_2D_array_Constructor>(named);
        ASSERT_NE(description, nullptr);
        EXPECT_EQ(description->name, expected);
    }
}

}  // namespace
