#include "hostile_files.h"

#include "jpegwriter.h"
#include "modern_files.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}
#include <zlib.h>

namespace hostile {

namespace {

int firstFrameHeader(const QByteArray &jpeg)
{
    for (int i = 2; i + 9 < jpeg.size(); ++i) {
        const int m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
            return i;
    }
    qFatal("test JPEG has no frame header");
}

// Compresses a grey picture with libjpeg, for what Qt's writer cannot make:
// arithmetic coding and hand-written scan scripts.
QByteArray compressGrey(const QImage &grey, bool arithmetic, const jpeg_scan_info *scans,
                        int scanCount)
{
    JpegWriter jpeg(grey.width(), grey.height(), 1, JCS_GRAYSCALE);
    jpeg.cinfo.arith_code = arithmetic ? TRUE : FALSE;
    if (scans) {
        jpeg.cinfo.scan_info = scans;
        jpeg.cinfo.num_scans = scanCount;
        jpeg.cinfo.optimize_coding = TRUE;
    }
    return jpeg.write([&](int y) { return const_cast<uchar *>(grey.constScanLine(y)); });
}

// Offset of the first marker at or after `from` that is not inside entropy
// coded data (0xFF 0x00 is a stuffed byte, RSTn belong to the data).
int nextMarker(const QByteArray &jpeg, int from)
{
    for (int i = from; i + 1 < jpeg.size(); ++i) {
        const int m = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && m != 0 && m != 0xFF && !(m >= 0xD0 && m <= 0xD7))
            return i;
    }
    return -1;
}

QByteArray pngChunk(const char *type, const QByteArray &body)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), chunk.data());
    const QByteArray typed = QByteArray(type, 4) + body;
    chunk += typed;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))),
        crc.data());
    return chunk + crc;
}

// A zlib stream of `megabytes` MB of zeros; run-length deflate keeps it quick.
QByteArray zeroBomb(int megabytes)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15, 9, Z_RLE);
    const std::vector<Bytef> zeros(1 << 20, 0);
    QByteArray out;
    std::vector<Bytef> buffer(1 << 16);
    for (int i = 0; i < megabytes; ++i) {
        z.next_in = const_cast<Bytef *>(zeros.data());
        z.avail_in = uInt(zeros.size());
        const int flush = i + 1 == megabytes ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            out.append(reinterpret_cast<const char *>(buffer.data()),
                       qsizetype(buffer.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    return out;
}

} // namespace

QByteArray encode(const QImage &image, const char *format, bool progressive)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a %s test picture", format);
    return buffer.data();
}

QByteArray withJpegFrameSize(QByteArray jpeg, int width, int height)
{
    const int sof = firstFrameHeader(jpeg);
    qToBigEndian<quint16>(quint16(height), jpeg.data() + sof + 5);
    qToBigEndian<quint16>(quint16(width), jpeg.data() + sof + 7);
    return jpeg;
}

QByteArray withJpegPrecision(QByteArray jpeg, int precision)
{
    jpeg[firstFrameHeader(jpeg) + 4] = char(precision);
    return jpeg;
}

QByteArray progressiveJpegDeclaring(int width, int height)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    return withJpegFrameSize(encode(picture, "jpeg", true), width, height);
}

QByteArray arithmeticJpegDeclaring(int width, int height)
{
    QImage grey(16, 16, QImage::Format_Grayscale8);
    grey.fill(90);
    return withJpegFrameSize(compressGrey(grey, true, nullptr, 0), width, height);
}

QByteArray jpegWithRepeatedScans(int side, int repeats)
{
    QImage grey(side, side, QImage::Format_Grayscale8);
    grey.fill(128);
    // DC first, then every AC coefficient in one scan with no successive
    // approximation: a scan libjpeg accepts again and again without warning.
    static const jpeg_scan_info scans[] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};
    const QByteArray jpeg = compressGrey(grey, false, scans, 2);
    const int firstScan = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const int lastScanStart = nextMarker(jpeg, firstScan + 2 + 8); // its DHT
    const int end = jpeg.lastIndexOf(QByteArray("\xFF\xD9", 2));
    if (firstScan < 0 || lastScanStart < 0 || end < lastScanStart)
        qFatal("unexpected layout of the scan test JPEG");
    const QByteArray lastScan = jpeg.mid(lastScanStart, end - lastScanStart);
    QByteArray out = jpeg.left(lastScanStart);
    out.reserve(out.size() + lastScan.size() * repeats + 2);
    for (int i = 0; i < repeats; ++i)
        out += lastScan;
    return out + QByteArray("\xFF\xD9", 2);
}

