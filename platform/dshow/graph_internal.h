// The filter graph's own classes: pins, the filter base, the sound-file
// source, the audio renderer and the graph manager.
#pragma once

#include <SDL2/SDL.h>
#include <sndfile.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_test.h"

template <>
struct ComInterfaceIds<IPin> : ComIds<IID_IPin> {};
template <>
struct ComInterfaceIds<IEnumPins> : ComIds<IID_IEnumPins> {};
template <>
struct ComInterfaceIds<IEnumFilters> : ComIds<IID_IEnumFilters> {};
template <>
struct ComInterfaceIds<IBaseFilter> : ComIds<IID_IPersist, IID_IBaseFilter> {};
template <>
struct ComInterfaceIds<IGraphBuilder> : ComIds<IID_IFilterGraph, IID_IGraphBuilder> {};
template <>
struct ComInterfaceIds<IMediaControl> : ComIds<IID_IMediaControl> {};
template <>
struct ComInterfaceIds<IMediaSeeking> : ComIds<IID_IMediaSeeking> {};
template <>
struct ComInterfaceIds<IMediaEventEx> : ComIds<IID_IMediaEvent, IID_IMediaEventEx> {};
template <>
struct ComInterfaceIds<IBasicAudio> : ComIds<IID_IBasicAudio> {};

namespace tessaloom::dshow {

// Finds our own implementation behind an interface pointer.
// {B1F52CEE-0994-4397-AA03-9FA06832D549}
inline constexpr IID IID_FilterImpl = {0xB1F52CEE, 0x0994, 0x4397, {0xAA, 0x03, 0x9F, 0xA0, 0x68, 0x32, 0xD5, 0x49}};
// {D838FA5D-ADF3-4A35-A6A6-B48FDF559508}
inline constexpr IID IID_PinImpl = {0xD838FA5D, 0xADF3, 0x4A35, {0xA6, 0xA6, 0xB4, 0x8F, 0xDF, 0x55, 0x95, 0x08}};

class Filter;
class FilterGraph;
class SourceFilter;

// Prints a loud diagnostic to stderr.
void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

void CountObject(int delta);
bool FastClockOn();
void Tap(const float* samples, UINT frames, UINT rate);
// An enumerator over the filters (each gains a reference while listed).
IEnumFilters* MakeFilterEnumerator(std::vector<IBaseFilter*> filters);

// Copies a name into a fixed WCHAR array, cut to fit, terminated.
void CopyName(const std::u16string& name, WCHAR* out, size_t capacity);

// A pin's references are its filter's: a pin lives as long as its filter.
class Pin final : public ComObject<IPin> {
public:
    Pin(Filter& owner, PIN_DIRECTION direction, std::u16string name)
        : owner_(owner), direction_(direction), name_(std::move(name)) {}

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;

    Filter& owner() const { return owner_; }
    PIN_DIRECTION direction() const { return direction_; }
    const std::u16string& name() const { return name_; }
    Pin* peer() const { return peer_; }

    // Connects an output pin to an input pin; each side holds a reference
    // to the other.  The input's filter may refuse.
    static HRESULT Connect(Pin& output, Pin& input);
    // Breaks this pin's connection, both sides.  Nothing when unconnected.
    void Disconnect();

protected:
    void* QueryOther(REFIID iid) override;

private:
    Filter& owner_;
    PIN_DIRECTION direction_;
    std::u16string name_;
    Pin* peer_ = nullptr;
};

class Filter : public ComObject<IBaseFilter> {
public:
    Filter();

    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    virtual CLSID ClassId() const = 0;
    virtual std::u16string DefaultName() const = 0;
    virtual std::vector<Pin*> Pins() = 0;
    // An output pin of another filter connects to `input`; failure refuses it.
    virtual HRESULT OnInputConnected(Pin& /*input*/, Pin& /*output*/) { return E_FAIL; }
    virtual void OnInputDisconnected(Pin& /*input*/) {}
    virtual void OnGraphChanged(FilterGraph* /*graph*/) {}

    FilterGraph* graph() const { return graph_; }
    const std::u16string& name() const { return name_; }
    void DisconnectAll();

    // Our filter behind an interface pointer, or null.  No reference added.
    static Filter* From(IBaseFilter* filter);

protected:
    ~Filter() override;
    void* QueryOther(REFIID iid) override;

private:
    FilterGraph* graph_ = nullptr;
    std::u16string name_;
};

// Decoded sound read from a file by libsndfile.  Its stream is read only by
// the renderer it is connected to, under that renderer's lock.
class SourceFilter final : public Filter {
public:
    // Opens the file; a file libsndfile cannot open fails (nothing made).
    static HRESULT Open(const std::u16string& path, SourceFilter** filter);

    CLSID ClassId() const override { return CLSID_SoundFileSource; }
    std::u16string DefaultName() const override { return path_; }
    std::vector<Pin*> Pins() override { return {&output_}; }

    int rate() const { return rate_; }
    LONGLONG frames() const { return frames_; }
    LONGLONG position() const { return position_; }
    LONGLONG stopFrame() const { return stop_; }
    // Moves the read position (clamped to the sound); false when the decoder cannot.
    bool Seek(LONGLONG frame);
    void SetStop(LONGLONG frame);
    // Reads up to `count` frames before the stop position as interleaved
    // stereo (mono doubled, beyond two channels the first two); returns the
    // frames read, fewer at the end.
    UINT ReadStereo(float* out, UINT count);

private:
    SourceFilter(std::u16string path, SNDFILE* file, const SF_INFO& info);
    ~SourceFilter() override;

