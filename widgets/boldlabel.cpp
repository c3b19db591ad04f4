#include "boldlabel.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <algorithm>

namespace mok {

namespace {

// Text at least this many device pixels high is drawn from outlines, not
// from the glyph cache, by Qt's raster engine.
constexpr qreal kLargestCachedGlyph = 64;

bool hasRealBold(const QString &family)
{
    const QStringList styles = QFontDatabase::styles(family);
    return std::any_of(styles.begin(), styles.end(), [&](const QString &style) {
        return QFontDatabase::weight(family, style) >= QFont::DemiBold;
    });
}

} // namespace

qreal BoldLabel::outlineStroke(const QFont &font, qreal devicePixelRatio)
{
    if (font.weight() < QFont::DemiBold)
        return 0;
    const QFontInfo resolved(font);
    if (resolved.pixelSize() * devicePixelRatio < kLargestCachedGlyph ||
        hasRealBold(resolved.family()))
        return 0;
    // FreeType thickens a synthetic bold glyph by a 24th of its em.
    return resolved.pixelSize() / 24.0;
}

void BoldLabel::paintEvent(QPaintEvent *event)
{
    const qreal stroke = outlineStroke(font(), devicePixelRatioF());
    if (stroke <= 0 || text().isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    // One line placed as QLabel places it within its contents.
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    const qreal width = metrics.horizontalAdvance(text());
    qreal x = area.left();
    if (align & Qt::AlignRight)
        x = area.right() + 1 - width;
    else if (align & Qt::AlignHCenter)
        x = area.left() + (area.width() - width) / 2;
    qreal top = area.top() + (area.height() - metrics.height()) / 2;
    if (align & Qt::AlignTop)
        top = area.top();
    else if (align & Qt::AlignBottom)
        top = area.bottom() + 1 - metrics.height();

    QPainterPath outline;
    outline.addText(x, top + metrics.ascent(), font(), text());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = palette().color(foregroundRole());
    painter.fillPath(outline, colour);
    painter.strokePath(outline, QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

} // namespace mok
