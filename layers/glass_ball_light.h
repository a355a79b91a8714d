// DS_GlassBallLight: the picture layer that shows the slide through a
// magnifying glass ball.  The slide and its objects are captured as usual;
// the layer then fills the screen with a background (a vertical two-colour
// gradient or a background picture), draws a ball whose surface shows the
// captured slide magnified and refracted by bump environment mapping, lays
// up to two overlay pictures and a shine picture over it and masks the
// ball's square quad to a disc.  The captured slide can instead scroll
// sideways endlessly, or the lens can swing from side to side.  Everything
// is fixed-function: no shader effect is used.
#pragma once

#include "document/file_link.h"
#include "document/media_param.h"
#include "document/scaled_param.h"
#include "scene/picture_layer.h"

class DS_GlassBallLight : public DS_2D_Light {
public:
    // The ball and shine quads: position, then two texture-coordinate pairs
    // of which only the first is written (stage 1 generates its own).
    struct BallVertex {
        float x, y, z, u, v, u2, v2;
        static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_TEX2;
    };

    DS_GlassBallLight();
    ~DS_GlassBallLight() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    void CreateDeviceObjects() override;
    // The base step, then the ball's stage and sampler states.
    void RestoreDeviceObjects() override;
    // The base step, then the scroll quads' textures (the captured slide).
    void InvalidateDeviceObjects() override;
    // Background, ball, overlays, disc mask, shine and bars over the capture.
    void RenderFinish() override;
    void DrawPicture() override { DS_2D_Light::DrawPicture(); }
    // The camera, Resize, then the scroll or the swing.
    void FrameMove(double time) override;
    // The base resize, then background placement, bars and lens values.
    void Resize(int width, int height) override;
    // Only the background's placement follows the mode (a gradient always
    // fills); the layer's own picture position stays.
    void SetPicturePosition(int mode) override;
    bool NeedsSceneTexture() override { return true; }

    // "DS_GlassBallLight", version 1: the fifteen own fields, then the
    // "DS_2D_Light" record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_GlassBallLight* ReadNew(DS_IOF_Virtual& archive, int version);
    static DS_GlassBallLight* CreateFromArchive(DS_IOF_Virtual& archive, int version) {
        return ReadNew(archive, version);
    }
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // 256 x 256 V16U16 slopes of a hemisphere of radius 128; E_FAIL (and no
    // texture) when it cannot be made.
    HRESULT CreateBumpTexture();
    // 1024 x 1024 A8: 0xFF outside the disc of radius 508, 0 inside.
    HRESULT CreateMaskTexture();
    // 256 x 256 A8R8G8B8 with a full mip chain, each row one colour from the
    // top colour to the bottom colour; every level is written.
    HRESULT CreateGradientTexture();
    // The gradient made again and given to the background quad.
    void RebuildGradient();
    // The background quad's texture and mode from the background source.
    void SelectBackground();
    void LoadBackgroundPicture();
    // Eye distance, lens scale and swing amplitude from size, strength,
    // zoom and fitted-height share.
    void ComputeLensParams();
    // World, view and projection of the ball, and the stage-1 texture
    // matrix, for a back buffer of backWidth x backHeight (nothing is sent).
    void ComputeLensTransforms(bool lens, float backWidth, float backHeight, D3DXMATRIX* world, D3DXMATRIX* view,
                               D3DXMATRIX* projection);
    // ComputeLensTransforms for the current back buffer, sent to the device
    // with stage 1's camera-space coordinates.
    void SetupLensTransforms(bool lens);

    // One full screen of scroll or one swing period of the lens, in
    // accumulator units.
    static constexpr float kScrollPeriod = 2.0f;
    // Shared by every glass-ball layer of the process: each frame step adds
    // the time since the previous step (of any of them).  The accumulator is
    // kept within one period, so its steps never vanish in its magnitude.
    static float scrollAccumulator;
    static double previousFrameTime;
    static bool hasPreviousFrameTime;

    // Stored fields, in record order.
    DS_ImageFileLink overlay1Image;
    DS_ImageFileLink overlay2Image;
    DS_ImageFileLink shineImage;
    DS_ImageFileLink backgroundImage;
    UINTSclaleTo<float> scrollSpeed;
    MediaParamTB<POINT> ballPosition;  // in a 500-unit frame, 0 = centre
    MediaParamT<unsigned int> size;    // percent
    MediaParamT<unsigned int> lensStrength;
    MediaParamT<int> overlay1Flag;
    MediaParamT<int> overlay2Flag;
    MediaParamT<int> shineFlag;
    MediaParamT<int> backgroundSource;  // 1: the background picture; otherwise the gradient
    MediaParamT<int> scrollMode;        // 0 still, 1 and 2 scroll, 3 swinging lens
    MediaColor gradientTop;             // 0x00BBGGRR
    MediaColor gradientBottom;

    // Run-time state.
    DS_SimpleMesh<BallVertex> ballBuffer;
    DS_SimpleMesh<BallVertex> shineBuffer;
    float swing = 0.0f;
    DS_ComRef<IDirect3DTexture9> bumpTexture;
    DS_ComRef<IDirect3DTexture9> maskTexture;
    DS_ComRef<IDirect3DTexture9> gradientTexture;
    DS_PictureInfo background;
    DS_ComRef<IDirect3DTexture9> overlay1Texture;
    DS_ComRef<IDirect3DTexture9> overlay2Texture;
    DS_ComRef<IDirect3DTexture9> shineTexture;
    DS_SimpleMesh<DX_V::TPC> bars[4];  // left, right, top, bottom
    DS_TexturedQuad backgroundQuad;
    DS_TexturedQuad scrollQuads[2];

    // Lens state.
    float eyeZ = -600.0f;
    float lensScale = 1.0f;       // k1
    float swingAmplitude = 0.0f;  // k3
    float heightShare = 1.0f;     // ry
    float widthShare = 1.0f;      // rx
    int backgroundMode = DS_POS_FIT;
    float panX = 0.0f, panY = 0.0f;    // ox, oy
    float zoomX = 1.0f, zoomY = 1.0f;  // sx, sy
    D3DXMATRIX textureMatrix;
};
