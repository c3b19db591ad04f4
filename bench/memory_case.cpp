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
#include <atomic>
#include <chrono>
#include <thread>

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

// The memory of its own that this process's children hold (anonymous and
// shared, not the program's and libraries' file pages, which the game has
// resident anyway): the decoding helper.
double childrenOwnBytes()
{
    double bytes = 0;
    for (const QString &pid : childProcesses()) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("RssAnon:") || line.startsWith("RssShmem:"))
                bytes += line.simplified().split(' ').value(1).toDouble() * 1024;
    }
    return bytes;
}

// The most childrenOwnBytes() reaches while it runs, read every millisecond
// on a thread of its own.
class ChildrenPeak {
public:
    ChildrenPeak()
        : m_thread([this] {
              while (!m_stop) {
                  m_peak = std::max(m_peak.load(), childrenOwnBytes());
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    double stop()
    {
        m_stop = true;
        m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_peak{0};
    std::thread m_thread;
};

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
    // At rest once the banner has settled; the decoding helper starts as
    // the dialog shows, and what it holds waiting counts in its peak.
    bool settled = false;
    QObject::connect(host.window(), &frmMain::bannerSettled, [&settled] { settled = true; });
    if (!waitFor([&] { return settled; }, 20000))
        return 3;
    runEventsFor(800);
    const double helperAtRest = childrenOwnBytes();
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
    ChildrenPeak helperSampler;
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
    const double helperPeak = helperSampler.stop();
    chooser.stop();
    runEventsFor(300);

    report(QStringLiteral("rest"), rest);
    report(QStringLiteral("peak"), statusBytes("VmHWM:"));
    // What the helper took for the picture beyond what it held waiting. The
    // preview it handed over sits in pages that both processes map; they
    // count once.
    const double preview = static_cast<double>(host.window()->board().pictureImage().sizeInBytes());
    report(QStringLiteral("helper"), std::max(0.0, helperPeak - helperAtRest - preview));
    report(QStringLiteral("preview"), preview);
    return 0;
}

} // namespace bench
