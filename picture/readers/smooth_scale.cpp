#include "smooth_scale.h"

#include "row_shrinker.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace mok::picture {

namespace {

// Along one axis of `s` source pixels scaled to `d`, for each output pixel:
// the first source pixel it reads (a fixed-point walk of s/d per step, from
// half a pixel in when the axis grows), and its weights. Growing, the weight
// is the blend towards the next pixel in 1/256; shrinking, it is the share
// of the first source pixel in the low 16 bits and that of each whole one
// above, both in 1/16384 of the output pixel.
struct Axis {
    bool grows = false;
    std::vector<int> first;
    std::vector<int> weight;
};

Axis axisFor(int s, int d)
{
    Axis axis;
    axis.grows = d >= s;
    axis.first.resize(std::size_t(d));
    axis.weight.resize(std::size_t(d));
    const std::int64_t step = (std::int64_t(s) << 16) / d;
    std::int64_t at = axis.grows ? 0x8000 * std::int64_t(s) / d - 0x8000 : 0;
    const int whole = int(((std::int64_t(d) << 14) + s - 1) / s);
    for (std::size_t i = 0; i < std::size_t(d); ++i, at += step) {
        axis.first[i] = int(std::max<std::int64_t>(0, at >> 16));
        if (!axis.grows) {
            const int share = int(((0x10000 - (at & 0xffff)) * whole) >> 16);
            axis.weight[i] = share | whole << 16;
        } else if (const std::int64_t pos = at >> 16; pos >= 0 && pos < s - 1) {
            axis.weight[i] = int((at >> 8) & 0xff);
        }
    }
    return axis;
}

struct Channels {
    int r, g, b;
};

// A shrinking axis's area sum at `pix` along `step`: the first pixel's
// share, every whole one's, and what is left for the last.
Channels areaSum(const Rgb *pix, int first, int whole, std::ptrdiff_t step)
{
    Channels c{redOf(*pix) * first, greenOf(*pix) * first, blueOf(*pix) * first};
    int left = (1 << 14) - first;
    for (; left > whole; left -= whole) {
        pix += step;
        c.r += redOf(*pix) * whole;
        c.g += greenOf(*pix) * whole;
        c.b += blueOf(*pix) * whole;
    }
    pix += step;
    c.r += redOf(*pix) * left;
    c.g += greenOf(*pix) * left;
    c.b += blueOf(*pix) * left;
    return c;
}

// Blends two area sums by a growing axis's weight; the sums keep their
// 14 fractional bits.
Channels blend(Channels a, Channels b, int weight)
{
    return {(a.r * (256 - weight) + b.r * weight) >> 8, (a.g * (256 - weight) + b.g * weight) >> 8,
            (a.b * (256 - weight) + b.b * weight) >> 8};
}

Rgb fromSums(Channels c)
{
    return rgb(unsigned(c.r >> 14), unsigned(c.g >> 14), unsigned(c.b >> 14));
}

// Two pixels blended by a / 256 and b / 256, each channel truncated.
Rgb mix(Rgb x, int a, Rgb y, int b)
{
    const std::uint32_t lo = (((x & 0xff00ff) * a + (y & 0xff00ff) * b) >> 8) & 0xff00ff;
    const std::uint32_t hi = (((x >> 8) & 0xff00ff) * a + ((y >> 8) & 0xff00ff) * b) & 0xff00ff00;
    return hi | lo;
}

// Four pixels blended down first, then across, each step truncated.
Rgb mixFour(const Rgb *top, const Rgb *bottom, int across, int down)
{
    const Rgb left = mix(top[0], 256 - down, bottom[0], down);
    const Rgb right = mix(top[1], 256 - down, bottom[1], down);
    return mix(left, 256 - across, right, across);
}

void growBoth(const Image &source, const Axis &x, const Axis &y, PixelSize target, Rgb *out)
{
    const std::ptrdiff_t stride = source.width();
    for (int row = 0; row < target.height; ++row) {
        const Rgb *line = source.row(y.first[std::size_t(row)]);
        const int down = y.weight[std::size_t(row)];
        for (int col = 0; col < target.width; ++col, ++out) {
            const Rgb *pix = line + x.first[std::size_t(col)];
            const int across = x.weight[std::size_t(col)];
            Rgb p;
            if (down > 0)
                p = across > 0 ? mixFour(pix, pix + stride, across, down)
                               : mix(pix[0], 256 - down, pix[stride], down);
            else
                p = across > 0 ? mix(pix[0], 256 - across, pix[1], across) : pix[0];
            *out = p | kOpaque;
        }
    }
}

void growAcrossShrinkDown(const Image &source, const Axis &x, const Axis &y, PixelSize target,
                          Rgb *out)
{
    const std::ptrdiff_t stride = source.width();
    for (int row = 0; row < target.height; ++row) {
        const int whole = y.weight[std::size_t(row)] >> 16;
        const int first = y.weight[std::size_t(row)] & 0xffff;
        const Rgb *line = source.row(y.first[std::size_t(row)]);
        for (int col = 0; col < target.width; ++col) {
            const Rgb *pix = line + x.first[std::size_t(col)];
            Channels c = areaSum(pix, first, whole, stride);
            if (const int across = x.weight[std::size_t(col)]; across > 0)
                c = blend(c, areaSum(pix + 1, first, whole, stride), across);
            *out++ = fromSums(c);
        }
    }
}

void shrinkAcrossGrowDown(const Image &source, const Axis &x, const Axis &y, PixelSize target,
                          Rgb *out)
{
    const std::ptrdiff_t stride = source.width();
    for (int row = 0; row < target.height; ++row) {
        const Rgb *line = source.row(y.first[std::size_t(row)]);
        const int down = y.weight[std::size_t(row)];
        for (int col = 0; col < target.width; ++col) {
            const int whole = x.weight[std::size_t(col)] >> 16;
            const int first = x.weight[std::size_t(col)] & 0xffff;
            const Rgb *pix = line + x.first[std::size_t(col)];
            Channels c = areaSum(pix, first, whole, 1);
            if (down > 0)
                c = blend(c, areaSum(pix + stride, first, whole, 1), down);
            *out++ = fromSums(c);
        }
    }
}

} // namespace

bool smoothScale(const Image &source, PixelSize target, Rgb *output)
{
    if (source.isNull() || target.isEmpty() || !output)
        return false;
    if (target == source.size()) {
        const std::size_t count = std::size_t(target.width) * std::size_t(target.height);
        const Rgb *in = source.row(0);
        for (std::size_t i = 0; i < count; ++i)
            output[i] = in[i] | kOpaque;
        return true;
    }
    if (target.width < source.width() && target.height < source.height()) {
        RowShrinker shrinker(source.size(), target, output);
        if (!shrinker.isValid())
            return false;
        for (int y = 0; y < source.height(); ++y)
            shrinker.addRow(source.row(y));
        return true;
    }
    try {
        const Axis x = axisFor(source.width(), target.width);
        const Axis y = axisFor(source.height(), target.height);
        if (x.grows && y.grows)
            growBoth(source, x, y, target, output);
        else if (x.grows)
            growAcrossShrinkDown(source, x, y, target, output);
        else
            shrinkAcrossGrowDown(source, x, y, target, output);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

} // namespace mok::picture
