// Loading the player's picture: the public decoder suites, odd files and
// damaged files, and the shrinking for the board.
#include "filebytes.h"
#include "jpegwriter.h"
#include "loadpicture.h"
#include "modern_files.h"
#include "preview.h"
#include "reasons.h"

#include <QtTest>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

using mok::Screen;
using mok::picture::PictureLoadResult;

namespace {

const Screen kScreen = Screen::fromPixels(1024, 768); // room 819.2 x 614.4 pixels

// What a file must do. The suites only promise so much: their "bad" files
// must not crash us, and Qt decodes some of them anyway.
enum Expect { MustLoad, MustRefuse, Either };

QString dataDir()
{
    return QStringLiteral(MOK_TESTDATA_DIR);
}

// The promises every loaded picture keeps, or the first one broken.
QString brokenPromise(const PictureLoadResult &r)
{
    if (!r.ok)
        return QStringLiteral("refused: ") + r.error;
    if (!r.error.isEmpty())
        return QStringLiteral("ok but with an error text");
    const QSize full = r.picture.fullSize;
    const QImage &p = r.picture.preview;
    if (full.width() <= 0 || full.height() <= 0)
        return QStringLiteral("no full size");
    if (r.picture.divisor != mok::previewDivisor(full.width(), full.height(), kScreen))
        return QStringLiteral("divisor %1 not chosen from the full size").arg(r.picture.divisor);
    const int d = r.picture.divisor;
    const double ratio = p.devicePixelRatio();
    const QSize expected(mok::roundHalfEven(double(full.width()) / d * ratio),
                         mok::roundHalfEven(double(full.height()) / d * ratio));
    if (p.isNull() || p.size() != expected)
        return QStringLiteral("preview %1x%2, expected %3x%4")
            .arg(p.width())
            .arg(p.height())
            .arg(expected.width())
            .arg(expected.height());
    if (p.format() != QImage::Format_RGB32)
        return QStringLiteral("preview format %1").arg(int(p.format()));
    for (int y = 0; y < p.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(p.constScanLine(y));
        for (int x = 0; x < p.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return QStringLiteral("pixel %1,%2 not opaque").arg(x).arg(y);
        }
    }
    return {};
}

// Loads and checks what every outcome must satisfy; the caller returns when
// QTest::currentTestFailed().
PictureLoadResult checkOutcome(const QString &path, int expect)
{
    const PictureLoadResult r = loadPicture(path, kScreen);
    const QString broken = r.ok ? brokenPromise(r) : QString();
    if (!broken.isEmpty())
        QTest::qFail(qPrintable(broken), __FILE__, __LINE__);
    else if (!r.ok && r.error.isEmpty())
        QTest::qFail("refused without a reason", __FILE__, __LINE__);
    else if (expect == MustLoad && !r.ok)
        QTest::qFail(qPrintable(r.error), __FILE__, __LINE__);
    else if (expect == MustRefuse && r.ok)
        QTest::qFail("a picture the decoder cannot read was accepted", __FILE__, __LINE__);
    return r;
}

// A colour channel is "near" when JPEG rounding could explain the difference.
bool near(int a, int b)
{
    return qAbs(a - b) <= 40;
}
bool isRed(QRgb c)
{
    return near(qRed(c), 255) && near(qGreen(c), 0) && near(qBlue(c), 0);
}
bool isBlue(QRgb c)
{
    return near(qRed(c), 0) && near(qGreen(c), 0) && near(qBlue(c), 255);
}

QByteArray encode(const QImage &image, const char *format, int quality = -1,
                  bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a %s test picture", format);
    return buffer.data();
}

// Left half red, right half blue: which way up a picture came out is visible.
QImage halves(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    }
    return image;
}

// Offset of the first JPEG marker `code` (the 0xFF byte), or -1.
int jpegMarker(const QByteArray &jpeg, uchar code)
{
    for (int i = 2; i + 1 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == code)
            return i;
    }
    return -1;
}

// Writes an Exif orientation tag right after SOI.
QByteArray withOrientation(QByteArray jpeg, int orientation)
{
    QByteArray app1("\xFF\xE1", 2);
    QByteArray body("Exif\0\0MM\0\x2A\0\0\0\x08", 14); // big-endian TIFF, IFD at 8
    body += QByteArray("\0\x01", 2);                   // one entry
    body += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, count 1
    body += char(0);
    body += char(orientation);
    body += QByteArray(2, '\0');
    body += QByteArray(4, '\0'); // no next IFD
    const int length = body.size() + 2;
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    return jpeg.insert(2, QByteArray(app1 + body));
}

// A JPEG stored in `space`, which Qt cannot write: CMYK as Adobe
// applications write it (inverted inks, which libjpeg marks as theirs), the
// picture's red, green and blue as three inks and a fourth that changes along
// the diagonals; or RGB kept as RGB rather than turned to YCbCr.
QByteArray jpegStoredAs(const QImage &picture, J_COLOR_SPACE space)
{
    JpegWriter jpeg(picture.width(), picture.height(), space == JCS_CMYK ? 4 : 3, space);
    jpeg_set_colorspace(&jpeg.cinfo, space);
    std::vector<JSAMPLE> row(std::size_t(picture.width()) * 4);
    return jpeg.write([&](int y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        JSAMPLE *samples = row.data();
        for (int x = 0; x < picture.width(); ++x) {
            *samples++ = JSAMPLE(qRed(line[x]));
            *samples++ = JSAMPLE(qGreen(line[x]));
            *samples++ = JSAMPLE(qBlue(line[x]));
            if (space == JCS_CMYK)
                *samples++ = JSAMPLE(128 + (x + y) % 128);
        }
        return row.data();
    });
}

// The size libjpeg decodes a picture of `size` at on its way to `wanted`:
// M/8 of it, with the smallest M that still gives at least `wanted`.
QSize libjpegScaled(QSize size, QSize wanted)
{
    const double f =
        std::min(double(size.width()) / wanted.width(), double(size.height()) / wanted.height());
    const int m = std::clamp(int(std::ceil(8 / f)), 1, 8);
    return {(size.width() * m + 7) / 8, (size.height() * m + 7) / 8};
}

// Qt's own reader asked for a JPEG at `size`. A grey picture is shrunk as a
// colour one is, by area; Qt's reader would interpolate the last step of a
// grey one, so it is asked only for libjpeg's part of the way, and the rest
// is Qt's smooth scale of the same pixels in colour.
QImage readByQt(const QString &path, QSize size)
{
    QImageReader qt(path, "jpeg");
    qt.setAutoTransform(true);
    qt.setQuality(100);
    const bool turned = qt.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const QSize stored = turned ? size.transposed() : size;
    const bool grey = QImageReader(path, "jpeg").read().format() == QImage::Format_Grayscale8;
    qt.setScaledSize(grey ? libjpegScaled(qt.size(), stored) : stored);
    const QImage image = qt.read().convertToFormat(QImage::Format_RGB32);
    return grey ? image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : image;
}

