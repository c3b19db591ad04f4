// The game as a player meets it: the real binary on an X server of its own,
// driven with xdotool and judged on screenshots. The test itself needs no
// display: it starts Xvfb, and stops it and the game when it is done.
#include <QtTest>

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

#ifdef MOK_HAVE_XCB
#include <xcb/xcb.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;
constexpr int kWaitMs = 20000;
// Where the pointer rests between clicks: over no control, so no tooltip
// ever covers what the screenshots look at.
const QPoint kParking(1016, 400);
// Where Start and Give up show their faces.
const QPoint kStart(408, 8);
const QPoint kGiveUp(516, 8);

int rhe(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

// The window's background: 256 bands from blue to black.
QRgb gradientAt(int y)
{
    const double step = double(kScreenH) / 256;
    for (int i = 0; i < 256; ++i) {
        if (y >= rhe(step * i) && y < rhe(step * (i + 1)))
            return qRgb(0, 0, 255 - i);
    }
    return qRgb(255, 255, 255); // off the window: never expected
}

QImage gradientPatch(const QRect &r)
{
    QImage patch(r.size(), QImage::Format_RGB32);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            patch.setPixel(x, y, gradientAt(r.top() + y));
    return patch;
}

// Compares `shot` at `at` with `expected`. Returns the first difference and
// how many pixels differ, or an empty string when they agree.
QString compareAt(const QImage &shot, const QImage &expected, QPoint at, const QString &what,
                  int *differing = nullptr)
{
    const auto describe = [](QRgb c) {
        return u"(%1,%2,%3)"_s.arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
    };
    int count = 0;
    QString first;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb want = expected.pixel(x, y) | 0xff000000u;
            const QRgb got = shot.pixel(at.x() + x, at.y() + y) | 0xff000000u;
            if (want != got && count++ == 0)
                first = u"%1: pixel (%2,%3) is %4, expected %5"_s.arg(what)
                            .arg(at.x() + x)
                            .arg(at.y() + y)
                            .arg(describe(got), describe(want));
        }
    }
    if (differing)
        *differing = count;
    return count ? first + u" (%1 pixels differ)"_s.arg(count) : QString();
}

// A button face as it shows at `at`: the background shows through its
// transparent pixels.
QImage faceOnGradient(const QString &name, QPoint at)
{
    const QImage face = QImage(QStringLiteral(MOK_SOURCE_DIR "/assets/faces/") + name + u".png"_s)
                            .convertToFormat(QImage::Format_ARGB32);
    QImage shown(face.size(), QImage::Format_RGB32);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            shown.setPixel(x, y,
                           qAlpha(face.pixel(x, y)) ? face.pixel(x, y) : gradientAt(at.y() + y));
    return shown;
}

// Every pixel a colour of its own, scattered so that neighbours always
// differ: a piece out of place, or a pixel shifted, shows.
QImage noisePicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(
                x, y, 0xff000000u | ((quint32(y * w + x) * 0x9E3779u + 0x5A5A5Au) & 0xffffffu));
    return image;
}

// The assembled board the game must show for `picture` at level 4: the
// picture shrunk by the smallest divisor that fits it into 80 % of the
// screen, centred, black on the area's left column and top row. Only five
// whole cells each way are cut; anything past them is not compared.
struct Board {
    QPoint at;
    QImage expected;
};

Board boardFor(const QImage &picture)
{
    const int w = picture.width(), h = picture.height();
    int d = 1;
    while (d < 5 && (w > kScreenW * 0.8 * d || h > kScreenH * 0.8 * d))
        ++d;
    QImage preview = picture.convertToFormat(QImage::Format_RGB32);
    if (d > 1)
        preview = preview.scaled(rhe(double(w) / d), rhe(double(h) / d), Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
    const int areaW = rhe(w * 15.0 / d), areaH = rhe(h * 15.0 / d);
    const int left = (kScreenW * 15 - areaW) / 2, top = (kScreenH * 15 - areaH) / 2;
    const QPoint at(rhe(left / 15.0), rhe(top / 15.0));
    const int coveredW = rhe((left + 5 * (areaW / 5)) / 15.0) - at.x();
    const int coveredH = rhe((top + 5 * (areaH / 5)) / 15.0) - at.y();
    QImage expected =
        preview.copy(0, 0, qMin(coveredW, preview.width()), qMin(coveredH, preview.height()));
    for (int x = 0; x < expected.width(); ++x)
        expected.setPixel(x, 0, qRgb(0, 0, 0));
    for (int y = 0; y < expected.height(); ++y)
        expected.setPixel(0, y, qRgb(0, 0, 0));
    return {at, expected};
}

#ifdef MOK_HAVE_XCB
// Plays a window manager that announces itself as EWMH asks (a window of its
// own, named on the root window and by itself) and then does nothing, so a
// request to minimise goes unanswered. Its connection keeps it there.
struct IdleWindowManager {
    xcb_connection_t *c;
    explicit IdleWindowManager(const QString &display)
        : c(xcb_connect(qPrintable(display), nullptr))
    {
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
        const xcb_window_t check = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, check, root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        for (const xcb_window_t on : {check, root})
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, on, atom ? atom->atom : XCB_NONE,
                                XCB_ATOM_WINDOW, 32, 1, &check);
        std::free(atom);
        xcb_flush(c);
    }
    ~IdleWindowManager() { xcb_disconnect(c); }
};
#endif

} // namespace

