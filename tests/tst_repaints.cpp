// What the player's actions cost on the screen: which areas repaint, and in
// how many frames. Areas and counts, not times, so the checks hold on any
// machine.
#include "dragframe.h"
#include "gamefixture.h"

#include <QPaintEvent>
#include <QPainter>

#include <functional>

using mok::DragFrame;
using mok::frmMain;
using mok::PieceWidget;

namespace {

// Records every paint event of the window and its controls, in window
// coordinates.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    ~PaintRecorder() override { qApp->removeEventFilter(this); }

    QRegion painted; // everything repainted, window and controls alike
    int windowPaints = 0;
    // Called on each paint of the window itself, before it paints.
    std::function<void(const QRegion &)> onWindowPaint;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->window() != m_window)
            return false;
        const QRegion region = static_cast<QPaintEvent *>(event)->region();
        painted += region.translated(widget->mapTo(m_window, QPoint(0, 0)));
        if (widget == m_window) {
            ++windowPaints;
            if (onWindowPaint)
                onWindowPaint(region);
        }
        return false;
    }

private:
    QWidget *m_window;
};

// Lets the window paint everything it has pending.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QTest::qWait(20);
}

} // namespace

class TestRepaints : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void backgroundPaintedInPartsMatchesWhole_data();
    void backgroundPaintedInPartsMatchesWhole();
    void thinStripsOfTheWindowMatchTheWhole();
    void dragOutlineIsDrawnOnItsStrips_data();
    void dragOutlineIsDrawnOnItsStrips();
    void grabAndDragRepaintOnlyThePieceAndTheOutline();
    void startClearsTheOldLayoutInOneFrameBeforeTheNewOne();

private:
    QTemporaryDir m_dir;
    QString m_picture;
};

void TestRepaints::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = makePicture(m_dir, QStringLiteral("xga.bmp"), 1024, 768);
}

void TestRepaints::backgroundPaintedInPartsMatchesWhole_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addRow("1920x1080") << QSize(1920, 1080);
    QTest::addRow("1024x768") << QSize(1024, 768);
    QTest::addRow("bands under a pixel") << QSize(300, 170);
}

void TestRepaints::backgroundPaintedInPartsMatchesWhole()
{
    // The window repaints its gradient in whatever strips a drag exposes;
    // the bands must meet exactly as when it is painted whole.
    QFETCH(QSize, size);
    const QRect client(QPoint(0, 0), size);
    QImage whole(size, QImage::Format_RGB32);
    whole.fill(Qt::magenta);
    QImage parts = whole;
    {
        QPainter painter(&whole);
        frmMain::Gradation(painter, client);
    }
    QPainter painter(&parts);
    for (int y = 0; y < size.height(); y += 7)
        for (int x = 0; x < size.width(); x += 500)
            frmMain::Gradation(painter, client, QRect(x, y, 500, 7));
    painter.end();
    QCOMPARE(parts, whole);
    QCOMPARE(whole.pixel(0, 0), qRgb(0, 0, 255));
}

// A drag repaints strips two pixels wide, which the window copies from a
// column of its bands rather than filling band by band: the pixels must be
// the same either way, down the whole height and across the window.
void TestRepaints::thinStripsOfTheWindowMatchTheWhole()
{
    Game game;
    const QImage whole = game.window.grab().toImage();
    const int w = game.window.width();
    for (int x : {0, 31, w / 2, w - 2}) {
        const QRect strip(x, 0, 2, game.window.height());
        QCOMPARE(game.window.grab(strip).toImage(), whole.copy(strip));
    }
}

void TestRepaints::dragOutlineIsDrawnOnItsStrips_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addRow("a piece") << QRect(30, 20, 103, 78);
    QTest::addRow("one pixel wide") << QRect(30, 20, 1, 40);
    QTest::addRow("three by three") << QRect(5, 5, 3, 3);
}

