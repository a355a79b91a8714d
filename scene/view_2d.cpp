// Three types that work together and share this file (see view_2d.h):
// DS_2DView (the picture's fit, position, zoom and letterbox bars),
// DS_ScreenMapping (back-buffer pixels to picture pixels) and DS_ViewState
// (one view and one mapping per render unit, and the current one).
#include "scene/view_2d.h"

#include <cmath>
#include <cstdlib>

#include "scene/noise.h"

namespace {

DS_ViewState* g_current = nullptr;

// Built before the main function; its bars are released at exit.
struct StaticInit2DView {
    StaticInit2DView() { DS_DefaultViewState().view.Init(); }
    ~StaticInit2DView() { DS_DefaultViewState().view.Teardown(); }
} g_staticInit2DView;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// Integer conversions of bar sizes truncate toward zero; a size that is not
// a finite number (or beyond int) saturates instead of being undefined.
int Trunc(float v) { return TruncateToInt(static_cast<double>(v)); }

}  // namespace

DS_ViewState& DS_DefaultViewState() {
    static DS_ViewState state;
    return state;
}

void DS_SetCurrentViewState(DS_ViewState* state) { g_current = state; }

DS_ViewState& DS_CurrentViewState() { return g_current ? *g_current : DS_DefaultViewState(); }

DS_2DView& DS_2DView::Current() { return DS_CurrentViewState().view; }

DS_ScreenMapping& DS_ScreenMapping::Current() { return DS_CurrentViewState().mapping; }

void DS_2DView::Init() {
    composite = world = view = projection = positionScale = positionOffset = zoom = Identity();
    inverseScaleX = inverseScaleY = 1.0f;
    offsetX = offsetY = 0.0f;
    mode = DS_POS_FIT;
    pictureWidth = pictureHeight = 0;
    scaleX = scaleY = 1.0f;
}

void DS_2DView::Teardown() {
    for (auto& bar : bars) bar.vertexBuffer.Release();
}

void DS_2DView::SetBarColors() {
    DS_QuadVerts full;
    full.SetFullScreen();
    for (int i = 0; i < 4; ++i) {
        bars[i].SetQuad(0xFF000000u, full);
        barCorners[i] = full;
    }
}

void DS_2DView::Setup(int width, int height, const DS_PictureInfo& picture, int newMode, bool noScale) {
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    Compute(width, height, picture.width, picture.height, newMode, noScale, desc.Width, desc.Height);
    SetViewTransforms();
}

