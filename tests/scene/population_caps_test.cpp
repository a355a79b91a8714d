// Hostile counts and sizes in object records: every population is made with
// no more members than a frame can show, the reduction is said once on
// stderr per count kind, and one slide's populations share one budget.
//
// The records are written field by field in the document's own layout (the
// scene builder refuses some of these values), then read through the
// description registry as the saver reads them.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "document/archive_writer.h"
#include "document/doc_loader.h"
#include "platform/crt/rand.h"
#include "scene/objects3d/butterfly.h"
#include "scene/objects3d/clock.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/objects3d/object_3d.h"
#include "scene/population_budget.h"
#include "scene/slide.h"
#include "scene/sprites/sprite_array_obj.h"
#include "scene/view_2d.h"

namespace {

constexpr UINT kHuge = 0xFFFFFFFFu;

std::vector<BYTE> Bytes(const std::function<void(DS_IOF_W&)>& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

void WriteKey(DS_IOF_W& w, const std::u16string& path, INT64 stamp) {
    w.WriteString(path);
    w.WriteInt64(stamp);
}

// "DS_ViewObjCtrl" v2 over the whole picture, then "DS_ABObj_Constructor" v1.
void WriteViewRecord(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_ViewObjCtrl", 2);
    for (INT v : {0, 640, 0, 480, 320, 240}) w.WriteInt(v);
    for (float f : {0.0f, 1.0f, 0.0f, 1.0f}) w.WriteFloat(f);
    w.WriteBool(false);
    w.WriteUInt(50);  // speed
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(u"hostile");
}

// A sparkle population: the kind's header, then "DS_BaseSpriteProp" v6.
std::vector<BYTE> SpriteRecord(UINT count, UINT size, float sizeMax, float pulseMax = 1.0f, UINT sheetFrames = 1,
                               bool sheetOn = false) {
    return Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_SparkleConstructor", 1);
        WriteRecordHeader(w, u"DS_BaseSpriteProp", 6);
        WriteViewRecord(w);
        w.WriteUInt(count);
        w.WriteUInt(size);
        w.WriteUInt(0);  // transparency
        w.WriteInt(0);   // additive
        w.WriteInt(0x00FFFFFF);
        for (float f : {0.0f, 0.0f, pulseMax, 1.0f, sizeMax}) w.WriteFloat(f);
        WriteKey(w, u"", 0);  // image
        WriteKey(w, u"", 0);  // mask
        w.WriteUInt(1);
        w.WriteFloat(0.0f);
        w.WriteUInt(sheetFrames);
        w.WriteFloat(0.0f);
        w.WriteBool(sheetOn);
        w.WriteInt(0);  // image-set mode
        w.WriteInt(0);
        w.WriteInt(0);
        w.WriteInt(0);
    });
}

// "DS_3D_Obj_Ctrl" v1: count, size, texture and mesh links, the view record.
void Write3DRecord(DS_IOF_W& w, UINT count, UINT size) {
    WriteRecordHeader(w, u"DS_3D_Obj_Ctrl", 1);
    w.WriteUInt(count);
    w.WriteUInt(size);
    WriteKey(w, u"", 0);
    WriteKey(w, u"", 0);
    WriteViewRecord(w);
}

std::vector<BYTE> ButterflyRecord(UINT count, UINT size) {
    return Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_ButterflyConstructor", 2);
        WriteKey(w, u"", 0);
        WriteKey(w, u"", 0);
        w.WriteUInt(50);
        w.WriteUInt(50);
        w.WriteFloat(1.0f);
        Write3DRecord(w, count, size);
    });
}

std::vector<BYTE> ClockRecord(UINT count, UINT size, INT x, INT y) {
    return Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_ClockConstructor", 1);
        for (INT v : {0, 0, 0, 0, x, y}) w.WriteInt(v);
        WriteKey(w, u"", 0);
        Write3DRecord(w, count, size);
    });
}

std::vector<BYTE> PiecesRecord(UINT count, UINT size) {
    return Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_3D_in_2D_array_Constructor", 1);
        w.WriteString(u"leaves");
        w.WriteUInt(count);
        w.WriteResFile(DS_ResFileData());
        w.WriteResFile(DS_ResFileData());
        for (UINT v : {size, 50u, 0u, 0u, 100u, 0u}) w.WriteUInt(v);
        WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
        w.WriteString(u"leaves");
    });
}

