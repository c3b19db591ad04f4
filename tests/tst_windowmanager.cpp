// What the game finds out about the X11 desktop it runs on: whether a window
// manager would give a minimised window back, and whether there is a
// notification area. The test brings its own X server, on which it plays the
// part of a window manager by announcing one as EWMH asks.
#include "desktop.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QtGui/qguiapplication_platform.h>
#include <QtTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <memory>

#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<QProcess> g_xvfb;

// Starts Xvfb on a free display and points DISPLAY at it; false when it
// cannot be had.
bool startXvfb()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        return false;
    g_xvfb = std::make_unique<QProcess>();
    g_xvfb->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    g_xvfb->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"640x480x24"_s,
                              u"-nolisten"_s, u"tcp"_s});
    QByteArray number;
    const QDeadlineTimer deadline(20000);
    while (!number.endsWith('\n') && !deadline.hasExpired() &&
           g_xvfb->state() != QProcess::NotRunning) {
        g_xvfb->waitForReadyRead(100);
        number += g_xvfb->readAllStandardOutput();
    }
    if (!number.endsWith('\n'))
        return false;
    qputenv("DISPLAY", number.trimmed().prepend(':'));
    return true;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : XCB_NONE;
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aBareServerHasNoWindowManager();
    void anAnnouncedWindowManagerIsFound();
    void anAnnouncementLeftByAWindowManagerThatWentIsIgnored();
    void aTrayHostIsANotificationArea();
    void cleanupTestCase();

private:
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_check = XCB_NONE;
    std::unique_ptr<QProcess> m_trayer;
};

void TestWindowManager::initTestCase()
{
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("needs Xvfb");
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QVERIFY(x11);
    m_c = x11->connection();
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
}

void TestWindowManager::aBareServerHasNoWindowManager()
{
    QVERIFY(!mok::platform::canMinimise());
    QVERIFY(!mok::platform::hasNotificationArea());
}

void TestWindowManager::anAnnouncedWindowManagerIsFound()
{
    // A window manager's check window names itself, and the root names it.
    const xcb_atom_t check = atom(m_c, "_NET_SUPPORTING_WM_CHECK");
    m_check = xcb_generate_id(m_c);
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_check, m_root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_check, check, XCB_ATOM_WINDOW, 32, 1,
                        &m_check);
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, check, XCB_ATOM_WINDOW, 32, 1,
                        &m_check);
    xcb_flush(m_c);
    QVERIFY(mok::platform::canMinimise());
}

void TestWindowManager::anAnnouncementLeftByAWindowManagerThatWentIsIgnored()
{
    QVERIFY(m_check != XCB_NONE);
    xcb_destroy_window(m_c, m_check);
    xcb_flush(m_c);
    // The root still names the window, which is gone.
    QVERIFY(!mok::platform::canMinimise());
}

void TestWindowManager::aTrayHostIsANotificationArea()
{
    if (QStandardPaths::findExecutable(u"trayer"_s).isEmpty())
        QSKIP("trayer is not installed (scripts/bootstrap installs it)");
    m_trayer = std::make_unique<QProcess>();
    m_trayer->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_trayer->start(u"trayer"_s, {u"--SetDockType"_s, u"true"_s});
    QVERIFY(m_trayer->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(mok::platform::hasNotificationArea(), 20000);
    m_trayer->kill();
    m_trayer->waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(!mok::platform::hasNotificationArea(), 20000);
}

void TestWindowManager::cleanupTestCase()
{
    m_trayer.reset();
}

int main(int argc, char *argv[])
{
    // The X server comes before the application that connects to it; without
    // one the tests skip.
    qputenv("QT_QPA_PLATFORM", startXvfb() ? "xcb" : "offscreen");
    int result = 0;
    {
        QApplication app(argc, argv);
        TestWindowManager test;
        result = QTest::qExec(&test, argc, argv);
    }
    if (g_xvfb) {
        g_xvfb->terminate();
        g_xvfb->waitForFinished(5000);
    }
    return result;
}

#include "tst_windowmanager.moc"
