// Plain device state: what Set* calls store and draws read.  Defaults are
// the values Direct3D 9 documents for a newly created (or reset) device.
#pragma once

#include <array>
#include <cstring>

#include "platform/d3d9/d3d9.h"

namespace tessaloom::d3d9 {

constexpr int kMaxStages = 8;
constexpr int kMaxSamplers = 16;
constexpr int kMaxLights = 8;
constexpr int kMaxStreams = 1;

inline DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}
inline float BitsFloat(DWORD d) {
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

inline D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

struct LightSlot {
    D3DLIGHT9 light{};
    bool set = false;
    bool enabled = false;
};

struct DeviceState {
    std::array<DWORD, D3DRS_TABLE_SIZE> render{};
    std::array<std::array<DWORD, D3DTSS_TABLE_SIZE>, kMaxStages> stage{};
    std::array<std::array<DWORD, D3DSAMP_TABLE_SIZE>, kMaxSamplers> sampler{};
    D3DMATRIX world = IdentityMatrix();
    D3DMATRIX view = IdentityMatrix();
    D3DMATRIX projection = IdentityMatrix();
    std::array<D3DMATRIX, kMaxStages> textureMatrix{};
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    D3DMATERIAL9 material{};
    std::array<LightSlot, kMaxLights> lights{};
    DWORD fvf = 0;

    // autoDepth: the device was made with an automatic depth-stencil surface.
    void SetDefaults(bool autoDepth) {
        render.fill(0);
        render[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
        render[D3DRS_FILLMODE] = D3DFILL_SOLID;
        render[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
        render[D3DRS_ZWRITEENABLE] = TRUE;
        render[D3DRS_ALPHATESTENABLE] = FALSE;
        render[D3DRS_LASTPIXEL] = TRUE;
        render[D3DRS_SRCBLEND] = D3DBLEND_ONE;
        render[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
        render[D3DRS_CULLMODE] = D3DCULL_CCW;
        render[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
        render[D3DRS_ALPHAREF] = 0;
        render[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
        render[D3DRS_DITHERENABLE] = FALSE;
        render[D3DRS_ALPHABLENDENABLE] = FALSE;
        render[D3DRS_FOGENABLE] = FALSE;
        render[D3DRS_SPECULARENABLE] = FALSE;
        render[D3DRS_FOGSTART] = FloatBits(0.0f);
        render[D3DRS_FOGEND] = FloatBits(1.0f);
        render[D3DRS_FOGDENSITY] = FloatBits(1.0f);
        render[D3DRS_STENCILENABLE] = FALSE;
        render[D3DRS_STENCILFAIL] = 1;   // D3DSTENCILOP_KEEP
        render[D3DRS_STENCILZFAIL] = 1;
        render[D3DRS_STENCILPASS] = 1;
        render[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
        render[D3DRS_STENCILMASK] = 0xffffffff;
        render[D3DRS_STENCILWRITEMASK] = 0xffffffff;
        render[D3DRS_TEXTUREFACTOR] = 0xffffffff;
        render[D3DRS_CLIPPING] = TRUE;
        render[D3DRS_LIGHTING] = TRUE;
        render[D3DRS_AMBIENT] = 0;
        render[D3DRS_COLORVERTEX] = TRUE;
        render[D3DRS_LOCALVIEWER] = TRUE;
        render[D3DRS_NORMALIZENORMALS] = FALSE;
        render[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
        render[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
        render[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
        render[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
        render[D3DRS_POINTSIZE] = FloatBits(1.0f);
        render[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
        render[D3DRS_MULTISAMPLEMASK] = 0xffffffff;
        render[D3DRS_COLORWRITEENABLE] = 0x0000000f;
        render[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
        render[D3DRS_SCISSORTESTENABLE] = FALSE;
        render[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
        render[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
        render[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
        render[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

        for (int s = 0; s < kMaxStages; ++s) {
            auto& t = stage[s];
            t.fill(0);
            t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
            t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
            t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
            t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
            t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
            t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
            t[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
            t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
            t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
            t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
            t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        }
        for (auto& smp : sampler) {
            smp.fill(0);
            smp[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
            smp[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
            smp[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
            smp[D3DSAMP_BORDERCOLOR] = 0;
            smp[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
            smp[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
            smp[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
            smp[D3DSAMP_MAXANISOTROPY] = 1;
        }
        world = view = projection = IdentityMatrix();
        textureMatrix.fill(IdentityMatrix());
        material = D3DMATERIAL9{};
        lights = {};
        fvf = 0;
    }
};

}  // namespace tessaloom::d3d9
