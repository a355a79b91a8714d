// What the sprite tests share: a 640 x 480 logical picture, the runtime
// generator from its start, a current resource manager holding pictures of
// chosen sizes, records written through the writing archive, and the runtime
// sequence itself for working out expected values by hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "document/archive_writer.h"
#include "document/load_error.h"
#include "document/res_manager.h"
#include "platform/crt/rand.h"
#include "scene/sprites/base_sprite_prop.h"
#include "scene/sprites/sprite_array_obj.h"
#include "scene/view_2d.h"

namespace sprite_test {

// The runtime generator's first draws from seed 1.
inline const std::vector<int>& Sequence() {
    static const std::vector<int> s = {41,    18467, 6334,  26500, 19169, 15724, 11478, 29358, 26962, 24464,
                                       5705,  28145, 23281, 16827, 9961,  491,   2995,  11942, 4827,  5436,
                                       32391, 14604, 3902,  153,   292,   12382, 17421, 18716, 19718, 19895,
                                       5447,  21726, 14771, 11538, 1869,  19912, 25667, 26299, 17035, 9894};
    return s;
}
// r of draw i (0-based).
inline float R(int i) { return static_cast<float>(Sequence()[static_cast<size_t>(i)]) / 32767.0f; }
inline bool Odd(int i) { return (Sequence()[static_cast<size_t>(i)] & 1) != 0; }

template <class F>
std::vector<BYTE> Bytes(F&& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

inline void WriteViewRecord(DS_IOF_W& w, UINT speed) {
    WriteRecordHeader(w, u"DS_ViewObjCtrl", 2);
    for (INT v : {10, 20, 30, 40, 5, 6}) w.WriteInt(v);
    for (float f : {0.0f, 1.0f, 0.25f, 0.75f}) w.WriteFloat(f);
    w.WriteBool(false);
    w.WriteUInt(speed);
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(u"sprites");
}

inline DS_ResFileData Frame(const std::u16string& path, INT id = 0) {
    DS_ResFileData r;
    r.resourceId = id;
    r.module = id ? u"common_res.dll" : u"";
    r.path = path;
    const BYTE b[3] = {1, 2, 3};
    r.SetBytes(3, b);
    return r;
}

// A "DS_BaseSpriteProp" record of `version` with distinct values in every
// field that version carries.
inline void WriteSpriteRecord(DS_IOF_W& w, INT version, std::vector<DS_ResFileData> frames = {Frame(u"a.tga"), Frame(u"b.tga")},
                       DS_ResFileData maskFile = Frame(u"m.tga", 9), INT additive = 1) {
    WriteRecordHeader(w, u"DS_BaseSpriteProp", version);
    WriteViewRecord(w, 77);
    w.WriteUInt(12);  // count
    if (version <= 2) w.WriteUInt(88);  // the clock's speed, in the old place
    w.WriteUInt(40);  // size
    w.WriteUInt(50);  // transparency
    w.WriteInt(additive);
    w.WriteInt(0x00332211);
    for (float f : {0.5f, 0.1f, 0.9f, 0.75f, 1.25f}) w.WriteFloat(f);
    if (version <= 1) {
        w.WriteInt(static_cast<INT>(frames.size()));
        for (const auto& f : frames) w.WriteResFile(f);
        w.WriteResFile(maskFile);
    } else {
        w.WriteString(u"C:\\sprites\\fish.tga");
        w.WriteInt64(111);
        w.WriteString(u"C:\\sprites\\mask.tga");
        w.WriteInt64(222);
    }
    w.WriteUInt(3);       // spare count
    w.WriteFloat(2.5f);   // spare rate
    w.WriteUInt(4);       // sheet frames
    w.WriteFloat(8.0f);   // sheet rate
    w.WriteBool(true);
    if (version <= 1) {
        w.WriteInt(2);
        w.WriteFloat(0.25f);
        w.WriteFloat(0.5f);
        return;
    }
    if (version >= 4) w.WriteInt(1);
    if (version >= 5) {
        w.WriteInt(1);
        w.WriteInt(1);
    }
    if (version >= 6) w.WriteInt(1);
}

class SpriteTest : public ::testing::Test {
protected:
    static constexpr int kW = 640, kH = 480;

    void SetUp() override {
        state_.mapping.logicalWidth = kW;
        state_.mapping.logicalHeight = kH;
        DS_SetCurrentViewState(&state_);
        manager_ = std::make_unique<DS_DocResManager>();
        SetCurrentDocResManager(manager_.get());
        crt::ResetRandForTests();
    }
    void TearDown() override {
        SetCurrentDocResManager(nullptr);
        manager_.reset();
        DS_SetCurrentViewState(nullptr);
        crt::ResetRandForTests();
    }

    // A picture link the manager resolves to one frame (without a texture)
    // of width x height, with the given frame delays.
    DS_ImageFileLink Picture(UINT width, UINT height, const std::vector<float>& delays = {}) {
        DS_ImageFileLink link(DS_LinkKey{u"C:\\pictures\\p" + std::u16string(1, u'a' + pictures_++) + u".tga", 7});
        DS_ImageSet& set = manager_->Tables().imageCache[link.key];
        DS_TextureInfo info;
        info.SetSize(width, height);
        set.AddFrame(info);
        set.SetFrameValues(delays);
        return link;
    }

    // The area as fractions of the picture; the pixel edges follow.
    static void SetArea(DS_ViewObjCtrl& d, float l, float r, float t, float b) {
        d.leftFraction = l;
        d.rightFraction = r;
        d.topFraction = t;
        d.bottomFraction = b;
        d.SyncPixelsFromFractions();
    }

    DS_ViewState state_;
    std::unique_ptr<DS_DocResManager> manager_;
    int pictures_ = 0;
};

// A run-time population of a copy of `prototype`.
inline std::unique_ptr<DS_SpriteArrayObj> Populate(DS_BaseSpriteProp& prototype) {
    return std::unique_ptr<DS_SpriteArrayObj>(static_cast<DS_SpriteArrayObj*>(prototype.CreateObject()));
}

// A whole description record read through the registry by its class name;
// every byte must be consumed.
inline std::unique_ptr<DS_ABObj_Constructor> ReadDescription(const std::vector<BYTE>& bytes) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_ABObj_Constructor> d(ReadConstructorByClassName(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    return d;
}

// Every strict prefix of a record fails with the load error (and leaks
// nothing of what was read so far).
inline void ExpectEveryPrefixFails(const std::vector<BYTE>& bytes) {
    for (size_t n = 0; n < bytes.size(); ++n) {
        ResourceBuffer cut(bytes.data(), n);
        DS_DocumentReader reader(&cut);
        EXPECT_THROW(delete ReadConstructorByClassName(reader), DS_LoadError) << n << " of " << bytes.size();
    }
}

}  // namespace sprite_test
