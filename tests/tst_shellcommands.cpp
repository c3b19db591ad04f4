// The shell's commands on the main window: Min, Readme and Version with and
// without a notification area (Qt's tray icon, or a panel on a session bus of
// the test's own), the readme page itself, and the deferred tick that serves
// all seven buttons in their fixed order.
#include "appcontroller.h"
#include "appfixture.h"
#include "desktop.h"
#include "frmversion.h"
#include "gamefixture.h"
#include "mdltask.h"
#include "modalwatcher.h"
#include "privatebus.h"
#include "shownpixels.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QStringDecoder>
#include <QTextLayout>

#include <algorithm>
#include <memory>

using mok::AppController;
using mok::frmMain;
using mok::frmVersion;
using mok::ImageButton;
using mok::mdlTask;
using mok::TaskTray;
using namespace Qt::StringLiterals;

namespace {

const QString kInTrayText = u"アプリケーションは、タスクトレイへ移動しました。\n"
                            u"元に戻す場合は、タスクトレイのアイコンをクリックしてください。"_s;
const QString kMinimisedText =
    u"タスクトレイがないため、アプリケーションを最小化しました。\n"
    u"元に戻す場合は、タスクバーかウィンドウの一覧から選んでください。"_s;
const QString kStillShownText = u"タスクトレイがなく、最小化もできないため、\n"
                                u"アプリケーションはそのまま表示しています。"_s;

// A notification area that only writes down what it was asked.
struct FakeTray : TaskTray {
    QStringList *log = nullptr;
    Away where = Away::InTray;
    Away moveAway(QWidget *) override
    {
        *log << u"away"_s;
        return where;
    }
};

// A game whose window goes away into a FakeTray that writes in `log`.
struct GameWithFakeTray : Game {
    QStringList log;
    FakeTray tray;
    GameWithFakeTray()
    {
        tray.log = &log;
        window.setTaskTray(&tray);
    }
};

// What a desktop offers, as the test states it.
struct StatedDesktop {
    bool tray = true;
    bool windowManager = true;
    mdlTask::Desktop desktop()
    {
        return {[this] { return tray; }, [this] { return windowManager; }};
    }
};

// Min, clicked by the player.
void pressMin(frmMain &window)
{
    QTest::mouseClick(window.findChild<ImageButton *>(u"imgMin"_s), Qt::LeftButton);
}

// Catches what would be opened with the desktop for as long as it lives.
struct CaughtOpens {
    QList<QUrl> urls;
    bool succeed = true;
    QStringList *log = nullptr;
    mok::platform::DesktopOpener previous;
    CaughtOpens()
    {
        previous = mok::platform::setDesktopOpener([this](const QUrl &url) {
            urls << url;
            if (log)
                *log << u"open "_s + url.fileName();
            return succeed;
        });
    }
    ~CaughtOpens() { mok::platform::setDesktopOpener(previous); }
};

// The packaged readme as an installed game finds it: <prefix>/share/mok
// beside the test's <prefix>/tests, made for the test and taken away after.
struct InstalledReadme {
    QString path;
    bool madeDir = false;
    InstalledReadme()
    {
        QDir share(QCoreApplication::applicationDirPath() + u"/../share/mok"_s);
        madeDir = !share.exists();
        share.mkpath(u"."_s);
        path = QDir::cleanPath(share.filePath(u"readme.htm"_s));
        QFile::remove(path);
        QFile::copy(QStringLiteral(MOK_SOURCE_DIR "/assets/readme.htm"), path);
    }
    ~InstalledReadme()
    {
        QFile::remove(path);
        if (!madeDir)
            return;
        QDir share = QFileInfo(path).dir();
        share.cdUp(); // <prefix>/share
        share.rmdir(u"mok"_s);
        QDir prefix = share;
        prefix.cdUp();
        prefix.rmdir(u"share"_s); // only if nothing else is in it
    }
};

QString canonicalFileOf(const QUrl &url)
{
    return QFileInfo(url.toLocalFile()).canonicalFilePath();
}

// Drags piece i with the left button and drops its grabbed point on `drop`.
void dragPiece(frmMain &window, int i, QPoint drop)
{
    auto *piece = window.findChild<QWidget *>(u"imgPiece%1"_s.arg(i));
    const QPoint grab(3, 3);
    QTest::mousePress(piece, Qt::LeftButton, {}, grab);
    QTest::mouseMove(piece, grab + (drop - piece->pos()) / 2);
    QTest::mouseMove(piece, drop - piece->pos());
    QTest::mouseRelease(piece, Qt::LeftButton, {}, drop - piece->pos());
}

} // namespace

class TestShellCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void oneTickServesEveryPressedButtonInOrder_data();
    void oneTickServesEveryPressedButtonInOrder();
    void noNotificationAreaBoxBreaksAfterTheReason();
    void minWithANotificationArea();
    void iconIgnoresAllButPresses();
    void windowComesBackWhenTheNotificationAreaGoes();
    void aPanelStartedLaterIsUsedByTheNextPress();
    void aPanelsPressesBringTheWindowBack();
    void minWithoutANotificationAreaMinimises();
    void withoutAWindowManagerTheWindowStays();
    void readmeSaysWhereTheWindowWentThenOpensThePage();
    void readmeThatIsMissingSaysWhereItWasLookedFor();
    void readmeThatCannotOpenSaysWhichFile();
    void packagedReadmeIsACompleteJapanesePage();
    void versionShowsOneAboutWindow();

private:
    QTemporaryDir m_dir;
    QString m_picture;
    QProcess m_busDaemon;
    QString m_bus; // its address; empty without dbus-daemon
};

void TestShellCommands::initTestCase()
{
    // Before anything here connects to a session bus.
    m_bus = startPrivateBus(m_busDaemon);
    QVERIFY(m_dir.isValid());
    m_picture = makePicture(m_dir, u"picture.bmp"_s, 600, 400);
}

// A game in progress in `window`: picture open, started, one piece moved.
static void startGame(frmMain &window, const QString &picture)
{
    QVERIFY(openAndWait(window, picture));
    auto *start = window.findChild<ImageButton *>(u"imgStart"_s);
    QTest::mouseClick(start, Qt::LeftButton);
    QTRY_VERIFY(window.findChild<QWidget *>(u"imgGiveup"_s)->isVisible());
}

// What the player sees of a game, to compare before and after.
static QStringList gameState(frmMain &window)
{
    QStringList state;
    for (int i = 0; i < 100; ++i) {
        auto *piece = window.findChild<QWidget *>(u"imgPiece%1"_s.arg(i));
        const QRect r = piece->geometry();
        state << u"%1:%2,%3,%4,%5 %6 %7"_s.arg(i)
                     .arg(r.x())
                     .arg(r.y())
                     .arg(r.width())
                     .arg(r.height())
                     .arg(piece->isVisibleTo(&window))
                     .arg(piece->isEnabled());
    }
    for (const char *name : {"imgStart", "imgGiveup", "shpOutline", "cboLevel"}) {
        auto *w = window.findChild<QWidget *>(QLatin1String(name));
        state << QLatin1String(name) + u' ' + QString::number(w->isVisibleTo(&window)) +
                     QString::number(w->isEnabled());
    }
    state << QString::number(window.selectedLastIndex());
    return state;
}

