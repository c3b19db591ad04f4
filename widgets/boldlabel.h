#pragma once

#include <QLabel>

namespace mok {

// A one-line label whose bold text stays bold at any size. A font with no
// bold face of its own is made bold by thickening its glyphs as they are
// rasterised, and Qt does that only for text small enough for its glyph
// cache; larger text is filled from the plain outlines and comes out as
// thin as regular. At those sizes this label fills the outline itself and
// strokes it as wide as the rasteriser would have thickened it.
class BoldLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The width of the stroke laid round the outline of `font` drawn at
    // `devicePixelRatio`, in logical pixels; 0 where Qt's own drawing is
    // bold enough (a regular font, a real bold face, or small text).
    static qreal outlineStroke(const QFont &font, qreal devicePixelRatio);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace mok
