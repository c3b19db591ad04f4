#include "preview_size.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace mok {

int previewDivisor(float pictureWidthPx, float pictureHeightPx, const Screen &screen)
{
    // The room is computed in double precision with the fixed divisor 15,
    // whatever the screen's real twips per pixel.
    const double roomW = static_cast<double>(screen.widthTwips) * 0.8 / 15;
    const double roomH = static_cast<double>(screen.heightTwips) * 0.8 / 15;
    const double pw = pictureWidthPx;
    const double ph = pictureHeightPx;
    // d is the smallest whole number with the picture no more than d times
    // the room on either side. Up to 5 this is the classic series; past it the
    // series goes on, because a board larger than the screen covers the
    // buttons and leaves homes no drop can reach.
    const auto tooBigAt = [&](double d) { return pw > d * roomW || ph > d * roomH; };
    if (!(roomW > 0 && roomH > 0) || !std::isfinite(pw) || !std::isfinite(ph))
        return 1;
    double d = std::max({1.0, std::ceil(pw / roomW), std::ceil(ph / roomH)});
    // The quotient may round either way; settle on the exact comparisons.
    while (d > 1 && !tooBigAt(d - 1))
        --d;
    while (tooBigAt(d))
        ++d;
    return d > INT_MAX ? INT_MAX : static_cast<int>(d);
}

PixelSize devicePreviewSize(PixelSize full, int divisor, double devicePixelRatio)
{
    return {roundHalfEven(double(full.width) / divisor * devicePixelRatio),
            roundHalfEven(double(full.height) / divisor * devicePixelRatio)};
}

PreviewGeometry previewGeometry(PixelSize fullSize, const Screen &screen, double devicePixelRatio)
{
    PreviewGeometry g;
    g.divisor = previewDivisor(static_cast<float>(fullSize.width),
                               static_cast<float>(fullSize.height), screen);
    g.size = devicePreviewSize(fullSize, g.divisor, devicePixelRatio);
    return g;
}

AreaTwips pictureArea(PixelSize fullSize, int divisor, const Screen &screen)
{
    const float d = static_cast<float>(divisor);
    return {static_cast<float>(fullSize.width) * screen.tppX / d,
            static_cast<float>(fullSize.height) * screen.tppY / d};
}

} // namespace mok