void TestShellCommands::oneTickServesEveryPressedButtonInOrder_data()
{
    QTest::addColumn<bool>("running"); // a game started before the clicks
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("served");
    const QStringList readme = {u"away"_s, u"box タスク"_s, u"open readme.htm"_s};
    const QStringList version = {u"away"_s, u"box タスク"_s, u"version"_s};

    QTest::newRow("pressed against the order")
        << false << QStringList{u"imgVersion"_s, u"imgReadme"_s, u"imgMin"_s, u"imgStart"_s}
        << QStringList{u"start"_s, u"away"_s} + readme + version;
    QTest::newRow("give up comes before Min and Version")
        << true << QStringList{u"imgVersion"_s, u"imgMin"_s, u"imgGiveup"_s}
        << QStringList{u"give up"_s, u"away"_s} + version;
    // Open makes the window afresh: nothing after it is served on this one.
    QTest::newRow("Open ends the tick")
        << true << QStringList{u"imgVersion"_s, u"imgMin"_s, u"imgGiveup"_s, u"imgOpen"_s}
        << QStringList{u"open"_s};
    QTest::newRow("Open then Min")
        << false << QStringList{u"imgOpen"_s, u"imgMin"_s} << QStringList{u"open"_s};
    QTest::newRow("Open then Exit")
        << false << QStringList{u"imgOpen"_s, u"imgExit"_s} << QStringList{u"open"_s};
    // Exit ends the program at once: no box, no page, no about window.
    QTest::newRow("Readme then Exit")
        << false << QStringList{u"imgReadme"_s, u"imgExit"_s} << QStringList{u"exit"_s};
    QTest::newRow("Exit before Readme and Version")
        << false << QStringList{u"imgVersion"_s, u"imgExit"_s, u"imgReadme"_s}
        << QStringList{u"exit"_s};
    QTest::newRow("Min is served before Exit")
        << true << QStringList{u"imgExit"_s, u"imgMin"_s, u"imgStart"_s}
        << QStringList{u"away"_s, u"exit"_s};
}

void TestShellCommands::oneTickServesEveryPressedButtonInOrder()
{
    QFETCH(bool, running);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, served);
    GameWithFakeTray game;
    frmMain &window = game.window;
    QStringList &log = game.log;
    CaughtOpens opens;
    opens.log = &log;
    InstalledReadme readme;
    if (running)
        startGame(window, m_picture);
    else
        QVERIFY(openAndWait(window, m_picture));
    connect(&window, &frmMain::openRequested, [&] { log << u"open"_s; });
    connect(&window, &frmMain::exitRequested, [&] { log << u"exit"_s; });
    connect(&window, &frmMain::versionRequested, [&] { log << u"version"_s; });
    auto *giveUp = window.findChild<QWidget *>(u"imgGiveup"_s);
    struct Watch : QObject {
        QStringList *log;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Show)
                *log << u"start"_s;
            else if (e->type() == QEvent::Hide)
                *log << u"give up"_s;
            return false;
        }
    } watch;
    watch.log = &log;
    giveUp->installEventFilter(&watch);
    ModalWatcher boxes([&](QDialog *box) {
        log << u"box "_s + box->windowTitle();
        return true;
    });
    auto *timer = window.findChild<QTimer *>(u"tmrMain"_s);
    QSignalSpy ticks(timer, &QTimer::timeout);
    const auto click = [&](const QString &name) {
        QTest::mouseClick(window.findChild<ImageButton *>(name), Qt::LeftButton);
    };

    // All but the last at once; a little later, the last one, which does
    // not put the tick off.
    for (qsizetype i = 0; i + 1 < clicks.size(); ++i)
        click(clicks[i]);
    QTest::qWait(30);
    QVERIFY(log.isEmpty());
    click(clicks.last());
    QVERIFY2(timer->remainingTime() <= 85, qPrintable(QString::number(timer->remainingTime())));
    QVERIFY(log.isEmpty());
    QTRY_COMPARE(ticks.count(), 1);
    QTRY_COMPARE(log, served);
    // Nothing more comes of that tick.
    QTest::qWait(150);
    QCOMPARE(log, served);
    QCOMPARE(ticks.count(), 1);
    QVERIFY(!timer->isActive());
    // Every face is back to normal, served or not.
    for (auto *button : window.findChildren<ImageButton *>()) {
        QVERIFY2(!button->isPressed(), qPrintable(button->objectName()));
        const QString face = button->objectName().mid(3).toLower();
        QCOMPARE(shownPixels(button->picture()),
                 shownPixels(QPixmap(u":/faces/"_s + face + u".png"_s)));
    }
}

