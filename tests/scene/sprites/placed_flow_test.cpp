// Placed kinds (still pictures, flowers, discharges) and flowing kinds
// (flows, rain): records, spawns and updates against values worked out from
// the runtime sequence.
#include <cmath>

#include "scene/sprites/flow.h"
#include "scene/sprites/stat_obj.h"
#include "tests/scene/sprites/sprite_fixture.h"

using namespace sprite_test;

namespace {

class PlacedSprites : public SpriteTest {};
class FlowSprites : public SpriteTest {};

void WritePlacement(DS_IOF_W& w, INT x, INT y) {
    for (INT v : {1, 2, 3, 4, x, y}) w.WriteInt(v);
}

void WriteStatObj(DS_IOF_W& w, INT version, INT spriteVersion) {
    WriteRecordHeader(w, u"DS_StatObjConstructor", version);
    WritePlacement(w, 200, 300);
    w.WriteUInt(90);
    if (version <= 1) {
        w.WriteInt(7);  // flips of the old place
        w.WriteInt(8);
    }
    WriteSpriteRecord(w, spriteVersion);
}

void WriteFlow(DS_IOF_W& w, INT version, INT orientation) {
    WriteRecordHeader(w, u"DS_FlowConstructor", version);
    w.WriteUInt(270);
    w.WriteUInt(10);
    w.WriteUInt(4);
    w.WriteFloat(150.0f);
    if (version >= 2) w.WriteInt(orientation);
    WriteSpriteRecord(w, 6);
}

double Deg(double d) { return d * 3.14159265358979 / 180.0; }

}  // namespace

TEST_F(PlacedSprites, StillPictureRecordsKeepOrReplaceTheOldFlips) {
    struct Case {
        INT version, spriteVersion;
        int flipV, flipH;
    };
    // The sprite record of version 5 or later carries the flips (1, 1) again.
    for (const Case& c : std::vector<Case>{{1, 4, 7, 8}, {1, 5, 1, 1}, {2, 4, 0, 0}, {2, 6, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.version << "/" << c.spriteVersion);
        const auto bytes = Bytes([&](DS_IOF_W& w) { WriteStatObj(w, c.version, c.spriteVersion); });
        auto read = ReadDescription(bytes);
        auto* d = dynamic_cast<DS_StatObjConstructor*>(read.get());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->placement.x.value, 200);
        EXPECT_EQ(d->placement.y.value, 300);
        EXPECT_EQ(d->placement.bottom.value, 4);
        EXPECT_EQ(d->rotation.value, 90u);
        EXPECT_EQ(d->flipVertical.value, c.flipV);
        EXPECT_EQ(d->flipHorizontal.value, c.flipH);
        EXPECT_EQ(d->size.value, 40u);
        ExpectEveryPrefixFails(bytes);
    }
}

TEST_F(PlacedSprites, FlowerAndDischargeRecords) {
    const auto flower = Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_FlowerConstructor", 1);
        w.WriteFloat(12.5f);
        WriteStatObj(w, 2, 6);
    });
    auto f = ReadDescription(flower);
    ASSERT_NE(dynamic_cast<DS_FlowerConstructor*>(f.get()), nullptr);
    EXPECT_FLOAT_EQ(static_cast<DS_FlowerConstructor&>(*f).amplitude, 12.5f);
    EXPECT_EQ(static_cast<DS_FlowerConstructor&>(*f).rotation.value, 90u);
    ExpectEveryPrefixFails(flower);

    const auto discharge = Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_DischargeConstructor", 1);
        WriteStatObj(w, 2, 6);
    });
    auto d = ReadDescription(discharge);
    ASSERT_NE(dynamic_cast<DS_DischargeConstructor*>(d.get()), nullptr);
    EXPECT_EQ(static_cast<DS_DischargeConstructor&>(*d).sheetFrames, 4u);
    ExpectEveryPrefixFails(discharge);

    // Written and read back: the same bytes.
    const auto again = Bytes([&](DS_IOF_W& w) { f->Write(w); });
    EXPECT_EQ(again, flower);
}

