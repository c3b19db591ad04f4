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
        mok::platform::messageBoxOnTop(QStringLiteral(u"「Mok」は既に起動しています。"),
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
    // The main window is made only now, while the splash still shows, so
    // the screen is bare only for the moment between the two. The splash is
    // hidden rather than closed: with no window up, a close would end the
    // program. The banner runs on this first window only.
    auto *window = new frmMain;
    m_splash->hide();
    m_splash->deleteLater();
    showWindow(window, QString(), Banner::Run);
}

void AppController::showWindow(frmMain *window, const QString &levelText, Banner banner)
{
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
    showWindow(new frmMain, levelText, Banner::AtRest);
    QTimer::singleShot(0, m_window, &frmMain::PictureOpen);
}
