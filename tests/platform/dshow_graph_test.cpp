// The sound graph: building it the way the music player does, playing files
// to completion with the fast clock, events to the window, seeking, volume,
// failures to render, reuse of the renderer, and release.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_test.h"
#include "platform/win32/strings.h"
#include "tests/support/dshow_sound_files.h"

namespace {

using namespace std::chrono_literals;
using dshow_test::TempFolder;
using dshow_test::WriteConstantWav;
using dshow_test::WriteSound;
using tessaloom::Utf8ToUtf16;
namespace dshow = tessaloom::dshow;

constexpr UINT kWmApp = 0x8000;
HWND const kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

// What the audio thread handed on: posts to the window and tapped output.
struct Recorder {
    struct Post {
        HWND window;
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Post> posts;
    std::vector<float> samples;  // interleaved stereo
    size_t frames = 0;
    UINT rate = 0;
    std::thread::id tapThread;

    bool WaitForPosts(size_t count, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return posts.size() >= count; });
    }
    size_t Frames() {
        std::lock_guard lock(mutex);
        return frames;
    }
    size_t PostCount() {
        std::lock_guard lock(mutex);
        return posts.size();
    }
};
Recorder* g_recorder = nullptr;

bool RecordPost(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(g_recorder->mutex);
    g_recorder->posts.push_back({window, msg, wParam, lParam, std::this_thread::get_id()});
    g_recorder->changed.notify_all();
    return true;
}

void RecordTap(void* context, const float* samples, UINT frames, UINT rate) {
    auto* r = static_cast<Recorder*>(context);
    std::lock_guard lock(r->mutex);
    r->frames += frames;
    r->rate = rate;
    r->tapThread = std::this_thread::get_id();
    if (r->samples.size() < 4'000'000) r->samples.insert(r->samples.end(), samples, samples + 2 * frames);
}

// The five interfaces the music player keeps.
struct Graph {
    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaEventEx* events = nullptr;
    IBasicAudio* audio = nullptr;

    Graph() {
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IGraphBuilder, reinterpret_cast<void**>(&builder)),
                  S_OK);
        if (!builder) return;
        EXPECT_EQ(builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
        EXPECT_EQ(builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
        EXPECT_EQ(builder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events)), S_OK);
        EXPECT_EQ(builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)), S_OK);
        EXPECT_EQ(events->SetNotifyWindow(reinterpret_cast<OAHWND>(kWindow), kWmApp, 0), S_OK);
    }
    ~Graph() { Release(); }
    void Release() {
        if (audio) audio->Release();
        if (events) events->Release();
        if (seeking) seeking->Release();
        if (control) control->Release();
        if (builder) builder->Release();
        audio = nullptr;
        events = nullptr;
        seeking = nullptr;
        control = nullptr;
        builder = nullptr;
    }
    // Takes one event without waiting; -1 when none.
    LONG TakeEvent() {
        LONG code;
        LONG_PTR p1, p2;
        if (FAILED(events->GetEvent(&code, &p1, &p2, 0))) return -1;
        events->FreeEventParams(code, p1, p2);
        return code;
    }
    std::vector<IBaseFilter*> Filters() {
        std::vector<IBaseFilter*> list;
        IEnumFilters* e = nullptr;
        if (FAILED(builder->EnumFilters(&e))) return list;
        IBaseFilter* f;
        while (e->Next(1, &f, nullptr) == S_OK) list.push_back(f);
        e->Release();
        return list;
    }
    size_t FilterCount() {
        auto list = Filters();
        for (auto* f : list) f->Release();
        return list.size();
    }
};

