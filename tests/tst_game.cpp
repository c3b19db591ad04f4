// A game played the way a player plays it: open a picture, start, drag the
// pieces home with the mouse, win or give up; and pictures that cannot be
// played.
#include "appfixture.h"
#include "gamefixture.h"
#include "modalwatcher.h"
#include "picture_decoder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageWriter>
#include <QMimeData>

#include <csignal>

using mok::AppController;
using mok::frmMain;
using mok::ImageButton;
using mok::PieceWidget;

class TestGame : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openShowsThePictureAssembled();
    void theNewBoardIsPaintedOnce();
    void wholeLevel1GameWithTheMouse();
    void aPieceHomeOnOneAxisOnlyIsNoClear();
    void dropsMoveByTheReleasePoint();
    void dropOnAControlMovesNothing();
    void anyButtonDrags();
    void giveUpAssemblesAndLocksThePieces();
    void unusableFilesLeaveTheWindowAsAfterCancel_data();
    void unusableFilesLeaveTheWindowAsAfterCancel();
    void openGoesThroughAFreshWindowAndTheDialog();
    void cancelledOpenLeavesAFreshWindow();
    void freshWindowIsMadeOnceTheOldIsGone();
    void loadingKeepsTheWindowPainting();
    void escapeOrOpenCancelsALoad_data();
    void escapeOrOpenCancelsALoad();
    void aHelperKilledWhileWaitingIsReplaced();
    void noHelperWaitsOnceThePictureIsShown();
    void hugePhotoBoardFitsTheScreen();

private:
    QTemporaryDir m_dir;
    QString m_xga;   // 1024 x 768: preview at 1/2
    QString m_small; // 300 x 200: preview at 1/1
    QString m_photo; // 8000 x 6000 progressive JPEG: preview at 1/10, slow enough to watch
};

void TestGame::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_xga = makePicture(m_dir, QStringLiteral("xga.bmp"), 1024, 768);
    m_small = makePicture(m_dir, QStringLiteral("small.jpg"), 300, 200);
    m_photo = m_dir.filePath(QStringLiteral("photo.jpg"));
    QImage photo(8000, 6000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x)
            line[x] = qRgb(x % 251, y % 241, (x ^ y) % 239);
    }
    QImageWriter writer(m_photo, "jpeg");
    writer.setProgressiveScanWrite(true);
    QVERIFY(writer.write(photo));
}

void TestGame::openShowsThePictureAssembled()
{
    Game game;
    QVERIFY(openAndWait(game.window, m_xga));
    QCOMPARE(game.caption("lblPath"), QStringLiteral(u"ピクチャ : ") + m_xga);
    QCOMPARE(
        game.caption("lblPreview"),
        QStringLiteral(u"プレビューサイズ : 1/2   [ 512pixel * 384pixel / 1024pixel * 768pixel ]"));
    QVERIFY(game.find("lblOpening")->isHidden());
    QVERIFY(game.find("imgStart")->isVisible());
    QVERIFY(game.find("imgGiveup")->isHidden());
    QVERIFY(game.find("shpOutline")->isVisible());
    QVERIFY(!game.level()->isEnabled());
    QVERIFY(game.board().bordersHidden());
    QVERIFY(game.board().IsComplete(game.window.screenTwips(), 24));
    // The 512 x 384 area is centred; piece 6 (row 1, column 1) lies one
    // cell of 1536 x 1152 twips (102.4 x 76.8 pixels) in from the frame's
    // corner and is a pixel larger than its cell.
    QCOMPARE(game.find("shpOutline")->geometry(), QRect(256, 192, 513, 385));
    QCOMPARE(game.piece(6)->geometry(), QRect(256 + 102, 192 + 77, 103, 78));
    for (int i = 0; i < 100; ++i) {
        QCOMPARE(game.piece(i)->isVisible(), i <= 24);
        QVERIFY(!game.piece(i)->isEnabled());
    }
    // Made with the picture, the pieces still lie over the outline and under
    // the level list and the drag frame, as if the window had made them first.
    const QObjectList stack = game.window.children();
    for (int i = 0; i < 100; ++i) {
        const qsizetype at = stack.indexOf(game.piece(i));
        QVERIFY(stack.indexOf(game.find("shpOutline")) < at);
        QVERIFY(at < stack.indexOf(game.find("cboLevel")));
        QVERIFY(at < stack.indexOf(game.find("dragFrame")));
    }
}

