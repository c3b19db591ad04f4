// The game by keyboard, and as a screen reader reads it through Qt's
// accessibility interfaces: the controls, the Tab order, presses, a game won
// by keys alone, keyboard and mouse drops alike, Escape, moving the focus.
#include "dragframe.h"
#include "frmversion.h"
#include "gamefixture.h"
#include "modalwatcher.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <cmath>
#include <memory>

using mok::DragFrame;
using mok::frmVersion;
using namespace Qt::StringLiterals;

namespace {

// How far it has come: the main window at rest, with a picture shown, with
// a game running; or the about window.
enum Stage { AtRest, PictureShown, Running, About };

// What a reader finds of a control at a stage. A hidden or disabled control
// is not offered: it says so, and offers no action.
struct Reading {
    Stage stage;
    const char *control;
    QAccessible::Role role;
    QString name;
    QString description;
    bool offered;
};

QString focusedName()
{
    const QWidget *focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QString();
}

// A player who only uses the mouse sees the button exactly as drawn.
bool showsItsFaceOnly(ImageButton *button)
{
    const auto rgb = [](const QImage &i) { return i.convertToFormat(QImage::Format_RGB32); };
    return rgb(button->grab().toImage()) == rgb(button->picture().toImage());
}

struct MouseCounter : QObject {
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() >= QEvent::MouseButtonPress && event->type() <= QEvent::MouseMove;
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(Reading)

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void controlsReadAsTheyShow_data();
    void controlsReadAsTheyShow();
    void tabGoesAsTheEyeReads_data();
    void tabGoesAsTheEyeReads();
    void pressesWaitForTheTickLikeAClick_data();
    void pressesWaitForTheTickLikeAClick();
    void wholeLevel1GameByKeyboard();
    void keyboardAndMouseDropsLandAlike_data();
    void keyboardAndMouseDropsLandAlike();
    void outlineGoesAndNothingMoves_data();
    void outlineGoesAndNothingMoves();
    void arrowsMoveTheFocusByPlace_data();
    void arrowsMoveTheFocusByPlace();

private:
    // The window at `stage`, active, its level `lastIndex`; null on failure.
    QWidget *reach(Stage stage, int lastIndex = 24);
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_window->windowHandle(), key, modifiers);
    }
    // Carries a lifted piece's outline `by` pixels in the steps the README
    // names (BoardView::smallStep and kLargeSteps at 96 dpi):
    // 100 pixels with Shift, 10 without.
    void carry(QPoint by);
    int focusedPiece() const
    {
        const auto *piece = qobject_cast<PieceWidget *>(QApplication::focusWidget());
        return piece ? piece->index() : -1;
    }
    DragFrame *outline() { return m_game->find<DragFrame>("dragFrame"); }

    QTemporaryDir m_dir;
    QString m_picture;
    std::unique_ptr<Game> m_game;
    std::unique_ptr<frmVersion> m_about;
    QWidget *m_window = nullptr;
};

void TestKeyboard::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // At level 1 on 1024 x 768 its homes lie on whole pixels: the board is
    // at (362, 284) and its cells are 150 x 100 pixels.
    m_picture = makePicture(m_dir, QStringLiteral("small.bmp"), 300, 200);
}

QWidget *TestKeyboard::reach(Stage stage, int lastIndex)
{
    m_about.reset();
    m_game = std::make_unique<Game>();
    m_window = &m_game->window;
    m_game->window.selectLevel(lastIndex);
    if (stage == About) {
        m_about = std::make_unique<frmVersion>();
        m_about->show();
        m_window = m_about.get();
    }
    if ((stage == PictureShown || stage == Running) && !openAndWait(m_game->window, m_picture))
        return nullptr;
    if (stage == Running)
        m_game->click("imgStart");
    m_window->activateWindow();
    return QTest::qWaitForWindowActive(m_window) ? m_window : nullptr;
}