// Each line of the box the player reads after Readme or Version stands
// whole on its own line of the box: the break is ours, where a reader would
// put it, and never leaves a few characters alone on a line.
void TestShellCommands::noNotificationAreaBoxBreaksAfterTheReason()
{
    GameWithFakeTray game;
    QStringList wrapped;
    ModalWatcher boxes([&](QDialog *box) {
        auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_s);
        if (!label)
            return true;
        for (const QString &line : label->text().split(u'\n')) {
            QTextLayout layout(line, label->font());
            layout.beginLayout();
            int lines = 0;
            while (layout.createLine().isValid()) {
                layout.lineAt(lines).setLineWidth(label->contentsRect().width());
                ++lines;
            }
            layout.endLayout();
            if (lines != 1)
                wrapped << line;
        }
        return true;
    });
    const QStringList texts = {kInTrayText, kMinimisedText, kStillShownText};
    const TaskTray::Away places[] = {TaskTray::Away::InTray, TaskTray::Away::Minimised,
                                     TaskTray::Away::StillShown};
    for (int i = 0; i < 3; ++i) {
        game.tray.where = places[i];
        QTest::mouseClick(game.find<ImageButton>("imgVersion"), Qt::LeftButton);
        QTRY_COMPARE(boxes.seen().size(), i + 1);
        QCOMPARE(boxes.seen()[i].text, texts[i]);
    }
    QVERIFY2(wrapped.isEmpty(), qPrintable(wrapped.join(u" | "_s)));
    QVERIFY(kStillShownText.endsWith(u"\nアプリケーションはそのまま表示しています。"_s));
}

void TestShellCommands::minWithANotificationArea()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    startGame(window, m_picture);
    dragPiece(window, 3, QPoint(60, 600));
    const QStringList before = gameState(window);
    const QIcon windowIcon = window.windowIcon();
    ModalWatcher boxes;

    for (const QSystemTrayIcon::ActivationReason press :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context}) {
        pressMin(window);
        QTRY_VERIFY(window.isHidden());
        mdlTask &task = app.task();
        QVERIFY(task.iconShown());
        QCOMPARE(task.trayIcon()->toolTip(), u"Mok"_s);
        QCOMPARE(task.trayIcon()->icon().cacheKey(), windowIcon.cacheKey());
        QVERIFY(!window.isMinimized());

        emit task.trayIcon()->activated(press);
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!task.iconShown());
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(window.geometry(), QGuiApplication::primaryScreen()->geometry());
        QCOMPARE(gameState(window), before);
    }
    // Min says nothing.
    QTest::qWait(50);
    QVERIFY(boxes.seen().isEmpty());
    // The game goes on where it was.
    QVERIFY(window.findChild<QWidget *>(u"imgPiece3"_s)->isEnabled());
}

void TestShellCommands::iconIgnoresAllButPresses()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    pressMin(window);
    QTRY_VERIFY(window.isHidden());
    QSystemTrayIcon *icon = app.task().trayIcon();
    for (const QSystemTrayIcon::ActivationReason other :
         {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit icon->activated(other);
    QTest::qWait(50);
    QVERIFY(window.isHidden());
    QVERIFY(app.task().iconShown());
    // A double click comes after a press, which alone restores.
    emit icon->activated(QSystemTrayIcon::Trigger);
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    emit icon->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(window.isVisible());
    QVERIFY(!app.task().iconShown());
    QSignalSpy restored(&app.task(), &mdlTask::restored);
    QTest::qWait(50);
    QCOMPARE(restored.count(), 0); // the queued second press found no icon
}

void TestShellCommands::windowComesBackWhenTheNotificationAreaGoes()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    pressMin(window);
    QTRY_VERIFY(window.isHidden());
    // While the panel is there, the window waits in it.
    QTest::qWait(2 * mdlTask::kWatchIntervalMs + 100);
    QVERIFY(window.isHidden());
    QVERIFY(app.task().iconShown());
    // The panel quits: with no icon to press, the window comes back.
    desktop.tray = false;
    QTRY_VERIFY(window.isVisible());
    QVERIFY(!app.task().iconShown());
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // And Min, pressed again, now minimises instead.
    pressMin(window);
    QTRY_VERIFY(window.isMinimized());
}

// The game's icon on the bus.
static const QString kBusIcon =
    u"org.kde.StatusNotifierItem-%1-1"_s.arg(QCoreApplication::applicationPid());

static bool onBus(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}

