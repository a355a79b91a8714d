// The picture layer's drawing services: the operations through which the
// slide's objects draw.  Each sets the world, view and projection from the
// current 2D view (so objects placed in the picture's pixel space follow the
// picture position and the camera) and leaves the states it lists changed
// for the next drawing step of the frame.
#include "scene/effect_calls.h"
#include "scene/picture_layer.h"

namespace {

// The three view transforms.
void SetViewTransforms() { DS_2DView::Current().SetViewTransforms(); }

// The object transform of M: the camera zoom and the picture position on top.
void SetObjectTransform(const D3DXMATRIX& m) { DS_2DView::Current().SetWorldTransform(m); }

}  // namespace

void DS_2D_Light::DrawWithEffect(const DS_SimpleMesh<DX_V::PT>& quad, ID3DXEffect* const* effect) {
    IDirect3DDevice9* d = CurrentDevice;
    // A null effect (one that could not be made) is never drawn.
    if (!d || !effect || !*effect || !quad.vertexBuffer) return;
    SetObjectTransform(quad.world);
    quad.BindStream();
    DS_RunEffectPasses(*effect, [&] { d->DrawPrimitive(quad.primitiveType, 0, quad.primitiveCount); });
}

void DS_2D_Light::DrawIndexedWithEffect(const DS_IndexedMesh<DX_V::PT>& mesh, ID3DXEffect* const* effect) {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !effect || !*effect || !mesh.vertexBuffer || !mesh.indexBuffer) return;
    // No transform here: the effect supplies its own matrices.
    mesh.BindStream();
    DS_RunEffectPasses(*effect, [&] { mesh.DrawIndexed(); });
}

void DS_2D_Light::DrawMeshList(const DS_TexturedMesh<DX_V::PNT>& node, const std::list<DS_Frame*>& instances) {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !node.vertexBuffer || !node.indexBuffer) return;
    SetViewTransforms();
    const bool twoSided = node.flag != 0;
    if (twoSided) d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTexture(0, node.texture.Get());
    node.BindStream();
    for (const DS_Frame* frame : instances) {
        if (!frame) continue;
        SetObjectTransform(frame->world);
        d->SetRenderState(D3DRS_CULLMODE, frame->frontFace ? D3DCULL_CCW : D3DCULL_CW);
        node.DrawIndexed();
    }
    // The back faces after all the front faces.
    if (twoSided) {
        for (const DS_Frame* frame : instances) {
            if (!frame) continue;
            SetObjectTransform(frame->world);
            d->SetRenderState(D3DRS_CULLMODE, frame->frontFace ? D3DCULL_CW : D3DCULL_CCW);
            node.DrawIndexed();
        }
    }
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

void DS_2D_Light::DrawSpriteArray(const DS_SpriteDrawData& sprites) {
    IDirect3DDevice9* d = CurrentDevice;
    const DS_IndexedMesh<DX_V::PCT>* mesh = sprites.mesh;
    // A population without buffers or sprites draws nothing.
    if (!d || !mesh || !mesh->vertexBuffer || !mesh->indexBuffer || mesh->indexedPrimitiveCount == 0) return;
    SetViewTransforms();
    SetObjectTransform(mesh->world);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const bool additive = sprites.additive != 0;
    d->SetRenderState(D3DRS_DESTBLEND, sprites.maskTexture || !additive ? D3DBLEND_INVSRCALPHA : D3DBLEND_ONE);
    d->SetTexture(0, sprites.frameTexture);
    mesh->BindStream();
    mesh->DrawIndexed();
    if (sprites.maskTexture) {
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTexture(0, sprites.maskTexture);
        if (sprites.additive == 1) d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        mesh->DrawIndexed();
    }
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
}

void DS_2D_Light::DrawMeshListBothSides(const DS_TexturedMesh<DX_V::PNT>& mesh) {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !mesh.vertexBuffer || !mesh.indexBuffer) return;
    SetViewTransforms();
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTexture(0, mesh.texture.Get());
    mesh.BindStream();
    // A mesh without child frames draws nothing.
    for (const DS_Frame* child : mesh.children) {
        if (!child) continue;
        SetObjectTransform(child->world);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        mesh.DrawIndexed();
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        mesh.DrawIndexed();
    }
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

void DS_2D_Light::DrawColorOverlay(const DS_SimpleMesh<DX_V::TPC>& quad) {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || !quad.vertexBuffer) return;
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    quad.BindStream();
    // A clear quad blended over the frame changes no pixel: its draw is
    // skipped, every state above and below is still set.
    if (!quad.KnownClear()) d->DrawPrimitive(quad.primitiveType, 0, quad.primitiveCount);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    // Alpha blending stays on for the next frame.
}
