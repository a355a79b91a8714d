// Direct3D 9 values in OpenGL's terms, and the small sums the device's
// calls share.
#include "platform/d3d9/gl_enums.h"

namespace tessaloom::d3d9 {

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

GLenum BlendFactor(DWORD blend) {
    switch (blend) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
        case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
        default: return GL_ONE;
    }
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLenum CompareFunc(DWORD func) {
    switch (func) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum StencilOp(DWORD op) {
    switch (op) {
        case 2: return GL_ZERO;
        case 3: return GL_REPLACE;
        case 4: return GL_INCR;
        case 5: return GL_DECR;
        case 6: return GL_INVERT;
        case 7: return GL_INCR_WRAP;
        case 8: return GL_DECR_WRAP;
        default: return GL_KEEP;
    }
}

GLint AddressMode(DWORD mode) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;  // core in GL 4.4; Mesa has it in 3.3
        default: return GL_REPEAT;
    }
}

GLint MinFilter(DWORD min, DWORD mip) {
    const bool linear = min != D3DTEXF_POINT && min != D3DTEXF_NONE;
    switch (mip) {
        case D3DTEXF_POINT: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        case D3DTEXF_LINEAR: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        default: return linear ? GL_LINEAR : GL_NEAREST;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_INVALID_ENUM;
    }
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
        case D3DPT_POINTLIST: return primitives;
        case D3DPT_LINELIST: return primitives * 2;
        case D3DPT_LINESTRIP: return primitives + 1;
        case D3DPT_TRIANGLELIST: return primitives * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return primitives + 2;
        default: return 0;
    }
}

// Bytes of one vertex of an FVF; 0 for a format this device cannot read.
UINT FvfStride(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ: size = 12; break;
        case D3DFVF_XYZRHW: size = 16; break;
        default: return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < count; ++i) {
        switch ((fvf >> (16 + i * 2)) & 3) {
            case D3DFVF_TEXTUREFORMAT1: size += 4; break;
            case D3DFVF_TEXTUREFORMAT3: size += 12; break;
            case D3DFVF_TEXTUREFORMAT4: size += 16; break;
            default: size += 8; break;
        }
    }
    return size;
}

void ColorOf(D3DCOLOR c, float out[4]) {
    out[0] = ((c >> 16) & 0xff) / 255.0f;
    out[1] = ((c >> 8) & 0xff) / 255.0f;
    out[2] = (c & 0xff) / 255.0f;
    out[3] = ((c >> 24) & 0xff) / 255.0f;
}

}  // namespace tessaloom::d3d9
