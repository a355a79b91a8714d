// FakeLake2D: the picture layer that turns the lower part of the picture into
// a lake.  Over the bottom band of the picture it draws the band just above
// the horizon upside down, rippled by bump environment mapping with a bump
// map whose 2 x 2 matrix turns with time; a tinted translucent layer goes
// over the lake and a tinted haze band stands on its horizon.  Everything is
// in the picture's own space, drawn through the shared 2D view.
//
// The bump map travels with the document, in the resource manager's GUID
// table under the layer's own key.
#pragma once

#include <string>

#include "document/media_param.h"
#include "document/scaled_param.h"
#include "platform/com/guid.h"
#include "scene/picture_layer.h"

// The lake plane's vertices: position, then set 0 (the bump map, stage 0)
// and set 1 (the reflection, stage 1).
struct DS_LakeVertex {
    float x, y, z;
    float u0, v0;
    float u1, v1;
    static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_TEX2;
};
static_assert(DS_LakeVertex::FVF == 0x202 && sizeof(DS_LakeVertex) == 28);

class FakeLake2D : public DS_2D_Light {
public:
    // The defaults of the table below; a new bump-map key.
    FakeLake2D();
    ~FakeLake2D() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // Plane, overlay quads, layout, reflection texture, bump map.
    void CreateDeviceObjects() override;
    // Its own device states, the resource manager's reset notice and the
    // render-target pair (the base step is not used).
    void RestoreDeviceObjects() override;
    // The picture, then the lake plane, the tint layer and the haze band.
    void DrawPicture() override;
    // The camera, the ripple clock and the ripple matrix.
    void FrameMove(double time) override;
    // The base reload, the reflection texture and the layout.
    void ReloadPicture() override;

    // "FakeLake2D", version 2, own fields, then the DS_2D_Light record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static FakeLake2D* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Version 2: every field; versions 0 and 1: the key, the path and the
    // flag only, the parameters keeping their defaults.  Then the base record.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // Folds q down onto its lower part with the lake's share p of the height
    // and flips its texture band: the picture rectangle becomes the lake,
    // from (1 - p) H to H, showing v from 1 - p down to 1 - 2p.
    static void LerpQuad(DS_QuadVerts& q, float p);
    // The folded picture rectangle, into the plane and the overlay quads.
    void ComputeLayout();
    // The tint layer over q; the haze band standing on q's horizon.
    void UpdateReflectionQuad(const DS_QuadVerts& q);
    // The corner alphas of the tint layer and the haze band.
    void LayoutOverlayQuads();
    // The bump stage 0 and the reflection stage 1, with the ripple matrix.
    void SetBumpStates();
    // Six vertices, a list of two triangles.
    void BuildLakePlane();
    bool CreatePlaneBuffer(UINT n, DWORD usage, D3DPOOL pool);
    // Set 0 of the six vertices for a bump map repeated t - 0.01 times.
    static void SetPlaneTexCoords(DS_SimpleMesh<DS_LakeVertex>& plane, float t);
    // Positions and set 1 of the triangles (P1, P0, P2) and (P1, P2, P3) of q.
    static void CopyQuadCorners(DS_SimpleMesh<DS_LakeVertex>& plane, const DS_QuadVerts& q);
    // The tint colour in device order 0x00RRGGBB.
    D3DCOLOR DeviceTint() const;

    MediaSpeedParam rippleSpeed;
    UINTSclaleTo<float> tiling;
    UINTSclaleTo<float> perspective;
    UINTSclaleTo<float> greyAlpha;
    UINTSclaleTo<float> nearTintAlpha;
    UINTSclaleTo<float> farTintFade;
    MediaParamT<unsigned int> normalAmplitude;
    MediaParamT<unsigned int> hazeHeight;
    MediaParamT<int> reflectionSize;
    MediaColor tintColor;

    DS_PictureQuad reflectionQuad;
    DS_SimpleMesh<DX_V::PC> tintLayer;
    DS_SimpleMesh<DX_V::PC> hazeBand;
    float ripple[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // m00, m01, m10, m11
    DS_TexturedMesh<DS_LakeVertex> plane;
    GUID bumpKey{};
    std::u16string path;
    BYTE flag = 1;
    DS_ComRef<IDirect3DTexture9> bumpTexture;
};