// A CMYK JPEG as the board must show it, written out because Qt's reader
// changed its mind (Qt 6.8 scales the inks before it turns them to RGB):
// libjpeg shrinks it by M/8 with the smallest M that still covers `size`,
// each pixel's inverted inks become k * c / 255 as Adobe's CMYK means, and
// Qt's smooth scale takes it the rest of the way.
QImage inksTurnedToRgb(const QString &path, QSize size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    const double f = std::min(double(cinfo.image_width) / size.width(),
                              double(cinfo.image_height) / size.height());
    cinfo.scale_num = JDIMENSION(std::clamp(int(std::ceil(8 / f)), 1, 8));
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    QImage rgb(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
    std::vector<JSAMPLE> row(std::size_t(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        auto *out = reinterpret_cast<QRgb *>(rgb.scanLine(int(cinfo.output_scanline)));
        JSAMPROW in = row.data();
        jpeg_read_scanlines(&cinfo, &in, 1);
        for (std::size_t x = 0; x < cinfo.output_width; ++x, in += 4)
            out[x] = qRgb(in[3] * in[0] / 255, in[3] * in[1] / 255, in[3] * in[2] / 255);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rgb.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// What the loader makes of a JPEG against `reference` asked for the same
// size: empty when they agree to the pixel.
QString differenceFrom(QImage (*reference)(const QString &, QSize), const QString &path,
                       double devicePixelRatio = 1.0)
{
    const PictureLoadResult r = loadPicture(path, kScreen, devicePixelRatio);
    if (const QString broken = brokenPromise(r); !broken.isEmpty())
        return broken;
    const QSize preview = r.picture.preview.size();
    const QImage expected = reference(path, preview);
    if (expected.size() != preview)
        return QStringLiteral("the reference is %1x%2")
            .arg(expected.width())
            .arg(expected.height());
    if (r.picture.preview != expected)
        return QStringLiteral("the pixels differ from the reference");
    return {};
}

QString differenceFromQtsReader(const QString &path, double devicePixelRatio = 1.0)
{
    return differenceFrom(readByQt, path, devicePixelRatio);
}

QByteArray withFrameSize(QByteArray jpeg, int w, int h)
{
    const int sof = jpegMarker(jpeg, 0xC0);
    if (sof < 0)
        qFatal("test JPEG has no SOF0");
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h & 0xFF);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w & 0xFF);
    return jpeg;
}

// A GIF whose first frame holds `indices` in the order given (a row after
// another, or pass after pass when interlaced), as nine-bit literal codes,
// over a colour table where index i is (i, 255 - i, 0).
QByteArray handMadeGif(QSize screen, QRect frame, bool interlaced, const QList<int> &indices,
                       int background = 0, int transparent = -1)
{
    QByteArray g("GIF89a");
    QByteArray head(7, '\0');
    putLE(head, 0, quint32(screen.width()), 2);
    putLE(head, 2, quint32(screen.height()), 2);
    head[4] = char(0x87);
    head[5] = char(background);
    g += head;
    for (int i = 0; i < 256; ++i)
        g += QByteArray(1, char(i)) + char(255 - i) + char(0);
    if (transparent >= 0)
        g += QByteArray("\x21\xF9\x04\x01\x00\x00", 6) + char(transparent) + '\0';
    QByteArray image(10, '\0');
    image[0] = 0x2C;
    putLE(image, 1, quint32(frame.left()), 2);
    putLE(image, 3, quint32(frame.top()), 2);
    putLE(image, 5, quint32(frame.width()), 2);
    putLE(image, 7, quint32(frame.height()), 2);
    image[9] = char(interlaced ? 0x40 : 0);
    g += image + char(8);
    QByteArray codes;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8)
            codes += char(bits & 0xFF);
    };
    for (int i = 0; i < indices.size(); ++i) {
        if (i % 254 == 0)
            put(256); // clear before the codes would grow to ten bits
        put(indices[i]);
    }
    put(257);
    codes += char(bits & 0xFF);
    for (qsizetype at = 0; at < codes.size(); at += 255)
        g += char(codes.mid(at, 255).size()) + codes.mid(at, 255);
    return g + QByteArray("\x00\x3B", 2);
}

QRgb gifColour(int index)
{
    return qRgb(index, 255 - index, 0);
}

// Peak signal-to-noise ratio of two RGB32 pictures of one size, over the
// three colours, in dB.
double psnr(const QImage &a, const QImage &b)
{
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d[3] = {qRed(p[x]) - qRed(q[x]), qGreen(p[x]) - qGreen(q[x]),
                              qBlue(p[x]) - qBlue(q[x])};
            squares += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    }
    const double mse = squares / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Smooth light, slanted texture a few pixels across and a little noise, as
// a photo has; with `alpha`, opaque at the top fading to clear at the
// bottom, and a clear hole in the middle.
QImage scene(QSize size, bool alpha)
{
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double texture =
                14 * std::sin(0.37 * x + 0.11 * y) * std::sin(0.23 * y - 0.05 * x);
            const int noise = int((x * 7919u + y * 104729u) % 13u) - 6;
            const int r = int(128 + 90 * std::sin(x / 37.0) * std::cos(y / 53.0) + texture) + noise;
            const int g = int(128 + 80 * std::sin((x + y) / 71.0) + texture) - noise;
            const int b = int(100 + 60 * std::cos(x / 29.0) + texture) + noise;
            const bool hole = qAbs(x - size.width() / 2) < size.width() / 8 &&
                              qAbs(y - size.height() / 2) < size.height() / 8;
            const int a = alpha ? (hole ? 0 : 255 - 200 * y / size.height()) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

} // namespace

class TestPictureLoader : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    QString write(const QString &name, const QByteArray &bytes);
    QString suiteFile(const QString &relative);

private slots:
    void initTestCase();

    void bmpSuite_data();
    void bmpSuite();
    void gifSuite_data();
    void gifSuite();
    void jpegSuite_data();
    void jpegSuite();

    void bmpPixelsExact();
    void gifPixels_data();
    void gifPixels();
    void handMadePixels_data();
    void handMadePixels();
    void cmykJpegInColour();
    void orientation_data();
    void orientation();
    void bigJpegDecodedSmall();
    void shrunkJpegAsQtDecodesIt_data();
    void shrunkJpegAsQtDecodesIt();
    void previewInDevicePixels_data();
    void previewInDevicePixels();
    void shrunkJpegStoredAsQtDecodesIt_data();
    void shrunkJpegStoredAsQtDecodesIt();
    void jpegOverLimitAtFullSize();
    void modernBoardsMatch_data();
    void modernBoardsMatch();
    void heifTurnedUpright_data();
    void heifTurnedUpright();
    void animatedWebpFirstFrame();

    void everyReasonInTheGamesWords_data();
    void everyReasonInTheGamesWords();
    void refusedFiles_data();
    void refusedFiles();
    void permissionDenied_data();
    void permissionDenied();
    void truncated_data();
    void truncated();
    void tooLarge_data();
    void tooLarge();
    void tinyPictures_data();
    void tinyPictures();
    void tooSmall_data();
    void tooSmall();
    void namesAndContent_data();
    void namesAndContent();
};

