#include "piecewidget.h"

#include <QMouseEvent>
#include <QPainter>

PieceWidget::PieceWidget(int index, QWidget *parent) : QWidget(parent), m_index(index)
{
    setObjectName(QStringLiteral("imgPiece%1").arg(index));
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void PieceWidget::setPicture(const QImage &picture)
{
    if (picture.cacheKey() == m_picture.cacheKey())
        return;
    m_picture = picture;
    update();
}

void PieceWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

// Any button starts a drag; the first release ends it.
void PieceWidget::mousePressEvent(QMouseEvent *event)
{
    if (m_down)
        return;
    m_down = true;
    emit mouseDown(m_index, event->position().toPoint());
}

void PieceWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_down)
        emit mouseMove(m_index, event->globalPosition().toPoint());
}

void PieceWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_down)
        return;
    m_down = false;
    emit mouseUp(m_index, event->globalPosition().toPoint());
}
