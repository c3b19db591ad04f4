#include "appcontroller.h"
#include "commandline.h"
#include "translation.h"

#include <QApplication>

#include <cstdio>

namespace mok {
namespace {

// A core application is enough to read the arguments and name the program
// in --help; it is gone before the window system is touched.
CommandLine readCommandLine(int argc, char *argv[])
{
    QCoreApplication reader(argc, argv);
    return parseCommandLine(QCoreApplication::arguments());
}

} // namespace
} // namespace mok

int main(int argc, char *argv[])
{
    // Questions about the program are answered before any window system is
    // touched, so they work on a terminal without a display.
    const mok::CommandLine commandLine = mok::readCommandLine(argc, argv);
    if (commandLine.action != mok::CommandLine::Action::Play) {
        const bool failed = commandLine.action == mok::CommandLine::Action::Fail;
        std::fputs(commandLine.output.toLocal8Bit().constData(), failed ? stderr : stdout);
        return failed ? 2 : 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mok"));
    QApplication::setApplicationVersion(QStringLiteral(MOK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.example.mok"));
    mok::platform::installJapaneseTranslation(app);
    mok::AppController host;
    if (!host.start(commandLine.picture))
        return 0;
    return QApplication::exec();
}