QString TestPictureLoader::write(const QString &name, const QByteArray &bytes)
{
    const QString path = tmp.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestPictureLoader::suiteFile(const QString &relative)
{
    const QString path = dataDir() + u'/' + relative;
    if (!QFile::exists(path))
        QTest::qSkip(qPrintable(path + QStringLiteral(" is missing")), __FILE__, __LINE__);
    return path;
}

void TestPictureLoader::initTestCase()
{
    QVERIFY(tmp.isValid());
    // Damaged files are expected here; their decoder warnings are just noise.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const char *format : {"bmp", "gif", "jpeg"})
        QVERIFY2(formats.contains(format), format);
}

// --- The public suites ---------------------------------------------------------

void TestPictureLoader::bmpSuite_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("expect");
    const QDir root(dataDir() + QStringLiteral("/bmpsuite"));
    if (!root.exists())
        QSKIP("bmpsuite is not available");
    // g/ every reader must display; q/ may go either way; b/ must only not
    // crash us; x/ is a different format that merely shares the name.
    const QList<QPair<QString, Expect>> folders = {{QStringLiteral("g"), MustLoad},
                                                   {QStringLiteral("q"), Either},
                                                   {QStringLiteral("b"), Either},
                                                   {QStringLiteral("x"), MustRefuse}};
    for (const auto &[folder, expect] : folders) {
        const QDir dir(root.filePath(folder));
        for (const QString &name : dir.entryList({QStringLiteral("*.bmp")}, QDir::Files))
            QTest::addRow("%s/%s", qPrintable(folder), qPrintable(name))
                << dir.filePath(name) << int(expect);
    }
}

void TestPictureLoader::bmpSuite()
{
    QFETCH(QString, path);
    QFETCH(int, expect);
    checkOutcome(path, expect);
}

void TestPictureLoader::gifSuite_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    const QDir dir(dataDir() + QStringLiteral("/gif-test-suite/test-suite"));
    if (!dir.exists())
        QSKIP("gif-test-suite is not available");
    for (const QString &conf : dir.entryList({QStringLiteral("*.conf")}, QDir::Files)) {
        QFile f(dir.filePath(conf));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QHash<QString, QString> config;
        bool inConfig = false;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.startsWith(u'['))
                inConfig = line == QStringLiteral("[config]");
            const qsizetype eq = line.indexOf(u'=');
            if (inConfig && eq > 0)
                config.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
        // "frames" left empty: the suite wants the file rejected, but some
        // decode in Qt, so all we ask is no crash.
        const bool good = !config.value(QStringLiteral("frames")).isEmpty();
        const QSize size(config.value(QStringLiteral("width")).toInt(),
                         config.value(QStringLiteral("height")).toInt());
        QTest::newRow(qPrintable(conf))
            << dir.filePath(config.value(QStringLiteral("input"))) << (good ? size : QSize());
    }
}

void TestPictureLoader::gifSuite()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const PictureLoadResult r = checkOutcome(path, Either);
    if (QTest::currentTestFailed())
        return;
    // Suite files it wants decoded may still be refused (Qt cannot read the
    // zero-sized images, and 65535 x 1 has no height at 1/5), but what loads
    // has the suite's size.
    if (r.ok && size.isValid())
        QCOMPARE(r.picture.fullSize, size);
}

void TestPictureLoader::jpegSuite_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("decodable");
    QTest::addColumn<QSize>("size");
    const QDir root(dataDir() + QStringLiteral("/jpegsuite/jpeg"));
    if (!root.exists())
        QSKIP("jpegsuite is not available");
    for (const QString &process : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir dir(root.filePath(process));
        for (const QString &json : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile f(dir.filePath(json));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QJsonObject desc = QJsonDocument::fromJson(f.readAll()).object();
            // libjpeg reads 8-bit baseline, extended and progressive frames,
            // Huffman or arithmetic, and wants the height in the frame header.
            bool decodable = false;
            bool dnl = false;
            for (const QJsonValue &v : desc.value(QStringLiteral("segments")).toArray()) {
                const QString type = v.toObject().value(QStringLiteral("type")).toString();
                if (type.startsWith(QStringLiteral("SOF"))) {
                    static const QStringList readable = {
                        QStringLiteral("SOF0"), QStringLiteral("SOF1"), QStringLiteral("SOF2"),
                        QStringLiteral("SOF9"), QStringLiteral("SOF10")};
                    decodable = readable.contains(type) &&
                                v.toObject().value(QStringLiteral("precision")).toInt() == 8;
                }
                dnl = dnl || type == QStringLiteral("DNL");
            }
            const QString name = QFileInfo(json).completeBaseName() + QStringLiteral(".jpg");
            QTest::addRow("%s/%s", qPrintable(process), qPrintable(name))
                << dir.filePath(name) << (decodable && !dnl)
                << QSize(desc.value(QStringLiteral("width")).toInt(),
                         desc.value(QStringLiteral("height")).toInt());
        }
    }
}

void TestPictureLoader::jpegSuite()
{
    QFETCH(QString, path);
    QFETCH(bool, decodable);
    QFETCH(QSize, size);
    const PictureLoadResult r = checkOutcome(path, decodable ? MustLoad : MustRefuse);
    if (QTest::currentTestFailed())
        return;
    if (decodable)
        QCOMPARE(r.picture.fullSize, size);
    else // a valid JPEG of a kind we cannot read is not "corrupt"
        QVERIFY2(r.error.contains(QStringLiteral(u"対応していません")), qPrintable(r.error));
}

// --- Pixels --------------------------------------------------------------------

