// Files made to hurt the loader: each must give a clear reason (or a
// picture) quickly and within bounded memory. Every file is loaded by
// mok_load_probe through a decoding helper, as the game loads it, and the
// helper's peak memory is read back.
#include "hostile_files.h"
#include "modern_files.h"

#include <QtTest>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The most a load may take, counted as the helper's peak resident memory,
// its start-up included. Under the sanitizers only the outcome is checked.
constexpr qint64 kPeakLimitKb = 600 * 1024;
#ifdef MOK_SANITIZED
constexpr bool kPeakIsMeaningful = false;
#else
constexpr bool kPeakIsMeaningful = true;
#endif

struct ProbeResult {
    QString outcome; // "ok W H D" or "error <message>"
    qint64 peakKb = -1;
    qint64 cpuMs = -1;
    qint64 sharedKb = -1;   // shared memory the probe still maps
    qint64 errorBytes = 0;  // what reached its standard error
    bool endedWell = false; // it ran to its end: the game was never hurt
};

// Loads `path` in a probe (the game's side). A file that gives a taken-over
// decoder its orders is decoded by one.
ProbeResult probe(const QString &path, const QStringList &options = {})
{
    QFile file(path);
    const bool order = file.open(QIODevice::ReadOnly) && file.read(15) == "MOK-FENCE-TEST ";
    QStringList arguments = options;
    if (order)
        arguments << QStringLiteral("--helper") << QStringLiteral(MOK_FENCE_HELPER);
    // A file named so is loaded where no thread can start.
    if (QFileInfo(path).fileName().startsWith(QStringLiteral("no-threads")))
        arguments << QStringLiteral("--no-threads");
    arguments << path;
    QProcess child;
    child.start(QStringLiteral(MOK_LOAD_PROBE), arguments);
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return {QStringLiteral("probe did not finish")};
    }
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ProbeResult r;
    r.outcome = lines.value(0);
    r.errorBytes = child.readAllStandardError().size();
    r.endedWell = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("peak_kb=(\\d+) cpu_ms=(\\d+) shmem_kb=(\\d+)"))
            .match(lines.value(1));
    if (m.hasMatch()) {
        r.peakKb = m.captured(1).toLongLong();
        r.cpuMs = m.captured(2).toLongLong();
        r.sharedKb = m.captured(3).toLongLong();
    }
    return r;
}

// The system's shared memory, in kB.
qint64 systemSharedKb()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly))
        for (const QByteArray &line : meminfo.readAll().split('\n'))
            if (line.startsWith("Shmem:"))
                return line.simplified().split(' ').value(1).toLongLong();
    return -1;
}

const QString kBroken = QStringLiteral(u"error ピクチャのデータが壊れています");
const QString kTooLarge = QStringLiteral(u"error ピクチャが大きすぎます");
const QString kTooSlow = QStringLiteral(u"error ピクチャの読み込みに時間がかかりすぎる");
const QString kNoMemory = QStringLiteral(u"error ピクチャを読み込むためのメモリーが足りません");
const QString kUnreadableBmp = QStringLiteral(u"error この BMP は読み込めません");
const QString kNoThreads = QStringLiteral(u"error システムの制限（プロセス数の上限など）で");

} // namespace

class TestHostilePictures : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    QString write(const QString &name, const QByteArray &bytes);

private slots:
    void boundedLoads_data();
    void boundedLoads();
    void takenOverDecoder_data();
    void takenOverDecoder();
    void decodesWhereNamespacesAreRefused();
    void sparseFileIsNotRead();
    void unrepresentableName();
};