// The panel's watcher comes up after the game started, and after Min found
// no notification area: the next Min uses it. When it goes, the window
// comes back.
void TestShellCommands::aPanelStartedLaterIsUsedByTheNextPress()
{
    if (m_bus.isEmpty())
        QSKIP("dbus-daemon is not installed (scripts/bootstrap installs it)");
    AppController app;
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    ModalWatcher boxes;
    pressMin(window);
    QTRY_COMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].text, kStillShownText);

    auto watcher = std::make_unique<StandInWatcher>(m_bus);
    pressMin(window);
    QTRY_VERIFY(window.isHidden());
    QVERIFY(onBus(kBusIcon));
    QCOMPARE(boxes.seen().size(), 1);

    watcher.reset();
    QTRY_VERIFY(window.isVisible());
    QVERIFY(!onBus(kBusIcon));
}

// Whichever way a panel passes on a left or right press, the window comes
// back and the icon goes; the middle button and the wheel do nothing.
void TestShellCommands::aPanelsPressesBringTheWindowBack()
{
    if (m_bus.isEmpty())
        QSKIP("dbus-daemon is not installed (scripts/bootstrap installs it)");
    struct Press {
        const char *path; // the icon's, or its menu's
        const char16_t *method;
        QVariantList args;
        bool restores;
    };
    const char *icon = "/StatusNotifierItem", *menu = "/MenuBar";
    const Press presses[] = {
        {icon, u"SecondaryActivate", {0, 0}, false}, // the middle button
        {icon, u"Scroll", {1, u"vertical"_s}, false},
        {icon, u"Activate", {0, 0}, true},    // a left press
        {icon, u"ContextMenu", {0, 0}, true}, // a right press, where no menu opens
        {menu, u"AboutToShow", {0}, true},    // a right press opening the menu
        {menu, u"AboutToShowGroup", {QVariant::fromValue(QList<int>{0})}, true},
        {menu, u"Event", {0, u"opened"_s, QVariant::fromValue(QDBusVariant(0)), 0u}, true},
    };
    StandInWatcher watcher(m_bus);
    AppController app;
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    for (const Press &press : presses) {
        if (window.isVisible())
            pressMin(window);
        QTRY_VERIFY(onBus(kBusIcon));
        QDBusMessage call = QDBusMessage::createMethodCall(
            kBusIcon, QLatin1String(press.path),
            press.path == menu ? u"com.canonical.dbusmenu"_s : u"org.kde.StatusNotifierItem"_s,
            QString::fromUtf16(press.method));
        call.setArguments(press.args);
        const QDBusPendingCall reply = QDBusConnection::sessionBus().asyncCall(call);
        QTRY_VERIFY(reply.isFinished());
        QVERIFY2(!reply.isError(), qPrintable(reply.error().message()));
        QCoreApplication::processEvents(); // what the call set going
        QCOMPARE(window.isVisible(), press.restores);
        QCOMPARE(onBus(kBusIcon), !press.restores);
    }
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestShellCommands::minWithoutANotificationAreaMinimises()
{
    StatedDesktop desktop;
    desktop.tray = false;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    InstalledReadme readme;
    CaughtOpens opens;
    ModalWatcher boxes;

    pressMin(window);
    QTRY_VERIFY(window.isMinimized());
    // Not hidden: the taskbar gives it back.
    QVERIFY(!window.isHidden());
    QVERIFY(!app.task().iconShown());
    QTest::qWait(50);
    QVERIFY(boxes.seen().isEmpty());

    int seen = 0;
    for (const char *button : {"imgReadme", "imgVersion"}) {
        window.showFullScreen();
        QTest::mouseClick(window.findChild<ImageButton *>(QLatin1String(button)), Qt::LeftButton);
        QTRY_VERIFY(boxes.seen().size() > seen);
        QVERIFY(window.isMinimized());
        QVERIFY(!window.isHidden());
        QVERIFY(!app.task().iconShown());
        // The box tells the truth: no claim of a notification area.
        QCOMPARE(boxes.seen()[seen].text, kMinimisedText);
        QCOMPARE(boxes.seen()[seen].title, u"タスク"_s);
        seen = static_cast<int>(boxes.seen().size());
    }
    QVERIFY(kMinimisedText.contains(u"最小化"_s));
    QVERIFY(!kMinimisedText.contains(u"タスクトレイへ移動"_s));
    QVERIFY(!kMinimisedText.contains(u"アイコン"_s));
    QTRY_VERIFY(app.about() && app.about()->isVisible());
    QCOMPARE(app.about()->windowHandle()->transientParent(), nullptr);
}

void TestShellCommands::withoutAWindowManagerTheWindowStays()
{
    StatedDesktop desktop;
    desktop.tray = false;
    desktop.windowManager = false;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    InstalledReadme readme;
    CaughtOpens opens;
    ModalWatcher boxes;
    int seen = 0;
    for (const char *button : {"imgMin", "imgReadme", "imgVersion"}) {
        QTest::mouseClick(window.findChild<ImageButton *>(QLatin1String(button)), Qt::LeftButton);
        QTRY_COMPARE(boxes.seen().size(), seen + 1);
        QCOMPARE(boxes.seen()[seen].text, kStillShownText);
        QCOMPARE(boxes.seen()[seen].title, u"タスク"_s);
        ++seen;
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!app.task().iconShown());
    }
    QTRY_VERIFY(app.about() && app.about()->isVisible());
    // Above the game's window, which stayed on top of everything.
    QCOMPARE(app.about()->windowHandle()->transientParent(), window.windowHandle());
}

