// The row-by-row shrinker, and the scale of a whole picture made larger or
// changed one way only, against Qt's own smooth scale: the board must look
// the same whichever way a picture was scaled.
#include "row_shrinker.h"
#include "smooth_scale.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

using mok::picture::Rgb;
using mok::picture::RowShrinker;

mok::PixelSize plain(QSize s)
{
    return {s.width(), s.height()};
}

namespace {

// Sensor-like noise over a gradient, so that every weight of every tap shows
// in the result; `white` gives the largest sums the arithmetic meets.
QImage noisyPicture(QSize size, bool white, quint32 seed)
{
    QImage picture(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QRgb noise = random.generate();
            line[x] = white ? qRgb(255, 255, 255)
                            : qRgb(int(noise & 0xff), (x + int((noise >> 8) & 0x3f)) & 0xff,
                                   (y * 3 + int((noise >> 16) & 0x1f)) & 0xff);
        }
    }
    return picture;
}

QString firstDifference(const QImage &got, const QImage &expected)
{
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (got.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("(%1, %2): %3, Qt %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y), 8, 16)
                    .arg(expected.pixel(x, y), 8, 16);
    return {};
}

} // namespace

class TestRowShrinker : public QObject {
    Q_OBJECT

private slots:
    void sameAsQtSmoothScale_data();
    void sameAsQtSmoothScale();
    void wholeScaleSameAsQt_data();
    void wholeScaleSameAsQt();
};

void TestRowShrinker::sameAsQtSmoothScale_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("white");
    QTest::newRow("1.75, the 8000x6000 photo on a 1080 screen")
        << QSize(2000, 1500) << QSize(1143, 857) << false;
    QTest::newRow("1.75, all white") << QSize(2000, 1500) << QSize(1143, 857) << true;
    QTest::newRow("just under 2") << QSize(399, 301) << QSize(200, 151) << false;
    QTest::newRow("just over 2") << QSize(401, 303) << QSize(200, 151) << false;
    QTest::newRow("exactly 2") << QSize(400, 300) << QSize(200, 150) << false;
    QTest::newRow("one pixel less") << QSize(257, 193) << QSize(256, 192) << false;
    QTest::newRow("one pixel less, all white") << QSize(257, 193) << QSize(256, 192) << true;
    QTest::newRow("2000 across to 3") << QSize(2000, 40) << QSize(3, 17) << false;
    QTest::newRow("1500 down to 1") << QSize(30, 1500) << QSize(29, 1) << false;
    QTest::newRow("to a single pixel, white") << QSize(997, 701) << QSize(1, 1) << true;
    QTest::newRow("two by two to one") << QSize(2, 2) << QSize(1, 1) << false;
    QTest::newRow("tall") << QSize(31, 997) << QSize(13, 331) << false;
    QTest::newRow("wide") << QSize(997, 31) << QSize(331, 13) << false;
    QTest::newRow("primes") << QSize(1009, 743) << QSize(577, 421) << false;
    QTest::newRow("different ratios across and down") << QSize(640, 480) << QSize(601, 97) << false;
}

// Rows are fed one at a time; half-way, the rows already written must be
// final, and the rest must not have been written early.
void TestRowShrinker::sameAsQtSmoothScale()
{
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    QFETCH(bool, white);
    const QImage picture =
        noisyPicture(source, white, quint32(source.width() * 7919 + source.height()));
    const QImage expected = picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(expected.format(), QImage::Format_RGB32);

    QImage got(target, QImage::Format_RGB32);
    RowShrinker shrinker(plain(source), plain(target), reinterpret_cast<Rgb *>(got.bits()));
    QVERIFY(shrinker.isValid());
    const int half = source.height() / 2;
    for (int y = 0; y < half; ++y)
        shrinker.addRow(reinterpret_cast<const QRgb *>(picture.constScanLine(y)));
    const int early = shrinker.finishedRows();
    QVERIFY(early < target.height());
    QVERIFY(!shrinker.isComplete());
    QCOMPARE(got.copy(0, 0, target.width(), early), expected.copy(0, 0, target.width(), early));

    for (int y = half; y < source.height(); ++y)
        shrinker.addRow(reinterpret_cast<const QRgb *>(picture.constScanLine(y)));
    QVERIFY(shrinker.isComplete());
    const QString difference = firstDifference(got, expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestRowShrinker::wholeScaleSameAsQt_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("target");
    QTest::newRow("grown both ways, 1.5") << QSize(400, 300) << QSize(600, 450);
    QTest::newRow("grown both ways, 2") << QSize(97, 61) << QSize(194, 122);
    QTest::newRow("grown across, shrunk down") << QSize(300, 400) << QSize(451, 227);
    QTest::newRow("shrunk across, grown down") << QSize(400, 300) << QSize(227, 451);
    QTest::newRow("one way unchanged") << QSize(401, 300) << QSize(400, 300);
    QTest::newRow("unchanged") << QSize(64, 48) << QSize(64, 48);
    QTest::newRow("shrunk both ways") << QSize(640, 480) << QSize(601, 97);
}

void TestRowShrinker::wholeScaleSameAsQt()
{
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    const QImage picture = noisyPicture(source, false, quint32(source.width() + target.width()));
    const QImage expected = picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    mok::picture::Image whole = mok::picture::Image::allocate(plain(source));
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(whole.row(y), picture.constScanLine(y), size_t(source.width()) * 4);
    QImage got(target, QImage::Format_RGB32);
    QVERIFY(mok::picture::smoothScale(whole, plain(target), reinterpret_cast<Rgb *>(got.bits())));
    const QString difference = firstDifference(got, expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_GUILESS_MAIN(TestRowShrinker)
#include "tst_row_shrinker.moc"