class SoundGraph : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder = &recorder_;
        dshow::test::SetFastClock(true);
        dshow::test::SetOutputTap(&RecordTap, &recorder_);
        previousPoster_ = dshow::SetEventPoster(&RecordPost);
        liveBefore_ = dshow::test::LiveObjectCount();
    }
    void TearDown() override {
        EXPECT_EQ(dshow::test::LiveObjectCount(), liveBefore_) << "graph objects left alive";
        dshow::SetEventPoster(previousPoster_);
        dshow::test::SetOutputTap(nullptr, nullptr);
        dshow::test::SetFastClock(false);
        g_recorder = nullptr;
    }
    std::u16string Wav(const std::string& name, int frames, float value, int rate = 22050) {
        const std::string path = folder_.File(name);
        EXPECT_TRUE(WriteConstantWav(path, rate, frames, value));
        return Utf8ToUtf16(path);
    }
    // Plays what the graph has rendered until EC_COMPLETE reaches the window.
    void PlayToEnd(Graph& g, size_t postsBefore) {
        ASSERT_EQ(g.control->Run(), S_OK);
        ASSERT_TRUE(recorder_.WaitForPosts(postsBefore + 1)) << "no EC_COMPLETE posted";
        EXPECT_EQ(g.TakeEvent(), EC_COMPLETE);
    }

    TempFolder folder_;
    Recorder recorder_;
    int liveBefore_ = 0;
    dshow::EventPoster previousPoster_ = nullptr;
};

TEST_F(SoundGraph, CreationRules) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_AudioRender, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    IGraphBuilder* g = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&g)),
              S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, g, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IPin, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // One object behind every interface: one count.
    IBasicAudio* audio = nullptr;
    ASSERT_EQ(g->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)), S_OK);
    EXPECT_EQ(g->AddRef(), 3u);
    EXPECT_EQ(g->Release(), 2u);
    EXPECT_EQ(g->Release(), 1u);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    audio->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);  // COM identity
    a->Release();
    b->Release();
    EXPECT_EQ(audio->Release(), 0u);
}