void TestShellCommands::readmeSaysWhereTheWindowWentThenOpensThePage()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    InstalledReadme readme;
    CaughtOpens opens;
    bool openedBeforeTheBox = false;
    ModalWatcher boxes([&](QDialog *) {
        openedBeforeTheBox = !opens.urls.isEmpty();
        return true;
    });
    QTest::mouseClick(window.findChild<ImageButton *>(u"imgReadme"_s), Qt::LeftButton);
    QTRY_COMPARE(opens.urls.size(), 1);
    QVERIFY(window.isHidden());
    QVERIFY(app.task().iconShown());
    QCOMPARE(boxes.seen().size(), 1);
    QVERIFY(!openedBeforeTheBox);
    QCOMPARE(boxes.seen()[0].title, u"タスク"_s);
    QCOMPARE(boxes.seen()[0].text, kInTrayText);
    // Two lines: a line feed, and no lone carriage return.
    QCOMPARE(boxes.seen()[0].text.split(u'\n').size(), 2);
    QVERIFY(!boxes.seen()[0].text.contains(u'\r'));

    const QUrl url = opens.urls.first();
    QVERIFY(url.isLocalFile());
    QCOMPARE(canonicalFileOf(url), QFileInfo(readme.path).canonicalFilePath());
    QFile opened(url.toLocalFile());
    QFile packaged(QStringLiteral(MOK_SOURCE_DIR "/assets/readme.htm"));
    QVERIFY(opened.open(QIODevice::ReadOnly) && packaged.open(QIODevice::ReadOnly));
    QCOMPARE(opened.readAll(), packaged.readAll());
}

void TestShellCommands::readmeThatIsMissingSaysWhereItWasLookedFor()
{
    // The test programs do not have the readme beside them.
    const QStringList places = mok::platform::programFileCandidates(
        u"readme.htm"_s, QCoreApplication::applicationDirPath());
    for (const QString &place : places)
        QVERIFY2(!QFile::exists(place), qPrintable(place));
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    CaughtOpens opens;
    ModalWatcher boxes;
    QTest::mouseClick(app.window()->findChild<ImageButton *>(u"imgReadme"_s), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen().size(), 2);
    QCOMPARE(boxes.seen()[1].title, u"readme"_s);
    QCOMPARE(boxes.seen()[1].text,
             u"readme.htm が見つかりませんでした。次の場所を探しました。\n"_s +
                 QDir::toNativeSeparators(places.join(u'\n')));
    QVERIFY(opens.urls.isEmpty());
}

