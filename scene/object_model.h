// The object model: saved object descriptions (DS_ABObj_Constructor) read
// from the document, the run-time objects they create (DS_ABObj), and
// DS_ViewObjCtrl, the description base of every object that lives in a
// placement area of the picture, with a clock of its own.
#pragma once

#include "document/bindings.h"
#include "document/item.h"
#include "document/media_area.h"
#include "document/media_param.h"
#include "platform/d3dx9/d3dx9math.h"

class DS_2D_Light;
class DS_ABObj;

// A saved object description.  Its record is the last of every description
// chain: "DS_ABObj_Constructor", version 1, the name.
class DS_ABObj_Constructor : public DS_IOF_Item {
public:
    DS_ABObj_Constructor() = default;
    DS_ABObj_Constructor(const DS_ABObj_Constructor& other) : DS_IOF_Item(), name(other.name) {}
    DS_ABObj_Constructor& operator=(const DS_ABObj_Constructor&) = delete;
    ~DS_ABObj_Constructor() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A new run-time object that owns a copy of this description; the
    // description can be deleted at once.
    virtual DS_ABObj* CreateObject() = 0;

    void WriteRecord(DS_IOF_Virtual& archive) const;
    static void ReadRecord(DS_IOF_Virtual& archive, DS_ABObj_Constructor& description);

    std::u16string name;
};

// A run-time object of a slide.
class DS_ABObj {
public:
    // `owner`: the description copy the object was made from; the concrete
    // object owns and deletes it.
    explicit DS_ABObj(DS_ABObj_Constructor* ownerCopy) : owner(ownerCopy) {}
    DS_ABObj(const DS_ABObj&) = delete;
    DS_ABObj& operator=(const DS_ABObj&) = delete;
    virtual ~DS_ABObj() = default;

    virtual void Render(DS_2D_Light& layer) = 0;
    // `time`: application time in seconds.
    virtual void FrameMove(double time) = 0;
    // Non-zero: the slide captures the picture drawn so far before this object draws.
    virtual int NeedsSceneTexture() { return 0; }

    DS_ABObj_Constructor* owner;
};

// An object description with a placement area, kept both in logical pixels
// (the area's edges) and as fractions of the logical size of the current
// screen mapping, a speed and a clock.
class DS_ViewObjCtrl : public DS_ABObj_Constructor {
public:
    DS_ViewObjCtrl();
    // Name, speed, flag and fractions copied; a fresh clock; the area rebuilt
    // from the fractions for the current logical size.
    DS_ViewObjCtrl(const DS_ViewObjCtrl& other);
    ~DS_ViewObjCtrl() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }

    // "DS_ViewObjCtrl", version 2, then the DS_ABObj_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Reads the header and the fields of that version (version 1 has no
    // speed), then the DS_ABObj_Constructor record.  Values are stored
    // directly: the edge bindings do not fire.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_ViewObjCtrl& description);

    // Each edge := its fraction x the logical size, truncated (through its
    // binding the fraction then follows the whole pixel).
    void SyncPixelsFromFractions();
    void OnLeftChanged(int v);
    void OnRightChanged(int v);
    void OnTopChanged(int v);
    void OnBottomChanged(int v);

    float GetLeft() const;
    float GetRight() const;
    float GetTop() const;
    float GetBottom() const;
    // A point of the area drawn with the runtime generator (x first, then y); z 0.
    D3DXVECTOR3 RandomPoint() const;
    // The same in the area shrunk by the half extents.
    D3DXVECTOR3 RandomPointInset(float halfWidth, float halfHeight) const;
    // step := |now - last time| capped at 0.2, times raw speed x 0.02; clock += step.
    void AdvanceClock(double now);

    MediaRectangle area;
    MediaParamT<unsigned int> speed;
    bool flag = false;
    float leftFraction = 0.0f, rightFraction = 1.0f, topFraction = 0.0f, bottomFraction = 1.0f;
    float step = 0.0f;
    double clock = 0.0;  // doubles, as application time is: see MediaSpeedParam
    DS_CtrlList bindings;
    double lastTime = 0.0;

private:
    void BindEdgeControls();
};
