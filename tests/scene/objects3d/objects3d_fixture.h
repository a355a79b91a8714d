// What the 3D-object tests share: a screen mapping of their own with a
// logical picture size, the runtime generator and the scene time reset
// before and after each test, and a record round trip through the archives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
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
