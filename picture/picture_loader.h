#pragma once

#include "twips.h"

#include <QImage>
#include <QSize>
#include <QString>

class QFile;

namespace mok::picture {

// A picture the player chose, ready for the board.
struct LoadedPicture {
    QSize fullSize;  // the picture's size in pixels, upright (after any orientation tag)
    int divisor = 1; // previewDivisor() of fullSize on the screen
    // The whole picture at devicePreviewSize(fullSize, divisor, ratio),
    // Format_RGB32, opaque, with that ratio as its devicePixelRatio: on a
    // high-density screen the board shows every pixel the screen has.
    QImage preview;
};

// The preview's size in device pixels: the picture shrunk by the divisor to
// the board's logical size, times the screen's device pixel ratio, rounded
// once (halves to even). At ratio 1 it is the logical preview size.
QSize devicePreviewSize(QSize fullSize, int divisor, double devicePixelRatio);

// The outcome of loadPicture(): a picture, or the reason there is none, in
// Japanese and fit to show the player.
struct PictureLoadResult {
    bool ok = false;
    LoadedPicture picture;
    QString error;
};

// Decodes a BMP, GIF (first frame), JPEG, PNG, WebP, HEIC/HEIF or AVIF
// file already opened for reading and shrinks it for the board, holding memory and time within the
// limits of picture/load_limits.h whatever the file claims. This is what the
// decoding helper runs behind its fences; the game itself never calls it
// (see PictureDecoder). `devicePixelRatio` is the window's: the divisor and
// every number of the rules stay logical, only the preview's pixels follow
// the ratio.
PictureLoadResult decodePicture(QFile &file, const Screen &screen, double devicePixelRatio = 1);

// Opens exactly this path as the game does (never blocking on special files)
// and decodes it in this process: for tests, the fuzz target and tools.
PictureLoadResult loadPicture(const QString &path, const Screen &screen,
                              double devicePixelRatio = 1);

// Settles, once per process, what the readers would otherwise do on their
// first use and what needs the file system: the image allocation limit and
// Qt's image handler list. The helper calls it before its fences go up.
void prepareReaders();

// The divisor and preview size the board uses for a picture of this
// (upright) size; the game holds the helper's answer against it.
struct PreviewGeometry {
    int divisor = 1;
    QSize size; // in device pixels
};
PreviewGeometry previewGeometry(QSize fullSize, const Screen &screen, double devicePixelRatio = 1);

} // namespace mok::picture
