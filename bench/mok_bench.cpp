// `make bench`: every performance goal of the game, each measured against a
// real reference in the same run, round-robin after a warm-up round, printed
// as one table. bench/README.md says how to read it.
#include "bench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>

namespace {

using Samples = QMap<QString, std::vector<double>>;
constexpr double kMiB = 1024.0 * 1024.0;

struct Setup {
    QTemporaryDir dir;
    int rounds = 7;
    QString platformFor(int w, int h) const
    {
        return QStringLiteral("offscreen:configfile=") +
               dir.filePath(QStringLiteral("screen-%1x%2.json").arg(w).arg(h));
    }
};

// An offscreen screen of this size at 96 dpi, for the children.
bool writeScreen(const Setup &setup, int w, int h)
{
    QFile file(setup.dir.filePath(QStringLiteral("screen-%1x%2.json").arg(w).arg(h)));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral(R"({"synchronousWindowSystemEvents": false,
 "windowFrameMargins": false,
 "screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,
   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(w)
                   .arg(h)
                   .toUtf8());
    return true;
}

QProcessEnvironment environmentFor(const Setup &setup, int w, int h)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), setup.platformFor(w, h));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), setup.dir.path());
    return env;
}

// Runs this program in a child mode and collects the samples it reports.
// `scale`: Qt's scale factor, for a high-density screen of w x h device pixels.
Samples runChild(const Setup &setup, int w, int h, const QStringList &args, double scale = 1)
{
    QProcess child;
    QProcessEnvironment env = environmentFor(setup, w, h);
    if (scale != 1)
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(setup.dir.path());
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(10 * 60 * 1000))
        child.kill();
    Samples samples;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() == 2)
            samples[QString::fromUtf8(parts[0])].push_back(parts[1].toDouble());
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        std::fprintf(stderr, "bench: %s failed (%d):\n%s\n",
                     qPrintable(args.join(QLatin1Char(' '))), child.exitCode(),
                     child.readAllStandardError().constData());
    return samples;
}

// How long a program takes from exec to its first painted frame, and what it
// holds in memory once it has settled: the game's waiting decoding helper
// counted, once the game has started it.
struct Launch {
    double firstFrameMs = 0;
    double restBytes = 0;
};

double residentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.simplified().split(' ').value(1).toDouble() * 1024;
    return 0;
}

Launch launch(const Setup &setup, const QString &program, const QStringList &args = {})
{
    const QByteArray mark = "bench: first frame";
    QProcessEnvironment env = environmentFor(setup, 1920, 1080);
    env.insert(QStringLiteral("MOK_FIRST_FRAME"), QString::fromLatin1(mark));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(setup.dir.path());
    QElapsedTimer timer;
    timer.start();
    p.setReadChannel(QProcess::StandardError);
    p.start(program, args);
    QByteArray err;
    Launch result;
    while (!err.contains(mark) && p.state() != QProcess::NotRunning && timer.elapsed() < 20000) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError();
    }
    if (err.contains(mark)) {
        result.firstFrameMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        // At rest: once the opening banner has run its 1.7 s and whatever
        // start-up follows the first frame has settled; any helper the game
        // has running counts.
        const QString pid = QString::number(p.processId());
        QThread::msleep(2500);
        result.restBytes = residentBytes(p.processId());
        for (const QString &child : bench::childProcesses(pid))
            result.restBytes += residentBytes(child.toLongLong());
    } else {
        std::fprintf(stderr, "bench: %s never reported a painted frame\n", qPrintable(program));
    }
    p.kill();
    p.waitForFinished(-1);
    return result;
}

void benchStartUp(const Setup &setup, Samples &samples)
{
    std::vector<Launch> game, minimal, text;
    bench::roundRobin(setup.rounds,
                      {[&] {
                           game.push_back(launch(setup, QStringLiteral(MOK_BINARY)));
                           return 0.0;
                       },
                       [&] {
                           minimal.push_back(launch(setup, QStringLiteral(MOK_MINIMAL_WINDOW)));
                           return 0.0;
                       },
                       [&] {
                           text.push_back(launch(setup, QStringLiteral(MOK_MINIMAL_WINDOW),
                                                 {QStringLiteral("--text")}));
                           return 0.0;
                       }});
    // The first launch of each was the warm-up.
    for (std::size_t i = 1; i < game.size(); ++i) {
        samples[QStringLiteral("first-frame")].push_back(game[i].firstFrameMs);
        samples[QStringLiteral("rest")].push_back(game[i].restBytes / kMiB);
    }
    for (std::size_t i = 1; i < minimal.size(); ++i) {
        samples[QStringLiteral("first-frame-minimal")].push_back(minimal[i].firstFrameMs);
        samples[QStringLiteral("rest-minimal")].push_back(minimal[i].restBytes / kMiB);
    }
    for (std::size_t i = 1; i < text.size(); ++i)
        samples[QStringLiteral("rest-text")].push_back(text[i].restBytes / kMiB);
}