class TestRealWindow : public QObject {
    Q_OBJECT
public:
    ~TestRealWindow() override { stopAll(); }

private slots:
    void initTestCase();
    void cleanupTestCase() { stopAll(); }
    void init();
    void cleanup()
    {
        stopGame();
        stopTrayHost();
    }

    void startScreen();
    void openStartGiveUp_data();
    void openStartGiveUp();
    void secondCopyShowsItsBoxAndEnds();
    void killedCopyDoesNotLockThePlayerOut();
    void anotherUsersCopyIsNotRefused();

    void withoutATrayMinKeepsTheWindowShown_data();
    void withoutATrayMinKeepsTheWindowShown();
    void minToTheTrayAndBack();
    void minAndExitInOneTickLeaveNoIcon();

private:
    struct XWindow {
        qulonglong id = 0;
        QRect geometry;
        QString name;
    };
    // The game's windows that are on the screen now.
    QList<XWindow> gameWindows();
    // The game's full-screen window once it shows, by class and size (a
    // splash or a box may come and go before it); an empty id if it never does.
    XWindow waitForMainWindow();
    // The game's window that is none of these: its icon in the tray host,
    // or a message box.
    XWindow waitForGameWindow(const std::function<bool(const XWindow &)> &which);
    // Starts trayer, a notification area from Debian, along the top left;
    // the test should then check QTest::currentTestFailed().
    void startTrayHost();
    // Opens `path` through the file dialog and starts the game, seeing the
    // picture assembled on the board and then scattered; returns what went
    // wrong, or an empty string.
    QString openAndStart(const QString &path);
    void stopTrayHost();
    std::unique_ptr<QProcess>
    spawn(const QString &program, const QStringList &args, const QString &workingDir = {},
          QProcess::ProcessChannelMode channels = QProcess::SeparateChannels);
    // What the game's start left behind, for a start that did not come up:
    // its process state, its windows and its standard error.
    QString whatTheGameShowed();
    QString waitForWindowOf(const std::function<bool(qint64 pid)> &owner);
    QByteArray run(const QString &program, const QStringList &args);
    QByteArray xdotool(const QStringList &args) { return run(u"xdotool"_s, args); }
    void click(QPoint p);
    QImage screenshot();
    QString waitForScreen(const std::function<QString(const QImage &)> &check);
    void stopGame();
    void stopAll();

    QTemporaryDir m_tmp;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_game;
    qint64 m_gamePid = 0; // kept for the report once the process has ended
    std::unique_ptr<QProcess> m_trayHost;
    QString m_display;
};

std::unique_ptr<QProcess> TestRealWindow::spawn(const QString &program, const QStringList &args,
                                                const QString &workingDir,
                                                QProcess::ProcessChannelMode channels)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(channels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    // The file dialog remembers folders: keep that out of the user's settings.
    env.insert(u"XDG_CONFIG_HOME"_s, m_tmp.path());
    env.insert(u"XDG_RUNTIME_DIR"_s, m_tmp.path());
    // No session bus: the notification area is trayer, never the panel of
    // the desktop the tests happen to be run from.
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + m_tmp.filePath(u"no-bus"_s));
    process->setProcessEnvironment(env);
    // Whatever becomes of the test, what it started goes with it.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    if (!workingDir.isEmpty())
        process->setWorkingDirectory(workingDir);
    process->start(program, args);
    return process;
}

