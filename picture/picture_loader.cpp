#include "picture_loader.h"

#include "bmp_reader.h"
#include "gif_reader.h"
#include "heif_reader.h"
#include "jpeg_reader.h"
#include "load_limits.h"
#include "modern_readers.h"
#include "preview.h"
#include "qt_readers.h"
#include "reasons.h"
#include "source_file.h"
#include "webp_reader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <mutex>

namespace mok::picture {

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

int divisorFor(QSize full, const Screen &screen)
{
    return previewDivisor(static_cast<float>(full.width()), static_cast<float>(full.height()),
                          screen);
}

Decoded decode(QFile &file, const Screen &screen, double devicePixelRatio)
{
    const QByteArray head = file.peek(64); // enough for a HEIF's brands
    const picture::PreviewSizer previewSize = [&screen, devicePixelRatio](QSize full) {
        return devicePreviewSize(full, divisorFor(full, screen), devicePixelRatio);
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

// RGB32 promises an alpha byte of 0xFF, but not every decoder keeps that
// promise (Qt's GIF reader left 0 where a frame had no pixel). Anything that
// later reinterprets the preview with alpha would see holes.
void forceOpaque(QImage &rgb32)
{
    const int width = rgb32.width();
    for (int y = 0; y < rgb32.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(rgb32.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] |= 0xFF000000u;
    }
}

// Flattens any decoded format onto a black background as RGB32 (the alpha
// bytes are made opaque once the picture has its final size). Premultiplied
// colour is the colour over black, so a picture with alpha is converted in
// place rather than painted onto a second full-size copy.
void flattenToRgb32(QImage &image)
{
    if (image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
        if (!image.reinterpretAsFormat(QImage::Format_RGB32))
            image = QImage();
    } else {
        image.convertTo(QImage::Format_RGB32);
    }
}

PictureLoadResult failure(const QString &why)
{
    PictureLoadResult result;
    result.error = why;
    return result;
}

} // namespace

QSize devicePreviewSize(QSize full, int divisor, double devicePixelRatio)
{
    return {roundHalfEven(double(full.width()) / divisor * devicePixelRatio),
            roundHalfEven(double(full.height()) / divisor * devicePixelRatio)};
}

PreviewGeometry previewGeometry(QSize fullSize, const Screen &screen, double devicePixelRatio)
{
    PreviewGeometry g;
    g.divisor = divisorFor(fullSize, screen);
    g.size = devicePreviewSize(fullSize, g.divisor, devicePixelRatio);
    return g;
}

void prepareReaders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Process-wide, and its default differs between Qt releases.
        QImageReader::setAllocationLimit(int(picture::kMaxDecodedBytes >> 20));
        // Qt lists its image handlers, plugins included, on the first read;
        // after that it only looks up the list. Reading one tiny PNG here
        // does that walk of the plugin folders while files may be opened.
        QBuffer tiny;
        QImage(1, 1, QImage::Format_RGB32).save(&tiny, "png");
        tiny.seek(0);
        QImageReader(&tiny, "png").read();
        // libheif and its decoders are loaded, and look for plug-ins, here.
        picture::prepareModernReaders();
    });
}

PictureLoadResult decodePicture(QFile &file, const Screen &screen, double devicePixelRatio)
{
    prepareReaders();
    Decoded decoded = decode(file, screen, devicePixelRatio);
    if (!decoded.error.isEmpty())
        return failure(decoded.error);

    const QSize full = decoded.fullSize;
    const PreviewGeometry geometry = previewGeometry(full, screen, devicePixelRatio);
    const QSize previewSize = geometry.size;
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
    preview.setDevicePixelRatio(devicePixelRatio);

    PictureLoadResult result;
    result.ok = true;
    result.picture.fullSize = full;
    result.picture.divisor = geometry.divisor;
    result.picture.preview = std::move(preview);
    return result;
}

PictureLoadResult loadPicture(const QString &path, const Screen &screen, double devicePixelRatio)
{
    QFile file;
    if (const QString why = picture::openPictureFile(path, file); !why.isEmpty())
        return failure(why);
    return decodePicture(file, screen, devicePixelRatio);
}

} // namespace mok::picture
