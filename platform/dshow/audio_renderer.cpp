// The audio renderer: mixes its connected stream into interleaved stereo
// float and plays it through an SDL audio device on SDL's audio thread.
// With no sound device it falls back to SDL's dummy driver, which consumes
// audio at real-time pace, so playback timing and completion still happen;
// when even that cannot start, a clock thread of its own keeps that pace.
#include <chrono>
#include <cstring>

#include "platform/dshow/graph_internal.h"

namespace tessaloom::dshow {
namespace {

constexpr UINT kChannels = 2;
constexpr UINT kClockFrames = 4096;  // the fast clock's block

// The sample rates a sound device plays, in frames a second.  A stream at
// another rate is refused: a device opened at a few frames a second would
// hold a buffer for minutes, and SDL's audio thread sleeps out one buffer
// before a close can join it.
constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 192000;

// A device buffer (and the real-time clock's block) lasts at most 12.5 ms:
// closing an SDL device waits while its audio thread sleeps out a few
// buffers, so a short buffer keeps a stop well within 100 ms.  The largest
// power of two at or below rate / 80, at most 1024 frames.
Uint16 BufferFrames(int rate) {
    UINT frames = 1024;
    while (frames > 64 && frames * 80 > static_cast<UINT>(rate)) frames /= 2;
    return static_cast<Uint16>(frames);
}

// Opens the audio subsystem with its usual driver and a device on it, else
// with SDL's dummy driver.  Returns the device, or 0 with the subsystem left
// as it was.
SDL_AudioDeviceID OpenDevice(const SDL_AudioSpec& want) {
    std::string why;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        SDL_AudioSpec have{};
        const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device) return device;
        why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    } else {
        why = SDL_GetError();
    }
    if (SDL_WasInit(SDL_INIT_AUDIO)) {
        // Someone else holds the audio subsystem on its driver: it cannot be
        // switched to the dummy driver under them.
        Complain("no sound device opens (%s), and the audio driver is in use elsewhere: SDL cannot play", why.c_str());
        return 0;
    }
    Complain("no sound device opens (%s); playing through SDL's dummy audio driver", why.c_str());
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    const int initialised = SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (initialised != 0) {
        Complain("SDL's dummy audio driver does not start either (%s): SDL cannot play", SDL_GetError());
        return 0;
    }
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        Complain("SDL's dummy audio device does not open (%s): SDL cannot play", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    return device;
}

}  // namespace

AudioRenderer* AudioRenderer::Create() { return new AudioRenderer(); }

AudioRenderer::~AudioRenderer() { Shutdown(); }

void AudioRenderer::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        events_ = nullptr;
    }
    CloseOutput();
}

HRESULT AudioRenderer::OpenOutput(int rate) {
    if (outputRate_ == rate && (device_ || clock_)) return S_OK;
    CloseOutput();
    if (FastClockOn()) return StartClock(rate, false);
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.samples = BufferFrames(rate);
    want.callback = &AudioRenderer::DeviceCallback;
    want.userdata = this;
    device_ = OpenDevice(want);
    if (!device_) {
        Complain("playing without sound, at real-time pace");
        return StartClock(rate, true);
    }
    outputRate_ = rate;
    return S_OK;
}

HRESULT AudioRenderer::StartClock(int rate, bool paced) {
    clock_ = true;
    paced_ = paced;
    quit_ = false;
    outputRate_ = rate;
    clockBuffer_.assign(static_cast<size_t>(kClockFrames) * kChannels, 0.0f);
    clockThread_ = std::thread([this] { ClockThread(); });
    return S_OK;
}

void AudioRenderer::CloseOutput() {
    if (device_) {
        // Joins SDL's audio thread; the callback may be waiting for mutex_,
        // so it must not be held here.
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device_ = 0;
    }
    if (clock_) {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        clockThread_.join();
        clock_ = false;
    }
    outputRate_ = 0;
}

HRESULT AudioRenderer::OnInputConnected(Pin&, Pin& output) {
    auto* source = dynamic_cast<SourceFilter*>(&output.owner());
    if (!source) return E_INVALIDARG;
    if (source->rate() < kLowestRate || source->rate() > kHighestRate) {
        Complain("a sound at %d frames a second is not played: sound devices play %d to %d", source->rate(),
                 kLowestRate, kHighestRate);
        return VFW_E_UNSUPPORTED_AUDIO;
    }
    const HRESULT hr = OpenOutput(source->rate());
    if (FAILED(hr)) return hr;
    std::lock_guard lock(mutex_);
    stream_ = source;
    ended_ = false;
    completeSent_ = false;
    return S_OK;
}