void benchHelperStart(const Setup &setup, Samples &samples)
{
    const auto ready = bench::roundRobin(
        setup.rounds * 3,
        {[] { return bench::helperReadyMs(QStringLiteral(MOK_DECODE)); },
         [] { return bench::helperReadyMs(QStringLiteral(MOK_SAME_LIBRARIES)); }});
    samples[QStringLiteral("helper-ready")] = ready[0];
    samples[QStringLiteral("helper-ready-empty")] = ready[1];
}

void benchMemory(const Setup &setup, const QString &picture, Samples &samples, double scale = 1,
                 const QString &prefix = QString())
{
    for (int run = 0; run < 3; ++run) {
        // At 2x the screen has twice the device pixels each way, so the
        // board is the same logical size as at 1x.
        const int w = static_cast<int>(1920 * scale);
        const int h = static_cast<int>(1080 * scale);
        const Samples m = runChild(setup, w, h, {QStringLiteral("--open-memory"), picture}, scale);
        if (!m.contains(QStringLiteral("peak")))
            continue;
        // The game's peak over its rest, and the helper's over its own.
        const double over =
            m[QStringLiteral("peak")][0] - m[QStringLiteral("rest")][0] +
            (m.contains(QStringLiteral("helper")) ? m[QStringLiteral("helper")][0] : 0.0);
        samples[prefix + QStringLiteral("open-peak")].push_back(over / kMiB);
        // What the goal allows: the preview's bytes and 16 MiB.
        samples[prefix + QStringLiteral("open-peak-allowed")].push_back(
            m[QStringLiteral("preview")][0] / kMiB + 16);
    }
}

// --- The table ------------------------------------------------------------------

class Table {
public:
    explicit Table(const Samples &samples) : m_samples(samples) {}

    // A row whose figure is the ratio of the two medians.
    void row(const QString &measure, const QString &unit, const QString &key,
             const QString &reference, double goal)
    {
        const std::vector<double> a = m_samples.value(key);
        const std::vector<double> b = m_samples.value(reference);
        if (a.empty() || b.empty()) {
            m_out << QStringLiteral("%1 | ≤ %2× | not measured (%3)\n")
                         .arg(measure, -58)
                         .arg(goal)
                         .arg(a.empty() ? key : reference);
            ++m_missing;
            return;
        }
        const double ratio = bench::median(a) / bench::median(b);
        const bool holds = ratio <= goal;
        m_failed += holds ? 0 : 1;
        m_out << QStringLiteral("%1 | ≤ %2× | %3 | %4 | %5× | %6\n")
                     .arg(measure, -58)
                     .arg(goal, 4, 'f', 2)
                     .arg(figure(a, unit), -22)
                     .arg(figure(b, unit), -22)
                     .arg(ratio, 5, 'f', 3)
                     .arg(holds ? QStringLiteral("holds") : QStringLiteral("MISSED"));
    }

    void header()
    {
        m_out << QStringLiteral("%1 | goal   | %2 | %3 | ratio  | \n")
                     .arg(QStringLiteral("measure (min / median of the rounds)"), -58)
                     .arg(QStringLiteral("game"), -22)
                     .arg(QStringLiteral("reference"), -22);
        m_out << QString(58 + 9 + 25 + 25 + 9 + 8, QLatin1Char('-')) << '\n';
    }

    void footer()
    {
        m_out << '\n'
              << (m_failed == 0 && m_missing == 0
                      ? QStringLiteral("every goal holds\n")
                      : QStringLiteral("%1 goal(s) missed, %2 not measured\n")
                            .arg(m_failed)
                            .arg(m_missing));
        m_out.flush();
    }

private:
    static QString figure(const std::vector<double> &v, const QString &unit)
    {
        const int digits = bench::median(v) < 10 ? 2 : 1;
        return QStringLiteral("%1 / %2 %3")
            .arg(bench::minimum(v), 0, 'f', digits)
            .arg(bench::median(v), 0, 'f', digits)
            .arg(unit);
    }

    const Samples &m_samples;
    QTextStream m_out{stdout};
    int m_failed = 0;
    int m_missing = 0;
};

