#include "mdltask.h"

#include "desktop.h"

#include <QCoreApplication>
#include <QWidget>

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
}

void mdlTask::TrayDelete()
{
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
    TrayDelete();
    QWidget *window = m_window;
    if (!window)
        return;
    mok::platform::setTopmost(window, true); // shows it
    window->raise();
    window->activateWindow();
    emit restored(window);
}