// The board is laid out, and its hundred pieces shown, before anything is
// painted; the window then paints once, not again over every child's area.
void TestGame::theNewBoardIsPaintedOnce()
{
    Game game;
    game.level()->setCurrentIndex(game.level()->count() - 1); // 100 pieces
    QVERIFY(QTest::qWaitForWindowExposed(&game.window));
    int paints = 0;
    PaintCounter counter;
    counter.onPaint = [&] { ++paints; };
    connect(&game.window, &frmMain::pictureLoaded, this, [&] { paints = 0; });
    game.window.installEventFilter(&counter);
    QVERIFY(openAndWait(game.window, m_xga));
    QTest::qWait(100);
    QCOMPARE(paints, 1);
}

void TestGame::wholeLevel1GameWithTheMouse()
{
    Game game;
    game.window.selectLevel(3);
    QVERIFY(openAndWait(game.window, m_small));
    game.click("imgStart");
    QVERIFY(game.find("imgStart")->isHidden());
    QVERIFY(game.find("imgGiveup")->isVisible());
    QVERIFY(!game.level()->isEnabled());
    QVERIFY(!game.board().bordersHidden());
    for (int i = 0; i <= 3; ++i)
        QVERIFY(game.piece(i)->isEnabled());

    ModalWatcher watcher;
    for (int i = 0; i <= 3; ++i) {
        // Grab the piece 5 pixels in, drop it 4 pixels off its home.
        game.drag(i, QPoint(5, 5), game.homePixels(i) + QPoint(5 + 4, 5 - 3));
        QCOMPARE(game.piece(i)->pos(), game.homePixels(i));
        if (i < 3)
            QVERIFY(watcher.seen().isEmpty());
    }
    QTRY_COMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().text, QStringLiteral(u"Level 1 クリア！おめでとう！！！"));
    QCOMPARE(watcher.seen().first().title, QStringLiteral(u"クリア"));
    QTRY_VERIFY(!game.piece(0)->isEnabled());
    for (int i = 0; i <= 3; ++i)
        QVERIFY(!game.piece(i)->isEnabled());
    QVERIFY(game.board().bordersHidden());
    QVERIFY(game.level()->isEnabled());
    QVERIFY(game.find("imgGiveup")->isHidden());
    QVERIFY(game.find("imgStart")->isHidden());
    QVERIFY(game.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(game.window.isVisible());
}

void TestGame::aPieceHomeOnOneAxisOnlyIsNoClear()
{
    // Three pieces home and the last one dropped in its own column but
    // 20 pixels low, then in its own row but 20 pixels right: neither is a
    // clear. Dropped home, it is.
    Game game;
    game.window.selectLevel(3);
    QVERIFY(openAndWait(game.window, m_small));
    game.click("imgStart");
    ModalWatcher watcher;
    for (int i = 0; i <= 2; ++i)
        game.drag(i, QPoint(5, 5), game.homePixels(i) + QPoint(5, 5));
    const QPoint home = game.homePixels(3);
    for (const QPoint off : {QPoint(0, 20), QPoint(20, 0)}) {
        game.drag(3, QPoint(5, 5), home + off + QPoint(5, 5));
        QCOMPARE(game.piece(3)->pos(), home + off);
        QTest::qWait(50);
        QVERIFY(watcher.seen().isEmpty());
        QVERIFY(game.piece(3)->isEnabled());
    }
    game.drag(3, QPoint(5, 5), home + QPoint(5, 5));
    QTRY_COMPARE(watcher.seen().size(), 1);
}

