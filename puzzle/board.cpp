#include "board.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <utility>

namespace mok {

namespace {

void paintBlack(QImage &image, const QRect &area)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line + r.left(), line + r.right() + 1, qRgb(0, 0, 0));
    }
}

void drawOutline(QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    paintBlack(image, QRect(0, 0, w, 1));
    paintBlack(image, QRect(0, h - 1, w, 1));
    paintBlack(image, QRect(0, 0, 1, h));
    paintBlack(image, QRect(w - 1, 0, 1, h));
}

// The rectangle `area` of `picture`; where it reaches past the picture's
// right or bottom edge (the last cells' extra pixel when the picture divides
// evenly), the edge pixels are repeated, so the assembled picture shows no
// frame there.
QImage copyClamped(const QImage &picture, const QRect &area)
{
    QImage image = picture.copy(area);
    if (picture.isNull() || image.isNull() || picture.rect().contains(area))
        return image;
    const QRect inside = area.intersected(picture.rect());
    for (int y = 0; y < image.height(); ++y) {
        const int sy = std::clamp(area.top() + y, 0, picture.height() - 1);
        const auto *from = reinterpret_cast<const QRgb *>(picture.constScanLine(sy));
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const bool rowInside = area.top() + y >= inside.top() && area.top() + y <= inside.bottom();
        for (int x = 0; x < image.width(); ++x) {
            const int px = area.left() + x;
            if (!rowInside || px < inside.left() || px > inside.right())
                line[x] = from[std::clamp(px, 0, picture.width() - 1)];
        }
    }
    return image;
}

} // namespace

Board::Board()
{
    for (int i = 0; i < kPieceCount; ++i)
        imgPiece[i].stackOrder = static_cast<std::uint32_t>(i);
    m_topOfStack = kPieceCount - 1;
}

void Board::Level(int lastIndex)
{
    if (const int side = gridSideFor(lastIndex))
        GridSide = static_cast<std::int16_t>(side);
}

float Board::homeX(int index, float pitchX) const
{
    return shpOutline.left + static_cast<float>(columnOf(index, GridSide)) * pitchX;
}

float Board::homeY(int index, float pitchY) const
{
    return shpOutline.top + static_cast<float>(rowOf(index, GridSide)) * pitchY;
}

void Board::Expand(const Screen &screen, int lastIndex, Rnd &rnd,
                   const std::function<void(int)> &pieceHidden)
{
    picPuzzle.left = static_cast<float>(roundHalfEven(screen.widthTwips - picPuzzle.width) / 2);
    picPuzzle.top = static_cast<float>(roundHalfEven(screen.heightTwips - picPuzzle.height) / 2);
    shpOutline = {picPuzzle.left, picPuzzle.top, picPuzzle.width + screen.tppX,
                  picPuzzle.height + screen.tppY};

    Level(lastIndex);
    if (GridSide <= 0)
        return;
    const int cellWidth = cellSize(picPuzzle.width, GridSide);
    const int cellHeight = cellSize(picPuzzle.height, GridSide);

    for (int i = 0; i <= lastIndex; ++i) {
        Piece &piece = imgPiece[i];
        piece.visible = false;
        if (pieceHidden)
            pieceHidden(i);
        piece.rect.width = static_cast<float>(cellWidth) + screen.tppX;
        piece.rect.height = static_cast<float>(cellHeight) + screen.tppY;
    }

    if (picPuzzleImage.format() != QImage::Format_RGB32)
        picPuzzleImage = picPuzzleImage.convertToFormat(QImage::Format_RGB32);

    for (int i = 0; i <= lastIndex; ++i) {
        Piece &piece = imgPiece[i];
        // Two draws per piece, in this order, so a layout depends only on the
        // sequence of games since the program started.
        const float r1 = rnd.next();
        const float r2 = rnd.next();
        piece.rect.left = std::floor(r1 * (screen.widthTwips - static_cast<float>(cellWidth)));
        piece.rect.top = std::floor(r2 * (screen.heightTwips - static_cast<float>(cellHeight)));
        piece.tag = QString::number(i);
        cutPiece(i, cellWidth, cellHeight, screen);
        piece.visible = true;
        bringToFront(i);
    }

    BordersHidden = false;
    setPiecesEnabled(0, lastIndex, true);
}

