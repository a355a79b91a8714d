#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "host/audio_graph.h"
#include "platform/dshow/dshow_test.h"
#include "platform/win32/strings.h"
#include "tests/support/dshow_sound_files.h"

namespace {

// Records what the graph posts and the level of the stream it mixes.
struct Recorder {
    std::mutex mutex;
    std::condition_variable posted;
    int posts = 0;
    UINT lastMessage = 0;
    std::vector<float> levels;  // first sample of every mixed block

    static Recorder& Get() {
        static Recorder r;
        return r;
    }
    static bool Post(HWND, UINT msg, WPARAM, LPARAM) {
        Recorder& r = Get();
        std::lock_guard<std::mutex> lock(r.mutex);
        ++r.posts;
        r.lastMessage = msg;
        r.posted.notify_all();
        return true;
    }
    static void Tap(void*, const float* samples, UINT frames, UINT) {
        Recorder& r = Get();
        std::lock_guard<std::mutex> lock(r.mutex);
        if (frames) r.levels.push_back(samples[0]);
    }
    bool WaitForPosts(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return posted.wait_for(lock, std::chrono::seconds(10), [&] { return posts >= count; });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        posts = 0;
        levels.clear();
    }
    std::vector<float> Levels() {
        std::lock_guard<std::mutex> lock(mutex);
        return levels;
    }
};

class AudioGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::dshow::test::SetFastClock(true);
        tessaloom::dshow::SetEventPoster(&Recorder::Post);
        tessaloom::dshow::test::SetOutputTap(&Recorder::Tap, nullptr);
        Recorder::Get().Clear();
        g_SoundVolume = 100;
        ASSERT_EQ(InitAudioGraph(reinterpret_cast<HWND>(0x1234)), 1);
    }
    void TearDown() override {
        ReleaseAudioGraph();
        tessaloom::dshow::test::SetOutputTap(nullptr, nullptr);
        tessaloom::dshow::SetEventPoster(nullptr);
        tessaloom::dshow::test::SetFastClock(false);
        EXPECT_EQ(tessaloom::dshow::test::LiveObjectCount(), 0);
    }
    std::u16string MakeSound(const std::string& name, float value) {
        const std::string path = folder_.File(name);
        EXPECT_TRUE(dshow_test::WriteConstantWav(path, 22050, 2205, value));
        return tessaloom::Utf8ToUtf16(path);
    }
    dshow_test::TempFolder folder_;
};

bool AllNear(const std::vector<float>& levels, float value) {
    for (float v : levels)
        if (std::abs(v - value) > 1e-3f) return false;
    return !levels.empty();
}

}  // namespace

TEST_F(AudioGraphTest, PlaysFilesInTurnAndReportsEachEnd) {
    Recorder& r = Recorder::Get();
    const std::u16string files[] = {MakeSound("a.wav", 0.1f), MakeSound("b.wav", 0.2f), MakeSound("c.wav", 0.3f)};
    int live = -1;
    for (int i = 0; i < 3; ++i) {
        r.Clear();
        ASSERT_TRUE(PlayAudioFile(files[i]));
        ASSERT_TRUE(r.WaitForPosts(1)) << "no end-of-sound message for file " << i;
        EXPECT_EQ(r.lastMessage, kAudioGraphMessage);
        EXPECT_EQ(GetAudioEvent(), EC_COMPLETE);
        EXPECT_TRUE(AllNear(r.Levels(), 0.1f * static_cast<float>(i + 1))) << "file " << i << " did not play alone";
        // The graph keeps one source: what lives after the second play lives after the third.
        if (i == 1) live = tessaloom::dshow::test::LiveObjectCount();
        if (i == 2) {
            EXPECT_EQ(tessaloom::dshow::test::LiveObjectCount(), live);
        }
    }
    EXPECT_EQ(GetAudioEvent(), -1);  // nothing further pending
}

TEST_F(AudioGraphTest, VolumeAndMute) {
    Recorder& r = Recorder::Get();
    const std::u16string file = MakeSound("v.wav", 0.5f);
    struct Case {
        int volume;
        bool mute;
        float gain;
    };
    // (volume - 100) * 40 hundredths of a decibel: 50 -> -2000 -> a tenth.
    const Case cases[] = {{100, false, 1.0f}, {50, false, 0.1f}, {100, true, 0.0f}, {0, true, 0.0f}};
    for (const Case& c : cases) {
        g_SoundVolume = c.volume;
        SetAudioVolume(c.mute);
        r.Clear();
        ASSERT_TRUE(PlayAudioFile(file));
        ASSERT_TRUE(r.WaitForPosts(1));
        GetAudioEvent();
        const auto levels = r.Levels();
        if (c.gain == 0.0f) {
            for (float v : levels) EXPECT_EQ(v, 0.0f);
        } else {
            EXPECT_TRUE(AllNear(levels, 0.5f * c.gain)) << "volume " << c.volume;
        }
    }
}

TEST_F(AudioGraphTest, UnplayableFileFailsAndTheNextStillPlays) {
    Recorder& r = Recorder::Get();
    dshow_test::WriteBytes(folder_.File("bad.wav"), "RIFF....not a wave");
    EXPECT_FALSE(PlayAudioFile(tessaloom::Utf8ToUtf16(folder_.File("missing.wav"))));
    EXPECT_FALSE(PlayAudioFile(tessaloom::Utf8ToUtf16(folder_.File("bad.wav"))));
    ASSERT_TRUE(PlayAudioFile(MakeSound("ok.wav", 0.25f)));
    ASSERT_TRUE(r.WaitForPosts(1));
    EXPECT_EQ(GetAudioEvent(), EC_COMPLETE);
}

TEST_F(AudioGraphTest, NothingPlaysOnceReleased) {
    const std::u16string file = MakeSound("r.wav", 0.1f);
    ReleaseAudioGraph();
    EXPECT_FALSE(AudioGraphExists());
    EXPECT_FALSE(PlayAudioFile(file));
    EXPECT_EQ(RenderAudioFile(file), 0);
    EXPECT_EQ(GetAudioEvent(), -1);
    SetAudioVolume(false);  // no graph: nothing happens
    EXPECT_EQ(Recorder::Get().posts, 0);
}
