#include "picture_loader.h"

#include "preview.h"

#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mok {

namespace {

// --- What the player is told -------------------------------------------------

QString notFound()
{
    return QStringLiteral(u"ファイルが見つかりません。");
}

QString notAFile()
{
    return QStringLiteral(u"ファイルではありません（フォルダーや特殊なファイルは開けません）。");
}

QString emptyFile()
{
    return QStringLiteral(u"ファイルが空です（0 バイト）。");
}

QString noPermission()
{
    return QStringLiteral(u"ファイルを読み取る権限がありません。");
}

QString cannotOpen()
{
    return QStringLiteral(u"ファイルを開けません。");
}

QString readFailed()
{
    return QStringLiteral(u"ファイルを最後まで読み取れませんでした。");
}

QString notAPicture()
{
    return QStringLiteral(u"BMP・GIF・JPEG のピクチャとして読み込めません。");
}

QString unsupportedJpeg()
{
    return QStringLiteral(u"この種類の JPEG（12 ビット、ロスレスなど）には対応していません。");
}

QString unreadableBmp()
{
    return QStringLiteral(
        u"この BMP は読み込めません（対応していない形式か、データが壊れています）。");
}

QString corrupt()
{
    return QStringLiteral(u"ピクチャのデータが壊れています。");
}

QString outOfMemory()
{
    return QStringLiteral(u"ピクチャを読み込むためのメモリーが足りません。");
}

QString tooLarge(QSize size)
{
    return QStringLiteral(u"ピクチャが大きすぎます（%1 × %2 ピクセル）。")
        .arg(size.width())
        .arg(size.height());
}

QString tooSmall(QSize size)
{
    return QStringLiteral(u"ピクチャが小さすぎます（%1 × %2 ピクセル）。")
        .arg(size.width())
        .arg(size.height());
}

PictureLoadResult failure(const QString &why)
{
    PictureLoadResult result;
    result.error = why;
    return result;
}

// --- Opening ------------------------------------------------------------------

// Opens exactly `path` for reading, or says why not. Returns an empty string on
// success.
//
// QFileInfo is asked first so that FIFOs and devices are never opened at all:
// opening a FIFO blocks until a writer turns up, and opening some devices has
// side effects. On Unix the open itself is non-blocking and the result is
// checked again with fstat(), because the file can be swapped for a FIFO
// between the check and the open. errno also tells "permission denied" apart
// from "not found", which QImageReader would report as "file not found".
QString openRegularFile(const QString &path, QFile &file)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return notFound();
    if (!info.isFile())
        return notAFile();
    if (info.size() == 0)
        return emptyFile();

#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return notFound();
        case EACCES:
        case EPERM:
            return noPermission();
        default:
            return cannotOpen();
        }
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notAFile();
    }
    if (st.st_size == 0) {
        ::close(fd);
        return emptyFile();
    }
    // O_NONBLOCK only mattered for the open; reads of a regular file ignore it,
    // but clear it so nothing below ever sees EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return cannotOpen();
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return info.isReadable() ? cannotOpen() : noPermission();
#endif
    return {};
}

// --- Sizes ----------------------------------------------------------------------

// QImageReader counts every decoded image at no less than 32 bits per pixel
// against its allocation limit; we count the same way so that our own refusal
// and Qt's agree.
bool exceedsAllocationLimit(QSize size)
{
    const qint64 bytes = qint64(size.width()) * qint64(size.height()) * 4;
    return bytes > (qint64(kPictureAllocationLimitMB) << 20);
}

QSize previewSizeOf(QSize full, int divisor)
{
    return {roundHalfEven(double(full.width()) / divisor),
            roundHalfEven(double(full.height()) / divisor)};
}

int divisorFor(QSize full, const Screen &screen)
{
    return previewDivisor(static_cast<float>(full.width()), static_cast<float>(full.height()),
                          screen);
}

// The size the JPEG plugin really decodes at when asked for `scaled`: libjpeg
// scales by M/8, and the plugin takes the smallest M that gives at least the
// requested size, then shrinks the rest of the way itself. That intermediate
// image is the one the allocation limit applies to, so it is what we check.
QSize jpegDecodeSize(QSize stored, QSize scaled)
{
    const double f = std::min(double(stored.width()) / scaled.width(),
                              double(stored.height()) / scaled.height());
    const qint64 m = std::clamp<qint64>(static_cast<qint64>(std::ceil(8 / f)), 1, 8);
    const auto scaledSide = [m](int side) { return int((qint64(side) * m + 7) / 8); };
    return {scaledSide(stored.width()), scaledSide(stored.height())};
}

