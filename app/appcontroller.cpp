#include "appcontroller.h"

#include "desktop.h"
#include "frmmain.h"

#include <QTimer>

AppController::AppController(QObject *parent) : QObject(parent) {}

AppController::~AppController()
{
    delete m_splash;
    delete m_window;
}

bool AppController::start()
{
    if (!m_instance.claim()) {
        mok::platform::messageBox(nullptr, QStringLiteral(u"「Mok」は既に起動しています。"),
                                  QStringLiteral(u"重複起動"));
        return false;
    }
    m_splash = new frmStart;
    connect(m_splash, &frmStart::loaded, this, &AppController::handOver);
    m_splash->show();
    return true;
}

void AppController::handOver()
{
    // The splash has hidden itself; the main window is made only now, and
    // the banner runs on it this once.
    m_splash->deleteLater();
    createWindow(QString(), Banner::Run);
}

void AppController::createWindow(const QString &levelText, Banner banner)
{
    auto *window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!levelText.isEmpty())
        window->setLevelText(levelText);
    if (banner == Banner::Run)
        window->startBanner();
    else
        window->settleBanner();
    connect(window, &frmMain::openRequested, this, &AppController::reopen);
    m_window = window;
    emit windowCreated(window);
    window->show();
}

void AppController::reopen(const QString &levelText)
{
    // The old window goes once the tick that asked for this has returned.
    frmMain *old = m_window;
    old->hide();
    old->deleteLater();
    createWindow(levelText, Banner::AtRest);
    QTimer::singleShot(0, m_window, &frmMain::PictureOpen);
}
