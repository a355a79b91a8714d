// Falling 3D pieces: DS_3D_in_2D_array_Constructor describes a population of
// identical small pieces (leaves) drifting across the whole picture in one
// direction, swaying and tumbling, and re-entering at the opposite edge;
// DS_3D_in_2D_array holds them, one mesh and texture and a child frame per
// piece; DS_SreamAnim drifts a piece and DS_LeafFallAnim also turns it.
//
// The pieces run on the frame time: SceneTime, set by each object before it
// moves its own pieces.
#pragma once

#include "document/archive.h"
#include "document/media_param.h"
#include "scene/mesh.h"
#include "scene/object_model.h"

// The time the falling pieces were last moved to, in seconds.
extern float SceneTime;

// A flow angle in degrees and its two unit directions in the picture's
// pixel space (y down): along the flow and across it.
struct DS_FlowDirection {
    DS_FlowDirection() { SetAngle(0u); }
    // flow := (cos a, -sin a, 0, 0), lateral := (cos(a + 90), -sin(a + 90), 0, 0).
    void SetAngle(unsigned int degrees);

    unsigned int angle = 0;
    float flow[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    float lateral[4] = {0.0f, -1.0f, 0.0f, 0.0f};
};

// How the pieces move; every value is read by the controllers each frame.
struct DS_StreamMotionParams {
    MediaParamT<unsigned int> size{0u};  // a piece's diameter in pixels
    DS_FlowDirection direction;
    MediaParamT<unsigned int> speed{50u};
    MediaParamT<unsigned int> deviation{0u};        // lateral drift and sway rate
    MediaParamT<unsigned int> deviationRate{0u};    // how often the drift may change (0: never)
    MediaParamT<unsigned int> tumbleSpeed{100u};
};

// Drifts a translation P across the logical picture, wrapping at the edges.
class DS_SreamAnim : public DS_AnimationBase {
public:
    // Draws x, y, the deviation factor and the speed factor, in this order.
    explicit DS_SreamAnim(const DS_StreamMotionParams* motion);
    // Moves P only: no world matrix is written.
    void Animate(DS_Frame* frame) override;

    const DS_StreamMotionParams* motion;
    D3DXMATRIX position;
    float deviationFactor = 0.0f;  // -1 .. 1
    float lastDeviationTime = 0.0f;
    float speedFactor = 0.0f;      // 0.07 .. 0.13
    float lastTime = 0.0f;
    float dt = 0.0f;
};

// The drift, plus three tumble angles and two sway angles (degrees).
class DS_LeafFallAnim : public DS_SreamAnim {
public:
    struct Pair {
        float rate = 0.0f;
        float angle = 0.0f;
    };
    explicit DS_LeafFallAnim(const DS_StreamMotionParams* motion);
    // world := local x S x RotX(t1) x RotZ(t3) x RotY(t2) x Translation(0, 0, 50)
    //          x RotY(s1) x RotX(s2) x P, S scaling the bounding radius to size / 2.
    void Animate(DS_Frame* frame) override;

    Pair tumble[3];
    Pair sway[2];
};

class DS_3D_in_2D_array_Constructor : public DS_ABObj_Constructor {
public:
    DS_3D_in_2D_array_Constructor() = default;
    DS_3D_in_2D_array_Constructor(const DS_3D_in_2D_array_Constructor& other);
    ~DS_3D_in_2D_array_Constructor() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    DS_ABObj* CreateObject() override;

    // "DS_3D_in_2D_array_Constructor", version 1: name, count, mesh file,
    // image file, size, speed, deviation, deviation-change rate, tumble
    // speed, direction angle, then the DS_ABObj_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Any version the same way.
    static DS_3D_in_2D_array_Constructor* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    DS_ResFileData meshFile;
    DS_ResFileData imageFile;
    MediaParamT<unsigned int> count{0u};
    DS_StreamMotionParams motion;
};

class DS_3D_in_2D_array : public DS_ABObj {
public:
    // Takes ownership of the description copy; loads the mesh and makes the
    // pieces.  The count is read here only.
    explicit DS_3D_in_2D_array(DS_3D_in_2D_array_Constructor* description);
    ~DS_3D_in_2D_array() override;

    // Every piece from both sides, blended.  Nothing without pieces or with a
    // mesh of no extent (which could not be scaled to the piece size).
    void Render(DS_2D_Light& layer) override;
    void FrameMove(double time) override;
    int NeedsSceneTexture() override { return 0; }

    void SyncItems();
    void LoadMesh();

    DS_3D_in_2D_array_Constructor* description;
    // The piece mesh; its children are the piece frames (owned).
    DS_TexturedMesh<DX_V::PNT> meshFrame;

private:
    // Lowers the copy's count to what kMaxPieces and the slide's budgets
    // allow (saying so once), before the pieces are made.
    void FitCountToBudget();
};
