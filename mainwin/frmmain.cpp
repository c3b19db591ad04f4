#include "frmmain.h"

#include "asset_pixmap.h"
#include "boardview.h"
#include "boldlabel.h"
#include "desktop.h"
#include "file_formats.h"
#include "filedialog.h"
#include "imagebutton.h"
#include "levels.h"
#include "picture_decoder.h"
#include "rectbyrect.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace mok {

frmMain::frmMain(QWidget *parent) : QWidget(parent)
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
    Form_Load();
}

frmMain::~frmMain()
{
    // A decoder shared with later windows must not go on with this one's load.
    cancelLoad();
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
    // A drag repaints thin strips of the window: paint the bands there only.
    // A strip a few pixels wide would still take one fill for every band it
    // crosses, a hundred for a tall one, so it is copied in one go from a
    // narrow column of the same bands.
    QPainter painter(this);
    std::vector<QRect> strips;
    for (const QRect &exposed : event->region()) {
        if (exposed.width() <= kGradationColumnWidth)
            strips.push_back(exposed);
        else
            Gradation(painter, rect(), exposed);
    }
    paintRectByRect(painter, strips, [&](const QRect &strip) {
        painter.drawImage(strip.topLeft(), gradationColumn(),
                          QRect(0, strip.top(), strip.width(), strip.height()));
    });
}

const QImage &frmMain::gradationColumn()
{
    if (m_gradationColumn.height() != height()) {
        m_gradationColumn = QImage(kGradationColumnWidth, height(), QImage::Format_RGB32);
        QPainter painter(&m_gradationColumn);
        Gradation(painter, m_gradationColumn.rect());
    }
    return m_gradationColumn;
}

void frmMain::Gradation(QPainter &painter, const QRect &clientRect, const QRect &exposed)
{
    // 256 bands from pure blue to black. Band edges are rounded halves to
    // even, so a client area under 256 pixels high leaves some bands empty.
    const float step = static_cast<float>(clientRect.height()) / 256;
    const QRect area = exposed.isNull() ? clientRect : exposed.intersected(clientRect);
    if (area.isEmpty() || step <= 0)
        return;
    // Only the bands that can meet the area: a band's edges lie within half
    // a pixel of i * step, so one band either side is enough once bands are
    // a pixel or more high.
    int first = 0;
    int last = 255;
    if (step >= 1) {
        first = std::clamp(static_cast<int>(static_cast<float>(area.top()) / step) - 1, 0, 255);
        last = std::clamp(static_cast<int>(static_cast<float>(area.bottom()) / step) + 1, 0, 255);
    }
    for (int i = first; i <= last; ++i) {
        const int top = mok::roundHalfEven(step * static_cast<float>(i));
        const int bottom = mok::roundHalfEven(step * static_cast<float>(i + 1));
        const QRect band = QRect(0, top, clientRect.width(), bottom - top).intersected(area);
        if (!band.isEmpty())
            painter.fillRect(band, QColor(0, 0, 255 - i));
    }
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
    // Min says nothing when the window went away; where it could not, the
    // player is told why it is still there.
    if (const TaskTray::Away away = moveAway(); away == TaskTray::Away::StillShown)
        tellWhereTheWindowWent(away);
}

void frmMain::exitProgram()
{
    emit exitRequested();
}

void frmMain::openReadme()
{
    tellWhereTheWindowWent(moveAway());
    QStringList lookedIn;
    const QString path = mok::platform::findProgramFile(QStringLiteral("readme.htm"), &lookedIn);
    if (path.isEmpty()) {
        mok::platform::messageBox(this,
                                  QStringLiteral(u"readme.htm が見つかりませんでした。"
                                                 u"次の場所を探しました。\n") +
                                      QDir::toNativeSeparators(lookedIn.join(u'\n')),
                                  QStringLiteral(u"readme"));
        return;
    }
    mok::platform::openWithDesktop(this, QUrl::fromLocalFile(path));
}

void frmMain::showVersion()
{
    tellWhereTheWindowWent(moveAway());
    emit versionRequested();
}

TaskTray::Away frmMain::moveAway()
{
    return m_tray ? m_tray->moveAway(this) : TaskTray::Away::StillShown;
}

void frmMain::tellWhereTheWindowWent(TaskTray::Away away)
{
    QString text;
    switch (away) {
    case TaskTray::Away::InTray:
        text = QStringLiteral(u"アプリケーションは、タスクトレイへ移動しました。\n"
                              u"元に戻す場合は、タスクトレイのアイコンをクリックしてください。");
        break;
    case TaskTray::Away::Minimised:
        text = QStringLiteral(u"タスクトレイがないため、アプリケーションを最小化しました。\n"
                              u"元に戻す場合は、タスクバーかウィンドウの一覧から選んでください。");
        break;
    case TaskTray::Away::StillShown:
        // Broken after the reason, as one would write it, and not wherever
        // the box happens to run out of width.
        text = QStringLiteral(u"タスクトレイがなく、最小化もできないため、\n"
                              u"アプリケーションはそのまま表示しています。");
        break;
    }
    mok::platform::messageBox(this, text, QStringLiteral(u"タスク"));
}

} // namespace mok
