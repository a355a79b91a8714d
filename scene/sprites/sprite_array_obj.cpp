#include "scene/sprites/sprite_array_obj.h"

#include <algorithm>
#include <cmath>

#include "document/res_manager.h"
#include "scene/picture_layer.h"
#include "scene/population_budget.h"

DS_SpriteArrayObj::DS_SpriteArrayObj(DS_BaseSpriteProp* copy) : DS_ABObj(copy), props(copy) {
    if (DS_DocResManager* manager = GetCurrentDocResManager()) {
        const DS_ImageSet& set =
            props->imageSetMode == 1 ? manager->LoadDllImageSet(props->image) : manager->GetImage(props->image);
        SetImages(set);
        if (!props->mask.key.path.empty()) maskTexture.Set(manager->GetImage(props->mask).GetFrame(0));
    }
    FitCountToBudget();
    controls.SetOwner(this);
    DS_FunLightCtrl<unsigned int, DS_SpriteArrayObj>::Bind(props->count, &DS_SpriteArrayObj::OnCountChanged, controls);
}

void DS_SpriteArrayObj::FitCountToBudget() {
    const unsigned int stored = props->count.value;
    if (stored == 0) return;
    // A mask draws every sprite a second time.
    const uint32_t passes = maskTexture ? 2 : 1;
    DS_PopulationBudget::Cost each;
    each.cover = DS_CoverOfArea(props->SpriteArea()) * passes;
    each.quads = passes;
    props->count.value = DS_PopulationBudget::Fit(stored, kMaxSprites, each, "sprite count");
}

DS_SpriteArrayObj::~DS_SpriteArrayObj() {
    for (DS_SpriteRecord* r : records) delete r;
    records.clear();
    // The count parameter detaches its binding as it goes; the binding list
    // is destroyed after this body without touching it.
    delete props;
    props = nullptr;
    owner = nullptr;
}

void DS_SpriteArrayObj::OnCountChanged(unsigned int n) {
    if (n == 0) return;
    if (n > kMaxSprites) n = kMaxSprites;
    // Vertex count 4n even when the buffer cannot be made: the sprites still
    // move, and nothing is locked or drawn.
    CreateVertexBuffer(4 * n);
    primitiveType = D3DPT_TRIANGLELIST;
    primitiveCount = 2 * n;
    indexedPrimitiveCount = 2 * n;
    if (CreateIndexBuffer(6 * n)) {
        if (WORD* idx = LockIndices()) {
            for (unsigned int i = 0; i < n; ++i) {
                const WORD b = static_cast<WORD>(4 * i);
                WORD* o = idx + 6 * i;
                o[0] = b;
                o[1] = static_cast<WORD>(b + 1);
                o[2] = static_cast<WORD>(b + 2);
                o[3] = static_cast<WORD>(b + 2);
                o[4] = static_cast<WORD>(b + 1);
                o[5] = static_cast<WORD>(b + 3);
            }
            UnlockIndices();
        }
    }
    if (records.size() < n) records.reserve(n);
    while (records.size() < n) {
        auto* r = new DS_SpriteRecord;
        r->Init(*props);
        r->timer = 0.0f;
        r->alphaPhase = 1.0f;
        r->pulseSpeed = ds_sprite::Odd() ? -props->pulseSpeed : props->pulseSpeed;
        r->ComposeColor(*props);
        records.push_back(r);
        props->SpawnSprite(*r);
    }
}

void DS_SpriteArrayObj::FrameMove(double time) {
    if (vertexCount / 4 != props->DrawnCount()) return;
    props->AdvanceClock(time);
    for (DS_SpriteRecord* r : records) props->UpdateSprite(*r);
    const bool changed = Advance(props->clock);
    if (props->updateOnFrameChange.value != 0 && !changed) return;
    DX_V::PCT* out = Lock();
    if (!out) return;
    WriteVertices(out);
    Unlock();
}

void DS_SpriteArrayObj::WriteVertices(DX_V::PCT* out) {
    DS_BaseSpriteProp& p = *props;
    const float clock = p.clock;
    const bool flipU = p.flipHorizontal.value != 0, flipV = p.flipVertical.value != 0;
    const float va = flipV ? 1.0f : 0.0f, vb = flipV ? 0.0f : 1.0f;
    float ua = flipU ? 1.0f : 0.0f, ub = flipU ? 0.0f : 1.0f;
    const float sheetPeriod = p.sheetRate != 0.0f ? 1.0f / p.sheetRate : INFINITY;
    const float s = 1.0f / static_cast<float>(p.sheetFrames > 1 ? p.sheetFrames : 1);
    size_t n = p.DrawnCount();
    if (n > records.size()) n = records.size();
    for (size_t i = 0; i < n; ++i) {
        const DS_SpriteRecord& r = *records[i];
        if (p.sheetOn) {
            if (clock - sheetSwitchTime > sheetPeriod) {
                sheetFrame = p.NextFrame(sheetFrame);
                sheetSwitchTime = clock;
            } else if (sheetSwitchTime > clock) {
                sheetSwitchTime = 0.0f;
            }
            const float a = static_cast<float>(sheetFrame) * s, b = static_cast<float>(sheetFrame + 1) * s;
            ua = flipU ? b : a;
            ub = flipU ? a : b;
        }
        const D3DXVECTOR3 k = r.GetCorner();
        const float wx = 2.0f * r.halfWidth * r.right.x, wy = 2.0f * r.halfWidth * r.right.y;
        const float hx = 2.0f * r.halfHeight * r.up.x, hy = 2.0f * r.halfHeight * r.up.y;
        const float z = k.z;
        DX_V::PCT* v = out + 4 * i;
        v[0] = {k.x + hx, k.y + hy, z, r.color, ua, vb};
        v[1] = {k.x, k.y, z, r.color, ua, va};
        v[2] = {k.x + wx + hx, k.y + wy + hy, z, r.color, ub, vb};
        v[3] = {k.x + wx, k.y + wy, z, r.color, ub, va};
    }
}

void DS_SpriteArrayObj::SetSpriteUV(const float (&u)[2], const float (&v)[2], unsigned int i) {
    if (!locked || 4 * static_cast<UINT64>(i) + 3 >= vertexCount) return;
    DX_V::PCT* q = locked + 4 * i;
    q[0].u = u[0], q[0].v = v[1];
    q[1].u = u[0], q[1].v = v[0];
    q[2].u = u[1], q[2].v = v[1];
    q[3].u = u[1], q[3].v = v[0];
}

IDirect3DTexture9* DS_SpriteArrayObj::GetMaskTexture() const {
    if (maskTexture) maskTexture->AddRef();
    return maskTexture.Get();
}

void DS_SpriteArrayObj::Render(DS_2D_Light& layer) {
    // No buffers, no sprites or no frame texture (an unresolved picture): nothing to draw.
    IDirect3DTexture9* frame = CurrentTexture();
    if (!vertexBuffer || !indexBuffer || indexedPrimitiveCount == 0 || !frame) return;
    layer.DrawSpriteArray(DS_SpriteDrawData{this, frame, maskTexture.Get(), props->additive.value});
}
