#include "boardview.h"

#include "desktop.h"
#include "dragframe.h"
#include "outlineshape.h"
#include "piecewidget.h"

#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace mok {

namespace {

constexpr float kDesignPieceSize = 255;

} // namespace

BoardView::BoardView(mok::Board &board, QWidget *window, QWidget *levelList, QWidget *lowestControl,
                     std::function<int()> lastIndex)
    : QObject(window), m_board(board), m_window(window), m_levelList(levelList),
      m_lowestControl(lowestControl), m_lastIndex(std::move(lastIndex))
{
    const mok::Screen s = mok::platform::primaryScreen();
    m_outline = new OutlineShape(Qt::white, window);
    m_outline->setObjectName(QStringLiteral("shpOutline"));
    m_outline->hide();
    m_outline->setGeometry(mok::toPixels(mok::RectF{120, 1800, 615, 255}, s));
    m_outline->lower(); // the frame lies under every piece

    m_dragFrame = new DragFrame(window);
    m_dragFrame->setObjectName(QStringLiteral("dragFrame"));
}

// The pieces are made with the first picture, not with the window: a window
// at rest shows none of them, and a hundred hidden widgets would only cost
// start-up time and memory. They lie where they would have been made, under
// the buttons, in index order.
void BoardView::createPieces()
{
    if (m_pieces[0])
        return;
    const QRect designSize = mok::toPixels(mok::RectF{0, 0, kDesignPieceSize, kDesignPieceSize},
                                           mok::platform::primaryScreen());
    for (int i = 0; i < mok::kPieceCount; ++i) {
        auto *piece = new PieceWidget(i, m_window);
        connect(piece, &PieceWidget::mouseDown, this, &BoardView::onPieceMouseDown);
        connect(piece, &PieceWidget::mouseMove, this, &BoardView::onPieceMouseMove);
        connect(piece, &PieceWidget::mouseUp, this, &BoardView::onPieceMouseUp);
        piece->hide();
        piece->stackUnder(m_lowestControl);
        piece->setGeometry(designSize);
        m_pieces[i] = piece;
        m_shownStackOrder[i] = m_board.piece(i).stackOrder;
    }
}

void BoardView::syncPieces()
{
    createPieces();
    const mok::Screen s = mok::platform::primaryScreen();
    const QPoint areaOrigin(mok::toPixels(m_board.pictureArea().left, s.tppX),
                            mok::toPixels(m_board.pictureArea().top, s.tppY));
    std::vector<int> raised;
    for (int i = 0; i < mok::kPieceCount; ++i) {
        const mok::Piece &state = m_board.piece(i);
        PieceWidget *piece = m_pieces[i];
        piece->setGeometry(mok::toPixels(state.rect, s));
        piece->setPicture(m_board.pictureImage(), state.picture, areaOrigin);
        piece->setEnabled(state.enabled);
        piece->setVisible(state.visible);
        if (state.stackOrder != m_shownStackOrder[i])
            raised.push_back(i);
    }
    std::sort(raised.begin(), raised.end(), [this](int a, int b) {
        return m_board.piece(a).stackOrder < m_board.piece(b).stackOrder;
    });
    // The level list is a window of its own in the classic toolkit and
    // always stayed above the pieces: a piece brought to the front goes just
    // under it, which repaints only the piece. The drag outline lies above
    // both and, raised once, stays there.
    if (!raised.empty() && !m_levelListOnTop) {
        m_levelList->raise();
        m_dragFrame->raise();
        m_levelListOnTop = true;
    }
    for (int i : raised) {
        m_pieces[i]->stackUnder(m_levelList);
        m_shownStackOrder[i] = m_board.piece(i).stackOrder;
    }
}

void BoardView::syncOutline()
{
    const mok::Screen s = mok::platform::primaryScreen();
    QRect frame = mok::toPixels(m_board.outline(), s);
    // The frame lies under the pieces at home. Rounded on its own, a picture
    // area a fraction of a pixel wide or high would leave one line of it
    // showing under or beside the assembled picture: it ends where the last
    // piece at home ends, so it shows alike on every side.
    const int last = m_lastIndex();
    if (m_board.gridSide() > 0 && last >= 0 && last < mok::kPieceCount) {
        const mok::RectF &piece = m_board.pieceRect(last);
        const QRect home = mok::toPixels(mok::RectF{m_board.homeX(last, piece.width - s.tppX),
                                                    m_board.homeY(last, piece.height - s.tppY),
                                                    piece.width, piece.height},
                                         s);
        frame.setRight(home.right());
        frame.setBottom(home.bottom());
    }
    m_outline->setGeometry(frame);
}

void BoardView::showOutline()
{
    m_outline->show();
}

void BoardView::clearLayout()
{
    createPieces();
    // Hiding all of the old layout takes far less than one frame, so it is
    // shown as one frame rather than a hundred full-window flushes nobody
    // could tell apart.
    const int lastIndex = m_lastIndex();
    if (mok::gridSideFor(lastIndex) <= 0)
        return;
    QRegion vacated;
    for (int i = 0; i <= lastIndex; ++i) {
        PieceWidget *piece = m_pieces[i];
        if (piece->isVisible()) {
            vacated += piece->geometry();
            piece->hide();
        }
    }
    if (!vacated.isEmpty())
        m_window->repaint(vacated);
}

void BoardView::imgPiece_MouseDown(int index, float X, float Y)
{
    m_board.grab(index, X, Y, m_lastIndex());
    syncPieces();
}

void BoardView::imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y)
{
    emit dropped(m_board.dropOnPiece(source->index(), index, X, Y));
}

void BoardView::Form_DragDrop(PieceWidget *source, float X, float Y)
{
    emit dropped(m_board.dropOnBackground(source->index(), X, Y));
}

bool BoardView::canGrab(int index) const
{
    return m_grabsAllowed && m_board.piece(index).enabled;
}

void BoardView::onPieceMouseDown(int index, QPoint posInPiece)
{
    if (!canGrab(index))
        return;
    const mok::Screen s = mok::platform::primaryScreen();
    imgPiece_MouseDown(index, static_cast<float>(posInPiece.x()) * s.tppX,
                       static_cast<float>(posInPiece.y()) * s.tppY);
    m_dragging = index;
    m_grabPixels = posInPiece;
    m_dragFrame->begin(m_pieces[index]->geometry());
}

void BoardView::onPieceMouseMove(int index, QPoint globalPos)
{
    if (index == m_dragging)
        m_dragFrame->moveTo(m_window->mapFromGlobal(globalPos) - m_grabPixels);
}

void BoardView::onPieceMouseUp(int index, QPoint globalPos)
{
    if (index != m_dragging)
        return;
    m_dragging = -1;
    m_dragFrame->end();
    dropAt(index, m_window->mapFromGlobal(globalPos));
}

void BoardView::dropAt(int index, QPoint pos)
{
    // The window background takes the drop, and so does any piece; buttons,
    // captions and the level list do not.
    const mok::Screen s = mok::platform::primaryScreen();
    PieceWidget *source = m_pieces[index];
    QWidget *target = m_window->childAt(pos);
    if (!target) {
        Form_DragDrop(source, static_cast<float>(pos.x()) * s.tppX,
                      static_cast<float>(pos.y()) * s.tppY);
    } else if (auto *piece = qobject_cast<PieceWidget *>(target)) {
        const QPoint inTarget = pos - piece->pos();
        imgPiece_DragDrop(piece->index(), source, static_cast<float>(inTarget.x()) * s.tppX,
                          static_cast<float>(inTarget.y()) * s.tppY);
    }
}

} // namespace mok
