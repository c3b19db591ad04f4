#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

namespace mok {

// A title bar that a window draws itself: the window's title on the left,
// in the colours of an active or an inactive caption, and no buttons at all.
// Dragging it moves the window, through the window manager where it can.
class CaptionBar : public QWidget {
    Q_OBJECT
public:
    explicit CaptionBar(QWidget *parent);

    QSize sizeHint() const override;

    static inline const QColor kActive{0x0a, 0x24, 0x6a};
    static inline const QColor kInactive{0x80, 0x80, 0x80};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Where the window's top left lay from the pointer when a drag began
    // that the window manager did not take over.
    std::optional<QPoint> m_grab;
};

} // namespace mok
