#include "outlineshape.h"

#include "devicepixels.h"

#include <QPainter>

namespace mok {

OutlineShape::OutlineShape(QColor borderColor, QWidget *parent)
    : QWidget(parent), m_borderColor(borderColor)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void OutlineShape::setFillColor(const QColor &color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

void OutlineShape::paintEvent(QPaintEvent *)
{
    // The border lies on the widget's outermost device pixels, equally wide
    // on all four sides.
    QPainter painter(this);
    const DevicePixels device(painter, this);
    const QRect r = device.rect(rect());
    if (m_fillColor.isValid())
        painter.fillRect(r, m_fillColor);
    const int line = std::min({device.line(), r.width(), r.height()});
    if (line <= 0)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), line), m_borderColor);
    painter.fillRect(QRect(r.left(), r.bottom() - line + 1, r.width(), line), m_borderColor);
    painter.fillRect(QRect(r.left(), r.top(), line, r.height()), m_borderColor);
    painter.fillRect(QRect(r.right() - line + 1, r.top(), line, r.height()), m_borderColor);
}

} // namespace mok
