#include "modern_files.h"

#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cstring>
#include <utility>
#include <vector>

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
                      int bitDepth)
{
    const bool alpha = picture.hasAlphaChannel();
    const bool deep = bitDepth > 8;
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    heif_image *image = nullptr;
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image_create(rgba.width(), rgba.height(), heif_colorspace_RGB, chroma, &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgba.width(), rgba.height(), bitDepth);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar *in = rgba.constScanLine(y);
        uint8_t *out = plane + y * stride;
        for (int x = 0; x < rgba.width(); ++x, in += 4) {
            for (int c = 0; c < (alpha ? 4 : 3); ++c) {
                if (!deep) {
                    *out++ = in[c];
                    continue;
                }
                const int value = in[c] << (bitDepth - 8); // little-endian samples
                *out++ = uint8_t(value & 0xFF);
                *out++ = uint8_t(value >> 8);
            }
        }
    }
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    if (heif_context_get_encoder_for_format(
            context, codec == Codec::Hevc ? heif_compression_HEVC : heif_compression_AV1, &encoder)
            .code != heif_error_Ok)
        qFatal("libheif has no encoder for the test pictures");
    heif_encoder_set_lossy_quality(encoder, quality);
    heif_encoder_set_parameter(encoder, "speed", "8"); // AV1 only; quick enough for a test
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

