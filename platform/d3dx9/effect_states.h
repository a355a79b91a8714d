// The effect text's state names: the render and sampler states a pass may
// set, and the names of the values each kind of state takes.
// Included by effect_parser.cpp.
#pragma once

#include <string_view>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace fx {

// Over the device's enumerators (stencil operations and fog
// modes, which the device header leaves out, with their documented values).

enum class Kind {
    Bool, ZBuffer, Blend, BlendOp, Cull, Cmp, Fill, Shade, StencilOp, Fog, MaterialSource,
    Dword, Color, Float, ColorMask, Address, Filter,
};

struct Named {
    const char* name;
    DWORD value;
};

struct ValueTable {
    Kind kind;
    const char* description;
    std::vector<Named> names;
};

inline const std::vector<ValueTable>& ValueTables() {
    static const std::vector<ValueTable> tables = {
        {Kind::Bool, "true or false", {{"false", 0}, {"true", 1}}},
        {Kind::ZBuffer, "false, true or UseW", {{"false", D3DZB_FALSE}, {"true", D3DZB_TRUE}, {"UseW", D3DZB_USEW}}},
        {Kind::Blend, "a D3DBLEND name",
         {{"Zero", D3DBLEND_ZERO}, {"One", D3DBLEND_ONE}, {"SrcColor", D3DBLEND_SRCCOLOR},
          {"InvSrcColor", D3DBLEND_INVSRCCOLOR}, {"SrcAlpha", D3DBLEND_SRCALPHA}, {"InvSrcAlpha", D3DBLEND_INVSRCALPHA},
          {"DestAlpha", D3DBLEND_DESTALPHA}, {"InvDestAlpha", D3DBLEND_INVDESTALPHA}, {"DestColor", D3DBLEND_DESTCOLOR},
          {"InvDestColor", D3DBLEND_INVDESTCOLOR}, {"SrcAlphaSat", D3DBLEND_SRCALPHASAT},
          {"BothSrcAlpha", D3DBLEND_BOTHSRCALPHA}, {"BothInvSrcAlpha", D3DBLEND_BOTHINVSRCALPHA},
          {"BlendFactor", D3DBLEND_BLENDFACTOR}, {"InvBlendFactor", D3DBLEND_INVBLENDFACTOR}}},
        {Kind::BlendOp, "a D3DBLENDOP name", {{"Add", D3DBLENDOP_ADD}, {"Subtract", D3DBLENDOP_SUBTRACT}, {"RevSubtract", D3DBLENDOP_REVSUBTRACT},
          {"Min", D3DBLENDOP_MIN}, {"Max", D3DBLENDOP_MAX}}},
        {Kind::Cull, "None, CW or CCW", {{"None", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}}},
        {Kind::Cmp, "a D3DCMPFUNC name",
         {{"Never", D3DCMP_NEVER}, {"Less", D3DCMP_LESS}, {"Equal", D3DCMP_EQUAL}, {"LessEqual", D3DCMP_LESSEQUAL},
          {"Greater", D3DCMP_GREATER}, {"NotEqual", D3DCMP_NOTEQUAL}, {"GreaterEqual", D3DCMP_GREATEREQUAL},
          {"Always", D3DCMP_ALWAYS}}},
        {Kind::Fill, "Point, Wireframe or Solid", {{"Point", D3DFILL_POINT}, {"Wireframe", D3DFILL_WIREFRAME}, {"Solid", D3DFILL_SOLID}}},
        {Kind::Shade, "Flat, Gouraud or Phong", {{"Flat", D3DSHADE_FLAT}, {"Gouraud", D3DSHADE_GOURAUD}, {"Phong", D3DSHADE_PHONG}}},
        {Kind::StencilOp, "a D3DSTENCILOP name",
         {{"Keep", 1}, {"Zero", 2}, {"Replace", 3}, {"IncrSat", 4}, {"DecrSat", 5}, {"Invert", 6}, {"Incr", 7},
          {"Decr", 8}}},
        {Kind::Fog, "None, Exp, Exp2 or Linear", {{"None", 0}, {"Exp", 1}, {"Exp2", 2}, {"Linear", 3}}},
        {Kind::MaterialSource, "Material, Color1 or Color2", {{"Material", D3DMCS_MATERIAL}, {"Color1", D3DMCS_COLOR1}, {"Color2", D3DMCS_COLOR2}}},
        {Kind::Dword, "an integer", {}},
        {Kind::Color, "a colour 0xAARRGGBB", {}},
        {Kind::Float, "a number", {}},
        {Kind::ColorMask, "Red, Green, Blue, Alpha joined by '|', or an integer",
         {{"Red", 1}, {"Green", 2}, {"Blue", 4}, {"Alpha", 8}}},
        {Kind::Address, "Wrap, Mirror, Clamp, Border or MirrorOnce",
         {{"Wrap", D3DTADDRESS_WRAP}, {"Mirror", D3DTADDRESS_MIRROR}, {"Clamp", D3DTADDRESS_CLAMP},
          {"Border", D3DTADDRESS_BORDER}, {"MirrorOnce", D3DTADDRESS_MIRRORONCE}}},
        {Kind::Filter, "None, Point, Linear, Anisotropic, PyramidalQuad or GaussianQuad",
         {{"None", D3DTEXF_NONE}, {"Point", D3DTEXF_POINT}, {"Linear", D3DTEXF_LINEAR},
          {"Anisotropic", D3DTEXF_ANISOTROPIC}, {"PyramidalQuad", D3DTEXF_PYRAMIDALQUAD},
          {"GaussianQuad", D3DTEXF_GAUSSIANQUAD}}},
    };
    return tables;
}