// g/rgb24.bmp is plain enough to read by hand: bottom-up rows of B, G, R,
// padded to four bytes.
void TestPictureLoader::bmpPixelsExact()
{
    QFile f(suiteFile(QStringLiteral("bmpsuite/g/rgb24.bmp")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    const int offset = int(getLE(b, 10, 4)), w = int(getLE(b, 18, 4)), h = int(getLE(b, 22, 4));
    const int stride = (w * 3 + 3) / 4 * 4;
    QVERIFY(offset + stride * h <= b.size());

    const PictureLoadResult r = loadPicture(f.fileName(), kScreen);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.picture.divisor, 1);
    QCOMPARE(r.picture.preview.size(), QSize(w, h));
    for (int y = 0; y < h; ++y) {
        const uchar *row =
            reinterpret_cast<const uchar *>(b.constData()) + offset + (h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            const QRgb want = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            if (r.picture.preview.pixel(x, y) != want)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
        }
    }
}

// Against the suite's own expected pixels, with transparency shown as black.
void TestPictureLoader::gifPixels_data()
{
    QTest::addColumn<QString>("gif");
    QTest::addColumn<QString>("rgba");
    QTest::newRow("interlaced") << QStringLiteral("interlace.gif")
                                << QStringLiteral("all-reds.rgba");
    QTest::newRow("transparent") << QStringLiteral("transparent.gif")
                                 << QStringLiteral("four-colors-transparent.rgba");
}

void TestPictureLoader::gifPixels()
{
    QFETCH(QString, gif);
    QFETCH(QString, rgba);
    const QString dir = QStringLiteral("gif-test-suite/test-suite/");
    QFile expected(suiteFile(dir + rgba));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QByteArray px = expected.readAll();

    const PictureLoadResult r = loadPicture(suiteFile(dir + gif), kScreen);
    QVERIFY2(r.ok, qPrintable(r.error));
    const QImage &p = r.picture.preview;
    QCOMPARE(qsizetype(p.width()) * p.height() * 4, px.size());
    bool sawTransparent = false;
    for (int i = 0; i < p.width() * p.height(); ++i) {
        const auto *c = reinterpret_cast<const uchar *>(px.constData()) + 4 * i;
        const int a = c[3];
        sawTransparent = sawTransparent || a == 0;
        const QRgb want = qRgb(c[0] * a / 255, c[1] * a / 255, c[2] * a / 255);
        QCOMPARE(p.pixel(i % p.width(), i / p.width()), want);
    }
    if (gif.startsWith(QStringLiteral("transparent")))
        QVERIFY(sawTransparent); // otherwise this row tests nothing about holes
}

// Files made by hand, against the pixels the board must show (alpha shown
// over black). Each row is a rule of the format a reader can get wrong.
void TestPictureLoader::handMadePixels_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    const auto picture = [](int w, const QList<QRgb> &pixels) {
        QImage image(w, int(pixels.size()) / w, QImage::Format_RGB32);
        for (int i = 0; i < pixels.size(); ++i)
            image.setPixel(i % w, i / w, pixels[i]);
        return image;
    };
    const QRgb red = qRgb(255, 0, 0), cyan = qRgb(0, 255, 255), black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);

    QTest::newRow("bmp 16-bit: a full five-bit channel is 255")
        << handMadeBmp(40, 2, 1, 16, 0, {}, {}, QByteArray("\x00\x7C\xFF\x03", 4))
        << picture(2, {red, cyan});
    QTest::newRow("bmp 32-bit, no masks: the fourth byte is not alpha")
        << handMadeBmp(40, 1, 1, 32, 0, {}, {}, QByteArray("\x00\x00\xFF\x00", 4))
        << picture(1, {red});
    QTest::newRow("bmp 32-bit alpha mask, shown over black")
        << handMadeBmp(56, 2, 1, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {},
                       QByteArray("\x00\x00\xFF\x80\xFF\xFF\xFF\x00", 8))
        << picture(2, {qRgb(128, 0, 0), black});
    QTest::newRow("bmp rows bottom-up")
        << handMadeBmp(40, 1, 2, 24, 0, {}, {}, QByteArray("\x00\x00\xFF\x00\xFF\xFF\x00\x00", 8))
        << picture(1, {cyan, red});
    QTest::newRow("bmp rows top-down")
        << handMadeBmp(40, 1, -2, 24, 0, {}, {}, QByteArray("\x00\x00\xFF\x00\xFF\xFF\x00\x00", 8))
        << picture(1, {red, cyan});
    QTest::newRow("bmp 1-bit across a byte")
        << handMadeBmp(40, 9, 1, 1, 0, {}, {black, white}, QByteArray("\x80\x80\x00\x00", 4))
        << picture(9, {white, black, black, black, black, black, black, black, white});
    QTest::newRow("bmp OS/2 1.x, three-byte colour table")
        << handMadeBmp(12, 2, 1, 8, 0, {}, {red, cyan}, QByteArray("\x01\x00\x00\x00", 4))
        << picture(2, {cyan, red});
    QTest::newRow("bmp index past the colour table is black")
        << handMadeBmp(40, 2, 1, 8, 0, {}, {red}, QByteArray("\x00\x01\x00\x00", 4))
        << picture(2, {red, black});
    QTest::newRow("bmp run-length 4-bit, two alternating indices")
        << handMadeBmp(40, 3, 1, 4, 2, {}, {red, cyan}, QByteArray("\x03\x10\x00\x01", 4))
        << picture(3, {cyan, red, cyan});
    QTest::newRow("bmp run-length 8-bit: a move skips to colour 0, stretches are padded")
        << handMadeBmp(40, 5, 1, 8, 1, {}, {red, cyan, white},
                       QByteArray("\x00\x02\x01\x00\x00\x03\x01\x02\x01\x00\x00\x01", 12))
        << picture(5, {red, cyan, white, cyan, red});

    QTest::newRow("gif interlaced frame taller than its screen")
        << handMadeGif({1, 5}, {0, 0, 1, 16}, true,
                       {0, 8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15})
        << picture(1, {gifColour(0), gifColour(1), gifColour(2), gifColour(3), gifColour(4)});
    QTest::newRow("gif frame partly off its screen, on the background colour")
        << handMadeGif({3, 2}, {1, 1, 4, 1}, false, {10, 11, 12, 13}, 7)
        << picture(3, {gifColour(7), gifColour(7), gifColour(7), gifColour(7), gifColour(10),
                       gifColour(11)});
    QTest::newRow("gif transparent pixels show the background")
        << handMadeGif({2, 1}, {0, 0, 2, 1}, false, {5, 9}, 3, 9)
        << picture(2, {gifColour(5), gifColour(3)});
    QTest::newRow("gif transparent background is black")
        << handMadeGif({2, 1}, {0, 0, 1, 1}, false, {5}, 9, 9) << picture(2, {gifColour(5), black});
}

void TestPictureLoader::handMadePixels()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    const PictureLoadResult r = loadPicture(write(QStringLiteral("hand-made"), file), kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.preview.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb got = r.picture.preview.pixel(x, y);
            QVERIFY2(got == expected.pixel(x, y),
                     qPrintable(QStringLiteral("pixel %1,%2 is %3, not %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(got, 8, 16)
                                    .arg(expected.pixel(x, y), 8, 16)));
        }
    }
}

// Qt cannot write CMYK, so this file is put together by hand: one flat 8 x 8
// block per colour, quantisation 1 so the samples come out exact, and the
// samples inverted, as Adobe applications store CMYK. (The suite's CMYK files
// store plain ink values under the same Adobe marker and so decode almost
// black here, as in most viewers.)
void TestPictureLoader::cmykJpegInColour()
{
    const QList<std::array<int, 4>> inks = {{0, 255, 255, 0}, // red
                                            {255, 255, 0, 0}, // blue
                                            {0, 0, 0, 128}};  // grey
    const auto bytes = [](std::initializer_list<int> list) {
        QByteArray b;
        for (int v : list)
            b += char(v);
        return b;
    };
    QByteArray jpeg = bytes({0xFF, 0xD8});
    const auto segment = [&jpeg](int marker, const QByteArray &body) {
        const int length = body.size() + 2;
        jpeg += char(0xFF) + QByteArray(1, char(marker)) + char(length >> 8) + char(length & 0xFF);
        jpeg += body;
    };
    segment(0xEE, QByteArray("Adobe", 5) + bytes({0, 100, 0, 0, 0, 0, 0})); // transform 0: CMYK
    segment(0xDB, QByteArray(1, 0) + QByteArray(64, 1));
    const int w = 8 * int(inks.size());
    QByteArray sof = bytes({8, 0, 8, w >> 8, w & 0xFF, 4});
    for (int c = 1; c <= 4; ++c)
        sof += bytes({c, 0x11, 0});
    segment(0xC0, sof);
    // DC: categories 0-11 all with 4-bit codes 0000-1011. AC: only EOB, code "0".
    QByteArray dc = bytes({0x00, 0, 0, 0, 12});
    dc += QByteArray(12, 0);
    for (int cat = 0; cat < 12; ++cat)
        dc += char(cat);
    segment(0xC4, dc);
    segment(0xC4, bytes({0x10, 1}) + QByteArray(15, 0) + QByteArray(1, 0));
    segment(0xDA, bytes({4, 1, 0, 2, 0, 3, 0, 4, 0, 0, 63, 0}));

    QByteArray scan;
    quint32 acc = 0;
    int bits = 0;
    const auto put = [&](quint32 value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            acc = (acc << 1) | ((value >> i) & 1);
            if (++bits == 8) {
                scan += char(acc);
                if (acc == 0xFF)
                    scan += char(0); // byte stuffing
                acc = 0;
                bits = 0;
            }
        }
    };
    int previous[4] = {0, 0, 0, 0};
    for (const auto &ink : inks) {
        for (int c = 0; c < 4; ++c) {
            const int dcValue = 8 * ((255 - ink[c]) - 128); // flat block: DC only
            const int diff = dcValue - previous[c];
            previous[c] = dcValue;
            int category = 0;
            while ((qAbs(diff) >> category) != 0)
                ++category;
            put(quint32(category), 4);
            put(quint32(diff >= 0 ? diff : diff + (1 << category) - 1), category);
            put(0, 1); // EOB
        }
    }
    while (bits != 0)
        put(1, 1);
    jpeg += scan + bytes({0xFF, 0xD9});

    const PictureLoadResult r = loadPicture(write(QStringLiteral("cmyk.jpg"), jpeg), kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    const QImage &p = r.picture.preview;
    QCOMPARE(p.size(), QSize(w, 8));
    QCOMPARE(p.pixel(4, 4), qRgb(255, 0, 0));
    QCOMPARE(p.pixel(12, 4), qRgb(0, 0, 255));
    QCOMPARE(p.pixel(20, 4), qRgb(127, 127, 127));
}

