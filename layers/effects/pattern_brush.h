// DS_PatternBrush: a picture pattern laid over the picture through the
// painted mask, tiled at a chosen scale, turned, mirrored and shifted; a
// pattern that is a picture sequence steps through its frames, each shown
// for the delay stored with it.
//
// DS_PatternBrushC: the same effect under a second class name, with one more
// record layer and nothing else of its own.
#pragma once

#include "document/file_link.h"
#include "document/res_types.h"
#include "layers/effects/fx_constructor.h"

class DS_PatternBrush : public DS_FX_Constructor {
public:
    // No pattern, not mirrored, not turned, pattern scale raw 100 (1.0),
    // offsets 0; one clock unit a second; effect 78.
    DS_PatternBrush();
    // Every value; the pattern's frames are shared with a reference each.
    DS_PatternBrush(const DS_PatternBrush& other);
    DS_PatternBrush& operator=(const DS_PatternBrush&) = delete;
    ~DS_PatternBrush() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The base step, then the pattern.
    void CreateDeviceObjects(IDirect3DTexture9* const* maskTexture) override;
    // The clock, then the next frame once the current one has been shown
    // for its delay.
    void FrameMove(double time) override;
    // Nothing without a pattern.
    void Apply(DS_2D_Light& layer) override;
    // A DS_PatternBrush, also for a DS_PatternBrushC.
    DS_FX_Constructor* Clone() const override { return new DS_PatternBrush(*this); }

    // The pattern of the link from the current manager: a picture set of the
    // module for a module link, else the link's picture or sequence.
    void LoadPattern();

    // The three values of the pattern's placement for a picture of `width` x
    // `height`: "scale", "offset" and "coord_transf".  False when there is
    // nothing to tile: no pattern, or a pattern scale of 0 (infinitely many
    // tiles).
    struct Placement {
        float scale[2], offset[2], transform[4];
    };
    bool PlacementFor(UINT width, UINT height, Placement& out) const;

    // "DS_PatternBrush", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // Header (the version is not looked at), the fields, the base record.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_PatternBrush& description);
    static DS_PatternBrush* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    void ReadFields(DS_IOF_Virtual& archive);

    DS_ImageFileLink patternLink;
    MediaParamT<int> flipVertical;
    MediaParamT<int> flipHorizontal;
    MediaParamT<unsigned int> rotation;
    UINTSclaleTo<float> patternScale;
    UINTSclaleTo<float> offsetX;
    UINTSclaleTo<float> offsetY;
    DS_ImageSet pattern;
    unsigned int frameIndex = 0;
    float frameStart = 0.0f;

private:
    // How many frames the sequence steps through: one per delay, but never
    // more than there are frames to show.
    size_t CycleLength() const;
};

class DS_PatternBrushC : public DS_PatternBrush {
public:
    DS_PatternBrushC() = default;
    DS_PatternBrushC(const DS_PatternBrushC& other) = default;

    // "DS_PatternBrushC", version 1, then the whole DS_PatternBrush record.
    void Write(DS_IOF_Virtual& archive) override;
    static DS_PatternBrushC* CreateFromArchive(DS_IOF_Virtual& archive, int version);
};
