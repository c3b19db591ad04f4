// Choosing the preview divisor and writing the captions.
#include "preview.h"

#include <QtTest>

using mok::Screen;

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void divisor_data();
    void divisor();
    void caption_data();
    void caption();
    void cellsMustBeAPixel();
    void pictureAreaInTwips_data();
    void pictureAreaInTwips();
};

void TestPreview::divisor_data()
{
    QTest::addColumn<Screen>("screen");
    QTest::addColumn<float>("w");
    QTest::addColumn<float>("h");
    QTest::addColumn<int>("d");
    // On 1024 x 768 the room is 819.2 x 614.4 pixels.
    const Screen xga = Screen::fromPixels(1024, 768);
    QTest::addRow("800x600 fits") << xga << 800.f << 600.f << 1;
    QTest::addRow("1024x768") << xga << 1024.f << 768.f << 2;
    QTest::addRow("4000x3000") << xga << 4000.f << 3000.f << 5;
    QTest::addRow("1023x700") << xga << 1023.f << 700.f << 2;
    QTest::addRow("wide and low, by width") << xga << 2000.f << 10.f << 3;
    QTest::addRow("tall and narrow, by height") << xga << 10.f << 1900.f << 4;
    // Past five times the room the series goes on until the board fits.
    QTest::addRow("exactly five times") << xga << 4096.f << 3072.f << 5;
    QTest::addRow("just over five times") << xga << 4097.f << 10.f << 6;
    QTest::addRow("8000x6000 photo") << xga << 8000.f << 6000.f << 10;
    QTest::addRow("8000x6000 on 1280x1024")
        << Screen::fromPixels(1280, 1024) << 8000.f << 6000.f << 8;
    QTest::addRow("huge strip") << xga << 65535.f << 1.f << 80;
    // 2^31 as a float is exactly 2621440 rooms.
    QTest::addRow("largest BMP side") << xga << 2147483647.f << 1.f << 2621440;
    // Exactly the room is d = 1, one pixel more is d = 2 (a screen whose
    // room is whole: 1000 x 500 pixels gives 800 x 400).
    const Screen even = Screen::fromPixels(1000, 500);
    QTest::addRow("exactly the room") << even << 800.f << 400.f << 1;
    QTest::addRow("one pixel wider") << even << 801.f << 400.f << 2;
    QTest::addRow("one pixel taller") << even << 800.f << 401.f << 2;
    QTest::addRow("exactly twice") << even << 1600.f << 800.f << 2;
    QTest::addRow("just over four times") << even << 3201.f << 10.f << 5;
    // The room always counts 15 twips to the pixel, whatever the screen.
    QTest::addRow("120 dpi screen") << Screen{15360, 11520, 12, 12} << 1024.f << 768.f << 2;
}

void TestPreview::divisor()
{
    QFETCH(Screen, screen);
    QFETCH(float, w);
    QFETCH(float, h);
    QFETCH(int, d);
    QCOMPARE(mok::previewDivisor(w, h, screen), d);
}

void TestPreview::caption_data()
{
    QTest::addColumn<float>("w");
    QTest::addColumn<float>("h");
    QTest::addColumn<QString>("caption");
    const Screen xga = Screen::fromPixels(1024, 768);
    Q_UNUSED(xga);
    QTest::addRow("1/1")
        << 800.f << 600.f
        << QStringLiteral(
               u"プレビューサイズ : 1/1   [ 800pixel * 600pixel / 800pixel * 600pixel ]");
    QTest::addRow("1/2")
        << 1024.f << 768.f
        << QStringLiteral(
               u"プレビューサイズ : 1/2   [ 512pixel * 384pixel / 1024pixel * 768pixel ]");
    QTest::addRow("1/5")
        << 4000.f << 3000.f
        << QStringLiteral(
               u"プレビューサイズ : 1/5   [ 800pixel * 600pixel / 4000pixel * 3000pixel ]");
    QTest::addRow("1/3 fractions")
        << 1023.f << 700.f * 2 + 1
        << QStringLiteral(
               u"プレビューサイズ : 1/3   [ 341pixel * 467pixel / 1023pixel * 1401pixel ]");
    QTest::addRow("1/6")
        << 4097.f << 3000.f
        << QStringLiteral(
               u"プレビューサイズ : 1/6   [ 682.8333pixel * 500pixel / 4097pixel * 3000pixel ]");
    QTest::addRow("1/10")
        << 8000.f << 6000.f
        << QStringLiteral(
               u"プレビューサイズ : 1/10   [ 800pixel * 600pixel / 8000pixel * 6000pixel ]");
    QTest::addRow("1/5 fraction")
        << 1024.f << 3001.f
        << QStringLiteral(
               u"プレビューサイズ : 1/5   [ 204.8pixel * 600.2pixel / 1024pixel * 3001pixel ]");
}

