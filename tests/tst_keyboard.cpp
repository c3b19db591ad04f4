// The game played with the keyboard alone: the focus moved between pieces,
// a piece picked up, carried and dropped by keys, landing exactly where the
// same move by mouse lands, and Escape putting the outline away.
#include "boardview.h"
#include "desktop.h"
#include "dragframe.h"
#include "gamefixture.h"
#include "modalwatcher.h"
#include "testmain.h"

#include <QAccessible>

#include <cmath>

using mok::BoardView;
using mok::DragFrame;

namespace {

// Counts the mouse events the whole program receives.
class MouseCounter : public QObject {
public:
    MouseCounter() { qApp->installEventFilter(this); }
    ~MouseCounter() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            ++count;
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wholeLevel1GameByKeyboard();
    void keyboardAndMouseDropsLandAlike_data();
    void keyboardAndMouseDropsLandAlike();
    void outlineGoesAndNothingMoves_data();
    void outlineGoesAndNothingMoves();
    void arrowsMoveTheFocusByPlace_data();
    void arrowsMoveTheFocusByPlace();

private:
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_game->window.windowHandle(), key, modifiers);
    }
    int focusedPiece() const
    {
        const auto *piece = qobject_cast<PieceWidget *>(QApplication::focusWidget());
        return piece ? piece->index() : -1;
    }
    // Carries a lifted piece's outline `by` pixels, in as few presses as the
    // README's steps allow: 100 pixels with Shift, 10 without.
    void carry(QPoint by);
    // A level 1 game, started, with the window active.
    bool startLevel1();
    DragFrame *outline() { return m_game->find<DragFrame>("dragFrame"); }

    QTemporaryDir m_dir;
    QString m_picture;
    std::unique_ptr<Game> m_game;
};

void TestKeyboard::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // At level 1 on 1024 x 768 its homes lie on whole pixels: the board is
    // at (362, 284) and its cells are 150 x 100 pixels.
    m_picture = makePicture(m_dir, QStringLiteral("small.bmp"), 300, 200);
    const mok::Screen s = mok::platform::primaryScreen();
    QCOMPARE(BoardView::smallStep(s.tppX), 10);
    QCOMPARE(BoardView::smallStep(s.tppY), 10);
    QCOMPARE(BoardView::kLargeSteps, 10);
}

void TestKeyboard::init()
{
    m_game = std::make_unique<Game>();
    m_game->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_game->window));
}

void TestKeyboard::cleanup()
{
    m_game.reset();
}

bool TestKeyboard::startLevel1()
{
    m_game->window.selectLevel(3);
    if (!openAndWait(m_game->window, m_picture))
        return false;
    m_game->click("imgStart");
    return m_game->find("imgGiveup")->isVisible();
}

void TestKeyboard::carry(QPoint by)
{
    const auto along = [this](int pixels, Qt::Key forward, Qt::Key back) {
        const Qt::Key direction = pixels < 0 ? back : forward;
        const int length = std::abs(pixels);
        for (int i = 0; i < length / 100; ++i)
            key(direction, Qt::ShiftModifier);
        for (int i = 0; i < static_cast<int>(std::lround((length % 100) / 10.0)); ++i)
            key(direction);
    };
    along(by.x(), Qt::Key_Right, Qt::Key_Left);
    along(by.y(), Qt::Key_Down, Qt::Key_Up);
}

void TestKeyboard::wholeLevel1GameByKeyboard()
{
    MouseCounter mouse;
    Game &game = *m_game;
    game.find("imgOpen")->setFocus();
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), game.level());
    key(Qt::Key_Home);
    QCOMPARE(game.window.selectedLastIndex(), 3); // Level 1 (4コマ)
    // The picture as if chosen in the file dialog.
    QVERIFY(openAndWait(game.window, m_picture));
    QCOMPARE(QApplication::focusWidget(), game.find("imgStart"));
    key(Qt::Key_Space);
    QTRY_VERIFY(game.find("imgGiveup")->isVisible());

    ModalWatcher watcher;
    key(Qt::Key_F6);
    for (int n = 0; n < 4; ++n) {
        const int i = focusedPiece();
        QCOMPARE(i, n);
        key(Qt::Key_Space);
        carry(game.homePixels(i) - game.piece(i)->pos());
        key(Qt::Key_Return);
        QCOMPARE(game.piece(i)->pos(), game.homePixels(i));
        if (n < 3)
            key(Qt::Key_PageDown);
    }
    QTRY_COMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().text, QStringLiteral(u"Level 1 クリア！おめでとう！！！"));
    QCOMPARE(mouse.count, 0);

    // A finished board takes no picks: the focus cannot go onto it.
    QTRY_VERIFY(!game.piece(0)->isEnabled());
    key(Qt::Key_F6);
    QCOMPARE(focusedPiece(), -1);
}

void TestKeyboard::keyboardAndMouseDropsLandAlike_data()
{
    // Where piece 0 starts and where it is let go, from its home, in pixels;
    // 10 pixels are the 150 twips within which it snaps.
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("letGo");
    QTest::addColumn<QPoint>("landed");
    QTest::addRow("onto home") << QPoint(230, 140) << QPoint(0, 0) << QPoint(0, 0);
    QTest::addRow("9 pixels off snaps") << QPoint(239, 131) << QPoint(9, -9) << QPoint(0, 0);
    QTest::addRow("10 pixels off stays") << QPoint(240, 150) << QPoint(10, 10) << QPoint(10, 10);
    QTest::addRow("home on one axis only") << QPoint(230, 150) << QPoint(0, 10) << QPoint(0, 10);
    QTest::addRow("far off") << QPoint(230, 140) << QPoint(-120, 60) << QPoint(-120, 60);
}

