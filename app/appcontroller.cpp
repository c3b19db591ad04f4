#include "appcontroller.h"

#include "desktop.h"
#include "frmmain.h"
#include "frmversion.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace mok {

AppController::AppController(QObject *parent) : AppController(mdlTask::realDesktop(), parent) {}

AppController::AppController(mdlTask::Desktop desktop, QObject *parent)
    : QObject(parent), m_task(std::move(desktop))
{
}

AppController::~AppController()
{
    delete m_about;
    delete m_splash;
    delete m_window;
    // m_task goes last, and its icon with it.
}

bool AppController::start(const QString &picture)
{
    if (!m_instance.claim()) {
        mok::platform::messageBoxOnTop(QStringLiteral(u"「Mok」は既に起動しています。"),
                                       QStringLiteral(u"重複起動"));
        return false;
    }
    m_pictureAtStart = picture;
    mok::platform::useFontHints();
    m_splash = new frmStart;
    connect(m_splash, &frmStart::loaded, this, &AppController::handOver);
    m_splash->show();
    return true;
}

void AppController::handOver()
{
    // The main window is made only now, while the splash still shows, so
    // the screen is bare only for the moment between the two. The splash is
    // hidden rather than closed: with no window up, a close would end the
    // program. The banner runs on this first window only.
    auto *window = new frmMain;
    m_splash->hide();
    m_splash->deleteLater();
    showWindow(window, -1, Banner::Run);
    if (!m_pictureAtStart.isEmpty()) {
        connect(window, &frmMain::bannerSettled, this, [this, window] {
            reopen(window->selectedLastIndex(), std::exchange(m_pictureAtStart, QString()));
        });
    }
}

void AppController::showWindow(frmMain *window, int lastIndex, Banner banner)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (lastIndex >= 0)
        window->selectLevel(lastIndex);
    if (banner == Banner::Run)
        window->startBanner();
    else
        window->settleBanner();
    connect(window, &frmMain::openRequested, this,
            [this](int lastIndex) { reopen(lastIndex, QString()); });
    connect(window, &frmMain::pictureDropped, this,
            [this, window](const QString &path) { reopen(window->selectedLastIndex(), path); });
    connect(window, &frmMain::exitRequested, this, &AppController::exitProgram);
    window->setTaskTray(&m_task);
    window->setPictureDecoder(&m_decoder);
    connect(window, &frmMain::versionRequested, this, &AppController::showAbout);
    m_window = window;
    emit windowCreated(window);
    window->show();
}

void AppController::reopen(int lastIndex, const QString &path)
{
    // The old window is gone, backing store and all, before the new one is
    // made, so the two never hold their pixels at once. It is deleted once
    // the tick or the drop that asked for this has returned.
    frmMain *old = m_window;
    old->hide();
    connect(
        old, &QObject::destroyed, this,
        [this, lastIndex, path] { showFreshWindow(lastIndex, path); }, Qt::QueuedConnection);
    old->deleteLater();
}

void AppController::showFreshWindow(int lastIndex, const QString &path)
{
    showWindow(new frmMain, lastIndex, Banner::AtRest);
    frmMain *window = m_window;
    if (path.isEmpty())
        QTimer::singleShot(0, window, &frmMain::PictureOpen);
    else
        QTimer::singleShot(0, window, [window, path] { window->openPicture(path); });
}

void AppController::showAbout()
{
    // One about window at a time: Version again brings the open one forward.
    if (!m_about) {
        m_about = new frmVersion;
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    stackAbout();
    // Shown as it was left, but never minimised: a window manager that
    // iconified it anyway would otherwise keep it iconic while Version
    // claims to show it.
    m_about->setWindowState(m_about->windowState() & ~Qt::WindowMinimized);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void AppController::stackAbout()
{
    // Where the main window could not get out of the way (no notification
    // area, and a desktop that does not minimise), it still covers the
    // screen and stays on top. The about window then belongs to it, which
    // window managers and compositors (sway among them) show above it;
    // otherwise it stands alone. The desktop learns it as the window shows.
    const bool gameShown = m_window && m_window->isVisible() && !m_window->isMinimized();
    QWindow *parent = gameShown ? m_window->windowHandle() : nullptr;
    m_about->winId();
    QWindow *about = m_about->windowHandle();
    if (about->transientParent() == parent)
        return;
    m_about->hide();
    about->setTransientParent(parent);
}

void AppController::exitProgram()
{
    // Nothing shows between the click and the end: the windows go now, and
    // the event loop ends as soon as the tick has returned to it.
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(0);
}

} // namespace mok
