// The synthesised music: sounds that start and end in silence (the playlist
// goes from one to the next without a click), stay within full scale and are
// not silent, for each kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tools/scene_builder/sound_builder.h"

using namespace tessaloom::scene_builder;

TEST(SoundBuilder, SoundsStartAndEndSilentWithinFullScale) {
    for (const char* kind : {"pad", "chimes"}) {
        SCOPED_TRACE(kind);
        SoundSpec spec;
        std::string error;
        ASSERT_TRUE(ParseSoundStatement({"S", kind, "5"}, spec, &error)) << error;
        EXPECT_EQ(spec.format, "ogg");
        const std::vector<float> samples = SynthesiseSound(spec);
        ASSERT_EQ(samples.size(), 2u * 5u * kSoundRate);
        float peak = 0.0f;
        for (float s : samples) peak = std::max(peak, std::abs(s));
        EXPECT_GT(peak, 0.05f);
        EXPECT_LT(peak, 1.0f);
        // The first and the last 10 ms: fading in from and out to silence.
        const size_t edge = 2 * kSoundRate / 100;
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_LT(std::abs(samples[i]), 0.01f);
            EXPECT_LT(std::abs(samples[samples.size() - 1 - i]), 0.01f);
        }
        float tail = 0.0f;
        for (size_t i = samples.size() - edge; i < samples.size(); ++i) tail = std::max(tail, std::abs(samples[i]));
        EXPECT_LT(tail, 0.1f * peak);
    }
}