// Orientation 6 means "turn 90 degrees clockwise to view": the stored left
// half ends up on top. The stored left half has 15-pixel stripes across the
// turn; they survive only if the shrinking decoder is asked for the size the
// file stores, not the upright one.
void TestPictureLoader::orientation_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("full");
    QTest::addColumn<int>("divisor");
    QTest::newRow("64x32 whole") << QSize(64, 32) << QSize(32, 64) << 1;
    // 1000 x 3000 upright: 3000 > 4 x 614.4, so 1/5.
    QTest::newRow("3000x1000 shrunk") << QSize(3000, 1000) << QSize(1000, 3000) << 5;
}

void TestPictureLoader::orientation()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, full);
    QFETCH(int, divisor);
    QImage picture(stored, QImage::Format_RGB32);
    picture.fill(Qt::green);
    for (int x = 0; x < stored.width() / 2; ++x) {
        for (int y = 0; y < stored.height(); ++y)
            picture.setPixel(x, y, x / 15 % 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
    }
    const QByteArray jpeg = withOrientation(encode(picture, "jpeg", 95), 6);
    const PictureLoadResult r = loadPicture(write(QStringLiteral("turned.jpg"), jpeg), kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, full);
    QCOMPARE(r.picture.divisor, divisor);
    const QImage &p = r.picture.preview;
    const int stripe = 15 / divisor;
    for (int y = stripe / 2; y < p.height() / 2 - stripe; y += stripe) {
        const QRgb c = p.pixel(p.width() / 2, y);
        QVERIFY2(y / stripe % 2 ? isBlue(c) : isRed(c), qPrintable(QString::number(y)));
    }
    const QRgb bottom = p.pixel(p.width() / 2, p.height() * 3 / 4);
    QVERIFY(near(qRed(bottom), 0) && near(qGreen(bottom), 255) && near(qBlue(bottom), 0));
}

// A 48-megapixel photo is over the limit at full size (192 MB) and must load
// all the same, decoded straight at 1/10: 8000 is more than nine times the
// room's 819.2, and the board must fit the screen.
void TestPictureLoader::bigJpegDecodedSmall()
{
    QImage photo(8000, 6000, QImage::Format_Grayscale8);
    photo.fill(0);
    for (int y = 0; y < photo.height(); ++y)
        memset(photo.scanLine(y) + 4000, 255, 4000);
    const QString path = write(QStringLiteral("48mp.jpg"), encode(photo, "jpeg", 20));
    photo = QImage();

    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, QSize(8000, 6000));
    QCOMPARE(r.picture.divisor, 10);
    QCOMPARE(r.picture.preview.size(), QSize(800, 600));
    QVERIFY(qGray(r.picture.preview.pixel(200, 300)) < 40);
    QVERIFY(qGray(r.picture.preview.pixel(600, 300)) > 215);
}

// libjpeg is driven directly now; the board must show the very pixels Qt's
// own JPEG reader gave when asked for the preview size.
void TestPictureLoader::shrunkJpegAsQtDecodesIt_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<int>("orientation");
    QTest::newRow("colour 1/3") << QSize(2000, 1500) << false << 1;
    QTest::newRow("colour 1/6") << QSize(4097, 3000) << false << 1;
    QTest::newRow("grey 1/4") << QSize(2500, 2500) << true << 1;
    QTest::newRow("turned 1/5") << QSize(3000, 1000) << false << 6;
    QTest::newRow("mirrored and turned 1/3") << QSize(1500, 2000) << false << 7;
}

void TestPictureLoader::shrunkJpegAsQtDecodesIt()
{
    QFETCH(QSize, size);
    QFETCH(bool, grey);
    QFETCH(int, orientation);
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256);
    }
    if (grey)
        picture = picture.convertToFormat(QImage::Format_Grayscale8);
    const QString path = write(
        QStringLiteral("qt-%1x%2-%3.jpg").arg(size.width()).arg(size.height()).arg(orientation),
        withOrientation(encode(picture, "jpeg", 90), orientation));
    const QString difference = differenceFromQtsReader(path);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// On a high-density screen the preview holds the board's device pixels: the
// picture shrunk once, straight to the logical size times the ratio, never
// shrunk to the logical size and blown up. The rules keep the logical numbers.
void TestPictureLoader::previewInDevicePixels_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<QSize>("device");
    QTest::newRow("1/3 at 1.5") << QSize(2000, 1500) << 1.5 << 3 << QSize(1000, 750);
    QTest::newRow("1/3 at 1.25, fractional") << QSize(2000, 1301) << 1.25 << 3 << QSize(833, 542);
    QTest::newRow("1/4 at 2") << QSize(3000, 2000) << 2.0 << 4 << QSize(1500, 1000);
    QTest::newRow("1/2 at 2: the whole picture")
        << QSize(1200, 900) << 2.0 << 2 << QSize(1200, 900);
    QTest::newRow("1/1 at 1.5: enlarged") << QSize(400, 300) << 1.5 << 1 << QSize(600, 450);
}

void TestPictureLoader::previewInDevicePixels()
{
    QFETCH(QSize, size);
    QFETCH(double, ratio);
    QFETCH(int, divisor);
    QFETCH(QSize, device);
    QCOMPARE(mok::devicePreviewSize({size.width(), size.height()}, divisor, ratio),
             (mok::PixelSize{device.width(), device.height()}));
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256);
    }
    const QString jpeg = write(QStringLiteral("dpr-%1x%2.jpg").arg(size.width()).arg(size.height()),
                               encode(picture, "jpeg", 90));
    const PictureLoadResult r = loadPicture(jpeg, kScreen, ratio);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, size);
    QCOMPARE(r.picture.divisor, divisor);
    QCOMPARE(r.picture.preview.size(), device);
    QCOMPARE(r.picture.preview.devicePixelRatio(), ratio);
    const QString difference = differenceFromQtsReader(jpeg, ratio);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestPictureLoader::shrunkJpegStoredAsQtDecodesIt_data()
{
    QTest::addColumn<int>("space");
    QTest::newRow("CMYK") << int(JCS_CMYK);
    QTest::newRow("RGB, not YCbCr") << int(JCS_RGB);
}

// Shrunk by 3/8 while decoding and the rest of the way from 750 x 563 as
// the rows arrive, turned to RGB on the way by us (CMYK) or by libjpeg; the
// CMYK picture is held to its inks turned to RGB whole, the RGB one to Qt.
void TestPictureLoader::shrunkJpegStoredAsQtDecodesIt()
{
    QFETCH(int, space);
    QImage picture(2000, 1500, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256);
    }
    const QString path = write(QStringLiteral("qt-stored-%1.jpg").arg(space),
                               jpegStoredAs(picture, J_COLOR_SPACE(space)));
    const QString difference = differenceFrom(space == JCS_CMYK ? inksTurnedToRgb : readByQt, path);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// 10000 x 8000 declared over the data of a 16 x 16 picture: the file holds a
