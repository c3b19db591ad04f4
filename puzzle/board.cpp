#include "board.h"

#include <QRect>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace mok {

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

void Board::setPicture(const QImage &image, float widthTwips, float heightTwips)
{
    picPuzzleImage = image;
    picPuzzle.width = widthTwips;
    picPuzzle.height = heightTwips;
}

void Board::Expand(const Screen &screen, int lastIndex, Rnd &rnd)
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
        piece.tag = i;
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
    PiecePicture borderless;
    borderless.source = QRect(
        toPixels(picPuzzle.left + static_cast<float>(column * cellWidth), screen.tppX) - areaX,
        toPixels(picPuzzle.top + static_cast<float>(row * cellHeight), screen.tppY) - areaY,
        toPixels(piece.rect.width, screen.tppX), toPixels(piece.rect.height, screen.tppY));
    borderless.leftLine = column == 0;
    borderless.topLine = row == 0;
    piece.otherPicture = borderless;

    PiecePicture bordered = borderless;
    bordered.outlined = true;
    piece.picture = bordered;
}

void Board::grab(int index, float x, float y, int lastIndex)
{
    GrabX = x;
    GrabY = y;
    DispBorder(lastIndex);
    bringToFront(index);
}

int Board::dropOnBackground(int source, float x, float y)
{
    const int dropped = imgPiece[source].tag;
    placePiece(dropped, x - GrabX, y - GrabY);
    return dropped;
}

int Board::dropOnPiece(int source, int target, float x, float y)
{
    // The target's own corner is read before anything moves: a piece
    // dropped onto itself moves by how far the pointer went.
    const RectF &on = imgPiece[target].rect;
    const float left = on.left + x - GrabX;
    const float top = on.top + y - GrabY;
    const int dropped = imgPiece[source].tag;
    placePiece(dropped, left, top);
    return dropped;
}

void Board::placePiece(int index, float left, float top)
{
    imgPiece[index].rect.left = left;
    imgPiece[index].rect.top = top;
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
    Level(lastIndex);
    if (GridSide <= 0)
        return false;
    for (int i = 0; i <= lastIndex; ++i) {
        if (!isHome(i, screen))
            return false;
    }
    return true;
}

bool Board::isHome(int index, const Screen &screen) const
{
    if (GridSide <= 0)
        return false;
    // Every piece of a level has the size of the first.
    const float pitchX = imgPiece[0].rect.width - screen.tppX;
    const float pitchY = imgPiece[0].rect.height - screen.tppY;
    const RectF &r = imgPiece[index].rect;
    return r.left == homeX(index, pitchX) && r.top == homeY(index, pitchY);
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

void Board::bringToFront(int index)
{
    imgPiece[index].stackOrder = ++m_topOfStack;
}

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
