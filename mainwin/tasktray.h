#pragma once

class QWidget;

namespace mok {

// What the main window asks of the notification area: to get the window out
// of the way, and to bring it back when the player asks for it. The unit
// behind it (mdlTask) outlives every main window.
class TaskTray {
public:
    // Where moveAway put the window.
    enum class Away {
        InTray,     // hidden, with an icon in the notification area
        Minimised,  // no notification area: minimised, back through the taskbar
        StillShown, // neither a notification area nor a window manager
    };

    virtual ~TaskTray() = default;

    // Moves the window out of the way: an icon with the window's own icon
    // and the tip "Mok" in the notification area, and the window hidden. A
    // left or right press on the icon removes it and brings the window back
    // on top. Where the desktop has no notification area the window is
    // minimised instead, and where it cannot be minimised it stays shown:
    // the player never loses it.
    virtual Away moveAway(QWidget *window) = 0;
};

} // namespace mok