void TestKeyboard::carry(QPoint by)
{
    const auto along = [this](int pixels, Qt::Key forward, Qt::Key back) {
        const Qt::Key direction = pixels < 0 ? back : forward;
        for (int i = 0; i < std::abs(pixels) / 100; ++i)
            key(direction, Qt::ShiftModifier);
        for (int i = 0; i < std::lround(std::abs(pixels) % 100 / 10.0); ++i)
            key(direction);
    };
    along(by.x(), Qt::Key_Right, Qt::Key_Left);
    along(by.y(), Qt::Key_Down, Qt::Key_Up);
}

void TestKeyboard::controlsReadAsTheyShow_data()
{
    QTest::addColumn<Reading>("reading");
    const auto row = [](const Reading &reading) {
        const char *stages[] = {"at rest", "with a picture", "in a game", "in the about window"};
        QTest::addRow("%s %s", reading.control, stages[reading.stage]) << reading;
    };
    const auto button = QAccessible::Button;
    row({AtRest, "imgOpen", button, u"ピクチャを開く"_s, u"ピクチャファイルを開く"_s, true});
    row({AtRest, "imgStart", button, u"スタート"_s, u"スタート"_s, false});
    row({Running, "imgGiveup", button, u"ギブアップ"_s, u"ギブアップ"_s, true});
    row({AtRest, "imgMin", button, u"＿ トレイ"_s, u"＿ タスクトレイへ移動"_s, true});
    row({AtRest, "imgExit", button, u"× 閉じる"_s, u"× 閉じる"_s, true});
    row({AtRest, "imgReadme", button, u"readme"_s, u"readme"_s, true});
    row({AtRest, "imgVersion", button, u"バージョン情報"_s, u"バージョン情報"_s, true});
    row({Running, "cboLevel", QAccessible::ComboBox, u"Level 4 (25コマ)"_s, u"レベルリスト"_s,
         false});
    row({PictureShown, "imgPiece6", QAccessible::Graphic, u"コマ 7 / 25"_s, u"正しい位置"_s,
         false});
    row({Running, "imgPiece6", QAccessible::Graphic, u"コマ 7 / 25"_s,
         u"正しい位置ではありません"_s, true});
    row({About, "lblClose", button, u"Close"_s, u"閉じる"_s, true});
    row({About, "imgMail0", button, u"メールを送る"_s, u"mailto:"_s + frmVersion::maker().mail,
         true});
    row({About, "imgURL0", button, u"ホームページへ"_s, frmVersion::maker().homePage, true});
}

void TestKeyboard::controlsReadAsTheyShow()
{
    QFETCH(Reading, reading);
    QVERIFY(reach(reading.stage));
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(
        m_window->findChild<QWidget *>(QLatin1String(reading.control)));
    QVERIFY(reader);
    QCOMPARE(reader->role(), reading.role);
    QCOMPARE(reader->text(QAccessible::Name), reading.name);
    QCOMPARE(reader->text(QAccessible::Description), reading.description);
    QCOMPARE(!reader->state().invisible && !reader->state().disabled, reading.offered);
    if (reading.role != QAccessible::ComboBox) {
        const QStringList press{QAccessibleActionInterface::pressAction()};
        QCOMPARE(reader->actionInterface()->actionNames(), reading.offered ? press : QStringList());
    }
}

