// The sound graph on real SDL audio devices: the dummy driver at real-time
// pace, the fall-back to it when no device opens, the disk driver's samples,
// and release joining the audio thread.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_test.h"
#include "platform/win32/strings.h"
#include "tests/support/dshow_sound_files.h"

namespace {

using namespace std::chrono_literals;
namespace dshow = tessaloom::dshow;

constexpr UINT kWmApp = 0x8000;
HWND const kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5678));

struct Posts {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    std::thread::id postThread;
    std::thread::id tapThread;
    size_t frames = 0;
    UINT largestBlock = 0;  // the most frames one device callback took
} g_posts;

bool RecordPost(HWND window, UINT msg, WPARAM, LPARAM) {
    std::lock_guard lock(g_posts.mutex);
    if (window == kWindow && msg == kWmApp) ++g_posts.count;
    g_posts.postThread = std::this_thread::get_id();
    g_posts.changed.notify_all();
    return true;
}

void RecordTap(void*, const float*, UINT frames, UINT) {
    std::lock_guard lock(g_posts.mutex);
    g_posts.tapThread = std::this_thread::get_id();
    g_posts.frames += frames;
    g_posts.largestBlock = std::max(g_posts.largestBlock, frames);
}

// Threads of this process, as the kernel lists them.
int ThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// The thread count once it has come down to `expected`, or what it still is
// after two seconds.  A joined thread can stay listed under /proc/self/task
// for a moment (the kernel wakes the joiner from the thread's exit path,
// before it takes the task away), so the count is read until it settles; a
// thread that really outlives its owner keeps it up and fails the check.
int ThreadCountSettledAt(int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int n = ThreadCount();
    while (n > expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = ThreadCount();
    }
    return n;
}

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name, value, 1);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class SoundDevice : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard lock(g_posts.mutex);
            g_posts.count = 0;
            g_posts.frames = 0;
            g_posts.largestBlock = 0;
        }
        previousPoster_ = dshow::SetEventPoster(&RecordPost);
        dshow::test::SetOutputTap(&RecordTap, nullptr);
        threadsBefore_ = ThreadCount();
    }
    void TearDown() override {
        dshow::SetEventPoster(previousPoster_);
        dshow::test::SetOutputTap(nullptr, nullptr);
        EXPECT_EQ(dshow::test::LiveObjectCount(), 0);
        EXPECT_EQ(ThreadCountSettledAt(threadsBefore_), threadsBefore_) << "an audio thread outlived the graph";
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the audio subsystem was left open";
    }

    // Builds a graph, renders the file at `volume`, runs it until EC_COMPLETE
    // reaches the window and releases everything; returns the time it took to play.
    std::chrono::steady_clock::duration PlayAndRelease(const std::string& path, LONG volume = 0) {
        IGraphBuilder* graph = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IGraphBuilder, reinterpret_cast<void**>(&graph)),
                  S_OK);
        if (!graph) return {};
        IMediaControl* control = nullptr;
        IMediaEventEx* events = nullptr;
        IBasicAudio* audio = nullptr;
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events));
        graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio));
        events->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kWmApp, 0);
        audio->put_Volume(volume);
        const std::u16string wide = tessaloom::Utf8ToUtf16(path);
        EXPECT_EQ(graph->RenderFile(wide.c_str(), nullptr), S_OK);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(control->Run(), S_OK);
        {
            std::unique_lock lock(g_posts.mutex);
            EXPECT_TRUE(g_posts.changed.wait_for(lock, 10s, [] { return g_posts.count > 0; })) << "no EC_COMPLETE";
        }
        const auto took = std::chrono::steady_clock::now() - started;
        LONG code = 0;
        LONG_PTR p1, p2;
        EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        // Released while still running, in the music player's order.
        audio->Release();
        events->Release();
        control->Release();
        graph->Release();
        return took;
    }

    dshow_test::TempFolder folder_;
    Environment env_;
    int threadsBefore_ = 0;
    dshow::EventPoster previousPoster_ = nullptr;
};

