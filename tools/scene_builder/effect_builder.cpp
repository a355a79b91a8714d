#include "tools/scene_builder/effect_builder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <istream>
#include <memory>
#include <sstream>

#include "document/res_manager.h"
#include "layers/effects/background_copy.h"
#include "layers/effects/fire_fx.h"
#include "layers/effects/light_fx.h"
#include "layers/effects/move_fx.h"
#include "layers/effects/pattern_brush.h"
#include "layers/effects/water_fx.h"
#include "layers/effects/waves_fx.h"
#include "scene/slide.h"

namespace tessaloom::scene_builder {
namespace {

constexpr float kTwoPi = 6.2831853f;

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Pictures with alpha, row 0 at the top.
struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};
struct AlphaPicture {
    int width, height;
    std::vector<Rgba> pixels;
    AlphaPicture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    Rgba& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Run-length encoded 32-bit TGA (image type 10), top-left origin, 8 alpha
// bits: masks and sparse patterns are mostly runs of one value.
std::vector<uint8_t> EncodeTga32(const AlphaPicture& p) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 10;
    out[12] = static_cast<uint8_t>(p.width & 0xFF);
    out[13] = static_cast<uint8_t>(p.width >> 8);
    out[14] = static_cast<uint8_t>(p.height & 0xFF);
    out[15] = static_cast<uint8_t>(p.height >> 8);
    out[16] = 32;
    out[17] = 0x28;
    auto put = [&out](const Rgba& c) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(c.a);
    };
    auto same = [](const Rgba& a, const Rgba& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; };
    // Packets never cross a row.
    for (int y = 0; y < p.height; ++y) {
        const Rgba* row = &p.pixels[static_cast<size_t>(y) * p.width];
        int x = 0;
        while (x < p.width) {
            int run = 1;
            while (x + run < p.width && run < 128 && same(row[x + run], row[x])) ++run;
            if (run >= 2) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                put(row[x]);
                x += run;
                continue;
            }
            int n = 1;
            while (x + n < p.width && n < 128 && !(x + n + 1 < p.width && same(row[x + n], row[x + n + 1]))) ++n;
            out.push_back(static_cast<uint8_t>(n - 1));
            for (int i = 0; i < n; ++i) put(row[x + i]);
            x += n;
        }
    }
    return out;
}

uint8_t Byte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

float Hash(uint32_t n) {
    n = (n << 13) ^ n;
    n = n * (n * n * 15731u + 789221u) + 1376312589u;
    return static_cast<float>(n & 0x00FFFFFFu) / 16777216.0f;
}

float Smooth(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// A soft round dot added into the alpha of a tiling picture (wrapping at the edges).
void Dot(AlphaPicture& p, float cx, float cy, float radius, float strength, Rgba colour) {
    const int r = static_cast<int>(std::ceil(radius)) + 1;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const float d = std::sqrt(static_cast<float>(dx * dx + dy * dy)) / radius;
            if (d >= 1.0f) continue;
            const int x = ((static_cast<int>(std::floor(cx)) + dx) % p.width + p.width) % p.width;
            const int y = ((static_cast<int>(std::floor(cy)) + dy) % p.height + p.height) % p.height;
            Rgba& c = p.At(x, y);
            const float a = strength * (1.0f - Smooth(0.35f, 1.0f, d));
            const float old = c.a / 255.0f;
            const float now = old + a * (1.0f - old);
            c = {colour.r, colour.g, colour.b, Byte(now)};
        }
}