QByteArray TestRealWindow::run(const QString &program, const QStringList &args)
{
    const std::unique_ptr<QProcess> p = spawn(program, args);
    if (!p->waitForFinished(kWaitMs)) {
        p->kill();
        p->waitForFinished();
        return {};
    }
    const bool ok = p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    return ok ? p->readAllStandardOutput() : QByteArray();
}

void TestRealWindow::click(QPoint p)
{
    xdotool({u"mousemove"_s, QString::number(p.x()), QString::number(p.y()), u"click"_s, u"1"_s,
             u"mousemove"_s, QString::number(kParking.x()), QString::number(kParking.y())});
}

QImage TestRealWindow::screenshot()
{
    const QByteArray ppm =
        run(u"import"_s, {u"-window"_s, u"root"_s, u"-depth"_s, u"8"_s, u"ppm:-"_s});
    return QImage::fromData(ppm, "PPM").convertToFormat(QImage::Format_RGB32);
}

// Polls the screen until `check` finds nothing wrong there; otherwise returns
// its last complaint and keeps that screen beside the test for a look.
QString TestRealWindow::waitForScreen(const std::function<QString(const QImage &)> &check)
{
    const QDeadlineTimer deadline(kWaitMs);
    QString complaint;
    QImage shot;
    do {
        shot = screenshot();
        complaint = shot.size() == QSize(kScreenW, kScreenH) ? check(shot) : u"no screenshot"_s;
        if (complaint.isEmpty())
            return {};
        QTest::qWait(100);
    } while (!deadline.hasExpired());
    QString name = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        name += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_');
    const QString saved = QDir::current().absoluteFilePath(u"tst_realwindow-"_s + name + u".png"_s);
    if (shot.save(saved))
        complaint += u" [screen kept as "_s + saved + u']';
    return complaint;
}

void TestRealWindow::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY2(QFileInfo(QStringLiteral(MOK_BINARY)).isExecutable(), MOK_BINARY);
    for (const QString &tool : {u"Xvfb"_s, u"xdotool"_s, u"import"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + u" is not installed"_s));
    }
    // Xvfb takes a free display itself and writes its number to stdout once
    // it accepts connections. It must not reset when its last client leaves:
    // a game killed and started again at once (killedCopyDoesNotLockThePlayerOut)
    // would otherwise find the server in the middle of its reset, fail to
    // connect ("could not connect to display") and never show a window.
    m_xvfb = spawn(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s,
                               u"-nolisten"_s, u"tcp"_s, u"-dpi"_s, u"96"_s, u"-noreset"_s});
    QByteArray number;
    const QDeadlineTimer deadline(kWaitMs);
    while (!number.endsWith('\n') && !deadline.hasExpired() &&
           m_xvfb->state() != QProcess::NotRunning) {
        m_xvfb->waitForReadyRead(100);
        number += m_xvfb->readAllStandardOutput();
    }
    QVERIFY2(number.endsWith('\n'), m_xvfb->readAllStandardError().constData());
    m_display = u':' + QString::fromLatin1(number.trimmed());
}

void TestRealWindow::init()
{
    QVERIFY(m_xvfb);
    // Up once the splash has handed over and the opening banner has settled,
    // for only then does Open work: the settled slogan reaches out left of
    // the box the running banner is clipped to. The game starts once: a
    // start that does not come up is a failure, told with what was seen.
    const QImage open = faceOnGradient(u"open"_s, {8, 8});
    const auto bannerSettled = [](const QImage &s) -> QString {
        for (int y = 365; y < 400; ++y)
            for (int x = 300; x < 420; ++x)
                if (qRed(s.pixel(x, y)) > 200)
                    return {};
        return u"the opening banner has not settled"_s;
    };
    stopGame();
    // Its standard output goes to the test's; its standard error is kept
    // for the report.
    m_game = spawn(QStringLiteral(MOK_BINARY), {}, {}, QProcess::ForwardedOutputChannel);
    QVERIFY(m_game->waitForStarted());
    m_gamePid = m_game->processId();
    xdotool({u"mousemove"_s, QString::number(kParking.x()), QString::number(kParking.y())});
    const QString wrong = waitForScreen([&](const QImage &s) {
        const QString e = compareAt(s, open, {8, 8}, u"Open button"_s);
        return e.isEmpty() ? bannerSettled(s) : e;
    });
    if (!wrong.isEmpty())
        QFAIL(qPrintable(u"the game did not come up: "_s + wrong + u'\n' + whatTheGameShowed()));
}

