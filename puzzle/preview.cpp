#include "preview.h"

#include "geometry.h"

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

QString shortNumber(float value)
{
    return QString::number(static_cast<double>(value), 'g', 7);
}

QString previewCaption(int divisor, float pictureWidthPx, float pictureHeightPx)
{
    const float d = static_cast<float>(divisor);
    return QStringLiteral(u"プレビューサイズ : 1/") + QString::number(divisor) +
           QStringLiteral(u"   [ ") + shortNumber(pictureWidthPx / d) +
           QStringLiteral(u"pixel * ") + shortNumber(pictureHeightPx / d) +
           QStringLiteral(u"pixel / ") + shortNumber(pictureWidthPx) + QStringLiteral(u"pixel * ") +
           shortNumber(pictureHeightPx) + QStringLiteral(u"pixel ]");
}

QString pathCaption(const QString &path)
{
    return QStringLiteral(u"ピクチャ : ") + path;
}

bool cellsAreVisible(float areaWidthTwips, float areaHeightTwips, int gridSide,
                     const Screen &screen)
{
    if (gridSide <= 0)
        return false;
    return static_cast<float>(cellSize(areaWidthTwips, gridSide)) >= screen.tppX &&
           static_cast<float>(cellSize(areaHeightTwips, gridSide)) >= screen.tppY;
}

} // namespace mok
