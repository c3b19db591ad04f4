// The game's own pictures are baked into it at build time; they must show
// exactly what the PNGs they were baked from show.
#include "asset_pixmap.h"
#include "shownpixels.h"

#include <QDirIterator>
#include <QtTest>

namespace {

// The PNG a baked picture was made from, as the test's own resources hold
// it: "faces/open" at 1.5 is ":/faces/open@1.5x.png".
QString pngOf(const QString &name, double density = 1)
{
    const QString drawn = density == 1 ? QString() : QStringLiteral("@%1x").arg(density);
    return QStringLiteral(":/") + name + drawn + QStringLiteral(".png");
}

} // namespace

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
        const QString path = it.next();
        const QPixmap png(path); // as the game used to read them
        // ":/faces/open@1.5x.png" is "faces/open" drawn at 1.5.
        QString name = path.mid(2, path.size() - 6);
        double density = 1;
        if (const qsizetype at = name.indexOf(QLatin1Char('@')); at >= 0) {
            density = name.mid(at + 1).chopped(1).toDouble();
            name.truncate(at);
        }
        QCOMPARE(pngOf(name, density), path);
        const QPixmap baked = mok::assetPixmap(name, density);
        QVERIFY2(!baked.isNull(), qPrintable(path));
        QCOMPARE(baked.devicePixelRatio(), density);
        QVERIFY2(shownPixels(baked) == shownPixels(png), qPrintable(path));
        ++pictures;
    }
    // The icon, the logo and nine buttons with two faces each, at 1x, 1.25x,
    // 1.5x and 2x.
    QCOMPARE(pictures, 4 * 20);
}

void TestAssets::anUnknownNameGivesNoPicture()
{
    QVERIFY(mok::assetPixmap(QStringLiteral("faces/nothing")).isNull());
    // Names are not resource paths.
    QVERIFY(mok::assetPixmap(QStringLiteral(":/faces/open.png")).isNull());
    QVERIFY(mok::assetPixmap(QString()).isNull());
}

void TestAssets::pickedForTheScreensDensity_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("drawn");
    QTest::addColumn<double>("density");
    const QString open = QStringLiteral("faces/open");
    QTest::newRow("1x") << open << 1.0 << QStringLiteral(":/faces/open.png") << 1.0;
    QTest::newRow("1.25x") << open << 1.25 << QStringLiteral(":/faces/open@1.25x.png") << 1.25;
    QTest::newRow("1.4x") << open << 1.4 << QStringLiteral(":/faces/open@1.5x.png") << 1.5;
    QTest::newRow("1.5x") << open << 1.5 << QStringLiteral(":/faces/open@1.5x.png") << 1.5;
    QTest::newRow("1.8x") << open << 1.8 << QStringLiteral(":/faces/open@2x.png") << 2.0;
    QTest::newRow("logo 2x") << QStringLiteral("logo") << 2.0 << QStringLiteral(":/logo@2x.png")
                             << 2.0;
    QTest::newRow("pressed link 1.5x") << QStringLiteral("faces/url_pressed") << 1.5
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
    const QSize logical = QPixmap(pngOf(name)).size();
    QCOMPARE(picked.size(),
             QSize(int(logical.width() * density + 0.5), int(logical.height() * density + 0.5)));
}

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"