void TestGame::dropsMoveByTheReleasePoint()
{
    Game game;
    QVERIFY(openAndWait(game.window, m_small));
    game.click("imgStart");
    mok::Board &board = game.board();
    // Far from every home, so nothing snaps.
    const QPoint far(60, 600);

    // On the background: grabbed 10 twips in, released at x = 1000 twips.
    game.window.imgPiece_MouseDown(3, 10, 10);
    game.window.Form_DragDrop(game.piece(3), 1000, 9000);
    QCOMPARE(board.pieceRect(3).left, 990.0f);
    QCOMPARE(board.pieceRect(3).top, 8990.0f);

    // Onto itself, released 2 pixels (30 twips) right of where it went down.
    game.drag(5, QPoint(10, 10), far);
    const float before = board.pieceRect(5).left;
    game.drag(5, QPoint(10, 10), far + QPoint(2, 0));
    QCOMPARE(board.pieceRect(5).left, before + 30);
    QCOMPARE(game.piece(5)->pos(), far - QPoint(8, 10));

    // Over another piece: the same rule as the background.
    game.drag(7, QPoint(1, 1), far + QPoint(201, 1));
    const QPoint overSeven = game.piece(7)->geometry().center();
    game.drag(8, QPoint(3, 4), overSeven);
    QCOMPARE(game.piece(8)->pos(), overSeven - QPoint(3, 4));
    QCOMPARE(board.pieceRect(8).left, (overSeven.x() - 3) * 15.0f);
    // The target stays where it was.
    QCOMPARE(game.piece(7)->pos(), far + QPoint(200, 0));
    // The dropped piece lies on top.
    QVERIFY(board.piece(8).stackOrder > board.piece(7).stackOrder);
}

void TestGame::dropOnAControlMovesNothing()
{
    Game game;
    QVERIFY(openAndWait(game.window, m_small));
    game.click("imgStart");
    const QPoint before = game.piece(2)->pos();
    const mok::RectF rectBefore = game.board().pieceRect(2);
    const char *controls[] = {"imgGiveup", "imgOpen", "lblPath", "cboLevel"};
    for (const char *control : controls) {
        const QPoint target = game.find(control)->geometry().center();
        game.drag(2, QPoint(4, 4), target);
        QCOMPARE(game.piece(2)->pos(), before);
        QCOMPARE(game.board().pieceRect(2).left, rectBefore.left);
        QCOMPARE(game.board().pieceRect(2).top, rectBefore.top);
    }
    QVERIFY(!game.board().bordersHidden());
}

void TestGame::anyButtonDrags()
{
    Game game;
    QVERIFY(openAndWait(game.window, m_small));
    // Assembled and not started: no piece can be grabbed.
    const QPoint home = game.piece(1)->pos();
    game.drag(1, QPoint(3, 3), QPoint(40, 600), Qt::RightButton);
    QCOMPARE(game.piece(1)->pos(), home);
    QVERIFY(game.board().bordersHidden());

    game.click("imgStart");
    game.drag(1, QPoint(3, 3), QPoint(40, 600), Qt::RightButton);
    QCOMPARE(game.piece(1)->pos(), QPoint(37, 597));
    game.drag(1, QPoint(3, 3), QPoint(90, 600), Qt::MiddleButton);
    QCOMPARE(game.piece(1)->pos(), QPoint(87, 597));
}

void TestGame::giveUpAssemblesAndLocksThePieces()
{
    Game game;
    game.window.selectLevel(99);
    QVERIFY(openAndWait(game.window, m_xga));
    game.click("imgStart");
    game.drag(42, QPoint(1, 1), QPoint(30, 600));
    QVERIFY(!game.board().IsComplete(game.window.screenTwips(), 99));

    ModalWatcher watcher;
    game.click("imgGiveup");
    QVERIFY(game.board().IsComplete(game.window.screenTwips(), 99));
    QVERIFY(game.board().bordersHidden());
    QVERIFY(game.level()->isEnabled());
    QVERIFY(game.find("imgStart")->isHidden());
    QVERIFY(game.find("imgGiveup")->isHidden());
    for (int i = 0; i < 100; ++i) {
        QVERIFY(!game.piece(i)->isEnabled());
        QCOMPARE(game.piece(i)->pos(), game.homePixels(i));
    }
    QTest::qWait(50);
    QVERIFY(watcher.seen().isEmpty()); // giving up says nothing
}

