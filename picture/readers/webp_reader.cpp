#include "webp_reader.h"

#include "load_limits.h"
#include "threads.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace mok::picture {

namespace {

// libwebp's colour order whose pixels lie in memory as an Rgb does,
// premultiplied: a picture with alpha comes out composed over black.
constexpr WEBP_CSP_MODE kPremultipliedRgb =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? MODE_bgrA : MODE_Argb;

Reason reasonFor(VP8StatusCode status)
{
    return status == VP8_STATUS_OUT_OF_MEMORY ? Reason::OutOfMemory : Reason::Broken;
}

// A lossy key frame codes the prediction modes of every 16 x 16 block with
// fixed probabilities: at least three bits each, whatever the picture. Half
// a bit a block is far below that, so a file under it cannot hold the
// picture its header declares.
bool lossyDataCanHold(PixelSize size, std::size_t fileBytes)
{
    const std::int64_t blocks = std::int64_t((size.width + 15) / 16) * ((size.height + 15) / 16);
    return std::int64_t(fileBytes) * 16 >= blocks;
}

// The size libwebp is asked to decode at: the picture shrunk by M/8 with the
// smallest M that still gives at least `wanted`, as libjpeg would for a
// JPEG of the same size; the row shrinker does the rest of the way.
PixelSize decodeSizeFor(PixelSize full, PixelSize wanted)
{
    if (wanted.width >= full.width || wanted.height >= full.height)
        return full;
    const double f =
        std::min(double(full.width) / wanted.width, double(full.height) / wanted.height);
    const int m = std::clamp(int(std::ceil(8 / f)), 1, 8);
    return {int((std::int64_t(full.width) * m + 7) / 8),
            int((std::int64_t(full.height) * m + 7) / 8)};
}

// What libwebp allocates for itself to decode a picture of `size`, beside
// the rows it writes out: a lossless picture is decoded whole at 4 bytes a
// pixel whatever size it is scaled to, and a lossy one's alpha plane is held
// whole, with as much again when that plane is itself coded losslessly. A
// lossy picture's colours need only a few rows.
std::int64_t workingBytes(PixelSize size, const WebPBitstreamFeatures &features)
{
    const int perPixel = features.format == 2 ? 4 : features.has_alpha ? 2 : 0;
    return checkedProduct(pixelCount(size).value_or(-1), perPixel)
        .value_or(std::numeric_limits<std::int64_t>::max());
}

// Premultiplied pixels made opaque, in place.
void makeOpaque(Rgb *pixels, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] |= kOpaque;
}

// `decoded` (premultiplied rows of decoded.size()) into the sink, opaque.
bool feedRows(const Rgb *decoded, PixelSize size, RowSink &sink)
{
    for (int y = 0; y < size.height; ++y) {
        const Rgb *in = decoded + std::size_t(y) * std::size_t(size.width);
        Rgb *out = sink.nextRow();
        for (int x = 0; x < size.width; ++x)
            out[x] = in[x] | kOpaque;
        sink.rowDone();
    }
    return sink.finish();
}

struct AnimDecoderFree {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};

struct DemuxFree {
    void operator()(WebPDemuxer *d) const { WebPDemuxDelete(d); }
};

// The canvas an animation declares, held with its first frame against the
// limits before libwebp's animation decoder allocates for them; nothing
// when the container is broken, and a refusal when it is too large.
std::optional<ReadResult> checkAnimation(const WebPData &webp)
{
    const std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&webp));
    WebPIterator frame;
    if (!demux || !WebPDemuxGetFrame(demux.get(), 1, &frame))
        return std::nullopt;
    WebPBitstreamFeatures features;
    const bool readable =
        WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) == VP8_STATUS_OK;
    const PixelSize frameSize{frame.width, frame.height};
    WebPDemuxReleaseIterator(&frame);
    if (!readable)
        return std::nullopt;
    const PixelSize canvas{int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH)),
                           int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT))};
    if (canvas.isEmpty())
        return std::nullopt;
    // Two canvases (the frame shown and the one before it) and what the
    // first frame takes to decode.
    const std::int64_t canvases = checkedProduct(pixelCount(canvas).value_or(-1), 8).value_or(-1);
    const std::int64_t frameBytes = workingBytes(frameSize, features);
    if (exceedsPixelLimit(canvas) || canvases < 0 || canvases > kMaxDecodedBytes ||
        frameBytes > kMaxDecodedBytes - canvases)
        return refused(Reason::TooLarge, canvas);
    return ReadResult{Reason::None, canvas};
}

