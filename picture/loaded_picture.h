#pragma once

#include <QImage>
#include <QSize>
#include <QString>

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

// The outcome of a load: a picture, or the reason there is none, in
// Japanese and fit to show the player.
struct PictureLoadResult {
    bool ok = false;
    LoadedPicture picture;
    QString error;
};

} // namespace mok::picture
