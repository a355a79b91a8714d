// Pins, the filter base, enumerators and the graph's shared helpers.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/dshow/graph_internal.h"

namespace tessaloom::dshow {
namespace {

std::atomic<int> g_liveObjects{0};
std::atomic<bool> g_fastClock{false};
std::mutex g_tapMutex;
test::OutputTap g_tap = nullptr;
void* g_tapContext = nullptr;

// An enumerator over a snapshot of interface pointers, each holding a reference.
template <typename Interface, typename Item>
class Enumerator final : public ComObject<Interface> {
public:
    explicit Enumerator(std::vector<Item*> items, size_t next = 0) : items_(std::move(items)), next_(next) {
        for (Item* item : items_) item->AddRef();
        CountObject(+1);
    }

    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override {
        if (!out || (!fetched && count != 1)) return E_POINTER;
        ULONG n = 0;
        while (n < count && next_ < items_.size()) {
            out[n] = items_[next_++];
            out[n]->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        const size_t left = items_.size() - next_;
        if (count > left) {
            next_ = items_.size();
            return S_FALSE;
        }
        next_ += count;
        return S_OK;
    }
    HRESULT Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT Clone(Interface** copy) override {
        if (!copy) return E_POINTER;
        *copy = new Enumerator(items_, next_);
        return S_OK;
    }

private:
    ~Enumerator() override {
        for (Item* item : items_) item->Release();
        CountObject(-1);
    }

    std::vector<Item*> items_;
    size_t next_;
};

}  // namespace

IEnumFilters* MakeFilterEnumerator(std::vector<IBaseFilter*> filters) {
    return new Enumerator<IEnumFilters, IBaseFilter>(std::move(filters));
}

void Complain(const char* format, ...) {
    std::fputs("tessaloom sound graph: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

void CountObject(int delta) { g_liveObjects += delta; }
bool FastClockOn() { return g_fastClock; }

void Tap(const float* samples, UINT frames, UINT rate) {
    if (frames == 0) return;
    std::lock_guard lock(g_tapMutex);
    if (g_tap) g_tap(g_tapContext, samples, frames, rate);
}

void CopyName(const std::u16string& name, WCHAR* out, size_t capacity) {
    const size_t n = std::min(name.size(), capacity - 1);
    std::copy_n(name.data(), n, out);
    out[n] = 0;
}

// ---------------------------------------------------------------------------
// Pin

void* Pin::QueryOther(REFIID iid) { return iid == IID_PinImpl ? static_cast<IPin*>(this) : nullptr; }

ULONG Pin::AddRef() { return owner_.AddRef(); }
ULONG Pin::Release() { return owner_.Release(); }

HRESULT Pin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = peer_;
    if (!peer_) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = &owner_;
    owner_.AddRef();
    info->dir = direction_;
    CopyName(name_, info->achName, MAX_PIN_NAME);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT Pin::Connect(Pin& output, Pin& input) {
    if (output.direction_ != PINDIR_OUTPUT || input.direction_ != PINDIR_INPUT) return E_INVALIDARG;
    if (output.peer_ || input.peer_) return VFW_E_ALREADY_CONNECTED;
    const HRESULT hr = input.owner_.OnInputConnected(input, output);
    if (FAILED(hr)) return hr;
    output.peer_ = &input;
    input.peer_ = &output;
    input.AddRef();
    output.AddRef();
    return S_OK;
}

void Pin::Disconnect() {
    Pin* peer = peer_;
    if (!peer) return;
    Pin& input = direction_ == PINDIR_INPUT ? *this : *peer;
    input.owner_.OnInputDisconnected(input);
    peer_ = nullptr;
    peer->peer_ = nullptr;
    // Each side held a reference to the other; either release may end a filter.
    peer->Release();
    Release();
}

// ---------------------------------------------------------------------------
// Filter

Filter::Filter() { CountObject(+1); }
Filter::~Filter() { CountObject(-1); }

Filter* Filter::From(IBaseFilter* filter) {
    if (!filter) return nullptr;
    void* impl = nullptr;
    if (FAILED(filter->QueryInterface(IID_FilterImpl, &impl))) return nullptr;
    auto* ours = static_cast<Filter*>(static_cast<IBaseFilter*>(impl));
    ours->Release();
    return ours;
}

void* Filter::QueryOther(REFIID iid) { return iid == IID_FilterImpl ? static_cast<IBaseFilter*>(this) : nullptr; }

HRESULT Filter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = ClassId();
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    std::vector<IPin*> list;
    for (Pin* pin : Pins()) list.push_back(pin);
    *pins = new Enumerator<IEnumPins, IPin>(std::move(list));
    return S_OK;
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    for (Pin* candidate : Pins()) {
        if (candidate->name() == id) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    CopyName(name_, info->achName, MAX_FILTER_NAME);
    info->pGraph = graph_ ? graph_->AsFilterGraph() : nullptr;
    if (info->pGraph) info->pGraph->AddRef();
    return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    // The graph does not hold a reference from its filters: it owns them.
    graph_ = graph ? dynamic_cast<FilterGraph*>(graph) : nullptr;
    if (graph && !graph_) return E_INVALIDARG;
    name_ = graph_ && name ? std::u16string(name) : std::u16string();
    OnGraphChanged(graph_);
    return S_OK;
}

void Filter::DisconnectAll() {
    for (Pin* pin : Pins()) pin->Disconnect();
}

}  // namespace tessaloom::dshow

namespace tessaloom::dshow::test {

void SetFastClock(bool on) { g_fastClock = on; }

void SetOutputTap(OutputTap tap, void* context) {
    std::lock_guard lock(g_tapMutex);
    g_tap = tap;
    g_tapContext = context;
}

int LiveObjectCount() { return g_liveObjects; }

}  // namespace tessaloom::dshow::test
