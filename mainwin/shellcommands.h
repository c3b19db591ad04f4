#pragma once

#include "tasktray.h"

class QWidget;

namespace mok {

// What ＿ トレイ, readme and バージョン情報 do with the desktop: put the game
// window out of the way (into the notification area, or minimised), tell
// the player where it went, and open readme.htm with the desktop's browser.
// The window owns one and calls it from its buttons' actions.
class ShellCommands {
public:
    explicit ShellCommands(QWidget *window) : m_window(window) {}

    // Where the window goes; it outlives the window. Without one the window
    // stays shown.
    void setTaskTray(TaskTray *tray) { m_tray = tray; }

    // ＿ トレイ: says nothing when the window went away; where it could not,
    // the player is told why it is still there.
    void moveToTray();
    // readme: the window out of the way, where it went said, then the page.
    void openReadme();
    // The first step of バージョン情報: the window out of the way and where it
    // went said; the about window comes next.
    void moveAwayAndSay();

private:
    TaskTray::Away moveAway();
    void tellWhereTheWindowWent(TaskTray::Away away);

    QWidget *m_window;
    TaskTray *m_tray = nullptr;
};

} // namespace mok
