// Loads one picture file the way the game does and reports the outcome with
// the process's peak memory and CPU time, so tests can hold a hostile file's
// cost against the limits from outside the process that paid it.
//
//   mok_load_probe FILE      prints: ok W H DIVISOR | error MESSAGE
//                            then:   peak_kb=N cpu_ms=M
#include "picture_loader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <sys/resource.h>

namespace {

// VmHWM: the most resident memory the process ever had.
qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

qint64 cpuMs()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: mok_load_probe FILE\n";
        return 2;
    }
    const mok::PictureLoadResult r =
        mok::loadPicture(QFile::decodeName(argv[1]), mok::Screen::fromPixels(1024, 768));
    QTextStream out(stdout);
    if (r.ok)
        out << "ok " << r.picture.fullSize.width() << ' ' << r.picture.fullSize.height() << ' '
            << r.picture.divisor << '\n';
    else
        out << "error " << r.error << '\n';
    out << "peak_kb=" << peakResidentKb() << " cpu_ms=" << cpuMs() << '\n';
    return 0;
}
