#include "boardview.h"

#include "desktop.h"
#include "dragframe.h"
#include "focusring.h"
#include "outlineshape.h"
#include "piecewidget.h"

#include <QKeyEvent>
#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>
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

int BoardView::smallStep(float twipsPerPixel)
{
    return std::max(1, static_cast<int>(std::floor(mok::Board::kSnapTolerance / twipsPerPixel)));
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
        connect(piece, &PieceWidget::pressRequested, this, &BoardView::pickOrDrop);
        piece->installEventFilter(this);
        piece->hide();
        piece->stackUnder(m_lowestControl);
        piece->setGeometry(designSize);
        m_pieces[i] = piece;
        m_shownStackOrder[i] = m_board.piece(i).stackOrder;
    }
}

BoardView::OneSync::~OneSync()
{
    if (--m_view.m_syncHeld == 0 && std::exchange(m_view.m_syncWanted, false))
        m_view.syncPieces();
}

void BoardView::syncPieces()
{
    if (m_syncHeld > 0) {
        m_syncWanted = true;
        return;
    }
    createPieces();
    const mok::Screen s = mok::platform::primaryScreen();
    const QPoint areaOrigin(mok::toPixels(m_board.pictureArea().left, s.tppX),
                            mok::toPixels(m_board.pictureArea().top, s.tppY));
    const int count = m_board.gridSide() * m_board.gridSide();
    std::vector<int> raised;
    for (int i = 0; i < mok::kPieceCount; ++i) {
        const mok::Piece &state = m_board.piece(i);
        PieceWidget *piece = m_pieces[i];
        piece->setGeometry(mok::toPixels(state.rect, s));
        piece->setPicture(m_board.pictureImage(), state.picture, areaOrigin);
        piece->setEnabled(state.enabled);
        piece->setVisible(state.visible);
        if (state.visible) {
            piece->setNumber(i + 1, count);
            piece->setHome(m_board.isHome(i, s));
        }
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
    // A piece that can no longer be grabbed (given up, cleared) is let go.
    if (m_dragging >= 0 && !m_board.piece(m_dragging).enabled)
        cancelDrag();
    keepTabStopOnTheBoard();
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

bool BoardView::canTakeFocus(int index) const
{
    const PieceWidget *piece = m_pieces[index];
    return piece && piece->isEnabled() && piece->isVisibleTo(m_window);
}

void BoardView::onPieceMouseDown(int index, QPoint posInPiece)
{
    if (!canGrab(index))
        return;
    // A piece lifted by the keyboard gives way to the mouse.
    cancelDrag();
    beginDrag(index, posInPiece, false);
}

void BoardView::onPieceMouseMove(int index, QPoint globalPos)
{
    if (index == m_dragging && !m_byKeyboard)
        moveFrame(m_window->mapFromGlobal(globalPos) - m_grabPixels);
}

void BoardView::onPieceMouseUp(int index, QPoint globalPos)
{
    if (index != m_dragging || m_byKeyboard)
        return;
    dropAt(endDrag(), m_window->mapFromGlobal(globalPos));
}

void BoardView::beginDrag(int index, QPoint grabPixels, bool byKeyboard)
{
    const mok::Screen s = mok::platform::primaryScreen();
    imgPiece_MouseDown(index, static_cast<float>(grabPixels.x()) * s.tppX,
                       static_cast<float>(grabPixels.y()) * s.tppY);
    m_dragging = index;
    m_byKeyboard = byKeyboard;
    m_grabPixels = grabPixels;
    m_dragFrame->begin(m_pieces[index]->geometry());
    m_pieces[index]->setLifted(m_dragFrame->frame());
}

void BoardView::moveFrame(QPoint topLeft)
{
    m_dragFrame->moveTo(topLeft);
    m_pieces[m_dragging]->setLifted(m_dragFrame->frame());
}

int BoardView::endDrag()
{
    const int index = std::exchange(m_dragging, -1);
    m_byKeyboard = false;
    m_dragFrame->end();
    m_pieces[index]->setLifted({});
    return index;
}

bool BoardView::cancelDrag()
{
    if (m_dragging < 0)
        return false;
    endDrag();
    return true;
}

void BoardView::dropAt(int index, QPoint pos)
{
    // The window background takes the drop, and so does any piece; buttons,
    // captions and the level list do not, nor does anywhere off the window
    // (another screen), where a piece would be out of reach.
    if (!m_window->rect().contains(pos))
        return;
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

bool BoardView::eventFilter(QObject *watched, QEvent *event)
{
    auto *piece = qobject_cast<PieceWidget *>(watched);
    if (!piece)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKey(piece, static_cast<QKeyEvent *>(event));
    case QEvent::FocusIn:
        setTabStop(piece->index());
        break;
    case QEvent::FocusOut:
        // Tab, or the window going away, takes the focus from a lifted
        // piece: it is put back as with Escape.
        if (m_byKeyboard && m_dragging == piece->index())
            cancelDrag();
        break;
    default:
        break;
    }
    return false;
}

bool BoardView::handleKey(PieceWidget *piece, const QKeyEvent *event)
{
    noteKeyboardUse(piece);
    const int index = piece->index();
    const bool carrying = m_byKeyboard && m_dragging == index;
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            pickOrDrop(index);
        return true;
    case Qt::Key_Escape:
        return cancelDrag();
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (carrying)
            carry(event);
        else
            focusPiece(neighbour(index, event->key()));
        return true;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        if (!carrying)
            focusPiece(nextByNumber(index, event->key() == Qt::Key_PageDown ? 1 : -1));
        return true;
    default:
        return false;
    }
}

void BoardView::pickOrDrop(int index)
{
    if (m_byKeyboard && m_dragging == index) {
        const QPoint held = m_dragFrame->frame().topLeft() + m_grabPixels;
        dropAt(endDrag(), held);
        return;
    }
    if (m_dragging >= 0 || !canGrab(index))
        return;
    // Held by its centre, or by the nearest point on the window where the
    // centre is off it, so that the point that is let go is on the window.
    const QRect at = m_pieces[index]->geometry();
    const QPoint centre(std::clamp(at.center().x(), 0, m_window->width() - 1),
                        std::clamp(at.center().y(), 0, m_window->height() - 1));
    beginDrag(index, centre - at.topLeft(), true);
}

void BoardView::carry(const QKeyEvent *event)
{
    const mok::Screen s = mok::platform::primaryScreen();
    const int times = event->modifiers().testFlag(Qt::ShiftModifier) ? kLargeSteps : 1;
    const int across = smallStep(s.tppX) * times;
    const int down = smallStep(s.tppY) * times;
    QPoint by;
    switch (event->key()) {
    case Qt::Key_Left:
        by = {-across, 0};
        break;
    case Qt::Key_Right:
        by = {across, 0};
        break;
    case Qt::Key_Up:
        by = {0, -down};
        break;
    default:
        by = {0, down};
        break;
    }
    // The held point stays on the window, where it can be let go.
    QPoint held = m_dragFrame->frame().topLeft() + m_grabPixels + by;
    held.setX(std::clamp(held.x(), 0, m_window->width() - 1));
    held.setY(std::clamp(held.y(), 0, m_window->height() - 1));
    moveFrame(held - m_grabPixels);
}

bool BoardView::focusBoard()
{
    keepTabStopOnTheBoard();
    if (!canTakeFocus(m_tabStop))
        return false;
    noteKeyboardUse(m_window);
    m_pieces[m_tabStop]->setFocus(Qt::ShortcutFocusReason);
    return true;
}

void BoardView::focusPiece(int index)
{
    if (canTakeFocus(index))
        m_pieces[index]->setFocus(Qt::OtherFocusReason);
}

void BoardView::setTabStop(int index)
{
    if (m_pieces[m_tabStop])
        m_pieces[m_tabStop]->setFocusPolicy(Qt::NoFocus);
    m_tabStop = index;
    m_pieces[m_tabStop]->setFocusPolicy(Qt::TabFocus);
}

void BoardView::keepTabStopOnTheBoard()
{
    if (canTakeFocus(m_tabStop)) {
        setTabStop(m_tabStop);
        return;
    }
    for (int i = 0; i < mok::kPieceCount; ++i) {
        if (canTakeFocus(i)) {
            setTabStop(i);
            return;
        }
    }
    // No piece takes the focus: Tab passes the board by.
    if (m_pieces[m_tabStop])
        m_pieces[m_tabStop]->setFocusPolicy(Qt::NoFocus);
}

int BoardView::neighbour(int from, int key) const
{
    // Among the pieces whose centre lies ahead in the key's direction, the
    // nearest, a step aside counting twice a step ahead.
    const QPoint origin = m_pieces[from]->geometry().center();
    int best = from;
    int bestScore = INT_MAX;
    for (int i = 0; i < mok::kPieceCount; ++i) {
        if (i == from || !canTakeFocus(i))
            continue;
        const QPoint d = m_pieces[i]->geometry().center() - origin;
        const bool acrossKey = key == Qt::Key_Left || key == Qt::Key_Right;
        const int sign = key == Qt::Key_Left || key == Qt::Key_Up ? -1 : 1;
        const int ahead = sign * (acrossKey ? d.x() : d.y());
        const int aside = std::abs(acrossKey ? d.y() : d.x());
        if (ahead <= 0)
            continue;
        const int score = ahead + 2 * aside;
        if (score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

int BoardView::nextByNumber(int from, int step) const
{
    for (int k = 1; k < mok::kPieceCount; ++k) {
        const int i = (from + step * k + mok::kPieceCount) % mok::kPieceCount;
        if (canTakeFocus(i))
            return i;
    }
    return from;
}

} // namespace mok