// few blocks, and the rest of the picture is not grey but missing.
void TestPictureLoader::jpegOverLimitAtFullSize()
{
    const QByteArray jpeg = withFrameSize(encode(halves(16, 16), "jpeg"), 10000, 8000);
    const PictureLoadResult r = loadPicture(write(QStringLiteral("sparse.jpg"), jpeg), kScreen);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(QStringLiteral(u"壊れて")), qPrintable(r.error));
}

// --- HEIC, AVIF and WebP ----------------------------------------------------------

// One picture as HEIC, AVIF, WebP and PNG, with and without alpha: each
// board shows the file's own pixels (as its library decodes them whole,
// alpha over black) shrunk as any picture is. 640 x 480 is shown at 1/2 on
// a 400 x 300 screen, which libwebp reaches while decoding; 960 x 720 at
// 1/3, which it reaches at 3/8 and the row shrinker finishes.
void TestPictureLoader::modernBoardsMatch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QImage>("own");
    QTest::addColumn<int>("divisor");
    for (const auto &[size, divisor] :
         {std::pair{QSize(640, 480), 2}, std::pair{QSize(960, 720), 3}}) {
        for (const bool alpha : {false, true}) {
            const QImage picture = scene(size, alpha);
            const QString tag = QStringLiteral("%1x%2%3")
                                    .arg(size.width())
                                    .arg(size.height())
                                    .arg(alpha ? QStringLiteral("-alpha") : QString());
            const QByteArray heic = modern::encodeHeif(picture, modern::Codec::Hevc, 90);
            const QByteArray avif = modern::encodeHeif(picture, modern::Codec::Av1, 90);
            const QByteArray webp = modern::encodeWebp(picture, 90);
            const QByteArray png = encode(picture, "png");
            QTest::addRow("heic %s", qPrintable(tag)) << write(tag + QStringLiteral(".heic"), heic)
                                                      << modern::decodeHeif(heic) << divisor;
            QTest::addRow("avif %s", qPrintable(tag)) << write(tag + QStringLiteral(".avif"), avif)
                                                      << modern::decodeHeif(avif) << divisor;
            QTest::addRow("webp %s", qPrintable(tag)) << write(tag + QStringLiteral(".webp"), webp)
                                                      << modern::decodeWebp(webp) << divisor;
            QTest::addRow("png %s", qPrintable(tag)) << write(tag + QStringLiteral(".png"), png)
                                                     << modern::overBlack(picture) << divisor;
        }
    }
    // A grid of six 256 x 256 tiles, each its own part of a picture, the
    // last column and row reaching past it: put together tile by tile,
    // against libheif's whole grid.
    QFile grid(QStringLiteral(MOK_SOURCE_DIR "/tests/data/grid-640x480.heic"));
    QVERIFY(grid.open(QIODevice::ReadOnly));
    QTest::newRow("heic grid 640x480 of 256x256 tiles")
        << grid.fileName() << modern::decodeHeif(grid.readAll()) << 2;
}

void TestPictureLoader::modernBoardsMatch()
{
    QFETCH(QString, path);
    QFETCH(QImage, own);
    QFETCH(int, divisor);
    QVERIFY2(!own.isNull(), "the library itself cannot read the test file");
    const PictureLoadResult r = loadPicture(path, Screen::fromPixels(400, 300));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.picture.fullSize, own.size());
    QCOMPARE(r.picture.divisor, divisor);
    const QImage &preview = r.picture.preview;
    QCOMPARE(preview.format(), QImage::Format_RGB32);
    const QImage expected =
        own.scaled(preview.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    const double db = psnr(preview, expected);
    qInfo("%s: %.1f dB", QTest::currentDataTag(), db);
    QVERIFY2(db >= 38, qPrintable(QString::number(db)));
}

// Stored 128 x 64, left half red, turned by its rotation property: a
// quarter turn clockwise (EXIF 6) brings the left side to the top, three
// quarters (EXIF 8) to the bottom. The board and its size are upright.
void TestPictureLoader::heifTurnedUpright_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("redOnTop");
    QTest::newRow("heic 90") << int(modern::Codec::Hevc) << 6 << true;
    QTest::newRow("heic 270") << int(modern::Codec::Hevc) << 8 << false;
    QTest::newRow("avif 90") << int(modern::Codec::Av1) << 6 << true;
}

void TestPictureLoader::heifTurnedUpright()
{
    QFETCH(int, codec);
    QFETCH(int, orientation);
    QFETCH(bool, redOnTop);
    const QByteArray file =
        modern::encodeHeif(halves(128, 64), modern::Codec(codec), 90, orientation);
    const PictureLoadResult r = loadPicture(write(QStringLiteral("turned.heic"), file), kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, QSize(64, 128));
    const QRgb top = r.picture.preview.pixel(32, 16);
    const QRgb bottom = r.picture.preview.pixel(32, 112);
    QVERIFY(redOnTop ? isRed(top) && isBlue(bottom) : isBlue(top) && isRed(bottom));
}

// An animation (two frames, red then blue) shows its first frame, as a GIF
// does.
void TestPictureLoader::animatedWebpFirstFrame()
{
    const PictureLoadResult r =
        loadPicture(QStringLiteral(MOK_SOURCE_DIR "/tests/data/red-then-blue.webp"), kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, QSize(48, 32));
    QVERIFY(isRed(r.picture.preview.pixel(24, 16)));
}

// --- Files that are not pictures -------------------------------------------------

// Each reason a reader gives crosses from the helper as a number and reaches
// the player as the game's own words, whole.
void TestPictureLoader::everyReasonInTheGamesWords_data()
{
    namespace reason = mok::picture::reason;
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    // Written out, as the game makes it from the table of formats.
    const QString notAPicture =
        QStringLiteral(u"BMP・GIF・JPEG・PNG・WebP・HEIF・AVIF のピクチャとして読み込めません。");
    QTest::newRow("not a picture") << write(QStringLiteral("words.jpg"), "words\n") << notAPicture;
    QByteArray twelveBit = encode(halves(16, 16), "jpeg");
    const int sof = jpegMarker(twelveBit, 0xC0);
    twelveBit[sof + 1] = char(0xC1); // extended, which may be 12-bit
    twelveBit[sof + 4] = 12;
    QTest::newRow("12-bit jpeg") << write(QStringLiteral("12bit.jpg"), twelveBit)
                                 << reason::unsupportedJpeg();
    QByteArray twoBit = encode(halves(16, 16), "bmp");
    putLE(twoBit, 28, 2, 2);
    QTest::newRow("2-bit bmp") << write(QStringLiteral("2bit.bmp"), twoBit)
                               << reason::unreadableBmp();
    const QByteArray jpeg = encode(halves(64, 64), "jpeg");
    QTest::newRow("jpeg cut short")
        << write(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 2)) << reason::broken();
    QTest::newRow("bmp of 2147483647 x 2147483647")
        << write(QStringLiteral("huge.bmp"), bmpDeclaring(0x7FFFFFFF, 0x7FFFFFFF, 100))
        << reason::tooLarge(QSize(0x7FFFFFFF, 0x7FFFFFFF));
    // Shrunk 66 times to fit, one pixel across is none.
    QTest::newRow("bmp of 1 x 40000")
        << write(QStringLiteral("thread.bmp"),
                 encode(QImage(1, 40000, QImage::Format_RGB32), "bmp"))
        << reason::tooSmall(QSize(1, 40000));
    QByteArray sequence("\0\0\0\x18"
                        "ftypavis\0\0\0\0"
                        "avismsf1",
                        24);
    QTest::newRow("moving picture only")
        << write(QStringLiteral("moving-only.avif"), sequence + QByteArray("\0\0\0\x08moov", 8))
        << reason::noStillImage();
    const QByteArray hevc = modern::encodeHeif(halves(64, 48), modern::Codec::Hevc, 50);
    QTest::newRow("codec missing")
        << write(QStringLiteral("vvc.heif"), QByteArray(hevc).replace("hvc1", "vvc1"))
        << reason::codecMissing();
}