void TestPreview::caption()
{
    QFETCH(float, w);
    QFETCH(float, h);
    QFETCH(QString, caption);
    const int d = mok::previewDivisor(w, h, Screen::fromPixels(1024, 768));
    QCOMPARE(mok::previewCaption(d, w, h), caption);
}

void TestPreview::cellsMustBeAPixel()
{
    const Screen xga = Screen::fromPixels(1024, 768);
    // Seven significant digits, no trailing zeros.
    QCOMPARE(mok::shortNumber(700.0f / 3), QStringLiteral("233.3333"));
    QCOMPARE(mok::shortNumber(1023.0f / 3), QStringLiteral("341"));
    QCOMPARE(mok::previewCaption(3, 1023, 700),
             QStringLiteral(
                 u"プレビューサイズ : 1/3   [ 341pixel * 233.3333pixel / 1023pixel * 700pixel ]"));
    QCOMPARE(mok::pathCaption(QStringLiteral(u"/写真/a.jpg")),
             QStringLiteral(u"ピクチャ : /写真/a.jpg"));

    // A 20-pixel-wide area has 2-pixel cells at level 9 but a 9-pixel one
    // has not even a pixel per cell.
    QVERIFY(mok::cellsAreVisible(20 * 15, 20 * 15, 10, xga));
    QVERIFY(mok::cellsAreVisible(10 * 15, 10 * 15, 10, xga));
    QVERIFY(!mok::cellsAreVisible(9 * 15, 300, 10, xga));
    QVERIFY(!mok::cellsAreVisible(300, 1 * 15, 2, xga));
    QVERIFY(!mok::cellsAreVisible(0, 0, 2, xga));
    QVERIFY(mok::cellsAreVisible(2 * 15, 2 * 15, 2, xga));
}

// The area the board cuts: the picture at the screen's own twips per pixel,
// shrunk by the divisor, a fraction of a twip kept.
void TestPreview::pictureAreaInTwips_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<float>("tpp");
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::newRow("96 dpi, halved") << QSize(1600, 1200) << 2 << 15.0f << 12000.0f << 9000.0f;
    QTest::newRow("120 dpi, thirds") << QSize(1000, 701) << 3 << 12.0f << 4000.0f << 2804.0f;
    QTest::newRow("fraction of a twip") << QSize(1001, 7) << 7 << 1.0f << 143.0f << 1.0f;
    QTest::newRow("a third of a twip") << QSize(1, 2) << 3 << 1.0f << 1.0f / 3 << 2.0f / 3;
}

void TestPreview::pictureAreaInTwips()
{
    QFETCH(QSize, picture);
    QFETCH(int, divisor);
    QFETCH(float, tpp);
    QFETCH(float, width);
    QFETCH(float, height);
    const mok::AreaTwips area = mok::pictureArea({picture.width(), picture.height()}, divisor,
                                                 Screen::fromPixels(1024, 768, tpp, tpp));
    QCOMPARE(area.width, width);
    QCOMPARE(area.height, height);
}

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
