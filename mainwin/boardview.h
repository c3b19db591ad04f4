#pragma once

#include "board.h"

#include <QObject>
#include <QPoint>

#include <array>
#include <cstdint>
#include <functional>

class QWidget;

namespace mok {

class DragFrame;
class OutlineShape;
class PieceWidget;

// The board as the player sees it and moves it: the hundred piece widgets,
// the board's frame (shpOutline) and the drag outline, all children of the
// game window. It shows the Board after each operation and takes the
// player's mouse: a press on a piece grabs it, its outline follows the
// pointer, and the release drops it. The held point lands where it is let
// go, through the Board's drop, and the window then snaps the piece home
// (AdjustPiece, through dropped()).
class BoardView : public QObject {
    Q_OBJECT
public:
    // The pieces lie under `levelList` once any has been brought to the
    // front, and are made under `lowestControl`; `lastIndex` reads the
    // selected level.
    BoardView(mok::Board &board, QWidget *window, QWidget *levelList, QWidget *lowestControl,
              std::function<int()> lastIndex);

    // Shows the Board: each piece's place, picture, state and stacking.
    void syncPieces();
    // Lays the board's frame over the picture area.
    void syncOutline();
    void showOutline();
    // Hides the level's pieces in one frame, before a new layout is cut.
    void clearLayout();

    // The drag handlers, X and Y in twips: a piece grabbed at (X, Y) inside
    // it, and a drop at (X, Y) inside piece `index` or on the window.
    void imgPiece_MouseDown(int index, float X, float Y);
    void imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y);
    void Form_DragDrop(PieceWidget *source, float X, float Y);

    // A piece is held.
    bool isDragging() const { return m_dragging >= 0; }
    // While the clear is pending no piece can be grabbed.
    void setGrabsAllowed(bool allowed) { m_grabsAllowed = allowed; }

signals:
    // Piece `index` has been dropped and moved: it is to be snapped and the
    // clear tested.
    void dropped(int index);

private:
    void createPieces();
    bool canGrab(int index) const;

    void onPieceMouseDown(int index, QPoint posInPiece);
    void onPieceMouseMove(int index, QPoint globalPos);
    void onPieceMouseUp(int index, QPoint globalPos);

    // The drop: the held point of piece `index` is let go at `pos`, window
    // pixels.
    void dropAt(int index, QPoint pos);

    mok::Board &m_board;
    QWidget *m_window;
    QWidget *m_levelList;
    QWidget *m_lowestControl;
    std::function<int()> m_lastIndex;

    std::array<PieceWidget *, mok::kPieceCount> m_pieces{};
    OutlineShape *m_outline = nullptr;
    DragFrame *m_dragFrame = nullptr;
    std::array<std::uint32_t, mok::kPieceCount> m_shownStackOrder{};
    bool m_levelListOnTop = false;

    int m_dragging = -1;
    QPoint m_grabPixels;
    bool m_grabsAllowed = true;
};

} // namespace mok
