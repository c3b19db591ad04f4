// One copy of the game per user, checked with real processes on an X server
// of the test's own: a second start shows its box and ends, the first runs
// on; a copy killed outright does not keep the next start out; another
// user's copy is no reason to refuse.
#include <QtTest>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 30000;

struct Window {
    QString id;
    qint64 pid = 0;
    QString name;
    QSize size;
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void secondCopyIsRefusedAndTheFirstRunsOn();
    void copyKilledOutrightDoesNotLockThePlayerOut();
    void anotherUsersCopyIsNotRefused();

private:
    QProcess *start(const QString &program, const QStringList &args, const QString &runtimeDir,
                    const QString &workingDir = {});
    QProcess *startGame(const QString &runtimeDir, const QString &workingDir = {})
    {
        return start(QStringLiteral(MOK_BINARY), {}, runtimeDir, workingDir);
    }
    QByteArray run(const QString &tool, const QStringList &args);
    QByteArray xdotool(const QStringList &args) { return run(u"xdotool"_s, args); }
    QByteArray xprop(const QString &window, const QString &property)
    {
        return run(u"xprop"_s, {u"-id"_s, window, property});
    }
    QList<Window> visibleWindows();
    // Waits for a visible window that `match` accepts.
    Window waitForWindow(const std::function<bool(const Window &)> &match);
    static bool isMainWindow(const Window &w)
    {
        return w.name == u"Mok"_s && w.size == QSize(1024, 768);
    }

    QTemporaryDir m_tmp;
    std::unique_ptr<QProcess> m_xvfb;
    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_started;
    QList<qint64> m_otherUsersGames;
};

QProcess *TestSingleInstance::start(const QString &program, const QStringList &args,
                                    const QString &runtimeDir, const QString &workingDir)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir);
    process->setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        process->setWorkingDirectory(workingDir);
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, args);
    m_started.push_back(std::move(process));
    return m_started.back().get();
}

QByteArray TestSingleInstance::run(const QString &tool, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    p.setProcessEnvironment(env);
    p.start(tool, args);
    if (!p.waitForFinished(kWaitMs))
        p.kill();
    p.waitForFinished();
    return p.readAllStandardOutput();
}

QList<Window> TestSingleInstance::visibleWindows()
{
    QList<Window> windows;
    const QByteArray ids = xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"."_s});
    for (const QByteArray &id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        Window w;
        w.id = QString::fromLatin1(id.trimmed());
        w.pid = xdotool({u"getwindowpid"_s, w.id}).trimmed().toLongLong();
        w.name = QString::fromUtf8(xdotool({u"getwindowname"_s, w.id})).trimmed();
        const QByteArray shell = xdotool({u"getwindowgeometry"_s, u"--shell"_s, w.id});
        for (const QByteArray &line : shell.split('\n')) {
            if (line.startsWith("WIDTH="))
                w.size.setWidth(line.mid(6).toInt());
            else if (line.startsWith("HEIGHT="))
                w.size.setHeight(line.mid(7).toInt());
        }
        windows << w;
    }
    return windows;
}

Window TestSingleInstance::waitForWindow(const std::function<bool(const Window &)> &match)
{
    QList<Window> seen;
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(100)) {
        seen = visibleWindows();
        for (const Window &w : std::as_const(seen)) {
            if (match(w))
                return w;
        }
    }
    // Say what was there instead.
    for (const Window &w : std::as_const(seen))
        qWarning("on the screen: window %s of process %lld, \"%s\", %dx%d", qPrintable(w.id), w.pid,
                 qPrintable(w.name), w.size.width(), w.size.height());
    for (const auto &p : m_started)
        qWarning("started %lld: state %d", p->processId(), p->state());
    return {};
}

void TestSingleInstance::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    for (const QString &tool : {u"Xvfb"_s, u"xdotool"_s, u"xprop"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + u" is not installed"_s));
    }
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_xvfb->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s,
                              u"-nolisten"_s, u"tcp"_s, u"-dpi"_s, u"96"_s});
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

void TestSingleInstance::cleanup()
{
    for (qint64 pid : std::as_const(m_otherUsersGames))
        ::kill(pid_t(pid), SIGKILL);
    m_otherUsersGames.clear();
    for (const auto &p : m_started) {
        p->kill();
        p->waitForFinished();
    }
    m_started.clear();
}

