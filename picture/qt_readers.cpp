#include "qt_readers.h"

#include "load_limits.h"
#include "reasons.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>

namespace mok::picture {

namespace {

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
