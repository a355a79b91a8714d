// Butterflies: DS_ButterflyConstructor, the description of a flock (a body
// mesh with two flapping wings per butterfly, flown inside the description's
// area), and the controllers that fly them: AC_Butterfly for the body and an
// AC_ButterflyWing for each wing.
//
// Angles are degrees; the flight runs on the description's clock step.  Its
// random draws come from the runtime generator in a fixed order, so every run
// replays the same flight.
#pragma once

#include "document/scaled_param.h"
#include "scene/objects3d/object_3d.h"

// A quantity moving toward its target at its rate.
struct DS_Ramp {
    float value = 0.0f;
    float target = 0.0f;
    float rate = 0.0f;

    // Nothing while value = target; otherwise value += rate x dt, clamped to
    // the target when the rate carried it past.
    void Step(float dt);
    // A non-zero rate replaces the rate; the target is stored and the rate's
    // sign turned toward it (negative when target <= value).
    void Retarget(float newTarget, float newRate);
};

// The wing matrix and front-face flag the body's controller writes each frame.
class AC_ButterflyWing : public DS_AnimationBase {
public:
    AC_ButterflyWing();
    // world := local x wing; the frame's front-face flag := the wing's.
    void Animate(DS_Frame* frame) override;

    D3DXMATRIX wing;
    unsigned char frontFace = 1;
};

class DS_ButterflyConstructor;

class AC_Butterfly : public DS_AnimationBase {
public:
    // Draws the start position (x, then y) and the heading; binds the size.
    explicit AC_Butterfly(DS_ButterflyConstructor* description);
    ~AC_Butterfly() override;

    // world := size x Translation(0, -w / 15, 0) x RotationZ(bank) x tilt x
    // [pitch] x RotationY(heading) x local x Translation(position), w the
    // wing angle; the wing matrices follow the beat.
    void Animate(DS_Frame* frame) override;
    void OnSizeChanged(unsigned int size);
    void UpdateRamps(float dt);
    // Turns back toward the area when the position has left it.
    void KeepInArea();
    // The flight-mode decision and the change of wing beat it asks for.
    void StepFlightMode();

    DS_ButterflyConstructor* description;
    AC_ButterflyWing* wingA;  // owned by the wing frames
    AC_ButterflyWing* wingB;
    float wingAngle = 0.0f;
    float wingSpeed = 100.0f;
    float wingUpper = 55.0f;
    float wingLower = -55.0f;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    DS_Ramp vertical{50.0f, 50.0f, 250.0f};  // velocity along y (down is positive)
    DS_Ramp heading{0.0f, 0.0f, 350.0f};     // about Y
    DS_Ramp bank{0.0f, 0.0f, 50.0f};         // about Z
    DS_Ramp speed{50.0f, 50.0f, 350.0f};     // along the heading
    D3DXMATRIX tilt;
    D3DXMATRIX mirror;
    D3DXMATRIX sizeMatrix;
    int flightMode = 0;
    int requestedMode = 0;
    float lastDecision = 0.0f;
    DS_CtrlList bindings;
};

class DS_ButterflyConstructor : public DS_3D_Obj_Ctrl {
public:
    DS_ButterflyConstructor();
    DS_ButterflyConstructor(const DS_ButterflyConstructor& other);
    ~DS_ButterflyConstructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Node 0 the bodies (one-sided), node 1 the wings (two-sided).
    void BuildMeshNodes(std::vector<DS_MeshNode>& nodes) override;
    // Bodies into node 0, wings (A, then B) into node 1, in instance order.
    void BindInstances(std::list<DS_Frame*>& instances, std::vector<DS_MeshNode>& nodes) override;
    // A body frame flown by a new AC_Butterfly with its two wing frames.
    DS_Frame* CreateInstance() override;
    DS_3D_Obj_Ctrl* Clone() const override { return new DS_ButterflyConstructor(*this); }
    // The body is drawn at half scale, the wings at the wing scale of that.
    double InstanceExtent(const std::vector<DS_MeshNode>& nodes) const override;

    // "DS_ButterflyConstructor", version 2: body image link, body mesh link,
    // speed A, speed B, wing scale, then the DS_3D_Obj_Ctrl record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Version 1 has no wing scale.
    static DS_ButterflyConstructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    DS_ImageFileLink bodyImage;
    DS_MeshFile bodyMesh;
    // Kept and saved; the flight does not read them.
    UINTSclaleTo<float> speedA;
    UINTSclaleTo<float> speedB;
    float wingScale = 1.0f;
};