// Snow: flakes of three sizes, each frame one step further down the tile
// (a whole tile per cycle, so the sequence loops without a jump), drifting a
// little sideways as they fall.
AlphaPicture PaintSnow(int size, int frame, int frames) {
    AlphaPicture p(size, size);
    for (Rgba& c : p.pixels) c = {255, 255, 255, 0};
    const float fall = static_cast<float>(frame) / static_cast<float>(frames);
    for (int i = 0; i < 26; ++i) {
        const float x0 = Hash(100 + i) * size, y0 = Hash(200 + i) * size;
        const float radius = size * (0.012f + 0.022f * Hash(300 + i));
        // Large flakes are near and fall the whole tile per cycle; small ones one tile too (it must loop).
        const float y = y0 + fall * size;
        const float x = x0 + std::sin(kTwoPi * (fall + Hash(400 + i))) * size * 0.02f;
        Dot(p, x, y, radius, 0.75f + 0.25f * Hash(500 + i), {250, 252, 255, 0});
    }
    return p;
}

// Stars: small points of light, each brightening and fading on its own
// phase as the frames go round.  Nine stars to a 256-pixel tile; a larger
// tile holds more stars of the same size, so that a wide sky can be
// covered by few tiles without the stars growing.
AlphaPicture PaintStars(int size, int frame, int frames) {
    AlphaPicture p(size, size);
    for (Rgba& c : p.pixels) c = {255, 255, 255, 0};
    const float unit = static_cast<float>(std::min(size, 256));
    const int count = std::max(9, static_cast<int>(9.0f * (size / unit) * (size / unit) + 0.5f));
    for (int i = 0; i < count; ++i) {
        const float x = Hash(700 + i) * size, y = Hash(800 + i) * size;
        const float phase = Hash(900 + i) + static_cast<float>(frame) / static_cast<float>(frames);
        const float glow = 0.5f + 0.5f * std::sin(kTwoPi * phase);
        const float radius = unit * (0.015f + 0.02f * Hash(1000 + i)) * (0.6f + 0.6f * glow);
        const Rgba colour = Hash(1100 + i) < 0.5f ? Rgba{255, 246, 220, 0} : Rgba{220, 232, 255, 0};
        Dot(p, x, y, radius, 0.25f + 0.75f * glow, colour);
        // A faint cross of rays on the bright ones.
        if (glow > 0.6f)
            for (int k = -3; k <= 3; ++k) {
                Dot(p, x + k * radius * 0.7f, y, radius * 0.3f, 0.5f * glow, colour);
                Dot(p, x, y + k * radius * 0.7f, radius * 0.3f, 0.5f * glow, colour);
            }
    }
    return p;
}

// A deterministic GUID for the n-th mask of the document.
GUID MaskGuid(size_t n) {
    GUID g{};
    g.Data1 = 0x5E7A0000u + static_cast<DWORD>(n);
    g.Data2 = 0xE4FC;
    g.Data3 = 0x4D11;
    const BYTE tail[8] = {0x8A, 0x3C, 0x45, 0x66, 0x66, 0x65, 0x63, 0x74};
    std::copy(tail, tail + 8, g.Data4);
    return g;
}

DS_LinkKey SequenceKey(const SequenceSpec& s, size_t n) {
    return DS_LinkKey{u"C:\\Tessaloom\\Patterns\\" + Widen(s.id) + u"_00.tga",
                      134116128000000000LL + 500000000LL + static_cast<int64_t>(n) * 10000000LL};
}

bool ToUnsigned(const std::string& text, UINT& out) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const unsigned long long v = std::stoull(text);
    if (v > 0xFFFFFFFFull) return false;
    out = static_cast<UINT>(v);
    return true;
}

bool ToSigned(const std::string& text, INT& out) {
    const bool negative = !text.empty() && text[0] == '-';
    UINT magnitude = 0;
    if (!ToUnsigned(negative ? text.substr(1) : text, magnitude) || magnitude > 0x7FFFFFFFu) return false;
    out = negative ? -static_cast<INT>(magnitude) : static_cast<INT>(magnitude);
    return true;
}

bool ToColour(const std::string& text, DWORD& out) {
    if (text.size() < 3 || text.size() > 8 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    out = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        out = out * 16 + static_cast<DWORD>(d);
    }
    return out <= 0x00FFFFFFu;
}

