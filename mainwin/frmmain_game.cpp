// The game as the main window runs it: opening a picture, starting and giving
// up, dragging pieces, and the clear. The rules live in mok::Board; this file
// feeds it the player's input and shows the result.
#include "frmmain.h"

#include "desktop.h"
#include "dragframe.h"
#include "filedialog.h"
#include "imagebutton.h"
#include "outlineshape.h"
#include "picture_load_job.h"
#include "picture_loader.h"
#include "piecewidget.h"
#include "preview.h"
#include "random.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QRegion>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return QStringLiteral(u"ピクチャファイルを開けませんでした。\n") + path +
           QStringLiteral(u"\n") + reason;
}

const QString &errorTitle()
{
    static const QString title = QStringLiteral(u"ファイルを開く");
    return title;
}

// Why a picture area of this size cannot be cut for the level, or an empty
// string when it can.
QString cellsTooSmallReason(float areaWidth, float areaHeight, int gridSide,
                            const mok::Screen &s)
{
    if (mok::cellsAreVisible(areaWidth, areaHeight, gridSide, s))
        return {};
    return QStringLiteral(u"ピクチャが小さすぎて、このレベルではコマが 1 ピクセルに満たなくなります"
                          u"（プレビュー %1 × %2 ピクセル）。")
        .arg(mok::toPixels(areaWidth, s.tppX))
        .arg(mok::toPixels(areaHeight, s.tppY));
}

// Swallows the player's input while it exists: clicks, keys, the wheel,
// files dropped from a file manager (a drop would make the window afresh
// under the load) and requests to close a window. Paint and timer events go
// on as usual.
class InputBlocker : public QObject {
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            event->ignore();
            return true;
        default:
            return false;
        }
    }
};

// Loads the picture on a thread of its own. Meanwhile the window keeps
// repainting and shows the busy cursor, and nothing the player does reaches
// the game until the load has ended: the local event loop serves painting and
// timers only, so openPicture can still check everything before it changes
// anything. Nothing when the application is quitting before the load ends.
std::optional<mok::PictureLoadResult> loadWhileBusy(const QString &path, const mok::Screen &s)
{
    mok::PictureLoadJob job(path, s);
    const InputBlocker blocker;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    QObject::connect(&job, &mok::PictureLoadJob::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    QApplication::restoreOverrideCursor();
    if (job.isRunning()) {
        job.wait();
        return std::nullopt;
    }
    return job.result();
}

} // namespace

void frmMain::PictureOpen()
{
    const QString path = mok::platform::openFileDialog(
        this, QStringLiteral(u"ファイルを開く"),
        {{QStringLiteral(u"画像ファイル(*.bmp;*.gif;*.jpg;*.jpeg)"),
          QStringLiteral(u"*.bmp;*.gif;*.jpg;*.jpeg")},
         {QStringLiteral(u"ビットマップ(*.bmp)"), QStringLiteral(u"*.bmp")},
         {QStringLiteral(u"GIF 形式(*.gif)"), QStringLiteral(u"*.gif")},
         {QStringLiteral(u"JPEG 形式(*.jpg;*.jpeg)"), QStringLiteral(u"*.jpg;*.jpeg")},
         {QStringLiteral(u"その他のピクチャ(*.png;*.webp;*.heic;*.heif;*.avif)"),
          QStringLiteral(u"*.png;*.webp;*.heic;*.heif;*.avif")}});
    if (path.isEmpty())
        return;
    openPicture(path);
}

