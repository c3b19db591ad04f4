#include "gradient.h"

#include "rectbyrect.h"
#include "twips.h"

#include <QPainter>

#include <algorithm>
#include <vector>

namespace mok {

void Gradient::paintBands(QPainter &painter, const QRect &clientRect, const QRect &exposed)
{
    // 256 bands from pure blue to black. Band edges are rounded halves to
    // even, so a client area under 256 pixels high leaves some bands empty.
    const float step = static_cast<float>(clientRect.height()) / 256;
    const QRect area = exposed.isNull() ? clientRect : exposed.intersected(clientRect);
    if (area.isEmpty() || step <= 0)
        return;
    // Only the bands that can meet the area: a band's edges lie within half
    // a pixel of i * step, so one band either side is enough once bands are
    // a pixel or more high.
    int first = 0;
    int last = 255;
    if (step >= 1) {
        first = std::clamp(static_cast<int>(static_cast<float>(area.top()) / step) - 1, 0, 255);
        last = std::clamp(static_cast<int>(static_cast<float>(area.bottom()) / step) + 1, 0, 255);
    }
    for (int i = first; i <= last; ++i) {
        const int top = roundHalfEven(step * static_cast<float>(i));
        const int bottom = roundHalfEven(step * static_cast<float>(i + 1));
        const QRect band = QRect(0, top, clientRect.width(), bottom - top).intersected(area);
        if (!band.isEmpty())
            painter.fillRect(band, QColor(0, 0, 255 - i));
    }
}

void Gradient::paint(QPainter &painter, const QRect &clientRect, const QRegion &exposed)
{
    // A strip a few pixels wide would still take one fill for every band it
    // crosses, a hundred for a tall one.
    std::vector<QRect> strips;
    for (const QRect &r : exposed) {
        if (r.width() <= kColumnWidth)
            strips.push_back(r);
        else
            paintBands(painter, clientRect, r);
    }
    paintRectByRect(painter, strips, [&](const QRect &strip) {
        painter.drawImage(strip.topLeft(), column(clientRect.height()),
                          QRect(0, strip.top(), strip.width(), strip.height()));
    });
}

const QImage &Gradient::column(int height)
{
    if (m_column.height() != height) {
        m_column = QImage(kColumnWidth, height, QImage::Format_RGB32);
        QPainter painter(&m_column);
        paintBands(painter, m_column.rect());
    }
    return m_column;
}

} // namespace mok
