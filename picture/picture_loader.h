#pragma once

#include "twips.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace mok {

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

// Reads a BMP, GIF (first frame), JPEG or PNG file at exactly this path and
// shrinks it for the board. Never blocks on special files, and holds memory
// and time within the limits of picture/load_limits.h whatever the file claims.
// Takes seconds at worst: run it through PictureLoadJob from a window.
// `devicePixelRatio` is the window's: the divisor and every number of the
// rules stay logical, only the preview's pixels follow the ratio.
PictureLoadResult loadPicture(const QString &path, const Screen &screen,
                              double devicePixelRatio = 1.0);

} // namespace mok
