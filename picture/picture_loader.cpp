#include "picture_loader.h"

#include "heif_reader.h"
#include "jpeg_reader.h"
#include "preview.h"
#include "qt_readers.h"
#include "reasons.h"
#include "source_file.h"
#include "webp_reader.h"

#include <QFile>

namespace mok {

namespace {

using picture::Decoded;

enum class Format { Unknown, Jpeg, Gif, Bmp, Png, Webp, Heif };

// Formats are recognised by content, whatever the file is called: a PNG
// renamed .jpg, or a BMP renamed .gif, opens as what it really is. PNG is
// taken too because it is common in renamed downloads.
Format formatOf(const QByteArray &head)
{
    if (head.startsWith("\xFF\xD8"))
        return Format::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return Format::Gif;
    if (head.startsWith("BM"))
        return Format::Bmp;
    if (head.startsWith("\x89PNG\r\n\x1A\n"))
        return Format::Png;
    if (picture::isWebpFile(head))
        return Format::Webp;
    if (picture::isHeifFile(head))
        return Format::Heif;
    return Format::Unknown;
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

Decoded decode(QFile &file, const Screen &screen)
{
    const QByteArray head = file.peek(64); // enough for a HEIF's brands
    const picture::PreviewSizer previewSize = [&screen](QSize full) {
        return previewSizeOf(full, divisorFor(full, screen));
    };
    switch (formatOf(head)) {
    case Format::Jpeg:
        return picture::readJpeg(file, previewSize);
    case Format::Gif:
        return picture::readGif(file);
    case Format::Bmp:
        return picture::readBmp(file);
    case Format::Png:
        return picture::readPng(file);
    case Format::Webp:
        return picture::readWebp(file, previewSize);
    case Format::Heif:
        return picture::readHeif(file, previewSize);
    case Format::Unknown:
        break;
    }
    return picture::refused(picture::reason::notAPicture());
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

// Flattens any decoded format onto an opaque black background as RGB32, so
// the board never sees holes. Premultiplied colour is the colour over black,
// so a picture with alpha is converted in place rather than painted onto a
// second full-size copy.
void flattenToRgb32(QImage &image)
{
    if (image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
        if (!image.reinterpretAsFormat(QImage::Format_RGB32))
            image = QImage();
    } else {
        image.convertTo(QImage::Format_RGB32);
    }
    forceOpaque(image);
}

PictureLoadResult failure(const QString &why)
{
    PictureLoadResult result;
    result.error = why;
    return result;
}

} // namespace

PictureLoadResult loadPicture(const QString &path, const Screen &screen)
{
    QFile file;
    if (const QString why = picture::openPictureFile(path, file); !why.isEmpty())
        return failure(why);
    Decoded decoded = decode(file, screen);
    if (!decoded.error.isEmpty())
        return failure(decoded.error);

    const QSize full = decoded.fullSize;
    const int divisor = divisorFor(full, screen);
    const QSize previewSize = previewSizeOf(full, divisor);
    if (previewSize.isEmpty())
        return failure(picture::reason::tooSmall(full));

    QImage preview = std::move(decoded.image);
    flattenToRgb32(preview);
    if (!preview.isNull() && preview.size() != previewSize)
        preview = preview.scaled(previewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!preview.isNull() && preview.format() != QImage::Format_RGB32)
        preview.convertTo(QImage::Format_RGB32);
    if (preview.isNull())
        return failure(picture::reason::outOfMemory());
    forceOpaque(preview);

    PictureLoadResult result;
    result.ok = true;
    result.picture.fullSize = full;
    result.picture.divisor = divisor;
    result.picture.preview = std::move(preview);
    return result;
}

} // namespace mok
