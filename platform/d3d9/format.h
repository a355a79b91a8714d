// The format table: every D3DFORMAT the stand-in knows, with its memory
// layout and the OpenGL storage that carries it.
#pragma once

#include <epoxy/gl.h>

#include "platform/d3d9/d3d9types.h"

namespace tessaloom::d3d9 {

struct FormatInfo {
    D3DFORMAT format;
    const char* name;
    UINT bytes;          // per pixel, or per 4x4 block when compressed
    bool compressed;     // 4x4 blocks (DXT)
    GLenum internal;     // GL internal format (0: no GL storage)
    GLenum pixelFormat;  // GL client format of the D3D memory layout
    GLenum pixelType;    // GL client type
    GLint swizzle[4];    // what sampling returns for r, g, b, a
    bool texture;        // usable as a texture
    bool renderTarget;   // usable as a colour render target
    bool display;        // a display / back-buffer format
    int depthBits;       // > 0: a depth-stencil format
    int stencilBits;
};

// Null for a format this stand-in does not carry.
const FormatInfo* FindFormat(D3DFORMAT format);

// The GL internal format of a texture that is sampled but never rendered
// into.  Where the D3D layout is 8-bit BGRA or RGBA, this is the unsized
// GL_RGBA: the driver then stores the layout as it is given, so an upload
// is a copy (a sized RGBA8 or RGB8 makes llvmpipe convert every upload,
// five times the cost of the copy).  The swizzle still makes an X8 format
// sample as opaque, and a read-back gives the X byte as written, as a lock
// does in Direct3D.  Render targets keep `internal`: an X8 target must
// read its destination alpha as one.
GLenum SampledInternalFormat(const FormatInfo& info);

// Bytes of one row of pixels (or of 4x4 blocks) and the number of such rows.
UINT RowPitch(const FormatInfo& info, UINT width);
UINT RowCount(const FormatInfo& info, UINT height);

}  // namespace tessaloom::d3d9
