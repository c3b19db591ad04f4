#pragma once

#include "board.h"

#include <QObject>
#include <QPoint>

#include <array>
#include <cstdint>
#include <functional>

class QKeyEvent;
class QWidget;

namespace mok {

class DragFrame;
class OutlineShape;
class PieceWidget;

// The board as the player sees it and moves it: the hundred piece widgets,
// the board's frame (shpOutline) and the drag outline, all children of the
// game window. It shows the Board after each operation and takes the
// player's hands:
// - the mouse: a press on a piece grabs it, its outline follows the
//   pointer, and the release drops it;
// - the keyboard: the arrow keys move the focus between pieces by their
//   place on the screen (Page Up and Page Down by their number), Space or
//   Return picks the focused piece up and its outline appears, the arrows
//   carry the outline (smallStep pixels, with Shift kLargeSteps of them),
//   and Space or Return drops it. The piece is held by its centre.
// Either way the held point lands where it is let go, through the same
// drop (dropAt) and the same Board call, and the window then snaps the piece
// home (AdjustPiece, through dropped()). Escape puts the outline away and
// leaves the piece where it was.
class BoardView : public QObject {
    Q_OBJECT
public:
    // The pieces lie under `levelList` once any has been brought to the
    // front, and are made under `lowestControl`; `lastIndex` reads the
    // selected level.
    BoardView(mok::Board &board, QWidget *window, QWidget *levelList, QWidget *lowestControl,
              std::function<int()> lastIndex);

    // The outline's keyboard step on an axis of `twipsPerPixel`: whole
    // pixels no longer than the snapping distance, so that any home can be
    // met within it. Shift moves kLargeSteps of them.
    static int smallStep(float twipsPerPixel);
    static constexpr int kLargeSteps = 10;

    // Shows the Board: each piece's place, picture, state and stacking.
    void syncPieces();

    // While one lives, the pieces follow the board once, as it ends: a board
    // laid out more than once over (scattered, then gathered, for a new
    // picture) moves no piece that is shown, and shows each piece once.
    class OneSync {
    public:
        explicit OneSync(BoardView &view) : m_view(view) { ++m_view.m_syncHeld; }
        ~OneSync();
        OneSync(const OneSync &) = delete;
        OneSync &operator=(const OneSync &) = delete;

    private:
        BoardView &m_view;
    };
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

    // A piece is held, by the mouse or the keyboard.
    bool isDragging() const { return m_dragging >= 0; }
    // While the clear is pending no piece can be grabbed.
    void setGrabsAllowed(bool allowed) { m_grabsAllowed = allowed; }
    // Moves the keyboard focus onto the board, to the piece it was last on;
    // false when no piece can take it (before Start, after the clear).
    bool focusBoard();
    // Ends a drag or a keyboard pick without moving anything; false when
    // there was none.
    bool cancelDrag();

signals:
    // Piece `index` has been dropped and moved: it is to be snapped and the
    // clear tested.
    void dropped(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createPieces();
    bool canGrab(int index) const;
    bool canTakeFocus(int index) const;

    void onPieceMouseDown(int index, QPoint posInPiece);
    void onPieceMouseMove(int index, QPoint globalPos);
    void onPieceMouseUp(int index, QPoint globalPos);

    void beginDrag(int index, QPoint grabPixels, bool byKeyboard);
    void moveFrame(QPoint topLeft);
    // Puts the outline away; returns the piece that was held.
    int endDrag();
    // The drop, whichever hand let go: the held point of piece `index` is
    // let go at `pos`, window pixels.
    void dropAt(int index, QPoint pos);

    bool handleKey(PieceWidget *piece, const QKeyEvent *event);
    void pickOrDrop(int index);
    void carry(const QKeyEvent *event);
    void focusPiece(int index);
    void setTabStop(int index);
    void keepTabStopOnTheBoard();
    // The piece nearest `from` in the arrow key's direction, or `from`.
    int neighbour(int from, int key) const;
    // The next piece by number, `step` 1 or -1, round the level.
    int nextByNumber(int from, int step) const;

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
    int m_syncHeld = 0;        // OneSync objects alive
    bool m_syncWanted = false; // a syncPieces() came while one was

    int m_dragging = -1;
    bool m_byKeyboard = false;
    QPoint m_grabPixels;
    bool m_grabsAllowed = true;
    // The one piece Tab stops at: the board is one stop in the window's
    // order, and the arrows move within it.
    int m_tabStop = 0;
};

} // namespace mok
