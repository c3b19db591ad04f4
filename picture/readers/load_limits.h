#pragma once

// Header only: the game holds answers against these too, without linking
// any decoder.

#include "pixel_size.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace mok::picture {

// What one load may cost, whatever the file claims. A real photo is a few
// megabytes to a few hundred; the game shows at most a screenful of it.

// Files larger than this are refused before a byte of them is decoded.
constexpr std::int64_t kMaxFileBytes = std::int64_t(256) << 20;

// A picture decoded whole (BMP, GIF, an interlaced PNG) is held at 4 bytes a
// pixel; this is the most that one decoded image may take.
constexpr std::int64_t kMaxDecodedBytes = std::int64_t(256) << 20;

// The most pixels a GIF's first frame may have decoded to fill its screen:
// its rows are decoded whole, and an interlaced frame taller than the screen
// must be decoded through its earlier passes. A frame inside its screen never
// needs more than the largest screen allowed.
constexpr std::int64_t kMaxGifDecodedPixels = kMaxDecodedBytes / 4;

// The most pixels any picture may declare. Past this the game could only
// show a thumbnail of a thumbnail, and the decoder's time grows with it.
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 28; // 16384 x 16384

// libjpeg's working memory: for a progressive file this holds every
// coefficient of the whole picture, whatever size it is decoded at.
constexpr long kMaxJpegWorkingBytes = 384L << 20;

// A progressive file may send each block many times, once per scan. Common
// encoders write about ten scans, and one scan per coefficient (64 for each
// channel) is still valid; a file that repeats its scans thousands of times
// is built to stall. So the blocks all scans visit together are capped
// (about 10 ns each: a few seconds at most), and the scans themselves too.
constexpr std::int64_t kMaxJpegBlockVisits = std::int64_t(1) << 27;
constexpr int kMaxJpegScans = 1000;

// How far into a JPEG its frame header may start. What comes before it is
// metadata (Exif, colour profiles, comments), a few megabytes at most in
// real files, however many segments it is split into.
constexpr std::int64_t kMaxJpegHeaderBytes = std::int64_t(16) << 20;

// The largest side libjpeg will ever decode.
constexpr int kMaxJpegSide = 65500;

// libheif refuses any picture with a side this long before reading its
// pixels (its own default, said out loud); the area limits above decide the
// rest, since a HEIF or AVIF picture is always decoded whole.
constexpr int kMaxHeifSide = 32768;

// a * b, or nothing when the product does not fit in 63 bits or an operand
// is negative.
inline std::optional<std::int64_t> checkedProduct(std::int64_t a, std::int64_t b)
{
    if (a < 0 || b < 0)
        return std::nullopt;
    if (a != 0 && b > std::numeric_limits<std::int64_t>::max() / a)
        return std::nullopt;
    return a * b;
}

// Pixels in a picture of this size, or nothing for a negative or absurd size.
inline std::optional<std::int64_t> pixelCount(PixelSize size)
{
    return checkedProduct(size.width, size.height);
}

// Whether a picture of this size, decoded whole at `bytesPerPixel`, would
// take more than kMaxDecodedBytes.
inline bool exceedsDecodeLimit(PixelSize size, int bytesPerPixel = 4)
{
    const std::optional<std::int64_t> pixels = pixelCount(size);
    if (!pixels)
        return true;
    const std::optional<std::int64_t> bytes = checkedProduct(*pixels, bytesPerPixel);
    return !bytes || *bytes > kMaxDecodedBytes;
}

// Whether a picture declares more pixels than the game will ever take.
inline bool exceedsPixelLimit(PixelSize size)
{
    const std::optional<std::int64_t> pixels = pixelCount(size);
    return !pixels || *pixels > kMaxPixels;
}

} // namespace mok::picture
