#include "appcontroller.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mok"));
    AppController host;
    host.start();
    return QApplication::exec();
}
