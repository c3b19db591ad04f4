#pragma once

#include "twips.h"

#include <QRect>

namespace mok {

// A control's rectangle in twips.
struct RectF {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// Cell size of a grid of gridSide cells over an extent in twips: the extent
// rounded to a whole number (halves to even), then divided with the
// remainder dropped.
inline int cellSize(float extentTwips, int gridSide) { return roundHalfEven(extentTwips) / gridSide; }

// Where a rectangle in twips shows on the screen.
inline QRect toPixels(const RectF &r, const Screen &screen)
{
    return QRect(toPixels(r.left, screen.tppX), toPixels(r.top, screen.tppY),
                 toPixels(r.width, screen.tppX), toPixels(r.height, screen.tppY));
}

inline int columnOf(int index, int gridSide) { return index % gridSide; }
inline int rowOf(int index, int gridSide) { return index / gridSide; }

} // namespace mok