QString TestHostilePictures::write(const QString &name, const QByteArray &bytes)
{
    QFile f(tmp.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

void TestHostilePictures::boundedLoads_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // how the probe's outcome line starts
    using namespace hostile;

    // Progressive: libjpeg would keep every coefficient of the declared size.
    QTest::newRow("progressive jpeg declaring 32767x32767")
        << write(QStringLiteral("p32767.jpg"), progressiveJpegDeclaring(32767, 32767))
        << kTooLarge + QStringLiteral(u"（32767 × 32767");
    QTest::newRow("progressive jpeg declaring 16384x16384")
        << write(QStringLiteral("p16384.jpg"), progressiveJpegDeclaring(16384, 16384)) << kBroken;
    // Padding after the end marker gets past the size check; the coefficient
    // buffer (16000 x 16000 x 3 channels x 2 bytes) is what refuses it then.
    QTest::newRow("progressive jpeg declaring 16000x16000, padded")
        << write(QStringLiteral("p16000pad.jpg"),
                 progressiveJpegDeclaring(16000, 16000) + QByteArray(2 << 20, '\0'))
        << kTooLarge + QStringLiteral(u"（16000 × 16000");
    QTest::newRow("progressive jpeg, one scan repeated 30000 times")
        << write(QStringLiteral("scans.jpg"), jpegWithRepeatedScans(4096, 30000)) << kBroken;
    QTest::newRow("the same scan repeated 5 times is a picture")
        << write(QStringLiteral("scans5.jpg"), jpegWithRepeatedScans(1024, 5))
        << QStringLiteral("ok 1024 1024 2");
    QTest::newRow("arithmetic jpeg declaring 32767x32767")
        << write(QStringLiteral("a32767.jpg"), arithmeticJpegDeclaring(32767, 32767)) << kTooLarge;
    // Arithmetic coding may leave out the zeros at the end of a scan, so a
    // few dozen bytes are a valid flat 16000 x 16000 picture; what matters
    // is that it is decoded small and quickly.
    QTest::newRow("arithmetic jpeg declaring 16000x16000")
        << write(QStringLiteral("a16000.jpg"), arithmeticJpegDeclaring(16000, 16000))
        << QStringLiteral("ok 16000 16000 27");
    QTest::newRow("baseline jpeg declaring 65535x100, over libjpeg's side")
        << write(
               QStringLiteral("wide.jpg"),
               withJpegFrameSize(encode(QImage(16, 16, QImage::Format_RGB32), "jpeg"), 65535, 100))
        << kTooLarge + QStringLiteral(u"（65535 × 100");
    QTest::newRow("jpeg with sample precision 9")
        << write(QStringLiteral("p9.jpg"),
                 withJpegPrecision(encode(QImage(16, 16, QImage::Format_RGB32), "jpeg"), 9))
        << kBroken;
    QTest::newRow("png with 8 zTXt chunks of 256 MB each")
        << write(QStringLiteral("ztxt.png"), pngWithTextBomb(8, 256, false))
        << QStringLiteral("ok 32 32 1");
    QTest::newRow("png with 8 iTXt chunks of 256 MB each")
        << write(QStringLiteral("itxt.png"), pngWithTextBomb(8, 256, true))
        << QStringLiteral("ok 32 32 1");
    // Decoded row by row, a 16-bit picture of this size is allowed; a
    // 16 x 16 one's data cannot hold it.
    QTest::newRow("16-bit png declaring 8192x8191")
        << write(QStringLiteral("deep.png"), deepPngDeclaring(8192, 8191)) << kBroken;
    QTest::newRow("35-byte gif, 1x1 image on an 8192x8192 screen")
        << write(QStringLiteral("screen.gif"), tinyGif(8192, 8192, false)) << kBroken;
    QTest::newRow("35-byte gif, 8192x8192 image holding one pixel")
        << write(QStringLiteral("frame.gif"), tinyGif(8192, 8192, true)) << kBroken;
    QTest::newRow("gif 1x1 image on a 64x64 screen is a picture")
        << write(QStringLiteral("small-screen.gif"), tinyGif(64, 64, false))
        << QStringLiteral("ok 64 64 1");
    // Codes that go on after the frame is full, or a frame reaching far past
    // its screen: only the shown rows are decoded, and nothing after them.
    QTest::newRow("gif 640x480 followed by 15 MB of codes")
        << write(QStringLiteral("trailing.gif"),
                 gifWithPixels(640, 480, 640, 480, 640 * 480 + qint64(10'000'000) * 3839))
        << QStringLiteral("ok 640 480 1");
    QTest::newRow("gif 65535x65535 frame on a 100x100 screen")
        << write(QStringLiteral("bigframe.gif"),
                 gifWithPixels(100, 100, 65535, 65535, qint64(65535) * 65535))
        << QStringLiteral("ok 100 100 1");
    QTest::newRow("gif 65535x65535 frame, data ending inside the screen")
        << write(QStringLiteral("bigframe-cut.gif"), gifWithPixels(100, 100, 65535, 65535, 65535))
        << kBroken;
    // An extension is over at its first empty sub-block; a reader expecting
    // the graphic control's four bytes would eat the image descriptor.
    QTest::newRow("gif with an empty graphic control extension")
        << write(QStringLiteral("empty-ext.gif"),
                 gifWithPixels(64, 64, 64, 64, 64 * 64, QByteArray("\x21\xF9\x00", 3)))
        << QStringLiteral("ok 64 64 1");
    QTest::newRow("jpeg with 10001 comment segments")
        << write(QStringLiteral("comments.jpg"), jpegWithComments(10001))
        << QStringLiteral("ok 16 16 1");
    QByteArray rows;
    for (int y = 0; y < 8; ++y)
        rows += QByteArray("\x08\x01\x00\x00", 4); // eight white, end of line
    const QByteArray end("\x00\x01", 2);
    QTest::newRow("run-length bmp")
        << write(QStringLiteral("rle.bmp"), rle8Bmp(rows + end)) << QStringLiteral("ok 8 8 1");
    QTest::newRow("run-length bmp ending early")
        << write(QStringLiteral("rle-cut.bmp"), rle8Bmp(rows.left(16))) << kBroken;
    QTest::newRow("run-length bmp, a run off the picture")
        << write(QStringLiteral("rle-run.bmp"), rle8Bmp(QByteArray("\x09\x01", 2) + end))
        << kBroken;
    QTest::newRow("run-length bmp, a move off the picture")
        << write(QStringLiteral("rle-delta.bmp"),
                 rle8Bmp(rows.left(8) + QByteArray("\x00\x02\x09\x00", 4) + end))
        << kBroken;
    QTest::newRow("run-length bmp, pixels past the end of the file")
        << write(QStringLiteral("rle-offset.bmp"), rle8Bmp(rows + end, 5000)) << kBroken;
    QTest::newRow("54-byte bmp declaring 8192x8192")
        << write(QStringLiteral("8192.bmp"), bmpDeclaring(8192, 8192)) << kBroken;
    QTest::newRow("bmp declaring 2147483647x2147483647")
        << write(QStringLiteral("max.bmp"), bmpDeclaring(0x7FFFFFFF, 0x7FFFFFFF))
        << kTooLarge + QStringLiteral(u"（2147483647 × 2147483647");
    QTest::newRow("heif declaring 65535x65535")
        << write(QStringLiteral("65535.heic"), heifDeclaring(65535, 65535))
        << kTooLarge + QStringLiteral(u"（65535 × 65535");
    const QByteArray heic =
        modern::encodeHeif(QImage(256, 192, QImage::Format_RGB32), modern::Codec::Hevc, 90);
    QTest::newRow("heic cut in half")
        << write(QStringLiteral("half.heic"), heic.left(heic.size() / 2)) << kBroken;
    QTest::newRow("webp declaring 16383x16383 in a few bytes")
        << write(QStringLiteral("16383.webp"), webpDeclaring(16383, 16383)) << kBroken;
    QTest::newRow("avif with a broken stream")
        << write(QStringLiteral("broken.avif"), avifWithBrokenStream()) << kBroken;
    QTest::newRow("bmp 8192x8192 with every pixel")
        << write(QStringLiteral("full.bmp"), bmpDeclaring(8192, 8192, 8192 * 8192 * 3))
        << QStringLiteral("ok 8192 8192 14");
    // Rows straight into the preview: the file's size costs time, not memory.
    QTest::newRow("png 8000x8000 of 192 MB")
        << write(QStringLiteral("stored.png"), storedPng(8000, 8000))
        << QStringLiteral("ok 8000 8000 14");
    QTest::newRow("1 KB bmp declaring 67108864x1")
        << write(QStringLiteral("wide.bmp"), bmpDeclaring(67108864, 1, 1000)) << kBroken;
    QTest::newRow("32-bit bmp whose three masks are 0")
        << write(QStringLiteral("no-masks.bmp"), bmpWithMasks(0, 0, 0)) << kUnreadableBmp;
    QTest::newRow("32-bit bmp whose red and green masks overlap")
        << write(QStringLiteral("overlap.bmp"), bmpWithMasks(0xFF0000, 0xFFFF00, 0xFF))
        << kUnreadableBmp;
    // libwebp decodes a lossless picture whole, whatever it is scaled to.
    QTest::newRow("34-byte lossless webp declaring 12400x12400")
        << write(QStringLiteral("lossless.webp"), losslessWebpDeclaring(12400, 12400))
        << kTooLarge + QStringLiteral(u"（12400 × 12400");
    QTest::newRow("34-byte lossless webp of 4000x3000 is a picture")
        << write(QStringLiteral("lossless-small.webp"), losslessWebpDeclaring(4000, 3000))
        << QStringLiteral("ok 4000 3000 5");
    QTest::newRow("animated webp, a 16x16 frame on a 16383x16383 canvas")
        << write(QStringLiteral("canvas.webp"), animatedWebp())
        << kTooLarge + QStringLiteral(u"（16383 × 16383");
    // A camera's grid of 512 x 512 tiles (one coded tile, every tile its
    // data), put together tile by tile inside the fence; and the same size
    // coded as one picture, for which libde265 alone needs more than the
    // fence allows. The sanitizers' builds lift the fence (and take twice
    // the CPU time for the grid).
    if (kPeakIsMeaningful) {
        QTest::newRow("10-bit heic grid of 8192x8192 in 512x512 tiles")
            << QStringLiteral(MOK_SOURCE_DIR "/tests/data/grid-10bit-8192.heic")
            << QStringLiteral("ok 8192 8192 14");
        // libheif 1.15 (Debian 12) needs more than the address-space fence
        // for it; 1.23 (Debian 13) decodes it within some 500 MB.
        QTest::newRow("10-bit heic of 8192x8192 coded as one picture")
            << QStringLiteral(MOK_SOURCE_DIR "/tests/data/flat-10bit-8192.heic")
            << (modern::heifVersion() >= 123 ? QStringLiteral("ok 8192 8192 14") : kNoMemory);
    }
    // libheif writes one item's location as 4-byte base, offset and length:
    // the length 26 bytes after the box's type.
    QByteArray longItem = heic;
    qToBigEndian<quint32>(768u << 20, longItem.data() + longItem.indexOf("iloc") + 26);
    QTest::newRow("heic whose data says it is 768 MB")
        << write(QStringLiteral("long.heic"), longItem) << kBroken;
    // HEVC and WebP decode on the helper's own thread when no other starts,
    // and the preview's pages are made as the rows are written.
    QTest::newRow("heic where no thread can start")
        << write(QStringLiteral("no-threads.heic"), heic) << QStringLiteral("ok 256 192 1");
    QTest::newRow("webp where no thread can start")
        << write(QStringLiteral("no-threads.webp"),
                 modern::encodeWebp(QImage(640, 480, QImage::Format_RGB32), 90))
        << QStringLiteral("ok 640 480 1"); // libwebp starts a thread from 512 wide
    QTest::newRow("avif where no thread can start")
        << write(QStringLiteral("no-threads.avif"),
                 modern::encodeHeif(QImage(64, 48, QImage::Format_RGB32), modern::Codec::Av1, 50))
        << kNoThreads;
}

void TestHostilePictures::boundedLoads()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const ProbeResult r = probe(path);
    qInfo("%s: peak %lld MB, cpu %lld ms", QTest::currentDataTag(), r.peakKb / 1024, r.cpuMs);
    QVERIFY2(r.outcome.startsWith(expected), qPrintable(r.outcome));
    QVERIFY2(r.peakKb > 0, "the probe reported no peak");
    if (kPeakIsMeaningful)
        QVERIFY2(r.peakKb < kPeakLimitKb, qPrintable(QStringLiteral("peak %1 kB").arg(r.peakKb)));
}

