#include "piecewidget.h"

#include "devicepixels.h"
#include "rectbyrect.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace mok {

PieceWidget::PieceWidget(int index, QWidget *parent) : QWidget(parent), m_index(index)
{
    setObjectName(QStringLiteral("imgPiece%1").arg(index));
    // Not marked opaque, though it paints every pixel: the window then keeps
    // no region of opaque children to recompute over all hundred pieces
    // whenever one is restacked, which cost more than repainting the
    // background under the piece.
    hide();
}

void PieceWidget::setPicture(const QImage &area, const mok::PiecePicture &picture,
                             QPoint areaOrigin)
{
    // The same area is the same pixels: while this piece holds a share of
    // them, any change to the board's picture detaches it to new ones.
    if (area.constBits() == m_area.constBits() && picture == m_picture &&
        areaOrigin == m_areaOrigin)
        return;
    m_area = area;
    m_picture = picture;
    m_areaOrigin = areaOrigin;
    update();
}

void PieceWidget::paintEvent(QPaintEvent *event)
{
    // A drag's outline crosses a piece in thin strips: paint just those.
    QPainter painter(this);
    if (painter.device()->devicePixelRatioF() == 1.0) {
        paintRectByRect(painter, event->region(),
                        [&](const QRect &r) { mok::paintPiece(painter, m_area, m_picture, r); });
        return;
    }
    // On a high-density screen the piece is painted in device pixels, from
    // the picture area's device pixels; an exposed strip may end inside a
    // device pixel, so each is widened to whole ones.
    const DevicePixels device(painter, this);
    const QRect target = device.rect(rect());
    QRegion exposed;
    for (const QRect &r : event->region())
        exposed += device.rect(r).adjusted(-1, -1, 1, 1).intersected(target);
    paintRectByRect(painter, exposed, [&](const QRect &r) {
        mok::paintPieceAt(painter, m_area, m_picture, m_areaOrigin, target, device.ratio(), r);
    });
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

} // namespace mok
