#pragma once

#include <cmath>

namespace mok {

// The screen as the game sees it. Geometry is kept in twips (1/1440 inch) as
// single-precision floats; tppX/tppY say how many twips make one pixel on
// each axis (15 at 96 dpi). Rules take this as a plain value so tests can
// state any screen without having one.
struct Screen {
    float widthTwips = 0;
    float heightTwips = 0;
    float tppX = 15;
    float tppY = 15;

    static Screen fromPixels(int widthPx, int heightPx, float tppX = 15, float tppY = 15)
    {
        return {widthPx * tppX, heightPx * tppY, tppX, tppY};
    }
};

// Round to the nearest whole number, halves to the even neighbour (the
// default floating-point rounding mode), as the game's integer conversions do.
inline int roundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

// The one conversion from twips to pixels used for everything that is shown.
inline int toPixels(float twips, float twipsPerPixel)
{
    return roundHalfEven(static_cast<double>(twips) / twipsPerPixel);
}

} // namespace mok