void TestGame::unusableFilesLeaveTheWindowAsAfterCancel_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    const auto file = [this](const char *name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    };
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.jpg"));
    QTest::addRow("empty") << file("empty.gif", {}) << QStringLiteral(u"空");
    QTest::addRow("text named .jpg")
        << file("text.jpg", "hello, this is not a picture\n") << QStringLiteral(u"読み込めません");
    QTest::addRow("folder") << m_dir.filePath(QStringLiteral("folder.jpg"))
                            << QStringLiteral(u"ファイルではありません");
    QTest::addRow("missing") << m_dir.filePath(QStringLiteral("gone.bmp"))
                             << QStringLiteral(u"見つかりません");
    QTest::addRow("1x1 picture") << makePicture(m_dir, QStringLiteral("dot.bmp"), 1, 1)
                                 << QStringLiteral(u"小さすぎ");
    QTest::addRow("65535x1 strip")
        << makePicture(m_dir, QStringLiteral("strip.bmp"), 65535, 1) << QStringLiteral(u"小さすぎ");
}

void TestGame::unusableFilesLeaveTheWindowAsAfterCancel()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    Game game;
    ModalWatcher watcher;
    QVERIFY(!openAndWait(game.window, path));
    QCOMPARE(watcher.seen().size(), 1);
    const SeenModal &box = watcher.seen().first();
    QVERIFY2(box.text.startsWith(QStringLiteral(u"ピクチャファイルを開けませんでした。\n") + path +
                                 u'\n'),
             qPrintable(box.text));
    QVERIFY2(box.text.contains(reason), qPrintable(box.text));

    QVERIFY(game.find("lblOpening")->isVisible());
    QVERIFY(game.caption("lblPath").isEmpty());
    QVERIFY(game.caption("lblPreview").isEmpty());
    QVERIFY(game.level()->isEnabled());
    QVERIFY(game.find("imgStart")->isHidden());
    QVERIFY(game.find("shpOutline")->isHidden());
    for (const PieceWidget *piece : game.window.findChildren<PieceWidget *>())
        QVERIFY(piece->isHidden());
    // And the next picture opens.
    QVERIFY(openAndWait(game.window, m_small));
    QVERIFY(game.find("imgStart")->isVisible());
}

void TestGame::openGoesThroughAFreshWindowAndTheDialog()
{
    AppController host;
    QPointer<frmMain> first = startAndWaitForOpen(host);
    QVERIFY(first);
    first->selectLevel(8);
    const QString unicodePath = makePicture(m_dir, QStringLiteral(u"テスト画像 ①.bmp"), 400, 300);

    QStringList filterTexts;
    ModalWatcher watcher([&](QDialog *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        if (!files)
            return true;
        auto *types = files->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; types && i < types->count(); ++i)
            filterTexts << types->itemText(i);
        if (types)
            filterTexts << QStringLiteral("selected:") + types->currentText();
        files->selectFile(unicodePath);
        return true;
    });
    QSignalSpy created(&host, &AppController::windowCreated);
    QTest::mouseClick(first->findChild<ImageButton *>(QStringLiteral("imgOpen")), Qt::LeftButton);
    QVERIFY(created.wait(2000));
    frmMain *second = host.window();
    QVERIFY(second != first);
    QTRY_COMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().title, QStringLiteral(u"ファイルを開く"));
    QCOMPARE(
        filterTexts,
        QStringList({QStringLiteral(u"画像ファイル(*.bmp;*.gif;*.jpg;*.jpeg)"),
                     QStringLiteral(u"ビットマップ(*.bmp)"), QStringLiteral(u"GIF 形式(*.gif)"),
                     QStringLiteral(u"JPEG 形式(*.jpg;*.jpeg)"),
                     QStringLiteral(u"その他のピクチャ(*.png;*.webp;*.heic;*.heif;*.avif)"),
                     QStringLiteral(u"selected:画像ファイル(*.bmp;*.gif;*.jpg;*.jpeg)")}));

    // The level survived the new window, and the picture is on its board.
    QTRY_VERIFY(second->findChild<QWidget *>(QStringLiteral("imgStart"))->isVisible());
    QCOMPARE(second->selectedLastIndex(), 8); // Level 2 (9コマ)
    QCOMPARE(second->findChild<QLabel *>(QStringLiteral("lblPath"))->text(),
             QStringLiteral(u"ピクチャ : ") + unicodePath);
    QVERIFY(second->findChild<QWidget *>(QStringLiteral("imgPiece8"))->isVisible());
    QVERIFY(second->findChild<QWidget *>(QStringLiteral("imgPiece9"))->isHidden());
    // The first window is gone once the tick that replaced it has returned.
    QTRY_VERIFY(first.isNull());
}