void printTable(const Samples &s)
{
    Table t(s);
    const QString ms = QStringLiteral("ms");
    const QString mib = QStringLiteral("MiB");
    t.header();
    t.row(QStringLiteral("open 6000x4000 baseline JPEG to the board / djpeg"), ms,
          QStringLiteral("open-baseline"), QStringLiteral("open-baseline-djpeg"), 0.85);
    t.row(QStringLiteral("open 6000x4000 progressive JPEG to the board / djpeg"), ms,
          QStringLiteral("open-progressive"), QStringLiteral("open-progressive-djpeg"), 1.0);
    t.row(QStringLiteral("open 8000x6000 baseline JPEG to the board / djpeg"), ms,
          QStringLiteral("open-large"), QStringLiteral("open-large-djpeg"), 0.85);
    t.row(QStringLiteral("open 6000x4000 baseline, CPU of every process / djpeg"), ms,
          QStringLiteral("open-cpu"), QStringLiteral("open-cpu-djpeg-full"), 0.85);
    t.row(QStringLiteral("open 6000x4000 baseline, CPU of every process / djpeg -scale M/8"), ms,
          QStringLiteral("open-cpu"), QStringLiteral("open-cpu-djpeg"), 1.05);
    t.row(QStringLiteral("open 4032x3024 HEIC (q 90) to the board / heif-convert .y4m"), ms,
          QStringLiteral("open-heic"), QStringLiteral("open-heic-heif-convert"), 1.0);
    t.row(QStringLiteral("open 4032x3024 WebP (q 90) to the board / dwebp -ppm"), ms,
          QStringLiteral("open-webp"), QStringLiteral("open-webp-dwebp"), 1.0);
    t.row(QStringLiteral("open 8000x6000 PNG to the board / pngtopnm"), ms,
          QStringLiteral("open-png"), QStringLiteral("open-png-pngtopnm"), 1.0);
    t.row(QStringLiteral("peak memory opening 8000x6000 (dialog) / preview+16MiB"), mib,
          QStringLiteral("open-peak"), QStringLiteral("open-peak-allowed"), 1.0);
    t.row(QStringLiteral("peak memory opening 8000x6000 PNG (dialog) / preview+16MiB"), mib,
          QStringLiteral("png:open-peak"), QStringLiteral("png:open-peak-allowed"), 1.0);
    t.row(QStringLiteral("peak memory opening 8000x6000 at 2x (dialog) / preview+16MiB"), mib,
          QStringLiteral("2x:open-peak"), QStringLiteral("2x:open-peak-allowed"), 1.0);
    t.row(QStringLiteral("memory at rest, any helper counted / minimal window"), mib,
          QStringLiteral("rest"), QStringLiteral("rest-minimal"), 1.1);
    t.row(QStringLiteral("memory at rest / minimal window with one line of Japanese"), mib,
          QStringLiteral("rest"), QStringLiteral("rest-text"), 1.1);
    t.row(QStringLiteral("mok-decode exec to ready / its libraries' empty program"), ms,
          QStringLiteral("helper-ready"), QStringLiteral("helper-ready-empty"), 3.0);
    t.row(QStringLiteral("exec to first painted frame / minimal window"), ms,
          QStringLiteral("first-frame"), QStringLiteral("first-frame-minimal"), 1.5);
    for (const QString &screen : {QStringLiteral("1920x1080"), QStringLiteral("3840x2160"),
                                  QStringLiteral("3840x2160 at 2x")}) {
        const QString p = screen + QLatin1Char(':');
        t.row(QStringLiteral("Start level 9, %1 / 100 full-window repaints").arg(screen), ms,
              p + QStringLiteral("start"), p + QStringLiteral("start-100-repaints"), 0.1);
        t.row(QStringLiteral("grab (mouse-down on a piece), %1 / 1 full repaint").arg(screen), ms,
              p + QStringLiteral("grab"), p + QStringLiteral("full-repaint"), 0.1);
        t.row(QStringLiteral("one drag step, %1 / 1 full-window repaint").arg(screen), ms,
              p + QStringLiteral("drag-step"), p + QStringLiteral("full-repaint"), 0.1);
    }
    t.footer();
}

void merge(Samples &into, const Samples &from, const QString &prefix)
{
    for (auto it = from.begin(); it != from.end(); ++it)
        into[prefix + it.key()] = it.value();
}

