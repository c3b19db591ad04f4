#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>

class QPainter;

namespace mok {

// A background of 256 horizontal bands from pure blue at the top to black at
// the bottom, painted only where a window is exposed. A window keeps one and
// paints it first in its paint event.
class Gradient {
public:
    // Paints the bands of a window whose client area is `clientRect`, only
    // where they meet `exposed` (all of them when `exposed` is null).
    static void paintBands(QPainter &painter, const QRect &clientRect, const QRect &exposed = {});

    // Paints the exposed region of a window: large rectangles band by band,
    // thin strips (a drag repaints many) copied in one go from a narrow
    // column of the same bands, made once for the window's height.
    void paint(QPainter &painter, const QRect &clientRect, const QRegion &exposed);

private:
    static constexpr int kColumnWidth = 16;
    const QImage &column(int height);

    QImage m_column;
};

} // namespace mok
