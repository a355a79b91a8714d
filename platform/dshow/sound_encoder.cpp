#include "platform/dshow/sound_encoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace tessaloom::dshow {
namespace {

// libsndfile's virtual I/O over a growing byte vector.
struct MemoryFile {
    std::vector<uint8_t>* bytes;
    sf_count_t position = 0;
};

sf_count_t Length(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes->size()); }

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(f->bytes->size());
    sf_count_t to = whence == SEEK_SET ? offset : whence == SEEK_CUR ? f->position + offset : size + offset;
    if (to < 0) return -1;
    f->position = to;
    return to;
}

sf_count_t Read(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(f->bytes->size());
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - f->position));
    if (n > 0) std::memcpy(ptr, f->bytes->data() + f->position, static_cast<size_t>(n));
    f->position += n;
    return n;
}

sf_count_t Write(const void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const size_t end = static_cast<size_t>(f->position + count);
    if (end > f->bytes->size()) f->bytes->resize(end);
    std::memcpy(f->bytes->data() + f->position, ptr, static_cast<size_t>(count));
    f->position += count;
    return count;
}

sf_count_t Tell(void* user) { return static_cast<MemoryFile*>(user)->position; }

// The Ogg page checksum: CRC-32 with polynomial 0x04C11DB7, no reflection,
// initial value 0, over the page with its checksum field zero.
uint32_t OggCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// libsndfile gives each Ogg stream a random serial number; the same samples
// should make the same file, so every page gets serial number 1 and its
// checksum again.  False when the bytes are not a chain of whole pages.
bool FixOggSerial(std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 27 || std::memcmp(&bytes[at], "OggS", 4) != 0) return false;
        const size_t segments = bytes[at + 26];
        if (bytes.size() - at < 27 + segments) return false;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += bytes[at + 27 + i];
        const size_t size = 27 + segments + body;
        if (bytes.size() - at < size) return false;
        uint8_t* page = &bytes[at];
        const uint8_t serial[4] = {1, 0, 0, 0};
        std::memcpy(page + 14, serial, 4);
        std::memset(page + 22, 0, 4);
        const uint32_t crc = OggCrc(page, size);
        for (int i = 0; i < 4; ++i) page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
        at += size;
    }
    return true;
}

}  // namespace

bool EncodeSoundFile(SoundFileFormat format, int rate, int channels, const std::vector<float>& interleaved,
                     std::vector<uint8_t>& out) {
    out.clear();
    if (rate <= 0 || channels <= 0 || interleaved.empty() || interleaved.size() % static_cast<size_t>(channels) != 0)
        return false;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format == SoundFileFormat::kFlac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
                                                   : (SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    if (!sf_format_check(&info)) return false;
    SF_VIRTUAL_IO io{&Length, &Seek, &Read, &Write, &Tell};
    MemoryFile file{&out};
    SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sound) return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<size_t>(channels));
    const bool written = sf_writef_float(sound, interleaved.data(), frames) == frames;
    const bool closed = sf_close(sound) == 0;
    if (!written || !closed || (format == SoundFileFormat::kOggVorbis && !FixOggSerial(out))) out.clear();
    return !out.empty();
}

}  // namespace tessaloom::dshow
