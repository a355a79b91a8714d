#include "host/audio_graph.h"

#include <cstdio>
#include <vector>

#include "platform/com/objbase.h"

int g_SoundVolume = 100;

namespace {

IGraphBuilder* g_graph = nullptr;
IMediaControl* g_control = nullptr;
IMediaSeeking* g_seeking = nullptr;
IMediaEventEx* g_events = nullptr;
IBasicAudio* g_audio = nullptr;
// The source filter of the sound playing now.  It is removed from the graph
// when the next sound's source is added, so the graph keeps one source and
// no file stays open behind the one that plays.
IBaseFilter* g_currentSource = nullptr;
bool g_comStarted = false;

template <typename T>
void ReleaseAndClear(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Takes the previous sound's source out of the graph (the graph is stopped).
void DropPreviousSource(IBaseFilter* next) {
    if (!g_currentSource || g_currentSource == next) return;
    if (g_graph) g_graph->RemoveFilter(g_currentSource);
    ReleaseAndClear(g_currentSource);
}

}  // namespace

int InitAudioGraph(HWND window) {
    // A graph built before goes first: building again must not keep the
    // earlier graph, its renderer and its sound thread alive behind the new one.
    ReleaseAudioGraph();
    if (FAILED(CoInitialize(nullptr))) return 0;
    g_comStarted = true;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IGraphBuilder, reinterpret_cast<void**>(&g_graph)))) {
        g_graph = nullptr;
        return 0;
    }
    if (FAILED(g_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g_control)))) {
        g_control = nullptr;
        return 0;
    }
    if (FAILED(g_graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&g_seeking)))) {
        g_seeking = nullptr;
        return 0;
    }
    if (FAILED(g_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&g_events)))) {
        g_events = nullptr;
        return 0;
    }
    if (FAILED(g_graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&g_audio)))) {
        g_audio = nullptr;
        return 0;
    }
    g_events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), static_cast<LONG>(kAudioGraphMessage), 0);
    return 1;
}

bool PlayAudioFile(const std::u16string& path) {
    IBaseFilter* source = nullptr;
    if (g_graph && FAILED(g_graph->AddSourceFilter(path.c_str(), path.c_str(), &source))) source = nullptr;
    const bool restarted = RestartAudioGraph(source);
    if (restarted) {
        if (source != g_currentSource) {
            ReleaseAndClear(g_currentSource);
            g_currentSource = source;  // keeps the reference AddSourceFilter gave
        } else if (source) {
            source->Release();
        }
        return true;
    }
    if (source) {
        // A source that could not be connected plays nothing: take it out again.
        if (g_control) g_control->Stop();
        if (g_graph) g_graph->RemoveFilter(source);
        source->Release();
    }
    if (g_control) g_control->Stop();
    return RenderAudioFile(path) != 0;
}

bool RestartAudioGraph(IBaseFilter* source) {
    if (!source) return false;
    IPin* output = nullptr;
    if (FAILED(source->FindPin(u"Output", &output)) || !output) return false;
    auto fail = [&] {
        output->Release();
        return false;
    };
    if (!g_control) return fail();
    g_control->Stop();
    if (!g_graph) return fail();
    DropPreviousSource(source);

    IEnumFilters* enumerator = nullptr;
    if (FAILED(g_graph->EnumFilters(&enumerator)) || !enumerator) return fail();
    std::vector<IBaseFilter*> filters;
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &filter, &fetched) == S_OK && fetched == 1) filters.push_back(filter);
    enumerator->Release();
    if (filters.empty()) return fail();
    // Removing and adding every filter again drops every connection and keeps the filters.
    for (IBaseFilter* f : filters) {
        g_graph->RemoveFilter(f);
        g_graph->AddFilter(f, nullptr);
        f->Release();
    }

    HRESULT rendered;
    try {
        rendered = g_graph->Render(output);
    } catch (...) {
        return fail();
    }
    output->Release();
    if (FAILED(rendered)) return false;

    LONGLONG start = 0;
    if (g_seeking) g_seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    return SUCCEEDED(g_control->Run());
}

int RenderAudioFile(const std::u16string& path) {
    if (!g_graph) return 0;
    // As on the main path, the previous sound's source leaves the graph first
    // and the new one is kept as the current source, so this way too the
    // graph holds one source and one open file.
    if (g_control) g_control->Stop();
    DropPreviousSource(nullptr);
    if (FAILED(g_graph->RenderFile(path.c_str(), nullptr))) return 0;
    // RenderFile names the source it adds after the file.
    IBaseFilter* source = nullptr;
    if (SUCCEEDED(g_graph->FindFilterByName(path.c_str(), &source))) g_currentSource = source;
    if (!g_control || FAILED(g_control->Run())) return 0;
    return 1;
}

void SetAudioVolume(bool mute) {
    if (!g_audio) return;
    if (mute) {
        g_audio->put_Volume(-10000);
        return;
    }
    const double level = (g_SoundVolume - 100) * 100 * 0.4;
    g_audio->put_Volume(static_cast<LONG>(level));
}

LONG GetAudioEvent() {
    if (!g_events) return -1;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (FAILED(g_events->GetEvent(&code, &p1, &p2, 0))) return -1;
    g_events->FreeEventParams(code, p1, p2);
    return code;
}

void ReleaseAudioGraph() {
    if (g_control) g_control->Stop();
    ReleaseAndClear(g_currentSource);
    ReleaseAndClear(g_audio);
    ReleaseAndClear(g_events);
    ReleaseAndClear(g_seeking);
    ReleaseAndClear(g_control);
    ReleaseAndClear(g_graph);
    if (g_comStarted) {
        CoUninitialize();
        g_comStarted = false;
    }
}

bool AudioGraphExists() { return g_graph != nullptr; }