void Board::cutPiece(int index, int cellWidth, int cellHeight, const Screen &screen)
{
    Piece &piece = imgPiece[index];
    const int column = columnOf(index, GridSide);
    const int row = rowOf(index, GridSide);

    // Take the pixels the picture area shows under the piece's home
    // rectangle, so pieces lying at home reproduce the picture area exactly
    // even where a cell is not a whole number of pixels.
    const int areaX = toPixels(picPuzzle.left, screen.tppX);
    const int areaY = toPixels(picPuzzle.top, screen.tppY);
    const QRect source(
        toPixels(picPuzzle.left + static_cast<float>(column * cellWidth), screen.tppX) - areaX,
        toPixels(picPuzzle.top + static_cast<float>(row * cellHeight), screen.tppY) - areaY,
        toPixels(piece.rect.width, screen.tppX), toPixels(piece.rect.height, screen.tppY));

    QImage image = copyClamped(picPuzzleImage, source);
    if (image.isNull()) {
        image = QImage(source.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    if (column == 0)
        paintBlack(image, QRect(0, 0, 1, image.height()));
    if (row == 0)
        paintBlack(image, QRect(0, 0, image.width(), 1));
    piece.otherPicture = image; // borderless

    // The outline's right and bottom sides lie on the piece's last pixel,
    // the first pixel of the neighbouring cell, so neighbours share a line.
    drawOutline(image);
    piece.picture = image; // bordered
}

bool Board::AdjustPiece(int index, const Screen &screen, int lastIndex)
{
    Piece &piece = imgPiece[index];
    const float pitchX = piece.rect.width - screen.tppX;
    const float pitchY = piece.rect.height - screen.tppY;
    const float x = piece.rect.left;
    const float y = piece.rect.top;

    Level(lastIndex);
    if (GridSide > 0) {
        const float hx = homeX(index, pitchX);
        const float hy = homeY(index, pitchY);
        if (x < hx + kSnapTolerance && x > hx - kSnapTolerance && y < hy + kSnapTolerance &&
            y > hy - kSnapTolerance) {
            piece.rect.left = hx;
            piece.rect.top = hy;
        }
    }
    return IsComplete(screen, lastIndex);
}

bool Board::IsComplete(const Screen &screen, int lastIndex)
{
    const float pitchX = imgPiece[0].rect.width - screen.tppX;
    const float pitchY = imgPiece[0].rect.height - screen.tppY;
    Level(lastIndex);
    if (GridSide <= 0)
        return false;
    bool complete = true;
    for (int i = 0; i <= lastIndex; ++i) {
        const RectF &r = imgPiece[i].rect;
        if (r.left != homeX(i, pitchX) || r.top != homeY(i, pitchY))
            complete = false;
    }
    return complete;
}

void Board::Combine(const Screen &screen, int lastIndex)
{
    const float pitchX = imgPiece[0].rect.width - screen.tppX;
    const float pitchY = imgPiece[0].rect.height - screen.tppY;
    Level(lastIndex);
    if (GridSide <= 0)
        return;
    for (int i = 0; i <= lastIndex; ++i) {
        imgPiece[i].rect.left = homeX(i, pitchX);
        imgPiece[i].rect.top = homeY(i, pitchY);
    }
    NBord(lastIndex);
}

void Board::SwapImages(int lastIndex)
{
    for (int i = 0; i <= lastIndex; ++i)
        std::swap(imgPiece[i].picture, imgPiece[i].otherPicture);
}

void Board::NBord(int lastIndex)
{
    if (!BordersHidden) {
        SwapImages(lastIndex);
        BordersHidden = true;
    }
}

void Board::DispBorder(int lastIndex)
{
    if (BordersHidden) {
        SwapImages(lastIndex);
        BordersHidden = false;
    }
}

void Board::bringToFront(int index) { imgPiece[index].stackOrder = ++m_topOfStack; }

void Board::setPiecesEnabled(int firstIndex, int lastIndex, bool enabled)
{
    for (int i = firstIndex; i <= lastIndex; ++i)
        imgPiece[i].enabled = enabled;
}

void Board::hidePiecesAbove(int lastIndex)
{
    for (int i = lastIndex + 1; i < kPieceCount; ++i)
        imgPiece[i].visible = false;
}

} // namespace mok
