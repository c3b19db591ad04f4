#include "appcontroller.h"

#include "frmmain.h"

#include <QTimer>

AppController::AppController(QObject *parent) : QObject(parent) {}

AppController::~AppController() { delete m_window; }

void AppController::start() { createWindow(QString()); }

void AppController::createWindow(const QString &levelText)
{
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!levelText.isEmpty())
        window->setLevelText(levelText);
    window->settleBanner();
    connect(window, &frmMain::openRequested, this, &AppController::reopen);
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
