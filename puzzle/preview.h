#pragma once

#include "preview_size.h"
#include "twips.h"

#include <QString>

namespace mok {

// A single-precision number in its shortest form with up to 7 significant
// digits: 512, 204.8, 233.3333.
QString shortNumber(float value);

// The preview caption, e.g. "プレビューサイズ : 1/2   [ 512pixel * 384pixel / 1024pixel * 768pixel
// ]".
QString previewCaption(int divisor, float pictureWidthPx, float pictureHeightPx);

QString pathCaption(const QString &path);

// Whether every cell of a grid cut from a picture area of this size (twips)
// is at least one pixel on each side; a smaller cell cannot be cut or shown.
bool cellsAreVisible(float areaWidthTwips, float areaHeightTwips, int gridSide,
                     const Screen &screen);

} // namespace mok
