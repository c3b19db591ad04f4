// The main window as it starts: where its controls stand, the gradient it
// paints, and the image buttons' deferred press.
#include "desktop.h"
#include "frmmain.h"
#include "imagebutton.h"
#include "piecewidget.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QtTest>

using mok::frmMain;
using mok::ImageButton;
using mok::PieceWidget;

class TestFrmMain : public QObject {
    Q_OBJECT
private slots:
    void coversTheScreenOnTop();
    void startsAtLevel4WithoutStartOrGiveUp();
    void layoutFor1024PixelsWide_data();
    void layoutFor1024PixelsWide();
    void layoutFollowsResize();
    void gradientRows_data();
    void gradientRows();
    void buttonsShowFacesAndTips();
    void clickShowsPressedFaceUntilTheTick();
    void captionsRenderInAJapaneseFont();
    void captionsAreWhiteOnTheGradient();
    void textIsDrawnWithTheFontsOwnHints();
    void bannerRunsOnceRoundWithOpenInert();
    void runningBannerIsBold();
    void bannerRecentresOnResizeWhileRunning();
    void captionRotatesByWholeCharacters_data();
    void captionRotatesByWholeCharacters();
};

namespace {

QColor pixelOf(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

} // namespace

void TestFrmMain::coversTheScreenOnTop()
{
    frmMain window;
    // Its owner shows it, never the window itself.
    QVERIFY(!window.isVisible());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), QGuiApplication::primaryScreen()->geometry());
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.screenTwips().widthTwips, 15360.0f);
    QCOMPARE(window.screenTwips().heightTwips, 11520.0f);
}

void TestFrmMain::startsAtLevel4WithoutStartOrGiveUp()
{
    frmMain window;
    window.show();
    auto *level = window.findChild<QComboBox *>(QStringLiteral("cboLevel"));
    QVERIFY(level);
    QCOMPARE(level->count(), 9);
    QCOMPARE(level->currentText(), QStringLiteral(u"Level 4 (25コマ)"));
    QCOMPARE(window.selectedLastIndex(), 24);
    QCOMPARE(level->itemText(8), QStringLiteral(u"Level 9 (100コマ)"));
    QCOMPARE(level->itemData(8).toInt(), 99);
    QVERIFY(level->isEnabled());
    QVERIFY(!level->isEditable());
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("imgStart"))->isHidden());
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("imgGiveup"))->isHidden());
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("shpOutline"))->isHidden());
    // No piece shows; they are made with the first picture.
    for (const QWidget *piece : window.findChildren<PieceWidget *>())
        QVERIFY(piece->isHidden());
    // A level choice carried over from an earlier window is put back by text.
    window.selectLevel(3);
    QCOMPARE(window.selectedLastIndex(), 3);
}

void TestFrmMain::layoutFor1024PixelsWide_data()
{
    // Design twips, laid out for 15360 x 11520 twips, shown at 15 twips a
    // pixel (halves to even).
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");
    QTest::addRow("imgOpen") << QStringLiteral("imgOpen") << QRect(8, 8, 125, 25);
    QTest::addRow("imgStart") << QStringLiteral("imgStart") << QRect(408, 8, 100, 20);   // 6120
    QTest::addRow("imgGiveup") << QStringLiteral("imgGiveup") << QRect(516, 8, 100, 20); // 7740
    QTest::addRow("cboLevel") << QStringLiteral("cboLevel") << QRect(408, 32, 209, 20);  // 6112.5
    QTest::addRow("imgMin") << QStringLiteral("imgMin") << QRect(864, 8, 70, 20);        // 12960
    QTest::addRow("imgExit") << QStringLiteral("imgExit") << QRect(941, 8, 70, 20);      // 14110
    QTest::addRow("imgReadme") << QStringLiteral("imgReadme")
                               << QRect(917, 715, 100, 20); // 13760, 10720
    QTest::addRow("imgVersion") << QStringLiteral("imgVersion")
                                << QRect(917, 741, 100, 20); // 11120
}

