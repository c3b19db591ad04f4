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

    // Creates and shows the first window.
    void start();
    frmMain *window() const { return m_window; }

signals:
    // A new window has been made (tests follow the window through reloads).
    void windowCreated(frmMain *window);

private:
    void createWindow(const QString &levelText);
    void reopen(const QString &levelText);

    QPointer<frmMain> m_window;
};