void TestKeyboard::keyboardAndMouseDropsLandAlike()
{
    QFETCH(QPoint, start);
    QFETCH(QPoint, letGo);
    QFETCH(QPoint, landed);
    QVERIFY(startLevel1());
    Game &game = *m_game;
    PieceWidget *piece = game.piece(0);
    const QPoint home = game.homePixels(0);
    const QPoint grab(5, 5);
    const auto putAtStart = [&] {
        game.drag(0, grab, home + start + grab);
        return piece->pos() == home + start;
    };

    QVERIFY(putAtStart());
    game.drag(0, grab, home + letGo + grab);
    const QPoint byMouse = piece->pos();
    const mok::RectF twipsByMouse = game.board().pieceRect(0);

    QVERIFY(putAtStart());
    piece->setFocus();
    key(Qt::Key_Space);
    carry(letGo - start);
    // A reader follows the outline.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(piece);
    const QRect frame = outline()->frame();
    QCOMPARE(frame.topLeft(), home + letGo);
    QCOMPARE(reader->rect(), QRect(game.window.mapToGlobal(frame.topLeft()), frame.size()));
    QVERIFY(reader->state().pressed);
    QCOMPARE(piece->pos(), home + start); // the piece stays put meanwhile
    key(Qt::Key_Space);

    QCOMPARE(piece->pos(), byMouse);
    QCOMPARE(game.board().pieceRect(0).left, twipsByMouse.left);
    QCOMPARE(game.board().pieceRect(0).top, twipsByMouse.top);
    QCOMPARE(byMouse, home + landed);
    QCOMPARE(reader->state().checked, landed.isNull());
    QVERIFY(!reader->state().pressed);
}

void TestKeyboard::outlineGoesAndNothingMoves_data()
{
    QTest::addColumn<QString>("how");
    QTest::addRow("escape during a mouse drag") << QStringLiteral("mouse");
    QTest::addRow("escape during a keyboard pick") << QStringLiteral("keyboard");
    QTest::addRow("released off the window") << QStringLiteral("off the window");
}

void TestKeyboard::outlineGoesAndNothingMoves()
{
    QFETCH(QString, how);
    QVERIFY(startLevel1());
    Game &game = *m_game;
    PieceWidget *piece = game.piece(1);
    const QPoint before = piece->pos();
    const QPoint grab(5, 5);
    if (how == u"keyboard") {
        piece->setFocus();
        key(Qt::Key_Space);
        carry(QPoint(30, 100));
        QCOMPARE(outline()->frame().topLeft(), before + QPoint(30, 100));
        key(Qt::Key_Escape);
        QVERIFY(piece->hasFocus());
    } else {
        QTest::mousePress(piece, Qt::LeftButton, {}, grab);
        QTest::mouseMove(piece, grab + QPoint(30, 100));
        QVERIFY(!outline()->frame().isNull());
        const QPoint release = how == u"mouse" ? QPoint(30, 100) : -before - QPoint(40, 0);
        if (how == u"mouse")
            key(Qt::Key_Escape);
        QTest::mouseRelease(piece, Qt::LeftButton, {}, grab + release);
    }
    QVERIFY(outline()->frame().isNull());
    QCOMPARE(piece->pos(), before);
    // The next drag goes as usual.
    game.drag(1, grab, QPoint(40, 600));
    QCOMPARE(piece->pos(), QPoint(35, 595));
}

void TestKeyboard::arrowsMoveTheFocusByPlace_data()
{
    // Pieces 0 to 3 (151 x 101 pixels) with their top-left corners at
    // (400, 300), (650, 320), (420, 550) and (100, 300): 1 right of 0, 2
    // below it, 3 left of it on the same line, none above.
    QTest::addColumn<int>("from");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<int>("to");
    QTest::addRow("right") << 0 << Qt::Key_Right << 1;
    QTest::addRow("down") << 0 << Qt::Key_Down << 2;
    QTest::addRow("left") << 0 << Qt::Key_Left << 3;
    QTest::addRow("nothing above stays") << 0 << Qt::Key_Up << 0;
    QTest::addRow("the nearer of two to the left") << 1 << Qt::Key_Left << 0;
    QTest::addRow("ahead counts less than aside") << 2 << Qt::Key_Up << 0;
    QTest::addRow("next by number, round") << 3 << Qt::Key_PageDown << 0;
    QTest::addRow("previous by number, round") << 0 << Qt::Key_PageUp << 3;
}

void TestKeyboard::arrowsMoveTheFocusByPlace()
{
    QFETCH(int, from);
    QFETCH(Qt::Key, key);
    QFETCH(int, to);
    QVERIFY(startLevel1());
    const QPoint places[] = {{400, 300}, {650, 320}, {420, 550}, {100, 300}};
    for (int i = 0; i < 4; ++i) {
        m_game->drag(i, QPoint(1, 1), places[i] + QPoint(1, 1));
        QCOMPARE(m_game->piece(i)->pos(), places[i]);
    }
    m_game->piece(from)->setFocus();
    this->key(key);
    QCOMPARE(focusedPiece(), to);
}

MOK_TEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
