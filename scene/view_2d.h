// The 2D view, the screen mapping and the per-unit view state: three types
// that work together and share this file pair.
//
// Layers and objects place and draw everything in the picture's own pixel
// space (x right, y down, extent = the picture's width and height).
// DS_2DView maps that space onto the render target: the fit of the picture
// into the target with its aspect kept, the picture position (Stretch, Fit,
// Fill, or the capture mode), the camera's zoom, and the four letterbox bars.
// DS_ScreenMapping relates back-buffer pixels to the picture's pixels for
// everything that places objects.
//
// There is one view and one mapping per render unit (DS_ViewState): two
// screens of different sizes must not draw with each other's projection, nor
// draw bars whose buffers belong to another screen's device.  The host makes a
// unit's state current together with its device; until it does, a process
// default is current.
#pragma once

#include "platform/d3dx9/d3dx9math.h"
#include "scene/mesh.h"
#include "scene/quad_verts.h"

// Picture-position modes (the registry value "PicPos"), and the capture mode
// a layer uses while it renders into a texture.
enum DS_PicturePosition : int {
    DS_POS_STRETCH = 0,
    DS_POS_FIT = 1,
    DS_POS_FILL = 2,
    DS_POS_CAPTURE = 3,
};

class DS_2DView {
public:
    DS_2DView() { Init(); }

    // The current unit's view.
    static DS_2DView& Current();

    // Start-up values: mode Fit, no picture, identity matrices, bars without buffers.
    void Init();
    // Releases the bars' buffers.
    void Teardown();

    // Every bar := a new four-vertex buffer over the whole back buffer in
    // opaque black.
    void SetBarColors();
    // Sets the view up for a target of width x height and the picture, with
    // the back-buffer size of CurrentDevice; noScale keeps everything in
    // target pixels.  Then sets the device's WORLD, VIEW and PROJECTION.
    void Setup(int width, int height, const DS_PictureInfo& picture, int mode, bool noScale);
    // The same computation with the back-buffer size given (no device needed;
    // transforms are not sent).  A picture without area is treated as one of
    // the target's size, a target without area as 1 x 1, so nothing is
    // divided by zero.
    void Compute(int width, int height, UINT pictureWidth, UINT pictureHeight, int mode, bool noScale,
                 UINT backBufferWidth, UINT backBufferHeight);

    // Draws the four bars, only in Fit mode.
    void DrawBars() const;
    // WORLD := M x (zoom) x position offset x position scale x composite;
    // the zoom is left out in the capture mode.
    void SetWorldTransform(const D3DXMATRIX& m) const;
    // The object transform of M times view and projection.
    D3DXMATRIX* ComposeTransform(D3DXMATRIX* out, const D3DXMATRIX& m) const;
    // In the capture mode: position offset x position scale x composite x view
    // x projection; otherwise composite x view x projection.
    D3DXMATRIX* GetTransform(D3DXMATRIX* out) const;
    // The object transform of M (without the view and projection).
    D3DXMATRIX ObjectTransform(const D3DXMATRIX& m) const;
    // Scales the picture by z about ((panX + 1) / 2 x pw, (panY + 1) / 2 x ph).
    // A zoom of 0 (or not a number) is taken as 1.
    void SetZoom(float z, float panX, float panY);
    float GetScaleX() const;
    float GetScaleY() const;
    // No vertex shader, the TPC format, stream 0 = the mesh's buffer.
    static void BindQuadStream(const DS_SimpleMesh<DX_V::TPC>& mesh);
    // WORLD, VIEW and PROJECTION := world, view, projection.
    void SetViewTransforms() const;

    D3DXMATRIX composite;
    D3DXMATRIX world;
    D3DXMATRIX view;
    D3DXMATRIX projection;
    D3DXMATRIX positionScale;
    D3DXMATRIX positionOffset;
    float inverseScaleX = 1.0f, inverseScaleY = 1.0f;
    float offsetX = 0.0f, offsetY = 0.0f;
    D3DXMATRIX zoom;
    // Left, right, top, bottom, in back-buffer pixels (or target pixels with noScale).
    DS_SimpleMesh<DX_V::TPC> bars[4];
    DS_QuadVerts barCorners[4];  // the corners last given to the bars
    int mode = DS_POS_FIT;
    UINT pictureWidth = 0, pictureHeight = 0;
    float scaleX = 1.0f, scaleY = 1.0f;
};

class DS_ScreenMapping {
public:
    // The current unit's mapping.
    static DS_ScreenMapping& Current();

    // sx := back-buffer width / target width, sy likewise, fitted quad copied,
    // logical size := the picture's.  A zero target size gives a scale of 1.
    void Set(const DS_QuadVerts& fitted, int width, int height, int pictureWidth, int pictureHeight);
    void SetWithBackBuffer(const DS_QuadVerts& fitted, int width, int height, int pictureWidth, int pictureHeight,
                           UINT backBufferWidth, UINT backBufferHeight);

    // A point of the picture's pixel space in back-buffer pixels, and back.
    // With no logical size or no fitted area the point is returned unchanged.
    void PictureToBackBuffer(float x, float y, float* bx, float* by) const;
    void BackBufferToPicture(float bx, float by, float* x, float* y) const;

    float sx = 0.0f, sy = 0.0f;
    DS_QuadVerts fitted;
    int logicalWidth = 0, logicalHeight = 0;
};

// One render unit's view and mapping.
struct DS_ViewState {
    // The bars' buffers, before the unit's device goes.
    void ReleaseDeviceObjects() { view.Teardown(); }

    DS_2DView view;
    DS_ScreenMapping mapping;
};

// The process default state, current whenever no unit's state is.
DS_ViewState& DS_DefaultViewState();
// Makes a unit's state current (null: the default).
void DS_SetCurrentViewState(DS_ViewState* state);
DS_ViewState& DS_CurrentViewState();
