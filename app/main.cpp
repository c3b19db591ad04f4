#include "appcontroller.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mok"));
    AppController host;
    if (!host.start())
        return 0;
    // For the benchmark only: it times the start up to the splash's first
    // paint by waiting for this line.
    if (qEnvironmentVariableIsSet("MOK_REPORT_FIRST_PAINT")) {
        QObject::connect(host.splash(), &frmStart::firstPainted, [] {
            std::fputs("splash painted\n", stdout);
            std::fflush(stdout);
        });
    }
    return QApplication::exec();
}
