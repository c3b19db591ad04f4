// The game's own pictures are baked into it at build time; they must show
// exactly what the PNGs they were baked from show.
#include "asset_pixmap.h"
#include "shownpixels.h"

#include <QDirIterator>
#include <QtTest>

class TestAssets : public QObject {
    Q_OBJECT
private slots:
    void everyPictureShowsItsPng();
    void anUnknownNameGivesNoPicture();
    void pickedForTheScreensDensity_data();
    void pickedForTheScreensDensity();
};

void TestAssets::everyPictureShowsItsPng()
{
    int pictures = 0;
    QDirIterator it(QStringLiteral(":/"), {QStringLiteral("*.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        const QPixmap png(name); // as the game used to read them
        const QPixmap baked = mok::assetPixmap(name);
        QVERIFY2(!baked.isNull(), qPrintable(name));
        QVERIFY2(shownPixels(baked) == shownPixels(png), qPrintable(name));
        ++pictures;
    }
    // The icon, the logo and nine buttons with two faces each, at 1x, 1.25x,
    // 1.5x and 2x.
    QCOMPARE(pictures, 4 * 20);
}

void TestAssets::anUnknownNameGivesNoPicture()
{
    QVERIFY(mok::assetPixmap(QStringLiteral(":/faces/nothing.png")).isNull());
    QVERIFY(mok::assetPixmap(QString()).isNull());
}

void TestAssets::pickedForTheScreensDensity_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("drawn");
    QTest::addColumn<double>("density");
    const QString open = QStringLiteral(":/faces/open.png");
    QTest::newRow("1x") << open << 1.0 << open << 1.0;
    QTest::newRow("1.25x") << open << 1.25 << QStringLiteral(":/faces/open@1.25x.png") << 1.25;
    QTest::newRow("1.4x") << open << 1.4 << QStringLiteral(":/faces/open@1.5x.png") << 1.5;
    QTest::newRow("1.5x") << open << 1.5 << QStringLiteral(":/faces/open@1.5x.png") << 1.5;
    QTest::newRow("1.8x") << open << 1.8 << QStringLiteral(":/faces/open@2x.png") << 2.0;
    QTest::newRow("logo 2x") << QStringLiteral(":/logo.png") << 2.0
                             << QStringLiteral(":/logo@2x.png") << 2.0;
    QTest::newRow("pressed link 1.5x") << QStringLiteral(":/faces/url_pressed.png") << 1.5
                                       << QStringLiteral(":/faces/url_pressed@1.5x.png") << 1.5;
}

// On a high-density screen a picture is the one drawn at that density,
// shown at the same logical size (to the nearest device pixel).
void TestAssets::pickedForTheScreensDensity()
{
    QFETCH(QString, name);
    QFETCH(double, ratio);
    QFETCH(QString, drawn);
    QFETCH(double, density);
    const QPixmap picked = mok::assetPixmap(name, ratio);
    QCOMPARE(picked.devicePixelRatio(), density);
    QVERIFY(shownPixels(picked) == shownPixels(QPixmap(drawn)));
    const QSize logical = QPixmap(name).size();
    QCOMPARE(picked.size(),
             QSize(int(logical.width() * density + 0.5), int(logical.height() * density + 0.5)));
}

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"