// An unsigned little-endian number of `bytes` bytes at `at`; the caller has
// checked the length.
quint32 littleEndian(const QByteArray &data, int at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | uchar(data.at(at + i));
    return value;
}

// A GIF's logical screen size straight from its header. Qt's GIF handler
// reports an invalid size (or 1 x 1) for screens it will not decode, such as
// 65535 x 65535, which would otherwise surface as "corrupt".
QSize gifScreenSize(const QByteArray &head)
{
    if (head.size() < 10 || !(head.startsWith("GIF87a") || head.startsWith("GIF89a")))
        return {};
    return {int(littleEndian(head, 6, 2)), int(littleEndian(head, 8, 2))};
}

// The size a BMP header declares, top-down files counted upright. Qt's BMP
// reader rejects headers declaring more than it will ever decode as if they
// were broken; this lets us say "too large" instead.
QSize bmpDeclaredSize(const QByteArray &head)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return {};
    if (littleEndian(head, 14, 4) == 12) // OS/2 1.x core header
        return {int(littleEndian(head, 18, 2)), int(littleEndian(head, 20, 2))};
    const auto w = static_cast<qint32>(littleEndian(head, 18, 4));
    const auto h = static_cast<qint32>(littleEndian(head, 22, 4));
    if (w <= 0 || h == 0 || h == INT_MIN)
        return {};
    return {w, h < 0 ? -h : h};
}

// --- Why there is no picture ----------------------------------------------------

struct JpegFrame {
    int marker = 0;
    int precision = 0;
    int height = 0;
};

