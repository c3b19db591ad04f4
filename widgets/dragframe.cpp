#include "dragframe.h"

#include <QPaintEvent>
#include <QPainter>

DragFrame::DragFrame(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

QRegion DragFrame::borderOf(const QRect &r)
{
    return QRegion(r).subtracted(QRegion(r.adjusted(2, 2, -2, -2)));
}

void DragFrame::begin(const QRect &frame)
{
    setGeometry(parentWidget()->rect());
    m_frame = frame;
    raise();
    show();
    update(borderOf(m_frame));
}

void DragFrame::moveTo(const QPoint &topLeft)
{
    if (topLeft == m_frame.topLeft())
        return;
    const QRegion old = borderOf(m_frame);
    m_frame.moveTopLeft(topLeft);
    update(old.united(borderOf(m_frame)));
}

void DragFrame::end()
{
    // Stay shown with nothing to draw: hiding a widget that covers the parent
    // would repaint all of it.
    update(borderOf(m_frame));
    m_frame = QRect();
}

void DragFrame::paintEvent(QPaintEvent *)
{
    // Black and white dashes, so the outline shows over any picture and over
    // the gradient alike.
    if (m_frame.isNull())
        return;
    QPainter painter(this);
    const QRect r = m_frame.adjusted(0, 0, -1, -1);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRect(r.adjusted(1, 1, 0, 0));
    painter.setPen(QPen(Qt::black, 2, Qt::DashLine));
    painter.drawRect(r.adjusted(1, 1, 0, 0));
}
