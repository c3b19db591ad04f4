// The game's memory: at rest after start, and at its peak while the player
// opens a picture, through the file dialog, as the game does it.
#include "bench.h"

#include "appcontroller.h"
#include "frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>

using mok::AppController;
using mok::frmMain;

namespace bench {

namespace {

// A field of /proc/self/status, in bytes.
double statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            return parts.size() >= 2 ? parts[1].toDouble() * 1024 : 0;
        }
    }
    return 0;
}

// From here on, the peak (VmHWM) counts from what is resident now.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void runEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Waits up to `ms` for `done`, running events.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The resident memory of this process's children: the decoding helper that
// waits ready.
double childrenResidentBytes()
{
    double bytes = 0;
    for (const QString &pid : childProcesses()) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                bytes += line.simplified().split(' ').value(1).toDouble() * 1024;
    }
    return bytes;
}

} // namespace

int runOpenMemory(const QStringList &args)
{
    if (args.isEmpty())
        return 2;
    const QString picture = args[0];
    AppController host;
    host.start();
    const auto shown = [&] {
        frmMain *w = host.window();
        return w && w->windowHandle() && w->windowHandle()->isExposed();
    };
    if (!waitFor(shown, 20000))
        return 3;
    // Once the banner has settled a decoding helper waits ready; what it
    // holds then is memory at rest, shared with the game for the most part.
    bool settled = false;
    QObject::connect(host.window(), &frmMain::bannerSettled, [&settled] { settled = true; });
    if (!waitFor([&] { return settled; }, 20000))
        return 3;
    runEventsFor(800);
    const double helperAtRest = childrenResidentBytes();
    resetPeak();
    const double rest = statusBytes("VmRSS:");

    // The player picks the file in the dialog the game shows.
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        // The player types the file's name and presses Open.
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(picture);
        else
            dialog->selectFile(picture);
        static_cast<QDialog *>(dialog)->accept(); // as the Open button does
    });
    frmMain *first = host.window();
    // The fresh window may be made where the old one was freed: count the
    // windows made rather than compare addresses.
    int windowsMade = 0;
    QObject::connect(&host, &AppController::windowCreated, [&windowsMade] { ++windowsMade; });
    // "picture-only" opens the picture in the window at rest, without the
    // fresh window and the dialog: what the picture itself costs.
    const bool pictureOnly = args.value(1) == QStringLiteral("picture-only");
    if (pictureOnly) {
        first->openPicture(picture);
    } else {
        chooser.start(50);
        // Open is pressed from inside the event loop, as its tick runs in
        // the game: the old window is deleted once that event has returned.
        QTimer::singleShot(0, first,
                           [first] { emit first->openRequested(first->selectedLastIndex()); });
    }
    const auto opened = [&] {
        frmMain *w = host.window();
        return w && (windowsMade > 0 || pictureOnly) && !w->board().pictureImage().isNull();
    };
    if (!waitFor(opened, 60000))
        return 4;
    chooser.stop();
    runEventsFor(300);

    report(QStringLiteral("rest"), rest);
    report(QStringLiteral("peak"), statusBytes("VmHWM:"));
    // What the helper took for the picture beyond what it held waiting. The
    // preview it handed over sits in pages that both processes map; they
    // count once.
    const double preview = static_cast<double>(host.window()->board().pictureImage().sizeInBytes());
    report(QStringLiteral("helper"),
           std::max(0.0, double(host.decoder().lastHelperCost().peakKb) * 1024 - helperAtRest -
                             preview));
    report(QStringLiteral("preview"), preview);
    return 0;
}

} // namespace bench
