#include "tools/scene_builder/sound_builder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "document/sound_item.h"
#include "platform/dshow/sound_encoder.h"

namespace tessaloom::scene_builder {
namespace {

constexpr float kPi = 3.14159265358979f;

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

float Frequency(float semitonesFromA4) { return 440.0f * std::pow(2.0f, semitonesFromA4 / 12.0f); }

// A chord of slightly detuned voices (each a sine with a soft octave), swelling
// in over a third of the sound and out over the last third, with a slow
// tremolo; the voices spread across the two channels.
void Pad(std::vector<float>& out, size_t frames) {
    // F major seven over a low F: F2, C3, A3, E4, G4.
    const float notes[] = {-28.0f, -21.0f, -12.0f, -5.0f, -2.0f};
    const int voices = static_cast<int>(sizeof notes / sizeof notes[0]);
    const float seconds = static_cast<float>(frames) / kSoundRate;
    for (size_t i = 0; i < frames; ++i) {
        const float t = static_cast<float>(i) / kSoundRate;
        const float rise = std::min(1.0f, t / (seconds / 3.0f));
        const float fall = std::min(1.0f, (seconds - t) / (seconds / 3.0f));
        const float envelope = std::sin(0.5f * kPi * std::min(rise, fall));
        const float tremolo = 0.85f + 0.15f * std::sin(2.0f * kPi * 0.25f * t);
        float left = 0.0f, right = 0.0f;
        for (int v = 0; v < voices; ++v) {
            const float f = Frequency(notes[v]);
            const float detune = 1.0f + 0.0015f * static_cast<float>(v - 2);
            const float s = std::sin(2.0f * kPi * f * detune * t) + 0.25f * std::sin(2.0f * kPi * 2.0f * f * t + 0.3f * v);
            const float pan = static_cast<float>(v) / static_cast<float>(voices - 1);
            left += s * (1.0f - 0.6f * pan);
            right += s * (0.4f + 0.6f * pan);
        }
        const float gain = 0.12f * envelope * tremolo;
        out[2 * i] = left * gain;
        out[2 * i + 1] = right * gain;
    }
}

// Strikes on a pentatonic scale at uneven intervals, each a bell of three
// inharmonic partials ringing out, placed across the two channels; the
// strikes stop a second and a half before the end so the last one fades.
void Chimes(std::vector<float>& out, size_t frames) {
    const float scale[] = {3.0f, 5.0f, 7.0f, 10.0f, 12.0f, 15.0f, 17.0f, 19.0f};  // C, D, E, G, A from C5 up
    uint32_t state = 1;
    auto next = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFFu;
    };
    const size_t stop = frames > static_cast<size_t>(1.5f * kSoundRate) ? frames - static_cast<size_t>(1.5f * kSoundRate) : 0;
    for (size_t at = static_cast<size_t>(0.1f * kSoundRate); at < stop;
         at += static_cast<size_t>((0.25f + 0.5f * static_cast<float>(next()) / 32767.0f) * kSoundRate)) {
        const float f = Frequency(scale[next() % 8]);
        const float pan = static_cast<float>(next()) / 32767.0f;
        const float loud = 0.10f + 0.08f * static_cast<float>(next()) / 32767.0f;
        const float partials[3][3] = {{1.0f, 1.0f, 1.6f}, {2.76f, 0.35f, 3.5f}, {5.40f, 0.12f, 6.0f}};  // ratio, level, decay
        for (size_t i = at; i < frames; ++i) {
            const float t = static_cast<float>(i - at) / kSoundRate;
            if (t > 4.0f) break;
            const float attack = std::min(1.0f, t / 0.004f);
            float s = 0.0f;
            for (const auto& p : partials) s += p[1] * std::exp(-p[2] * t) * std::sin(2.0f * kPi * f * p[0] * t);
            s *= loud * attack;
            out[2 * i] += s * (1.0f - 0.7f * pan);
            out[2 * i + 1] += s * (0.3f + 0.7f * pan);
        }
    }
    for (float& s : out) s = std::tanh(s);
}

}  // namespace

bool ParseSoundStatement(const std::vector<std::string>& words, SoundSpec& out, std::string* error) {
    const std::string usage = "expected: sound NAME pad|chimes SECONDS [ogg|flac]";
    if (words.size() < 3 || words.size() > 4) return Fail(error, usage);
    SoundSpec s;
    s.name = words[0];
    s.kind = words[1];
    if (s.kind != "pad" && s.kind != "chimes") return Fail(error, "no sound kind '" + s.kind + "' (pad or chimes)");
    const std::string& n = words[2];
    if (n.empty() || n.size() > 2 || n.find_first_not_of("0123456789") != std::string::npos)
        return Fail(error, "a sound lasts 1 to 60 whole seconds");
    s.seconds = static_cast<unsigned>(std::stoul(n));
    if (s.seconds < 1 || s.seconds > 60) return Fail(error, "a sound lasts 1 to 60 whole seconds");
    if (words.size() == 4) s.format = words[3];
    if (s.format != "ogg" && s.format != "flac") return Fail(error, "no sound format '" + s.format + "' (ogg or flac)");
    for (char c : s.name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return Fail(error, "a sound's name is letters, digits, '-' and '_'");
    out = s;
    return true;
}

std::vector<float> SynthesiseSound(const SoundSpec& spec) {
    const size_t frames = static_cast<size_t>(spec.seconds) * kSoundRate;
    std::vector<float> out(2 * frames, 0.0f);
    if (spec.kind == "pad") Pad(out, frames);
    else Chimes(out, frames);
    return out;
}

DS_AudioFile* MakeSoundItem(const SoundSpec& spec, std::string* error) {
    std::vector<uint8_t> bytes;
    const bool flac = spec.format == "flac";
    if (!dshow::EncodeSoundFile(flac ? dshow::SoundFileFormat::kFlac : dshow::SoundFileFormat::kOggVorbis, kSoundRate,
                                2, SynthesiseSound(spec), bytes)) {
        Fail(error, "sound '" + spec.name + "' cannot be encoded as " + spec.format);
        return nullptr;
    }
    auto item = std::make_unique<DS_AudioFile>();
    item->name = std::u16string(spec.name.begin(), spec.name.end());
    const std::string path = "C:\\Tessaloom\\Music\\" + spec.name + (flac ? ".flac" : ".ogg");
    item->file.path = std::u16string(path.begin(), path.end());
    item->file.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
    return item.release();
}

}  // namespace tessaloom::scene_builder
