// What the 3D-object tests share: a screen mapping of their own with a
// logical picture size, the runtime generator and the scene time reset
// before and after each test, a record round trip through the archives, and
// record bytes laid out by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "document/archive_writer.h"
#include "document/load_error.h"
#include "platform/crt/rand.h"
#include "platform/crt/time.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/view_2d.h"

namespace objects3d_test {

inline std::vector<BYTE> Bytes(const std::function<void(DS_IOF_W&)>& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

// The description a record holds, read through the description registry.
template <class T>
std::unique_ptr<T> ReadDescription(const std::vector<BYTE>& bytes) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    std::unique_ptr<DS_ABObj_Constructor> read(ReadConstructorByClassName(reader));
    auto* typed = dynamic_cast<T*>(read.get());
    if (!typed) return nullptr;
    read.release();
    return std::unique_ptr<T>(typed);
}

// Every strict prefix of a record fails to read with the load error, each in
// a buffer of exactly its size (the sanitizer build catches an over-read).
inline void ExpectEveryPrefixFails(const std::vector<BYTE>& bytes) {
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::unique_ptr<BYTE[]> exact(new BYTE[n ? n : 1]);
        if (n) std::memcpy(exact.get(), bytes.data(), n);
        ResourceBuffer buffer(exact.get(), n);
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        try {
            std::unique_ptr<DS_ABObj_Constructor> read(ReadConstructorByClassName(reader));
            ADD_FAILURE() << "prefix " << n << " of " << bytes.size() << " read without error";
        } catch (const DS_LoadError&) {
        }
    }
}

// Record bytes laid out value by value in the document's own encoding
// (little-endian, strings as FF FE FF, a length byte and UTF-16 units), for
// fixtures that must not depend on the writing archive.
class RecordBytes {
public:
    RecordBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<BYTE>(v >> (8 * i)));
        return *this;
    }
    RecordBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    RecordBytes& I64(int64_t v) {
        U32(static_cast<uint32_t>(static_cast<uint64_t>(v)));
        return U32(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    }
    RecordBytes& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        return U32(u);
    }
    RecordBytes& Bool(bool v) {
        bytes_.push_back(v ? 1 : 0);
        return *this;
    }
    RecordBytes& Raw(std::initializer_list<BYTE> b) {
        bytes_.insert(bytes_.end(), b);
        return *this;
    }
    // Short strings only: the one-byte length form.
    RecordBytes& Str(const std::u16string& s) {
        EXPECT_LT(s.size(), 255u);
        Raw({0xFF, 0xFE, 0xFF, static_cast<BYTE>(s.size())});
        for (char16_t c : s) Raw({static_cast<BYTE>(c & 0xFF), static_cast<BYTE>(c >> 8)});
        return *this;
    }
    RecordBytes& Header(const std::u16string& className, int32_t version) { return Str(className).I32(version); }
    RecordBytes& Link(const std::u16string& path, int64_t stamp) { return Str(path).I64(stamp); }
    // int32 id, module, u32 size, the bytes, path.
    RecordBytes& ResFile(int32_t id, const std::u16string& module, std::initializer_list<BYTE> data,
                         const std::u16string& path) {
        I32(id).Str(module).U32(static_cast<uint32_t>(data.size()));
        return Raw(data).Str(path);
    }
    // A "DS_ViewObjCtrl" record of version 2: area left, right, top, bottom,
    // x, y; the four fractions; the flag; the speed; then the
    // "DS_ABObj_Constructor" record with the name.
    RecordBytes& ViewRecord(const std::u16string& name, bool flag) {
        Header(u"DS_ViewObjCtrl", 2);
        for (int32_t v : {-11, 612, 13, 514, 215, 316}) I32(v);
        for (float f : {0.125f, 0.875f, 0.0625f, 0.9375f}) F32(f);
        Bool(flag).U32(37);
        return Header(u"DS_ABObj_Constructor", 1).Str(name);
    }

    const std::vector<BYTE>& bytes() const { return bytes_; }

private:
    std::vector<BYTE> bytes_;
};

// The values RecordBytes::ViewRecord stores.
inline void ExpectViewRecord(const DS_ViewObjCtrl& d, const std::u16string& name, bool flag) {
    EXPECT_EQ(d.area.left.value, -11);
    EXPECT_EQ(d.area.right.value, 612);
    EXPECT_EQ(d.area.top.value, 13);
    EXPECT_EQ(d.area.bottom.value, 514);
    EXPECT_EQ(d.area.x.value, 215);
    EXPECT_EQ(d.area.y.value, 316);
    EXPECT_FLOAT_EQ(d.leftFraction, 0.125f);
    EXPECT_FLOAT_EQ(d.rightFraction, 0.875f);
    EXPECT_FLOAT_EQ(d.topFraction, 0.0625f);
    EXPECT_FLOAT_EQ(d.bottomFraction, 0.9375f);
    EXPECT_EQ(d.flag, flag);
    EXPECT_EQ(d.speed.value, 37u);
    EXPECT_EQ(d.name, name);
}

class Objects3D : public ::testing::Test {
protected:
    static constexpr int kWidth = 800, kHeight = 600;

    void SetUp() override {
        DS_SetCurrentViewState(&state_);
        DS_ScreenMapping::Current().logicalWidth = kWidth;
        DS_ScreenMapping::Current().logicalHeight = kHeight;
        crt::ResetRandForTests();
        SceneTime = 0.0f;
    }
    void TearDown() override {
        crt::SetTime64ForTests(nullptr);
        crt::ResetRandForTests();
        SceneTime = 0.0f;
        DS_SetCurrentViewState(nullptr);
    }

    DS_ViewState state_;
};

// The runtime generator's sequence from start-up.
inline constexpr int kRand[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464,
                                5705, 28145, 23281, 16827, 9961, 491, 2995, 11942, 4827, 5436};
inline float R01(int i) { return static_cast<float>(kRand[i]) / 32767.0f; }

}  // namespace objects3d_test