QByteArray pngWithTextBomb(int chunks, int inflatedMB, bool itxt)
{
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    const QByteArray png = encode(picture, "png");
    const QByteArray bomb = zeroBomb(inflatedMB);
    // zTXt: keyword, NUL, method 0. iTXt: keyword, NUL, compressed, method 0,
    // empty language and translated keyword.
    const QByteArray head =
        itxt ? QByteArray("Comment\0\1\0\0\0", 12) : QByteArray("Comment\0\0", 9);
    QByteArray chunksBytes;
    for (int i = 0; i < chunks; ++i)
        chunksBytes += pngChunk(itxt ? "iTXt" : "zTXt", head + bomb);
    const int afterIhdr = 8 + 8 + 13 + 4;
    return png.left(afterIhdr) + chunksBytes + png.mid(afterIhdr);
}

QByteArray storedPng(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::fill_n(picture.scanLine(y), picture.bytesPerLine(), uchar(y));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(0);
    writer.write(picture);
    return buffer.data();
}

QByteArray deepPngDeclaring(int width, int height)
{
    QImage picture(16, 16, QImage::Format_RGBX64);
    picture.fill(Qt::darkGreen);
    QByteArray png = encode(picture, "png");
    qToBigEndian<quint32>(quint32(width), png.data() + 16);
    qToBigEndian<quint32>(quint32(height), png.data() + 20);
    return png;
}

QByteArray tinyGif(int screenW, int screenH, bool frameFillsScreen)
{
    QByteArray gif("GIF89a");
    QByteArray screen(7, '\0');
    putLE(screen, 0, quint32(screenW), 2);
    putLE(screen, 2, quint32(screenH), 2);
    screen[4] = char(0x80); // a global table of two colours
    gif += screen;
    gif += QByteArray("\x00\x00\x00\xFF\xFF\xFF", 6);
    QByteArray image(10, '\0');
    image[0] = 0x2C;
    putLE(image, 5, quint32(frameFillsScreen ? screenW : 1), 2);
    putLE(image, 7, quint32(frameFillsScreen ? screenH : 1), 2);
    gif += image;
    // Minimum code size 2; codes clear, 0, end packed into two bytes.
    gif += QByteArray("\x02\x02\x44\x01\x00\x3B", 6);
    return gif;
}

QByteArray gifWithPixels(int screenW, int screenH, int frameW, int frameH, qint64 pixels,
                         const QByteArray &extensionBefore)
{
    QByteArray gif("GIF89a");
    QByteArray head(7, '\0');
    putLE(head, 0, quint32(screenW), 2);
    putLE(head, 2, quint32(screenH), 2);
    head[4] = char(0x87); // a global table of 256 colours
    gif += head;
    for (int i = 0; i < 256; ++i)
        gif += QByteArray(1, char(i)) + char(255 - i) + char(i / 2);
    gif += extensionBefore;
    QByteArray image(10, '\0');
    image[0] = 0x2C;
    putLE(image, 5, quint32(frameW), 2);
    putLE(image, 7, quint32(frameH), 2);
    gif += image;
    gif += char(8); // minimum code size
    // One colour, compressed as far as LZW goes: each code stands for one
    // pixel more than the one before, up to 3839 once the table is full.
    QByteArray codes;
    quint32 bits = 0;
    int count = 0;
    int width = 9;
    int decoderNext = 258; // the entry the decoder adds after the next code
    bool first = true;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        for (count += width; count >= 8; count -= 8, bits >>= 8)
            codes += char(bits & 0xFF);
        if (!first && decoderNext < 4096 && ++decoderNext == (1 << width) && width < 12)
            ++width;
        first = false;
    };
    const auto lengthOf = [](int code) { return code == 0 ? 1 : code - 256; };
    put(256);
    first = true;
    put(0);
    qint64 left = pixels - 1;
    for (int ramp = 258; left > 0;) {
        const qint64 run = std::min<qint64>(left, lengthOf(ramp));
        put(run == lengthOf(ramp) ? ramp : run == 1 ? 0 : int(256 + run));
        left -= run;
        ramp = std::min(ramp + 1, 4095);
    }
    put(257);
    if (count > 0)
        codes += char(bits & 0xFF);
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif += char(block.size()) + block;
    }
    return gif + QByteArray("\x00\x3B", 2);
}

