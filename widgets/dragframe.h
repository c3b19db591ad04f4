#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QWidget>

namespace mok {

// The outline that follows the pointer while something is dragged, drawn
// over everything in its parent as black and white dashes. It covers its
// parent, takes no mouse input and stays shown with nothing to draw between
// drags: showing, hiding or raising a widget that size repaints all of the
// parent, while beginning, moving and ending a drag repaint only the old and
// the new outline. The owner keeps it above its other children.
class DragFrame : public QWidget {
    Q_OBJECT
public:
    explicit DragFrame(QWidget *parent);

    void begin(const QRect &frame);
    void moveTo(const QPoint &topLeft);
    void end();
    QRect frame() const { return m_frame; }

    // The pixels the outline of `frame` covers.
    static QRegion borderOf(const QRect &frame);
    static constexpr int kThickness = 2;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // What begin(), moveTo() and end() repaint for an outline of `frame`.
    QRegion dirtyRegion(const QRect &frame) const;
    // The dashed sides for `frame`, in the pixels the painter uses.
    void makeSides(const QRect &frame, int thickness, double ratio);

    QRect m_frame;
    // The frame's sides in their dashes, for a frame of size m_sidesFor:
    // top and bottom, then left and right.
    QSize m_sidesFor;
    int m_sidesThickness = 0;
    QImage m_across;
    QImage m_down;
};

} // namespace mok
