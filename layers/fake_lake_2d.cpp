#include "layers/fake_lake_2d.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "document/guid_text.h"
#include "document/res_manager.h"
#include "platform/com/objbase.h"
#include "platform/d3dx9/d3dx9math.h"
#include "scene/layer_resources.h"
#include "scene/noise.h"

DS_REGISTER_READER(GetLightReaderRegistry(), FakeLake2D, DS_2D_Light)

namespace {

// The ripple matrix is 0.04 times a rotation by (clock x 0.5) x 9 radians.
constexpr float kRippleScale = 0.04f;
constexpr float kRippleTurn = 9.0f;
// The bump map's coordinates start just inside its first texel.
constexpr float kPlaneInset = 0.01f;
constexpr UINT kPlaneVertices = 6;

// A corner's alpha byte: the low eight bits of value x 255 truncated, so a
// value past 1 (or below 0) wraps instead of stopping at the end.
BYTE WrappedAlphaByte(float value) {
    return static_cast<BYTE>(static_cast<unsigned>(TruncateToInt(static_cast<double>(value * 255.0f))) & 0xFFu);
}

}  // namespace

FakeLake2D::FakeLake2D() : normalAmplitude(25), hazeHeight(7), reflectionSize(1), tintColor(0x408000) {
    rippleSpeed.SetFactor(0.02f, 0.0f);
    rippleSpeed.SetValue(50);
    tiling.SetFactor(0.01f, 0.0f);
    tiling.SetValue(100);
    perspective.SetFactor(-0.005f, 0.5f);
    perspective.SetValue(25);
    greyAlpha.SetFactor(0.01f, 0.0f);
    greyAlpha.SetValue(100);
    nearTintAlpha.SetFactor(0.008f, 0.0f);
    nearTintAlpha.SetValue(31);
    farTintFade.SetFactor(0.01f, 0.0f);
    farTintFade.SetValue(58);
    CoCreateGuid(&bumpKey);
}

FakeLake2D::~FakeLake2D() = default;

