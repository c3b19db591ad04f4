// Measures what the player waits for: decoding a picture, cutting it into
// 100 pieces, and the repaint a drag makes on every mouse move. Prints each
// median time and the ratios that matter, measured in one run.
#include "board.h"
#include "dragframe.h"
#include "picture_loader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QImage photoLike(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x / 7 + y / 13) % 256, (x * y / 97) % 256, (x + 3 * y) / 31 % 256);
    }
    return image;
}

// Counts the pixels a widget is asked to repaint.
class PaintCounter : public QWidget {
public:
    using QWidget::QWidget;
    qint64 pixels = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        for (const QRect &r : event->region())
            pixels += static_cast<qint64>(r.width()) * r.height();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const mok::Screen screen = mok::Screen::fromPixels(1024, 768);

    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString bmp = dir.filePath(QStringLiteral("photo.bmp"));
    const QImage photo = photoLike(4000, 3000);
    photo.save(jpeg, "JPEG", 85);
    photo.save(bmp, "BMP");

    const double jpegMs = medianMs(5, [&] { mok::loadPicture(jpeg, screen); });
    const double bmpMs = medianMs(5, [&] { mok::loadPicture(bmp, screen); });
    qint64 sink = 0;
    const double fullJpegMs = medianMs(5, [&] {
        sink += QImage(jpeg).convertToFormat(QImage::Format_RGB32).sizeInBytes();
    });

    const mok::PictureLoadResult loaded = mok::loadPicture(bmp, screen);
    mok::Board board;
    board.picPuzzle.width = static_cast<float>(loaded.picture.preview.width()) * screen.tppX;
    board.picPuzzle.height = static_cast<float>(loaded.picture.preview.height()) * screen.tppY;
    board.picPuzzleImage = loaded.picture.preview;
    mok::Rnd rnd;
    const double cutMs = medianMs(21, [&] {
        board.Expand(screen, 99, rnd);
        board.Combine(screen, 99);
    });

    // A drag across the window: every move repaints only the old and the
    // new outline.
    PaintCounter window;
    window.resize(1024, 768);
    DragFrame frame(&window);
    window.show();
    QApplication::processEvents();
    window.pixels = 0;
    frame.begin(QRect(100, 100, 60, 45));
    const int moves = 200;
    for (int i = 0; i < moves; ++i) {
        frame.moveTo(QPoint(100 + 3 * i, 100 + 2 * i));
        QApplication::processEvents();
    }
    frame.end();
    QApplication::processEvents();
    const double pixelsPerMove = static_cast<double>(window.pixels) / moves;

    out << "decode 4000x3000 JPEG for a 1024x768 screen (scaled decode): " << jpegMs << " ms\n";
    out << "decode 4000x3000 JPEG at full size (reference):             " << fullJpegMs << " ms\n";
    out << "decode 4000x3000 BMP and shrink it:                        " << bmpMs << " ms\n";
    out << "cut and assemble 100 pieces of the 800x600 preview:       " << cutMs << " ms\n";
    out << "ratio scaled / full JPEG decode: " << jpegMs / fullJpegMs << '\n';
    out << "ratio cutting / JPEG open:       " << cutMs / jpegMs << '\n';
    out << "ratio cutting / BMP open:        " << cutMs / bmpMs << '\n';
    out << "pixels repainted per drag move:  " << pixelsPerMove << " of " << 1024 * 768
        << " (" << 100.0 * pixelsPerMove / (1024 * 768) << " %)\n";
    return sink > 0 ? 0 : 1;
}
