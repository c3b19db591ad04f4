#pragma once

#include <QRect>
#include <QRegion>
#include <QWidget>

// The outline that follows the pointer while something is dragged. It covers
// its parent but takes no mouse input, and a move repaints only the old and
// the new outline, never the whole parent.
class DragFrame : public QWidget {
    Q_OBJECT
public:
    explicit DragFrame(QWidget *parent);

    void begin(const QRect &frame);
    void moveTo(const QPoint &topLeft);
    void end();
    QRect frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static QRegion borderOf(const QRect &r);

    QRect m_frame;
};