D3DCOLOR FakeLake2D::DeviceTint() const {
    const DWORD c = tintColor.value;
    return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// ---------------------------------------------------------------- layout --

void FakeLake2D::LerpQuad(DS_QuadVerts& q, float p) {
    DS_QuadVerts::Corner& p0 = q.c[0];
    DS_QuadVerts::Corner& p1 = q.c[1];
    DS_QuadVerts::Corner& p2 = q.c[2];
    DS_QuadVerts::Corner& p3 = q.c[3];
    const float g = 1.0f - p;
    // p is at most 0.5 (raw 0), so 1 - p never reaches 0.
    const float k = p / (1.0f - p);
    const float a1 = p1.v, a3 = p3.v;
    p1.v = p0.v;
    p3.v = p2.v;
    p1.y = p0.y - g * (p0.y - p1.y);
    p3.y = p2.y - g * (p2.y - p3.y);
    p1.v = a1 - g * (a1 - p0.v);
    p3.v = a3 - g * (a3 - p2.v);
    p0.v = p1.v - k * (p1.v - a1);
    p2.v = p3.v - k * (p3.v - a3);
    const float s = p0.y - (p1.y - k * (p1.y - p0.y));
    const float top3 = p3.y;
    p1.y += s;
    p3.y += s;
    p2.y = s + top3 - k * (top3 - p2.y);
}

bool FakeLake2D::CreatePlaneBuffer(UINT n, DWORD usage, D3DPOOL pool) { return plane.CreateVertexBuffer(n, usage, pool); }

void FakeLake2D::BuildLakePlane() {
    CreatePlaneBuffer(kPlaneVertices, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    plane.primitiveType = D3DPT_TRIANGLELIST;
    plane.primitiveCount = 2;
}

void FakeLake2D::CopyQuadCorners(DS_SimpleMesh<DS_LakeVertex>& plane, const DS_QuadVerts& q) {
    DS_LakeVertex* v = plane.Lock();
    if (!v) return;
    const int order[kPlaneVertices] = {1, 0, 2, 1, 2, 3};
    for (UINT i = 0; i < kPlaneVertices; ++i) {
        const DS_QuadVerts::Corner& c = q.c[order[i]];
        v[i].x = c.x;
        v[i].y = c.y;
        v[i].z = 0.0f;
        v[i].u1 = c.u;
        v[i].v1 = c.v;
    }
    plane.Unlock();
}

void FakeLake2D::SetPlaneTexCoords(DS_SimpleMesh<DS_LakeVertex>& plane, float t) {
    DS_LakeVertex* v = plane.Lock();
    if (!v) return;
    const float e = kPlaneInset;
    // P1 far left, P0 near left, P2 near right, P3 far right.
    const float uv[kPlaneVertices][2] = {{e, e}, {e, t}, {t, t}, {e, e}, {t, t}, {t, e}};
    for (UINT i = 0; i < kPlaneVertices; ++i) {
        v[i].u0 = uv[i][0];
        v[i].v0 = uv[i][1];
    }
    plane.Unlock();
}

void FakeLake2D::ComputeLayout() {
    DS_QuadVerts q;
    const float w = static_cast<float>(GetPictureWidth()), h = static_cast<float>(GetPictureHeight());
    const float corners[4][2] = {{0.0f, h}, {0.0f, 0.0f}, {w, h}, {w, 0.0f}};
    for (int i = 0; i < 4; ++i) {
        q.c[i].x = corners[i][0];
        q.c[i].y = corners[i][1];
    }
    LerpQuad(q, perspective.Converted());
    CopyQuadCorners(plane, q);
    UpdateReflectionQuad(q);
}

void FakeLake2D::UpdateReflectionQuad(const DS_QuadVerts& q) {
    tintLayer.CopyCorners(q);
    // A lake without height (p at or below 0) or a picture without height
    // has no haze: nothing is divided by zero.
    const float p = perspective.Converted();
    const float height = static_cast<float>(GetPictureHeight());
    int h = 0;
    if (p > 0.0f && height > 0.0f)
        h = TruncateToInt(static_cast<double>((q.c[2].y - q.c[1].y) / height * static_cast<float>(hazeHeight.value) / p));
    const int w = TruncateToInt(static_cast<double>(q.c[3].x - q.c[0].x));
    DS_QuadVerts band;
    const float left = q.c[0].x, right = left + static_cast<float>(w), horizon = q.c[1].y;
    const float top = horizon - static_cast<float>(h);
    const float corners[4][2] = {{left, top}, {left, horizon}, {right, top}, {right, horizon}};
    for (int i = 0; i < 4; ++i) {
        band.c[i].x = corners[i][0];
        band.c[i].y = corners[i][1];
    }
    hazeBand.CopyCorners(band);
}

void FakeLake2D::LayoutOverlayQuads() {
    const float a = nearTintAlpha.Converted();
    const float b = a * (1.0f - farTintFade.Converted());
    const BYTE nearByte = WrappedAlphaByte(a), farByte = WrappedAlphaByte(b);
    tintLayer.SetCornerAlphaBytes(nearByte, nearByte, farByte, farByte);
    hazeBand.SetCornerAlphaBytes(0, 0, farByte, farByte);
}

// -------------------------------------------------------- device objects --

void FakeLake2D::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    DS_QuadVerts screen;
    screen.SetFullScreen();
    LerpQuad(screen, perspective.Converted());
    BuildLakePlane();
    const D3DCOLOR tint = DeviceTint();
    tintLayer.SetQuad(tint, screen);
    hazeBand.SetQuad(tint, screen);
    LayoutOverlayQuads();
    FakeLake2D::ReloadPicture();
    ComputeLayout();
    SetPlaneTexCoords(plane, tiling.Converted());
    tintLayer.SetRGB(tint);
    hazeBand.SetRGB(tint);
    CreateSquareTexture(reflectionSize.value, reflectionQuad, pictureQuad.texture.Get());
    // The document's bump map; an entry is made (empty) when it has none.
    if (DS_DocResManager* manager = GetCurrentDocResManager()) bumpTexture.Set(manager->GetGuidTexture(bumpKey).Get());
}

void FakeLake2D::ReloadPicture() {
    pictureQuad.LoadPicture(pictureLink);
    Resize(targetWidth, targetHeight);
    CreateSquareTexture(reflectionSize.value, reflectionQuad, pictureQuad.texture.Get());
    DS_2D_Light::Resize(targetWidth, targetHeight);
    ComputeLayout();
}

void FakeLake2D::RestoreDeviceObjects() {
    if (IDirect3DDevice9* d = CurrentDevice) {
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        d->SetTransform(D3DTS_WORLD, &identity);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        auto commonStates = [d] {
            d->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);
            d->SetRenderState(D3DRS_DITHERENABLE, TRUE);
            d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
            d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        };
        commonStates();
        for (DWORD s = 0; s < 2; ++s) {
            d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
            d->SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
        }
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        SetBumpStates();
        commonStates();
        d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        // The bump states leave the reflection on stage 1; the picture drawn
        // first after a restore must not be replaced by one of its texels.
        d->SetTexture(1, nullptr);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
    // The manager's effects were told of the loss when the layer was
    // invalidated; they must hear of the reset too.
    GetLayerResources()->OnResetDevice();
    const D3DSURFACE_DESC desc = GetBackBufferDesc();
    renderTargets.Create(static_cast<int>(desc.Width), static_cast<int>(desc.Height));
}

void FakeLake2D::SetBumpStates() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    d->SetTexture(0, bumpTexture.Get());
    // Clamped, not wrapped: a tiling above 1 (raw above 100) stretches the
    // bump map's edge texels over the rest of the lake instead of repeating it.
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    for (DWORD k = 0; k < 4; ++k) {
        DWORD bits = 0;
        std::memcpy(&bits, &ripple[k], sizeof bits);
        d->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(D3DTSS_BUMPENVMAT00 + k), bits);
    }
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTexture(1, reflectionQuad.texture.Get());
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
}

