#include "imagebutton.h"

#include <QMouseEvent>
#include <QPainter>

namespace mok {

ImageButton::ImageButton(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
}

void ImageButton::setFaces(const QPixmap &released, const QPixmap &pressed)
{
    m_releasedFace = released;
    m_pressedFace = pressed;
    update();
}

void ImageButton::setPressed(bool pressed)
{
    if (m_pressed == pressed)
        return;
    m_pressed = pressed;
    update();
}

void ImageButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture());
}

void ImageButton::mousePressEvent(QMouseEvent *event)
{
    m_mouseDown = event->button() == Qt::LeftButton;
}

void ImageButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_mouseDown && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_mouseDown = false;
    if (click)
        emit clicked();
}

} // namespace mok
