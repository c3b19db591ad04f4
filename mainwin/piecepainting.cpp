#include "piecepainting.h"

#include "geometry.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <utility>

namespace mok {

namespace {

// How a run of `length` piece pixels, cut from source coordinate `from` of an
// area `size` pixels long, falls on the area: pixels before its start repeat
// its first pixel, pixels past its end repeat its last one (the last cells'
// extra pixel when the picture divides evenly), so the assembled picture
// shows no frame there.
struct Span {
    int piece;  // first piece pixel of the run
    int source; // its source pixel
    int length;
    bool repeated; // every pixel of the run shows `source`
};

std::array<Span, 3> spansOf(int from, int length, int size)
{
    const int inFrom = std::clamp(-from, 0, length);
    const int inTo = std::clamp(size - from, inFrom, length);
    return {{{0, 0, inFrom, true},
             {inFrom, from + inFrom, inTo - inFrom, false},
             {inTo, size - 1, length - inTo, true}}};
}

// The source pixels under piece pixels [first, first + count) of a span.
std::pair<int, int> sourceOf(const Span &span, int first, int count)
{
    if (span.repeated)
        return {span.source, 1};
    return {span.source + first - span.piece, count};
}

void paintBlack(QPainter &painter, const QRect &line, const QRect &exposed)
{
    const QRect r = line.intersected(exposed);
    if (!r.isEmpty())
        painter.fillRect(r, Qt::black);
}

// Paints a piece whose pixel (0, 0) lies at `target`'s top-left corner and
// shows area pixel `source`, with lines `line` pixels wide.
void paintCut(QPainter &painter, const QImage &area, const PiecePicture &picture,
              const QRect &target, QPoint source, int line, const QRect &exposed)
{
    const QRect todo = exposed.intersected(target);
    if (todo.isEmpty())
        return;
    if (area.isNull()) {
        painter.fillRect(todo, Qt::black);
    } else {
        const QPoint shift = target.topLeft();
        for (const Span &x : spansOf(source.x(), target.width(), area.width())) {
            for (const Span &y : spansOf(source.y(), target.height(), area.height())) {
                const QRect piece = QRect(x.piece, y.piece, x.length, y.length)
                                        .intersected(todo.translated(-shift));
                if (piece.isEmpty())
                    continue;
                // A repeated edge is one source pixel stretched without
                // smoothing, which copies it exactly.
                const auto [sx, sw] = sourceOf(x, piece.left(), piece.width());
                const auto [sy, sh] = sourceOf(y, piece.top(), piece.height());
                painter.drawImage(piece.translated(shift), area, QRect(sx, sy, sw, sh));
            }
        }
    }
    const int l = target.left();
    const int t = target.top();
    const int w = target.width();
    const int h = target.height();
    if (picture.leftLine)
        paintBlack(painter, QRect(l, t, line, h), todo);
    if (picture.topLine)
        paintBlack(painter, QRect(l, t, w, line), todo);
    if (picture.outlined) {
        // The right and bottom sides lie on the piece's last pixels, the
        // first of the neighbouring cell, so neighbours share a line.
        paintBlack(painter, QRect(l, t, w, line), todo);
        paintBlack(painter, QRect(l, t + h - line, w, line), todo);
        paintBlack(painter, QRect(l, t, line, h), todo);
        paintBlack(painter, QRect(l + w - line, t, line, h), todo);
    }
}

} // namespace

void paintPiece(QPainter &painter, const QImage &area, const PiecePicture &picture,
                const QRect &exposed)
{
    paintCut(painter, area, picture, QRect(QPoint(0, 0), picture.size()), picture.source.topLeft(),
             1, exposed);
}

void paintPieceAt(QPainter &painter, const QImage &area, const PiecePicture &picture,
                  QPoint areaOrigin, const QRect &target, double devicePixelRatio,
                  const QRect &exposed)
{
    const auto device = [devicePixelRatio](int v) { return toDevice(v, devicePixelRatio); };
    const QPoint home = areaOrigin + picture.source.topLeft();
    const QPoint source(device(home.x()) - device(areaOrigin.x()),
                        device(home.y()) - device(areaOrigin.y()));
    paintCut(painter, area, picture, target, source, deviceLineWidth(devicePixelRatio), exposed);
}

} // namespace mok
