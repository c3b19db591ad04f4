#include "modern_files.h"

#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cstring>

namespace modern {

namespace {

heif_error appendTo(heif_context *, const void *data, size_t size, void *out)
{
    static_cast<QByteArray *>(out)->append(static_cast<const char *>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace

QImage overBlack(const QImage &picture)
{
    QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    premultiplied.reinterpretAsFormat(QImage::Format_RGB32);
    for (int y = 0; y < premultiplied.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(premultiplied.scanLine(y));
        for (int x = 0; x < premultiplied.width(); ++x)
            line[x] |= 0xFF000000u;
    }
    return premultiplied;
}

QByteArray encodeHeif(const QImage &picture, Codec codec, int quality, int orientation,
                      const char *chroma)
{
    const bool alpha = picture.hasAlphaChannel();
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    heif_image *image = nullptr;
    heif_image_create(rgba.width(), rgba.height(), heif_colorspace_RGB,
                      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgba.width(), rgba.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar *in = rgba.constScanLine(y);
        uint8_t *out = plane + y * stride;
        for (int x = 0; x < rgba.width(); ++x, in += 4)
            for (int c = 0; c < (alpha ? 4 : 3); ++c)
                *out++ = in[c];
    }
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    if (heif_context_get_encoder_for_format(
            context, codec == Codec::Hevc ? heif_compression_HEVC : heif_compression_AV1, &encoder)
            .code != heif_error_Ok)
        qFatal("libheif has no encoder for the test pictures");
    heif_encoder_set_lossy_quality(encoder, quality);
    heif_encoder_set_parameter(encoder, "speed", "8"); // AV1 only; quick enough for a test
    if (chroma)
        heif_encoder_set_parameter(encoder, "chroma", chroma); // "420", "422" or "444"
    heif_encoding_options *options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(orientation);
    if (heif_context_encode_image(context, image, encoder, options, nullptr).code != heif_error_Ok)
        qFatal("libheif cannot encode a test picture");
    QByteArray file;
    heif_writer writer{1, appendTo};
    heif_context_write(context, &writer, &file);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    heif_context_free(context);
    heif_image_release(image);
    return file;
}

QByteArray encodeWebp(const QImage &picture, int quality)
{
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    uint8_t *out = nullptr;
    const size_t size = quality < 0
                            ? WebPEncodeLosslessRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                                     int(rgba.bytesPerLine()), &out)
                            : WebPEncodeRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                             int(rgba.bytesPerLine()), float(quality), &out);
    if (size == 0)
        qFatal("libwebp cannot encode a test picture");
    const QByteArray file(reinterpret_cast<const char *>(out), qsizetype(size));
    WebPFree(out);
    return file;
}

QImage decodeHeif(const QByteArray &file)
{
    heif_context *context = heif_context_alloc();
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    QImage result;
    if (heif_context_read_from_memory(context, file.constData(), size_t(file.size()), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
                .code == heif_error_Ok) {
        int stride = 0;
        const uint8_t *plane =
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        const QImage view(plane, heif_image_get_primary_width(image),
                          heif_image_get_primary_height(image), stride, QImage::Format_RGBA8888);
        result = overBlack(view);
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return result;
}

QImage decodeWebp(const QByteArray &file)
{
    int w = 0, h = 0;
    uint8_t *rgba = WebPDecodeRGBA(reinterpret_cast<const uint8_t *>(file.constData()),
                                   size_t(file.size()), &w, &h);
    if (!rgba)
        return {};
    const QImage view(rgba, w, h, w * 4, QImage::Format_RGBA8888);
    QImage result = overBlack(view);
    WebPFree(rgba);
    return result;
}

int heifVersion()
{
    const unsigned version = heif_get_version_number(); // 0xMMmmpp00
    return int(version >> 24) * 100 + int((version >> 16) & 0xFF);
}

} // namespace modern
