#pragma once

#include "geometry.h"
#include "levels.h"
#include "random.h"
#include "twips.h"

#include <QImage>
#include <QRect>

#include <array>
#include <cstdint>

namespace mok {

// A piece's picture: a rectangle of the picture area with black lines drawn
// over it. Pieces hold no pixels of their own: all of them show the one
// picture area, so a game costs the preview and nothing per piece, and
// swapping pictures swaps a few numbers.
struct PiecePicture {
    // In picture-area pixels; it may reach past the area's right or bottom
    // edge, where the edge pixels repeat.
    QRect source;
    bool leftLine = false; // the board's left edge, on column 0
    bool topLine = false;  // the board's top edge, on row 0
    bool outlined = false; // the bordered picture: a line on all four sides

    bool isNull() const { return source.isEmpty(); }
    QSize size() const { return source.size(); }
    bool operator==(const PiecePicture &o) const
    {
        return source == o.source && leftLine == o.leftLine && topLine == o.topLine &&
               outlined == o.outlined;
    }
    bool operator!=(const PiecePicture &o) const { return !(*this == o); }
};

// One piece: imgPiece(i) and its partner imgPieceO(i), which holds whichever
// of the two pictures the piece is not showing.
struct Piece {
    PiecePicture picture;      // shown
    PiecePicture otherPicture; // not shown
    int tag = 0;               // the piece's own index
    RectF rect{0, 0, 255, 255};
    bool visible = false;
    bool enabled = false;
    std::uint32_t stackOrder = 0; // higher lies in front
};

// The puzzle held by the main window: its four window-level variables, the
// picture area and board frame, and the 100 pieces. The operations keep the
// names the game's code has always used for them. `lastIndex` is the selected
// level's item data (pieces - 1), read from the level list by the caller.
class Board {
public:
    Board();

    // The picture to cut: its pixels at preview scale and the size of the
    // picture area in twips. Nothing moves until the next Expand.
    void setPicture(const QImage &image, float widthTwips, float heightTwips);
    // picPuzzle: where the picture area lies, in twips.
    const RectF &pictureArea() const { return picPuzzle; }
    const QImage &pictureImage() const { return picPuzzleImage; }
    // shpOutline: the board frame, origin of all home positions.
    const RectF &outline() const { return shpOutline; }

    std::int16_t gridSide() const { return GridSide; }
    bool bordersHidden() const { return BordersHidden; }
    const Piece &piece(int index) const { return imgPiece[index]; }
    const RectF &pieceRect(int index) const { return imgPiece[index].rect; }

    // Sets GridSide from the level's item data; an unknown value leaves it.
    void Level(int lastIndex);

    // Centres the picture area, lays the frame over it, hides the level's
    // pieces, cuts them with both their pictures and scatters them over the
    // screen.
    void Expand(const Screen &screen, int lastIndex, Rnd &rnd);

    // A piece is grabbed at (x, y) twips inside it: it comes to the front
    // with its borders shown.
    void grab(int index, float x, float y, int lastIndex);
    // The grabbed piece `source` is released at (x, y) twips on the window
    // background, or at (x, y) twips inside piece `target`: the grabbed
    // point lands there. Both return the index of the piece that moved (the
    // source's tag), which AdjustPiece is to snap next.
    int dropOnBackground(int source, float x, float y);
    int dropOnPiece(int source, int target, float x, float y);
    // Puts a piece's top-left corner at (left, top) twips.
    void placePiece(int index, float left, float top);

    // Snaps a dropped piece onto its home if it lies within 150 twips of it on
    // both axes; returns IsComplete().
    bool AdjustPiece(int index, const Screen &screen, int lastIndex);
    bool IsComplete(const Screen &screen, int lastIndex);
    // Whether piece `index` lies exactly on its home, as IsComplete asks of
    // every piece of the level last set.
    bool isHome(int index, const Screen &screen) const;
    // Moves every piece home and hides the borders.
    void Combine(const Screen &screen, int lastIndex);

    void NBord(int lastIndex);
    void DispBorder(int lastIndex);
    void SwapImages(int lastIndex);

    void bringToFront(int index);
    void setPiecesEnabled(int firstIndex, int lastIndex, bool enabled);
    void hidePiecesAbove(int lastIndex);

    // Home of piece i for a given pitch (cell size in twips).
    float homeX(int index, float pitchX) const;
    float homeY(int index, float pitchY) const;

    // The tolerance of a snap, in twips, whatever the display.
    static constexpr float kSnapTolerance = 150;

private:
    void cutPiece(int index, int cellWidth, int cellHeight, const Screen &screen);

    // Window-level variables.
    float GrabX = 0;
    float GrabY = 0;
    bool BordersHidden = false;
    std::int16_t GridSide = 0;

    std::array<Piece, kPieceCount> imgPiece;

    // picPuzzle: the working picture at preview scale, the pieces' source.
    RectF picPuzzle{120, 1200, 615, 255};
    QImage picPuzzleImage;
    RectF shpOutline{120, 1800, 615, 255};

    std::uint32_t m_topOfStack = 0;
};

} // namespace mok
