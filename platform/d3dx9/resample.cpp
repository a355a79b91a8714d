// Separable scaling filters: each axis gets a list of (source index,
// weight) taps per destination pixel; rows are filtered, then columns.
// Pixel centres sit at i + 0.5 in both pictures.
#include "platform/d3dx9/resample.h"

#include <algorithm>
#include <cmath>

#include "platform/d3dx9/d3dx9tex.h"

namespace tessaloom::d3dx {
namespace {

struct Tap {
    UINT index;
    float weight;
};

UINT Address(long long i, UINT n, bool mirror) {
    const long long size = n;
    if (mirror) {
        long long period = 2 * size;
        long long m = ((i % period) + period) % period;
        return static_cast<UINT>(m < size ? m : period - 1 - m);
    }
    return static_cast<UINT>(((i % size) + size) % size);
}

// Taps of every destination pixel along one axis.
std::vector<std::vector<Tap>> AxisTaps(UINT src, UINT dst, DWORD kind, bool mirror) {
    std::vector<std::vector<Tap>> taps(dst);
    const double scale = static_cast<double>(src) / dst;
    for (UINT d = 0; d < dst; ++d) {
        const double centre = (d + 0.5) * scale;  // in source units
        std::vector<Tap>& t = taps[d];
        if (kind == D3DX_FILTER_POINT) {
            long long i = static_cast<long long>(std::floor(centre));
            t.push_back({Address(i, src, mirror), 1.0f});
            continue;
        }
        // Tent (LINEAR, TRIANGLE) or box (BOX) of the given radius around the centre.
        double radius = kind == D3DX_FILTER_LINEAR ? 1.0 : std::max(1.0, scale);
        if (kind == D3DX_FILTER_BOX) radius = std::max(1.0, scale) / 2.0;
        long long first = static_cast<long long>(std::floor(centre - radius - 0.5)),
                  last = static_cast<long long>(std::ceil(centre + radius - 0.5));
        double sum = 0;
        std::vector<std::pair<long long, double>> raw;
        for (long long i = first; i <= last; ++i) {
            double w;
            if (kind == D3DX_FILTER_BOX) {
                // Overlap of pixel [i, i + 1) with [centre - radius, centre + radius).
                w = std::min<double>(i + 1, centre + radius) - std::max<double>(i, centre - radius);
            } else {
                w = 1.0 - std::abs(i + 0.5 - centre) / radius;
            }
            if (w <= 1e-9) continue;
            raw.emplace_back(i, w);
            sum += w;
        }
        for (auto& [i, w] : raw) {
            UINT idx = Address(i, src, mirror);
            float fw = static_cast<float>(w / sum);
            auto same = std::find_if(t.begin(), t.end(), [&](const Tap& x) { return x.index == idx; });
            if (same != t.end()) same->weight += fw;
            else t.push_back({idx, fw});
        }
    }
    return taps;
}

}  // namespace

bool NormaliseFilter(DWORD filter, DWORD defaultFilter, DWORD* normalised) {
    if (filter == D3DX_DEFAULT) filter = defaultFilter;
    DWORD kind = filter & 0xff;
    if (kind < D3DX_FILTER_NONE || kind > D3DX_FILTER_BOX) return false;
    *normalised = filter;
    return true;
}

FloatImage Resample(const FloatImage& src, UINT width, UINT height, DWORD filter) {
    const DWORD kind = filter & 0xff;
    FloatImage out;
    out.width = width;
    out.height = height;
    out.px.assign(static_cast<size_t>(width) * height, Color4{0, 0, 0, 0});
    if (width == 0 || height == 0 || src.width == 0 || src.height == 0) return out;

    if (kind == D3DX_FILTER_NONE) {
        for (UINT y = 0; y < std::min(height, src.height); ++y)
            for (UINT x = 0; x < std::min(width, src.width); ++x) out.at(x, y) = src.at(x, y);
        return out;
    }
    if (width == src.width && height == src.height) return src;

    const auto tx = AxisTaps(src.width, width, kind, (filter & D3DX_FILTER_MIRROR_U) != 0);
    const auto ty = AxisTaps(src.height, height, kind, (filter & D3DX_FILTER_MIRROR_V) != 0);
    // Rows first: src.height rows of the new width.
    std::vector<Color4> rows(static_cast<size_t>(width) * src.height);
    for (UINT y = 0; y < src.height; ++y)
        for (UINT x = 0; x < width; ++x) {
            Color4 c{0, 0, 0, 0};
            for (const Tap& t : tx[x]) {
                const Color4& s = src.at(t.index, y);
                c.r += s.r * t.weight, c.g += s.g * t.weight, c.b += s.b * t.weight, c.a += s.a * t.weight;
            }
            rows[static_cast<size_t>(y) * width + x] = c;
        }
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            Color4 c{0, 0, 0, 0};
            for (const Tap& t : ty[y]) {
                const Color4& s = rows[static_cast<size_t>(t.index) * width + x];
                c.r += s.r * t.weight, c.g += s.g * t.weight, c.b += s.b * t.weight, c.a += s.a * t.weight;
            }
            out.at(x, y) = c;
        }
    return out;
}

void ApplyColourKey(FloatImage* image, D3DCOLOR key) {
    if (key == 0) return;
    for (Color4& c : image->px)
        if (ToArgb(c) == key) c = Color4{0, 0, 0, 0};
}

}  // namespace tessaloom::d3dx
