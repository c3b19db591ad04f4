#pragma once

#include <QPixmap>
#include <QWidget>

namespace mok {

// A button that is only a picture. It holds two faces, released and pressed,
// and shows the one its pressed flag names; it reports a click (press and
// release over it with the left button). Whether a click presses it, and
// when it is released again, is up to the owner: the game shows the pressed
// face for a timer tick before it acts, and reads the flag in that tick.
class ImageButton : public QWidget {
    Q_OBJECT
public:
    explicit ImageButton(QWidget *parent = nullptr);

    void setFaces(const QPixmap &released, const QPixmap &pressed);
    void setPressed(bool pressed);
    bool isPressed() const { return m_pressed; }
    // The face shown now.
    const QPixmap &picture() const { return m_pressed ? m_pressedFace : m_releasedFace; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_releasedFace;
    QPixmap m_pressedFace;
    bool m_pressed = false;
    bool m_mouseDown = false;
};

} // namespace mok
