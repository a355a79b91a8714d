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

inline void AddWeighted(Color4& c, const Color4& s, float weight) {
    c.r += s.r * weight, c.g += s.g * weight, c.b += s.b * weight, c.a += s.a * weight;
}

// The box filter where each axis is halved exactly or kept, as every step
// of a mip chain of even sizes is: the taps AxisTaps gives are then the two
// source pixels under a destination pixel at weight 1/2 each (or the one at
// weight 1), in that order.  Summed here in the same order without the tap
// lists, so the result is the general path's to the bit.
FloatImage BoxSteps(const FloatImage& src, UINT width, UINT height) {
    const bool halveX = src.width == 2 * width, halveY = src.height == 2 * height;
    FloatImage out;
    out.width = width;
    out.height = height;
    out.px.resize(static_cast<size_t>(width) * height);
    std::vector<Color4> rows(static_cast<size_t>(width) * src.height);
    for (UINT y = 0; y < src.height; ++y) {
        const Color4* in = &src.at(0, y);
        Color4* row = rows.data() + static_cast<size_t>(y) * width;
        for (UINT x = 0; x < width; ++x) {
            Color4 c{0, 0, 0, 0};
            if (halveX) {
                AddWeighted(c, in[2 * x], 0.5f);
                AddWeighted(c, in[2 * x + 1], 0.5f);
            } else {
                AddWeighted(c, in[x], 1.0f);
            }
            row[x] = c;
        }
    }
    for (UINT y = 0; y < height; ++y) {
        const Color4* first = rows.data() + static_cast<size_t>(halveY ? 2 * y : y) * width;
        Color4* dst = &out.at(0, y);
        for (UINT x = 0; x < width; ++x) {
            Color4 c{0, 0, 0, 0};
            if (halveY) {
                AddWeighted(c, first[x], 0.5f);
                AddWeighted(c, first[x + width], 0.5f);
            } else {
                AddWeighted(c, first[x], 1.0f);
            }
            dst[x] = c;
        }
    }
    return out;
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

    if (kind == D3DX_FILTER_BOX && (src.width == 2 * width || src.width == width) &&
        (src.height == 2 * height || src.height == height))
        return BoxSteps(src, width, height);

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

void ResampleRows(UINT srcWidth, UINT srcHeight, UINT width, UINT height, DWORD filter, const RowSource& source,
                  const RowSink& sink) {
    const DWORD kind = filter & 0xff;
    if (width == 0 || height == 0) return;
    std::vector<Color4> in(std::max<UINT>(srcWidth, 1)), out(width);
    const Color4 clear{0, 0, 0, 0};
    if (srcWidth == 0 || srcHeight == 0) {
        std::fill(out.begin(), out.end(), clear);
        for (UINT y = 0; y < height; ++y) sink(y, out.data());
        return;
    }
    if (kind == D3DX_FILTER_NONE) {
        // The overlapping corner; the rest transparent black.
        for (UINT y = 0; y < height; ++y) {
            std::fill(out.begin(), out.end(), clear);
            if (y < srcHeight) {
                source(y, in.data());
                std::copy_n(in.begin(), std::min(width, srcWidth), out.begin());
            }
            sink(y, out.data());
        }
        return;
    }
    if (width == srcWidth && height == srcHeight) {
        for (UINT y = 0; y < height; ++y) {
            source(y, in.data());
            sink(y, in.data());
        }
        return;
    }

    const auto tx = AxisTaps(srcWidth, width, kind, (filter & D3DX_FILTER_MIRROR_U) != 0);
    const auto ty = AxisTaps(srcHeight, height, kind, (filter & D3DX_FILTER_MIRROR_V) != 0);
    // Horizontally filtered source rows, kept while the vertical taps of the
    // next destination rows may still need them.  The taps of one row are
    // consecutive source rows (wrapped at the edges), so a few slots hold
    // them; the least recently used slot is refilled.
    size_t slots = 1;
    for (const auto& t : ty) slots = std::max(slots, t.size());
    slots += 1;
    struct Slot {
        long long index = -1;
        unsigned long long used = 0;
        std::vector<Color4> row;
    };
    std::vector<Slot> cache(slots);
    unsigned long long clock = 0;
    auto filtered = [&](UINT sy) -> const std::vector<Color4>& {
        Slot* victim = &cache[0];
        for (Slot& s : cache) {
            if (s.index == sy) {
                s.used = ++clock;
                return s.row;
            }
            if (s.used < victim->used) victim = &s;
        }
        source(sy, in.data());
        victim->row.resize(width);
        for (UINT x = 0; x < width; ++x) {
            Color4 c{0, 0, 0, 0};
            for (const Tap& t : tx[x]) {
                const Color4& p = in[t.index];
                c.r += p.r * t.weight, c.g += p.g * t.weight, c.b += p.b * t.weight, c.a += p.a * t.weight;
            }
            victim->row[x] = c;
        }
        victim->index = sy;
        victim->used = ++clock;
        return victim->row;
    };
    for (UINT y = 0; y < height; ++y) {
        std::fill(out.begin(), out.end(), clear);
        for (const Tap& t : ty[y]) {
            const std::vector<Color4>& row = filtered(t.index);
            for (UINT x = 0; x < width; ++x) {
                const Color4& p = row[x];
                Color4& c = out[x];
                c.r += p.r * t.weight, c.g += p.g * t.weight, c.b += p.b * t.weight, c.a += p.a * t.weight;
            }
        }
        sink(y, out.data());
    }
}

void ApplyColourKey(Color4* row, UINT count, D3DCOLOR key) {
    if (key == 0) return;
    for (UINT i = 0; i < count; ++i)
        if (ToArgb(row[i]) == key) row[i] = Color4{0, 0, 0, 0};
}

void ApplyColourKey(FloatImage* image, D3DCOLOR key) {
    ApplyColourKey(image->px.data(), static_cast<UINT>(image->px.size()), key);
}

}  // namespace tessaloom::d3dx
