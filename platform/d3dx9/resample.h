// Pictures of four floats per pixel and D3DX's scaling filters over them.
#pragma once

#include <functional>
#include <vector>

#include "platform/d3dx9/pixel_format.h"

namespace tessaloom::d3dx {

struct FloatImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<Color4> px;  // rows top-down, no padding

    Color4& at(UINT x, UINT y) { return px[static_cast<size_t>(y) * width + x]; }
    const Color4& at(UINT x, UINT y) const { return px[static_cast<size_t>(y) * width + x]; }
};

// The filter a D3DX filter word asks for: D3DX_DEFAULT becomes
// `defaultFilter`; the low byte must then name NONE, POINT, LINEAR,
// TRIANGLE or BOX. False for anything else.
bool NormaliseFilter(DWORD filter, DWORD defaultFilter, DWORD* normalised);

// Scales `src` to width x height with a normalised filter word:
//  NONE     copies the overlapping corner; pixels outside the source are
//           transparent black;
//  POINT    nearest pixel;
//  LINEAR   bilinear between the nearest pixel centres;
//  TRIANGLE a tent as wide as the scale (at least one pixel), so every
//           source pixel contributes when shrinking;
//  BOX      the average of the source area each destination pixel covers.
// Taps beyond an edge wrap round, or mirror with D3DX_FILTER_MIRROR_U/V.
// A same-size POINT, LINEAR, TRIANGLE or BOX scale returns the source.
FloatImage Resample(const FloatImage& src, UINT width, UINT height, DWORD filter);

// The same scale row by row, for pictures too large to hold as floats:
// `source(y, row)` fills source row y (src.width pixels), `sink(y, row)`
// takes destination row y (width pixels) once it is finished, in order
// from the top.  Only the source rows that the vertical filter spans are
// held (a few rows), never the whole picture; the rows given to the sink are
// exactly those Resample computes.
using RowSource = std::function<void(UINT y, Color4* row)>;
using RowSink = std::function<void(UINT y, const Color4* row)>;
void ResampleRows(UINT srcWidth, UINT srcHeight, UINT width, UINT height, DWORD filter, const RowSource& source,
                  const RowSink& sink);

// Colour key: pixels whose A8R8G8B8 value equals `key` become transparent
// black. A key of 0 does nothing.
void ApplyColourKey(FloatImage* image, D3DCOLOR key);
void ApplyColourKey(Color4* row, UINT count, D3DCOLOR key);

}  // namespace tessaloom::d3dx