void TestHostilePictures::takenOverDecoder_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("answerTimeoutMs");
    const QMap<QString, QString> messages{{QStringLiteral("broken"), kBroken},
                                          {QStringLiteral("too slow"), kTooSlow},
                                          {QStringLiteral("memory"), kNoMemory}};
    QFile table(QStringLiteral(MOK_SOURCE_DIR "/tests/taken_over.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    for (const QString &line : QString::fromUtf8(table.readAll()).split(u'\n')) {
        const QStringList row = line.split(u'\t');
        if (line.startsWith(u'#') || row.size() < 2)
            continue;
        // The sanitizers' builds lift the address-space fence, and keep the
        // helper's standard error for their reports.
        if ((row[0] == QStringLiteral("memory") || row[0] == QStringLiteral("flood stderr")) &&
            !kPeakIsMeaningful)
            continue;
        QTest::newRow(qPrintable(row[0])) << row[0] << messages.value(row[1], row[1])
                                          << row.value(2, QStringLiteral("5000")).toInt();
    }
}

// Whatever a taken-over decoder tries once fenced, the helper ends or the
// call fails, the player is told, and nothing outside the helper is hurt.
void TestHostilePictures::takenOverDecoder()
{
    QFETCH(QString, order);
    QFETCH(QString, expected);
    QFETCH(int, answerTimeoutMs);
    const QString path = write(QStringLiteral("order.jpg"), "MOK-FENCE-TEST " + order.toUtf8());
    QProcess bystander;
    bystander.start(QStringLiteral("sleep"), {QStringLiteral("120")});
    QVERIFY(bystander.waitForStarted());
    const qint64 sharedBefore = systemSharedKb();
    const ProbeResult r =
        probe(path, {QStringLiteral("--cpu"), QStringLiteral("1"), QStringLiteral("--timeout"),
                     QString::number(answerTimeoutMs)});
    QVERIFY2(r.outcome.startsWith(expected), qPrintable(r.outcome));
    QVERIFY(r.endedWell);
    QCOMPARE(bystander.state(), QProcess::Running);
    bystander.kill();
    bystander.waitForFinished();
    // A checked build lets the helper's standard error through, for the
    // sanitizers' reports.
    if (kPeakIsMeaningful)
        QVERIFY2(r.errorBytes < 4096, qPrintable(QString::number(r.errorBytes)));
    // The honest row's preview is under a megabyte; nothing else is kept.
    QVERIFY2(r.sharedKb >= 0 && r.sharedKb < 2048, qPrintable(QString::number(r.sharedKb)));
    QVERIFY2(
        systemSharedKb() - sharedBefore < 64 * 1024,
        qPrintable(
            QStringLiteral("shared memory grew by %1 kB").arg(systemSharedKb() - sharedBefore)));
}

