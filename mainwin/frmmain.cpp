#include "frmmain.h"

#include "asset_pixmap.h"
#include "boardview.h"
#include "boldlabel.h"
#include "desktop.h"
#include "file_formats.h"
#include "filedialog.h"
#include "gradient.h"
#include "imagebutton.h"
#include "levels.h"
#include "loaded_picture.h"
#include "pictureopening.h"
#include "preview.h"
#include "random.h"

#include <QComboBox>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QTextBoundaryFinder>
#include <QTimer>

namespace mok {

namespace {

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

// How many characters the caption has: the ticks it takes to go once round.
int characterCount(const QString &caption)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, caption);
    int count = 0;
    while (characters.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent), m_shell(this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Mok"));
    setWindowIcon(QIcon(mok::assetPixmap(QStringLiteral("icon"))));
    setFont(mok::platform::uiFont(9));
    // Gradation paints every pixel; nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    mok::platform::coverPrimaryScreen(this);
    createControls();
    m_opening = new PictureOpening(this);
    connect(m_opening, &PictureOpening::arrived, this,
            [this](const QString &path, const mok::picture::LoadedPicture &picture) {
                emit pictureLoaded(showPicture(path, picture));
            });
    connect(m_opening, &PictureOpening::refused, this, [this] { emit pictureLoaded(false); });
    Form_Load();
}

frmMain::~frmMain()
{
    // A decoder shared with later windows must not go on with this one's load.
    m_opening->cancel();
}

mok::Screen frmMain::screenTwips() const
{
    return mok::platform::primaryScreen();
}

// The seven image buttons, in the order in which one tick serves them, which
// is also the order in which the eye reads them and Tab goes. Open and Exit
// end the tick: Open makes the window afresh, so the buttons after it are
// not served on the old one, and Exit ends the program.
const std::array<frmMain::ButtonRow, 7> &frmMain::buttonTable()
{
    // A row a button, kept as written.
    // clang-format off
    static const std::array<ButtonRow, 7> table = {{
        {&frmMain::imgOpen, "imgOpen", u"ピクチャを開く", u"ピクチャファイルを開く",
         "faces/open", "faces/open_pressed", {120, 120, 1875, 375}, &frmMain::requestOpen,
         Tick::Ends},
        {&frmMain::imgStart, "imgStart", u"スタート", u"スタート", "faces/start",
         "faces/start_pressed", {2640, 120, 1500, 300}, &frmMain::startGame, Tick::GoesOn},
        {&frmMain::imgGiveup, "imgGiveup", u"ギブアップ", u"ギブアップ", "faces/giveup",
         "faces/giveup_pressed", {4200, 120, 1500, 300}, &frmMain::giveUp, Tick::GoesOn},
        {&frmMain::imgMin, "imgMin", u"＿ トレイ", u"＿ タスクトレイへ移動", "faces/min",
         "faces/min_pressed", {6120, 120, 1050, 300}, &frmMain::moveToTray, Tick::GoesOn},
        {&frmMain::imgExit, "imgExit", u"× 閉じる", u"× 閉じる", "faces/exit",
         "faces/exit_pressed", {7200, 120, 1050, 300}, &frmMain::exitProgram, Tick::Ends},
        {&frmMain::imgReadme, "imgReadme", u"readme", u"readme", "faces/readme",
         "faces/readme_pressed", {6720, 840, 1500, 300}, &frmMain::openReadme, Tick::GoesOn},
        {&frmMain::imgVersion, "imgVersion", u"バージョン情報", u"バージョン情報",
         "faces/version", "faces/version_pressed", {6720, 1200, 1500, 300},
         &frmMain::showVersion, Tick::GoesOn},
    }};
    // clang-format on
    return table;
}

void frmMain::createControls()
{
    tmrScroll = new QTimer(this);
    tmrScroll->setObjectName(QStringLiteral("tmrScroll"));
    tmrScroll->setInterval(100);
    connect(tmrScroll, &QTimer::timeout, this, &frmMain::tmrScroll_Timer);

    cboLevel = new QComboBox(this);
    cboLevel->setObjectName(QStringLiteral("cboLevel"));
    cboLevel->setToolTip(QStringLiteral(u"レベルリスト"));
    for (const mok::LevelEntry &level : mok::levelTable())
        cboLevel->addItem(level.text, level.lastIndex);
    place(cboLevel, {2640, 480, 3135, 300});

    tmrMain = new QTimer(this);
    tmrMain->setObjectName(QStringLiteral("tmrMain"));
    tmrMain->setInterval(100);
    connect(tmrMain, &QTimer::timeout, this, &frmMain::tmrMain_Timer);

    const auto makeLabel = [](QLabel *label, const char *name) {
        label->setObjectName(QLatin1String(name));
        // White text on the window's own background. A palette, not a style
        // sheet: the first style sheet brings the whole style-sheet engine
        // into memory for three captions.
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(palette);
        label->setAttribute(Qt::WA_TranslucentBackground);
        return label;
    };
    // The banner is bold at 99.75 point too, where Qt alone would draw the
    // Japanese UI font, which has no bold face, as thin as regular.
    lblOpening = makeLabel(new BoldLabel(this), "lblOpening");
    lblOpening->setText(QStringLiteral(u"いろんなピクチャでジグソーパズル！"));
    QFont banner = font();
    banner.setPointSizeF(99.75);
    banner.setBold(true);
    banner.setItalic(true);
    lblOpening->setFont(banner);
    lblOpening->hide();
    place(lblOpening, {4920, 5760, 2415, 1935});

    lblPath = makeLabel(new QLabel(this), "lblPath");
    place(lblPath, {240, 7680, 0, 0});
    lblPreview = makeLabel(new QLabel(this), "lblPreview");
    place(lblPreview, {240, 8040, 0, 0});

    createButtons();
    // The level list is read between Open and Start, as it stands.
    setTabOrder(imgOpen, cboLevel);
    setTabOrder(cboLevel, imgStart);

    m_boardView = new BoardView(m_board, this, cboLevel,
                                this->*buttonTable().front().button, // the lowest button
                                [this] { return selectedLastIndex(); });
    connect(m_boardView, &BoardView::dropped, this, &frmMain::AdjustPiece);
}

void frmMain::createButtons()
{
    for (const ButtonRow &row : buttonTable()) {
        auto *button = new ImageButton(this);
        button->setObjectName(QLatin1String(row.objectName));
        button->setText(QString::fromUtf16(row.caption));
        button->setToolTip(QString::fromUtf16(row.toolTip));
        button->setFaces(mok::assetPixmap(QLatin1String(row.releasedFace)),
                         mok::assetPixmap(QLatin1String(row.pressedFace)));
        place(button, row.twips);
        connect(button, &ImageButton::clicked, this, [this, button] { press(button); });
        this->*row.button = button;
    }
}

void frmMain::place(QWidget *control, const RectF &twips)
{
    m_twips[control] = twips;
    applyTwips(control);
}

RectF &frmMain::twipsOf(QWidget *control)
{
    return m_twips[control];
}

void frmMain::applyTwips(QWidget *control)
{
    const mok::Screen s = screenTwips();
    RectF &r = m_twips[control];
    if (auto *label = qobject_cast<QLabel *>(control); label && label != lblOpening) {
        // Captions size themselves to their text.
        label->adjustSize();
        r.width = static_cast<float>(label->width()) * s.tppX;
        r.height = static_cast<float>(label->height()) * s.tppY;
    }
    control->setGeometry(mok::toPixels(r, s));
}

void frmMain::Form_Load()
{
    mok::platform::keepOnTop(this);
    imgStart->hide();
    imgGiveup->hide();
    cboLevel->setCurrentIndex(mok::kDefaultLevelRow);
}

int frmMain::selectedLastIndex() const
{
    return cboLevel->currentData().toInt();
}

void frmMain::selectLevel(int lastIndex)
{
    const int row = cboLevel->findData(lastIndex);
    if (row >= 0)
        cboLevel->setCurrentIndex(row);
}

void frmMain::Form_Resize()
{
    const mok::Screen s = screenTwips();
    const float W = static_cast<float>(width()) * s.tppX;
    const float H = static_cast<float>(height()) * s.tppY;
    const auto setLeft = [this](QWidget *control, float left) {
        twipsOf(control).left = left;
        applyTwips(control);
    };
    const auto setTop = [this](QWidget *control, float top) {
        twipsOf(control).top = top;
        applyTwips(control);
    };
    setTop(lblOpening, H / 2 - twipsOf(lblOpening).height / 2);
    setLeft(lblOpening, W / 2 - twipsOf(lblOpening).width / 2);
    setLeft(imgStart, W / 2 - twipsOf(imgStart).width - 60);
    setLeft(imgGiveup, W / 2 + 60);
    setLeft(cboLevel, W / 2 - twipsOf(cboLevel).width / 2);
    setLeft(imgMin, W - 2400);
    setLeft(imgExit, W - 1250);
    setTop(lblPreview, H - 650);
    setTop(lblPath, H - 400);
    setTop(imgReadme, H - 800);
    setLeft(imgReadme, W - 1600);
    setTop(imgVersion, H - 400);
    setLeft(imgVersion, W - 1600);
}

void frmMain::resizeEvent(QResizeEvent *)
{
    Form_Resize();
}

void frmMain::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    m_background.paint(painter, rect(), event->region());
}

