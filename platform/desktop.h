#pragma once

#include "twips.h"

#include <QFont>
#include <QString>

class QWidget;
class QScreen;

// What the game asks of the desktop, in the terms the game thinks in.
namespace mok::platform {

// Twips per pixel of a screen: 1440 / its logical dpi (15 at 96 dpi).
float twipsPerPixel(const QScreen *screen);

// The primary screen in twips, with its twips per pixel.
Screen primaryScreen();

// Covers the whole primary screen with the window, without border or caption.
void coverPrimaryScreen(QWidget *window);

// Keeps the window above all others, or lets it take its normal place, and
// shows it either way.
void setTopmost(QWidget *window, bool topmost);

// Makes a window that is not shown yet stay above all others once it is
// shown; unlike setTopmost it leaves showing to the window's owner.
void keepOnTop(QWidget *window);

// A modal message with an OK button and no icon.
void messageBox(QWidget *parent, const QString &text, const QString &title);

// The same with no window of ours under it, kept above all others: the
// game's own window, which stays on top, would otherwise hide it.
void messageBoxOnTop(const QString &text, const QString &title);

// The game's user-interface font: its classic Japanese UI face where the
// desktop has it, else an installed Japanese Gothic, so captions never fall
// back to boxes.
QFont uiFont(qreal pointSize);

} // namespace mok::platform
