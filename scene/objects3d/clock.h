// The wall clock: DS_ClockConstructor, the description of a clock body with
// an hour and a minute hand showing the machine's local time, placed by a
// rectangle of its own and sized by the size parameter; AC_Static places the
// body, AC_ClockArrow turns a hand.
#pragma once

#include "document/media_area.h"
#include "scene/objects3d/object_3d.h"

class DS_ClockConstructor;

// The body: world := S x local x T, S the uniform scaling by the size, T the
// translation to the rectangle's point.  It keeps the rectangle a square of
// side `size` centred on the point.
class AC_Static : public DS_AnimationBase {
public:
    explicit AC_Static(DS_ClockConstructor* description);
    ~AC_Static() override;

    void Animate(DS_Frame* frame) override;
    // Size binding (fires once when bound): the edges from the point and
    // half the size, S := scaling by the size.
    void OnSizeChanged(unsigned int size);
    // Rectangle binding (not fired when bound): the edges again, T := the point.
    void OnPositionChanged();

    DS_ClockConstructor* description;
    D3DXMATRIX scale;
    D3DXMATRIX translation;
    DS_CtrlList bindings;

private:
    void SetEdges(unsigned int size);
};

// A hand: world := local x RotationY(angle of the local time).
class AC_ClockArrow : public DS_AnimationBase {
public:
    enum Kind : unsigned char { kMinute = 0, kHour = 1 };
    explicit AC_ClockArrow(unsigned char kind) : kind(kind) {}

    void Animate(DS_Frame* frame) override;
    // Degrees clockwise from 12 for a local time: the minute hand moves 0.1
    // degree a second, the hour hand 0.5 degree a minute.
    static float AngleFor(unsigned char kind, int hours, int minutes, int seconds);

    unsigned char kind;
    // The angle of the last time that could be read; a failed read keeps it.
    float lastAngle = 0.0f;
};

class DS_ClockConstructor : public DS_3D_Obj_Ctrl {
public:
    DS_ClockConstructor();
    DS_ClockConstructor(const DS_ClockConstructor& other);
    ~DS_ClockConstructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Node 0 the face, node 1 the hands, both on the clock mesh and two-sided;
    // the description remembers the nodes.
    void BuildMeshNodes(std::vector<DS_MeshNode>& nodes) override;
    // Bodies into node 0, hands (hour, then minute) into node 1.
    void BindInstances(std::list<DS_Frame*>& instances, std::vector<DS_MeshNode>& nodes) override;
    DS_Frame* CreateInstance() override;
    DS_3D_Obj_Ctrl* Clone() const override { return new DS_ClockConstructor(*this); }

    // A new face picture rebinds node 0 of the remembered nodes.
    void OnFaceImageChanged();
    void AttachFaceControl();

    // "DS_ClockConstructor", version 1: the rectangle (six int32), the hands
    // link, then the DS_3D_Obj_Ctrl record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    static DS_ClockConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    MediaRectangle clockRect;
    DS_ImageFileLink handsLink;
    std::vector<DS_MeshNode>* nodes = nullptr;  // the group's, not owned
    DS_CtrlList clockBindings;
};