void TestFrmMain::layoutFor1024PixelsWide()
{
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    frmMain window;
    window.show();
    QCOMPARE(window.width(), 1024);
    QCOMPARE(window.findChild<QWidget *>(control)->geometry(), pixels);
}

void TestFrmMain::layoutFollowsResize()
{
    frmMain window;
    window.show();
    window.resize(800, 600); // 12000 x 9000 twips
    const auto left = [&](const char *name) {
        return window.findChild<QWidget *>(QLatin1String(name))->x();
    };
    const auto top = [&](const char *name) {
        return window.findChild<QWidget *>(QLatin1String(name))->y();
    };
    QCOMPARE(left("imgStart"), 296);  // 6000 - 1500 - 60 = 4440
    QCOMPARE(left("imgGiveup"), 404); // 6060
    QCOMPARE(left("imgExit"), 717);   // 10750 = 716.67
    QCOMPARE(top("imgReadme"), 547);  // 8200 = 546.67
    QCOMPARE(top("lblPath"), 573);    // 8600 = 573.33
    QCOMPARE(top("lblPreview"), 557); // 8350 = 556.67
    QCOMPARE(left("imgOpen"), 8);
    QCOMPARE(top("cboLevel"), 32);
    // The banner stays centred on the window.
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    QVERIFY(qAbs(banner->geometry().center().x() - 400) <= 1);
    QVERIFY(qAbs(banner->geometry().center().y() - 300) <= 1);
}

void TestFrmMain::gradientRows_data()
{
    QTest::addColumn<int>("height");
    QTest::addRow("256 rows, one per band") << 256;
    QTest::addRow("300 rows, bands of 1 or 2") << 300;
    QTest::addRow("512 rows, two per band") << 512;
    QTest::addRow("100 rows, empty bands") << 100;
}

void TestFrmMain::gradientRows()
{
    QFETCH(int, height);
    frmMain window;
    window.show();
    window.resize(1024, height);
    // Column 250 lies clear of every control at any height.
    const QImage image = window.grab().toImage();
    QCOMPARE(image.height(), height);
    QList<int> blues;
    for (int y = 0; y < height; ++y) {
        const QColor c = pixelOf(image, 250, y);
        QCOMPARE(c.red(), 0);
        QCOMPARE(c.green(), 0);
        blues << c.blue();
        // The whole row has the one colour, out to the right edge.
        QCOMPARE(pixelOf(image, 1023, y).blue(), c.blue());
    }
    if (height == 256) {
        for (int y = 0; y < 256; ++y)
            QCOMPARE(blues[y], 255 - y);
    } else if (height == 512) {
        for (int y = 0; y < 512; ++y)
            QCOMPARE(blues[y], 255 - y / 2);
    } else if (height == 300) {
        // Band edges at round(1.171875 i), halves to even: band 2 spans
        // 2.34375..3.515625, i.e. rows 2 and 3.
        QCOMPARE(blues[0], 255);
        QCOMPARE(blues[1], 254);
        QCOMPARE(blues[2], 253);
        QCOMPARE(blues[3], 253);
        QCOMPARE(blues[299], 0);
        for (int b = 0; b < 256; ++b) {
            const int rows = static_cast<int>(blues.count(b));
            QVERIFY2(rows == 1 || rows == 2, qPrintable(QString::number(b)));
        }
    } else {
        // Band 0 covers round(0)..round(0.390625) = nothing, so row 0 is
        // band 1; band 255 starts at round(99.609375) = 100, past the last
        // row, which ends near black.
        QCOMPARE(blues[0], 254);
        QCOMPARE(blues[99], 1);
        for (int y = 1; y < height; ++y)
            QVERIFY(blues[y] < blues[y - 1]);
    }
}