QString TestRealWindow::whatTheGameShowed()
{
    QString seen =
        m_game->state() == QProcess::NotRunning
            ? QStringLiteral("the game has ended: %1, exit code %2")
                  .arg(m_game->exitStatus() == QProcess::NormalExit ? u"normal exit"_s
                                                                    : u"crashed or killed"_s)
                  .arg(m_game->exitCode())
            : u"the game is still running"_s;
    // Every window of the game's process, mapped or not, with its name.
    const QString pid = QString::number(m_gamePid);
    QStringList windows;
    for (const QByteArray &id :
         xdotool({u"search"_s, u"--pid"_s, pid, u"--name"_s, u""_s}).split('\n')) {
        if (id.isEmpty())
            continue;
        const QString window = QString::fromLatin1(id);
        windows << window + u" \""_s +
                       QString::fromUtf8(xdotool({u"getwindowname"_s, window}).trimmed()) + u'"';
    }
    const QByteArray visible =
        xdotool({u"search"_s, u"--onlyvisible"_s, u"--pid"_s, pid, u"--name"_s, u""_s});
    seen +=
        u"; its windows: "_s + (windows.isEmpty() ? u"none"_s : windows.join(u", "_s)) +
        u"; mapped: "_s +
        (visible.trimmed().isEmpty() ? u"none"_s
                                     : QString::fromLatin1(visible.trimmed()).replace(u'\n', u' '));
    const QByteArray errors = m_game->readAllStandardError();
    seen += u"\nits standard error:\n"_s +
            (errors.isEmpty() ? u"(nothing)"_s : QString::fromLocal8Bit(errors));
    return seen;
}

// Kills a process this test started, if it still has one.
static void killAndForget(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished();
    process.reset();
}

void TestRealWindow::stopGame()
{
    killAndForget(m_game);
}

void TestRealWindow::stopTrayHost()
{
    if (!m_trayHost)
        return;
    killAndForget(m_trayHost);
    // Its panel leaves the screen with it.
    for (QDeadlineTimer deadline(kWaitMs);
         !xdotool({u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"trayer"_s}).isEmpty() &&
         !deadline.hasExpired();)
        QTest::qWait(50);
}

void TestRealWindow::stopAll()
{
    stopGame();
    stopTrayHost();
    if (!m_xvfb)
        return;
    m_xvfb->terminate();
    if (!m_xvfb->waitForFinished(5000)) {
        m_xvfb->kill();
        m_xvfb->waitForFinished();
    }
    m_xvfb.reset();
}

