#pragma once

#include <QPainter>
#include <QRect>
#include <QRegion>

// Paints `region` one rectangle at a time, each its own clip. With a whole
// region of several rectangles as its clip, Qt's raster engine draws line
// by line through it and, past about a hundred lines, hands the lines out
// to helper threads, which costs far more than the few pixels of the thin
// strips a drag repaints. With one rectangle as the clip it fills and copies
// whole rectangles directly.
template <typename PaintRect>
void paintRectByRect(QPainter &painter, const QRegion &region, PaintRect paintRect)
{
    for (const QRect &r : region) {
        painter.setClipRect(r);
        paintRect(r);
    }
}
