// DS_BackgroundCopy: inside the painted mask, a copy of the background
// shifted by a point of the picture.  The effect gets one offset in picture
// sizes: the area's point over the picture size, plus one whole width or
// height for each flag that is set.  It has no clock of its own.
#pragma once

#include "document/media_area.h"
#include "layers/effects/fx_constructor.h"

class DS_BackgroundCopy : public DS_FX_Constructor {
public:
    // Area all 0, both flags 0, effect 75 of the module.
    DS_BackgroundCopy();
    DS_BackgroundCopy(const DS_BackgroundCopy& other);
    DS_BackgroundCopy& operator=(const DS_BackgroundCopy&) = delete;
    ~DS_BackgroundCopy() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void Apply(DS_2D_Light& layer) override;
    DS_FX_Constructor* Clone() const override { return new DS_BackgroundCopy(*this); }

    // "offset" for a picture of `width` x `height`.  A picture without width
    // or height gives that component no shift (the flag still adds its 1).
    void OffsetFor(UINT width, UINT height, float out[2]) const;

    // "DS_BackgroundCopy", version 1, the fields, then the DS_FX_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // The registered reader (the version is not looked at).
    static DS_BackgroundCopy* CreateFromArchive(DS_IOF_Virtual& archive, int version);

    // Its point is the shift in picture pixels; its edges are only carried.
    MediaRectangle area;
    MediaParamT<int> yFlag;
    MediaParamT<int> xFlag;
};