TEST_F(PlacedSprites, StillPictureTurnedAndStill) {
    DS_StatObjConstructor d;
    d.image = Picture(64, 32);  // 40 x 20
    d.size.value = 40;
    d.placement.x.value = 200;
    d.placement.y.value = 300;
    d.rotation.value = 90;
    auto obj = Populate(d);
    const DS_SpriteRecord& s = *obj->records[0];
    EXPECT_EQ(s.position, D3DXVECTOR3(200, 300, 0));
    EXPECT_NEAR(s.right.x, 0.0f, 1e-6);
    EXPECT_NEAR(s.right.y, -1.0f, 1e-6);
    EXPECT_NEAR(s.up.x, 1.0f, 1e-6);
    EXPECT_NEAR(s.up.y, 0.0f, 1e-6);
    // The bounding box of the turned sprite: 20 wide, 40 high.
    const auto* copy = static_cast<DS_StatObjConstructor*>(obj->props);
    EXPECT_EQ(copy->placement.left.value, 190);
    EXPECT_EQ(copy->placement.right.value, 210);
    EXPECT_EQ(copy->placement.top.value, 280);
    EXPECT_EQ(copy->placement.bottom.value, 320);
    for (float t : {0.1f, 0.2f, 0.3f}) obj->FrameMove(t);
    EXPECT_EQ(obj->records[0]->position, D3DXVECTOR3(200, 300, 0));
    // A point at the middle of the logical size by default (integer halves).
    state_.mapping.logicalWidth = 641;
    EXPECT_EQ(DS_StatObjConstructor().placement.x.value, 320);
}

TEST_F(PlacedSprites, FlowerSwaysAboutItsRoot) {
    DS_FlowerConstructor d;
    d.image = Picture(32, 64);  // 20 x 40
    d.size.value = 40;
    d.amplitude = 10.0f;
    d.placement.x.value = 200;
    d.placement.y.value = 300;
    auto obj = Populate(d);
    for (float t : {0.2f, 0.4f, 0.6f}) {
        obj->FrameMove(t);
        const DS_SpriteRecord& s = *obj->records[0];
        const double clock = t;  // speed 50: one clock unit a second
        const double lean = 1.0 / std::tan(Deg(180.0 - (std::sin(clock) * 10.0 + 90.0)));
        SCOPED_TRACE(t);
        EXPECT_NEAR(s.up.x, lean, 1e-4);
        EXPECT_FLOAT_EQ(s.up.y, 1.0f);
        EXPECT_NEAR(s.position.x, 200.0 - lean * 20.0, 1e-3);
        EXPECT_FLOAT_EQ(s.position.y, 300.0f);
        // The middle of the root edge stays at (200, 320).
        EXPECT_NEAR(s.position.x + s.halfHeight * s.up.x, 200.0, 1e-3);
        EXPECT_NEAR(s.position.y + s.halfHeight * s.up.y, 320.0, 1e-3);
    }
}

TEST_F(PlacedSprites, SwayReachingNinetyDegreesStaysFinite) {
    DS_FlowerConstructor d;
    d.size.value = 40;
    d.amplitude = 90.0f;
    d.clock = 1.5707964f;  // sin 1: the up axis would lie flat
    DS_SpriteRecord s;
    s.halfHeight = 20.0f;
    d.UpdateSprite(s);
    EXPECT_TRUE(std::isfinite(s.up.x));
    EXPECT_LE(std::fabs(s.up.x), ds_sprite::kMaxShear);
    EXPECT_GE(std::fabs(s.up.x), 32.0f);  // still a steep lean
}

TEST_F(PlacedSprites, DischargeDrawsAnotherFrame) {
    DS_DischargeConstructor d;
    d.sheetFrames = 4;
    // rand() % 4 along the sequence: 1, 3, 2, 0, 1, 0, 2, then 2, 2 (equal
    // to the current frame: drawn again) and 0.
    const std::vector<std::pair<unsigned, unsigned>> steps = {{0, 1}, {1, 3}, {3, 2}, {2, 0},
                                                              {0, 1}, {1, 0}, {0, 2}, {2, 0}};
    for (const auto& [from, to] : steps) EXPECT_EQ(d.NextFrame(from), to) << from;
    EXPECT_EQ(crt::rand(), Sequence()[10]);

    crt::ResetRandForTests();
    for (UINT frames : {0u, 1u}) {
        d.sheetFrames = frames;
        EXPECT_EQ(d.NextFrame(0), 0u);  // no other frame: kept, nothing drawn
    }
    EXPECT_EQ(crt::rand(), Sequence()[0]);
}

