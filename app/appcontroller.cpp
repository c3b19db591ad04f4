#include "appcontroller.h"

#include "frmmain.h"
#include "frmversion.h"

#include <QTimer>

AppController::AppController(QObject *parent) : AppController(mdlTask::realDesktop(), parent) {}

AppController::AppController(mdlTask::Desktop desktop, QObject *parent)
    : QObject(parent), m_task(std::move(desktop))
{
}

AppController::~AppController()
{
    delete m_about;
    delete m_window;
    // m_task goes last, and its icon with it.
}

void AppController::start()
{
    createWindow(QString());
}

void AppController::createWindow(const QString &levelText)
{
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!levelText.isEmpty())
        window->setLevelText(levelText);
    window->settleBanner();
    window->setTaskTray(&m_task);
    connect(window, &frmMain::openRequested, this, &AppController::reopen);
    connect(window, &frmMain::versionRequested, this, &AppController::showAbout);
    m_window = window;
    emit windowCreated(window);
}

void AppController::reopen(const QString &levelText)
{
    // The old window goes once the tick that asked for this has returned.
    frmMain *old = m_window;
    old->hide();
    old->deleteLater();
    createWindow(levelText);
    QTimer::singleShot(0, m_window, &frmMain::PictureOpen);
}

void AppController::showAbout()
{
    // One about window at a time: Version again brings the open one forward.
    if (!m_about) {
        m_about = new frmVersion;
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
