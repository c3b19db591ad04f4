#pragma once

#include "geometry.h"

#include <QPainter>
#include <QRect>
#include <QTransform>
#include <QWidget>

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

    // The rule of coords/geometry.h, from the widget's window: an edge, a
    // rectangle of the widget (logical, widget coordinates), and a line
    // `logical` pixels wide, in device pixels.
    int edge(int logical) const { return toDevice(logical, m_ratio); }
    QRect rect(const QRect &r) const { return toDevice(r.translated(m_origin), m_ratio); }
    int line(int logical = 1) const { return deviceLineWidth(m_ratio, logical); }

private:
    double m_ratio;
    QPoint m_origin;
};

} // namespace mok
