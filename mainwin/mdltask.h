#pragma once

#include "statusnotifieritem.h"
#include "tasktray.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

namespace mok {

// The notification-area icon: TrayAdd shows it for a window, TrayDelete
// removes it, and a left or right press on it removes it and restores the
// window. Which notification area takes it is asked each time: one on the
// session bus (StatusNotifierItem) where a panel runs one, else on X11 an
// XEmbed tray, through Qt's own tray icon (QSystemTrayIcon's Trigger or
// Context). If the notification area goes away while the window waits there
// (its panel quits or crashes), the window comes back by itself: nothing
// else could bring it back. One instance serves every main window of the
// program's life, and its icon goes with it.
class mdlTask : public QObject, public TaskTray {
    Q_OBJECT
public:
    // What the desktop offers; tests state it, the program asks the desktop.
    struct Desktop {
        std::function<bool()> hasNotificationArea;
        std::function<bool()> canMinimise;
        // Whether the notification area is one on the session bus; none
        // stated means the one Qt's tray icon stands for.
        std::function<bool()> onSessionBus = {};
        // Minimises a window and says whether the desktop did; none stated
        // means it always does.
        std::function<bool(QWidget *)> minimise = {};
    };
    static Desktop realDesktop();

    explicit mdlTask(QObject *parent = nullptr);
    explicit mdlTask(Desktop desktop, QObject *parent = nullptr);
    ~mdlTask() override;

    Away moveAway(QWidget *window) override;

    // Shows the icon for `window` with `icon` and the tip `tip`; false when
    // no notification area took it.
    bool TrayAdd(QWidget *window, const QIcon &icon, const QString &tip);
    // Removes the icon. Nothing happens if it is not shown.
    void TrayDelete();

    bool iconShown() const;
    // Qt's tray icon (tests press it through its activated signal). It is
    // made when first needed: Qt settles which kind of notification area
    // all its icons use when it makes the first one.
    QSystemTrayIcon *trayIcon();
    // The icon on the session bus.
    mok::platform::StatusNotifierItem &busIcon() { return m_busIcon; }

signals:
    // The window was brought back from the notification area.
    void restored(QWidget *window);

public:
    // How often the notification area is looked for while the icon shows.
    static constexpr int kWatchIntervalMs = 1000;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    // Brings the window back if it waits in the notification area.
    void comeBack();
    void restoreWindow();
    void checkNotificationArea();

    Desktop m_desktop;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    mok::platform::StatusNotifierItem m_busIcon;
    QTimer m_watch;
    QPointer<QWidget> m_window;
};

} // namespace mok
