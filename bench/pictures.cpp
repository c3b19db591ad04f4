#include "bench.h"

#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace bench {

namespace {

// A tiny fast generator: the noise needs to be random-looking, not good.
struct XorShift {
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Roughly normal, mean 0, spread about `sigma`.
    int noise(int sigma)
    {
        const std::uint32_t r = next();
        const int sum = int(r & 0xff) + int((r >> 8) & 0xff) + int((r >> 16) & 0xff) - 382;
        return sum * sigma / 128;
    }
};

// Chosen so the baseline file comes out at about 3 bits per pixel.
constexpr int kNoise = 12;

int channel(double v)
{
    return std::clamp(static_cast<int>(v), 0, 255);
}

} // namespace

bool writeCameraPicture(const QString &path, int width, int height, bool progressive)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    XorShift rng{0x9E3779B9u};
    const double sx = 1.0 / width;
    const double sy = 1.0 / height;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double fy = y * sy;
        for (int x = 0; x < width; ++x) {
            const double fx = x * sx;
            // Light falling across a scene of a few large shapes...
            const double light = 60 + 110 * fx * (1 - fy) + 50 * std::sin(9 * fx + 4 * fy);
            // ...with surface texture a few pixels across...
            const double texture =
                14 * std::sin(0.37 * x + 0.11 * y) * std::sin(0.23 * y - 0.05 * x);
            // ...and the sensor's noise on top.
            const double base = light + texture;
            line[x] = qRgb(channel(base + 30 * fy + rng.noise(kNoise)),
                           channel(base * 0.9 + rng.noise(kNoise)),
                           channel(base * 0.7 + 40 * fx + rng.noise(kNoise)));
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

} // namespace bench