void TestRepaints::dragOutlineIsDrawnOnItsStrips()
{
    // Every pixel of the outline's strips shows a dash (black or white), and
    // nothing outside them changes.
    QFETCH(QRect, frame);
    QWidget parent;
    parent.resize(200, 150);
    parent.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::green);
    parent.setPalette(palette);
    DragFrame outline(&parent);
    outline.begin(frame);
    outline.moveTo(frame.topLeft() + QPoint(11, 7));
    const QRect at = frame.translated(11, 7);
    const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRegion border = DragFrame::borderOf(at);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            const bool dash = pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255);
            if (border.contains(QPoint(x, y)) ? !dash : pixel != qRgb(0, 255, 0))
                QFAIL(qPrintable(
                    QStringLiteral("pixel (%1, %2) is %3").arg(x).arg(y).arg(pixel, 8, 16)));
        }
    }
    QVERIFY(border.boundingRect() == at);
    // Dashes of six black pixels every nine, counted from the frame's corner
    // down and across every side, so they move with the frame.
    const auto black = [&](int x, int y) { return shot.pixel(x, y) == qRgb(0, 0, 0); };
    for (int k = 0; k < at.width(); ++k) {
        QCOMPARE(black(at.left() + k, at.top()), k % 9 < 6);
        QCOMPARE(black(at.left() + k, at.bottom()), k % 9 < 6);
    }
    for (int k = DragFrame::kThickness; k < at.height() - DragFrame::kThickness; ++k) {
        QCOMPARE(black(at.left(), at.top() + k), k % 9 < 6);
        QCOMPARE(black(at.right(), at.top() + k), k % 9 < 6);
    }
    outline.end();
    QCOMPARE(parent.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(at.topLeft()),
             qRgb(0, 255, 0));
}

void TestRepaints::grabAndDragRepaintOnlyThePieceAndTheOutline()
{
    Game game;
    game.window.selectLevel(99);
    QVERIFY(QTest::qWaitForWindowExposed(&game.window));
    QVERIFY(openAndWait(game.window, m_picture));
    game.click("imgStart");
    settle();

    PieceWidget *piece = game.piece(42);
    const QRect at = piece->geometry();
    const QPoint grab(6, 5);
    PaintRecorder recorder(&game.window);
    QTest::mousePress(piece, Qt::LeftButton, {}, grab);
    settle();
    // The piece comes to the front and the outline appears over it; nothing
    // else of the window is touched.
    const QRegion outline = DragFrame::borderOf(at);
    QVERIFY(!recorder.painted.isEmpty());
    QCOMPARE(recorder.painted.subtracted(QRegion(at) + outline), QRegion());

    // Each move repaints the outline where it was and where it is now.
    QRect frame = at;
    for (const QPoint moved : {QPoint(40, 25), QPoint(47, 29), QPoint(300, 200)}) {
        recorder.painted = QRegion();
        QTest::mouseMove(piece, grab + moved);
        settle();
        const QRect next = at.translated(moved);
        QVERIFY(!recorder.painted.isEmpty());
        QCOMPARE(
            recorder.painted.subtracted(DragFrame::borderOf(frame) + DragFrame::borderOf(next)),
            QRegion());
        frame = next;
    }
    QTest::mouseRelease(piece, Qt::LeftButton, {}, grab + QPoint(300, 200));
    QCOMPARE(piece->pos(), at.topLeft() + QPoint(300, 200));
}

void TestRepaints::startClearsTheOldLayoutInOneFrameBeforeTheNewOne()
{
    Game game;
    game.window.selectLevel(99);
    QVERIFY(QTest::qWaitForWindowExposed(&game.window));
    QVERIFY(openAndWait(game.window, m_picture));
    settle();
    QRegion oldLayout;
    for (int i = 0; i < 100; ++i)
        oldLayout += game.piece(i)->geometry();

    // The press only changes the button's face; Start runs on the tick.
    QTest::mouseClick(game.find<QWidget>("imgStart"), Qt::LeftButton);
    settle();
    PaintRecorder recorder(&game.window);
    QStringList frames;
    recorder.onWindowPaint = [&](const QRegion &region) {
        int shown = 0;
        for (int i = 0; i < 100; ++i)
            shown += game.piece(i)->isVisible() ? 1 : 0;
        frames << QStringLiteral("%1 pieces shown, old layout %2 repainted")
                      .arg(shown)
                      .arg(region.contains(oldLayout.boundingRect()) ||
                                   oldLayout.subtracted(region).isEmpty()
                               ? QStringLiteral("all")
                               : QStringLiteral("not all"));
    };
    QTRY_VERIFY(!game.find<QTimer>("tmrMain")->isActive());
    settle();

    // A hundred pieces vanishing one by one, each flushed on its own, look
    // the same as all of them vanishing in one frame, and cost a hundred
    // full-window repaints: the player sees the board cleared, then the
    // new layout.
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0], QStringLiteral("0 pieces shown, old layout all repainted"));
    QCOMPARE(frames[1].left(18), QStringLiteral("100 pieces shown, "));
    QVERIFY(!game.board().bordersHidden());
}

QTEST_MAIN(TestRepaints)
#include "tst_repaints.moc"