void TestGame::cancelledOpenLeavesAFreshWindow()
{
    AppController host;
    QVERIFY(startAndWaitForOpen(host));
    QVERIFY(openAndWait(*host.window(), m_small));
    ModalWatcher watcher([](QDialog *) { return false; });
    QSignalSpy created(&host, &AppController::windowCreated);
    QTest::mouseClick(host.window()->findChild<ImageButton *>(QStringLiteral("imgOpen")),
                      Qt::LeftButton);
    QVERIFY(created.wait(2000));
    QTRY_COMPARE(watcher.seen().size(), 1);
    frmMain *window = host.window();
    // The old game is gone; the banner greets the player again.
    QVERIFY(window->findChild<QWidget *>(QStringLiteral("lblOpening"))->isVisible());
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("lblPath"))->text().isEmpty());
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("lblPreview"))->text().isEmpty());
    QVERIFY(window->findChild<QWidget *>(QStringLiteral("imgStart"))->isHidden());
    for (const PieceWidget *piece : window->findChildren<PieceWidget *>())
        QVERIFY(piece->isHidden());
    QVERIFY(window->findChild<QComboBox *>(QStringLiteral("cboLevel"))->isEnabled());
}

// Open makes the window afresh only once the old one is deleted: the two
// full-screen windows never hold their pixels at the same time, and a drop
// does the same.
void TestGame::freshWindowIsMadeOnceTheOldIsGone()
{
    AppController host;
    QPointer<frmMain> old = startAndWaitForOpen(host);
    QVERIFY(old);
    ModalWatcher watcher([](QDialog *) { return false; });
    QList<bool> oldGoneWhenMade;
    connect(&host, &AppController::windowCreated, this,
            [&](frmMain *made) { oldGoneWhenMade << (old.isNull() && made != nullptr); });
    QTest::mouseClick(old->findChild<ImageButton *>(QStringLiteral("imgOpen")), Qt::LeftButton);
    QTRY_COMPARE(oldGoneWhenMade, QList<bool>{true});
    QTRY_COMPARE(watcher.seen().size(), 1);

    // A dropped picture replaces the window the same way.
    old = host.window();
    emit old->pictureDropped(m_small);
    QVERIFY(old); // nothing happens inside the drop itself
    QTRY_COMPARE(oldGoneWhenMade, (QList<bool>{true, true}));
    QTRY_VERIFY(!host.window()->board().pictureImage().isNull());
}

QTEST_MAIN(TestGame)
#include "tst_game.moc"

// While a picture loads the window goes on painting under the busy cursor,
// and a picture dropped from a file manager meanwhile is not taken.
void TestGame::loadingKeepsTheWindowPainting()
{
    Game game;
    QVERIFY(QTest::qWaitForWindowExposed(&game.window));
    const auto busy = [&] { return game.window.cursor().shape() == Qt::WaitCursor; };
    int ticksWhileBusy = 0;
    int paintsWhileBusy = 0;
    PaintCounter counter;
    counter.onPaint = [&] { paintsWhileBusy += busy() ? 1 : 0; };
    game.window.installEventFilter(&counter);
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (!busy())
            return;
        if (++ticksWhileBusy == 1) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(m_small)});
            QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&game.window, &enter);
            QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&game.window, &drop);
        }
        game.window.update();
    });
    ticker.start();
    QSignalSpy dropped(&game.window, &frmMain::pictureDropped);
    QVERIFY(openAndWait(game.window, m_photo));
    ticker.stop();
    game.window.removeEventFilter(&counter);

    QVERIFY2(ticksWhileBusy > 0, "the event loop never ran during the load");
    QVERIFY(paintsWhileBusy > 0);
    QVERIFY(!busy());
    QCOMPARE(dropped.count(), 0);
    QVERIFY(game.find("imgStart")->isVisible());
}

