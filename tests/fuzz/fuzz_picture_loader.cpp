// Fuzz target for the picture loader: any bytes, written to a file and
// loaded as the game loads a picture, must give either a picture that keeps
// every promise of LoadedPicture or a reason, and never crash, hang or
// allocate without bound.
//
// Built with clang and -DMOK_FUZZ=ON this is a libFuzzer target; otherwise
// replay_main.cpp turns it into a program that replays files, which the
// ordinary tests run over the regression corpus.
#include "modern_readers.h"
#include "picture_loader.h"
#include "preview.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const mok::Screen kScreen = mok::Screen::fromPixels(1024, 768);

[[noreturn]] void brokenPromise(const char *what)
{
    std::fprintf(stderr, "picture loader broke a promise: %s\n", what);
    std::abort();
}

void checkPromises(const mok::picture::PictureLoadResult &r)
{
    if (!r.ok) {
        if (r.error.isEmpty())
            brokenPromise("refused without a reason");
        return;
    }
    const QSize full = r.picture.fullSize;
    const QImage &p = r.picture.preview;
    if (full.width() <= 0 || full.height() <= 0)
        brokenPromise("no full size");
    const int d = mok::previewDivisor(float(full.width()), float(full.height()), kScreen);
    if (r.picture.divisor != d)
        brokenPromise("divisor not chosen from the full size");
    const QSize expected(mok::roundHalfEven(double(full.width()) / d),
                         mok::roundHalfEven(double(full.height()) / d));
    if (p.size() != expected || p.format() != QImage::Format_RGB32)
        brokenPromise("preview of the wrong size or format");
    for (int y = 0; y < p.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(p.constScanLine(y));
        for (int x = 0; x < p.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                brokenPromise("preview not opaque");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt's image reading (PNG) looks for its plugins through the application.
    static QCoreApplication app(*argc, *argv);
    // As the decoding helper does before it fences itself in.
    mok::picture::prepareModernReaders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    checkPromises(mok::picture::loadPicture(path, kScreen));
    return 0;
}