TEST_F(SoundDevice, DummyDriverPlaysAtRealTimePaceOnItsOwnThread) {
    env_.Set("SDL_AUDIODRIVER", "dummy");
    const std::string file = folder_.File("tenth.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(file, 22050, 2205, 0.5f));  // 100 ms
    const auto took = PlayAndRelease(file);
    EXPECT_GE(took, 60ms) << "the dummy driver did not pace the sound";
    std::lock_guard lock(g_posts.mutex);
    EXPECT_EQ(g_posts.frames, 2205u);
    EXPECT_NE(g_posts.postThread, std::this_thread::get_id());
    EXPECT_EQ(g_posts.postThread, g_posts.tapThread) << "EC_COMPLETE is posted from the audio thread";
}

// Closing a device waits for SDL's audio thread, which sleeps out the
// buffers it plays: at every rate a device takes, one buffer lasts at most
// 12.5 ms, so the saver's thread is never held long when the sound stops.
TEST_F(SoundDevice, ADeviceBufferLastsAtMostTwelveAndAHalfMilliseconds) {
    env_.Set("SDL_AUDIODRIVER", "dummy");
    for (int rate : {8000, 11025, 22050, 44100, 192000}) {
        SCOPED_TRACE(rate);
        {
            std::lock_guard lock(g_posts.mutex);
            g_posts.count = 0;
            g_posts.largestBlock = 0;
        }
        const std::string file = folder_.File("r" + std::to_string(rate) + ".wav");
        ASSERT_TRUE(dshow_test::WriteConstantWav(file, rate, rate / 10, 0.5f));  // 100 ms, several buffers
        PlayAndRelease(file);
        std::lock_guard lock(g_posts.mutex);
        EXPECT_GT(g_posts.largestBlock, 0u);
        EXPECT_LE(g_posts.largestBlock * 80u, static_cast<UINT>(rate)) << g_posts.largestBlock << " frames";
    }
}

TEST_F(SoundDevice, WithoutASoundDeviceTheDummyDriverStillPlays) {
    env_.Set("SDL_AUDIODRIVER", "no-such-driver");
    const std::string file = folder_.File("short.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(file, 22050, 1000, 0.5f));
    testing::internal::CaptureStderr();
    PlayAndRelease(file);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("dummy"), std::string::npos) << err;
    std::lock_guard lock(g_posts.mutex);
    EXPECT_EQ(g_posts.frames, 1000u);
}

TEST_F(SoundDevice, DiskDriverWritesTheScaledSamples) {
    const std::string out = folder_.File("out.raw");
    env_.Set("SDL_AUDIODRIVER", "disk");
    env_.Set("SDL_DISKAUDIOFILE", out.c_str());
    env_.Set("SDL_DISKAUDIODELAY", "0");
    const std::string file = folder_.File("level.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(file, 22050, 4410, 0.5f));
    PlayAndRelease(file, -2000);  // -20 dB: a tenth of the amplitude

    std::ifstream raw(out, std::ios::binary);
    ASSERT_TRUE(raw) << "the disk driver wrote nothing";
    std::vector<float> samples;
    float s;
    while (raw.read(reinterpret_cast<char*>(&s), sizeof s)) samples.push_back(s);
    size_t sounding = 0;
    for (float v : samples) {
        if (v == 0.0f) continue;
        ++sounding;
        ASSERT_NEAR(v, 0.05f, 1e-6f);
    }
    EXPECT_EQ(sounding, 2u * 4410) << "every frame of the file, on both channels, once";
}

TEST_F(SoundDevice, WhenSdlHasNoDeviceAtAllItsOwnClockKeepsThePace) {
    // The audio subsystem is held on a driver whose device cannot open, so
    // SDL's dummy driver cannot be switched to.
    env_.Set("SDL_AUDIODRIVER", "disk");
    env_.Set("SDL_DISKAUDIOFILE", folder_.File("no-such-folder/out.raw").c_str());
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    const std::string file = folder_.File("tenth.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(file, 22050, 2205, 0.5f));  // 100 ms
    testing::internal::CaptureStderr();
    const auto took = PlayAndRelease(file);
    const std::string err = testing::internal::GetCapturedStderr();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    EXPECT_NE(err.find("real-time pace"), std::string::npos) << err;
    EXPECT_GE(took, 90ms);
    EXPECT_LT(took, 2s);
    std::lock_guard lock(g_posts.mutex);
    EXPECT_EQ(g_posts.frames, 2205u);
    EXPECT_EQ(g_posts.postThread, g_posts.tapThread);
}

TEST_F(SoundDevice, PauseKeepsThePositionAndSeekingWhileRunningTakesEffect) {
    env_.Set("SDL_AUDIODRIVER", "dummy");
    const std::string file = folder_.File("long.wav");
    ASSERT_TRUE(dshow_test::WriteConstantWav(file, 22050, 22050 * 4, 0.5f));  // 4 s
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
    IMediaControl* control = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaEventEx* events = nullptr;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events));
    events->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kWmApp, 0);
    ASSERT_EQ(graph->RenderFile(tessaloom::Utf8ToUtf16(file).c_str(), nullptr), S_OK);

    ASSERT_EQ(control->Run(), S_OK);
    std::this_thread::sleep_for(150ms);
    ASSERT_EQ(control->Pause(), S_OK);
    OAFilterState state = -1;
    EXPECT_EQ(control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    LONGLONG paused = 0, later = 0;
    ASSERT_EQ(seeking->GetCurrentPosition(&paused), S_OK);
    EXPECT_GT(paused, 0);
    EXPECT_LT(paused, 30'000'000) << "played far faster than real time";
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(seeking->GetCurrentPosition(&later), S_OK);
    EXPECT_EQ(later, paused) << "nothing plays while paused";

    // Resumed, then moved to 0.1 s before the end while running: it ends
    // soon after, once.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(control->Run(), S_OK);
    LONGLONG nearEnd = 39'000'000;
    ASSERT_EQ(seeking->SetPositions(&nearEnd, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_EQ(nearEnd, 22050LL * 39 / 10 * 10'000'000 / 22050);
    {
        std::unique_lock lock(g_posts.mutex);
        EXPECT_TRUE(g_posts.changed.wait_for(lock, 10s, [] { return g_posts.count > 0; }));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    LONG code = 0;
    LONG_PTR p1, p2;
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 200), E_ABORT) << "one completion only";
    ASSERT_EQ(control->Stop(), S_OK);
    events->Release();
    seeking->Release();
    control->Release();
    graph->Release();
}

}  // namespace
