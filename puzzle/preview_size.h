#pragma once

#include "pixel_size.h"
#include "twips.h"

// How large the board shows a picture: the one rule that both the decoding
// helper (which shrinks the picture to it) and the game (which holds the
// helper's answer against it) apply. Plain C++: the helper links no Qt.
namespace mok {

// How much a picture is shrunk for the board: the smallest whole divisor
// that fits it into 80 % of the screen (1 to 5 for pictures up to five times
// that room, and on from 6 for larger ones). The room uses a fixed 15 twips
// per pixel.
int previewDivisor(float pictureWidthPx, float pictureHeightPx, const Screen &screen);

// The preview's size in device pixels: the picture shrunk by the divisor to
// the board's logical size, times the screen's device pixel ratio, rounded
// once (halves to even). At ratio 1 it is the logical preview size.
PixelSize devicePreviewSize(PixelSize fullSize, int divisor, double devicePixelRatio);

// The divisor and device preview size the board uses for a picture of this
// (upright) size.
struct PreviewGeometry {
    int divisor = 1;
    PixelSize size; // in device pixels
};
PreviewGeometry previewGeometry(PixelSize fullSize, const Screen &screen,
                                double devicePixelRatio = 1);

// The picture area in twips: the full-size picture measured at the screen's
// own twips per pixel, divided by the divisor. Single precision, as every
// rule of the board is.
struct AreaTwips {
    float width = 0;
    float height = 0;
};
AreaTwips pictureArea(PixelSize fullSize, int divisor, const Screen &screen);

} // namespace mok
