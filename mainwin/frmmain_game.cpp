// The game as the main window runs it: opening a picture, starting and giving
// up, dragging pieces, and the clear. The rules live in mok::Board; this file
// feeds it the player's input and shows the result.
#include "frmmain.h"

#include "desktop.h"
#include "dragframe.h"
#include "filedialog.h"
#include "imagebutton.h"
#include "outlineshape.h"
#include "picture_decoder.h"
#include "piecewidget.h"
#include "preview.h"
#include "random.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRegion>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace mok {

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
QString cellsTooSmallReason(float areaWidth, float areaHeight, int gridSide, const mok::Screen &s)
{
    if (mok::cellsAreVisible(areaWidth, areaHeight, gridSide, s))
        return {};
    return QStringLiteral(u"ピクチャが小さすぎて、このレベルではコマが 1 ピクセルに満たなくなります"
                          u"（プレビュー %1 × %2 ピクセル）。")
        .arg(mok::toPixels(areaWidth, s.tppX))
        .arg(mok::toPixels(areaHeight, s.tppY));
}

} // namespace

void frmMain::PictureOpen()
{
    // The helper that will decode the picture starts while the player
    // chooses it.
    decoder().prepare();
    const QString path = mok::platform::openFileDialog(
        this, QStringLiteral(u"ファイルを開く"),
        {{QStringLiteral(u"画像ファイル(*.bmp;*.gif;*.jpg;*.jpeg)"),
          QStringLiteral(u"*.bmp;*.gif;*.jpg;*.jpeg")},
         {QStringLiteral(u"ビットマップ(*.bmp)"), QStringLiteral(u"*.bmp")},
         {QStringLiteral(u"GIF 形式(*.gif)"), QStringLiteral(u"*.gif")},
         {QStringLiteral(u"JPEG 形式(*.jpg;*.jpeg)"), QStringLiteral(u"*.jpg;*.jpeg")},
         {QStringLiteral(u"その他のピクチャ(*.png;*.webp;*.heic;*.heif;*.avif)"),
          QStringLiteral(u"*.png;*.webp;*.heic;*.heif;*.avif")}});
#ifdef __GLIBC__
    // The dialog's folder model, icons and watcher leave megabytes of freed
    // heap behind, which glibc keeps for later. The preview and the board's
    // pieces come next, more than that at once, in blocks of their own: hand
    // the heap back first, so opening does not cost the dialog and the
    // picture together.
    malloc_trim(0);
#endif
    if (path.isEmpty())
        return;
    openPicture(path);
}

mok::picture::PictureDecoder &frmMain::decoder()
{
    if (!m_decoder)
        m_decoder = new mok::picture::PictureDecoder(this);
    return *m_decoder;
}

void frmMain::openPicture(const QString &path)
{
    // The picture is decoded in a helper process while the window goes on
    // as usual under the busy cursor; nothing changes until it has answered
    // and everything has been checked, so a file that cannot be used leaves
    // the window as a cancelled dialog would.
    m_loadingPath = path;
    setCursor(Qt::WaitCursor);
    connect(&decoder(), &mok::picture::PictureDecoder::finished, this, &frmMain::onPictureDecoded,
            Qt::UniqueConnection);
    m_load = decoder().load(path, screenTwips(), devicePixelRatioF());
}

bool frmMain::isLoading() const
{
    return !m_loadingPath.isNull();
}

void frmMain::cancelLoad()
{
    if (!isLoading())
        return;
    m_decoder->cancel();
    m_loadingPath = QString();
    unsetCursor();
}

void frmMain::onPictureDecoded(quint64 load, const mok::picture::PictureLoadResult &result)
{
    if (!isLoading() || load != m_load)
        return; // another window's load on a shared decoder
    const QString path = std::exchange(m_loadingPath, QString());
    unsetCursor();
    const bool shown = showPicture(path, result);
    emit pictureLoaded(shown);
}

