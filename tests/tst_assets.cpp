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
    // The icon, the logo and nine buttons with two faces each.
    QCOMPARE(pictures, 20);
}

void TestAssets::anUnknownNameGivesNoPicture()
{
    QVERIFY(mok::assetPixmap(QStringLiteral(":/faces/nothing.png")).isNull());
    QVERIFY(mok::assetPixmap(QString()).isNull());
}

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"
