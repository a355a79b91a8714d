// Parameters: one current value with an ordered list of observers (controls).
//
// Controls are told of a change in the order they registered.  A scaled
// parameter registers its own converter in its constructor, so the converter
// always runs first and bindings, registered later by the owning object, see
// the converted value already updated.  Every change the running system makes
// passes a null source.
//
// Ownership: a parameter never deletes a control and a control never deletes
// a parameter.  Either may be destroyed first: a dying parameter detaches its
// controls, a dying control leaves its parameter's list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "document/archive.h"
#include "platform/d3dx9/d3dx9math.h"
#include "platform/win32/types.h"

class MediaParam;

// Equality of parameter values, for SetValue: `==` where the type has it.
template <class T>
bool DS_SameValue(const T& a, const T& b) {
    return a == b;
}
inline bool DS_SameValue(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

// An observer of one parameter.
class MediaControl {
public:
    MediaControl() = default;
    MediaControl(const MediaControl&) = delete;
    MediaControl& operator=(const MediaControl&) = delete;
    virtual ~MediaControl() = default;

    // The watched parameter is being destroyed: do not touch it afterwards.
    virtual void Detach() {}
    // The watched value changed; `source` is the control that caused it, or null.
    virtual void OnChange(MediaControl* source) = 0;

    void Notify(MediaControl* source) {
        if (source != this) OnChange(source);
    }
};

class MediaParam {
public:
    MediaParam() = default;
    // Copies carry no controls; assignment keeps this parameter's own.
    MediaParam(const MediaParam&) {}
    MediaParam& operator=(const MediaParam&) { return *this; }
    virtual ~MediaParam();

    void AddControl(MediaControl* control);
    // Removes this control's entry (a control is added to a parameter once).
    void RemoveControl(MediaControl* control);
    // Tells every control but `source` of a change, in registration order.
    // A control may add or remove controls of this parameter from its
    // callback: a removed control is not called afterwards, an added one is
    // first told of the next change.
    void NotifyControls(MediaControl* source);

    size_t ControlCount() const;

private:
    void Compact();

    // Removed entries are holes (null) until compacted; [0, first_) are all holes.
    std::vector<MediaControl*> controls_;
    size_t first_ = 0;       // the first entry that may be live
    size_t holes_ = 0;       // holes at or after first_ (an estimate: added nulls are not counted)
    int walking_ = 0;        // nesting depth of NotifyControls
};

// The control of one parameter of type P.
template <class P>
class MediaControlT : public MediaControl {
public:
    MediaControlT() = default;
    ~MediaControlT() override {
        if (watched) watched->RemoveControl(this);
    }
    void Detach() override { watched = nullptr; }

    // Leaves the parameter watched so far, then becomes the last control of `param`.
    void Watch(P* param) {
        if (watched) watched->RemoveControl(this);
        watched = param;
        if (watched) watched->AddControl(this);
    }

    P* watched = nullptr;
};

// A parameter with a value.  The value may also be stored directly (readers
// and owners do so), which tells no control.
template <class T>
class MediaParamTB : public MediaParam {
public:
    MediaParamTB() = default;
    explicit MediaParamTB(const T& v) : value(v) {}
    MediaParamTB(const MediaParamTB& other) : MediaParam(other), value(other.value) {}
    MediaParamTB& operator=(const MediaParamTB& other) {
        value = other.value;
        return *this;
    }

    const T& GetValue() const { return value; }
    // A different value is stored and every control is told (null source);
    // an equal value changes nothing and tells nobody.
    void SetValue(const T& v) {
        if (DS_SameValue(v, value)) return;
        value = v;
        NotifyControls(nullptr);
    }

    T value{};
};

// The kind that scene classes hold for their editable values.
template <class T>
class MediaParamT : public MediaParamTB<T> {
public:
    MediaParamT() = default;
    explicit MediaParamT(const T& v) : MediaParamTB<T>(v) {}
    MediaParamT(const MediaParamT& other) : MediaParamTB<T>(other) {}
    MediaParamT& operator=(const MediaParamT& other) {
        this->value = other.value;
        return *this;
    }

    // Replaces the value; no control is told.
    void Assign(const MediaParamT& other) { this->value = other.value; }
    void Assign(const T& v) { this->value = v; }
};

// A colour as 0x00BBGGRR (red in the low byte).
class MediaColor : public MediaParamT<DWORD> {
public:
    MediaColor() = default;
    explicit MediaColor(DWORD v) : MediaParamT<DWORD>(v) {}
};

using ds_string = std::u16string;

// Values in object records, stored directly (no control is told).
inline void ReadParam(DS_IOF_Virtual& ar, MediaParamTB<UINT>& p) { ar.ReadUInt(p.value); }
inline void WriteParam(DS_IOF_Virtual& ar, const MediaParamTB<UINT>& p) { ar.WriteUInt(p.value); }
inline void ReadParam(DS_IOF_Virtual& ar, MediaParamTB<INT>& p) { ar.ReadLong(p.value); }
inline void WriteParam(DS_IOF_Virtual& ar, const MediaParamTB<INT>& p) { ar.WriteLong(p.value); }
inline void ReadParam(DS_IOF_Virtual& ar, MediaColor& p) {
    INT v = static_cast<INT>(p.value);
    ar.ReadInt(v);
    p.value = static_cast<DWORD>(v);
}
inline void WriteParam(DS_IOF_Virtual& ar, const MediaColor& p) { ar.WriteInt(static_cast<INT>(p.value)); }
// An empty stored string leaves the value as it was.
inline void ReadParam(DS_IOF_Virtual& ar, MediaParamTB<ds_string>& p) { ar.ReadString(p.value); }
inline void WriteParam(DS_IOF_Virtual& ar, const MediaParamTB<ds_string>& p) { ar.WriteString(p.value); }
inline void ReadParam(DS_IOF_Virtual& ar, MediaParamTB<POINT>& p) { ar.ReadPair(p.value); }
inline void WriteParam(DS_IOF_Virtual& ar, const MediaParamTB<POINT>& p) { ar.WritePair(p.value); }
inline void ReadParam(DS_IOF_Virtual& ar, MediaParamTB<D3DXVECTOR3>& p) {
    ar.ReadFloat(p.value.x);
    ar.ReadFloat(p.value.y);
    ar.ReadFloat(p.value.z);
}
inline void WriteParam(DS_IOF_Virtual& ar, const MediaParamTB<D3DXVECTOR3>& p) {
    ar.WriteFloat(p.value.x);
    ar.WriteFloat(p.value.y);
    ar.WriteFloat(p.value.z);
}
