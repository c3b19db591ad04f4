// The game as the main window runs it: opening a picture, starting and giving
// up, and the clear. The rules live in mok::Board; the board view shows it
// and takes the player's hands on the pieces.
#include "frmmain.h"

#include "boardview.h"
#include "desktop.h"
#include "file_formats.h"
#include "filedialog.h"
#include "imagebutton.h"
#include "picture_decoder.h"
#include "preview.h"
#include "random.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <utility>

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
    const QString path =
        mok::platform::openFileDialog(this, QStringLiteral(u"ファイルを開く"),
                                      mok::picture::dialogFilters<mok::platform::FileFilter>());
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
    m_boardView->showOutline();
    cboLevel->setEnabled(false);
    m_board.setPiecesEnabled(0, selectedLastIndex(), false);
    m_boardView->syncPieces();
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
    // Give up first: the keyboard's focus on Start passes to it.
    imgGiveup->show();
    imgStart->hide();
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
    m_boardView->syncPieces();
}

void frmMain::Expand()
{
    setCursor(Qt::WaitCursor);
    // The old layout vanishes before the new one is cut.
    m_boardView->clearLayout();
    m_board.Expand(screenTwips(), selectedLastIndex(), mok::sharedRandom());
    unsetCursor();
    m_boardView->syncOutline();
    m_boardView->syncPieces();
}

void frmMain::Combine()
{
    m_board.Combine(screenTwips(), selectedLastIndex());
    m_boardView->syncPieces();
}

void frmMain::AdjustPiece(int index)
{
    const bool complete = m_board.AdjustPiece(index, screenTwips(), selectedLastIndex());
    m_boardView->syncPieces();
    if (complete && !m_clearPending) {
        // The congratulation box is modal: raise it once the drop has been
        // handled, and keep pieces from being grabbed until then.
        m_clearPending = true;
        m_boardView->setGrabsAllowed(false);
        QTimer::singleShot(0, this, &frmMain::runClearSequence);
    }
}

void frmMain::NBord()
{
    m_board.NBord(selectedLastIndex());
    m_boardView->syncPieces();
}

void frmMain::DispBorder()
{
    m_board.DispBorder(selectedLastIndex());
    m_boardView->syncPieces();
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
    m_boardView->syncPieces();
    m_clearPending = false;
    m_boardView->setGrabsAllowed(true);
}

void frmMain::imgPiece_MouseDown(int index, float X, float Y)
{
    m_boardView->imgPiece_MouseDown(index, X, Y);
}

void frmMain::imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y)
{
    m_boardView->imgPiece_DragDrop(index, source, X, Y);
}

void frmMain::Form_DragDrop(PieceWidget *source, float X, float Y)
{
    m_boardView->Form_DragDrop(source, X, Y);
}

} // namespace mok
