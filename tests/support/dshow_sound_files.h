// Sound files made for the sound-graph tests with libsndfile, in a
// temporary folder that goes with the fixture.
#pragma once

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dshow_test {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tessaloom-dshow.XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `frames` frames of `channels` channels; sample(frame, channel).
// Returns false when libsndfile cannot write this format.
inline bool WriteSound(const std::string& path, int format, int rate, int channels, int frames,
                       const std::function<float(int, int)>& sample) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<float> data(static_cast<size_t>(frames) * channels);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) data[static_cast<size_t>(f) * channels + c] = sample(f, c);
    const sf_count_t written = sf_writef_float(file, data.data(), frames);
    sf_close(file);
    return written == frames;
}

inline bool WriteConstantWav(const std::string& path, int rate, int frames, float value, int channels = 2) {
    return WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, channels, frames,
                      [value](int, int) { return value; });
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace dshow_test
