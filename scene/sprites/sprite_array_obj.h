// DS_SpriteArrayObj: the run-time sprite population.  One indexed PCT mesh
// of 4 vertices and 6 indices per sprite (a triangle list), rewritten in
// place every frame under one lock, drawn through the layer's sprite service
// with the current frame texture of its picture and an optional mask.
#pragma once

#include <vector>

#include "document/bindings.h"
#include "document/res_types.h"
#include "scene/mesh.h"
#include "scene/sprites/base_sprite_prop.h"

template <class V>
class DS_SpriteArrayT : public DS_IndexedMesh<V> {};

// A mesh with a picture's frame sequence: the frame textures, one delay per
// frame in clock units, the picture's size and aspect.
template <class M>
class AnimatedTexture : public M {
public:
    // Takes the set's frames (a reference each), delays, size and aspect.
    void SetImages(const DS_ImageSet& set) { images = set; }

    // Moves to the next frame once the current frame's delay has passed;
    // true when it did.  No delays: the sequence never moves.
    bool Advance(float clock) {
        const std::vector<float>& delays = images.FrameValues();
        if (delays.empty()) return false;
        if (frameIndex >= delays.size()) frameIndex = 0;
        if (clock - lastSwitchTime > delays[frameIndex]) {
            lastSwitchTime = clock;
            frameIndex = static_cast<UINT>((frameIndex + 1) % delays.size());
            return true;
        }
        return false;
    }
    // The texture of the current frame; a set may carry more delays than
    // textures (module sets count them apart), so the index wraps at the
    // number of textures too.  Null for an empty set.
    IDirect3DTexture9* CurrentTexture() const {
        const size_t n = images.FrameCount();
        return n ? images.GetFrame(frameIndex % n) : nullptr;
    }

    DS_ImageSet images;  // frames, frame delays, width, height, aspect
    UINT frameIndex = 0;
    float lastSwitchTime = 0.0f;
};

class DS_SpriteArrayObj : public DS_ABObj, public AnimatedTexture<DS_SpriteArrayT<DX_V::PCT>> {
public:
    // Takes ownership of the description copy; resolves its picture and mask
    // and binds its count, which makes the records and buffers at once.
    explicit DS_SpriteArrayObj(DS_BaseSpriteProp* copy);
    ~DS_SpriteArrayObj() override;

    void Render(DS_2D_Light& layer) override;
    void FrameMove(double time) override;

    // The records and buffers for n sprites (at most kMaxSprites); records
    // beyond n are kept and updated but not drawn.
    void OnCountChanged(unsigned int n);
    // The u and v pairs of sprite i in the locked vertex buffer.
    void SetSpriteUV(const float (&u)[2], const float (&v)[2], unsigned int i);
    // The mask texture with a reference added, or null.
    IDirect3DTexture9* GetMaskTexture() const;

    DS_BaseSpriteProp* props;
    DS_CtrlList controls;
    std::vector<DS_SpriteRecord*> records;
    DS_ComRef<IDirect3DTexture9> maskTexture;
    unsigned int sheetFrame = 0;
    float sheetSwitchTime = 0.0f;

private:
    // Lowers the copy's count to what kMaxSprites and the slide's cover
    // budget allow (saying so once), before the count makes the records.
    void FitCountToBudget();
    void WriteVertices(DX_V::PCT* out);
};
