// The board on a high-density screen. CTest runs this at the scale factors
// 1, 1.25, 1.5 and 2 (QT_SCALE_FACTOR): the picture area holds device
// pixels, the pieces at home show them pixel for pixel with nothing around
// them but the background, and the rules and captions keep their logical
// numbers.
#include "gamefixture.h"
#include "geometry.h"
#include "preview.h"

#include <QPixmap>

namespace {

// The window as the screen shows it, in device pixels.
QImage shown(QWidget &window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect deviceRect(const QWidget *w, double ratio)
{
    return mok::toDevice(QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()), ratio);
}

// The first pixel of `rect` where `shot` differs from `expected(x, y)`, or
// an empty string.
template <typename Expected>
QString firstDifference(const QImage &shot, const QRect &rect, Expected expected)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb want = expected(x, y);
            if (shot.pixel(x, y) != want)
                return QStringLiteral("device pixel %1,%2 is %3, not %4")
                    .arg(x)
                    .arg(y)
                    .arg(shot.pixel(x, y), 8, 16)
                    .arg(want, 8, 16);
        }
    }
    return {};
}

} // namespace

class TestDevicePixels : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase();
    void assembledBoard_data();
    void assembledBoard();
};

void TestDevicePixels::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(qEnvironmentVariableIsSet("QT_SCALE_FACTOR"), "run by CTest at a scale factor");
}

void TestDevicePixels::assembledBoard_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QString>("level");
    QTest::newRow("whole preview, level 4")
        << QSize(400, 300) << QStringLiteral("Level 4 (25コマ)");
    QTest::newRow("fractional preview, level 1")
        << QSize(701, 499) << QStringLiteral("Level 1 (4コマ)");
    QTest::newRow("fractional preview, level 9")
        << QSize(1001, 700) << QStringLiteral("Level 9 (100コマ)");
}

// Opened and after Give up alike: the frame's device rectangle is covered by
// the pieces and shows the picture area's device pixels, black lines on its
// left and top as at 1x; the pixels around it are the background's.
void TestDevicePixels::assembledBoard()
{
    QFETCH(QSize, picture);
    QFETCH(QString, level);
    const QString path =
        makePicture(m_dir, QStringLiteral("p%1x%2.png").arg(picture.width()).arg(picture.height()),
                    picture.width(), picture.height());
    Game game;
    game.level()->setCurrentIndex(game.level()->findText(level));
    QVERIFY(openAndWait(game.window, path));
    const double ratio = game.window.devicePixelRatioF();
    QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());

    // The rules keep their logical numbers.
    const mok::Board &board = game.board();
    const int d = mok::previewDivisor(picture.width(), picture.height(), game.window.screenTwips());
    QCOMPARE(game.caption("lblPreview"), mok::previewCaption(d, picture.width(), picture.height()));
    QCOMPARE(board.pictureArea().width, float(picture.width()) * 15 / float(d));
    const QImage &area = board.pictureImage();
    QCOMPARE(area.devicePixelRatio(), ratio);
    QCOMPARE(area.width(), mok::roundHalfEven(double(picture.width()) / d * ratio));

    for (int round = 0; round < 2; ++round) {
        const QImage shot = shown(game.window);
        const QRect frame = deviceRect(game.find("shpOutline"), ratio);
        const int line = mok::deviceLineWidth(ratio);
        QString difference = firstDifference(shot, frame, [&](int x, int y) {
            if (x - frame.left() < line || y - frame.top() < line)
                return qRgb(0, 0, 0);
            return area.pixel(std::min(x - frame.left(), area.width() - 1),
                              std::min(y - frame.top(), area.height() - 1));
        });
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        // The gradient runs down the window, so a row of background is one
        // colour: the pixels beside the frame match the window's left edge.
        const QRect around = frame.adjusted(-1, -1, 1, 1);
        const auto background = [&](int, int y) { return shot.pixel(0, y); };
        for (const QRect &side : {QRect(around.left(), around.top(), around.width(), 1),
                                  QRect(around.left(), around.bottom(), around.width(), 1),
                                  QRect(around.left(), around.top(), 1, around.height()),
                                  QRect(around.right(), around.top(), 1, around.height())}) {
            difference = firstDifference(shot, side, background);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
        if (round == 0) {
            game.click("imgStart");
            game.click("imgGiveup");
        }
    }
}

QTEST_MAIN(TestDevicePixels)
#include "tst_device_pixels.moc"