TEST_F(PlacedSprites, DischargeWithTheSheetOffKeepsItsFrame) {
    DS_DischargeConstructor d;
    d.image = Picture(64, 16);
    d.size.value = 16;
    d.sheetFrames = 4;
    d.sheetRate = 10.0f;
    auto obj = Populate(d);
    for (float t : {0.2f, 0.4f, 0.6f, 0.8f}) obj->FrameMove(t);
    EXPECT_EQ(obj->sheetFrame, 0u);
}

TEST_F(FlowSprites, RecordVersions) {
    struct Case {
        const char16_t* kind;
        INT version, stored;
        int orientation;
    };
    const std::vector<Case> cases = {
        {u"DS_FlowConstructor", 1, 0, 0}, {u"DS_FlowConstructor", 2, 5, 1}, {u"DS_FlowConstructor", 2, 0, 0},
        {u"DS_FlowConstructor", 3, 3, 3}, {u"DS_RainConstructor", 1, 0, 1},  // the rain default stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << " " << c.stored);
        const bool rain = std::u16string(c.kind) == u"DS_RainConstructor";
        const auto bytes = Bytes([&](DS_IOF_W& w) {
            if (rain) WriteRecordHeader(w, u"DS_RainConstructor", 1);
            WriteFlow(w, rain ? 1 : c.version, c.stored);
        });
        auto read = ReadDescription(bytes);
        auto* d = dynamic_cast<DS_FlowConstructor*>(read.get());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(rain, dynamic_cast<DS_RainConstructor*>(d) != nullptr);
        EXPECT_EQ(d->orientation.value, c.orientation);
        EXPECT_EQ(d->angle.value, 270u);
        EXPECT_EQ(d->swayAmount.value, 10u);
        EXPECT_EQ(d->swayRate.value, 4u);
        EXPECT_FLOAT_EQ(d->speed, 150.0f);
        // Stored raw; the run-time copy derives the rest.
        std::unique_ptr<DS_BaseSpriteProp> copy(d->Clone());
        auto& flow = static_cast<DS_FlowConstructor&>(*copy);
        EXPECT_FLOAT_EQ(flow.swayAmount.Converted(), 30.0f);
        EXPECT_FLOAT_EQ(flow.swayRate.Converted(), 1.0f);
        EXPECT_NEAR(flow.direction.x, 0.0f, 1e-3);
        EXPECT_NEAR(flow.direction.y, 150.0f, 1e-3);  // 270: towards larger y
        ExpectEveryPrefixFails(bytes);
    }
}

TEST_F(FlowSprites, RainFallsAtItsSpeedTimesTheSizeFactor) {
    DS_RainConstructor d;
    d.image = Picture(4, 32);
    d.size.value = 32;
    d.count.value = 1;
    auto obj = Populate(d);
    const DS_SpriteRecord& s = *obj->records[0];
    // Draws: size factor, sign, sway, point x, point y, phase.
    const float size = 0.5f + R(0) * 0.5f;
    EXPECT_FLOAT_EQ(s.sizeFactor, size);
    EXPECT_FLOAT_EQ(s.velocity.z, 2.0f * R(2) - 1.0f);
    EXPECT_FLOAT_EQ(s.position.x, R(3) * 640.0f);
    EXPECT_FLOAT_EQ(s.position.y, R(4) * 480.0f);
    EXPECT_FLOAT_EQ(s.alphaPhase, R(5));
    // Turned along the flow, then by the drop turn: upright drops.
    EXPECT_NEAR(s.right.x, 1.0f, 1e-5);
    EXPECT_NEAR(s.up.y, 1.0f, 1e-5);
    const float y0 = s.position.y;
    obj->FrameMove(0.01f);  // 0.01 clock units: not at an edge
    EXPECT_NEAR(s.position.y - y0, 0.01 * 2000.0 * size, 1e-2);
    EXPECT_NEAR(s.position.x, R(3) * 640.0f, 1e-3);  // no sway: the amount is 0

    DS_FlowConstructor up;
    up.speed = 100.0f;
    up.angle.SetValue(90u);
    EXPECT_NEAR(up.direction.y, -100.0f, 1e-3);
    EXPECT_NEAR(up.direction.x, 0.0f, 1e-3);
}