void AudioRenderer::OnInputDisconnected(Pin&) {
    std::lock_guard lock(mutex_);
    stream_ = nullptr;
    running_ = false;
}

void AudioRenderer::OnGraphChanged(FilterGraph* graph) {
    std::lock_guard lock(mutex_);
    events_ = graph;
}

bool AudioRenderer::HasStream() {
    std::lock_guard lock(mutex_);
    return stream_ != nullptr;
}

void AudioRenderer::Run(uint64_t run) {
    {
        std::lock_guard lock(mutex_);
        if (!stream_) return;
        running_ = true;
        run_ = run;
        // A stream already at its end completes again at once.
        completeSent_ = false;
    }
    if (device_) SDL_PauseAudioDevice(device_, 0);
    wake_.notify_all();
}

void AudioRenderer::Stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    if (device_) SDL_PauseAudioDevice(device_, 1);
}

void AudioRenderer::SetGains(float left, float right) {
    gainLeft_ = left;
    gainRight_ = right;
}

bool AudioRenderer::GetPositions(LONGLONG* current, LONGLONG* stop, LONGLONG* frames, int* rate) {
    std::lock_guard lock(mutex_);
    if (!stream_) return false;
    *current = stream_->position();
    *stop = stream_->stopFrame();
    *frames = stream_->frames();
    *rate = stream_->rate();
    return true;
}

bool AudioRenderer::Seek(const LONGLONG* current, const LONGLONG* stop, uint64_t run) {
    bool ok = true;
    {
        std::lock_guard lock(mutex_);
        if (!stream_) return false;
        if (stop) stream_->SetStop(*stop);
        if (current) ok = stream_->Seek(*current);
        ended_ = false;
        completeSent_ = false;
        run_ = run;
    }
    wake_.notify_all();
    return ok;
}

UINT AudioRenderer::MixLocked(float* out, UINT count) {
    UINT n = 0;
    if (running_ && stream_) {
        if (ended_) {
            // The previous block held the stream's last frames and has been
            // taken by the device: the stream is complete.
            if (!completeSent_) {
                completeSent_ = true;
                if (events_) events_->OnStreamComplete(run_);
            }
        } else {
            n = stream_->ReadStereo(out, count);
            if (n < count) ended_ = true;
            const float left = gainLeft_, right = gainRight_;
            for (UINT i = 0; i < n; ++i) {
                out[2 * i] *= left;
                out[2 * i + 1] *= right;
            }
        }
    }
    std::memset(out + static_cast<size_t>(n) * kChannels, 0, static_cast<size_t>(count - n) * kChannels * sizeof(float));
    return n;
}

void SDLCALL AudioRenderer::DeviceCallback(void* self, Uint8* stream, int length) {
    auto* renderer = static_cast<AudioRenderer*>(self);
    auto* out = reinterpret_cast<float*>(stream);
    const UINT frames = static_cast<UINT>(length) / (kChannels * sizeof(float));
    UINT n;
    UINT rate;
    {
        std::lock_guard lock(renderer->mutex_);
        n = renderer->MixLocked(out, frames);
        rate = static_cast<UINT>(renderer->stream_ ? renderer->stream_->rate() : 0);
    }
    Tap(out, n, rate);
}

void AudioRenderer::ClockThread() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    auto playing = [this] { return quit_ || (running_ && stream_ && !completeSent_); };
    Clock::time_point due{};
    bool waited = true;
    for (;;) {
        if (!playing()) {
            wake_.wait(lock, playing);
            waited = true;
        }
        if (quit_) return;
        const UINT rate = static_cast<UINT>(stream_->rate());
        const UINT block = paced_ ? BufferFrames(static_cast<int>(rate)) : kClockFrames;
        if (paced_) {
            // Each block is taken when a device would have played the one before.
            if (waited) due = Clock::now();
            waited = false;
            if (wake_.wait_until(lock, due, [this] { return quit_; })) return;
            due += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(block) / rate));
            if (!playing()) continue;
        }
        const UINT n = MixLocked(clockBuffer_.data(), block);
        lock.unlock();
        Tap(clockBuffer_.data(), n, rate);
        lock.lock();
    }
}

}  // namespace tessaloom::dshow
