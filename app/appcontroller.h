#pragma once

#include <QObject>
#include <QPointer>

#include "frmmain.h"

// The application controller. Owns the main window across its lives: every
// Open makes it afresh, so the game held by the old window is gone, and only
// the level choice carries over.
class AppController : public QObject {
    Q_OBJECT
public:
    explicit AppController(QObject *parent = nullptr);
    ~AppController() override;

    // Creates and shows the first window; a picture given on the command
    // line is then opened as if chosen in the file dialog.
    void start(const QString &picture = {});
    frmMain *window() const { return m_window; }

signals:
    // A new window has been made (tests follow the window through reloads).
    void windowCreated(frmMain *window);

private:
    void createWindow(const QString &levelText);
    // Makes the window afresh with this level, then opens `path`, or asks
    // for a picture when it is empty.
    void reopen(const QString &levelText, const QString &path);

    QPointer<frmMain> m_window;
};
