// What the game finds out about the X11 desktop it runs on: whether a window
// manager would give a minimised window back, and whether there is a
// notification area; and what it asks of a window manager for the about
// window. The test brings its own X server, on which it plays the part of a
// window manager by announcing one as EWMH asks.
#include "desktop.h"
#include "frmversion.h"

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
    qputenv("DISPLAY", ':' + number.trimmed());
    return true;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// A window's property of 32-bit values, as a window manager reads it.
QList<uint32_t> windowProperty(xcb_connection_t *c, QWidget &window, xcb_atom_t name)
{
    const xcb_window_t id = window.windowHandle()->winId();
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, name, XCB_ATOM_ANY, 0, 16), nullptr),
        &std::free);
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    return QList<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aBareServerHasNoWindowManager();
    void anAnnouncedWindowManagerIsFound();
    void aboutWindowDrawsItsOwnCaptionUnderAWindowManager();
    void anAnnouncementLeftByAWindowManagerThatWentIsIgnored();
    void aTrayHostIsANotificationArea();
    void aWindowGivenBackIsShownAgainAsItWas();
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

// Window managers add minimise and close buttons to a title bar whatever a
// window's hints say, so the about window asks for a frame that can only be
// moved, with no title bar, and draws its caption itself above its client
// area.
void TestWindowManager::aboutWindowDrawsItsOwnCaptionUnderAWindowManager()
{
    QVERIFY(mok::platform::canMinimise());
    mok::frmVersion about;
    // Flags, functions (move), decorations (border), input mode, status.
    QCOMPARE(windowProperty(m_c, about, atom(m_c, "_MOTIF_WM_HINTS")),
             QList<uint32_t>({3, 4, 2, 0, 0}));
    auto *caption = about.findChild<QWidget *>(u"caption"_s);
    QVERIFY(caption && caption->height() >= 16);
    // The client area lies whole below it.
    QCOMPARE(about.size(), QSize(395, 170 + caption->height()));
    QCOMPARE(about.findChild<QWidget *>(u"imgTM"_s)->pos(), QPoint(8, 8 + caption->height()));
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

// Qt writes "start iconic" into a window's WM_HINTS when it minimises it,
// and leaves it there when the window manager gives the window back. Hidden
// into the notification area and shown again, the window must not come up
// iconic, out of sight with its icon gone.
void TestWindowManager::aWindowGivenBackIsShownAgainAsItWas()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.showMinimized();
    const auto startState = [&] { return windowProperty(m_c, window, XCB_ATOM_WM_HINTS).value(2); };
    QCOMPARE(startState(), 3u); // IconicState
    // Playing the window manager: the window is given back.
    const xcb_atom_t wmState = atom(m_c, "WM_STATE");
    const uint32_t normal[2] = {1, XCB_NONE};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, xcb_window_t(window.windowHandle()->winId()),
                        wmState, wmState, 32, 2, normal);
    xcb_flush(m_c);
    QTRY_VERIFY(!window.isMinimized());
    window.hide();
    mok::platform::setTopmost(&window, false); // shows it
    QCOMPARE(startState(), 1u);                // NormalState
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