// ----------------------------------------------------------------- frame --

void FakeLake2D::FrameMove(double time) {
    camera.FrameMove(time);
    rippleSpeed.Advance(time);
    const float a = static_cast<float>(rippleSpeed.time) * 0.5f * kRippleTurn;
    const float c = std::cos(a), s = std::sin(a);
    ripple[0] = c * kRippleScale;
    ripple[1] = s * -kRippleScale;
    ripple[2] = s * kRippleScale;
    ripple[3] = ripple[0];
}

void FakeLake2D::DrawPicture() {
    IDirect3DDevice9* d = CurrentDevice;
    if (!d) return;
    // There is no depth surface to clear in the saver's own devices; the
    // call fails there and changes nothing.
    d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    DS_2D_Light::DrawPicture();
    if (plane.vertexBuffer) {
        d->SetStreamSource(0, plane.vertexBuffer.Get(), 0, sizeof(DS_LakeVertex));
        SetBumpStates();
        d->SetVertexShader(nullptr);
        d->SetFVF(DS_LakeVertex::FVF);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
    }
    d->SetTexture(1, nullptr);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    tintLayer.DrawBlended();
    hazeBand.DrawBlended();
}

// ---------------------------------------------------------------- record --

void FakeLake2D::WriteRecord(DS_IOF_Virtual& archive) {
    // The bump map travels with the document, under the layer's key.
    if (DS_DocResManager* manager = GetCurrentDocResManager(); manager && bumpTexture) {
        manager->GetGuidTexture(bumpKey) = DS_TextureRef::Share(bumpTexture.Get());
        manager->RefreshGuidData(bumpKey);
    }
    WriteRecordHeader(archive, u"FakeLake2D", 2);
    archive.WriteUInt(tiling.value);
    archive.WriteUInt(rippleSpeed.value);
    archive.WriteUInt(perspective.value);
    archive.WriteUInt(greyAlpha.value);
    archive.WriteUInt(nearTintAlpha.value);
    archive.WriteUInt(farTintFade.value);
    archive.WriteUInt(normalAmplitude.value);
    archive.WriteUInt(hazeHeight.value);
    WriteParam(archive, reflectionSize);
    WriteParam(archive, tintColor);
    WriteGuid(archive, bumpKey);
    archive.WriteString(path);
    archive.WriteChar(static_cast<CHAR>(flag));
    DS_2D_Light::WriteRecord(archive);
}

FakeLake2D* FakeLake2D::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    auto layer = std::make_unique<FakeLake2D>();
    layer->ReadFields(archive, version);
    return layer.release();
}

void FakeLake2D::ReadFields(DS_IOF_Virtual& archive, int version) {
    if (version >= 2) {
        ReadParam(archive, tiling);
        ReadParam(archive, rippleSpeed);
        ReadParam(archive, perspective);
        ReadParam(archive, greyAlpha);
        ReadParam(archive, nearTintAlpha);
        ReadParam(archive, farTintFade);
        ReadParam(archive, normalAmplitude);
        ReadParam(archive, hazeHeight);
        ReadParam(archive, reflectionSize);
        ReadParam(archive, tintColor);
    }
    ReadGuid(archive, bumpKey);
    archive.ReadString(path);
    CHAR stored = 0;
    archive.ReadChar(stored);
    flag = static_cast<BYTE>(stored);
    DS_2D_Light::ReadRecord(archive, *this);
}