inline const ValueTable& TableOf(Kind kind) {
    for (const auto& t : ValueTables())
        if (t.kind == kind) return t;
    return ValueTables().front();
}

struct StateInfo {
    const char* name;  // the D3D9 name without its D3DRS_ / D3DSAMP_ prefix
    DWORD number;
    Kind kind;
};

// D3DRENDERSTATETYPE: the states the device implements.
const StateInfo kRenderStates[] = {
    {"ZEnable", D3DRS_ZENABLE, Kind::ZBuffer},
    {"FillMode", D3DRS_FILLMODE, Kind::Fill},
    {"ShadeMode", D3DRS_SHADEMODE, Kind::Shade},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE, Kind::Bool},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, Kind::Bool},
    {"LastPixel", D3DRS_LASTPIXEL, Kind::Bool},
    {"SrcBlend", D3DRS_SRCBLEND, Kind::Blend},
    {"DestBlend", D3DRS_DESTBLEND, Kind::Blend},
    {"CullMode", D3DRS_CULLMODE, Kind::Cull},
    {"ZFunc", D3DRS_ZFUNC, Kind::Cmp},
    {"AlphaRef", D3DRS_ALPHAREF, Kind::Dword},
    {"AlphaFunc", D3DRS_ALPHAFUNC, Kind::Cmp},
    {"DitherEnable", D3DRS_DITHERENABLE, Kind::Bool},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, Kind::Bool},
    {"FogEnable", D3DRS_FOGENABLE, Kind::Bool},
    {"SpecularEnable", D3DRS_SPECULARENABLE, Kind::Bool},
    {"FogColor", D3DRS_FOGCOLOR, Kind::Color},
    {"FogTableMode", D3DRS_FOGTABLEMODE, Kind::Fog},
    {"FogStart", D3DRS_FOGSTART, Kind::Float},
    {"FogEnd", D3DRS_FOGEND, Kind::Float},
    {"FogDensity", D3DRS_FOGDENSITY, Kind::Float},
    {"RangeFogEnable", D3DRS_RANGEFOGENABLE, Kind::Bool},
    {"StencilEnable", D3DRS_STENCILENABLE, Kind::Bool},
    {"StencilFail", D3DRS_STENCILFAIL, Kind::StencilOp},
    {"StencilZFail", D3DRS_STENCILZFAIL, Kind::StencilOp},
    {"StencilPass", D3DRS_STENCILPASS, Kind::StencilOp},
    {"StencilFunc", D3DRS_STENCILFUNC, Kind::Cmp},
    {"StencilRef", D3DRS_STENCILREF, Kind::Dword},
    {"StencilMask", D3DRS_STENCILMASK, Kind::Dword},
    {"StencilWriteMask", D3DRS_STENCILWRITEMASK, Kind::Dword},
    {"TextureFactor", D3DRS_TEXTUREFACTOR, Kind::Color},
    {"Wrap0", D3DRS_WRAP0, Kind::Dword},
    {"Clipping", D3DRS_CLIPPING, Kind::Bool},
    {"Lighting", D3DRS_LIGHTING, Kind::Bool},
    {"Ambient", D3DRS_AMBIENT, Kind::Color},
    {"FogVertexMode", D3DRS_FOGVERTEXMODE, Kind::Fog},
    {"ColorVertex", D3DRS_COLORVERTEX, Kind::Bool},
    {"LocalViewer", D3DRS_LOCALVIEWER, Kind::Bool},
    {"NormalizeNormals", D3DRS_NORMALIZENORMALS, Kind::Bool},
    {"DiffuseMaterialSource", D3DRS_DIFFUSEMATERIALSOURCE, Kind::MaterialSource},
    {"SpecularMaterialSource", D3DRS_SPECULARMATERIALSOURCE, Kind::MaterialSource},
    {"AmbientMaterialSource", D3DRS_AMBIENTMATERIALSOURCE, Kind::MaterialSource},
    {"EmissiveMaterialSource", D3DRS_EMISSIVEMATERIALSOURCE, Kind::MaterialSource},
    {"VertexBlend", D3DRS_VERTEXBLEND, Kind::Dword},
    {"ClipPlaneEnable", D3DRS_CLIPPLANEENABLE, Kind::Dword},
    {"PointSize", D3DRS_POINTSIZE, Kind::Float},
    {"MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS, Kind::Bool},
    {"MultiSampleMask", D3DRS_MULTISAMPLEMASK, Kind::Dword},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, Kind::ColorMask},
    {"BlendOp", D3DRS_BLENDOP, Kind::BlendOp},
    {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE, Kind::Bool},
    {"SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, Kind::Float},
    {"DepthBias", D3DRS_DEPTHBIAS, Kind::Float},
    {"SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE, Kind::Bool},
    {"SrcBlendAlpha", D3DRS_SRCBLENDALPHA, Kind::Blend},
    {"DestBlendAlpha", D3DRS_DESTBLENDALPHA, Kind::Blend},
    {"BlendOpAlpha", D3DRS_BLENDOPALPHA, Kind::BlendOp},
};

// D3DSAMPLERSTATETYPE
const StateInfo kSamplerStates[] = {
    {"AddressU", D3DSAMP_ADDRESSU, Kind::Address},
    {"AddressV", D3DSAMP_ADDRESSV, Kind::Address},
    {"AddressW", D3DSAMP_ADDRESSW, Kind::Address},
    {"BorderColor", D3DSAMP_BORDERCOLOR, Kind::Color},
    {"MagFilter", D3DSAMP_MAGFILTER, Kind::Filter},
    {"MinFilter", D3DSAMP_MINFILTER, Kind::Filter},
    {"MipFilter", D3DSAMP_MIPFILTER, Kind::Filter},
    {"MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, Kind::Float},
    {"MaxMipLevel", D3DSAMP_MAXMIPLEVEL, Kind::Dword},
    {"MaxAnisotropy", D3DSAMP_MAXANISOTROPY, Kind::Dword},
    {"SrgbTexture", D3DSAMP_SRGBTEXTURE, Kind::Bool},
};

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

template <size_t N>
const StateInfo* FindState(const StateInfo (&table)[N], std::string_view name) {
    for (const auto& s : table)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

}  // namespace fx
