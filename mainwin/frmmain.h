#pragma once

#include "board.h"
#include "gradient.h"
#include "shellcommands.h"
#include "tasktray.h"
#include "twips.h"

#include <QWidget>

#include <array>
#include <map>

class QComboBox;
class QLabel;
class QTimer;

namespace mok::picture {
class PictureDecoder;
struct LoadedPicture;
} // namespace mok::picture

namespace mok {

class BoardView;
class ImageButton;
class PictureOpening;
class PieceWidget;

// The game window: borderless, over the whole screen, kept on top, painted
// with a blue-to-black gradient. It owns every control of the game and shows
// the puzzle held in its Board through its board view. Controls carry their
// classic names as object names, so tests can find them. Tab goes through
// the controls as the eye reads them, then onto the board; F6 goes straight
// to the board.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    mok::Board &board() { return m_board; }
    const mok::Board &board() const { return m_board; }
    // The screen in twips, read fresh: the game's geometry follows it.
    mok::Screen screenTwips() const;

    // The selected level's item data: its last piece index.
    int selectedLastIndex() const;
    // Selects the level whose item data is `lastIndex`; any other number
    // leaves the choice as it is.
    void selectLevel(int lastIndex);

    // Layout and background.
    void Form_Resize();
    // Paints the background of `clientRect`, only where it meets `exposed`
    // (all of it when `exposed` is null).
    static void Gradation(QPainter &painter, const QRect &clientRect, const QRect &exposed = {});
    // The opening banner. startBanner is the hand-over from the splash:
    // Open is disabled and the banner rotates one character a tick until
    // its caption is back in order; it then settles and Open is enabled.
    void startBanner();
    void tmrScroll_Timer();
    // The banner at rest: 20 point, sized to its text, in the centre.
    void settleBanner();
    // The caption rotated left by one character (a whole character, never
    // part of one).
    static QString rotatedCaption(const QString &caption);

    // Where Min, Readme and Version put the window out of the way. It
    // outlives the window; without one the window stays shown.
    void setTaskTray(TaskTray *tray) { m_shell.setTaskTray(tray); }

    // The deferred button actions: a click shows the pressed face and arms
    // tmrMain; its tick serves every pressed button in a fixed order, until
    // a command that ends the window or the program.
    void tmrMain_Timer();

    // Where pictures are decoded. It outlives the window, so that a helper
    // can wait ready across windows.
    void setPictureDecoder(mok::picture::PictureDecoder *decoder);

    // Asks for a picture and prepares the board for it.
    void PictureOpen();
    // Everything PictureOpen does once a file has been chosen. The picture
    // is decoded while the window goes on; pictureLoaded() tells the outcome.
    // A file that cannot be used is explained to the player, and the window
    // is then as it was.
    void openPicture(const QString &path);
    bool isLoading() const;
    // Ends the load under way; the window is as if the dialog was cancelled.
    void cancelLoad();

    // The game, as the window runs it over its Board.
    void Expand();
    void Combine();
    void AdjustPiece(int index);
    void NBord();
    void DispBorder();

    // Drag and drop of pieces, run by the board view; X and Y in twips.
    void imgPiece_MouseDown(int index, float X, float Y);
    void imgPiece_DragDrop(int index, PieceWidget *source, float X, float Y);
    void Form_DragDrop(PieceWidget *source, float X, float Y);

signals:
    // Open was pressed: the window is to be made afresh with this level (its
    // last piece index), and the new window asks for the picture.
    void openRequested(int lastIndex);
    // Exit was pressed: the program is to end at once.
    void exitRequested();
    // A picture file was dropped on the window: it is to be opened as if
    // chosen in the dialog.
    void pictureDropped(const QString &path);
    // A load has ended: the board shows the picture, or the player has been
    // told why not. Not sent for a cancelled load.
    void pictureLoaded(bool shown);
    // The opening banner has gone once round and Open can be pressed.
    void bannerSettled();
    // Version was pressed and the window is out of the way: the about
    // window is to be shown.
    void versionRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Whether the tick goes on to the buttons after a command.
    enum class Tick { GoesOn, Ends };
    // One image button: what it is called, what its face says, its faces,
    // where it lies, what it does.
    struct ButtonRow {
        ImageButton *frmMain::*button;
        const char *objectName;
        const char16_t *caption; // the text on its face, its name to a reader
        const char16_t *toolTip;
        const char *releasedFace; // names of baked faces (asset_pixmap.h)
        const char *pressedFace;
        mok::RectF twips;
        void (frmMain::*action)();
        Tick then;
    };
    static const std::array<ButtonRow, 7> &buttonTable();

    // Start-up: runs once, from the constructor, before anything can show
    // the window.
    void Form_Load();
    void createControls();
    void createButtons();
    void place(QWidget *control, const mok::RectF &twips);
    mok::RectF &twipsOf(QWidget *control);
    void applyTwips(QWidget *control);
    void press(ImageButton *button);

    // Actions of the buttons.
    void requestOpen();
    void startGame();
    void giveUp();
    void moveToTray();
    void exitProgram();
    void openReadme();
    void showVersion();

    // Lays the board out for a picture that has arrived; false when the
    // player has been told it cannot be cut for the level.
    bool showPicture(const QString &path, const mok::picture::LoadedPicture &picture);

    bool acceptsDroppedPicture(const QDropEvent *event) const;
    void runClearSequence();

    mok::Board m_board;

    // Controls.
    QComboBox *cboLevel = nullptr;
    QLabel *lblOpening = nullptr;
    QLabel *lblPath = nullptr;
    QLabel *lblPreview = nullptr;
    ImageButton *imgOpen = nullptr;
    ImageButton *imgStart = nullptr;
    ImageButton *imgGiveup = nullptr;
    ImageButton *imgReadme = nullptr;
    ImageButton *imgVersion = nullptr;
    ImageButton *imgMin = nullptr;
    ImageButton *imgExit = nullptr;
    BoardView *m_boardView = nullptr;
    QTimer *tmrMain = nullptr;
    QTimer *tmrScroll = nullptr;
    // Ticks of the banner so far; once round its caption it stops.
    int m_scrollTicks = 0;
    ShellCommands m_shell;
    PictureOpening *m_opening = nullptr;

    std::map<QWidget *, mok::RectF> m_twips;
    bool m_clearPending = false;
    Gradient m_background;
};

} // namespace mok