void TestFrmMain::buttonsShowFacesAndTips()
{
    frmMain window;
    window.show();
    const struct {
        const char *name;
        const char16_t *tip;
        QSize size;
    } buttons[] = {
        {"imgOpen", u"ピクチャファイルを開く", {125, 25}},
        {"imgStart", u"スタート", {100, 20}},
        {"imgGiveup", u"ギブアップ", {100, 20}},
        {"imgReadme", u"readme", {100, 20}},
        {"imgVersion", u"バージョン情報", {100, 20}},
        {"imgMin", u"＿ タスクトレイへ移動", {70, 20}},
        {"imgExit", u"× 閉じる", {70, 20}},
    };
    for (const auto &b : buttons) {
        auto *button = window.findChild<ImageButton *>(QLatin1String(b.name));
        QVERIFY2(button, b.name);
        QCOMPARE(button->toolTip(), QString::fromUtf16(b.tip));
        QCOMPARE(button->picture().size(), b.size);
        QCOMPARE(button->size(), b.size);
    }
}

void TestFrmMain::clickShowsPressedFaceUntilTheTick()
{
    frmMain window;
    window.show();
    auto *open = window.findChild<ImageButton *>(QStringLiteral("imgOpen"));
    auto *timer = window.findChild<QTimer *>(QStringLiteral("tmrMain"));
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 100);
    const QImage normal = open->picture().toImage();
    QSignalSpy opened(&window, &frmMain::openRequested);

    QTest::mouseClick(open, Qt::LeftButton);
    // Nothing happens yet but the pressed face and an armed timer.
    QVERIFY(timer->isActive());
    QVERIFY(open->isPressed());
    QVERIFY(open->picture().toImage() != normal);
    QCOMPARE(opened.count(), 0);

    QVERIFY(opened.wait(1000));
    // The level goes as the list's item data: Level 4's last piece index.
    QCOMPARE(opened.first().first().toInt(), 24);
    QCOMPARE(open->picture().toImage(), normal);
    QVERIFY(!open->isPressed());
    QVERIFY(!timer->isActive());

    // A right click is not a click.
    QTest::mouseClick(open, Qt::RightButton);
    QVERIFY(!timer->isActive());
}

void TestFrmMain::captionsRenderInAJapaneseFont()
{
    frmMain window;
    window.show();
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    const QFontInfo info(banner->font());
    // Whatever face the desktop resolves to must have the glyphs.
    QVERIFY2(QFontMetrics(banner->font()).inFontUcs4(U'ピ'), qPrintable(info.family()));
    QVERIFY(QFontMetrics(window.font()).inFontUcs4(U'コ'));
    QCOMPARE(window.font().pointSize(), 9);
    QCOMPARE(window.font().families().first(), QStringLiteral("MS UI Gothic"));
}

// Captions are white text straight on the gradient, with no box behind
// them: where the banner changes the window it is white or white blended
// over the blue, and elsewhere the gradient shows through unchanged.
void TestFrmMain::captionsAreWhiteOnTheGradient()
{
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.settleBanner();
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    QVERIFY(banner->isVisible());
    const QImage shot = window.grab().toImage();
    banner->hide();
    const QImage bare = window.grab().toImage();
    const QRect area = banner->geometry();
    int white = 0;
    int unchanged = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            if (pixel == bare.pixel(x, y)) {
                ++unchanged;
                continue;
            }
            QCOMPARE(qRed(pixel), qGreen(pixel));
            QVERIFY(qRed(pixel) > 0);
            white += pixel == qRgb(255, 255, 255) ? 1 : 0;
        }
    }
    QVERIFY(white > 0);
    QVERIFY(unchanged > 0);
}

// The game's own captions and every dialog are drawn with the font's own
// hints rather than FreeType's auto-hinter.
void TestFrmMain::textIsDrawnWithTheFontsOwnHints()
{
    QCOMPARE(mok::platform::uiFont(9).hintingPreference(), QFont::PreferFullHinting);
    const QFont before = QApplication::font();
    mok::platform::useFontHints();
    QCOMPARE(QApplication::font().hintingPreference(), QFont::PreferFullHinting);
    QCOMPARE(QApplication::font().families(), before.families());
    QFileDialog dialog;
    QCOMPARE(dialog.font().hintingPreference(), QFont::PreferFullHinting);
    QApplication::setFont(before);
}

