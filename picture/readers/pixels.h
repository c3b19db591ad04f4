#pragma once

#include "pixel_size.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace mok::picture {

// One pixel as 0xAARRGGBB in a 32-bit word, the layout of Qt's RGB32: the
// game shows the helper's rows as they are, without converting them.
using Rgb = std::uint32_t;

constexpr Rgb kOpaque = 0xFF000000u;
constexpr Rgb kBlack = kOpaque;

constexpr Rgb rgb(unsigned r, unsigned g, unsigned b)
{
    return kOpaque | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}
constexpr Rgb argb(unsigned a, unsigned r, unsigned g, unsigned b)
{
    return (a & 0xFFu) << 24 | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}
constexpr int alphaOf(Rgb p)
{
    return int(p >> 24);
}
constexpr int redOf(Rgb p)
{
    return int((p >> 16) & 0xFF);
}
constexpr int greenOf(Rgb p)
{
    return int((p >> 8) & 0xFF);
}
constexpr int blueOf(Rgb p)
{
    return int(p & 0xFF);
}

// The colour of a pixel with alpha laid over black, opaque: each channel
// times alpha / 255, rounded to nearest as Qt's premultiplication rounds, so
// a picture with alpha shows as it always has.
constexpr Rgb overBlack(Rgb p)
{
    const std::uint32_t a = p >> 24;
    std::uint32_t t = (p & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    std::uint32_t g = ((p >> 8) & 0xff) * a;
    g = (g + ((g >> 8) & 0xff) + 0x80) & 0xff00;
    return kOpaque | g | t;
}

// A picture held whole, rows of `size.width` pixels without padding. The
// pixels start undefined: every reader writes each one.
class Image {
public:
    Image() = default;
    // An image of this size, or a null one when the memory cannot be had.
    static Image allocate(PixelSize size)
    {
        Image image;
        if (size.isEmpty())
            return image;
        const std::size_t count = std::size_t(size.width) * std::size_t(size.height);
        image.m_pixels.reset(new (std::nothrow) Rgb[count]);
        if (image.m_pixels)
            image.m_size = size;
        return image;
    }

    bool isNull() const { return !m_pixels; }
    PixelSize size() const { return m_size; }
    int width() const { return m_size.width; }
    int height() const { return m_size.height; }
    Rgb *row(int y) { return m_pixels.get() + std::size_t(y) * std::size_t(m_size.width); }
    const Rgb *row(int y) const
    {
        return m_pixels.get() + std::size_t(y) * std::size_t(m_size.width);
    }
    void fill(Rgb colour)
    {
        Rgb *p = m_pixels.get();
        for (std::size_t i = 0, n = std::size_t(m_size.width) * std::size_t(m_size.height); i < n;
             ++i)
            p[i] = colour;
    }

private:
    PixelSize m_size;
    std::unique_ptr<Rgb[]> m_pixels;
};

} // namespace mok::picture
