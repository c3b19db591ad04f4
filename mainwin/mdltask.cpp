#include "mdltask.h"

#include "desktop.h"

#include <QCoreApplication>
#include <QWidget>

namespace mok {

mdlTask::Desktop mdlTask::realDesktop()
{
    return {&mok::platform::hasNotificationArea, &mok::platform::canMinimise};
}

mdlTask::mdlTask(QObject *parent) : mdlTask(realDesktop(), parent) {}

mdlTask::mdlTask(Desktop desktop, QObject *parent) : QObject(parent), m_desktop(std::move(desktop))
{
    // Queued: the icon's window must not be taken away inside its own mouse
    // handler, which goes on using it once the signal returns.
    connect(&m_icon, &QSystemTrayIcon::activated, this, &mdlTask::onActivated,
            Qt::QueuedConnection);
    // However the program ends, no dead icon is left behind.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &mdlTask::TrayDelete);
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &mdlTask::checkNotificationArea);
}

mdlTask::~mdlTask()
{
    TrayDelete();
}

TaskTray::Away mdlTask::moveAway(QWidget *window)
{
    if (m_desktop.hasNotificationArea()) {
        TrayAdd(window, window->windowIcon(), QStringLiteral("Mok"));
        window->hide();
        return Away::InTray;
    }
    // Hiding would leave no way back. Minimised, the window waits in the
    // taskbar or the window list; with no window manager to do that it
    // stays as it is.
    if (!m_desktop.canMinimise())
        return Away::StillShown;
    window->showMinimized();
    return Away::Minimised;
}

void mdlTask::TrayAdd(QWidget *window, const QIcon &icon, const QString &tip)
{
    m_window = window;
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    m_icon.show();
    m_watch.start();
}

void mdlTask::TrayDelete()
{
    m_watch.stop();
    m_icon.hide();
}

void mdlTask::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Presses only: pointer motion, releases and double clicks do nothing
    // beyond the presses that come with them.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context)
        return;
    // A second press queued behind the first finds the icon already gone.
    if (!iconShown())
        return;
    restoreWindow();
}

void mdlTask::restoreWindow()
{
    TrayDelete();
    QWidget *window = m_window;
    if (!window)
        return;
    mok::platform::setTopmost(window, true); // shows it
    window->raise();
    window->activateWindow();
    emit restored(window);
}

// The icon lives in another program's panel. Should that panel go, a hidden
// window would have no way back but killing the game, so it is shown again
// as if the icon had been pressed.
void mdlTask::checkNotificationArea()
{
    if (iconShown() && !m_desktop.hasNotificationArea())
        restoreWindow();
}

} // namespace mok