int runAll(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Setup setup;
    if (const int r = qEnvironmentVariableIntValue("MOK_BENCH_ROUNDS"); r >= 7)
        setup.rounds = r;
    QTextStream out(stdout);
    for (const auto &[w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}})
        writeScreen(setup, w, h);

    out << "Making camera-like pictures...\n";
    out.flush();
    std::fflush(stdout);
    const QString baseline = setup.dir.filePath(QStringLiteral("camera-6000x4000.jpg"));
    const QString progressive = setup.dir.filePath(QStringLiteral("camera-6000x4000-prog.jpg"));
    const QString large = setup.dir.filePath(QStringLiteral("camera-8000x6000.jpg"));
    bench::writeCameraPicture(baseline, 6000, 4000, false);
    bench::writeCameraPicture(progressive, 6000, 4000, true);
    bench::writeCameraPicture(large, 8000, 6000, false);
    // A phone's 12-megapixel photo as HEIC, and as a WebP from the web.
    QString heic = setup.dir.filePath(QStringLiteral("camera-4032x3024.heic"));
    QString webp = setup.dir.filePath(QStringLiteral("camera-4032x3024.webp"));
    if (!bench::writeCameraHeic(heic, 4032, 3024)) {
        out << "libheif cannot encode HEVC here: opening a HEIC is not measured.\n";
        heic = QStringLiteral("-");
    }
    if (!bench::writeCameraWebp(webp, 4032, 3024))
        webp = QStringLiteral("-");
    // A large PNG, as an editor or a screenshot tool saves one.
    QString png = setup.dir.filePath(QStringLiteral("camera-8000x6000.png"));
    if (!bench::writeCameraPng(png, 8000, 6000))
        png = QStringLiteral("-");
    for (const auto &[path, pixels] :
         {std::pair{baseline, 24e6}, std::pair{progressive, 24e6}, std::pair{large, 48e6},
          std::pair{heic, 4032 * 3024.0}, std::pair{webp, 4032 * 3024.0}, std::pair{png, 48e6}})
        if (QFileInfo::exists(path))
            out << "  " << QFileInfo(path).fileName() << ": "
                << QString::number(QFileInfo(path).size() * 8 / pixels, 'f', 2) << " bits/pixel\n";
    if (QStandardPaths::findExecutable(QStringLiteral("djpeg")).isEmpty())
        out << "djpeg is missing (Debian: libjpeg-turbo-progs): opening is not measured.\n";
    if (QStandardPaths::findExecutable(QStringLiteral("heif-convert")).isEmpty())
        out << "heif-convert is missing (Debian: libheif-examples): opening a HEIC is not "
               "measured.\n";
    if (QStandardPaths::findExecutable(QStringLiteral("dwebp")).isEmpty())
        out << "dwebp is missing (Debian: webp): opening a WebP is not measured.\n";
    if (QStandardPaths::findExecutable(QStringLiteral("pngtopnm")).isEmpty())
        out << "pngtopnm is missing (Debian: netpbm): opening a PNG is not measured.\n";
    out << "The game's window runs on Qt's offscreen platform, 96 dpi; " << setup.rounds
        << " rounds after a warm-up, each case alternating with its reference.\n\n";
    out.flush();

    Samples samples;
    const QString rounds = QString::number(setup.rounds);
    merge(samples,
          runChild(setup, 1920, 1080,
                   {QStringLiteral("--window"), QStringLiteral("1920"), QStringLiteral("1080"),
                    rounds, baseline, progressive, large, heic, webp, png}),
          QString());
    // Opening is the same work on any screen; start and drag are not.
    for (const QString &key :
         {QStringLiteral("start"), QStringLiteral("start-100-repaints"), QStringLiteral("grab"),
          QStringLiteral("drag-step"), QStringLiteral("full-repaint")})
        samples[QStringLiteral("1920x1080:") + key] = samples.take(key);
    merge(samples,
          runChild(setup, 3840, 2160,
                   {QStringLiteral("--window"), QStringLiteral("3840"), QStringLiteral("2160"),
                    rounds, QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                    QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), baseline}),
          QStringLiteral("3840x2160:"));
    // The same screen at Qt's scale factor 2: the board holds four times the
    // device pixels.
    merge(samples,
          runChild(setup, 3840, 2160,
                   {QStringLiteral("--window"), QStringLiteral("3840"), QStringLiteral("2160"),
                    rounds, QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                    QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), baseline},
                   2),
          QStringLiteral("3840x2160 at 2x:"));
    benchMemory(setup, large, samples);
    benchMemory(setup, large, samples, 2, QStringLiteral("2x:"));
    if (png != QStringLiteral("-"))
        benchMemory(setup, png, samples, 1, QStringLiteral("png:"));
    benchStartUp(setup, samples);
    benchHelperStart(setup, samples);
    printTable(samples);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QStringLiteral("--window") || mode == QStringLiteral("--open-memory")) {
        QApplication app(argc, argv);
        const QStringList args = QCoreApplication::arguments().mid(2);
        return mode == QStringLiteral("--window") ? bench::runWindowCases(args)
                                                  : bench::runOpenMemory(args);
    }
    return runAll(argc, argv);
}