void TestRealWindow::startScreen()
{
    const QImage open = faceOnGradient(u"open"_s, {8, 8});
    const QRect level(408, 32, 209, 20);
    const QString wrong = waitForScreen([&](const QImage &s) -> QString {
        // The background: the top and bottom rows, and two columns clear of
        // every control and of the banner.
        for (const QRect &r : {QRect(0, 0, kScreenW, 1), QRect(0, kScreenH - 1, kScreenW, 1),
                               QRect(150, 0, 1, kScreenH), QRect(800, 0, 1, kScreenH)}) {
            if (QString e = compareAt(s, gradientPatch(r), r.topLeft(), u"background"_s);
                !e.isEmpty())
                return e;
        }
        if (QString e = compareAt(s, open, {8, 8}, u"Open button"_s); !e.isEmpty())
            return e;
        // The level list fills its rectangle, and only it stands out from
        // the background around it.
        QRect drawn;
        const QRect around = level.adjusted(-30, -4, 30, 4);
        for (int y = around.top(); y <= around.bottom(); ++y)
            for (int x = around.left(); x <= around.right(); ++x)
                if (s.pixel(x, y) != gradientAt(y))
                    drawn |= QRect(x, y, 1, 1);
        if (drawn != level)
            return u"level list drawn over (%1,%2) %3x%4"_s.arg(drawn.x())
                .arg(drawn.y())
                .arg(drawn.width())
                .arg(drawn.height());
        return {};
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestRealWindow::openStartGiveUp_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addRow("600x400 shown as is") << QSize(600, 400);
    // Halved it is 650.5 x 450.5: rounding, and cells that are no whole pixels.
    QTest::addRow("1301x901 shown at half") << QSize(1301, 901);
}

void TestRealWindow::openStartGiveUp()
{
    QFETCH(QSize, size);
    const QString path =
        m_tmp.filePath(u"picture-%1x%2.bmp"_s.arg(size.width()).arg(size.height()));
    QVERIFY(noisePicture(size.width(), size.height()).save(path, "BMP"));
    QString wrong = openAndStart(path);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    const Board board = boardFor(QImage(path)); // as the file holds it
    const int giveUpWidth = faceOnGradient(u"giveup"_s, kGiveUp).width();
    const QRect buttons(kStart, QPoint(kGiveUp.x() + giveUpWidth - 1, kStart.y() + 19));
    click(kGiveUp + QPoint(50, 10));
    wrong = waitForScreen([&](const QImage &s) {
        QString e = compareAt(s, board.expected, board.at, u"board after giving up"_s);
        return e.isEmpty() ? compareAt(s, gradientPatch(buttons), buttons.topLeft(),
                                       u"where Start and Give up were"_s)
                           : e;
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// The first visible window whose process `owner` accepts.
QString TestRealWindow::waitForWindowOf(const std::function<bool(qint64 pid)> &owner)
{
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(100)) {
        const QByteArray ids = xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"."_s});
        for (const QByteArray &id : ids.split('\n')) {
            const QString window = QString::fromLatin1(id.trimmed());
            if (!window.isEmpty() && owner(xdotool({u"getwindowpid"_s, window}).toLongLong()))
                return window;
        }
    }
    return {};
}

QList<TestRealWindow::XWindow> TestRealWindow::gameWindows()
{
    QList<XWindow> windows;
    const QByteArray ids = xdotool({u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"^mok$"_s});
    for (const QByteArray &id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        XWindow w;
        w.id = id.trimmed().toULongLong();
        const QString shell = QString::fromUtf8(
            xdotool({u"getwindowgeometry"_s, u"--shell"_s, QString::number(w.id)}));
        int x = 0, y = 0, width = 0, height = 0;
        for (const QString &line : shell.split(u'\n')) {
            const QString value = line.section(u'=', 1);
            if (line.startsWith(u"X="_s))
                x = value.toInt();
            else if (line.startsWith(u"Y="_s))
                y = value.toInt();
            else if (line.startsWith(u"WIDTH="_s))
                width = value.toInt();
            else if (line.startsWith(u"HEIGHT="_s))
                height = value.toInt();
        }
        if (width == 0)
            continue; // gone meanwhile
        w.geometry = QRect(x, y, width, height);
        w.name = QString::fromUtf8(xdotool({u"getwindowname"_s, QString::number(w.id)})).trimmed();
        windows << w;
    }
    return windows;
}

TestRealWindow::XWindow
TestRealWindow::waitForGameWindow(const std::function<bool(const XWindow &)> &which)
{
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(100)) {
        for (const XWindow &w : gameWindows()) {
            if (which(w))
                return w;
        }
    }
    return {};
}

void TestRealWindow::secondCopyShowsItsBoxAndEnds()
{
    // Started from another folder, the second copy still finds the first.
    const auto second = spawn(QStringLiteral(MOK_BINARY), {}, QDir::rootPath());
    const qint64 pid = second->processId();
    const QString box = waitForWindowOf([&](qint64 owner) { return owner == pid; });
    QCOMPARE(QString::fromUtf8(xdotool({u"getwindowname"_s, box})).trimmed(), u"重複起動"_s);
    // Its only window, and above the first copy's, which stays on top.
    QCOMPARE(xdotool({u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)}).trimmed(),
             box.toLatin1());
    QVERIFY(run(u"xprop"_s, {u"-id"_s, box, u"_NET_WM_STATE"_s}).contains("_NET_WM_STATE_ABOVE"));
    xdotool({u"windowfocus"_s, u"--sync"_s, box, u"key"_s, u"Return"_s});
    QVERIFY(second->waitForFinished(kWaitMs));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(m_game->state(), QProcess::Running);
    const QImage open = faceOnGradient(u"open"_s, {8, 8});
    const QString wrong = waitForScreen([&](const QImage &s) {
        return compareAt(s, open, {8, 8}, u"the first copy's Open button"_s);
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestRealWindow::killedCopyDoesNotLockThePlayerOut()
{
    m_game->kill(); // SIGKILL: the lock file stays behind
    QVERIFY(m_game->waitForFinished(kWaitMs));
    QVERIFY(QFile::exists(m_tmp.filePath(u"mok.lock"_s)));
    init(); // the next start comes up as usual
}

void TestRealWindow::anotherUsersCopyIsNotRefused()
{
    const passwd *other = ::getpwnam("nobody");
    if (::geteuid() != 0 || !other || QStandardPaths::findExecutable(u"runuser"_s).isEmpty())
        QSKIP("needs root, runuser and the user nobody");
    // The other user's own runtime folder and home, as a login gives them.
    QTemporaryDir theirs;
    QVERIFY(::chown(QFile::encodeName(theirs.path()).constData(), other->pw_uid, 0) == 0);
    const QString dir = theirs.path();
    // The build may lie in a folder only its owner can enter (a checkout in
    // a private folder, as root), so the other user starts a copy of the
    // game put in their own folder. Only a temporary folder that is itself
    // out of their reach keeps it from them, and then the case cannot run.
    const QString binary = theirs.filePath(u"mok"_s);
    QVERIFY(QFile::copy(QStringLiteral(MOK_BINARY), binary));
    // With its decoding helper beside it, as the game is laid out everywhere.
    QVERIFY(QFile::copy(QStringLiteral(MOK_DECODE), theirs.filePath(u"mok-decode"_s)));
    if (QProcess::execute(u"runuser"_s,
                          {u"-u"_s, u"nobody"_s, u"--"_s, u"test"_s, u"-x"_s, binary}) != 0)
        QSKIP(qPrintable(u"nobody cannot reach %1: the temporary folder (TMPDIR) lies "
                         "in a folder other users cannot enter"_s.arg(binary)));
    const auto copy = spawn(u"runuser"_s,
                            {u"-u"_s, u"nobody"_s, u"--"_s, u"env"_s, u"XDG_RUNTIME_DIR="_s + dir,
                             u"HOME="_s + dir, u"XDG_CACHE_HOME="_s + dir, binary},
                            dir);
    const qint64 mine = m_game->processId();
    const QString window =
        waitForWindowOf([&](qint64 owner) { return owner > 0 && owner != mine; });
    const qint64 pid = xdotool({u"getwindowpid"_s, window}).toLongLong();
    QVERIFY(pid > 0);
    const auto stop = qScopeGuard([&] {
        ::kill(pid_t(pid), SIGKILL);
        copy->waitForFinished(kWaitMs);
    });
    QCOMPARE(QString::fromUtf8(xdotool({u"getwindowname"_s, window})).trimmed(), u"Mok"_s);
    QFile status(u"/proc/%1/status"_s.arg(pid));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QByteArray uid = "\nUid:\t" + QByteArray::number(other->pw_uid) + '\t';
    QVERIFY(status.readAll().contains(uid));
}

TestRealWindow::XWindow TestRealWindow::waitForMainWindow()
{
    return waitForGameWindow(
        [](const XWindow &w) { return w.geometry == QRect(0, 0, kScreenW, kScreenH); });
}

void TestRealWindow::startTrayHost()
{
    m_trayHost =
        spawn(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--align"_s, u"left"_s, u"--widthtype"_s,
                            u"request"_s, u"--height"_s, u"24"_s, u"--SetDockType"_s, u"true"_s});
    QVERIFY(m_trayHost->waitForStarted());
    // It claims the notification area as it maps its panel.
    bool up = false;
    for (QDeadlineTimer deadline(kWaitMs); !up && !deadline.hasExpired();) {
        QTest::qWait(100);
        up = !xdotool({u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"trayer"_s}).isEmpty();
    }
    QVERIFY2(up, "trayer showed no panel");
    QTest::qWait(300);
}

QString TestRealWindow::openAndStart(const QString &path)
{
    const Board board = boardFor(QImage(path)); // as the file holds it
    click({70, 20});
    const QString title = u"ファイルを開く"_s;
    QString focused;
    for (QDeadlineTimer deadline(kWaitMs); focused != title && !deadline.hasExpired();) {
        QTest::qWait(100);
        focused = QString::fromUtf8(xdotool({u"getwindowfocus"_s, u"getwindowname"_s})).trimmed();
    }
    if (focused != title)
        return u"no file dialog; focus on "_s + focused;
    xdotool({u"type"_s, u"--delay"_s, u"20"_s, path});
    xdotool({u"key"_s, u"Return"_s});
    const QImage startFace = faceOnGradient(u"start"_s, kStart);
    QString wrong = waitForScreen([&](const QImage &s) {
        QString e = compareAt(s, board.expected, board.at, u"assembled board"_s);
        return e.isEmpty() ? compareAt(s, startFace, kStart, u"Start button"_s) : e;
    });
    if (!wrong.isEmpty())
        return wrong;
    click(kStart + QPoint(50, 10));
    const QImage giveUpFace = faceOnGradient(u"giveup"_s, kGiveUp);
    return waitForScreen([&](const QImage &s) {
        int moved = 0;
        compareAt(s, board.expected, board.at, QString(), &moved);
        if (moved < board.expected.width() * board.expected.height() / 2)
            return u"only %1 pixels of the board changed"_s.arg(moved);
        return compareAt(s, giveUpFace, kGiveUp, u"Give up button"_s);
    });
}

void TestRealWindow::withoutATrayMinKeepsTheWindowShown_data()
{
    QTest::addColumn<bool>("windowManager");
    QTest::addRow("no window manager") << false;
    // A tiling window manager, or sway on Wayland, takes no notice of a
    // request to minimise.
    QTest::addRow("one that does not minimise") << true;
}

void TestRealWindow::withoutATrayMinKeepsTheWindowShown()
{
    // No notification area, and no window manager, or one that keeps the
    // window where it is. Min can neither hide the window into a tray nor
    // minimise it, so the window stays, and a box says so.
    QFETCH(bool, windowManager);
#ifdef MOK_HAVE_XCB
    std::optional<IdleWindowManager> idle;
    if (windowManager)
        idle.emplace(m_display);
#else
    if (windowManager)
        QSKIP("built without xcb");
#endif
    const XWindow main = waitForMainWindow();
    QVERIFY2(main.id, "the main window never showed");
    const QImage before = screenshot();
    click({899, 18}); // Min
    const XWindow box = waitForGameWindow([&](const XWindow &w) { return w.id != main.id; });
    QVERIFY2(box.id, "no box");
    QCOMPARE(box.name, u"タスク"_s);
    QVERIFY(box.geometry.width() < kScreenW / 2);
    xdotool({u"windowfocus"_s, u"--sync"_s, QString::number(box.id), u"key"_s, u"Return"_s});
    // The box goes; the game stays where it was, as it was.
    const QString wrong = waitForScreen([&](const QImage &s) {
        for (const XWindow &w : gameWindows()) {
            if (w.id == box.id)
                return u"box still shown"_s;
        }
        return compareAt(s, before, {0, 0}, u"screen after Min"_s);
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(waitForMainWindow().id, main.id);
}

void TestRealWindow::minToTheTrayAndBack()
{
    if (QStandardPaths::findExecutable(u"trayer"_s).isEmpty())
        QSKIP("trayer is not installed (scripts/bootstrap installs it)");
    QVERIFY2(waitForMainWindow().id, "the main window never showed");
    const QString path = m_tmp.filePath(u"tray.bmp"_s);
    QVERIFY(noisePicture(600, 400).save(path, "BMP"));
    QString wrong = openAndStart(path);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // Open made the window afresh.
    const XWindow main = waitForMainWindow();
    QVERIFY2(main.id, "no main window after Open");
    startTrayHost();
    if (QTest::currentTestFailed())
        return;

    // The game in progress, scattered pieces and all; the tray host's panel
    // in the top left corner lies over it for now.
    const QRect panel(0, 0, 24, 24);
    QImage before = screenshot();
    const auto isIcon = [&](const XWindow &w) {
        return w.geometry.width() <= 64 && w.geometry.height() <= 64 && w.name == u"Mok"_s;
    };
    const QImage gradientUnderPanel = gradientPatch(panel);

    for (const char *button : {"1", "3"}) {
        click({899, 18}); // Min
        const XWindow icon = waitForGameWindow(isIcon);
        QVERIFY2(icon.id, "no icon in the tray");
        QVERIFY(panel.contains(icon.geometry));
        wrong = waitForScreen([&](const QImage &s) {
            int same = 0;
            compareAt(s, before, {0, 0}, QString(), &same);
            return same < kScreenW * kScreenH / 2 ? u"the game is still on the screen"_s
                                                  : QString();
        });
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        const QList<XWindow> away = gameWindows();
        QVERIFY(std::none_of(away.cbegin(), away.cend(),
                             [&](const XWindow &w) { return w.id == main.id; }));

        // A press on the icon brings the window back.
        const QPoint centre = icon.geometry.center();
        xdotool({u"mousemove"_s, QString::number(centre.x()), QString::number(centre.y()),
                 u"click"_s, QString::fromLatin1(button), u"mousemove"_s,
                 QString::number(kParking.x()), QString::number(kParking.y())});
        wrong = waitForScreen([&](const QImage &s) -> QString {
            // On top of everything, the tray host's panel too.
            if (QString e = compareAt(s, gradientUnderPanel.copy(0, 0, 2, 24), {0, 0},
                                      u"corner under the tray host's panel"_s);
                !e.isEmpty())
                return e;
            // The rest exactly as it was.
            QImage expected = before;
            QImage shown = s;
            for (QImage *image : {&expected, &shown})
                for (int y = panel.top(); y <= panel.bottom(); ++y)
                    for (int x = panel.left(); x <= panel.right(); ++x)
                        image->setPixel(x, y, 0);
            return compareAt(shown, expected, {0, 0}, u"game after coming back"_s);
        });
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        const XWindow back = waitForMainWindow();
        QCOMPARE(back.id, main.id);
        QCOMPARE(back.geometry, QRect(0, 0, kScreenW, kScreenH));
        QList<XWindow> shown;
        for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(100)) {
            shown = gameWindows();
            if (std::none_of(shown.cbegin(), shown.cend(), isIcon))
                break;
        }
        QVERIFY2(std::none_of(shown.cbegin(), shown.cend(), isIcon), "icon left in the tray");
        before = screenshot();
    }

    // Version: the box, then the about window; closing that leaves the game
    // running in the tray.
    click({967, 751});
    const XWindow box = waitForGameWindow([](const XWindow &w) { return w.name == u"タスク"_s; });
    QVERIFY2(box.id, "no box");
    xdotool({u"windowfocus"_s, u"--sync"_s, QString::number(box.id), u"key"_s, u"Return"_s});
    const XWindow about =
        waitForGameWindow([](const XWindow &w) { return w.name == u"バージョン情報"_s; });
    QVERIFY2(about.id, "no about window");
    QCOMPARE(about.geometry.size(), QSize(395, 170));
    QVERIFY(qAbs(about.geometry.center().x() - kScreenW / 2) <= 1);
    click(about.geometry.topLeft() + QPoint(196, 15)); // Close
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(100)) {
        const QList<XWindow> shown = gameWindows();
        if (std::none_of(shown.cbegin(), shown.cend(),
                         [&](const XWindow &w) { return w.id == about.id; }))
            break;
    }
    QTest::qWait(300);
    QCOMPARE(m_game->state(), QProcess::Running);
    const XWindow icon = waitForGameWindow(isIcon);
    QVERIFY2(icon.id, "the icon went with the about window");
    click(icon.geometry.center());
    QCOMPARE(waitForMainWindow().id, main.id);

    // Away in the tray once more, and the tray host quits: with no icon left
    // to press, the window comes back by itself.
    click({899, 18}); // Min
    QVERIFY2(waitForGameWindow(isIcon).id, "no icon in the tray");
    const QList<XWindow> away = gameWindows();
    QVERIFY(std::none_of(away.cbegin(), away.cend(),
                         [&](const XWindow &w) { return w.id == main.id; }));
    stopTrayHost();
    QCOMPARE(waitForMainWindow().id, main.id);
}

void TestRealWindow::minAndExitInOneTickLeaveNoIcon()
{
    if (QStandardPaths::findExecutable(u"trayer"_s).isEmpty())
        QSKIP("trayer is not installed (scripts/bootstrap installs it)");
    QVERIFY2(waitForMainWindow().id, "the main window never showed");
    startTrayHost();
    if (QTest::currentTestFailed())
        return;
    // Min and Exit pressed within one tick: the window goes to the tray,
    // and the program ends at once, taking its icon along. The game is held
    // still while both clicks are made, so that a busy machine cannot let
    // the tick run between them.
    const pid_t game = static_cast<pid_t>(m_game->processId());
    ::kill(game, SIGSTOP);
    xdotool({u"mousemove"_s, u"899"_s, u"18"_s, u"click"_s, u"1"_s, u"mousemove"_s, u"975"_s,
             u"18"_s, u"click"_s, u"1"_s});
    ::kill(game, SIGCONT);
    QVERIFY(m_game->waitForFinished(kWaitMs));
    QCOMPARE(m_game->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_game->exitCode(), 0);
    QTest::qWait(300);
    // Nothing of the game is left on the screen, in the tray host's panel
    // or anywhere else.
    QVERIFY(gameWindows().isEmpty());
}

QTEST_GUILESS_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
