#pragma once

#include <QPainter>
#include <QRect>
#include <QRegion>

namespace mok {

// Paints `rects` (a QRegion, or any range of QRect) one rectangle at a
// time, each its own clip. With a region of several rectangles as its clip,
// Qt's raster engine copies a picture or fills with a pattern line by line
// through the region and, past about a hundred lines, hands the lines out to
// helper threads, which costs far more than the few pixels of a thin strip
// or a piece. With one rectangle as the clip it copies rectangles directly.
// Setting a clip has its price too: plain colour fills a few lines high are
// better left to the region.
template <typename Rects, typename PaintRect>
void paintRectByRect(QPainter &painter, const Rects &rects, PaintRect paintRect)
{
    for (const QRect &r : rects) {
        painter.setClipRect(r);
        paintRect(r);
    }
}

} // namespace mok
