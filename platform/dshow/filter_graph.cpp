// The filter graph manager: filters and their connections, playback state,
// positions, the event queue with its window notification, and volume.
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/dshow/graph_internal.h"

namespace tessaloom::dshow {
namespace {

std::atomic<EventPoster> g_poster{nullptr};

constexpr LONGLONG kUnitsPerSecond = 10'000'000;  // media time is in 100 ns units

LONGLONG FramesToTime(LONGLONG frames, int rate) { return frames * kUnitsPerSecond / rate; }

LONGLONG TimeToFrames(LONGLONG time, int rate, LONGLONG frames) {
    if (time <= 0) return 0;
    const LONGLONG limit = FramesToTime(frames, rate);
    if (time >= limit) return frames;
    return time * rate / kUnitsPerSecond;
}

// Hundredths of a decibel to a linear gain; the bottom of the range is silence.
float Attenuation(LONG hundredthsDb) {
    if (hundredthsDb <= -10000) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

const bool g_registered = [] {
    com::RegisterClassCreator(CLSID_FilterGraph, &FilterGraph::Create);
    return true;
}();

}  // namespace

void SetEventPoster(EventPoster poster) { g_poster = poster; }

HRESULT FilterGraph::Create(REFIID iid, void** object) {
    auto* graph = new FilterGraph();
    const HRESULT hr = graph->QueryInterface(iid, object);
    graph->Release();
    return hr;
}

FilterGraph::FilterGraph() {
    (void)g_registered;
    CountObject(+1);
}

FilterGraph::~FilterGraph() {
    // Outputs first, so no audio thread reaches into the graph while it goes.
    for (Filter* filter : filters_)
        if (auto* renderer = dynamic_cast<AudioRenderer*>(filter)) renderer->Shutdown();
    for (Filter* filter : filters_) filter->DisconnectAll();
    for (Filter* filter : filters_) {
        filter->JoinFilterGraph(nullptr, nullptr);
        filter->Release();
    }
    CountObject(-1);
}

// ---------------------------------------------------------------------------
// Filters and connections

std::u16string FilterGraph::UniqueName(const std::u16string& wanted) const {
    auto taken = [this](const std::u16string& name) {
        return std::any_of(filters_.begin(), filters_.end(), [&](Filter* f) { return f->name() == name; });
    };
    if (!taken(wanted)) return wanted;
    for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", n);
        std::u16string name = wanted;
        for (const char* c = suffix; *c; ++c) name.push_back(static_cast<char16_t>(*c));
        if (!taken(name)) return name;
    }
}

bool FilterGraph::HasFilter(Filter* filter) const {
    return std::find(filters_.begin(), filters_.end(), filter) != filters_.end();
}

HRESULT FilterGraph::AddFilterLocked(Filter* filter, const std::u16string* name) {
    if (filter->graph()) return E_INVALIDARG;  // already in a graph
    const std::u16string wanted = name ? *name : filter->DefaultName();
    const std::u16string unique = UniqueName(wanted);
    filter->AddRef();
    filters_.push_back(filter);
    filter->JoinFilterGraph(AsFilterGraph(), unique.c_str());
    ApplyGains();
    return name && unique != *name ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name) {
    if (!filter) return E_POINTER;
    Filter* ours = Filter::From(filter);
    if (!ours) {
        Complain("AddFilter: only the graph's own filter kinds can be added");
        return E_INVALIDARG;
    }
    std::lock_guard lock(mutex_);
    const std::u16string given = name ? std::u16string(name) : std::u16string();
    return AddFilterLocked(ours, name ? &given : nullptr);
}

HRESULT FilterGraph::RemoveFilterLocked(Filter* filter) {
    if (!HasFilter(filter)) return VFW_E_NOT_IN_GRAPH;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    filter->DisconnectAll();
    filters_.erase(std::find(filters_.begin(), filters_.end(), filter));
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->Release();
    return S_OK;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filter) {
    if (!filter) return E_POINTER;
    std::lock_guard lock(mutex_);
    return RemoveFilterLocked(Filter::From(filter));
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** filters) {
    if (!filters) return E_POINTER;
    std::lock_guard lock(mutex_);
    *filters = MakeFilterEnumerator(std::vector<IBaseFilter*>(filters_.begin(), filters_.end()));
    return S_OK;
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter) {
    if (!name || !filter) return E_POINTER;
    std::lock_guard lock(mutex_);
    *filter = nullptr;
    for (Filter* f : filters_) {
        if (f->name() == name) {
            *filter = f;
            f->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::RenderLocked(Pin& output) {
    if (!HasFilter(&output.owner())) return VFW_E_NOT_IN_GRAPH;
    if (output.direction() != PINDIR_OUTPUT) return E_INVALIDARG;
    if (output.peer()) return VFW_E_ALREADY_CONNECTED;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    // A renderer already in the graph with a free input is used first.
    for (Filter* filter : filters_) {
        auto* renderer = dynamic_cast<AudioRenderer*>(filter);
        if (renderer && !renderer->input().peer()) return Pin::Connect(output, renderer->input());
    }
    AudioRenderer* renderer = AudioRenderer::Create();
    HRESULT hr = AddFilterLocked(renderer, nullptr);
    if (SUCCEEDED(hr)) {
        hr = Pin::Connect(output, renderer->input());
        if (FAILED(hr)) RemoveFilterLocked(renderer);
    }
    renderer->Release();
    return hr;
}

HRESULT FilterGraph::Render(IPin* output) {
    if (!output) return E_POINTER;
    void* impl = nullptr;
    if (FAILED(output->QueryInterface(IID_PinImpl, &impl))) return E_INVALIDARG;
    Pin* pin = static_cast<Pin*>(static_cast<IPin*>(impl));
    std::lock_guard lock(mutex_);
    const HRESULT hr = RenderLocked(*pin);
    pin->Release();
    return hr;
}

HRESULT FilterGraph::AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) {
    if (!file || !filter) return E_POINTER;
    *filter = nullptr;
    SourceFilter* source = nullptr;
    const HRESULT opened = SourceFilter::Open(file, &source);
    if (FAILED(opened)) return opened;
    std::lock_guard lock(mutex_);
    const std::u16string name = filterName ? std::u16string(filterName) : std::u16string(file);
    const HRESULT hr = AddFilterLocked(source, &name);
    if (FAILED(hr)) {
        source->Release();
        return hr;
    }
    *filter = source;  // the creation reference goes to the caller
    return S_OK;
}

HRESULT FilterGraph::RenderFile(LPCWSTR file, LPCWSTR /*playlist*/) {
    if (!file) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    IBaseFilter* added = nullptr;
    HRESULT hr = AddSourceFilter(file, file, &added);
    if (FAILED(hr)) return hr;
    auto* source = static_cast<SourceFilter*>(Filter::From(added));
    hr = RenderLocked(*source->Pins()[0]);
    if (FAILED(hr)) {
        Complain("cannot render the sound file (0x%08X)", static_cast<unsigned>(hr));
        RemoveFilterLocked(source);
    }
    added->Release();
    return FAILED(hr) ? hr : S_OK;
}

std::vector<AudioRenderer*> FilterGraph::RenderersWithStream() {
    std::vector<AudioRenderer*> list;
    for (Filter* filter : filters_) {
        auto* renderer = dynamic_cast<AudioRenderer*>(filter);
        if (renderer && renderer->HasStream()) list.push_back(renderer);
    }
    return list;
}

// ---------------------------------------------------------------------------
// Playback

uint64_t FilterGraph::BeginRun(size_t streams) {
    std::lock_guard lock(eventMutex_);
    streamsRunning_ = streams;
    streamsComplete_ = 0;
    return ++run_;
}

void FilterGraph::OnStreamComplete(uint64_t run) {
    {
        std::lock_guard lock(eventMutex_);
        if (run != run_ || streamsComplete_ >= streamsRunning_) return;
        if (++streamsComplete_ < streamsRunning_) return;
    }
    QueueEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT FilterGraph::Run() {
    std::lock_guard lock(mutex_);
    const std::vector<AudioRenderer*> renderers = RenderersWithStream();
    const uint64_t run = BeginRun(renderers.size());
    state_ = State_Running;
    for (AudioRenderer* renderer : renderers) renderer->Run(run);
    return S_OK;
}

HRESULT FilterGraph::Pause() {
    std::lock_guard lock(mutex_);
    for (AudioRenderer* renderer : RenderersWithStream()) renderer->Stop();
    state_ = State_Paused;
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    std::lock_guard lock(mutex_);
    for (AudioRenderer* renderer : RenderersWithStream()) renderer->Stop();
    state_ = State_Stopped;
    return S_OK;
}

HRESULT FilterGraph::GetState(LONG, OAFilterState* state) {
    if (!state) return E_POINTER;
    std::lock_guard lock(mutex_);
    *state = state_;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Positions: those of the first connected stream; changes go to every one.

HRESULT FilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop) {
    std::lock_guard lock(mutex_);
    for (AudioRenderer* renderer : RenderersWithStream()) {
        LONGLONG position, stopFrame, frames;
        int rate;
        if (!renderer->GetPositions(&position, &stopFrame, &frames, &rate)) continue;
        if (current) *current = FramesToTime(position, rate);
        if (stop) *stop = FramesToTime(stopFrame, rate);
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetCurrentPosition(LONGLONG* current) {
    if (!current) return E_POINTER;
    return GetPositions(current, nullptr);
}

HRESULT FilterGraph::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    return GetPositions(nullptr, stop);
}

HRESULT FilterGraph::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    std::lock_guard lock(mutex_);
    for (AudioRenderer* renderer : RenderersWithStream()) {
        LONGLONG position, stopFrame, frames;
        int rate;
        if (!renderer->GetPositions(&position, &stopFrame, &frames, &rate)) continue;
        *duration = FramesToTime(frames, rate);
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT FilterGraph::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    const DWORD currentHow = currentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
    if ((currentHow != AM_SEEKING_NoPositioning && !current) || (stopHow != AM_SEEKING_NoPositioning && !stop))
        return E_POINTER;
    if (currentHow == AM_SEEKING_IncrementalPositioning) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    const std::vector<AudioRenderer*> renderers = RenderersWithStream();
    if (renderers.empty()) return E_NOTIMPL;
    const uint64_t run = state_ == State_Running ? BeginRun(renderers.size()) : 0;
    HRESULT result = S_OK;
    bool first = true;
    for (AudioRenderer* renderer : renderers) {
        LONGLONG position, stopFrame, frames;
        int rate;
        if (!renderer->GetPositions(&position, &stopFrame, &frames, &rate)) continue;
        const LONGLONG nowTime = FramesToTime(position, rate);
        const LONGLONG stopTime = FramesToTime(stopFrame, rate);
        LONGLONG newCurrent = nowTime;
        if (currentHow == AM_SEEKING_AbsolutePositioning) newCurrent = *current;
        if (currentHow == AM_SEEKING_RelativePositioning) newCurrent = nowTime + *current;
        LONGLONG newStop = stopTime;
        if (stopHow == AM_SEEKING_AbsolutePositioning) newStop = *stop;
        if (stopHow == AM_SEEKING_RelativePositioning) newStop = stopTime + *stop;
        if (stopHow == AM_SEEKING_IncrementalPositioning) newStop = newCurrent + *stop;
        const LONGLONG currentFrame = TimeToFrames(newCurrent, rate, frames);
        const LONGLONG stopAt = TimeToFrames(newStop, rate, frames);
        if (!renderer->Seek(currentHow != AM_SEEKING_NoPositioning ? &currentFrame : nullptr,
                            stopHow != AM_SEEKING_NoPositioning ? &stopAt : nullptr, run))
            result = E_FAIL;
        if (first) {
            first = false;
            if ((currentFlags & AM_SEEKING_ReturnTime) && current) *current = FramesToTime(currentFrame, rate);
            if ((stopFlags & AM_SEEKING_ReturnTime) && stop) *stop = FramesToTime(stopAt, rate);
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Events

void FilterGraph::QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    HWND window;
    UINT message;
    LONG_PTR data;
    bool notify;
    const EventPoster poster = g_poster;
    {
        std::lock_guard lock(eventMutex_);
        window = notifyWindow_;
        message = notifyMessage_;
        data = notifyData_;
        notify = window && (notifyFlags_ & AM_MEDIAEVENT_NONOTIFY) == 0;
        // Said before the event can be taken, so the complaint is never
        // behind the event it is about.
        if (notify && !poster)
            Complain("ERROR: no event poster is set: event %d stays queued for GetEvent, but window %p is NOT told",
                     static_cast<int>(code), static_cast<void*>(window));
        events_.push_back({code, param1, param2});
    }
    eventReady_.notify_all();
    // Posted after queueing: the window's handler takes the event with GetEvent.
    if (notify && poster && !poster(window, message, 0, data))
        Complain("ERROR: posting event %d to window %p failed; it stays queued for GetEvent",
                 static_cast<int>(code), static_cast<void*>(window));
}

HRESULT FilterGraph::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) {
    if (!code || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(eventMutex_);
    auto pending = [this] { return !events_.empty(); };
    if (msTimeout < 0)
        eventReady_.wait(lock, pending);
    else if (!eventReady_.wait_for(lock, std::chrono::milliseconds(msTimeout), pending)) {
        *code = 0;
        *param1 = *param2 = 0;
        return E_ABORT;
    }
    const Event event = events_.front();
    events_.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR) {
    // No event of this graph carries allocated parameters.
    return S_OK;
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND window, LONG msg, LONG_PTR instanceData) {
    std::lock_guard lock(eventMutex_);
    notifyWindow_ = reinterpret_cast<HWND>(window);
    notifyMessage_ = static_cast<UINT>(msg);
    notifyData_ = instanceData;
    return S_OK;
}

HRESULT FilterGraph::SetNotifyFlags(LONG flags) {
    if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
    std::lock_guard lock(eventMutex_);
    notifyFlags_ = flags;
    return S_OK;
}

HRESULT FilterGraph::GetNotifyFlags(LONG* flags) {
    if (!flags) return E_POINTER;
    std::lock_guard lock(eventMutex_);
    *flags = notifyFlags_;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Volume and balance apply to every renderer, present and future.

void FilterGraph::ApplyGains() {
    const float volume = Attenuation(volume_);
    const float left = volume * (balance_ > 0 ? Attenuation(-balance_) : 1.0f);
    const float right = volume * (balance_ < 0 ? Attenuation(balance_) : 1.0f);
    for (Filter* filter : filters_)
        if (auto* renderer = dynamic_cast<AudioRenderer*>(filter)) renderer->SetGains(left, right);
}

HRESULT FilterGraph::put_Volume(LONG volume) {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    volume_ = volume;
    ApplyGains();
    return S_OK;
}

HRESULT FilterGraph::get_Volume(LONG* volume) {
    if (!volume) return E_POINTER;
    std::lock_guard lock(mutex_);
    *volume = volume_;
    return S_OK;
}

HRESULT FilterGraph::put_Balance(LONG balance) {
    if (balance < -10000 || balance > 10000) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    balance_ = balance;
    ApplyGains();
    return S_OK;
}

HRESULT FilterGraph::get_Balance(LONG* balance) {
    if (!balance) return E_POINTER;
    std::lock_guard lock(mutex_);
    *balance = balance_;
    return S_OK;
}

}  // namespace tessaloom::dshow
