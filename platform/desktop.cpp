#include "desktop.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace mok::platform {

float twipsPerPixel(const QScreen *screen)
{
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<float>(1440.0 / (dpi > 0 ? dpi : 96.0));
}

Screen primaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    const float tpp = twipsPerPixel(screen);
    return Screen::fromPixels(size.width(), size.height(), tpp, tpp);
}

void coverPrimaryScreen(QWidget *window)
{
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    // Without a window manager a full-screen request alone leaves a small
    // window, so the geometry is set as well.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->setGeometry(screen->geometry());
    window->setWindowState(window->windowState() | Qt::WindowFullScreen);
}

void setTopmost(QWidget *window, bool topmost)
{
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topmost)
        window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost); // hides a shown window
    window->show();
}

void keepOnTop(QWidget *window) { window->setWindowFlag(Qt::WindowStaysOnTopHint, true); }

void messageBox(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void messageBoxOnTop(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

QFont uiFont(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral(u"MS UI Gothic"), QStringLiteral(u"IPAPGothic"),
                      QStringLiteral(u"IPAGothic"), QStringLiteral(u"Noto Sans CJK JP"),
                      QStringLiteral(u"VL PGothic")});
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace mok::platform