void TestPictureLoader::everyReasonInTheGamesWords()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, message);
}

void TestPictureLoader::refusedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    const QString notFound = QStringLiteral(u"見つかりません");
    const QString notAFile = QStringLiteral(u"ファイルではありません");
    const QString notAPicture = QStringLiteral(u"ピクチャとして読み込めません");

    QTest::newRow("missing") << tmp.filePath(QStringLiteral("missing.jpg")) << notFound;
    QTest::newRow("empty path") << QString() << notFound;

    const QString chosen = write(QStringLiteral("chosen.jpg"), encode(halves(8, 8), "jpeg"));
    QFile::remove(chosen); // gone between the dialog and the load
    QTest::newRow("deleted after choosing") << chosen << notFound;

    // Qt would try "x.png" for a missing "x"; we must not.
    write(QStringLiteral("sibling/x.png"), encode(halves(8, 8), "png"));
    QTest::newRow("sibling with suffix") << tmp.filePath(QStringLiteral("sibling/x")) << notFound;

    QVERIFY(QFile::link(tmp.filePath(QStringLiteral("nowhere")),
                        tmp.filePath(QStringLiteral("dangling.jpg"))));
    QTest::newRow("dangling symlink") << tmp.filePath(QStringLiteral("dangling.jpg")) << notFound;

    QString deep = tmp.path();
    while (QFile::encodeName(deep).size() <= PATH_MAX)
        deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    QTest::newRow("longer than PATH_MAX") << deep + QStringLiteral("/x.jpg") << notFound;

    QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("folder.jpg")));
    QTest::newRow("directory") << tmp.filePath(QStringLiteral("folder.jpg")) << notAFile;

    // Opening a FIFO would block until a writer comes; a hang here ends in the
    // test's timeout.
    const QString fifo = tmp.filePath(QStringLiteral("fifo.jpg"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("fifo") << fifo << notAFile;

    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), tmp.filePath(QStringLiteral("zero.jpg"))));
    QTest::newRow("symlink to /dev/zero") << tmp.filePath(QStringLiteral("zero.jpg")) << notAFile;

    QTest::newRow("0 bytes") << write(QStringLiteral("empty.gif"), {}) << QStringLiteral(u"空です");
    QTest::newRow("text as .jpg") << write(QStringLiteral("notes.jpg"), "just some notes\n")
                                  << notAPicture;
    QTest::newRow("html as .gif") << write(QStringLiteral("page.gif"),
                                           "<!DOCTYPE html><html><body>x</body></html>\n")
                                  << notAPicture;
    // Qt reads XPM itself, but the game does not take it.
    QTest::newRow("xpm as .jpg") << write(QStringLiteral("icon.jpg"), encode(halves(8, 8), "xpm"))
                                 << notAPicture;
    QTest::newRow("junk before SOI")
        << write(QStringLiteral("junk.jpg"), "junk" + encode(halves(8, 8), "jpeg")) << notAPicture;

    // An AVIF sequence (brand avis) holding nothing but its track.
    QByteArray sequence("\0\0\0\x18"
                        "ftypavis\0\0\0\0"
                        "avismsf1",
                        24);
    sequence += QByteArray("\0\0\0\x08"
                           "moov",
                           8);
    QTest::newRow("sequence with no still image") << write(QStringLiteral("moving.avif"), sequence)
                                                  << QStringLiteral(u"静止画が入っていません");
    // A HEIF file with its picture said to be VVC or JPEG 2000, for which
    // Debian's libheif has no decoder (and which libheif's own message
    // calls a grid with missing tiles).
    const QByteArray hevc = modern::encodeHeif(halves(64, 48), modern::Codec::Hevc, 50);
    QCOMPARE(hevc.count("hvc1"), 1);
    for (const char *codec : {"vvc1", "j2k1"}) {
        QTest::addRow("heif of %s, no decoder", codec)
            << write(QLatin1String(codec) + QStringLiteral(".heif"),
                     QByteArray(hevc).replace("hvc1", codec))
            << QStringLiteral(u"デコーダーが、このシステムにありません");
    }
    // The same made by libheif 1.23 (Debian 13) from heif-enc's HEIC: an
    // older libheif fails to read it at all (its primary item is one it
    // skipped), a newer one to give its handle.
    QTest::newRow("heif of j2k1 written by libheif 1.23, no decoder")
        << QStringLiteral(MOK_SOURCE_DIR "/tests/data/jpeg2000-written-by-libheif-1.23.heif")
        << QStringLiteral(u"デコーダーが、このシステムにありません");
}

void TestPictureLoader::refusedFiles()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(reason), qPrintable(r.error));
}

// Locked: the file itself, or a folder on the way that may not be entered
// (which the system reports just as it reports a missing file's folder).
void TestPictureLoader::permissionDenied_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("locked");
    const QString file = write(QStringLiteral("locked.jpg"), encode(halves(8, 8), "jpeg"));
    QTest::newRow("file") << file << file;
    const QString inner =
        write(QStringLiteral("closed/inner/photo.jpg"), encode(halves(8, 8), "jpeg"));
    QTest::newRow("folder on the way") << inner << tmp.filePath(QStringLiteral("closed"));
}

void TestPictureLoader::permissionDenied()
{
    if (::geteuid() == 0)
        QSKIP("root may read anything");
    QFETCH(QString, path);
    QFETCH(QString, locked);
    QVERIFY(QFile::setPermissions(locked, {}));
    const PictureLoadResult r = loadPicture(path, kScreen);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(QStringLiteral(u"権限")), qPrintable(r.error));
}

// --- Damaged and extreme pictures -------------------------------------------------