namespace {

// Big-endian numbers of 1 to 8 bytes, read and written.
quint64 beAt(const QByteArray &b, qsizetype at, int bytes)
{
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | uchar(b[at + i]);
    return v;
}
QByteArray be(quint64 v, int bytes)
{
    QByteArray b(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        b[i] = char(v & 0xFF);
    return b;
}

QByteArray box(const char *type, const QByteArray &body)
{
    return be(quint64(8 + body.size()), 4) + QByteArray(type, 4) + body;
}
QByteArray fullBox(const char *type, int version, int flags, const QByteArray &body)
{
    return box(type, be(quint64(version), 1) + be(quint64(flags), 3) + body);
}

// Where the content of the first box of `type` among [begin, end) starts,
// after `skip` more bytes (4 for a full box), and where it ends.
std::pair<qsizetype, qsizetype> findBox(const QByteArray &file, qsizetype begin, qsizetype end,
                                        const char *type, int skip = 0)
{
    for (qsizetype at = begin; at + 8 <= end;) {
        const auto size = qsizetype(beAt(file, at, 4));
        if (file.mid(at + 4, 4) == type)
            return {at + 8 + skip, at + size};
        if (size < 8)
            break;
        at += size;
    }
    qFatal("test HEIF has no %s box", type);
}

// The one extent of the one item a HEIF of libheif's has: where its length
// is written, in how many bytes, and where the data lies.
struct Extent {
    qsizetype lengthAt = 0;
    int lengthBytes = 0;
    qsizetype offset = 0;
    qsizetype length = 0;
};

Extent onlyExtent(const QByteArray &heif)
{
    const auto meta = findBox(heif, 0, heif.size(), "meta", 4);
    const auto iloc = findBox(heif, meta.first, meta.second, "iloc", 4);
    if (heif[iloc.first - 4] != 0 || beAt(heif, iloc.first + 2, 2) != 1)
        qFatal("test HEIF has more than one item, or a newer location box");
    const int offsetBytes = uchar(heif[iloc.first]) >> 4;
    const int baseBytes = uchar(heif[iloc.first + 1]) >> 4;
    Extent e;
    e.lengthBytes = uchar(heif[iloc.first]) & 15;
    // sizes, item count, the item's number, its data reference, base offset
    qsizetype at = iloc.first + 2 + 2 + 2 + 2;
    const auto base = qsizetype(beAt(heif, at, baseBytes));
    at += baseBytes + 2; // and the count of extents
    e.offset = base + qsizetype(beAt(heif, at, offsetBytes));
    e.lengthAt = at + offsetBytes;
    e.length = qsizetype(beAt(heif, e.lengthAt, e.lengthBytes));
    return e;
}

} // namespace

QByteArray heifGrid(const QList<QByteArray> &tiles, int width, int height)
{
    const QByteArray &first = tiles.front();
    const auto meta = findBox(first, 0, first.size(), "meta", 4);
    const auto iprp = findBox(first, meta.first, meta.second, "iprp");
    const auto ipco = findBox(first, iprp.first, iprp.second, "ipco");
    // Every tile has the first coded picture's properties, its decoder's
    // configuration essential; the grid has its own size.
    QByteArray associations;
    int tileWidth = 0;
    int tileHeight = 0;
    for (qsizetype at = ipco.first; at < ipco.second; at += qsizetype(beAt(first, at, 4))) {
        const QByteArray type = first.mid(at + 4, 4);
        associations += char((type == "hvcC" ? 0x80 : 0) | (associations.size() + 1));
        if (type == "ispe") {
            tileWidth = int(beAt(first, at + 12, 4));
            tileHeight = int(beAt(first, at + 16, 4));
        }
    }
    const int columns = (width + tileWidth - 1) / tileWidth;
    const int rows = (height + tileHeight - 1) / tileHeight;
    const int count = columns * rows;
    const QByteArray properties =
        first.mid(ipco.first, ipco.second - ipco.first) +
        fullBox("ispe", 0, 0, be(quint64(width), 4) + be(quint64(height), 4));
    const QByteArray gridProperty(1, char(associations.size() + 1));
    // The coded pictures one after another, each used as often as it comes
    // round.
    QByteArray coded;
    std::vector<std::pair<qsizetype, qsizetype>> extents;
    for (const QByteArray &tile : tiles) {
        const Extent e = onlyExtent(tile);
        extents.emplace_back(coded.size(), e.length);
        coded += tile.mid(e.offset, e.length);
    }

    QByteArray items = fullBox("infe", 2, 0, be(1, 2) + be(0, 2) + "grid" + QByteArray(1, '\0'));
    QByteArray references = be(1, 2) + be(quint64(count), 2);
    QByteArray associated = be(1, 2) + be(1, 1) + gridProperty;
    for (int i = 2; i < count + 2; ++i) {
        items += fullBox("infe", 2, 1, be(quint64(i), 2) + be(0, 2) + "hvc1" + QByteArray(1, '\0'));
        references += be(quint64(i), 2);
        associated += be(quint64(i), 2) + be(quint64(associations.size()), 1) + associations;
    }
    // version, flags, rows and columns less one, and the size in 16 bits
    const QByteArray grid = be(0, 2) + be(quint64(rows - 1), 1) + be(quint64(columns - 1), 1) +
                            be(quint64(width), 2) + be(quint64(height), 2);
    const auto headUpTo = [&](qsizetype mdat) -> QByteArray {
        // offsets and lengths of 4 bytes; the grid's data in idat, the
        // tiles' in mdat
        QByteArray locations = be(0x44, 1) + be(0, 1) + be(quint64(count + 1), 2) + be(1, 2) +
                               be(1, 2) + be(0, 2) + be(1, 2) + be(0, 4) +
                               be(quint64(grid.size()), 4);
        for (int i = 0; i < count; ++i) {
            const auto &[offset, length] = extents[std::size_t(i) % extents.size()];
            locations += be(quint64(i + 2), 2) + be(0, 2) + be(0, 2) + be(1, 2) +
                         be(quint64(mdat + 8 + offset), 4) + be(quint64(length), 4);
        }
        const QByteArray metaBody =
            fullBox("hdlr", 0, 0, be(0, 4) + "pict" + QByteArray(13, '\0')) +
            fullBox("pitm", 0, 0, be(1, 2)) + fullBox("iloc", 1, 0, locations) +
            fullBox("iinf", 0, 0, be(quint64(count + 1), 2) + items) +
            fullBox("iref", 0, 0, box("dimg", references)) +
            box("iprp", box("ipco", properties) +
                            fullBox("ipma", 0, 0, be(quint64(count + 1), 4) + associated)) +
            box("idat", grid);
        return box("ftyp", QByteArray("heic\0\0\0\0mif1heic", 16)) +
               fullBox("meta", 0, 0, metaBody);
    };
    const QByteArray head = headUpTo(headUpTo(0).size());
    return head + box("mdat", coded);
}

QByteArray withItemLength(QByteArray heif, quint32 length)
{
    const Extent e = onlyExtent(heif);
    heif.replace(e.lengthAt, e.lengthBytes, be(length, e.lengthBytes));
    return heif;
}

} // namespace modern
