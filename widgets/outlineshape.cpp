#include "outlineshape.h"

#include <QPainter>

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
    QPainter painter(this);
    if (m_fillColor.isValid())
        painter.fillRect(rect(), m_fillColor);
    painter.setPen(m_borderColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