void TestSingleInstance::cleanupTestCase()
{
    cleanup();
    if (m_xvfb) {
        m_xvfb->terminate();
        m_xvfb->waitForFinished(5000);
    }
}

void TestSingleInstance::secondCopyIsRefusedAndTheFirstRunsOn()
{
    QTemporaryDir runtime;
    QProcess *first = startGame(runtime.path());
    const Window main = waitForWindow(
        [&](const Window &w) { return w.pid == first->processId() && isMainWindow(w); });
    QVERIFY2(!main.id.isEmpty(), "the first copy never showed its main window");

    // Started from elsewhere, the second copy still finds the first.
    QProcess *second = startGame(runtime.path(), QDir::rootPath());
    const Window box = waitForWindow([&](const Window &w) { return w.pid == second->processId(); });
    QCOMPARE(box.name, u"重複起動"_s);
    QCOMPARE(box.size.height() < 200, true); // a message box, not the game
    // Above the first copy's window, which stays on top.
    QVERIFY(xprop(box.id, u"_NET_WM_STATE"_s).contains("_NET_WM_STATE_ABOVE"));
    // Nothing else of the second copy is on the screen.
    QCOMPARE(
        xdotool({u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(second->processId())})
            .trimmed(),
        box.id.toLatin1());

    xdotool({u"windowfocus"_s, u"--sync"_s, box.id});
    xdotool({u"key"_s, u"--window"_s, box.id, u"Return"_s});
    QVERIFY(second->waitForFinished(kWaitMs));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);

    // The first copy runs on with its window as it was.
    QCOMPARE(first->state(), QProcess::Running);
    const QList<Window> after = visibleWindows();
    QVERIFY(std::any_of(after.begin(), after.end(),
                        [&](const Window &w) { return w.id == main.id && isMainWindow(w); }));
}

void TestSingleInstance::copyKilledOutrightDoesNotLockThePlayerOut()
{
    QTemporaryDir runtime;
    QProcess *first = startGame(runtime.path());
    QVERIFY(!waitForWindow([&](const Window &w) {
                 return w.pid == first->processId() && isMainWindow(w);
             }).id.isEmpty());
    first->kill(); // SIGKILL: nothing is cleaned up
    QVERIFY(first->waitForFinished(kWaitMs));
    QVERIFY2(!QDir(runtime.path()).entryList(QDir::Files).isEmpty(), "the lock was not left");

    QProcess *next = startGame(runtime.path());
    const Window w = waitForWindow([&](const Window &w) { return w.pid == next->processId(); });
    QVERIFY(!w.id.isEmpty());
    QVERIFY2(w.name != u"重複起動"_s, "refused after the first copy was killed");
    QVERIFY(!waitForWindow([&](const Window &w) {
                 return w.pid == next->processId() && isMainWindow(w);
             }).id.isEmpty());
}

void TestSingleInstance::anotherUsersCopyIsNotRefused()
{
    const passwd *other = ::getpwnam("nobody");
    if (::geteuid() != 0 || !other || QStandardPaths::findExecutable(u"runuser"_s).isEmpty())
        QSKIP("needs root, runuser and the user nobody");
    QTemporaryDir runtime;
    QProcess *mine = startGame(runtime.path());
    QVERIFY(!waitForWindow([&](const Window &w) {
                 return w.pid == mine->processId() && isMainWindow(w);
             }).id.isEmpty());

    // The other user's own runtime folder and home, as a login gives them.
    QTemporaryDir theirs;
    QVERIFY(::chown(QFile::encodeName(theirs.path()).constData(), other->pw_uid, other->pw_gid) ==
            0);
    const QString dir = theirs.path();
    start(u"runuser"_s,
          {u"-u"_s, u"nobody"_s, u"--"_s, u"env"_s, u"HOME="_s + dir, u"XDG_CACHE_HOME="_s + dir,
           u"XDG_CONFIG_HOME="_s + dir, QStringLiteral(MOK_BINARY)},
          dir);
    const Window w = waitForWindow([&](const Window &w) {
        return w.pid != mine->processId() && (isMainWindow(w) || w.name == u"重複起動"_s);
    });
    QVERIFY(w.pid > 0);
    m_otherUsersGames << w.pid;
    QVERIFY2(w.name != u"重複起動"_s, "refused because of another user's copy");
    QFile status(u"/proc/%1/status"_s.arg(w.pid));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QByteArray uid = "\nUid:\t" + QByteArray::number(other->pw_uid) + '\t';
    QVERIFY(status.readAll().contains(uid));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