TEST_F(SoundGraph, EachFormatPlaysToCompletionAndTellsTheWindow) {
    struct Case {
        const char* name;
        int format;
        bool exactLength;
        int channels = 2;
    };
    const Case cases[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
        {"a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, false},
        {"mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true, 1},
        {"four.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true, 4},
    };
    constexpr int kFrames = 22050;  // one second, played faster than real time
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder_.File(c.name);
        // Channel c carries the tone at amplitude 0.5 / (c + 1).
        ASSERT_TRUE(WriteSound(path, c.format, 22050, c.channels, kFrames,
                               [](int f, int ch) {
                                   return 0.5f / (ch + 1) * std::sin(f * 2 * 3.14159265f * 440 / 22050);
                               }))
            << "libsndfile cannot write " << c.name;
        Graph g;
        const size_t posts = recorder_.PostCount();
        size_t framesBefore;
        {
            std::lock_guard lock(recorder_.mutex);
            framesBefore = recorder_.frames;
            recorder_.samples.clear();
        }
        ASSERT_EQ(g.builder->RenderFile(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
        EXPECT_EQ(g.FilterCount(), 2u);  // the source and one renderer
        LONGLONG duration = 0;
        ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
        if (c.exactLength) {
            EXPECT_EQ(duration, 10'000'000);
        }
        const auto started = std::chrono::steady_clock::now();
        PlayToEnd(g, posts);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 900ms) << "the fast clock is not fast";

        std::lock_guard lock(recorder_.mutex);
        const Recorder::Post& post = recorder_.posts.back();
        EXPECT_EQ(post.window, kWindow);
        EXPECT_EQ(post.msg, kWmApp);
        EXPECT_EQ(post.wParam, 0u);
        EXPECT_EQ(post.lParam, 0);
        EXPECT_NE(post.thread, std::this_thread::get_id());
        EXPECT_EQ(post.thread, recorder_.tapThread) << "posted from the audio thread";
        const size_t played = recorder_.frames - framesBefore;
        if (c.exactLength) {
            EXPECT_EQ(played, static_cast<size_t>(kFrames));
        } else {
            EXPECT_NEAR(static_cast<double>(played), kFrames, kFrames * 0.1);
        }
        EXPECT_EQ(recorder_.rate, 22050u);
        // Mono plays on both sides; of more channels the first two play.
        if (c.exactLength) {
            float peakLeft = 0, peakRight = 0;
            for (size_t i = 0; i < recorder_.samples.size(); i += 2) {
                peakLeft = std::max(peakLeft, std::fabs(recorder_.samples[i]));
                peakRight = std::max(peakRight, std::fabs(recorder_.samples[i + 1]));
            }
            EXPECT_NEAR(peakLeft, 0.5f, 1e-3f);
            EXPECT_NEAR(peakRight, c.channels == 1 ? 0.5f : 0.25f, 1e-3f);
        }
    }
}

TEST_F(SoundGraph, FilesThatCannotBeDecodedFailToRender) {
    const std::string garbage = folder_.File("garbage.wav");
    dshow_test::WriteBytes(garbage, std::string("RIFF\x10\0\0\0WAVEjunkjunkjunk", 24));
    const std::string text = folder_.File("notes.mp3");
    dshow_test::WriteBytes(text, "these are not sounds, only words in a file\n");
    const std::string empty = folder_.File("empty.ogg");
    dshow_test::WriteBytes(empty, "");
    const std::string paths[] = {folder_.File("missing.wav"), garbage, text, empty, folder_.File("")};
    Graph g;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::u16string wide = Utf8ToUtf16(path);
        EXPECT_TRUE(FAILED(g.builder->RenderFile(wide.c_str(), nullptr)));
        IBaseFilter* source = reinterpret_cast<IBaseFilter*>(1);
        EXPECT_TRUE(FAILED(g.builder->AddSourceFilter(wide.c_str(), wide.c_str(), &source)));
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(g.FilterCount(), 0u) << "a failed render leaves nothing behind";
    }
    // Running a graph with nothing rendered plays nothing and reports nothing.
    EXPECT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(g.TakeEvent(), -1);
    EXPECT_EQ(recorder_.PostCount(), 0u);
    LONGLONG zero = 0;
    EXPECT_EQ(g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              E_NOTIMPL);
}

TEST_F(SoundGraph, PathsThatAreNotRegularFilesAreRefusedWithoutOpening) {
    // A FIFO nobody writes to would block a reader for good; a device would
    // never end; a folder holds no sound.  Each is refused as unplayable.
    const std::string fifo = folder_.File("pipe.wav");
    ASSERT_TRUE(dshow_test::MakeFifo(fifo));
    const std::string paths[] = {fifo, "/dev/zero", folder_.File("")};
    Graph g;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::u16string wide = Utf8ToUtf16(path);
        auto rendered = std::async(std::launch::async, [&] { return g.builder->RenderFile(wide.c_str(), nullptr); });
        if (rendered.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "RenderFile blocked on " << path;
            // A writer that goes at once lets the blocked reader see the end.
            const int fd = ::open(path.c_str(), O_WRONLY);
            if (fd >= 0) ::close(fd);
        }
        EXPECT_EQ(rendered.get(), VFW_E_UNKNOWN_FILE_TYPE);
        IBaseFilter* source = reinterpret_cast<IBaseFilter*>(1);
        EXPECT_EQ(g.builder->AddSourceFilter(wide.c_str(), wide.c_str(), &source), VFW_E_UNKNOWN_FILE_TYPE);
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(g.FilterCount(), 0u);
    }
}

TEST_F(SoundGraph, StopRewindRunReplaysFromTheStart) {
    constexpr int kFrames = 5000;
    Graph g;
    ASSERT_EQ(g.builder->RenderFile(Wav("a.wav", kFrames, 0.25f).c_str(), nullptr), S_OK);
    PlayToEnd(g, 0);
    EXPECT_EQ(recorder_.Frames(), static_cast<size_t>(kFrames));
    LONGLONG position = -1;
    EXPECT_EQ(g.seeking->GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, kFrames * 10'000'000LL / 22050);

    // Running again at the end completes at once, playing nothing more.
    ASSERT_EQ(g.control->Stop(), S_OK);
    PlayToEnd(g, 1);
    EXPECT_EQ(recorder_.Frames(), static_cast<size_t>(kFrames));

    ASSERT_EQ(g.control->Stop(), S_OK);
    LONGLONG zero = 0;
    ASSERT_EQ(g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    EXPECT_EQ(g.seeking->GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, 0);
    PlayToEnd(g, 2);
    EXPECT_EQ(recorder_.Frames(), static_cast<size_t>(2 * kFrames));
    EXPECT_EQ(g.TakeEvent(), -1) << "one EC_COMPLETE per playback";

    // A stop position half-way plays half, from wherever the start is put.
    ASSERT_EQ(g.control->Stop(), S_OK);
    LONGLONG quarter = 10'000'000LL * kFrames / 4 / 22050 + 1, half = 10'000'000LL * kFrames / 2 / 22050 + 1;
    ASSERT_EQ(g.seeking->SetPositions(&quarter, AM_SEEKING_AbsolutePositioning, &half, AM_SEEKING_AbsolutePositioning),
              S_OK);
    PlayToEnd(g, 3);
    EXPECT_NEAR(static_cast<double>(recorder_.Frames()), 2.25 * kFrames, 2);
}

TEST_F(SoundGraph, VolumeAndBalanceScaleTheOutput) {
    struct Case {
        LONG volume;
        LONG balance;
        float left;
        float right;
    };
    const float level = 0.5f;
    const Case cases[] = {
        {0, 0, level, level},                                    // full level
        {-10000, 0, 0.0f, 0.0f},                                 // silence
        {-2000, 0, level * 0.1f, level * 0.1f},                  // -20 dB
        {-400, 0, level * std::pow(10.0f, -0.2f), level * std::pow(10.0f, -0.2f)},
        {0, 10000, 0.0f, level},                                 // left silent
        {0, -2000, level, level * 0.1f},                         // right at -20 dB
        {-2000, 2000, level * 0.01f, level * 0.1f},              // both together
    };
    const std::u16string file = Wav("level.wav", 3000, level);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " balance " << c.balance);
        {
            std::lock_guard lock(recorder_.mutex);
            recorder_.samples.clear();
        }
        Graph g;
        // Set before the renderer exists: it takes the graph's values.
        ASSERT_EQ(g.audio->put_Volume(c.volume), S_OK);
        ASSERT_EQ(g.builder->RenderFile(file.c_str(), nullptr), S_OK);
        ASSERT_EQ(g.audio->put_Balance(c.balance), S_OK);
        PlayToEnd(g, recorder_.PostCount());
        {
            std::lock_guard lock(recorder_.mutex);
            ASSERT_EQ(recorder_.samples.size(), 2u * 3000);
            for (size_t i = 0; i < recorder_.samples.size(); i += 2) {
                ASSERT_NEAR(recorder_.samples[i], c.left, 1e-6f) << "frame " << i / 2;
                ASSERT_NEAR(recorder_.samples[i + 1], c.right, 1e-6f) << "frame " << i / 2;
            }
        }
        LONG v = 1, b = 1;
        EXPECT_EQ(g.audio->get_Volume(&v), S_OK);
        EXPECT_EQ(g.audio->get_Balance(&b), S_OK);
        EXPECT_EQ(v, c.volume);
        EXPECT_EQ(b, c.balance);
    }
    Graph g;
    EXPECT_EQ(g.audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(g.audio->put_Volume(-10001), E_INVALIDARG);
    EXPECT_EQ(g.audio->put_Balance(10001), E_INVALIDARG);
}

// The music player's way of playing the next file: a new source, every
// filter removed and added again (dropping all connections), the new
// source's "Output" rendered into the renderer already there, rewind, run.
TEST_F(SoundGraph, NewSourceReusesTheRendererAfterTheGraphIsTakenApart) {
    Graph g;
    const std::u16string first = Wav("first.wav", 4000, 0.25f);
    const std::u16string second = Wav("second.wav", 1500, -0.75f, 11025);

    auto addSourceOutput = [&](const std::u16string& path, IBaseFilter** source) {
        IPin* pin = nullptr;
        EXPECT_EQ(g.builder->AddSourceFilter(path.c_str(), path.c_str(), source), S_OK);
        if (*source) {
            EXPECT_EQ((*source)->FindPin(u"Output", &pin), S_OK);
        }
        return pin;
    };
    IBaseFilter* source1 = nullptr;
    IPin* out1 = addSourceOutput(first, &source1);
    ASSERT_NE(out1, nullptr);
    ASSERT_EQ(g.builder->Render(out1), S_OK);
    EXPECT_EQ(g.builder->Render(out1), VFW_E_ALREADY_CONNECTED);
    PlayToEnd(g, 0);

    // While it runs (the ended first file completes again at once) a new
    // source may be added but nothing taken apart.
    PlayToEnd(g, 1);
    IBaseFilter* source2 = nullptr;
    IPin* out2 = addSourceOutput(second, &source2);
    ASSERT_NE(out2, nullptr);
    EXPECT_EQ(g.builder->RemoveFilter(source1), VFW_E_NOT_STOPPED);
    ASSERT_EQ(g.control->Stop(), S_OK);

    IEnumFilters* e = nullptr;
    ASSERT_EQ(g.builder->EnumFilters(&e), S_OK);
    ULONG count = 0;
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        ++count;
        f->Release();
    }
    ASSERT_EQ(count, 3u);
    std::vector<IBaseFilter*> list(count);
    ULONG fetched = 0;
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Next(count, list.data(), &fetched), S_OK);
    EXPECT_EQ(fetched, count);
    e->Release();
    for (IBaseFilter* filter : list) {
        ASSERT_EQ(g.builder->RemoveFilter(filter), S_OK);
        ASSERT_TRUE(SUCCEEDED(g.builder->AddFilter(filter, nullptr)));
        filter->Release();
    }
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(out1->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);

    ASSERT_EQ(g.builder->Render(out2), S_OK);
    EXPECT_EQ(g.FilterCount(), 3u) << "the renderer in the graph is reused";
    ASSERT_EQ(out2->ConnectedTo(&peer), S_OK);
    PIN_INFO info{};
    ASSERT_EQ(peer->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    CLSID renderer{};
    info.pFilter->GetClassID(&renderer);
    EXPECT_EQ(renderer, CLSID_AudioRender);
    info.pFilter->Release();
    peer->Release();

    {
        std::lock_guard lock(recorder_.mutex);
        recorder_.samples.clear();
        recorder_.frames = 0;
    }
    LONGLONG zero = 0;
    ASSERT_EQ(g.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    PlayToEnd(g, 2);
    {
        std::lock_guard lock(recorder_.mutex);
        EXPECT_EQ(recorder_.frames, 1500u) << "only the newest source plays";
        EXPECT_EQ(recorder_.rate, 11025u);
        ASSERT_FALSE(recorder_.samples.empty());
        EXPECT_FLOAT_EQ(recorder_.samples.front(), -0.75f);
    }
    out1->Release();
    out2->Release();
    source1->Release();
    source2->Release();
}

// A device opened at a few frames a second would hold its buffer for minutes,
// and closing it waits that buffer out: a stream at a rate no sound device
// plays is refused, on both ways of playing, and nothing of it stays in the
// graph.  The rates at the ends of the range play.
TEST_F(SoundGraph, OnlyRatesASoundDevicePlaysAreRendered) {
    struct Case {
        int rate;
        bool plays;
    };
    const Case cases[] = {{1, false},     {100, false},     {7999, false},    {8000, true},
                          {11025, true},  {192000, true},   {192001, false},  {1000000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        {
            std::lock_guard lock(recorder_.mutex);
            recorder_.frames = 0;
            recorder_.rate = 0;
        }
        const size_t postsBefore = recorder_.PostCount();
        Graph g;
        const std::u16string file = Wav("r" + std::to_string(c.rate) + ".wav", 300, 0.5f, c.rate);
        testing::internal::CaptureStderr();
        const HRESULT rendered = g.builder->RenderFile(file.c_str(), nullptr);
        IBaseFilter* source = nullptr;
        ASSERT_EQ(g.builder->AddSourceFilter(file.c_str(), u"Sound", &source), S_OK);
        IPin* out = nullptr;
        ASSERT_EQ(source->FindPin(u"Output", &out), S_OK);
        const HRESULT second = g.builder->Render(out);
        const std::string err = testing::internal::GetCapturedStderr();
        out->Release();
        source->Release();
        if (c.plays) {
            EXPECT_EQ(rendered, S_OK) << err;
            EXPECT_EQ(second, S_OK) << "a second renderer for the second source";
            PlayToEnd(g, postsBefore);
            std::lock_guard lock(recorder_.mutex);
            EXPECT_EQ(recorder_.rate, static_cast<UINT>(c.rate));
            EXPECT_EQ(recorder_.frames, 600u);
        } else {
            EXPECT_EQ(rendered, VFW_E_UNSUPPORTED_AUDIO);
            EXPECT_EQ(second, VFW_E_UNSUPPORTED_AUDIO);
            EXPECT_NE(err.find("is not played"), std::string::npos) << err;
            EXPECT_EQ(g.FilterCount(), 1u) << "only the source added by hand stays";
            EXPECT_EQ(g.control->Run(), S_OK);
            EXPECT_EQ(g.control->Stop(), S_OK);
            EXPECT_EQ(recorder_.Frames(), 0u);
        }
    }
}

TEST_F(SoundGraph, FilterNamesAndInformation) {
    Graph g;
    const std::u16string file = Wav("a.wav", 100, 0.1f);
    IBaseFilter* a = nullptr;
    IBaseFilter* b = nullptr;
    ASSERT_EQ(g.builder->AddSourceFilter(file.c_str(), u"Sound", &a), S_OK);
    ASSERT_EQ(g.builder->AddSourceFilter(file.c_str(), u"Sound", &b), S_OK);  // same name twice
    FILTER_INFO info{};
    ASSERT_EQ(b->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.achName), u"Sound 0001");
    ASSERT_NE(info.pGraph, nullptr);
    info.pGraph->Release();
    IBaseFilter* found = nullptr;
    ASSERT_EQ(g.builder->FindFilterByName(u"Sound", &found), S_OK);
    EXPECT_EQ(found, a);
    found->Release();
    EXPECT_EQ(g.builder->AddFilter(a, u"again"), E_INVALIDARG) << "already in the graph";

    ASSERT_EQ(g.builder->RemoveFilter(a), S_OK);
    EXPECT_EQ(g.builder->RemoveFilter(a), VFW_E_NOT_IN_GRAPH);
    ASSERT_EQ(a->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    IPin* pin = nullptr;
    ASSERT_EQ(a->FindPin(u"Output", &pin), S_OK);
    EXPECT_EQ(g.builder->Render(pin), VFW_E_NOT_IN_GRAPH);
    pin->Release();
    EXPECT_EQ(a->FindPin(u"Input", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
    // Re-added under the name it asks for; a taken name is changed.
    EXPECT_EQ(g.builder->AddFilter(a, u"Sound 0001"), VFW_S_DUPLICATE_NAME);
    a->Release();
    b->Release();
}

TEST_F(SoundGraph, WithoutAPosterTheEventStaysQueuedAndTheFailureIsLoud) {
    dshow::SetEventPoster(nullptr);
    Graph g;
    ASSERT_EQ(g.builder->RenderFile(Wav("a.wav", 2000, 0.5f).c_str(), nullptr), S_OK);
    testing::internal::CaptureStderr();
    ASSERT_EQ(g.control->Run(), S_OK);
    LONG code = 0;
    LONG_PTR p1 = 1, p2 = 1;
    ASSERT_EQ(g.events->GetEvent(&code, &p1, &p2, 10000), S_OK);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(p1, S_OK);
    EXPECT_EQ(g.events->FreeEventParams(code, p1, p2), S_OK);
    EXPECT_NE(err.find("no event poster"), std::string::npos) << err;
    EXPECT_EQ(recorder_.PostCount(), 0u);

    // No notify window (or notification turned off): events are only polled, quietly.
    dshow::SetEventPoster(&RecordPost);
    ASSERT_EQ(g.events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY), S_OK);
    ASSERT_EQ(g.control->Stop(), S_OK);
    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_EQ(g.events->GetEvent(&code, &p1, &p2, 10000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(recorder_.PostCount(), 0u);
    EXPECT_EQ(g.events->GetEvent(&code, &p1, &p2, 5), E_ABORT);
}

}  // namespace
