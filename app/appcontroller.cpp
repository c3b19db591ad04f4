#include "appcontroller.h"

#include "frmmain.h"

#include <QTimer>

AppController::AppController(QObject *parent) : QObject(parent) {}

AppController::~AppController() { delete m_window; }

void AppController::start(const QString &picture)
{
    createWindow(QString());
    if (!picture.isEmpty())
        reopen(m_window->levelText(), picture);
}

void AppController::createWindow(const QString &levelText)
{
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!levelText.isEmpty())
        window->setLevelText(levelText);
    window->settleBanner();
    connect(window, &frmMain::openRequested, this,
            [this](const QString &level) { reopen(level, QString()); });
    connect(window, &frmMain::pictureDropped, this,
            [this, window](const QString &path) { reopen(window->levelText(), path); });
    m_window = window;
    emit windowCreated(window);
}

void AppController::reopen(const QString &levelText, const QString &path)
{
    // The old window goes once the tick that asked for this has returned.
    frmMain *old = m_window;
    old->hide();
    old->deleteLater();
    createWindow(levelText);
    frmMain *window = m_window;
    if (path.isEmpty())
        QTimer::singleShot(0, window, &frmMain::PictureOpen);
    else
        QTimer::singleShot(0, window, [window, path] { window->openPicture(path); });
}