bool frmMain::openPicture(const QString &path)
{
    const mok::Screen s = screenTwips();
    // Everything is checked before anything changes, so a file that cannot be
    // used leaves the window as a cancelled dialog would.
    const std::optional<mok::PictureLoadResult> load = loadWhileBusy(path, s);
    if (!load)
        return false;
    const mok::PictureLoadResult &loaded = *load;
    if (!loaded.ok) {
        mok::platform::messageBox(this, cannotOpenMessage(path, loaded.error), errorTitle());
        return false;
    }
    const mok::LoadedPicture &picture = loaded.picture;
    const float pw = static_cast<float>(picture.fullSize.width());
    const float ph = static_cast<float>(picture.fullSize.height());
    const float d = static_cast<float>(picture.divisor);
    // The full-size holder measures the picture in twips at the screen's own
    // resolution; the picture area is that divided by d.
    const float areaWidth = pw * s.tppX / d;
    const float areaHeight = ph * s.tppY / d;
    const QString tooSmall =
        cellsTooSmallReason(areaWidth, areaHeight, mok::gridSideFor(selectedLastIndex()), s);
    if (!tooSmall.isEmpty()) {
        mok::platform::messageBox(this, cannotOpenMessage(path, tooSmall), errorTitle());
        return false;
    }

    lblOpening->hide();
    lblPath->setText(mok::pathCaption(path));
    applyTwips(lblPath);
    m_board.picPuzzle.width = areaWidth;
    m_board.picPuzzle.height = areaHeight;
    m_board.picPuzzleImage = picture.preview;
    lblPreview->setText(mok::previewCaption(picture.divisor, pw, ph));
    applyTwips(lblPreview);
    imgStart->show();
    Expand();
    Combine();
    shpOutline->show();
    cboLevel->setEnabled(false);
    m_board.setPiecesEnabled(0, selectedLastIndex(), false);
    syncPieces();
    return true;
}

void frmMain::startGame()
{
    const mok::Screen s = screenTwips();
    const QString tooSmall = cellsTooSmallReason(m_board.picPuzzle.width, m_board.picPuzzle.height,
                                                 mok::gridSideFor(selectedLastIndex()), s);
    if (!tooSmall.isEmpty()) {
        mok::platform::messageBox(this, QStringLiteral(u"ゲームを始められません。\n") + tooSmall,
                                  QStringLiteral(u"スタート"));
        return;
    }
    // A smaller level after a larger one must not leave the earlier game's
    // extra pieces lying on the board.
    m_board.hidePiecesAbove(selectedLastIndex());
    Expand();
    imgStart->hide();
    imgGiveup->show();
    // Locked while the game runs: a level change would move every home
    // position under pieces cut for the old level.
    cboLevel->setEnabled(false);
}

void frmMain::giveUp()
{
    Combine();
    cboLevel->setEnabled(true);
    imgStart->hide();
    imgGiveup->hide();
    m_board.setPiecesEnabled(0, selectedLastIndex(), false);
    syncPieces();
}

void frmMain::Level() { m_board.Level(selectedLastIndex()); }

void frmMain::Expand()
{
    createPieces();
    setCursor(Qt::WaitCursor);
    // The old layout vanishes before the new one is cut. Hiding all of it
    // takes far less than one frame, so it is shown as one frame rather than
    // a hundred full-window flushes nobody could tell apart.
    const int lastIndex = selectedLastIndex();
    QRegion vacated;
    m_board.Expand(screenTwips(), lastIndex, mok::sharedRandom(), [&](int i) {
        PieceWidget *piece = imgPiece[i];
        if (piece->isVisible()) {
            vacated += piece->geometry();
            piece->hide();
        }
        if (i == lastIndex && !vacated.isEmpty())
            repaint(vacated);
    });
    unsetCursor();
    syncOutline();
    syncPieces();
}

void frmMain::Combine()
{
    m_board.Combine(screenTwips(), selectedLastIndex());
    syncPieces();
}

void frmMain::AdjustPiece(int index)
{
    const bool complete = m_board.AdjustPiece(index, screenTwips(), selectedLastIndex());
    syncPieces();
    if (complete && !m_clearPending) {
        // The congratulation box is modal: raise it once the drop has been
        // handled, and keep pieces from being grabbed until then.
        m_clearPending = true;
        QTimer::singleShot(0, this, &frmMain::runClearSequence);
    }
}

bool frmMain::IsComplete() { return m_board.IsComplete(screenTwips(), selectedLastIndex()); }

void frmMain::NBord()
{
    m_board.NBord(selectedLastIndex());
    syncPieces();
}

void frmMain::DispBorder()
{
    m_board.DispBorder(selectedLastIndex());
    syncPieces();
}

void frmMain::runClearSequence()
{
    NBord();
    cboLevel->setEnabled(true);
    imgGiveup->hide();
    mok::platform::setTopmost(this, false);
    mok::platform::messageBox(this,
                              QStringLiteral(u"Level ") + QString::number(m_board.GridSide - 1) +
                                  QStringLiteral(u" クリア！おめでとう！！！"),
                              QStringLiteral(u"クリア"));
    mok::platform::setTopmost(this, true);
    m_board.setPiecesEnabled(0, selectedLastIndex(), false);
    syncPieces();
    m_clearPending = false;
}