bool frmMain::showPicture(const QString &path, const mok::picture::PictureLoadResult &loaded)
{
    const mok::Screen s = screenTwips();
    if (!loaded.ok) {
        mok::platform::messageBox(this, cannotOpenMessage(path, loaded.error), errorTitle());
        return false;
    }
    const mok::picture::LoadedPicture &picture = loaded.picture;
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
    m_board.setPicture(picture.preview, areaWidth, areaHeight);
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
    const QString tooSmall =
        cellsTooSmallReason(m_board.pictureArea().width, m_board.pictureArea().height,
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

void frmMain::Expand()
{
    createPieces();
    setCursor(Qt::WaitCursor);
    // The old layout vanishes before the new one is cut. Hiding all of it
    // takes far less than one frame, so it is shown as one frame rather than
    // a hundred full-window flushes nobody could tell apart.
    const int lastIndex = selectedLastIndex();
    if (mok::gridSideFor(lastIndex) > 0) {
        QRegion vacated;
        for (int i = 0; i <= lastIndex; ++i) {
            PieceWidget *piece = imgPiece[i];
            if (piece->isVisible()) {
                vacated += piece->geometry();
                piece->hide();
            }
        }
        if (!vacated.isEmpty())
            repaint(vacated);
    }
    m_board.Expand(screenTwips(), lastIndex, mok::sharedRandom());
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
                              QStringLiteral(u"Level ") + QString::number(m_board.gridSide() - 1) +
                                  QStringLiteral(u" クリア！おめでとう！！！"),
                              QStringLiteral(u"クリア"));
    mok::platform::setTopmost(this, true);
    m_board.setPiecesEnabled(0, selectedLastIndex(), false);
    syncPieces();
    m_clearPending = false;
}

void frmMain::imgPiece_MouseDown(int index, float X, float Y)
{
    m_board.grab(index, X, Y, selectedLastIndex());
    syncPieces();
}

void frmMain::imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y)
{
    AdjustPiece(m_board.dropOnPiece(source->index(), index, X, Y));
}

void frmMain::Form_DragDrop(PieceWidget *source, float X, float Y)
{
    AdjustPiece(m_board.dropOnBackground(source->index(), X, Y));
}

void frmMain::onPieceMouseDown(int index, QPoint posInPiece)
{
    if (m_clearPending || !m_board.piece(index).enabled)
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
    const mok::Screen s = screenTwips();
    QRect frame = mok::toPixels(m_board.outline(), s);
    // The frame lies under the pieces at home. Rounded on its own, a picture
    // area a fraction of a pixel wide or high would leave one line of it
    // showing under or beside the assembled picture: it ends where the last
    // piece at home ends, so it shows alike on every side.
    const int last = selectedLastIndex();
    if (m_board.gridSide() > 0 && last >= 0 && last < mok::kPieceCount) {
        const mok::RectF &piece = m_board.pieceRect(last);
        const QRect home = mok::toPixels(mok::RectF{m_board.homeX(last, piece.width - s.tppX),
                                                    m_board.homeY(last, piece.height - s.tppY),
                                                    piece.width, piece.height},
                                         s);
        frame.setRight(home.right());
        frame.setBottom(home.bottom());
    }
    shpOutline->setGeometry(frame);
}

void frmMain::syncPieces()
{
    createPieces();
    const mok::Screen s = screenTwips();
    const QPoint areaOrigin(mok::toPixels(m_board.pictureArea().left, s.tppX),
                            mok::toPixels(m_board.pictureArea().top, s.tppY));
    std::vector<int> raised;
    for (int i = 0; i < mok::kPieceCount; ++i) {
        const mok::Piece &state = m_board.piece(i);
        PieceWidget *piece = imgPiece[i];
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
        cboLevel->raise();
        m_dragFrame->raise();
        m_levelListOnTop = true;
    }
    for (int i : raised) {
        imgPiece[i]->stackUnder(cboLevel);
        m_shownStackOrder[i] = m_board.piece(i).stackOrder;
    }
}

} // namespace mok
