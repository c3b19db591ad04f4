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
    QImage preview;  // the whole picture at fullSize / divisor (rounded), Format_RGB32, opaque
};

// The outcome of loadPicture(): a picture, or the reason there is none, in
// Japanese and fit to show the player.
struct PictureLoadResult {
    bool ok = false;
    LoadedPicture picture;
    QString error;
};

// Reads a BMP, GIF (first frame), JPEG, PNG, WebP, HEIC/HEIF or AVIF file at exactly this path and
// shrinks it for the board. Never blocks on special files, and holds memory
// and time within the limits of picture/load_limits.h whatever the file claims.
// Takes seconds at worst: run it through PictureLoadJob from a window.
PictureLoadResult loadPicture(const QString &path, const Screen &screen);

} // namespace mok