void frmMain::Gradation(QPainter &painter, const QRect &clientRect, const QRect &exposed)
{
    Gradient::paintBands(painter, clientRect, exposed);
}

void frmMain::press(ImageButton *button)
{
    button->setPressed(true);
    // Enabling an enabled timer does not put its tick off: every button
    // pressed before the tick is served by it.
    if (!tmrMain->isActive())
        tmrMain->start();
}

void frmMain::tmrMain_Timer()
{
    const auto &table = buttonTable();
    for (auto row = table.begin(); row != table.end(); ++row) {
        ImageButton *button = this->*row->button;
        if (!button->isPressed())
            continue;
        button->setPressed(false);
        tmrMain->stop();
        (this->*row->action)();
        if (row->then == Tick::GoesOn)
            continue;
        // The buttons after it are not served. Their faces go back, as on
        // a window made afresh.
        for (++row; row != table.end(); ++row)
            (this->*row->button)->setPressed(false);
        return;
    }
}

// --- The opening banner ---------------------------------------------------------
void frmMain::startBanner()
{
    imgOpen->setEnabled(false); // a disabled button takes no click at all
    lblOpening->show();
    m_scrollTicks = 0;
    tmrScroll->start();
}

void frmMain::tmrScroll_Timer()
{
    lblOpening->setText(rotatedCaption(lblOpening->text()));
    // One character a tick: once round, the caption is back in order.
    if (++m_scrollTicks < characterCount(lblOpening->text()))
        return;
    tmrScroll->stop();
    settleBanner();
    imgOpen->setEnabled(true);
    emit bannerSettled();
}

