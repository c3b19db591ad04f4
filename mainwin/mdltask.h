#pragma once

#include "tasktray.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

namespace mok {

// The notification-area icon: TrayAdd shows it for a window, TrayDelete
// removes it, and a left or right press on it (QSystemTrayIcon's Trigger or
// Context) removes it and restores the window. If the notification area
// goes away while the window waits there (its panel quits or crashes), the
// window comes back by itself: nothing else could bring it back. One
// instance serves every main window of the program's life, and its icon
// goes with it.
class mdlTask : public QObject, public TaskTray {
    Q_OBJECT
public:
    // What the desktop offers; tests state it, the program asks the desktop.
    struct Desktop {
        std::function<bool()> hasNotificationArea;
        std::function<bool()> canMinimise;
    };
    static Desktop realDesktop();

    explicit mdlTask(QObject *parent = nullptr);
    explicit mdlTask(Desktop desktop, QObject *parent = nullptr);
    ~mdlTask() override;

    Away moveAway(QWidget *window) override;

    // Shows the icon for `window` with `icon` and the tip `tip`.
    void TrayAdd(QWidget *window, const QIcon &icon, const QString &tip);
    // Removes the icon. Nothing happens if it is not shown.
    void TrayDelete();

    bool iconShown() const { return m_icon.isVisible(); }
    // The icon itself (tests press it through its activated signal).
    QSystemTrayIcon *trayIcon() { return &m_icon; }

signals:
    // The window was brought back from the notification area.
    void restored(QWidget *window);

public:
    // How often the notification area is looked for while the icon shows.
    static constexpr int kWatchIntervalMs = 1000;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void restoreWindow();
    void checkNotificationArea();

    Desktop m_desktop;
    QSystemTrayIcon m_icon;
    QTimer m_watch;
    QPointer<QWidget> m_window;
};

} // namespace mok