// Walks the JPEG segments up to the frame header (SOFn). Stops at the first
// scan, at anything that is not a marker, or at the end of the file.
std::optional<JpegFrame> findJpegFrame(QIODevice &device)
{
    if (!device.seek(2)) // past SOI
        return std::nullopt;
    for (int segments = 0; segments < 10000; ++segments) {
        char c = 0;
        if (!device.getChar(&c) || uchar(c) != 0xFF)
            return std::nullopt;
        do {
            if (!device.getChar(&c))
                return std::nullopt;
        } while (uchar(c) == 0xFF); // fill bytes
        const int marker = uchar(c);
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt; // end of image, or a scan before any frame header
        const QByteArray lengthBytes = device.read(2);
        if (lengthBytes.size() != 2)
            return std::nullopt;
        const int length = (int(uchar(lengthBytes[0])) << 8) | int(uchar(lengthBytes[1]));
        if (length < 2)
            return std::nullopt;
        const bool frameHeader = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                                  marker != 0xC8 && marker != 0xCC) ||
                                 marker == 0xF7; // SOF55, JPEG-LS
        if (frameHeader) {
            const QByteArray sof = device.read(3);
            if (sof.size() != 3)
                return std::nullopt;
            return JpegFrame{marker, uchar(sof[0]), (int(uchar(sof[1])) << 8) | uchar(sof[2])};
        }
        if (!device.seek(device.pos() + length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

// libjpeg as shipped decodes 8-bit baseline, extended and progressive frames,
// Huffman or arithmetic, with the height in the frame header. Lossless,
// hierarchical, JPEG-LS, 12-bit and height-in-DNL files are valid JPEGs it
// cannot read; the player should hear that rather than "corrupt".
bool isDecodableJpegFrame(const JpegFrame &frame)
{
    const bool process = frame.marker == 0xC0 || frame.marker == 0xC1 || frame.marker == 0xC2 ||
                         frame.marker == 0xC9 || frame.marker == 0xCA;
    return process && frame.precision == 8 && frame.height > 0;
}

// Called when nothing could be decoded: looks at the file's first bytes to
// give the player the most truthful reason we can.
QString whyNoPicture(QFile &file)
{
    if (!file.seek(0))
        return readFailed();
    const QByteArray head = file.read(26);
    if (head.startsWith("\xFF\xD8")) {
        const std::optional<JpegFrame> frame = findJpegFrame(file);
        return frame && !isDecodableJpegFrame(*frame) ? unsupportedJpeg() : corrupt();
    }
    for (const QSize declared : {gifScreenSize(head), bmpDeclaredSize(head)}) {
        if (declared.width() > 0 && declared.height() > 0 && exceedsAllocationLimit(declared))
            return tooLarge(declared);
    }
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a") ||
        head.startsWith("\x89PNG\r\n\x1A\n"))
        return corrupt();
    // Qt's BMP reader refuses both valid variants it does not implement (2 bpp,
    // Huffman, RLE24, embedded JPEG or PNG, 64 bpp) and broken headers without
    // telling which, so neither do we.
    if (head.startsWith("BM"))
        return unreadableBmp();
    return notAPicture();
}

// Formats are recognised by content, whatever the file is called: a PNG
// renamed .jpg, or a BMP renamed .gif, opens as what it really is. PNG is taken
// too because it is built into Qt and common in renamed downloads. Everything
// else an installed plugin could read (TGA, WBMP, TIFF, ...) is refused: some of
// those have weak signatures that random data can match.
bool isAcceptedFormat(const QByteArray &format)
{
    return format == "bmp" || format == "gif" || format == "jpeg" || format == "jpg" ||
           format == "png";
}

// --- Normalising ----------------------------------------------------------------

// Flattens any decoded format onto an opaque black background as RGB32, so the
// board never sees holes: transparent GIF pixels, alpha in 32-bit BMPs and
// out-of-range palette indices all become (or stay) opaque.
QImage opaqueRgb32(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return flat;
    flat.fill(Qt::black);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

// RGB32 promises an alpha byte of 0xFF, but Qt's GIF reader leaves 0 where a
// frame has no pixel (a cut file, codes past the end of the colour table).
// Anything that later reinterprets the preview with alpha would see holes.
void forceOpaque(QImage &rgb32)
{
    for (int y = 0; y < rgb32.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(rgb32.scanLine(y));
        for (int x = 0; x < rgb32.width(); ++x)
            line[x] |= 0xFF000000u;
    }
}

} // namespace

PictureLoadResult loadPicture(const QString &path, const Screen &screen)
{
    QFile file;
    if (const QString why = openRegularFile(path, file); !why.isEmpty())
        return failure(why);

    // The limit is process-wide and its default differs between Qt releases,
    // so set it on every load rather than trusting whoever ran before us.
    QImageReader::setAllocationLimit(kPictureAllocationLimitMB);

    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true); // never guess from the file name
    reader.setAutoTransform(true);           // honour the JPEG orientation tag
    reader.setQuality(100);                  // accurate DCT and smooth JPEG scaling

    const QByteArray format = reader.format();
    if (!isAcceptedFormat(format))
        return failure(whyNoPicture(file));
    const bool isJpeg = format == "jpeg" || format == "jpg";

    // The size in the file as stored, before any orientation tag is applied.
    // It can be missing, negative (top-down BMP) or a lie (Qt says 1 x 1 for
    // some GIF screens it will not decode), so it only serves to refuse early
    // and to choose a JPEG decode size; the decoded image has the last word.
    QSize stored = reader.size();
    if (format == "bmp" && stored.height() < 0 && stored.height() != INT_MIN)
        stored.setHeight(-stored.height());
    const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const auto upright = [turned](QSize s) { return turned ? s.transposed() : s; };

    bool scaledDecode = false;
    if (stored.width() > 0 && stored.height() > 0) {
        const QSize full = upright(stored);
        const int divisor = divisorFor(full, screen);
        const QSize preview = previewSizeOf(full, divisor);
        if (preview.isEmpty())
            return failure(tooSmall(full));
        QSize decoded = stored;
        if (isJpeg && divisor > 1) {
            // libjpeg can shrink while decoding, which is far faster and keeps
            // a 48-megapixel photo inside the limit. The reader rotates after
            // scaling, so the size is given the way the file stores it.
            const QSize scaled = upright(preview); // transposing back and forth is the same
            decoded = jpegDecodeSize(stored, scaled);
            reader.setScaledSize(scaled);
            scaledDecode = true;
        }
        if (exceedsAllocationLimit(decoded))
            return failure(tooLarge(full));
    }

    QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::DeviceError)
            return failure(readFailed());
        return failure(whyNoPicture(file));
    }

    // A truncated file still decodes (missing rows black or grey); that is a
    // picture, and the player can judge it.
    const QSize full = scaledDecode ? upright(stored) : image.size();
    const int divisor = divisorFor(full, screen);
    const QSize previewSize = previewSizeOf(full, divisor);
    if (previewSize.isEmpty())
        return failure(tooSmall(full));
    // Only reachable when QT_IMAGEIO_MAXALLOC loosened Qt's own check and the
    // size was not known in advance: keep the game's limit the same anyway.
    if (!scaledDecode && exceedsAllocationLimit(full))
        return failure(tooLarge(full));

    QImage preview = opaqueRgb32(image);
    image = QImage(); // free the decoded copy before scaling
    if (!preview.isNull() && preview.size() != previewSize)
        preview = preview.scaled(previewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!preview.isNull() && preview.format() != QImage::Format_RGB32)
        preview = preview.convertToFormat(QImage::Format_RGB32);
    if (preview.isNull())
        return failure(outOfMemory());
    forceOpaque(preview);

    PictureLoadResult result;
    result.ok = true;
    result.picture.fullSize = full;
    result.picture.divisor = divisor;
    result.picture.preview = preview;
    return result;
}

} // namespace mok
