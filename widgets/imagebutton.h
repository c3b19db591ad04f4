#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace mok {

// A button that is only a picture. It holds two faces, released and pressed,
// and shows the one its pressed flag names; it reports a click (press and
// release over it with the left button, Space, or Return). Whether a click
// presses it, and when it is released again, is up to the owner: the game
// shows the pressed face for a timer tick before it acts, and reads the flag
// in that tick.
//
// Its text is the caption drawn on its face. It is never painted, but
// assistive technology reads it as the button's name, with the tooltip as
// its description and one press action, which clicks it as the mouse does.
// Tab reaches it; the mouse does not move the focus.
class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ImageButton(QWidget *parent = nullptr);

    void setFaces(const QPixmap &released, const QPixmap &pressed);
    void setPressed(bool pressed);
    bool isPressed() const { return m_pressed; }
    // The face shown now.
    const QPixmap &picture() const { return m_pressed ? m_pressedFace : m_releasedFace; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPixmap m_releasedFace;
    QPixmap m_pressedFace;
    bool m_pressed = false;
};

} // namespace mok
