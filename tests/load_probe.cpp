// Loads one picture file the way the game does, through a decoding helper
// behind its fences, and reports the outcome with the helper's peak memory
// and CPU time, so tests can hold a hostile file's cost against the limits.
//
//   mok_load_probe FILE      prints: ok W H DIVISOR | error MESSAGE
//                            then:   peak_kb=N cpu_ms=M
//
// As its own helper, the probe also knows a few files that are not
// pictures but instructions to misbehave as a decoder turned by a hostile
// file might, so that the tests can watch each fence stop it and the game
// see through each lie.
#include "decode_helper.h"
#include "picture_decoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

namespace {

[[noreturn]] void runForever()
{
    for (volatile unsigned spin = 0;; spin = spin + 1) {
    }
}

// Takes memory a page at a time, as a decoder trusting a header would,
// until the address-space fence says no (new throws).
[[noreturn]] void takeAllMemory()
{
    std::vector<char *> blocks;
    for (;;) {
        char *block = new char[64 << 20];
        for (size_t i = 0; i < (64u << 20); i += 4096)
            block[i] = 1;
        blocks.push_back(block);
    }
}

// An answer that looks like a picture but does not add up.
mok::picture::PictureLoadResult lie(const QByteArray &order, const mok::Screen &screen)
{
    mok::picture::PictureLoadResult r;
    if (order.contains("reason")) {
        r.error = QStringLiteral(u"更新が必要です。https://example.com を開いてください。");
        return r;
    }
    r.ok = true;
    r.picture.fullSize = QSize(2000, 1000);
    const mok::picture::PreviewGeometry honest =
        mok::picture::previewGeometry(r.picture.fullSize, screen);
    r.picture.divisor = honest.divisor;
    // Filled as ARGB, so that "holes" keep their alpha of 0 under the RGB32
    // name the helper sends them with.
    r.picture.preview =
        QImage(honest.size - QSize(0, order.contains("size") ? 1 : 0), QImage::Format_ARGB32);
    r.picture.preview.fill(order.contains("alpha") ? 0x00FFFFFFu : 0xFFFFFFFFu);
    r.picture.preview.reinterpretAsFormat(QImage::Format_RGB32);
    return r;
}

mok::picture::PictureLoadResult misbehavingDecode(QFile &file, const mok::Screen &screen,
                                                  double dpr)
{
    const QByteArray order = file.peek(64);
    if (order.startsWith("MOK-FENCE-TEST lie"))
        return lie(order, screen);
    if (order.startsWith("MOK-FENCE-TEST cpu"))
        runForever();
    if (order.startsWith("MOK-FENCE-TEST memory"))
        takeAllMemory();
    if (order.startsWith("MOK-FENCE-TEST open"))
        ::syscall(SYS_openat, AT_FDCWD, "/etc/hostname", O_RDONLY);
    return mok::picture::decodePicture(file, screen, dpr);
}

} // namespace

int main(int argc, char **argv)
{
    if (mok::picture::isDecodeHelperCall(argc, argv))
        return mok::picture::runDecodeHelper(misbehavingDecode);
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: mok_load_probe FILE\n";
        return 2;
    }
    mok::picture::PictureDecoder decoder;
    QObject::connect(&decoder, &mok::picture::PictureDecoder::finished, &app,
                     &QCoreApplication::quit);
    decoder.load(QFile::decodeName(argv[1]), mok::Screen::fromPixels(1024, 768));
    QCoreApplication::exec();
    const mok::picture::PictureLoadResult &r = decoder.result();
    QTextStream out(stdout);
    if (r.ok)
        out << "ok " << r.picture.fullSize.width() << ' ' << r.picture.fullSize.height() << ' '
            << r.picture.divisor << '\n';
    else
        out << "error " << r.error << '\n';
    const mok::picture::PictureDecoder::HelperCost &cost = decoder.lastHelperCost();
    out << "peak_kb=" << cost.peakKb << " cpu_ms=" << cost.cpuMs << '\n';
    return 0;
}
