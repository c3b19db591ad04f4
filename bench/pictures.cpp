#include "bench.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <libheif/heif.h>
#include <webp/encode.h>

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

QImage cameraPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
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
    return image;
}

bool writeCameraPicture(const QString &path, int width, int height, bool progressive)
{
    const QImage image = cameraPicture(width, height);
    if (image.isNull())
        return false;
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

namespace {

heif_error appendTo(heif_context *, const void *data, size_t size, void *out)
{
    static_cast<QByteArray *>(out)->append(static_cast<const char *>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

bool writeCameraHeic(const QString &path, int width, int height)
{
    const QImage image = cameraPicture(width, height).convertToFormat(QImage::Format_RGB888);
    if (image.isNull())
        return false;
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_image *picture = nullptr;
    QByteArray file;
    bool ok =
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
            heif_error_Ok &&
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &picture)
                .code == heif_error_Ok &&
        heif_image_add_plane(picture, heif_channel_interleaved, width, height, 8).code ==
            heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y)
            std::copy_n(image.constScanLine(y), width * 3, plane + qsizetype(y) * stride);
        heif_encoder_set_lossy_quality(encoder, 90);
        // Encoding speed only; the stream is what a phone writes at q 90.
        heif_encoder_set_parameter(encoder, "preset", "fast");
        heif_writer writer{1, appendTo};
        ok = heif_context_encode_image(context, picture, encoder, nullptr, nullptr).code ==
                 heif_error_Ok &&
             heif_context_write(context, &writer, &file).code == heif_error_Ok;
    }
    heif_image_release(picture);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return ok && writeFile(path, file);
}

bool writeCameraWebp(const QString &path, int width, int height)
{
    const QImage image = cameraPicture(width, height).convertToFormat(QImage::Format_RGB888);
    if (image.isNull())
        return false;
    uint8_t *out = nullptr;
    const size_t size =
        WebPEncodeRGB(image.constBits(), width, height, int(image.bytesPerLine()), 90, &out);
    const bool ok = size > 0 && writeFile(path, QByteArray(reinterpret_cast<const char *>(out),
                                                           qsizetype(size)));
    WebPFree(out);
    return ok;
}

bool writeCameraPng(const QString &path, int width, int height)
{
    const QImage image = cameraPicture(width, height).convertToFormat(QImage::Format_RGB888);
    return !image.isNull() && QImageWriter(path, "png").write(image);
}

} // namespace bench
