#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QWidget>

namespace mok {

// A surface to draw on that keeps what is drawn: drawing goes into an image
// the box owns, and paintEvent only shows that image, so the drawing
// survives being covered and uncovered. Its coordinates are its own: scale
// width and height say how many units span the box, whatever its size in
// pixels (until they are set, one unit is one pixel).
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    float scaleWidth() const;
    float scaleHeight() const;
    void setScaleWidth(float width);
    void setScaleHeight(float height);

    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &color);

    // Fills the whole surface with the back colour.
    void clear();
    // The surface. Draw on it, then refresh() to have it shown.
    QImage &image();
    const QImage &image() const { return m_image; }
    void refresh() { update(); }

    // The pixels covered by the rectangle between two corners given in the
    // box's coordinates: edges round to the nearest pixel (halves to even),
    // and the far edges are not covered, so rectangles that share an edge
    // never overlap.
    QRect pixelRect(QPointF corner1, QPointF corner2) const;
    QPointF toPixels(QPointF point) const;
    // The size `text` takes in the box's own font, in the box's coordinates.
    QSizeF textSize(const QString &text) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Keeps the surface as large as the box, also before a hidden box has
    // had its resize event.
    void fitSurface();

    QImage m_image;
    QColor m_backColor = Qt::white;
    float m_scaleWidth = 0; // 0: follows the width in pixels
    float m_scaleHeight = 0;
};

} // namespace mok