void DS_2DView::Compute(int width, int height, UINT pw, UINT ph, int newMode, bool noScale, UINT backWidth,
                        UINT backHeight) {
    // 1. what is stored
    mode = newMode;
    pictureWidth = pw;
    pictureHeight = ph;

    const float a = width > 0 ? static_cast<float>(width) : 1.0f;
    const float b = height > 0 ? static_cast<float>(height) : 1.0f;
    const int ia = width > 0 ? width : 1, ib = height > 0 ? height : 1;
    // A picture without area stands for one of the target's size.
    const float fpw = pw > 0 && ph > 0 ? static_cast<float>(pw) : a;
    const float fph = pw > 0 && ph > 0 ? static_cast<float>(ph) : b;

    // (A, B): the back-buffer size, or the target's with noScale.
    const float A = noScale ? a : static_cast<float>(backWidth);
    const float B = noScale ? b : static_cast<float>(backHeight);

    // 2. the fit, in back-buffer pixels unless noScale
    DS_QuadVerts fit;
    fit.SetAspectFit(fpw, fph, ia, ib);
    if (!noScale) fit.ScaleBy(A / a, B / b);
    const float L = fit.Left(), T = fit.Top(), w = fit.Width(), h = fit.Height();

    // 3. the bars: one pixel wider or taller than the margin, when there is one
    int bw = Trunc(L);
    if (bw > 0) bw += 1;
    int bh = Trunc(T);
    if (bh > 0) bh += 1;
    auto rect = [](float x0, float y0, float x1, float y1) {
        DS_QuadVerts q;
        q.c[0].x = x0, q.c[0].y = y1;
        q.c[1].x = x0, q.c[1].y = y0;
        q.c[2].x = x1, q.c[2].y = y1;
        q.c[3].x = x1, q.c[3].y = y0;
        return q;
    };
    const float fh = static_cast<float>(Trunc(h)), fw = static_cast<float>(Trunc(w));
    barCorners[0] = rect(0.0f, 0.0f, static_cast<float>(bw), fh);
    barCorners[1] = rect(L + w, 0.0f, L + w + static_cast<float>(bw), fh);
    barCorners[2] = rect(0.0f, 0.0f, fw, static_cast<float>(bh));
    barCorners[3] = rect(0.0f, T + h, fw, T + h + static_cast<float>(bh));
    for (int i = 0; i < 4; ++i)
        if (bars[i].vertexBuffer) bars[i].CopyCorners(barCorners[i]);

    // 4. world, view, projection (the target size, not the back buffer's)
    world = Identity();
    const D3DXVECTOR3 eye(0.0f, 0.0f, -1.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixOrthoOffCenterLH(&projection, 0.0f, a, b, 0.0f, -5000.0f, 5000.0f);

    // 5. back-buffer size over the fitted size
    scaleX = w > 0.0f ? A / w : 1.0f;
    scaleY = h > 0.0f ? B / h : 1.0f;

    // 6. picture pixels to target pixels
    const float U = T != 0.0f ? a / fpw : b / fph;
    D3DXMATRIX scaling, translation;
    D3DXMatrixScaling(&scaling, U, U, 1.0f);
    D3DXMatrixTranslation(&translation, A > 0.0f ? L * a / A : 0.0f, B > 0.0f ? T * b / B : 0.0f, 0.0f);
    D3DXMatrixMultiply(&composite, &scaling, &translation);

    // 8. the picture-position scale
    float sx = 1.0f, sy = 1.0f;
    const float wx = w > 0.0f ? (2.0f * L + w) / w : 1.0f;
    const float hy = h > 0.0f ? (2.0f * T + h) / h : 1.0f;
    switch (mode) {
        case DS_POS_STRETCH:
        case DS_POS_CAPTURE:
            sx = wx;
            sy = hy;
            break;
        case DS_POS_FILL:
            sx = sy = (L == 0.0f) ? hy : wx;
            break;
        default:  // Fit: the bars show
            break;
    }

    // 9. scale about the picture's centre
    const float fx = (1.0f - sx) / 2.0f * fpw / sx;
    const float fy = (1.0f - sy) / 2.0f * fph / sy;
    D3DXMatrixScaling(&positionScale, sx, sy, 1.0f);
    D3DXMatrixTranslation(&positionOffset, fx, fy, 0.0f);
    inverseScaleX = 1.0f / sx;
    inverseScaleY = 1.0f / sy;
    offsetX = fx;
    offsetY = fy;
}

void DS_2DView::SetViewTransforms() const {
    if (!CurrentDevice) return;
    CurrentDevice->SetTransform(D3DTS_WORLD, &world);
    CurrentDevice->SetTransform(D3DTS_VIEW, &view);
    CurrentDevice->SetTransform(D3DTS_PROJECTION, &projection);
}

D3DXMATRIX DS_2DView::ObjectTransform(const D3DXMATRIX& m) const {
    D3DXMATRIX t = positionOffset * positionScale * composite;
    if (mode != DS_POS_CAPTURE) t = zoom * t;
    return m * t;
}

void DS_2DView::SetWorldTransform(const D3DXMATRIX& m) const {
    if (!CurrentDevice) return;
    const D3DXMATRIX t = ObjectTransform(m);
    CurrentDevice->SetTransform(D3DTS_WORLD, &t);
}

D3DXMATRIX* DS_2DView::ComposeTransform(D3DXMATRIX* out, const D3DXMATRIX& m) const {
    *out = ObjectTransform(m) * view * projection;
    return out;
}

D3DXMATRIX* DS_2DView::GetTransform(D3DXMATRIX* out) const {
    if (mode == DS_POS_CAPTURE)
        *out = positionOffset * positionScale * composite * view * projection;
    else
        *out = composite * view * projection;
    return out;
}

void DS_2DView::SetZoom(float z, float panX, float panY) {
    if (!std::isfinite(z) || z == 0.0f) z = 1.0f;
    const float pw = static_cast<float>(pictureWidth), ph = static_cast<float>(pictureHeight);
    D3DXMATRIX translation, scaling;
    D3DXMatrixTranslation(&translation, (panX + 1.0f) * (1.0f - z) / 2.0f * pw / z,
                          (panY + 1.0f) * (1.0f - z) / 2.0f * ph / z, 0.0f);
    D3DXMatrixScaling(&scaling, z, z, 1.0f);
    D3DXMatrixMultiply(&zoom, &translation, &scaling);
}

float DS_2DView::GetScaleX() const {
    const D3DXMATRIX m = zoom * positionOffset * positionScale;
    return m._11 != 0.0f ? m._41 / m._11 : 0.0f;
}

float DS_2DView::GetScaleY() const {
    const D3DXMATRIX m = zoom * positionOffset * positionScale;
    return m._22 != 0.0f ? m._42 / m._22 : 0.0f;
}

void DS_2DView::BindQuadStream(const DS_SimpleMesh<DX_V::TPC>& mesh) {
    if (!CurrentDevice) return;
    CurrentDevice->SetVertexShader(nullptr);
    CurrentDevice->SetFVF(DX_V::TPC::FVF);
    CurrentDevice->SetStreamSource(0, mesh.vertexBuffer.Get(), 0, sizeof(DX_V::TPC));
}

void DS_2DView::DrawBars() const {
    if (mode != DS_POS_FIT || !CurrentDevice) return;
    IDirect3DDevice9* d = CurrentDevice;
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d->SetVertexShader(nullptr);
    d->SetFVF(DX_V::TPC::FVF);
    for (const auto& bar : bars) {
        if (!bar.vertexBuffer) continue;
        d->SetStreamSource(0, bar.vertexBuffer.Get(), 0, sizeof(DX_V::TPC));
        d->DrawPrimitive(bar.primitiveType, 0, bar.primitiveCount);
    }
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
}

void DS_ScreenMapping::Set(const DS_QuadVerts& quad, int width, int height, int pictureWidth, int pictureHeight) {
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    SetWithBackBuffer(quad, width, height, pictureWidth, pictureHeight, desc.Width, desc.Height);
}

void DS_ScreenMapping::SetWithBackBuffer(const DS_QuadVerts& quad, int width, int height, int pictureWidth,
                                         int pictureHeight, UINT backWidth, UINT backHeight) {
    sx = width != 0 ? static_cast<float>(backWidth) / static_cast<float>(width) : 1.0f;
    sy = height != 0 ? static_cast<float>(backHeight) / static_cast<float>(height) : 1.0f;
    fitted = quad;
    logicalWidth = pictureWidth;
    logicalHeight = pictureHeight;
}

void DS_ScreenMapping::PictureToBackBuffer(float x, float y, float* bx, float* by) const {
    const float w = fitted.Width(), h = fitted.Height();
    *bx = logicalWidth > 0 && w != 0.0f ? fitted.Left() + x * w / static_cast<float>(logicalWidth) : x;
    *by = logicalHeight > 0 && h != 0.0f ? fitted.Top() + y * h / static_cast<float>(logicalHeight) : y;
}

void DS_ScreenMapping::BackBufferToPicture(float bx, float by, float* x, float* y) const {
    const float w = fitted.Width(), h = fitted.Height();
    *x = logicalWidth > 0 && w != 0.0f ? (bx - fitted.Left()) * static_cast<float>(logicalWidth) / w : bx;
    *y = logicalHeight > 0 && h != 0.0f ? (by - fitted.Top()) * static_cast<float>(logicalHeight) / h : by;
}
