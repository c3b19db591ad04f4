#pragma once

#include "twips.h"

#include <QFont>
#include <QString>
#include <QStringList>

#include <functional>

class QScreen;
class QUrl;
class QWidget;

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

// Asks for a thin fixed frame round a window that is not shown yet, and
// nothing else: no caption, no buttons. Returns true when the window
// manager will draw that frame; false when there is no one to ask, and the
// window, left bare, must draw its own.
bool askForThinFrame(QWidget *window);

// What a window that asked for a title-only frame draws itself.
struct OwnFrame {
    bool caption = false; // a title bar with the window's title
    int border = 0;       // the width of a frame round the whole, in pixels
};

// Asks for a fixed frame with the window's title and no buttons: a window
// that can be moved, but not resized, minimised, maximised or closed by its
// frame. Window managers add buttons of their own whatever a window asks
// (openbox keeps minimise and close), so where one runs the window gets the
// thin frame of askForThinFrame and draws its title bar itself. Without a
// window manager nothing is drawn round the window.
OwnFrame askForTitleOnlyFrame(QWidget *window);

// A modal message with an OK button and no icon.
void messageBox(QWidget *parent, const QString &text, const QString &title);

// The same with no window of ours under it, kept above all others: the
// game's own window, which stays on top, would otherwise hide it.
void messageBoxOnTop(const QString &text, const QString &title);

// Opens a file or address with the desktop's own program for it (the
// browser for a page, the mail program for a mailto: address). When that
// program cannot be started, tells the player in a box which file or address
// could not be opened, so they can open it by hand, and returns false.
bool openWithDesktop(QWidget *parent, const QUrl &url);

// What openWithDesktop calls to open: QDesktopServices::openUrl unless a
// test has put something else in its place. Returns the one it replaces; an
// empty function puts the desktop's back.
using DesktopOpener = std::function<bool(const QUrl &)>;
DesktopOpener setDesktopOpener(DesktopOpener opener);

// Where the program's own files (readme.htm) are looked for, in order:
// beside the executable, as in the build tree, then share/mok under the
// prefix it is installed in (<prefix>/bin/mok, <prefix>/share/mok/).
QStringList programFileCandidates(const QString &name, const QString &programDir);
// The first of those that exists for the running program, or an empty
// string; `lookedIn` gets every place tried.
QString findProgramFile(const QString &name, QStringList *lookedIn = nullptr);

// Whether the desktop has a notification area to put an icon in.
bool hasNotificationArea();
// Whether a window manager runs that can minimise a window and give it back
// (on X11: one that announces itself as EWMH asks). Without one a minimised
// window would simply stay where it is.
bool canMinimise();

// Minimises the window and returns whether the desktop did. One that
// ignores the request (sway, tiling window managers) leaves the window shown
// and active; it is then left as it was, and the answer is false.
bool minimise(QWidget *window);
// How long the desktop has to do it.
constexpr int kMinimiseAnswerMs = 500;

// The game's user-interface font: its classic Japanese UI face where the
// desktop has it, else an installed Japanese Gothic, so captions never fall
// back to boxes. Drawn with the font's own hints (see useFontHints).
QFont uiFont(qreal pointSize);

// Makes every text of the application, dialogs included, drawn with the
// font's own hints, as Windows draws it. FreeType's light hinting, the
// default here, runs its auto-hinter instead, which first measures dozens of
// reference ideographs scattered over a Japanese font's outlines: megabytes
// of the font file made resident for a few characters of text.
void useFontHints();

} // namespace mok::platform
