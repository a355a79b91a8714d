// Sound files written from samples, for the build-time tools that make the
// sounds a scene document carries: libsndfile encodes float frames into a
// FLAC or Ogg Vorbis file held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaloom::dshow {

enum class SoundFileFormat { kFlac, kOggVorbis };

// `interleaved` holds frames of `channels` samples in -1..1.  False (with
// `out` empty) when libsndfile cannot encode the format or the samples.
bool EncodeSoundFile(SoundFileFormat format, int rate, int channels, const std::vector<float>& interleaved,
                     std::vector<uint8_t>& out);

}  // namespace tessaloom::dshow
