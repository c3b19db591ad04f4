// The real game window on the offscreen platform: opening a picture to the
// assembled board, Start at level 9, and dragging, each against its
// reference, round-robin.
#include "bench.h"

#include "frmmain.h"
#include "imagebutton.h"
#include "levels.h"
#include "picture_decoder.h"
#include "piecewidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <memory>
#include <sys/resource.h>

using mok::frmMain;
using mok::ImageButton;
using mok::PieceWidget;

namespace bench {

namespace {

// Lets the window paint whatever is pending, as the event loop would next.
void paintPending()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void waitUntilExposed(QWidget &window)
{
    for (int i = 0; i < 200; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            break;
    }
    paintPending();
}

void sendMouse(QWidget *to, QEvent::Type type, QPoint pos)
{
    const QPointF global = to->mapToGlobal(QPointF(pos));
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), global, Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
}

double cpuMs(const rusage &usage)
{
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class WindowCases {
public:
    WindowCases() { freshWindow(); }

    // From the accepted file to the assembled board on the screen, in a
    // fresh window at rest with a helper waiting ready, as the game opens
    // every picture.
    double open(const QString &path)
    {
        freshWindow();
        helperReady();
        return timeMs([&] { openAndPaint(path); });
    }

    // The same open in CPU time, from the accepted file to the board painted
    // and the window idle: this process's, and the helper's from the moment
    // it was handed the file (its start came earlier, while it waited).
    double openCpu(const QString &path)
    {
        freshWindow();
        helperReady();
        const double helperBefore = childrenCpuMs();
        const double before = ownCpuMs();
        openAndPaint(path);
        return ownCpuMs() - before + double(m_decoder.lastHelperCost().cpuMs) - helperBefore;
    }

    // From the press of Start to the scattered board on the screen; the
    // button's deferred tick is served at once.
    double start()
    {
        auto *button = m_window->findChild<ImageButton *>(QStringLiteral("imgStart"));
        return timeMs([&] {
            emit button->clicked();
            m_window->tmrMain_Timer();
            paintPending();
        });
    }

    // The whole window repainted, the way the event loop repaints anything.
    double fullRepaints(int count)
    {
        return timeMs([&] {
            for (int i = 0; i < count; ++i) {
                m_window->update();
                paintPending();
            }
        });
    }

    // One drag of the next piece: the grab, then kSteps moves whose mean is
    // the drag step, then the drop.
    void drag(double &grabMs, double &stepMs)
    {
        m_piece = (m_piece + 37) % mok::kPieceCount;
        auto *piece = m_window->findChild<PieceWidget *>(QStringLiteral("imgPiece%1").arg(m_piece));
        const QPoint grab(5, 5);
        grabMs = timeMs([&] {
            sendMouse(piece, QEvent::MouseButtonPress, grab);
            paintPending();
        });
        double moves = 0;
        for (int i = 1; i <= kSteps; ++i) {
            const QPoint at = grab + QPoint(9 * i, 6 * i);
            moves += timeMs([&] {
                sendMouse(piece, QEvent::MouseMove, at);
                paintPending();
            });
        }
        stepMs = moves / kSteps;
        sendMouse(piece, QEvent::MouseButtonRelease, grab + QPoint(9 * kSteps, 6 * kSteps));
        paintPending();
    }

private:
    // The game makes a window afresh for every picture, and deletes the old
    // one, picture and all, before it asks for the file.
    void freshWindow()
    {
        m_window.reset();
        m_window = std::make_unique<frmMain>();
        m_window->setPictureDecoder(&m_decoder);
        m_window->settleBanner();
        m_window->selectLevel(mok::levelTable()[mok::kLevelCount - 1].lastIndex); // 100 pieces
        // The window does not show itself; its owner does, as here. A
        // hidden window paints nothing and every figure would be empty.
        m_window->show();
        waitUntilExposed(*m_window);
    }

    // A helper waits ready, as it does in the game while the player chooses
    // the file: started, fenced and waiting for it.
    void helperReady()
    {
        m_decoder.prepare();
        QEventLoop waiting;
        QTimer::singleShot(300, &waiting, &QEventLoop::quit);
        waiting.exec();
    }

    // The CPU time the waiting helper has used so far (its start).
    static double childrenCpuMs()
    {
        double ms = 0;
        for (const QString &pid : childProcesses()) {
            QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
            if (schedstat.open(QIODevice::ReadOnly))
                ms += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
        }
        return ms;
    }

    void openAndPaint(const QString &path)
    {
        QEventLoop loaded;
        QObject::connect(&m_decoder, &mok::picture::PictureDecoder::finished, &loaded,
                         [this](quint64, const mok::picture::PictureLoadResult &result) {
                             m_fullSize = result.picture.fullSize;
                             m_previewSize = result.picture.preview.size();
                         });
        QObject::connect(m_window.get(), &frmMain::pictureLoaded, &loaded, &QEventLoop::quit);
        m_window->openPicture(path);
        loaded.exec();
        m_window->repaint();
        paintPending();
    }

public:
    // The last picture's size and its preview's; the preview itself is the
    // window's alone, to go with it.
    QSize lastFullSize() const { return m_fullSize; }
    QSize lastPreviewSize() const { return m_previewSize; }

private:
    static double ownCpuMs()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return cpuMs(usage);
    }

    static constexpr int kSteps = 10;
    mok::picture::PictureDecoder m_decoder;
    QSize m_fullSize;
    QSize m_previewSize;
    std::unique_ptr<frmMain> m_window;
    int m_piece = 0;
};

// The DCT scale M/8 the game decodes a picture of this size at.
int dctScale(QSize full, QSize preview)
{
    const double f =
        std::min(double(full.width()) / preview.width(), double(full.height()) / preview.height());
    return std::clamp(int(std::ceil(8 / f)), 1, 8);
}

// djpeg decoding at scale m/8, for its CPU time.
double djpegCpuAtScale(const QString &djpeg, const QString &path, int m)
{
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    QProcess p;
    p.start(djpeg, {QStringLiteral("-scale"), QStringLiteral("%1/8").arg(m),
                    QStringLiteral("-outfile"), QProcess::nullDevice(), path});
    p.waitForFinished(-1);
    getrusage(RUSAGE_CHILDREN, &after);
    return cpuMs(after) - cpuMs(before);
}

double spawn(const QString &program, const QStringList &args)
{
    return timeMs([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(program, args);
        p.waitForFinished(-1);
    });
}

// heif-convert picks its output format by the name's suffix, so it writes
// its .y4m through a link to the null device, as djpeg and dwebp write there.
QString nullDeviceNamed(const QString &name)
{
    const QString link = QDir::temp().filePath(name);
    QFile::remove(link);
    QFile::link(QProcess::nullDevice(), link);
    return link;
}

// One picture opened in the window against its format's own command-line
// decoder, spawned; the arguments follow the picture's path.
struct OpenCase {
    QString key;
    QString tool;
    std::function<QStringList(const QString &path)> arguments;
};

void benchOpening(WindowCases &cases, int rounds, const QStringList &pictures)
{
    const auto djpeg = [](const QString &path) {
        return QStringList{QStringLiteral("-outfile"), QProcess::nullDevice(), path};
    };
    const QString y4m = nullDeviceNamed(
        QStringLiteral("mok-bench-%1-null.y4m").arg(QCoreApplication::applicationPid()));
    const auto heifConvert = [&](const QString &path) { return QStringList{path, y4m}; };
    const auto dwebp = [](const QString &path) {
        return QStringList{QStringLiteral("-ppm"), path, QStringLiteral("-o"),
                           QProcess::nullDevice()};
    };
    const std::vector<OpenCase> openCases = {
        {QStringLiteral("open-baseline"), QStringLiteral("djpeg"), djpeg},
        {QStringLiteral("open-progressive"), QStringLiteral("djpeg"), djpeg},
        {QStringLiteral("open-large"), QStringLiteral("djpeg"), djpeg},
        {QStringLiteral("open-heic"), QStringLiteral("heif-convert"), heifConvert},
        {QStringLiteral("open-webp"), QStringLiteral("dwebp"), dwebp},
        // pngtopnm writes its picture to standard output, the null device.
        {QStringLiteral("open-png"), QStringLiteral("pngtopnm"),
         [](const QString &path) { return QStringList{path}; }},
    };
    for (std::size_t i = 0; i < openCases.size() && i < std::size_t(pictures.size()); ++i) {
        const QString &path = pictures[int(i)];
        if (path == QStringLiteral("-"))
            continue;
        const OpenCase &c = openCases[i];
        const QString tool = QStandardPaths::findExecutable(c.tool);
        std::vector<std::function<double()>> run = {[&] { return cases.open(path); }};
        if (!tool.isEmpty())
            run.push_back([&] { return spawn(tool, c.arguments(path)); });
        const auto samples = roundRobin(rounds, run);
        reportAll(c.key, samples[0]);
        if (samples.size() > 1)
            reportAll(c.key + QLatin1Char('-') + c.tool, samples[1]);
    }
    QFile::remove(y4m);

    // The whole open of the baseline picture in CPU time, every process of
    // the game counted, against djpeg decoding at the game's own scale.
    const QString djpegTool = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    const QString &baseline = pictures.value(0);
    if (djpegTool.isEmpty() || baseline == QStringLiteral("-"))
        return;
    cases.open(baseline);
    const int m = dctScale(cases.lastFullSize(), cases.lastPreviewSize());
    const auto cpu = roundRobin(rounds, {[&] { return cases.openCpu(baseline); },
                                         [&] { return djpegCpuAtScale(djpegTool, baseline, m); },
                                         [&] { return djpegCpuAtScale(djpegTool, baseline, 8); }});
    reportAll(QStringLiteral("open-cpu"), cpu[0]);
    reportAll(QStringLiteral("open-cpu-djpeg"), cpu[1]);
    reportAll(QStringLiteral("open-cpu-djpeg-full"), cpu[2]);
}

} // namespace

