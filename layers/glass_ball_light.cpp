#include "layers/glass_ball_light.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/d3dx9/d3dx9tex.h"
#include "scene/layer_resources.h"
#include "scene/noise.h"

DS_REGISTER_READER(GetLightReaderRegistry(), DS_GlassBallLight, DS_2D_Light)

namespace {

constexpr const char16_t* kModule = u"common_res.dll";
constexpr INT kOverlay1Picture = 58;
constexpr INT kOverlay2Picture = 59;
constexpr INT kShinePicture = 60;
constexpr INT kBackgroundPicture = 5;

// The bump map: a hemisphere of radius 128 on a 256 x 256 grid; slopes are
// atan(height difference) x 51200 / pi, as signed 16-bit values.
constexpr int kBumpSize = 256;
constexpr int kBumpCentre = 128;
constexpr int kBumpRadiusSquared = 128 * 128;
constexpr float kSlopeScale = 16297.4658203125f;
// The disc mask: opaque outside a radius of 508 texels of 1024.
constexpr UINT kMaskSize = 1024;
constexpr int kMaskCentre = 512;
constexpr int kMaskRadiusSquared = 508 * 508;
constexpr UINT kGradientSize = 256;

// The ball quad spans 512 units around its centre; the shine quad sits in
// its upper part.
constexpr float kBallHalf = 256.0f;
constexpr float kShine[4] = {-230.4f, 232.9f, -372.193f, -185.614f};  // left, right, bottom, top
constexpr float kBaseEyeDistance = 600.0f;
// Positions are given in a 500-unit frame centred on 0.
constexpr float kPositionHalf = 250.0f;
constexpr float kPositionFrame = 500.0f;
constexpr float kFarPlane = 3000.0f;
// S grows by this per second at scroll speed 1: a period of 2 in 32 s.
constexpr float kScrollRate = 0.0625f;

float Frac(float v) { return v - std::floor(v); }

// a / b, or `fallback` when b is 0: sizes not known yet (no background
// picture, no target) divide by nothing.
float Ratio(float a, float b, float fallback) { return b != 0.0f ? a / b : fallback; }

DS_QuadVerts Rect(float x0, float y0, float x1, float y1) {
    DS_QuadVerts q;
    q.c[0].x = x0, q.c[0].y = y1;
    q.c[1].x = x0, q.c[1].y = y0;
    q.c[2].x = x1, q.c[2].y = y1;
    q.c[3].x = x1, q.c[3].y = y0;
    return q;
}

float HemisphereHeight(int x, int y) {
    const int r2 = (x - kBumpCentre) * (x - kBumpCentre) + (y - kBumpCentre) * (y - kBumpCentre);
    return r2 <= kBumpRadiusSquared ? std::sqrt(static_cast<float>(kBumpRadiusSquared - r2)) : 0.0f;
}

// The signed 16-bit slope of a height difference.
uint16_t Slope(float difference) {
    return static_cast<uint16_t>(static_cast<int16_t>(std::trunc(std::atan(difference) * kSlopeScale)));
}

bool SetBallQuad(DS_SimpleMesh<DS_GlassBallLight::BallVertex>& mesh, float left, float right, float bottom,
                 float top) {
    if (!mesh.CreateQuad()) return false;
    DS_GlassBallLight::BallVertex* v = mesh.Lock();
    if (!v) return true;  // the buffer exists; its contents could not be written
    v[0] = {left, bottom, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    v[1] = {left, top, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    v[2] = {right, bottom, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
    v[3] = {right, top, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    mesh.Unlock();
    return true;
}

void DrawTexturedQuad(const DS_TexturedQuad& quad) {
    if (!quad.vertexBuffer) return;
    quad.BindStreamTPCT();
    CurrentDevice->DrawPrimitive(quad.primitiveType, 0, quad.primitiveCount);
}

void DrawBallQuad(const DS_SimpleMesh<DS_GlassBallLight::BallVertex>& mesh) {
    if (!mesh.vertexBuffer) return;
    mesh.BindStream();
    CurrentDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

}  // namespace

float DS_GlassBallLight::scrollAccumulator = 0.0f;
double DS_GlassBallLight::previousFrameTime = 0.0;
bool DS_GlassBallLight::hasPreviousFrameTime = false;

DS_GlassBallLight::DS_GlassBallLight()
    : overlay1Image(kOverlay1Picture, kModule),
      overlay2Image(kOverlay2Picture, kModule),
      shineImage(kShinePicture, kModule),
      backgroundImage(kBackgroundPicture, kModule),
      size(100),
      lensStrength(0),
      overlay1Flag(1),
      overlay2Flag(1),
      shineFlag(0),
      backgroundSource(0),
      scrollMode(3),
      gradientTop(0),
      gradientBottom(0) {
    scrollSpeed.SetFactor(0.02f, 1.0f);
    ballPosition.value = POINT{0, 0};
    D3DXMatrixIdentity(&textureMatrix);
}

DS_GlassBallLight::~DS_GlassBallLight() = default;

// ------------------------------------------------------------- textures --

HRESULT DS_GlassBallLight::CreateBumpTexture() {
    bumpTexture.Release();
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || FAILED(d->CreateTexture(kBumpSize, kBumpSize, 1, 0, D3DFMT_V16U16, D3DPOOL_MANAGED,
                                      bumpTexture.Out(), nullptr))) {
        bumpTexture.Release();
        return E_FAIL;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(bumpTexture->LockRect(0, &locked, nullptr, 0))) return E_FAIL;
    for (int y = 0; y < kBumpSize; ++y) {
        auto* row = static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        for (int x = 0; x < kBumpSize; ++x) {
            const float h = HemisphereHeight(x, y);
            // The last column has no right neighbour: both neighbours are the
            // texel itself there.
            const bool last = x == kBumpSize - 1;
            const float right = last ? h : HemisphereHeight(x + 1, y);
            const float below = last ? h : HemisphereHeight(x, y + 1);
            const uint32_t texel = Slope(h - right) | (static_cast<uint32_t>(Slope(h - below)) << 16);
            std::memcpy(row + x * 4, &texel, 4);
        }
    }
    bumpTexture->UnlockRect(0);
    return S_OK;
}

HRESULT DS_GlassBallLight::CreateMaskTexture() {
    maskTexture.Release();
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || FAILED(d->CreateTexture(kMaskSize, kMaskSize, 1, 0, D3DFMT_A8, D3DPOOL_MANAGED, maskTexture.Out(),
                                      nullptr))) {
        maskTexture.Release();
        return E_FAIL;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(maskTexture->LockRect(0, &locked, nullptr, 0))) return E_FAIL;
    for (int y = 0; y < static_cast<int>(kMaskSize); ++y) {
        auto* row = static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        for (int x = 0; x < static_cast<int>(kMaskSize); ++x) {
            const int r2 = (x - kMaskCentre) * (x - kMaskCentre) + (y - kMaskCentre) * (y - kMaskCentre);
            row[x] = r2 > kMaskRadiusSquared ? 0xFF : 0x00;
        }
    }
    maskTexture->UnlockRect(0);
    return S_OK;
}

HRESULT DS_GlassBallLight::CreateGradientTexture() {
    gradientTexture.Release();
    IDirect3DDevice9* d = CurrentDevice;
    if (!d || FAILED(D3DXCreateTexture(d, kGradientSize, kGradientSize, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                       gradientTexture.Out()))) {
        gradientTexture.Release();
        return E_FAIL;
    }
    // The top level's rows: c = c1 + (y / 255) (c2 - c1), truncated.
    int rows[kGradientSize][3];
    for (UINT y = 0; y < kGradientSize; ++y) {
        const float t = static_cast<float>(y) / 255.0f;
        for (int ch = 0; ch < 3; ++ch) {
            const int c1 = static_cast<int>((gradientTop.value >> (8 * ch)) & 0xFF);
            const int c2 = static_cast<int>((gradientBottom.value >> (8 * ch)) & 0xFF);
            rows[y][ch] = static_cast<int>(static_cast<float>(c1) + t * static_cast<float>(c2 - c1));
        }
    }
    // Every level is written, each row the mean of the top-level rows it
    // covers, so a minified ball samples the gradient and never stale texels.
    const DWORD levels = gradientTexture->GetLevelCount();
    for (DWORD level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (FAILED(gradientTexture->GetLevelDesc(level, &desc)) ||
            FAILED(gradientTexture->LockRect(level, &locked, nullptr, 0)))
            continue;
        const UINT span = desc.Height > 0 ? kGradientSize / desc.Height : kGradientSize;
        for (UINT y = 0; y < desc.Height; ++y) {
            int sum[3] = {0, 0, 0};
            for (UINT k = 0; k < span; ++k)
                for (int ch = 0; ch < 3; ++ch) sum[ch] += rows[y * span + k][ch];
            const int half = static_cast<int>(span / 2);
            const D3DCOLOR texel = D3DCOLOR_ARGB(0, (sum[0] + half) / static_cast<int>(span),
                                                 (sum[1] + half) / static_cast<int>(span),
                                                 (sum[2] + half) / static_cast<int>(span));
            auto* row = static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
            for (UINT x = 0; x < desc.Width; ++x) std::memcpy(row + x * 4, &texel, 4);
        }
        gradientTexture->UnlockRect(level);
    }
    return S_OK;
}

void DS_GlassBallLight::RebuildGradient() {
    CreateGradientTexture();
    backgroundQuad.texture.Set(gradientTexture.Get());
}

// --------------------------------------------------------------- device --

void DS_GlassBallLight::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    DS_LayerResources* resources = GetLayerResources();
    overlay1Texture.Set(resources->GetPicture(overlay1Image).texture.Get());
    overlay2Texture.Set(resources->GetPicture(overlay2Image).texture.Get());
    shineTexture.Set(resources->GetPicture(shineImage).texture.Get());
    CreateBumpTexture();
    CreateGradientTexture();
    CreateMaskTexture();
    DS_QuadVerts full;
    full.SetFullScreen();
    backgroundQuad.SetTexturedQuad(gradientTexture.Get(), full);
    for (DS_TexturedQuad& quad : scrollQuads) quad.InitFromResource(full);
    if (!SetBallQuad(ballBuffer, -kBallHalf, kBallHalf, -kBallHalf, kBallHalf)) return;
    for (auto& bar : bars) bar.SetQuad(0xFF000000u, full);
    if (!SetBallQuad(shineBuffer, kShine[0], kShine[1], kShine[2], kShine[3])) return;
    RebuildGradient();
    SelectBackground();
    LoadBackgroundPicture();
}

void DS_GlassBallLight::RestoreDeviceObjects() {
    DS_2D_Light::RestoreDeviceObjects();
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    d->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(1, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    d->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    const float bump[4] = {0.2f, 0.0f, 0.0f, 0.25f};
    const D3DTEXTURESTAGESTATETYPE bumpStates[4] = {D3DTSS_BUMPENVMAT00, D3DTSS_BUMPENVMAT01, D3DTSS_BUMPENVMAT10,
                                                   D3DTSS_BUMPENVMAT11};
    for (int i = 0; i < 4; ++i) {
        DWORD bits = 0;
        std::memcpy(&bits, &bump[i], 4);
        d->SetTextureStageState(0, bumpStates[i], bits);
    }
    const float lScale = 1.0f, lOffset = 0.0f;
    DWORD bits = 0;
    std::memcpy(&bits, &lScale, 4);
    d->SetTextureStageState(0, D3DTSS_BUMPENVLSCALE, bits);
    std::memcpy(&bits, &lOffset, 4);
    d->SetTextureStageState(0, D3DTSS_BUMPENVLOFFSET, bits);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    // Beside an enabled colour operation: the stage passes the alpha it was
    // given on.
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void DS_GlassBallLight::InvalidateDeviceObjects() {
    DS_2D_Light::InvalidateDeviceObjects();
    for (DS_TexturedQuad& quad : scrollQuads) quad.texture.Release();
}

// ----------------------------------------------------------- background --

void DS_GlassBallLight::SelectBackground() {
    if (backgroundSource.value == 1) {
        backgroundQuad.texture.Set(background.texture.Get());
        backgroundMode = DS_POS_FIT;
    } else {
        backgroundQuad.texture.Set(gradientTexture.Get());
        backgroundMode = DS_POS_FILL;
    }
    Resize(targetWidth, targetHeight);
    Resize(targetWidth, targetHeight);
}

void DS_GlassBallLight::LoadBackgroundPicture() {
    background = GetLayerResources()->GetPicture(backgroundImage);
    if (backgroundSource.value == 1) {
        backgroundQuad.texture.Set(background.texture.Get());
        Resize(targetWidth, targetHeight);
    }
}

void DS_GlassBallLight::SetPicturePosition(int mode) {
    backgroundMode = backgroundSource.value == 1 ? mode : DS_POS_FILL;
    Resize(targetWidth, targetHeight);
}

// ----------------------------------------------------------------- lens --

void DS_GlassBallLight::ComputeLensParams() {
    const float s = static_cast<float>(size.value);
    const float g = static_cast<float>(lensStrength.value);
    // Before the first real resize the shares may be 0: the eye then stays
    // at its base distance for the size.
    float scale = zoomX * heightShare;
    if (!(scale > 0.0f)) scale = 1.0f;
    eyeZ = -kBaseEyeDistance / (0.75f * s / 100.0f + 0.25f) / scale;
    lensScale = ((s * heightShare * zoomX / 100.0f) * 1.105f + 0.385f) * 1.05f * (1.0f + 0.5f * g / 100.0f);
    swingAmplitude = 0.125f + 0.5f * g * 0.125f / 100.0f;
}

void DS_GlassBallLight::Resize(int width, int height) {
    DS_2D_Light::Resize(width, height);
    DS_2DView& view = DS_2DView::Current();
    view.Setup(width, height, background, backgroundMode, false);
    ComputeLensParams();

    DS_QuadVerts fitted;
    fitted.SetAspectFit(background, width, height);
    fitted.ScaleToBackBuffer(width, height);
    const float L = fitted.Left(), T = fitted.Top();
    const float R = L + fitted.Width(), B = T + fitted.Height();
    const float bw = static_cast<float>(background.width), bh = static_cast<float>(background.height);

    const D3DXMATRIX m = view.zoom * view.positionOffset * view.positionScale;
    zoomX = m._11;
    zoomY = m._22;
    panX = Ratio(Ratio(m._41, m._11, 0.0f) * zoomX * (R - L), bw, 0.0f);
    panY = Ratio(Ratio(m._42, m._22, 0.0f) * zoomY * (B - T), bh, 0.0f);

    DS_QuadVerts corners = fitted;
    for (auto& c : corners.c) {
        c.x = L + (c.x - L) * zoomX + panX;
        c.y = T + (c.y - T) * zoomY + panY;
    }
    backgroundQuad.SetCorners(corners);

    const float ws = zoomX * (R - L), hs = zoomY * (B - T);
    widthShare = Ratio(ws, ws + 2.0f * static_cast<float>(TruncateToInt(zoomX * L) + 1), 1.0f);
    heightShare = Ratio(hs, hs + 2.0f * static_cast<float>(TruncateToInt(zoomY * T) + 1), 1.0f);

    const float ex = Ratio(ws * view.offsetX * view.inverseScaleX, bw, 0.0f);
    const float ey = Ratio(hs * view.offsetY * view.inverseScaleY, bh, 0.0f);
    const float x0 = L + ex, x1 = L + view.inverseScaleX * (R - L) + ex;
    const float y0 = T + ey, y1 = T + view.inverseScaleY * (B - T) + ey;
    const float sideWidth = static_cast<float>(TruncateToInt(x0) + 1);
    const float sideHeight = static_cast<float>(TruncateToInt(y1 - y0));
    const float bandWidth = static_cast<float>(TruncateToInt(x1 - x0));
    const float bandHeight = static_cast<float>(TruncateToInt(y0) + 1);
    // Bars whose buffers were never made (a failed creation) are skipped.
    bars[0].CopyCorners(Rect(0.0f, 0.0f, sideWidth, sideHeight));
    bars[1].CopyCorners(Rect(x1, 0.0f, x1 + sideWidth, sideHeight));
    bars[2].CopyCorners(Rect(0.0f, 0.0f, bandWidth, bandHeight));
    bars[3].CopyCorners(Rect(0.0f, y1, bandWidth, y1 + bandHeight));

    ComputeLensParams();
    view.Setup(width, height, background, DS_POS_FIT, false);
}

void DS_GlassBallLight::ComputeLensTransforms(bool lens, float backWidth, float backHeight, D3DXMATRIX* world,
                                              D3DXMATRIX* view, D3DXMATRIX* projection) {
    const float W = backWidth > 0.0f ? backWidth : 1.0f;
    const float H = backHeight > 0.0f ? backHeight : 1.0f;
    const float px = static_cast<float>(ballPosition.value.x), py = static_cast<float>(ballPosition.value.y);
    const float tx0 = (-eyeZ / kBaseEyeDistance) *
                      ((px + kPositionHalf) * zoomX - kPositionHalf + Ratio(kPositionFrame * panX / W, widthShare, 0.0f));
    const float ty0 = (eyeZ / kBaseEyeDistance) *
                      ((py + kPositionHalf) * zoomY - kPositionHalf + Ratio(kPositionFrame * panY / H, heightShare, 0.0f));
    const float targetAspect =
        Ratio(static_cast<float>(targetWidth), static_cast<float>(targetHeight), 1.0f);
    float tx = tx0, ty = ty0;
    if (backgroundSource.value == 1) {
        tx = targetAspect * tx0 * widthShare;
        ty = heightShare * ty0;
    }
    const UINT pw = GetPictureWidth(), ph = GetPictureHeight();
    float u = 0.0f, v = 0.0f, distance = 0.0f;
    if (lens) {
        const float f = 1.5f - 0.01f * static_cast<float>(lensStrength.value / 2);
        // A portrait picture has a whole-number aspect quotient of 0: it is
        // taken as 1, so the offset is never divided by nothing.
        UINT q = ph > 0 ? pw / ph : 1;
        if (q < 1) q = 1;
        u = swingAmplitude * swing - (f * tx / W) / static_cast<float>(q);
        v = (ty / H) * f;
        distance = std::fabs(eyeZ) * lensScale;
    } else {
        distance = std::fabs(eyeZ) * heightShare;
    }

    D3DXMatrixTranslation(world, tx, ty, 0.0f);
    const D3DXVECTOR3 eye(0.0f, 0.0f, eyeZ), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(projection, D3DX_PI / 4.0f, targetAspect, 1.0f, kFarPlane);

    const float pictureAspect = Ratio(static_cast<float>(pw), static_cast<float>(ph), 1.0f);
    const float a2 = !lens && backgroundSource.value != 0
                         ? Ratio(static_cast<float>(background.width), static_cast<float>(background.height), 1.0f)
                         : pictureAspect;
    D3DXMATRIX p2;
    D3DXMatrixPerspectiveFovLH(&p2, D3DX_PI / 4.0f, a2, 1.0f, kFarPlane);
    const float depth = distance * p2._33 + p2._34;
    textureMatrix._11 = 0.5f * p2._11 / depth;
    textureMatrix._22 = -0.5f * p2._22 / depth;
    textureMatrix._41 = Frac(u) + 0.5f;
    textureMatrix._42 = v + 0.5f;
    textureMatrix._12 = textureMatrix._21 = textureMatrix._31 = textureMatrix._32 = 0.0f;
}

void DS_GlassBallLight::SetupLensTransforms(bool lens) {
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    D3DXMATRIX world, view, projection;
    ComputeLensTransforms(lens, static_cast<float>(desc.Width), static_cast<float>(desc.Height), &world, &view,
                          &projection);
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);
    d->SetTransform(D3DTS_TEXTURE1, &textureMatrix);
    d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION | 1);
}

// ---------------------------------------------------------------- frame --

void DS_GlassBallLight::FrameMove(double time) {
    camera.FrameMove(time);
    Resize(targetWidth, targetHeight);
    if (!hasPreviousFrameTime) {
        previousFrameTime = time;
        hasPreviousFrameTime = true;
    }
    if (scrollMode.value == 0) {
        swing = 0.0f;
        return;
    }
    const float step = static_cast<float>(time - previousFrameTime) * scrollSpeed.Converted() * kScrollRate;
    // Kept within one period: after days of running a larger value would
    // swallow a frame's step.
    const float s = scrollAccumulator + step;
    scrollAccumulator = std::isfinite(s) ? s - kScrollPeriod * std::floor(s / kScrollPeriod) : 0.0f;
    if (scrollMode.value == 1 || scrollMode.value == 2) {
        swing = 0.0f;
        const D3DSURFACE_DESC desc = GetBackBufferDesc();
        const float W = static_cast<float>(desc.Width), H = static_cast<float>(desc.Height);
        const float u = scrollAccumulator * (scrollMode.value == 1 ? -0.5f : 0.5f);
        const float f = Frac(u);
        scrollQuads[0].SetCorners(Rect(f * W, 0.0f, f * W + W, H));
        scrollQuads[1].SetCorners(Rect(f * W - W, 0.0f, f * W, H));
    } else if (scrollMode.value == 3) {
        swing = 2.0f * std::fabs(2.0f * Frac(scrollAccumulator / 2.0f) - 1.0f) - 1.0f;
    }
    previousFrameTime = time;
}

void DS_GlassBallLight::RenderFinish() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    const bool captured = CaptureRunning();
    if (captured && (scrollMode.value == 1 || scrollMode.value == 2)) {
        // The capture goes on into the other texture, which receives the
        // slide scrolled: the same image twice, wrapping around.
        IDirect3DTexture9* slide = *renderTargets.Swap();
        for (DS_TexturedQuad& quad : scrollQuads) {
            quad.texture.Set(slide);
            DrawTexturedQuad(quad);
        }
    }
    DS_RenderTargetPair& pair = EndSceneCapture(false);
    // Without a capture (no render targets) the ball shows the picture.
    IDirect3DTexture9* scene = captured ? pair.current.Get() : pictureQuad.texture.Get();

    DrawTexturedQuad(backgroundQuad);

    SetupLensTransforms(true);
    d->SetTexture(0, bumpTexture.Get());
    d->SetTexture(1, scene);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    DrawBallQuad(ballBuffer);

    SetupLensTransforms(false);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTexture(1, nullptr);
    if (overlay1Flag.value != 0) {
        d->SetTexture(0, overlay1Texture.Get());
        DrawBallQuad(ballBuffer);
    }
    if (overlay2Flag.value != 0) {
        d->SetTexture(0, overlay2Texture.Get());
        DrawBallQuad(ballBuffer);
    }

    // The background over the corners outside the disc: stage 1 maps the
    // background quad's texture as the background quad itself placed it.
    d->SetTexture(0, maskTexture.Get());
    d->SetTexture(1, backgroundQuad.texture.Get());
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    const float W = desc.Width > 0 ? static_cast<float>(desc.Width) : 1.0f;
    const float H = desc.Height > 0 ? static_cast<float>(desc.Height) : 1.0f;
    const float sx = zoomX != 0.0f ? zoomX : 1.0f, sy = zoomY != 0.0f ? zoomY : 1.0f;
    textureMatrix._11 /= sx;
    textureMatrix._22 /= sy;
    textureMatrix._41 = (textureMatrix._41 - Ratio(panX / W, widthShare, 0.0f)) / sx;
    textureMatrix._42 = (textureMatrix._42 - Ratio(panY / H, heightShare, 0.0f)) / sy;
    d->SetTransform(D3DTS_TEXTURE1, &textureMatrix);
    DrawBallQuad(ballBuffer);
    d->SetTexture(1, nullptr);

    if (shineFlag.value != 0) {
        d->SetTexture(0, shineTexture.Get());
        DrawBallQuad(shineBuffer);
    }
    d->SetTexture(0, nullptr);
    if (backgroundSource.value == 1 && backgroundMode == DS_POS_FIT)
        for (const auto& bar : bars) DrawColorOverlay(bar);
}

// --------------------------------------------------------------- record --

void DS_GlassBallLight::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_GlassBallLight", 1);
    DS_LayerResources* resources = GetLayerResources();
    for (const DS_ImageFileLink* link : {&overlay1Image, &overlay2Image, &shineImage, &backgroundImage}) {
        if (resources) resources->PrepareLinkForSave(*link);
        WriteFileLink(archive, *link);
    }
    archive.WriteUInt(scrollSpeed.value);
    WriteParam(archive, ballPosition);
    WriteParam(archive, size);
    WriteParam(archive, lensStrength);
    WriteParam(archive, overlay1Flag);
    WriteParam(archive, overlay2Flag);
    WriteParam(archive, shineFlag);
    WriteParam(archive, backgroundSource);
    WriteParam(archive, scrollMode);
    WriteParam(archive, gradientTop);
    WriteParam(archive, gradientBottom);
    DS_2D_Light::WriteRecord(archive);
}

DS_GlassBallLight* DS_GlassBallLight::ReadNew(DS_IOF_Virtual& archive, int version) {
    std::unique_ptr<DS_GlassBallLight> layer(new DS_GlassBallLight);
    layer->ReadFields(archive, version);
    return layer.release();
}

void DS_GlassBallLight::ReadFields(DS_IOF_Virtual& archive, int) {
    ReadFileLink(archive, overlay1Image);
    ReadFileLink(archive, overlay2Image);
    ReadFileLink(archive, shineImage);
    ReadFileLink(archive, backgroundImage);
    ReadParam(archive, scrollSpeed);
    ReadParam(archive, ballPosition);
    ReadParam(archive, size);
    ReadParam(archive, lensStrength);
    ReadParam(archive, overlay1Flag);
    ReadParam(archive, overlay2Flag);
    ReadParam(archive, shineFlag);
    ReadParam(archive, backgroundSource);
    ReadParam(archive, scrollMode);
    ReadParam(archive, gradientTop);
    ReadParam(archive, gradientBottom);
    DS_2D_Light::ReadRecord(archive, *this);
}