QString frmMain::rotatedCaption(const QString &caption)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, caption);
    const qsizetype first = characters.toNextBoundary();
    if (first <= 0)
        return caption;
    return caption.mid(first) + caption.left(first);
}

void frmMain::settleBanner()
{
    QFont banner = lblOpening->font();
    banner.setPointSizeF(20);
    lblOpening->setFont(banner);
    lblOpening->adjustSize();
    const mok::Screen s = screenTwips();
    RectF &r = twipsOf(lblOpening);
    r.width = static_cast<float>(lblOpening->width()) * s.tppX;
    r.height = static_cast<float>(lblOpening->height()) * s.tppY;
    r.top = static_cast<float>(height()) * s.tppY / 2 - r.height / 2;
    r.left = static_cast<float>(width()) * s.tppX / 2 - r.width / 2;
    applyTwips(lblOpening);
    lblOpening->show();
}

// --- Opening a picture -------------------------------------------------------------

void frmMain::setPictureDecoder(mok::picture::PictureDecoder *decoder)
{
    m_opening->setDecoder(decoder);
}

void frmMain::PictureOpen()
{
    m_opening->askForPicture(screenTwips());
}

void frmMain::openPicture(const QString &path)
{
    m_opening->open(path, screenTwips());
}

bool frmMain::isLoading() const
{
    return m_opening->isLoading();
}

