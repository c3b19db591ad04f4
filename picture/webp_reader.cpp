#include "webp_reader.h"

#include "load_limits.h"
#include "reasons.h"
#include "row_sink.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace mok::picture {

namespace {

// libwebp's colour order whose pixels lie in memory as a QRgb does,
// premultiplied: a picture with alpha comes out composed over black.
constexpr WEBP_CSP_MODE kPremultipliedQRgb =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_bgrA : MODE_Argb;

QString reasonFor(VP8StatusCode status)
{
    return status == VP8_STATUS_OUT_OF_MEMORY ? reason::outOfMemory() : reason::broken();
}

// A lossy key frame codes the prediction modes of every 16 x 16 block with
// fixed probabilities: at least three bits each, whatever the picture. Half
// a bit a block is far below that, so a file under it cannot hold the
// picture its header declares.
bool lossyDataCanHold(QSize size, qsizetype fileBytes)
{
    const qint64 blocks = qint64((size.width() + 15) / 16) * ((size.height() + 15) / 16);
    return qint64(fileBytes) * 16 >= blocks;
}

// The size libwebp is asked to decode at: the picture shrunk by M/8 with the
// smallest M that still gives at least `wanted`, as libjpeg would for a
// JPEG of the same size; the row shrinker does the rest of the way.
QSize decodeSizeFor(QSize full, QSize wanted)
{
    if (wanted == full)
        return full;
    const double f =
        std::min(double(full.width()) / wanted.width(), double(full.height()) / wanted.height());
    const int m = std::clamp(int(std::ceil(8 / f)), 1, 8);
    return {int((qint64(full.width()) * m + 7) / 8), int((qint64(full.height()) * m + 7) / 8)};
}

// Premultiplied rows, made opaque, into the sink.
Decoded fromPremultiplied(QImage decoded, QSize full, QSize wanted)
{
    Decoded result;
    result.fullSize = full;
    RowSink sink(decoded.size(), wanted);
    if (!sink.shrinks()) {
        // The loader composes this over black itself.
        result.image = std::move(decoded);
        return result;
    }
    if (!sink.isValid())
        return refused(reason::outOfMemory());
    for (int y = 0; y < decoded.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(decoded.constScanLine(y));
        QRgb *out = sink.nextRow();
        for (int x = 0; x < decoded.width(); ++x)
            out[x] = in[x] | 0xFF000000u;
        sink.rowDone();
    }
    result.image = sink.take();
    return result;
}

struct AnimDecoderFree {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};

// The first frame of an animation, drawn on its canvas as a viewer would
// show it before the second.
Decoded readFirstFrame(const QByteArray &data, const PreviewSizer &previewSize)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return refused(reason::broken());
    options.color_mode = kPremultipliedQRgb;
    options.use_threads = 0;
    const WebPData webp{reinterpret_cast<const uint8_t *>(data.constData()),
                        std::size_t(data.size())};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(WebPAnimDecoderNew(&webp, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || info.frame_count == 0)
        return refused(reason::broken());
    const QSize canvas(int(info.canvas_width), int(info.canvas_height));
    // libwebp keeps two canvases: the frame shown and the one before it.
    if (exceedsPixelLimit(canvas) || exceedsDecodeLimit(canvas, 8))
        return refused(reason::tooLarge(canvas));
    const QSize preview = previewSize(canvas);
    if (preview.isEmpty())
        return refused(reason::tooSmall(canvas));
    uint8_t *pixels = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp) || !pixels)
        return refused(reason::broken());
    const QImage frame(pixels, canvas.width(), canvas.height(), canvas.width() * 4,
                       QImage::Format_ARGB32_Premultiplied);
    // Copied before the decoder, which owns the pixels, goes.
    return fromPremultiplied(frame.copy(), canvas, preview);
}

} // namespace

bool isWebpFile(const QByteArray &head)
{
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}

Decoded readWebp(QIODevice &file, const PreviewSizer &previewSize)
{
    if (!file.seek(0))
        return refused(reason::readFailed());
    const QByteArray data = file.readAll();
    if (data.size() != file.size())
        return refused(reason::readFailed());
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.constData());
    const std::size_t size = std::size_t(data.size());

    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(bytes, size, &features);
        status != VP8_STATUS_OK)
        return refused(reasonFor(status));
    if (features.has_animation)
        return readFirstFrame(data, previewSize);
    const QSize full(features.width, features.height);
    if (full.width() <= 0 || full.height() <= 0)
        return refused(reason::broken());
    if (exceedsPixelLimit(full))
        return refused(reason::tooLarge(full));
    const QSize preview = previewSize(full);
    if (preview.isEmpty())
        return refused(reason::tooSmall(full));
    if (features.format == 1 && !lossyDataCanHold(full, data.size()))
        return refused(reason::broken());
    const QSize decodeSize = decodeSizeFor(full, preview);
    if (exceedsDecodeLimit(decodeSize))
        return refused(reason::tooLarge(full));

    QImage decoded(decodeSize, QImage::Format_ARGB32_Premultiplied);
    if (decoded.isNull())
        return refused(reason::outOfMemory());
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return refused(reason::broken());
    if (decodeSize != full) {
        config.options.use_scaling = 1;
        config.options.scaled_width = decodeSize.width();
        config.options.scaled_height = decodeSize.height();
    }
    config.options.use_threads = 0;
    config.output.colorspace = kPremultipliedQRgb;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = decoded.bits();
    config.output.u.RGBA.stride = int(decoded.bytesPerLine());
    config.output.u.RGBA.size = std::size_t(decoded.sizeInBytes());
    const VP8StatusCode status = WebPDecode(bytes, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return refused(reasonFor(status));
    return fromPremultiplied(std::move(decoded), full, preview);
}

} // namespace mok::picture