TEST_F(FlowSprites, SwayMovesSidewaysAndIsRedrawnAtItsRate) {
    DS_FlowConstructor d;
    d.image = Picture(10, 10);
    d.size.value = 10;
    d.speed = 100.0f;
    d.angle.SetValue(0u);          // towards larger x
    d.swayAmount.SetValue(10u);    // 30
    d.swayRate.SetValue(8u);       // twice a clock unit
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    const float sway = 2.0f * R(2) - 1.0f;
    const float x0 = R(3) * 640.0f, y0 = R(4) * 480.0f;
    obj->FrameMove(0.2f);
    EXPECT_NEAR(s.position.x, x0 + 0.2 * 100.0, 1e-3);
    EXPECT_NEAR(s.position.y, y0 + 0.2 * sway * 30.0, 1e-3);
    EXPECT_FLOAT_EQ(s.velocity.z, sway);
    obj->FrameMove(0.4f);
    obj->FrameMove(0.6f);  // clock 0.6 - 0 > 0.5: a decision
    EXPECT_FLOAT_EQ(s.timer, 0.6f);
    EXPECT_FLOAT_EQ(s.velocity.z, Odd(5) ? 2.0f * R(6) - 1.0f : sway);
}

TEST_F(FlowSprites, FullHeightWrapsAtANewRandomX) {
    DS_FlowConstructor d;
    d.image = Picture(10, 10);
    d.size.value = 10;  // half extents 5
    auto obj = Populate(d);  // speed 0, no sway
    DS_SpriteRecord& s = *obj->records[0];
    s.position = D3DXVECTOR3(100, 486, 0);  // wholly below
    obj->FrameMove(0.1f);
    EXPECT_FLOAT_EQ(s.position.y, 486.0f - 490.0f);
    EXPECT_FLOAT_EQ(s.position.x, R(5) * 640.0f);
    s.position = D3DXVECTOR3(-6, 50, 0);  // wholly left
    obj->FrameMove(0.2f);
    EXPECT_FLOAT_EQ(s.position.x, -6.0f + 650.0f);
    EXPECT_FLOAT_EQ(s.position.y, R(6) * 480.0f);
}

TEST_F(FlowSprites, BandReflectsOnePixelInsideAndKeepsTheMirroredMotion) {
    DS_FlowConstructor d;
    d.image = Picture(10, 10);
    d.size.value = 10;
    d.speed = 100.0f;
    d.angle.SetValue(270u);  // down
    SetArea(d, 0.0f, 1.0f, 0.25f, 0.75f);  // 120..360
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    const float down = static_cast<DS_FlowConstructor*>(obj->props)->direction.y;
    s.position = D3DXVECTOR3(300, 354, 0);
    obj->FrameMove(0.1f);  // to 364: past the bottom
    EXPECT_FLOAT_EQ(s.position.y, 354.0f);
    EXPECT_FLOAT_EQ(s.drift.y, -2.0f * down);
    float y = 354.0f;
    for (float t : {0.2f, 0.3f, 0.4f}) {
        obj->FrameMove(t);
        y = y + 0.1f * (down - 2.0f * down);  // the mirrored velocity, exactly
        EXPECT_FLOAT_EQ(s.position.y, y);
        EXPECT_FLOAT_EQ(s.drift.y, -2.0f * down);  // kept: drift equals twice the velocity
    }
}

TEST_F(FlowSprites, MirroredByTheXMotionAfterAReflection) {
    DS_FlowConstructor d;
    d.image = Picture(10, 10);
    d.size.value = 10;
    d.speed = 100.0f;
    d.orientation.value = 2;
    SetArea(d, 0.25f, 0.75f, 0.0f, 1.0f);  // 160..480
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    s.position = D3DXVECTOR3(470, 200, 0);
    obj->FrameMove(0.1f);  // to 480: partly past the right edge
    EXPECT_FLOAT_EQ(s.position.x, 474.0f);
    EXPECT_FLOAT_EQ(s.right.x, 1.0f);  // the velocity of this frame still pointed right
    obj->FrameMove(0.2f);
    EXPECT_FLOAT_EQ(s.right.x, -1.0f);
    EXPECT_LT(s.position.x, 474.0f);
}