void frmMain::cancelLoad()
{
    m_opening->cancel();
}

// --- The game ----------------------------------------------------------------------
bool frmMain::showPicture(const QString &path, const mok::picture::LoadedPicture &picture)
{
    const mok::Screen s = screenTwips();
    const float pw = static_cast<float>(picture.fullSize.width());
    const float ph = static_cast<float>(picture.fullSize.height());
    const mok::AreaTwips area =
        mok::pictureArea({picture.fullSize.width(), picture.fullSize.height()}, picture.divisor, s);
    const QString tooSmall =
        cellsTooSmallReason(area.width, area.height, mok::gridSideFor(selectedLastIndex()), s);
    if (!tooSmall.isEmpty()) {
        m_opening->refuse(path, tooSmall);
        return false;
    }

    // The board is laid out twice over (scattered, then gathered) before
    // anything is painted: its pieces follow it once, at the end, so that no
    // shown piece is moved (Qt works out what each move uncovers, 2 to 3 ms
    // for a 25-piece board) and the window is painted once. (With the
    // window's updates turned off instead, turning them back on updates
    // every child, and Qt paints the window a second time for those.)
    const BoardView::OneSync once(*m_boardView);
    lblOpening->hide();
    lblPath->setText(mok::pathCaption(path));
    applyTwips(lblPath);
    m_board.setPicture(picture.preview, area.width, area.height);
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

// --- The window's own events ---------------------------------------------------------

// A picture dropped from a file manager is an Open with the file already
// chosen, so it is taken only when Open could be pressed and no piece is
// being dragged.
bool frmMain::acceptsDroppedPicture(const QDropEvent *event) const
{
    return !m_boardView->isDragging() && imgOpen->isEnabled() && !isLoading() &&
           !mok::platform::droppedPicture(event->mimeData(), mok::picture::pictureMimeTypes())
                .isEmpty();
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDroppedPicture(event))
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    if (!acceptsDroppedPicture(event))
        return;
    event->acceptProposedAction();
    emit pictureDropped(
        mok::platform::droppedPicture(event->mimeData(), mok::picture::pictureMimeTypes()));
}

void frmMain::requestOpen()
{
    // Open while a picture loads takes it back, as Escape does.
    if (isLoading())
        cancelLoad();
    else
        emit openRequested(selectedLastIndex());
}

// Keys no control took. Escape takes back a load, or puts away the outline
// of a piece being dragged; F6 moves the focus onto the board.
void frmMain::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isLoading()) {
        cancelLoad();
        return;
    }
    if (event->key() == Qt::Key_Escape && m_boardView->cancelDrag())
        return;
    if (event->key() == Qt::Key_F6 && m_boardView->focusBoard())
        return;
    QWidget::keyPressEvent(event);
}

void frmMain::moveToTray()
{
    m_shell.moveToTray();
}

void frmMain::exitProgram()
{
    emit exitRequested();
}

void frmMain::openReadme()
{
    m_shell.openReadme();
}

void frmMain::showVersion()
{
    m_shell.moveAwayAndSay();
    emit versionRequested();
}

} // namespace mok
