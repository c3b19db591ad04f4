#pragma once

#include <QObject>
#include <QPointer>

#include "frmmain.h"
#include "frmversion.h"
#include "mdltask.h"

// The application controller. Owns the main window across its lives: every
// Open makes it afresh, so the game held by the old window is gone, and only
// the level choice carries over. It also owns what must outlive a main
// window: the notification-area icon the window moves out of the way into,
// and the about window.
class AppController : public QObject {
    Q_OBJECT
public:
    explicit AppController(QObject *parent = nullptr);
    // Tests state the desktop the icon lives on.
    explicit AppController(mdlTask::Desktop desktop, QObject *parent = nullptr);
    ~AppController() override;

    // Creates and shows the first window.
    void start();
    frmMain *window() const { return m_window; }
    mdlTask &task() { return m_task; }
    // The about window while it is open.
    frmVersion *about() const { return m_about; }

signals:
    // A new window has been made (tests follow the window through reloads).
    void windowCreated(frmMain *window);

private:
    void createWindow(const QString &levelText);
    void reopen(const QString &levelText);
    void showAbout();

    mdlTask m_task;
    QPointer<frmMain> m_window;
    QPointer<frmVersion> m_about;
};