// One settable value of an effect class: a raw unsigned parameter, a signed
// one or a colour.
struct Key {
    enum Kind { Raw, Signed, Colour, Sequence } kind;
    std::function<void(DS_FX_Constructor&, UINT, INT, DWORD)> set;
};

template <class T>
T& As(DS_FX_Constructor& fx) { return static_cast<T&>(fx); }

using KeyTable = std::map<std::string, Key>;

void BaseKeys(KeyTable& keys) {
    keys["speed"] = {Key::Raw, [](DS_FX_Constructor& f, UINT v, INT, DWORD) { f.speed.SetValue(v); }};
    keys["technique"] = {Key::Signed, [](DS_FX_Constructor& f, UINT, INT v, DWORD) { f.techniqueFlag.Assign(v); }};
    keys["scale"] = {Key::Raw, [](DS_FX_Constructor& f, UINT v, INT, DWORD) { f.scale.SetValue(v); }};
}

#define RAW(T, member) {Key::Raw, [](DS_FX_Constructor& f, UINT v, INT, DWORD) { As<T>(f).member.SetValue(v); }}
#define SIGNED(T, member) {Key::Signed, [](DS_FX_Constructor& f, UINT, INT v, DWORD) { As<T>(f).member.SetValue(v); }}

struct ClassInfo {
    std::function<DS_FX_Constructor*()> make;
    KeyTable keys;
};

const std::map<std::string, ClassInfo>& Classes() {
    static const std::map<std::string, ClassInfo> classes = [] {
        std::map<std::string, ClassInfo> c;
        auto pattern = [](KeyTable& k) {
            k["flipV"] = SIGNED(DS_PatternBrush, flipVertical);
            k["flipH"] = SIGNED(DS_PatternBrush, flipHorizontal);
            k["rotation"] = RAW(DS_PatternBrush, rotation);
            k["patternScale"] = RAW(DS_PatternBrush, patternScale);
            k["offsetX"] = RAW(DS_PatternBrush, offsetX);
            k["offsetY"] = RAW(DS_PatternBrush, offsetY);
            k["pattern"] = {Key::Sequence, nullptr};
        };
        c["DS_PatternBrush"].make = [] { return new DS_PatternBrush; };
        pattern(c["DS_PatternBrush"].keys);
        c["DS_PatternBrushC"].make = [] { return new DS_PatternBrushC; };
        pattern(c["DS_PatternBrushC"].keys);

        auto& copy = c["DS_BackgroundCopy"];
        copy.make = [] { return new DS_BackgroundCopy; };
        copy.keys["x"] = SIGNED(DS_BackgroundCopy, area.x);
        copy.keys["y"] = SIGNED(DS_BackgroundCopy, area.y);
        copy.keys["xFlag"] = SIGNED(DS_BackgroundCopy, xFlag);
        copy.keys["yFlag"] = SIGNED(DS_BackgroundCopy, yFlag);

        auto& waves = c["DS_WavesFX"];
        waves.make = [] { return new DS_WavesFX; };
        waves.keys["amplitude"] = RAW(DS_WavesFX, amplitude);
        waves.keys["period"] = RAW(DS_WavesFX, period);
        waves.keys["angle"] = RAW(DS_WavesFX, angle);
        waves.keys["reverse"] = SIGNED(DS_WavesFX, reverse);

        auto& light = c["DS_LightFX"];
        light.make = [] { return new DS_LightFX; };
        light.keys["amplitude"] = RAW(DS_LightFX, amplitude);
        light.keys["mode"] = SIGNED(DS_LightFX, mode);

        auto& water = c["DS_WaterFX"];
        water.make = [] { return new DS_WaterFX; };
        water.keys["pFactor"] = RAW(DS_WaterFX, pFactor);
        water.keys["bumpScale"] = RAW(DS_WaterFX, bumpScale);
        water.keys["direction2Scale"] = RAW(DS_WaterFX, direction2Scale);
        water.keys["direction1Divisor"] = RAW(DS_WaterFX, direction1Divisor);
        water.keys["angle"] = RAW(DS_WaterFX, angle);
        water.keys["shadows"] = RAW(DS_WaterFX, shadows);
        water.keys["vhalfZ"] = RAW(DS_WaterFX, vhalfZ);
        water.keys["color"] = {Key::Colour, [](DS_FX_Constructor& f, UINT, INT, DWORD v) { As<DS_WaterFX>(f).color.Assign(v); }};

        auto& move = c["DS_MoveFX"];
        move.make = [] { return new DS_MoveFX; };
        move.keys["mode"] = SIGNED(DS_MoveFX, mode);
        move.keys["strength"] = RAW(DS_MoveFX, strength);
        move.keys["angle"] = RAW(DS_MoveFX, angle);

        // The fire burns inside a rectangle of the picture (pixels): its
        // corners in strip order, the flames rising from the bottom edge.
        auto& fire = c["DS_FireFX"];
        fire.make = [] { return new DS_FireFX; };
        auto edge = [](int a, int b, bool x) {
            return Key{Key::Signed, [a, b, x](DS_FX_Constructor& f, UINT, INT v, DWORD) {
                           auto& q = As<DS_FireFX>(f).quad;
                           (x ? q.corners[a].value.x : q.corners[a].value.y) = static_cast<float>(v);
                           (x ? q.corners[b].value.x : q.corners[b].value.y) = static_cast<float>(v);
                       }};
        };
        fire.keys["left"] = edge(0, 1, true);
        fire.keys["right"] = edge(2, 3, true);
        fire.keys["top"] = edge(0, 2, false);
        fire.keys["bottom"] = edge(1, 3, false);
        fire.keys["density"] = RAW(DS_FireFX, density);
        fire.keys["brightness"] = RAW(DS_FireFX, brightness);
        fire.keys["gridScale"] = RAW(DS_FireFX, gridScale);
        fire.keys["color1"] = {Key::Colour, [](DS_FX_Constructor& f, UINT, INT, DWORD v) { As<DS_FireFX>(f).color1.Assign(v); }};
        fire.keys["color2"] = {Key::Colour, [](DS_FX_Constructor& f, UINT, INT, DWORD v) { As<DS_FireFX>(f).color2.Assign(v); }};

        for (auto& [name, info] : c) BaseKeys(info.keys);
        return c;
    }();
    return classes;
}

