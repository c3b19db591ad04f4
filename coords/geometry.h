#pragma once

#include "twips.h"

#include <QRect>

#include <algorithm>
#include <cmath>

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
inline int cellSize(float extentTwips, int gridSide)
{
    return roundHalfEven(extentTwips) / gridSide;
}

// Where a rectangle in twips shows on the screen.
inline QRect toPixels(const RectF &r, const Screen &screen)
{
    return QRect(toPixels(r.left, screen.tppX), toPixels(r.top, screen.tppY),
                 toPixels(r.width, screen.tppX), toPixels(r.height, screen.tppY));
}

// The game's one rule for device pixels, which the widgets paint by
// (widgets/devicepixels.h) and the board's pieces take their pixels by.
//
// Where a logical pixel edge lies in device pixels at a device pixel ratio:
// the nearest device edge, halves upward as Qt maps a widget's region. Both
// edges of a rectangle are mapped, never its size, so rectangles that meet
// in logical pixels meet in device pixels too.
inline int toDevice(int logicalPx, double devicePixelRatio)
{
    return static_cast<int>(std::floor(logicalPx * devicePixelRatio + 0.5));
}

inline QRect toDevice(const QRect &logical, double devicePixelRatio)
{
    const int left = toDevice(logical.left(), devicePixelRatio);
    const int top = toDevice(logical.top(), devicePixelRatio);
    return QRect(left, top, toDevice(logical.left() + logical.width(), devicePixelRatio) - left,
                 toDevice(logical.top() + logical.height(), devicePixelRatio) - top);
}

// A line of the game `logical` pixels wide in whole device pixels, the same
// on every side of a rectangle wherever it lies: as many as the narrowest
// device image of that many logical pixels, so the line never reaches into
// the next logical pixel, where a neighbouring control may cover it. A
// one-pixel line is 1 at ratios below 2, 2 at 2.
inline int deviceLineWidth(double devicePixelRatio, int logical = 1)
{
    return std::max(1, static_cast<int>(std::floor(logical * devicePixelRatio)));
}

inline int columnOf(int index, int gridSide)
{
    return index % gridSide;
}
inline int rowOf(int index, int gridSide)
{
    return index / gridSide;
}

} // namespace mok
