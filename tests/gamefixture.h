#pragma once

// A main window with a game in it, and the player's hands: pictures to open,
// buttons to click and pieces to drag with real mouse events.
#include "frmmain.h"
#include "imagebutton.h"
#include "picture_decoder.h"
#include "piecewidget.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using mok::frmMain;
using mok::ImageButton;
using mok::PieceWidget;

// A picture in which neighbouring pixels differ, saved under `name`.
inline QString makePicture(const QTemporaryDir &dir, const QString &name, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 5) % 256, (y * 3) % 256, ((x ^ y) * 7) % 256));
    const QString path = dir.filePath(name);
    if (!image.save(path))
        qWarning("could not write %s", qPrintable(path));
    return path;
}

// Opens `path` as if chosen in the dialog and waits for the load to end;
// true when the board shows the picture.
inline bool openAndWait(frmMain &window, const QString &path)
{
    QSignalSpy loaded(&window, &frmMain::pictureLoaded);
    window.openPicture(path);
    if (!loaded.wait(30000))
        return false;
    return loaded.first().first().toBool();
}

// Calls `onPaint` for every paint event of the widgets it watches.
struct PaintCounter : QObject {
    std::function<void()> onPaint;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            onPaint();
        return false;
    }
};

struct Game {
    // Where the window's pictures are decoded, as the game's controller
    // lends it one; it outlives the window.
    mok::picture::PictureDecoder decoder;
    frmMain window;

    Game()
    {
        window.setPictureDecoder(&decoder);
        window.settleBanner();
        window.show();
    }

    template <typename T = QWidget> T *find(const char *name)
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    PieceWidget *piece(int i)
    {
        return find<PieceWidget>(qPrintable(QStringLiteral("imgPiece%1").arg(i)));
    }
    QComboBox *level() { return find<QComboBox>("cboLevel"); }
    QString caption(const char *label) { return find<QLabel>(label)->text(); }
    mok::Board &board() { return window.board(); }

    // A click, then the tick that serves it.
    void click(const char *button)
    {
        auto *b = find<ImageButton>(button);
        QTest::mouseClick(b, Qt::LeftButton);
        QTRY_VERIFY(!find<QTimer>("tmrMain")->isActive());
    }

    // Home of piece i on the screen, in pixels.
    QPoint homePixels(int i)
    {
        const mok::Screen s = window.screenTwips();
        const mok::RectF &r = board().pieceRect(i);
        const float x = board().homeX(i, r.width - s.tppX);
        const float y = board().homeY(i, r.height - s.tppY);
        return {mok::toPixels(x, s.tppX), mok::toPixels(y, s.tppY)};
    }

    // Presses `button` on piece i at `grab` (pixels inside the piece), moves
    // and releases so that the grabbed point lands on `drop` (window pixels).
    void drag(int i, QPoint grab, QPoint drop, Qt::MouseButton button = Qt::LeftButton)
    {
        PieceWidget *p = piece(i);
        QTest::mousePress(p, button, {}, grab);
        const QPoint inPiece = drop - p->pos();
        QTest::mouseMove(p, (grab + inPiece) / 2);
        QTest::mouseMove(p, inPiece);
        QTest::mouseRelease(p, button, {}, inPiece);
    }
};