// libwebp filters and scales a lossy picture's rows on a thread of its own
// while it decodes the next ones, where one can start: a 12 MP picture
// opens in about three quarters of the time, with the same pixels.
int filterOnItsOwnThread()
{
    return threadsCanStart(1) ? 1 : 0;
}

// The first frame of an animation, drawn on its canvas as a viewer would
// show it before the second.
ReadResult readFirstFrame(const MappedFile &data, PreviewTarget &target)
{
    const WebPData webp{data.data(), data.size()};
    const std::optional<ReadResult> checked = checkAnimation(webp);
    if (!checked)
        return refused(Reason::Broken);
    if (!checked->ok())
        return *checked;
    const PixelSize canvas = checked->size;
    const PixelSize preview = target.previewSize(canvas);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, canvas);
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return refused(Reason::Broken);
    options.color_mode = kPremultipliedRgb;
    options.use_threads = filterOnItsOwnThread();
    std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(WebPAnimDecoderNew(&webp, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || info.frame_count == 0 ||
        PixelSize{int(info.canvas_width), int(info.canvas_height)} != canvas)
        return refused(Reason::Broken);
    uint8_t *pixels = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp) || !pixels)
        return refused(Reason::Broken);
    RowSink sink(canvas, preview, Orientation::Upright, target.memory);
    if (!sink.isValid() || !feedRows(reinterpret_cast<const Rgb *>(pixels), canvas, sink))
        return refused(Reason::OutOfMemory);
    return {Reason::None, canvas};
}

} // namespace

ReadResult readWebp(Source &file, PreviewTarget &target)
{
    const MappedFile data(file);
    if (!data.isValid())
        return refused(Reason::ReadFailed);
    const uint8_t *bytes = data.data();
    const std::size_t size = data.size();

    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(bytes, size, &features);
        status != VP8_STATUS_OK)
        return refused(reasonFor(status));
    if (features.has_animation)
        return readFirstFrame(data, target);
    const PixelSize full{features.width, features.height};
    if (full.isEmpty())
        return refused(Reason::Broken);
    if (exceedsPixelLimit(full) || workingBytes(full, features) > kMaxDecodedBytes)
        return refused(Reason::TooLarge, full);
    const PixelSize preview = target.previewSize(full);
    if (preview.isEmpty())
        return refused(Reason::TooSmall, full);
    if (features.format == 1 && !lossyDataCanHold(full, size))
        return refused(Reason::Broken);
    const PixelSize decodeSize = decodeSizeFor(full, preview);
    if (exceedsDecodeLimit(decodeSize))
        return refused(Reason::TooLarge, full);

    RowSink sink(decodeSize, preview, Orientation::Upright, target.memory);
    if (!sink.isValid())
        return refused(Reason::OutOfMemory);
    // Straight into the preview when it is shown at the decoded size;
    // otherwise into a picture of its own whose rows are then shrunk.
    Rgb *whole = sink.wholeDestination();
    Image decoded;
    if (!whole) {
        decoded = Image::allocate(decodeSize);
        if (decoded.isNull())
            return refused(Reason::OutOfMemory);
        whole = decoded.row(0);
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return refused(Reason::Broken);
    if (decodeSize != full) {
        config.options.use_scaling = 1;
        config.options.scaled_width = decodeSize.width;
        config.options.scaled_height = decodeSize.height;
    }
    config.options.use_threads = filterOnItsOwnThread();
    config.output.colorspace = kPremultipliedRgb;
    config.output.is_external_memory = 1;
    const std::size_t count = std::size_t(decodeSize.width) * std::size_t(decodeSize.height);
    config.output.u.RGBA.rgba = reinterpret_cast<uint8_t *>(whole);
    config.output.u.RGBA.stride = decodeSize.width * 4;
    config.output.u.RGBA.size = count * 4;
    const VP8StatusCode status = WebPDecode(bytes, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return refused(reasonFor(status));
    if (decoded.isNull()) {
        if (features.has_alpha)
            makeOpaque(whole, count);
        sink.wholeDone();
        if (!sink.finish())
            return refused(Reason::OutOfMemory);
    } else if (!feedRows(decoded.row(0), decodeSize, sink)) {
        return refused(Reason::OutOfMemory);
    }
    return {Reason::None, full};
}

} // namespace mok::picture