// Cut files: nothing and two bytes are refused, a bare header may go either
// way; half a picture is broken, not a picture with a grey or black half. A
// JPEG or GIF that only lacks its end marker still has every pixel; a BMP
// has no end marker, so two bytes short is two bytes of pixels missing.
void TestPictureLoader::truncated_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("expect");

    const QImage picture = halves(300, 200);
    QList<QPair<QString, QByteArray>> sources = {
        {QStringLiteral("baseline.jpg"), encode(picture, "jpeg", 80)},
        {QStringLiteral("progressive.jpg"), encode(picture, "jpeg", 80, true)},
        {QStringLiteral("picture.bmp"), encode(picture, "bmp")}};
    QFile gif(dataDir() + QStringLiteral("/gif-test-suite/test-suite/max-codes.gif"));
    if (gif.open(QIODevice::ReadOnly))
        sources.append({QStringLiteral("suite.gif"), gif.readAll()});

    for (const auto &[name, bytes] : sources) {
        QSize size = picture.size();
        int headerEnd = 0;
        if (name.endsWith(QStringLiteral(".jpg"))) {
            const int sos = jpegMarker(bytes, 0xDA);
            headerEnd = sos + 2 + ((uchar(bytes[sos + 2]) << 8) | uchar(bytes[sos + 3]));
        } else if (name.endsWith(QStringLiteral(".bmp"))) {
            headerEnd = int(getLE(bytes, 10, 4));
        } else {
            headerEnd = 13; // signature and logical screen
            size = QSize(int(getLE(bytes, 6, 2)), int(getLE(bytes, 8, 2)));
        }
        const bool hasEndMarker = !name.endsWith(QStringLiteral(".bmp"));
        const QList<std::tuple<const char *, int, int>> cuts = {
            {"nothing", 0, MustRefuse},
            {"2 bytes", 2, MustRefuse},
            {"header only", headerEnd, Either},
            {"half", bytes.size() / 2, MustRefuse},
            {"all but 2", bytes.size() - 2, hasEndMarker ? MustLoad : MustRefuse}};
        for (const auto &[cut, length, expect] : cuts) {
            const QString file = QStringLiteral("cut/%1-%2").arg(length).arg(name);
            QTest::addRow("%s %s", qPrintable(name), cut)
                << write(file, bytes.left(length)) << size << expect;
        }
    }
}

void TestPictureLoader::truncated()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, expect);
    const PictureLoadResult r = checkOutcome(path, expect);
    if (QTest::currentTestFailed())
        return;
    if (r.ok)
        QCOMPARE(r.picture.fullSize, size);
}

// Refused from the size in the header, before anything is decoded: none of
// these files holds more than a few hundred bytes of pixels.
void TestPictureLoader::tooLarge_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("bmp 50000x50000")
        << write(QStringLiteral("huge.bmp"), bmpDeclaring(50000, 50000, 100))
        << QSize(50000, 50000);
    // 8192 x 8192 x 4 bytes is exactly 256 MB, the most allowed.
    QTest::newRow("bmp one row over the limit")
        << write(QStringLiteral("over.bmp"), bmpDeclaring(8192, 8193, 100)) << QSize(8192, 8193);
    QTest::newRow("bmp top-down, one row over")
        << write(QStringLiteral("over-topdown.bmp"), bmpDeclaring(8192, -8193, 100))
        << QSize(8192, 8193);
    // Even at 1/5, 13100 x 13100 does not fit.
    QTest::newRow("jpeg 65500x65500")
        << write(QStringLiteral("huge.jpg"),
                 withFrameSize(encode(halves(16, 16), "jpeg"), 65500, 65500))
        << QSize(65500, 65500);
    // 1/5 would be 7000 x 7000 (196 MB), but libjpeg only scales by eighths
    // and decodes at 2/8, 8750 x 8750 (306 MB).
    QTest::newRow("jpeg 35000x35000")
        << write(QStringLiteral("huge2.jpg"),
                 withFrameSize(encode(halves(16, 16), "jpeg"), 35000, 35000))
        << QSize(35000, 35000);
    const QString gif = dataDir() + QStringLiteral("/gif-test-suite/test-suite/max-size.gif");
    if (QFile::exists(gif)) // Qt itself reports no usable size for this one
        QTest::newRow("gif screen 65535x65535") << gif << QSize(65535, 65535);
}

void TestPictureLoader::tooLarge()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(QStringLiteral(u"大きすぎ")), qPrintable(r.error));
    const QString dims = QStringLiteral(u"%1 × %2").arg(size.width()).arg(size.height());
    QVERIFY2(r.error.contains(dims), qPrintable(r.error));
}

// The smallest pictures load as they are; the board then offers only the
// levels whose cells are at least a pixel.
void TestPictureLoader::tinyPictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const QSize size : {QSize(1, 1), QSize(3, 2), QSize(1, 9)}) {
        for (const char *format : {"jpeg", "bmp", "png"}) {
            const QString name = QStringLiteral("tiny/%1x%2.%3")
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(QLatin1String(format));
            QTest::addRow("%s %dx%d", format, size.width(), size.height())
                << write(name, encode(halves(size.width(), size.height()), format)) << size;
        }
    }
}

void TestPictureLoader::tinyPictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
    QCOMPARE(r.picture.fullSize, size);
    QCOMPARE(r.picture.preview.size(), size);
}

// A one-pixel strip long enough for 1/5 shrinks to no height at all.
void TestPictureLoader::tooSmall_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("bmp 65535x1") << write(QStringLiteral("strip.bmp"),
                                          encode(halves(65535, 1), "bmp"))
                                 << QSize(65535, 1);
    QTest::newRow("jpeg 65500x1") << write(QStringLiteral("strip.jpg"),
                                           withFrameSize(encode(halves(16, 8), "jpeg"), 65500, 1))
                                  << QSize(65500, 1);
    const QString dir = dataDir() + QStringLiteral("/gif-test-suite/test-suite/");
    if (QFile::exists(dir + QStringLiteral("max-width.gif"))) {
        QTest::newRow("gif 65535x1") << dir + QStringLiteral("max-width.gif") << QSize(65535, 1);
        QTest::newRow("gif 1x65535") << dir + QStringLiteral("max-height.gif") << QSize(1, 65535);
    }
}

void TestPictureLoader::tooSmall()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(QStringLiteral(u"小さすぎ")), qPrintable(r.error));
    const QString dims = QStringLiteral(u"%1 × %2").arg(size.width()).arg(size.height());
    QVERIFY2(r.error.contains(dims), qPrintable(r.error));
}

// Any name works, and the content decides the format, not the name.
void TestPictureLoader::namesAndContent_data()
{
    QTest::addColumn<QString>("path");
    const QImage picture = halves(40, 30);
    const QByteArray jpeg = encode(picture, "jpeg");
    QTest::newRow("japanese folder and name")
        << write(QStringLiteral(u"写真/テスト画像 ①.jpg"), jpeg);
    // 83 three-byte characters, "ab" and ".jpg": 255 bytes, the most a name may have.
    const QString longName = QString(83, QChar(u'画')) + QStringLiteral("ab.jpg");
    QCOMPARE(QFile::encodeName(longName).size(), 255);
    QTest::newRow("255-byte name") << write(longName, jpeg);
    QTest::newRow("upper-case suffix") << write(QStringLiteral("UPPER.JPG"), jpeg);
    QTest::newRow("no suffix") << write(QStringLiteral("photo"), jpeg);
    QTest::newRow("png named .jpg")
        << write(QStringLiteral("really-png.jpg"), encode(picture, "png"));
    QTest::newRow("bmp named .gif")
        << write(QStringLiteral("really-bmp.gif"), encode(picture, "bmp"));
    QFile gif(dataDir() + QStringLiteral("/gif-test-suite/test-suite/four-colors.gif"));
    if (gif.open(QIODevice::ReadOnly))
        QTest::newRow("gif named .bmp") << write(QStringLiteral("really-gif.bmp"), gif.readAll());
}

void TestPictureLoader::namesAndContent()
{
    QFETCH(QString, path);
    const PictureLoadResult r = loadPicture(path, kScreen);
    QVERIFY2(brokenPromise(r).isEmpty(), qPrintable(brokenPromise(r)));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_picture_loader.moc"
