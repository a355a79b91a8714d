// The DirectShow filter graph: one graph plays sound files through a source
// filter (decoding with libsndfile: WAV, FLAC, Ogg Vorbis, MP3) and an audio
// renderer (SDL audio, on SDL's own thread; with no sound device SDL's dummy
// driver, and failing that a thread of its own, keeps real-time pace so
// that completion events still come when they would).  Only the interfaces and methods
// below exist; each does what DirectShow documents for it.
//
// Class and interface identifiers are our own values: nothing stored or
// exchanged with another program depends on them.
#pragma once

#include "platform/com/cocreate.h"
#include "platform/com/unknwn.h"

// Media time: 100-nanosecond units.
using REFERENCE_TIME = LONGLONG;
using OAHWND = LONG_PTR;
using OAFilterState = LONG;

// {D2ADD4EB-E78F-4EDB-8E52-663CE5CF223D}
inline constexpr CLSID CLSID_FilterGraph = {0xD2ADD4EB, 0xE78F, 0x4EDB, {0x8E, 0x52, 0x66, 0x3C, 0xE5, 0xCF, 0x22, 0x3D}};
// {7F4BE71B-376D-40FB-BC89-AA5FC6626E40}
inline constexpr CLSID CLSID_AudioRender = {0x7F4BE71B, 0x376D, 0x40FB, {0xBC, 0x89, 0xAA, 0x5F, 0xC6, 0x62, 0x6E, 0x40}};
// {5811EA2E-A365-4159-91BF-0688A3C8BEDE}
inline constexpr CLSID CLSID_SoundFileSource = {0x5811EA2E, 0xA365, 0x4159, {0x91, 0xBF, 0x06, 0x88, 0xA3, 0xC8, 0xBE, 0xDE}};
// {8996ED52-E0F1-4D99-B87B-E78454CD7428}
inline constexpr IID IID_IPin = {0x8996ED52, 0xE0F1, 0x4D99, {0xB8, 0x7B, 0xE7, 0x84, 0x54, 0xCD, 0x74, 0x28}};
// {B276292F-0650-411E-8095-DA4086412726}
inline constexpr IID IID_IEnumPins = {0xB276292F, 0x0650, 0x411E, {0x80, 0x95, 0xDA, 0x40, 0x86, 0x41, 0x27, 0x26}};
// {0187E80F-474F-49B9-9778-A0C220E17219}
inline constexpr IID IID_IEnumFilters = {0x0187E80F, 0x474F, 0x49B9, {0x97, 0x78, 0xA0, 0xC2, 0x20, 0xE1, 0x72, 0x19}};
// {DBCD6EAD-6756-404C-BF7B-B1689B9B1DED}
inline constexpr IID IID_IPersist = {0xDBCD6EAD, 0x6756, 0x404C, {0xBF, 0x7B, 0xB1, 0x68, 0x9B, 0x9B, 0x1D, 0xED}};
// {ABC16FEB-0E0F-45FA-B948-D6B7D9E79662}
inline constexpr IID IID_IBaseFilter = {0xABC16FEB, 0x0E0F, 0x45FA, {0xB9, 0x48, 0xD6, 0xB7, 0xD9, 0xE7, 0x96, 0x62}};
// {499723A9-413B-41DD-A724-815A4B49DAE4}
inline constexpr IID IID_IFilterGraph = {0x499723A9, 0x413B, 0x41DD, {0xA7, 0x24, 0x81, 0x5A, 0x4B, 0x49, 0xDA, 0xE4}};
// {83C2121A-BA6D-4D1E-9CEF-2A2C2A4C6C02}
inline constexpr IID IID_IGraphBuilder = {0x83C2121A, 0xBA6D, 0x4D1E, {0x9C, 0xEF, 0x2A, 0x2C, 0x2A, 0x4C, 0x6C, 0x02}};
// {49047DE9-B012-41F8-980B-4300C3D6A611}
inline constexpr IID IID_IMediaControl = {0x49047DE9, 0xB012, 0x41F8, {0x98, 0x0B, 0x43, 0x00, 0xC3, 0xD6, 0xA6, 0x11}};
// {ACAE72C7-DE3F-4D7E-A8B0-6E8088828363}
inline constexpr IID IID_IMediaSeeking = {0xACAE72C7, 0xDE3F, 0x4D7E, {0xA8, 0xB0, 0x6E, 0x80, 0x88, 0x82, 0x83, 0x63}};
// {EA109152-18E4-47B8-96C9-66358BD0F1CE}
inline constexpr IID IID_IMediaEvent = {0xEA109152, 0x18E4, 0x47B8, {0x96, 0xC9, 0x66, 0x35, 0x8B, 0xD0, 0xF1, 0xCE}};
// {134B271A-3EF9-4CF5-9BD4-8D6D08687200}
inline constexpr IID IID_IMediaEventEx = {0x134B271A, 0x3EF9, 0x4CF5, {0x9B, 0xD4, 0x8D, 0x6D, 0x08, 0x68, 0x72, 0x00}};
// {FE336D6B-BF26-4D70-BE96-1207DBC03D65}
inline constexpr IID IID_IBasicAudio = {0xFE336D6B, 0xBF26, 0x4D70, {0xBE, 0x96, 0x12, 0x07, 0xDB, 0xC0, 0x3D, 0x65}};

