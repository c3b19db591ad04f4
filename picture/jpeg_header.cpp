#include "jpeg_header.h"

#include "load_limits.h"

#include <QtEndian>

#include <algorithm>

namespace mok::picture {

namespace {

bool isFrameHeader(int marker)
{
    return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) ||
           marker == 0xF7; // JPEG-LS
}

QImageIOHandler::Transformations fromExif(int value)
{
    switch (value) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

quint16 read16(const uchar *p, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
}

quint32 read32(const uchar *p, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
}

void readFrame(const QByteArray &sof, int marker, JpegHeader &header)
{
    const auto *p = reinterpret_cast<const uchar *>(sof.constData());
    header.frameMarker = marker;
    header.precision = p[0];
    header.height = qFromBigEndian<quint16>(p + 1);
    header.width = qFromBigEndian<quint16>(p + 3);
    header.components = p[5];
    for (int c = 0; c < header.components && 6 + 3 * c + 2 < sof.size(); ++c) {
        const int sampling = p[6 + 3 * c + 1];
        header.maxHSampling = std::max(header.maxHSampling, std::clamp(sampling >> 4, 1, 4));
        header.maxVSampling = std::max(header.maxVSampling, std::clamp(sampling & 15, 1, 4));
    }
}

} // namespace

bool JpegHeader::plausible() const
{
    switch (frameMarker) {
    case 0xC0: // baseline
        return precision == 8;
    case 0xC1: // extended, progressive, and their hierarchical and arithmetic kin
    case 0xC2:
    case 0xC5:
    case 0xC6:
    case 0xC9:
    case 0xCA:
    case 0xCD:
    case 0xCE:
        return precision == 8 || precision == 12;
    case 0xC3: // lossless
    case 0xC7:
    case 0xCB:
    case 0xCF:
    case 0xF7:
        return precision >= 2 && precision <= 16;
    default:
        return false;
    }
}

bool JpegHeader::decodable() const
{
    const bool process = frameMarker == 0xC0 || frameMarker == 0xC1 || frameMarker == 0xC2 ||
                         frameMarker == 0xC9 || frameMarker == 0xCA;
    return process && precision == 8 && height > 0;
}

qint64 JpegHeader::minimumCodedUnits() const
{
    const qint64 unitW = 8 * maxHSampling;
    const qint64 unitH = 8 * maxVSampling;
    return ((width + unitW - 1) / unitW) * ((height + unitH - 1) / unitH);
}

QImageIOHandler::Transformations exifOrientation(const QByteArray &exif)
{
    // "Exif\0\0", then a TIFF header: byte order, 42, offset of the first IFD.
    if (exif.size() < 14 || !exif.startsWith(QByteArrayView("Exif\0\0", 6)))
        return QImageIOHandler::TransformationNone;
    const auto *tiff = reinterpret_cast<const uchar *>(exif.constData()) + 6;
    const qint64 size = exif.size() - 6;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return QImageIOHandler::TransformationNone;
    if (read16(tiff + 2, big) != 42)
        return QImageIOHandler::TransformationNone;
    const qint64 ifd = read32(tiff + 4, big);
    if (ifd < 8 || ifd + 2 > size)
        return QImageIOHandler::TransformationNone;
    const int entries = read16(tiff + ifd, big);
    for (int i = 0; i < entries; ++i) {
        const qint64 at = ifd + 2 + 12 * qint64(i);
        if (at + 12 > size)
            break;
        const uchar *entry = tiff + at;
        if (read16(entry, big) != 0x0112) // Orientation
            continue;
        if (read16(entry + 2, big) != 3 || read32(entry + 4, big) != 1) // one SHORT
            return QImageIOHandler::TransformationNone;
        return fromExif(read16(entry + 8, big));
    }
    return QImageIOHandler::TransformationNone;
}

std::optional<JpegHeader> readJpegHeader(QIODevice &device)
{
    if (!device.seek(0) || device.read(2) != QByteArrayView("\xFF\xD8", 2))
        return std::nullopt;
    JpegHeader header;
    bool exifSeen = false;
    // However many segments come first, only so many bytes of them are
    // walked: a comment may be split into as many segments as it likes.
    while (device.pos() < kMaxJpegHeaderBytes) {
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
        const int length = qFromBigEndian<quint16>(lengthBytes.constData());
        if (length < 2)
            return std::nullopt;
        if (isFrameHeader(marker)) {
            const QByteArray sof = device.read(std::min(length - 2, 6 + 3 * 4));
            if (sof.size() < 6)
                return std::nullopt;
            readFrame(sof, marker, header);
            return header;
        }
        if (marker == 0xE1 && !exifSeen) {
            // Only the first Exif block counts; a segment is at most 64 KB.
            const QByteArray body = device.read(length - 2);
            if (body.startsWith(QByteArrayView("Exif\0\0", 6))) {
                header.orientation = exifOrientation(body);
                exifSeen = true;
            }
            continue;
        }
        if (!device.seek(device.pos() + length - 2))
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace mok::picture
