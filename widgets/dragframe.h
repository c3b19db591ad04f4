#pragma once

#include <QObject>
#include <QRect>
#include <QRegion>

#include <array>

class QWidget;

// The outline that follows the pointer while something is dragged, drawn
// over everything in its parent as black and white dashes. It is four thin
// strip widgets, one per side, that take no mouse input: showing, moving and
// hiding it repaints only the strips the outline covers, never the parent.
class DragFrame : public QObject {
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

private:
    void placeStrips();

    std::array<QWidget *, 4> m_strips{};
    QRect m_frame;
};
