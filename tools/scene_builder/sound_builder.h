// The music of a scene source: sound items synthesised here and encoded with
// libsndfile (through platform/dshow), stored in the document's sound list,
// which the saver plays in order.
//
//   sound NAME KIND SECONDS [FORMAT]
//       KIND "pad" (a soft chord swelling in and out) or "chimes" (wind
//       chimes on a pentatonic scale, ringing out); SECONDS from 1 to 60;
//       FORMAT "ogg" (Ogg Vorbis, the default) or "flac"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DS_AudioFile;

namespace tessaloom::scene_builder {

struct SoundSpec {
    std::string name;
    std::string kind;
    unsigned seconds = 0;
    std::string format = "ogg";
};

constexpr int kSoundRate = 22050;

// The words after "sound".  False with a message for a malformed statement.
bool ParseSoundStatement(const std::vector<std::string>& words, SoundSpec& out, std::string* error);

// Stereo frames of the sound, interleaved, at kSoundRate, within -1..1.
std::vector<float> SynthesiseSound(const SoundSpec& spec);

// The item the document stores: the encoded file under an authoring path
// named after the sound.  Null (with a message) when it cannot be encoded.
DS_AudioFile* MakeSoundItem(const SoundSpec& spec, std::string* error);

}  // namespace tessaloom::scene_builder
