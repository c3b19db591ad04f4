// The reference for the game's start-up: the least a Qt Widgets program can
// do to show a window the size of the game's, one empty widget over the
// whole screen. It reports its first frame the way the game does.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint, true);
    window.showFullScreen();
    return QApplication::exec();
}
