#pragma once

#include <QPainter>
#include <QRect>
#include <QTransform>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace mok {

// Painting in whole device pixels on a high-density screen. Qt maps a
// widget's logical rectangle onto device pixels edge by edge, rounding halves
// up; a line one logical pixel wide at 1.5x would fall on one or two device
// pixels depending on where the widget lies, and a picture drawn through the
// scaled painter lands between them. Painting in device pixels instead puts
// every edge and line exactly where the widget's own device pixels are.
class DevicePixels {
public:
    // Turns `painter`, begun on `widget`, to device pixels measured from the
    // top-left corner of the widget's window.
    DevicePixels(QPainter &painter, const QWidget *widget)
        : m_ratio(painter.device()->devicePixelRatioF()),
          m_origin(widget->mapTo(widget->window(), QPoint(0, 0)))
    {
        if (m_ratio != 1.0)
            painter.setWorldTransform(
                QTransform::fromTranslate(-m_ratio * m_origin.x(), -m_ratio * m_origin.y()) *
                QTransform::fromScale(1 / m_ratio, 1 / m_ratio));
        else
            painter.translate(-m_origin);
    }

    double ratio() const { return m_ratio; }
    // The widget's top-left corner in its window, in logical pixels.
    QPoint origin() const { return m_origin; }

    int edge(int logical) const { return static_cast<int>(std::floor(logical * m_ratio + 0.5)); }
    // A rectangle of the widget (logical, widget coordinates) in device pixels.
    QRect rect(const QRect &r) const
    {
        const QRect w = r.translated(m_origin);
        const int left = edge(w.left());
        const int top = edge(w.top());
        return QRect(left, top, edge(w.left() + w.width()) - left,
                     edge(w.top() + w.height()) - top);
    }
    // A line `logical` pixels wide in whole device pixels, equally wide
    // wherever it lies: as many as the narrowest device image of that many
    // logical pixels, so it stays inside them (a neighbouring control may
    // cover the next). A one-pixel line is 1 below 2x and 2 at 2x.
    int line(int logical = 1) const
    {
        return std::max(1, static_cast<int>(std::floor(logical * m_ratio)));
    }

private:
    double m_ratio;
    QPoint m_origin;
};

} // namespace mok
