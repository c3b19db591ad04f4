#include "outlineshape.h"

#include <QPainter>

OutlineShape::OutlineShape(QColor borderColor, QWidget *parent)
    : QWidget(parent), m_borderColor(borderColor)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void OutlineShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(m_borderColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
