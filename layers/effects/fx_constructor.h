// The shader-effect family's base: DS_FX_Constructor, the saved description
// every full-screen effect class derives from, and DS_BrushObj, the run-time
// object of every effect class, which owns a copy of the description and
// forwards each frame's move and draw to it.
//
// An effect object draws the whole picture once more through an ID3DXEffect
// of the current resource manager (one per effect link, shared by every
// object of the class, so each sets its parameters just before it draws),
// with the picture or the scene drawn so far as "Background" and its painted
// mask as "Mask".
#pragma once

#include <string>

#include "document/file_link.h"
#include "document/media_param.h"
#include "document/res_device.h"
#include "document/scaled_param.h"
#include "platform/com/guid.h"
#include "scene/com_ref.h"
#include "scene/object_model.h"

class DS_FX_Constructor : public DS_ABObj_Constructor {
public:
    // Speed raw 0 (factor 1), technique flag 0, no effect link, scale raw 50
    // (factor 0.02: s = 1), a new mask GUID, no mask name, mask flag 1.
    DS_FX_Constructor();
    // Every member, the speed clock's state included; the mask and the effect
    // are shared with a reference added.
    DS_FX_Constructor(const DS_FX_Constructor& other);
    DS_FX_Constructor& operator=(const DS_FX_Constructor&) = delete;
    // Releases the effect, then the mask.
    ~DS_FX_Constructor() override;

    // The same copy into an existing description: what this one held is
    // released, converted values are recomputed; assigning itself changes
    // nothing.
    void Assign(const DS_FX_Constructor& other);

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // A DS_BrushObj around a clone; this description can be deleted at once.
    DS_ABObj* CreateObject() override;

    // effect := the current manager's effect of effectLink (none without a
    // manager), then SetMask(mask).  Classes with textures of their own
    // extend it.
    virtual void CreateDeviceObjects(IDirect3DTexture9* const* maskTexture);
    virtual IDirect3DTexture9* const* GetMask() const { return mask.Address(); }
    // The speed clock; `time` in seconds.
    virtual void FrameMove(double time);
    // Sets the class's own parameters and draws.
    virtual void Apply(DS_2D_Light& layer) = 0;
    // Takes the pointed-to texture (null pointer or null texture: no mask),
    // unless the pointer is the address of the held mask itself.
    virtual void SetMask(IDirect3DTexture9* const* maskTexture);
    virtual DS_FX_Constructor* Clone() const = 0;

    // The last step of every effect's draw but the fire's: technique, "Scale",
    // "Mask", "Background", then the effect's passes over the picture quad.
    // Without an effect nothing is set or drawn.
    void ApplyCommon(DS_2D_Light& layer);

    // The mask goes into the current manager's GUID-texture table first (it
    // travels with the document), then "DS_FX_Constructor", version 2, and
    // the DS_ABObj_Constructor record.
    void WriteRecord(DS_IOF_Virtual& archive);
    // Header, the fields of that version (before 2: no scale, which keeps
    // its value), then the DS_ABObj_Constructor record.  The speed and the
    // scale are set so that their converted values follow; the rest is
    // stored as read.
    static void ReadRecord(DS_IOF_Virtual& archive, DS_FX_Constructor& description);

    // The two floats of "Scale": (a / s, 1 / s), a = W / H.  A picture
    // without width or height counts as square and a scale of 0 as 1, so
    // nothing is divided by zero.
    static void ScaleFor(UINT width, UINT height, float s, float out[2]);

    MediaSpeedParam speed;
    MediaParamT<int> techniqueFlag;
    DS_HLSLEffectFile effectLink;
    UINTSclaleTo<float> scale;
    GUID maskGuid{};
    std::u16string maskName;
    bool maskFlag = true;
    DS_ComRef<IDirect3DTexture9> mask;
    DS_EffectRef effect;

private:
    // The mask as a 512 x 512 alpha texture into the GUID-texture table of
    // the current manager (no mask: the entry is emptied), then its file data.
    void StoreMaskForSave();
};

// The run-time object of every effect class.
class DS_BrushObj : public DS_ABObj {
public:
    // Owns `copy`.  Makes its device objects at once, with the painted mask
    // the current manager keeps under the copy's GUID.
    explicit DS_BrushObj(DS_FX_Constructor* copy);
    ~DS_BrushObj() override;

    void Render(DS_2D_Light& layer) override { fx->Apply(layer); }
    void FrameMove(double time) override { fx->FrameMove(time); }
    // The slide captures the scene for it when its technique flag asks for "MainFX".
    int NeedsSceneTexture() override { return fx->techniqueFlag.value != 0 ? 1 : 0; }

    DS_FX_Constructor* fx;
};
