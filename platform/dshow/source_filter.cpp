// The sound-file source: libsndfile decodes the file (WAV, FLAC, Ogg Vorbis,
// MP3 and the other formats libsndfile reads) into float frames.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/dshow/graph_internal.h"
#include "platform/win32/strings.h"

namespace tessaloom::dshow {

// Only a regular file is opened for decoding.  A FIFO, a device or a folder
// at a sound's path would block the reader or never end, so it is refused as
// an unplayable file.  The name is opened without blocking and the type is
// judged on the open descriptor, so the file cannot be swapped in between.
HRESULT SourceFilter::Open(const std::u16string& path, SourceFilter** filter) {
    *filter = nullptr;
    const std::string narrow = Utf16ToUtf8(path);
    const int fd = ::open(narrow.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        Complain("cannot open \"%s\": %s", narrow.c_str(), std::strerror(errno));
        return DSHOW_E_FILE_NOT_FOUND;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Complain("\"%s\" is not a regular file: not played", narrow.c_str());
        ::close(fd);
        return VFW_E_UNKNOWN_FILE_TYPE;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd when done, also on failure
    if (!file) {
        const int error = sf_error(nullptr);
        Complain("cannot open \"%s\": %s", narrow.c_str(), sf_strerror(nullptr));
        return error == SF_ERR_UNRECOGNISED_FORMAT || error == SF_ERR_MALFORMED_FILE ||
                       error == SF_ERR_UNSUPPORTED_ENCODING
                   ? VFW_E_UNKNOWN_FILE_TYPE
                   : DSHOW_E_FILE_NOT_FOUND;
    }
    if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
        Complain("\"%s\" holds no playable audio", narrow.c_str());
        sf_close(file);
        return VFW_E_UNKNOWN_FILE_TYPE;
    }
    *filter = new SourceFilter(path, file, info);
    return S_OK;
}

SourceFilter::SourceFilter(std::u16string path, SNDFILE* file, const SF_INFO& info)
    : path_(std::move(path)),
      file_(file),
      rate_(info.samplerate),
      channels_(info.channels),
      frames_(info.frames),
      stop_(info.frames) {}

SourceFilter::~SourceFilter() { sf_close(file_); }

bool SourceFilter::Seek(LONGLONG frame) {
    frame = std::clamp<LONGLONG>(frame, 0, frames_);
    if (sf_seek(file_, frame, SEEK_SET) < 0) {
        Complain("cannot seek \"%s\" to frame %lld", Utf16ToUtf8(path_).c_str(), static_cast<long long>(frame));
        return false;
    }
    position_ = frame;
    return true;
}

void SourceFilter::SetStop(LONGLONG frame) { stop_ = std::clamp<LONGLONG>(frame, 0, frames_); }

UINT SourceFilter::ReadStereo(float* out, UINT count) {
    if (position_ >= stop_) return 0;
    const UINT wanted = static_cast<UINT>(std::min<LONGLONG>(count, stop_ - position_));
    scratch_.resize(static_cast<size_t>(wanted) * channels_);
    const sf_count_t got = sf_readf_float(file_, scratch_.data(), wanted);
    const UINT n = got > 0 ? static_cast<UINT>(got) : 0;
    for (UINT i = 0; i < n; ++i) {
        const float* frame = &scratch_[static_cast<size_t>(i) * channels_];
        out[2 * i] = frame[0];
        out[2 * i + 1] = channels_ > 1 ? frame[1] : frame[0];
    }
    position_ += n;
    // A decoder that ends before the length it announced ends the stream there.
    if (n < wanted) stop_ = position_;
    return n;
}

}  // namespace tessaloom::dshow
