#pragma once

#include "board.h"

#include <QImage>
#include <QWidget>

namespace mok {

// One puzzle piece on the screen: paints its picture and reports the mouse,
// with its index, to the board view that runs it. The picture is painted
// from the shared picture area, so a piece keeps no pixels of its own.
//
// To assistive technology it is a picture named 「コマ 7 / 25」 that says
// whether it lies at home and, while it is lifted, stands where its outline
// is, so that a reader follows the outline. Every change is announced.
class PieceWidget : public QWidget {
    Q_OBJECT
public:
    PieceWidget(int index, QWidget *parent);

    int index() const { return m_index; }
    // `areaOrigin`: where the picture area's top-left corner lies in the
    // window, in logical pixels.
    void setPicture(const QImage &area, const mok::PiecePicture &picture, QPoint areaOrigin);
    const mok::PiecePicture &picture() const { return m_picture; }

    // Its place in the level (1-based) and the level's number of pieces.
    void setNumber(int number, int count);
    void setHome(bool home);
    bool isHome() const { return m_home; }
    // The outline it is carried in, in window pixels; null when not lifted.
    void setLifted(const QRect &outline);
    const QRect &liftedOutline() const { return m_lifted; }
    // What a reader says of its state: lifted, at home or not.
    QString stateText() const;

signals:
    void mouseDown(int index, QPoint posInPiece);
    void mouseMove(int index, QPoint globalPos);
    void mouseUp(int index, QPoint globalPos);
    // Assistive technology pressed it: it is to be picked up, or put down,
    // as Space does.
    void pressRequested(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void announceStateText();

    int m_index;
    QImage m_area; // shares the board's picture area, never copies it
    mok::PiecePicture m_picture;
    QPoint m_areaOrigin;
    bool m_down = false;
    bool m_home = false;
    QRect m_lifted;
};

} // namespace mok
