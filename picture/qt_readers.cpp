#include "qt_readers.h"

#include "gif_frame.h"
#include "load_limits.h"
#include "reasons.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>

namespace mok::picture {

namespace {

quint32 le(const QByteArray &data, int at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | uchar(data.at(at + i));
    return value;
}

// Decodes with Qt's handler for `format`, never guessing from content again.
// Qt's allocation limit is set once, by prepareReaders().
Decoded decodeWithQt(QIODevice &device, const char *format, const QString &whyNot)
{
    if (!device.seek(0))
        return refused(reason::readFailed());
    QImageReader reader(&device, format);
    reader.setDecideFormatFromContent(false);
    Decoded decoded;
    decoded.image = reader.read();
    if (decoded.image.isNull()) {
        if (reader.error() == QImageReader::DeviceError)
            return refused(reason::readFailed());
        return refused(whyNot);
    }
    decoded.fullSize = decoded.image.size();
    return decoded;
}

// --- BMP ---------------------------------------------------------------------

struct BmpHeader {
    QSize size; // upright; invalid when the header is not one Qt reads
    int bitsPerPixel = 0;
    quint32 compression = 0;
    qint64 pixelOffset = 0;
};

BmpHeader readBmpHeader(const QByteArray &head)
{
    BmpHeader h;
    if (head.size() < 26 || !head.startsWith("BM"))
        return h;
    h.pixelOffset = le(head, 10, 4);
    if (le(head, 14, 4) == 12) { // OS/2 1.x core header
        h.size = QSize(int(le(head, 18, 2)), int(le(head, 20, 2)));
        h.bitsPerPixel = int(le(head, 24, 2));
        return h;
    }
    if (head.size() < 34)
        return h;
    const auto w = static_cast<qint32>(le(head, 18, 4));
    const auto height = static_cast<qint32>(le(head, 22, 4));
    if (w <= 0 || height == 0 || height == INT_MIN)
        return h;
    h.size = QSize(w, height < 0 ? -height : height);
    h.bitsPerPixel = int(le(head, 28, 2));
    h.compression = le(head, 30, 4);
    return h;
}

// Uncompressed rows have a fixed size, so the file must be long enough to
// hold them all; the last row may lack its padding.
bool holdsItsRows(const BmpHeader &h, qint64 fileBytes)
{
    const bool uncompressed = h.compression == 0 || h.compression == 3 || h.compression == 6;
    if (!uncompressed || h.bitsPerPixel <= 0)
        return true; // run-length data may legitimately end early
    const std::optional<qint64> bits = checkedProduct(h.size.width(), h.bitsPerPixel);
    if (!bits)
        return false;
    const qint64 rowBytes = (*bits + 7) / 8;
    const qint64 stride = (*bits + 31) / 32 * 4;
    const std::optional<qint64> body = checkedProduct(stride, h.size.height() - 1);
    return body && h.pixelOffset + *body + rowBytes <= fileBytes;
}

// --- PNG -----------------------------------------------------------------------

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";

// The chunks that decide the pixels; every other chunk (text, compressed
// text, ICC profiles, Exif, ...) is dropped before libpng sees the file.
bool decidesPixels(const QByteArray &type)
{
    return type == "IHDR" || type == "PLTE" || type == "tRNS" || type == "IDAT" || type == "IEND";
}

struct PngScan {
    QByteArray kept; // signature and the chunks that decide the pixels
    QSize size;
    int bitsPerPixel = 0;
    int bitDepth = 0;
    qint64 idatBytes = 0;
    bool complete = false; // IEND seen
};

int pngBitsPerPixel(int depth, int colourType)
{
    switch (colourType) {
    case 0:
    case 3:
        return depth;
    case 2:
        return 3 * depth;
    case 4:
        return 2 * depth;
    case 6:
        return 4 * depth;
    default:
        return 0;
    }
}

// Walks the chunks; nothing when the file stops being a PNG.
std::optional<PngScan> scanPng(QIODevice &file)
{
    PngScan scan;
    if (!file.seek(0))
        return std::nullopt;
    scan.kept = file.read(8);
    if (scan.kept != QByteArray(kPngSignature, 8))
        return std::nullopt;
    while (!file.atEnd()) {
        const QByteArray head = file.read(8);
        if (head.size() < 8)
            break; // cut inside a chunk header: libpng will say what is missing
        const qint64 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4, 4);
        if (length > 0x7FFFFFFF)
            return std::nullopt;
        if (!decidesPixels(type)) {
            if (!file.seek(file.pos() + length + 4))
                break;
            continue;
        }
        // With the CRC; a length past the end of the file reads what is there
        // (QIODevice::read reserves all it is asked for).
        const QByteArray body = file.read(std::min(length + 4, file.size() - file.pos()));
        if (type == "IHDR" && body.size() >= 10) {
            scan.size = QSize(qFromBigEndian<qint32>(body.constData()),
                              qFromBigEndian<qint32>(body.constData() + 4));
            scan.bitDepth = uchar(body[8]);
            scan.bitsPerPixel = pngBitsPerPixel(scan.bitDepth, uchar(body[9]));
        }
        if (type == "IDAT")
            scan.idatBytes += body.size();
        scan.kept += head + body;
        if (type == "IEND") {
            scan.complete = true;
            break;
        }
        if (body.size() < length + 4)
            break;
    }
    return scan;
}

// Deflate never packs more than 1032 bytes into one; the filtered rows of a
// complete picture need at least this much compressed data.
bool idatCanHold(const PngScan &scan)
{
    const std::optional<qint64> bits = checkedProduct(scan.size.width(), scan.bitsPerPixel);
    if (!bits)
        return false;
    const std::optional<qint64> raw = checkedProduct(1 + (*bits + 7) / 8, scan.size.height());
    return raw && scan.idatBytes * 1032 + 64 >= *raw;
}

} // namespace

Decoded readBmp(QIODevice &file)
{
    if (!file.seek(0))
        return refused(reason::readFailed());
    const BmpHeader header = readBmpHeader(file.read(64));
    if (header.size.isValid() && !header.size.isEmpty()) {
        if (exceedsDecodeLimit(header.size))
            return refused(reason::tooLarge(header.size));
        if (!holdsItsRows(header, file.size()))
            return refused(reason::broken());
    }
    // Qt's BMP reader refuses both valid variants it does not implement (2
    // bpp, Huffman, RLE24, embedded JPEG or PNG, 64 bpp) and broken headers
    // without telling which, so neither can we.
    return decodeWithQt(file, "bmp", reason::unreadableBmp());
}

Decoded readGif(QIODevice &file)
{
    const std::optional<GifFirstFrame> frame = readGifFirstFrame(file);
    if (!frame)
        return refused(reason::broken());
    if (exceedsDecodeLimit(frame->screen))
        return refused(reason::tooLarge(frame->screen));
    if (!frame->complete() || frame->mostlyEmptyScreen())
        return refused(reason::broken());
    return decodeWithQt(file, "gif", reason::broken());
}

Decoded readPng(QIODevice &file)
{
    const std::optional<PngScan> scan = scanPng(file);
    if (!scan || scan->size.width() <= 0 || scan->size.height() <= 0)
        return refused(reason::broken());
    if (exceedsDecodeLimit(scan->size, scan->bitDepth == 16 ? 8 : 4))
        return refused(reason::tooLarge(scan->size));
    if (!idatCanHold(*scan))
        return refused(reason::broken());
    QBuffer kept;
    kept.setData(scan->kept);
    kept.open(QIODevice::ReadOnly);
    return decodeWithQt(kept, "png", reason::broken());
}

} // namespace mok::picture
