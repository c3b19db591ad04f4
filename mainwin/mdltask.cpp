#include "mdltask.h"

#include "desktop.h"

#include <QCoreApplication>
#include <QWidget>

namespace mok {

mdlTask::Desktop mdlTask::realDesktop()
{
    return {&mok::platform::hasNotificationArea, &mok::platform::canMinimise,
            &mok::platform::StatusNotifierItem::hostRunning, &mok::platform::minimise};
}

mdlTask::mdlTask(QObject *parent) : mdlTask(realDesktop(), parent) {}

mdlTask::mdlTask(Desktop desktop, QObject *parent) : QObject(parent), m_desktop(std::move(desktop))
{
    // Queued: the icon must not be taken away inside the call that reports
    // the press, which goes on using it once the signal returns.
    connect(&m_busIcon, &mok::platform::StatusNotifierItem::pressed, this, &mdlTask::comeBack,
            Qt::QueuedConnection);
    // A watcher that goes, even one that comes back at once, takes the icon
    // with it.
    connect(&m_busIcon, &mok::platform::StatusNotifierItem::areaLost, this, &mdlTask::comeBack,
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
    if (m_desktop.hasNotificationArea() &&
        TrayAdd(window, window->windowIcon(), QStringLiteral("Mok"))) {
        window->hide();
        return Away::InTray;
    }
    // Hiding would leave no way back. Minimised, the window waits in the
    // taskbar or the window list; with no window manager to do that, or one
    // that does not (a tiling one), it stays as it is.
    if (!m_desktop.canMinimise())
        return Away::StillShown;
    if (!m_desktop.minimise) {
        window->showMinimized();
        return Away::Minimised;
    }
    return m_desktop.minimise(window) ? Away::Minimised : Away::StillShown;
}

bool mdlTask::TrayAdd(QWidget *window, const QIcon &icon, const QString &tip)
{
    m_window = window;
    if (m_desktop.onSessionBus && m_desktop.onSessionBus()) {
        if (!m_busIcon.show(icon, tip))
            return false;
    } else {
        QSystemTrayIcon *xembed = trayIcon();
        xembed->setIcon(icon);
        xembed->setToolTip(tip);
        xembed->show();
    }
    m_watch.start();
    return true;
}

void mdlTask::TrayDelete()
{
    m_watch.stop();
    m_busIcon.hide();
    if (m_icon)
        m_icon->hide();
}

bool mdlTask::iconShown() const
{
    return m_busIcon.isVisible() || (m_icon && m_icon->isVisible());
}

QSystemTrayIcon *mdlTask::trayIcon()
{
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        // Queued for the same reason as the bus icon's presses.
        connect(m_icon.get(), &QSystemTrayIcon::activated, this, &mdlTask::onActivated,
                Qt::QueuedConnection);
    }
    return m_icon.get();
}

void mdlTask::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Presses only: pointer motion, releases and double clicks do nothing
    // beyond the presses that come with them.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        comeBack();
}

void mdlTask::comeBack()
{
    // A second press queued behind the first finds the icon already gone.
    if (iconShown())
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
    const bool areaThere =
        m_busIcon.isVisible() ? m_desktop.onSessionBus() : m_desktop.hasNotificationArea();
    if (iconShown() && !areaThere)
        restoreWindow();
}

} // namespace mok
