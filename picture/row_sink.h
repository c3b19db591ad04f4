#pragma once

#include "row_shrinker.h"

#include <QImage>
#include <QSize>

#include <optional>
#include <vector>

namespace mok::picture {

// Where a reader puts the rows it decodes, top to bottom, as opaque QRgb:
// straight into the picture when the board shows it at the size decoded, or
// through a RowShrinker when the board's size is smaller both ways, so that
// the picture never has to exist at the decoded size. Either way the result
// is what the JPEG reader gives for the same pixels.
class RowSink {
public:
    RowSink(QSize decoded, QSize wanted);

    // False when the memory for the result could not be had.
    bool isValid() const;

    // Whether the rows go through a shrinker rather than into the picture.
    bool shrinks() const { return m_shrinker.has_value(); }

    // The row to fill next, decoded.width() pixels; then rowDone().
    QRgb *nextRow();
    void rowDone();

    // The picture, shrunk or not; null unless every row came.
    QImage take();

private:
    QImage m_image;
    std::optional<RowShrinker> m_shrinker;
    std::vector<QRgb> m_row;
    int m_rows = 0;
    int m_height = 0;
};

} // namespace mok::picture