void TestFrmMain::bannerRunsOnceRoundWithOpenInert()
{
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    auto *scroll = window.findChild<QTimer *>(QStringLiteral("tmrScroll"));
    auto *open = window.findChild<ImageButton *>(QStringLiteral("imgOpen"));
    const QString caption = banner->text();
    QSignalSpy opened(&window, &frmMain::openRequested);

    // Ticks are stepped by hand; the event loop does not run meanwhile.
    window.startBanner();
    QVERIFY(banner->isVisible() && scroll->isActive());
    QCOMPARE(scroll->interval(), 100);
    QCOMPARE(banner->font().pointSizeF(), 99.75);
    QCOMPARE(banner->size(), QSize(161, 129)); // 2415 x 1935 twips: clipped
    for (int tick = 1; tick <= 16; ++tick)
        window.tmrScroll_Timer();
    QVERIFY(banner->text().startsWith(u'！'));
    QVERIFY(scroll->isActive());
    QVERIFY(!open->isEnabled());
    QTest::mouseClick(open, Qt::LeftButton); // does nothing, not even later

    window.tmrScroll_Timer(); // the 17th: back in order
    QCOMPARE(banner->text(), caption);
    QVERIFY(!scroll->isActive());
    QVERIFY(open->isEnabled());
    QCOMPARE(banner->font().pointSizeF(), 20.0);
    QVERIFY(banner->font().bold() && banner->font().italic());
    QCOMPARE(banner->size(), banner->sizeHint());
    QVERIFY((banner->geometry().center() - QPoint(512, 384)).manhattanLength() <= 2);
    QTest::qWait(300);
    QCOMPARE(opened.count(), 0);
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(opened.wait(5000));
}

// At 99.75 point the Japanese UI font, which has no bold face, was drawn as
// thin as regular: bold must put clearly more ink on the screen.
void TestFrmMain::runningBannerIsBold()
{
    frmMain window;
    window.show();
    window.startBanner();
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    const auto ink = [banner] {
        const QImage shown = banner->grab().toImage();
        qint64 sum = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                sum += qAlpha(shown.pixel(x, y)) * qGray(shown.pixel(x, y)) / 255;
        return sum;
    };
    const qint64 bold = ink();
    QFont regular = banner->font();
    regular.setBold(false);
    banner->setFont(regular);
    const qint64 thin = ink();
    QVERIFY(thin > 0);
    // FreeType's own synthetic bold adds a 24th of the em to every stroke,
    // half as much again as the font's regular strokes.
    QVERIFY2(bold * 100 >= thin * 130, qPrintable(QStringLiteral("%1 / %2").arg(bold).arg(thin)));
}

void TestFrmMain::bannerRecentresOnResizeWhileRunning()
{
    frmMain window;
    window.show();
    window.startBanner();
    window.tmrScroll_Timer();
    window.resize(800, 600);
    auto *banner = window.findChild<QLabel *>(QStringLiteral("lblOpening"));
    QCOMPARE(banner->size(), QSize(161, 129));
    QVERIFY((banner->geometry().center() - QPoint(400, 300)).manhattanLength() <= 2);
}

void TestFrmMain::captionRotatesByWholeCharacters_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("rotated");
    QTest::addRow("the slogan") << QStringLiteral(u"いろんなピクチャでジグソーパズル！")
                                << QStringLiteral(u"ろんなピクチャでジグソーパズル！い");
    QTest::addRow("a character of two UTF-16 units")
        << QStringLiteral(u"\U00020BB7野家") << QStringLiteral(u"野家\U00020BB7");
    QTest::addRow("a base and its combining mark")
        << QStringLiteral(u"か\u3099ん") << QStringLiteral(u"んか\u3099");
    QTest::addRow("empty") << QString() << QString();
}

void TestFrmMain::captionRotatesByWholeCharacters()
{
    QFETCH(QString, caption);
    QFETCH(QString, rotated);
    QCOMPARE(frmMain::rotatedCaption(caption), rotated);
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