int runWindowCases(const QStringList &args)
{
    if (args.size() < 4)
        return 2;
    const int rounds = args[2].toInt();
    const QStringList pictures = args.mid(3);
    WindowCases cases;
    benchOpening(cases, rounds, pictures);

    // Start and drag on the baseline picture, or the first one given.
    QString play;
    for (const QString &p : pictures)
        if (play.isEmpty() && p != QStringLiteral("-"))
            play = p;
    if (play.isEmpty())
        return 2;
    cases.open(play);

    const auto start = roundRobin(
        rounds, {[&] { return cases.start(); }, [&] { return cases.fullRepaints(100); }});
    reportAll(QStringLiteral("start"), start[0]);
    reportAll(QStringLiteral("start-100-repaints"), start[1]);

    std::vector<double> grabs, steps;
    const auto drag = roundRobin(2 * rounds, {[&] {
                                                  double grab = 0, step = 0;
                                                  cases.drag(grab, step);
                                                  grabs.push_back(grab);
                                                  steps.push_back(step);
                                                  return 0.0;
                                              },
                                              [&] { return cases.fullRepaints(1); }});
    // The warm-up round's drag is the first one recorded.
    grabs.erase(grabs.begin());
    steps.erase(steps.begin());
    reportAll(QStringLiteral("grab"), grabs);
    reportAll(QStringLiteral("drag-step"), steps);
    reportAll(QStringLiteral("full-repaint"), drag[1]);
    return 0;
}

} // namespace bench