void TestShellCommands::readmeThatCannotOpenSaysWhichFile()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    InstalledReadme readme;
    CaughtOpens opens;
    opens.succeed = false;
    ModalWatcher boxes;
    QTest::mouseClick(app.window()->findChild<ImageButton *>(u"imgReadme"_s), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen().size(), 2);
    QCOMPARE(opens.urls.size(), 1);
    QCOMPARE(boxes.seen()[1].title, u"開く"_s);
    QCOMPARE(boxes.seen()[1].text, u"次のファイルを開くことができませんでした。\n"_s +
                                       QDir::toNativeSeparators(opens.urls.first().toLocalFile()) +
                                       u"\nブラウザーなどで直接開いてください。"_s);
    QVERIFY(boxes.seen()[1].text.split(u'\n')[1].endsWith(u"/share/mok/readme.htm"_s));
}

void TestShellCommands::packagedReadmeIsACompleteJapanesePage()
{
    // Where the game looks: beside itself, then share/mok under its prefix.
    QCOMPARE(mok::platform::programFileCandidates(u"readme.htm"_s, u"/opt/mok/bin"_s),
             QStringList({u"/opt/mok/bin/readme.htm"_s, u"/opt/mok/share/mok/readme.htm"_s}));
    // The build puts it beside the game.
    const QString beside =
        mok::platform::programFileCandidates(u"readme.htm"_s,
                                             QFileInfo(QStringLiteral(MOK_BINARY)).absolutePath())
            .first();
    QFile built(beside);
    QVERIFY2(built.open(QIODevice::ReadOnly), qPrintable(beside));
    QFile source(QStringLiteral(MOK_SOURCE_DIR "/assets/readme.htm"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QCOMPARE(built.readAll(), bytes);

    // UTF-8, and declared so.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString page = utf8(bytes);
    QVERIFY(!utf8.hasError());
    QVERIFY(page.contains(u"<meta charset=\"UTF-8\">"_s, Qt::CaseInsensitive));
    QVERIFY(page.contains(u"<html lang=\"ja\">"_s));
    // Every link stays on the page.
    static const QRegularExpression reference(u"(?:href|src)\\s*=\\s*\"([^\"]*)\""_s);
    for (const QRegularExpressionMatch &m : reference.globalMatch(page))
        QVERIFY2(m.captured(1).startsWith(u'#'), qPrintable(m.captured(1)));
    QVERIFY(!page.contains(u"http"_s));
    // It covers the game.
    for (const QString &topic :
         {u"ピクチャを開く"_s, u"Level 1"_s, u"Level 9"_s, u"スタート"_s, u"ドラッグ"_s,
          u"10 ピクセル"_s, u"ギブアップ"_s, u"タスクトレイ"_s, u"バージョン情報"_s, u".bmp"_s,
          u".gif"_s, u".jpg"_s, u"× 閉じる"_s})
        QVERIFY2(page.contains(topic), qPrintable(topic));
}

void TestShellCommands::versionShowsOneAboutWindow()
{
    StatedDesktop desktop;
    AppController app(desktop.desktop());
    QVERIFY(startAndWaitForOpen(app));
    frmMain &window = *app.window();
    ModalWatcher boxes;
    QTest::mouseClick(window.findChild<ImageButton *>(u"imgVersion"_s), Qt::LeftButton);
    QTRY_VERIFY(app.about());
    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].text, kInTrayText);
    QPointer<frmVersion> about = app.about();
    QVERIFY(about->isVisible());
    QVERIFY(!about->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(window.isHidden());
    // The about window is no child of the main window: Open, which makes
    // the main window afresh, leaves it alone.
    QCOMPARE(about->parentWidget(), nullptr);
    // A window manager may minimise it all the same (openbox does).
    about->showMinimized();

    emit app.task().trayIcon()->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(window.isVisible());
    QTest::mouseClick(window.findChild<ImageButton *>(u"imgVersion"_s), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen().size(), 2);
    QTRY_VERIFY(about->isVisible());
    QVERIFY(!about->isMinimized());
    QCOMPARE(app.about(), about.data());
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](QWidget *w) { return qobject_cast<frmVersion *>(w) != nullptr; }),
             1);

    QTest::mouseClick(about->findChild<QLabel *>(u"lblClose"_s), Qt::LeftButton);
    QTRY_VERIFY(!about);
    QVERIFY(!app.about());
}

QTEST_MAIN(TestShellCommands)
#include "tst_shellcommands.moc"