void frmMain::imgPiece_MouseDown(int index, float X, float Y)
{
    m_board.GrabX = X;
    m_board.GrabY = Y;
    DispBorder();
    m_board.bringToFront(index);
    syncPieces();
}

void frmMain::imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y)
{
    const mok::RectF &target = m_board.imgPiece[index].rect;
    const float left = target.left + X - m_board.GrabX;
    const float top = target.top + Y - m_board.GrabY;
    const int dropped = m_board.imgPiece[source->index()].tag.toShort();
    m_board.imgPiece[dropped].rect.left = left;
    m_board.imgPiece[dropped].rect.top = top;
    AdjustPiece(dropped);
}

void frmMain::Form_DragDrop(PieceWidget *source, float X, float Y)
{
    const int dropped = m_board.imgPiece[source->index()].tag.toShort();
    m_board.imgPiece[dropped].rect.left = X - m_board.GrabX;
    m_board.imgPiece[dropped].rect.top = Y - m_board.GrabY;
    AdjustPiece(dropped);
}

void frmMain::onPieceMouseDown(int index, QPoint posInPiece)
{
    if (m_clearPending || !m_board.imgPiece[index].enabled)
        return;
    const mok::Screen s = screenTwips();
    imgPiece_MouseDown(index, static_cast<float>(posInPiece.x()) * s.tppX,
                       static_cast<float>(posInPiece.y()) * s.tppY);
    m_dragging = index;
    m_grabPixels = posInPiece;
    m_dragFrame->begin(imgPiece[index]->geometry());
}

void frmMain::onPieceMouseMove(int index, QPoint globalPos)
{
    if (index == m_dragging)
        m_dragFrame->moveTo(mapFromGlobal(globalPos) - m_grabPixels);
}

void frmMain::onPieceMouseUp(int index, QPoint globalPos)
{
    if (index != m_dragging)
        return;
    m_dragging = -1;
    m_dragFrame->end();

    // The window background takes the drop, and so does any piece; buttons,
    // captions and the level list do not.
    const QPoint pos = mapFromGlobal(globalPos);
    const mok::Screen s = screenTwips();
    PieceWidget *source = imgPiece[index];
    QWidget *target = childAt(pos);
    if (!target) {
        Form_DragDrop(source, static_cast<float>(pos.x()) * s.tppX,
                      static_cast<float>(pos.y()) * s.tppY);
    } else if (auto *piece = qobject_cast<PieceWidget *>(target)) {
        const QPoint inTarget = pos - piece->pos();
        imgPiece_DragDrop(piece->index(), source, static_cast<float>(inTarget.x()) * s.tppX,
                          static_cast<float>(inTarget.y()) * s.tppY);
    }
}

void frmMain::syncOutline()
{
    shpOutline->setGeometry(mok::toPixels(m_board.shpOutline, screenTwips()));
}

void frmMain::syncPieces()
{
    createPieces();
    const mok::Screen s = screenTwips();
    std::vector<int> raised;
    for (int i = 0; i < mok::kPieceCount; ++i) {
        const mok::Piece &state = m_board.imgPiece[i];
        PieceWidget *piece = imgPiece[i];
        piece->setGeometry(mok::toPixels(state.rect, s));
        piece->setPicture(m_board.picPuzzleImage, state.picture);
        piece->setEnabled(state.enabled);
        piece->setVisible(state.visible);
        if (state.stackOrder != m_shownStackOrder[i])
            raised.push_back(i);
    }
    std::sort(raised.begin(), raised.end(), [this](int a, int b) {
        return m_board.imgPiece[a].stackOrder < m_board.imgPiece[b].stackOrder;
    });
    // The level list is a window of its own in the classic toolkit and
    // always stayed above the pieces: a piece brought to the front goes just
    // under it, which repaints only the piece. The drag outline lies above
    // both and, raised once, stays there.
    if (!raised.empty() && !m_levelListOnTop) {
        cboLevel->raise();
        m_dragFrame->raise();
        m_levelListOnTop = true;
    }
    for (int i : raised) {
        imgPiece[i]->stackUnder(cboLevel);
        m_shownStackOrder[i] = m_board.imgPiece[i].stackOrder;
    }
}
