#pragma once

#include "board.h"

#include <QImage>
#include <QWidget>

namespace mok {

// One puzzle piece on the screen: paints its picture and reports the mouse,
// with its index, to the window that runs the game. The picture is painted
// from the shared picture area, so a piece keeps no pixels of its own.
class PieceWidget : public QWidget {
    Q_OBJECT
public:
    PieceWidget(int index, QWidget *parent);

    int index() const { return m_index; }
    // `areaOrigin`: where the picture area's top-left corner lies in the
    // window, in logical pixels.
    void setPicture(const QImage &area, const mok::PiecePicture &picture, QPoint areaOrigin);
    const mok::PiecePicture &picture() const { return m_picture; }

signals:
    void mouseDown(int index, QPoint posInPiece);
    void mouseMove(int index, QPoint globalPos);
    void mouseUp(int index, QPoint globalPos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_index;
    QImage m_area; // shares the board's picture area, never copies it
    mok::PiecePicture m_picture;
    QPoint m_areaOrigin;
    bool m_down = false;
};

} // namespace mok
