// DSM_Camera: a picture layer's slow random pan and zoom.  When enabled and
// in motion it enlarges the picture by its zoom factor and glides the visible
// window between random pan targets with a cosine ease, resting now and then;
// otherwise it leaves the picture unzoomed.  It drives the current 2D view's
// zoom every frame.
#pragma once

#include "document/item.h"
#include "document/media_param.h"
#include "document/scaled_param.h"

class DSM_Camera : public DS_IOF_Item {
public:
    DSM_Camera();
    ~DSM_Camera() override = default;
    DSM_Camera(const DSM_Camera&) = delete;
    DSM_Camera& operator=(const DSM_Camera&) = delete;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // "DSM_Camera", version 1: enabled (int32), zoom raw, speed raw (uint32).
    void WriteRecord(DS_IOF_Virtual& archive) const;
    // Reads the class name and version (both ignored), then the fields into
    // a new camera.
    static DSM_Camera* ReadNew(DS_IOF_Virtual& archive);
    void ReadFields(DS_IOF_Virtual& archive);
    // The whole state of `other`: settings, clock, motion mode and pan.
    void CopySettings(const DSM_Camera& other);

    // `now`: application time in seconds.  Advances the clock, then sets the
    // current 2D view's zoom.
    void FrameMove(double now);
    // The zoom and pan FrameMove computes, without touching the view.
    void Evaluate(double now, float* z, float* panX, float* panY);
    void PickNextSegment(double t);

    MediaParamT<int> enabled;
    UINTSclaleTo<float> zoom;
    MediaSpeedParam speed;
    MediaParamTB<int> motionMode;  // 1 while the camera is in motion; never stored
    float panXFrom = 0.0f, panXTo = 0.0f;
    float panYFrom = 0.0f, panYTo = 0.0f;
    // Clock times (double, as the clock is: a float of days of seconds
    // would step in tens of milliseconds).
    double segmentStart = 0.0, segmentEnd = 0.0;
};