QByteArray jpegWithComments(int count)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkMagenta);
    const QByteArray jpeg = encode(picture, "jpeg");
    QByteArray comments;
    comments.reserve(count * 5);
    for (int i = 0; i < count; ++i)
        comments += QByteArray("\xFF\xFE\x00\x03x", 5);
    return jpeg.left(2) + comments + jpeg.mid(2);
}

QByteArray rle8Bmp(const QByteArray &runs, quint32 pixelOffset)
{
    const QList<QRgb> blackAndWhite = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    QByteArray b = handMadeBmp(40, 8, 8, 8, 1 /* RLE8 */, {}, blackAndWhite, runs);
    if (pixelOffset)
        putLE(b, 10, pixelOffset, 4);
    return b;
}

QByteArray bmpWithMasks(quint32 red, quint32 green, quint32 blue)
{
    QByteArray b = bmpDeclaring(4, 4, 12 + 4 * 4 * 4);
    putLE(b, 10, 54 + 12, 4); // the masks follow the header
    putLE(b, 28, 32, 2);
    putLE(b, 30, 3, 4); // bit fields
    putLE(b, 54, red, 4);
    putLE(b, 58, green, 4);
    putLE(b, 62, blue, 4);
    return b;
}

namespace {

QImage flatPicture(int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::darkMagenta);
    return picture;
}

} // namespace

QByteArray heifDeclaring(int width, int height)
{
    QByteArray heif = modern::encodeHeif(flatPicture(64), modern::Codec::Hevc, 50);
    // type, version and flags, then the width and the height
    for (int at = heif.indexOf("ispe"); at >= 0; at = heif.indexOf("ispe", at + 4)) {
        qToBigEndian<quint32>(quint32(width), heif.data() + at + 8);
        qToBigEndian<quint32>(quint32(height), heif.data() + at + 12);
    }
    return heif;
}

QByteArray avifWithBrokenStream()
{
    QByteArray avif = modern::encodeHeif(flatPicture(64), modern::Codec::Av1, 50);
    const int mdat = avif.indexOf("mdat");
    if (mdat < 4)
        qFatal("test AVIF has no media data box");
    // An OBU header with its forbidden bit set, over and over.
    for (int i = mdat + 4; i < avif.size(); ++i)
        avif[i] = char(0xFF);
    return avif;
}

QByteArray webpDeclaring(int width, int height)
{
    QByteArray webp = modern::encodeWebp(flatPicture(16), 50);
    // RIFF header, "VP8 " chunk header, the frame tag and the start code.
    if (webp.mid(12, 4) != "VP8 " || webp.mid(23, 3) != "\x9D\x01\x2A")
        qFatal("test WebP is not a simple lossy file");
    putLE(webp, 26, quint32(width & 0x3FFF), 2);
    putLE(webp, 28, quint32(height & 0x3FFF), 2);
    return webp;
}

QByteArray losslessWebpDeclaring(int width, int height)
{
    // A stream whose five codes are each one symbol of no length: every
    // pixel costs no bits. After the signature byte 0x2F come the width and
    // height less one in 14 bits each.
    QByteArray webp = QByteArray::fromHex("524946461a000000574542505650384c0d0000002f00000000"
                                          "2850010bdcff020000");
    const quint32 sizes = quint32(width - 1) | quint32(height - 1) << 14 | 1u << 28; // alpha
    putLE(webp, 21, sizes, 4);
    return webp;
}

QByteArray animatedWebp()
{
    // VP8X with the animation flag and a canvas of 16383 x 16383, ANIM, then
    // one ANMF of 16 x 16 holding a stream like the one above.
    return QByteArray::fromHex("524946465200000057454250565038580a00000012000000fe3f00fe3f00"
                               "414e494d06000000000000000000414e4d46260000000000000000000f00"
                               "000f0000640000005650384c0d0000002f0fc003102850010bdcff020000");
}

} // namespace hostile