void TestKeyboard::tabGoesAsTheEyeReads_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QStringList>("order"); // from the first control round to it again
    const QStringList shell{u"imgMin"_s, u"imgExit"_s, u"imgReadme"_s, u"imgVersion"_s};
    const QStringList open{u"imgOpen"_s};
    const auto order = [&](const QString &second, const QStringList &board) {
        return open + QStringList{second} + shell + board + open;
    };
    QTest::addRow("at rest") << int(AtRest) << order(u"cboLevel"_s, {});
    QTest::addRow("picture shown") << int(PictureShown) << order(u"imgStart"_s, {});
    QTest::addRow("game running") << int(Running) << order(u"imgGiveup"_s, {u"imgPiece0"_s});
    const QStringList about{u"lblClose"_s, u"txtInfo0"_s, u"txtInfo1"_s, u"txtInfo2"_s,
                            u"txtInfo3"_s, u"txtInfo4"_s, u"txtInfo5"_s, u"txtInfo6"_s,
                            u"txtInfo7"_s, u"imgMail0"_s, u"txtInfo8"_s, u"txtInfo9"_s,
                            u"imgURL0"_s,  u"lblClose"_s};
    QTest::addRow("about window") << int(About) << about;
}

void TestKeyboard::tabGoesAsTheEyeReads()
{
    QFETCH(int, stage);
    QFETCH(QStringList, order);
    QVERIFY(reach(Stage(stage)));
    m_window->findChild<QWidget *>(order.first())->setFocus();
    QStringList visited{focusedName()};
    while (visited.size() < order.size()) {
        key(Qt::Key_Tab);
        visited << focusedName();
    }
    QCOMPARE(visited, order);
}

// However a button is pressed, it shows its pressed face and acts one tick
// later, through the same tick as a click. The focus it holds shows only
// once the keyboard has been used.
void TestKeyboard::pressesWaitForTheTickLikeAClick_data()
{
    QTest::addColumn<QString>("by");
    for (const char *by : {"mouse", "space", "return", "reader"})
        QTest::addRow("%s", by) << QString::fromLatin1(by);
}

void TestKeyboard::pressesWaitForTheTickLikeAClick()
{
    QFETCH(QString, by);
    QVERIFY(reach(PictureShown));
    auto *start = m_game->find<ImageButton>("imgStart");
    start->setFocus();
    if (by == u"mouse")
        QTest::mouseClick(start, Qt::LeftButton);
    else if (by == u"reader")
        QAccessible::queryAccessibleInterface(start)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    else
        key(by == u"space" ? Qt::Key_Space : Qt::Key_Return);
    QVERIFY(start->isPressed());
    QCOMPARE(showsItsFaceOnly(start), by == u"mouse" || by == u"reader");
    QVERIFY(m_game->board().bordersHidden()); // not started yet
    QTRY_VERIFY(!m_game->board().bordersHidden());
}

void TestKeyboard::wholeLevel1GameByKeyboard()
{
    QVERIFY(reach(AtRest));
    Game &game = *m_game;
    MouseCounter mouse;
    qApp->installEventFilter(&mouse);
    game.find("imgOpen")->setFocus();
    key(Qt::Key_Tab);
    key(Qt::Key_Home);
    QCOMPARE(game.window.selectedLastIndex(), 3); // Level 1 (4コマ)
    QVERIFY(openAndWait(game.window, m_picture)); // as if chosen in the dialog
    QCOMPARE(focusedName(), u"imgStart"_s);
    key(Qt::Key_Space);
    QTRY_VERIFY(game.find("imgGiveup")->isVisible());

    ModalWatcher watcher;
    key(Qt::Key_F6);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(focusedPiece(), i);
        key(Qt::Key_Space);
        carry(game.homePixels(i) - game.piece(i)->pos());
        key(Qt::Key_Return);
        QCOMPARE(game.piece(i)->pos(), game.homePixels(i));
        key(Qt::Key_PageDown);
    }
    QTRY_COMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().text, QStringLiteral(u"Level 1 クリア！おめでとう！！！"));
    QCOMPARE(mouse.count, 0);
    qApp->removeEventFilter(&mouse);

    // A finished board takes no picks: the focus cannot go onto it.
    QTRY_VERIFY(!game.piece(0)->isEnabled());
    key(Qt::Key_F6);
    QCOMPARE(focusedPiece(), -1);
}