// Some systems refuse unprivileged namespaces: the helper goes on behind its
// other fences, and the player notices nothing. Played here by a user
// namespace whose limit on further ones is 0.
void TestHostilePictures::decodesWhereNamespacesAreRefused()
{
    const QString path = write(QStringLiteral("small.jpg"),
                               hostile::encode(QImage(64, 48, QImage::Format_RGB32), "jpeg"));
    QProcess refusing;
    refusing.start(
        QStringLiteral("unshare"),
        {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("sh"),
         QStringLiteral("-c"),
         QStringLiteral("echo 0 > /proc/sys/user/max_user_namespaces && exec \"$0\" \"$1\""),
         QStringLiteral(MOK_LOAD_PROBE), path});
    QVERIFY(refusing.waitForFinished(60000));
    const QByteArray outcome = refusing.readAllStandardOutput();
    if (refusing.exitCode() != 0 && outcome.isEmpty())
        QSKIP("this system gives the tests no user namespace to refuse them in");
    QVERIFY2(outcome.startsWith("ok 64 48 1"), outcome.constData());
}

// A 4 GiB file that is all hole: a decoder would read zeros for ever.
void TestHostilePictures::sparseFileIsNotRead()
{
    QFile f(tmp.filePath(QStringLiteral("sparse.jpg")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\xFF\xD8\xFF\xE0", 4);
    QVERIFY(f.resize(qint64(4) << 30));
    f.close();
    const ProbeResult r = probe(f.fileName());
    QVERIFY2(r.outcome.startsWith(QStringLiteral(u"error ファイルが大きすぎます")),
             qPrintable(r.outcome));
}

// A name whose bytes are not UTF-8 reaches the program with replacement
// marks in it; no file has that name, and "not found" would be a lie.
void TestHostilePictures::unrepresentableName()
{
    const QByteArray raw = QFile::encodeName(tmp.path()) + "/photo-\xFF\xFE.jpg";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    const QString shown = QFile::decodeName(raw);
    QVERIFY(shown.contains(QChar::ReplacementCharacter));
    const ProbeResult r = probe(shown);
    ::unlink(raw.constData()); // QTemporaryDir cannot name it either
    QVERIFY2(r.outcome.contains(QStringLiteral(u"表せない")), qPrintable(r.outcome));
}

QTEST_GUILESS_MAIN(TestHostilePictures)
#include "tst_hostile_pictures.moc"