// Result codes (DirectShow's values).
constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = static_cast<HRESULT>(0x80040240u);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = static_cast<HRESULT>(0x80040256u);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004025Fu);
constexpr HRESULT VFW_E_UNSUPPORTED_AUDIO = static_cast<HRESULT>(0x8004025Cu);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
constexpr HRESULT DSHOW_E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);

// Event codes.
constexpr LONG EC_COMPLETE = 0x01;    // every rendered stream has played to its end; param1 = S_OK
constexpr LONG EC_ERRORABORT = 0x03;  // playback stopped on an error; param1 = the HRESULT

constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

// OAFilterState
constexpr OAFilterState State_Stopped = 0;
constexpr OAFilterState State_Paused = 1;
constexpr OAFilterState State_Running = 2;

// IMediaSeeking::SetPositions flags.
constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
constexpr DWORD AM_SEEKING_ReturnTime = 0x8;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
constexpr int MAX_PIN_NAME = 128;
constexpr int MAX_FILTER_NAME = 128;

struct IPin;
struct IBaseFilter;
struct IFilterGraph;

struct PIN_INFO {
    IBaseFilter* pFilter;  // holds a reference the caller releases
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;  // null outside a graph; else holds a reference the caller releases
};

struct IPin : IUnknown {
    // The pin this one is connected to (with a reference), or VFW_E_NOT_CONNECTED.
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;

protected:
    ~IPin() = default;
};

// Enumerators over a snapshot taken when they were made.  Next answers S_OK
// when it returned all that was asked, S_FALSE when fewer were left.
struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** copy) = 0;

protected:
    ~IEnumPins() = default;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** copy) = 0;

protected:
    ~IEnumFilters() = default;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

struct IBaseFilter : IPersist {
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    // Finds a pin by its identifier, which is its name here; VFW_E_NOT_FOUND.
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // Called by the graph when the filter joins (graph, name) or leaves (null, null) it.
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;

protected:
    ~IBaseFilter() = default;
};

struct IFilterGraph : IUnknown {
    // Adds a filter of this graph's own kinds.  A null or taken name is made
    // unique (VFW_S_DUPLICATE_NAME when the given one was taken).
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    // Disconnects every pin of the filter, then drops the graph's reference.
    // The graph must be stopped (VFW_E_NOT_STOPPED).
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;

protected:
    ~IFilterGraph() = default;
};

struct IGraphBuilder : IFilterGraph {
    // Connects an unconnected output pin to an audio renderer: one already in
    // the graph whose input is free, else a new one.  Needs a stopped graph.
    virtual HRESULT Render(IPin* output) = 0;
    // Adds a source filter for the file (named after the file) and renders it.
    // A file that cannot be opened or decoded fails and leaves no filter behind.
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playlist) = 0;
    // Opens the file with a new source filter (pin "Output") and adds it; the
    // filter returned holds a reference the caller releases.
    virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) = 0;

protected:
    ~IGraphBuilder() = default;
};

struct IMediaControl : IUnknown {
    // Plays every connected stream from its current position.  A stream at
    // its end completes at once.
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    // Stops output; the current position is kept (rewind with SetPositions).
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;

protected:
    ~IMediaControl() = default;
};

// Positions are media time (100 ns) of the connected streams.  With no
// connected stream the calls give E_NOTIMPL.  The current position is the
// decoder's, ahead of what is heard by up to one device buffer.
struct IMediaSeeking : IUnknown {
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
    virtual HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) = 0;

protected:
    ~IMediaSeeking() = default;
};

struct IMediaEvent : IUnknown {
    // Takes the oldest pending event.  msTimeout 0 does not wait; a negative
    // value (INFINITE) waits without limit.  Nothing pending: E_ABORT.
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;

protected:
    ~IMediaEvent() = default;
};

struct IMediaEventEx : IMediaEvent {
    // Each event queued from then on is also posted to the window as message
    // `msg` with wParam 0 and lParam `instanceData` (null window: no posts).
    virtual HRESULT SetNotifyWindow(OAHWND window, LONG msg, LONG_PTR instanceData) = 0;
    virtual HRESULT SetNotifyFlags(LONG flags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* flags) = 0;

protected:
    ~IMediaEventEx() = default;
};

struct IBasicAudio : IUnknown {
    // Hundredths of a decibel, -10000 (silence) to 0 (full level); the gain
    // is 10^(volume / 2000).  Out of range: E_INVALIDARG.
    virtual HRESULT put_Volume(LONG volume) = 0;
    virtual HRESULT get_Volume(LONG* volume) = 0;
    // -10000 (right channel silent) to 10000 (left silent); the value
    // attenuates the other channel in hundredths of a decibel.
    virtual HRESULT put_Balance(LONG balance) = 0;
    virtual HRESULT get_Balance(LONG* balance) = 0;

protected:
    ~IBasicAudio() = default;
};

namespace tessaloom::dshow {

// Posts a graph's event notification to its window; thread-safe, called
// from the audio thread while it holds its own locks, so it must neither
// call back into a graph nor wait for the window's thread.  Returns false
// when the message could not be posted.
using EventPoster = bool (*)(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The function every graph posts its notifications through (null: none;
// events then stay in the graph's queue and a loud error is printed).  The
// window stand-in installs one that posts to the message queue.  Returns the
// poster it replaces, so that a caller can put it back.
EventPoster SetEventPoster(EventPoster poster);

}  // namespace tessaloom::dshow