void TestKeyboard::keyboardAndMouseDropsLandAlike_data()
{
    // Where piece 0 starts, where it is let go and where it lands, from its
    // home, in pixels; 10 pixels are the 150 twips within which it snaps.
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
    QVERIFY(reach(Running, 3));
    PieceWidget *piece = m_game->piece(0);
    const QPoint home = m_game->homePixels(0);
    const QPoint grab = piece->rect().center(); // where the keyboard holds it
    m_game->drag(0, grab, home + start + grab);
    QCOMPARE(piece->pos(), home + start);
    m_game->drag(0, grab, home + letGo + grab);
    const QPoint byMouse = piece->pos();
    const mok::RectF twipsByMouse = m_game->board().pieceRect(0);

    m_game->drag(0, grab, home + start + grab);
    piece->setFocus();
    key(Qt::Key_Space);
    carry(letGo - start);
    // The piece stays put, and a reader follows the outline.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(piece);
    const QRect frame = outline()->frame();
    QCOMPARE(frame.topLeft(), home + letGo);
    QCOMPARE(reader->rect(), QRect(m_window->mapToGlobal(frame.topLeft()), frame.size()));
    QCOMPARE(piece->pos(), home + start);
    key(Qt::Key_Space);

    QCOMPARE(piece->pos(), byMouse);
    QCOMPARE(m_game->board().pieceRect(0).left, twipsByMouse.left);
    QCOMPARE(m_game->board().pieceRect(0).top, twipsByMouse.top);
    QCOMPARE(byMouse, home + landed);
    QCOMPARE(reader->state().checked, landed.isNull());
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
    QVERIFY(reach(Running, 3));
    PieceWidget *piece = m_game->piece(1);
    const QPoint before = piece->pos();
    const QPoint grab(5, 5);
    if (how == u"keyboard") {
        piece->setFocus();
        key(Qt::Key_Space);
        carry(QPoint(30, 100));
        key(Qt::Key_Escape);
    } else {
        QTest::mousePress(piece, Qt::LeftButton, {}, grab);
        QTest::mouseMove(piece, grab + QPoint(30, 100));
        QVERIFY(!outline()->frame().isNull());
        if (how == u"mouse")
            key(Qt::Key_Escape);
        const QPoint release = how == u"mouse" ? QPoint(30, 100) : -before - QPoint(40, 0);
        QTest::mouseRelease(piece, Qt::LeftButton, {}, grab + release);
    }
    QVERIFY(outline()->frame().isNull());
    QCOMPARE(piece->pos(), before);
    m_game->drag(1, grab, QPoint(40, 600)); // the next drag goes as usual
    QCOMPARE(piece->pos(), QPoint(35, 595));
}

void TestKeyboard::arrowsMoveTheFocusByPlace_data()
{
    // Pieces 0 to 3 at (400, 300), (650, 320), (420, 550) and (100, 300):
    // 1 right of 0, 2 below it, 3 left of it on the same line, none above.
    QTest::addColumn<int>("from");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<int>("to");
    QTest::addRow("right") << 0 << Qt::Key_Right << 1;
    QTest::addRow("left") << 0 << Qt::Key_Left << 3;
    QTest::addRow("nothing above stays") << 0 << Qt::Key_Up << 0;
    QTest::addRow("the nearer of two to the left") << 1 << Qt::Key_Left << 0;
    QTest::addRow("aside counts more than ahead") << 2 << Qt::Key_Up << 0;
}

void TestKeyboard::arrowsMoveTheFocusByPlace()
{
    QFETCH(int, from);
    QFETCH(Qt::Key, key);
    QFETCH(int, to);
    QVERIFY(reach(Running, 3));
    const QPoint places[] = {{400, 300}, {650, 320}, {420, 550}, {100, 300}};
    for (int i = 0; i < 4; ++i)
        m_game->drag(i, QPoint(1, 1), places[i] + QPoint(1, 1));
    m_game->piece(from)->setFocus();
    this->key(key);
    QCOMPARE(focusedPiece(), to);
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