    std::u16string path_;
    SNDFILE* file_;
    int rate_;
    int channels_;
    LONGLONG frames_;
    LONGLONG position_ = 0;
    LONGLONG stop_;
    std::vector<float> scratch_;
    Pin output_{*this, PINDIR_OUTPUT, u"Output"};
};

// Plays the stream connected to its input through an SDL audio device (or
// the fast test clock), applying volume and balance.
class AudioRenderer final : public Filter {
public:
    static AudioRenderer* Create();

    CLSID ClassId() const override { return CLSID_AudioRender; }
    std::u16string DefaultName() const override { return u"Audio Renderer"; }
    std::vector<Pin*> Pins() override { return {&input_}; }
    HRESULT OnInputConnected(Pin& input, Pin& output) override;
    void OnInputDisconnected(Pin& input) override;
    void OnGraphChanged(FilterGraph* graph) override;

    Pin& input() { return input_; }
    bool HasStream();
    // Starts or resumes playback; completion is reported to the graph with `run`.
    void Run(uint64_t run);
    // Stops output; the position stays.
    void Stop();
    void SetGains(float left, float right);
    // Positions in frames of the stream; false without a stream.
    bool GetPositions(LONGLONG* current, LONGLONG* stop, LONGLONG* frames, int* rate);
    // Moves current and stop (null: unchanged); while running, `run` becomes
    // the playback the next completion belongs to.
    bool Seek(const LONGLONG* current, const LONGLONG* stop, uint64_t run);
    // Stops for good: closes the output and joins its thread.
    void Shutdown();

private:
    AudioRenderer() = default;
    ~AudioRenderer() override;

    HRESULT OpenOutput(int rate);
    void CloseOutput();
    static void SDLCALL DeviceCallback(void* self, Uint8* stream, int length);
    HRESULT StartClock(int rate, bool paced);
    void ClockThread();
    // Fills `count` stereo frames (silence past the stream); returns the
    // frames that came from the stream.  Holds mutex_.
    UINT MixLocked(float* out, UINT count);

    Pin input_{*this, PINDIR_INPUT, u"Audio Input pin (rendered)"};

    std::mutex mutex_;  // taken inside SDL's device lock: never call SDL holding it
    std::condition_variable wake_;
    SourceFilter* stream_ = nullptr;  // the connected source; the pin holds its reference
    FilterGraph* events_ = nullptr;
    bool running_ = false;
    bool ended_ = false;
    bool completeSent_ = false;
    uint64_t run_ = 0;
    std::atomic<float> gainLeft_{1.0f};
    std::atomic<float> gainRight_{1.0f};

    // Output: an SDL device, or a clock thread of our own: the fast test
    // clock, or one paced to real time when SDL has no device at all.
    SDL_AudioDeviceID device_ = 0;
    bool clock_ = false;
    bool paced_ = false;
    std::thread clockThread_;
    bool quit_ = false;
    int outputRate_ = 0;
    std::vector<float> clockBuffer_;
};

class FilterGraph final
    : public ComObject<IGraphBuilder, IMediaControl, IMediaSeeking, IMediaEventEx, IBasicAudio> {
public:
    static HRESULT Create(REFIID iid, void** object);

    // IFilterGraph, IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT Render(IPin* output) override;
    HRESULT RenderFile(LPCWSTR file, LPCWSTR playlist) override;
    HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override;
    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* state) override;
    // IMediaSeeking
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    // IMediaEvent, IMediaEventEx
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override;
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT SetNotifyWindow(OAHWND window, LONG msg, LONG_PTR instanceData) override;
    HRESULT SetNotifyFlags(LONG flags) override;
    HRESULT GetNotifyFlags(LONG* flags) override;
    // IBasicAudio
    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;
    HRESULT put_Balance(LONG balance) override;
    HRESULT get_Balance(LONG* balance) override;

    IFilterGraph* AsFilterGraph() { return static_cast<IGraphBuilder*>(this); }
    // A renderer's stream of playback `run` reached its end (audio thread).
    void OnStreamComplete(uint64_t run);

private:
    FilterGraph();
    ~FilterGraph() override;

    std::u16string UniqueName(const std::u16string& wanted) const;
    bool HasFilter(Filter* filter) const;
    HRESULT AddFilterLocked(Filter* filter, const std::u16string* name);
    HRESULT RemoveFilterLocked(Filter* filter);
    HRESULT RenderLocked(Pin& output);
    std::vector<AudioRenderer*> RenderersWithStream();
    // Starts a new playback generation for the renderers that have a stream.
    uint64_t BeginRun(size_t streams);
    void QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    void ApplyGains();

    std::recursive_mutex mutex_;  // filters, state, volume
    std::vector<Filter*> filters_;  // each holds a reference
    OAFilterState state_ = State_Stopped;
    LONG volume_ = 0;
    LONG balance_ = 0;

    std::mutex eventMutex_;
    std::condition_variable eventReady_;
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    std::deque<Event> events_;
    HWND notifyWindow_ = nullptr;
    UINT notifyMessage_ = 0;
    LONG_PTR notifyData_ = 0;
    LONG notifyFlags_ = 0;
    uint64_t run_ = 0;
    size_t streamsRunning_ = 0;
    size_t streamsComplete_ = 0;
};

}  // namespace tessaloom::dshow