#undef RAW
#undef SIGNED

}  // namespace

std::vector<std::string> EffectKeys(const std::string& className) {
    std::vector<std::string> keys;
    auto it = Classes().find(className);
    if (it == Classes().end()) return keys;
    for (const auto& [key, info] : it->second.keys) keys.push_back(key);
    keys.push_back("mask");
    return keys;
}

bool ParseMask(std::istream& words, MaskSpec& out, std::string* error) {
    MaskSpec m;
    if (!(words >> m.id >> m.shape)) return Fail(error, "expected: mask ID band|ellipse VALUES...");
    const size_t count = m.shape == "band" ? 3 : m.shape == "ellipse" ? 5 : 0;
    if (count == 0) return Fail(error, "a mask is a band or an ellipse, not '" + m.shape + "'");
    std::string word;
    while (words >> word) {
        std::istringstream in(word);
        float v = 0;
        char extra = 0;
        if (!(in >> v) || (in >> extra) || !(v >= -1.0f && v <= 2.0f))
            return Fail(error, "'" + word + "' is not a fraction from -1 to 2");
        m.values.push_back(v);
    }
    if (m.values.size() != count) return Fail(error, "a " + m.shape + " mask takes " + std::to_string(count) + " values");
    if (m.values.back() <= 0.0f) return Fail(error, "a mask's feather must be above 0");
    out = m;
    return true;
}