// Escape, or Open, while a picture loads takes the load back: the window is
// as after a cancelled dialog, no outcome follows, and Open asks for no new
// window. The next picture opens as usual.
void TestGame::escapeOrOpenCancelsALoad_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("escape") << true;
    QTest::newRow("open") << false;
}

void TestGame::escapeOrOpenCancelsALoad()
{
    QFETCH(bool, byEscape);
    Game game;
    QSignalSpy decoded(&game.decoder, &mok::picture::PictureDecoder::finished);
    QSignalSpy loaded(&game.window, &frmMain::pictureLoaded);
    QSignalSpy reopened(&game.window, &frmMain::openRequested);
    game.window.openPicture(m_photo);
    QVERIFY(game.window.isLoading());
    QVERIFY(game.decoder.isLoading());
    if (byEscape)
        QTest::keyClick(&game.window, Qt::Key_Escape);
    else
        game.click("imgOpen");
    QVERIFY(!game.window.isLoading());
    // Taken back by the decoder itself, not merely ignored by the window:
    // with no load under way it has no outcome left to tell.
    QVERIFY(!game.decoder.isLoading());
    QVERIFY(game.window.cursor().shape() != Qt::WaitCursor);
    QCOMPARE(reopened.count(), 0);
    QVERIFY(game.find("lblOpening")->isVisible());
    QVERIFY(game.caption("lblPath").isEmpty());
    QVERIFY(game.find("imgStart")->isHidden());
    // The next load's outcome is the only one told, and acted on.
    QVERIFY(openAndWait(game.window, m_small));
    QCOMPARE(decoded.count(), 1);
    QCOMPARE(loaded.count(), 1);
}

// The decoding helpers this process has running.
static QStringList runningHelpers()
{
    QStringList found;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QString &pid :
             QString::fromLatin1(children.readAll()).split(u' ', Qt::SkipEmptyParts)) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "mok-decode")
                found << pid;
        }
    }
    return found;
}

// A helper killed from outside while it waited ready is replaced, and the
// picture opens as if nothing had happened.
void TestGame::aHelperKilledWhileWaitingIsReplaced()
{
    Game game;
    game.decoder.prepare();
    QTRY_COMPARE(runningHelpers().size(), 1);
    const QString helper = runningHelpers().first();
    QCOMPARE(::kill(helper.toInt(), SIGKILL), 0);
    const auto state = [&helper] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(helper));
        return stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    };
    QTRY_VERIFY(state().contains(") Z ")); // dead, not yet reaped
    QVERIFY(openAndWait(game.window, m_small));
}

// A helper waiting holds megabytes: once the picture is shown none runs
// until the player opens again (the old respawn came after a second).
void TestGame::noHelperWaitsOnceThePictureIsShown()
{
    Game game;
    QVERIFY(openAndWait(game.window, m_small));
    QTest::qWait(1500);
    QCOMPARE(runningHelpers(), QStringList());
}

// An 8000 x 6000 phone photo on 1024 x 768: shown at 1/10, the board lies
// inside the screen and below the buttons, and every home is on screen.
void TestGame::hugePhotoBoardFitsTheScreen()
{
    Game game;
    game.level()->setCurrentIndex(game.level()->count() - 1); // 100 pieces
    QVERIFY(openAndWait(game.window, m_photo));
    QVERIFY2(game.caption("lblPreview")
                 .startsWith(QStringLiteral(u"プレビューサイズ : 1/10   [ 800pixel * 600pixel")),
             qPrintable(game.caption("lblPreview")));
    const QRect board = game.find("shpOutline")->geometry();
    QVERIFY2(game.window.rect().contains(board), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                .arg(board.x())
                                                                .arg(board.y())
                                                                .arg(board.width())
                                                                .arg(board.height())));
    for (const char *button : {"imgOpen", "imgStart", "imgExit"})
        QVERIFY2(!board.intersects(game.find(button)->geometry()), button);
    for (int i = 0; i < 100; ++i)
        QVERIFY(game.window.rect().contains(game.homePixels(i)));
}
