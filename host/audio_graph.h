// The background music graph: one filter graph that plays the scene's sound
// files one after another in full-screen and test modes.  The end of a sound
// reaches the saver window as WM_APP (lParam 0), handled on the saver thread.
// Once released (at the first device loss) the graph is never built again and
// every operation below finds nothing to do.
#pragma once

#include <string>

#include "platform/dshow/dshow.h"
#include "platform/win32/types.h"

// The message the graph posts to the saver window.
constexpr UINT kAudioGraphMessage = 0x8000;  // WM_APP

// Process-wide sound volume, 0 to 100 (the registry's "SoundVolume"; 100 at start).
extern int g_SoundVolume;

// Builds the graph and points its events at `window`: 1 on success, 0 on any
// failure (the pieces obtained so far are kept and used).
int InitAudioGraph(HWND window);

// Plays `path` from its start, replacing what plays.  Returns whether either
// way of playing started the file, so a playlist can move on past a file that
// cannot be played.
bool PlayAudioFile(const std::u16string& path);

// The main way of playing: reconnects the graph to `source`'s "Output" pin,
// rewinds and runs.  False at the first missing piece or failed step.
bool RestartAudioGraph(IBaseFilter* source);

// The fall-back way of playing: renders the file afresh and runs.  1 when the
// file was rendered and runs, 0 otherwise (also without a graph).
int RenderAudioFile(const std::u16string& path);

// Muted: silence; otherwise (volume - 100) * 100 * 0.4 hundredths of a decibel.
void SetAudioVolume(bool mute);

// Takes one pending event: its code, or -1 when none could be taken.
LONG GetAudioEvent();

// Releases every interface of the graph (and the source it plays).
void ReleaseAudioGraph();

// Whether the graph exists (between InitAudioGraph and ReleaseAudioGraph).
bool AudioGraphExists();