std::unique_ptr<DS_ABObj_Constructor> Read(const std::vector<BYTE>& bytes) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_ABObj_Constructor> d(ReadConstructorByClassName(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    return d;
}

// The members the run-time object keeps.
size_t Members(DS_ABObj& object) {
    if (auto* s = dynamic_cast<DS_SpriteArrayObj*>(&object)) return s->records.size();
    if (auto* g = dynamic_cast<DS_3DObjArray*>(&object)) return g->instances.size();
    if (auto* p = dynamic_cast<DS_3D_in_2D_array*>(&object)) return p->meshFrame.children.size();
    return 0;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class PopulationCaps : public ::testing::Test {
protected:
    void SetUp() override {
        state_.mapping.logicalWidth = 640;
        state_.mapping.logicalHeight = 480;
        DS_SetCurrentViewState(&state_);
        crt::ResetRandForTests();
        DS_ResetCountReductionNotes();
    }
    void TearDown() override {
        DS_ResetCountReductionNotes();
        crt::ResetRandForTests();
        DS_SetCurrentViewState(nullptr);
    }

    DS_ViewState state_;
};

// Members of a 640 x 480 picture (307,200 logical pixels) that a whole
// budget of 8 screen-fulls of cover, 4,096 sprite quads and 200 draw calls
// lets one population keep, with 32 3D instances and 96 pieces at most,
// worked out from the caps at the top of each file.
TEST_F(PopulationCaps, HostileCountsAreClampedAndSaidOnce) {
    struct Case {
        const char* name;
        std::vector<BYTE> record;
        size_t members;
        const char* note;  // the count kind named on stderr, or null
    };
    const Case cases[] = {
        // 40 px: 1,600 / 307,200 of a screen each; 8 x 192 = 1,536 fit.
        {"sprites 2^32-1 of 40 px", SpriteRecord(kHuge, 40, 1.0f), 1536, "sprite count"},
        // Small sprites: the quads run out first.
        {"sprites 2^32-1 of 2 px", SpriteRecord(kHuge, 2, 1.0f), 4096, "sprite count"},
        // 420 px smoke at size factor 1: 176,400 / 307,200 = 0.574 each: 13.
        {"sprites 16,384 of 420 px", SpriteRecord(16384, 420, 1.0f), 13, "sprite count"},
        // A size factor of 100 makes every 40 px sprite cover the picture: 8.
        {"sprites 1,000 of 40 px x 100", SpriteRecord(1000, 40, 100.0f), 8, "sprite count"},
        // A sparkle grows to (1 + pulseMax) / 2 of its size: 40 px x 5.5 = 220
        // px, 48,400 / 307,200 a screen: 50 fit.
        {"sparkles 1,000 pulsing to 10", SpriteRecord(1000, 40, 1.0f, 10.0f), 50, "sprite count"},
        {"sprites 500 of 40 px", SpriteRecord(500, 40, 1.0f), 500, nullptr},
        // No meshes here (radius 0): 200 / 6 draws would allow 33; the cap is 32.
        {"butterflies 65,536", ButterflyRecord(65536, 100), 32, "3D object count"},
        {"clocks 2^32-1", ClockRecord(kHuge, 400, 10, 10), 32, "3D object count"},
        {"butterflies 30", ButterflyRecord(30, 100), 30, nullptr},
        // Pieces of no size: 200 / 2 draws would allow 100; the cap is 96
        // (a count the loop could make without the cap first, then the largest).
        {"pieces 1,000 of 0 px", PiecesRecord(1000, 0), 96, "falling piece count"},
        {"pieces 2^32-1 of 0 px", PiecesRecord(kHuge, 0), 96, "falling piece count"},
        // Pieces as large as the picture: two passes of a screen each: 4.
        {"pieces 2^32-1 of 2^32-1 px", PiecesRecord(kHuge, kHuge), 4, "falling piece count"},
        {"pieces 50 of 40 px", PiecesRecord(50, 40), 50, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DS_ResetCountReductionNotes();
        ::testing::internal::CaptureStderr();
        // Made twice: the second population is reduced the same way and
        // nothing more is said.
        for (int i = 0; i < 2; ++i) {
            std::unique_ptr<DS_ABObj_Constructor> d = Read(c.record);
            ASSERT_NE(d, nullptr);
            std::unique_ptr<DS_ABObj> object(d->CreateObject());
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(Members(*object), c.members);
        }
        const std::string said = ::testing::internal::GetCapturedStderr();
        if (c.note) {
            EXPECT_EQ(Occurrences(said, "tessaloom: the document's " + std::string(c.note) + " ("), 1u) << said;
        } else {
            EXPECT_EQ(said, "");
        }
    }
}

// A count raised through its parameter after the load (a binding's change)
// is held to the cap too: the group never makes more than the cap's members.
TEST_F(PopulationCaps, ACountRaisedAfterTheLoadStaysAtTheCap) {
    std::unique_ptr<DS_ABObj_Constructor> d = Read(ClockRecord(1, 400, 10, 10));
    std::unique_ptr<DS_ABObj> object(d->CreateObject());
    auto& group = static_cast<DS_3DObjArray&>(*object);
    ASSERT_EQ(group.instances.size(), 1u);
    group.description->count.SetValue(1000);
    EXPECT_EQ(group.instances.size(), 32u);
    group.description->count.SetValue(3);
    EXPECT_EQ(group.instances.size(), 3u);
}

// One slide's populations share the budget in the slide's order: the first
// takes what it asks within the budget, the next what is left, and none is
// left out.
TEST_F(PopulationCaps, ASlidesPopulationsShareOneBudget) {
    ::testing::internal::CaptureStderr();
    DS_SlideContainer slide;
    // 5 screen-fulls, then sprites of 40 px that want more than the 3 left.
    slide.prototypes.push_back(Read(SpriteRecord(5, 1000, 1.0f)).release());
    slide.prototypes.push_back(Read(SpriteRecord(kHuge, 40, 1.0f)).release());
    // Nothing left of the cover: one piece as large as the picture (2 draws).
    slide.prototypes.push_back(Read(PiecesRecord(10, kHuge)).release());
    // Butterflies without meshes cover nothing: 32, 192 draws.
    slide.prototypes.push_back(Read(ButterflyRecord(65536, 100)).release());
    // Pieces of no size: the 6 draws left make 3.
    slide.prototypes.push_back(Read(PiecesRecord(kHuge, 0)).release());
    slide.Init();
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(slide.instances.size(), 5u);
    auto it = slide.instances.begin();
    EXPECT_EQ(Members(**it++), 5u);
    // 3 screen-fulls left: 3 x 192.
    EXPECT_EQ(Members(**it++), 576u);
    EXPECT_EQ(Members(**it++), 1u);
    EXPECT_EQ(Members(**it++), 32u);
    EXPECT_EQ(Members(**it++), 3u);

    // A population made outside any slide has a whole budget of its own again.
    std::unique_ptr<DS_ABObj_Constructor> d = Read(SpriteRecord(kHuge, 40, 1.0f));
    std::unique_ptr<DS_ABObj> alone(d->CreateObject());
    EXPECT_EQ(Members(*alone), 1536u);
}

// A sprite sheet switched on with 0 frames is shown as one frame: the sprite
// keeps the picture's proportions instead of losing its height.
TEST_F(PopulationCaps, ASheetOfNoFramesIsOneFrame) {
    std::unique_ptr<DS_ABObj_Constructor> d = Read(SpriteRecord(1, 40, 1.0f, 1.0f, 0, true));
    auto* sprites = dynamic_cast<DS_BaseSpriteProp*>(d.get());
    ASSERT_NE(sprites, nullptr);
    ASSERT_TRUE(sprites->sheetOn);
    ASSERT_EQ(sprites->sheetFrames, 0u);
    std::unique_ptr<DS_ABObj> object(d->CreateObject());
    auto& population = static_cast<DS_SpriteArrayObj&>(*object);
    ASSERT_EQ(population.records.size(), 1u);
    // Aspect 1 (no picture), size 40: a 40 x 40 sprite.
    EXPECT_FLOAT_EQ(population.records[0]->halfHeight, 20.0f);
    EXPECT_FLOAT_EQ(population.records[0]->halfWidth, 20.0f);
}

// A clock at the ends of the int range: its edges stop at the range's ends
// instead of wrapping round (the sanitizer build stops at an overflow).
TEST_F(PopulationCaps, ClockEdgesSaturate) {
    struct Case {
        INT x, y;
        UINT size;
        INT left, right, top, bottom;
    };
    constexpr INT kMin = std::numeric_limits<INT>::min(), kMax = std::numeric_limits<INT>::max();
    const Case cases[] = {
        {kMax, kMin, kHuge, kMax - 0x7FFFFFFF, kMax, kMin, kMin + 0x7FFFFFFF},
        {kMin, kMax, 400, kMin, kMin + 200, kMax - 200, kMax},
        {100, -100, kHuge, 100 - 0x7FFFFFFF, kMax, kMin, -100 + 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.size));
        std::unique_ptr<DS_ABObj_Constructor> d = Read(ClockRecord(1, c.size, c.x, c.y));
        std::unique_ptr<DS_ABObj> object(d->CreateObject());
        auto& group = static_cast<DS_3DObjArray&>(*object);
        const MediaRectangle& r = static_cast<DS_ClockConstructor&>(*group.description).clockRect;
        EXPECT_EQ(r.left.value, c.left);
        EXPECT_EQ(r.right.value, c.right);
        EXPECT_EQ(r.top.value, c.top);
        EXPECT_EQ(r.bottom.value, c.bottom);
    }
}

}  // namespace