bool ParseSequence(std::istream& words, SequenceSpec& out, std::string* error) {
    SequenceSpec s;
    std::string extra;
    if (!(words >> s.id >> s.painter >> s.size >> s.frames >> s.delay) || (words >> extra))
        return Fail(error, "expected: sequence ID PAINTER SIZE FRAMES DELAY");
    if (s.painter != "snow" && s.painter != "stars") return Fail(error, "no sequence painter named '" + s.painter + "'");
    if (s.size < 8 || s.size > 1024 || s.frames < 1 || s.frames > 64 || !(s.delay > 0.0f && s.delay < 100.0f))
        return Fail(error, "a sequence is 8 to 1024 pixels square, 1 to 64 frames, each shown for 0 to 100 seconds");
    out = s;
    return true;
}

bool ParseEffect(std::istream& words, EffectSpec& out, std::string* error) {
    EffectSpec e;
    if (!(words >> e.className)) return Fail(error, "expected: effect CLASS [KEY=VALUE]...");
    auto info = Classes().find(e.className);
    if (info == Classes().end()) return Fail(error, "no effect class named '" + e.className + "'");
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == word.size())
            return Fail(error, "'" + word + "' is not KEY=VALUE");
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        if (key == "mask") {
            e.mask = value;
            continue;
        }
        auto k = info->second.keys.find(key);
        if (k == info->second.keys.end()) return Fail(error, e.className + " has no value '" + key + "'");
        UINT u = 0;
        INT i = 0;
        DWORD c = 0;
        const bool ok = k->second.kind == Key::Raw      ? ToUnsigned(value, u)
                        : k->second.kind == Key::Signed ? ToSigned(value, i)
                        : k->second.kind == Key::Colour ? ToColour(value, c)
                                                        : true;
        if (!ok) return Fail(error, "'" + value + "' is not a value for " + key);
        e.values[key] = value;
    }
    out = e;
    return true;
}

std::vector<uint8_t> PaintMask(const MaskSpec& m, int size) {
    AlphaPicture p(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float a = 0.0f;
            if (m.shape == "band") {
                const float f = m.values[2];
                a = Smooth(m.values[0] - f, m.values[0] + f, v) * (1.0f - Smooth(m.values[1] - f, m.values[1] + f, v));
            } else {
                const float dx = (u - m.values[0]) / m.values[2], dy = (v - m.values[1]) / m.values[3];
                a = 1.0f - Smooth(1.0f - m.values[4], 1.0f, std::sqrt(dx * dx + dy * dy));
            }
            p.At(x, y) = {255, 255, 255, Byte(a)};
        }
    return EncodeTga32(p);
}

std::vector<uint8_t> PaintSequenceFrame(const SequenceSpec& s, int frame) {
    if (s.painter == "snow") return EncodeTga32(PaintSnow(s.size, frame, s.frames));
    if (s.painter == "stars") return EncodeTga32(PaintStars(s.size, frame, s.frames));
    return {};
}

void SwellSlopes(float u, float v, float& sx, float& sy) {
    // A height field of a few crossing swells with whole periods across the
    // unit square (so it tiles); its slopes, scaled to about -1..1.
    struct Swell {
        int kx, ky;
        float amplitude, phase;
    };
    static const Swell swells[] = {{3, 1, 1.0f, 0.1f}, {-2, 3, 0.8f, 1.7f}, {5, -4, 0.45f, 2.9f},
                                   {1, 6, 0.35f, 4.2f}, {-7, 2, 0.25f, 5.1f}, {9, 7, 0.15f, 0.6f}};
    float norm = 0.0f;
    for (const Swell& s : swells) norm += s.amplitude * std::sqrt(static_cast<float>(s.kx * s.kx + s.ky * s.ky));
    sx = 0.0f;
    sy = 0.0f;
    for (const Swell& s : swells) {
        const float c = std::cos(kTwoPi * (s.kx * u + s.ky * v) + s.phase) * s.amplitude;
        sx += c * s.kx;
        sy += c * s.ky;
    }
    sx = sx / norm * 1.6f;
    sy = sy / norm * 1.6f;
}

