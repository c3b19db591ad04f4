#include "load_limits.h"

#include <limits>

namespace mok::picture {

std::optional<qint64> checkedProduct(qint64 a, qint64 b)
{
    if (a < 0 || b < 0)
        return std::nullopt;
    if (a != 0 && b > std::numeric_limits<qint64>::max() / a)
        return std::nullopt;
    return a * b;
}

std::optional<qint64> pixelCount(QSize size)
{
    return checkedProduct(size.width(), size.height());
}

bool exceedsDecodeLimit(QSize size, int bytesPerPixel)
{
    const std::optional<qint64> pixels = pixelCount(size);
    if (!pixels)
        return true;
    const std::optional<qint64> bytes = checkedProduct(*pixels, bytesPerPixel);
    return !bytes || *bytes > kMaxDecodedBytes;
}

bool exceedsPixelLimit(QSize size)
{
    const std::optional<qint64> pixels = pixelCount(size);
    return !pixels || *pixels > kMaxPixels;
}

} // namespace mok::picture
