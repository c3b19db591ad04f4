#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QDBusServiceWatcher;

namespace mok::platform {

// The game's icon in a notification area that lives on the session bus (the
// StatusNotifierItem protocol of KDE Plasma, waybar, GNOME's AppIndicator
// extension and most panels now), on X11 and on Wayland alike. Qt's own tray
// icon decides once, when the program makes its first one, whether such an
// area exists, so a panel that starts or restarts later would never be used;
// this one asks the bus each time it is shown.
//
// A left press on the icon reaches it as Activate. A right press reaches it
// in whichever way the panel has: panels that open an item's menu (waybar,
// KDE Plasma, GNOME's extension) ask the menu with AboutToShow or
// AboutToShowGroup, or tell it "opened", and never send ContextMenu when
// the item names a menu; GNOME's opens only a menu with an entry in it.
// Other panels send ContextMenu. So the item names a one-entry menu and
// takes each of these as the press: the player never has to choose from it,
// for by the time it would be drawn the window is back and the icon gone.
class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierItem(QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // Whether such a notification area runs now: the watcher panels register
    // with, and a panel that shows what is registered there.
    static bool hostRunning();

    // Puts the icon into the notification area. False, with nothing shown,
    // when there is none to take it.
    bool show(const QIcon &icon, const QString &tip);
    // Takes it away again. Nothing happens if it is not shown.
    void hide();
    bool isVisible() const { return !m_service.isEmpty(); }

    // The bus name and object path the icon is served at while shown.
    QString service() const { return m_service; }
    static constexpr const char *kItemPath = "/StatusNotifierItem";
    static constexpr const char *kMenuPath = "/MenuBar";

    // What the adaptors serving it on the bus read.
    QIcon icon() const { return m_icon; }
    QString tip() const { return m_tip; }

signals:
    // The player pressed the icon with the left or the right button.
    void pressed();
    // The watcher went away, and the icon with it.
    void areaLost();

private:
    QIcon m_icon;
    QString m_tip;
    QString m_service;
    QObject *m_item = nullptr;
    QObject *m_menu = nullptr;
    QDBusServiceWatcher *m_watcher = nullptr;
};

} // namespace mok::platform
