// The wandering, pulsing and swaying kinds: records, spawns and updates
// against values worked out from the runtime sequence.
#include <cmath>

#include "scene/sprites/fish.h"
#include "scene/sprites/fog.h"
#include "scene/sprites/god_ray.h"
#include "scene/sprites/grass.h"
#include "scene/sprites/lighting.h"
#include "scene/sprites/sparkle.h"
#include "tests/scene/sprites/sprite_fixture.h"

using namespace sprite_test;

namespace {

class WanderingSprites : public SpriteTest {};

// Draws up to index n (exclusive) that a test does not need.
void SkipTo(int n, int from) {
    for (int i = from; i < n; ++i) crt::rand();
}

}  // namespace

TEST_F(WanderingSprites, RecordsOfEveryKind) {
    struct Case {
        const char16_t* name;
        std::function<void(DS_IOF_W&)> own;  // own fields, or a nested record header
        std::function<void(DS_ABObj_Constructor&)> check;
        INT additive = 1;  // the blend flag the record carries
    };
    const std::vector<Case> cases = {
        {u"DS_FishConstructor", [](DS_IOF_W& w) { w.WriteFloat(11.0f), w.WriteFloat(12.0f); },
         [](DS_ABObj_Constructor& d) {
             EXPECT_FLOAT_EQ(dynamic_cast<DS_FishConstructor&>(d).rangeX, 11.0f);
             EXPECT_FLOAT_EQ(dynamic_cast<DS_FishConstructor&>(d).rangeY, 12.0f);
         }},
        {u"DS_BirdConstructor",
         [](DS_IOF_W& w) {
             WriteRecordHeader(w, u"DS_FishConstructor", 1);
             w.WriteFloat(13.0f), w.WriteFloat(14.0f);
         },
         [](DS_ABObj_Constructor& d) { EXPECT_FLOAT_EQ(dynamic_cast<DS_BirdConstructor&>(d).rangeY, 14.0f); }},
        {u"DS_GhostConstructor",
         [](DS_IOF_W& w) {
             WriteRecordHeader(w, u"DS_FishConstructor", 1);
             w.WriteFloat(15.0f), w.WriteFloat(16.0f);
         },
         [](DS_ABObj_Constructor& d) {
             auto& g = dynamic_cast<DS_GhostConstructor&>(d);
             EXPECT_FLOAT_EQ(g.rangeX, 15.0f);
             EXPECT_FLOAT_EQ(g.pulseSpeed, 0.5f);  // from the record, over the ghost's default
         }},
        {u"DS_FogConstructor", [](DS_IOF_W& w) { w.WriteFloat(17.0f), w.WriteFloat(18.0f); },
         [](DS_ABObj_Constructor& d) { EXPECT_FLOAT_EQ(dynamic_cast<DS_FogConstructor&>(d).rangeY, 18.0f); }},
        {u"DS_SparkleConstructor", [](DS_IOF_W&) {},
         [](DS_ABObj_Constructor& d) { EXPECT_NE(dynamic_cast<DS_SparkleConstructor*>(&d), nullptr); }},
        {u"DS_GodRayConstructor", [](DS_IOF_W& w) { w.WriteUInt(95); },
         [](DS_ABObj_Constructor& d) { EXPECT_EQ(dynamic_cast<DS_GodRayConstructor&>(d).angle.value, 95u); }},
        // A new bolt blends additively; a record that says otherwise stands.
        {u"DS_LightingConstructor", [](DS_IOF_W&) {},
         [](DS_ABObj_Constructor& d) {
             EXPECT_EQ(dynamic_cast<DS_LightingConstructor&>(d).additive.value, 0);
             DS_LightingConstructor fresh;
             EXPECT_EQ(fresh.additive.value, 1);
             EXPECT_TRUE(fresh.flag);
             std::unique_ptr<DS_BaseSpriteProp> copy(fresh.Clone());
             EXPECT_EQ(copy->additive.value, 1);
         },
         0},
        {u"DS_GrassConstructor", [](DS_IOF_W& w) { w.WriteFloat(7.5f); },
         [](DS_ABObj_Constructor& d) { EXPECT_FLOAT_EQ(dynamic_cast<DS_GrassConstructor&>(d).amplitude, 7.5f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        const auto bytes = Bytes([&](DS_IOF_W& w) {
            WriteRecordHeader(w, c.name, 1);
            c.own(w);
            WriteSpriteRecord(w, 6, {}, DS_ResFileData(), c.additive);
        });
        auto d = ReadDescription(bytes);
        c.check(*d);
        EXPECT_EQ(static_cast<DS_BaseSpriteProp&>(*d).count.value, 12u);
        const auto again = Bytes([&](DS_IOF_W& w) { d->Write(w); });
        EXPECT_EQ(again, bytes);
        ExpectEveryPrefixFails(bytes);
    }
}

TEST_F(WanderingSprites, EverySpriteClassNameResolves) {
    for (const char16_t* name :
         {u"DS_FishConstructor", u"DS_BirdConstructor", u"DS_GhostConstructor", u"DS_FogConstructor",
          u"DS_SparkleConstructor", u"DS_GodRayConstructor", u"DS_LightingConstructor", u"DS_GrassConstructor",
          u"DS_FlowConstructor", u"DS_RainConstructor", u"DS_StatObjConstructor", u"DS_FlowerConstructor",
          u"DS_DischargeConstructor"}) {
        const auto it = GetConstructorReaderRegistry().find(name);
        ASSERT_NE(it, GetConstructorReaderRegistry().end());
        EXPECT_NE(it->second, nullptr);
    }
}

TEST_F(WanderingSprites, FishRecordsAreMadeWithTheirDrawsInOrder) {
    DS_FishConstructor d;
    d.image = Picture(64, 32);
    d.count.value = 2;
    d.size.value = 40;
    d.sizeMin = 1.0f;
    d.sizeMax = 2.0f;
    d.pulseSpeed = 0.5f;
    auto obj = Populate(d);
    ASSERT_EQ(obj->records.size(), 2u);
    EXPECT_EQ(obj->vertexCount, 8u);
    EXPECT_EQ(obj->primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(obj->indexedPrimitiveCount, 4u);
    // Six draws a fish: size factor, sign, x and y velocity, x and y position.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const DS_SpriteRecord& s = *obj->records[static_cast<size_t>(i)];
        const int k = 6 * i;
        const float size = 1.0f + R(k) * (2.0f - 1.0f);
        EXPECT_FLOAT_EQ(s.sizeFactor, size);
        EXPECT_FLOAT_EQ(s.pulseSpeed, Odd(k + 1) ? -0.5f : 0.5f);
        const float vx = -80.0f + R(k + 2) * 2.0f * 80.0f, vy = -50.0f + R(k + 3) * 2.0f * 50.0f;
        EXPECT_FLOAT_EQ(s.velocity.x, vx);
        EXPECT_FLOAT_EQ(s.velocity.y, vy);
        EXPECT_FLOAT_EQ(s.position.x, R(k + 4) * 640.0f);
        EXPECT_FLOAT_EQ(s.position.y, R(k + 5) * 480.0f);
        const float e = size * 40.0f * 0.5f;  // aspect 0.5: wide
        EXPECT_FLOAT_EQ(s.halfWidth, vx < 0 ? -e : e);
        EXPECT_FLOAT_EQ(s.halfHeight, e * 0.5f);
        EXPECT_EQ(s.color, 0xFFFFFFFFu);
    }
    EXPECT_EQ(crt::rand(), Sequence()[12]);
}

TEST_F(WanderingSprites, FishTurnAtTheEdges) {
    DS_FishConstructor d;
    d.image = Picture(20, 10);
    d.size.value = 20;  // 20 x 10
    SetArea(d, 0.25f, 0.75f, 0.25f, 0.75f);  // 160..480 x 120..360
    DS_SpriteRecord s;
    s.Init(d);
    struct Case {
        float x, y, vx, vy;
        float vxAfter, vyAfter, hwAfter;
    };
    const std::vector<Case> cases = {
        {149, 200, -10, 0, 10, 0, 10},    // wholly left: turns right, unmirrored
        {491, 200, 10, 0, -10, 0, -10},   // wholly right: turns left, mirrored
        {300, 124, 5, -7, 5, 7, 10},      // the top edge crossed by the sprite's edge, not its centre
        {300, 356, 5, 7, 5, -7, 10},      // the bottom edge likewise
        {300, 200, -5, 7, -5, 7, -10},    // inside: unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        s.position = D3DXVECTOR3(c.x, c.y, 0);
        s.velocity = D3DXVECTOR3(c.vx, c.vy, 0);
        s.halfWidth = c.vx < 0 ? -10.0f : 10.0f;
        d.step = 0.0f;
        d.UpdateSprite(s);
        EXPECT_FLOAT_EQ(s.velocity.x, c.vxAfter);
        EXPECT_FLOAT_EQ(s.velocity.y, c.vyAfter);
        EXPECT_FLOAT_EQ(s.halfWidth, c.hwAfter);
    }
}

TEST_F(WanderingSprites, FishWanderOncePerSceneSecondAtAnySpeed) {
    DS_FishConstructor d;
    d.image = Picture(20, 10);
    d.size.value = 20;
    d.speed.value = 100;  // the clock runs twice as fast as the scene
    auto obj = Populate(d);  // draws 0..5
    DS_SpriteRecord& s = *obj->records[0];
    const float vx = -80.0f + R(2) * 160.0f, vy = -50.0f + R(3) * 100.0f;
    SkipTo(10, 6);  // the decision takes draw 10, odd
    for (float t : {0.2f, 0.4f, 0.6f, 0.8f, 1.0f}) obj->FrameMove(t);
    EXPECT_FLOAT_EQ(s.timer, 0.0f);  // 1.0 scene seconds is not more than 1
    EXPECT_FLOAT_EQ(s.velocity.x, vx);
    EXPECT_NEAR(s.position.x, R(4) * 640.0f + 2.0f * vx, 1e-3);  // clock 2.0
    EXPECT_NEAR(s.position.y, R(5) * 480.0f + 2.0f * vy, 1e-3);
    obj->FrameMove(1.2f);
    EXPECT_FLOAT_EQ(s.timer, 1.2f);  // scene seconds, while the clock stands at 2.4
    EXPECT_FLOAT_EQ(obj->props->clock, 2.4f);
    ASSERT_TRUE(Odd(10));
    EXPECT_FLOAT_EQ(s.velocity.x, std::copysign(-80.0f + R(11) * 160.0f, vx));
    EXPECT_FLOAT_EQ(s.velocity.y, -50.0f + R(12) * 100.0f);
}

TEST_F(WanderingSprites, BirdSlowBandRule) {
    DS_BirdConstructor d;  // ranges 80 and 50: slow below 56 and 35
    d.image = Picture(20, 10);
    d.size.value = 20;
    struct Case {
        const char* name;
        float y, vx, vy;
        float vxAfter, vyAfter;
        int draws;
    };
    const std::vector<Case> cases = {
        {"fast", 200, 60, 40, 60, 40, 0},
        {"slow down", 200, 60, 10, 60, 35.0f + 10.0f * 0.3f / 0.7f, 0},
        {"slow up turns down", 200, 60, -10, 60, 35.0f + -10.0f * 0.3f / 0.7f, 0},
        // Bounced off the bottom to -20, then sent down again by the band.
        {"bottom bounce defeated", 476, 60, 20, 60, 35.0f + -20.0f * 0.3f / 0.7f, 0},
        {"slow left", 200, -20, 40, -(56.0f + R(0) * 0.3f * 80.0f), 40, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        crt::ResetRandForTests();
        DS_SpriteRecord s;
        s.Init(d);  // one draw
        crt::ResetRandForTests();
        s.position = D3DXVECTOR3(300, c.y, 0);
        s.velocity = D3DXVECTOR3(c.vx, c.vy, 0);
        d.step = 0.0f;
        d.UpdateSprite(s);
        EXPECT_FLOAT_EQ(s.velocity.x, c.vxAfter);
        EXPECT_FLOAT_EQ(s.velocity.y, c.vyAfter);
        EXPECT_EQ(crt::rand(), Sequence()[static_cast<size_t>(c.draws)]);
    }
    // With rangeY 0 no speed is below the band: a bird never moves vertically.
    d.rangeY = 0.0f;
    DS_SpriteRecord flat;
    flat.Init(d);
    flat.position = D3DXVECTOR3(300, 200, 0);
    flat.velocity = D3DXVECTOR3(60, 0, 0);
    d.UpdateSprite(flat);
    EXPECT_FLOAT_EQ(flat.velocity.y, 0.0f);
}

TEST_F(WanderingSprites, GhostPulsesAndRespawnsAtTheBottom) {
    DS_GhostConstructor d;
    d.image = Picture(20, 20);
    d.size.value = 20;
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    // Draws: size, sign (odd: -0.66), x and y velocity, x and y, phase.
    ASSERT_TRUE(Odd(1));
    EXPECT_FLOAT_EQ(s.pulseSpeed, -0.66f);
    EXPECT_FLOAT_EQ(s.alphaPhase, R(6));
    obj->FrameMove(0.1f);
    const float phase = R(6) + 0.1f * -0.66f;
    EXPECT_FLOAT_EQ(s.alphaPhase, phase);
    EXPECT_EQ(s.color >> 24, static_cast<D3DCOLOR>(127.0f * phase));  // transparency 50: 127

    s.alphaPhase = 0.01f;
    obj->FrameMove(0.2f);  // below 0: a new spawn (draws 7..11), then the phase is clamped
    EXPECT_FLOAT_EQ(s.position.x, R(9) * 640.0f);
    EXPECT_FLOAT_EQ(s.position.y, R(10) * 480.0f);
    EXPECT_FLOAT_EQ(s.alphaPhase, 0.0f);
    EXPECT_FLOAT_EQ(s.pulseSpeed, 0.66f);
    EXPECT_EQ(s.color >> 24, 0u);
}

TEST_F(WanderingSprites, FogDriftsSpinsPerFrameAndBouncesOnItsCentre) {
    DS_FogConstructor d;
    d.image = Picture(100, 50);
    d.size.value = 100;
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    // Draws: size, sign, point x, y, velocity x, y, phase, spin.
    EXPECT_FLOAT_EQ(s.position.x, R(2) * 640.0f);
    EXPECT_FLOAT_EQ(s.velocity.x, -40.0f + R(4) * 80.0f);
    EXPECT_FLOAT_EQ(s.velocity.y, -40.0f + R(5) * 80.0f);
    EXPECT_FLOAT_EQ(s.alphaPhase, R(6));
    const float spin = R(7) * 0.008f - 0.004f;
    // Turned once per frame whatever the frame's length.
    obj->FrameMove(0.01f);
    obj->FrameMove(0.2f);
    EXPECT_NEAR(s.right.x, std::cos(2.0f * spin), 1e-6);
    EXPECT_NEAR(s.right.y, std::sin(2.0f * spin), 1e-6);
    EXPECT_NEAR(s.up.x, -std::sin(2.0f * spin), 1e-6);

    // Half outside with the centre inside: no bounce.  Centre outside: bounce.
    d.step = 0.0f;
    DS_SpriteRecord f;
    f.Init(d);
    f.position = D3DXVECTOR3(10, 200, 0);
    f.velocity = D3DXVECTOR3(-5, 0, 0);
    f.alphaPhase = 0.1f;  // below the minimum 0.2: clamped, no respawn, no draw
    crt::ResetRandForTests();
    d.UpdateSprite(f);
    EXPECT_EQ(crt::rand(), Sequence()[0]);
    EXPECT_FLOAT_EQ(f.velocity.x, -5.0f);
    EXPECT_FLOAT_EQ(f.alphaPhase, 0.2f);
    f.position.x = -1.0f;
    d.UpdateSprite(f);
    EXPECT_FLOAT_EQ(f.velocity.x, 5.0f);
}

TEST_F(WanderingSprites, SparklesAreSquareAndGrowWithTheirAlpha) {
    DS_SparkleConstructor d;
    d.image = Picture(64, 16);  // the aspect is ignored
    d.size.value = 40;
    d.pulseSpeed = 1.0f;
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    const float vx = R(2) * 50.0f - 25.0f, vy = R(3) * 50.0f - 25.0f;
    EXPECT_FLOAT_EQ(s.velocity.x, vx);
    EXPECT_FLOAT_EQ(s.velocity.y, vy);
    EXPECT_FLOAT_EQ(s.position.x, R(4) * 640.0f);
    EXPECT_FLOAT_EQ(s.alphaPhase, R(6));
    obj->FrameMove(0.1f);
    const float phase = R(6) + 0.1f * (Odd(1) ? -1.0f : 1.0f);
    EXPECT_FLOAT_EQ(s.alphaPhase, phase);
    EXPECT_FLOAT_EQ(s.halfWidth, 20.0f * 0.5f * (1.0f + phase));
    EXPECT_FLOAT_EQ(s.halfHeight, 20.0f * 0.5f * (1.0f + phase));
    EXPECT_NEAR(s.position.x, R(4) * 640.0f + 0.1f * vx, 1e-3);
}

TEST_F(WanderingSprites, RayLeanAndPlacement) {
    struct Case {
        UINT angle;
        float lean;  // up.x
    };
    const std::vector<Case> cases = {
        {80, static_cast<float>(1.0 / std::tan(100.0 * 3.14159265358979 / 180.0))},  // leaning by 10 degrees
        {90, 0.0f},
        {270, 0.0f},
        {100, static_cast<float>(1.0 / std::tan(80.0 * 3.14159265358979 / 180.0))},
        {0, ds_sprite::kMaxShear},    // flat: the lean is kept finite
        {180, ds_sprite::kMaxShear},
        {360, ds_sprite::kMaxShear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        crt::ResetRandForTests();
        DS_GodRayConstructor d;
        d.angle.value = c.angle;
        d.size.value = 30;
        SetArea(d, 0.0f, 1.0f, 0.5f, 1.0f);  // a band from 240 to 480
        auto obj = Populate(d);
        const DS_SpriteRecord& s = *obj->records[0];
        EXPECT_NEAR(std::fabs(s.up.x), std::fabs(c.lean), 1e-4);
        if (std::fabs(c.lean) > 1.0f) {
            EXPECT_EQ(std::signbit(s.up.x), std::signbit(c.lean));
        }
        EXPECT_FLOAT_EQ(s.up.y, 1.0f);
        EXPECT_FLOAT_EQ(s.halfWidth, 15.0f);   // size / 2
        EXPECT_FLOAT_EQ(s.halfHeight, 240.0f); // the picture's whole height
        EXPECT_FLOAT_EQ(s.position.x, R(2) * 640.0f);
        EXPECT_FLOAT_EQ(s.position.y, 120.0f);  // half the band's height, above the band
        EXPECT_FLOAT_EQ(s.velocity.x, R(3) * 20.0f - 10.0f);
        EXPECT_FLOAT_EQ(s.alphaPhase, R(4));
    }
}

TEST_F(WanderingSprites, LightningStrikesFadesAndIgnoresThePulse) {
    auto run = [&](float pulseSpeed, float pulseMin) {
        crt::ResetRandForTests();
        DS_LightingConstructor d;
        d.image = Picture(40, 80);
        d.size.value = 80;  // 40 x 80
        d.pulseSpeed = pulseSpeed;
        d.pulseMin = pulseMin;
        auto obj = Populate(d);
        std::vector<float> phases;
        DS_SpriteRecord& s = *obj->records[0];
        EXPECT_FLOAT_EQ(s.alphaPhase, 0.0f);  // dark
        // Inset by the half extents 20 and 40.
        EXPECT_FLOAT_EQ(s.position.x, 20.0f + R(2) * 600.0f);
        EXPECT_FLOAT_EQ(s.position.y, 40.0f + R(3) * 400.0f);
        const float tilt = R(4) * 0.7853982f - 0.3926991f;
        const float flip = Odd(5) ? -1.0f : 1.0f;
        EXPECT_NEAR(s.right.x, flip * std::cos(tilt), 1e-6);
        EXPECT_NEAR(s.up.y, std::cos(tilt), 1e-6);
        SkipTo(10, 6);  // the first dark decision takes draw 10 (odd): a strike
        float t = 0.0f;
        for (int i = 0; i < 12; ++i) {
            t += 0.125f;  // clock steps of exactly 0.125
            obj->FrameMove(t);
            phases.push_back(s.alphaPhase);
        }
        // The strike put the bolt somewhere else (draws 11 and 12), turned by
        // draw 13 and mirrored by draw 14; the flashes after it leave it there.
        EXPECT_FLOAT_EQ(s.position.x, 20.0f + R(11) * 600.0f);
        EXPECT_FLOAT_EQ(s.position.y, 40.0f + R(12) * 400.0f);
        const float struckTilt = R(13) * 0.7853982f - 0.3926991f;
        const float struckFlip = Odd(14) ? -1.0f : 1.0f;
        EXPECT_NEAR(s.right.x, struckFlip * std::cos(struckTilt), 1e-6);
        EXPECT_NEAR(s.right.y, struckFlip * std::sin(struckTilt), 1e-6);
        EXPECT_NEAR(s.up.x, -std::sin(struckTilt), 1e-6);
        return phases;
    };
    const std::vector<float> phases = run(0.0f, 0.0f);
    // Clock 1.125: struck (respawn draws 11..14), lit.  Then fading by 0.75
    // a frame; every lit decision (draws 15 and 16, both odd) flashes again.
    ASSERT_TRUE(Odd(10) && Odd(15) && Odd(16));
    const std::vector<float> expected = {0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0.25f, 1.0f, 0.25f};
    EXPECT_EQ(phases, expected);
    EXPECT_EQ(run(3.0f, 0.5f), phases);  // the pulse fields change nothing
}

TEST_F(WanderingSprites, GrassSwaysAboutItsRootOnTheBottomEdge) {
    DS_GrassConstructor d;
    d.image = Picture(10, 80);
    d.size.value = 80;  // 10 x 80
    d.amplitude = 20.0f;
    SetArea(d, 0.0f, 1.0f, 0.0f, 0.5f);  // the bottom edge at 240
    auto obj = Populate(d);
    DS_SpriteRecord& s = *obj->records[0];
    const float root = R(2) * 640.0f;
    EXPECT_FLOAT_EQ(s.position.x, root);
    EXPECT_FLOAT_EQ(s.position.y, 200.0f);
    EXPECT_FLOAT_EQ(s.velocity.z, root);
    EXPECT_FLOAT_EQ(s.velocity.y, R(3) * 1.5707964f);
    EXPECT_FLOAT_EQ(s.right.x, Odd(4) ? -1.0f : 1.0f);
    float x = root;
    for (float t : {0.1f, 0.2f, 0.3f}) {
        obj->FrameMove(t);
        const double a = std::sin(t + R(3) * 1.5707964 + 2.0 * 3.14159265358979 * x / 640.0);
        const double lean = 1.0 / std::tan((180.0 - (a * 20.0 + 90.0)) * 3.14159265358979 / 180.0);
        SCOPED_TRACE(t);
        EXPECT_NEAR(s.up.x, lean, 1e-3);
        EXPECT_NEAR(s.position.x, root - 40.0 * lean, 2e-2);
        EXPECT_NEAR(s.position.x + s.halfHeight * s.up.x, root, 1e-3);  // the root stays
        x = s.position.x;
    }
    // Amplitude 0: upright and still.  A picture of no width: defined.
    auto* copy = static_cast<DS_GrassConstructor*>(obj->props);
    copy->amplitude = 0.0f;
    state_.mapping.logicalWidth = 0;
    obj->FrameMove(0.4f);
    EXPECT_NEAR(s.up.x, 0.0f, 1e-6);
    EXPECT_NEAR(s.position.x, root, 1e-3);
    EXPECT_TRUE(std::isfinite(s.position.x));
}

// The places come from the runtime generator alone: a population made after
// another one of its kind has run, with the generator restarted, spawns at
// the places its draws give and ends where the first one ended, and the
// frames between do move its sprites.
TEST_F(WanderingSprites, TheSameSeedPlacesEverySpriteIdentically) {
    struct Run {
        std::vector<D3DXVECTOR3> spawned, moved;
    };
    auto run = [&](DS_BaseSpriteProp& d) {
        crt::ResetRandForTests();
        auto obj = Populate(d);
        Run out;
        for (auto* r : obj->records) out.spawned.push_back(r->position);
        // Steps of 0.2 (the cap) to clock 1.6: past a dark bolt's first second.
        for (float t = 0.2f; t < 1.7f; t += 0.2f) obj->FrameMove(t);
        for (auto* r : obj->records) out.moved.push_back(r->position);
        return out;
    };
    DS_GhostConstructor ghosts;
    DS_FogConstructor fog;
    DS_LightingConstructor bolts;
    struct Case {
        const char* name;
        DS_BaseSpriteProp* d;
        int drawsPerSprite, xDraw;  // the draws a spawn takes; which of them is x (y follows)
        float inset;                // half extents the point keeps off the edges
    };
    const Case cases[] = {
        {"ghosts", &ghosts, 7, 4, 0.0f},  // size, sign, x and y velocity, x, y, phase
        {"fog", &fog, 8, 2, 0.0f},        // size, sign, x, y, x and y velocity, phase, spin
        {"bolts", &bolts, 6, 2, 10.0f},   // size, sign, x, y, tilt, flip
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.d->image = Picture(20, 20);
        c.d->size.value = 20;
        c.d->count.value = 50;
        const Run first = run(*c.d);
        const Run second = run(*c.d);
        ASSERT_EQ(second.spawned.size(), 50u);
        for (int k = 0; k < 2; ++k) {
            const int x = c.drawsPerSprite * k + c.xDraw;
            EXPECT_FLOAT_EQ(second.spawned[k].x, c.inset + R(x) * (640.0f - 2.0f * c.inset));
            EXPECT_FLOAT_EQ(second.spawned[k].y, c.inset + R(x + 1) * (480.0f - 2.0f * c.inset));
        }
        EXPECT_EQ(second.moved, first.moved);
        EXPECT_NE(second.moved, second.spawned);
    }
}
