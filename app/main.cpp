#include "mainwindowhost.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mok"));
    MainWindowHost host;
    host.start();
    return QApplication::exec();
}
