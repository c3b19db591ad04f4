#pragma once

#include "board.h"

#include <QImage>
#include <QPoint>
#include <QRect>

class QPainter;

// How a piece shows its picture: the cut of the one picture area with its
// black lines, painted straight from the area, so a game costs the preview
// and nothing per piece. The board holds which cut each piece shows (its
// PiecePicture); the piece widgets paint it through these.
namespace mok {

// Paints `picture`, cut from `area`, with its top-left corner at (0, 0).
// Only `exposed` (piece pixels) needs to come out right; the pixels are those
// a copy of the rectangle with the lines drawn into it would have.
void paintPiece(QPainter &painter, const QImage &area, const PiecePicture &picture,
                const QRect &exposed);

// The same at a device pixel ratio, in device pixels: the painter's
// coordinates are device pixels, `target` is the piece's device rectangle
// and `area` the picture area at device resolution, whose top-left corner
// lies at logical pixel `areaOrigin`. A piece takes the area's device pixels
// from where its home lies, so pieces at home show the area pixel for pixel
// wherever their logical edges fall inside device pixels, and the lines are
// deviceLineWidth() wide on every side.
void paintPieceAt(QPainter &painter, const QImage &area, const PiecePicture &picture,
                  QPoint areaOrigin, const QRect &target, double devicePixelRatio,
                  const QRect &exposed);

} // namespace mok
