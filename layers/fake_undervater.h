// FakeUndervater: the picture layer that shows the whole slide as if seen
// through moving water.  It always captures the slide, and in its finishing
// step draws the captured image back through its own underwater effect (a
// DS_UnderwaterFX held by value, never an object of the slide), then the
// letterbox bars.
#pragma once

#include "layers/effects/underwater_fx.h"
#include "scene/picture_layer.h"

class FakeUndervater : public DS_2D_Light {
public:
    FakeUndervater() = default;
    ~FakeUndervater() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The base step, then the effect's device objects with no mask.
    void CreateDeviceObjects() override;
    void InvalidateDeviceObjects() override { DS_2D_Light::InvalidateDeviceObjects(); }
    // Ends the capture, draws it back through the effect (plainly when the
    // effect could not be made), then the bars.
    void RenderFinish() override;
    void DrawPicture() override { DS_2D_Light::DrawPicture(); }
    // The camera, then the effect's clock.
    void FrameMove(double time) override;
    bool NeedsSceneTexture() override { return true; }

    // "FakeUndervater", version 2: the effect's whole record, then the base record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static FakeUndervater* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Version 1: one speed value, halved; any other version: a whole
    // "DS_UnderwaterFX" record.  Then the DS_2D_Light record.
    void ReadFields(DS_IOF_Virtual& archive, int version);
    // The captured slide drawn back as the picture is drawn, without the effect.
    void DrawCapturedScene();

    DS_UnderwaterFX effect;
};
