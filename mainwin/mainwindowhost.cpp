#include "mainwindowhost.h"

#include "frmmain.h"

#include <QTimer>

MainWindowHost::MainWindowHost(QObject *parent) : QObject(parent) {}

MainWindowHost::~MainWindowHost() { delete m_window; }

void MainWindowHost::start() { createWindow(QString()); }

void MainWindowHost::createWindow(const QString &levelText)
{
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!levelText.isEmpty())
        window->setLevelText(levelText);
    window->settleBanner();
    connect(window, &frmMain::openRequested, this, &MainWindowHost::reopen);
    m_window = window;
    emit windowCreated(window);
}

void MainWindowHost::reopen(const QString &levelText)
{
    // The old window goes once the tick that asked for this has returned.
    frmMain *old = m_window;
    old->hide();
    old->deleteLater();
    createWindow(levelText);
    QTimer::singleShot(0, m_window, &frmMain::PictureOpen);
}
