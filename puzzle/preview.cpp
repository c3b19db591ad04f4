#include "preview.h"

#include "geometry.h"

namespace mok {

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
