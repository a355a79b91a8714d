// Scaled parameters: the raw unsigned value an author set (typically 0..100)
// and, kept beside it, the value the scene uses: raw x factor + offset.
//
// The converter is a control watching the parameter itself, registered by the
// constructor, so it is always the first control: bindings registered later
// see the converted value already updated.
#pragma once

#include <type_traits>

#include "document/convert.h"
#include "document/media_param.h"

template <class T>
class UINTSclaleTo : public MediaParamT<UINT>, public MediaControlT<MediaParamT<UINT>> {
public:
    // Raw 0, factor 1, offset 0, converted value computed once.
    UINTSclaleTo() { StartConverter(); }
    // Same raw value, factor, offset and converted value; no control but its
    // own converter (which watches this object, never the source).
    UINTSclaleTo(const UINTSclaleTo& other) : MediaParamT<UINT>(), factor(other.factor), offset(other.offset) {
        StartConverter();
        SetValue(other.value);
    }
    // The converter watches `this`: a member-wise assignment would be wrong.
    UINTSclaleTo& operator=(const UINTSclaleTo&) = delete;
    // The converter leaves the controls first, then the parameter part goes.
    ~UINTSclaleTo() override = default;

    // Stores both and recomputes at once; no other control is told.
    void SetFactor(float newFactor, float newOffset) {
        factor = newFactor;
        offset = newOffset;
        OnChange(nullptr);
    }
    // Raw value, factor and offset of `other`, then every control is told
    // (null source), whether or not anything changed.
    void Assign(const UINTSclaleTo& other) {
        MediaParamT<UINT>::Assign(other);
        factor = other.factor;
        offset = other.offset;
        NotifyControls(nullptr);
    }
    using MediaParamT<UINT>::Assign;

    const T& Converted() const { return converted; }
    float GetFactor() const { return factor; }
    float GetOffset() const { return offset; }

    // The conversion; the source is ignored.
    void OnChange(MediaControl*) override { converted = Convert(value, factor, offset); }

    // The raw value as an unsigned 32-bit number in single precision.
    static T Convert(UINT raw, float factor, float offset);

    float factor = 1.0f;
    float offset = 0.0f;
    T converted{};

private:
    void StartConverter() {
        Watch(this);
        OnChange(nullptr);
    }
};

template <>
inline float UINTSclaleTo<float>::Convert(UINT raw, float factor, float offset) {
    return static_cast<float>(raw) * factor + offset;
}

// Truncated toward zero to int32 (saturating: a huge raw value or factor must
// not reach an undefined conversion), then the low 8 bits: a result of 256
// gives 0, -2.55 gives 254.
template <>
inline BYTE UINTSclaleTo<BYTE>::Convert(UINT raw, float factor, float offset) {
    float v = static_cast<float>(raw) * factor + offset;
    return static_cast<BYTE>(static_cast<uint32_t>(DS_TruncateToInt32(v)) & 0xFFu);
}

// A float-scaled parameter whose owner sets factor, offset and raw value
// itself.  The raw value starts at 0 here too (it is never left unset).
template <class R>
class MediaFloat : public UINTSclaleTo<float> {
    static_assert(std::is_same_v<R, unsigned int>, "MediaFloat is used for unsigned int only");

public:
    MediaFloat() = default;
    MediaFloat(const MediaFloat& other) : UINTSclaleTo<float>(other) {}
    MediaFloat& operator=(const MediaFloat&) = delete;
};

// A float-scaled parameter that also runs a clock: each Advance adds the
// frame step, capped at 0.2 s, times the converted value.
class MediaSpeedParam : public UINTSclaleTo<float> {
public:
    MediaSpeedParam() = default;
    MediaSpeedParam(const MediaSpeedParam& other)
        : UINTSclaleTo<float>(other), step(other.step), time(other.time), lastTime(other.lastTime) {}
    MediaSpeedParam& operator=(const MediaSpeedParam&) = delete;

    void Assign(const MediaSpeedParam& other) {
        UINTSclaleTo<float>::Assign(other);
        step = other.step;
        time = other.time;
        lastTime = other.lastTime;
    }
    using UINTSclaleTo<float>::Assign;

    // `now`: application time in seconds.  Time running backwards gives a
    // step of 0.  The times are doubles: after days of running a float
    // time would only step in whole hundredths of seconds and more.
    void Advance(double now) {
        if (lastTime > now) lastTime = now;
        step = static_cast<float>(now - lastTime);
        if (step > 0.2f) step = 0.2f;
        step = step * converted;
        time = time + step;
        lastTime = now;
    }

    float step = 0.0f;
    double time = 0.0;      // the clock
    double lastTime = 0.0;  // the `now` of the last Advance
};

// Scaled parameters are read into a temporary and set through SetValue, so
// that the converted value and every binding follow a value that differs.
inline void ReadParam(DS_IOF_Virtual& ar, UINTSclaleTo<float>& p) {
    UINT raw = 0;
    ar.ReadUInt(raw);
    p.SetValue(raw);
}
inline void ReadParam(DS_IOF_Virtual& ar, UINTSclaleTo<BYTE>& p) {
    UINT raw = 0;
    ar.ReadUInt(raw);
    p.SetValue(raw);
}
inline void ReadParam(DS_IOF_Virtual& ar, MediaSpeedParam& p) { ReadParam(ar, static_cast<UINTSclaleTo<float>&>(p)); }
// MediaFloat values are stored directly; the converted value follows when
// the holder's copy constructor sets the raw value again.
inline void ReadParam(DS_IOF_Virtual& ar, MediaFloat<unsigned int>& p) { ar.ReadUInt(p.value); }