std::vector<uint8_t> PaintEffectPicture(const std::string& name, int width, int height) {
    if (name != "water-bump" || width < 8 || height < 8 || width > 4096 || height > 4096) return {};
    // The swells' slopes in red (x) and green (y), 0.5 flat.
    AlphaPicture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sx = 0.0f, sy = 0.0f;
            SwellSlopes(static_cast<float>(x) / width, static_cast<float>(y) / height, sx, sy);
            p.At(x, y) = {Byte(0.5f + 0.5f * sx), Byte(0.5f + 0.5f * sy), 255, 255};
        }
    return EncodeTga32(p);
}

EffectDocument::EffectDocument(const std::vector<MaskSpec>& masks, const std::vector<SequenceSpec>& sequences)
    : masks_(masks), sequences_(sequences) {}

bool EffectDocument::AddResources(DS_DocResManager& manager, std::string* error) {
    for (size_t i = 0; i < masks_.size(); ++i) {
        const std::vector<uint8_t> tga = PaintMask(masks_[i], 256);
        DS_GuidData data;
        data.guid = MaskGuid(i);
        data.name = Widen(masks_[i].id);
        data.file.SetBytes(static_cast<DWORD>(tga.size()), tga.data());
        manager.Tables().guidData[data.guid] = data;
    }
    for (size_t i = 0; i < sequences_.size(); ++i) {
        const SequenceSpec& s = sequences_[i];
        const DS_LinkKey key = SequenceKey(s, i);
        DS_ResFileList records;
        for (int f = 0; f < s.frames; ++f) {
            const std::vector<uint8_t> tga = PaintSequenceFrame(s, f);
            if (tga.empty()) return Fail(error, "sequence '" + s.id + "' cannot be painted");
            DS_ResFileData record;
            std::u16string path = key.path;
            path.replace(path.size() - 6, 2, Widen((f < 10 ? "0" : "") + std::to_string(f)));
            record.path = path;
            record.SetBytes(static_cast<DWORD>(tga.size()), tga.data());
            records.push_back(record);
        }
        manager.Tables().savedImages[key] = records;
        manager.Tables().allFiles[key] = records;
        manager.Tables().frameValues[key] = std::vector<float>(static_cast<size_t>(s.frames), s.delay);
    }
    return true;
}

bool EffectDocument::AddEffects(const std::vector<EffectSpec>& effects, DS_SlideContainer& slide,
                                std::string* error) const {
    for (const EffectSpec& e : effects) {
        const ClassInfo& info = Classes().at(e.className);
        std::unique_ptr<DS_FX_Constructor> fx(info.make());
        fx->name = Widen(e.className.substr(3));
        for (const auto& [key, value] : e.values) {
            const Key& k = info.keys.at(key);
            if (k.kind == Key::Sequence) {
                const std::string& id = value;  // clang 14 cannot capture a structured binding
                auto s = std::find_if(sequences_.begin(), sequences_.end(), [&](const SequenceSpec& q) { return q.id == id; });
                if (s == sequences_.end()) return Fail(error, "no sequence named '" + value + "'");
                static_cast<DS_PatternBrush&>(*fx).patternLink.key =
                    SequenceKey(*s, static_cast<size_t>(s - sequences_.begin()));
                continue;
            }
            UINT u = 0;
            INT i = 0;
            DWORD c = 0;
            if (k.kind == Key::Raw) ToUnsigned(value, u);
            if (k.kind == Key::Signed) ToSigned(value, i);
            if (k.kind == Key::Colour) ToColour(value, c);
            k.set(*fx, u, i, c);
        }
        if (!e.mask.empty()) {
            auto m = std::find_if(masks_.begin(), masks_.end(), [&](const MaskSpec& q) { return q.id == e.mask; });
            if (m == masks_.end()) return Fail(error, "no mask named '" + e.mask + "'");
            fx->maskGuid = MaskGuid(static_cast<size_t>(m - masks_.begin()));
            fx->maskName = Widen(m->id);
        }
        // The slide draws its objects from the last to the first.
        slide.prototypes.push_front(fx.release());
    }
    return true;
}

}  // namespace tessaloom::scene_builder
