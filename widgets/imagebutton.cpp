#include "imagebutton.h"

#include "accessiblebutton.h"
#include "focusring.h"

#include <QKeyEvent>
#include <QPainter>

namespace mok {

ImageButton::ImageButton(QWidget *parent) : QAbstractButton(parent)
{
    installAccessibleButtons();
    setAttribute(Qt::WA_NoSystemBackground);
    // A click leaves the focus where it was, as it always has.
    setFocusPolicy(Qt::TabFocus);
}

void ImageButton::setFaces(const QPixmap &released, const QPixmap &pressed)
{
    m_releasedFace = released;
    m_pressedFace = pressed;
    update();
}

void ImageButton::setPressed(bool pressed)
{
    if (m_pressed == pressed)
        return;
    m_pressed = pressed;
    update();
}

void ImageButton::paintEvent(QPaintEvent *)
{
    // The face only: being held down under the pointer or the space bar
    // changes nothing until the click sets the pressed flag.
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture());
    if (showsFocusRing(this))
        paintFocusRing(painter, rect());
}

void ImageButton::keyPressEvent(QKeyEvent *event)
{
    noteKeyboardUse(this);
    // Space is the button's own; Return presses it too, as a player expects
    // of a window without a default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace mok
